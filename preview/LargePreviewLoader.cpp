#include "preview/LargePreviewLoader.h"

#include <QPointer>

#include "thumbnails/FreedesktopThumbnails.h"
#include "thumbnails/PictureFunctions.h"

LargePreviewLoader::LargePreviewLoader(Producer producer, QObject *parent)
    : QObject(parent),
      m_producer(producer ? std::move(producer) : Producer(&LargePreviewLoader::largePicture)),
      m_cache(cacheCountLimit, cacheCostLimit)
{
    m_pool.setObjectName(QStringLiteral(QUORVIN_APP_ID ".large-preview"));
}

LargePreviewLoader::~LargePreviewLoader()
{
    // Work items post back to this object; let them finish while it is still whole.
    m_pool.clear();
    m_pool.waitForDone();
}

QString LargePreviewLoader::cacheKey(const TavloUrl &url)
{
    return url.standardizedFileURL().absoluteString();
}

QImage LargePreviewLoader::largePicture(const QString &path)
{
    return filePicture(
        path, [](QSize) { return imagePixelSize; }, thumbnailPixelSize);
}

void LargePreviewLoader::image(const TavloUrl &url, QObject *context, Completion completion)
{
    const TavloUrl standardized = url.standardizedFileURL();
    const QString &key = standardized.absoluteString();
    QPointer<QObject> guard(context);
    auto deliver = [guard, completion = std::move(completion)](const QImage &image) {
        if (guard)
            completion(image);
    };

    if (std::optional<QImage> cached = m_cache.object(key)) {
        QMetaObject::invokeMethod(
            this, [deliver, image = *cached] { deliver(image); }, Qt::QueuedConnection);
        return;
    }
    if (!standardized.isFileURL()) {
        QMetaObject::invokeMethod(
            this, [deliver] { deliver(QImage()); }, Qt::QueuedConnection);
        return;
    }
    const QString path = standardized.toLocalFile();
    m_pool.start([this, key, path, deliver] {
        const QImage image = m_producer(path);
        QMetaObject::invokeMethod(
            this,
            [this, key, image, deliver] {
                if (!image.isNull())
                    m_cache.insert(key, image, imageCost(image));
                deliver(image);
            },
            Qt::QueuedConnection);
    });
}
