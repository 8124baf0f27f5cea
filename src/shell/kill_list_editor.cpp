#include "shell/kill_list_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "app/credential_source.h"
#include "app/settings.h"
#include "app/shown_message.h"
#include "base/exception.h"
#include "filter/filter_rule.h"
#include "filter/kill_list_store.h"
#include "platform/app_exceptions.h"
#include "platform/dialog_layout.h"
#include "platform/help_viewer.h"
#include "platform/message_box.h"
#include "shell/bullet_image.h"
#include "shell/dry_run_window.h"
#include "shell/kill_list_box.h"
#include "shell/kill_list_delegate.h"
#include "shell/mailbox_name.h"

namespace {

const char* const kHeaders[] = {"From:", "Subject:", "Cc:", "Reply-To:", "Return-Path:", "To:"};

QToolButton* MakeSpeedButton(const QString& caption, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(false);
    button->setFixedSize(std::max(104, button->sizeHint().width()),
                         std::max(18, button->fontMetrics().height() + 2));
    return button;
}

}  // namespace

TdlgKillList::TdlgKillList(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      imPic(QPixmap::fromImage(BulletImage())) {
    setObjectName("dlgKillList");
    setWindowTitle("Kill List");

    lbKillList = new TKillListBox(this);
    lbKillList->setObjectName("lbKillList");
    lbKillList->setSelectionMode(QAbstractItemView::SingleSelection);
    lbKillList->setUniformItemSizes(true);
    lbKillList->setItemDelegate(new TKillListDelegate(imPic, lbKillList));
    lblFilters = MakeBuddyLabel(" &Filters", lbKillList, this);
    QFont bold = lblFilters->font();
    bold.setBold(true);
    lblFilters->setFont(bold);
    lblFilters->setMinimumHeight(14);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(lblFilters);
    layout->addWidget(lbKillList, 1);
    layout->addWidget(MakeButtonStrip());
    layout->addWidget(MakeOptionBoxes());
    layout->addWidget(MakeEditGroup());
    layout->addWidget(MakeDialogButtonBar(this, 4, btnHelp, btnOK, btnCancel));

    setTabOrder(lbKillList, chbDecodeHeaders);
    setTabOrder(chbDecodeHeaders, chbIgnoreCase);
    setTabOrder(chbIgnoreCase, cbHeader);
    setTabOrder(cbHeader, cbCondition);
    setTabOrder(cbCondition, edFilter);
    setTabOrder(edFilter, btnHelp);
    setTabOrder(btnHelp, btnOK);
    setTabOrder(btnOK, btnCancel);
    lbKillList->setFocus();

    // The list keeps its design height of 196; the rest grows only when its text needs it.
    const QSize needed = layout->minimumSize();
    const int others = needed.height() - lbKillList->minimumSizeHint().height();
    setFixedSize(std::max(346, needed.width()), std::max(330, others + 196));
    ConnectHandlers();
}

QWidget* TdlgKillList::MakeButtonStrip() {
    auto* strip = new QWidget(this);
    sbNew = MakeSpeedButton("New", strip);
    sbRemove = MakeSpeedButton("Remove", strip);
    sbTry = MakeSpeedButton("Try on the mailbox", strip);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(3, 3, 3, 3);
    row->setSpacing(1);
    row->addWidget(sbNew);
    row->addWidget(sbRemove);
    row->addStretch(1);
    row->addWidget(sbTry);
    strip->setMinimumHeight(24);
    return strip;
}

QWidget* TdlgKillList::MakeOptionBoxes() {
    auto* boxes = new QWidget(this);
    chbDecodeHeaders = new QCheckBox("Compare &decoded header text", boxes);
    chbIgnoreCase = new QCheckBox("&Ignore upper and lower case", boxes);
    auto* column = new QVBoxLayout(boxes);
    column->setContentsMargins(6, 2, 6, 4);
    column->setSpacing(2);
    column->addWidget(chbDecodeHeaders);
    column->addWidget(chbIgnoreCase);
    return boxes;
}

QWidget* TdlgKillList::MakeEditGroup() {
    auto* group = new QGroupBox(" Edit filter ", this);
    cbHeader = new QComboBox(group);
    for (const char* header : kHeaders) cbHeader->addItem(header);
    cbHeader->setCurrentIndex(-1);
    SetWidthAtLeast(cbHeader, 97);
    cbCondition = new QComboBox(group);
    cbCondition->addItems({"contains", "doesn't contain"});
    cbCondition->setCurrentIndex(-1);
    SetWidthAtLeast(cbCondition, 113);
    edFilter = new QLineEdit(group);
    SetWidthAtLeast(edFilter, 281);

    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    grid->addWidget(MakeBuddyLabel("&Header", cbHeader, group), 0, 0);
    grid->addWidget(cbHeader, 0, 1);
    grid->addWidget(MakeBuddyLabel("&Condition", cbCondition, group), 0, 2, Qt::AlignRight);
    grid->addWidget(cbCondition, 0, 3);
    grid->addWidget(MakeBuddyLabel("&Text", edFilter, group), 1, 0);
    grid->addWidget(edFilter, 1, 1, 1, 3);
    grid->setColumnStretch(4, 1);
    group->setMinimumHeight(67);
    return group;
}

void TdlgKillList::ConnectHandlers() {
    ConnectGuarded(lbKillList, &QListWidget::itemSelectionChanged, this, [this] {
        if (!byProgram_) lbKillListClick();
    });
    lbKillList->installEventFilter(this);
    ConnectGuarded(sbNew, &QToolButton::clicked, this, [this] { sbNewClick(); });
    ConnectGuarded(sbRemove, &QToolButton::clicked, this, [this] { sbRemoveClick(); });
    ConnectGuarded(sbTry, &QToolButton::clicked, this, [this] { sbTryClick(); });
    // activated: only the user's picks, also of the entry already shown.
    ConnectGuarded(cbHeader, &QComboBox::activated, this, [this] { FilterChange(); });
    ConnectGuarded(cbCondition, &QComboBox::activated, this, [this] { FilterChange(); });
    ConnectGuarded(edFilter, &QLineEdit::textChanged, this, [this] { FilterChange(); });
    ConnectGuarded(btnHelp, &QPushButton::clicked, this,
                   [this] { ShowHelpContext(kHelpKillList, this); });
}

void TdlgKillList::SetItems(const TStringList& rules) {
    QScopedValueRollback guard(byProgram_, true);
    lbKillList->clear();
    for (const std::string& rule : rules) lbKillList->addItem(QString::fromStdString(rule));
}

TStringList TdlgKillList::Items() const {
    TStringList rules;
    for (int row = 0; row < lbKillList->count(); ++row) {
        rules.push_back(lbKillList->item(row)->text().toStdString());
    }
    return rules;
}

void TdlgKillList::SetMatchOptions(const TMatchOptions& options) {
    chbDecodeHeaders->setChecked(options.DecodeHeaders);
    chbIgnoreCase->setChecked(options.IgnoreCase);
}

TMatchOptions TdlgKillList::MatchOptions() const {
    return {chbDecodeHeaders->isChecked(), chbIgnoreCase->isChecked()};
}

int TdlgKillList::SelectedIndex() const {
    const QList<QListWidgetItem*> selected = lbKillList->selectedItems();
    return selected.isEmpty() ? -1 : lbKillList->row(selected.first());
}

void TdlgKillList::SelectByProgram(int row) {
    QScopedValueRollback guard(byProgram_, true);
    if (row < 0) {
        lbKillList->clearSelection();
        lbKillList->setCurrentRow(-1);
    } else {
        lbKillList->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
}

void TdlgKillList::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (CentreOnFirstShow(this, activated_)) Guarded(this, [this] { FormActivate(); });
}

bool TdlgKillList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lbKillList && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Guarded(lbKillList, [&] { lbKillListKeyDown(key->key(), key->modifiers()); });
    }
    return QDialog::eventFilter(watched, event);  // the list box still handles the key
}

