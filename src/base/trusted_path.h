#pragma once

// Finding a file by a path without being led elsewhere by someone else's link. The kernel
// follows every link on a path, whoever made it; a link planted in a shared folder such as /tmp
// could then send our writes into any file of ours. Here each part of the path is looked at in
// turn and a link is followed only when this user or root owns it.

#include <string>

// Where the path leads: the open folder (O_PATH) that holds its last part, and that part's
// name, which is no link (it may not exist yet).
struct TTrustedEntry {
    int Folder = -1;  // the caller closes it
    std::string Name;
};

enum class TTrustedPathFault {
    None,
    ForeignLink,  // a link on the way belongs to another user
    Unreachable,  // a part of the path is missing or no folder, or too many links; errno says
};

// Resolves the path (relative ones from the working folder). On a fault Folder is -1.
TTrustedEntry ResolveTrustedPath(const std::string& path, TTrustedPathFault& fault);
