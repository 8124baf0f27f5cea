// The application's exception handling and the tray icon layer.

#include <QAction>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QtTest>
#include <stdexcept>

#include "app_test_form.h"
#include "base/exception.h"
#include "net/net_errors.h"
#include "platform/app_exceptions.h"
#include "platform/tray_icon.h"
#include "shell/application.h"

namespace {

struct Report {
    QObject* sender;
    std::string message;
    bool protocol;
};

// Keeps what the hook was handed; removes the hook again when the test ends.
struct HookRecorder {
    std::vector<Report> reports;
    HookRecorder() {
        SetApplicationExceptionHook([this](QObject* sender, const Exception& e) {
            reports.push_back(
                {sender, e.Message(), dynamic_cast<const EProtocolError*>(&e) != nullptr});
        });
    }
    ~HookRecorder() { SetApplicationExceptionHook(nullptr); }
};

class Thrower : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw EConvertError("'x' is not a valid integer value");
        return QObject::event(e);
    }
};

class CallbackSink : public QObject {
  public:
    std::vector<uint32_t> mouse;
    bool event(QEvent* e) override {
        if (e->type() != TTrayCallbackEvent::EventType()) return QObject::event(e);
        auto* m = static_cast<TTrayCallbackEvent*>(e);
        if (m->Message == 2997 && m->WParam == 1973) mouse.push_back(m->LParam);
        return true;
    }
};

TNotifyIconData Record(QObject* owner) {
    TNotifyIconData data;
    data.hWnd = owner;
    data.uID = 1973;
    data.uFlags = tray::NIF_MESSAGE | tray::NIF_ICON | tray::NIF_TIP;
    data.uCallbackMessage = 2997;
    SetTrayTip(data, "Vornask");
    return data;
}

}  // namespace

class AppExceptionsTest : public QObject {
    Q_OBJECT
  private slots:
    void fullStopFollowsTheLastCharacter() {
        const std::pair<std::string, std::string> cases[] = {
            {"", ""},
            {"Error creating socket", "Error creating socket."},
            {"Failed to get data for 'Interval'", "Failed to get data for 'Interval'"},  // quote
            {"-ERR [AUTH] Authentication failed.", "-ERR [AUTH] Authentication failed."},
            {"Stop!", "Stop!"},
            {"(none)", "(none)"},
            {"Couldn't resolve hostname ", "Couldn't resolve hostname "},
            {"a-", "a-"},   // below the stop
            {"a/", "a/."},  // above the stop
            {"caf\xc3\xa9", "caf\xc3\xa9."},
        };
        for (const auto& [message, shown] : cases) QCOMPARE(WithFullStop(message), shown);
    }

    void titleIsTheProgramFileName() {
        const QString file = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
        const QString expected = file.left(1).toUpper() + file.mid(1).toLower();
        QCOMPARE(QString::fromStdString(ApplicationTitle()), expected);
        QVERIFY(expected.startsWith("App"));
    }

    void hookGetsEverythingButTheSilentAbort() {
        HookRecorder hook;
        QObject sender;
        Guarded(&sender, [] { throw EAbort(); });
        Guarded(&sender, [] { throw EProtocolError("-ERR no", 500, "POP3"); });
        Guarded(&sender, [] { throw std::runtime_error("plain failure"); });
        Guarded(&sender, [] { throw 42; });
        Guarded(&sender, [] {});

        QCOMPARE(hook.reports.size(), size_t{3});
        QCOMPARE(hook.reports[0].sender, &sender);
        QCOMPARE(hook.reports[0].message, std::string("-ERR no"));
        QVERIFY(hook.reports[0].protocol);
        QCOMPARE(hook.reports[1].message, std::string("plain failure"));
        QVERIFY(!hook.reports[1].protocol);
        QVERIFY(!hook.reports[2].message.empty());
    }

    // The slot gets the signal's arguments when it takes them; what it throws reaches the hook
    // with the signal's sender, and the connection ends with its receiver.
    void connectGuardedPassesArgumentsAndReportsWithTheSender() {
        HookRecorder hook;
        QAction sender;
        sender.setCheckable(true);
        std::vector<bool> states;
        {
            QObject receiver;
            ConnectGuarded(&sender, &QAction::toggled, &receiver,
                           [&](bool checked) { states.push_back(checked); });
            ConnectGuarded(&sender, &QAction::toggled, &receiver,
                           [] { throw Exception("slot failed"); });
            sender.setChecked(true);
            QCOMPARE(states, std::vector<bool>{true});
            QCOMPARE(hook.reports.size(), size_t{1});
            QCOMPARE(hook.reports[0].sender, static_cast<QObject*>(&sender));
            QCOMPARE(hook.reports[0].message, std::string("slot failed"));
        }
        sender.setChecked(false);
        QCOMPARE(states.size(), size_t{1});
        QCOMPARE(hook.reports.size(), size_t{1});
    }

