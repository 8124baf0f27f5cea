#pragma once

// Starts a program or opens a document and signals Finished once that process has exited. Launch
// raises ELaunchError, with the start's error code and its message.

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

#include "base/exception.h"

class QTimer;
class TChildProcess;

class ELaunchError : public Exception {
  public:
    ELaunchError(uint32_t errorCode, std::string message)
        : Exception(std::move(message)), ErrorCode(errorCode) {}
    uint32_t ErrorCode;
};

// Message text for a start failure code (empty for codes the table does not hold).
std::string LaunchErrorMessage(uint32_t code);

class TLauncher : public QObject {
    Q_OBJECT
  public:
    explicit TLauncher(QObject* owner = nullptr);
    ~TLauncher() override;

    void Launch();

    std::string ProgramName;
    std::string Parameters;
    std::string StartDir;
    bool IsWatching() const;

  signals:
    // The watched process has ended (or there was none to watch).
    void Finished(TLauncher* sender);

  private:
    void Poll();

    QTimer* pollTimer_;  // owned through the QObject tree; runs only while watching
    std::unique_ptr<TChildProcess> watched_;
};
