#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

#include "ScratchMount.h"
#include "thumbnails/FreedesktopThumbnails.h"
#include "thumbnails/PictureFunctions.h"
#include "thumbnails/TavloThumbnailLoader.h"
#include "thumbnails/ThumbnailCache.h"

using namespace FreedesktopThumbnails;

class TestThumbnailLoader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    TavloThumbnailLoader m_loader;

    QString writeImage(const QString &name, QSize size, QColor color = Qt::red, const char *format = "png")
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = m_dir.filePath(name);
        QImageWriter writer(path, format);
        if (!writer.write(image))
            qWarning() << writer.errorString();
        return path;
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return path;
    }

    // A thumbnailer for text/csv files whose Exec runs `script` through /bin/sh with the fields.
    void installThumbnailer(const QString &script)
    {
        const QString folder = m_dir.filePath(QStringLiteral("thumbnailers"));
        QDir().mkpath(folder);
        const QString scriptPath = m_dir.filePath(QStringLiteral("fake-thumbnailer.sh"));
        QFile scriptFile(scriptPath);
        QVERIFY(scriptFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        scriptFile.write("#!/bin/sh\n" + script.toUtf8() + "\n");
        scriptFile.close();
        QFile::setPermissions(scriptPath,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile entry(folder + QStringLiteral("/fake.thumbnailer"));
        QVERIFY(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
        entry.write("[Thumbnailer Entry]\nTryExec=" + scriptPath.toUtf8() + "\nExec=\"" + scriptPath.toUtf8()
                    + "\" -s %s \"%i\" %o\nMimeType=text/csv;\n");
        entry.close();
        setThumbnailerFolders({folder});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation).contains(".home"));
    }

    void cacheHonoursCountAndCost()
    {
        ThumbnailCache cache(3, 100);
        for (int i = 0; i < 5; ++i)
            cache.insert(QString::number(i), QImage(1, 1, QImage::Format_RGB32), 10);
        QCOMPARE(cache.count(), 3);
        QVERIFY(!cache.object("0") && !cache.object("1"));
        QVERIFY(cache.object("4"));

        cache.insert("big", QImage(), 90); // pushes older entries out by cost
        QVERIFY(cache.totalCost() <= 100);
        QVERIFY(cache.object("big"));
        cache.insert("huge", QImage(), 101); // larger than the whole cache: not kept
        QVERIFY(!cache.object("huge"));
        cache.insert("big", QImage(), 5); // replacing an entry replaces its cost
        QCOMPARE(cache.totalCost(), 5 + (cache.count() - 1) * 10);
    }

    void imageKinds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("isImage");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("png") << "a.png" << true << "photo";
        QTest::newRow("upper case jpeg") << "B.JPEG" << true << "photo";
        QTest::newRow("svg") << "c.svg" << true << "photo";
        QTest::newRow("no extension") << "Makefile" << false << "doc";
        QTest::newRow("folder without extension") << "." << false << "doc";
        QTest::newRow("unknown extension") << "x.qqqzzz" << false << "doc";
        QTest::newRow("movie") << "clip.mp4" << false << "film";
        QTest::newRow("audio") << "song.mp3" << false << "waveform";
        QTest::newRow("dotfile") << ".bashrc" << false << "doc";
    }

    void imageKinds()
    {
        QFETCH(QString, name);
        QFETCH(bool, isImage);
        QFETCH(QString, symbol);
        QCOMPARE(isImageFile("/nowhere/" + name), isImage);
        QCOMPARE(fallbackSymbolName("/nowhere/" + name), symbol);
    }

    void downsampling()
    {
        const QImage wide = downsampledImage(writeImage("wide.jpg", {3000, 1000}, Qt::blue, "jpeg"), 272);
        QCOMPARE(wide.size(), QSize(272, 90));
        const QImage tall = downsampledImage(writeImage("tall.png", {500, 1000}), 272);
        QCOMPARE(tall.size(), QSize(136, 272));
        const QImage small = downsampledImage(writeImage("small.png", {40, 30}), 272);
        QCOMPARE(small.size(), QSize(40, 30)); // never enlarged
        QVERIFY(downsampledImage(writeImage("zero.png", {40, 30}), 0).isNull());
    }

    void badImagesGiveNothing_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\nthis is not a png at all", 32);
        QByteArray truncated;
        {
            QImage image(400, 400, QImage::Format_RGB32);
            image.fill(Qt::green);
            QBuffer buffer(&truncated);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "png");
        }
        truncated.truncate(60);
        QTest::newRow("truncated png") << truncated;
        // A PNG header claiming 60000 x 60000 pixels: Qt's allocation limit must stop it.
        QByteArray bomb = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
        bomb += QByteArray::fromHex("0000ea600000ea600806000000");
        bomb += QByteArray(4, '\0');
        bomb += QByteArray::fromHex("0000000049454e44ae426082");
        QTest::newRow("decompression bomb") << bomb;
    }

    void badImagesGiveNothing()
    {
        QFETCH(QByteArray, bytes);
        const QString path = writeFile(QStringLiteral("bad.png"), bytes);
        QVERIFY(downsampledImage(path, 272).isNull());
        QVERIFY(downsampledImage(bytes, 272).isNull());
        QVERIFY(TavloThumbnailLoader::makeThumbnail(path).isNull());
    }

    void deliveriesAreLaterAndShared()
    {
        TavloThumbnailLoader &loader = m_loader;
        const QString path = writeImage("shared.png", {600, 300});
        const QString dotted = m_dir.path() + "/./sub/../shared.png";
        QDir(m_dir.path()).mkdir("sub");

        QImage first;
        bool called = false;
        QObject context;
        loader.thumbnail(dotted, &context, [&](const QImage &image) {
            first = image;
            called = true;
        });
        QVERIFY(!called);
        QTRY_VERIFY(called);
        QCOMPARE(first.size(), QSize(272, 136));
        QVERIFY(loader.cache().object(TavloThumbnailLoader::cacheKey(path)));

        // A hit on the plain path: still not delivered from inside the call.
        called = false;
        loader.thumbnail(path, &context, [&](const QImage &image) {
            called = true;
            QCOMPARE(image.size(), QSize(272, 136));
        });
        QVERIFY(!called);
        QTRY_VERIFY(called);

        // Tiles ask for what fills their square; a bigger square is not served the smaller picture.
        const QString photo = writeImage("photo.png", {800, 600});
        for (const auto &[fill, expected] : {std::pair {68, QSize(91, 68)}, std::pair {136, QSize(182, 136)},
                                             std::pair {68, QSize(182, 136)}}) {
            QImage delivered;
            loader.thumbnail(
                photo, &context, [&](const QImage &image) { delivered = image; }, fill);
            QTRY_COMPARE(delivered.size(), expected);
        }
    }

    void failuresAreNotCachedAndDeadContextsHearNothing()
    {
        TavloThumbnailLoader &loader = m_loader;
        const QString path = writeFile(QStringLiteral("broken.jpg"), "not a jpeg");
        bool called = false;
        QImage delivered(1, 1, QImage::Format_RGB32);
        QObject context;
        loader.thumbnail(path, &context, [&](const QImage &image) {
            called = true;
            delivered = image;
        });
        QTRY_VERIFY(called);
        QVERIFY(delivered.isNull());
        QVERIFY(!loader.cache().object(TavloThumbnailLoader::cacheKey(path)));

        // Now the file is fixed; the next request must read it again.
        writeImage("broken.jpg", {50, 50}, Qt::red, "jpeg");
        called = false;
        loader.thumbnail(path, &context, [&](const QImage &image) {
            called = true;
            delivered = image;
        });
        QTRY_VERIFY(called);
        QCOMPARE(delivered.size(), QSize(50, 50));

        auto *gone = new QObject;
        bool heard = false;
        loader.thumbnail(writeImage("other.png", {20, 20}), gone, [&](const QImage &) { heard = true; });
        delete gone;
        loader.waitForDone();
        QTest::qWait(50);
        QVERIFY(!heard);
    }

    void splitExec_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("plain") << "/usr/bin/thumb -s %s %u %o"
                               << QStringList {"/usr/bin/thumb", "-s", "%s", "%u", "%o"};
        QTest::newRow("quoted") << "\"/opt/my thumb\" \"%i\"" << QStringList {"/opt/my thumb", "%i"};
        QTest::newRow("escapes") << "a \"b \\\"c\\\\\" d\\ e" << QStringList {"a", "b \"c\\", "d e"};
        QTest::newRow("extra spaces") << "  a   b  " << QStringList {"a", "b"};
        QTest::newRow("unterminated") << "a \"b" << QStringList {};
        QTest::newRow("empty") << "" << QStringList {};
    }

    void splitExec()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, arguments);
        QCOMPARE(FreedesktopThumbnails::splitExec(exec), arguments);
    }

    void substitution()
    {
        const QStringList result = substituteExec({"t", "%s", "%i", "--uri=%u", "%o", "100%%", "%x"},
                                                  "/tmp/a b/it's\n.csv", "/out/x.png", 512);
        QCOMPARE(result,
                 (QStringList {"t", "512", "/tmp/a b/it's\n.csv", "--uri=file:///tmp/a%20b/it's%0A.csv",
                               "/out/x.png", "100%", ""}));
    }

    void sharedCacheValidity()
    {
        const QString path = writeFile(QStringLiteral("table.csv"), "a,b\n1,2\n");
        QVERIFY(cachedThumbnail(path, 272).isNull());
        QImage picture(512, 256, QImage::Format_ARGB32);
        picture.fill(Qt::yellow);
        QCOMPARE(sizeNameFor(272), QStringLiteral("x-large"));
        const QString stored = cacheFolder("x-large") + "/"
            + QCryptographicHash::hash(fileUri(path), QCryptographicHash::Md5).toHex() + ".png";
        // A link planted at the cache name is replaced, not written through.
        const QString victim = writeFile(QStringLiteral("victim.txt"), "keep");
        QVERIFY(QDir().mkpath(cacheFolder("x-large")));
        QVERIFY(QFile::link(victim, stored));
        QVERIFY(storeThumbnail(path, sizeNameFor(272), picture));
        QVERIFY(!QFileInfo(stored).isSymLink());
        QFile kept(victim);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("keep"));
        QCOMPARE(QFile::permissions(stored)
                     & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(QImage(stored).text("Thumb::URI"), QString::fromUtf8(fileUri(path)));
        QCOMPARE(cachedThumbnail(path, 272).size(), QSize(272, 136));

        // A changed file makes the cached thumbnail stale.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(
            file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        file.close();
        QVERIFY(cachedThumbnail(path, 272).isNull());
        QVERIFY(!storeThumbnail(m_dir.filePath("missing.csv"), "x-large", picture));
    }

    // A cache write that cannot finish leaves the thumbnail that was there, and no stray file.
    void cacheWriteOnFullOrReadOnlyDisk()
    {
        ScratchMount mount(cacheFolder("large"), "32k");
        if (!mount.ok())
            QSKIP("needs root to mount a small file system");
        const QString path = writeFile(QStringLiteral("sheet.csv"), "a\n");
        QImage plain(256, 256, QImage::Format_RGB32);
        plain.fill(Qt::red);
        QVERIFY(storeThumbnail(path, "large", plain));
        QImage noise(256, 256, QImage::Format_RGB32);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x)
                noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x ^ y) & 255, (x * y) % 253));
        }
        QVERIFY(!storeThumbnail(path, "large", noise)); // its PNG is far larger than the disk
        QVERIFY(mount.remount("ro"));
        QVERIFY(!storeThumbnail(path, "large", plain.scaled(64, 64)));
        QCOMPARE(cachedThumbnail(path, 256).pixel(5, 5), qRgb(255, 0, 0));
        QCOMPARE(QDir(cacheFolder("large")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void thumbnailerRuns_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << "plain.csv";
        QTest::newRow("spaces and quotes") << "it's a \"quoted\" name.csv";
        QTest::newRow("newline") << "line\nbreak.csv";
        QTest::newRow("dollar and semicolon") << "$(touch pwned); rm.csv";
    }

    void thumbnailerRuns()
    {
        QFETCH(QString, fileName);
        // Copies a fixed PNG to the output only when the input argument names an existing file.
        const QString sample = writeImage("sample.png", {600, 400}, Qt::magenta);
        installThumbnailer("[ \"$1\" = -s ] && [ \"$2\" = 512 ] && [ -f \"$3\" ] && cp \"" + sample
                           + "\" \"$4\"");
        const QString path = writeFile(fileName, "x,y\n");
        const QImage image = systemThumbnail(path, 272);
        QCOMPARE(image.size(), QSize(272, 181));
        QCOMPARE(image.pixelColor(10, 10), QColor(Qt::magenta));
        QVERIFY(!QFile::exists(QDir::current().filePath("pwned")));
        // The fresh result is now in the shared cache.
        QVERIFY(!cachedThumbnail(path, 272).isNull());
    }

    void misbehavingThumbnailers_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("hangs") << "sleep 30";
        QTest::newRow("writes garbage") << "printf 'garbage' > \"$4\"";
        QTest::newRow("writes nothing") << "exit 0";
        QTest::newRow("fails") << "exit 3";
        QTest::newRow("leaves a detached child") << "setsid sleep 30 & echo $! > PIDFILE; exit 0";
        QTest::newRow("detaches a child and hangs") << "setsid sleep 30 & echo $! > PIDFILE; sleep 30";
    }

    void misbehavingThumbnailers()
    {
        QFETCH(QString, script);
        const QString pidFile = m_dir.filePath(QStringLiteral("%1.pid").arg(QTest::currentDataTag()));
        installThumbnailer(script.replace(QStringLiteral("PIDFILE"), u'"' + pidFile + u'"'));
        setThumbnailerTimeout(700);
        const QString path = writeFile(QStringLiteral("bad-%1.csv").arg(QTest::currentDataTag()), "1,2\n");
        QElapsedTimer timer;
        timer.start();
        QVERIFY(systemThumbnail(path, 272).isNull());
        QVERIFY(timer.elapsed() < 5000);
        setThumbnailerTimeout(5000);
        QVERIFY(cachedThumbnail(path, 272).isNull());
        // Nothing the thumbnailer started outlives it, not even in a session of its own.
        QFile pid(pidFile);
        if (pid.open(QIODevice::ReadOnly))
            QCOMPARE(::kill(pid_t(pid.readAll().trimmed().toInt()), 0), -1);
    }

    void specialFilesAreNotRead()
    {
        const QString fifo = m_dir.filePath("pipe.png");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(TavloThumbnailLoader::makeThumbnail(fifo).isNull()); // returns instead of blocking
        QVERIFY(TavloThumbnailLoader::makeThumbnail(m_dir.path()).isNull());
    }

    void noThumbnailerNoPicture()
    {
        setThumbnailerFolders({m_dir.filePath("none")});
        QVERIFY(systemThumbnail(writeFile("lonely.csv", "1\n"), 272).isNull());
        QVERIFY(systemThumbnail(m_dir.filePath("does-not-exist.csv"), 272).isNull());
        setThumbnailerFolders({});
    }
};

QTEST_GUILESS_MAIN(TestThumbnailLoader)
#include "tst_thumbnail_loader.moc"
