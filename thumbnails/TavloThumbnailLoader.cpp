#include "thumbnails/TavloThumbnailLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRunnable>
#include <QThread>
#include <cmath>
#include <utility>

#include "thumbnails/FreedesktopThumbnails.h"
#include "thumbnails/PictureFunctions.h"

TavloThumbnailLoader::TavloThumbnailLoader(QObject *parent)
    : QObject(parent), m_cache(cacheCountLimit, cacheCostLimit)
{
    m_pool.setObjectName(QStringLiteral(QUORVIN_APP_ID ".thumbnail-loader"));
    m_pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    // The first cells painted look their file kinds up; the database loads here, off the GUI thread.
    m_pool.start(loadPictureTypes);
}

TavloThumbnailLoader::~TavloThumbnailLoader()
{
    // Work items post back to this object; pictures nobody started are not made any more.
    m_pool.clear();
    m_pool.waitForDone();
}

QString TavloThumbnailLoader::cacheKey(const QString &path)
{
    return QDir::cleanPath(path);
}

namespace {

// Pictures remember the longest side they were allowed, so a later request for more is made anew.
const QString boundKey = QStringLiteral("QuorvinBound");

// The bound on the longer side: `maxPixelSize` without a fill size, else what lets a picture of
// `size` cover a `fillSize` square once cropped (panoramas are not followed past three squares).
int longerSideBound(QSize size, int fillSize)
{
    if (fillSize <= 0)
        return TavloThumbnailLoader::maxPixelSize;
    if (!size.isValid() || size.isEmpty())
        return fillSize;
    const qreal ratio = qreal(std::max(size.width(), size.height())) / std::min(size.width(), size.height());
    return int(std::ceil(fillSize * std::min<qreal>(ratio, 3)));
}

} // namespace

QImage TavloThumbnailLoader::makeThumbnail(const QString &path, int fillSize)
{
    // Desktop thumbnails come in fixed sizes; most are about square, pages a little taller.
    const int thumbnailBound = fillSize > 0 ? std::min(maxPixelSize, fillSize * 3 / 2) : maxPixelSize;
    int bound = 0;
    QImage image = filePicture(
        path, [fillSize](QSize size) { return longerSideBound(size, fillSize); }, thumbnailBound, &bound);
    if (!image.isNull())
        image.setText(boundKey, QString::number(bound));
    return image;
}

void TavloThumbnailLoader::thumbnail(const QString &path, QObject *context, Completion completion,
                                     int fillSize)
{
    if (!completion)
        return;
    const QString key = cacheKey(path);
    QPointer<QObject> guard(context);
    std::optional<QImage> hit = m_cache.object(key);
    if (hit && hit->text(boundKey).toInt() >= longerSideBound(hit->size(), fillSize)) {
        // A hit is still delivered later, never from inside this call.
        QMetaObject::invokeMethod(
            this,
            [this, guard, completion = std::move(completion), image = *hit] {
                deliver(guard, completion, image);
            },
            Qt::QueuedConnection);
        return;
    }
    // Starting a pool thread and the decoding beside the paint would delay the frame that asked.
    if (m_waiting.isEmpty())
        QMetaObject::invokeMethod(this, &TavloThumbnailLoader::startWaiting, Qt::QueuedConnection);
    m_waiting.append([this, key, guard, fillSize, completion = std::move(completion)] {
        const QImage image = makeThumbnail(key, fillSize);
        if (!image.isNull())
            m_cache.insert(key, image, imageCost(image));
        QMetaObject::invokeMethod(
            this, [this, guard, completion, image] { deliver(guard, completion, image); },
            Qt::QueuedConnection);
    });
}

void TavloThumbnailLoader::startWaiting()
{
    for (auto &job : std::exchange(m_waiting, {}))
        m_pool.start(std::move(job));
}

void TavloThumbnailLoader::waitForDone()
{
    startWaiting();
    m_pool.waitForDone();
}

void TavloThumbnailLoader::deliver(const QPointer<QObject> &context, const Completion &completion,
                                   const QImage &image)
{
    if (context)
        completion(image);
}
