// Other programs read what our writer produces: pandoc (its JSON document tree) and LibreOffice
// Writer (converted back to RTF by LibreOffice, then read by our reader, which the corpus test
// checks against LibreOffice's own files). Each check is skipped, with a message saying so, when
// its program is not installed; it never passes silently.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QUrl>

#include "richtext/Rtf.h"

namespace {

QTextCharFormat fmt(const QString &family = QStringLiteral("Liberation Serif"), qreal size = 12)
{
    QTextCharFormat f;
    f.setFontFamilies({family});
    f.setFontPointSize(size);
    return f;
}

QTextCharFormat bold()
{
    QTextCharFormat f = fmt();
    f.setFontWeight(QFont::Bold);
    return f;
}

QTextCharFormat italic()
{
    QTextCharFormat f = fmt();
    f.setFontItalic(true);
    return f;
}

// A document with what users paste: formatted runs, alignment, indents, lists, a link, scripts.
void buildSample(QTextDocument &doc)
{
    QTextCursor c(&doc);
    QTextBlockFormat heading;
    heading.setHeadingLevel(1);
    c.setBlockFormat(heading);
    QTextCharFormat h = fmt(QStringLiteral("Liberation Sans"), 20);
    h.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("Interop sample"), h);

    c.insertBlock(QTextBlockFormat(), fmt());
    c.insertText(QStringLiteral("Plain, "), fmt());
    c.insertText(QStringLiteral("bold"), bold());
    c.insertText(QStringLiteral(", "), fmt());
    c.insertText(QStringLiteral("italic"), italic());
    c.insertText(QStringLiteral(", "), fmt());
    QTextCharFormat u = fmt();
    u.setFontUnderline(true);
    c.insertText(QStringLiteral("underlined"), u);
    c.insertText(QStringLiteral(", "), fmt());
    QTextCharFormat s = fmt();
    s.setFontStrikeOut(true);
    c.insertText(QStringLiteral("struck"), s);
    c.insertText(QStringLiteral(", x"), fmt());
    QTextCharFormat sup = fmt();
    sup.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    c.insertText(QStringLiteral("2"), sup);
    c.insertText(QStringLiteral(" and H"), fmt());
    QTextCharFormat sub = fmt();
    sub.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    c.insertText(QStringLiteral("2"), sub);
    c.insertText(QStringLiteral("O."), fmt());

    c.insertBlock(QTextBlockFormat(), fmt());
    QTextCharFormat red = fmt(QStringLiteral("Liberation Mono"), 10);
    red.setForeground(QColor(0xc0, 0x10, 0x20));
    c.insertText(QStringLiteral("Red mono ten"), red);
    c.insertText(QStringLiteral(" then "), fmt());
    QTextCharFormat marked = fmt(QStringLiteral("Liberation Serif"), 16);
    marked.setBackground(QColor(0xff, 0xff, 0x00));
    c.insertText(QStringLiteral("large highlighted"), marked);
    c.insertText(QStringLiteral(" and a "), fmt());
    QTextCharFormat link = fmt();
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.org/path?q=1"));
    link.setFontUnderline(true);
    link.setForeground(QColor(0, 0, 0xee));
    c.insertText(QStringLiteral("link"), link);
    c.insertText(QStringLiteral("."), fmt());

    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    c.insertBlock(centred, fmt());
    c.insertText(QStringLiteral("Centred"), fmt());
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    c.insertBlock(right, fmt());
    c.insertText(QStringLiteral("Right"), fmt());
    QTextBlockFormat indented;
    indented.setLeftMargin(48);
    indented.setTopMargin(8);
    indented.setBottomMargin(12);
    c.insertBlock(indented, fmt());
    c.insertText(QStringLiteral("Indented with spacing"), fmt());

    c.insertBlock(QTextBlockFormat(), fmt());
    QTextListFormat bullets;
    bullets.setStyle(QTextListFormat::ListDisc);
    bullets.setIndent(1);
    QTextList *bulletList = c.createList(bullets);
    c.insertText(QStringLiteral("First bullet"), fmt());
    c.insertBlock(QTextBlockFormat(), fmt());
    bulletList->add(c.block());
    c.insertText(QStringLiteral("Second "), fmt());
    c.insertText(QStringLiteral("bullet"), bold());

    c.insertBlock(QTextBlockFormat(), fmt());
    QTextListFormat numbers;
    numbers.setStyle(QTextListFormat::ListDecimal);
    numbers.setIndent(1);
    QTextList *numbered = c.createList(numbers);
    c.insertText(QStringLiteral("Step one"), fmt());
    c.insertBlock(QTextBlockFormat(), fmt());
    numbered->add(c.block());
    c.insertText(QStringLiteral("Step two"), fmt());

