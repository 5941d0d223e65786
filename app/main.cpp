#include <QApplication>

#include "app/QuorvinApp.h"
#include "app/SingleInstance.h"
#include "platform/DesktopSession.h"

int main(int argc, char *argv[])
{
    // Decided before Qt picks a platform plugin: the panel needs X11 (or XWayland) to be placed
    // and kept above other windows.
    const DesktopSession session = currentDesktopSession();
    if (!session.forcedQpaPlatform.isEmpty())
        qputenv("QT_QPA_PLATFORM", session.forcedQpaPlatform);

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVIN_VERSION));
    // Lets the desktop match our windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quorvin.Quorvin"));
    QApplication::setQuitOnLastWindowClosed(false);

    // A second launch toggles the running instance's panel and ends here.
    if (SingleInstance::forwardToRunningInstance())
        return 0;
    auto instance = std::make_unique<SingleInstance>();
    if (!instance->listen())
        instance.reset(); // runs on without answering second launches

    QuorvinApp quorvin(session, std::move(instance));
    quorvin.start();
    return app.exec();
}
