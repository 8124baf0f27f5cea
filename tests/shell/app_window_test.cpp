// The main window: its form, the tray icon's clicks in both window states, a desktop without a
// tray or with one that comes late, a second start, a start whose settings cannot be loaded,
// and closing.

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

#include "app/timer.h"
#include "app_test_form.h"
#include "filter/kill_list_store.h"
#include "net/pop3.h"
#include "platform/app_exceptions.h"
#include "platform/registry.h"
#include "support/free_port.h"

namespace {

QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (QAction* action : menu->actions()) texts << action->text();
    return texts;
}

bool FitsText(QWidget* widget, const QString& text) {
    return QFontMetrics(widget->font()).horizontalAdvance(text) <= widget->width() &&
           QFontMetrics(widget->font()).height() <= widget->height();
}

// Any check that runs shows as a socket failure.
void AimAtAClosedPort(TestForm& form) {
    form.Settings.Mailboxes[0].Connection.Port = FreeLoopbackPort();
    form.Settings.Mailboxes[0].Connection.Host = "127.0.0.1";
    form.Settings.Interval = 5;
}

QWidget* NextTabStop(QWidget* from) {
    for (QWidget* w = from->nextInFocusChain(); w != from; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) return w;
    return nullptr;
}

}  // namespace

class AppWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        QVERIFY(dir.isValid());
        hive =
            dir.filePath(QString("registry-%1.reg").arg(++hives)).toStdString();  // fresh each test
    }

    void formHoldsItsControlsUnclippedAndItsMenus() {
        TestForm form(hive);
        form.FormCreate();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QCOMPARE(form.windowTitle(), QString("Vornask"));
        QCOMPARE(form.windowType(), Qt::Window);  // an ordinary window has a taskbar entry
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!form.windowIcon().isNull());
        QCOMPARE(form.centralWidget()->height(), 25);
        QVERIFY(form.centralWidget()->width() >= 240);
        QCOMPARE(form.centralWidget()->y(), form.menuBar()->height());
        const QPoint centre = form.screen()->availableGeometry().center();
        QVERIFY((form.frameGeometry().center() - centre).manhattanLength() <= 2);

        QCOMPARE(form.Label4->text(), QString("Password"));
        QCOMPARE(form.Button1->text(), QString("Hide"));
        QCOMPARE(form.Label4->font().pixelSize(), 11);
        QCOMPARE(form.Button1->font().pixelSize(), 11);
        QCOMPARE(form.edPassword->font().pixelSize(), 10);
        QVERIFY(FitsText(form.Label4, form.Label4->text()));
        QVERIFY(FitsText(form.Button1, form.Button1->text()));
        const QRect client = form.centralWidget()->rect();
        for (QWidget* w :
             std::initializer_list<QWidget*>{form.Label4, form.edPassword, form.Button1})
            QVERIFY2(client.contains(w->geometry()), qPrintable(w->objectName()));
        QVERIFY(form.Label4->geometry().right() < form.edPassword->x());
        QVERIFY(form.edPassword->geometry().right() < form.Button1->x());

        QCOMPARE(form.edPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(form.edPassword->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                     form.edPassword),
                 int('*'));
        QCOMPARE(NextTabStop(form.Button1), static_cast<QWidget*>(form.edPassword));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form.edPassword));
        QVERIFY(!form.Cycle().Timer()->Enabled());
        QCOMPARE(form.Cycle().Timer()->Interval(), int64_t{1000});

        QCOMPARE(form.Options1->title(), QString("&Options"));
        QCOMPARE(Texts(form.Options1), (QStringList{"&Kill list", "&Mail Options", "", "&Exit"}));
        QVERIFY(form.N1->isSeparator());
        QCOMPARE(form.Exit1->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
        QVERIFY(form.Killlist1->shortcut().isEmpty());
        QCOMPARE(form.Help1->title(), QString("&Help"));
        QCOMPARE(Texts(form.Help1),
                 (QStringList{"Help &Index", "&What is Vornask", "&About Author"}));
        QCOMPARE(form.menuBar()->actions().size(), 2);

        // Tab reaches the Hide button; Enter there presses it.
        form.Button1->setFocus();
        QTest::keyClick(form.Button1, Qt::Key_Return);
        QVERIFY(form.isHidden());
        QVERIFY(form.Cycle().Timer()->Enabled());
        form.FormDestroy();
    }

    // Several mailboxes: a row for each further one that needs a typed password, every row
    // named, Enter in a row hides, and one Check mailbox item per mailbox.
    void severalMailboxesHaveRowsAndMenuItems() {
        TSettings stored;
        stored.Mailboxes[0].Name = "Main";
        const auto further = [](const char* name, const char* user, const char* host) {
            TMailbox m;
            m.Name = name;
            m.User = user;
            m.Connection.Host = host;
            return m;
        };
        TMailbox remembered = further("", "cy", "pop.home.example");
        remembered.RememberPassword = true;
        TMailbox oauth = further("Cloud & Co", "di", "pop.cloud.example");
        oauth.Connection.Authentication = TAuthentication::OAuth2;
        oauth.OAuth.TokenCommand = "false";  // signed in: Hide opens no browser
        stored.Mailboxes = {stored.Mailboxes[0], further("Work", "bo", "pop.work.example"),
                            remembered, oauth, further("", "ed", "pop.extra.example")};
        {
            TRegistry registry(hive);
            SaveSettings(registry, stored);
        }
        TestForm form(hive);
        form.FormCreate();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QCOMPARE(form.Label4->text(), QString("Main"));
        // No keyring here: the remembered password cannot be had, so it is typed too.
        QVERIFY(form.PasswordRow(1) && form.PasswordRow(2) && form.PasswordRow(4));
        QVERIFY(!form.PasswordRow(3));
        QCOMPARE(form.centralWidget()->height(), 25 * 4);
        QStringList labels;
        for (QLabel* label : form.centralWidget()->findChildren<QLabel*>()) {
            labels << label->text();
            QVERIFY(FitsText(label, label->text()));
        }
        labels.sort();
        QCOMPARE(labels,
                 (QStringList{"Main", "Work", "cy@pop.home.example", "ed@pop.extra.example"}));
        QCOMPARE(NextTabStop(form.edPassword), static_cast<QWidget*>(form.PasswordRow(1)));
        QCOMPARE(form.PasswordRow(4)->echoMode(), QLineEdit::Password);
        QVERIFY(form.PasswordRow(1)->geometry().top() > form.edPassword->geometry().bottom());

        // The credential source finds each mailbox's own row by address.
        QTest::keyClicks(form.PasswordRow(4), "secret");
        QCOMPARE(form.TypedFor(form.Settings.Mailboxes[4]), std::optional<std::string>("secret"));
        QCOMPARE(form.TypedFor(form.Settings.Mailboxes[1]), std::optional<std::string>(""));
        QCOMPARE(form.TypedFor(form.Settings.Mailboxes[3]), std::optional<std::string>());
        // A password to type again empties that mailbox's row only.
        QTest::keyClicks(form.PasswordRow(1), "kept");
        emit form.Cycle().PasswordToType(form.Settings.Mailboxes[4].Id());
        QVERIFY(form.PasswordRow(4)->text().isEmpty());
        QCOMPARE(form.TypedFor(form.Settings.Mailboxes[4]), std::optional<std::string>(""));
        QCOMPARE(form.TypedFor(form.Settings.Mailboxes[1]), std::optional<std::string>("kept"));
        QTest::keyClicks(form.PasswordRow(4), "secret");

        QCOMPARE(Texts(form.Options1),
                 (QStringList{"&Kill list", "&Mail Options", "Check mailbox", "", "&Exit"}));
        QCOMPARE(Texts(form.CheckMailbox1), (QStringList{"Main", "Work", "cy@pop.home.example",
                                                         "Cloud && Co", "ed@pop.extra.example"}));

        QTest::keyClick(form.PasswordRow(4), Qt::Key_Return);
        QVERIFY(form.isHidden());
        form.FormDestroy();
    }

    void startsWithTheIconInTheTray() {
        TestForm form(hive);
        form.FormCreate();
        const TNotifyIconData& data = form.TrayIconData;
        QCOMPARE(data.cbSize, 88u);
        QCOMPARE(data.uID, 1973u);
        QCOMPARE(data.uFlags, 7u);
        QCOMPARE(data.uCallbackMessage, 2997u);
        QCOMPARE(TrayTip(data), std::string("Vornask"));
        QCOMPARE(data.hIcon.cacheKey(), form.windowIcon().cacheKey());
        QSystemTrayIcon* icon = FindTrayIcon(data);
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QString("Vornask"));
        QVERIFY(HasApplicationExceptionHook());
        QVERIFY(!form.Cycle().Notifying());
        form.FormDestroy();
        QVERIFY(!FindTrayIcon(data));
    }

    void trayClicksInBothWindowStates() {
        TestForm form(hive);
        form.FormCreate();
        AimAtAClosedPort(form);
        form.edPassword->setText("secret");
        form.show();
        QSystemTrayIcon* icon = FindTrayIcon(form.TrayIconData);
        auto click = [&](QSystemTrayIcon::ActivationReason reason) {
            emit icon->activated(reason);
            QCoreApplication::sendPostedEvents(&form);
        };

        // Visible, also when the user has minimised it: neither button does anything.
        for (bool minimised : {false, true}) {
            if (minimised) form.showMinimized();
            click(QSystemTrayIcon::Trigger);
            click(QSystemTrayIcon::Context);
            QVERIFY(form.Log.empty());
            QCOMPARE(form.isMinimized(), minimised);
        }
        form.showNormal();

        form.CheckAndHide();
        QVERIFY(form.Settle());
        QVERIFY(form.isHidden());
        QVERIFY(!form.TaskbarEntryVisible());
        QVERIFY(form.Cycle().Timer()->IsTicking());
        form.Log.clear();

        // Hidden: other buttons nothing, right checks at once, left brings the window back.
        click(QSystemTrayIcon::DoubleClick);
        click(QSystemTrayIcon::MiddleClick);
        QVERIFY(form.Log.empty());
        click(QSystemTrayIcon::Context);
        QVERIFY(form.Settle());
        QCOMPARE(form.Log, (std::vector<std::string>{"tip:Error creating socket"}));
        QCOMPARE(icon->toolTip(), QString("Error creating socket"));
        QVERIFY(form.isHidden());
        click(QSystemTrayIcon::Trigger);
        QVERIFY(form.isVisible());
        QVERIFY(form.TaskbarEntryVisible());
        QVERIFY(!form.Cycle().Timer()->Enabled());
        QCOMPARE(form.edPassword->text(), QString("secret"));
        QCOMPARE(form.Log.size(), size_t{1});
        QCOMPARE(icon->toolTip(), QString("Error creating socket"));  // the last outcome stays
        form.FormDestroy();
    }

    void withoutTrayHideMinimisesAndTitleCarriesTheTip() {
        TestForm form(hive);
        form.Tray = false;
        form.FormCreate();
        AimAtAClosedPort(form);
        form.show();
        QCOMPARE(form.windowType(), Qt::Window);  // keeps a taskbar entry to come back by

        form.CheckAndHide();
        QVERIFY(form.Settle());
        QVERIFY(form.isMinimized());
        QVERIFY(form.IsWindowHidden());
        QVERIFY(form.TaskbarEntryVisible());
        QCOMPARE(form.windowTitle(), QString("Vornask - Error creating socket"));
        QVERIFY(form.Cycle().Timer()->IsTicking());

        form.showNormal();  // the user restores it from the taskbar
        QVERIFY(!form.Cycle().Timer()->Enabled());
        QVERIFY(!form.IsWindowHidden());
        QCOMPARE(form.windowTitle(), QString("Vornask"));  // the outcome would not fit
        form.FormDestroy();
    }

    // A tray that appears after Hide takes the window from the taskbar, and both clicks act;
    // one that goes away while the window is in it leaves the window minimised in its place.
    void trayThatComesLateAndGoesAway() {
        TestForm form(hive);
        form.Tray = false;
        form.FormCreate();
        AimAtAClosedPort(form);
        form.show();
        form.CheckAndHide();
        QVERIFY(form.Settle());
        QVERIFY(form.isMinimized());

        form.Tray = true;
        form.FollowTray();
        QVERIFY(form.isHidden());
        QVERIFY(form.IsWindowHidden());
        QVERIFY(!form.TaskbarEntryVisible());
        QVERIFY(form.Cycle().Timer()->IsTicking());
        QCOMPARE(form.windowTitle(), QString("Vornask"));
        QSystemTrayIcon* icon = FindTrayIcon(form.TrayIconData);  // added afresh for the tray
        QVERIFY(icon);
        QCOMPARE(icon->toolTip(), QString("Error creating socket"));
        form.Log.clear();
        emit icon->activated(QSystemTrayIcon::Context);
        QCoreApplication::sendPostedEvents(&form);
        QVERIFY(form.Settle());
        QCOMPARE(form.Log, (std::vector<std::string>{"tip:Error creating socket"}));
        emit icon->activated(QSystemTrayIcon::Trigger);
        QCoreApplication::sendPostedEvents(&form);
        QVERIFY(form.isVisible() && !form.isMinimized());
        QVERIFY(!form.Cycle().Timer()->Enabled());

        form.CheckAndHide();
        QVERIFY(form.isHidden());
        form.Tray = false;
        form.FollowTray();
        QVERIFY(form.isVisible() && form.isMinimized());
        QVERIFY(form.IsWindowHidden());
        QVERIFY(form.TaskbarEntryVisible());
        QVERIFY(form.Cycle().Timer()->IsTicking());
        QCOMPARE(form.windowTitle(), QString("Vornask - Error creating socket"));
        form.FormDestroy();
    }

    // A second start of the program brings the window back as a left click on the icon would,
    // from the tray, from its place in the taskbar, or minimised by the user.
    void secondStartBringsTheWindowBack() {
        enum Where { InTray, MinimisedForTray, MinimisedByUser };
        for (Where where : {InTray, MinimisedForTray, MinimisedByUser}) {
            TestForm form(hive);
            form.Tray = where == InTray;
            form.FormCreate();
            AimAtAClosedPort(form);
            form.show();
            if (where == MinimisedByUser)
                form.showMinimized();
            else
                form.CheckAndHide();
            form.AnotherStartAsked();
            QVERIFY2(form.isVisible() && !form.isMinimized(), qPrintable(QString::number(where)));
            QVERIFY(!form.IsWindowHidden());
            QVERIFY(!form.Cycle().Timer()->Enabled());
            QVERIFY(form.TaskbarEntryVisible());
            form.FormDestroy();
        }
    }

    void missingIntervalShowsDefaultBoxAndRunsWithoutHook() {
        {
            TRegistry registry(hive);
            SaveKillList(registry, {"Subject: = spam"});  // creates the settings key, no values
        }
        TestForm form(hive);
        BoxCloser closer;
        Guarded(&form, [&] { form.FormCreate(); });

        QCOMPARE(closer.seen.size(), size_t{1});
        QCOMPARE(closer.seen[0].title, QString::fromStdString(ApplicationTitle()));
        QCOMPARE(closer.seen[0].text, QString("Failed to get data for 'Interval'"));
        QCOMPARE(closer.seen[0].icon, QMessageBox::Critical);
        QVERIFY(!HasApplicationExceptionHook());
        QVERIFY(FindTrayIcon(form.TrayIconData));
        QCOMPARE(form.Settings.Interval, 0);

        // The window works on: a check's failure is the cycle's own and reaches the tooltip.
        form.Settings.Mailboxes[0].Connection.Host = "";
        form.show();
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        QVERIFY(form.Settle());
        QCOMPARE(closer.seen.size(), size_t{1});
        QCOMPARE(TrayTip(form.TrayIconData), std::string("Couldn't resolve hostname "));
        TrayNotifyIcon(tray::NIM_DELETE, form.TrayIconData);
    }

    // A title bar shows the caption in bold beside its icon and buttons.
    void boxesAreWideEnoughForTheirCaption() {
        TestForm form(hive);
        form.FormCreate();
        form.RealBoxes = true;
        BoxCloser closer;
        form.Cycle().ShowNoMail(false);
        ShowDefaultErrorBox("-ERR", &form);
        QCOMPARE(closer.seen.size(), size_t{2});
        QFont bold = QApplication::font();
        bold.setBold(true);
        for (const auto& box : closer.seen)
            QVERIFY2(box.width >= QFontMetrics(bold).horizontalAdvance(box.title) + 120,
                     qPrintable(box.title));
        form.FormDestroy();
    }

    // Last: it asks the application to quit.
    void altF4SavesSettingsAndRemovesTheIcon() {
        TestForm form(hive);
        form.FormCreate();
        form.Settings.Mailboxes[0].Connection.Host = "pop.example.org";
        form.Settings.Interval = 7;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_F4, Qt::AltModifier);
        QVERIFY(!form.isVisible());

        form.FormDestroy();  // as the program does once its loop has ended
        QVERIFY(!FindTrayIcon(form.TrayIconData));
        TRegistry registry(hive);
        QVERIFY(registry.OpenKey(kSettingsKey, false));
        QCOMPARE(registry.ReadString("SMTP host"), std::string("pop.example.org"));
        QCOMPARE(registry.ReadInteger("Interval"), 7);
    }

  private:
    QTemporaryDir dir;
    std::string hive;
    int hives = 0;
};

VORNASK_APP_TEST_MAIN(AppWindowTest)
#include "app_window_test.moc"
