// Kills a churning store process with SIGKILL at random moments, many times over, and checks
// that the settings always load and hold at least the last state that had been written.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include "KillRound.h"
#include "ScratchHome.h"

int main(int argc, char **argv)
{
    const QTemporaryDir scratch;
    if (!useScratchHome(scratch))
        return 1;
    QCoreApplication app(argc, argv);
    const int rounds = qMax(1, app.arguments().value(1, QStringLiteral("200")).toInt());
    QRandomGenerator random(2026);
    QTextStream out(stdout);
    int failures = 0;
    qsizetype written = 0;
    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < rounds; ++round) {
        const bool wait = round % 2 == 0;
        const KillRound::Result result = KillRound::run(QStringLiteral(STORE_CHURN_EXE), random, wait);
        written += result.lastWritten;
        if (!result.ok) {
            ++failures;
            out << "round " << round << " failed: " << result.failure << Qt::endl;
        }
    }
    out << "kill rounds: " << rounds << ", failures: " << failures
        << ", mean items reported written before the kill: " << double(written) / rounds
        << ", total time: " << timer.elapsed() / 1000.0 << " s" << Qt::endl;
    return failures == 0 ? 0 : 1;
}
