#include "widgetkit/DesktopOpen.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>

#include "model/LocalFileName.h"

namespace DesktopOpen {

QUrl linkUrl(const TavloUrl &url)
{
    return QUrl(url.absoluteString(), QUrl::TolerantMode);
}

bool isOpenableLink(const TavloUrl &url)
{
    const QString scheme = url.scheme();
    return scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0
        || scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

void openWithDesktop(const TavloItem &item)
{
    if (const auto *file = std::get_if<FileItemKind>(&item.kind)) {
        const QString path = file->url.toLocalFile();
        if (!path.isEmpty())
            QDesktopServices::openUrl(localFileQUrl(path));
    } else if (const auto *link = std::get_if<UrlItemKind>(&item.kind); link && isOpenableLink(link->url)) {
        QDesktopServices::openUrl(linkUrl(link->url));
    }
}

void showInFileManager(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    auto openFolder = [folder] {
        QDesktopServices::openUrl(localFileQUrl(folder));
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList {QString::fromUtf8(localFileQUrl(path).toEncoded())} << QString();
    // Asynchronous: a file manager that is slow to start must not stall the panel.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher *w) {
                         if (w->isError())
                             openFolder();
                         w->deleteLater();
                     });
}

} // namespace DesktopOpen
