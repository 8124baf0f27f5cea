#include "shell/kill_list_box.h"

QItemSelectionModel::SelectionFlags TKillListBox::selectionCommand(const QModelIndex& index,
                                                                   const QEvent* event) const {
    const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
    if (!index.isValid() || (flags & QItemSelectionModel::Deselect)) {
        return QItemSelectionModel::NoUpdate;
    }
    return flags;
}
