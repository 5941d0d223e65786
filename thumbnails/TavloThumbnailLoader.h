#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>

#include <functional>

#include "thumbnails/ThumbnailCache.h"

// Produces the pictures of file cells off the GUI thread: a downsampled copy for images, else the
// desktop's thumbnail. Results are kept in a bounded memory cache (failures are not cached and are
// asked again next time). Create it on the GUI thread.
class TavloThumbnailLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxPixelSize = 272; // the 136-point tile at scale 2
    static constexpr int cacheCountLimit = 160;
    static constexpr qint64 cacheCostLimit = 48 * 1024 * 1024;

    using Completion = std::function<void(const QImage &image)>;

    explicit TavloThumbnailLoader(QObject *parent = nullptr);
    ~TavloThumbnailLoader() override;

    // Asks for the picture of the file at `path`: at most `maxPixelSize` on its longer side, or with
    // a `fillSize`, just big enough to fill a square of that many pixels (the tile as shown, times
    // the device pixel ratio). The completion always runs later on the GUI thread, with the picture
    // or a null image, and only while `context` is alive. GUI thread only.
    void thumbnail(const QString &path, QObject *context, Completion completion, int fillSize = 0);

    // The cache key: the path with "." and ".." segments resolved.
    static QString cacheKey(const QString &path);

    ThumbnailCache &cache() { return m_cache; }
    int threadCount() const { return m_pool.maxThreadCount(); }
    // Starts what is still waiting for the current frame, then waits for every job to finish.
    void waitForDone();

    // The picture of one file, computed now on the calling thread (no cache).
    static QImage makeThumbnail(const QString &path, int fillSize = 0);

private:
    void deliver(const QPointer<QObject> &context, const Completion &completion, const QImage &image);
    void startWaiting();

    ThumbnailCache m_cache;
    QThreadPool m_pool;
    // Jobs asked for during a paint; they start once that frame is out.
    QList<std::function<void()>> m_waiting;
};
