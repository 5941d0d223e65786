#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <variant>

#include "model/TavloItem.h"
#include "richtext/RichText.h"

class DataFolderLock;
class PersistenceWorker;
namespace StoreFiles {
struct Loaded;
}
struct StoredTavloItem;

// The one owner of all items and tavlos. Lives on the GUI thread; every operation runs to
// completion there, keeps items() equal to the active tavlo's list, and persists what it changed.
// Inputs that do not qualify are ignored silently.
class TavloStore : public QObject
{
    Q_OBJECT

public:
    // Loads tavlos, items and the active tavlo from the data files.
    explicit TavloStore(QObject *parent = nullptr);
    // Leaves the data files to finishLoading(), so windows can be built while the loading
    // thread decodes them. Until then the store is empty and writes nothing.
    struct LoadLater
    { };
    explicit TavloStore(LoadLater, QObject *parent = nullptr);
    ~TavloStore() override;

    // Takes what the data files held, waiting for the loading thread if it is still busy, and
    // publishes it. Later calls do nothing.
    void finishLoading();

    const QList<TavloItem> &items() const { return m_items; }
    const QList<StoredTavloDefinition> &tavlos() const { return m_tavlos; }
    QUuid activeTavloID() const { return m_activeTavloID; }
    QString activeTavloName() const;
    const QHash<QUuid, QList<TavloItem>> &allItemsByTavlo() const { return m_allItemsByTavlo; }

    void selectTavlo(const QUuid &id);
    void createTavlo(const QString &name);
    void renameActiveTavlo(const QString &name);
    void deleteActiveTavlo();

    void addFile(const TavloUrl &url);
    void addURL(const TavloUrl &url, const std::optional<QString> &title = std::nullopt);
    void addText(const QString &text);
    void addRichText(const RichText &richText);

    // What addText or addRichText would add: nothing, a link, or a text item's payload. Worked
    // out on any thread, so a large text never reaches the GUI thread as a document.
    using PreparedText = std::variant<std::monostate, TavloUrl, RichTextPayload>;
    // A plain text never becomes a document: its RTF is written straight from the characters,
    // so a text of many megabytes is ready in a fraction of a second. Pass it by move.
    static PreparedText prepareText(QString text);
    static PreparedText prepareRichText(const RichText &richText);
    // The GUI-thread half of addText and addRichText: only the append and its publication.
    void addPreparedText(PreparedText prepared);

    // Item operations made while a batch is open publish `itemsChanged` and write the item
    // list once, when the outermost batch closes: a slice of a large drop then costs the views
    // one list update instead of one per item. Each operation still runs in full and in order
    // on items(); allItemsByTavlo() catches up when the batch closes or a tavlo operation runs.
    class ItemBatch
    {
    public:
        explicit ItemBatch(TavloStore &store);
        ~ItemBatch();
        ItemBatch(const ItemBatch &) = delete;
        ItemBatch &operator=(const ItemBatch &) = delete;

    private:
        TavloStore &m_store;
    };

    void removeItem(const QUuid &id);
    void renameItem(const QUuid &id, const QString &title);
    void updateItemText(const QUuid &id, const RichText &richText);
    void clearActiveTavlo();

    // Blocks until every submitted item write is on disk, or the timeout passes.
    // Returns false on timeout. Called at shutdown.
    bool waitForPendingWrites(int timeoutMs = 5000);

    // The serial writer of the item list and the other keys; tests and benchmarks look at it.
    PersistenceWorker &persistenceWorker() const { return *m_persistenceWorker; }

    static std::optional<TavloUrl> linkFromText(const QString &text);
    static std::optional<QString> normalizedTitle(const std::optional<QString> &title);
    static RichText sanitizeRichText(const RichText &richText);

Q_SIGNALS:
    // Emitted after the published field changed, once per assignment.
    void itemsChanged();
    void tavlosChanged();
    void activeTavloIDChanged();

private:
    // Implementation owned by model/; members may be added freely below.
    QList<TavloItem> m_items;
    QList<StoredTavloDefinition> m_tavlos;
    QUuid m_activeTavloID;
    QHash<QUuid, QList<TavloItem>> m_allItemsByTavlo;
    // Standardized file URLs of the active tavlo, so adding a file does not rescan every item.
    // Rebuilt lazily after anything but an append changes `m_items`.
    QSet<QString> m_activeFileURLs;
    bool m_activeFileURLsValid = false;

    const QString m_defaultsKey = QStringLiteral("Quorvin.StoredItems.v2");
    const QString m_tavlosKey = QStringLiteral("Quorvin.Tavlos.v1");
    const QString m_activeTavloKey = QStringLiteral("Quorvin.ActiveTavloID.v1");
    std::unique_ptr<DataFolderLock> m_dataLock;
    StoreFiles::Loaded *m_loaded = nullptr; // what the files held, while loading
    std::unique_ptr<PersistenceWorker> m_persistenceWorker;
    int m_batchDepth = 0;
    bool m_batchPublish = false;
    bool m_batchCommit = false;
    bool m_batchPersist = false;

    bool ownsData() const;
    void loadTavlos(const QUuid &defaultID);
    void loadItems();
    void restoreActiveTavlo();
    void persistTavlos();
    void persistItems();
    void refreshVisibleItems();
    void publishItems();
    void commit();
    void commitBatchedItems();
    void appendItem(TavloItemKind kind);
};
