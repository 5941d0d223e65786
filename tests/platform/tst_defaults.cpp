#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "platform/Defaults.h"

class TestDefaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Other tools and the README point people at this exact file.
    void settingsLiveInTheXdgConfigFolder()
    {
        const QString config = QDir::cleanPath(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")));
        QVERIFY(!config.isEmpty());
        auto settings = Defaults::open();
        QCOMPARE(settings->fileName(), config + QStringLiteral("/Quorvin/Quorvin.conf"));

        settings->setValue(QStringLiteral("Quorvin.Orientation"), QStringLiteral("vertical"));
        Defaults::flush(*settings);
        QVERIFY(QFileInfo::exists(settings->fileName()));
        QCOMPARE(Defaults::open()->value(QStringLiteral("Quorvin.Orientation")).toString(),
                 QStringLiteral("vertical"));
    }

    void dataFolderFollowsXdgDataHome()
    {
        const QString data = QDir::cleanPath(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")));
        QCOMPARE(AppPaths::dataFolder(), data + QStringLiteral("/Quorvin"));
    }
};

QTEST_GUILESS_MAIN(TestDefaults)
#include "tst_defaults.moc"
