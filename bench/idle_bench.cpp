// Times how soon a watched IMAP mailbox is rid of spam: against a private Dovecot, 50
// deliveries of a condemned message (written into the maildir's tmp/, then renamed into new/),
// each timed from the rename to the moment its file is gone from the maildir, and to the
// moment the pass reports. Beside it the yardstick: a plain client in IDLE, timed from the
// rename to the EXISTS it is told of. Median and worst of each.
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/credential_source.h"
#include "app/imap_watch.h"
#include "app/settings.h"
#include "app/token_source.h"
#include "filter/kill_list_store.h"
#include "net/imap.h"
#include "platform/registry.h"
#include "support/dovecot_server.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDeliveries = 50;
const fs::path kWork = fs::temp_directory_path() / "vornask-idle-bench";

std::string Message(const std::string& subject) {
    return "From: sender@example.org\r\nTo: joe@example.org\r\nSubject: " + subject +
           "\r\n\r\nHello.\r\n";
}

// Delivers as a mail server does: written whole into tmp/, then renamed into new/. Gives the
// moment of the rename and the file's name.
class Deliverer {
  public:
    explicit Deliverer(const DovecotServer& server)
        : maildir_(fs::path(server.Dir()) / "mail" / server.User() / "Maildir") {}

    std::pair<Clock::time_point, std::string> Deliver(const std::string& bytes) {
        const std::string name =
            "bench." + std::to_string(::getpid()) + "." + std::to_string(++count_) + ".vornask";
        const fs::path tmp = maildir_ / "tmp" / name;
        std::ofstream(tmp, std::ios::binary) << bytes;
        fs::permissions(tmp, fs::perms(0644));
        // As root the mail files belong to the server's mail user.
        if (::geteuid() == 0 && ::chown(tmp.c_str(), 5000, 5000) != 0) std::perror("chown");
        const auto at = Clock::now();
        fs::rename(tmp, maildir_ / "new" / name);
        return {at, name};
    }

    // Whether a file of that name (Dovecot adds its flags to it in cur/) is still there.
    bool Holds(const std::string& name) const {
        for (const char* sub : {"new", "cur"}) {
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(maildir_ / sub, ec))
                if (entry.path().filename().string().starts_with(name)) return true;
        }
        return false;
    }

  private:
    fs::path maildir_;
    int count_ = 0;
};

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Print(const char* what, std::vector<double> times) {
    if (times.empty()) {
        std::printf("%-44s  no figures\n", what);
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s  median %8.1f ms   worst %8.1f ms   (%zu)\n", what, times[times.size() / 2],
                times.back(), times.size());
}

bool Await(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const QDeadlineTimer deadline(limit);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return condition();
}

// A plain client in IDLE on INBOX: from the rename to the EXISTS.
std::vector<double> Yardstick(const DovecotServer& server, Deliverer& deliverer) {
    TImap imap;
    imap.Hostname = "127.0.0.1";
    imap.Port = server.ImapPort();
    imap.UserName = server.User();
    imap.Password = server.Password();
    imap.Open();
    imap.Select("INBOX");
    std::vector<double> times;
    for (int i = 0; i < kDeliveries; ++i) {
        imap.Idle();
        const auto [at, name] = deliverer.Deliver(Message("yardstick " + std::to_string(i)));
        if (imap.IdleWait(10000)) times.push_back(Ms(Clock::now() - at));
        imap.Done();
    }
    imap.Logout();
    return times;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    fs::remove_all(kWork);
    fs::create_directories(kWork / "cache");
    ::setenv("XDG_CACHE_HOME", (kWork / "cache").c_str(), 1);

    DovecotOptions options;
    options.imap = true;
    DovecotServer server("joe", "pw", options);
    Deliverer deliverer(server);

    const std::vector<double> yardstick = Yardstick(server, deliverer);

    TRegistry registry((kWork / "registry.reg").string());
    SaveKillList(registry, {"Subject: = cheap"});
    TSettings settings;
    settings.LogFile = (kWork / "deleted.log").string();
    TMailbox& mailbox = settings.Mailboxes[0];
    mailbox.Connection.Host = "127.0.0.1";
    mailbox.Connection.Port = server.ImapPort();
    mailbox.Connection.Protocol = TMailProtocol::Imap;
    mailbox.User = server.User();
    TTokenSource tokens;
    TCredentialSource credentials(tokens);
    credentials.Typed.Type(mailbox.Id(), server.Password());

    TImapWatch watch(credentials, registry.HivePath());
    int passes = 0;
    Clock::time_point lastPass;
    QObject::connect(&watch, &TImapWatch::Passed, [&](const TImapPassCounts&) {
        ++passes;
        lastPass = Clock::now();
    });
    QObject::connect(&watch, &TImapWatch::Down,
                     [](const std::exception_ptr&, std::chrono::milliseconds) {
                         std::fprintf(stderr, "the watch's connection went down\n");
                     });
    watch.Start(settings, mailbox);
    if (!Await([&] { return passes > 0; }, std::chrono::seconds(30))) {
        std::fprintf(stderr, "the watch never passed\n");
        return 1;
    }

    std::vector<double> gone;
    std::vector<double> reported;
    for (int i = 0; i < kDeliveries; ++i) {
        const int before = passes;
        const auto [at, name] = deliverer.Deliver(Message("cheap " + std::to_string(i)));
        // Tightly: the file's end is what the user would see.
        const QDeadlineTimer deadline(std::chrono::seconds(10));
        while (deliverer.Holds(name) && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        }
        if (!deliverer.Holds(name)) gone.push_back(Ms(Clock::now() - at));
        if (Await([&] { return passes > before; }, std::chrono::seconds(10)))
            reported.push_back(Ms(lastPass - at));
    }
    watch.Stop();

    std::printf("%d deliveries into the maildir (tmp/, then renamed into new/)\n", kDeliveries);
    Print("yardstick: a plain client in IDLE hears EXISTS", yardstick);
    Print("watch: the condemned message is gone", gone);
    Print("watch: its pass has reported", reported);
    fs::remove_all(kWork);
    return gone.size() == static_cast<size_t>(kDeliveries) ? 0 : 1;
}
