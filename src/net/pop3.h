#pragma once

// The POP3 client. (Contract header: public members are fixed; the net work may add
// protected/private members.)

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/string_list.h"
#include "net/tcpip.h"

// One entry of the mailbox listing.
struct t_reply {
    int32_t Number = 0;
    int32_t Size = 0;
    std::string From;
    std::string Subject;
};

class TPop3 : public TTcpIp {
  public:
    TPop3();
    ~TPop3() override;

    void Login() override;
    void Logout() override;
    void Fetch() override;
    void ReadHeaders();
    void RetrieveMessage(int32_t n);
    void DeleteMessage(int32_t n);
    void CheckReply();

    std::string UserName;
    std::string Password;
    std::vector<std::unique_ptr<t_reply>> Messages;
    TStringList MailText;

  protected:
    // Sends one command line (CR LF added) and judges its status line.
    void Command(const std::string& line);
    // Hands every line of a multi-line reply up to its "." line to onLine. A reply cut by the
    // end of the connection, or larger than MaxReplyBytes, raises EProtocolError 999.
    template <class OnLine>
    void ReadMultiLine(OnLine&& onLine);
    // After the greeting: CAPA, STLS and the TLS handshake, so that USER and PASS never travel
    // in clear. Raises ETlsError with the connection closed when STLS is not offered or
    // refused, or the handshake fails.
    void StartStls();

  private:
    void ReadListing();
    void ReadHeaderBlock(t_reply& message);
};
