#include "views/TavloItemListModel.h"

#include <QSet>

#include <algorithm>

#include "model/TavloStore.h"

TavloItemListModel::TavloItemListModel(QObject *parent) : QAbstractListModel(parent) { }

void TavloItemListModel::setStore(TavloStore *store)
{
    if (m_store == store)
        return;
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store)
        connect(m_store, &TavloStore::itemsChanged, this, &TavloItemListModel::syncFromStore);
    syncFromStore();
}

void TavloItemListModel::syncFromStore()
{
    setItems(m_store ? m_store->items() : QList<TavloItem>());
}

void TavloItemListModel::setItems(const QList<TavloItem> &items)
{
    const QList<TavloItem> old = m_items;
    const auto reset = [&] {
        beginResetModel();
        m_items = items;
        m_rowByIDValid = false;
        endResetModel();
    };
    // The first fill (the stored items at start-up) has nothing to compare with.
    if (old.isEmpty()) {
        if (!items.isEmpty())
            reset();
        return;
    }
    QSet<QUuid> newIDs;
    newIDs.reserve(items.size());
    for (const TavloItem &item : items)
        newIDs.insert(item.id);
    QSet<QUuid> oldIDs;
    oldIDs.reserve(old.size());
    for (const TavloItem &item : old)
        oldIDs.insert(item.id);

    // Nothing shared (another tavlo) or ids repeated: one reset is cheaper and always right.
    const bool overlap =
        std::any_of(old.cbegin(), old.cend(), [&](const TavloItem &i) { return newIDs.contains(i.id); });
    if (!overlap || newIDs.size() != items.size() || oldIDs.size() != old.size()) {
        reset();
        return;
    }

    // The surviving items must keep their relative order, else it is a reorder: reset.
    QList<QUuid> survivors;
    for (const TavloItem &item : old) {
        if (newIDs.contains(item.id))
            survivors.append(item.id);
    }
    qsizetype s = 0;
    for (const TavloItem &item : items) {
        if (oldIDs.contains(item.id)) {
            if (survivors.at(s) != item.id) {
                reset();
                return;
            }
            ++s;
        }
    }

    // Removals, last first, in contiguous runs.
    for (qsizetype row = m_items.size() - 1; row >= 0;) {
        if (newIDs.contains(m_items.at(row).id)) {
            --row;
            continue;
        }
        qsizetype first = row;
        while (first > 0 && !newIDs.contains(m_items.at(first - 1).id))
            --first;
        beginRemoveRows(QModelIndex(), int(first), int(row));
        m_items.remove(first, row - first + 1);
        m_rowByIDValid = false; // a view may look a row up before the next step
        endRemoveRows();
        row = first - 1;
    }

    // Insertions in contiguous runs at their final positions; changes as data changes.
    for (qsizetype row = 0; row < items.size();) {
        if (oldIDs.contains(items.at(row).id)) {
            if (!(m_items.at(row) == items.at(row))) {
                m_items[row] = items.at(row);
                const QModelIndex changed = index(int(row));
                Q_EMIT dataChanged(changed, changed);
            }
            ++row;
            continue;
        }
        qsizetype last = row;
        while (last + 1 < items.size() && !oldIDs.contains(items.at(last + 1).id))
            ++last;
        beginInsertRows(QModelIndex(), int(row), int(last));
        for (qsizetype i = row; i <= last; ++i)
            m_items.insert(i, items.at(i));
        m_rowByIDValid = false;
        endInsertRows();
        row = last + 1;
    }
}

int TavloItemListModel::rowForID(const QUuid &id) const
{
    if (!m_rowByIDValid) {
        m_rowByID.clear();
        m_rowByID.reserve(m_items.size());
        for (qsizetype row = 0; row < m_items.size(); ++row)
            m_rowByID.insert(m_items.at(row).id, int(row));
        m_rowByIDValid = true;
    }
    return m_rowByID.value(id, -1);
}

TavloItem TavloItemListModel::itemAt(int row) const
{
    if (row < 0 || row >= m_items.size())
        return {};
    return m_items.at(row);
}

int TavloItemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant TavloItemListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const TavloItem &item = m_items.at(index.row());
    switch (role) {
    case ItemRole:
        return QVariant::fromValue(item);
    case ItemIDRole:
        return QVariant::fromValue(item.id);
    default:
        return {};
    }
}

Qt::ItemFlags TavloItemListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
}

QHash<int, QByteArray> TavloItemListModel::roleNames() const
{
    return {{ItemRole, "item"}, {ItemIDRole, "itemID"}};
}
