#pragma once

#include <string>

class QWidget;

// Help topics by context number.
enum HelpContext {
    kHelpIndex = 1,
    kHelpWhatIs = 2,
    kHelpAuthor = 3,
    kHelpKillList = 6,
    kHelpMailOptions = 7
};

// The application's help file name ("Vornask.hlp"), set once at start.
void SetApplicationHelpFile(const std::string& name);
const std::string& ApplicationHelpFile();

// Opens (or raises) the one help window at the topic with the given context number. owner: the
// dialog asking, or null. Help for a dialog is that dialog's own window, so it stays above it and
// usable while the dialog is modal, and closes with it; other help stands on its own.
void ShowHelpContext(int context, QWidget* owner = nullptr);

// The folder that holds the help pages, or empty when none was found.
std::string HelpFolder();

// The page (file name inside the help folder) of a context number; unknown numbers give the
// contents page.
std::string HelpTopicPage(int context);

// The help window while it is open, else null.
QWidget* HelpWindow();
