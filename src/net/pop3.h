#pragma once

// The POP3 client over one TTcpIp connection: log in, list the mailbox with the senders and
// subjects, retrieve and delete messages, log out. What its calls raise:
//   ESocketError    no connection could be made (ErrorCode: errno, ECANCELED when cancelled);
//   ETcpIpError     the host name could not be resolved;
//   EEncryptionError the encryption or the way of signing in is none this program knows, or
//                   an OAuth2 token would travel in clear (before anything is sent);
//   ETlsError       TLS failed, its certificate was refused, the trusted certificate is no
//                   fingerprint, or STLS was not offered or refused (see its TReason
//                   and TFault);
//   EProtocolError  the server refused a command (kRefusedReply, the message its "-ERR" line,
//                   TemporaryRefusal for a login refused for now) or answered anything else,
//                   broke off or overran a bound (kBrokenReply; ConnectionLost when no whole
//                   reply came; kNoGreetingText when no greeting came);
//   EMailboxTooLarge the listing names more than kMaxListedMessages messages;
//   EConvertError   a listing line is not "number size".

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/line_buffer.h"
#include "base/string_list.h"
#include "net/tcpip.h"

// One entry of the mailbox listing: eight bytes, however many messages a server lists.
struct t_reply {
    int32_t Number = 0;
    int32_t Size = 0;
};

// The unique ids of a UIDL listing by message number, kept compactly: every id's bytes in one
// string and a small entry per message, sorted by number once Seal has run.
class TUidListing {
  public:
    TUidListing() = default;
    TUidListing(std::initializer_list<std::pair<int32_t, std::string_view>> ids);

    // Adds an id; its number is checked by Seal.
    void Add(int32_t number, std::string_view uid);
    // Sorts by number and drops every id given to two messages, so neither can pass for the
    // other. False, with every id dropped, when a number was given two ids.
    bool Seal();
    // The id of the message; empty when it has none.
    std::string_view Find(int32_t number) const;
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    void clear();

  private:
    struct TEntry {
        int32_t Number;
        uint32_t Offset;
        uint32_t Length;
    };
    std::string_view Uid(const TEntry& entry) const {
        return std::string_view(bytes_).substr(entry.Offset, entry.Length);
    }
    std::string bytes_;
    std::vector<TEntry> entries_;
};

// The capabilities a fast check asks for: commands sent without waiting, and unique ids.
inline constexpr const char* kPipeliningCapability = "PIPELINING";
inline constexpr const char* kUidlCapability = "UIDL";

// Whether a CAPA list (as Capabilities gives it) names the capability (in upper case).
inline bool Offers(const std::vector<std::string>& capabilities, const std::string& name) {
    return std::find(capabilities.begin(), capabilities.end(), name) != capabilities.end();
}

// Login closes its connection whenever it fails. A refused status line becomes the
// EProtocolError's message, cut to 512 bytes ("..." appended).
class TPop3 : public TTcpIp {
  public:
    TPop3();
    ~TPop3() override;

    void Login() override;
    void Logout() override;
    // Closes the connection at once, without QUIT, so that no deletion of this session becomes
    // final: for a session that has failed or is out of step with its replies.
    void Abort();
    void Fetch() override;
    void ReadHeaders();
    void RetrieveMessage(int32_t n);
    void DeleteMessage(int32_t n);
    // Reads one status line: raises EProtocolError (kRefusedReply for "-ERR", else
    // kBrokenReply) for anything but "+OK".
    void CheckReply();

    // Fast check (RFC 2449 pipelining); the classic commands above are left as they are.
    // Connects and reads the greeting.
    void Greet();
    // CAPA: the capability names in upper case; none when the server refuses the command. A
    // list of more than kMaxCapabilities lines ends the connection as an overrun bound does.
    // The mechanisms of its SASL line are kept for Authenticate's sign-in.
    std::vector<std::string> Capabilities();
    // USER, PASS, LIST and, when withUids, UIDL: in one write when pipelining, else one at a
    // time. Fills Messages as Login does and returns the unique ids by message number; a
    // refused or malformed UIDL listing gives no ids at all. With a SASL way of signing in the
    // exchange (with the mechanisms of the Capabilities call before) replaces USER and PASS.
    TUidListing Authenticate(bool pipelining, bool withUids);
    // Whether a message listed at this size can be retrieved within the reply bound; one
    // listed larger cannot be examined: retrieving it would only end the connection.
    bool FitsReplyBound(int32_t size) const {
        return size < 0 || static_cast<size_t>(size) <= MaxReplyBytes;
    }

