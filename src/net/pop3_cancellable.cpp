#include "net/pop3_cancellable.h"

namespace {

// Whether the write holds a DELE command: alone, or anywhere in a pipelined batch.
bool HoldsDeletion(std::string_view bytes) {
    return bytes.starts_with("DELE ") || bytes.find("\r\nDELE ") != std::string_view::npos;
}

}  // namespace

TCancellablePop3::TCancellablePop3() : cancel_(Transport) {}

void TCancellablePop3::BeforeSend(std::string_view bytes) {
    cancel_.BeforeSend(bytes.starts_with("QUIT"), HoldsDeletion(bytes));
}
