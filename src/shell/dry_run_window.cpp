#include "shell/dry_run_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/credential_source.h"
#include "app/shown_message.h"
#include "base/exception.h"
#include "platform/app_exceptions.h"

namespace {

const char* const kTitle = "Try on the Mailbox";
enum TColumn { kNumber, kFrom, kSubject, kSize, kRule };

// How a run's failure reads: as a check's.
QString FailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        return QString::fromStdString(ShownMessage(e));
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    }
}

// Server text is UTF-8 once decoded; anything else shows as replacement characters.
QTreeWidgetItem* RowItem(const TDryRunRow& row, const TStringList& killList) {
    QString verdict = "kept";
    if (row.Rule) verdict = QString::fromStdString(killList.at(*row.Rule));
    if (!row.Examined) verdict = "kept (too large to examine)";
    auto* item =
        new QTreeWidgetItem({QString::number(row.Number), QString::fromUtf8(row.From),
                             QString::fromUtf8(row.Subject), QString::number(row.Size), verdict});
    item->setTextAlignment(kNumber, Qt::AlignRight);
    item->setTextAlignment(kSize, Qt::AlignRight);
    for (const int column : {kFrom, kSubject, kRule}) item->setToolTip(column, item->text(column));
    return item;
}

}  // namespace

TDryRunWindow::TDryRunWindow(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      worker_(new TDryRunWorker(this)) {
    setObjectName("dlgDryRun");
    setWindowTitle(kTitle);
    lblStatus = new QLabel(this);
    lblStatus->setTextFormat(Qt::PlainText);  // a failure may quote the server
    lblStatus->setWordWrap(true);
    lvMessages = new QTreeWidget(this);
    lvMessages->setRootIsDecorated(false);
    lvMessages->setHeaderLabels({"No.", "From", "Subject", "Size", "Rule"});
    lvMessages->header()->setStretchLastSection(true);
    btnClose = new QPushButton("Close", this);
    // Cancel stops the run and leaves the window open to say so; Close closes it.
    connect(btnClose, &QPushButton::clicked, this, [this] {
        if (worker_->Running())
            worker_->Stop();
        else
            reject();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblStatus);
    layout->addWidget(lvMessages, 1);
    layout->addLayout(buttons);
    resize(760, 400);

    connect(worker_, &TDryRunWorker::Progress, this,
            [this](size_t read, size_t toRead) { ShowProgress(read, toRead); });
    ConnectGuarded(worker_, &TDryRunWorker::Ended, this,
                   [this](const TDryRunOutcome& outcome) { ShowOutcome(outcome); });
}

void TDryRunWindow::Start(const TDryRunAccount& account, const TStringList& killList,
                          const TMatchOptions& options) {
    if (worker_->Running()) return;
    killList_ = killList;
    account_ = account;
    options_ = options;
    lvMessages->clear();
    lblStatus->setText("Connecting...");
    SetReading(true);
    worker_->Start(account, killList, options);
}

bool TDryRunWindow::Running() const {
    return worker_->Running();
}

void TDryRunWindow::ShowMailbox(const QString& name) {
    setWindowTitle(QString("%1: %2").arg(kTitle, name));
}

// Esc and the close box close the window, stopping a run that is still going.
void TDryRunWindow::reject() {
    worker_->Stop();
    QDialog::reject();
}

void TDryRunWindow::ShowProgress(size_t read, size_t toRead) {
    lblStatus->setText(QString("Read %1 of %2 messages").arg(read).arg(toRead));
}

void TDryRunWindow::ShowOutcome(const TDryRunOutcome& outcome) {
    SetReading(false);
    if (outcome.Stopped) {
        lblStatus->setText("Cancelled.");
    } else if (outcome.Failure) {
        if (!RetryAfterRefusal(outcome.Failure)) lblStatus->setText(FailureText(outcome.Failure));
    } else {
        for (const TDryRunRow& row : outcome.Rows)
            lvMessages->addTopLevelItem(RowItem(row, killList_));
        FitColumns();
        lblStatus->setText(QString::fromStdString(DryRunSummary(outcome.Rows, outcome.NotRead)));
    }
}

// Number, Size and the rule as wide as they need (the rule up to a third of the list); From
// and Subject share what is left, From taking at most two fifths of it. A long subject is
// elided instead of pushing the verdict out of sight.
void TDryRunWindow::FitColumns() {
    for (int column = kNumber; column <= kRule; ++column)
        lvMessages->resizeColumnToContents(column);
    const int room = lvMessages->viewport()->width();
    const int rule = std::min(lvMessages->columnWidth(kRule), room / 3);
    const int left =
        room - rule - lvMessages->columnWidth(kNumber) - lvMessages->columnWidth(kSize);
    const int from = std::min(lvMessages->columnWidth(kFrom), std::max(60, left * 2 / 5));
    const int subject = std::min(lvMessages->columnWidth(kSubject), std::max(60, left - from));
    lvMessages->setColumnWidth(kFrom, from);
    lvMessages->setColumnWidth(kSubject, subject);
}

void TDryRunWindow::SetReading(bool reading) {
    btnClose->setText(reading ? "Cancel" : "Close");
}

bool TDryRunWindow::RetryAfterRefusal(const std::exception_ptr& failure) {
    if (!RenewSecret) return false;
    try {
        std::rethrow_exception(failure);
    } catch (const Exception& e) {
        if (!IsLoginRefusal(e)) return false;
    } catch (...) {
        return false;
    }
    std::optional<std::string> secret;
    try {
        secret = RenewSecret();
    } catch (const Exception& e) {
        lblStatus->setText(QString::fromStdString(ShownDetail(e)));
        return true;
    }
    if (!secret) return false;
    TDryRunAccount account = account_;
    account.Secret = *secret;
    // Started once the ended run's worker has let go of it.
    QMetaObject::invokeMethod(
        this, [this, account] { Start(account, killList_, options_); }, Qt::QueuedConnection);
    return true;
}
