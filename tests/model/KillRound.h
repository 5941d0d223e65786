#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

#include "model/StoredTavloItem.h"
#include "platform/Defaults.h"

// One round of the kill test: a churning child is killed with SIGKILL at a random moment, then
// the settings must still load and hold at least the last state the child saw written.
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
    const QString confPath = Defaults::open()->fileName();
    QFile::remove(confPath);

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

    // Read the file as it was left, through a private copy so no settings cache interferes.
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("copy.conf"));
    if (QFileInfo::exists(confPath)) {
        QFile::copy(confPath, copy);
        QSettings settings(copy, QSettings::IniFormat);
        const QVariant tavlos = settings.value(QStringLiteral("Quorvin.Tavlos.v1"));
        if (tavlos.isValid() && !StoredJson::decodeTavlos(tavlos.toByteArray())) {
            result.failure = QStringLiteral("tavlo list does not decode");
            return result;
        }
        const QVariant items = settings.value(QStringLiteral("Quorvin.StoredItems.v2"));
        if (items.isValid() && !StoredJson::decodeItems(items.toByteArray())) {
            result.failure = QStringLiteral("item list does not decode");
            return result;
        }
    } else if (result.lastWritten > 0) {
        result.failure = QStringLiteral("settings file missing");
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
