#include "shell/kill_list_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <algorithm>

TKillListDelegate::TKillListDelegate(const QPixmap& bullet, QObject* parent)
    : QStyledItemDelegate(parent), bullet_(bullet) {}

void TKillListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    const QRect r = option.rect;
    painter->save();
    painter->fillRect(r,
                      option.palette.brush(group, selected ? QPalette::Highlight : QPalette::Base));
    painter->drawPixmap(r.left() + kBulletLeft, r.top(), bullet_);
    painter->setFont(option.font);
    painter->setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect textRect(r.left() + kTextLeft, r.top(), r.width() - kTextLeft, r.height());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor =
            option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

// The item height is 13 pixels unless the list's font needs more, so text is never cut.
QSize TKillListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const int textWidth = option.fontMetrics.horizontalAdvance(index.data().toString());
    return {kTextLeft + textWidth, std::max(kItemHeight, option.fontMetrics.height())};
}
