// Times loading and saving the settings with many mailboxes, each in its own sub-key: a first
// save into an empty hive, a load, a save of what was loaded, and a save after removing the
// first further mailbox (every later one renumbered). Run by hand: settings_bench [COUNT].

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/settings.h"
#include "platform/registry.h"

namespace {

double Seconds(const std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <class F>
void Timed(const char* what, F run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    std::printf("%-36s %8.3f s\n", what, Seconds(start));
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    char folder[] = "/tmp/settings_bench.XXXXXX";
    if (!::mkdtemp(folder)) return 1;
    {
        TRegistry registry(std::string(folder) + "/registry.reg");
        TSettings settings;
        settings.Mailboxes[0].Connection.Host = "pop.example.org";
        settings.Mailboxes[0].User = "me";
        for (int i = 0; i < count; ++i) {
            TMailbox mailbox;
            mailbox.Connection.Host = "pop" + std::to_string(i) + ".example.org";
            mailbox.User = "user" + std::to_string(i);
            mailbox.FastCheck = i % 2 == 0;
            settings.Mailboxes.push_back(mailbox);
        }
        std::printf("%d further mailboxes\n", count);
        Timed("first save", [&] { SaveSettings(registry, settings); });
        TSettings loaded;
        TSettingsLoad load;
        Timed("load", [&] { LoadSettings(registry, loaded, load); });
        if (loaded.Mailboxes.size() != settings.Mailboxes.size()) {
            std::printf("loaded %zu mailboxes\n", loaded.Mailboxes.size());
            return 1;
        }
        Timed("save unchanged", [&] { SaveSettings(registry, loaded, load); });
        loaded.Mailboxes.erase(loaded.Mailboxes.begin());
        Timed("save with the first one removed", [&] { SaveSettings(registry, loaded, load); });
    }
    std::filesystem::remove_all(folder);
    return 0;
}
