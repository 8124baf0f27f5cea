#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <memory>

#include "app/file_name_word.h"
#include "app/settings.h"
#include "app/timer.h"
#include "base/exception.h"
#include "mailopt_ui.h"
#include "platform/app_exceptions.h"
#include "platform/help_viewer.h"
#include "shell/connection_page.h"
#include "shell/file_edit.h"
#include "shell/mailopt.h"

namespace {

TSettings Sample() {
    TSettings s;
    s.Mailboxes[0].Connection.Host = "pop.example.org";
    s.Mailboxes[0].User = "anna";
    s.Interval = 10;
    s.WavSound = "/usr/share/sounds/mail.wav";
    return s;
}

using Dialog = TdlgMailOptions;

TSettings ThreeMailboxes() {
    TSettings s = Sample();
    TMailbox work;
    work.Name = "Work";
    work.Connection.Host = "pop.work.example";
    work.User = "bo";
    TMailbox home;
    home.Connection.Host = "pop.home.example";
    home.User = "cy";
    s.Mailboxes = {s.Mailboxes[0], work, home};
    return s;
}

TSettings FirstMailboxes(int count) {
    TSettings s = ThreeMailboxes();
    s.Mailboxes.resize(static_cast<size_t>(count));
    return s;
}

// Each mailbox as NAME|HOST|USER.
QStringList Outline(const TSettings& settings) {
    QStringList lines;
    for (const TMailbox& m : settings.Mailboxes) {
        lines << QString::fromStdString(m.Name + "|" + m.Connection.Host + "|" + m.User);
    }
    return lines;
}

// One user step on the mailbox line or the fields it switches: "add NAME", "rename NAME",
// "remove yes|no", "unremovable" (Remove is refused), "select N", "refused N" (choosing N is
// refused), "host TEXT", "user TEXT", "pin TEXT", "shows HOST" (the host field holds it), "named
// NAME" (the drop-down and the mailbox's box call it so), "ok", "cancel".
void Step(Dialog* d, const QString& step) {
    const QString verb = step.section(' ', 0, 0);
    const QString arg = step.section(' ', 1);
    if (verb == "add" || verb == "rename") {
        WhenModal<QInputDialog>([arg](QInputDialog* in) {
            in->setTextValue(arg);
            in->accept();
        });
        QTest::mouseClick(verb == "add" ? d->btnAddMailbox : d->btnRenameMailbox, Qt::LeftButton);
    } else if (verb == "remove") {
        const QString asked = "Remove the mailbox " + d->cbMailbox->currentText() + "?";
        WhenModal<QMessageBox>([arg, asked](QMessageBox* box) {
            QCOMPARE(box->text(), asked);
            box->button(arg == "yes" ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QTest::mouseClick(d->btnRemoveMailbox, Qt::LeftButton);
    } else if (verb == "unremovable") {
        const QString told = "The mailbox " + d->cbMailbox->currentText() +
                             " cannot be removed: it is the only one that can be read, and one "
                             "always stays.";
        WhenModal<QMessageBox>([told](QMessageBox* box) {
            QCOMPARE(box->text(), told);
            box->button(QMessageBox::Ok)->click();
        });
        QTest::mouseClick(d->btnRemoveMailbox, Qt::LeftButton);
    } else if (verb == "select") {
        d->cbMailbox->setCurrentIndex(arg.toInt());
    } else if (verb == "refused") {
        const int before = d->ShownMailbox();
        WhenModal<QMessageBox>([](QMessageBox*) {});
        d->cbMailbox->setCurrentIndex(arg.toInt());
        QCOMPARE(d->ShownMailbox(), before);
        QCOMPARE(d->cbMailbox->currentIndex(), before);
        QCOMPARE(d->pcOptions->currentWidget(), d->pgConnection);
    } else if (verb == "host" || verb == "user") {
        TypeOver(verb == "host" ? d->edHostname : d->edUsername, arg);
    } else if (verb == "named") {
        QCOMPARE(d->cbMailbox->currentText(), arg);
        QCOMPARE(d->gbMailbox->title(), "Mailbox: " + arg);
    } else if (verb == "pin") {
        d->pgConnection->edTrustedCertificate->setText(arg);
    } else if (verb == "shows") {
        QCOMPARE(d->edHostname->text(), arg);
    } else {
        QTest::mouseClick(verb == "ok" ? d->btnOK : d->btnCancel, Qt::LeftButton);
    }
}

}  // namespace

class MailOptionsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Dialog> Open(const TSettings& settings) { return OpenMailOptions(settings); }

  private slots:
    void firstStartShowsEmptySettings() {
        auto d = Open(TSettings{});
        QCOMPARE(d->windowTitle(), QString("Mail options"));
        const QPoint centre = d->screen()->availableGeometry().center();
        QVERIFY((d->frameGeometry().center() - centre).manhattanLength() <= 2);
        QCOMPARE(d->pcOptions->currentIndex(), 0);
        QVERIFY(d->edHostname->hasFocus());
        QVERIFY(d->edHostname->text().isEmpty() && d->edUsername->text().isEmpty());
        QCOMPARE(d->edInterval->text(), QString("0"));
        for (QCheckBox* box : {d->chbShowMessage, d->chbMailer, d->chbLogFile, d->chbSound}) {
            QVERIFY(!box->isChecked());
        }
        for (TFileEdit* box : {d->feMailProg, d->feLogFile, d->feSound}) QVERIFY(!box->isEnabled());
    }

    void checkBoxesEnableTheirFileBoxes() {
        auto d = Open(Sample());
        QVERIFY(d->feSound->isEnabled());
        QVERIFY(!d->feMailProg->isEnabled() && !d->feLogFile->isEnabled());
        ClickTab(d->pcOptions, 1);
        QCOMPARE(d->pcOptions->currentIndex(), 1);
        QTest::mouseClick(d->chbSound, Qt::LeftButton);
        QVERIFY(!d->feSound->isEnabled());
        QCOMPARE(d->feSound->Text(), QString("/usr/share/sounds/mail.wav"));
        QTest::mouseClick(d->chbMailer, Qt::LeftButton);
        QVERIFY(d->feMailProg->isEnabled());
        QTest::mouseClick(d->chbShowMessage, Qt::LeftButton);
        QVERIFY(d->feMailProg->isEnabled() && !d->feLogFile->isEnabled() &&
                !d->feSound->isEnabled());
        QTest::mouseClick(d->chbSound, Qt::LeftButton);
        QVERIFY(d->feSound->isEnabled());
    }

    // Tab out of the interval: a number is kept as read, anything else puts back the stored
    // value and the cursor.
    void intervalLeftByTab() {
        const struct {
            const char *typed, *shown;
            bool focusBack;
        } cases[] = {{"abc", "5", true},   {"", "5", true},          {" 12", "12", false},
                     {"12 ", "5", true},   {"-3", "-3", false},      {"007", "7", false},
                     {"$10", "16", false}, {"2147483648", "5", true}};
        for (const auto& c : cases) {
            auto d = Open(Sample());
            TypeOver(d->edInterval, c.typed);
            QTest::keyClick(d->edInterval, Qt::Key_Tab);
            QCOMPARE(d->edInterval->text(), QString(c.shown));
            QCoreApplication::processEvents();
            QCOMPARE(d->edInterval->hasFocus(), c.focusBack);
        }
    }

    void intervalLeftForOtherPageComesBack() {
        auto d = Open(Sample());
        TypeOver(d->edInterval, "x1");
        ClickTab(d->pcOptions, 1);
        QCOMPARE(d->edInterval->text(), QString("5"));
        QTRY_VERIFY(d->edInterval->hasFocus());
        QCOMPARE(d->pcOptions->currentIndex(), 0);
    }

    void okCopiesBackAndSetsTimer() {
        TSettings settings = Sample();
        TTimer timer;
        timer.SetInterval(MinutesToMs(10));
        timer.SetEnabled(true);
        WhenModal<Dialog>([](Dialog* d) {
            TypeOver(d->edHostname, " mail.example.net ");
            TypeOver(d->edInterval, "40000");
            QTest::mouseClick(d->chbCountOnIcon, Qt::LeftButton);
            ClickTab(d->pcOptions, 1);
            QTest::mouseClick(d->chbShowMessage, Qt::LeftButton);
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
        });
        RunMailOptions(nullptr, settings, timer);
        QCOMPARE(settings.Mailboxes[0].Connection.Host, std::string(" mail.example.net "));
        QCOMPARE(settings.Mailboxes[0].User, std::string("anna"));
        QCOMPARE(settings.Interval, 40000);
        QVERIFY(settings.ShowMessage);
        QVERIFY(settings.CountOnIcon && !settings.DesktopNotification);
        QCOMPARE(settings.WavSound, Sample().WavSound);
        // Past the 32-bit millisecond range the period is not wrapped.
        QCOMPARE(timer.Interval(), int64_t{40000} * 60000);
        QVERIFY(timer.Enabled());
    }

    void mailboxLine_data() {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("saved");
        const QString first = "|pop.example.org|anna", work = "Work|pop.work.example|bo";
        // The steps, separated by "; ".
        const auto row = [](const char* name, int stored, const char* steps,
                            const QStringList& saved) {
            QTest::newRow(name) << stored << QString(steps).split("; ") << saved;
        };
        row("add names it and shows it empty", 1, "add Work; shows ; host pop.work.example; ok",
            {first, "Work|pop.work.example|"});
        row("an unnamed mailbox is named by its fields as they are typed", 1,
            "named anna@pop.example.org; add ; named (no server yet); host pop.new.example; "
            "named pop.new.example; user cy; named cy@pop.new.example; host ; "
            "named (no server yet); ok",
            {first, "||cy"});
        row("the fields follow the selection", 2,
            "shows pop.example.org; select 1; shows pop.work.example; host x.example; select 0; "
            "shows pop.example.org; select 1; shows x.example; ok",
            {first, "Work|x.example|bo"});
        row("a refused mailbox stays shown", 2,
            "select 1; pin nonsense; refused 0; pin ; select 0; ok", {first, work});
        row("rename", 2, "select 1; rename Office; ok", {first, "Office|pop.work.example|bo"});
        row("removing the first moves the second up", 3, "remove yes; shows pop.work.example; ok",
            {work, "|pop.home.example|cy"});
        // "damage N" marks stored mailbox N as unreadable before the dialog opens.
        row("removing the first skips a damaged second", 3,
            "damage 1; remove yes; shows pop.home.example; ok", {"|pop.home.example|cy", work});
        row("the only readable one stays", 2, "damage 1; unremovable; shows pop.example.org; ok",
            {first, work});
        row("removing asks first", 2, "select 1; remove no; ok", {first, work});
        row("removing the only further one", 2, "select 1; remove yes; shows pop.example.org; ok",
            {first});
        row("cancel keeps what is stored", 2, "add New; select 0; remove yes; cancel",
            {first, work});
    }

    void mailboxLine() {
        QFETCH(int, stored);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, saved);
        TSettings settings = FirstMailboxes(stored);
        for (const QString& step : steps.filter(QRegularExpression("^damage ")))
            settings.Mailboxes[step.section(' ', 1).toUInt()].Unreadable = "damaged";
        steps.removeIf([](const QString& step) { return step.startsWith("damage "); });
        TTimer timer;
        bool done = false;
        WhenModal<Dialog>([&](Dialog* d) {
            for (const QString& step : steps) {
                const bool several = d->cbMailbox->count() > 1;
                QCOMPARE(d->btnAddMailbox->isVisible(), true);
                QCOMPARE(d->btnRenameMailbox->isVisible(), several);
                QCOMPARE(d->btnRemoveMailbox->isVisible(), several);
                for (QPushButton* b : {d->btnAddMailbox, d->btnRenameMailbox, d->btnRemoveMailbox})
                    QVERIFY(!b->isVisible() || (b->width() >= b->sizeHint().width() &&
                                                b->geometry().right() < d->width()));
                Step(d, step);
                if (QTest::currentTestFailed()) return;
            }
            done = true;
        });
        RunMailOptions(nullptr, settings, timer);
        QVERIFY(done);
        QCOMPARE(Outline(settings), saved);
        QCOMPARE(settings.Interval, Sample().Interval);  // shared, untouched
    }

    // A damaged stored mailbox is shown with why, never edited over.
    void unreadableMailboxIsShownNotEdited() {
        TSettings settings = FirstMailboxes(2);
        settings.Mailboxes[1].Unreadable = "The stored mailbox 2 cannot be read.";
        const TSettings before = settings;
        auto d = Open(settings);
        d->cbMailbox->setCurrentIndex(1);
        QVERIFY(d->lbUnreadable->isVisible());
        QCOMPARE(d->lbUnreadable->text(), QString("The stored mailbox 2 cannot be read."));
        QVERIFY(!d->edHostname->isEnabled() && !d->pgConnection->isEnabled());
        QVERIFY(!d->btnRenameMailbox->isEnabled());
        TTimer timer;
        TSettings stored = settings;
        d->StoreTo(stored, timer);
        QVERIFY(stored == before);
        d->cbMailbox->setCurrentIndex(0);
        QVERIFY(!d->lbUnreadable->isVisible() && d->edHostname->isEnabled());
    }

    // Help open before the dialog, and help opened from it, take clicks while the dialog is
    // open; the dialog's own help stands in front of it.
    void helpStaysUsableWhileOpen() {
        QWidget mainWindow;
        mainWindow.show();
        ShowHelpContext(kHelpIndex);
        TSettings settings;
        TTimer timer;
        bool checked = false;
        WhenModal<Dialog>([&](Dialog* d) {
            QVERIFY(TakesClicks(HelpWindow()));
            QTest::mouseClick(d->btnHelp, Qt::LeftButton);
            QCOMPARE(HelpWindow()->parentWidget(), d);
            QVERIFY(TakesClicks(HelpWindow()));
            checked = true;
        });
        RunMailOptions(&mainWindow, settings, timer);
        QVERIFY(checked);
        delete HelpWindow();
    }

    // F1 opens the section of the page on top, in a help window that is shown and active.
    void f1OpensTheSectionOfThePageShown() {
        SetApplicationHelpFile(VORNASK_SOURCE_HELP_DIR);
        auto d = OpenMailOptions(Sample());
        ClickTab(d->pcOptions, 2);
        QTest::keyClick(d.get(), Qt::Key_F1);
        auto* browser = HelpWindow() ? HelpWindow()->findChild<QTextBrowser*>() : nullptr;
        QVERIFY(browser);
        QCOMPARE(browser->source().fileName(), QString("mail-options.html"));
        QCOMPARE(browser->source().fragment(), QString("connection"));
        QVERIFY(HelpWindow()->isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), HelpWindow());
        delete HelpWindow();
    }

