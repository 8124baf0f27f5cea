#pragma once

// Layout pieces the windows share. Design sizes are kept unless the desktop font needs more
// room, so nothing is clipped on desktops whose default font is larger than the design's.

#include <QString>

class QDialog;
class QLabel;
class QPushButton;
class QScreen;
class QWidget;

// Moves a top-level window so that its frame stands in the middle of the screen's available
// area; no screen: it stays where it is.
void CentreOnScreen(QWidget* window, const QScreen* screen);
// For a window's showEvent: the first time (shown still false) centres the window on its
// screen, sets shown and returns true; later it returns false.
bool CentreOnFirstShow(QWidget* window, bool& shown);

void SetSizeAtLeast(QWidget* widget, int width, int height);
void SetWidthAtLeast(QWidget* widget, int width);

// A label whose accelerator focuses its buddy.
QLabel* MakeBuddyLabel(const QString& caption, QWidget* buddy, QWidget* parent);

// The bottom bar (29 pixels): Help, OK (the default button) and Cancel at the right, each at
// least 70 x 24. OK accepts and Cancel rejects the dialog, and Alt+F4 closes it as its close box
// does (the cancel result), also on desktops whose window manager does not provide that key.
// The caller connects Help.
QWidget* MakeDialogButtonBar(QDialog* dialog, int sideMargin, QPushButton*& help, QPushButton*& ok,
                             QPushButton*& cancel);
