// Store figures on a large state: 10,000 items over 10 tavlos, a third each files, links and
// text items with about 2 KB of RTF. Prints cold load time (in a fresh process), the GUI-thread
// time of single changes, the worker's encode and write time, and the disk traffic of a burst.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <ctime>
#include <functional>

#include "model/PersistenceWorker.h"
#include "model/StoredTavloItem.h"
#include "model/TavloStore.h"
#include "platform/Defaults.h"

namespace {

constexpr int tavloCount = 10;
constexpr int itemsPerTavlo = 1000;

QByteArray sampleRtf(int n, QString *plain)
{
    QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}{\\f1\\fmodern Menlo;}}"
        "{\\colortbl;\\red0\\green0\\blue0;\\red200\\green30\\blue30;}\\f0\\fs24\\cf1 ";
    QString text;
    for (int line = 0; rtf.size() < 1950; ++line) {
        const QString words =
            QStringLiteral("Line %1 of snippet %2: the quick brown fox jumps over the lazy dog.")
                .arg(line)
                .arg(n);
        rtf += (line % 3 == 0 ? "{\\b " : "{\\cf2 ") + words.toLatin1() + "}\\par\n";
        text += words + u'\n';
    }
    rtf += '}';
    *plain = text;
    return rtf;
}

qint64 writeFixture()
{
    QList<StoredTavloDefinition> tavlos;
    QList<StoredTavloItem> records;
    for (int t = 0; t < tavloCount; ++t) {
        const StoredTavloDefinition tavlo {QUuid::createUuid(), QStringLiteral("Tavlo %1").arg(t)};
        tavlos.append(tavlo);
        for (int i = 0; i < itemsPerTavlo; ++i) {
            StoredTavloItem r;
            r.id = QUuid::createUuid();
            r.tavloID = tavlo.id;
            const int n = t * itemsPerTavlo + i;
            switch (i % 3) {
            case 0:
                r.kind = StoredTavloItem::Kind::file;
                r.fileURLString =
                    QStringLiteral("file:///home/user/Documents/Project%20%1/file-%2.pdf").arg(t).arg(n);
                break;
            case 1:
                r.kind = StoredTavloItem::Kind::url;
                r.urlString = QStringLiteral("https://www.example.com/articles/%1?ref=quorvin").arg(n);
                if (n % 2)
                    r.title = QStringLiteral("Article %1").arg(n);
                break;
            default: {
                r.kind = StoredTavloItem::Kind::text;
                QString plain;
                r.richTextData = sampleRtf(n, &plain);
                r.richTextPlainText = plain;
            }
            }
            records.append(r);
        }
    }
    const QByteArray items = StoredJson::encodeItems(records);
    auto settings = Defaults::open();
    settings->clear();
    settings->setValue(QStringLiteral("Quorvin.Tavlos.v1"), StoredJson::encodeTavlos(tavlos));
    settings->setValue(QStringLiteral("Quorvin.StoredItems.v2"), items);
    settings->setValue(QStringLiteral("Quorvin.ActiveTavloID.v1"), uuidString(tavlos[3].id));
    settings->sync();
    return items.size();
}

// CPU time of the calling thread: the machine is shared, so wall time alone overstates the cost.
qint64 threadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double medianMs(QList<qint64> ns)
{
    std::sort(ns.begin(), ns.end());
    return ns.isEmpty() ? 0 : ns[ns.size() / 2] / 1e6;
}

double maxMs(const QList<qint64> &ns)
{
    return ns.isEmpty() ? 0 : *std::max_element(ns.cbegin(), ns.cend()) / 1e6;
}

// GUI-thread time of one operation; the worker is idle before each call so it does not compete.
void timeChange(QTextStream &out, TavloStore &store, const char *name, const std::function<void(int)> &change)
{
    QList<qint64> times;
    QList<qint64> cpuTimes;
    for (int i = 0; i < 30; ++i) {
        store.waitForPendingWrites(60000);
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu = threadCpuNs();
        change(i);
        cpuTimes.append(threadCpuNs() - cpu);
        times.append(timer.nsecsElapsed());
    }
    store.waitForPendingWrites(60000);
    out << "  " << name << ": median " << medianMs(times) << " ms wall, " << medianMs(cpuTimes)
        << " ms CPU; max " << maxMs(times) << " ms wall, " << maxMs(cpuTimes) << " ms CPU" << Qt::endl;
}

// Where cold load time goes: reading the settings file, decoding the JSON, building the store.
int breakdownChild()
{
    QTextStream out(stdout);
    qint64 cpu = threadCpuNs();
    auto settings = Defaults::open();
    const QByteArray bytes = settings->value(QStringLiteral("Quorvin.StoredItems.v2")).toByteArray();
    const qint64 readNs = threadCpuNs() - cpu;
    cpu = threadCpuNs();
    const auto records = StoredJson::decodeItems(bytes);
    const qint64 decodeNs = threadCpuNs() - cpu;
    out << "  CPU: settings read " << readNs / 1e6 << " ms, JSON decode " << decodeNs / 1e6 << " ms ("
        << (records ? records->size() : -1) << " records)" << Qt::endl;
    return 0;
}

