#include "snippets/LineNumberGutterView.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

namespace {

// The top of `block`'s layout in document coordinates; line positions are relative to it.
qreal layoutTop(const QAbstractTextDocumentLayout &layout, const QTextBlock &block)
{
    const QRectF bounds = layout.blockBoundingRect(block);
    return bounds.top() - block.layout()->boundingRect().top();
}

int softBreaksBefore(const QTextBlock &block, int offset)
{
    const QString text = block.text();
    return int(QStringView(text).left(qMin(offset, int(text.size()))).count(QChar::LineSeparator));
}

} // namespace

QList<GutterLine> visibleLineNumbers(const QTextDocument &document, const QRectF &visible)
{
    QList<GutterLine> lines;
    QAbstractTextDocumentLayout *layout = document.documentLayout();
    if (!layout || visible.height() <= 0)
        return lines;

    // The hit test finds the block at the top through the layout's position index and lays
    // out only what lies above that point.
    const int position = layout->hitTest(QPointF(visible.left() + 1, visible.top()), Qt::FuzzyHit);
    // No hit means the point lies past the text: start from the end and step back.
    QTextBlock block = position < 0 ? document.lastBlock() : document.findBlock(position);
    if (!block.isValid())
        block = document.firstBlock();
    // A fuzzy hit in the gap between two paragraphs may land one block too far down.
    while (block.previous().isValid() && layout->blockBoundingRect(block.previous()).bottom() > visible.top())
        block = block.previous();

    int number = -1;
    for (; block.isValid(); block = block.next()) {
        if (!block.isVisible())
            continue;
        const QRectF bounds = layout->blockBoundingRect(block);
        if (bounds.top() >= visible.bottom())
            break;
        if (bounds.bottom() <= visible.top())
            continue;
        const QTextLayout *textLayout = block.layout();
        const qreal top = layoutTop(*layout, block);
        for (int i = 0; i < textLayout->lineCount(); ++i) {
            const QTextLine line = textLayout->lineAt(i);
            const qreal lineTop = top + line.y();
            if (lineTop + line.height() <= visible.top())
                continue;
            if (lineTop >= visible.bottom())
                return lines;
            if (number < 0)
                number = block.blockNumber() + 1 + softBreaksBefore(block, line.textStart());
            lines.append(GutterLine {number++, lineTop - visible.top()});
        }
    }
    return lines;
}

LineNumberGutterView::LineNumberGutterView(QWidget *parent) : QWidget(parent)
{
    setFixedWidth(gutterWidth);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_numberFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    m_numberFont.setPixelSize(11);
    m_numberFont.setStyleHint(QFont::SansSerif);
    // Numbers line up only when every digit is as wide as the others; most interface fonts draw
    // them so, and where this one does not, the fixed-pitch system font does.
    if (!hasEvenDigits(m_numberFont)) {
        m_numberFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        m_numberFont.setPixelSize(11);
    }
}

bool LineNumberGutterView::hasEvenDigits(const QFont &font)
{
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(digit)), zero))
            return false;
    }
    return true;
}

void LineNumberGutterView::setTextView(QTextEdit *textView)
{
    m_textView = textView;
    update();
}

QList<GutterLine> LineNumberGutterView::currentLines() const
{
    if (!m_textView)
        return {};
    const QWidget *viewport = m_textView->viewport();
    const QRectF visible(m_textView->horizontalScrollBar()->value(), m_textView->verticalScrollBar()->value(),
                         viewport->width(), viewport->height());
    return visibleLineNumbers(*m_textView->document(), visible);
}

void LineNumberGutterView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.drawLine(QPointF(width() - 0.5, 0), QPointF(width() - 0.5, height()));
    if (!m_textView)
        return;

    // The viewport may start lower than the gutter when the editor has a frame.
    const int offset = m_textView->viewport()->mapTo(window(), QPoint()).y() - mapTo(window(), QPoint()).y();
    painter.setFont(m_numberFont);
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QFontMetricsF metrics(m_numberFont);
    for (const GutterLine &line : currentLines()) {
        const qreal top = line.y + offset + 1;
        if (top > event->rect().bottom() + 1 || top + metrics.height() < event->rect().top())
            continue;
        const QString text = QString::number(line.number);
        const qreal width = metrics.horizontalAdvance(text);
        painter.drawText(QPointF(this->width() - width - 8, top + metrics.ascent()), text);
    }
}
