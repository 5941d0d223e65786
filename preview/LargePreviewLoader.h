#pragma once

#include <QImage>
#include <QObject>
#include <QThreadPool>

#include <functional>

#include "model/TavloUrl.h"
#include "thumbnails/ThumbnailCache.h"

// Large pictures of files for the preview window: images decoded straight to 1200 pixels, other
// files through the desktop's thumbnail route at its large sizes. Work runs on a private thread
// pool; results are cached by standardised file URL, bounded by 24 pictures and 96 MiB.
class LargePreviewLoader : public QObject
{
    Q_OBJECT

public:
    static constexpr int imagePixelSize = 1200;
    static constexpr int thumbnailPixelSize = 900;
    static constexpr int cacheCountLimit = 24;
    static constexpr qint64 cacheCostLimit = 96LL * 1024 * 1024;

    // Makes the picture of a local file; runs on a worker thread. Null when there is none.
    using Producer = std::function<QImage(const QString &path)>;
    using Completion = std::function<void(const QImage &image)>;

    explicit LargePreviewLoader(Producer producer = {}, QObject *parent = nullptr);
    ~LargePreviewLoader() override;

    // The picture of the file at `url`, delivered on the GUI thread and always after this call
    // returns, also from the cache; a null image when there is none. Nothing is delivered once
    // `context` is destroyed. Failures are not cached.
    void image(const TavloUrl &url, QObject *context, Completion completion);

    const ThumbnailCache &cache() const { return m_cache; }
    static QString cacheKey(const TavloUrl &url);

    // The default producer.
    static QImage largePicture(const QString &path);

private:
    Producer m_producer;
    ThumbnailCache m_cache;
    QThreadPool m_pool;
};
