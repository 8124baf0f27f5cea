// Times the POP3 client on loopback against a private Dovecot holding 2000 messages of about
// 20 KB, next to python3's poplib on the same server in the same run, and the same passes
// over TLS on connect next to the plain ones.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>

#include "mailbox_filler.h"
#include "net/ip_misc.h"
#include "net/pop3.h"
#include "poplib_yardstick.h"
#include "support/dovecot_server.h"
#include "support/test_certificates.h"

namespace {

constexpr int kMessages = 2000;
constexpr size_t kMessageSize = 20 * 1024;
constexpr int kRounds = 3;

class MeasuredPop3 : public TPop3 {
  public:
    using TPop3::ReceiveCalls;
    using TPop3::ReceivedBytes;
};

struct Pass {
    double seconds = 1e9;
    uint64_t calls = 0;
    uint64_t bytes = 0;
    double cpu = 0;  // this process's processor time: what the client itself spends
};

// The server's certificate, trusted by its pin, for the TLS passes.
std::string g_pin;

template <class Body>
Pass Measure(const DovecotServer& server, Body&& body, bool tls = false) {
    MeasuredPop3 pop;
    pop.Hostname = "127.0.0.1";
    pop.Port = tls ? server.TlsPort() : server.Port();
    if (tls) {
        pop.Encryption = TEncryption::TlsOnConnect;
        pop.TrustedCertificate = g_pin;
    }
    pop.UserName = server.User();
    pop.Password = server.Password();
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    pop.Login();
    body(pop);
    pop.Logout();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    return {took.count(), pop.ReceiveCalls, pop.ReceivedBytes, cpu};
}

void Print(const char* name, const Pass& pass, double poplib) {
    std::printf("%-22s %9.3f %8.1f %10.2f %11.0f %10.3f %7.2fx\n", name, pass.seconds,
                pass.bytes / pass.seconds / 1e6, double(pass.calls) / kMessages,
                double(pass.bytes) / double(pass.calls), poplib, pass.seconds / poplib);
}

}  // namespace

int main() try {
    StartSockets();
    const TestCertificates& certs = TestCertificates::Get();
    g_pin = certs.Fingerprint("server");
    DovecotServer server("bench", "bench-pw",
                         DovecotOptions{certs.Pem("server"), certs.Key("server"), false});
    const size_t total = FillMaildir(server.Dir() + "/mail/bench/Maildir", kMessages, kMessageSize);
    std::printf("%d messages, %.1f MB in the maildir, best of %d rounds\n", kMessages, total / 1e6,
                kRounds);
    RunPoplib(server.Port(), server.User(), server.Password());  // lets Dovecot index once

    const auto readHeaders = [](TPop3& pop) { pop.ReadHeaders(); };
    const auto retrieveAll = [](TPop3& pop) {
        for (int n = 1; n <= kMessages; ++n) pop.RetrieveMessage(n);
    };
    Pass headers, retrieve, tlsHeaders, tlsRetrieve;
    PoplibTimes poplib{1e9, 1e9}, poplibTls{1e9, 1e9};
    const auto keepBest = [](Pass& best, const Pass& pass) {
        if (pass.seconds < best.seconds) best = pass;
    };
    for (int round = 0; round < kRounds; ++round) {
        keepBest(headers, Measure(server, readHeaders));
        keepBest(retrieve, Measure(server, retrieveAll));
        keepBest(tlsHeaders, Measure(server, readHeaders, true));
        keepBest(tlsRetrieve, Measure(server, retrieveAll, true));
        PoplibTimes p = RunPoplib(server.Port(), server.User(), server.Password());
        PoplibTimes t = RunPoplib(server.TlsPort(), server.User(), server.Password(), true);
        poplibTls.headers = std::min(poplibTls.headers, t.headers);
        poplibTls.retrieve = std::min(poplibTls.retrieve, t.retrieve);
        poplib.headers = std::min(poplib.headers, p.headers);
        poplib.retrieve = std::min(poplib.retrieve, p.retrieve);
    }
    std::printf("%-22s %9s %8s %10s %11s %10s %8s\n", "pass", "vornask s", "MB/s", "recv/msg",
                "bytes/recv", "poplib s", "ratio");
    Print("Login+ReadHeaders", headers, poplib.headers);
    Print("Login+RETR 1..N", retrieve, poplib.retrieve);
    // Dovecot encrypts in its login process, which relays every byte once more: poplib over
    // TLS shows what that costs any client.
    std::printf("\n%-22s %9s %8s %7s %10s %7s %9s %9s\n", "pass over TLS", "vornask s", "plain s",
                "ratio", "poplib s", "ratio", "cpu s", "plain cpu");
    const auto printTls = [](const char* name, const Pass& pass, const Pass& plain, double poplib) {
        std::printf("%-22s %9.3f %8.3f %6.2fx %10.3f %6.2fx %9.3f %9.3f\n", name, pass.seconds,
                    plain.seconds, pass.seconds / plain.seconds, poplib, pass.seconds / poplib,
                    pass.cpu, plain.cpu);
    };
    printTls("TLS Login+ReadHeaders", tlsHeaders, headers, poplibTls.headers);
    printTls("TLS Login+RETR 1..N", tlsRetrieve, retrieve, poplibTls.retrieve);
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "pop3_bench: %s\n", e.what());
    return 1;
}
