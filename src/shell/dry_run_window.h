#pragma once

// "Try on the mailbox": the window that shows what the kill list, as it stands in the editor,
// would delete from the mailbox. It reads on a worker thread and stays usable meanwhile.

#include <QDialog>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "app/dry_run_worker.h"
#include "base/string_list.h"
#include "filter/match_options.h"

class QLabel;
class QPushButton;
class QTreeWidget;

class TDryRunWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TDryRunWindow(QWidget* owner);

    // Clears the list and starts reading; nothing when a run is going.
    void Start(const TDryRunAccount& account, const TStringList& killList,
               const TMatchOptions& options);
    bool Running() const;
    // Names the mailbox in the title, so that with several it is clear which one was read.
    void ShowMailbox(const QString& name);

    // Asked on the GUI thread when the server refused a run's login: the secret to run once
    // more with, or nothing to show the refusal; what it raises is shown instead. A question
    // with an answer, set per run, so a callable and not a signal (a signal returns nothing).
    std::function<std::optional<std::string>()> RenewSecret;

    QLabel* lblStatus;
    QTreeWidget* lvMessages;
    QPushButton* btnClose;  // "Cancel" while reading

  protected:
    void reject() override;

  private:
    void ShowProgress(size_t read, size_t toRead);
    void ShowOutcome(const TDryRunOutcome& outcome);
    void SetReading(bool reading);
    // Narrows From and Subject where needed so that the Rule column stays in view.
    void FitColumns();
    // A refused login that RenewSecret answers: runs again, or shows why not.
    bool RetryAfterRefusal(const std::exception_ptr& failure);

    TDryRunWorker* worker_;
    TStringList killList_;  // the rules the rows name
    TDryRunAccount account_;
    TMatchOptions options_;
};