    // The per-mailbox boxes sit in the mailbox's own group, apart from the shared values.
    void fastCheckBoxInTheMailboxGroupCarriesTheSetting() {
        for (const bool on : {false, true}) {
            TSettings settings = Sample();
            settings.Mailboxes[0].FastCheck = on;
            TTimer timer;
            WhenModal<Dialog>([on](Dialog* d) {
                QCOMPARE(d->chbFastCheck->text(), QString("Examine each message only once"));
                for (QWidget* own : std::initializer_list<QWidget*>{
                         d->edHostname, d->edUsername, d->chbRememberPassword, d->chbFastCheck})
                    QVERIFY(d->gbMailbox->isAncestorOf(own) && own->isVisible());
                for (QWidget* shared : std::initializer_list<QWidget*>{
                         d->edInterval, d->chbDesktopNotification, d->chbCountOnIcon})
                    QVERIFY(!d->gbMailbox->isAncestorOf(shared));
                QCOMPARE(d->chbFastCheck->isChecked(), on);
                QTest::mouseClick(d->chbFastCheck, Qt::LeftButton);
                QTest::mouseClick(d->btnOK, Qt::LeftButton);
            });
            RunMailOptions(nullptr, settings, timer);
            QCOMPARE(settings.Mailboxes[0].FastCheck, !on);
        }
    }

