// The fast-check operations of the POP3 client: CAPA, UIDL and the pipelined login (RFC 2449).
#include <algorithm>
#include <cctype>
#include <sstream>

#include "base/str_to_int.h"
#include "net/pop3.h"

namespace {

// RFC 1939: a unique id is 1 to 70 characters from 0x21 to 0x7E.
bool ValidUid(std::string_view uid) {
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

TUidListing TPop3::Authenticate(bool pipelining, bool withUids) {
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

// Each line is "number uid". One bad line voids the whole listing, as does a number given
// two ids; an id given to two messages is dropped for both, so neither can pass for the
// other. More ids than listed messages void it too, which also bounds what it keeps by what
// the listing holds.
TUidListing TPop3::ReadUidListing() {
    TUidListing uids;
    bool valid = true;
    ReadReplyLines([&](const std::string& line) {
        if (!valid) return;
        const size_t space = line.find(' ');
        const std::optional<int32_t> number = TryStrToInt(line.substr(0, space));
        const std::string_view uid = space == std::string::npos
                                         ? std::string_view()
                                         : std::string_view(line).substr(space + 1);
        if (!number || !ValidUid(uid) || uids.size() >= Messages.size()) {
            valid = false;
            uids.clear();
            return;
        }
        uids.Add(*number, uid);
    });
    if (!valid || !uids.Seal()) return {};
    return uids;
}

TUidListing::TUidListing(std::initializer_list<std::pair<int32_t, std::string_view>> ids) {
    for (const auto& [number, uid] : ids) Add(number, uid);
    Seal();
}

void TUidListing::Add(int32_t number, std::string_view uid) {
    entries_.push_back(
        {number, static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(uid.size())});
    bytes_.append(uid);
}

bool TUidListing::Seal() {
    const auto byNumber = [](const TEntry& a, const TEntry& b) { return a.Number < b.Number; };
    std::sort(entries_.begin(), entries_.end(), byNumber);
    const auto sameNumber = [](const TEntry& a, const TEntry& b) { return a.Number == b.Number; };
    if (std::adjacent_find(entries_.begin(), entries_.end(), sameNumber) != entries_.end()) {
        clear();
        return false;
    }
    std::vector<uint32_t> byUid(entries_.size());
    for (uint32_t i = 0; i < byUid.size(); ++i) byUid[i] = i;
    std::sort(byUid.begin(), byUid.end(),
              [this](uint32_t a, uint32_t b) { return Uid(entries_[a]) < Uid(entries_[b]); });
    std::vector<bool> shared(entries_.size());
    for (size_t i = 1; i < byUid.size(); ++i) {
        if (Uid(entries_[byUid[i - 1]]) != Uid(entries_[byUid[i]])) continue;
        shared[byUid[i - 1]] = true;
        shared[byUid[i]] = true;
    }
    size_t kept = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (!shared[i]) entries_[kept++] = entries_[i];
    }
    entries_.resize(kept);
    return true;
}

std::string_view TUidListing::Find(int32_t number) const {
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), number,
                                     [](const TEntry& e, int32_t n) { return e.Number < n; });
    return at != entries_.end() && at->Number == number ? Uid(*at) : std::string_view();
}

void TUidListing::clear() {
    bytes_ = {};
    entries_ = {};
}

void TPop3::SendCommands(const std::vector<std::string>& lines) {
    std::string batch;
    for (const std::string& line : lines) batch += line + "\r\n";
    SendText(batch);
}
