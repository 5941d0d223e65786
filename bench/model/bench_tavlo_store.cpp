// Store figures on a large state: 10,000 items over 10 tavlos, a third each files, links and
// text items with about 2 KB of RTF. Prints cold load time (in a fresh process), the GUI-thread
// time of single changes, the worker's encode and write time, and the disk traffic of a burst.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <functional>
#include <limits>

#include "ScratchHome.h"
#include "model/PersistenceWorker.h"
#include "model/StoredTavloItem.h"
#include "model/TavloStore.h"
#include "platform/AppPaths.h"
#include "platform/DurableFile.h"

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
    QDir(AppPaths::dataFolder()).removeRecursively();
    DurableFile::write(StoreFiles::path(StoreFiles::tavlosKey), StoredJson::encodeTavlos(tavlos));
    DurableFile::write(StoreFiles::path(StoreFiles::itemsKey), items);
    DurableFile::write(StoreFiles::path(StoreFiles::activeKey), uuidString(tavlos[3].id).toUtf8());
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

// The same records through Qt's own JSON reader, for comparison with StoredJson::decodeItems.
std::optional<QList<StoredTavloItem>> decodeWithQJson(const QByteArray &bytes)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<StoredTavloItem> records;
    const QJsonArray array = document.array();
    records.reserve(array.size());
    for (const QJsonValue &value : array) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject o = value.toObject();
        StoredTavloItem r;
        const auto id = StoredJson::parseUuid(o.value(QLatin1String("id")).toString());
        const QString kind = o.value(QLatin1String("kind")).toString();
        if (!id || kind.isEmpty())
            return std::nullopt;
        r.id = *id;
        r.kind = kind == QLatin1String("file") ? StoredTavloItem::Kind::file
            : kind == QLatin1String("text")    ? StoredTavloItem::Kind::text
                                               : StoredTavloItem::Kind::url;
        if (o.contains(QLatin1String("tavloID")))
            r.tavloID = StoredJson::parseUuid(o.value(QLatin1String("tavloID")).toString());
        const auto text = [&o](const char *key) -> std::optional<QString> {
            const QJsonValue v = o.value(QLatin1String(key));
            return v.isString() ? std::optional<QString>(v.toString()) : std::nullopt;
        };
        r.fileURLString = text("fileURLString");
        r.richTextPlainText = text("richTextPlainText");
        r.urlString = text("urlString");
        r.title = text("title");
        if (const auto rtf = text("richTextData"))
            r.richTextData = StoredJson::parseBase64(*rtf);
        records.append(std::move(r));
    }
    return records;
}

