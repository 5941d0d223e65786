#pragma once

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QString>

#include <list>
#include <optional>

// A memory cache of pictures bounded by both the number of entries and their total cost. Safe for
// concurrent use; the least recently used entries go first when either bound is passed. An entry
// whose cost alone passes the cost bound is not kept.
class ThumbnailCache
{
public:
    ThumbnailCache(int maxCount, qint64 maxCost);

    std::optional<QImage> object(const QString &key);
    void insert(const QString &key, const QImage &image, qint64 cost);
    void remove(const QString &key);
    void clear();

    int count() const;
    qint64 totalCost() const;
    int maxCount() const { return m_maxCount; }
    qint64 maxCost() const { return m_maxCost; }

private:
    struct Entry
    {
        QString key;
        QImage image;
        qint64 cost;
    };
    void evict();

    const int m_maxCount;
    const qint64 m_maxCost;
    mutable QMutex m_mutex;
    std::list<Entry> m_order; // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_index;
    qint64 m_totalCost = 0;
};
