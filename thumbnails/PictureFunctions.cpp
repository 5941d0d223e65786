#include "thumbnails/PictureFunctions.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/LocalFileName.h"
#include "thumbnails/FreedesktopThumbnails.h"

namespace {

QMimeType mimeTypeForExtension(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.isEmpty())
        return {};
    static const QMimeDatabase database;
    // Only the extension decides; a bare "x.png" name never reads the disk.
    const QMimeType type =
        database.mimeTypeForFile(QStringLiteral("x.") + suffix, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return {};
    return type;
}

bool conformsTo(const QMimeType &type, QStringView prefixOrName)
{
    auto matches = [&](const QString &name) {
        return prefixOrName.endsWith(u'/') ? name.startsWith(prefixOrName) : name == prefixOrName;
    };
    if (matches(type.name()))
        return true;
    const QStringList ancestors = type.allAncestors();
    return std::any_of(ancestors.cbegin(), ancestors.cend(), matches);
}

QImage readScaled(QImageReader &reader, int maxPixelSize)
{
    if (maxPixelSize <= 0)
        return {};
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        if (std::max(size.width(), size.height()) > maxPixelSize) {
            const QSize scaled = size.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio);
            reader.setScaledSize(scaled.expandedTo(QSize(1, 1)));
        }
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    // Formats that do not report their size up front come back full size; bound them here.
    if (std::max(image.width(), image.height()) > maxPixelSize)
        image = image.scaled(maxPixelSize, maxPixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

bool isImageFile(const QString &path)
{
    const QMimeType type = mimeTypeForExtension(path);
    return type.isValid() && conformsTo(type, u"image/");
}

void loadPictureTypes()
{
    mimeTypeForExtension(QStringLiteral("x.png"));
}

QImage downsampledImage(const QString &path, int maxPixelSize)
{
    QImageReader reader(path);
    return readScaled(reader, maxPixelSize);
}

QImage downsampledImage(const QByteArray &data, int maxPixelSize)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return readScaled(reader, maxPixelSize);
}

QImage filePicture(const QString &path, const std::function<int(QSize)> &imageBound, int thumbnailPixelSize,
                   int *usedBound)
{
    // Opened first and checked on the open file, so nothing can be swapped in between; without
    // blocking, so a pipe does not hold the open itself.
    const int fd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return {};
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return {};
    }
    if (isImageFile(path)) {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            QImageReader reader(&file);
            const int bound = imageBound(reader.size());
            if (QImage image = readScaled(reader, bound); !image.isNull()) {
                if (usedBound)
                    *usedBound = bound;
                return image;
            }
        }
    } else {
        ::close(fd);
    }
    if (usedBound)
        *usedBound = thumbnailPixelSize;
    return FreedesktopThumbnails::systemThumbnail(path, thumbnailPixelSize);
}

qint64 imageCost(const QImage &image)
{
    const qint64 pixels = qint64(image.width()) * qint64(image.height());
    return 4 * std::max<qint64>(1, pixels);
}

QString fallbackSymbolName(const QString &path)
{
    const QMimeType type = mimeTypeForExtension(path);
    if (!type.isValid())
        return QStringLiteral("doc");
    if (conformsTo(type, u"image/"))
        return QStringLiteral("photo");
    if (conformsTo(type, u"inode/directory"))
        return QStringLiteral("folder");
    if (conformsTo(type, u"video/"))
        return QStringLiteral("film");
    if (conformsTo(type, u"audio/"))
        return QStringLiteral("waveform");
    return QStringLiteral("doc");
}
