#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>
#include <QVariant>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "model/TavloItem.h"

// Everything needed to write the item list, taken on the GUI thread. Copying it only shares the
// store's implicitly shared containers; the records and the JSON are built on the worker.
struct ItemsSnapshot
{
    QList<QUuid> tavloOrder; // groups are written in this order, then any others
    QHash<QUuid, QList<TavloItem>> itemsByTavlo;
};

// The store's serial persistence queue: one thread with its own QSettings that writes what it
// is given in submission order. A snapshot still waiting when a newer one for the same key
// arrives is skipped, since the newer one holds the whole state anyway.
class PersistenceWorker
{
public:
    struct Stats
    {
        quint64 itemSnapshotsSubmitted = 0;
        quint64 itemSnapshotsWritten = 0;
        quint64 valuesSubmitted = 0; // tavlo list and active id
        quint64 syncs = 0;
        quint64 bytesWritten = 0; // size of the settings file after each sync, summed
        qint64 lastEncodeNs = 0; // records + JSON of the last item snapshot
        qint64 lastWriteNs = 0; // setValue + sync of the last batch
        qint64 lastEncodeCpuNs = 0; // the same, as CPU time of the worker thread
        qint64 lastWriteCpuNs = 0;
        quint64 recoveryCopies = 0;
    };

    PersistenceWorker();
    // Writes what is still queued, then stops the thread.
    ~PersistenceWorker();

    PersistenceWorker(const PersistenceWorker &) = delete;
    PersistenceWorker &operator=(const PersistenceWorker &) = delete;

    void submitItems(const QString &key, ItemsSnapshot snapshot);
    void submitValue(const QString &key, const QVariant &value);

    // Before `key` is first overwritten, `bytes` (stored data that did not read) are copied to
    // a private file under the data folder's "Recovered" folder. Until that copy succeeds the
    // key is not overwritten.
    void preserveBeforeOverwrite(const QString &key, const QByteArray &bytes, const QString &label);

    // True once nothing is queued or being written; false when the timeout passed first.
    bool waitForIdle(int timeoutMs);

    Stats stats() const;

    // Holds queued work without writing it; lets tests and benchmarks pile up snapshots.
    void setPaused(bool paused);

    // While a Together lives, submissions wait, so that everything one store operation submits
    // reaches the file in a single sync: a process killed halfway leaves all of it or none.
    class Together
    {
    public:
        explicit Together(PersistenceWorker &worker);
        ~Together();
        Together(const Together &) = delete;
        Together &operator=(const Together &) = delete;

    private:
        PersistenceWorker &m_worker;
    };

    // The file name a recovery copy gets; exposed for tests.
    static QString recoveryFolder();

private:
    struct Recovery
    {
        QString key;
        QByteArray bytes;
        QString label;
    };

    void run();
    bool hasWork() const;
    bool writeRecovery(const Recovery &recovery);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<std::pair<QString, ItemsSnapshot>> m_pendingItems;
    QList<std::pair<QString, QVariant>> m_pendingValues;
    QList<Recovery> m_recoveries;
    bool m_busy = false;
    bool m_paused = false;
    int m_together = 0;
    bool m_stopping = false;
    Stats m_stats;
    std::thread m_thread;
};
