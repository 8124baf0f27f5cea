#pragma once

#include <QListWidget>

// The kill list's list box: single selection that, once made, the user can move but not clear
// (a click on empty space or a Ctrl+click on the selected item leaves it selected).
class TKillListBox : public QListWidget {
    Q_OBJECT
  public:
    using QListWidget::QListWidget;

  protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;
};
