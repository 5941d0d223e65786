#include <QApplication>
#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "model/LocalFileName.h"
#include "preview/LargePreviewLoader.h"
#include "preview/TavloLargeFilePreview.h"
#include "preview/TavloPreviewContent.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

TavloItem fileItem(const QString &path)
{
    return TavloItem {QUuid::createUuid(), FileItemKind {TavloUrl::fromLocalFile(path), {}}};
}

TavloItem textItem(const QString &text, std::optional<QString> title = std::nullopt)
{
    return TavloItem {QUuid::createUuid(), TextItemKind {RichTextPayload {{}, text}, title}};
}

TavloItem linkItem(const QString &url, std::optional<QString> title = std::nullopt)
{
    return TavloItem {QUuid::createUuid(), UrlItemKind {*TavloUrl::parse(url), title}};
}

// A loader whose pictures are plain images of a fixed size, counting how often it makes one.
struct CountingLoader
{
    explicit CountingLoader(QSize size = QSize(40, 30))
        : loader([this, size](const QString &path) {
              calls.ref();
              if (path.endsWith(QLatin1String(".none")))
                  return QImage();
              QImage image(size, QImage::Format_ARGB32);
              image.fill(Qt::red);
              return image;
          })
    { }
    QAtomicInt calls;
    LargePreviewLoader loader;
};

} // namespace

// The preview content per item kind, its footer, and the large-picture loader.
class TestPreviewContent : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString makeFile(const QString &name, const QByteArray &bytes = "x")
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(bytes);
        return file.fileName();
    }

