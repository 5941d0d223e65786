// Figures for the preview window: from the click to the preview on screen, and the large picture of
// a 24-megapixel JPEG, first decoded and then served from the cache.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWindow>

#include <algorithm>
#include <ctime>

#include "preview/LargePreviewLoader.h"
#include "preview/TavloPreviewWindowController.h"

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

// Waits for one delivery of the loader and returns the milliseconds it took.
double timeDelivery(LargePreviewLoader &loader, const TavloUrl &url, QSize *size)
{
    QEventLoop loop;
    QElapsedTimer timer;
    double elapsed = 0;
    timer.start();
    loader.image(url, &loop, [&](const QImage &image) {
        elapsed = timer.nsecsElapsed() / 1e6;
        *size = image.size();
        loop.quit();
    });
    loop.exec();
    return elapsed;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir dir;

    // A photo-like 6000 x 4000 JPEG: gradients with noise, so the decoder has real work.
    QImage photo(6000, 4000, QImage::Format_RGB32);
    {
        QPainter painter(&photo);
        QLinearGradient gradient(0, 0, 6000, 4000);
        gradient.setColorAt(0, QColor(30, 90, 160));
        gradient.setColorAt(1, QColor(220, 160, 60));
        painter.fillRect(photo.rect(), gradient);
    }
    auto *random = QRandomGenerator::global();
    for (int y = 0; y < photo.height(); y += 3) {
        auto *line = reinterpret_cast<QRgb *>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); x += 2)
            line[x] ^= random->bounded(0x202020);
    }
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    photo.save(jpeg, "JPEG", 90);
    photo = QImage();
    const TavloUrl url = TavloUrl::fromLocalFile(jpeg);

    QList<double> firsts;
    QList<double> hits;
    QSize size;
    for (int run = 0; run < 5; ++run) {
        LargePreviewLoader loader;
        firsts << timeDelivery(loader, url, &size);
        hits << timeDelivery(loader, url, &size);
    }
    // The machine may be shared; CPU time of the decode alone tells the work apart from the waiting.
    QList<double> cpu;
    for (int run = 0; run < 5; ++run) {
        const std::clock_t start = std::clock();
        LargePreviewLoader::largePicture(jpeg);
        cpu << double(std::clock() - start) * 1000.0 / CLOCKS_PER_SEC;
    }
    out << "large picture of a 24 MP JPEG: decode CPU time " << median(cpu) << " ms\n";
    out << "large picture of a 24 MP JPEG (" << size.width() << "x" << size.height() << "): first "
        << median(firsts) << " ms, from cache " << median(hits) << " ms (median of 5)\n";

    // From the click to the preview on screen: showPreview until the window is exposed and painted.
    LargePreviewLoader previewLoader;
    TavloPreviewWindowController controller(previewLoader);
    controller.setTavloPanelFrameProvider([] { return QRect(100, 500, 600, 120); });
    const QList<TavloItem> items {
        TavloItem {
            QUuid::createUuid(),
            TextItemKind {RichTextPayload {{}, QStringLiteral("A short snippet\nof text")}, std::nullopt}},
        TavloItem {QUuid::createUuid(), FileItemKind {url, {}}},
        TavloItem {QUuid::createUuid(),
                   UrlItemKind {*TavloUrl::parse(QStringLiteral("https://example.org/page")), std::nullopt}},
    };
    const char *names[] = {"text", "image file", "link"};
    for (int i = 0; i < items.size(); ++i) {
        QList<double> times;
        for (int run = 0; run < 20; ++run) {
            controller.close();
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            controller.showPreview(items.at(i), {});
            QWidget *panel = controller.panel();
            panel->repaint();
            while (!panel->windowHandle()->isExposed())
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            times << timer.nsecsElapsed() / 1e6;
        }
        out << "click to preview on screen, " << names[i] << ": " << median(times) << " ms (median of 20)\n";
    }
    controller.close();
    return 0;
}
