#pragma once

// Counts how often a file is replaced by a rename into its place (inotify on its folder;
// creations are watched too, so that the queue never merges two renames into one event).

#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

class ReplacementCounter {
  public:
    explicit ReplacementCounter(const std::string& file)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)),
          name_(std::filesystem::path(file).filename().string()) {
        inotify_add_watch(fd_, std::filesystem::path(file).parent_path().c_str(),
                          IN_CREATE | IN_MOVED_TO);
    }
    ~ReplacementCounter() { close(fd_); }
    ReplacementCounter(const ReplacementCounter&) = delete;
    ReplacementCounter& operator=(const ReplacementCounter&) = delete;

    // Replacements since the last call (the events are queued as soon as they happen).
    int Count() {
        int count = 0;
        alignas(inotify_event) char buffer[65536];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (char* at = buffer; at < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                if ((event->mask & IN_MOVED_TO) && event->len > 0 && name_ == event->name) ++count;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return count;
    }

  private:
    int fd_;
    std::string name_;
};
