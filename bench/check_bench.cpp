// Times whole checks against a private Dovecot: the classic check (header pass, then kill
// pass), the fast check (first run, then a repeat on the unchanged mailbox) and a pipelining
// yardstick, behind a delay relay (50 ms round trip) and on plain loopback. Each check runs
// in a child process so that its peak RSS can be told apart. The same checks over TLS on
// connect beside plain text. Then the per-message cost of a server that writes replies in two
// pieces, with and without prompt acknowledgements. Then the classic and the fast check with
// both match boxes (decoded headers, ignore case) off and on. "check_bench options" runs only
// that last comparison, "check_bench condemned" only the checks that delete every tenth message
// behind the delay relay, "check_bench mailboxes" only the check of one and of three mailboxes.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <sstream>

#include "app/check_session.h"
#include "app/credential_source.h"
#include "app/mailbox_check.h"
#include "app/settings.h"
#include "child_run.h"
#include "delay_relay.h"
#include "filter/fast_pass.h"
#include "filter/kill_list_store.h"
#include "filter/kill_pass.h"
#include "mailbox_filler.h"
#include "net/ip_misc.h"
#include "net/pop3.h"
#include "pipeline_yardstick.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"
#include "support/test_certificates.h"
#include "two_write_server.h"

namespace {

constexpr size_t kMessageSize = 20 * 1024;
const std::string kWork = std::filesystem::temp_directory_path() / "vornask-check-bench";

// The server's certificate, trusted by its pin, for the checks over TLS.
std::string g_pin;

// A client whose transport can do without prompt acknowledgements, as before. The server's
// TLS port means TLS on connect.
class BenchPop3 : public TPop3 {
  public:
    BenchPop3(uint16_t port, const DovecotServer* server, bool quickAck = true) {
        Hostname = "127.0.0.1";
        Port = port;
        if (server && server->TlsPort() != 0 && port == server->TlsPort()) {
            Encryption = TEncryption::TlsOnConnect;
            TrustedCertificate = g_pin;
        }
        UserName = server ? server->User() : "u";
        Password = server ? server->Password() : "p";
        Transport = std::make_unique<TSocketTransport>(quickAck);
    }
};

struct Result {
    double seconds = 0;
    double rssMb = 0;
};

// Runs body in a child: its seconds and the growth of its peak RSS over what it inherited.
Result InChild(const std::function<void()>& body) {
    const TChildRun<bool> run = RunInChild<bool>([&] {
        body();
        return true;
    });
    return {run.Seconds, run.PeakMb};
}

void Classic(uint16_t port, const DovecotServer& server, bool quickAck,
             const TMatchOptions& options = {}, const std::string& logFile = "") {
    BenchPop3 pop(port, &server, quickAck);
    TRegistry registry(kWork + "/registry.reg");
    pop.Login();
    pop.ReadHeaders();
    pop.Logout();
    auto count = static_cast<int32_t>(pop.MailText.size());
    if (count != 0) KillPass(pop, registry, logFile, count, options);
}

void Fast(uint16_t port, const DovecotServer& server, const TMatchOptions& options = {},
          const std::string& logFile = "") {
    BenchPop3 pop(port, &server);
    TRegistry registry(kWork + "/registry.reg");
    TFastCheck check(pop, registry, logFile, kWork + "/cache", {}, options);
    check.Login();
    int32_t count = check.Listed();
    check.Run(count);
}

// The logout lines of Dovecot's log so far: "retr=N/BYTES, del=N/M" each.
std::vector<std::string> Logouts(const DovecotServer& server) {
    std::ifstream in(server.Dir() + "/dovecot.log");
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    const std::regex line("(retr=[0-9]+/[0-9]+, del=[0-9]+/[0-9]+)");
    std::vector<std::string> found;
    for (std::sregex_iterator it(log.begin(), log.end(), line), end; it != end; ++it)
        found.push_back((*it)[1].str());
    return found;
}

// The last session's line, once Dovecot has written it (it logs a moment after the logout).
std::string LastWork(const DovecotServer& server, size_t expected) {
    for (int wait = 0; wait < 100; ++wait) {
        const std::vector<std::string> lines = Logouts(server);
        if (lines.size() >= expected) return lines.back();
        usleep(20000);
    }
    return "(no logout line)";
}

// Runs check in a child; work gets the server's count of its last session.
Result Timed(const std::function<void()>& check, const DovecotServer& server, size_t sessions,
             std::string& work) {
    const size_t before = Logouts(server).size();
    const Result r = InChild(check);
    work = LastWork(server, before + sessions);
    return r;
}

void Row(const char* name, const std::function<void()>& check, const DovecotServer& server,
         double yardstick, size_t sessions = 1) {
    std::string work;
    const Result r = Timed(check, server, sessions, work);
    std::printf("  %-36s %8.3f s %7.1f MB  %6.2fx  %s\n", name, r.seconds, r.rssMb,
                r.seconds / yardstick, work.c_str());
}

// One check in plain text and over TLS on connect; the server's count is the TLS session's.
void TlsRow(const char* name, const std::function<void(uint16_t port)>& check,
            const DovecotServer& server, size_t sessions = 1) {
    std::string work;
    const Result plain = Timed([&] { check(server.Port()); }, server, sessions, work);
    const Result tls = Timed([&] { check(server.TlsPort()); }, server, sessions, work);
    std::printf("  %-36s %8.3f s %8.3f s %8.2fx %7.1f MB  %s\n", name, plain.seconds, tls.seconds,
                tls.seconds / plain.seconds, tls.rssMb, work.c_str());
}

void CompareTls(const char* title, const DovecotServer& server) {
    std::printf("%s\n  %-36s %10s %10s %9s %10s  %s\n", title, "check", "plain", "TLS", "TLS/plain",
                "TLS RSS", "server's count of the TLS session");
    TlsRow(
        "classic", [&](uint16_t port) { Classic(port, server, true); }, server, 2);
    std::filesystem::remove_all(kWork + "/cache");
    TlsRow(
        "fast, first run", [&](uint16_t port) { Fast(port, server); }, server);
    TlsRow(
        "fast, repeat run", [&](uint16_t port) { Fast(port, server); }, server);
}

void Compare(const char* title, const DovecotServer& server, uint16_t port, bool withClassic,
             bool withToday) {
    std::printf("%s\n  %-36s %10s %10s %7s  %s\n", title, "check", "time", "RSS growth", "/yard",
                "server's count of the last session");
    const double yardstick =
        InChild([&] { RunPipelineYardstick(port, server.User(), server.Password(), {}); }).seconds;
    std::printf("  %-36s %8.3f s\n", "pipelining yardstick", yardstick);
    if (withToday)
        Row(
            "classic, without quick ACK (before)", [&] { Classic(port, server, false); }, server,
            yardstick);
    if (withClassic)
        Row(
            "classic", [&] { Classic(port, server, true); }, server, yardstick, 2);
    std::filesystem::remove_all(kWork + "/cache");
    Row(
        "fast, first run", [&] { Fast(port, server); }, server, yardstick);
    Row(
        "fast, repeat run", [&] { Fast(port, server); }, server, yardstick);
}

void SaveBenchKillList(const TStringList& rules) {
    TRegistry registry(kWork + "/registry.reg");
    SaveKillList(registry, rules);
}

// The mailbox as the filler wrote it, indexed once by Dovecot.
void Refill(const DovecotServer& server, int count) {
    const std::string maildir = server.Dir() + "/mail/" + server.User() + "/Maildir";
    for (const char* folder : {"/new", "/cur"}) {
        for (const auto& entry : std::filesystem::directory_iterator(maildir + folder))
            std::filesystem::remove(entry.path());
    }
    FillMaildir(maildir, count, kMessageSize);
    RunPipelineYardstick(server.Port(), server.User(), server.Password(), {});
}

// Every tenth message (numbers ending in 0) condemned and logged, a fresh mailbox each run.
void CompareCondemned(const DovecotServer& server, int count) {
    DelayRelay relay(server.Port(), 25);
    std::printf(
        "%d messages of 20 KB, 10 %% condemned, 50 ms round trip\n  %-36s %10s %10s %7s  "
        "%s\n",
        count, "check", "time", "RSS growth", "/yard", "server's count of the last session");
    std::vector<int> condemned;
    for (int n = 10; n <= count; n += 10) condemned.push_back(n);
    Refill(server, count);
    const double yardstick =
        InChild([&] {
            RunPipelineYardstick(relay.Port(), server.User(), server.Password(), condemned);
        }).seconds;
    std::printf("  %-36s %8.3f s\n", "pipelining yardstick", yardstick);
    SaveBenchKillList({"Message-ID: = 0.bench@"});
    const std::string log = kWork + "/deleted.log";
    Refill(server, count);
    Row(
        "classic", [&] { Classic(relay.Port(), server, true, {}, log); }, server, yardstick, 2);
    Refill(server, count);
    std::filesystem::remove_all(kWork + "/cache");
    Row(
        "fast, first run", [&] { Fast(relay.Port(), server, {}, log); }, server, yardstick);
    SaveBenchKillList({"Subject: = no such subject"});
}

// One check with both match boxes off and on, alternately; the better of two runs each.
void OptionsRow(const char* name, const std::function<void(const TMatchOptions&)>& check) {
    double off = 1e9, on = 1e9;
    for (int round = 0; round < 2; ++round) {
        off = std::min(off, InChild([&] { check({}); }).seconds);
        on = std::min(on, InChild([&] { check({true, true}); }).seconds);
    }
    std::printf("  %-36s %8.3f s %8.3f s %7.2fx\n", name, off, on, on / off);
}

void CompareOptions(const DovecotServer& server) {
    std::printf("2000 messages of 20 KB, plain loopback, match boxes\n  %-36s %10s %10s %8s\n",
                "check", "off", "both on", "on/off");
    OptionsRow("classic", [&](const TMatchOptions& options) {
        Classic(server.Port(), server, true, options);
    });
    OptionsRow("fast, first run", [&](const TMatchOptions& options) {
        std::filesystem::remove_all(kWork + "/cache");
        Fast(server.Port(), server, options);
    });
}

// Seconds per RETR against the server that writes each reply in two pieces.
double TwoWriteCost(bool quickAck) {
    constexpr int kCount = 40;
    TwoWriteServer server(kCount);
    BenchPop3 pop(server.Port(), nullptr, quickAck);
    pop.Login();
    const auto start = std::chrono::steady_clock::now();
    for (int n = 1; n <= kCount; ++n) pop.RetrieveMessage(n);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    pop.Logout();
    return took / kCount;
}

// Checks the mailboxes as the tray does: each by a TMailboxCheck of its own, all at once, each
// session on its own thread. Runs in a child (InChild), where the application object lives.
void CheckAtOnce(const TSettings& settings) {
    int argc = 1;
    char name[] = "check_bench";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    TTokenSource tokens;
    TCredentialSource credentials(tokens);
    for (const TMailbox& mailbox : settings.Mailboxes)
        credentials.Typed.TypeLine(mailbox.Id(), "bench-pw");
    std::vector<std::unique_ptr<TMailboxCheck>> checks;
    size_t running = 0;
    QEventLoop loop;
    for (const TMailbox& mailbox : settings.Mailboxes) {
        checks.push_back(std::make_unique<TMailboxCheck>(credentials, kWork + "/registry.reg"));
        QObject::connect(checks.back().get(), &TMailboxCheck::Finished, &loop,
                         [&](const TMailboxCheckResult& result) {
                             if (result.Failure) {
                                 std::fprintf(stderr, "check_bench: a mailbox's check failed\n");
                                 std::_Exit(1);
                             }
                             if (--running == 0) loop.quit();
                         });
        ++running;
        checks.back()->Start(settings, mailbox);
    }
    loop.exec();
}

// Three mailboxes of 200 messages, each behind its own 50 ms round trip, checked as the tray
// checks them (classic check): each alone, then all three at once.
void CompareMailboxes() {
    std::vector<std::unique_ptr<DovecotServer>> servers;
    std::vector<std::unique_ptr<DelayRelay>> relays;
    TSettings all;
    all.Mailboxes.clear();
    for (int i = 0; i < 3; ++i) {
        servers.push_back(std::make_unique<DovecotServer>("bench", "bench-pw"));
        FillMaildir(servers.back()->Dir() + "/mail/bench/Maildir", 200, kMessageSize);
        RunPipelineYardstick(servers.back()->Port(), "bench", "bench-pw", {});
        relays.push_back(std::make_unique<DelayRelay>(servers.back()->Port(), 25));
        TMailbox mailbox;
        mailbox.Connection.Host = "127.0.0.1";
        mailbox.Connection.Port = relays.back()->Port();
        mailbox.User = "bench";
        all.Mailboxes.push_back(mailbox);
    }
    std::printf("mailboxes of 200 messages of 20 KB, 50 ms round trip, classic check\n");
    double slowest = 0;
    for (size_t i = 0; i < all.Mailboxes.size(); ++i) {
        TSettings one = all;
        one.Mailboxes = {all.Mailboxes[i]};
        const double alone = InChild([&] { CheckAtOnce(one); }).seconds;
        slowest = std::max(slowest, alone);
        std::printf("  mailbox %zu alone   %7.2f s\n", i + 1, alone);
    }
    const double three = InChild([&] { CheckAtOnce(all); }).seconds;
    std::printf("  3 mailboxes at once %7.2f s  (%.2f times the slowest alone)\n", three,
                slowest > 0 ? three / slowest : 0.0);
}

}  // namespace

