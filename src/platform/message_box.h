#pragma once

// How Vornask's message boxes appear: in front of the program's own window, modal to that
// window only, above other programs' windows and wide enough for their caption.

class QMessageBox;
class QString;
class QWidget;

// The width a window needs for a window manager's title bar to show caption in full.
int CaptionWidth(const QString& caption);

// Runs box to its end and returns exec's result. owner is the window the box belongs to; null
// means the application's main window, if there is one. The box blocks only that window, so the
// tray icon, the help window and timers keep working while it is open (a tray click or a tick
// inside it is handled as at any other time). The box is centred on the screen and stays above
// its owner, also when the owner is shown while the box is open.
int ExecMessageBox(QMessageBox& box, QWidget* owner = nullptr);