    c.insertBlock(QTextBlockFormat(), fmt());
    c.insertText(QStringLiteral("Scripts: café Straße Ελληνικά русский 日本語 עברית €5 “quoted” — 😀"), fmt());
    c.insertBlock(QTextBlockFormat(), fmt());
    c.insertText(QStringLiteral("Line one\u2028line two"), fmt());
}

// ---- one model both sides are reduced to -----------------------------------------------------

enum Mark : unsigned { Strong = 1, Emph = 2, Under = 4, Strike = 8, Super = 16, Sub = 32 };

struct Para
{
    QString kind; // "p", "h1".., "bullet", "decimal", "lower-alpha", ...
    QString text;
    QList<unsigned> marks; // one per character of text
    QStringList links;
};

// Characters a reader may not get right on its own: supplementary characters (pandoc 2.17 turns
// each half of a surrogate pair into U+FFFD) are compared only where `strict`.
bool ignored(QChar c, bool strict)
{
    return !strict && (c.isSurrogate() || c.unicode() == 0xfffd);
}

QString normalisedSpaces(const QString &text, bool strict = true)
{
    QString out;
    for (QChar c : text) {
        if (!ignored(c, strict))
            out += c;
    }
    out.replace(QChar(0x2006), u' ');
    out.replace(QRegularExpression(QStringLiteral("[ \\t]+")), QStringLiteral(" "));
    return out.trimmed();
}

unsigned marksOf(const QTextCharFormat &f)
{
    unsigned m = 0;
    if (f.fontWeight() >= QFont::DemiBold)
        m |= Strong;
    if (f.fontItalic())
        m |= Emph;
    if (f.fontUnderline() && !f.isAnchor())
        m |= Under;
    if (f.fontStrikeOut())
        m |= Strike;
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        m |= Super;
    if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        m |= Sub;
    return m;
}

QString listKind(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListDecimal:
        return QStringLiteral("decimal");
    case QTextListFormat::ListLowerAlpha:
        return QStringLiteral("lower-alpha");
    case QTextListFormat::ListUpperAlpha:
        return QStringLiteral("upper-alpha");
    case QTextListFormat::ListLowerRoman:
        return QStringLiteral("lower-roman");
    case QTextListFormat::ListUpperRoman:
        return QStringLiteral("upper-roman");
    default:
        return QStringLiteral("bullet");
    }
}

QList<Para> paragraphsOf(const QTextDocument &doc)
{
    QList<Para> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        Para p;
        if (b.textList())
            p.kind = listKind(b.textList()->format().style());
        else if (b.blockFormat().headingLevel() > 0)
            p.kind = QStringLiteral("h%1").arg(b.blockFormat().headingLevel());
        else
            p.kind = QStringLiteral("p");
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            const unsigned m = marksOf(f.charFormat());
            QString t = f.text();
            t.replace(QChar(0x2028), u'\n');
            p.text += t;
            for (qsizetype i = 0; i < t.size(); ++i)
                p.marks << m;
            if (f.charFormat().isAnchor() && !p.links.contains(f.charFormat().anchorHref()))
                p.links << f.charFormat().anchorHref();
        }
        out << p;
    }
    return out;
}

// ---- pandoc's JSON -----------------------------------------------------------------------------

void inlines(const QJsonArray &items, unsigned marks, Para &p)
{
    auto add = [&](const QString &t) {
        p.text += t;
        for (qsizetype i = 0; i < t.size(); ++i)
            p.marks << marks;
    };
    for (const QJsonValue &v : items) {
        const QJsonObject o = v.toObject();
        const QString t = o.value(QStringLiteral("t")).toString();
        const QJsonValue c = o.value(QStringLiteral("c"));
        if (t == QLatin1String("Str"))
            add(c.toString());
        else if (t == QLatin1String("Space") || t == QLatin1String("SoftBreak"))
            add(QStringLiteral(" "));
        else if (t == QLatin1String("LineBreak"))
            add(QStringLiteral("\n"));
        else if (t == QLatin1String("Strong"))
            inlines(c.toArray(), marks | Strong, p);
        else if (t == QLatin1String("Emph"))
            inlines(c.toArray(), marks | Emph, p);
        else if (t == QLatin1String("Underline"))
            inlines(c.toArray(), marks | Under, p);
        else if (t == QLatin1String("Strikeout"))
            inlines(c.toArray(), marks | Strike, p);
        else if (t == QLatin1String("Superscript"))
            inlines(c.toArray(), marks | Super, p);
        else if (t == QLatin1String("Subscript"))
            inlines(c.toArray(), marks | Sub, p);
        else if (t == QLatin1String("Span") || t == QLatin1String("SmallCaps"))
            inlines(c.toArray().last().toArray(), marks, p);
        else if (t == QLatin1String("Link")) {
            // A link's underline is the link's own look, as on our side.
            inlines(c.toArray().at(1).toArray(), marks & ~Under, p);
            p.links << c.toArray().at(2).toArray().at(0).toString();
        } else if (t == QLatin1String("Quoted"))
            inlines(c.toArray().at(1).toArray(), marks, p);
        else if (t == QLatin1String("Code"))
            add(c.toArray().at(1).toString());
    }
}

