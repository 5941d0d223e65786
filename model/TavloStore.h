#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

#include "model/TavloItem.h"
#include "richtext/RichText.h"

class PersistenceWorker;
struct StoredTavloItem;

// The one owner of all items and tavlos. Lives on the GUI thread; every operation runs to
// completion there, keeps items() equal to the active tavlo's list, and persists what it changed.
// Inputs that do not qualify are ignored silently.
class TavloStore : public QObject
{
    Q_OBJECT

public:
    // Loads tavlos, items and the active tavlo from the user defaults.
    explicit TavloStore(QObject *parent = nullptr);
    ~TavloStore() override;

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
    void removeItem(const QUuid &id);
    void renameItem(const QUuid &id, const QString &title);
    void updateItemText(const QUuid &id, const RichText &richText);
    void clearActiveTavlo();

    // Blocks until every submitted item write is on disk, or the timeout passes.
    // Returns false on timeout. Called at shutdown.
    bool waitForPendingWrites(int timeoutMs = 5000);

    // The serial writer of the item list and the other keys; tests and benchmarks look at it.
    PersistenceWorker &persistenceQueue() const { return *m_persistenceQueue; }
    const QList<TavloUrl> &securityScopedURLs() const { return m_securityScopedURLs; }

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
    QList<TavloUrl> m_securityScopedURLs;
    std::unique_ptr<PersistenceWorker> m_persistenceQueue;

    void loadTavlos(const QUuid &defaultID);
    void loadItems();
    void restoreActiveTavlo();
    void persistTavlos();
    void persistItems();
    void refreshVisibleItems();
    void commit();
    void appendItem(TavloItemKind kind);
    std::optional<TavloItemKind> rebuildKind(const StoredTavloItem &stored);
};
