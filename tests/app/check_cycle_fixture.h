#pragma once

// A check cycle with no display, pointed at scripted servers, with every signal it emits noted.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/check_cycle.h"
#include "app/credential_source.h"
#include "app/settings.h"
#include "app/token_source.h"
#include "platform/registry.h"
#include "support/files.h"
#include "support/pop3_script.h"

// Spins the event loop until the condition holds, at most `limit`.
inline bool Await(const std::function<bool()>& condition,
                  std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const QDeadlineTimer deadline(limit);
    while (!condition() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// A POP3 session of an empty mailbox, and one that refuses the password.
inline Steps EmptySession() {
    using S = ScriptedPop3Server;
    return Then(LoginSteps(""), {S::ReadLine(), S::Send("+OK bye\r\n"), S::Close()});
}
inline Steps RefusingSession() {
    using S = ScriptedPop3Server;
    return {S::Send("+OK ready\r\n"), S::ReadLine(), S::Send("+OK\r\n"), S::ReadLine(),
            S::Send("-ERR no\r\n"),   S::Close()};
}

// The main of these tests: the cycle needs an application for its event loop.
inline int RunWithApplication(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A cycle pointed at a server, with every signal noted as "tip:TEXT", "no mail", "mail:N",
// "error:TEXT", "retype" or "user:REASON".
class CheckCycleFixture : public ::testing::Test {
  protected:
    CheckCycleFixture() {
        credentials.Typed.Type(settings.Mailboxes[0].Id(), "pw");
        cycle.UseRegistry(&registry);
        QObject::connect(&cycle, &TCheckCycle::TipChanged,
                         [this](const std::string& text) { log.push_back("tip:" + text); });
        QObject::connect(&cycle, &TCheckCycle::NoMail, [this] { log.push_back("no mail"); });
        QObject::connect(&cycle, &TCheckCycle::MailWaiting,
                         [this](int32_t n) { log.push_back("mail:" + std::to_string(n)); });
        QObject::connect(&cycle, &TCheckCycle::FailureShown,
                         [this](const std::string& text) { log.push_back("error:" + text); });
        QObject::connect(&cycle, &TCheckCycle::UserNeeded, [this](const QString& reason) {
            log.push_back("user:" + reason.toStdString());
        });
    }
    std::string Position(TMailboxId id) const {
        for (size_t i = 0; i < settings.Mailboxes.size(); ++i)
            if (settings.Mailboxes[i].Id() == id) return std::to_string(i);
        return "?";
    }
    void Aim(uint16_t port) {
        settings.Mailboxes[0].Connection.Host = "127.0.0.1";
        settings.Mailboxes[0].Connection.Port = port;
        settings.Mailboxes[0].Connection.ReceiveTimeoutMs = 5000;
        settings.Mailboxes[0].User = "anna";
        settings.Interval = 5;
    }

    TempFolder home;
    TRegistry registry{home / "registry.reg"};
    TSettings settings;
    TTokenSource tokens;
    TCredentialSource credentials{tokens};
    TCheckCycle cycle{settings, credentials};
    std::vector<std::string> log;
};
