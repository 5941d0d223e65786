#include <QSettings>
#include <QTest>

#include "KillRound.h"
#include "model/TavloStore.h"
#include "platform/SettingsFile.h"

// A process killed at any moment leaves data files that load, holding every state it saw written.
class TestTavloStoreKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLeavesLoadableFiles_data()
    {
        QTest::addColumn<bool>("waitEachChange");
        QTest::newRow("written states") << true;
        QTest::newRow("coalesced burst") << false;
    }

    void killedWriterLeavesLoadableFiles()
    {
        QFETCH(bool, waitEachChange);
        QRandomGenerator random(waitEachChange ? 11 : 12);
        qsizetype mostWritten = 0;
        for (int round = 0; round < 3; ++round) {
            const KillRound::Result result =
                KillRound::run(QStringLiteral(STORE_CHURN_EXE), random, waitEachChange);
            QVERIFY2(result.ok, qPrintable(result.failure));
            mostWritten = std::max(mostWritten, result.lastWritten);
        }
        // The child must have got far enough for the check to mean something.
        if (waitEachChange)
            QVERIFY(mostWritten > 0);
    }

    // A second process leaves the data folder to the one that holds it, and says so.
    void secondProcessKeepsOff()
    {
        QDir(AppPaths::dataFolder()).removeRecursively();
        TavloStore owner;
        owner.addText(QStringLiteral("mine"));
        QVERIFY(owner.waitForPendingWrites());
        const QByteArray tavlos = *StoreFiles::read(StoreFiles::tavlosKey);

        QProcess other;
        other.start(QStringLiteral(STORE_CHURN_EXE), {QStringLiteral("count")});
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.readAllStandardOutput().trimmed(), QByteArray("0"));
        QVERIFY(other.readAllStandardError().contains("another Quorvin process is using"));
        QCOMPARE(*StoreFiles::read(StoreFiles::tavlosKey), tavlos);
    }

    // Moving the lists out of an older settings file can be cut short anywhere: the next start
    // finishes the move and has every item.
    void killedMoveLosesNothing()
    {
        const QUuid tavlo = QUuid::createUuid();
        QList<StoredTavloItem> records;
        for (int i = 0; i < 300; ++i) {
            StoredTavloItem record;
            record.id = QUuid::createUuid();
            record.tavloID = tavlo;
            record.kind = StoredTavloItem::Kind::url;
            record.urlString = QStringLiteral("https://moved.example/%1").arg(i);
            records.append(record);
        }
        QRandomGenerator random(13);
        for (int round = 0; round < 6; ++round) {
            QDir(AppPaths::dataFolder()).removeRecursively();
            QFile::remove(SettingsFile::open()->fileName());
            {
                QSettings old(SettingsFile::open()->fileName(), QSettings::IniFormat);
                old.setValue(StoreFiles::tavlosKey,
                             StoredJson::encodeTavlos({{tavlo, QStringLiteral("Home")}}));
                old.setValue(StoreFiles::itemsKey, StoredJson::encodeItems(records));
            }
            QProcess child;
            child.start(QStringLiteral(STORE_CHURN_EXE), {QStringLiteral("count")});
            QVERIFY(child.waitForStarted(5000));
            QTest::qWait(int(random.bounded(0, 120)));
            child.kill();
            child.waitForFinished(5000);

            QProcess counter;
            counter.start(QStringLiteral(STORE_CHURN_EXE), {QStringLiteral("count")});
            QVERIFY(counter.waitForFinished(30000));
            QCOMPARE(counter.readAllStandardOutput().trimmed(), QByteArray("300"));
        }
    }
};

QTEST_GUILESS_MAIN(TestTavloStoreKill)
#include "tst_tavlo_store_kill.moc"
