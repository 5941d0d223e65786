#include <QApplication>

#include <cstdio>

#include "app/CommandLine.h"
#include "app/QuorvinApp.h"
#include "app/SingleInstance.h"
#include "model/PersistenceWorker.h"
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

    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    const LaunchRequest launch = parseCommandLine(arguments, [](qsizetype limit) {
        QByteArray input;
        char buffer[65536];
        while (input.size() < limit) {
            const size_t got = std::fread(buffer, 1, sizeof buffer, stdin);
            if (got == 0)
                break;
            input.append(buffer, qsizetype(got));
        }
        return input;
    });
    if (!launch.error.isEmpty()) {
        std::fprintf(stderr, "quorvin: %s\n", qPrintable(launch.error));
        return launch.exitCode;
    }

    // Before Qt connects to the display: a second launch only hands over its request and ends.
    SingleInstance::Outcome claim = SingleInstance::claimOrForward(launch.request);
    if (!claim.instance) {
        QString why = claim.error;
        if (claim.forwarded && claim.forwarded->answered) {
            const QByteArray &reply = claim.forwarded->reply;
            if (reply == "ok")
                return 0;
            why = QString::fromUtf8(reply.startsWith("error ") ? reply.mid(6) : reply);
        } else if (why.isEmpty()) {
            why = QStringLiteral("the running instance did not answer");
        }
        std::fprintf(stderr, "quorvin: %s\n", qPrintable(why));
        return 1;
    }
    // The data files are read and decoded while Qt connects to the display and builds the window.
    StoreFiles::preload();

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationName(QStringLiteral("Quorvin"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVIN_VERSION));
    // Lets the desktop match our windows to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUORVIN_APP_ID));
    QApplication::setQuitOnLastWindowClosed(false);

    // Still the only instance while the lock is held, even if nobody can reach us.
    if (!claim.instance->listen())
        std::fprintf(stderr, "quorvin: cannot listen for later launches\n");

    QuorvinApp quorvin(session, std::move(claim.instance));
    quorvin.start();
    // Started by "--add": this launch is the instance, so it adds the items itself.
    if (launch.request.command != "toggle") {
        const QByteArray reply = quorvin.handleRequest(launch.request.command, launch.request.payload);
        if (reply != "ok")
            std::fprintf(stderr, "quorvin: %s\n", reply.mid(6).constData());
    }
    return app.exec();
}
