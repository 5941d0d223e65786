// RTF reading and writing against Qt's own HTML import and export of the same document.
//
// Builds a document of about 5 MB of RTF with mixed formatting (fonts, sizes, bold, italic,
// underline, colours, highlights, links, lists, alignment, scripts from Latin to CJK and emoji),
// then times, in one run and on the same document:
//   read:  Rtf::read of our RTF        vs  QTextDocument::setHtml of toHtml()'s output
//   write: Rtf::write                  vs  QTextDocument::toHtml
// and the reading of a LibreOffice-style RTF of the same text (LibreOffice writes much more
// markup per run). Each figure is the median of several runs.
//
// Usage: bench_rtf [megabytes] [--save file.rtf]   (default 5 MB; --save keeps the RTF)

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "richtext/Rtf.h"

namespace {

const char *const words[] = {"the",    "quick",  "brown",  "fox",    "jumps",   "over",     "lazy",
                             "dog",    "café",   "naïve",  "Straße", "über",    "déjà",     "vu",
                             "report", "status", "risk",   "budget", "meeting", "Ελληνικά", "русский",
                             "日本語", "中文",   "한국어", "עברית",  "€",       "“quoted”", "—",
                             "😀",      "data",   "value",  "item",   "list",    "paste",    "snippet"};

QString sentence(QRandomGenerator &rng, int n)
{
    QString s;
    for (int i = 0; i < n; ++i) {
        if (i)
            s += u' ';
        s += QString::fromUtf8(words[rng.bounded(int(std::size(words)))]);
    }
    return s;
}

void build(QTextDocument &doc, qint64 targetRtfBytes)
{
    QRandomGenerator rng(42);
    const QStringList families = {"Liberation Serif", "Liberation Sans", "Liberation Mono", "DejaVu Sans"};
    const QList<QColor> colours = {QColor(0xc0, 0x10, 0x20), QColor(0x10, 0x60, 0xc0),
                                   QColor(0x20, 0x80, 0x20), QColor(0x60, 0x60, 0x60)};
    QTextCursor c(&doc);
    doc.setUndoRedoEnabled(false);
    c.beginEditBlock();
    QTextList *list = nullptr;
    int paragraph = 0;
    // Grow in chunks, measuring the RTF now and then.
    for (;;) {
        for (int k = 0; k < 200; ++k, ++paragraph) {
            QTextBlockFormat bf;
            const int kind = rng.bounded(10);
            if (kind == 0)
                bf.setAlignment(Qt::AlignHCenter);
            else if (kind == 1)
                bf.setAlignment(Qt::AlignJustify);
            else if (kind == 2)
                bf.setLeftMargin(24);
            bf.setBottomMargin(6);
            if (paragraph)
                c.insertBlock(bf);
            else
                c.setBlockFormat(bf);
            if (kind == 3 || kind == 4) {
                if (!list) {
                    QTextListFormat lf;
                    lf.setStyle(kind == 3 ? QTextListFormat::ListDisc : QTextListFormat::ListDecimal);
                    lf.setIndent(1);
                    list = c.createList(lf);
                } else {
                    list->add(c.block());
                }
            } else {
                list = nullptr;
            }
            const int runs = 3 + rng.bounded(8);
            for (int r = 0; r < runs; ++r) {
                QTextCharFormat f;
                f.setFontFamilies({families.at(rng.bounded(int(families.size())))});
                f.setFontPointSize(std::array {10.0, 11.0, 12.0, 12.0, 14.0, 18.0}[rng.bounded(6)]);
                const int style = rng.bounded(12);
                if (style == 0)
                    f.setFontWeight(QFont::Bold);
                if (style == 1)
                    f.setFontItalic(true);
                if (style == 2)
                    f.setFontUnderline(true);
                if (style == 3)
                    f.setForeground(colours.at(rng.bounded(int(colours.size()))));
                if (style == 4)
                    f.setBackground(QColor(0xff, 0xf0, 0x60));
                if (style == 5)
                    f.setFontStrikeOut(true);
                if (style == 6) {
                    f.setAnchor(true);
                    f.setAnchorHref(QStringLiteral("https://example.org/page/%1").arg(rng.bounded(1000)));
                    f.setFontUnderline(true);
                }
                if (style == 7)
                    f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
                QString text = sentence(rng, 2 + rng.bounded(12));
                if (r + 1 < runs)
                    text += u' ';
                if (rng.bounded(40) == 0)
                    text += QChar(0x2028);
                c.insertText(text, f);
            }
        }
        if (Rtf::write(doc).size() >= targetRtfBytes)
            break;
    }
    c.endEditBlock();
}

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The same text as LibreOffice would write it: \pard\plain with a style, run groups with \loch,
// \hich, \dbch and font, size and language words on every run.
QByteArray libreOfficeStyle(const QByteArray &ours)
{
    QByteArray out;
    out.reserve(ours.size() * 2);
    for (qsizetype i = 0; i < ours.size(); ++i) {
        if (ours.at(i) == '{' && i + 1 < ours.size() && ours.at(i + 1) == '\\' && i > 0
            && ours.at(i - 1) != '\\' && ours.mid(i, 5) != "{\\*\\l" && ours.mid(i, 6) != "{\\fonttb") {
            out += "{\\rtlch\\af10\\afs24\\alang1081 "
                   "\\ltrch\\lang1033\\langfe2052\\hich\\af3\\loch\\dbch\\af10 ";
            continue;
        }
        if (ours.mid(i, 5) == "\\pard") {
            out += "\\pard\\plain \\s17\\loch\\sl276\\slmult1\\sb0\\sa140\\nowidctlpar\\hyphpar0\\ltrpar";
            i += 4;
            continue;
        }
        out += ours.at(i);
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const double megabytes = args.size() > 1 && args.at(1).toDouble() > 0 ? args.at(1).toDouble() : 5.0;
    const qsizetype save = args.indexOf(QStringLiteral("--save"));
    const int runs = 5;

    QTextDocument source;
    QElapsedTimer t;
    t.start();
    build(source, qint64(megabytes * 1024 * 1024));
    const QByteArray rtf = Rtf::write(source);
    const QString html = source.toHtml();
    const QByteArray loRtf = libreOfficeStyle(rtf);
    if (save > 0 && save + 1 < args.size()) {
        QFile out(args.at(save + 1));
        if (out.open(QIODevice::WriteOnly))
            out.write(rtf);
    }
    std::printf(
        "document: %d paragraphs, %d characters; RTF %.2f MB, HTML %.2f MB, LibreOffice-style RTF %.2f MB"
        " (built in %.0f ms)\n",
        source.blockCount(), source.characterCount(), rtf.size() / 1048576.0,
        html.toUtf8().size() / 1048576.0, loRtf.size() / 1048576.0, t.elapsed() * 1.0);

    // Both readers get a fresh document each time.
    const double readRtf = medianMs(runs, [&] {
        QTextDocument doc;
        Rtf::read(rtf, doc);
    });
    const double readHtml = medianMs(runs, [&] {
        QTextDocument doc;
        doc.setHtml(html);
    });
    const double readLo = medianMs(runs, [&] {
        QTextDocument doc;
        Rtf::read(loRtf, doc);
    });
    QTextDocument loaded;
    Rtf::read(rtf, loaded);
    const double writeRtf = medianMs(runs, [&] { (void)Rtf::write(loaded).size(); });
    const double writeHtml = medianMs(runs, [&] { (void)loaded.toHtml().size(); });

    std::printf(
        "read:  Rtf::read %8.1f ms   setHtml %8.1f ms   ratio %.2f   (LibreOffice-style RTF: %.1f ms)\n",
        readRtf, readHtml, readRtf / readHtml, readLo);
    std::printf("write: Rtf::write %7.1f ms   toHtml  %8.1f ms   ratio %.2f\n", writeRtf, writeHtml,
                writeRtf / writeHtml);
    std::printf("throughput: read %.1f MB/s, write %.1f MB/s of RTF\n",
                rtf.size() / 1048576.0 / (readRtf / 1000), rtf.size() / 1048576.0 / (writeRtf / 1000));

    // The two documents must agree, or the comparison means nothing.
    if (loaded.toPlainText() != source.toPlainText()) {
        std::printf("ERROR: the RTF did not read back to the same text\n");
        return 1;
    }
    return 0;
}
