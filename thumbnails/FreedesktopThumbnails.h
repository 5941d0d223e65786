#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// The desktop's shared thumbnail route: the thumbnail cache under $XDG_CACHE_HOME/thumbnails and
// the installed thumbnailers (*.thumbnailer files). Everything here may block and belongs on a
// worker thread.
namespace FreedesktopThumbnails {

struct Thumbnailer
{
    QString filePath; // the .thumbnailer file
    QString tryExec;
    QString exec;
    QStringList mimeTypes;
};

// The canonical file URI of a local path, as the cache names and tags thumbnails.
QByteArray fileUri(const QString &path);

// The cache folder for a size name ("normal", "large", "x-large", "xx-large").
QString cacheFolder(const QString &sizeName);
// The size name whose pixel size is the smallest at least `pixelSize` ("xx-large" past 1024).
QString sizeNameFor(int pixelSize);
int pixelSizeOf(const QString &sizeName);

// A cached thumbnail of at least `pixelSize` for the file, valid only while its Thumb::MTime
// equals the file's modification time. Null when there is none.
QImage cachedThumbnail(const QString &path, int pixelSize);

// Stores `image` as the file's thumbnail in the cache folder of `sizeName`, tagged with the URI
// and modification time, readable by the owner only. Returns false when it could not be written.
bool storeThumbnail(const QString &path, const QString &sizeName, const QImage &image);

// Thumbnailers in the "thumbnailers" folders of the data directories ($XDG_DATA_HOME first).
QList<Thumbnailer> installedThumbnailers();
// Replaces the folders searched, for tests; an empty list restores the default.
void setThumbnailerFolders(const QStringList &folders);
// How long a thumbnailer may run before it is killed.
void setThumbnailerTimeout(int milliseconds);
int thumbnailerTimeout();

// The first thumbnailer whose MIME types hold `mimeType` or one of `aliases`, whose TryExec exists.
std::optional<Thumbnailer> thumbnailerFor(const QString &mimeType, const QStringList &aliases = {});

// Splits an Exec value into arguments (double quotes and backslash escapes as desktop entries use
// them). Empty on a malformed value (an unterminated quote).
QStringList splitExec(const QString &exec);
// Replaces %i (input path), %u (input URI), %o (output path), %s (size) and %% in each argument.
QStringList substituteExec(const QStringList &arguments, const QString &inputPath, const QString &outputPath,
                           int size);

// Runs the thumbnailer for the file and returns its picture, downsampled to at most `pixelSize`.
// Null when it fails, writes no image, or is killed for taking too long.
QImage runThumbnailer(const Thumbnailer &thumbnailer, const QString &path, int pixelSize);

// The whole route: the cache, else an installed thumbnailer whose fresh result is stored in the
// cache. The result is at most `pixelSize` on its longer side; null when there is no thumbnail.
QImage systemThumbnail(const QString &path, int pixelSize);

} // namespace FreedesktopThumbnails
