#include "shell/file_edit.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include "app/file_name_word.h"
#include "platform/app_exceptions.h"

QStringList FileDialogNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = parts[i + 1] == u"*.*" ? QStringLiteral("*") : parts[i + 1];
        // The dialog shows the text before the last parenthesised group, so the description
        // appears unchanged.
        filters.append(parts[i] + QStringLiteral(" (") + pattern + u')');
    }
    return filters;
}

TFileEdit::TFileEdit(const TFileDialogSetup& setup, QWidget* parent)
    : QWidget(parent), setup_(setup) {
    edit_ = new QLineEdit(this);
    button_ = new QToolButton(this);
    button_->setText(QStringLiteral("..."));
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setFixedWidth(kButtonWidth);
    button_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(edit_, 1);
    row->addWidget(button_);
    setFocusProxy(edit_);
    setFocusPolicy(Qt::StrongFocus);
    edit_->installEventFilter(this);
    ConnectGuarded(button_, &QToolButton::clicked, this, [this] { Browse(); });
}

QString TFileEdit::Text() const {
    return edit_->text();
}

void TFileEdit::SetText(const QString& text) {
    edit_->setText(text);
}

bool TFileEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (key->key() == Qt::Key_Down && held == Qt::AltModifier) {
            Guarded(this, [this] { Browse(); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFileEdit::Prepare(QFileDialog& dialog) const {
    dialog.setWindowTitle(setup_.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(setup_.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = FileDialogNameFilters(setup_.filter);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
    if (!initialDir_.isEmpty()) dialog.setDirectory(initialDir_);

    const QString word = FirstWord(edit_->text());
    if (word.isEmpty() || !IsPlausibleFileName(word)) return;
    const qsizetype slash = word.lastIndexOf(u'/');
    const QString folder = slash == 0 ? QStringLiteral("/") : word.left(slash);
    if (slash >= 0 && QDir(folder).exists()) {
        dialog.setDirectory(folder);
        dialog.selectFile(word.mid(slash + 1));
    } else {
        dialog.selectFile(slash >= 0 ? word.mid(slash + 1) : word);
    }
}

// The default extension completes a typed name that has none and names no existing file.
QString TFileEdit::WithDefaultExt(const QString& path) const {
    const QFileInfo info(path);
    if (setup_.defaultExt.isEmpty() || info.exists() || info.fileName().contains(u'.')) {
        return path;
    }
    return path + u'.' + setup_.defaultExt;
}

void TFileEdit::Browse() {
    QFileDialog dialog(this);
    Prepare(dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        const QString path = WithDefaultExt(dialog.selectedFiles().first());
        edit_->setText(QuotedIfBlank(path));
        initialDir_ = QFileInfo(path).absolutePath();
    }
    edit_->setFocus(Qt::OtherFocusReason);
}
