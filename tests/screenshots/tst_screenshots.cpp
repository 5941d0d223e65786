// Renders the app's windows as a person sees them and writes them to docs/screenshots, so the
// README's pictures follow every change. Each picture is checked too: the window's exact size,
// the card painted (not blank), and a file size that keeps the repository small.
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include "about/AboutWindowController.h"
#include "app/AppDelegate.h"
#include "app/TavloPanel.h"
#include "ingest/TavloIngest.h"
#include "model/TavloStore.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"
#include "platform/SettingsFile.h"
#include "preview/LargePreviewLoader.h"
#include "preview/TavloPreviewWindowController.h"
#include "snippets/TextSnippetWindowController.h"
#include "thumbnails/FakeNetwork.h"
#include "thumbnails/TavloThumbnailLoader.h"
#include "thumbnails/VideoThumbnailDownload.h"
#include "views/ContentView.h"
#include "views/TavloItemListView.h"
#include "widgetkit/PanelMetrics.h"

namespace {

constexpr qint64 maxFileBytes = 150 * 1024;

// A picture for the image item: a lake at dusk, drawn so the test needs no sample files.
void writePhoto(const QString &path)
{
    QImage photo(1200, 800, QImage::Format_RGB32);
    QPainter p(&photo);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 480);
    sky.setColorAt(0, QColor(40, 52, 110));
    sky.setColorAt(0.6, QColor(214, 120, 110));
    sky.setColorAt(1, QColor(250, 196, 120));
    p.fillRect(photo.rect(), sky);
    p.setBrush(QColor(255, 226, 160));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(760, 440), 70, 70);
    QPainterPath hills(QPointF(0, 520));
    hills.cubicTo(250, 380, 420, 560, 650, 470);
    hills.cubicTo(850, 400, 1000, 520, 1200, 450);
    hills.lineTo(1200, 800);
    hills.lineTo(0, 800);
    p.setBrush(QColor(46, 58, 72));
    p.drawPath(hills);
    QLinearGradient water(0, 560, 0, 800);
    water.setColorAt(0, QColor(120, 90, 120));
    water.setColorAt(1, QColor(30, 40, 70));
    p.fillRect(QRect(0, 560, 1200, 240), water);
    p.end();
    QVERIFY(photo.save(path, "JPG", 88));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Waits until the widget paints the same twice in a row: thumbnails load on pool threads.
QImage settledGrab(QWidget *widget)
{
    QImage last;
    for (int i = 0; i < 60; ++i) {
        QTest::qWait(100);
        QImage now = widget->grab().toImage();
        if (!last.isNull() && now == last)
            return now;
        last = std::move(now);
    }
    return last;
}

// The share of pixels that are neither transparent nor the most common colour: a blank or
// single-coloured window scores near zero.
double detailShare(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QHash<QRgb, int> counts;
    int opaque = 0;
    for (int y = 0; y < argb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) > 200) {
                ++opaque;
                ++counts[line[x]];
            }
        }
    }
    int common = 0;
    for (int n : std::as_const(counts))
        common = std::max(common, n);
    return double(opaque - common) / (argb.width() * argb.height());
}

} // namespace

class TestScreenshots : public QObject
{
    Q_OBJECT

private:
    QString m_folder = QStringLiteral(QUORVIN_SCREENSHOT_DIR);
    QString m_files;
    FakeNetwork m_network;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<TavloStore> m_store;
    std::unique_ptr<TavloIngest> m_ingest;
    TavloThumbnailLoader m_thumbnails;
    LargePreviewLoader m_largePreviews;
    TavloPreviewWindowController m_preview {m_largePreviews};
    AboutWindowController m_about;
    TextSnippetWindowController m_snippets;
    std::unique_ptr<AppDelegate> m_delegate;

    ContentView *content() const { return qobject_cast<ContentView *>(m_delegate->tavloPanel()->content()); }
    TavloPanel *panel() const { return m_delegate->tavloPanel(); }

