#include <QTest>

#include "KillRound.h"

// A process killed at any moment leaves settings that load, holding every state it saw written.
class TestTavloStoreKill : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLeavesLoadableSettings_data()
    {
        QTest::addColumn<bool>("waitEachChange");
        QTest::newRow("written states") << true;
        QTest::newRow("coalesced burst") << false;
    }

    void killedWriterLeavesLoadableSettings()
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
};

QTEST_GUILESS_MAIN(TestTavloStoreKill)
#include "tst_tavlo_store_kill.moc"