    void cancelEscAndAltF4ChangeNothing() {
        const TSettings before = Sample();
        TSettings settings = before;
        TTimer timer;
        timer.SetInterval(MinutesToMs(10));
        for (const Qt::Key key : {Qt::Key_unknown, Qt::Key_Escape, Qt::Key_F4}) {
            WhenModal<Dialog>([key](Dialog* d) {
                TypeOver(d->edUsername, "someone else");
                TypeOver(d->edInterval, "3");
                QTest::mouseClick(d->chbFastCheck, Qt::LeftButton);
                ClickTab(d->pcOptions, 2);
                d->pgConnection->cbEncryption->setCurrentIndex(2);
                ClickTab(d->pcOptions, 1);
                QTest::mouseClick(d->chbSound, Qt::LeftButton);
                if (key == Qt::Key_unknown) {
                    QTest::mouseClick(d->btnCancel, Qt::LeftButton);
                } else {
                    const Qt::KeyboardModifiers mods =
                        key == Qt::Key_F4 ? Qt::AltModifier : Qt::NoModifier;
                    QTest::keyClick(d->chbSound, key, mods);
                }
                QVERIFY(!d->isVisible());
            });
            RunMailOptions(nullptr, settings, timer);
            QVERIFY(settings == before);
            QCOMPARE(timer.Interval(), MinutesToMs(10));
        }
    }

