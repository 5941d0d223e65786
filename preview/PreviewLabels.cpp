#include "preview/PreviewLabels.h"

#include <QResizeEvent>
#include <QTextDocument>

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent) : QLabel(parent), m_fullText(text)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    updateElision();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateElision();
}

void ElidedLabel::updateElision()
{
    // Line breaks would make a second line; the label is a single line.
    QString line = m_fullText;
    line.replace(u'\n', u' ').replace(u'\r', u' ');
    const int width = std::max(0, contentsRect().width());
    setText(width > 0 ? fontMetrics().elidedText(line, Qt::ElideMiddle, width) : line);
}

SelectableText::SelectableText(const QString &text, const QFont &font, QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QTextEdit { background: transparent; }"));
    setFont(font);
    document()->setDocumentMargin(0);
    setPlainText(text);
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    document()->setDefaultTextOption(option);
    fitHeight();
}

QSize SelectableText::sizeHint() const
{
    return {QTextEdit::sizeHint().width(), height()};
}

QSize SelectableText::minimumSizeHint() const
{
    return {0, height()};
}

void SelectableText::resizeEvent(QResizeEvent *event)
{
    QTextEdit::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        fitHeight();
}

void SelectableText::fitHeight()
{
    document()->setTextWidth(std::max(1, viewport()->width()));
    const int height = qCeil(document()->size().height()) + frameWidth() * 2;
    if (height != this->height())
        setFixedHeight(std::max(height, fontMetrics().height()));
}
