#include "views/ContentViewParts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "widgetkit/SymbolPainter.h"

using PanelStyle::Tone;

namespace {

constexpr qreal chevronSide = 9;
constexpr qreal chevronSpacing = 5;

QString titleDropIt()
{
    return QStringLiteral("Drop it.");
}

} // namespace

// ToneLabel

ToneLabel::ToneLabel(const QFont &font, Tone tone, QWidget *parent) : QWidget(parent), m_tone(tone)
{
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ToneLabel::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    updateGeometry();
    update();
}

void ToneLabel::setTone(Tone tone)
{
    m_tone = tone;
    update();
}

void ToneLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

QSize ToneLabel::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return QSize(qCeil(metrics.horizontalAdvance(m_text)), qCeil(metrics.height()));
}

QSize ToneLabel::minimumSizeHint() const
{
    return QSize(0, sizeHint().height());
}

void ToneLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(PanelStyle::color(palette(), m_tone));
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideRight, width());
    painter.drawText(rect(), int(m_alignment) | Qt::TextSingleLine, shown);
}

// CardIconButton

CardIconButton::CardIconButton(const QString &symbol, const QString &toolTip, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol)
{
    setToolTip(toolTip);
    setAccessibleName(toolTip);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setFixedSize(28, 28);
}

void CardIconButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(PanelStyle::color(palette(), Tone::primary, isDown() ? 0.14 : 0.06));
    painter.drawEllipse(QRectF(rect()));
    // A 13 px semibold glyph: about 13 px tall with a stroke a little heavier
    // than regular text.
    const QRectF glyph(QPointF(0, 0), QSizeF(14, 14));
    SymbolPainter::stroke(painter, m_symbol, glyph.translated(QPointF(7, 7)),
                          PanelStyle::color(palette(), Tone::primary), 1.5);
}

// TavloMenuButton

TavloMenuButton::TavloMenuButton(QWidget *parent) : QAbstractButton(parent)
{
    setFont(titleFont());
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QFont TavloMenuButton::titleFont()
{
    QFont font = PanelStyle::font(17, QFont::Medium);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.15);
    return font;
}

QSize TavloMenuButton::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return QSize(qCeil(metrics.horizontalAdvance(text()) + chevronSpacing + chevronSide),
                 qCeil(metrics.height()));
}

QSize TavloMenuButton::minimumSizeHint() const
{
    // Room for an ellipsis and the chevron; the layout hands out more when it has
    // it.
    const QFontMetricsF metrics(font());
    return QSize(qCeil(metrics.horizontalAdvance(QChar(0x2026)) * 2 + chevronSpacing + chevronSide),
                 sizeHint().height());
}

QString TavloMenuButton::displayedText() const
{
    const int room = qMax(0, width() - int(chevronSpacing + chevronSide));
    return fontMetrics().elidedText(text(), Qt::ElideRight, room);
}

void TavloMenuButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QString shown = displayedText();
    const QFontMetricsF metrics(font());
    const qreal textWidth = metrics.horizontalAdvance(shown);
    painter.setPen(PanelStyle::color(palette(), Tone::primary, isDown() ? 0.7 : 1.0));
    painter.drawText(QRectF(0, 0, textWidth + 1, height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    const QRectF chevron(textWidth + chevronSpacing, (height() - chevronSide) / 2 + 1, chevronSide,
                         chevronSide);
    SymbolPainter::stroke(painter, QStringLiteral("chevron.down"), chevron,
                          PanelStyle::color(palette(), Tone::secondary), 1.6);
}

// TavloEmptyState

TavloEmptyState::TavloEmptyState(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_NoSystemBackground);
}

void TavloEmptyState::setOrientation(TavloOrientation orientation)
{
    m_orientation = orientation;
    setSizePolicy(QSizePolicy::Expanding,
                  orientation == TavloOrientation::vertical ? QSizePolicy::Expanding : QSizePolicy::Fixed);
    updateGeometry();
    update();
}

void TavloEmptyState::setHighlight(qreal progress, bool targeted)
{
    m_highlight = progress;
    m_targeted = targeted;
    update();
}

QString TavloEmptyState::title() const
{
    if (m_targeted)
        return titleDropIt();
    return m_orientation == TavloOrientation::vertical
        ? QStringLiteral("Drop items here")
        : QStringLiteral("Drop files, folders, text, or URLs here");
}

QString TavloEmptyState::caption() const
{
    return m_orientation == TavloOrientation::vertical
        ? QStringLiteral("Files, folders, text, or URLs")
        : QStringLiteral("Keep what you're using within reach.");
}

