#pragma once

// The kill list editor dialog: edits the rule strings of its list box in place.

#include <QDialog>
#include <QPixmap>

#include "base/string_list.h"
#include "filter/match_options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class TRegistry;
struct TSettings;

class TdlgKillList : public QDialog {
    Q_OBJECT
  public:
    explicit TdlgKillList(QWidget* owner);

    void SetItems(const TStringList& rules);
    TStringList Items() const;
    // The two boxes that say how the rules compare.
    void SetMatchOptions(const TMatchOptions& options);
    TMatchOptions MatchOptions() const;
    // Row of the selected item, -1 when none.
    int SelectedIndex() const;

    // Handlers, named after the control and the event.
    void FormActivate();
    void lbKillListClick();
    void lbKillListKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void sbNewClick();
    void sbRemoveClick();
    void FilterChange();

    void UpdateButtons(bool enabled);
    void StoreFilter();
    void ShowFilter();

    QLabel* lblFilters;
    QListWidget* lbKillList;
    QToolButton* sbNew;
    QToolButton* sbRemove;
    QCheckBox* chbDecodeHeaders;
    QCheckBox* chbIgnoreCase;
    QComboBox* cbHeader;
    QComboBox* cbCondition;
    QLineEdit* edFilter;
    QPushButton* btnHelp;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QPixmap imPic;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* MakeButtonStrip();
    QWidget* MakeOptionBoxes();
    QWidget* MakeEditGroup();
    void ConnectHandlers();
    void SelectByProgram(int row);

    // True while the program itself fills or selects controls: their signals are not edits.
    bool byProgram_ = false;
    bool activated_ = false;
};

// The whole exchange of the "&Kill list" menu command: load the stored list into the dialog,
// show it modally, store the list box's items on OK, and the two boxes into the settings (which
// are written with the others). Load and save failures propagate.
void RunKillListEditor(QWidget* owner, TRegistry& registry, TSettings& settings);
