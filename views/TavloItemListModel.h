#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QUuid>

#include "model/TavloItem.h"

#include "model/TavloStore.h"

// The active tavlo's items as a list model. Follows TavloStore::itemsChanged with row-level
// inserts, removes and changes keyed by item id, so views keep their scroll position and per-cell
// state; only a change that is not expressible that way (a reorder) resets the model.
class TavloItemListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        ItemRole = Qt::UserRole + 1, // TavloItem
        ItemIDRole, // QUuid
    };

    explicit TavloItemListModel(QObject *parent = nullptr);

    void setStore(TavloStore *store);
    TavloStore *store() const { return m_store; }

    // Replaces the list directly (for a model without a store); applies the same row diff.
    void setItems(const QList<TavloItem> &items);
    const QList<TavloItem> &items() const { return m_items; }

    int rowForID(const QUuid &id) const;
    TavloItem itemAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    void syncFromStore();

    QPointer<TavloStore> m_store;
    QList<TavloItem> m_items;
    // Built on the first lookup after a change: a large list is shown before anyone looks up a row.
    mutable QHash<QUuid, int> m_rowByID;
    mutable bool m_rowByIDValid = false;
};