    // More capability lines than any server sends: a longer list is not believed.
    static constexpr size_t kMaxCapabilities = 256;
    // The most messages one check takes from a listing; a longer one raises EMailboxTooLarge.
    // The listing then costs at most 8 MB, the unique ids about 80 MB.
    static constexpr size_t kMaxListedMessages = 1000000;
    // What the header read keeps of a message's sender and subject each; the summaries of
    // all messages together keep at most kMaxHeaderSummaryBytes, the rest only their number.
    static constexpr size_t kMaxHeaderField = 200;
    static constexpr size_t kMaxHeaderSummaryBytes = size_t{16} << 20;

    std::string UserName;
    std::string Password;
    // The OAuth2 access token the login sends when Authentication is OAuth2.
    std::string AccessToken;
    // The listing of the last Login, in the server's order.
    std::vector<t_reply> Messages;
    // After ReadHeaders one line per listed message ("sender BEL subject", each cut to
    // kMaxHeaderField bytes); after a retrieval the message's lines.
    TLineBuffer MailText;

  protected:
    friend class TPop3Pipeline;

    // CheckReply that returns the "+OK" line.
    std::string ReadStatusLine();
    // Sends one command line (CR LF added) and judges its status line.
    void Command(const std::string& line);
    // Sends the command lines (CR LF added to each) in one write.
    void SendCommands(const std::vector<std::string>& lines);
    // Closes the connection and forgets the listing: the end of every session.
    void CloseSession();
    // Hands every line of a multi-line reply up to its "." line to onLine. A reply cut by the
    // end of the connection, or over one of the bounds of TTcpIp (its bytes or its time),
    // raises EProtocolError 999 with an empty message.
    template <class OnLine>
    void ReadMultiLine(OnLine&& onLine);
    // After the greeting: CAPA, STLS and the TLS handshake, so that USER and PASS never travel
    // in clear. Raises ETlsError with the connection closed when STLS is not offered or
    // refused, or the handshake fails.
    void StartStls();

    // CheckReply for the reply to USER or PASS: a refusal for now ("[IN-USE]",
    // "[LOGIN-DELAY]", "[SYS/TEMP]") is raised marked as such.
    void CheckLoginReply();
    // The refusal of a login by its "-ERR" line, marked as CheckLoginReply marks it, with the
    // note after the (cut) line.
    static EProtocolError LoginRefusal(const std::string& line, const std::string& note = {});

    // After the greeting (and STLS): USER and PASS, or CAPA and the SASL exchange, as
    // Authentication says; raises as CheckLoginReply and SignInSasl.
    void SendCredentials();
    // AUTH with the mechanism Authentication uses among the last CAPA's, in two steps. Raises
    // EProtocolError: kRefusedReply before anything is sent when the mechanism is not offered,
    // or with the server's "-ERR" line (and the status of a refused token); kBrokenReply for
    // any other answer.
    void SignInSasl();

    // A reply line as an error message: at most 512 bytes, "..." appended when cut.
    static std::string ReplyMessage(const std::string& line);
    // The error of a reply cut by the end of the connection or an overrun bound.
    static EProtocolError LostReply();
    // ReadMultiLine for code outside this class's own file.
    void ReadReplyLines(const std::function<void(const std::string&)>& onLine);
    // Sends CAPA and reads the names of its list; raises as CheckReply, and as a cut reply for
    // a list that is cut or longer than kMaxCapabilities (the connection then ended).
    std::vector<std::string> ReadCapabilities();

    // Reads a retrieved message's lines and makes them MailText once the reply is whole.
    void ReadMessageText();

  private:
    void ReadListing();
    TUidListing ReadUidListing();
    // The header block of a TOP reply as the summary line of ReadHeaders.
    std::string ReadHeaderSummary();

    // Reads one line of the SASL exchange as a reply of its own.
    std::string ReadSaslLine();
    [[noreturn]] void FailSasl(const std::string& line, const std::string& status = {});

    TLineBuffer retrieved_;  // the message being read; its room is kept for the next one
    std::vector<std::string> saslMechanisms_;  // of the last CAPA's SASL line, upper case
};
