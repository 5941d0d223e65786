#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QColorDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include "richtext/Rtf.h"
#include "snippets/LineNumberGutterView.h"
#include "snippets/RichTextEditor.h"
#include "snippets/SnippetLinks.h"

namespace {

// A document laid out the way the editor lays it out, `width` pixels wide.
std::unique_ptr<QTextDocument> laidOut(const QString &text, qreal width = 400)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDocumentMargin(14);
    document->setPlainText(text);
    document->setTextWidth(width);
    return document;
}

QList<int> numbers(const QList<GutterLine> &lines)
{
    QList<int> result;
    for (const GutterLine &line : lines)
        result.append(line.number);
    return result;
}

QString numberedLines(int count)
{
    QStringList lines;
    for (int i = 1; i <= count; ++i)
        lines.append(QStringLiteral("line %1").arg(i));
    return lines.join(QLatin1Char('\n'));
}

// Opens the paste hooks of the text view to the test.
struct PasteProbe : SnippetTextEdit
{
    using SnippetTextEdit::canInsertFromMimeData;
    using SnippetTextEdit::insertFromMimeData;
};

} // namespace

class TestSnippetEditor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numbersOfWholeDocument_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("empty") << "" << QList<int> {1};
        QTest::newRow("one line") << "abc" << QList<int> {1};
        QTest::newRow("two lines") << "a\nb" << QList<int> {1, 2};
        QTest::newRow("final empty line") << "a\nb\n" << QList<int> {1, 2, 3};
        QTest::newRow("windows endings") << "a\r\nb\r\nc" << QList<int> {1, 2, 3};
        QTest::newRow("windows final ending") << "a\r\nb\r\n" << QList<int> {1, 2, 3};
        QTest::newRow("blank lines") << "\n\n\n" << QList<int> {1, 2, 3, 4};
    }

    void numbersOfWholeDocument()
    {
        QFETCH(QString, text);
        QFETCH(QList<int>, expected);
        auto document = laidOut(text);
        const QList<GutterLine> lines = visibleLineNumbers(*document, QRectF(0, 0, 400, 1000));
        QCOMPARE(numbers(lines), expected);
        QCOMPARE(lines.first().y, 14.0); // the document's inset
        for (qsizetype i = 1; i < lines.size(); ++i)
            QVERIFY(lines[i].y > lines[i - 1].y);
    }

    void wrappedParagraphTakesOneNumberPerRow()
    {
        auto document = laidOut(QStringLiteral("first\n") + QStringLiteral("word ").repeated(200)
                                    + QStringLiteral("\nlast"),
                                200);
        document->documentLayout()->blockBoundingRect(document->lastBlock());
        const int rows = document->findBlockByNumber(1).layout()->lineCount();
        QVERIFY(rows > 3);
        const QList<GutterLine> lines = visibleLineNumbers(*document, QRectF(0, 0, 200, 100000));
        QCOMPARE(lines.size(), rows + 2);
        QCOMPARE(lines.last().number, rows + 2);

        // Scrolled into the middle of the wrapped paragraph, the count starts again from its line break.
        const QTextBlock paragraph = document->findBlockByNumber(1);
        const qreal top = document->documentLayout()->blockBoundingRect(paragraph).top()
            + paragraph.layout()->lineAt(2).y();
        const QList<GutterLine> scrolled = visibleLineNumbers(*document, QRectF(0, top, 200, 40));
        QVERIFY(!scrolled.isEmpty());
        QCOMPARE(scrolled.first().number, 2);
        QCOMPARE(scrolled.first().y, 0.0);
    }

    void scrolledStartCountsLineBreaksAbove()
    {
        auto document = laidOut(numberedLines(5000));
        const QTextBlock block = document->findBlockByNumber(2999);
        const QRectF bounds = document->documentLayout()->blockBoundingRect(block);
        // Half of line 3000 is above the visible top: it still counts as the first visible line.
        const QList<GutterLine> lines =
            visibleLineNumbers(*document, QRectF(0, bounds.center().y(), 400, 200));
        QVERIFY(lines.size() > 3);
        QCOMPARE(lines.first().number, 3000);
        QCOMPARE(lines.first().y, bounds.top() - bounds.center().y());
        QCOMPARE(lines[1].number, 3001);
        QCOMPARE(lines[1].y, bounds.bottom() - bounds.center().y());
        // Nothing below the visible bottom is numbered.
        QVERIFY(lines.last().y < 200);
        // A rectangle past the end of the text (the text shrank under the scroll position) has none.
        QVERIFY(visibleLineNumbers(*document, QRectF(0, 1e7, 400, 200)).isEmpty());
        const qreal end = document->documentLayout()->documentSize().height();
        QCOMPARE(numbers(visibleLineNumbers(*document, QRectF(0, end - 14 - bounds.height(), 400, 200))),
                 (QList<int> {5000}));

        // A soft line break earlier in the first visible paragraph counts as a line break.
        auto soft = laidOut(QStringLiteral("a\nb") + QChar(QChar::LineSeparator) + QStringLiteral("c\nd"));
        const QTextBlock second = soft->findBlockByNumber(1);
        const qreal secondTop = soft->documentLayout()->blockBoundingRect(second).top();
        QCOMPARE(second.layout()->lineCount(), 2);
        const qreal y = secondTop + second.layout()->lineAt(1).y();
        QCOMPARE(numbers(visibleLineNumbers(*soft, QRectF(0, y, 400, 500))), (QList<int> {3, 4}));
    }

    void numbersFollowTheEditorsScrolling()
    {
        RichTextEditor editor(RichText::fromPlainText(numberedLines(2000)), nullptr);
        editor.resize(500, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QCOMPARE(editor.gutter()->width(), LineNumberGutterView::gutterWidth);
        QVERIFY(LineNumberGutterView::hasEvenDigits(editor.gutter()->numberFont()));
        QCOMPARE(editor.gutter()->currentLines().value(0), (GutterLine {1, 14}));

        QTextCursor cursor(editor.textView()->document()->findBlockByNumber(1499));
        editor.textView()->setTextCursor(cursor);
        editor.textView()->ensureCursorVisible();
        const int value = editor.textView()->verticalScrollBar()->value();
        QVERIFY(value > 0);
        const QTextEdit *view = editor.textView();
        const int topLine = view->cursorForPosition(QPoint(20, 1)).blockNumber() + 1;
        const QList<GutterLine> lines = editor.gutter()->currentLines();
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.first().number, topLine);
        QVERIFY(topLine > 1400 && topLine <= 1500);
    }

    void editsReachTheCallbackAndUndo()
    {
        QList<QString> received;
        RichTextEditor editor(RichText::fromPlainText(QStringLiteral("hello")),
                              [&](const RichText &text) { received.append(text.string()); });
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QTextEdit *view = editor.textView();
        // Opening must not be an undoable step.
        QVERIFY(!view->document()->isUndoAvailable());
        view->moveCursor(QTextCursor::End);
        QTest::keyClicks(view, QStringLiteral(" world"));
        QTRY_VERIFY(!received.isEmpty());
        QCOMPARE(received.last(), QStringLiteral("hello world"));

        // Nothing is reported for the text the editor was opened with, and nothing after a flush.
        received.clear();
        editor.flush();
        QVERIFY(received.isEmpty());
        view->undo();
        QCOMPARE(view->toPlainText(), QStringLiteral("hello"));
    }

    void formattingIsOneUndoStepAndReachesTheRtf_data()
    {
        QTest::addColumn<QString>("trigger"); // a key with Control, or a Format menu entry
        QTest::addColumn<QString>("check");
        QTest::newRow("Ctrl+B") << "B"
                                << "bold";
        QTest::newRow("Ctrl+I") << "I"
                                << "italic";
        QTest::newRow("Ctrl+U") << "U"
                                << "underline";
        QTest::newRow("Bold from the menu") << "Bold"
                                            << "bold";
        QTest::newRow("Bigger") << "Bigger"
                                << "+1";
        QTest::newRow("Smaller") << "Smaller"
                                 << "-1";
        QTest::newRow("Font…") << "Font…"
                               << "font";
        QTest::newRow("Text Colour…") << "Text Colour…"
                                      << "colour";
    }

    void formattingIsOneUndoStepAndReachesTheRtf()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, check);
        RichText stored;
        RichTextEditor editor(RichText::fromPlainText(QStringLiteral("plain words")),
                              [&](const RichText &text) { stored = text; });
        SnippetTextEdit *view = editor.textView();
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(6);
        cursor.setPosition(11, QTextCursor::KeepAnchor);
        view->setTextCursor(cursor);
        const auto formatAt = [](const QTextDocument &document, int position) {
            QTextCursor at(const_cast<QTextDocument *>(&document));
            at.setPosition(position + 1);
            return at.charFormat();
        };
        const qreal sizeBefore = view->document()->defaultFont().pointSizeF();
        const QFont chosen(QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family(), 20);
        const QColor colour(200, 30, 40);

        if (trigger.size() == 1) {
            QTest::keyClick(view, trigger.at(0).toLatin1(), Qt::ControlModifier);
        } else {
            std::unique_ptr<QMenu> menu(view->createFormatMenu(nullptr));
            const QList<QAction *> actions = menu->actions();
            const auto found = std::find_if(actions.begin(), actions.end(),
                                            [&](QAction *a) { return a->text() == trigger; });
            QVERIFY(found != actions.end());
            (*found)->trigger();
            if (auto *dialog = view->findChild<QFontDialog *>()) {
                dialog->setCurrentFont(chosen);
                dialog->accept();
            } else if (auto *dialog = view->findChild<QColorDialog *>()) {
                dialog->setCurrentColor(colour);
                dialog->accept();
            }
        }
        QTRY_VERIFY(!stored.isEmpty());
        QTextDocument reread;
        QVERIFY(Rtf::read(Rtf::write(stored.document()), reread));
        const QTextCharFormat after = formatAt(reread, 6);
        QVERIFY(!formatAt(reread, 0).font().bold() && !formatAt(reread, 0).fontUnderline());
        if (check == "bold")
            QVERIFY(after.font().bold());
        else if (check == "italic")
            QVERIFY(after.fontItalic());
        else if (check == "underline")
            QVERIFY(after.fontUnderline());
        else if (check == "font")
            QVERIFY(after.font().family() == chosen.family() && after.font().pointSize() == 20);
        else if (check == "colour")
            QCOMPARE(after.foreground().color(), colour);
        else
            QCOMPARE(after.font().pointSizeF(), sizeBefore + check.toInt());
        // One undo takes the whole change back, and there is nothing before it.
        view->undo();
        QVERIFY(formatAt(*view->document(), 6) == formatAt(*view->document(), 0));
        QVERIFY(!view->document()->isUndoAvailable());
    }

    void picturesAreRefusedOnPaste()
    {
        PasteProbe view;
        QMimeData pictureOnly;
        pictureOnly.setImageData(QImage(4, 4, QImage::Format_RGB32));
        QVERIFY(!view.canInsertFromMimeData(&pictureOnly));

        QMimeData html;
        html.setHtml(
            QStringLiteral("<p>before<img src=\"data:image/png;base64,AAAA\">after <b>bold</b></p>"));
        html.setText(QStringLiteral("beforeafter bold"));
        QVERIFY(view.canInsertFromMimeData(&html));
        view.insertFromMimeData(&html);
        QCOMPARE(view.toPlainText(), QStringLiteral("beforeafter bold"));
        for (QTextBlock::iterator it = view.document()->begin().begin(); !it.atEnd(); ++it)
            QVERIFY(!it.fragment().charFormat().isImageFormat());
        // The formatting of the rest stays.
        QTextCursor bold(view.document());
        bold.setPosition(int(view.toPlainText().indexOf(QStringLiteral("bold"))) + 1);
        QVERIFY(bold.charFormat().fontWeight() >= QFont::Bold);

        // Rich text that was nothing but a picture leaves its plain text.
        view.clear();
        QMimeData onlyImage;
        onlyImage.setHtml(QStringLiteral("<img src=\"x.png\">"));
        onlyImage.setText(QStringLiteral("x.png"));
        view.insertFromMimeData(&onlyImage);
        QCOMPARE(view.toPlainText(), QStringLiteral("x.png"));
    }

    // Rich text a page or another program offers names pictures and backgrounds; none of them
    // may be read (a background of /dev/zero once exhausted memory), and the text stays.
    void pastedRichTextLoadsNothing_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("text");
        QTest::newRow("table background") << "<table background=\"/dev/zero\"><tr><td>a</td></tr></table>"
                                          << "\na\n";
        QTest::newRow("cell background")
            << "<table><tr><td background=\"/dev/zero\">a</td><td>b</td></tr></table>"
            << "\na\nb\n";
        QTest::newRow("styled background") << "<p style=\"background-image: url(/dev/zero)\">a</p>"
                                           << "a";
        QTest::newRow("picture") << "<p>a<img src=\"/dev/zero\">b</p>"
                                 << "ab";
    }

    void pastedRichTextLoadsNothing()
    {
        QFETCH(QString, html);
        QFETCH(QString, text);
        RichTextEditor editor(RichText(), nullptr);
        editor.resize(400, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        auto *data = new QMimeData;
        data->setHtml(html);
        QGuiApplication::clipboard()->setMimeData(data);
        editor.textView()->paste();
        editor.grab(); // paint it, which is when Qt loads what a format names
        QTextDocument *document = editor.textView()->document();
        QCOMPARE(document->toPlainText(), text);
        for (const QTextFormat &format : document->allFormats()) {
            QVERIFY(!format.hasProperty(QTextFormat::BackgroundImageUrl));
            QVERIFY(format.background().style() != Qt::TexturePattern);
            QVERIFY(!format.isImageFormat());
        }
    }

    // An empty list item is a document Qt 6.4 cannot clone; emptying a pasted list made one.
    void emptiedListReachesTheCallback()
    {
        QList<QString> received;
        RichTextEditor editor(RichText(), [&](const RichText &text) { received.append(text.string()); });
        auto *list = new QMimeData;
        list->setHtml(QStringLiteral("<ul><li>item</li></ul>"));
        QGuiApplication::clipboard()->setMimeData(list);
        editor.textView()->paste();
        editor.textView()->selectAll();
        editor.textView()->textCursor().removeSelectedText();
        editor.flush();
        QCOMPARE(received.last(), QString());
        QVERIFY(editor.textView()->textCursor().currentList());
        const auto copy = RichText::fromDocument(*editor.textView()->document()).toDocument();
        QVERIFY(copy->isEmpty());
    }

    void typedLinksBecomeAnchors()
    {
        RichTextEditor editor(RichText(), nullptr);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        QTest::keyClicks(editor.textView(), QStringLiteral("see https://example.com/a?b=1 now"));
        QTextDocument *document = editor.textView()->document();
        QTRY_VERIFY([&] {
            QTextCursor cursor(document);
            cursor.setPosition(10);
            return cursor.charFormat().isAnchor();
        }());
        QTextCursor inside(document);
        inside.setPosition(10);
        QCOMPARE(inside.charFormat().anchorHref(), QStringLiteral("https://example.com/a?b=1"));
        QTextCursor after(document);
        after.setPosition(document->toPlainText().size());
        QVERIFY(!after.charFormat().isAnchor());
        QTextCursor before(document);
        before.setPosition(2);
        QVERIFY(!before.charFormat().isAnchor());
    }

    void linkStillBeingTypedIsLeftAlone()
    {
        QTextDocument document;
        document.setPlainText(QStringLiteral("go to https://example.com"));
        const int length = int(document.toPlainText().size());
        QVERIFY(!markTypedLinks(document, length - 1, 1));
        // Once the user moves on (here: a space typed after it), the link is marked.
        QTextCursor end(&document);
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral(" "));
        QVERIFY(markTypedLinks(document, length, 1));
        // A second pass finds nothing left to do.
        QVERIFY(!markTypedLinks(document, length, 1));
    }
};

QTEST_MAIN(TestSnippetEditor)
#include "tst_snippeteditor.moc"
