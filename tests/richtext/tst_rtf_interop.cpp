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

QTextCharFormat fmt(const std::function<void(QTextCharFormat &)> &change = {},
                    const QString &family = QStringLiteral("Liberation Serif"), qreal size = 12)
{
    QTextCharFormat f;
    f.setFontFamilies({family});
    f.setFontPointSize(size);
    if (change)
        change(f);
    return f;
}

// A document with what users paste: formatted runs, alignment, indents, lists, a link, scripts.
void buildSample(QTextDocument &doc)
{
    using F = QTextCharFormat;
    QTextCursor c(&doc);
    using Runs = QList<std::pair<QString, QTextCharFormat>>;
    auto runs = [&](const Runs &list) {
        for (const auto &[text, format] : list)
            c.insertText(text, format);
    };
    auto block = [&](const std::function<void(QTextBlockFormat &)> &change = {}) {
        QTextBlockFormat b;
        if (change)
            change(b);
        c.insertBlock(b, fmt());
    };
    auto list = [&](QTextListFormat::Style style, const Runs &first, const Runs &second) {
        block();
        QTextListFormat lf;
        lf.setStyle(style);
        lf.setIndent(1);
        QTextList *l = c.createList(lf);
        runs(first);
        block();
        l->add(c.block());
        runs(second);
    };
    const F bold = fmt([](F &f) { f.setFontWeight(QFont::Bold); });

    QTextBlockFormat heading;
    heading.setHeadingLevel(1);
    c.setBlockFormat(heading);
    runs({{QStringLiteral("Interop sample"),
           fmt([](F &f) { f.setFontWeight(QFont::Bold); }, QStringLiteral("Liberation Sans"), 20)}});
    block();
    runs({{QStringLiteral("Plain, "), fmt()},
          {QStringLiteral("bold"), bold},
          {QStringLiteral(", "), fmt()},
          {QStringLiteral("italic"), fmt([](F &f) { f.setFontItalic(true); })},
          {QStringLiteral(", "), fmt()},
          {QStringLiteral("underlined"), fmt([](F &f) { f.setFontUnderline(true); })},
          {QStringLiteral(", "), fmt()},
          {QStringLiteral("struck"), fmt([](F &f) { f.setFontStrikeOut(true); })},
          {QStringLiteral(", x"), fmt()},
          {QStringLiteral("2"), fmt([](F &f) { f.setVerticalAlignment(F::AlignSuperScript); })},
          {QStringLiteral(" and H"), fmt()},
          {QStringLiteral("2"), fmt([](F &f) { f.setVerticalAlignment(F::AlignSubScript); })},
          {QStringLiteral("O."), fmt()}});
    block();
    runs({{QStringLiteral("Red mono ten"),
           fmt([](F &f) { f.setForeground(QColor(0xc0, 0x10, 0x20)); }, QStringLiteral("Liberation Mono"),
               10)},
          {QStringLiteral(" then "), fmt()},
          {QStringLiteral("large highlighted"),
           fmt([](F &f) { f.setBackground(QColor(0xff, 0xff, 0x00)); }, QStringLiteral("Liberation Serif"),
               16)},
          {QStringLiteral(" and a "), fmt()},
          {QStringLiteral("link"), fmt([](F &f) {
               f.setAnchor(true);
               f.setAnchorHref(QStringLiteral("https://example.org/path?q=1"));
               f.setFontUnderline(true);
               f.setForeground(QColor(0, 0, 0xee));
           })},
          {QStringLiteral("."), fmt()}});

    block([](QTextBlockFormat &b) { b.setAlignment(Qt::AlignHCenter); });
    runs({{QStringLiteral("Centred"), fmt()}});
    block([](QTextBlockFormat &b) { b.setAlignment(Qt::AlignRight); });
    runs({{QStringLiteral("Right"), fmt()}});
    block([](QTextBlockFormat &b) {
        b.setLeftMargin(48);
        b.setTopMargin(8);
        b.setBottomMargin(12);
    });
    runs({{QStringLiteral("Indented with spacing"), fmt()}});
    list(QTextListFormat::ListDisc, {{QStringLiteral("First bullet"), fmt()}},
         {{QStringLiteral("Second "), fmt()}, {QStringLiteral("bullet"), bold}});
    list(QTextListFormat::ListDecimal, {{QStringLiteral("Step one"), fmt()}},
         {{QStringLiteral("Step two"), fmt()}});
    block();
    runs({{QStringLiteral("Scripts: café Straße Ελληνικά русский 日本語 עברית €5 “quoted” — 😀"), fmt()}});
    block();
    runs({{QStringLiteral("Line one\u2028line two"), fmt()}});
}

// ---- one model both sides are reduced to -----------------------------------------------------

enum Mark : unsigned { Strong = 1, Emph = 2, Under = 4, Strike = 8, Super = 16, Sub = 32 };

struct Para
{
    QString kind; // "p", "h1".., "bullet", "Decimal", "LowerAlpha", ...
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

// Pandoc's names for the numbering styles; anything else is a bullet.
QString listKind(QTextListFormat::Style style)
{
    static const QHash<int, QString> names = {
        {QTextListFormat::ListDecimal, QStringLiteral("Decimal")},
        {QTextListFormat::ListLowerAlpha, QStringLiteral("LowerAlpha")},
        {QTextListFormat::ListUpperAlpha, QStringLiteral("UpperAlpha")},
        {QTextListFormat::ListLowerRoman, QStringLiteral("LowerRoman")},
        {QTextListFormat::ListUpperRoman, QStringLiteral("UpperRoman")}};
    return names.value(style, QStringLiteral("bullet"));
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
    static const QHash<QString, unsigned> wrappers = {
        {QStringLiteral("Strong"), Strong},     {QStringLiteral("Emph"), Emph},
        {QStringLiteral("Underline"), Under},   {QStringLiteral("Strikeout"), Strike},
        {QStringLiteral("Superscript"), Super}, {QStringLiteral("Subscript"), Sub}};
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
        else if (wrappers.contains(t))
            inlines(c.toArray(), marks | wrappers.value(t), p);
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
            QString style =
                c.toArray().at(0).toArray().at(1).toObject().value(QStringLiteral("t")).toString();
            // DefaultStyle and Example number as Decimal does.
            if (!style.endsWith(QLatin1String("Alpha")) && !style.endsWith(QLatin1String("Roman")))
                style = QStringLiteral("Decimal");
            for (const QJsonValue &item : c.toArray().at(1).toArray())
                blocks(item.toArray(), style, out);
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
                     qPrintable(where + QStringLiteral(" marks of ") + a.text.at(k)));
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
                auto same = [](const QBrush &p, const QBrush &q) {
                    return p.style() == q.style() && (p.style() == Qt::NoBrush || p.color() == q.color());
                };
                QVERIFY2(qAbs(x.fontPointSize() - y.fontPointSize()) < 0.1,
                         qPrintable(text + QStringLiteral(" size")));
                QVERIFY2(same(x.foreground(), y.foreground()), qPrintable(text + QStringLiteral(" colour")));
                QVERIFY2(same(x.background(), y.background()),
                         qPrintable(text + QStringLiteral(" background")));
                if (text.at(0).unicode() < 0x2e80)
                    QCOMPARE(y.fontFamilies(), x.fontFamilies());
            }
        }
        QVERIFY(!a.isValid() && !b.isValid());
    }
};

QTEST_GUILESS_MAIN(TestRtfInterop)
#include "tst_rtf_interop.moc"
