#include "model/PersistenceWorker.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include "model/StoredTavloItem.h"
#include "platform/AppPaths.h"
#include "platform/DurableFile.h"
#include "platform/HeapReserve.h"
#include "platform/MappedFile.h"
#include "platform/SaveStatus.h"
#include "platform/SettingsFile.h"

#include <algorithm>
#include <ctime>

namespace {

const QString statusSource = QStringLiteral("store");

qint64 threadCpuNs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

QByteArray encodeSnapshot(const ItemsSnapshot &snapshot)
{
    QList<StoredTavloItem> records;
    qsizetype count = 0;
    for (const auto &list : snapshot.itemsByTavlo)
        count += list.size();
    records.reserve(count);
    const auto appendGroup = [&records](const QUuid &tavloID, const QList<TavloItem> &items) {
        for (const TavloItem &item : items)
            records.append(StoredTavloItem::fromItem(item, tavloID));
    };
    for (const QUuid &id : snapshot.tavloOrder) {
        const auto it = snapshot.itemsByTavlo.constFind(id);
        if (it != snapshot.itemsByTavlo.constEnd())
            appendGroup(id, *it);
    }
    for (auto it = snapshot.itemsByTavlo.constBegin(); it != snapshot.itemsByTavlo.constEnd(); ++it) {
        if (!snapshot.tavloOrder.contains(it.key()))
            appendGroup(it.key(), it.value());
    }
    return StoredJson::encodeItems(records);
}

bool fileHolds(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.size() != bytes.size() || !file.open(QIODevice::ReadOnly))
        return false;
    return file.readAll() == bytes;
}

// The tavlos on disk, renamed as in `next`, followed by the ones `next` adds: written before an
// item list that files items under new tavlos, it never loses a tavlo the old item list needs.
QList<StoredTavloDefinition> unionOf(const QList<StoredTavloDefinition> &stored,
                                     const QList<StoredTavloDefinition> &next)
{
    QList<StoredTavloDefinition> all = stored;
    for (auto &tavlo : all) {
        for (const auto &renamed : next) {
            if (renamed.id == tavlo.id)
                tavlo.name = renamed.name;
        }
    }
    for (const auto &tavlo : next) {
        if (std::none_of(all.cbegin(), all.cend(), [&](const auto &t) { return t.id == tavlo.id; }))
            all.append(tavlo);
    }
    return all;
}

// A bookmark carried over from older data holds its file URL as UTF-8 text.
std::optional<TavloUrl> resolveBookmark(const QByteArray &bookmark)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bookmark);
    if (decoder.hasError())
        return std::nullopt;
    auto url = TavloUrl::parse(text);
    if (!url || !url->isFileURL())
        return std::nullopt;
    return url;
}

