#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "ingest/Clippings.h"
#include "ingest/WebLinks.h"

namespace {

QByteArray encoded(const char *format)
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

// The clippings writer and the two web-link helpers built on the detector.
class TestClippings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void savesUnderDataHome_data();
    void savesUnderDataHome();
    void refusesBytesThatAreNoImage();
    void neverReplacesAnExistingFile();
    void unwritableFolderFails();
    void firstWebLink_data();
    void firstWebLink();
    void singleWebLink_data();
    void singleWebLink();
};

void TestClippings::savesUnderDataHome_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("extension");
    QTest::newRow("png") << encoded("png") << u"png"_qs;
    QTest::newRow("jpeg") << encoded("jpg") << u"jpg"_qs;
    QTest::newRow("tiff little endian") << QByteArray("II*\0rest", 8) << u"tiff"_qs;
    QTest::newRow("tiff big endian") << QByteArray("MM\0*rest", 8) << u"tiff"_qs;
}

void TestClippings::savesUnderDataHome()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);

    const QString folder = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + u"/Quorvin/Clippings"_qs;
    QCOMPARE(Clippings::folder(), folder);

    const auto url = Clippings::saveClippingImage(bytes);
    QVERIFY(url);
    QVERIFY(url->isFileURL());
    const QString path = url->toLocalFile();
    const QFileInfo info(path);
    QCOMPARE(info.absolutePath(), folder);
    QVERIFY2(QRegularExpression(u"^Tavlo Image [0-9A-F]{8}\\."_qs + extension + u'$')
                 .match(info.fileName())
                 .hasMatch(),
             qPrintable(info.fileName()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(info.permissions() & others, QFile::Permissions());
    QVERIFY(info.permissions().testFlags(QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(QFileInfo(folder).permissions() & others, QFile::Permissions());
}

void TestClippings::refusesBytesThatAreNoImage()
{
    QTemporaryDir dir;
    QVERIFY(!Clippings::saveImageFile(QByteArray(), dir.path()));
    QVERIFY(!Clippings::saveImageFile("GIF89a....", dir.path()));
    QVERIFY(!Clippings::saveImageFile("\x89PN", dir.path()));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestClippings::neverReplacesAnExistingFile()
{
    QTemporaryDir dir;
    const QByteArray png = encoded("png");
    QSet<QString> names;
    for (int i = 0; i < 50; ++i) {
        const auto path = Clippings::saveImageFile(png, dir.path());
        QVERIFY(path);
        names.insert(*path);
    }
    QCOMPARE(names.size(), 50);
}

void TestClippings::unwritableFolderFails()
{
    QTemporaryDir dir;
    // A file where the folder should be stops even a superuser.
    const QString blocker = dir.filePath(u"Quorvin"_qs);
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QVERIFY(!Clippings::saveImageFile(encoded("png"), blocker + u"/Clippings"_qs));
    QVERIFY(!Clippings::saveImageFile(encoded("png"), blocker));

    const QString locked = dir.filePath(u"locked"_qs);
    QVERIFY(QDir().mkpath(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(locked).isWritable())
        QSKIP("running with rights that ignore folder permissions");
    QVERIFY(!Clippings::saveImageFile(encoded("png"), locked + u"/Clippings"_qs));
    QVERIFY(!Clippings::saveImageFile(encoded("png"), locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestClippings::firstWebLink_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");
    QTest::newRow("inside a paragraph")
        << u"Notes\nsee https://example.com/a and more"_qs << u"https://example.com/a"_qs;
    QTest::newRow("first of two") << u"example.org then https://example.com"_qs << u"http://example.org"_qs;
    QTest::newRow("untrimmed") << u"  https://example.com  "_qs << u"https://example.com"_qs;
    QTest::newRow("e-mail only") << u"write to bob@example.com"_qs << QString();
    QTest::newRow("none") << u"nothing here, e.g. file.txt"_qs << QString();
}

void TestClippings::firstWebLink()
{
    QFETCH(QString, text);
    QFETCH(QString, url);
    const auto link = ::firstWebLink(text);
    QCOMPARE(link ? link->absoluteString() : QString(), url);
}

void TestClippings::singleWebLink_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");
    QTest::newRow("surrounded by spaces")
        << u" \n https://example.com/x \t"_qs << u"https://example.com/x"_qs;
    QTest::newRow("bare domain") << u"example.com"_qs << u"http://example.com"_qs;
    QTest::newRow("sentence") << u"see https://example.com"_qs << QString();
    QTest::newRow("two links") << u"https://a.example.com\nhttps://b.example.com"_qs << QString();
    QTest::newRow("trailing period") << u"https://example.com."_qs << QString();
    QTest::newRow("blank") << u"  \n"_qs << QString();
    QTest::newRow("other scheme") << u"ftp://example.com"_qs << QString();
}

void TestClippings::singleWebLink()
{
    QFETCH(QString, text);
    QFETCH(QString, url);
    const auto link = ::singleWebLink(text);
    QCOMPARE(link ? link->absoluteString() : QString(), url);
}

QTEST_GUILESS_MAIN(TestClippings)
#include "tst_clippings.moc"
