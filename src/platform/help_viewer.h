#pragma once

#include <string>

class QPoint;
class QRect;
class QSize;
class QWidget;

// Help topics by context number.
enum HelpContext {
    kHelpIndex = 1,
    kHelpWhatIs = 2,
    kHelpAuthor = 3,
    kHelpKillList = 6,
    kHelpMailOptions = 7,
    // The sections of the mail options page, one per page of the dialog.
    kHelpMailLogin = 8,
    kHelpMailReceiving = 9,
    kHelpMailConnection = 10,
};

// The application's help file name ("Vornask.hlp"), set once at start.
void SetApplicationHelpFile(const std::string& name);
const std::string& ApplicationHelpFile();

// Shows the single help window (opening or raising it) at the topic for context. owner: the
// dialog asking, or null. Help for a dialog is that dialog's own window, so it stays above it and
// takes input while the dialog is modal, and closes with it; other help stands on its own. Help
// stays above the always-on-top main window. Help that the dialog would cover is moved beside
// it, or over it where the screen has no room beside it.
void ShowHelpContext(int context, QWidget* owner = nullptr);

// The folder that holds the help pages, or empty when none was found.
std::string HelpFolder();

// The page (file name inside the help folder) of a context number; unknown numbers give the
// contents page.
std::string HelpTopicPage(int context);

// The section (anchor) of a context number's page; empty for the top of the page.
std::string HelpTopicAnchor(int context);

// Where help of the given size goes for owner (both frames): right of it, else left of it,
// where the screen has room, at the owner's height; else over it, centred on it. Always on the
// screen.
QPoint HelpPosition(const QRect& owner, const QSize& size, const QRect& screen);

// The help window while it is open, else null.
QWidget* HelpWindow();
