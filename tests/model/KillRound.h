#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include "model/PersistenceWorker.h"
#include "model/StoredTavloItem.h"
#include "platform/AppPaths.h"

// One round of the kill test: a churning child is killed with SIGKILL at a random moment, then
// the data files must still load and hold at least the last state the child saw written.
namespace KillRound {

struct Result
{
    bool ok = false;
    qsizetype lastWritten = 0; // item count the child reported as on disk
    qsizetype loaded = 0; // item count a fresh process loaded
    QString failure;
};

inline Result run(const QString &churnExe, QRandomGenerator &random, bool waitEachChange)
{
    Result result;
    QDir(AppPaths::dataFolder()).removeRecursively();

    QProcess child;
    child.start(churnExe, waitEachChange ? QStringList {"churn", "wait"} : QStringList {"churn"});
    if (!child.waitForStarted(5000)) {
        result.failure = QStringLiteral("child did not start");
        return result;
    }
    QByteArray output;
    while (!output.contains("ready\n")) {
        // Generous: a child starting on a busy machine can take many seconds.
        if (!child.waitForReadyRead(60000)) {
            result.failure = QStringLiteral("child never got ready");
            child.kill();
            child.waitForFinished();
            return result;
        }
        output += child.readAllStandardOutput();
    }
    QElapsedTimer timer;
    timer.start();
    const int lifetime = int(random.bounded(20, 400));
    while (timer.elapsed() < lifetime)
        child.waitForReadyRead(int(lifetime - timer.elapsed()));
    child.kill(); // SIGKILL
    child.waitForFinished(5000);
    output += child.readAllStandardOutput();

    const QList<QByteArray> lines = output.split('\n');
    for (const QByteArray &line : lines) {
        bool number = false;
        const qsizetype count = line.toLongLong(&number);
        if (number)
            result.lastWritten = count;
    }

    // Every file the child left must read on its own, whatever moment the kill hit.
    const auto tavlos = StoreFiles::read(StoreFiles::tavlosKey);
    if (tavlos && !StoredJson::decodeTavlos(*tavlos)) {
        result.failure = QStringLiteral("tavlo list does not decode");
        return result;
    }
    const auto items = StoreFiles::read(StoreFiles::itemsKey);
    if (items && !StoredJson::decodeItems(*items)) {
        result.failure = QStringLiteral("item list does not decode");
        return result;
    }
    if (!items && result.lastWritten > 0) {
        result.failure = QStringLiteral("item file missing");
        return result;
    }

    QProcess counter;
    counter.start(churnExe, {QStringLiteral("count")});
    if (!counter.waitForFinished(30000) || counter.exitCode() != 0) {
        result.failure = QStringLiteral("store did not load in a fresh process");
        return result;
    }
    result.loaded = counter.readAllStandardOutput().trimmed().toLongLong();
    if (result.loaded < result.lastWritten) {
        result.failure =
            QStringLiteral("loaded %1 items, %2 had been written").arg(result.loaded).arg(result.lastWritten);
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace KillRound