    // Writes the picture unless the file already holds these pixels, so an unchanged window
    // leaves the working tree clean.
    void save(const QImage &image, const QString &name)
    {
        const QString path = m_folder + u'/' + name;
        const QImage current = QImage(path).convertToFormat(QImage::Format_ARGB32);
        if (current != image.convertToFormat(QImage::Format_ARGB32)) {
            QVERIFY(QDir().mkpath(m_folder));
            QVERIFY2(image.save(path, "PNG", 0), qPrintable(path));
        }
        QVERIFY2(QFileInfo(path).size() < maxFileBytes, qPrintable(name));
    }

    void setOrientation(TavloOrientation orientation)
    {
        content()->setOrientation(orientation);
        QTRY_COMPARE(panel()->size(), PanelMetrics::panelSize(orientation));
        moveClearOfPointer();
    }

    // The pointer of the shared display may rest anywhere, and a cell under it shows its hover
    // look; the panel moves beside it rather than moving the pointer other tests may rely on.
    void moveClearOfPointer()
    {
        const QPoint pointer = QCursor::pos();
        const QRect frame = panel()->frameGeometry();
        if (!frame.contains(pointer))
            return;
        const QRect screen = panel()->screen()->availableGeometry();
        const int gap = 20;
        const QList<QPoint> places {{pointer.x() - frame.width() - gap, frame.top()},
                                    {pointer.x() + gap, frame.top()},
                                    {frame.left(), pointer.y() - frame.height() - gap},
                                    {frame.left(), pointer.y() + gap}};
        for (const QPoint &place : places) {
            if (screen.contains(QRect(place, frame.size()))) {
                panel()->move(place);
                QTRY_VERIFY(!panel()->frameGeometry().contains(QCursor::pos()));
                return;
            }
        }
    }

