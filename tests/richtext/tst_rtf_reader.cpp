// The reader on small inputs: text decoding, destinations, paragraph structure, and inputs that
// are broken or hostile.

#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "richtext/DocumentDump.h"
#include "richtext/Rtf.h"

namespace {

QString plain(const QTextDocument &doc)
{
    return RichText::fromDocument(doc).string();
}

QString readText(const QByteArray &rtf)
{
    QTextDocument doc;
    if (!Rtf::read(rtf, doc))
        return QStringLiteral("<not rtf>");
    return plain(doc);
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

QTextBlockFormat blockAt(const QTextDocument &doc, const QString &needle)
{
    return doc.find(needle).block().blockFormat();
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
        QVERIFY(!Rtf::read(" {\\rtf1 x}", doc));
        QVERIFY(!Rtf::toRichText("").has_value());
        QCOMPARE(Rtf::toRichText("{\\rtf1 x}")->string(), QStringLiteral("x"));
        doc.setPlainText(QStringLiteral("old"));
        QVERIFY(Rtf::read("{\\rtf1 new}", doc));
        QCOMPARE(plain(doc), QStringLiteral("new"));
    }

    void text_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const char *rtf, const QString &expected) {
            QTest::newRow(name) << QByteArray(rtf) << expected;
        };
        // Paragraphs and breaks.
        row("paragraphs", "{\\rtf1 one\\par two\\par}", "one\ntwo");
        row("last paragraph without \\par", "{\\rtf1 one\\par two}", "one\ntwo");
        row("empty paragraph kept", "{\\rtf1 one\\par\\par}", "one\n");
        row("line break", "{\\rtf1 one\\line two}", "one\ntwo");
        row("backslash-newline is \\par", "{\\rtf1 one\\\ntwo}", "one\ntwo");
        row("raw newlines ignored", "{\\rtf1 one\r\ntwo\n}", "onetwo");
        row("page break ends a paragraph", "{\\rtf1 one\\page two}", "one\ntwo");
        row("page break after \\par adds nothing", "{\\rtf1 one\\par\\page two}", "one\ntwo");
        row("section break", "{\\rtf1 one\\sect\\sectd two\\par\\sect}", "one\ntwo");
        row("table cells", "{\\rtf1 \\trowd\\cellx100\\cellx200 a\\cell b\\cell\\row after}", "a\nb\nafter");
        row("nested table cells",
            "{\\rtf1 a\\nestcell{\\*\\nesttableprops\\trowd\\nestrow}{\\nonesttables x}b}", "a\nb");
        row("tab", "{\\rtf1 a\\tab b\tc}", "a\tb\tc");
        // Character symbols.
        row("escapes", "{\\rtf1 \\{\\}\\\\}", "{}\\");
        row("symbols", "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}", "—–•‘’“”");
        row("spaces", "{\\rtf1 a\\~b\\emspace c\\enspace d}", "a\u00a0b\u2003c\u2002d");
        row("hyphens", "{\\rtf1 a\\-b\\_c}", "a\u00adb\u2011c");
        row("control word ends at a space", "{\\rtf1 \\b  two}", " two");
        row("control word ends at a digit run", "{\\rtf1 \\fs20x}", "x");
        row("negative parameter", "{\\rtf1 \\li-20x}", "x");
        row("unknown control words ignored", "{\\rtf1 a\\foo b\\bar12 c}", "abc");
        // Unicode.
        row("\\u with one fallback", "{\\rtf1 caf\\u233?}", "café");
        row("\\u negative", "{\\rtf1 \\u-3913?\\u-1?}", "\uf0b7\uffff");
        row("\\u above 32767", "{\\rtf1 \\u55357?\\u56832?}", "😀");
        row("surrogate pair", "{\\rtf1 \\u-10179?\\u-8704?}", "😀");
        row("lone surrogate", "{\\rtf1 a\\u-10179?b}", "a\ufffdb");
        row("\\uc2", "{\\rtf1 \\uc2\\u8364\\'88\\'80x}", "€x");
        row("\\uc0", "{\\rtf1 \\uc0\\u8364 x}", "€x");
        row("fallback hex escape counts as one", "{\\rtf1 \\u233\\'e9x}", "éx");
        row("fallback control word counts as one", "{\\rtf1 \\uc1\\u233\\emdash x}", "éx");
        row("fallback stops at a group end", "{\\rtf1 {\\uc3\\u233}x}", "éx");
        row("\\uc is scoped to its group", "{\\rtf1 {\\uc0\\u233}\\u233?x}", "ééx");
        row("code page from \\ansicpg", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0}", "Пр");
        row("code page from the font", "{\\rtf1{\\fonttbl{\\f1\\fcharset161 Greek;}}\\f1\\'e1\\'e2}", "αβ");
        row("\\cpg overrides \\fcharset", "{\\rtf1{\\fonttbl{\\f1\\fcharset0\\cpg1250 X;}}\\f1\\'b9}", "ą");
        row("default code page cp1252", "{\\rtf1 \\'80\\'93\\'94}", "€“”");
        row("mac roman", "{\\rtf1\\mac \\'8e}", "é");
        row("raw 8-bit bytes", "{\\rtf1\\ansi caf\xe9}", "café");
        row("shift-jis", "{\\rtf1{\\fonttbl{\\f1\\fcharset128 MS Mincho;}}\\f1\\'93\\'fa\\'96\\'7b}", "日本");
        row("shift-jis trail byte as escaped backslash",
            "{\\rtf1{\\fonttbl{\\f1\\fcharset128 M;}}\\f1\\'83\\\\}", "ソ");
        row("shift-jis raw bytes", "{\\rtf1{\\fonttbl{\\f1\\fcharset128 M;}}\\f1 \x82\xa0\x82\xa2}", "あい");
        row("gbk", "{\\rtf1\\ansicpg936 \\'d6\\'d0\\'ce\\'c4}", "中文");
        row("big5", "{\\rtf1{\\fonttbl{\\f1\\fcharset136 M;}}\\f1\\'a4\\'a4\\'a4\\'e5}", "中文");
        row("korean", "{\\rtf1\\ansicpg949 \\'c7\\'d1}", "한");
        row("truncated lead byte", "{\\rtf1\\ansicpg932 a\\'82}", "a\ufffd");
        row("symbol font",
            "{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}{\\f1 \\'61\\'62\\'b7}{\\f1\\u-3913?}}", "αβ••");
        // Destinations.
        row("ignorable destination", "{\\rtf1 a{\\*\\unknown b{c}}d}", "ad");
        row("known non-text destinations",
            "{\\rtf1{\\info{\\title T}{\\author A}}{\\header H}{\\footer F}{\\footnote N}"
            "{\\stylesheet{\\s1 Heading;}}{\\pict 0102}{\\object{\\objdata 00}}x}",
            "x");
        row("unknown destination without star keeps its text", "{\\rtf1 a{\\unknownword b}c}", "abc");
        row("field result", "{\\rtf1 {\\field{\\*\\fldinst PAGE}{\\fldrslt 7}} pages}", "7 pages");
        row("field instruction without star", "{\\rtf1 {\\field{\\fldinst PAGE}{\\fldrslt 7}}}", "7");
        row("list text skipped", "{\\rtf1 {\\listtext 1.\\tab}a{\\pntext \\'b7\\tab}b}", "ab");
        row("hidden text", "{\\rtf1 a{\\v hidden}b\\v c\\v0 d}", "abd");
        row("\\bin skips raw bytes", "{\\rtf1 a{\\pict\\bin4 }}{\\}b}", "ab");
        row("\\bin outside a picture", "{\\rtf1 a\\bin3 xyzb}", "ab");
        row("\\upr takes the unicode part", "{\\rtf1 {\\upr{a}{\\*\\ud{b}}}}", "b");
        row("text after the document ignored", "{\\rtf1 a}b", "a");
        row("control characters dropped", "{\\rtf1 a\\u0?\\u1?\\u127?\\u65533?b}", "a\ufffdb");
        row("paragraph separator as line separator", "{\\rtf1 a\\u8233?b}", "a\nb");
    }

    void text()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, expected);
        QCOMPARE(readText(rtf), expected);
    }

    void characterFormatting()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read(
            "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}{\\colortbl;\\red255\\green0\\blue0;}"
            "n {\\b bold} {\\i ital} {\\ul und} {\\strike str} {\\f1\\fs36 big} {\\cf1 red}"
            " {\\super sup} {\\sub sub} {\\highlight1 hl} {\\chcbpat1 shade} {\\up6 up} {\\dn4 dn}"
            " {\\b\\b0 notbold} {\\b\\plain plain} {\\ulwave wave} {\\uld dot} {\\scaps sc}}",
            doc));
        QCOMPARE(formatAt(doc, "bold").fontWeight(), int(QFont::Bold));
        QVERIFY(formatAt(doc, "ital").fontItalic());
        QVERIFY(formatAt(doc, "und").fontUnderline());
        QVERIFY(formatAt(doc, "str").fontStrikeOut());
        QCOMPARE(formatAt(doc, "big").fontPointSize(), 18.0);
        QCOMPARE(formatAt(doc, "big").fontFamilies().toStringList(), QStringList {"Courier New"});
        QCOMPARE(formatAt(doc, "n ").fontFamilies().toStringList(), QStringList {"Arial"});
        QCOMPARE(formatAt(doc, "n ").fontPointSize(), 12.0);
        QCOMPARE(formatAt(doc, "red").foreground().color(), QColor(255, 0, 0));
        QCOMPARE(formatAt(doc, "sup").verticalAlignment(), QTextCharFormat::AlignSuperScript);
        QCOMPARE(formatAt(doc, "sub").verticalAlignment(), QTextCharFormat::AlignSubScript);
        QCOMPARE(formatAt(doc, "up").verticalAlignment(), QTextCharFormat::AlignSuperScript);
        QCOMPARE(formatAt(doc, "dn").verticalAlignment(), QTextCharFormat::AlignSubScript);
        QCOMPARE(formatAt(doc, "hl").background().color(), QColor(255, 0, 0));
        QCOMPARE(formatAt(doc, "shade").background().color(), QColor(255, 0, 0));
        QVERIFY(formatAt(doc, "notbold").fontWeight() < QFont::DemiBold);
        QVERIFY(formatAt(doc, "plain").fontWeight() < QFont::DemiBold);
        QCOMPARE(formatAt(doc, "wave").underlineStyle(), QTextCharFormat::WaveUnderline);
        QCOMPARE(formatAt(doc, "dot").underlineStyle(), QTextCharFormat::DotLine);
        QCOMPARE(formatAt(doc, "sc").fontCapitalization(), QFont::SmallCaps);
        QVERIFY(!formatAt(doc, "n ").fontItalic());
        QCOMPARE(formatAt(doc, "n ").foreground().style(), Qt::NoBrush);
    }

    // Colour 0 and missing entries are "automatic"; TextEdit's \cb to white means no background.
    void automaticColours()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read("{\\rtf1{\\colortbl;\\red255\\green255\\blue255;\\red1\\green2\\blue3;}"
                          "{\\cf0 auto}{\\cf9 missing}{\\cb1 white}{\\highlight1 marked}{\\cf2 set}}",
                          doc));
        QCOMPARE(formatAt(doc, "auto").foreground().style(), Qt::NoBrush);
        QCOMPARE(formatAt(doc, "missing").foreground().style(), Qt::NoBrush);
        QCOMPARE(formatAt(doc, "white").background().style(), Qt::NoBrush);
        QCOMPARE(formatAt(doc, "marked").background().color(), QColor(Qt::white));
        QCOMPARE(formatAt(doc, "set").foreground().color(), QColor(1, 2, 3));
    }

    void paragraphFormatting()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read("{\\rtf1\\pard\\qc centre\\par\\pard\\qr right\\par\\pard\\qj just\\par"
                          "\\pard\\li720\\ri360\\fi-360\\sb120\\sa240 margins\\par"
                          "\\pard\\sl360\\slmult1 lines\\par\\pard\\tqr\\tx2880\\tx720 tabs\\par"
                          "\\pard plain\\par {\\pard\\qc scoped\\par} after}",
                          doc));
        QCOMPARE(blockAt(doc, "centre").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(blockAt(doc, "right").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        QCOMPARE(blockAt(doc, "just").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
        const QTextBlockFormat m = blockAt(doc, "margins");
        QCOMPARE(m.leftMargin(), 48.0);
        QCOMPARE(m.rightMargin(), 24.0);
        QCOMPARE(m.textIndent(), -24.0);
        QCOMPARE(m.topMargin(), 8.0);
        QCOMPARE(m.bottomMargin(), 16.0);
        QCOMPARE(blockAt(doc, "lines").lineHeightType(), int(QTextBlockFormat::ProportionalHeight));
        QCOMPARE(blockAt(doc, "lines").lineHeight(), 150.0);
        const QList<QTextOption::Tab> tabs = blockAt(doc, "tabs").tabPositions();
        QCOMPARE(tabs.size(), 2);
        QCOMPARE(tabs.at(0).position, 48.0);
        QCOMPARE(tabs.at(0).type, QTextOption::LeftTab);
        QCOMPARE(tabs.at(1).position, 192.0);
        QCOMPARE(tabs.at(1).type, QTextOption::RightTab);
        QCOMPARE(blockAt(doc, "plain").leftMargin(), 0.0);
        QCOMPARE(blockAt(doc, "plain").tabPositions().size(), 0);
        QCOMPARE(blockAt(doc, "scoped").alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QVERIFY(!(blockAt(doc, "after").alignment() & Qt::AlignHCenter));
    }

    // Lists as Word and LibreOffice write them (\listtable, \ls, \ilvl) and as WordPad does (\pn).
    void lists()
    {
        const QByteArray table =
            "{\\*\\listtable{\\list{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ?;}}"
            "{\\listlevel\\levelnfc4{\\leveltext\\'02\\'01);}}\\listid7}"
            "{\\list{\\listlevel\\levelnfc255{\\leveltext\\'00;}}\\listid8}}"
            "{\\*\\listoverridetable{\\listoverride\\listid7\\ls1}{\\listoverride\\listid8\\ls2}}";
        QTextDocument doc;
        QVERIFY(
            Rtf::read("{\\rtf1" + table
                          + "\\pard\\ls1 {\\listtext \\'b7\\tab}a\\par"
                            "\\pard\\ls1\\ilvl1 {\\listtext a)\\tab}a1\\par\\pard\\ls1\\ilvl1 a2\\par"
                            "\\pard\\ls1 b\\par\\pard\\ls1\\ilvl1 b1\\par"
                            "\\pard not a list\\par\\pard\\ls2 outline heading\\par"
                            "\\pard\\ls9 unknown list\\par"
                            "\\pard{\\pntext 1.\\tab}{\\*\\pn\\pnlvlbody\\pndec{\\pntxta .}}one\\par"
                            "{\\pntext 2.\\tab}two\\par\\pard{\\*\\pn\\pnlvlblt{\\pntxtb \\'b7}}dot\\par}",
                      doc));
        QCOMPARE(
            plain(doc),
            QStringLiteral("a\na1\na2\nb\nb1\nnot a list\noutline heading\nunknown list\none\ntwo\ndot"));
        auto list = [&](const char *needle) {
            return doc.find(QString::fromLatin1(needle)).block().textList();
        };
        QVERIFY(list("a"));
        QCOMPARE(list("a")->format().style(), QTextListFormat::ListDisc);
        QCOMPARE(list("a")->format().indent(), 1);
        QCOMPARE(list("b"), list("a"));
        QCOMPARE(list("b")->itemNumber(doc.find(QStringLiteral("b")).block()), 1);
        QVERIFY(list("a1"));
        QCOMPARE(list("a1")->format().style(), QTextListFormat::ListLowerAlpha);
        QCOMPARE(list("a1")->format().indent(), 2);
        QCOMPARE(list("a1")->format().numberSuffix(), QStringLiteral(")"));
        QCOMPARE(list("a2"), list("a1"));
        // A sublist under a new parent item starts again.
        QVERIFY(list("b1") && list("b1") != list("a1"));
        QVERIFY(!list("not a list"));
        QVERIFY(!list("outline heading")); // \levelnfc255: no numbering
        QCOMPARE(list("unknown list")->format().style(), QTextListFormat::ListDisc);
        QCOMPARE(list("one")->format().style(), QTextListFormat::ListDecimal);
        QCOMPARE(list("two"), list("one"));
        QCOMPARE(list("dot")->format().style(), QTextListFormat::ListDisc);
    }

    void hyperlinks()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read(
            "{\\rtf1 {\\field{\\*\\fldinst{HYPERLINK \"https://a.example/x\"}}{\\fldrslt{\\ul one}}}"
            " {\\field{\\*\\fldinst HYPERLINK \"file.docx\" \\\\l \"part\" \\\\o \"tip\"}{\\fldrslt two}}"
            " {\\field{\\*\\fldinst{ HYPERLINK  https://b.example }}{\\fldrslt three}}"
            " {\\field{\\*\\fldinst{PAGE}}{\\fldrslt four}} five}",
            doc));
        QCOMPARE(plain(doc), QStringLiteral("one two three four five"));
        QCOMPARE(formatAt(doc, "one").anchorHref(), QStringLiteral("https://a.example/x"));
        QVERIFY(formatAt(doc, "one").fontUnderline());
        QCOMPARE(formatAt(doc, "two").anchorHref(), QStringLiteral("file.docx#part"));
        QCOMPARE(formatAt(doc, "three").anchorHref(), QStringLiteral("https://b.example"));
        QVERIFY(!formatAt(doc, "four").isAnchor());
        QVERIFY(!formatAt(doc, "five").isAnchor());
    }

    // LibreOffice gives East Asian text its own font and size with \dbch\af and \dbch\afs.
    void eastAsianFontAndSize()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read("{\\rtf1{\\fonttbl{\\f0 Latin;}{\\f1 Asian;}}\\f0\\fs24\\dbch\\af1\\afs32 "
                          "ab \\u26085?\\u26412? cd\\par{\\rtlch\\af0\\afs40 \\ltrch ef}}",
                          doc));
        QCOMPARE(formatAt(doc, "ab").fontFamilies().toStringList(), QStringList {"Latin"});
        QCOMPARE(formatAt(doc, "ab").fontPointSize(), 12.0);
        QCOMPARE(formatAt(doc, "日本").fontFamilies().toStringList(), QStringList {"Asian"});
        QCOMPARE(formatAt(doc, "日本").fontPointSize(), 16.0);
        QCOMPARE(formatAt(doc, "cd").fontFamilies().toStringList(), QStringList {"Latin"});
        QCOMPARE(formatAt(doc, "ef").fontPointSize(), 12.0); // \afs after \rtlch is for complex scripts
    }

    void textEditFontNames()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read(
            "{\\rtf1\\ansi\\cocoartf2761{\\fonttbl\\f0\\fswiss Helvetica-Bold;\\f1\\fnil Menlo-Regular;}"
            "\\f0\\b a \\f1\\b0 b}",
            doc));
        QCOMPARE(formatAt(doc, "a").fontFamilies().toStringList(), QStringList {"Helvetica"});
        QCOMPARE(formatAt(doc, "b").fontFamilies().toStringList(), QStringList {"Menlo"});
        QVERIFY(Rtf::read("{\\rtf1{\\fonttbl{\\f0 Arial-BoldMT;}}x}", doc));
        QCOMPARE(formatAt(doc, "x").fontFamilies().toStringList(), QStringList {"Arial-BoldMT"});
    }

    // Symbol font bytes become the characters they show, in the document's font, so that writing
    // and reading again cannot reinterpret ordinary letters as Symbol bytes.
    void symbolFontText()
    {
        QTextDocument doc;
        QVERIFY(
            Rtf::read("{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset2 Symbol;}}{\\f1 \\'61\\u99?b}}", doc));
        QCOMPARE(plain(doc), QStringLiteral("αcβ"));
        QCOMPARE(formatAt(doc, "αcβ").fontFamilies().toStringList(), QStringList {"Arial"});
        QTextDocument again;
        QVERIFY(Rtf::read(Rtf::write(doc), again));
        QCOMPARE(plain(again), QStringLiteral("αcβ"));
    }

    void fontTableForms()
    {
        QTextDocument doc;
        QVERIFY(Rtf::read(
            "{\\rtf1{\\fonttbl{\\f0\\froman\\fcharset0{\\*\\panose 0202}Times New Roman{\\*\\falt Times};}"
            "{\\f1 Unterminated}{\\f2{\\*\\fname X;}Y\\'e9;}}\\deff0 {\\f0 a}{\\f1 b}{\\f2 c}{\\f3 d}}",
            doc));
        QCOMPARE(formatAt(doc, "a").fontFamilies().toStringList(), QStringList {"Times New Roman"});
        QCOMPARE(formatAt(doc, "b").fontFamilies().toStringList(), QStringList {"Unterminated"});
        QCOMPARE(formatAt(doc, "c").fontFamilies().toStringList(), QStringList {"Yé"});
        QCOMPARE(formatAt(doc, "d").fontFamilies().toStringList(), QStringList());
    }

    // ---- broken and hostile input ---------------------------------------------------------------

    void brokenInput_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unclosed groups") << QByteArray("{\\rtf1 a{\\b b{\\i c") << QStringLiteral("abc");
        QTest::newRow("extra closing braces") << QByteArray("{\\rtf1 a}}}}b") << QStringLiteral("a");
        QTest::newRow("closing brace in the middle") << QByteArray("{\\rtf1 {a}}b}") << QStringLiteral("a");
        QTest::newRow("truncated hex escape") << QByteArray("{\\rtf1 a\\'4") << QStringLiteral("a4");
        QTest::newRow("bad hex escape") << QByteArray("{\\rtf1 a\\'zzb}") << QStringLiteral("azzb");
        QTest::newRow("truncated control word") << QByteArray("{\\rtf1 a\\") << QStringLiteral("a");
        QTest::newRow("truncated unicode") << QByteArray("{\\rtf1 a\\u") << QStringLiteral("a");
        QTest::newRow("truncated fallback") << QByteArray("{\\rtf1 a\\uc5\\u233") << QStringLiteral("aé");
        QTest::newRow("huge numbers") << QByteArray("{\\rtf1 \\fs99999999999999999999 a\\li-9999999999999 b"
                                                    "\\u99999999999 c\\uc99999999999\\u65 dd}")
                                      << QStringLiteral("ab\ufffdA"); // the fallback skips "c", then " dd"
        QTest::newRow("huge \\bin") << QByteArray("{\\rtf1 a\\bin99999999999999 bcd}") << QStringLiteral("a");
        QTest::newRow("negative \\bin") << QByteArray("{\\rtf1 a\\bin-5 b}") << QStringLiteral("ab");
        QTest::newRow("huge font and colour numbers")
            << QByteArray("{\\rtf1{\\fonttbl{\\f2147483647 A;}{\\f-2147483648 B;}}{\\colortbl;\\red999;}"
                          "\\f2147483647\\cf2147483647\\ls2147483647\\ilvl99 x}")
            << QStringLiteral("x");
        QTest::newRow("long control word")
            << QByteArray("{\\rtf1 \\" + QByteArray(10000, 'a') + " x}") << QStringLiteral("x");
        QTest::newRow("nul bytes") << QByteArray("{\\rtf1 a\0b}", 11) << QStringLiteral("ab");
        QTest::newRow("only the header") << QByteArray("{\\rtf") << QString();
    }

    void brokenInput()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, expected);
        QCOMPARE(readText(rtf), expected);
    }

    // 100,000 nested groups: no recursion and no state per level (a stack overflow or a quadratic
    // walk would crash or time out here); text nested deeper than the reader follows is dropped,
    // the rest is kept. Speed is measured by the benchmark, not here.
    void deepNesting()
    {
        const int n = 100000;
        const QByteArray rtf = "{\\rtf1 a" + QByteArray(n, '{') + "deep" + QByteArray(n, '}') + "b{\\b c}}";
        QTextDocument doc;
        QVERIFY(Rtf::read(rtf, doc));
        QCOMPARE(plain(doc), QStringLiteral("ab c").remove(u' '));
        QCOMPARE(formatAt(doc, "c").fontWeight(), int(QFont::Bold));
        QVERIFY(formatAt(doc, "b").fontWeight() < QFont::DemiBold);

        const QByteArray unclosed = "{\\rtf1 a" + QByteArray(n, '{') + "\\b x";
        QVERIFY(Rtf::read(unclosed, doc));
        QCOMPARE(plain(doc), QStringLiteral("a"));
        const QByteArray shallow = "{\\rtf1 " + QByteArray(200, '{') + "kept" + QByteArray(200, '}') + "}";
        QVERIFY(Rtf::read(shallow, doc));
        QCOMPARE(plain(doc), QStringLiteral("kept"));
    }

    // Repeated tables and results must not multiply what the reader keeps: a long link target
    // used by many results, many code pages, many list definitions.
    void repetitionStaysCheap()
    {
        const int n = 20000;
        QByteArray rtf =
            "{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"https://example.com/" + QByteArray(4000, 'x') + "\"}";
        for (int i = 0; i < n; ++i)
            rtf += "{\\fldrslt r}";
        rtf += "}{\\*\\listtable";
        for (int i = 0; i < n; ++i)
            rtf += "{\\list{\\listlevel\\levelnfc0{\\leveltext\\'02\\'00.;}}\\listid"
                + QByteArray::number(i + 1) + "}";
        rtf += "}";
        for (int i = 0; i < n; ++i)
            rtf += "\\ansicpg" + QByteArray::number(100000 + i) + " \\'e9"; // unknown: cp1252
        rtf += "}";
        QTextDocument doc;
        QVERIFY(Rtf::read(rtf, doc));
        QCOMPARE(plain(doc), QString(n, u'r') + QString(n, u'é'));
        QCOMPARE(formatAt(doc, "rr").anchorHref().size(), 4020);
    }

    // Every prefix of a real document reads without trouble (truncated downloads, pastes).
    void everyPrefix()
    {
        QFile f(QStringLiteral(QUORVIN_SOURCE_DIR "/tests/richtext/corpus/textedit-cocoa.rtf"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        QString previous;
        for (qsizetype n = 5; n <= data.size(); ++n) {
            QTextDocument doc;
            QVERIFY(Rtf::read(data.left(n), doc));
            // The text only grows as the input grows, apart from a pending byte or fallback.
            const QString now = plain(doc);
            if (now.size() + 2 < previous.size())
                QFAIL(qPrintable(QStringLiteral("text shrank at %1 bytes").arg(n)));
            previous = now;
        }
    }
};

QTEST_GUILESS_MAIN(TestRtfReader)
#include "tst_rtf_reader.moc"
