#include "thumbnails/ThumbnailCache.h"

#include <QMutexLocker>

ThumbnailCache::ThumbnailCache(int maxCount, qint64 maxCost) : m_maxCount(maxCount), m_maxCost(maxCost) { }

std::optional<QImage> ThumbnailCache::object(const QString &key)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_index.constFind(key);
    if (found == m_index.cend())
        return std::nullopt;
    m_order.splice(m_order.begin(), m_order, found.value());
    return m_order.front().image;
}

void ThumbnailCache::insert(const QString &key, const QImage &image, qint64 cost)
{
    QMutexLocker lock(&m_mutex);
    if (const auto found = m_index.constFind(key); found != m_index.cend()) {
        m_totalCost -= found.value()->cost;
        m_order.erase(found.value());
        m_index.erase(found);
    }
    if (cost > m_maxCost || m_maxCount <= 0)
        return;
    m_order.push_front(Entry {key, image, cost});
    m_index.insert(key, m_order.begin());
    m_totalCost += cost;
    evict();
}

void ThumbnailCache::remove(const QString &key)
{
    QMutexLocker lock(&m_mutex);
    const auto found = m_index.constFind(key);
    if (found == m_index.cend())
        return;
    m_totalCost -= found.value()->cost;
    m_order.erase(found.value());
    m_index.erase(found);
}

void ThumbnailCache::clear()
{
    QMutexLocker lock(&m_mutex);
    m_order.clear();
    m_index.clear();
    m_totalCost = 0;
}

int ThumbnailCache::count() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_index.size());
}

qint64 ThumbnailCache::totalCost() const
{
    QMutexLocker lock(&m_mutex);
    return m_totalCost;
}

void ThumbnailCache::evict()
{
    while (!m_order.empty() && (int(m_order.size()) > m_maxCount || m_totalCost > m_maxCost)) {
        const Entry &last = m_order.back();
        m_totalCost -= last.cost;
        m_index.remove(last.key);
        m_order.pop_back();
    }
}
