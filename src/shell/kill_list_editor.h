#pragma once

// The kill list editor dialog: edits the rule strings of its list box in place.

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <string>

#include "base/string_list.h"
#include "filter/match_options.h"
#include "shell/dry_run_window.h"
#include "shell/dry_run_worker.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class TRegistry;
struct TSettings;
struct TSettingsLoad;

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
    // Where "Try on the mailbox" signs in.
    void SetAccount(const TDryRunAccount& account) { account_ = account; }
    // The dry run's window, once the button has opened it.
    TDryRunWindow* DryRunWindow() const { return dryRun_; }

    // Handlers, named after the control and the event.
    void FormActivate();
    void lbKillListClick();
    void lbKillListKeyDown(int key, Qt::KeyboardModifiers modifiers);
    void sbNewClick();
    void sbRemoveClick();
    void sbTryClick();
    void FilterChange();

    void UpdateButtons(bool enabled);
    void StoreFilter();
    void ShowFilter();

    QLabel* lblFilters;
    QListWidget* lbKillList;
    QToolButton* sbNew;
    QToolButton* sbRemove;
    QToolButton* sbTry;
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
    TDryRunAccount account_;
    QPointer<TDryRunWindow> dryRun_;
};

inline constexpr const char* kNoPasswordText = "Type the password in the main window first.";

// The whole exchange of the "&Kill list" menu command: load the stored list into the dialog,
// show it modally, and on OK store the list box's items and the two boxes into the settings,
// which are then saved at once (with what the settings' load left, so that values it never read
// stay as stored). The dry run signs in with the settings' server and user and this password.
// Load and save failures propagate.
void RunKillListEditor(QWidget* owner, TRegistry& registry, TSettings& settings,
                       const TSettingsLoad& load, const std::string& password);
// As above, for a settings file that loaded whole, without a password.
void RunKillListEditor(QWidget* owner, TRegistry& registry, TSettings& settings);
