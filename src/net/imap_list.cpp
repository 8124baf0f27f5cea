// The folders of an IMAP account and their special uses (RFC 6154).
#include "net/imap.h"

std::vector<TImapFolder> TImap::ListFolders() {
    const bool special = Offers("LIST-EXTENDED") && Offers("SPECIAL-USE");
    std::vector<TImapFolder> folders;
    Command({special ? "LIST \"\" \"*\" RETURN (SPECIAL-USE)" : "LIST \"\" \"*\""},
            [&](TImapResponse& r) {
                if (!ImapWordIs(r.DataName(), "LIST") || r.Items.size() < 4 ||
                    r.Items[1].Kind != TImapValue::TKind::List)
                    return false;
                if (folders.size() >= kMaxKeptResponses)
                    throw Broken("More than " + std::to_string(kMaxKeptResponses) + " folders");
                TImapFolder folder;
                folder.Name = std::move(r.Items[3].Text);
                for (TImapValue& attribute : r.Items[1].Items)
                    folder.Attributes.push_back(std::move(attribute.Text));
                folders.push_back(std::move(folder));
                return true;
            });
    return folders;
}

std::optional<std::string> TImap::TrashFolder() {
    for (const TImapFolder& folder : ListFolders())
        if (folder.Has("\\Trash")) return folder.Name;
    return std::nullopt;
}
