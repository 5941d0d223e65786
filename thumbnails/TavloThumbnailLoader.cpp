#include "thumbnails/TavloThumbnailLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRunnable>
#include <QThread>
#include <utility>

#include "thumbnails/FreedesktopThumbnails.h"
#include "thumbnails/PictureFunctions.h"

TavloThumbnailLoader &TavloThumbnailLoader::shared()
{
    static auto *loader = new TavloThumbnailLoader; // lives for the whole process
    return *loader;
}

TavloThumbnailLoader::TavloThumbnailLoader() : m_cache(cacheCountLimit, cacheCostLimit)
{
    m_pool.setObjectName(QStringLiteral("org.quorvin.thumbnail-loader"));
    m_pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    // Deliveries are posted to this object, so it must belong to the GUI thread.
    if (QCoreApplication *app = QCoreApplication::instance(); app && thread() != app->thread())
        moveToThread(app->thread());
}

TavloThumbnailLoader::~TavloThumbnailLoader() = default;

QString TavloThumbnailLoader::cacheKey(const QString &path)
{
    return QDir::cleanPath(path);
}

QImage TavloThumbnailLoader::makeThumbnail(const QString &path)
{
    // Only regular files are read: a pipe or device would block the reader for good.
    if (!QFileInfo(path).isFile())
        return {};
    if (isImageFile(path)) {
        QImage image = downsampledImage(path, maxPixelSize);
        if (!image.isNull())
            return image;
    }
    return FreedesktopThumbnails::systemThumbnail(path, maxPixelSize);
}

void TavloThumbnailLoader::thumbnail(const QString &path, QObject *context, Completion completion)
{
    if (!completion)
        return;
    const QString key = cacheKey(path);
    QPointer<QObject> guard(context);
    if (std::optional<QImage> hit = m_cache.object(key)) {
        // A hit is still delivered later, never from inside this call.
        QMetaObject::invokeMethod(
            this,
            [this, guard, completion = std::move(completion), image = *hit] {
                deliver(guard, completion, image);
            },
            Qt::QueuedConnection);
        return;
    }
    m_pool.start([this, key, guard, completion = std::move(completion)] {
        const QImage image = makeThumbnail(key);
        if (!image.isNull())
            m_cache.insert(key, image, imageCost(image));
        QMetaObject::invokeMethod(
            this, [this, guard, completion, image] { deliver(guard, completion, image); },
            Qt::QueuedConnection);
    });
}

void TavloThumbnailLoader::deliver(const QPointer<QObject> &context, const Completion &completion,
                                   const QImage &image)
{
    if (context)
        completion(image);
}
