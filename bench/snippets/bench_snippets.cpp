// Snippet editor figures for a 5 MB snippet of 100,000 lines: opening the window, the gutter's
// numbering and paint at the top and at the bottom, and typing latency. Run offscreen.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "model/TavloItem.h"
#include "snippets/LineNumberGutterView.h"
#include "snippets/RichTextEditor.h"
#include "snippets/TextSnippetDetailView.h"
#include "snippets/TextSnippetWindowController.h"

namespace {

QString largeText(int lines)
{
    QString text;
    text.reserve(lines * 52);
    for (int i = 1; i <= lines; ++i) {
        text += QStringLiteral("%1 the quick brown fox jumps over the lazy dog.....")
                    .arg(i, 6, 10, QLatin1Char('0'));
        if (i < lines)
            text += QLatin1Char('\n');
    }
    return text;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double maxOf(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Scrolls so that the block with `number` (0-based) is at the top of the viewport.
void scrollToBlock(QTextEdit *view, int number)
{
    const QTextBlock block = view->document()->findBlockByNumber(number);
    const qreal top = view->document()->documentLayout()->blockBoundingRect(block).top();
    view->verticalScrollBar()->setValue(int(top));
    QCoreApplication::processEvents();
}

struct GutterFigures
{
    int firstNumber = 0;
    double numberingMs = 0;
    double paintMs = 0;
};

GutterFigures measureGutter(RichTextEditor &editor, int block)
{
    QTextEdit *view = editor.textView();
    scrollToBlock(view, block);
    LineNumberGutterView *gutter = editor.gutter();
    GutterFigures figures;
    figures.firstNumber = gutter->currentLines().value(0).number;
    std::vector<double> numbering;
    std::vector<double> painting;
    QImage canvas(gutter->size(), QImage::Format_ARGB32_Premultiplied);
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QList<GutterLine> lines = gutter->currentLines();
        numbering.push_back(msSince(timer));
        Q_UNUSED(lines);
        timer.restart();
        QPainter painter(&canvas);
        gutter->render(&painter);
        painter.end();
        painting.push_back(msSince(timer));
    }
    figures.numberingMs = median(numbering);
    figures.paintMs = median(painting);
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int lineCount = 100'000;
    const QString text = largeText(lineCount);
    std::printf("snippet: %d lines, %.1f MB of UTF-8\n", lineCount, text.toUtf8().size() / 1e6);
    const RichTextPayload payload = makeRichTextPayload(RichText::fromPlainText(text));
    std::printf("payload RTF: %.1f MB\n", payload.rtfData.size() / 1e6);

    // Opening: from the call until the window has been shown and painted once; the text itself
    // is read on a worker thread and appears when it is ready.
    int edits = 0;
    TextSnippetWindowController controller;
    QElapsedTimer timer;
    timer.start();
    TextSnippetWindow *window = controller.openSnippet(payload, [&](const RichText &) { ++edits; });
    QCoreApplication::processEvents();
    window->grab();
    std::printf("open window until first paint: %.1f ms\n", msSince(timer));
    while (!window->detailView()->editor()->isLoaded())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    window->grab();
    std::printf("text read (RTF) and shown: %.1f ms after the call\n", msSince(timer));
    RichTextEditor &editor = *window->detailView()->editor();
    QTextEdit *view = editor.textView();
    editor.resize(620, 420);

    // Numbering cost at line 10 and at line 100,000 (after the first visit has laid the text out).
    timer.restart();
    scrollToBlock(view, lineCount - 30);
    std::printf("first scroll to the bottom (lays out the rest): %.1f ms\n", msSince(timer));
    for (int block : {9, lineCount / 2, lineCount - 30}) {
        const GutterFigures figures = measureGutter(editor, block);
        std::printf(
            "gutter at line %6d: first number %6d, numbering %.3f ms, paint %.3f ms (median of 200)\n",
            block + 1, figures.firstNumber, figures.numberingMs, figures.paintMs);
    }

    // Typing: one key press in the middle of the document, handled and repainted.
    for (int place : {10, lineCount / 2, lineCount - 10}) {
        scrollToBlock(view, qMax(0, place - 5));
        QTextCursor cursor(view->document()->findBlockByNumber(place));
        cursor.movePosition(QTextCursor::EndOfBlock);
        view->setTextCursor(cursor);
        std::vector<double> keys;
        for (int i = 0; i < 40; ++i) {
            timer.restart();
            QTest::keyClick(view, Qt::Key_A);
            QCoreApplication::processEvents();
            view->viewport()->grab();
            keys.push_back(msSince(timer));
        }
        std::printf("typing at line %6d: median %.2f ms, worst %.2f ms per key (key, layout, repaint)\n",
                    place + 1, median(keys), maxOf(keys));
    }

    // Handing the edited text to the owner: done once typing pauses, not per key.
    std::vector<double> flushes;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(view, Qt::Key_B);
        timer.restart();
        window->detailView()->flushEdits();
        flushes.push_back(msSince(timer));
    }
    std::printf("handing over the edited text (copy of the document, count): median %.1f ms\n",
                median(flushes));
    std::printf("edits delivered: %d\n", edits);
    window->close();
    return 0;
}
