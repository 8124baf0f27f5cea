#pragma once

// Runs a bench's piece of work in a forked child, so that each run's peak memory can be told
// apart from the others': what the work returns comes back through a pipe with the child's
// wall and processor time and the growth of its peak RSS over what it inherited.

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <functional>
#include <string>
#include <type_traits>

// A figure of /proc/self/status in MB ("VmRSS:", "VmHWM:").
inline double StatusMb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with(field)) return std::stod(line.substr(std::strlen(field))) / 1024;
    }
    return 0;
}

template <class T>
struct TChildRun {
    static_assert(std::is_trivially_copyable_v<T>, "it crosses a pipe as bytes");
    T Value{};
    double Seconds = -1;  // -1: the child never reported
    double PeakMb = 0;
    double Cpu = 0;
    bool Failed = true;  // the work raised (it is said on stderr) or the child never reported
};

template <class T>
TChildRun<T> RunInChild(const std::function<T()>& body) {
    TChildRun<T> run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const double inherited = StatusMb("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        run.Failed = false;
        try {
            run.Value = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "run failed: %s\n", e.what());
            run.Failed = true;
        }
        run.Seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.Cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        run.PeakMb = StatusMb("VmHWM:") - inherited;
        const bool written = write(fds[1], &run, sizeof run) == sizeof run;
        _exit(written && !run.Failed ? 0 : 1);
    }
    close(fds[1]);
    if (read(fds[0], &run, sizeof run) != sizeof run) run = TChildRun<T>{};
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return run;
}