    void failingHookDoesNotEscape() {
        SetApplicationExceptionHook(
            [](QObject*, const Exception&) { throw std::logic_error("x"); });
        Guarded(nullptr, [] { throw Exception("first"); });  // an escape would fail the test
        SetApplicationExceptionHook(nullptr);
        QVERIFY(!HasApplicationExceptionHook());
    }

    void withoutHookTheDefaultBoxReports() {
        QVERIFY(!HasApplicationExceptionHook());
        BoxCloser closer;
        Guarded(nullptr, [] { throw EAbort(); });
        Guarded(nullptr, [] { throw Exception("Cannot open file /tmp/x.log"); });
        QCOMPARE(closer.seen.size(), size_t{1});
        QCOMPARE(closer.seen[0].title, QString::fromStdString(ApplicationTitle()));
        QCOMPARE(closer.seen[0].text, QString("Cannot open file /tmp/x.log."));
        QCOMPARE(closer.seen[0].icon, QMessageBox::Critical);
    }

    void exceptionSlippingPastHandlersIsCaughtByTheApplication() {
        HookRecorder hook;
        Thrower thrower;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        QCOMPARE(hook.reports.size(), size_t{1});
        QCOMPARE(hook.reports[0].sender, &thrower);
        QCOMPARE(hook.reports[0].message, std::string("'x' is not a valid integer value"));
    }

    void longTipsEndInDots() {
        const std::string exact(63, 'a');
        const std::pair<std::string, std::string> cases[] = {
            {exact, exact},
            {exact + "b", std::string(60, 'a') + "..."},
            {std::string(500, 'x'), std::string(60, 'x') + "..."},
            // 59 ASCII bytes and a two-byte character straddling the cut: the character goes whole.
            {std::string(59, 'a') + "\xc3\xa9" + std::string(10, 'b'),
             std::string(59, 'a') + "..."},
        };
        for (const auto& [text, tip] : cases) {
            TNotifyIconData data;
            SetTrayTip(data, "something longer that was there before");
            SetTrayTip(data, text);
            QCOMPARE(TrayTip(data), tip);
            QCOMPARE(data.szTip[63], '\0');
        }
    }

    void trayRecordAddModifyDelete() {
        QObject owner;
        TNotifyIconData data = Record(&owner);
        QVERIFY(!TrayNotifyIcon(tray::NIM_MODIFY, data));
        QVERIFY(TrayNotifyIcon(tray::NIM_ADD, data));
        QVERIFY(!TrayNotifyIcon(tray::NIM_ADD, data));
        QCOMPARE(FindTrayIcon(data)->toolTip(), QString("Vornask"));

        SetTrayTip(data, std::string(80, 'z'));
        QVERIFY(TrayNotifyIcon(tray::NIM_MODIFY, data));
        QCOMPARE(FindTrayIcon(data)->toolTip(), QString(60, 'z') + "...");

        QVERIFY(TrayNotifyIcon(tray::NIM_DELETE, data));
        QVERIFY(!FindTrayIcon(data));
        QVERIFY(!TrayNotifyIcon(tray::NIM_DELETE, data));
    }

    void trayClicksArriveAsMouseMessages() {
        CallbackSink sink;
        TNotifyIconData data = Record(&sink);
        QVERIFY(TrayNotifyIcon(tray::NIM_ADD, data));
        QSystemTrayIcon* icon = FindTrayIcon(data);
        for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context,
                            QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick})
            emit icon->activated(reason);
        QVERIFY(sink.mouse.empty());  // delivered through the event loop, not inside the signal
        QCoreApplication::sendPostedEvents();
        QCOMPARE(sink.mouse, (std::vector<uint32_t>{tray::WM_LBUTTONDOWN, tray::WM_RBUTTONDOWN,
                                                    tray::WM_LBUTTONDBLCLK, tray::WM_MBUTTONDOWN}));
        TrayNotifyIcon(tray::NIM_DELETE, data);

        data.uFlags = tray::NIF_ICON | tray::NIF_TIP;  // no callback wanted
        sink.mouse.clear();
        QVERIFY(TrayNotifyIcon(tray::NIM_ADD, data));
        emit FindTrayIcon(data)->activated(QSystemTrayIcon::Trigger);
        QCoreApplication::sendPostedEvents();
        QVERIFY(sink.mouse.empty());
        TrayNotifyIcon(tray::NIM_DELETE, data);
    }
};

VORNASK_APP_TEST_MAIN(AppExceptionsTest)
#include "app_exceptions_test.moc"
