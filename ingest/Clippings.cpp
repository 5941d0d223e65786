#include "ingest/Clippings.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include "platform/AppPaths.h"
#include "platform/DurableFile.h"
#include "platform/SaveStatus.h"

#include <cerrno>

namespace Clippings {

QString folder()
{
    return AppPaths::dataFolder() + QStringLiteral("/Clippings");
}

std::optional<QString> imageExtension(QByteArrayView bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral("png");
    if (bytes.startsWith("\xff\xd8\xff"))
        return QStringLiteral("jpg");
    if (bytes.startsWith(QByteArrayView("II*\0", 4)) || bytes.startsWith(QByteArrayView("MM\0*", 4)))
        return QStringLiteral("tiff");
    return std::nullopt;
}

std::optional<QString> saveImageFile(const QByteArray &bytes, const QString &folder)
{
    const auto extension = imageExtension(bytes);
    if (!extension)
        return std::nullopt;

    // Eight hex digits clash about once in four billion; even then the older image stays.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
        const QString path = folder + QStringLiteral("/Tavlo Image ") + tag + u'.' + *extension;
        DurableFile::Options options;
        options.replace = false;
        const DurableFile::Result result = DurableFile::write(path, bytes, options);
        if (result.ok())
            return path;
        if (result.error == EEXIST && QFileInfo(folder).isDir())
            continue;
        // A partly written image is never added; the panel says why for a moment.
        SaveStatus::instance().reportBriefly(QStringLiteral("clippings"), result.reason, folder);
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<TavloUrl> saveClippingImage(const QByteArray &bytes)
{
    const auto path = saveImageFile(bytes, folder());
    if (!path)
        return std::nullopt;
    return TavloUrl::fromLocalFile(*path);
}

} // namespace Clippings
