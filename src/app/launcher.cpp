#include "app/launcher.h"

#include <QTimer>
#include <array>
#include <utility>

#include "platform/process_start.h"

namespace {

// The start failure texts by error number; numbers without an entry have an empty text.
constexpr std::array<const char*, 32> kLaunchMessages = {
    /*  0 */ "Out of memory or executable file is corrupt",
    /*  1 */ nullptr,
    /*  2 */ "File was not found",
    /*  3 */ "Path was not found",
    /*  4 */ nullptr,
    /*  5 */ "Sharing violation or netword error",
    /*  6 */ "A library required separate data segments for each task",
    /*  7 */ nullptr,
    /*  8 */ "Insufficient memory to start application",
    /*  9 */ nullptr,
    /* 10 */ "Incorrect version of Windows",
    /* 11 */ "File is not a Windows application or there was an error in the .EXE image",
    /* 12 */ "Application was designed for a different operating system",
    /* 13 */ "Application was designed for MS-DOS 4.0",
    /* 14 */ "Unknown executable file type",
    /* 15 */ "Cannot load a real-mode application",
    /* 16 */
    "Cannot load a second instance of an executable file containing multiple, "
    "non-read-only data segments",
    /* 17 */ nullptr,
    /* 18 */ nullptr,
    /* 19 */ "Cannot load a compressed executable file",
    /* 20 */ "A dynamic-link library (DLL) file is invalid",
    /* 21 */ "Application requires Windows 32-bit extensions",
    /* 22 */ nullptr,
    /* 23 */ nullptr,
    /* 24 */ nullptr,
    /* 25 */ nullptr,
    /* 26 */ nullptr,
    /* 27 */ nullptr,
    /* 28 */ nullptr,
    /* 29 */ nullptr,
    /* 30 */ nullptr,
    /* 31 */ "No association for specified file type",
};

constexpr int kPollMilliseconds = 1000;

}  // namespace

std::string LaunchErrorMessage(uint32_t code) {
    if (code >= kLaunchMessages.size() || kLaunchMessages[code] == nullptr) return {};
    return kLaunchMessages[code];
}

TLauncher::TLauncher(QObject* owner) : QObject(owner), pollTimer_(new QTimer(this)) {
    pollTimer_->setInterval(kPollMilliseconds);
    connect(pollTimer_, &QTimer::timeout, this, &TLauncher::Poll);
}

// The watched program keeps running; its process is handed to the background reaper.
TLauncher::~TLauncher() {
    pollTimer_->stop();
}

bool TLauncher::IsWatching() const {
    return pollTimer_->isActive();
}

void TLauncher::Launch() {
    TChildProcess started;
    try {
        started = StartProgramOrDocument({ProgramName, Parameters, StartDir});
    } catch (const EStartFailed& failure) {
        throw ELaunchError(failure.Code, LaunchErrorMessage(failure.Code));
    }
    // A program watched so far is let go: still running, no longer reported.
    watched_ = std::make_unique<TChildProcess>(std::move(started));
    pollTimer_->start();
}

// Ends the watch once the process has ended. There is no "still active" exit code to mistake
// for a running program here: a Linux exit status has 8 bits, so exit(259) ends as status 3.
// A start that handed back no process (the desktop passed a document to a running instance)
// has nothing to watch and is reported finished at the first poll.
void TLauncher::Poll() {
    if (watched_ && !watched_->HasEnded()) return;
    pollTimer_->stop();
    watched_.reset();
    emit Finished(this);
}
