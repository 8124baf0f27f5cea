#include "net/pop3.h"

#include "base/str_to_int.h"

namespace {

const char* const kProtocol = "POP3";

// The text from the given 0-based position to the end, empty when the line is shorter.
std::string Tail(const std::string& line, size_t pos) {
    return line.size() > pos ? line.substr(pos) : std::string();
}

}  // namespace

TPop3::TPop3() {
    Port = 110;
}

TPop3::~TPop3() {
    if (SocketHandle == -1) return;
    try {
        Logout();
    } catch (...) {
        // A failed farewell (the server may already be gone) changes nothing at this point.
    }
    TTcpIp::Logout();
}

void TPop3::CheckReply() {
    std::string line;
    ReadLine(line);
    if (line.starts_with("+OK")) return;
    throw EProtocolError(line, line.starts_with("-ERR") ? 500 : 999, kProtocol);
}

void TPop3::Command(const std::string& line) {
    SendText(line + "\r\n");
    CheckReply();
}

template <class OnLine>
void TPop3::ReadMultiLine(OnLine&& onLine) {
    size_t total = 0;
    std::string line;
    for (;;) {
        if (!ReadLine(line)) throw EProtocolError("", 999, kProtocol);
        if (line == ".") return;
        total += line.size() + 2;
        if (total > MaxReplyBytes) {
            DropConnection();
            throw EProtocolError("", 999, kProtocol);
        }
        onLine(line);
    }
}

void TPop3::Login() {
    TTcpIp::Login();
    CheckReply();
    if (Encryption == TEncryption::Stls) StartStls();
    Command("USER " + UserName);
    Command("PASS " + Password);
    Command("LIST");
    ReadListing();
}

// Each listing line is "number size"; anything else raises EConvertError.
void TPop3::ReadListing() {
    ReadMultiLine([this](const std::string& line) {
        const size_t space = line.find(' ');
        auto entry = std::make_unique<t_reply>();
        entry->Number = StrToInt(line.substr(0, space == std::string::npos ? 0 : space));
        entry->Size = StrToInt(Tail(line, space == std::string::npos ? 0 : space + 1));
        Messages.push_back(std::move(entry));
    });
}

// The server sees the highest listed message first; MailText keeps the listing's order.
void TPop3::ReadHeaders() {
    MailText.clear();
    TStringList lines(Messages.size());
    for (size_t i = Messages.size(); i-- > 0;) {
        t_reply& message = *Messages[i];
        SendText("TOP " + std::to_string(message.Number) + " 1\r\n");
        try {
            CheckReply();
            ReadHeaderBlock(message);
            lines[i] =
                message.Subject.empty() ? message.From : message.From + '\x07' + message.Subject;
        } catch (const EProtocolError&) {
            lines[i] = std::to_string(message.Number);
        }
    }
    MailText = std::move(lines);
}

// The value starts one character after the colon, where the blank normally stands.
void TPop3::ReadHeaderBlock(t_reply& message) {
    ReadMultiLine([&message](const std::string& line) {
        if (line.starts_with("From:")) message.From = Tail(line, 6);
        if (line.starts_with("Subject:")) message.Subject = Tail(line, 9);
    });
}

void TPop3::RetrieveMessage(int32_t n) {
    Command("RETR " + std::to_string(n));
    TStringList text;
    ReadMultiLine([&text](const std::string& line) { text.push_back(line); });
    MailText = std::move(text);
}

void TPop3::DeleteMessage(int32_t n) {
    Command("DELE " + std::to_string(n));
}

void TPop3::Logout() {
    Command("QUIT");
    TTcpIp::Logout();
    Messages.clear();
}

void TPop3::Fetch() {
    Login();
    if (!Messages.empty()) RetrieveMessage(1);
    Logout();
}
