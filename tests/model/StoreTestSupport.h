#pragma once

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStringList>

#include "model/PersistenceWorker.h"
#include "model/TavloStore.h"
#include "platform/AppPaths.h"
#include "platform/SettingsFile.h"

// Each test binary has a private config folder; tests start from empty defaults by clearing them.
namespace StoreTest {

inline const QString itemsKey = QStringLiteral("Quorvin.StoredItems.v2");
inline const QString tavlosKey = QStringLiteral("Quorvin.Tavlos.v1");
inline const QString activeKey = QStringLiteral("Quorvin.ActiveTavloID.v1");

inline void resetSettings()
{
    auto settings = SettingsFile::open();
    settings->clear();
    settings->sync();
    QDir(AppPaths::dataFolder()).removeRecursively();
}

// The stored lists live in files named as their keys; an invalid value removes the file.
inline void setStored(const QString &key, const QVariant &value)
{
    if (!value.isValid()) {
        QFile::remove(StoreFiles::path(key));
        return;
    }
    QDir().mkpath(AppPaths::dataFolder());
    QFile file(StoreFiles::path(key));
    if (file.open(QIODevice::WriteOnly))
        file.write(value.typeId() == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8());
}

inline QVariant stored(const QString &key)
{
    const auto bytes = StoreFiles::read(key);
    if (!bytes)
        return {};
    return key == activeKey ? QVariant(QString::fromUtf8(*bytes)) : QVariant(*bytes);
}

inline QJsonArray storedArray(const QString &key)
{
    return QJsonDocument::fromJson(stored(key).toByteArray()).array();
}

// Records the store's change signals in emission order.
class SignalLog : public QObject
{
public:
    explicit SignalLog(TavloStore &store)
    {
        connect(&store, &TavloStore::itemsChanged, this, [this] { names.append(QStringLiteral("items")); });
        connect(&store, &TavloStore::tavlosChanged, this, [this] { names.append(QStringLiteral("tavlos")); });
        connect(&store, &TavloStore::activeTavloIDChanged, this,
                [this] { names.append(QStringLiteral("activeTavloID")); });
    }
    QStringList names;
};

inline bool visibleMatchesMap(const TavloStore &store)
{
    return store.items() == store.allItemsByTavlo().value(store.activeTavloID())
        && store.allItemsByTavlo().size() == store.tavlos().size();
}

} // namespace StoreTest
