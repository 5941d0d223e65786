#pragma once

#include <QImage>
#include <QString>

#include <functional>

// Picture helpers shared by the cell thumbnails and the large preview. All are safe to call on any
// thread and read nothing but the file named.

// True when the path has an extension whose MIME type (by extension alone) is an image type.
// The file itself is not read.
bool isImageFile(const QString &path);

// The image at `path` decoded straight to at most `maxPixelSize` pixels on its longer side, with
// its orientation tag applied; smaller images keep their size. Null when it cannot be read or
// when decoding would pass Qt's image allocation limit.
QImage downsampledImage(const QString &path, int maxPixelSize);

// Same for image bytes held in memory.
QImage downsampledImage(const QByteArray &data, int maxPixelSize);

// The picture of a local file, for tiles and previews alike: its own image, its longer side at
// most `imageBound(its size)`, when it is one; otherwise the desktop's thumbnail at most
// `thumbnailPixelSize`. `usedBound` gets the bound that applied. Only regular files are read: a
// pipe or a device named like a picture would block the reader.
QImage filePicture(const QString &path, const std::function<int(QSize)> &imageBound, int thumbnailPixelSize,
                   int *usedBound = nullptr);

// The cache cost of an image: four bytes per pixel, at least four.
qint64 imageCost(const QImage &image);

// Loads the MIME database the lookups here consult, which the first lookup would otherwise do on
// its caller's thread.
void loadPictureTypes();

// The symbol for a file's kind, judged from the extension alone: "doc", "photo", "folder",
// "film" or "waveform".
QString fallbackSymbolName(const QString &path);
