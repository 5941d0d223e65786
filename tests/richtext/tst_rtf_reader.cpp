#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "richtext/Rtf.h"

namespace {

QString text(const QTextDocument &doc)
{
    return RichText::fromDocument(doc).string();
}

QTextCharFormat formatAt(const QTextDocument &doc, const QString &needle)
{
    const QTextCursor found = doc.find(needle);
    if (found.isNull())
        return QTextCharFormat();
    QTextCursor c(const_cast<QTextDocument *>(&doc));
    c.setPosition(found.selectionStart() + 1);
    return c.charFormat();
}

} // namespace

class TestRtfReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rejectsNonRtf()
    {
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("old"));
        QVERIFY(!Rtf::read("hello", doc));
        QVERIFY(doc.isEmpty());
        QVERIFY(!Rtf::toRichText("").has_value());
        QVERIFY(Rtf::toRichText("{\\rtf1 x}").has_value());
    }

    void plainParagraphs()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read("{\\rtf1\\ansi one\\par two\\par}", doc));
        QCOMPARE(text(doc), QStringLiteral("one\ntwo"));
        QVERIFY(Rtf::read("{\\rtf1\\ansi one\\par\\par}", doc));
        QCOMPARE(text(doc), QStringLiteral("one\n"));
        QVERIFY(Rtf::read("{\\rtf1\\ansi one\\line two}", doc));
        QCOMPARE(doc.blockCount(), 1);
        QCOMPARE(text(doc), QStringLiteral("one\ntwo"));
    }

    void characterFormatting()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read(
            "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}{\\colortbl;\\red255\\green0\\blue0;}"
            "n {\\b bold} {\\i ital} {\\ul und} {\\strike str} {\\f1\\fs36 big} {\\cf1 red}"
            " {\\super sup} {\\sub sub} {\\highlight1 hl}}",
            doc));
        QCOMPARE(text(doc), QStringLiteral("n bold ital und str big red sup sub hl"));
        QCOMPARE(formatAt(doc, "bold").fontWeight(), int(QFont::Bold));
        QVERIFY(formatAt(doc, "ital").fontItalic());
        QVERIFY(formatAt(doc, "und").fontUnderline());
        QVERIFY(formatAt(doc, "str").fontStrikeOut());
        QCOMPARE(formatAt(doc, "big").fontPointSize(), 18.0);
        QCOMPARE(formatAt(doc, "big").fontFamilies().toStringList(), QStringList {"Courier New"});
        QCOMPARE(formatAt(doc, "n ").fontFamilies().toStringList(), QStringList {"Arial"});
        QCOMPARE(formatAt(doc, "red").foreground().color(), QColor(255, 0, 0));
        QCOMPARE(formatAt(doc, "sup").verticalAlignment(), QTextCharFormat::AlignSuperScript);
        QCOMPARE(formatAt(doc, "sub").verticalAlignment(), QTextCharFormat::AlignSubScript);
        QCOMPARE(formatAt(doc, "hl").background().color(), QColor(255, 0, 0));
        QVERIFY(!formatAt(doc, "n ").fontItalic());
    }

    void unicode()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read("{\\rtf1\\ansi caf\\'e9 \\u8364? \\uc2\\u-10179\\'3f\\'3f\\u-8704??end}", doc));
        QCOMPARE(text(doc), QStringLiteral("café € \U0001F600end"));
    }
};

QTEST_GUILESS_MAIN(TestRtfReader)
#include "tst_rtf_reader.moc"
