#pragma once

// The IMAP client over one TTcpIp connection (TLS on connect, STARTTLS, the pinned
// certificate and the time bounds are the connection's): one short function per command.
// What its calls raise:
//   ESocketError, ETcpIpError, EEncryptionError as TTcpIp's Login does;
//   ETlsError       TLS failed or its certificate was refused, or STARTTLS was not offered or
//                   refused (TFault::NoStls), always before any password or token was sent;
//   EProtocolError  (protocol "IMAP") the server answered NO or BAD (kRefusedReply, the
//                   message its tagged line; LoginRefused for LOGIN and AUTHENTICATE;
//                   TemporaryRefusal for [UNAVAILABLE] and [INUSE]), said BYE in the middle
//                   of a command, sent what cannot be read, or the connection ended or
//                   overran a bound (kBrokenReply; ConnectionLost when the connection is gone).
// Every bound overrun ends the connection; a response is never half taken.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/imap_parser.h"
#include "net/tcpip.h"

// What the server said of a folder while it was being selected.
struct TImapFolderState {
    uint32_t UidValidity = 0;  // 0: the server named none (the folder's UIDs are not lasting)
    uint32_t UidNext = 0;      // 0: the server named none
    uint32_t Exists = 0;
    bool ReadWrite = false;  // the server opened it read-write ([READ-WRITE])
};

// One folder of a LIST: its name as the server writes it (modified UTF-7, to be passed back
// as it is) and its attributes ("\Trash", "\HasNoChildren", ...).
struct TImapFolder {
    std::string Name;
    std::vector<std::string> Attributes;
    bool Has(std::string_view attribute) const;
};

// Unsolicited news the server sent during commands: noted, never an error.
struct TImapNews {
    uint32_t Exists = 0;       // the last EXISTS count seen
    uint64_t ExistsSeen = 0;   // how many EXISTS responses came
    uint64_t Expunged = 0;     // EXPUNGE responses
    uint64_t Recent = 0;       // RECENT responses
    uint64_t FlagChanges = 0;  // FETCH responses that are not the command's
};

class TImap : public TTcpIp {
  public:
    // Called with each fetched message's UID and its bytes exactly as the server sent them.
    using MessageSink = std::function<void(uint32_t uid, std::string_view message)>;

    TImap();
    ~TImap() override;

    // Connects (with TLS on connect when chosen) and reads the greeting: true for PREAUTH
    // (already signed in), false for OK. BYE raises kRefusedReply with the connection closed.
    bool Greet();
    // CAPABILITY: the names in upper case. Also kept, like those a greeting or sign-in names
    // in its [CAPABILITY ...] code, for Offers.
    std::vector<std::string> Capabilities();
    // Whether the capabilities last learnt name this one (upper case: "IDLE", "AUTH=PLAIN").
    bool Offers(std::string_view capability) const;
    // STARTTLS and the handshake, then CAPABILITY again. ETlsError NoStls with the connection
    // closed when it is not offered or refused.
    void StartTls();
    // Connect to signed in, as Encryption and Authentication say: Greet, StartTls for Stls,
    // then LOGIN (UserPass), AUTHENTICATE PLAIN (SaslPlain) or OAUTHBEARER, else XOAUTH2
    // (OAuth2), and the capabilities as they are after it. Closes the connection on failure.
    void Open();
    // LOGIN; refused before anything is sent when the server announces LOGINDISABLED.
    void Login() override;
    void AuthenticatePlain();
    void AuthenticateXOAuth2();
    void AuthenticateOAuthBearer();

    // SELECT (read-write) or EXAMINE (read-only) of a folder named as on the wire
    // (ImapFolderName of what the user wrote, or a LIST's name).
    TImapFolderState Select(const std::string& folder);
    TImapFolderState Examine(const std::string& folder);
    // UID SEARCH with the criteria ("UNSEEN", "SINCE 7-Mar-2026", "OR UNSEEN SINCE ..."): the
    // UIDs found, in the server's order.
    std::vector<uint32_t> UidSearch(const std::string& criteria);
    // UID FETCH (UID BODY.PEEK[]) of the UIDs: each message handed to sink as it arrives and
    // then dropped, so one message at a time is held. Never sets \Seen. A UID not asked for,
    // or a message the server no longer has, is not handed on.
    void UidFetchMessages(const std::vector<uint32_t>& uids, const MessageSink& sink);
    // UID STORE +FLAGS.SILENT (\Deleted).
    void UidStoreDeleted(const std::vector<uint32_t>& uids);
    // UID EXPUNGE: only these messages go. Refused before anything is sent without UIDPLUS,
    // never falling back to EXPUNGE, which removes every message flagged \Deleted.
    void UidExpunge(const std::vector<uint32_t>& uids);
    // UID MOVE (refused without MOVE) and UID COPY to a folder named as on the wire.
    void UidMove(const std::vector<uint32_t>& uids, const std::string& folder);
    void UidCopy(const std::vector<uint32_t>& uids, const std::string& folder);
    // LIST "" "*", with RETURN (SPECIAL-USE) when the server offers LIST-EXTENDED and
    // SPECIAL-USE: every folder with its attributes.
    std::vector<TImapFolder> ListFolders();
    // The folder with the \Trash attribute; nothing when none has it.
    std::optional<std::string> TrashFolder();
    // Whether the server is Gmail's, where an expunge only removes the Inbox label.
    bool IsGmail() const { return Offers("X-GM-EXT-1"); }

