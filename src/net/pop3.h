#pragma once

// The POP3 client over one TTcpIp connection: log in, list the mailbox with the senders and
// subjects, retrieve and delete messages, log out. Raises ESocketError and EProtocolError.

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

// Login closes its connection whenever it fails. A refused status line becomes the
// EProtocolError's message, cut to 512 bytes ("..." appended).
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
    // end of the connection, or over one of the bounds of TTcpIp (its bytes, its time, or
    // its kept lines costing more than MaxReplyBytes with kLineMemoryCost each), raises
    // EProtocolError 999 with an empty message.
    template <class OnLine>
    void ReadMultiLine(OnLine&& onLine);

  private:
    void ReadListing();
    void ReadHeaderBlock(t_reply& message);
};