// The item a record stands for; nothing for a record that no longer makes one. A text item of
// older data that kept only its characters is returned with no RTF and `plainTextOnly` set.
std::optional<TavloItemKind> itemKind(const StoredTavloItem &stored, bool &plainTextOnly)
{
    plainTextOnly = false;
    switch (stored.kind) {
    case StoredTavloItem::Kind::file: {
        if (stored.fileURLString) {
            const auto url = TavloUrl::parse(*stored.fileURLString);
            if (url && url->isFileURL())
                return FileItemKind {url->standardizedFileURL(), QByteArray()};
        }
        if (!stored.bookmarkData)
            return std::nullopt;
        if (const auto url = resolveBookmark(*stored.bookmarkData))
            return FileItemKind {*url, *stored.bookmarkData};
        return std::nullopt;
    }
    case StoredTavloItem::Kind::text:
        if (stored.richTextData) {
            const QString plain = stored.richTextPlainText.value_or(stored.text.value_or(QString()));
            return TextItemKind {RichTextPayload {*stored.richTextData, plain}, stored.title};
        }
        if (stored.text && !stored.text->isEmpty()) {
            plainTextOnly = true;
            return TextItemKind {RichTextPayload {QByteArray(), *stored.text}, stored.title};
        }
        return std::nullopt;
    case StoredTavloItem::Kind::url:
        if (stored.urlString) {
            if (const auto url = TavloUrl::parse(*stored.urlString))
                return UrlItemKind {*url, stored.title};
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// Records filed under a tavlo that is not in `tavloIDs` go to the first one.
std::optional<StoreFiles::LoadedItems> readItems(QByteArrayView json, const QList<QUuid> &tavloIDs)
{
    StoreFiles::LoadedItems loaded;
    for (const QUuid &id : tavloIDs)
        loaded.byTavlo.insert(id, {});
    const QUuid fallback = tavloIDs.first();
    const bool ok = StoredJson::forEachItem(json, true, [&](StoredTavloItem &&stored) {
        const QUuid target =
            stored.tavloID && loaded.byTavlo.contains(*stored.tavloID) ? *stored.tavloID : fallback;
        bool plainTextOnly = false;
        auto kind = itemKind(stored, plainTextOnly);
        if (!kind) {
            loaded.cleaned = true;
            return true;
        }
        TavloItem item {stored.id, std::move(*kind)};
        QList<TavloItem> &list = loaded.byTavlo[target];
        if (plainTextOnly)
            loaded.plainTextOnly.append({target, list.size()});
        // When every record reads back as it would be written, loading need not write at all.
        loaded.cleaned =
            loaded.cleaned || plainTextOnly || !(StoredTavloItem::fromItem(item, target) == stored);
        list.append(std::move(item));
        return true;
    });
    if (!ok)
        return std::nullopt;
    return loaded;
}

} // namespace

namespace StoreFiles {

QString path(const QString &key)
{
    return AppPaths::dataFolder() + u'/' + key;
}

std::optional<QByteArray> read(const QString &key)
{
    QFile file(path(key));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Spare room after the bytes lets the JSON reader parse them where they are, without a copy.
    const qsizetype expected = qsizetype(file.size());
    QByteArray bytes;
    bytes.reserve(expected + qsizetype(StoredJson::readerPadding));
    bytes.resize(expected);
    const qint64 got = file.read(bytes.data(), expected);
    bytes.resize(qsizetype(std::max<qint64>(got, 0)));
    if (!file.atEnd())
        bytes += file.readAll(); // it grew while we read
    return bytes;
}

void moveFromSettings()
{
    auto settings = SettingsFile::open();
    const QStringList keys {itemsKey, tavlosKey, activeKey};
    bool any = false;
    for (const QString &key : keys) {
        if (!settings->contains(key))
            continue;
        any = true;
        if (QFileInfo::exists(path(key)))
            continue;
        const QVariant value = settings->value(key);
        const QByteArray bytes =
            value.typeId() == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
        // Until every file is on disk the settings keep their copy, whatever happens.
        if (!DurableFile::write(path(key), bytes).ok())
            return;
    }
    if (!any)
        return;
    for (const QString &key : keys)
        settings->remove(key);
    settings->sync();
}

Loaded load()
{
    Loaded loaded;
    loaded.defaultTavloID = QUuid::createUuid();
    loaded.lock = std::make_unique<DataFolderLock>();
    if (!loaded.lock->owned())
        return loaded;
    moveFromSettings();
    if (auto bytes = read(tavlosKey)) {
        loaded.tavlos = StoredJson::decodeTavlos(*bytes);
        if (!loaded.tavlos)
            loaded.tavlosBytes = std::move(bytes);
    }
    QList<QUuid> tavloIDs;
    for (const StoredTavloDefinition &tavlo : loaded.tavlos.value_or(QList<StoredTavloDefinition>()))
        tavloIDs.append(tavlo.id);
    if (tavloIDs.isEmpty())
        tavloIDs.append(loaded.defaultTavloID);
    // Mapped rather than read: the parser works on the cached pages themselves.
    if (const auto file = MappedFile::open(path(itemsKey), StoredJson::readerPadding)) {
        loaded.items = readItems(file->bytes(), tavloIDs);
        if (!loaded.items)
            loaded.itemsBytes = file->bytes().toByteArray();
    }
    loaded.active = read(activeKey);
    return loaded;
}

namespace {

std::future<Loaded> &preloaded()
{
    static std::future<Loaded> future;
    return future;
}

} // namespace

void preload()
{
    preloaded() = std::async(std::launch::async, [] {
        // A new thread's heap: ready it for the items, about 1.25 times the file's size. (The
        // main thread's heap grows in large steps already; there it would only cost time.)
        HeapReserve::prepare(std::size_t(std::max<qint64>(QFileInfo(path(itemsKey)).size(), 0)) / 4 * 5);
        return load();
    });
}

std::optional<Loaded> takePreloaded()
{
    if (!preloaded().valid())
        return std::nullopt;
    return preloaded().get();
}

} // namespace StoreFiles

PersistenceWorker::PersistenceWorker() : m_thread([this] { run(); }) { }

PersistenceWorker::~PersistenceWorker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_paused = false;
    }
    m_wake.notify_all();
    m_thread.join();
}

void PersistenceWorker::submitItems(ItemsSnapshot snapshot)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending.items.emplace(std::move(snapshot));
        m_pending.itemsBytes.reset();
        ++m_stats.itemSnapshotsSubmitted;
        m_retryAt = {}; // a failed write is tried again at once with the newer state
    }
    m_wake.notify_one();
}

