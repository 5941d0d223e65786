#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "ScratchMount.h"
#include "platform/AppPaths.h"
#include "platform/SaveStatus.h"
#include "platform/Settings.h"
#include "platform/SettingsFile.h"

Q_DECLARE_METATYPE(std::optional<QPoint>)

class TestSettings : public QObject
{
    Q_OBJECT

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

private Q_SLOTS:
    void init() { QFile::remove(Settings::defaultPath()); }

    // Other tools and the README point people at this exact file.
    void filesLiveInTheXdgFolders()
    {
        const QString config = QDir::cleanPath(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")));
        QVERIFY(!config.isEmpty());
        QCOMPARE(Settings().fileName(), config + QStringLiteral("/Quorvin/Quorvin.conf"));
        QCOMPARE(SettingsFile::open()->fileName(), Settings::defaultPath());
        const QString data = QDir::cleanPath(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")));
        QCOMPARE(AppPaths::dataFolder(), data + QStringLiteral("/Quorvin"));
    }

    void readsWhatTheFileHolds_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<TavloOrientation>("orientation");
        QTest::addColumn<std::optional<QPoint>>("position");
        QTest::addColumn<QString>("folder");
        const auto none = std::optional<QPoint>();
        QTest::newRow("no file") << QByteArray() << TavloOrientation::horizontal << none << QString();
        QTest::newRow("all set") << QByteArray("# Quorvin settings\nQuorvin.Orientation=vertical\n"
                                               "Quorvin.Position.HasSaved=true\nQuorvin.Position.X=-40.6\n"
                                               "Quorvin.Position.Y=300\nQuorvin.LastSaveFolderPath=/a\\eb\n")
                                 << TavloOrientation::vertical << std::optional(QPoint(-41, 300))
                                 << QStringLiteral("/a=b");
        QTest::newRow("unknown orientation, position not marked saved")
            << QByteArray("# Quorvin settings\nQuorvin.Orientation=Vertical\nQuorvin.Position.X=1\n"
                          "Quorvin.Position.Y=2\n")
            << TavloOrientation::horizontal << none << QString();
        QTest::newRow("garbage position") << QByteArray("# Quorvin settings\nQuorvin.Position.HasSaved=true\n"
                                                        "Quorvin.Position.X=left\nQuorvin.Position.Y=2\n")
                                          << TavloOrientation::horizontal << none << QString();
        QTest::newRow("position beyond any desktop")
            << QByteArray("# Quorvin settings\nQuorvin.Position.HasSaved=true\nQuorvin.Position.X=1e300\n"
                          "Quorvin.Position.Y=nan\n")
            << TavloOrientation::horizontal << none << QString();
        QTest::newRow("older INI layout")
            << QByteArray("[General]\nQuorvin.Orientation=vertical\n"
                          "Quorvin.Position.HasSaved=true\nQuorvin.Position.X=5\n"
                          "Quorvin.Position.Y=6\n")
            << TavloOrientation::vertical << std::optional(QPoint(5, 6)) << QString();
    }

    void readsWhatTheFileHolds()
    {
        QFETCH(QByteArray, file);
        QFETCH(TavloOrientation, orientation);
        QFETCH(std::optional<QPoint>, position);
        QFETCH(QString, folder);
        if (!file.isEmpty())
            writeFile(Settings::defaultPath(), file);
        const Settings settings;
        QCOMPARE(settings.orientation(), orientation);
        QCOMPARE(settings.panelPosition(), position);
        QCOMPARE(settings.lastSaveFolder(), folder);
    }

    // Changes are seen at once, announced once, written in order and kept beside keys this object
    // does not know (older data the store has yet to move out).
    void changesAreAnnouncedAndWritten()
    {
        writeFile(Settings::defaultPath(), "# Quorvin settings\nQuorvin.Tavlos.v1=[]\n");
        Settings settings;
        QSignalSpy changed(&settings, &Settings::changed);
        settings.setOrientation(TavloOrientation::horizontal); // already so
        settings.setOrientation(TavloOrientation::vertical);
        settings.setPanelPosition(QPoint(10, 20));
        settings.setPanelPosition(QPoint(10, 20));
        for (int i = 0; i < 50; ++i)
            settings.setLastSaveFolder(QStringLiteral("/tmp/%1").arg(i));
        QCOMPARE(settings.orientation(), TavloOrientation::vertical);
        QCOMPARE(changed.size(), 52);
        QCOMPARE(changed.at(0).at(0).value<Settings::Key>(), Settings::Key::orientation);
        QCOMPARE(changed.at(1).at(0).value<Settings::Key>(), Settings::Key::panelPosition);
        QVERIFY(settings.waitForWrites());

        const Settings reread;
        QCOMPARE(reread.orientation(), TavloOrientation::vertical);
        QCOMPARE(reread.panelPosition(), std::optional(QPoint(10, 20)));
        QCOMPARE(reread.lastSaveFolder(), QStringLiteral("/tmp/49"));
        QCOMPARE(SettingsFile::open()->value(QStringLiteral("Quorvin.Tavlos.v1")).toString(),
                 QStringLiteral("[]"));
    }

    // A write that fails is shown and retried; the value stays in memory meanwhile.
    void failedWriteIsShownAndRetried()
    {
        const QString folder = QDir::tempPath() + QStringLiteral("/quorvin-settings-ro");
        ScratchMount mount(folder);
        if (!mount.ok())
            QSKIP("needs root to mount a scratch file system");
        Settings settings(folder + QStringLiteral("/Quorvin.conf"));
        QVERIFY(mount.remount("ro"));
        settings.setOrientation(TavloOrientation::vertical);
        QVERIFY(!settings.waitForWrites());
        QVERIFY(SaveStatus::instance().hasProblem());
        QCOMPARE(settings.orientation(), TavloOrientation::vertical);

        QVERIFY(mount.remount("rw"));
        QTRY_VERIFY_WITH_TIMEOUT(settings.waitForWrites(), 5000);
        QTRY_VERIFY(!SaveStatus::instance().hasProblem());
        QCOMPARE(Settings(settings.fileName()).orientation(), TavloOrientation::vertical);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
