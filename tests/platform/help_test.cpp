#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>

#include "app/shown_message.h"
#include "child_test_support.h"
#include "net/net_errors.h"
#include "platform/help_viewer.h"

// This test runs from the program's own folder, so it finds the help pages the way the
// program does: in the "help" folder beside it.

namespace {

QTextBrowser* Browser() {
    QWidget* window = HelpWindow();
    return window ? window->findChild<QTextBrowser*>() : nullptr;
}

QString FirstHeading(const QTextDocument* document) {
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        if (block.blockFormat().headingLevel() == 1) return block.text();
    return {};
}

class Help : public testing::Test {
  protected:
    void SetUp() override { SetApplicationHelpFile("Vornask.hlp"); }
    void TearDown() override { delete HelpWindow(); }
};

}  // namespace

TEST_F(Help, EveryContextNumberOpensItsPage) {
    ASSERT_FALSE(HelpFolder().empty()) << "help pages not found beside the program";
    struct Case {
        int context;
        const char* heading;
    } cases[] = {{1, "Help Index"},   {2, "What is Vornask"}, {3, "About Author"}, {6, "Kill List"},
                 {7, "Mail options"}, {4, "Help Index"}};  // an unknown number shows the contents
    QWidget* first = nullptr;
    for (const auto& c : cases) {
        ShowHelpContext(c.context);
        ASSERT_NE(Browser(), nullptr);
        if (!first) first = HelpWindow();
        EXPECT_EQ(HelpWindow(), first) << "one help window only";
        EXPECT_TRUE(HelpWindow()->isVisible());
        const QString page = Browser()->source().toLocalFile();
        EXPECT_TRUE(QFileInfo::exists(page)) << page.toStdString();
        EXPECT_EQ(FirstHeading(Browser()->document()).toStdString(), c.heading) << c.context;
        EXPECT_EQ(Browser()->documentTitle().toStdString(), c.heading);
    }
}

// Help for a dialog goes beside it, on the side with room, else over it; never off the screen.
TEST(HelpPlacement, BesideTheDialogWhereTheScreenAllowsElseOverIt) {
    const QSize help(640, 540);
    struct Case {
        QRect screen;
        QRect dialog;
        QPoint expected;
    } cases[] = {
        {{0, 0, 1920, 1080}, {760, 300, 400, 200}, {1168, 300}},  // room on the right
        {{0, 0, 1920, 1080}, {1400, 300, 400, 200}, {752, 300}},  // only on the left
        {{0, 0, 1920, 1080}, {400, 900, 300, 200}, {708, 540}},   // right, raised onto the screen
        {{0, 0, 1920, 1080}, {0, 0, 1600, 200}, {480, 0}},        // over it, kept on the screen
        {{0, 0, 1024, 768}, {84, 84, 855, 600}, {192, 114}},      // Mail Options at 1024x768
    };
    for (const Case& c : cases)
        EXPECT_EQ(HelpPosition(c.dialog, help, c.screen), c.expected) << c.dialog.x();
}

// Help opened from a modal dialog takes clicks while the dialog runs, even application-modal;
// help that is not the dialog's own is blocked there.
TEST_F(Help, HelpForAModalDialogTakesInput) {
    for (const bool owned : {true, false}) {
        QDialog dialog;
        QString shown;
        QTimer::singleShot(0, &dialog, [&] {
            ShowHelpContext(kHelpKillList, owned ? &dialog : nullptr);
            QWidget* help = HelpWindow();
            if (QTest::qWaitForWindowExposed(help)) {
                QPushButton* contents = nullptr;
                for (auto* button : help->findChildren<QPushButton*>())
                    if (button->text() == "&Contents") contents = button;
                QTest::mouseClick(help->windowHandle(), Qt::LeftButton, {},
                                  contents->mapTo(help, contents->rect().center()));
                shown = QFileInfo(Browser()->source().toLocalFile()).fileName();
            }
            dialog.reject();
        });
        dialog.exec();
        EXPECT_EQ(shown.toStdString(), owned ? "index.html" : "kill-list.html") << owned;
        delete HelpWindow();
    }
}

TEST_F(Help, ClosedWindowIsMadeAfresh) {
    ShowHelpContext(kHelpKillList);
    HelpWindow()->close();  // deletes itself
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(HelpWindow(), nullptr);
    ShowHelpContext(kHelpMailOptions);
    ASSERT_NE(Browser(), nullptr);
    EXPECT_EQ(FirstHeading(Browser()->document()).toStdString(), "Mail options");
}

TEST_F(Help, EveryPageHasATitleAHeadingAndWorkingLinks) {
    const QDir folder(QString::fromStdString(HelpFolder()));
    const QStringList pages = folder.entryList({"*.html"});
    EXPECT_GE(pages.size(), 5);
    const QRegularExpression link(R"re((?:href|src)="([^"#]*)(#[^"]*)?")re");
    for (const QString& page : pages) {
        const QString html =
            QString::fromStdString(ReadFileBytes(folder.filePath(page).toStdString()));
        EXPECT_TRUE(html.contains("<title>") && html.contains("<h1>")) << page.toStdString();
        for (auto match = link.globalMatch(html); match.hasNext();) {
            const QString target = match.next().captured(1);
            if (target.isEmpty() || target.contains(':')) continue;
            EXPECT_TRUE(folder.exists(target))
                << page.toStdString() << " -> " << target.toStdString();
        }
    }
}

// The tooltip never shows an empty message; the page of messages explains the texts it shows.
TEST_F(Help, MessagesPageExplainsTheTextsOfAnUnansweredCommand) {
    const std::string html = ReadFileBytes(HelpFolder() + "/messages.html");
    for (const char* text : {kConnectionLostText, kEmptyReplyText, kNoGreetingText})
        EXPECT_NE(html.find(text), std::string::npos) << text;
}

TEST_F(Help, FolderNamedByTheHelpFileAndMissingPages) {
    TempFolder own;
    test_support::WriteFile(own / "index.html", "<title>Own</title><h1>Own index</h1>");
    SetApplicationHelpFile(own.Path());
    EXPECT_EQ(ApplicationHelpFile(), own.Path());
    EXPECT_EQ(HelpFolder(), own.Path());
    ShowHelpContext(kHelpIndex);
    EXPECT_EQ(FirstHeading(Browser()->document()).toStdString(), "Own index");

    TempFolder empty;
    SetApplicationHelpFile(empty.Path());
    EXPECT_EQ(HelpFolder(), "");
    ShowHelpContext(kHelpWhatIs);  // says where it looked instead of failing
    EXPECT_EQ(FirstHeading(Browser()->document()).toStdString(), "Help is not installed");
}

int main(int argc, char** argv) {
    // Also when the test list is read at build time, where no display may exist.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
