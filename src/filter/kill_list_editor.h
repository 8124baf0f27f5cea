#pragma once

// The kill list editor dialog. (Contract header: the dialog work fills in the class.)

#include <QDialog>

class TRegistry;
class TdlgKillList;

// The whole exchange of the "&Kill list" menu command: load the stored list into the dialog,
// show it modally, store the list box's items on OK.
void RunKillListEditor(QWidget* owner, TRegistry& registry);
