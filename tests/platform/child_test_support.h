#pragma once

// Helpers for tests that start real processes: small shell scripts and a look at /proc for
// zombies left behind.

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "support/files.h"

namespace test_support {

inline void WriteFile(const std::string& path, const std::string& text, mode_t mode = 0644) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

inline void WriteScript(const std::string& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body + "\n", 0755);
}

inline bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Children of this process that have ended but were never reaped.
inline int ZombieChildren() {
    int zombies = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = ReadFileBytes(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        std::istringstream(stat.substr(close + 2)) >> state >> parent;
        if (state == 'Z' && parent == getpid()) ++zombies;
    }
    return zombies;
}

// Polls a condition (with an optional step between looks, such as running an event loop).
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit,
                    const std::function<void()>& step = {}) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (step)
            step();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace test_support