int main(int argc, char** argv) try {
    const std::string only = argc > 1 ? argv[1] : "";
    StartSockets();
    std::filesystem::remove_all(kWork);
    std::filesystem::create_directories(kWork);
    // A rule that condemns nothing keeps the mailbox the same for every check.
    SaveBenchKillList({"Subject: = no such subject"});
    if (only == "mailboxes") {
        CompareMailboxes();
        std::filesystem::remove_all(kWork);
        return 0;
    }
    const TestCertificates& certs = TestCertificates::Get();
    g_pin = certs.Fingerprint("server");
    DovecotServer small("bench", "bench-pw");
    DovecotServer large("bench", "bench-pw",
                        DovecotOptions{certs.Pem("server"), certs.Key("server"), false});
    FillMaildir(small.Dir() + "/mail/bench/Maildir", 200, kMessageSize);
    FillMaildir(large.Dir() + "/mail/bench/Maildir", 2000, kMessageSize);
    for (const DovecotServer* s : {&small, &large})  // lets Dovecot index once
        RunPipelineYardstick(s->Port(), s->User(), s->Password(), {});
    if (only == "options" || only == "condemned") {
        if (only == "options") CompareOptions(large);
        if (only == "condemned") CompareCondemned(small, 200);
        std::filesystem::remove_all(kWork);
        return 0;
    }

    {
        DelayRelay relay(small.Port(), 25);
        Compare("200 messages of 20 KB, 50 ms round trip", small, relay.Port(), true, false);
    }
    CompareCondemned(small, 200);
    Compare("2000 messages of 20 KB, plain loopback", large, large.Port(), true, true);
    CompareTls("2000 messages of 20 KB, TLS on connect, loopback", large);
    {
        DelayRelay relay(large.Port(), 25);
        Compare("2000 messages of 20 KB, 50 ms round trip", large, relay.Port(), false, false);
    }
    std::printf(
        "server writing status line and text apart, per RETR: %.1f ms without quick "
        "ACK, %.2f ms with\n",
        TwoWriteCost(false) * 1e3, TwoWriteCost(true) * 1e3);
    CompareOptions(large);
    std::filesystem::remove_all(kWork);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "check_bench: %s\n", e.what());
    return 1;
}
