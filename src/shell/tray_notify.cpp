// The window's side of the tray icon: its callback, its tooltip and the hidden/shown states.

#include <QApplication>
#include <QEvent>
#include <QWindowStateChangeEvent>

#include "platform/app_exceptions.h"
#include "shell/envelope_icon.h"
#include "shell/main_window.h"
#include "shell/timer.h"

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
    if (Message.LParam == tray::WM_LBUTTONDOWN) {
        SetTaskbarEntryVisible(true);
        BringWindowBack();
        Timer->SetEnabled(false);
    } else if (Message.LParam == tray::WM_RBUTTONDOWN) {
        CheckMail(false);
    }
}

void TfrmMain::UpdateTip(const std::string& text) {
    SetTrayTip(TrayIconData, text);
    TrayIconData.hIcon = TrayIcon();
    TrayNotifyIcon(tray::NIM_MODIFY, TrayIconData);
    // Without a tray the minimised window's title is where the outcome shows.
    if (!TrayIsAvailable()) {
        const QString tip = QString::fromLocal8Bit(TrayTip(TrayIconData).c_str());
        // "[*]" is the title's placeholder for a modified mark; doubled it shows as itself.
        const QString literal = QString(tip).replace("[*]", "[*][*]");
        setWindowTitle(tip == "Vornask" ? tip : "Vornask - " + literal);
    }
}

QIcon TfrmMain::TrayIcon() const {
    if (!Settings.CountOnIcon) return windowIcon();
    return EnvelopeIcon({MailCount, lastCheckFailed_});
}

bool TfrmMain::TrayIsAvailable() const {
    return TrayAvailable();
}

// A window the user minimised is still there; only without a tray is minimising how it hides.
bool TfrmMain::IsWindowHidden() const {
    return !isVisible() || (isMinimized() && !TrayIsAvailable());
}

// The window is the program's only taskbar presence, so the entry goes and comes with it.
void TfrmMain::SetTaskbarEntryVisible(bool visible) {
    taskbarEntryVisible_ = visible;
}

void TfrmMain::HideMainWindow() {
    if (TrayIsAvailable()) {
        hide();
        return;
    }
    // No tray to come back from: stay reachable through the taskbar.
    taskbarEntryVisible_ = true;
    showMinimized();
}

void TfrmMain::BringWindowBack() {
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

// On a desktop without a tray, restoring the minimised window is the way back to the password:
// it stops the checks just as a left click on the icon would.
void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    auto* change = static_cast<QWindowStateChangeEvent*>(event);
    if ((change->oldState() & Qt::WindowMinimized) && !isMinimized() && !TrayIsAvailable())
        Guarded(this, [&] { Timer->SetEnabled(false); });
}
