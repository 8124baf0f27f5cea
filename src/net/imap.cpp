// The IMAP client's core: tags, commands and their tagged outcome, the greeting,
// capabilities and the end of a session.
#include "net/imap.h"

#include <algorithm>
#include <cctype>

namespace {

const char* const kProtocol = "IMAP";

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsTemporary(const TImapResponse& response) {
    return response.HasCode("UNAVAILABLE") || response.HasCode("INUSE");
}

}  // namespace

bool TImapFolder::Has(std::string_view attribute) const {
    return std::any_of(Attributes.begin(), Attributes.end(),
                       [&](const std::string& a) { return ImapWordIs(a, attribute); });
}

TImap::TImap() {
    Port = 143;
    MaxLineLength = kMaxLine;
}

TImap::~TImap() {
    if (SocketHandle != -1) Disconnect();
}

std::string TImap::NextTag() {
    return "A" + std::to_string(nextTag_++);
}

bool TImap::Greet() {
    nextTag_ = 1;
    capabilities_.clear();
    News = {};
    Greeting.clear();
    try {
        Connect();
    } catch (ETlsError& e) {
        e.Protocol = kProtocol;
        throw;
    }
    command_ = "the greeting";
    const TImapResponse greeting = ReadGreeting();
    if (greeting.IsStatus("BYE")) {
        ReleaseSocket(SocketHandle);
        throw EProtocolError(greeting.Line, kRefusedReply, kProtocol);
    }
    if (greeting.Kind != TImapResponse::TKind::Untagged ||
        (!greeting.IsStatus("OK") && !greeting.IsStatus("PREAUTH")))
        throw Broken("A greeting that is not OK, PREAUTH or BYE: " + greeting.Line);
    TakeCapabilities(greeting);
    Greeting = greeting.Line;
    return greeting.IsStatus("PREAUTH");
}

// The connection's words for a silent server name POP3's port; these name IMAP's.
TImapResponse TImap::ReadGreeting() {
    try {
        return ReadResponse();
    } catch (const EProtocolError& e) {
        if (e.Message() != kNoGreetingText) throw;
        EProtocolError silent(kNoImapGreetingText, kBrokenReply, kProtocol);
        silent.ConnectionLost = true;
        throw silent;
    }
}

std::vector<std::string> TImap::Capabilities() {
    capabilities_.clear();
    Command({"CAPABILITY"}, [this](TImapResponse& r) {
        if (r.DataName() != "CAPABILITY") return false;
        for (size_t i = 1; i < r.Items.size(); ++i) capabilities_.push_back(Upper(r.Items[i].Text));
        return true;
    });
    return capabilities_;
}

bool TImap::Offers(std::string_view capability) const {
    return std::find(capabilities_.begin(), capabilities_.end(), capability) != capabilities_.end();
}

void TImap::TakeCapabilities(const TImapResponse& response) {
    if (!response.HasCode("CAPABILITY")) return;
    capabilities_.clear();
    for (size_t i = 1; i < response.Code.size(); ++i)
        capabilities_.push_back(Upper(response.Code[i].Text));
}

TImapResponse TImap::Command(const std::vector<std::string>& pieces, const Handler& onUntagged) {
    TImapResponse done = Exchange(pieces, onUntagged);
    if (!done.IsStatus("OK")) throw Refusal(done);
    return done;
}

TImapResponse TImap::Exchange(const std::vector<std::string>& pieces, const Handler& onUntagged) {
    const std::string tag = Begin(pieces[0]);
    for (size_t i = 0; i < pieces.size(); i += 2)
        if (pieces[i].find_first_of("\r\n") != std::string::npos)
            throw EProtocolError("A line break in the command " + command_ + "; it was not sent.",
                                 kRefusedReply, kProtocol);
    std::string text = tag + " " + pieces[0];
    // Each literal waits for the server's "+"; a tagged answer instead ends the command there.
    for (size_t i = 1; i < pieces.size(); i += 2) {
        SendText(text + "{" + std::to_string(pieces[i].size()) + "}\r\n");
        TImapResponse turn = AwaitTurn(tag, onUntagged);
        if (turn.Kind == TImapResponse::TKind::Tagged) return turn;
        text = pieces[i] + (i + 1 < pieces.size() ? pieces[i + 1] : "");
    }
    SendText(text + "\r\n");
    return Finish(tag, onUntagged);
}

