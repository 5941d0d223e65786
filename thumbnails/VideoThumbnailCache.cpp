#include "thumbnails/VideoThumbnailCache.h"

#include <QCache>

namespace VideoThumbnailCache {

namespace {

QCache<QString, QImage> &cache()
{
    static QCache<QString, QImage> instance(maxBytes);
    return instance;
}

} // namespace

QImage find(const QString &videoId, int minHeight)
{
    const QImage *image = cache().object(videoId);
    return image && image->height() >= minHeight ? *image : QImage();
}

void insert(const QString &videoId, const QImage &image)
{
    if (videoId.isEmpty() || image.isNull())
        return;
    cache().insert(videoId, new QImage(image), image.sizeInBytes());
}

void clear()
{
    cache().clear();
}

qsizetype totalBytes()
{
    return cache().totalCost();
}

} // namespace VideoThumbnailCache
