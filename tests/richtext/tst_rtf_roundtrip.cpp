// Documents built in code go through Rtf::write and Rtf::read and must come back with the same
// text and formatting (compared through DocumentDump), and the RTF in between must be 7-bit.

#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <functional>

#include "richtext/DocumentDump.h"
#include "richtext/Rtf.h"

namespace {

using Builder = std::function<void(QTextCursor &)>;

QTextCharFormat base()
{
    QTextCharFormat f;
    f.setFontFamilies({QStringLiteral("Liberation Serif")});
    f.setFontPointSize(12);
    return f;
}

QTextCharFormat with(const std::function<void(QTextCharFormat &)> &change)
{
    QTextCharFormat f = base();
    change(f);
    return f;
}

// One paragraph: "before <styled> after", the middle run in `format`.
Builder styled(const QTextCharFormat &format, const QString &text = QStringLiteral("styled"))
{
    return [=](QTextCursor &c) {
        c.insertText(QStringLiteral("before "), base());
        c.insertText(text, format);
        c.insertText(QStringLiteral(" after"), base());
    };
}

Builder paragraph(const QTextBlockFormat &format, const QString &text = QStringLiteral("paragraph text"))
{
    return [=](QTextCursor &c) {
        c.insertText(QStringLiteral("first"), base());
        c.insertBlock(format, base());
        c.insertText(text, base());
        c.insertBlock(QTextBlockFormat(), base());
        c.insertText(QStringLiteral("last"), base());
    };
}

QTextBlockFormat block(const std::function<void(QTextBlockFormat &)> &change)
{
    QTextBlockFormat f;
    change(f);
    return f;
}

QString dumpOf(const QTextDocument &doc)
{
    return DocumentDump::dump(doc);
}

} // namespace

