#pragma once

#include <QFont>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QWidget>

class QTextDocument;
class QTextEdit;

// One number in the gutter: `y` is the top of its line fragment relative to the visible top.
struct GutterLine
{
    int number = 0;
    qreal y = 0;

    friend bool operator==(const GutterLine &, const GutterLine &) = default;
};

// The numbers of the line fragments of `document` that intersect `visible` (document
// coordinates). The first number is 1 plus the line breaks before the first visible character,
// found from block numbers; after it every line fragment, wrapped ones included, takes the next
// number. The cost depends on the visible area, not on how far down it is.
QList<GutterLine> visibleLineNumbers(const QTextDocument &document, const QRectF &visible);

// The strip left of the snippet editor that shows line numbers for what is on screen.
class LineNumberGutterView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int gutterWidth = 46;

    explicit LineNumberGutterView(QWidget *parent = nullptr);

    // The text whose viewport is numbered; not owned, may go away first.
    void setTextView(QTextEdit *textView);
    QTextEdit *textView() const { return m_textView; }

    // The numbers that the next paint draws.
    QList<GutterLine> currentLines() const;

    // The numbers' font: the interface font when all its digits are equally wide, else a fixed one.
    const QFont &numberFont() const { return m_numberFont; }
    static bool hasEvenDigits(const QFont &font);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QTextEdit> m_textView;
    QFont m_numberFont;
};
