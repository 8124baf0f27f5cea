#include "net/imap_cancellable.h"

namespace {

// The command after the tag: "A7 UID EXPUNGE 4:9" gives "UID EXPUNGE 4:9".
std::string_view CommandOf(std::string_view bytes) {
    const size_t blank = bytes.find(' ');
    return blank == std::string_view::npos ? std::string_view() : bytes.substr(blank + 1);
}

// Whether the command flags, expunges or moves messages.
bool RemovesMessages(std::string_view command) {
    return command.starts_with("UID STORE") || command.starts_with("UID EXPUNGE") ||
           command.starts_with("UID MOVE") || command.starts_with("EXPUNGE") ||
           command.starts_with("STORE") || command.starts_with("MOVE");
}

}  // namespace

TCancellableImap::TCancellableImap() : cancel_(Transport) {}

void TCancellableImap::BeforeSend(std::string_view bytes) {
    const std::string_view command = CommandOf(bytes);
    cancel_.BeforeSend(command.starts_with("LOGOUT"), RemovesMessages(command));
}