void TdlgKillList::FormActivate() {
    SelectByProgram(lbKillList->count() > 0 ? 0 : -1);
    if (lbKillList->count() > 0) lbKillListClick();
    UpdateButtons(lbKillList->count() > 0);
}

void TdlgKillList::lbKillListClick() {
    if (SelectedIndex() >= 0) ShowFilter();
}

void TdlgKillList::lbKillListKeyDown(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
    if (key == Qt::Key_Insert) sbNewClick();
    if (key == Qt::Key_Delete) sbRemoveClick();
}

void TdlgKillList::sbNewClick() {
    {
        QScopedValueRollback guard(byProgram_, true);
        lbKillList->addItem(QString());
    }
    SelectByProgram(lbKillList->count() - 1);
    ShowFilter();
    UpdateButtons(true);
}

void TdlgKillList::sbRemoveClick() {
    const int i = SelectedIndex();
    if (i >= 0) {
        QScopedValueRollback guard(byProgram_, true);
        delete lbKillList->takeItem(i);
    }
    if (i > 0) {
        SelectByProgram(i - 1);
    } else if (i == 0 && lbKillList->count() > 0) {
        SelectByProgram(0);
    } else {
        SelectByProgram(-1);
    }
    if (lbKillList->count() > 0) {
        ShowFilter();
    } else {
        UpdateButtons(false);
    }
}

// Reads the mailbox with the rules and boxes as they stand, saved or not, signing in as a check
// does. One run at a time: while one is going its window is only brought forward.
void TdlgKillList::sbTryClick() {
    if (!dryRun_ || !dryRun_->Running()) {
        if (!ChooseMailbox()) return;
        TCredential credential;
        std::string failure;
        try {
            if (credentials_) credential = credentials_->For(tried_);
        } catch (const Exception& e) {
            failure = ShownDetail(e);
        }
        if (failure.empty() && credential.Secret.empty()) failure = kTypePasswordFirstText;
        if (!failure.empty()) {
            QMessageBox box(QMessageBox::Information, "Try on the Mailbox",
                            QString::fromStdString(failure), QMessageBox::Ok, this);
            box.setTextFormat(Qt::PlainText);  // a failure may quote the server
            ExecMessageBox(box, this);
            return;
        }
        if (!dryRun_) dryRun_ = new TDryRunWindow(this);
        dryRun_->RenewSecret = {};
        if (credential.Renewable) dryRun_->RenewSecret = RenewOnce();
        dryRun_->ShowMailbox(DialogName(tried_));
        dryRun_->Start({tried_.Connection, tried_.User, credential.Secret, tried_.Folder},
                       KillListAsStored(Items()), MatchOptions());
    }
    dryRun_->show();
    dryRun_->raise();
    dryRun_->activateWindow();
}