    void shootPanel(const QString &name, int expectedItems)
    {
        QCOMPARE(content()->store()->items().size(), expectedItems);
        const QImage image = settledGrab(panel());
        QCOMPARE(image.size(), PanelMetrics::panelSize(content()->orientation()) * image.devicePixelRatio());
        // The corners are outside the rounded card and stay see-through.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QVERIFY(detailShare(image) > 0.01);
        save(image, name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QApplication::setApplicationName(QStringLiteral("Quorvin"));
        QApplication::setApplicationVersion(QStringLiteral(QUORVIN_VERSION));
        SettingsFile::open()->clear();
        QDir(AppPaths::dataFolder()).removeRecursively();
        // No network in tests: the video link keeps its placeholder, as it does offline.
        m_network.next = FakeAnswer {404, {}, false, false};
        VideoThumbnailDownload::setNetworkAccessManager(&m_network);
        QApplication::setCursorFlashTime(0);

        m_files = QDir::homePath() + QStringLiteral("/Documents/Atlas project");
        QVERIFY(QDir().mkpath(m_files + QStringLiteral("/Site survey")));
        writePhoto(m_files + QStringLiteral("/Lake at dusk.jpg"));
        writeFile(m_files + QStringLiteral("/Budget 2026.ods"), "PK\x03\x04");
        writeFile(m_files + QStringLiteral("/Meeting notes.txt"), "Agenda\n- budget\n- site survey\n");
        writeFile(m_files + QStringLiteral("/Proposal.pdf"), "%PDF-1.4\n%%EOF\n");

        m_settings = std::make_unique<Settings>();
        m_store = std::make_unique<TavloStore>();
        m_ingest = std::make_unique<TavloIngest>(*m_store);
        AppDelegate::Environment environment;
        environment.settings = m_settings.get();
        m_delegate = std::make_unique<AppDelegate>(std::move(environment));
        m_delegate->startUp(new ContentView(*m_store, *m_ingest, *m_settings, &m_thumbnails));
        QVERIFY(QTest::qWaitForWindowExposed(panel()));
        moveClearOfPointer();
        QPointer<TavloPanel> shown = panel();
        m_preview.setTavloPanelFrameProvider(
            [shown] { return shown && shown->isVisible() ? shown->frameGeometry() : QRect(); });
        connect(&m_preview, &TavloPreviewWindowController::selectedItemIDChanged, content()->itemListView(),
                &TavloItemListView::setSelectedItemID);
    }

    void cleanupTestCase()
    {
        m_preview.close();
        m_about.close();
        m_delegate.reset();
        m_ingest.reset();
        m_store.reset();
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
    }

    void emptyPanel()
    {
        shootPanel(QStringLiteral("panel-horizontal-empty.png"), 0);
        setOrientation(TavloOrientation::vertical);
        shootPanel(QStringLiteral("panel-vertical-empty.png"), 0);
    }

    void panelWithItems()
    {
        TavloStore *store = content()->store();
        store->addFile(TavloUrl::fromLocalFile(m_files + QStringLiteral("/Lake at dusk.jpg")));
        store->addFile(TavloUrl::fromLocalFile(m_files + QStringLiteral("/Proposal.pdf")));
        store->addURL(*TavloUrl::parse(QStringLiteral("https://en.wikipedia.org/wiki/Fig")));
        store->addURL(*TavloUrl::parse(QStringLiteral("https://www.youtube.com/watch?v=aqz-KE-bpKQ")));
        QTextDocument note;
        QTextCursor cursor(&note);
        cursor.insertHtml(QStringLiteral("<b>Site visit, Thursday</b><br>Bring the survey maps and the "
                                         "signed permit.<br>Call Mira about the access road."));
        store->addRichText(RichText::fromDocument(note));
        store->addFile(TavloUrl::fromLocalFile(m_files + QStringLiteral("/Meeting notes.txt")));
        store->addFile(TavloUrl::fromLocalFile(m_files + QStringLiteral("/Budget 2026.ods")));
        store->addFile(TavloUrl::fromLocalFile(m_files + QStringLiteral("/Site survey")));

        shootPanel(QStringLiteral("panel-vertical-items.png"), 8);
        setOrientation(TavloOrientation::horizontal);
        shootPanel(QStringLiteral("panel-horizontal-items.png"), 8);
    }

    // The preview of the picture, open above the panel as a click leaves it.
    void previewBesideThePanel()
    {
        const TavloItem photo = content()->store()->items().first();
        TavloPreviewWindowController &preview = m_preview;
        QImage previewImage;
        QImage panelImage;
        // A press by another test on the shared display closes the preview, as it should; try again.
        for (int attempt = 0; attempt < 3 && (previewImage.isNull() || !preview.isShown()); ++attempt) {
            preview.showPreview(photo, {});
            QVERIFY(QTest::qWaitForWindowExposed(preview.panel()));
            QCOMPARE(preview.selectedItemID(), photo.id);
            previewImage = settledGrab(preview.panel());
            panelImage = settledGrab(panel());
        }
        QVERIFY(preview.isShown());
        const QRect previewFrame = preview.panel()->geometry();
        const QRect panelFrame = panel()->geometry();
        QVERIFY(!previewFrame.intersects(panelFrame));
        const QRect both = previewFrame.united(panelFrame);
        QImage image(both.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.drawImage(previewFrame.topLeft() - both.topLeft(), previewImage);
        painter.drawImage(panelFrame.topLeft() - both.topLeft(), panelImage);
        painter.end();
        QVERIFY(detailShare(previewImage) > 0.05);
        save(image, QStringLiteral("preview.png"));
        preview.close();
    }

    void snippetWindow()
    {
        const auto &items = content()->store()->items();
        const auto text =
            std::find_if(items.cbegin(), items.cend(), [](const TavloItem &i) { return i.isText(); });
        QVERIFY(text != items.cend());
        TextSnippetWindow *window =
            m_snippets.openSnippet(std::get<TextItemKind>(text->kind).payload, [](const RichText &) {});
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QImage image = settledGrab(window);
        QVERIFY(detailShare(image) > 0.01);
        save(image, QStringLiteral("snippet.png"));
        window->close();
    }

    void aboutPanel()
    {
        AboutWindowController &about = m_about;
        about.showAbout(panel()->frameGeometry());
        QVERIFY(QTest::qWaitForWindowExposed(about.panel()));
        const QImage image = settledGrab(about.panel());
        QVERIFY(detailShare(image) > 0.01);
        save(image, QStringLiteral("about.png"));
        about.close();
    }
};

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