class TestRtfRoundTrip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<Builder>("build");
        using F = QTextCharFormat;
        QTest::newRow("bold") << styled(with([](F &f) { f.setFontWeight(QFont::Bold); }));
        QTest::newRow("italic") << styled(with([](F &f) { f.setFontItalic(true); }));
        QTest::newRow("underline") << styled(with([](F &f) { f.setFontUnderline(true); }));
        QTest::newRow("dotted underline") << styled(with([](F &f) { f.setUnderlineStyle(F::DotLine); }));
        QTest::newRow("dashed underline")
            << styled(with([](F &f) { f.setUnderlineStyle(F::DashUnderline); }));
        QTest::newRow("wave underline") << styled(with([](F &f) { f.setUnderlineStyle(F::WaveUnderline); }));
        QTest::newRow("strike") << styled(with([](F &f) { f.setFontStrikeOut(true); }));
        QTest::newRow("superscript") << styled(
            with([](F &f) { f.setVerticalAlignment(F::AlignSuperScript); }));
        QTest::newRow("subscript") << styled(with([](F &f) { f.setVerticalAlignment(F::AlignSubScript); }));
        QTest::newRow("small caps") << styled(with([](F &f) { f.setFontCapitalization(QFont::SmallCaps); }));
        QTest::newRow("all caps") << styled(with([](F &f) { f.setFontCapitalization(QFont::AllUppercase); }));
        QTest::newRow("family") << styled(
            with([](F &f) { f.setFontFamilies({QStringLiteral("DejaVu Sans Mono")}); }));
        QTest::newRow("non-ASCII family")
            << styled(with([](F &f) { f.setFontFamilies({QStringLiteral("ＭＳ 明朝")}); }));
        QTest::newRow("size") << styled(with([](F &f) { f.setFontPointSize(27); }));
        QTest::newRow("half-point size") << styled(with([](F &f) { f.setFontPointSize(10.5); }));
        QTest::newRow("colour") << styled(with([](F &f) { f.setForeground(QColor(0x12, 0x34, 0x56)); }));
        QTest::newRow("black") << styled(with([](F &f) { f.setForeground(QColor(Qt::black)); }));
        QTest::newRow("background") << styled(with([](F &f) { f.setBackground(QColor(0xff, 0xee, 0x00)); }));
        QTest::newRow("link") << styled(with([](F &f) {
            f.setAnchor(true);
            f.setAnchorHref(QStringLiteral("https://example.com/a?b=c&d=%C3%A9#frag"));
            f.setFontUnderline(true);
            f.setForeground(QColor(Qt::blue));
        }));
        QTest::newRow("everything") << styled(with([](F &f) {
            f.setFontWeight(QFont::Bold);
            f.setFontItalic(true);
            f.setFontUnderline(true);
            f.setFontStrikeOut(true);
            f.setVerticalAlignment(F::AlignSuperScript);
            f.setFontFamilies({QStringLiteral("Liberation Mono")});
            f.setFontPointSize(7);
            f.setForeground(QColor(Qt::red));
            f.setBackground(QColor(Qt::yellow));
        }));

        using B = QTextBlockFormat;
        QTest::newRow("centre") << paragraph(block([](B &b) { b.setAlignment(Qt::AlignHCenter); }));
        QTest::newRow("right") << paragraph(block([](B &b) { b.setAlignment(Qt::AlignRight); }));
        QTest::newRow("justify") << paragraph(block([](B &b) { b.setAlignment(Qt::AlignJustify); }));
        QTest::newRow("margins") << paragraph(block([](B &b) {
            b.setLeftMargin(48);
            b.setRightMargin(20);
            b.setTextIndent(-24);
            b.setTopMargin(6);
            b.setBottomMargin(12.5);
        }));
        QTest::newRow("proportional line height")
            << paragraph(block([](B &b) { b.setLineHeight(150, QTextBlockFormat::ProportionalHeight); }));
        QTest::newRow("fixed line height")
            << paragraph(block([](B &b) { b.setLineHeight(20, QTextBlockFormat::FixedHeight); }));
        QTest::newRow("minimum line height")
            << paragraph(block([](B &b) { b.setLineHeight(18, QTextBlockFormat::MinimumHeight); }));
        QTest::newRow("tabs") << paragraph(block([](B &b) {
                                               QTextOption::Tab decimal(300, QTextOption::DelimiterTab, u'.');
                                               b.setTabPositions(
                                                   {QTextOption::Tab(48, QTextOption::LeftTab),
                                                    QTextOption::Tab(96, QTextOption::CenterTab),
                                                    QTextOption::Tab(200, QTextOption::RightTab), decimal});
                                           }),
                                           QStringLiteral("a\tb\tc\td"));
        QTest::newRow("heading") << paragraph(block([](B &b) { b.setHeadingLevel(2); }));
        QTest::newRow("right to left")
            << paragraph(block([](B &b) { b.setLayoutDirection(Qt::RightToLeft); }), QStringLiteral("עברית"));

        QTest::newRow("text specials") << styled(base(), QStringLiteral("\\ { } ; \" ' ~ - _ * ? @ # $ %"));
        QTest::newRow("tab, line break, no-break space, soft hyphen")
            << styled(base(), QStringLiteral("a\tb\u2028c\u00a0d\u00ade\u2011f"));
        QTest::newRow("latin-1 and cp1252") << styled(base(), QStringLiteral("café Œuvre €5 “q” – — … ™ ÿ"));
        QTest::newRow("scripts") << styled(base(),
                                           QStringLiteral("Ελληνικά Русский עברית العربية हिन्दी ไทย"));
        QTest::newRow("east asian") << styled(base(), QStringLiteral("日本語、中文。한국어 ｶﾀｶﾅ"));
        QTest::newRow("supplementary") << styled(base(), QStringLiteral("😀 👍🏽 𝔸 𠀀 🇫🇷"));
        QTest::newRow("combining") << styled(base(), QStringLiteral("e\u0301 a\u0308 \u200d\u200c"));
        QTest::newRow("spaces") << styled(base(), QStringLiteral("  two  spaces  "));

        QTest::newRow("empty document") << Builder([](QTextCursor &) {});
        QTest::newRow("empty paragraphs") << Builder([](QTextCursor &c) {
            c.insertText(QString(), base());
            c.insertBlock(QTextBlockFormat(), base());
            c.insertText(QStringLiteral("middle"), base());
            c.insertBlock(QTextBlockFormat(), base());
            c.insertBlock(QTextBlockFormat(), base());
        });
        QTest::newRow("lists") << Builder([](QTextCursor &c) {
            c.insertText(QStringLiteral("intro"), base());
            const QTextListFormat::Style styles[] = {
                QTextListFormat::ListDisc,       QTextListFormat::ListCircle,
                QTextListFormat::ListSquare,     QTextListFormat::ListDecimal,
                QTextListFormat::ListLowerAlpha, QTextListFormat::ListUpperAlpha,
                QTextListFormat::ListLowerRoman, QTextListFormat::ListUpperRoman};
            for (QTextListFormat::Style style : styles) {
                c.insertBlock(QTextBlockFormat(), base());
                QTextListFormat lf;
                lf.setStyle(style);
                lf.setIndent(1);
                QTextList *list = c.insertList(lf);
                c.insertText(QStringLiteral("one"), base());
                c.insertBlock(QTextBlockFormat(), base());
                list->add(c.block());
                c.insertText(QStringLiteral("two"), base());
                c.insertBlock(QTextBlockFormat(), base());
                c.insertText(QStringLiteral("between"), base());
            }
        });
        QTest::newRow("nested lists") << Builder([](QTextCursor &c) {
            QTextListFormat outer;
            outer.setStyle(QTextListFormat::ListDecimal);
            outer.setIndent(1);
            QTextList *list = c.insertList(outer);
            c.insertText(QStringLiteral("outer one"), base());
            QTextListFormat inner;
            inner.setStyle(QTextListFormat::ListLowerAlpha);
            inner.setIndent(2);
            c.insertBlock(QTextBlockFormat(), base());
            QTextList *sublist = c.createList(inner);
            c.insertText(QStringLiteral("inner a"), base());
            c.insertBlock(QTextBlockFormat(), base());
            sublist->add(c.block());
            c.insertText(QStringLiteral("inner b"), base());
            c.insertBlock(QTextBlockFormat(), base());
            list->add(c.block());
            c.insertText(QStringLiteral("outer two"), base());
        });
        QTest::newRow("numbering with prefix and suffix") << Builder([](QTextCursor &c) {
            QTextListFormat lf;
            lf.setStyle(QTextListFormat::ListUpperRoman);
            lf.setNumberPrefix(QStringLiteral("("));
            lf.setNumberSuffix(QStringLiteral(")"));
            QTextList *list = c.insertList(lf);
            c.insertText(QStringLiteral("first"), base());
            c.insertBlock(QTextBlockFormat(), base());
            list->add(c.block());
            c.insertText(QStringLiteral("second"), base());
        });
    }

    void roundTrip()
    {
        QFETCH(Builder, build);
        QTextDocument doc;
        QTextCursor cursor(&doc);
        build(cursor);
        const QByteArray rtf = Rtf::write(doc);
        for (char c : rtf)
            QVERIFY2(uchar(c) < 0x80 && (uchar(c) >= 0x20 || c == '\n'),
                     "the writer must produce printable 7-bit RTF");
        QTextDocument again;
        QVERIFY(Rtf::read(rtf, again));
        QCOMPARE(dumpOf(again), dumpOf(doc));
        QCOMPARE(RichText::fromDocument(again).string(), RichText::fromDocument(doc).string());
    }

    // Text without a family or size takes the document's default font.
    void unformattedTextUsesTheDefaultFont()
    {
        QTextDocument doc;
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPointSize(14);
        doc.setDefaultFont(font);
        doc.setPlainText(QStringLiteral("plain"));
        QTextDocument again;
        QVERIFY(Rtf::read(Rtf::write(doc), again));
        const QTextCharFormat f = again.begin().begin().fragment().charFormat();
        QCOMPARE(f.fontFamilies().toStringList(), QStringList {QStringLiteral("DejaVu Serif")});
        QCOMPARE(f.fontPointSize(), 14.0);
    }

    // What readers without Unicode support show: the cp1252 byte or an ASCII letter.
    void unicodeFallbacks()
    {
        QTextDocument doc;
        QTextCursor(&doc).insertText(QStringLiteral("é€ő😀"), base());
        const QByteArray rtf = Rtf::write(doc);
        QVERIFY2(rtf.contains("\\u233\\'e9"), rtf.constData());
        QVERIFY2(rtf.contains("\\u8364\\'80"), rtf.constData());
        QVERIFY2(rtf.contains("\\u337\\'6f"), rtf.constData());
        QVERIFY2(rtf.contains("\\u-10179\\'3f\\u-8704\\'3f"), rtf.constData());
        QVERIFY(rtf.contains("\\uc1"));
    }

    void tablesOfFontsAndColours()
    {
        QTextDocument doc;
        QTextCursor c(&doc);
        c.insertText(QStringLiteral("a"), with([](QTextCharFormat &f) { f.setForeground(QColor(1, 2, 3)); }));
        c.insertText(QStringLiteral("b"), with([](QTextCharFormat &f) {
                         f.setFontFamilies({QStringLiteral("Liberation Sans")});
                         f.setForeground(QColor(1, 2, 3));
                     }));
        const QByteArray rtf = Rtf::write(doc);
        // \f0 is the family of most of the text (here a tie, broken by name).
        QVERIFY2(rtf.contains("{\\fonttbl{\\f0\\fnil\\fcharset0 Liberation Sans;}{\\f1\\fnil\\fcharset0 "
                              "Liberation Serif;}}"),
                 rtf.constData());
        QVERIFY2(rtf.contains("{\\f1\\cf1 a}{\\cf1 b}"), rtf.constData());
        QVERIFY2(rtf.contains("{\\colortbl;\\red1\\green2\\blue3;}"), rtf.constData());
    }
};

QTEST_GUILESS_MAIN(TestRtfRoundTrip)
#include "tst_rtf_roundtrip.moc"