void blocks(const QJsonArray &items, const QString &kind, QList<Para> &out)
{
    for (const QJsonValue &v : items) {
        const QJsonObject o = v.toObject();
        const QString t = o.value(QStringLiteral("t")).toString();
        const QJsonValue c = o.value(QStringLiteral("c"));
        if (t == QLatin1String("Para") || t == QLatin1String("Plain")) {
            Para p;
            p.kind = kind;
            inlines(c.toArray(), 0, p);
            out << p;
        } else if (t == QLatin1String("Header")) {
            Para p;
            p.kind = QStringLiteral("h%1").arg(c.toArray().at(0).toInt());
            inlines(c.toArray().at(2).toArray(), 0, p);
            out << p;
        } else if (t == QLatin1String("BulletList")) {
            for (const QJsonValue &item : c.toArray())
                blocks(item.toArray(), QStringLiteral("bullet"), out);
        } else if (t == QLatin1String("OrderedList")) {
            static const QHash<QString, QString> styles = {
                {QStringLiteral("Decimal"), QStringLiteral("decimal")},
                {QStringLiteral("LowerAlpha"), QStringLiteral("lower-alpha")},
                {QStringLiteral("UpperAlpha"), QStringLiteral("upper-alpha")},
                {QStringLiteral("LowerRoman"), QStringLiteral("lower-roman")},
                {QStringLiteral("UpperRoman"), QStringLiteral("upper-roman")}};
            const QString style =
                c.toArray().at(0).toArray().at(1).toObject().value(QStringLiteral("t")).toString();
            for (const QJsonValue &item : c.toArray().at(1).toArray())
                blocks(item.toArray(), styles.value(style, QStringLiteral("decimal")), out);
        } else if (t == QLatin1String("Div") || t == QLatin1String("BlockQuote")) {
            blocks(t == QLatin1String("Div") ? c.toArray().at(1).toArray() : c.toArray(), kind, out);
        }
    }
}

// Text compared with white space normalised; marks compared per non-space character.
void compareParagraphs(const QList<Para> &ours, const QList<Para> &theirs, bool strict)
{
    QCOMPARE(theirs.size(), ours.size());
    for (qsizetype i = 0; i < ours.size(); ++i) {
        const Para &a = ours.at(i);
        const Para &b = theirs.at(i);
        const QString where = QStringLiteral("paragraph %1 (%2)").arg(i + 1).arg(a.text.left(30));
        QVERIFY2(normalisedSpaces(a.text, strict) == normalisedSpaces(b.text, strict),
                 qPrintable(where + QStringLiteral(": \"%1\" became \"%2\"").arg(a.text, b.text)));
        if (!(a.kind.startsWith(u'h') && b.kind == QLatin1String("p")))
            QVERIFY2(a.kind == b.kind,
                     qPrintable(where + QStringLiteral(": %1 became %2").arg(a.kind, b.kind)));
        QCOMPARE(b.links, a.links);
        if (a.kind.startsWith(u'h'))
            continue; // pandoc drops the formatting of headings
        // Walk both texts by their non-space characters.
        qsizetype j = 0;
        for (qsizetype k = 0; k < a.text.size(); ++k) {
            if (a.text.at(k).isSpace() || ignored(a.text.at(k), strict))
                continue;
            while (j < b.text.size() && (b.text.at(j).isSpace() || ignored(b.text.at(j), strict)))
                ++j;
            QVERIFY(j < b.text.size());
            QVERIFY2(a.marks.at(k) == b.marks.at(j),
                     qPrintable(where
                                + QStringLiteral(": marks of '%1' at %2: %3 became %4")
                                      .arg(a.text.at(k))
                                      .arg(k)
                                      .arg(a.marks.at(k))
                                      .arg(b.marks.at(j))));
            ++j;
        }
    }
}

QString run(const QString &program, const QStringList &arguments, int timeoutMs, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.start();
    if (!process.waitForStarted())
        return QStringLiteral("could not start");
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return QStringLiteral("timed out");
    }
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    return QString();
}

} // namespace

