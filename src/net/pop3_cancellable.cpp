#include "net/pop3_cancellable.h"

#include <memory>

TCancellablePop3::TCancellablePop3() {
    auto socket = std::make_unique<TSocketTransport>();
    socket_ = socket.get();
    Transport = std::move(socket);
}

void TCancellablePop3::Cancel() {
    socket_->Cancel();
}
