#include "shell/envelope_icon.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <optional>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64};
// Up to this size the count is drawn in pixel glyphs rather than a font.
constexpr int kPixelGlyphsUpTo = 16;
const QColor kBadgeRed(200, 30, 30);

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

// The height of the font badge: a little over half the icon, so that its digits stay readable.
int BadgeHeight(int size) {
    return size * 9 / 16 + 1;
}

// Digits and "+" as three by five pixels, row by row (the top bit leftmost): what stays
// readable where a font would blur.
constexpr int kGlyphWidth = 3, kGlyphHeight = 5;
int GlyphRows(QChar c) {
    static constexpr int kDigits[] = {075557, 026227, 071747, 071717, 055711,
                                      074717, 074757, 071111, 075757, 075717};
    if (c.isDigit()) return kDigits[c.digitValue()];
    return c == u'+' ? 002720 : 0;
}

// The glyph's pixel at column x, row y (from the top left).
bool GlyphPixel(QChar c, int x, int y) {
    return GlyphRows(c) >> ((kGlyphHeight - 1 - y) * kGlyphWidth + (kGlyphWidth - 1 - x)) & 1;
}

// The count in pixel glyphs on a red badge just big enough for them (a pixel of red around the
// digits, its corners cut), in the lower right corner: at 16 pixels a font's digits blur ("6"
// reads as "G") and its badge would cover the envelope, while this leaves the flap and the
// left side clear.
void DrawPixelCount(QPainter& p, int size, const QString& text) {
    const int width = static_cast<int>(text.size()) * (kGlyphWidth + 1) + 1;
    const int height = kGlyphHeight + 2;
    const QRect badge(size - width, size - height, width, height);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(badge.adjusted(1, 0, -1, 0), kBadgeRed);
    p.fillRect(badge.adjusted(0, 1, 0, -1), kBadgeRed);
    int left = badge.left() + 1;
    for (const QChar c : text) {
        for (int y = 0; y < kGlyphHeight; ++y)
            for (int x = 0; x < kGlyphWidth; ++x)
                if (GlyphPixel(c, x, y)) p.fillRect(left + x, badge.top() + 1 + y, 1, 1, Qt::white);
        left += kGlyphWidth + 1;
    }
}

// The largest bold font of at least eight pixels that fits the badge's height and, text and
// margin, the icon's width; none when even eight pixels is too wide.
std::optional<QFont> BadgeFont(int size, const QString& text) {
    QFont font;
    font.setBold(true);
    font.setHintingPreference(QFont::PreferFullHinting);
    for (int pixels = BadgeHeight(size) - 1; pixels >= 8; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetricsF(font).horizontalAdvance(text) <= size - 1) return font;
    }
    return std::nullopt;
}

// A red pill in the lower right corner with the count in white: red on the pale envelope is
// seen at a glance, white on red stays readable. Small icons take the pixel glyphs.
void DrawCount(QPainter& p, int size, int count) {
    const QString text = count > 99 ? QStringLiteral("99+") : QString::number(count);
    const std::optional<QFont> font =
        size > kPixelGlyphsUpTo ? BadgeFont(size, text) : std::nullopt;
    if (!font) return DrawPixelCount(p, size, text);
    const qreal textWidth = QFontMetricsF(*font).horizontalAdvance(text);
    const qreal height = BadgeHeight(size);
    const qreal width = qMin<qreal>(size, qMax(height, textWidth + 3));
    const QRectF badge(size - width, size - height, width, height);
    p.setPen(Qt::NoPen);
    p.setBrush(kBadgeRed);
    p.drawRoundedRect(badge, height / 2, height / 2);
    p.setFont(*font);
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, text);
}

// An amber triangle with a dark "!" in the upper left corner, over the flap.
void DrawWarning(QPainter& p, int size) {
    const qreal height = size * 7 / 16.0;
    const qreal width = height * 1.2;
    QPainterPath triangle;
    triangle.moveTo(width / 2, 0);
    triangle.lineTo(width, height);
    triangle.lineTo(0, height);
    triangle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 170, 0));
    p.drawPath(triangle);
    const qreal stroke = qMax<qreal>(1.0, size / 16.0);
    p.setBrush(QColor(40, 30, 0));
    p.drawRect(QRectF(width / 2 - stroke / 2, height * 0.3, stroke, height * 0.35));
    p.drawRect(QRectF(width / 2 - stroke / 2, height * 0.75, stroke, stroke));
}

}  // namespace

QPixmap EnvelopePixmap(int size, TIconState state) {
    QPixmap pixmap = DrawEnvelope(size);
    if (state.Count <= 0 && !state.Failed) return pixmap;
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // A failed check knows no count: the one before it would be stale.
    if (state.Failed)
        DrawWarning(p, size);
    else
        DrawCount(p, size, state.Count);
    return pixmap;
}

QIcon EnvelopeIcon(TIconState state) {
    QIcon icon;
    for (int size : kSizes) icon.addPixmap(EnvelopePixmap(size, state));
    return icon;
}

QIcon EnvelopeIcon() {
    return EnvelopeIcon(TIconState{});
}
