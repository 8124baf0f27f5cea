#pragma once

// The kill list editor dialog: edits the rule strings of its list box in place.

#include <QDialog>
#include <QPixmap>
#include <QPointer>
#include <string>

#include "app/dry_run_worker.h"
#include "app/settings.h"
#include "base/string_list.h"
#include "filter/match_options.h"
#include "shell/dry_run_window.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class TCredentialSource;
class TRegistry;
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
    // Where "Try on the mailbox" signs in, and what with (none: it cannot).
    void SetAccount(const TSettings& settings, TCredentialSource* credentials) {
        account_ = settings;
        credentials_ = credentials;
    }
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
    std::function<std::optional<std::string>()> RenewOnce();
    // With several mailboxes asks which one to try; false when the user gave up.
    bool ChooseMailbox();

    // True while the program itself fills or selects controls: their signals are not edits.
    bool byProgram_ = false;
    bool activated_ = false;
    TSettings account_;
    TMailbox tried_;  // the mailbox chosen to try
    TCredentialSource* credentials_ = nullptr;
    QPointer<TDryRunWindow> dryRun_;
};

inline constexpr const char* kTypePasswordFirstText = "Type the password in the main window first.";

// The whole exchange of the "&Kill list" menu command: load the stored list into the dialog,
// show it modally, and on OK store the list box's items and the two boxes into the settings,
// which are then saved at once (with what the settings' load left, so that values it never read
// stay as stored). The dry run signs in with the settings' server and user and what
// credentials give, as a check does. Load and save failures propagate.
void RunKillListEditor(QWidget* owner, TRegistry& registry, TSettings& settings,
                       const TSettingsLoad& load, TCredentialSource* credentials);
// As above, for a settings file that loaded whole, without a credential.
void RunKillListEditor(QWidget* owner, TRegistry& registry, TSettings& settings);
