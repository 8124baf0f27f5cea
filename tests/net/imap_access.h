#pragma once

// An IMAP client pointed at a loopback test server, with its bounds open to the tests.

#include "net/imap.h"
#include "support/net_access.h"

class TestImap : public TestClient<TImap> {
  public:
    using TestClient::TestClient;
    using TImap::MaxLineLength;
    using TImap::ReceiveTimeoutMs;
    using TImap::ReplyTimeoutMs;
};