int loadChild()
{
    QElapsedTimer timer;
    timer.start();
    const qint64 cpu = threadCpuNs();
    TavloStore store;
    const qint64 ns = timer.nsecsElapsed();
    QTextStream(stdout) << ns << ' ' << threadCpuNs() - cpu << Qt::endl;
    return store.allItemsByTavlo().size() == tavloCount ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (app.arguments().value(1) == QLatin1String("load"))
        return loadChild();
    if (app.arguments().value(1) == QLatin1String("breakdown"))
        return breakdownChild();

    QTextStream out(stdout);
    const bool onlyLoad = app.arguments().contains(QLatin1String("--load-only"));
    const qint64 jsonBytes = writeFixture();
    const QString confPath = Defaults::open()->fileName();
    out << "fixture: " << tavloCount * itemsPerTavlo << " items over " << tavloCount << " tavlos, item JSON "
        << jsonBytes / 1e6 << " MB, settings file " << QFileInfo(confPath).size() / 1e6 << " MB" << Qt::endl;

    // Cold load: a fresh process each time, so nothing is cached in this one.
    QList<qint64> loads;
    QList<qint64> loadsCpu;
    for (int i = 0; i < 5; ++i) {
        QProcess child;
        child.start(app.applicationFilePath(), {QStringLiteral("load")});
        if (!child.waitForFinished(120000) || child.exitCode() != 0) {
            out << "load child failed" << Qt::endl;
            return 1;
        }
        const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
        loads.append(figures.value(0).toLongLong());
        loadsCpu.append(figures.value(1).toLongLong());
    }
    out << "cold load (tavlos, items, active tavlo; target 150 ms): median " << medianMs(loads)
        << " ms wall, " << medianMs(loadsCpu) << " ms CPU; max " << maxMs(loads) << " ms wall" << Qt::endl;
    {
        QProcess child;
        child.start(app.applicationFilePath(), {QStringLiteral("breakdown")});
        child.waitForFinished(120000);
        out << child.readAllStandardOutput();
    }

    if (onlyLoad)
        return 0;
    TavloStore store;
    store.waitForPendingWrites(60000);
    out << "GUI-thread time of one change on the active tavlo of 1,000 items (target 2 ms):" << Qt::endl;
    timeChange(out, store, "addURL", [&](int i) {
        store.addURL(*TavloUrl::parse(QStringLiteral("https://bench.example/%1").arg(i)));
    });
    timeChange(out, store, "addFile", [&](int i) {
        store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/bench/change-%1").arg(i)));
    });
    timeChange(out, store, "renameItem",
               [&](int i) { store.renameItem(store.items()[1].id, QStringLiteral("title %1").arg(i)); });
    timeChange(out, store, "addText (short)",
               [&](int i) { store.addText(QStringLiteral("note %1").arg(i)); });
    timeChange(out, store, "removeItem", [&](int) { store.removeItem(store.items().last().id); });
    timeChange(out, store, "selectTavlo",
               [&](int i) { store.selectTavlo(store.tavlos()[i % tavloCount].id); });

    QList<qint64> encodes;
    QList<qint64> writes;
    QList<qint64> encodesCpu;
    QList<qint64> writesCpu;
    for (int i = 0; i < 5; ++i) {
        store.addText(QStringLiteral("encode %1").arg(i));
        store.waitForPendingWrites(60000);
        const auto stats = store.persistenceQueue().stats();
        encodes.append(stats.lastEncodeNs);
        writes.append(stats.lastWriteNs);
        encodesCpu.append(stats.lastEncodeCpuNs);
        writesCpu.append(stats.lastWriteCpuNs);
    }
    out << "worker, whole list (target 150 ms for encode and write): encode median " << medianMs(encodes)
        << " ms wall, " << medianMs(encodesCpu) << " ms CPU; QSettings set + sync median " << medianMs(writes)
        << " ms wall, " << medianMs(writesCpu) << " ms CPU" << Qt::endl;

    // Burst of 1,000 addFile calls, as when a large folder selection is dropped.
    const auto before = store.persistenceQueue().stats();
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 1000; ++i)
        store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/bench/burst-%1.dat").arg(i)));
    const qint64 guiNs = burst.nsecsElapsed();
    store.waitForPendingWrites(120000);
    const auto after = store.persistenceQueue().stats();
    const qint64 finalSize = QFileInfo(confPath).size();
    const quint64 written = after.bytesWritten - before.bytesWritten;
    out << "burst of 1,000 addFile: GUI thread " << guiNs / 1e6 << " ms in total; "
        << after.itemSnapshotsSubmitted - before.itemSnapshotsSubmitted << " snapshots submitted, "
        << after.itemSnapshotsWritten - before.itemSnapshotsWritten << " written; " << written / 1e6
        << " MB written for a final file of " << finalSize / 1e6
        << " MB = " << double(written) / double(finalSize) << " x (target at most 5 x)" << Qt::endl;
    return 0;
}
