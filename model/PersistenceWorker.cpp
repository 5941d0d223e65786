#include "model/PersistenceWorker.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSaveFile>

#include "model/StoredTavloItem.h"
#include "platform/Defaults.h"

#include <chrono>
#include <ctime>

namespace {

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

} // namespace

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

void PersistenceWorker::submitItems(const QString &key, ItemsSnapshot snapshot)
{
    {
        std::lock_guard lock(m_mutex);
        m_pendingItems.emplace(key, std::move(snapshot));
        ++m_stats.itemSnapshotsSubmitted;
    }
    m_wake.notify_one();
}

void PersistenceWorker::submitValue(const QString &key, const QVariant &value)
{
    {
        std::lock_guard lock(m_mutex);
        ++m_stats.valuesSubmitted;
        bool replaced = false;
        for (auto &pending : m_pendingValues) {
            if (pending.first == key) {
                pending.second = value;
                replaced = true;
            }
        }
        if (!replaced)
            m_pendingValues.append({key, value});
    }
    m_wake.notify_one();
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
    return m_idle.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)), [this] {
        return !m_busy && (m_paused || !hasWork());
    }) && !hasWork();
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
    return m_pendingItems.has_value() || !m_pendingValues.isEmpty();
}

bool PersistenceWorker::writeRecovery(const Recovery &recovery)
{
    const QString folder = recoveryFolder();
    if (!QDir().mkpath(folder))
        return false;
    AppPaths::makePrivate(folder);
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString path = QStringLiteral("%1/%2-%3.dat").arg(folder, recovery.label, stamp);
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1/%2-%3-%4.dat").arg(folder, recovery.label, stamp).arg(n);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    AppPaths::makePrivate(file.fileName());
    if (file.write(recovery.bytes) != recovery.bytes.size() || !file.commit())
        return false;
    AppPaths::makePrivate(path);
    return true;
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
    const auto settings = Defaults::open();
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] { return m_stopping || (!m_paused && m_together == 0 && hasWork()); });
        if (!hasWork()) {
            if (m_stopping)
                break;
            continue;
        }
        auto items = std::move(m_pendingItems);
        m_pendingItems.reset();
        auto values = std::move(m_pendingValues);
        m_pendingValues.clear();
        m_busy = true;
        lock.unlock();

        QElapsedTimer timer;
        qint64 cpu = threadCpuNs();
        qint64 encodeCpuNs = 0;
        qint64 encodeNs = -1;
        QString itemsKey;
        if (items) {
            itemsKey = items->first;
            timer.start();
            values.prepend({items->first, encodeSnapshot(items->second)});
            encodeNs = timer.nsecsElapsed();
            encodeCpuNs = threadCpuNs() - cpu;
            items.reset();
        }

        // Stored data that did not read is copied aside before its key is overwritten.
        lock.lock();
        QList<Recovery> recoveries = m_recoveries;
        lock.unlock();
        QStringList blockedKeys;
        QList<Recovery> saved;
        for (const Recovery &recovery : recoveries) {
            const bool touched = std::any_of(values.cbegin(), values.cend(),
                                             [&](const auto &v) { return v.first == recovery.key; });
            if (!touched)
                continue;
            if (writeRecovery(recovery))
                saved.append(recovery);
            else
                blockedKeys.append(recovery.key);
        }

        timer.start();
        cpu = threadCpuNs();
        bool wrote = false;
        bool wroteItems = false;
        settings->sync(); // picks up the file as it is now, should someone else have changed it
        for (const auto &[key, value] : values) {
            if (blockedKeys.contains(key))
                continue;
            // Loading writes back what it read; an unchanged value need not rewrite the file.
            if (settings->contains(key) && settings->value(key) == value)
                continue;
            settings->setValue(key, value);
            wrote = true;
            wroteItems = wroteItems || (encodeNs >= 0 && key == itemsKey);
        }
        qint64 size = 0;
        if (wrote) {
            Defaults::flush(*settings);
            AppPaths::makePrivate(settings->fileName());
            size = QFileInfo(settings->fileName()).size();
        }
        const qint64 writeNs = timer.nsecsElapsed();
        const qint64 writeCpuNs = threadCpuNs() - cpu;

        lock.lock();
        for (const Recovery &done : saved) {
            m_recoveries.removeIf([&](const Recovery &r) {
                return r.key == done.key && r.label == done.label && r.bytes == done.bytes;
            });
            ++m_stats.recoveryCopies;
        }
        if (wrote) {
            ++m_stats.syncs;
            m_stats.bytesWritten += quint64(size);
            m_stats.lastWriteNs = writeNs;
            m_stats.lastWriteCpuNs = writeCpuNs;
        }
        if (encodeNs >= 0) {
            m_stats.lastEncodeNs = encodeNs;
            m_stats.lastEncodeCpuNs = encodeCpuNs;
            if (wroteItems)
                ++m_stats.itemSnapshotsWritten;
        }
        m_busy = false;
        m_idle.notify_all();
    }
    m_idle.notify_all();
}