    // Enter closes the dialog without leaving the box, so the text is converted on OK.
    void enterWithUnreadableIntervalCopiesNothing() {
        const TSettings before = Sample();
        TSettings settings = before;
        TTimer timer;
        timer.SetInterval(MinutesToMs(10));
        WhenModal<Dialog>([](Dialog* d) {
            TypeOver(d->edUsername, "changed");
            TypeOver(d->edInterval, "abc");
            QTest::keyClick(d->edInterval, Qt::Key_Return);
        });
        std::string message;
        try {
            RunMailOptions(nullptr, settings, timer);
        } catch (const EConvertError& e) {
            message = e.Message();
        }
        QCOMPARE(message, std::string("'abc' is not a valid integer value"));
        QVERIFY(settings == before);
        QCOMPARE(timer.Interval(), MinutesToMs(10));

        // From a menu handler the failure reaches the application's hook.
        std::string reported;
        SetApplicationExceptionHook([&](QObject*, const Exception& e) { reported = e.Message(); });
        WhenModal<Dialog>([](Dialog* d) {
            TypeOver(d->edInterval, "1x");
            QTest::keyClick(d->edInterval, Qt::Key_Enter);
        });
        Guarded(nullptr, [&] { RunMailOptions(nullptr, settings, timer); });
        SetApplicationExceptionHook(nullptr);
        QCOMPARE(reported, std::string("'1x' is not a valid integer value"));
        QVERIFY(settings == before);
    }

