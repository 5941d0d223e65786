#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "model/StoredTavloItem.h"
#include "model/TavloItem.h"
#include "platform/DataFolderLock.h"

// Everything needed to write the item list, taken on the GUI thread. Copying it only shares the
// store's implicitly shared containers; the records and the JSON are built on the worker.
struct ItemsSnapshot
{
    QList<QUuid> tavloOrder; // groups are written in this order, then any others
    QHash<QUuid, QList<TavloItem>> itemsByTavlo;
};

// The store's data files: one per stored list, named as its key, in the data folder.
namespace StoreFiles {

inline const QString itemsKey = QStringLiteral("Quorvin.StoredItems.v2");
inline const QString tavlosKey = QStringLiteral("Quorvin.Tavlos.v1");
inline const QString activeKey = QStringLiteral("Quorvin.ActiveTavloID.v1");

QString path(const QString &key);
// The file's bytes; nothing when there is no such file.
std::optional<QByteArray> read(const QString &key);

// Older versions kept the three lists in the settings file. Each is written to its file first
// and removed from the settings only once every file is safely on disk; a file that exists
// already is newer than the settings' copy and is kept.
void moveFromSettings();

// What the store starts from: the lock on the data folder and the files, read and decoded.
// The item file's records, already made into items and filed under the tavlos they belong to.
struct LoadedItems
{
    QHash<QUuid, QList<TavloItem>> byTavlo; // a list for every tavlo, empty ones included
    // Text items of older data that kept only their characters: their RTF is made on the GUI
    // thread (tavlo, index), where documents may be laid out.
    QList<std::pair<QUuid, qsizetype>> plainTextOnly;
    // Some record would be written back differently (or was dropped), so loading ends with a write.
    bool cleaned = false;
};

struct Loaded
{
    std::unique_ptr<DataFolderLock> lock;
    std::optional<QByteArray> tavlosBytes; // kept only when they did not decode
    std::optional<QList<StoredTavloDefinition>> tavlos;
    QUuid defaultTavloID; // the one tavlo when no tavlo list reads
    std::optional<QByteArray> itemsBytes; // the same
    std::optional<LoadedItems> items;
    std::optional<QByteArray> active;
};

// Takes the lock and, when it is ours, moves older data in and reads the files.
Loaded load();

// Starts load() on a thread of its own, so the files are decoded while the window is built.
void preload();
// The preloaded result, once; nothing when preload() was not called.
std::optional<Loaded> takePreloaded();

} // namespace StoreFiles

// The store's serial persistence worker: one thread that writes the data files in submission
// order. A snapshot still waiting when a newer one arrives is skipped, since the newer one holds
// the whole state anyway. A write that fails stays pending with the newest state and is tried
// again on the next change and on a timer that backs off.
class PersistenceWorker
{
public:
    struct Stats
    {
        quint64 itemSnapshotsSubmitted = 0;
        quint64 itemSnapshotsWritten = 0;
        quint64 valuesSubmitted = 0; // tavlo list and active id
        quint64 syncs = 0; // batches that changed at least one file
        quint64 bytesWritten = 0;
        quint64 failures = 0;
        qint64 lastEncodeNs = 0; // records + JSON of the last item snapshot
        qint64 lastWriteNs = 0; // writing and syncing the files of the last batch
        qint64 lastEncodeCpuNs = 0; // the same, as CPU time of the worker thread
        qint64 lastWriteCpuNs = 0;
        quint64 recoveryCopies = 0;
    };

    PersistenceWorker();
    // Writes what is still queued (one attempt), then stops the thread.
    ~PersistenceWorker();

    PersistenceWorker(const PersistenceWorker &) = delete;
    PersistenceWorker &operator=(const PersistenceWorker &) = delete;

    void submitItems(ItemsSnapshot snapshot);
    void submitTavlos(const QList<StoredTavloDefinition> &tavlos);
    void submitActiveTavlo(const QUuid &id);

    // The tavlo list as the file held it at load, so that later writes can be ordered safely.
    void setStoredTavlos(const QList<StoredTavloDefinition> &tavlos);

    // Before `key` is first overwritten, `bytes` (stored data that did not read) are copied to
    // a private file under the data folder's "Recovered" folder, or next to the data file when
    // that folder cannot be made. Until a copy succeeds the key is not overwritten.
    void preserveBeforeOverwrite(const QString &key, const QByteArray &bytes, const QString &label);

    // True once nothing is queued, being written or unsaved; false when the timeout passed
    // first or a write failed and its retry failed as well.
    bool waitForIdle(int timeoutMs);

    // Why the last attempt failed and what it left unsaved; empty while everything is saved.
    QString failure() const;
    QStringList unsaved() const;

    Stats stats() const;

    // Holds queued work without writing it; lets tests and benchmarks pile up snapshots.
    void setPaused(bool paused);

    // While a Together lives, submissions wait, so that everything one store operation submits
    // is written in one batch, in the order that keeps every in-between state a valid one.
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

    static QString recoveryFolder();

private:
    struct Recovery
    {
        QString key;
        QByteArray bytes;
        QString label;
    };
    struct Batch
    {
        std::optional<ItemsSnapshot> items;
        std::optional<QByteArray> itemsBytes; // encoded already by an attempt that failed
        std::optional<QList<StoredTavloDefinition>> tavlos;
        std::optional<QUuid> active;
    };

    void run();
    bool hasWork() const;
    // Writes one file unless it holds these bytes already; empty on success, else the reason.
    QString writeKey(const QString &key, const QByteArray &bytes, bool *changed);
    QString writeBatch(Batch &batch, bool *changed);
    QString keepRecoveries(const QString &key);
    void putBack(Batch &batch);

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    Batch m_pending;
    QList<Recovery> m_recoveries;
    QList<StoredTavloDefinition> m_storedTavlos; // worker thread only, after load
    QString m_failure;
    std::chrono::steady_clock::time_point m_retryAt;
    int m_backoffMs = 0;
    quint64 m_attempts = 0;
    bool m_busy = false;
    bool m_paused = false;
    int m_together = 0;
    bool m_stopping = false;
    Stats m_stats;
    std::thread m_thread;
};
