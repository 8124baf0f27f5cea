#include "shell/envelope_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap DrawEnvelope(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal pen = qMax<qreal>(1.0, size / 16.0);
    const qreal margin = pen / 2 + size / 32.0;
    const QRectF body(margin, size * 0.2, size - 2 * margin, size * 0.6);

    p.setPen(QPen(QColor(40, 60, 110), pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(250, 246, 230));
    p.drawRect(body);

    // The flap, meeting a little below the middle, and the two lower folds.
    const QPointF tip(body.center().x(), body.top() + body.height() * 0.58);
    QPainterPath flap;
    flap.moveTo(body.topLeft());
    flap.lineTo(tip);
    flap.lineTo(body.topRight());
    p.setBrush(QColor(225, 215, 185));
    p.drawPath(flap);
    p.drawLine(body.bottomLeft(), QPointF(body.left() + body.width() * 0.4, tip.y() - pen));
    p.drawLine(body.bottomRight(), QPointF(body.right() - body.width() * 0.4, tip.y() - pen));
    return pixmap;
}

}  // namespace

QIcon EnvelopeIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64}) icon.addPixmap(DrawEnvelope(size));
    return icon;
}
