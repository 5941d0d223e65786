#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "richtext/RichText.h"
#include "richtext/Rtf.h"

class TestRichTextValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stringKeepsSpecialCharacters()
    {
        const QString text = QStringLiteral("a\u00a0b\nc\uFFFCd");
        QCOMPARE(RichText::fromPlainText(text).string(), text);
        QVERIFY(RichText().isEmpty());
        QCOMPARE(RichText().string(), QString());
    }

    void copiesDoNotSeeLaterEdits()
    {
        const RichText original = RichText::fromPlainText(QStringLiteral("one"));
        auto editable = original.toDocument();
        QTextCursor(editable.get()).insertText(QStringLiteral("zero "));
        QCOMPARE(original.string(), QStringLiteral("one"));
        QCOMPARE(RichText(std::move(editable)).string(), QStringLiteral("zero one"));
    }

    // Copies go through fromDocument() and toDocument(); both must survive documents that
    // QTextDocument::clone() cannot copy, and the text must come out the same.
    void stringOfReadDocuments_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty list paragraph") << QByteArray("{\\rtf1\\ls1\\par}") << "";
        QTest::newRow("empty list item") << QByteArray("<ul><li></li></ul>") << "";
        QTest::newRow("table") << QByteArray("<table><tr><td>Name</td><td>Qty</td></tr>"
                                             "<tr><td>Apples</td><td>3</td></tr></table>")
                               << "\nName\tQty\nApples\t3\n";
        QTest::newRow("spans, nesting, empty cells")
            << QByteArray("<p>x</p><table><tr><td rowspan=2>a</td><td><table><tr><td>b</td><td></td></tr>"
                          "</table></td></tr><tr><td>c<p>d</td></tr></table>")
            << "x\na\t\nb\t\n\nc\nd\n";
    }

    void stringOfReadDocuments()
    {
        QFETCH(QByteArray, source);
        QFETCH(QString, text);
        QTextDocument document;
        if (source.startsWith("{\\rtf"))
            QVERIFY(Rtf::read(source, document));
        else
            document.setHtml(QString::fromUtf8(source));
        const RichText value = RichText::fromDocument(document);
        QCOMPARE(value.string(), text);
        QCOMPARE(RichText(value.toDocument()).string(), text);
    }
};

QTEST_GUILESS_MAIN(TestRichTextValue)
#include "tst_richtext_value.moc"
