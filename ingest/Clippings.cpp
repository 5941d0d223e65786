#include "ingest/Clippings.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include "platform/Defaults.h"

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

    const QFileInfo info(folder);
    if (!info.isDir()) {
        const QString parent = info.absolutePath();
        const bool parentExisted = QFileInfo(parent).isDir();
        if (!QDir().mkpath(folder))
            return std::nullopt;
        AppPaths::makePrivate(folder);
        if (!parentExisted)
            AppPaths::makePrivate(parent);
    }

    // Eight hex digits clash about once in four billion; even then the older image stays.
    QString path;
    for (int attempt = 0; attempt < 16 && path.isEmpty(); ++attempt) {
        const QString tag = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper();
        const QString candidate = folder + QStringLiteral("/Tavlo Image ") + tag + u'.' + *extension;
        if (!QFileInfo::exists(candidate))
            path = candidate;
    }
    if (path.isEmpty())
        return std::nullopt;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return std::nullopt;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return std::nullopt;
    return path;
}

std::optional<TavloUrl> saveClippingImage(const QByteArray &bytes)
{
    const auto path = saveImageFile(bytes, folder());
    if (!path)
        return std::nullopt;
    return TavloUrl::fromLocalFile(*path);
}

} // namespace Clippings
