#pragma once

// Helpers for driving the main window in tests: a window whose platform calls are logged, and
// a watcher that closes modal boxes from a timer while they run their own event loop.

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/check_cycle.h"
#include "shell/application.h"
#include "shell/main_window.h"

class TestForm : public TfrmMain {
  public:
    using TfrmMain::TfrmMain;
    using TfrmMain::UpdateTip;

    // "sound:NAME", "box:TEXT", "error:TEXT" and "tip:TEXT", in the order they happened.
    std::vector<std::string> Log;
    bool RealBoxes = false;       // show real QMessageBoxes instead of only logging them
    bool Tray = true;             // whether the desktop is taken to show a tray
    std::function<void()> OnBox;  // runs while a logged (not real) box is "open"

    // Waits until no check runs (their sessions run beside this thread); whether none does.
    bool Settle() { return Cycle().WaitUntilIdle(std::chrono::seconds(30)); }

    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& entry : Log) n += entry.rfind(prefix, 0) == 0;
        return n;
    }
    std::vector<std::string> Without(const std::string& prefix) const {
        std::vector<std::string> rest;
        for (const auto& entry : Log)
            if (entry.rfind(prefix, 0) != 0) rest.push_back(entry);
        return rest;
    }

  protected:
    void ShowInformationBox(const std::string& text) override {
        Log.push_back("box:" + text);
        if (RealBoxes)
            TfrmMain::ShowInformationBox(text);
        else if (OnBox)
            OnBox();
    }
    void ShowErrorBox(const std::string& text) override {
        Log.push_back("error:" + text);
        if (RealBoxes) TfrmMain::ShowErrorBox(text);
    }
    void PlaySound(const std::string& fileName) override { Log.push_back("sound:" + fileName); }
    bool TrayIsAvailable() const override { return Tray; }
    void UpdateTip(const std::string& text) override {
        Log.push_back("tip:" + text);
        TfrmMain::UpdateTip(text);
    }
};

// Closes every modal message box that shows up, once ready() agrees, and keeps what it saw.
class BoxCloser : public QObject {
  public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        int width;
        Qt::TextFormat format;
    };

    explicit BoxCloser(std::function<bool()> ready = [] { return true; })
        : ready_(std::move(ready)) {
        connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start(20);
    }
    std::vector<Seen> seen;

  private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || !ready_()) return;
        seen.push_back(
            {box->windowTitle(), box->text(), box->icon(), box->width(), box->textFormat()});
        box->defaultButton() ? box->defaultButton()->click() : box->accept();
    }

    std::function<bool()> ready_;
    QTimer timer_;
};

// Runs a Qt Test class under the program's own application object.
#define VORNASK_APP_TEST_MAIN(TestClass)        \
    int main(int argc, char** argv) {           \
        TApplication application(argc, argv);   \
        TestClass test;                         \
        return QTest::qExec(&test, argc, argv); \
    }
