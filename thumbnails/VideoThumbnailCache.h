#pragma once

#include <QImage>
#include <QString>

// Video thumbnails already downloaded, by video id, so a card that scrolls back into view does not
// fetch its picture again. GUI thread only; failed downloads are never stored.
namespace VideoThumbnailCache {

constexpr qsizetype maxBytes = 4 * 1024 * 1024;

// The stored picture when it is at least `minHeight` pixels high; null otherwise.
QImage find(const QString &videoId, int minHeight = 0);
void insert(const QString &videoId, const QImage &image);
void clear();
qsizetype totalBytes();

} // namespace VideoThumbnailCache
