#include "net/pop3.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "base/str_to_int.h"

namespace {

const char* const kProtocol = "POP3";

// The text from the given 0-based position to the end, empty when the line is shorter.
std::string_view Tail(std::string_view line, size_t pos) {
    return line.size() > pos ? line.substr(pos) : std::string_view();
}

// The connection ended, or was ended for overrunning a bound, before a whole reply came.
EProtocolError ConnectionLost() {
    EProtocolError lost("", kBrokenReply, kProtocol);
    lost.ConnectionLost = true;
    return lost;
}

// The first bytes of text, at most max of them, cut before a UTF-8 continuation byte.
std::string_view Cut(std::string_view text, size_t max) {
    if (text.size() <= max) return text;
    size_t keep = max;
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
    return text.substr(0, keep);
}

// A reply line as an error message: at most kMaxMessage bytes, cut at a character, with "..."
// telling that more was said.
std::string ErrorMessage(const std::string& line) {
    constexpr size_t kMaxMessage = 512;
    if (line.size() <= kMaxMessage) return line;
    return std::string(Cut(line, kMaxMessage - 3)) + "...";
}

// "-ERR" followed by one of the response codes that say "not now" rather than "not you".
bool IsTemporaryRefusal(const std::string& reply) {
    if (!reply.starts_with("-ERR")) return false;
    const size_t at = reply.find_first_not_of(' ', 4);
    if (at == std::string::npos || at == 4) return false;
    for (const char* code : {"[IN-USE]", "[LOGIN-DELAY]", "[SYS/TEMP]"}) {
        const std::string_view want(code);
        const std::string_view have = std::string_view(reply).substr(at, want.size());
        if (std::equal(have.begin(), have.end(), want.begin(), want.end(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            }))
            return true;
    }
    return false;
}

// The size field of a listing line: the digits up to the next blank (more may follow it).
std::string SizeField(const std::string& line, size_t space) {
    if (space == std::string::npos) return {};
    const size_t from = line.find_first_not_of(" \t", space + 1);
    if (from == std::string::npos) return {};
    return line.substr(from, line.find_first_of(" \t", from) - from);
}

}  // namespace

std::string TPop3::ReplyMessage(const std::string& line) {
    return ErrorMessage(line);
}

EProtocolError TPop3::LostReply() {
    return ConnectionLost();
}

TPop3::TPop3() {
    Port = UsualPort(TEncryption::None);
}

void TPop3::CheckLoginReply() {
    try {
        CheckReply();
    } catch (EProtocolError& refusal) {
        refusal.TemporaryRefusal = IsTemporaryRefusal(refusal.Message());
        throw;
    }
}

EProtocolError TPop3::LoginRefusal(const std::string& line, const std::string& note) {
    EProtocolError refusal(ErrorMessage(line) + note, kRefusedReply, kProtocol);
    refusal.TemporaryRefusal = IsTemporaryRefusal(line);
    refusal.LoginRefused = true;
    return refusal;
}

TPop3::~TPop3() {
    if (SocketHandle == -1) return;
    try {
        Logout();
    } catch (...) {
        // A failed farewell (the server may already be gone) changes nothing at this point.
    }
    Disconnect();
}

void TPop3::CheckReply() {
    ReadStatusLine();
}

std::string TPop3::ReadStatusLine() {
    BeginReply();
    std::string line;
    if (!ReadLine(line)) throw ConnectionLost();
    if (line.starts_with("+OK")) return line;
    throw EProtocolError(ErrorMessage(line),
                         line.starts_with("-ERR") ? kRefusedReply : kBrokenReply, kProtocol);
}

void TPop3::Command(const std::string& line) {
    SendText(line + "\r\n");
    CheckReply();
}

template <class OnLine>
void TPop3::ReadMultiLine(OnLine&& onLine) {
    std::string line;
    for (;;) {
        if (!ReadLine(line)) throw ConnectionLost();
        if (line == ".") return;
        onLine(line);
    }
}

