// The window's side of the tray icon: its callback, its tooltip, the hidden/shown states and a
// tray that comes or goes.

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include "app/check_cycle.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "shell/envelope_icon.h"
#include "shell/main_window.h"

namespace {

// How often the tray is looked for: cheap, and soon enough after a panel starts.
constexpr int kTrayWatchMs = 2000;

}  // namespace

bool TfrmMain::event(QEvent* event) {
    if (event->type() == TTrayCallbackEvent::EventType()) {
        auto* message = static_cast<TTrayCallbackEvent*>(event);
        if (message->Message == kTrayCallbackMessage)
            Guarded(this, [&] { TrayIconNotify(*message); });
        return true;
    }
    return QMainWindow::event(event);
}

void TfrmMain::TrayIconNotify(const TTrayCallbackEvent& Message) {
    if (!IsWindowHidden()) return;
    if (Message.LParam == tray::WM_LBUTTONDOWN)
        ComeBack();
    else if (Message.LParam == tray::WM_RBUTTONDOWN)
        cycle_->CheckMail(false);
}

void TfrmMain::ComeBack() {
    SetTaskbarEntryVisible(true);
    BringWindowBack();
    cycle_->Stop();
    cycle_->Abandon();  // the user is back at the password: nothing more of these checks shows
}

void TfrmMain::AnotherStartAsked() {
    if (IsWindowHidden())
        ComeBack();
    else
        BringWindowBack();
}

void TfrmMain::UpdateTip(const std::string& text) {
    SetTrayTip(TrayIconData, text);
    TrayIconData.hIcon = TrayIcon();
    TrayNotifyIcon(tray::NIM_MODIFY, TrayIconData);
    UpdateTitle();
}

// A window on the screen keeps its short title: the outcome would not fit its caption.
void TfrmMain::UpdateTitle() {
    const QString tip = QString::fromLocal8Bit(TrayTip(TrayIconData).c_str());
    if (!hidden_ || !isVisible() || tip == "Vornask") {
        setWindowTitle("Vornask");
        return;
    }
    // "[*]" is the title's placeholder for a modified mark; doubled it shows as itself.
    setWindowTitle("Vornask - " + QString(tip).replace("[*]", "[*][*]"));
}

QIcon TfrmMain::TrayIcon() const {
    if (!Settings.CountOnIcon) return windowIcon();
    return EnvelopeIcon({cycle_->MailCount(), cycle_->LastCheckFailed()});
}

bool TfrmMain::TrayIsAvailable() const {
    return TrayAvailable();
}

// The state Hide puts the window in (into the tray, or minimised in its place) and a left click
// on the icon or restoring the window ends: kept by the program, not read from the window,
// whose look depends on whether a tray is there at the moment.
bool TfrmMain::IsWindowHidden() const {
    return hidden_;
}

// The window is the program's only taskbar presence, so the entry goes and comes with it.
void TfrmMain::SetTaskbarEntryVisible(bool visible) {
    taskbarEntryVisible_ = visible;
}

void TfrmMain::HideMainWindow() {
    hidden_ = true;
    if (TrayIsAvailable()) {
        hide();
    } else {
        // No tray to come back from: stay reachable through the taskbar.
        taskbarEntryVisible_ = true;
        MinimiseInPlaceOfTray();
    }
    UpdateTitle();
}

void TfrmMain::MinimiseInPlaceOfTray() {
    // A window never shown yet is placed before it goes to the screen: centring it on its first
    // show would move it while it is mapped minimised, and the second map that move makes is
    // taken by a window manager as a request to restore it (which then stops the checks).
    if (!centred_) {
        adjustSize();
        CentreOnFirstShow(this, centred_);
    }
    showMinimized();
}

void TfrmMain::BringWindowBack() {
    hidden_ = false;
    UpdateTitle();
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
    // A box still open stays in front, where its text can be read.
    if (QWidget* box = QApplication::activeModalWidget()) {
        box->raise();
        box->activateWindow();
    }
}

void TfrmMain::WatchTray() {
    trayAvailable_ = TrayIsAvailable();
    if (trayWatch_) return;
    trayWatch_ = new QTimer(this);
    ConnectGuarded(trayWatch_, &QTimer::timeout, this, [this] { FollowTray(); });
    trayWatch_->start(kTrayWatchMs);
}

void TfrmMain::FollowTray() {
    const bool available = TrayIsAvailable();
    if (available == trayAvailable_) return;
    trayAvailable_ = available;
    // A tray host that starts after the program (a panel late at login) or again gets the
    // icon afresh: the icon made while there was none may never find it.
    if (available && TrayNotifyIcon(tray::NIM_DELETE, TrayIconData))
        TrayNotifyIcon(tray::NIM_ADD, TrayIconData);
    if (!hidden_) return;
    if (available && isVisible()) {
        SetTaskbarEntryVisible(false);
        hide();  // from the taskbar into the tray, still checking
    } else if (!available && !isVisible()) {
        SetTaskbarEntryVisible(true);
        MinimiseInPlaceOfTray();
    }
    UpdateTitle();
}

// Restoring the window minimised in place of the tray is the way back to the password: it
// stops the checks just as a left click on the icon would.
void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if (!hidden_ || !(change->oldState() & Qt::WindowMinimized) || isMinimized() || !isVisible())
        return;
    Guarded(this, [&] {
        hidden_ = false;
        UpdateTitle();
        cycle_->Stop();
    });
}