void PersistenceWorker::submitTavlos(const QList<StoredTavloDefinition> &tavlos)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending.tavlos = tavlos;
        ++m_stats.valuesSubmitted;
        m_retryAt = {};
    }
    m_wake.notify_one();
}

void PersistenceWorker::submitActiveTavlo(const QUuid &id)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending.active = id;
        ++m_stats.valuesSubmitted;
        m_retryAt = {};
    }
    m_wake.notify_one();
}

void PersistenceWorker::setStoredTavlos(const QList<StoredTavloDefinition> &tavlos)
{
    std::lock_guard lock(m_mutex);
    m_storedTavlos = tavlos;
}

void PersistenceWorker::preserveBeforeOverwrite(const QString &key, const QByteArray &bytes,
                                                const QString &label)
{
    std::lock_guard lock(m_mutex);
    m_recoveries.append({key, bytes, label});
}

bool PersistenceWorker::waitForIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    // Someone is waiting for the disk: a failed write need not sit out its back-off.
    m_retryAt = {};
    const quint64 attempts = m_attempts;
    m_wake.notify_one();
    m_idle.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)), [&] {
        return !m_busy && (m_paused || !hasWork() || (!m_failure.isEmpty() && m_attempts > attempts));
    });
    return !m_busy && !hasWork();
}

QString PersistenceWorker::failure() const
{
    std::lock_guard lock(m_mutex);
    return m_failure;
}

QStringList PersistenceWorker::unsaved() const
{
    std::lock_guard lock(m_mutex);
    QStringList parts;
    if (m_pending.items || m_pending.itemsBytes)
        parts.append(QStringLiteral("the items"));
    if (m_pending.tavlos)
        parts.append(QStringLiteral("the tavlo list"));
    if (m_pending.active)
        parts.append(QStringLiteral("the active tavlo"));
    return parts;
}

PersistenceWorker::Stats PersistenceWorker::stats() const
{
    std::lock_guard lock(m_mutex);
    return m_stats;
}

void PersistenceWorker::setPaused(bool paused)
{
    {
        std::lock_guard lock(m_mutex);
        m_paused = paused;
    }
    m_wake.notify_all();
    m_idle.notify_all();
}

QString PersistenceWorker::recoveryFolder()
{
    return AppPaths::dataFolder() + QStringLiteral("/Recovered");
}

bool PersistenceWorker::hasWork() const
{
    return m_pending.items || m_pending.itemsBytes || m_pending.tavlos || m_pending.active;
}

QString PersistenceWorker::keepRecoveries(const QString &key)
{
    QList<Recovery> waiting;
    {
        std::lock_guard lock(m_mutex);
        for (const Recovery &r : std::as_const(m_recoveries)) {
            if (r.key == key)
                waiting.append(r);
        }
    }
    for (const Recovery &recovery : std::as_const(waiting)) {
        const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        const QString name = QStringLiteral("%1-%2.dat").arg(recovery.label, stamp);
        DurableFile::Options once;
        once.replace = false;
        // The usual place, then beside the data file, which is about to be written anyway.
        DurableFile::Result result = DurableFile::write(recoveryFolder() + u'/' + name, recovery.bytes, once);
        for (int n = 2; result.error == EEXIST && n < 100; ++n)
            result = DurableFile::write(recoveryFolder() + u'/' + QString::number(n) + u'-' + name,
                                        recovery.bytes, once);
        if (!result.ok()) {
            result = DurableFile::write(AppPaths::dataFolder() + QStringLiteral("/Recovered-") + name,
                                        recovery.bytes, once);
        }
        if (!result.ok())
            return QStringLiteral("%1 (keeping a copy of unreadable data)").arg(result.reason);
        std::lock_guard lock(m_mutex);
        m_recoveries.removeIf([&](const Recovery &r) {
            return r.key == recovery.key && r.label == recovery.label && r.bytes == recovery.bytes;
        });
        ++m_stats.recoveryCopies;
    }
    return {};
}

QString PersistenceWorker::writeKey(const QString &key, const QByteArray &bytes, bool *changed)
{
    const QString target = StoreFiles::path(key);
    // Loading writes back what it read; an unchanged list need not be written again.
    if (fileHolds(target, bytes))
        return {};
    if (QString error = keepRecoveries(key); !error.isEmpty())
        return error;
    const DurableFile::Result result = DurableFile::write(target, bytes);
    if (!result.ok())
        return result.reason;
    *changed = true;
    std::lock_guard lock(m_mutex);
    m_stats.bytesWritten += quint64(bytes.size());
    return {};
}

