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
#include "platform/SaveStatus.h"

#include "ScratchMount.h"

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
    void webLinks_data();
    void webLinks();
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

    // Full or read-only: no image at all rather than a cut one, and the panel hears of it.
    for (const QByteArray fault : {"full", "ro"}) {
        ScratchMount disk(dir.filePath(QString::fromLatin1(fault)));
        if (!disk.ok())
            QSKIP("needs root to mount a small tmpfs");
        QVERIFY(fault == "full" || disk.remount("ro"));
        const QByteArray big = encoded("png") + QByteArray(100000, 'x');
        QVERIFY(!Clippings::saveImageFile(big, dir.filePath(QString::fromLatin1(fault))));
        QVERIFY(QDir(dir.filePath(QString::fromLatin1(fault)))
                    .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(SaveStatus::instance().message().startsWith(u"Not saved: "_qs));
    }
}

// firstWebLink takes the first link anywhere in the text; singleWebLink only a text that is one link.
void TestClippings::webLinks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("single");
    const auto row = [](const char *name, const QString &text, const QString &first, const QString &single) {
        QTest::newRow(name) << text << first << single;
    };
    row("inside a paragraph", u"Notes\nsee https://example.com/a and more"_qs, u"https://example.com/a"_qs,
        {});
    row("first of two", u"example.org then https://example.com"_qs, u"http://example.org"_qs, {});
    row("two links", u"https://a.example.com\nhttps://b.example.com"_qs, u"https://a.example.com"_qs, {});
    row("surrounded by spaces", u" \n https://example.com/x \t"_qs, u"https://example.com/x"_qs,
        u"https://example.com/x"_qs);
    row("bare domain", u"example.com"_qs, u"http://example.com"_qs, u"http://example.com"_qs);
    row("trailing period", u"https://example.com."_qs, u"https://example.com"_qs, {});
    row("e-mail only", u"write to bob@example.com"_qs, {}, {});
    row("none", u"nothing here, e.g. file.txt"_qs, {}, {});
    row("blank", u"  \n"_qs, {}, {});
    row("other scheme", u"ftp://example.com"_qs, {}, {});
}

void TestClippings::webLinks()
{
    QFETCH(QString, text);
    QFETCH(QString, first);
    QFETCH(QString, single);
    const auto firstLink = ::firstWebLink(text);
    QCOMPARE(firstLink ? firstLink->absoluteString() : QString(), first);
    const auto singleLink = ::singleWebLink(text);
    QCOMPARE(singleLink ? singleLink->absoluteString() : QString(), single);
}

QTEST_GUILESS_MAIN(TestClippings)
#include "tst_clippings.moc"