    // IDLE, up to the server's "+" (refused: kRefusedReply, the connection stays usable).
    void Idle();
    // Waits in IDLE up to timeoutMs for news: the EXISTS count when new mail was announced,
    // nothing when the time ran out or only other news came (see News).
    std::optional<uint32_t> IdleWait(int timeoutMs);
    // DONE and IDLE's tagged OK (news meanwhile noted as always).
    void Done();
    // Whether IDLE runs: false once Done was sent or the server ended it itself.
    bool Idling() const { return !idleTag_.empty(); }
    // LOGOUT, its BYE and OK, and the connection closed.
    void Logout() override;
    // Closes the connection at once, without LOGOUT.
    void Abort();

    std::string UserName;
    std::string Password;
    std::string AccessToken;  // for OAUTHBEARER and XOAUTH2
    TImapNews News;
    std::string Greeting;  // the last greeting's line, as the server sent it

    // The longest line outside literals; the most a literal (one message) may hold; the
    // untagged responses kept for one command, with their bytes; the responses (kept or not)
    // one command may bring.
    static constexpr size_t kMaxLine = size_t{1} << 20;
    static constexpr size_t kMaxKeptResponses = 10000;
    static constexpr size_t kMaxKeptBytes = size_t{16} << 20;
    static constexpr size_t kMaxResponses = size_t{1} << 21;
    size_t MaxLiteralBytes = kMaxReplyBytes - (size_t{4} << 20);

  protected:
    // Called with each untagged response of a command that is not news; true: taken, not kept.
    using Handler = std::function<bool(TImapResponse&)>;

    // Sends a tagged command and reads to its tagged response, which it returns when OK and
    // raises (kRefusedReply) when NO or BAD. pieces alternate text and literals: text,
    // literal, text, ... (CR LF ends the last). Untagged responses go to onUntagged, else are
    // kept in Kept.
    TImapResponse Command(const std::vector<std::string>& pieces, const Handler& onUntagged = {});
    // Command that gives the tagged response whatever its status.
    TImapResponse Exchange(const std::vector<std::string>& pieces, const Handler& onUntagged);
    // The next response, its literals read; bounded as the class says.
    TImapResponse ReadResponse();
    // Reads to the tagged response of tag.
    TImapResponse Finish(const std::string& tag, const Handler& onUntagged);
    // Handles one untagged response of a command: false when it is a continuation.
    bool Untagged(TImapResponse& response, const Handler& onUntagged);
    // Notes unsolicited news; true when the response was one.
    bool NoteNews(const TImapResponse& response);
    std::string NextTag();
    // The capabilities of a [CAPABILITY ...] code, when the response has one.
    void TakeCapabilities(const TImapResponse& response);
    // The refusal of a tagged NO or BAD (or any response) as an error.
    EProtocolError Refusal(const TImapResponse& response) const;
    // Ends the connection and gives the error (ConnectionLost) of a response that was cut,
    // unreadable or over a bound.
    EProtocolError Broken(const std::string& why);
    [[noreturn]] void FailBye(const TImapResponse& bye);

    // Signs in as Authentication says (the part of Open after the greeting and TLS).
    void SignIn();

    std::vector<TImapResponse> Kept;  // the last command's untagged responses

  private:
    TImapResponse ReadGreeting();
    std::string ReadLiteral(size_t size);
    // Starts a command: its name for messages, the bounds of its responses; gives its tag.
    std::string Begin(const std::string& line);
    // The next continuation or tagged response of tag, untagged ones handled meanwhile.
    TImapResponse AwaitTurn(const std::string& tag, const Handler& onUntagged);
    // A folder name as a quoted string; refused (kRefusedReply) when it cannot be one.
    static std::string FolderArgument(const std::string& folder);
    // After a sign-in's OK: the capabilities again unless the OK named them.
    void SignedIn(const TImapResponse& done);
    std::optional<size_t> ParseLine(const std::string& line);
    void Keep(TImapResponse&& response);
    void Authenticate(const std::string& mechanism, const std::string& secret);
    TImapResponse SaslExchange(const std::string& tag, const std::string& mechanism,
                               const std::string& response);
    TImapFolderState OpenFolder(const char* command, const std::string& folder);
    // The command once for each set of the UIDs (a long list takes several), tail after it.
    void UidCommand(const std::string& command, const std::vector<uint32_t>& uids,
                    const std::string& tail, const Handler& onUntagged = {});
    void Require(std::string_view capability, const std::string& command);

    TImapParser parser_;
    std::vector<std::string> capabilities_;
    uint32_t nextTag_ = 1;
    std::string command_;  // the name of the command in progress, for error messages
    std::string idleTag_;  // the tag of IDLE while it runs
    size_t keptBytes_ = 0;
    size_t responses_ = 0;
    bool loggingOut_ = false;
};