QString TavloEmptyState::hint() const
{
    return m_orientation == TavloOrientation::vertical ? QStringLiteral("Control + Space")
                                                       : QStringLiteral("Control + Space to hide/show");
}

QSize TavloEmptyState::sizeHint() const
{
    return m_orientation == TavloOrientation::vertical ? QSize(184, 300) : QSize(1004, 72);
}

QSize TavloEmptyState::minimumSizeHint() const
{
    return m_orientation == TavloOrientation::vertical ? QSize(60, 140) : QSize(120, 72);
}

void TavloEmptyState::paintTray(QPainter &painter, const QPointF &center)
{
    const QColor color = PanelStyle::mix(PanelStyle::color(palette(), Tone::secondary),
                                         PanelStyle::color(palette(), Tone::accent), m_highlight);
    // A 28 px light glyph: slightly wider than tall, drawn with a thin stroke.
    const QRectF box(center - QPointF(15, 15), QSizeF(30, 30));
    SymbolPainter::stroke(painter, QStringLiteral("tray.and.arrow.down"), box, color, 1.2);
}

void TavloEmptyState::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect());
    QPainterPath background;
    background.addRoundedRect(area, 15, 15);
    painter.fillPath(background, PanelStyle::color(palette(), Tone::primary, 0.04 + 0.035 * m_highlight));
    if (m_orientation == TavloOrientation::vertical)
        paintVertical(painter, area);
    else
        paintHorizontal(painter, area);
}

void TavloEmptyState::paintVertical(QPainter &painter, const QRectF &area)
{
    const QRectF inner = area.adjusted(10, 18, -10, -18);
    const QFont titleFont = PanelStyle::font(14, QFont::Medium);
    const QFont captionFont = PanelStyle::captionFont();
    const QFont hintFont = PanelStyle::font(11, QFont::Medium);
    const qreal trayHeight = 28;
    const qreal titleHeight = QFontMetricsF(titleFont).height();
    const qreal captionHeight = QFontMetricsF(captionFont).height();

    qreal y = inner.top();
    paintTray(painter, QPointF(inner.center().x(), y + trayHeight / 2));
    y += trayHeight + 10;

    const auto line = [&](const QString &text, const QFont &font, const QColor &color, qreal top,
                          qreal height) {
        painter.setFont(font);
        painter.setPen(color);
        const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, inner.width());
        painter.drawText(QRectF(inner.left(), top, inner.width(), height),
                         Qt::AlignCenter | Qt::TextSingleLine, shown);
    };
    line(title(), titleFont, PanelStyle::color(palette(), Tone::primary), y, titleHeight);
    y += titleHeight + 10;
    line(caption(), captionFont, PanelStyle::color(palette(), Tone::secondary), y, captionHeight);

    // The spacer between caption and hint takes the rest: the hint sits at the
    // bottom.
    const qreal hintHeight = QFontMetricsF(hintFont).height();
    line(hint(), hintFont, PanelStyle::color(palette(), Tone::tertiary), inner.bottom() - hintHeight,
         hintHeight);
}

void TavloEmptyState::paintHorizontal(QPainter &painter, const QRectF &area)
{
    const QRectF inner = area.adjusted(16, 0, -16, 0);
    const qreal trayWidth = 30;
    paintTray(painter, QPointF(inner.left() + trayWidth / 2, inner.center().y()));

    const QFont titleFont = PanelStyle::font(14, QFont::Medium);
    const QFont captionFont = PanelStyle::captionFont();
    const QFont hintFont = PanelStyle::font(11, QFont::Medium);
    const qreal heights[] = {QFontMetricsF(titleFont).height(), QFontMetricsF(captionFont).height(),
                             QFontMetricsF(hintFont).height()};
    const qreal total = heights[0] + heights[1] + heights[2] + 2 * 3;
    const qreal left = inner.left() + trayWidth + 12;
    const qreal width = qMax<qreal>(0, inner.right() - left);
    qreal y = inner.center().y() - total / 2;

    const auto line = [&](const QString &text, const QFont &font, const QColor &color, qreal height) {
        painter.setFont(font);
        painter.setPen(color);
        const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, width);
        painter.drawText(QRectF(left, y, width, height),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        y += height + 3;
    };
    line(title(), titleFont, PanelStyle::color(palette(), Tone::primary), heights[0]);
    line(caption(), captionFont, PanelStyle::color(palette(), Tone::secondary), heights[1]);
    line(hint(), hintFont, PanelStyle::color(palette(), Tone::tertiary), heights[2]);
}
