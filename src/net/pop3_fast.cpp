// The fast-check operations of the POP3 client: CAPA, UIDL and the pipelined login (RFC 2449).
#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "base/str_to_int.h"
#include "net/pop3.h"

namespace {

// RFC 1939: a unique id is 1 to 70 characters from 0x21 to 0x7E.
bool ValidUid(const std::string& uid) {
    return !uid.empty() && uid.size() <= 70 &&
           std::all_of(uid.begin(), uid.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

void TPop3::Greet() {
    RefuseUnusableSignIn();
    saslMechanisms_.clear();
    Connect();
    CheckReply();
    if (Encryption == TEncryption::Stls) StartStls();
}

std::vector<std::string> TPop3::Capabilities() {
    try {
        return ReadCapabilities();
    } catch (const EProtocolError& e) {
        if (e.ErrorCode == kRefusedReply && !IsClosed()) return {};  // refused: offers nothing
        throw;
    }
}

// The one reader of a CAPA reply, for the fast check, STLS and the probe alike.
std::vector<std::string> TPop3::ReadCapabilities() {
    saslMechanisms_.clear();
    Command("CAPA");
    std::vector<std::string> names;
    size_t lines = 0;
    ReadReplyLines([&](const std::string& line) {
        if (++lines > kMaxCapabilities) {
            DropConnection();
            throw LostReply();
        }
        const std::string name = line.substr(0, line.find(' '));
        if (!name.empty()) names.push_back(Upper(name));
        if (Upper(name) == "SASL") {
            std::istringstream words(line.substr(name.size()));
            for (std::string word; words >> word;) saslMechanisms_.push_back(Upper(word));
        }
    });
    return names;
}

std::map<int32_t, std::string> TPop3::Authenticate(bool pipelining, bool withUids) {
    // USER and PASS go ahead with the rest; a SASL exchange is a dialogue and goes first.
    std::vector<std::string> lines;
    if (Authentication == TAuthentication::UserPass)
        lines = {"USER " + UserName, "PASS " + Password};
    else
        SignInSasl();
    const size_t list = lines.size();
    lines.emplace_back("LIST");
    if (withUids) lines.emplace_back("UIDL");
    if (pipelining) SendCommands(lines);
    // Without pipelining each command goes once the reply before it has been read.
    const auto ask = [&](size_t i) {
        if (!pipelining) SendText(lines[i] + "\r\n");
    };
    for (size_t i = 0; i < list; ++i) {
        ask(i);
        CheckLoginReply();
    }
    ask(list);
    CheckReply();
    ReadListing();
    if (!withUids) return {};
    ask(list + 1);
    try {
        CheckReply();
    } catch (const EProtocolError& e) {
        if (e.ErrorCode == kRefusedReply) return {};  // no ids: every message is examined
        throw;
    }
    return ReadUidListing();
}

// Each line is "number uid". One bad line voids the whole listing; an id given to two
// messages is dropped for both, so neither can pass for the other. More ids than listed
// messages void it too, which also bounds what it keeps by what the listing holds.
std::map<int32_t, std::string> TPop3::ReadUidListing() {
    std::map<int32_t, std::string> uids;
    std::set<std::string> seen, twice;
    bool valid = true;
    ReadReplyLines([&](const std::string& line) {
        const size_t space = line.find(' ');
        const std::optional<int32_t> number = TryStrToInt(line.substr(0, space));
        const std::string uid = space == std::string::npos ? "" : line.substr(space + 1);
        if (valid &&
            (!number || !ValidUid(uid) || uids.count(*number) || uids.size() >= Messages.size())) {
            valid = false;
            uids.clear();
            seen.clear();
            twice.clear();
        }
        if (!valid) return;
        if (!seen.insert(uid).second) twice.insert(uid);
        uids[*number] = uid;
    });
    if (!valid) return {};
    std::erase_if(uids, [&twice](const auto& entry) { return twice.count(entry.second) > 0; });
    return uids;
}

void TPop3::SendCommands(const std::vector<std::string>& lines) {
    std::string batch;
    for (const std::string& line : lines) batch += line + "\r\n";
    SendText(batch);
}