std::string TImap::Begin(const std::string& line) {
    command_ = line.substr(0, line.find_first_of(" {"));
    if (command_ == "UID") command_ = line.substr(0, line.find(' ', 4));
    Kept.clear();
    keptBytes_ = responses_ = 0;
    return NextTag();
}

TImapResponse TImap::AwaitTurn(const std::string& tag, const Handler& onUntagged) {
    for (;;) {
        TImapResponse r = ReadResponse();
        if (r.Kind == TImapResponse::TKind::Continuation) return r;
        if (r.Kind == TImapResponse::TKind::Tagged) {
            if (r.Tag != tag) throw Broken("A response with another tag: " + r.Line);
            TakeCapabilities(r);
            return r;
        }
        Untagged(r, onUntagged);
    }
}

TImapResponse TImap::Finish(const std::string& tag, const Handler& onUntagged) {
    for (;;) {
        TImapResponse r = ReadResponse();
        if (r.Kind == TImapResponse::TKind::Tagged) {
            if (r.Tag != tag) throw Broken("A response with another tag: " + r.Line);
            TakeCapabilities(r);
            return r;
        }
        if (!Untagged(r, onUntagged))
            throw Broken("A continuation that was not asked for: " + r.Line);
    }
}

bool TImap::Untagged(TImapResponse& r, const Handler& onUntagged) {
    if (r.Kind == TImapResponse::TKind::Continuation) return false;
    if (++responses_ > kMaxResponses)
        throw Broken("More than " + std::to_string(kMaxResponses) + " responses to one command");
    if (r.IsStatus("BYE") && !loggingOut_) FailBye(r);
    TakeCapabilities(r);
    if (onUntagged && onUntagged(r)) return true;
    if (NoteNews(r)) return true;
    Keep(std::move(r));
    return true;
}

void TImap::Keep(TImapResponse&& response) {
    keptBytes_ += response.Line.size();
    for (const TImapValue& v : response.Items) keptBytes_ += v.Text.size() + v.Items.size() * 8;
    if (Kept.size() >= kMaxKeptResponses || keptBytes_ > kMaxKeptBytes)
        throw Broken("More untagged responses to one command than are kept");
    Kept.push_back(std::move(response));
}

// EXISTS, RECENT and EXPUNGE may come with any command, and so may a FETCH of changed flags
// (a command that fetches takes its own responses before they get here).
bool TImap::NoteNews(const TImapResponse& r) {
    const std::optional<uint32_t> number = r.DataNumber();
    if (!number) return false;
    const std::string_view name = r.DataName();
    if (ImapWordIs(name, "EXISTS")) {
        News.Exists = *number;
        ++News.ExistsSeen;
    } else if (ImapWordIs(name, "EXPUNGE")) {
        ++News.Expunged;
    } else if (ImapWordIs(name, "RECENT")) {
        ++News.Recent;
    } else if (ImapWordIs(name, "FETCH")) {
        ++News.FlagChanges;
    } else {
        return false;
    }
    return true;
}

EProtocolError TImap::Refusal(const TImapResponse& response) const {
    EProtocolError refusal(response.Line, kRefusedReply, kProtocol);
    refusal.TemporaryRefusal = IsTemporary(response);
    return refusal;
}

EProtocolError TImap::Broken(const std::string& why) {
    DropConnection();
    EProtocolError broken(ImapMessageText(why), kBrokenReply, kProtocol);
    broken.ConnectionLost = true;
    return broken;
}

void TImap::FailBye(const TImapResponse& bye) {
    DropConnection();
    EProtocolError gone("The server ended the session during " + command_ + ": " + bye.Line,
                        kBrokenReply, kProtocol);
    gone.ConnectionLost = true;
    throw gone;
}

void TImap::Logout() {
    loggingOut_ = true;
    try {
        Command({"LOGOUT"});
    } catch (...) {
        loggingOut_ = false;
        Abort();
        throw;
    }
    loggingOut_ = false;
    Abort();
}

void TImap::Abort() {
    Disconnect();
    Kept.clear();
}