class TestRtfInterop : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_rtfPath;
    QTextDocument m_doc;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        buildSample(m_doc);
        m_rtfPath = m_dir.filePath(QStringLiteral("sample.rtf"));
        QFile f(m_rtfPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(Rtf::write(m_doc));
    }

    void pandoc()
    {
        const QString pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
        if (pandoc.isEmpty())
            QSKIP("pandoc is not installed (apt-get install pandoc): the pandoc check did not run");
        QByteArray json;
        const QString error = run(pandoc,
                                  {QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"),
                                   QStringLiteral("json"), m_rtfPath},
                                  60000, &json);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        const QJsonDocument tree = QJsonDocument::fromJson(json);
        QVERIFY(tree.isObject());
        QList<Para> theirs;
        blocks(tree.object().value(QStringLiteral("blocks")).toArray(), QStringLiteral("p"), theirs);
        compareParagraphs(paragraphsOf(m_doc), theirs, false);
    }

    void libreOffice()
    {
        QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty())
            soffice = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
        if (soffice.isEmpty())
            QSKIP("LibreOffice is not installed (apt-get install libreoffice-writer-nogui): "
                  "the LibreOffice check did not run");
        const QString out = m_dir.filePath(QStringLiteral("out"));
        const QString error =
            run(soffice,
                {QStringLiteral("-env:UserInstallation=")
                     + QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("profile"))).toString(),
                 QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                 QStringLiteral("rtf:Rich Text Format"), QStringLiteral("--outdir"), out, m_rtfPath},
                120000);
        QVERIFY2(error.isEmpty(), qPrintable(QStringLiteral("LibreOffice ") + error));
        QFile f(out + QStringLiteral("/sample.rtf"));
        QVERIFY2(f.open(QIODevice::ReadOnly), "LibreOffice wrote no file");
        QTextDocument theirs;
        QVERIFY(Rtf::read(f.readAll(), theirs));
        // LibreOffice keeps headings only with its heading styles; compare the rest exactly.
        compareParagraphs(paragraphsOf(m_doc), paragraphsOf(theirs), true);

        // Formatting beyond the marks, character by character and paragraph by paragraph.
        QTextBlock a = m_doc.begin();
        QTextBlock b = theirs.begin();
        for (; a.isValid() && b.isValid(); a = a.next(), b = b.next()) {
            const QTextBlockFormat fa = a.blockFormat();
            const QTextBlockFormat fb = b.blockFormat();
            QCOMPARE(fb.alignment() & Qt::AlignHorizontal_Mask, fa.alignment() & Qt::AlignHorizontal_Mask);
            if (!a.textList()) {
                QVERIFY(qAbs(fb.leftMargin() - fa.leftMargin()) < 1);
                QVERIFY(qAbs(fb.topMargin() - fa.topMargin()) < 1);
                QVERIFY(qAbs(fb.bottomMargin() - fa.bottomMargin()) < 1);
            }
            // Per run: size, colours and, for Latin text, the family.
            for (auto it = a.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const QString text = fragment.text().trimmed();
                if (text.isEmpty())
                    continue;
                // LibreOffice may turn spaces into other spaces: find the run by its first word.
                const QString word = text.section(u' ', 0, 0);
                const int at = int(b.text().indexOf(word));
                QVERIFY2(at >= 0, qPrintable(text));
                QTextCursor probe(&theirs);
                probe.setPosition(b.position() + at + 1);
                const QTextCharFormat x = fragment.charFormat();
                const QTextCharFormat y = probe.charFormat();
                const QString where = QStringLiteral("\"%1\"").arg(text);
                QVERIFY2(qAbs(x.fontPointSize() - y.fontPointSize()) < 0.1,
                         qPrintable(where
                                    + QStringLiteral(": size %1 became %2")
                                          .arg(x.fontPointSize())
                                          .arg(y.fontPointSize())));
                QVERIFY2(x.foreground().style() == y.foreground().style()
                             && (x.foreground().style() == Qt::NoBrush
                                 || x.foreground().color() == y.foreground().color()),
                         qPrintable(where + QStringLiteral(": colour")));
                QVERIFY2(x.background().style() == y.background().style()
                             && (x.background().style() == Qt::NoBrush
                                 || x.background().color() == y.background().color()),
                         qPrintable(where + QStringLiteral(": background")));
                if (text.at(0).unicode() < 0x2e80)
                    QVERIFY2(x.fontFamilies() == y.fontFamilies(),
                             qPrintable(where
                                        + QStringLiteral(": family %1 became %2")
                                              .arg(x.fontFamilies().toStringList().join(u','),
                                                   y.fontFamilies().toStringList().join(u','))));
            }
        }
        QVERIFY(!a.isValid() && !b.isValid());
    }
};

QTEST_GUILESS_MAIN(TestRtfInterop)
#include "tst_rtf_interop.moc"