private Q_SLOTS:
    void footerTitles_data()
    {
        QTest::addColumn<TavloItem>("item");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("symbol");
        auto row = [](const char *name, const TavloItem &item, const QString &title, const QString &symbol) {
            QTest::newRow(name) << item << title << symbol;
        };
        const QString quote = QStringLiteral("text.quote");
        row("file", fileItem(QStringLiteral("/tmp/some dir/Report 2024.pdf")), "Report 2024.pdf", "doc");
        row("folder with trailing slash", fileItem(QStringLiteral("/tmp/Projects/")), "Projects", "doc");
        row("text title", textItem(QStringLiteral("body"), QStringLiteral("Label")), "Label", quote);
        row("text empty title", textItem(QStringLiteral("body"), QString()), "body", quote);
        row("text leading empty lines", textItem(QStringLiteral("\n\n  second\nthird")), "  second", quote);
        row("text empty", textItem(QString()), "Text Snippet", quote);
        row("text only line feeds", textItem(QStringLiteral("\n\n")), "Text Snippet", quote);
        const QString web = QStringLiteral("https://example.org/a");
        row("link title", linkItem(web, QStringLiteral("Docs")), "Docs", "link");
        row("link host", linkItem(web), "example.org", "link");
        row("link no host", linkItem(QStringLiteral("mailto:someone@example.org")), "Web Link", "link");
    }

    void footerTitles()
    {
        QFETCH(TavloItem, item);
        QFETCH(QString, title);
        QFETCH(QString, symbol);
        QCOMPARE(TavloPreviewContent::footerTitle(item), title);
        QCOMPARE(TavloPreviewContent::footerSymbolName(item), symbol);
    }

    void areaPerKind()
    {
        CountingLoader counting;
        const QString file = makeFile(QStringLiteral("notes.txt"));
        QDir(dir.path()).mkdir(QStringLiteral("Folder"));
        struct Case
        {
            TavloItem item;
            TavloPreviewContent::Area area;
            bool canOpen;
            QString hint = QStringLiteral("Original file is unavailable"); // when it cannot open
        };
        const QList<Case> cases {
            {textItem(QStringLiteral("hello")), TavloPreviewContent::Area::text, true},
            {linkItem(QStringLiteral("https://example.org")), TavloPreviewContent::Area::link, true},
            {linkItem(QStringLiteral("javascript:alert(1)")), TavloPreviewContent::Area::link, false,
             QStringLiteral("Only web links open")},
            {fileItem(file), TavloPreviewContent::Area::largeFile, true},
            {fileItem(dir.filePath(QStringLiteral("Folder"))), TavloPreviewContent::Area::folder, true},
            {fileItem(dir.filePath(QStringLiteral("missing.png"))),
             TavloPreviewContent::Area::unavailableFile, false},
        };
        for (const Case &c : cases) {
            TavloPreviewContent content(c.item, {}, nullptr, &counting.loader);
            content.show();
            QCOMPARE(content.area(), c.area);
            QCOMPARE(content.size(), QSize(520, 390));
            QCOMPARE(content.openButton()->isEnabled(), c.canOpen);
            QCOMPARE(content.hintText(),
                     c.canOpen ? QStringLiteral("Double-click Tavlo item, or click Open.") : c.hint);
            QCOMPARE(content.footerTitleText(), TavloPreviewContent::footerTitle(c.item));
        }
        // Only the regular file asked for a picture; a folder never does.
        QTRY_COMPARE(counting.calls.loadRelaxed(), 1);
    }

    void fileVanishingWhileShown()
    {
        CountingLoader counting;
        const QString path = makeFile(QStringLiteral("vanishing.txt"));
        TavloPreviewContent content(fileItem(path), {}, nullptr, &counting.loader);
        content.show();
        QCOMPARE(content.area(), TavloPreviewContent::Area::largeFile);
        QVERIFY(QFile::remove(path));
        QTRY_COMPARE(content.area(), TavloPreviewContent::Area::unavailableFile);
        QVERIFY(!content.openButton()->isEnabled());
        QCOMPARE(content.hintText(), QStringLiteral("Original file is unavailable"));
        QVERIFY(visibleTexts(&content).contains(QStringLiteral("File Unavailable")));
    }

    void cardTexts()
    {
        TavloPreviewContent missing(fileItem(dir.filePath(QStringLiteral("gone/Budget.xlsx"))), {});
        const QStringList missingTexts = visibleTexts(&missing);
        QVERIFY(missingTexts.contains(QStringLiteral("File Unavailable")));
        QVERIFY(missingTexts.contains(dir.filePath(QStringLiteral("gone/Budget.xlsx"))));

        TavloPreviewContent link(linkItem(QStringLiteral("mailto:a@example.org")), {});
        const QStringList linkTexts = visibleTexts(&link);
        QVERIFY(linkTexts.contains(QStringLiteral("Web Link")));
        QVERIFY(linkTexts.contains(QStringLiteral("mailto:a@example.org")));
        // A video link gets the same symbol card as any link: nothing is downloaded for it.
        TavloPreviewContent video(linkItem(QStringLiteral("https://youtu.be/abcDEF")), {});
        QStringList symbols;
        for (QLabel *label : video.areaWidget()->findChildren<QLabel *>())
            symbols << label->property("symbolName").toString();
        QCOMPARE(symbols.filter(QStringLiteral("link")), QStringList {QStringLiteral("link")});

        // The text area shows the characters, selectable.
        TavloPreviewContent text(textItem(QStringLiteral("line one\nline two")), {});
        auto *view = qobject_cast<QPlainTextEdit *>(text.areaWidget());
        QVERIFY(view);
        QCOMPARE(view->toPlainText(), QStringLiteral("line one\nline two"));
        QVERIFY(view->isReadOnly());
        QVERIFY(view->textInteractionFlags() & Qt::TextSelectableByMouse);
    }

    void largePictureArrivesAndLateDeliveriesAreDropped()
    {
        CountingLoader counting;
        const QString a = makeFile(QStringLiteral("a.bin"));
        const QString none = makeFile(QStringLiteral("b.none"));
        TavloLargeFilePreview view(TavloUrl::fromLocalFile(a), nullptr, &counting.loader);
        QSignalSpy delivered(&view, &TavloLargeFilePreview::imageDelivered);
        view.resize(520, 340);
        view.show();
        QVERIFY(view.isShowingPlaceholder());
        QVERIFY(delivered.wait());
        QCOMPARE(view.image().size(), QSize(40, 30));
        QVERIFY(!view.isShowingPlaceholder());
        // Painting the picture must not fail at any size.
        view.resize(30, 30);
        view.grab();

        // A file without a picture keeps the placeholder.
        view.setUrl(TavloUrl::fromLocalFile(none));
        QVERIFY(view.isShowingPlaceholder());
        QVERIFY(delivered.wait());
        QVERIFY(view.isShowingPlaceholder());

        // Switching again before the first delivery: only the last URL's picture is taken.
        view.setUrl(TavloUrl::fromLocalFile(a + QStringLiteral("/../a.bin")));
        view.setUrl(TavloUrl::fromLocalFile(none));
        QTest::qWait(100);
        QVERIFY(view.isShowingPlaceholder());
    }

    void cacheHitIsDeliveredLater()
    {
        CountingLoader counting;
        const QString a = makeFile(QStringLiteral("hit.bin"));
        QObject context;
        int deliveries = 0;
        counting.loader.image(TavloUrl::fromLocalFile(a), &context, [&](const QImage &) { ++deliveries; });
        QTRY_COMPARE(deliveries, 1);
        // Another spelling of the same path shares the entry.
        counting.loader.image(TavloUrl::fromLocalFile(dir.path() + QStringLiteral("/./x/../hit.bin")),
                              &context, [&](const QImage &image) {
                                  QVERIFY(!image.isNull());
                                  ++deliveries;
                              });
        QCOMPARE(deliveries, 1);
        QTRY_COMPARE(deliveries, 2);
        QCOMPARE(counting.calls.loadRelaxed(), 1);

        // Failures are asked again; nothing reaches a destroyed context.
        const QString none = makeFile(QStringLiteral("c.none"));
        auto *gone = new QObject;
        bool reached = false;
        counting.loader.image(TavloUrl::fromLocalFile(none), gone, [&](const QImage &) { reached = true; });
        delete gone;
        counting.loader.image(TavloUrl::fromLocalFile(none), &context, [&](const QImage &) { ++deliveries; });
        QTRY_COMPARE(deliveries, 3);
        QCOMPARE(counting.calls.loadRelaxed(), 3);
        QVERIFY(!reached);
    }

    void cacheBounds_data()
    {
        QTest::addColumn<QSize>("pictureSize");
        QTest::addColumn<int>("expectedCount");
        // Small pictures: the count bound holds.
        QTest::newRow("count") << QSize(64, 64) << 24;
        // 1200 x 1200 pictures cost 5,760,000 each: seventeen fit in 96 MiB.
        QTest::newRow("cost") << QSize(1200, 1200) << 17;
    }

    void cacheBounds()
    {
        QFETCH(QSize, pictureSize);
        QFETCH(int, expectedCount);
        CountingLoader counting(pictureSize);
        QObject context;
        int deliveries = 0;
        for (int i = 0; i < 30; ++i) {
            const QString path = makeFile(QStringLiteral("bound-%1.bin").arg(i));
            counting.loader.image(TavloUrl::fromLocalFile(path), &context,
                                  [&](const QImage &) { ++deliveries; });
        }
        QTRY_COMPARE_WITH_TIMEOUT(deliveries, 30, 10000);
        QCOMPARE(counting.loader.cache().count(), expectedCount);
        QVERIFY(counting.loader.cache().totalCost() <= LargePreviewLoader::cacheCostLimit);
    }

    void realPictures()
    {
        // An actual image decoded to at most 1200 pixels; an unreadable one and a non-file URL give none.
        QImage big(2400, 1200, QImage::Format_RGB32);
        big.fill(Qt::blue);
        const QString png = dir.filePath(QStringLiteral("big.png"));
        QVERIFY(big.save(png));
        QCOMPARE(LargePreviewLoader::largePicture(png).size(), QSize(1200, 600));
        QVERIFY(
            LargePreviewLoader::largePicture(makeFile(QStringLiteral("broken.png"), "not a png")).isNull());
        // A name that is not UTF-8 is read by its bytes; a pipe named like a picture returns at once.
        const QByteArray latin = QFile::encodeName(dir.path()) + "/caf\xe9.png";
        QCOMPARE(::link(QFile::encodeName(png).constData(), latin.constData()), 0);
        QCOMPARE(LargePreviewLoader::largePicture(decodeFileName(latin)).size(), QSize(1200, 600));
        const QString pipe = dir.filePath(QStringLiteral("pipe.png"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QVERIFY(LargePreviewLoader::largePicture(pipe).isNull());

        LargePreviewLoader loader;
        QObject context;
        bool delivered = false;
        loader.image(*TavloUrl::parse(QStringLiteral("https://example.org/x.png")), &context,
                     [&](const QImage &image) { delivered = image.isNull(); });
        QTRY_VERIFY(delivered);
    }

private:
    static QStringList visibleTexts(QWidget *root)
    {
        QStringList texts;
        for (QLabel *label : root->findChildren<QLabel *>())
            texts << label->text();
        for (QTextEdit *edit : root->findChildren<QTextEdit *>())
            texts << edit->toPlainText();
        return texts;
    }
};

QTEST_MAIN(TestPreviewContent)
#include "tst_preview_content.moc"
