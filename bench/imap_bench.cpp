// Times the IMAP pass against a private Dovecot INBOX of 2000 and of 20,000 unseen messages of
// about 20 KB, every tenth condemned: the first pass beside a yardstick client that searches
// everything, fetches it all in one UID FETCH, matches and removes the condemned with one UID
// STORE and one UID EXPUNGE; then a second pass with no new mail. Each run is a child process,
// so that its peak memory can be told apart. "imap_bench 2000" runs only that size. Best of 3
// rounds (2 at 20,000), the rounds taking turns.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "child_run.h"
#include "filter/fetched_message.h"
#include "filter/imap_pass.h"
#include "filter/kill_list_store.h"
#include "filter/match.h"
#include "mailbox_filler.h"
#include "net/imap.h"
#include "net/ip_misc.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"

namespace {

constexpr size_t kMessageSize = 20 * 1024;
// Every tenth message: its Message-ID is "<n.bench@example.net>" with n ending in 0.
const TStringList kKillList = {"Message-ID: = 0.bench@"};
const std::string kWork = std::filesystem::temp_directory_path() / "vornask-imap-bench";

struct Result {
    double seconds = -1;
    double peakMb = 0;  // growth of the peak RSS over what the child inherited
    uint32_t examined = 0;
    uint32_t removed = 0;
    double cpu = 0;  // the client's own processor time
};

// Runs body in a child: what it measured, with the child's peak memory growth and processor
// time.
Result InChild(const std::function<Result()>& body) {
    const TChildRun<Result> run = RunInChild<Result>(body);
    Result result = run.Value;
    if (run.Seconds < 0) result.seconds = -1;
    result.peakMb = run.PeakMb;
    result.cpu = run.Cpu;
    return result;
}

class BenchImap : public TImap {
  public:
    explicit BenchImap(const DovecotServer& server) {
        Hostname = "127.0.0.1";
        Port = server.ImapPort();
        UserName = server.User();
        Password = server.Password();
    }
};

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The yardstick: everything in one UID FETCH, the condemned in one STORE and one EXPUNGE.
Result Yardstick(const DovecotServer& server) {
    BenchImap imap(server);
    const auto start = std::chrono::steady_clock::now();
    imap.Open();
    imap.Select("INBOX");
    const std::vector<uint32_t> uids = imap.UidSearch("ALL");
    std::vector<uint32_t> condemned;
    TLineBuffer lines;
    Result result;
    imap.UidFetchMessages(uids, [&](uint32_t uid, std::string_view message) {
        ++result.examined;
        FetchedLines(message, lines);
        if (MatchFilters(lines, kKillList)) condemned.push_back(uid);
    });
    imap.UidStoreDeleted(condemned);
    imap.UidExpunge(condemned);
    imap.Logout();
    result.seconds = Since(start);
    result.removed = static_cast<uint32_t>(condemned.size());
    return result;
}

// One pass on a new connection, sign-in included.
Result Pass(const DovecotServer& server, const std::string& logFile) {
    TRegistry registry(kWork + "/registry.reg");
    BenchImap imap(server);
    const auto start = std::chrono::steady_clock::now();
    imap.Open();
    TImapPassSettings settings;
    settings.LogFile = logFile;
    settings.RecordFolder = kWork + "/cache";
    TImapPass pass(imap, registry, settings);
    pass.Open();
    const TImapPassCounts counts = pass.Run();
    imap.Logout();
    return {Since(start), 0, counts.Examined, counts.Removed};
}

// A server holding count messages, indexed once by a session that selects the folder.
std::unique_ptr<DovecotServer> Filled(int count) {
    DovecotOptions options;
    options.imap = true;
    auto server = std::make_unique<DovecotServer>("bench", "bench-pw", options);
    FillMaildir(server->Dir() + "/mail/bench/Maildir", count, kMessageSize);
    BenchImap imap(*server);
    imap.Open();
    imap.Select("INBOX");
    imap.Logout();
    return server;
}

void Print(const char* name, const Result& r, double yardstick) {
    std::printf("%-28s %9.3f %7.3f %9.1f %9u %8u", name, r.seconds, r.cpu, r.peakMb, r.examined,
                r.removed);
    if (yardstick > 0) std::printf(" %7.2fx", r.seconds / yardstick);
    std::printf("\n");
}

void RunSize(int count) {
    std::filesystem::remove_all(kWork);
    std::filesystem::create_directories(kWork);
    {
        TRegistry registry(kWork + "/registry.reg");
        SaveKillList(registry, kKillList);
    }
    std::printf("\nINBOX of %d unseen messages of %zu KB, every tenth condemned\n", count,
                kMessageSize / 1024);
    std::printf("%-28s %9s %7s %9s %9s %8s %8s\n", "run", "seconds", "cpu s", "peak MB", "examined",
                "removed", "ratio");
    // Rounds in turn, each on a freshly filled server; the best of each kind counts, as the
    // machine's other work only ever makes a run slower.
    const int rounds = count > 5000 ? 2 : 3;
    Result yardstick, first, second;
    const auto best = [](Result& kept, const Result& r) {
        if (kept.seconds < 0 || (r.seconds >= 0 && r.seconds < kept.seconds)) kept = r;
    };
    for (int round = 0; round < rounds; ++round) {
        {
            const auto server = Filled(count);
            best(yardstick, InChild([&] { return Yardstick(*server); }));
        }
        std::filesystem::remove_all(kWork + "/cache");
        const auto server = Filled(count);
        best(first, InChild([&] { return Pass(*server, ""); }));
        best(second, InChild([&] { return Pass(*server, ""); }));
    }
    Print("yardstick (one FETCH)", yardstick, 0);
    Print("first pass, no log", first, yardstick.seconds);
    Print("second pass, no new mail", second, 0);
    std::filesystem::remove_all(kWork + "/cache");
    const auto server = Filled(count);
    Print("first pass, logged", InChild([&] { return Pass(*server, kWork + "/deleted.log"); }),
          yardstick.seconds);
}

}  // namespace

int main(int argc, char** argv) try {
    StartSockets();
    if (argc > 1) {
        RunSize(std::atoi(argv[1]));
    } else {
        RunSize(2000);
        RunSize(20000);
    }
    std::filesystem::remove_all(kWork);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "imap_bench: %s\n", e.what());
    return 1;
}