    void uncheckedBoxesClearTheirSettings() {
        TSettings settings;
        settings.MailProgram = "/usr/bin/mutt";
        TTimer timer;
        WhenModal<Dialog>([](Dialog* d) {
            ClickTab(d->pcOptions, 1);
            QTest::mouseClick(d->chbMailer, Qt::LeftButton);   // clear with a path in the box
            QTest::mouseClick(d->chbLogFile, Qt::LeftButton);  // check with an empty box
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
        });
        RunMailOptions(nullptr, settings, timer);
        QCOMPARE(settings.MailProgram, std::string());
        QCOMPARE(settings.LogFile, std::string());

        bool checked = true;
        QString shown = "?";
        WhenModal<Dialog>([&](Dialog* d) {
            checked = d->chbMailer->isChecked() || d->chbLogFile->isChecked();
            shown = d->feMailProg->Text();
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        });
        RunMailOptions(nullptr, settings, timer);
        QVERIFY(!checked);
        QCOMPARE(shown, QString());
    }

    void browsingAPathWithABlankQuotesIt() {
        QTemporaryDir root;
        const QString folder = root.filePath("mail box");
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + "/my reader.exe";
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        TSettings settings;
        TTimer timer;
        QString presetName, startFolder, title, filter;
        WhenModal<Dialog>([&](Dialog* d) {
            ClickTab(d->pcOptions, 1);
            QTest::mouseClick(d->chbMailer, Qt::LeftButton);
            TypeOver(d->feMailProg->Edit(), "reader");
            // Alt+Down opens the file dialog; Esc there leaves the text alone.
            WhenModal<QFileDialog>([&](QFileDialog* f) {
                title = f->windowTitle();
                filter = f->findChild<QComboBox*>("fileTypeCombo")->currentText();
                presetName = f->findChild<QLineEdit*>("fileNameEdit")->text();
                QTest::keyClick(f, Qt::Key_Escape);
            });
            QTest::keyClick(d->feMailProg->Edit(), Qt::Key_Down, Qt::AltModifier);
            QCOMPARE(d->feMailProg->Text(), QString("reader"));

            WhenModal<QFileDialog>([&](QFileDialog* f) {
                auto* name = f->findChild<QLineEdit*>("fileNameEdit");
                // Pasted whole: typed letter by letter, the dialog would follow each folder.
                QApplication::clipboard()->setText(program);
                QTest::mouseClick(name, Qt::LeftButton);
                QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
                // The button, not Enter: Enter may go to the name completer's popup.
                auto* buttons = f->findChild<QDialogButtonBox*>("buttonBox");
                QPushButton* open = buttons->button(QDialogButtonBox::Open);
                QTRY_VERIFY(open->isEnabled());
                QTest::mouseClick(open, Qt::LeftButton);
            });
            QTest::mouseClick(d->feMailProg->BrowseButton(), Qt::LeftButton);
            // The box holds the dialog's focus (the window itself is not reactivated here).
            QCOMPARE(d->focusWidget(), d->feMailProg->Edit());
            QCOMPARE(d->feMailProg->Text(), '"' + program + '"');

            // The next browse from a box naming no folder starts where the last one ended.
            const QString chosen = d->feMailProg->Text();
            TypeOver(d->feMailProg->Edit(), "other");
            WhenModal<QFileDialog>([&](QFileDialog* f) {
                startFolder = f->directory().absolutePath();
                QTest::keyClick(f, Qt::Key_Escape);
            });
            QTest::mouseClick(d->feMailProg->BrowseButton(), Qt::LeftButton);
            TypeOver(d->feMailProg->Edit(), chosen);
            QTest::mouseClick(d->btnOK, Qt::LeftButton);
        });
        RunMailOptions(nullptr, settings, timer);
        QCOMPARE(title, QString("Choose mail reader"));
        QCOMPARE(filter, QString("Programs (*.exe)"));
        QCOMPARE(presetName, QString("reader"));
        QCOMPARE(startFolder, QDir(folder).absolutePath());
        QCOMPARE(settings.MailProgram, ('"' + program + '"').toStdString());
    }

