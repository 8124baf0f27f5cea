// What the window shows of the check cycle's outcomes, and Hide, which starts the cycle.

#include <QLineEdit>
#include <utility>

#include "app/check_cycle.h"
#include "app/check_session.h"
#include "app/launcher.h"
#include "app/timer.h"
#include "platform/app_exceptions.h"
#include "shell/main_window.h"

void TfrmMain::ConnectCycle() {
    // Direct: each outcome is shown before the cycle goes on, which keeps sound, box and
    // reader in order and the cycle's Notifying held while a box is open.
    const auto direct = Qt::DirectConnection;
    connect(
        cycle_, &TCheckCycle::TipChanged, this,
        [this](const std::string& text) { UpdateTip(text); }, direct);
    connect(
        cycle_, &TCheckCycle::NoMail, this, [this] { ShowNoMailBox(); }, direct);
    connect(
        cycle_, &TCheckCycle::MailWaiting, this, [this](int32_t count) { ShowMailWaiting(count); },
        direct);
    connect(
        cycle_, &TCheckCycle::FailureShown, this,
        [this](const std::string& detail) { ShowErrorBox(detail); }, direct);
    connect(
        cycle_, &TCheckCycle::PasswordToType, this,
        [this](TMailboxId mailbox) { ClearPasswordRow(mailbox); }, direct);
    connect(
        cycle_, &TCheckCycle::UserNeeded, this,
        [this](const QString& reason) { UserNeeded(reason); }, direct);
    connect(
        cycle_, &TCheckCycle::MailboxNeedsUser, this,
        [this](TMailboxId mailbox) { FocusMailbox(mailbox); }, direct);
    ConnectGuarded(cycle_->Timer(), &TTimer::Ticked, this, [this] { TimerTimer(); });
}

void TfrmMain::ClearPasswordRow(TMailboxId mailbox) {
    QLineEdit* row = RowOf(mailbox);
    if (row == nullptr) {
        ShowMailboxes();  // the mailbox now needs a row to type its password in
        row = RowOf(mailbox);
    }
    if (row != nullptr) row->clear();
}

void TfrmMain::UserNeeded(const QString& signInAgainReason) {
    if (!signInAgainReason.isEmpty()) {
        signInAgainReason_ = signInAgainReason;
        UpdatePasswordBox();
    }
    SetTaskbarEntryVisible(true);
    BringWindowBack();
}

void TfrmMain::ShowNoMailBox() {
    if (!ShowNotification(kNoMailText, false)) ShowInformationBox(kNoMailText);
}

void TfrmMain::ShowMailWaiting(int32_t count) {
    if (!Settings.WavSound.empty()) PlaySound(Settings.WavSound);
    if (Settings.ShowMessage) {
        std::vector<const TMailbox*> mailboxes;
        for (const TMailbox& mailbox : Settings.Mailboxes) mailboxes.push_back(&mailbox);
        const std::string text = MailWaitingText(count, mailboxes, cycle_->Outcomes());
        if (ShowNotification(text, !Settings.MailProgram.empty(), true)) return;
        ShowInformationBox(text);
    }
    StartMailProgram();
}

void TfrmMain::StartMailProgram() {
    if (Settings.MailProgram.empty()) return;
    Launcher->ProgramName = Settings.MailProgram;
    Launcher->Launch();
}

void TfrmMain::AppException(const Exception& E) {
    cycle_->Report(E);
}

void TfrmMain::CheckAndHide() {
    if (signIn_) return;  // the sign-in under way goes on to the check
    signInsTried_.clear();
    KeepPassword();
    SignInOrCheck();
}

void TfrmMain::SignInOrCheck() {
    if (const TMailbox* mailbox = NeedingSignIn()) {
        signInsTried_.push_back(mailbox->Id());
        signIn_ = StartSignIn(Tokens, *mailbox, this, [this](const QString& failure) {
            Guarded(this, [&] { SignInEnded(failure); });
        });
        return;
    }
    HideAndCheck();
}

void TfrmMain::SignInEnded(const QString& failure) {
    signIn_ = nullptr;
    if (failure.isEmpty())
        SignInOrCheck();
    else
        ShowErrorBox(failure.toStdString());
}

void TfrmMain::HideAndCheck() {
    SetTaskbarEntryVisible(false);
    HideMainWindow();
    cycle_->Start();
}

void TfrmMain::edPasswordKeyDown(uint16_t& Key) {
    if (Key != keys::VK_RETURN) return;
    CheckAndHide();
    Key = 0;
}

void TfrmMain::TimerTimer() {
    cycle_->CheckMail(true);
}
