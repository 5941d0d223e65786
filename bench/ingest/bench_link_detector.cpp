// Link detection throughput against linkify-it on one generated corpus of prose, code and
// links, and the agreement of both with the labelled cases in link_cases.tsv.
// The reference side needs node and `npm install` in bench/ingest; without them only our
// own figures are printed.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

#include "ingest/LinkDetector.h"

namespace {

const QString kBenchDir = QStringLiteral(QUORVIN_SOURCE_DIR "/bench/ingest");
constexpr qsizetype kCorpusBytes = 12 * 1024 * 1024;
constexpr int kRepetitions = 5;

class CorpusWriter
{
public:
    QByteArray make(qsizetype bytes)
    {
        QByteArray out;
        out.reserve(bytes + 4096);
        while (out.size() < bytes) {
            const int kind = pick(10);
            if (kind < 5)
                prose(out);
            else if (kind < 8)
                code(out);
            else
                linkList(out);
            out += '\n';
        }
        return out;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    template<std::size_t N>
    const char *any(const char *const (&list)[N])
    {
        return list[pick(int(N))];
    }

    QByteArray link()
    {
        static const char *const kHosts[] = {"example", "wikipedia", "github", "news",     "docs",
                                             "mail",    "shop",      "blog",   "intranet", "static"};
        static const char *const kTlds[] = {"com", "org", "net",    "de",  "co.uk",
                                            "io",  "fr",  "travel", "dev", "jp"};
        static const char *const kPaths[] = {"/",
                                             "/index.html",
                                             "/wiki/Foo_(bar)",
                                             "/a/b/c?x=1&y=2",
                                             "/search?q=link+detector#top",
                                             "/~user/notes.txt",
                                             "/watch?v=dQw4w9WgXcQ",
                                             "/path/with.dots/",
                                             "",
                                             ""};
        QByteArray host = any(kHosts);
        host += '.';
        host += any(kTlds);
        switch (pick(8)) {
        case 0:
            return "https://www." + host + any(kPaths);
        case 1:
            return "http://" + host + any(kPaths);
        case 2:
            return "www." + host + any(kPaths);
        case 3:
            return host + any(kPaths);
        case 4:
            return "https://192.168.1." + QByteArray::number(pick(255)) + ":8080/admin";
        case 5:
            return "(see https://" + host + "/wiki/Foo_(bar))";
        case 6:
            return "\"https://" + host + "/q?a=1\",";
        default:
            return "HTTPS://" + host.toUpper() + "/X";
        }
    }

    void prose(QByteArray &out)
    {
        static const char *const kWords[] = {
            "the",   "quick", "brown",  "fox",     "jumps", "over",  "lazy",     "dog",       "and",  "then",
            "a",     "panel", "drops",  "files",   "onto",  "each",  "working",  "set",       "with", "notes",
            "e.g.",  "i.e.",  "etc.",   "version", "3.14",  "1.2.3", "file.txt", "README.md", "Mr.",  "U.S.",
            "about", "when",  "people", "paste",   "text",  "from",  "their",    "browser",   "into", "it"};
        const int words = 12 + pick(30);
        for (int i = 0; i < words; ++i) {
            if (pick(40) == 0)
                out += link();
            else if (pick(60) == 0)
                out += "someone@example.com";
            else
                out += any(kWords);
            out += (pick(12) == 0) ? ". " : " ";
        }
    }

    void code(QByteArray &out)
    {
        static const char *const kLines[] = {
            "    self.name = os.path.join(root, 'file.txt')",
            "for (int i = 0; i < n; ++i) { total += values[i]; }",
            "const url = new URL(\"https://api.example.com/v1/items?id=\" + id);",
            "import numpy as np; x = np.array([1.5, 2.5]).mean()",
            "    console.log(`fetching ${this.base}/items`);",
            "#include \"ingest/LinkDetector.h\"  // see LinkDetector.cpp",
            "    if (user.email && user.id) { return obj.info; }",
            "git clone git@github.com:owner/repo.git && cd repo",
            "curl -fsSL http://localhost:8080/health | jq .status",
            "std::vector<std::string> names{\"a.b\", \"c.d\"};",
        };
        const int lines = 2 + pick(6);
        for (int i = 0; i < lines; ++i) {
            out += any(kLines);
            out += '\n';
        }
    }

    void linkList(QByteArray &out)
    {
        const int n = 1 + pick(5);
        for (int i = 0; i < n; ++i) {
            out += "- ";
            out += link();
            out += '\n';
        }
    }

    std::mt19937 m_random {20261206};
};

struct Case
{
    QString text;
    QString expected; // empty: no link
};

QList<Case> readCases(const QString &path)
{
    QList<Case> cases;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return cases;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        if (raw.isEmpty() || raw.startsWith('#'))
            continue;
        const QList<QByteArray> parts = raw.split('\t');
        const QString expected = parts.value(1) == "-" ? QString() : QString::fromUtf8(parts.value(1));
        cases.append({QString::fromUtf8(parts.value(0)), expected});
    }
    return cases;
}

QString ourFirstLink(const QString &text)
{
    const auto match = LinkDetector::findNext(text);
    return match ? text.mid(match->start, match->length) : QString();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    const QByteArray corpus = CorpusWriter().make(kCorpusBytes);
    const QString corpusPath = scratch.filePath(QStringLiteral("corpus.txt"));
    QFile corpusFile(corpusPath);
    if (!corpusFile.open(QIODevice::WriteOnly) || corpusFile.write(corpus) != corpus.size()) {
        std::fprintf(stderr, "cannot write the corpus\n");
        return 1;
    }
    corpusFile.close();

    const QString text = QString::fromUtf8(corpus);
    const double megabytes = double(corpus.size()) / (1024.0 * 1024.0);
    double best = 1e9;
    qsizetype ours = 0;
    for (int i = 0; i < kRepetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        ours = LinkDetector::findAll(text).size();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    const double ourRate = megabytes / best;
    std::printf("corpus: %.1f MB (UTF-8) of prose, code and links\n", megabytes);
    std::printf("LinkDetector: %.1f MB/s (best of %d, %.3f s), %lld links\n", ourRate, kRepetitions, best,
                static_cast<long long>(ours));

    const QList<Case> cases = readCases(kBenchDir + QStringLiteral("/link_cases.tsv"));
    int ourCorrect = 0;
    for (const Case &c : cases)
        ourCorrect += ourFirstLink(c.text) == c.expected;
    std::printf("LinkDetector cases: %d/%lld as labelled\n", ourCorrect,
                static_cast<long long>(cases.size()));

    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (node.isEmpty() || !QFile::exists(kBenchDir + QStringLiteral("/node_modules/linkify-it"))) {
        std::printf("linkify-it: not run (needs node and `npm install` in bench/ingest)\n");
        return 0;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(node,
                  {kBenchDir + QStringLiteral("/linkify_bench.js"), corpusPath,
                   kBenchDir + QStringLiteral("/link_cases.tsv"), QString::number(kRepetitions)});
    if (!process.waitForFinished(30 * 60 * 1000) || process.exitCode() != 0) {
        std::printf("linkify-it: failed to run\n");
        return 1;
    }
    const QJsonObject result = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    const double theirRate = megabytes / result.value(QStringLiteral("seconds")).toDouble();
    std::printf("linkify-it (fuzzy links): %.1f MB/s (best of %d), %lld links\n", theirRate, kRepetitions,
                static_cast<long long>(result.value(QStringLiteral("links")).toInteger()));
    std::printf("throughput ratio: %.1fx (target >= 3x)\n", ourRate / theirRate);

    const QJsonArray theirCases = result.value(QStringLiteral("cases")).toArray();
    int theirCorrect = 0;
    int agree = 0;
    QStringList disagreements;
    for (qsizetype i = 0; i < cases.size() && i < theirCases.size(); ++i) {
        const QString theirs = theirCases.at(i).toString();
        const QString mine = ourFirstLink(cases[i].text);
        theirCorrect += theirs == cases[i].expected;
        if (theirs == mine)
            ++agree;
        else
            disagreements << QStringLiteral("  %1 | ours: %2 | linkify-it: %3")
                                 .arg(cases[i].text, mine.isEmpty() ? QStringLiteral("-") : mine,
                                      theirs.isEmpty() ? QStringLiteral("-") : theirs);
    }
    std::printf("linkify-it cases: %d/%lld as labelled\n", theirCorrect,
                static_cast<long long>(cases.size()));
    std::printf("agreement on the cases: %d/%lld\n", agree, static_cast<long long>(cases.size()));
    for (const QString &line : disagreements)
        std::printf("%s\n", qPrintable(line));
    return 0;
}
