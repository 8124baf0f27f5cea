#include "net/session_cancel.h"

#include <cerrno>
#include <utility>

#include "net/net_errors.h"
#include "net/transport.h"

TSessionCancel::TSessionCancel(std::unique_ptr<TTransport>& transport) {
    auto socket = std::make_unique<TSocketTransport>();
    socket_ = socket.get();
    transport = std::move(socket);
}

void TSessionCancel::Cancel() {
    socket_->Cancel();
}

void TSessionCancel::BeforeSend(bool endsSession, bool removesMessages) {
    if (stopRequested_ && !endsSession) throw ESocketError(ECANCELED);
    if (removesMessages) sentDeletions_ = true;
}