// Every state between two files is one the user could have made: tavlos that items are filed
// under reach the disk before those items, and a deleted tavlo's items leave before the tavlo.
QString PersistenceWorker::writeBatch(Batch &batch, bool *changed)
{
    if (batch.tavlos && batch.itemsBytes) {
        // With only removals this is the list on disk already, and the items simply go first.
        const auto all = unionOf(m_storedTavlos, *batch.tavlos);
        if (all != m_storedTavlos) {
            if (QString error = writeKey(StoreFiles::tavlosKey, StoredJson::encodeTavlos(all), changed);
                !error.isEmpty())
                return error;
            m_storedTavlos = all;
        }
    }
    if (batch.itemsBytes) {
        bool wrote = false;
        if (QString error = writeKey(StoreFiles::itemsKey, *batch.itemsBytes, &wrote); !error.isEmpty())
            return error;
        batch.itemsBytes.reset();
        if (wrote) {
            *changed = true;
            std::lock_guard lock(m_mutex);
            ++m_stats.itemSnapshotsWritten;
        }
    }
    if (batch.tavlos) {
        if (QString error = writeKey(StoreFiles::tavlosKey, StoredJson::encodeTavlos(*batch.tavlos), changed);
            !error.isEmpty())
            return error;
        m_storedTavlos = *batch.tavlos;
        batch.tavlos.reset();
    }
    if (batch.active) {
        if (QString error = writeKey(StoreFiles::activeKey, uuidString(*batch.active).toUtf8(), changed);
            !error.isEmpty())
            return error;
        batch.active.reset();
    }
    return {};
}

// What a failed batch did not write waits again, unless something newer has arrived meanwhile.
void PersistenceWorker::putBack(Batch &batch)
{
    if (batch.itemsBytes && !m_pending.items && !m_pending.itemsBytes)
        m_pending.itemsBytes = std::move(batch.itemsBytes);
    if (batch.tavlos && !m_pending.tavlos)
        m_pending.tavlos = std::move(batch.tavlos);
    if (batch.active && !m_pending.active)
        m_pending.active = batch.active;
}

PersistenceWorker::Together::Together(PersistenceWorker &worker) : m_worker(worker)
{
    std::lock_guard lock(m_worker.m_mutex);
    ++m_worker.m_together;
}

PersistenceWorker::Together::~Together()
{
    {
        std::lock_guard lock(m_worker.m_mutex);
        --m_worker.m_together;
    }
    m_worker.m_wake.notify_one();
}

void PersistenceWorker::run()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(m_mutex);
    while (true) {
        const auto ready = [this] {
            return !m_paused && m_together == 0 && hasWork() && Clock::now() >= m_retryAt;
        };
        while (!m_stopping && !ready()) {
            if (!m_paused && hasWork() && m_retryAt > Clock::now())
                m_wake.wait_until(lock, m_retryAt);
            else
                m_wake.wait(lock);
        }
        if (!hasWork())
            break; // stopping
        Batch batch = std::move(m_pending);
        m_pending = {};
        m_busy = true;
        lock.unlock();

        QElapsedTimer timer;
        qint64 encodeNs = -1;
        qint64 encodeCpuNs = 0;
        if (batch.items) {
            const qint64 cpu = threadCpuNs();
            timer.start();
            batch.itemsBytes = encodeSnapshot(*batch.items);
            batch.items.reset();
            encodeNs = timer.nsecsElapsed();
            encodeCpuNs = threadCpuNs() - cpu;
        }
        timer.start();
        const qint64 cpu = threadCpuNs();
        bool changed = false;
        const QString error = writeBatch(batch, &changed);
        const qint64 writeNs = timer.nsecsElapsed();
        const qint64 writeCpuNs = threadCpuNs() - cpu;

        if (error.isEmpty())
            SaveStatus::instance().clear(statusSource);
        else
            SaveStatus::instance().report(statusSource, error, AppPaths::dataFolder());

        lock.lock();
        ++m_attempts;
        if (encodeNs >= 0) {
            m_stats.lastEncodeNs = encodeNs;
            m_stats.lastEncodeCpuNs = encodeCpuNs;
        }
        if (changed) {
            ++m_stats.syncs;
            m_stats.lastWriteNs = writeNs;
            m_stats.lastWriteCpuNs = writeCpuNs;
        }
        if (error.isEmpty()) {
            m_failure.clear();
            m_backoffMs = 0;
        } else {
            putBack(batch);
            ++m_stats.failures;
            m_failure = error;
            m_backoffMs = std::min(std::max(500, m_backoffMs * 2), 60000);
            m_retryAt = Clock::now() + std::chrono::milliseconds(m_backoffMs);
        }
        m_busy = false;
        m_idle.notify_all();
        if (m_stopping && !error.isEmpty())
            break; // one last attempt was all there was time for
    }
    m_idle.notify_all();
}