void TPop3::ReadMessageText() {
    retrieved_.clear();
    ReadMultiLine([this](const std::string& line) { retrieved_.push_back(line); });
    std::swap(MailText, retrieved_);
}

void TPop3::ReadReplyLines(const std::function<void(const std::string&)>& onLine) {
    ReadMultiLine(onLine);
}

// A login that fails at any step closes its connection before the error leaves, so the server
// does not keep the mailbox locked for another client.
void TPop3::Login() {
    RefuseUnusableSignIn();
    saslMechanisms_.clear();
    try {
        Connect();
        CheckReply();
        if (Encryption == TEncryption::Stls) StartStls();
        SendCredentials();
        Command("LIST");
        ReadListing();
    } catch (...) {
        Disconnect();  // as Abort, but the listing read before a bad line stays
        throw;
    }
}

void TPop3::SendCredentials() {
    if (Authentication == TAuthentication::UserPass) {
        SendText("USER " + UserName + "\r\n");
        CheckLoginReply();
        SendText("PASS " + Password + "\r\n");
        CheckLoginReply();
    } else {
        Capabilities();  // the mechanisms on offer, after STLS as the server now sees us
        SignInSasl();
    }
}

// Each listing line is "number size", possibly with more after the size; anything else raises
// EConvertError. A listing longer than a check takes ends the connection at once, the entries
// read so far dropped.
void TPop3::ReadListing() {
    ReadMultiLine([this](const std::string& line) {
        if (Messages.size() >= kMaxListedMessages) {
            DropConnection();
            Messages = {};
            throw EMailboxTooLarge("The mailbox lists more than " +
                                       std::to_string(kMaxListedMessages) +
                                       " messages, more than one check takes.",
                                   kMaxListedMessages);
        }
        const size_t space = line.find(' ');
        t_reply entry;
        entry.Number = StrToInt(line.substr(0, space == std::string::npos ? 0 : space));
        entry.Size = StrToInt(SizeField(line, space));
        Messages.push_back(entry);
    });
}

// Asked for in reverse (last listed first); MailText still ends up in listing order. Only the
// count is needed later, so what is kept of each message is bounded, and so is the whole.
void TPop3::ReadHeaders() {
    MailText.clear();
    TLineBuffer backwards;
    size_t kept = 0;
    for (size_t i = Messages.size(); i-- > 0;) {
        const std::string number = std::to_string(Messages[i].Number);
        SendText("TOP " + number + " 1\r\n");
        try {
            CheckReply();
            const std::string summary = ReadHeaderSummary();
            const bool room = kept + summary.size() <= kMaxHeaderSummaryBytes;
            kept += room ? summary.size() : 0;
            backwards.push_back(room ? summary : number);
        } catch (const EProtocolError&) {
            backwards.push_back(number);
        }
    }
    for (size_t i = backwards.size(); i-- > 0;) MailText.push_back(backwards[i]);
}

// Header values are cut at a fixed offset: the byte after the colon (usually a blank) is
// dropped whatever it is, and nothing else is trimmed.
std::string TPop3::ReadHeaderSummary() {
    std::string from, subject;
    ReadMultiLine([&](const std::string& line) {
        if (line.starts_with("From:")) from = Cut(Tail(line, 6), kMaxHeaderField);
        if (line.starts_with("Subject:")) subject = Cut(Tail(line, 9), kMaxHeaderField);
    });
    return subject.empty() ? from : from + '\x07' + subject;
}

void TPop3::RetrieveMessage(int32_t n) {
    Command("RETR " + std::to_string(n));
    ReadMessageText();
}

void TPop3::DeleteMessage(int32_t n) {
    Command("DELE " + std::to_string(n));
}

void TPop3::Logout() {
    Command("QUIT");
    CloseSession();
}

void TPop3::Abort() {
    CloseSession();
}

void TPop3::CloseSession() {
    Disconnect();
    Messages = {};  // its room too: a long listing is not kept beyond its session
}

void TPop3::Fetch() {
    Login();
    if (!Messages.empty()) RetrieveMessage(1);
    Logout();
}
