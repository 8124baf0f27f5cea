#pragma once

// "Try on the mailbox": the window that shows what the kill list, as it stands in the editor,
// would delete from the mailbox. It reads on a worker thread and stays usable meanwhile.

#include <QDialog>

#include "base/string_list.h"
#include "filter/match_options.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class TDryRunWorker;
struct TDryRunAccount;
struct TDryRunOutcome;

class TDryRunWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TDryRunWindow(QWidget* owner);

    // Clears the list and starts reading; nothing when a run is going.
    void Start(const TDryRunAccount& account, const TStringList& killList,
               const TMatchOptions& options);
    bool Running() const;

    QLabel* lblStatus;
    QTreeWidget* lvMessages;
    QPushButton* btnClose;  // "Cancel" while reading

  protected:
    void reject() override;

  private:
    void ShowProgress(size_t read, size_t toRead);
    void ShowOutcome(const TDryRunOutcome& outcome);
    void SetReading(bool reading);

    TDryRunWorker* worker_;
    TStringList killList_;  // the rules the rows name
};
