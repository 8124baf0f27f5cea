#pragma once

#include <QPixmap>
#include <QStyledItemDelegate>

// Paints a kill list item: the background (selection colours for the selected item), the
// bullet at 2 pixels from the left edge and the rule text at 16 pixels, all from the top edge.
class TKillListDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    TKillListDelegate(const QPixmap& bullet, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    static constexpr int kItemHeight = 13;
    static constexpr int kBulletLeft = 2;
    static constexpr int kTextLeft = 16;

  private:
    QPixmap bullet_;
};