// Records to compact JSON through QJsonDocument, for comparison with StoredJson::encodeItems.
QByteArray encodeWithQJson(const QList<StoredTavloItem> &records)
{
    QJsonArray array;
    for (const StoredTavloItem &r : records) {
        QJsonObject o;
        o.insert(QLatin1String("id"), uuidString(r.id));
        if (r.tavloID)
            o.insert(QLatin1String("tavloID"), uuidString(*r.tavloID));
        o.insert(QLatin1String("kind"),
                 r.kind == StoredTavloItem::Kind::file       ? QStringLiteral("file")
                     : r.kind == StoredTavloItem::Kind::text ? QStringLiteral("text")
                                                             : QStringLiteral("url"));
        if (r.fileURLString)
            o.insert(QLatin1String("fileURLString"), *r.fileURLString);
        if (r.richTextData)
            o.insert(QLatin1String("richTextData"), QString::fromLatin1(r.richTextData->toBase64()));
        if (r.richTextPlainText)
            o.insert(QLatin1String("richTextPlainText"), *r.richTextPlainText);
        if (r.urlString)
            o.insert(QLatin1String("urlString"), *r.urlString);
        if (r.title)
            o.insert(QLatin1String("title"), *r.title);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

// Where cold load time goes: reading the item file, decoding the JSON, building the store.
int breakdownChild()
{
    QTextStream out(stdout);
    // First, what a start does before anything else has touched memory: map the file, decode it
    // and make the items, on the loading thread as the app does.
    QElapsedTimer timer;
    timer.start();
    qint64 cpu = threadCpuNs();
    qsizetype loadedCount = 0;
    {
        StoreFiles::preload();
        const std::optional<StoreFiles::Loaded> loaded = StoreFiles::takePreloaded();
        if (loaded && loaded->items)
            for (const auto &items : loaded->items->byTavlo)
                loadedCount += items.size();
    }
    const qint64 loadWallNs = timer.nsecsElapsed();
    out << "  first load in a fresh process, on the loading thread (map, decode, make the items; target 40 "
           "ms): "
        << loadWallNs / 1e6 << " ms wall (" << loadedCount << " items)" << Qt::endl;
    cpu = threadCpuNs();
    const QByteArray bytes = StoreFiles::read(StoreFiles::itemsKey).value_or(QByteArray());
    const qint64 readNs = threadCpuNs() - cpu;
    cpu = threadCpuNs();
    const auto records = StoredJson::decodeItems(bytes);
    const qint64 decodeNs = threadCpuNs() - cpu;
    // The readers side by side on the same bytes, each at its best of three.
    const auto best = [&bytes](auto decode, qsizetype *count) {
        qint64 fastest = std::numeric_limits<qint64>::max();
        for (int i = 0; i < 3; ++i) {
            const qint64 start = threadCpuNs();
            const auto decoded = decode(bytes);
            fastest = std::min(fastest, threadCpuNs() - start);
            *count = decoded ? decoded->size() : -1;
        }
        return fastest / 1e6;
    };
    qsizetype own = 0, qt = 0;
    const double ownMs = best(StoredJson::decodeItems, &own);
    const double qtMs = best(decodeWithQJson, &qt);
    out << "  JSON readers, CPU best of 3 (records): the store's (simdjson on demand) " << ownMs << " ms ("
        << own << "), QJsonDocument " << qtMs << " ms (" << qt << ")" << Qt::endl;
    QList<StoredTavloItem> sample = records.value_or(QList<StoredTavloItem>());
    const qint64 encodeStart = threadCpuNs();
    const QByteArray encoded = StoredJson::encodeItems(sample);
    const qint64 encodeNs = threadCpuNs() - encodeStart;
    const qint64 qjsonStart = threadCpuNs();
    const QByteArray viaQt = encodeWithQJson(sample);
    const qint64 qjsonNs = threadCpuNs() - qjsonStart;
    out << "  JSON writers, CPU: own encoder " << encodeNs / 1e6 << " ms (" << encoded.size() / 1e6
        << " MB); QJsonDocument " << qjsonNs / 1e6 << " ms (" << viaQt.size() / 1e6 << " MB)" << Qt::endl;
    out << "  then, CPU: file read into a buffer " << readNs / 1e6 << " ms, JSON decode to records "
        << decodeNs / 1e6 << " ms (" << (records ? records->size() : -1) << " records)" << Qt::endl;
    return 0;
}

// With `onThread`, the files are decoded on the loading thread, as the app does while it starts.
int loadChild(bool onThread)
{
    QElapsedTimer timer;
    timer.start();
    const qint64 cpu = threadCpuNs();
    if (onThread)
        StoreFiles::preload();
    TavloStore store(TavloStore::LoadLater {});
    store.finishLoading();
    const qint64 ns = timer.nsecsElapsed();
    QTextStream(stdout) << ns << ' ' << threadCpuNs() - cpu << Qt::endl;
    return store.allItemsByTavlo().size() == tavloCount ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The children for the cold figures inherit the parent's scratch folders.
    const bool child =
        argc > 1 && (std::strcmp(argv[1], "load") == 0 || std::strcmp(argv[1], "breakdown") == 0);
    const QTemporaryDir scratch;
    if (!child && !useScratchHome(scratch))
        return 1;
    QGuiApplication app(argc, argv);
    if (app.arguments().value(1) == QLatin1String("load"))
        return loadChild(app.arguments().contains(QLatin1String("--thread")));
    if (app.arguments().value(1) == QLatin1String("breakdown"))
        return breakdownChild();

    QTextStream out(stdout);
    const bool onlyLoad = app.arguments().contains(QLatin1String("--load-only"));
    const qint64 jsonBytes = writeFixture();
    const QString confPath = StoreFiles::path(StoreFiles::itemsKey);
    out << "fixture: " << tavloCount * itemsPerTavlo << " items over " << tavloCount << " tavlos, item file "
        << jsonBytes / 1e6 << " MB" << Qt::endl;

    // Cold load: a fresh process each time, so nothing is cached in this one.
    for (const bool onThread : {false, true}) {
        QList<qint64> loads;
        QList<qint64> loadsCpu;
        for (int i = 0; i < 5; ++i) {
            QProcess child;
            QStringList arguments {QStringLiteral("load")};
            if (onThread)
                arguments.append(QStringLiteral("--thread"));
            child.start(app.applicationFilePath(), arguments);
            if (!child.waitForFinished(120000) || child.exitCode() != 0) {
                out << "load child failed" << Qt::endl;
                return 1;
            }
            const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
            loads.append(figures.value(0).toLongLong());
            loadsCpu.append(figures.value(1).toLongLong());
        }
        if (!onThread)
            out << "cold load (tavlos, items, active tavlo; target 150 ms): median " << medianMs(loads)
                << " ms wall, " << medianMs(loadsCpu) << " ms CPU; max " << maxMs(loads) << " ms wall"
                << Qt::endl;
        else
            out << "  the same decoded on the loading thread, as at start-up: median " << medianMs(loads)
                << " ms wall; max " << maxMs(loads) << " ms wall" << Qt::endl;
    }
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
        const auto stats = store.persistenceWorker().stats();
        encodes.append(stats.lastEncodeNs);
        writes.append(stats.lastWriteNs);
        encodesCpu.append(stats.lastEncodeCpuNs);
        writesCpu.append(stats.lastWriteCpuNs);
    }
    out << "worker, whole list (target 60 ms CPU for encode, write and sync): encode median "
        << medianMs(encodes) << " ms wall, " << medianMs(encodesCpu) << " ms CPU; write + sync median "
        << medianMs(writes) << " ms wall, " << medianMs(writesCpu) << " ms CPU" << Qt::endl;

    // Burst of 1,000 addFile calls, as when a large folder selection is dropped.
    const auto before = store.persistenceWorker().stats();
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 1000; ++i)
        store.addFile(TavloUrl::fromLocalFile(QStringLiteral("/tmp/bench/burst-%1.dat").arg(i)));
    const qint64 guiNs = burst.nsecsElapsed();
    store.waitForPendingWrites(120000);
    const auto after = store.persistenceWorker().stats();
    const qint64 finalSize = QFileInfo(confPath).size();
    const quint64 written = after.bytesWritten - before.bytesWritten;
    out << "burst of 1,000 addFile: GUI thread " << guiNs / 1e6 << " ms in total; "
        << after.itemSnapshotsSubmitted - before.itemSnapshotsSubmitted << " snapshots submitted, "
        << after.itemSnapshotsWritten - before.itemSnapshotsWritten << " written; " << written / 1e6
        << " MB written for a final file of " << finalSize / 1e6
        << " MB = " << double(written) / double(finalSize) << " x (target at most 5 x)" << Qt::endl;
    return 0;
}
