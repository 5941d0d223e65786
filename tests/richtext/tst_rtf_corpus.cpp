// Every RTF file in corpus/ (written by LibreOffice, pandoc, or by hand in the styles of Word,
// WordPad and TextEdit) must read to the text and formatting in its .expected file; see
// DocumentDump.h for that format. QUORVIN_RTF_CORPUS_WRITE=1 writes the .expected files instead,
// for review after the corpus changes.

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTextDocument>

#include "richtext/DocumentDump.h"
#include "richtext/Rtf.h"

namespace {

QString corpusDir()
{
    return QStringLiteral(QUORVIN_SOURCE_DIR "/tests/richtext/corpus");
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestRtfCorpus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void corpus_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList files =
            QDir(corpusDir()).entryList({QStringLiteral("*.rtf")}, QDir::Files, QDir::Name);
        QVERIFY2(files.size() >= 10, "the corpus is missing");
        for (const QString &file : files)
            QTest::newRow(qPrintable(file)) << file.chopped(4);
    }

    void corpus()
    {
        QFETCH(QString, name);
        const QString base = corpusDir() + u'/' + name;
        QTextDocument doc;
        QVERIFY(Rtf::read(readFile(base + QStringLiteral(".rtf")), doc));
        const QString actual = DocumentDump::dump(doc);
        if (qEnvironmentVariableIsSet("QUORVIN_RTF_CORPUS_WRITE")) {
            QFile out(base + QStringLiteral(".expected"));
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(actual.toUtf8());
            QSKIP("expected file written");
        }
        const QByteArray expectedBytes = readFile(base + QStringLiteral(".expected"));
        QVERIFY2(!expectedBytes.isEmpty(), qPrintable(QStringLiteral("no %1.expected").arg(name)));
        const QStringList expected = QString::fromUtf8(expectedBytes).split(u'\n');
        const QStringList lines = actual.split(u'\n');
        for (qsizetype i = 0; i < std::max(expected.size(), lines.size()); ++i) {
            const QString want = expected.value(i, QStringLiteral("<end>"));
            const QString got = lines.value(i, QStringLiteral("<end>"));
            if (want != got) {
                QFAIL(qPrintable(QStringLiteral("%1.expected line %2\n   expected: %3\n   actual:   %4")
                                     .arg(name)
                                     .arg(i + 1)
                                     .arg(want, got)));
            }
        }
    }

    // The same documents must come out of our writer and back in unchanged.
    void corpusRoundTrip_data() { corpus_data(); }

    void corpusRoundTrip()
    {
        QFETCH(QString, name);
        QTextDocument doc;
        QVERIFY(Rtf::read(readFile(corpusDir() + u'/' + name + QStringLiteral(".rtf")), doc));
        const QByteArray written = Rtf::write(doc);
        for (char c : written)
            QVERIFY2(uchar(c) < 0x80, "the writer must produce 7-bit RTF");
        QTextDocument again;
        QVERIFY(Rtf::read(written, again));
        QCOMPARE(DocumentDump::dump(again), DocumentDump::dump(doc));
    }
};

QTEST_GUILESS_MAIN(TestRtfCorpus)
#include "tst_rtf_corpus.moc"
