#include <QApplication>

#include <cstdio>

#include "app/QuorvinApp.h"
#include "app/SingleInstance.h"
#include "platform/DesktopSession.h"

int main(int argc, char *argv[])
{
    // Decided before Qt picks a platform plugin: the panel needs X11 (or XWayland) to be placed
    // and kept above other windows.
    const DesktopSession session = currentDesktopSession();
    if (!session.problem.isEmpty()) {
        std::fprintf(stderr, "quorvin: %s\n", qPrintable(session.problem));
        return 1;
    }
    if (!session.forcedQpaPlatform.isEmpty())
        qputenv("QT_QPA_PLATFORM", session.forcedQpaPlatform);

    // Before Qt connects to the display: a second launch only hands over its request and ends.
    SingleInstance::Outcome claim = SingleInstance::claimOrForward({"toggle", {}});
    if (!claim.instance) {
        if (claim.forwarded && claim.forwarded->answered)
            return 0;
        const QString why =
            claim.error.isEmpty() ? QStringLiteral("the running instance did not answer") : claim.error;
        std::fprintf(stderr, "quorvin: %s\n", qPrintable(why));
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVIN_VERSION));
    // Lets the desktop match our windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quorvin.Quorvin"));
    QApplication::setQuitOnLastWindowClosed(false);

    // Still the only instance while the lock is held, even if nobody can reach us.
    if (!claim.instance->listen())
        std::fprintf(stderr, "quorvin: cannot listen for later launches\n");

    QuorvinApp quorvin(session, std::move(claim.instance));
    quorvin.start();
    return app.exec();
}
