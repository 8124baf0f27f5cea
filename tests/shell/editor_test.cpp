#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <memory>

#include "app/credential_source.h"
#include "app/settings.h"
#include "editor_ui.h"
#include "filter/kill_list_store.h"
#include "platform/help_viewer.h"
#include "platform/registry.h"
#include "shell/bullet_image.h"
#include "shell/dry_run_window.h"
#include "shell/kill_list_editor.h"
#include "support/pop3_script.h"

namespace {

QStringList Rules(const TdlgKillList& dialog) {
    QStringList rules;
    for (const std::string& rule : dialog.Items()) rules << QString::fromStdString(rule);
    return rules;
}

void ClickItem(QListWidget* list, int row, Qt::KeyboardModifiers modifiers = {}) {
    const QRect r = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, r.center());
}

// The server's account with a password typed in the main window.
struct TypedAccount {
    TypedAccount(uint16_t port, const std::string& password) {
        settings.Mailboxes[0].Connection.Host = "127.0.0.1";
        settings.Mailboxes[0].Connection.Port = port;
        settings.Mailboxes[0].User = "joe";
        credentials.Typed.Type(settings.Mailboxes[0].Id(), password);
    }
    TSettings settings;
    TTokenSource tokens;
    TCredentialSource credentials{tokens};
};

}  // namespace

class KillListEditorTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TdlgKillList> Open(const TStringList& rules) {
        auto dialog = std::make_unique<TdlgKillList>(nullptr);
        dialog->SetItems(rules);
        dialog->show();
        if (!QTest::qWaitForWindowActive(dialog.get())) qWarning("dialog not active");
        return dialog;
    }

    // How many of the four editing controls are enabled.
    static int EditControlsEnabled(const TdlgKillList& d) {
        return d.cbHeader->isEnabled() + d.cbCondition->isEnabled() + d.edFilter->isEnabled() +
               d.sbRemove->isEnabled();
    }

    QTemporaryDir home_;
    TRegistry registry_{home_.filePath("registry.reg").toStdString()};

  private slots:
    void openingShowsFirstRule() {
        auto d = Open({"Subject: <> win", "from: = x"});
        QCOMPARE(d->SelectedIndex(), 0);
        QCOMPARE(EditControlsEnabled(*d), 4);
        QCOMPARE(d->cbHeader->currentText(), QString("Subject:"));
        QCOMPARE(d->cbCondition->currentText(), QString("doesn't contain"));
        QCOMPARE(d->edFilter->text(), QString("win"));
        // Small letters still find the offered header.
        QTest::keyClick(d->lbKillList, Qt::Key_Down);
        QCOMPARE(d->SelectedIndex(), 1);
        QCOMPARE(d->cbHeader->currentText(), QString("From:"));
        QCOMPARE(d->cbCondition->currentIndex(), 0);
        QCOMPARE(d->edFilter->text(), QString("x"));
    }

    // Showing a rule fills the controls by program; that must never rewrite the rule.
    void selectingNeverChangesARule() {
        const TStringList rules = {
            "X-Spam: = yes", "no operator here", "", "Cc: <> a=b", "To: =  lead", "=", "Subject:"};
        auto d = Open(rules);
        for (int row = 0; row < static_cast<int>(rules.size()); ++row)
            ClickItem(d->lbKillList, row);
        for (int row = static_cast<int>(rules.size()) - 1; row > 0; --row)
            QTest::keyClick(d->lbKillList, Qt::Key_Up);
        QCOMPARE(d->Items(), rules);
        // An unknown header shows no selection; a rule without operator keeps the condition.
        ClickItem(d->lbKillList, 0);
        QCOMPARE(d->cbHeader->currentIndex(), -1);
        ClickItem(d->lbKillList, 3);
        ClickItem(d->lbKillList, 1);
        QCOMPARE(d->cbCondition->currentIndex(), 1);
        QCOMPARE(d->edFilter->text(), QString("operator here"));
    }

    void newThenPickingBuildsTheRuleStepByStep() {
        auto d = Open({});
        QTest::mouseClick(d->sbNew, Qt::LeftButton);
        QCOMPARE(Rules(*d), QStringList{""});
        QCOMPARE(d->SelectedIndex(), 0);
        QCOMPARE(EditControlsEnabled(*d), 4);
        QVERIFY(d->lbKillList->hasFocus());  // New does not take the focus
        Pick(d->cbHeader, 1);
        QCOMPARE(Rules(*d), QStringList{"Subject:"});
        Pick(d->cbCondition, 1);
        QCOMPARE(Rules(*d), QStringList{"Subject: <> "});
        QTest::mouseClick(d->edFilter, Qt::LeftButton);
        const QStringList expected = {"Subject: <> w", "Subject: <> wi", "Subject: <> win"};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(d->edFilter, "win"[i]);
            QCOMPARE(Rules(*d), QStringList{expected[i]});
        }
        // Nothing is trimmed while editing.
        QTest::keyClicks(d->edFilter, "  ");
        QCOMPARE(Rules(*d), QStringList{"Subject: <> win  "});
    }

    void newAfterContainsRuleKeepsCondition() {
        auto d = Open({"From: = spam"});
        QTest::mouseClick(d->sbNew, Qt::LeftButton);
        QCOMPARE(Rules(*d), (QStringList{"From: = spam", ""}));
        QCOMPARE(d->SelectedIndex(), 1);
        QCOMPARE(d->cbHeader->currentIndex(), -1);
        QCOMPARE(d->cbCondition->currentText(), QString("contains"));
        QVERIFY(d->edFilter->text().isEmpty());
        Pick(d->cbHeader, 5);
        QCOMPARE(Rules(*d), (QStringList{"From: = spam", "To: = "}));
        // Picking the entry already shown is a change too.
        Pick(d->cbCondition, 0);
        QCOMPARE(Rules(*d), (QStringList{"From: = spam", "To: = "}));
    }

    // Removing the third, first or last of five selects and shows the neighbour.
    void removeSelectsNeighbour() {
        for (const auto& [removed, selectedAfter, shownAfter] :
             {std::tuple{2, 1, "r1"}, {0, 0, "r1"}, {4, 3, "r3"}}) {
            auto d = Open({"Subject: = r0", "Subject: = r1", "Subject: = r2", "Subject: = r3",
                           "Subject: = r4"});
            ClickItem(d->lbKillList, removed);
            QTest::mouseClick(d->sbRemove, Qt::LeftButton);
            QCOMPARE(d->lbKillList->count(), 4);
            QCOMPARE(d->SelectedIndex(), selectedAfter);
            QCOMPARE(d->edFilter->text(), QString(shownAfter));
            QVERIFY(!Rules(*d).contains("Subject: = r" + QString::number(removed)));
        }
    }

    void removingTheOnlyRuleDisablesButKeepsContent() {
        auto d = Open({"Cc: <> boss"});
        QTest::mouseClick(d->sbRemove, Qt::LeftButton);
        QCOMPARE(d->lbKillList->count(), 0);
        QCOMPARE(EditControlsEnabled(*d), 0);
        QCOMPARE(d->cbHeader->currentText(), QString("Cc:"));
        QCOMPARE(d->cbCondition->currentIndex(), 1);
        QCOMPARE(d->edFilter->text(), QString("boss"));
    }

    // Opened empty, only New works; Insert and Delete act only without modifiers.
    void openingEmptyAndKeysWithoutModifiers() {
        auto d = Open({});
        QCOMPARE(d->windowTitle(), QString("Kill List"));
        QVERIFY(d->sbNew->isEnabled());
        QCOMPARE(d->cbHeader->currentIndex(), -1);
        QCOMPARE(d->cbCondition->currentIndex(), -1);
        QVERIFY(d->lbKillList->hasFocus());
        QTest::keyClick(d->lbKillList, Qt::Key_Delete);  // empty list: nothing happens
        QCOMPARE(d->SelectedIndex(), -1);
        QCOMPARE(EditControlsEnabled(*d), 0);
        QTest::keyClick(d->lbKillList, Qt::Key_Insert, Qt::ShiftModifier);
        QTest::keyClick(d->lbKillList, Qt::Key_Insert, Qt::ControlModifier);
        QTest::keyClick(d->lbKillList, Qt::Key_Insert, Qt::AltModifier);
        QCOMPARE(d->lbKillList->count(), 0);
        QTest::keyClick(d->lbKillList, Qt::Key_Insert);
        QTest::keyClick(d->lbKillList, Qt::Key_Insert);
        QCOMPARE(d->lbKillList->count(), 2);
        QCOMPARE(d->SelectedIndex(), 1);
        QTest::keyClick(d->lbKillList, Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(d->lbKillList, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(d->lbKillList->count(), 2);
        QTest::keyClick(d->lbKillList, Qt::Key_Delete);
        QCOMPARE(d->lbKillList->count(), 1);
        QCOMPARE(d->SelectedIndex(), 0);
    }

    // A click on empty space below the items, or a Ctrl+click, keeps the selection.
    void userCannotClearTheSelection() {
        auto d = Open({"To: = a", "To: = b"});
        ClickItem(d->lbKillList, 1);
        const QPoint below(5, d->lbKillList->viewport()->height() - 3);
        QTest::mouseClick(d->lbKillList->viewport(), Qt::LeftButton, {}, below);
        QCOMPARE(d->SelectedIndex(), 1);
        ClickItem(d->lbKillList, 1, Qt::ControlModifier);
        QCOMPARE(d->SelectedIndex(), 1);
    }

    // Each item: background, bullet at 2 pixels from the left, text from 16 pixels on.
    void itemsAreDrawnWithBulletAndText() {
        auto d = Open({"Subject: = WWW", "From: = MMM"});
        QListWidget* list = d->lbKillList;
        list->clearFocus();  // no focus frame over the pixels under test
        const QImage shot = list->viewport()->grab().toImage();
        const QImage bullet = BulletImage();
        const QPalette pal = list->palette();
        for (int row = 0; row < 2; ++row) {
            const QRect r = list->visualItemRect(list->item(row));
            QVERIFY(r.height() >= 13);
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 10; ++x)
                    QCOMPARE(QColor(shot.pixel(r.left() + 2 + x, r.top() + y)),
                             QColor(bullet.pixel(x, y)));
            const QPalette::ColorRole role = row == 0 ? QPalette::Highlight : QPalette::Base;
            const auto ground = [&](int x, int y) {
                const QColor c(shot.pixel(x, y));
                return c == pal.color(QPalette::Inactive, role) ||
                       c == pal.color(QPalette::Active, role);
            };
            bool textFound = false;
            for (int y = r.top() + 1; y < r.bottom(); ++y) {
                for (int x = 12; x < 16; ++x) QVERIFY(ground(x, y));
                for (int x = 16; x < 40; ++x) textFound |= !ground(x, y);
            }
            QVERIFY(textFound);
        }
    }

    // Help open before the dialog, and help opened from it, take clicks while the dialog is
    // open; the dialog's own help stands in front of it.
    void helpStaysUsableWhileOpen() {
        QWidget mainWindow;
        mainWindow.show();
        ShowHelpContext(kHelpIndex);
        bool checked = false;
        WhenModal([&](QWidget* w) {
            auto* d = qobject_cast<TdlgKillList*>(w);
            QVERIFY(TakesClicks(HelpWindow()));
            QTest::mouseClick(d->btnHelp, Qt::LeftButton);
            QCOMPARE(HelpWindow()->parentWidget(), d);
            QVERIFY(TakesClicks(HelpWindow()));
            checked = true;
        });
        TSettings settings;
        RunKillListEditor(&mainWindow, registry_, settings);
        QVERIFY(checked);
        delete HelpWindow();
    }

    void runStoresOnOkOnly() {
        TSettings settings;
        SaveKillList(registry_, {"From: = a", "To: = b"});
        const auto stored = [this] {
            TStringList list;
            LoadKillList(registry_, list);
            return list;
        };

        // Cancel after edits: nothing stored.
        WhenModal([](QWidget* w) {
            auto* d = qobject_cast<TdlgKillList*>(w);
            QTest::mouseClick(d->sbNew, Qt::LeftButton);
            QTest::keyClicks(d->edFilter, "xyz");
            QTest::mouseClick(d->btnCancel, Qt::LeftButton);
        });
        RunKillListEditor(nullptr, registry_, settings);
        QCOMPARE(stored(), (TStringList{"From: = a", "To: = b"}));

        // Esc or Alt+F4 after edits: nothing stored either.
        for (const QKeyCombination close :
             {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::AltModifier, Qt::Key_F4)}) {
            bool closed = false;
            WhenModal([close, &closed](QWidget* w) {
                auto* d = qobject_cast<TdlgKillList*>(w);
                QTest::keyClick(d->lbKillList, Qt::Key_Delete);
                QTest::keyClick(d->lbKillList, close.key(), close.keyboardModifiers());
                closed = !d->isVisible();
            });
            RunKillListEditor(nullptr, registry_, settings);
            QVERIFY(closed);
            QCOMPARE(stored(), (TStringList{"From: = a", "To: = b"}));
        }

        // OK replaces the list whole, blank items left out.
        WhenModal([](QWidget* w) {
            auto* d = qobject_cast<TdlgKillList*>(w);
            QCOMPARE(d->edFilter->text(), QString("a"));
            QTest::keyClick(d->lbKillList, Qt::Key_Delete);
            QTest::mouseClick(d->sbNew, Qt::LeftButton);
            QTest::mouseClick(d->sbNew, Qt::LeftButton);
            Pick(d->cbHeader, 5);
            QTest::mouseClick(d->edFilter, Qt::LeftButton);
            QTest::keyClicks(d->edFilter, "loose ");
            QTest::keyClick(d->edFilter, Qt::Key_Return);  // Enter is OK
        });
        RunKillListEditor(nullptr, registry_, settings);
        QCOMPARE(stored(), (TStringList{"To: = b", "To: = loose"}));
    }

    // The two boxes start off, show the settings, and change them on OK only.
    void matchBoxesFollowTheSettingsOnOkOnly() {
        QTemporaryDir home;
        TRegistry registry(home.filePath("registry.reg").toStdString());
        TSettings settings;
        settings.IgnoreCase = true;
        const auto toggle = [](bool ok) {
            WhenModal([ok](QWidget* w) {
                auto* d = qobject_cast<TdlgKillList*>(w);
                QVERIFY(!d->chbDecodeHeaders->isChecked());
                QVERIFY(d->chbIgnoreCase->isChecked());
                QTest::mouseClick(d->chbDecodeHeaders, Qt::LeftButton);
                QTest::keyClick(d->chbIgnoreCase, Qt::Key_Space);
                QTest::mouseClick(ok ? d->btnOK : d->btnCancel, Qt::LeftButton);
            });
        };
        toggle(false);
        RunKillListEditor(nullptr, registry, settings);
        QVERIFY(!settings.DecodeHeaders && settings.IgnoreCase);
        toggle(true);
        RunKillListEditor(nullptr, registry, settings);
        QVERIFY(settings.DecodeHeaders && !settings.IgnoreCase);
        auto fresh = Open({});
        QVERIFY(!fresh->chbDecodeHeaders->isChecked() && !fresh->chbIgnoreCase->isChecked());
    }

    // OK writes the boxes to the file at once, each only while it is on.
    void okSavesTheBoxesAtOnce() {
        QTemporaryDir home;
        const std::string file = home.filePath("registry.reg").toStdString();
        TRegistry registry(file);
        TSettings settings;
        // Each value as stored: written as 1, or not there at all.
        const auto stored = [&file] {
            TRegistry reader(file);
            const auto on = [&reader](const char* name) {
                return reader.ValueExists(name) && reader.ReadBool(name);
            };
            if (!reader.OpenKey(kSettingsKey, false)) return std::pair{false, false};
            return std::pair{on("Decode Headers"), on("Ignore Case")};
        };
        for (const bool on : {true, false}) {
            WhenModal([](QWidget* w) {
                auto* d = qobject_cast<TdlgKillList*>(w);
                QTest::mouseClick(d->chbDecodeHeaders, Qt::LeftButton);
                QTest::mouseClick(d->chbIgnoreCase, Qt::LeftButton);
                QTest::mouseClick(d->btnOK, Qt::LeftButton);
            });
            RunKillListEditor(nullptr, registry, settings);
            QCOMPARE(stored(), std::pair(on, on));
        }
    }

    // Without a password the button says so and connects nowhere.
    void tryWithoutPasswordAsksForIt() {
        ScriptedPop3Server server({});
        auto d = Open({"Subject: = x"});
        TypedAccount account(server.Port(), "");
        d->SetAccount(account.settings, &account.credentials);
        QString text;
        WhenModal<QMessageBox>([&text](QMessageBox* box) { text = box->text(); });
        QTest::mouseClick(d->sbTry, Qt::LeftButton);
        QCOMPARE(text, QString(kTypePasswordFirstText));
        QVERIFY(!d->DryRunWindow());
        QCOMPARE(server.Connections(), 0);
    }

    // With several mailboxes the button first asks which (a damaged one is not offered) and
    // signs in as that one; giving up asks for nothing.
    void tryAsksWhichMailboxWithSeveral() {
        auto d = Open({"Subject: = x"});
        TypedAccount account(1, "");
        TMailbox work;
        work.Name = "Work";
        work.User = "bo";
        TMailbox damaged;
        damaged.Name = "Old";
        damaged.Unreadable = "damaged";
        account.settings.Mailboxes = {account.settings.Mailboxes[0], work, damaged};
        // Only Work has nothing typed: the box that asks for a password says Work was chosen.
        account.credentials.Typed.Type(account.settings.Mailboxes[0].Id(), "joe-pw");
        account.credentials.Typed.Type(work.Id(), "");
        d->SetAccount(account.settings, &account.credentials);
        QStringList offered;
        WhenModal<QInputDialog>([&offered](QInputDialog* in) {
            QCOMPARE(in->windowTitle(), QString("Try on the Mailbox"));
            QFont bold = in->font();
            bold.setBold(true);  // as title bars commonly draw it
            QVERIFY(in->width() >= QFontMetrics(bold).horizontalAdvance(in->windowTitle()) + 100);
            QCOMPARE(in->labelText(), QString("Mailbox:"));
            offered = in->comboBoxItems();
            in->setTextValue("Work");
            in->accept();
        });
        bool asked = false;
        WhenModal<QMessageBox>([&asked](QMessageBox* box) {
            QCOMPARE(box->text(), QString(kTypePasswordFirstText));
            asked = true;
        });
        QTest::mouseClick(d->sbTry, Qt::LeftButton);
        QCOMPARE(offered, (QStringList{"joe@127.0.0.1", "Work"}));
        QVERIFY(asked && !d->DryRunWindow());

        WhenModal<QInputDialog>([](QInputDialog* in) { in->reject(); });
        QTest::mouseClick(d->sbTry, Qt::LeftButton);
        QVERIFY(!d->DryRunWindow());
    }

    // The button reads the mailbox with the rules as they stand, unsaved, and lists the
    // condemned messages first. Run again against a server that stalls, Cancel ends it within a
    // second; nothing is ever deleted.
    void tryRunsUnsavedRulesAndCancelEndsAStall() {
        using S = ScriptedPop3Server;
        const auto login = [](const std::string& entries) {
            return Steps{S::Send("+OK ready\r\n"),
                         S::ReadLine(),
                         S::Send("-ERR\r\n"),
                         S::ReadLine(),
                         S::Send("+OK\r\n"),
                         S::ReadLine(),
                         S::Send("+OK\r\n"),
                         S::ReadLine(),
                         S::Send("+OK\r\n" + entries + ".\r\n")};
        };
        const std::string subject(300, 'w');  // wider than the window
        Steps script = Then(login("1 30\r\n2 31\r\n"),
                            {S::ReadLine(), S::Send("+OK\r\nFrom: ann@x\r\n.\r\n"), S::ReadLine(),
                             S::Send("+OK\r\nFrom: spam@x\r\nSubject: " + subject + "\r\n.\r\n"),
                             S::ReadLine(), S::Send("+OK bye\r\n"), S::Close()});
        for (const S::Step& step :
             Then(login("1 30\r\n2 30\r\n3 30\r\n"),
                  {S::ReadLine(), S::Send("+OK\r\nFrom: spam@x\r\n.\r\n"), S::ReadLine(),
                   S::Trickle("+OK\r\nFrom: ann@x\r\n.\r\n", 5000)}))
            script.push_back(step);
        S server(script);
        auto d = Open({});
        QTest::mouseClick(d->sbNew, Qt::LeftButton);
        Pick(d->cbHeader, 0);
        Pick(d->cbCondition, 0);
        QTest::keyClicks(d->edFilter, "spam@");
        TypedAccount account(server.Port(), "pw");
        d->SetAccount(account.settings, &account.credentials);

        QTest::mouseClick(d->sbTry, Qt::LeftButton);
        TDryRunWindow* w = d->DryRunWindow();
        QVERIFY(w && w->isVisible());
        QTRY_COMPARE(w->lblStatus->text(), QString("1 of 2 messages would be deleted"));
        QCOMPARE(w->lvMessages->topLevelItemCount(), 2);
        const auto row = [w](int i) {
            QStringList cells;
            for (int c = 0; c < 5; ++c) cells << w->lvMessages->topLevelItem(i)->text(c);
            return cells;
        };
        QCOMPARE(row(0), (QStringList{"2", "spam@x", QString::fromStdString(subject), "31",
                                      "From: = spam@"}));
        QCOMPARE(row(1), (QStringList{"1", "ann@x", "", "30", "kept"}));
        QCOMPARE(w->windowTitle(), QString("Try on the Mailbox: joe@127.0.0.1"));
        // The long subject is cut, not the verdict: the Rule column is in view.
        const int ruleEnd = w->lvMessages->header()->sectionViewportPosition(4) +
                            w->lvMessages->fontMetrics().horizontalAdvance("From: = spam@");
        QVERIFY(ruleEnd <= w->lvMessages->viewport()->width());

        QTest::mouseClick(d->sbTry, Qt::LeftButton);
        QCOMPARE(d->DryRunWindow(), w);
        QTRY_COMPARE(w->lblStatus->text(), QString("Read 1 of 3 messages"));
        QCOMPARE(w->lvMessages->topLevelItemCount(), 0);
        QCOMPARE(w->btnClose->text(), QString("Cancel"));
        QVERIFY(TakesClicks(d.get()));  // the editor stays usable
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(w->btnClose, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(w->lblStatus->text(), QString("Cancelled."), 1000);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(w->btnClose->text(), QString("Close"));
        QVERIFY(w->isVisible());
        const std::vector<std::string> lines = server.Lines();
        QCOMPARE(std::count(lines.begin(), lines.end(), "QUIT"), 1);
        QCOMPARE(lines.back(), std::string("RETR 2"));
        for (const std::string& line : lines) QVERIFY(!line.starts_with("DELE"));
    }
};

QTEST_MAIN(KillListEditorTest)
#include "editor_test.moc"
