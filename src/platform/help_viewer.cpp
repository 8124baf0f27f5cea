#include "platform/help_viewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

namespace {

struct Topic {
    int context;
    const char* page;
    const char* anchor = "";
};
constexpr Topic kTopics[] = {
    {kHelpIndex, "index.html"},
    {kHelpWhatIs, "what-is-vornask.html"},
    {kHelpAuthor, "about-author.html"},
    {kHelpKillList, "kill-list.html"},
    {kHelpMailOptions, "mail-options.html"},
    {kHelpMailLogin, "mail-options.html", "login"},
    {kHelpMailReceiving, "mail-options.html", "receiving"},
    {kHelpMailConnection, "mail-options.html", "connection"},
};

const Topic& TopicOf(int context) {
    for (const Topic& topic : kTopics)
        if (topic.context == context) return topic;
    return kTopics[0];
}

// Space between the dialog and the help beside it.
constexpr int kBesideGap = 8;

// The main window stays on top of others; help the user opened stands above it too.
constexpr Qt::WindowFlags kHelpWindowFlags = Qt::Window | Qt::WindowStaysOnTopHint;

std::string& HelpFileName() {
    static std::string name;
    return name;
}

// The help file name ("Vornask.hlp") names the program's help book. The book is
// a folder of HTML pages, one per topic, so the name selects that folder: an absolute path to
// a folder is taken as it is; any other name means the book shipped with the program, looked
// for next to the program first (a build tree or an unpacked copy) and then in the installed
// data folder.
QStringList HelpFolderCandidates() {
    const QString name = QString::fromStdString(HelpFileName());
    if (QFileInfo(name).isAbsolute() && QFileInfo(name).isDir()) return {name};
    QStringList folders;
    if (QCoreApplication::instance()) {
        const QString programDir = QCoreApplication::applicationDirPath();
        folders << programDir + QStringLiteral("/help");
        // Installed under another prefix than the one it was built for: bin/../share/vornask.
        folders << programDir + QStringLiteral("/../share/vornask/help");
    }
    folders << QStringLiteral(VORNASK_HELP_DIR);
    return folders;
}

class THelpWindow : public QWidget {
  public:
    THelpWindow() {
        setWindowFlags(kHelpWindowFlags);
        setWindowTitle(QStringLiteral("Vornask Help"));
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_QuitOnClose, false);  // closing help must not end a tray program
        resize(640, 540);
        auto* layout = new QVBoxLayout(this);
        auto* buttons = new QHBoxLayout;
        auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
        auto* back = new QPushButton(QStringLiteral("&Back"), this);
        auto* forward = new QPushButton(QStringLiteral("&Forward"), this);
        buttons->addWidget(contents);
        buttons->addWidget(back);
        buttons->addWidget(forward);
        buttons->addStretch();
        layout->addLayout(buttons);
        browser_ = new QTextBrowser(this);
        browser_->setOpenExternalLinks(true);
        layout->addWidget(browser_);
        connect(contents, &QPushButton::clicked, this, [this] { ShowTopic(kHelpIndex); });
        connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
        connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
        back->setEnabled(false);
        forward->setEnabled(false);
    }

    void ShowTopic(int context) {
        const QString folder = QString::fromStdString(HelpFolder());
        if (folder.isEmpty()) return ShowMissing();
        const QString page = QString::fromStdString(HelpTopicPage(context));
        QUrl url = QUrl::fromLocalFile(QDir(folder).filePath(page));
        url.setFragment(QString::fromStdString(HelpTopicAnchor(context)));
        browser_->setSource(url);
    }

  private:
    void ShowMissing() {
        QString html = QStringLiteral(
            "<h1>Help is not installed</h1><p>Vornask could not find its help pages. "
            "It looked in these folders:</p><ul>");
        for (const QString& folder : HelpFolderCandidates())
            html += QStringLiteral("<li>%1</li>").arg(folder.toHtmlEscaped());
        browser_->setHtml(html + QStringLiteral("</ul>"));
    }

    QTextBrowser* browser_;
};

QPointer<THelpWindow>& TheWindow() {
    static QPointer<THelpWindow> window;
    return window;
}

// A help window still open when the program ends is freed with the event loop.
void DeleteWindowAtQuit() {
    static bool connected = false;
    if (connected || !QCoreApplication::instance()) return;
    connected = true;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                     [] { delete TheWindow().data(); });
}

// Moves help that the dialog covers (or would, once shown) beside the dialog, or over it.
void PlaceForOwner(QWidget* help, QWidget* owner) {
    const QRect dialog = owner->frameGeometry();
    // Before its first show a window has no frame yet: its size is the best guess.
    const QRect frame = help->isVisible() ? help->frameGeometry() : help->geometry();
    if (help->isVisible() && !frame.intersects(dialog)) return;
    QScreen* screen = owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    help->move(HelpPosition(dialog, frame.size(), screen->availableGeometry()));
}

}  // namespace

void SetApplicationHelpFile(const std::string& name) {
    HelpFileName() = name;
}

const std::string& ApplicationHelpFile() {
    return HelpFileName();
}

std::string HelpFolder() {
    for (const QString& folder : HelpFolderCandidates())
        if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("index.html"))))
            return folder.toStdString();
    return {};
}

std::string HelpTopicPage(int context) {
    return TopicOf(context).page;
}

std::string HelpTopicAnchor(int context) {
    return TopicOf(context).anchor;
}

QPoint HelpPosition(const QRect& owner, const QSize& size, const QRect& screen) {
    const int lowest = std::max(screen.top(), screen.bottom() + 1 - size.height());
    const int rightmost = std::max(screen.left(), screen.right() + 1 - size.width());
    const int y = std::clamp(owner.top(), screen.top(), lowest);
    const int right = owner.right() + 1 + kBesideGap;
    const int left = owner.left() - kBesideGap - size.width();
    if (right + size.width() <= screen.right() + 1) return {right, y};
    if (left >= screen.left()) return {left, y};
    // No room beside it: over it, where the help is seen whole rather than half under it.
    QRect over(QPoint(), size);
    over.moveCenter(owner.center());
    return {std::clamp(over.left(), screen.left(), rightmost),
            std::clamp(over.top(), screen.top(), lowest)};
}

QWidget* HelpWindow() {
    return TheWindow().data();
}

void ShowHelpContext(int context, QWidget* owner) {
    auto& window = TheWindow();
    if (!window) {
        window = new THelpWindow;
        DeleteWindowAtQuit();
    }
    if (window->parentWidget() != owner) window->setParent(owner, kHelpWindowFlags);
    window->ShowTopic(context);
    if (owner) PlaceForOwner(window, owner);
    window->show();
    window->raise();
    window->activateWindow();
}
