// Random operations against the store for a bounded time: drops through the ingest, edits,
// labels, tavlo changes, restarts, writers killed with SIGKILL and full or read-only disks. After every step
// the store must hold what the expected state says, and at the end so must a store loaded from disk.
//
// QUORVIN_SOAK_SECONDS (default 25) bounds the run, QUORVIN_SOAK_OPS the number of operations;
// QUORVIN_SOAK_SEED repeats a run (kill moments still vary with timing).
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <csignal>
#include <limits>
#include <memory>

#include <sys/prctl.h>

#include "ScratchMount.h"
#include "SoakModel.h"
#include "ingest/TavloIngest.h"
#include "model/PersistenceWorker.h"
#include "platform/AppPaths.h"
#include "platform/SettingsFile.h"

namespace {

quint64 envNumber(const char *name, quint64 fallback)
{
    bool ok = false;
    const quint64 value = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? value : fallback;
}

// The child of a kill round: starts from the stored state, performs the changes its seed draws,
// and prints the number of each change once it is on disk.
int runChild(quint64 seed)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive a parent that failed
    TavloStore store;
    QRandomGenerator random(seed);
    QTextStream out(stdout);
    out << "ready" << Qt::endl;
    for (int n = 0;; ++n) {
        const Soak::Op op = Soak::generate(random, true);
        Soak::applyToStore(op, Soak::snapshot(store), store);
        store.waitForPendingWrites(30000);
        out << n << Qt::endl;
    }
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

    struct Counts
    {
        int ops = 0, drops = 0, restarts = 0, kills = 0, childChanges = 0, killedMidWrite = 0;
        int diskFaults = 0, unsavedOnFaultyDisk = 0;
    };

    std::unique_ptr<TavloStore> m_store;
    std::unique_ptr<TavloIngest> m_ingest;
    Soak::State m_expected;
    QStringList m_failures;
    Counts m_counts;
    quint64 m_seed = 0;

    void start()
    {
        m_store = std::make_unique<TavloStore>();
        m_ingest = std::make_unique<TavloIngest>(*m_store);
    }

    void stop()
    {
        m_ingest.reset();
        m_store.reset(); // writes what is queued
    }

    // Compares and, after a mismatch, carries on from what the store holds.
    void check(const Soak::State &actual, const QString &when)
    {
        const QString difference = Soak::difference(m_expected, actual);
        if (!difference.isEmpty())
            m_failures.append(QStringLiteral("%1: %2").arg(when, difference));
        m_expected = actual; // learns ids of new items
    }

    bool drop(const Soak::Op &op)
    {
        auto data = std::make_unique<QMimeData>();
        switch (op.kind) {
        case Soak::OpKind::dropUris:
            data->setData(QStringLiteral("text/uri-list"),
                          op.entries.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
            break;
        case Soak::OpKind::dropText:
            data->setData(QStringLiteral("text/plain;charset=utf-8"),
                          (op.link.isEmpty() ? op.text : op.text + u' ' + op.link + u' ').toUtf8());
            break;
        default:
            data->setData(QStringLiteral("text/rtf"), Soak::rtfOf(op.text));
            break;
        }
        m_ingest->handleDrop(data.get());
        data.reset(); // the ingest must have copied what it needs
        return QTest::qWaitFor([this] { return m_ingest->isIdle(); }, 30000);
    }

    void killRound(QRandomGenerator &random, const QString &when)
    {
        stop();
        const quint64 childSeed = random.generate64();
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QString::number(childSeed)});
        QByteArray output;
        QElapsedTimer timer;
        timer.start();
        while (!output.contains("ready\n") && timer.elapsed() < 30000) {
            child.waitForReadyRead(1000);
            output += child.readAllStandardOutput();
        }
        QTest::qWait(int(random.bounded(5, 300)));
        child.kill(); // SIGKILL, most likely in the middle of a write
        child.waitForFinished(10000);
        output += child.readAllStandardOutput();
        if (!output.contains("ready\n")) {
            m_failures.append(when + QStringLiteral(": child never got ready"));
            start();
            return;
        }
        // The last number is the last change known to be on disk; the next may be there too.
        int done = -1;
        for (const QByteArray &line : output.split('\n')) {
            bool ok = false;
            const int n = line.toInt(&ok);
            if (ok)
                done = n;
        }
        QRandomGenerator childRandom(childSeed);
        for (int n = 0; n <= done; ++n)
            Soak::apply(Soak::generate(childRandom, true), m_expected);
        const QList<Soak::State> during = Soak::statesDuring(Soak::generate(childRandom, true), m_expected);
        m_counts.childChanges += done + 1;

