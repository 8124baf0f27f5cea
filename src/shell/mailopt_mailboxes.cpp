// The Mailbox line of Mail options: which mailbox the Login page's own fields and the
// Connection page show, and adding, renaming and removing mailboxes in the dialog's copy.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "app/settings.h"
#include "platform/message_box.h"
#include "shell/connection_page.h"
#include "shell/mailbox_name.h"
#include "shell/mailopt.h"

TMailbox& TdlgMailOptions::Shown() {
    return working_.Mailboxes[static_cast<size_t>(mailbox_)];
}

const TMailbox& TdlgMailOptions::Shown() const {
    return working_.Mailboxes[static_cast<size_t>(mailbox_)];
}

void TdlgMailOptions::LoadShown(int index) {
    mailbox_ = index;
    const TMailbox& mailbox = working_.Mailboxes[static_cast<size_t>(index)];
    edHostname->setText(QString::fromStdString(mailbox.Connection.Host));
    edUsername->setText(QString::fromStdString(mailbox.User));
    chbFastCheck->setChecked(mailbox.FastCheck);
    chbRememberPassword->setChecked(mailbox.RememberPassword);
    pgConnection->LoadFrom(mailbox);
    ShowFastCheck();
    const bool editable = mailbox.Unreadable.empty();
    for (QWidget* control :
         std::initializer_list<QWidget*>{gbMailbox, pgConnection, btnRenameMailbox}) {
        control->setEnabled(editable);
    }
    lbUnreadable->setText(QString::fromStdString(mailbox.Unreadable));
    lbUnreadable->setVisible(!editable);
    ShowMailboxLine();
}

void TdlgMailOptions::ShowMailboxLine() {
    const QSignalBlocker quiet(cbMailbox);
    cbMailbox->clear();
    for (const TMailbox& mailbox : working_.Mailboxes) cbMailbox->addItem(DialogName(mailbox));
    cbMailbox->setCurrentIndex(mailbox_);
    gbMailbox->setTitle("Mailbox: " + cbMailbox->currentText());
    const bool several = working_.Mailboxes.size() > 1;
    btnRenameMailbox->setVisible(several);
    btnRemoveMailbox->setVisible(several);
}

void TdlgMailOptions::ShowShownName() {
    TMailbox shown = Shown();
    shown.Connection.Host = edHostname->text().toStdString();
    shown.User = edUsername->text().toStdString();
    const QString name = DialogName(shown);
    cbMailbox->setItemText(mailbox_, name);
    gbMailbox->setTitle("Mailbox: " + name);
}

bool TdlgMailOptions::ShownUnreadable() const {
    return !Shown().Unreadable.empty();
}

void TdlgMailOptions::StoreShown(TMailbox& mailbox) const {
    if (!mailbox.Unreadable.empty()) return;
    pgConnection->StoreTo(mailbox);
    mailbox.Connection.Host = edHostname->text().toStdString();
    mailbox.User = edUsername->text().toStdString();
    mailbox.FastCheck = chbFastCheck->isChecked();
    mailbox.RememberPassword = chbRememberPassword->isChecked();
}

bool TdlgMailOptions::LeaveShown() {
    if (!ShownUnreadable() && !pgConnection->InputAcceptable()) {
        pcOptions->setCurrentWidget(pgConnection);
        pgConnection->FocusFault();
        return false;
    }
    StoreShown(Shown());
    return true;
}

void TdlgMailOptions::cbMailboxChange(int index) {
    if (index < 0 || index == mailbox_) return;
    if (!LeaveShown()) {
        const QSignalBlocker quiet(cbMailbox);
        cbMailbox->setCurrentIndex(mailbox_);
        return;
    }
    LoadShown(index);
}

void TdlgMailOptions::btnAddMailboxClick() {
    if (!LeaveShown()) return;
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, "Add Mailbox", "Name of the new mailbox:", QLineEdit::Normal, QString(), &ok);
    if (!ok) return;
    TMailbox added;
    added.Name = name.trimmed().toStdString();
    working_.Mailboxes.push_back(std::move(added));
    LoadShown(static_cast<int>(working_.Mailboxes.size()) - 1);
    edHostname->setFocus(Qt::OtherFocusReason);
}

void TdlgMailOptions::btnRenameMailboxClick() {
    TMailbox& mailbox = Shown();
    bool ok = false;
    const QString name =
        QInputDialog::getText(this, "Rename Mailbox", "Name of the mailbox:", QLineEdit::Normal,
                              QString::fromStdString(mailbox.Name), &ok);
    if (!ok) return;
    StoreShown(mailbox);
    mailbox.Name = name.trimmed().toStdString();
    ShowMailboxLine();
}

void TdlgMailOptions::btnRemoveMailboxClick() {
    if (working_.Mailboxes.size() < 2) return;  // there is always a mailbox
    StoreShown(Shown());
    const QString name = cbMailbox->currentText();
    // The settings key always holds a mailbox: the next one that can be read moves up into it,
    // and one that cannot be read stays where it is stored.
    auto& further = working_.Mailboxes;
    const auto next = std::find_if(further.begin() + 1, further.end(),
                                   [](const TMailbox& m) { return m.Unreadable.empty(); });
    if (mailbox_ == 0 && next == further.end()) {
        QMessageBox refusal(QMessageBox::Information, "Remove Mailbox",
                            QString("The mailbox %1 cannot be removed: it is the only one that "
                                    "can be read, and one always stays.")
                                .arg(name),
                            QMessageBox::Ok, this);
        ExecMessageBox(refusal, this);
        return;
    }
    QMessageBox box(QMessageBox::Question, "Remove Mailbox",
                    QString("Remove the mailbox %1?").arg(name), QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setDefaultButton(QMessageBox::No);
    if (ExecMessageBox(box, this) != QMessageBox::Yes) return;
    auto& mailboxes = working_.Mailboxes;
    if (mailbox_ == 0) {
        // The readable one moves up into the settings key; the ones before it keep their place.
        std::rotate(mailboxes.begin() + 1, next, next + 1);
    }
    mailboxes.erase(mailboxes.begin() + mailbox_);
    LoadShown(std::min(mailbox_, static_cast<int>(mailboxes.size()) - 1));
}