bool TdlgKillList::ChooseMailbox() {
    std::vector<const TMailbox*> readable;
    QStringList names;
    for (const TMailbox& mailbox : account_.Mailboxes) {
        if (!mailbox.Unreadable.empty()) continue;  // never checked, so never tried
        readable.push_back(&mailbox);
        names << DialogName(mailbox);
    }
    // The choice is asked only with several mailboxes.
    if (account_.Mailboxes.size() == 1 && readable.size() == 1) {
        tried_ = *readable.front();
        return true;
    }
    QInputDialog ask(this);
    ask.setWindowTitle("Try on the Mailbox");
    ask.setLabelText("Mailbox:");
    ask.setComboBoxItems(names);
    ask.setComboBoxEditable(false);
    // Left to itself the dialog is narrower than its title. Its layout resets the minimum
    // width, so the width is set instead; a dialog resized before showing keeps its size.
    ask.resize(std::max(ask.sizeHint().width(), CaptionWidth(ask.windowTitle())),
               ask.sizeHint().height());
    const bool ok = ask.exec() == QDialog::Accepted;
    const qsizetype index = names.indexOf(ask.textValue());
    if (!ok || index < 0) return false;
    tried_ = *readable[static_cast<size_t>(index)];
    return true;
}

// As a check: a refused token renewed once, a second refusal ends the sign-in.
std::function<std::optional<std::string>()> TdlgKillList::RenewOnce() {
    return [this, renewed = false]() mutable -> std::optional<std::string> {
        if (renewed) credentials_->RefusedAgain(tried_);
        renewed = true;
        return credentials_->Renewed(tried_).Secret;
    };
}

void TdlgKillList::FilterChange() {
    if (!byProgram_) StoreFilter();
}

void TdlgKillList::UpdateButtons(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(cbHeader), static_cast<QWidget*>(cbCondition),
                       static_cast<QWidget*>(edFilter), static_cast<QWidget*>(sbRemove)}) {
        w->setEnabled(enabled);
    }
}

void TdlgKillList::StoreFilter() {
    static const char* const kOperatorPieces[] = {" = ", " <> "};
    const int condition = cbCondition->currentIndex();
    const QString op = condition >= 0 && condition < 2 ? kOperatorPieces[condition] : "";
    const QString header = cbHeader->currentIndex() >= 0 ? cbHeader->currentText() : QString();
    const int row = SelectedIndex();
    if (row < 0) return;
    QScopedValueRollback guard(byProgram_, true);
    lbKillList->item(row)->setText(header + op + edFilter->text());
}

// Shows the selected rule in the edit controls without editing it.
void TdlgKillList::ShowFilter() {
    const int row = SelectedIndex();
    if (row < 0) return;
    const FilterParts parts = SplitFilter(lbKillList->item(row)->text().toStdString());
    QScopedValueRollback guard(byProgram_, true);
    cbHeader->setCurrentIndex(
        cbHeader->findText(QString::fromStdString(parts.header), Qt::MatchFixedString));
    if (parts.op == "=") cbCondition->setCurrentIndex(0);
    if (parts.op == "<>") cbCondition->setCurrentIndex(1);
    edFilter->setText(QString::fromStdString(parts.text));
}

void RunKillListEditor(QWidget* owner, TRegistry& registry, TSettings& settings) {
    RunKillListEditor(owner, registry, settings, TSettingsLoad{}, nullptr);
}

void RunKillListEditor(QWidget* owner, TRegistry& registry, TSettings& settings,
                       const TSettingsLoad& load, TCredentialSource* credentials) {
    auto dialog = std::make_unique<TdlgKillList>(owner);
    dialog->SetAccount(settings, credentials);
    TStringList rules;
    LoadKillList(registry, rules);
    dialog->SetItems(rules);
    dialog->SetMatchOptions({settings.DecodeHeaders, settings.IgnoreCase});
    // Modal to the main window only: the help window and the tray icon stay usable.
    dialog->setWindowModality(Qt::WindowModal);
    if (dialog->exec() != QDialog::Accepted) return;
    SaveKillList(registry, dialog->Items());
    const TMatchOptions options = dialog->MatchOptions();
    settings.DecodeHeaders = options.DecodeHeaders;
    settings.IgnoreCase = options.IgnoreCase;
    // Saved with the rules, so that a program that never reaches its exit loses neither.
    SaveSettings(registry, settings, load);
}
