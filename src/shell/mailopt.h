#pragma once

// The mail options dialog. (Contract header: the dialog work fills in the class.)

#include <QDialog>

struct TSettings;
class TTimer;

class TdlgMailOptions;

// The whole exchange of the "&Mail Options" menu command: copy the settings in, show the
// dialog modally, copy back on OK and give the timer the new period.
void RunMailOptions(QWidget* owner, TSettings& settings, TTimer& timer);