        start();
        const Soak::State loaded = Soak::snapshot(*m_store);
        if (Soak::difference(m_expected, loaded).isEmpty()) {
            m_expected = loaded;
            return;
        }
        for (const Soak::State &state : during) {
            if (Soak::difference(state, loaded, state.active >= 0).isEmpty()) {
                ++m_counts.killedMidWrite;
                m_expected = loaded;
                return;
            }
        }
        check(loaded, when + QStringLiteral(" (killed after change %1 of the child)").arg(done));
    }

    // A full or read-only disk under a running store: changes go on in memory, nothing on disk
    // breaks, and once the disk is back the newest state is written and loads.
    void diskFaultRound(QRandomGenerator &random, const QString &when)
    {
        stop();
        const QDir folder(AppPaths::dataFolder());
        QTemporaryDir kept;
        // Makes `to` hold exactly the files of `from`: the round may create files the folder did
        // not have before it (the first item list, say), and those must come back too.
        const auto copyAll = [](const QString &from, const QString &to) {
            for (const QString &name : QDir(to).entryList(QDir::Files))
                QFile::remove(to + u'/' + name);
            for (const QString &name : QDir(from).entryList(QDir::Files))
                QFile::copy(from + u'/' + name, to + u'/' + name);
        };
        copyAll(folder.path(), kept.path());
        const bool full = random.bounded(2) == 0;
        {
            ScratchMount disk(folder.path(), "4m");
            if (!disk.ok()) {
                start();
                return;
            }
            ++m_counts.diskFaults;
            copyAll(kept.path(), folder.path());
            QFile filler(folder.filePath(QStringLiteral("filler")));
            if (full && filler.open(QIODevice::WriteOnly)) {
                const QByteArray block(4096, 'f');
                while (filler.write(block) == block.size() && filler.flush()) { }
                filler.close();
            } else if (!full) {
                disk.remount("ro");
            }
            start();
            check(Soak::snapshot(*m_store), when + QStringLiteral(" on a faulty disk"));
            for (int i = 0; i < 4; ++i) {
                const Soak::Op op = Soak::generate(random, true);
                const Soak::State before = m_expected;
                Soak::apply(op, m_expected);
                Soak::applyToStore(op, before, *m_store);
                check(Soak::snapshot(*m_store), when + QStringLiteral(" change on a faulty disk"));
            }
            if (!m_store->waitForPendingWrites(2000))
                ++m_counts.unsavedOnFaultyDisk;
            if (full)
                filler.remove();
            else
                disk.remount("rw");
            if (!m_store->waitForPendingWrites(30000))
                m_failures.append(
                    when + QStringLiteral(": the newest state was not written once the disk was back"));
            stop();
            start();
            check(Soak::snapshot(*m_store), when + QStringLiteral(" reloaded after the disk came back"));
            stop();
            copyAll(folder.path(), kept.path());
        }
        copyAll(kept.path(), folder.path());
        start();
    }

private Q_SLOTS:
    void initTestCase()
    {
        auto settings = SettingsFile::open();
        settings->clear();
        settings->sync();
        QDir(AppPaths::dataFolder()).removeRecursively();
        Soak::makeFilePool();
    }

    void randomOperationsKeepTheStoredState()
    {
        m_seed = envNumber("QUORVIN_SOAK_SEED", QRandomGenerator::global()->generate64());
        const quint64 seconds = envNumber("QUORVIN_SOAK_SECONDS", 25);
        const quint64 maxOps = envNumber("QUORVIN_SOAK_OPS", std::numeric_limits<quint64>::max());
        qInfo("soak: QUORVIN_SOAK_SEED=%llu, %llu s", m_seed, seconds);
        QRandomGenerator random(m_seed);
        QElapsedTimer timer;
        timer.start();

        start();
        m_expected = Soak::snapshot(*m_store);
        while (quint64(timer.elapsed()) < seconds * 1000 && quint64(m_counts.ops) < maxOps) {
            const Soak::Op op = Soak::generate(random, false);
            const QString when = QStringLiteral("op %1 (kind %2 %3)")
                                     .arg(m_counts.ops)
                                     .arg(int(op.kind))
                                     .arg((op.entries + QStringList {op.text, op.link}).join(u'|'));
            ++m_counts.ops;
            if (op.kind == Soak::OpKind::restart && random.bounded(4) == 0) {
                diskFaultRound(random, when);
                continue;
            }
            if (op.kind == Soak::OpKind::restart) {
                ++m_counts.restarts;
                stop();
                start();
                check(Soak::snapshot(*m_store), when + QStringLiteral(" after restart"));
                continue;
            }
            if (op.kind == Soak::OpKind::kill) {
                ++m_counts.kills;
                killRound(random, when);
                continue;
            }
            const Soak::State before = m_expected;
            Soak::apply(op, m_expected);
            const bool isDrop = op.kind == Soak::OpKind::dropUris || op.kind == Soak::OpKind::dropText
                || op.kind == Soak::OpKind::dropRtf;
            if (isDrop && before.tavlos[before.active].items.size() < 40) {
                ++m_counts.drops;
                if (!drop(op))
                    m_failures.append(when + QStringLiteral(": drop never finished"));
            } else {
                Soak::applyToStore(op, before, *m_store);
            }
            check(Soak::snapshot(*m_store), when);
            if (m_failures.size() > 20)
                break;
        }
        stop();
        start();
        check(Soak::snapshot(*m_store), QStringLiteral("final reload"));
        stop();

        qInfo("soak: %d ops (%d drops), %d restarts, %d kills (%d child changes, %d cut mid-write), "
              "%d disk faults (%d left changes unsaved until repaired), %lld failures, %.0f s, seed %llu",
              m_counts.ops, m_counts.drops, m_counts.restarts, m_counts.kills, m_counts.childChanges,
              m_counts.killedMidWrite, m_counts.diskFaults, m_counts.unsavedOnFaultyDisk,
              qlonglong(m_failures.size()), timer.elapsed() / 1000.0, m_seed);
        for (const QString &failure : std::as_const(m_failures))
            qWarning("%s", qPrintable(failure));
        QVERIFY2(m_failures.isEmpty(),
                 qPrintable(QStringLiteral("seed %1: %2").arg(m_seed).arg(m_failures.value(0))));
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--child") == 0)
        return runChild(QByteArray(argv[2]).toULongLong());
    // Long runs outlast Qt Test's watchdog (300 s by default).
    if (qEnvironmentVariableIsEmpty("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT",
                QByteArray::number((envNumber("QUORVIN_SOAK_SECONDS", 25) + 300) * 1000));
    TestSoak test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
