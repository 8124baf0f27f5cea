#include "net/pop3_cancellable.h"

#include <cerrno>
#include <memory>

namespace {

// Whether the write holds a DELE command: alone, or anywhere in a pipelined batch.
bool HoldsDeletion(std::string_view bytes) {
    return bytes.starts_with("DELE ") || bytes.find("\r\nDELE ") != std::string_view::npos;
}

}  // namespace

TCancellablePop3::TCancellablePop3() {
    auto socket = std::make_unique<TSocketTransport>();
    socket_ = socket.get();
    Transport = std::move(socket);
}

void TCancellablePop3::Cancel() {
    socket_->Cancel();
}

void TCancellablePop3::BeforeSend(std::string_view bytes) {
    if (stopRequested_ && !bytes.starts_with("QUIT")) throw ESocketError(ECANCELED);
    if (HoldsDeletion(bytes)) sentDeletions_ = true;
}