    // The first word of a command line, and whether it could name a file at all.
    void firstWordAndPlausibility() {
        const struct {
            const char *text, *word;
            bool plausible;
        } cases[] = {{"/usr/bin/mutt -x", "/usr/bin/mutt", true},
                     {"  a.wav", "a.wav", true},
                     {"\"/a b/c d.exe\" -y", "/a b/c d.exe", true},
                     {"\"/a b", "/a b", true},  // an unclosed quote
                     {"", "", true},
                     {"a;b", "a;b", false},
                     {"x|y", "x|y", false},
                     {"[x]", "[x]", false}};
        for (const auto& c : cases) {
            QCOMPARE(FirstWord(c.text), QString(c.word));
            QCOMPARE(IsPlausibleFileName(c.word), c.plausible);
        }
    }

    void quotingAndFilters() {
        QCOMPARE(QuotedIfBlank("/a b/c"), QString("\"/a b/c\""));
        QCOMPARE(QuotedIfBlank("\"/a b/c\""), QString("\"/a b/c\""));
        QCOMPARE(QuotedIfBlank("/ab/c"), QString("/ab/c"));
        QCOMPARE(FileDialogNameFilters("Programs (*.exe)|*.exe|All files (*.*)|*.*"),
                 (QStringList{"Programs (*.exe) (*.exe)", "All files (*.*) (*)"}));
    }
};

QTEST_MAIN(MailOptionsTest)
#include "mailopt_test.moc"
