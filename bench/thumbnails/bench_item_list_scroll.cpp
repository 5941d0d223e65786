// A tavlo of 10,000 mixed items scrolled end to end: the time of every frame (scroll, deliveries,
// repaint) and the memory above an empty tavlo.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "BenchMemory.h"
#include "thumbnails/TavloThumbnailLoader.h"
#include "views/TavloItemListModel.h"
#include "views/TavloItemListView.h"

namespace {

QList<TavloItem> mixedItems(const QStringList &pictures, int count)
{
    QList<TavloItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        TavloItem item;
        item.id = QUuid::createUuid();
        switch (i % 4) {
        case 0: // files: pictures, some of which are shared, and some missing files
            item.kind = FileItemKind {
                TavloUrl::fromLocalFile(i % 40 == 0 ? QStringLiteral("/nonexistent/%1.txt").arg(i)
                                                    : pictures.at(i % pictures.size())),
                {}};
            break;
        case 1:
            item.kind = TextItemKind {
                RichTextPayload {{}, QStringLiteral("Note %1\nwith a second line\tand a tab").arg(i)},
                std::nullopt};
            break;
        case 2:
            item.kind = UrlItemKind {
                *TavloUrl::parse(QStringLiteral("https://site%1.example.org/page").arg(i)), std::nullopt};
            break;
        default:
            item.kind = TextItemKind {RichTextPayload {{}, QStringLiteral("Short %1").arg(i)},
                                      QStringLiteral("Label")};
            break;
        }
        items.append(item);
    }
    return items;
}

void report(const char *label, QList<double> frames)
{
    std::sort(frames.begin(), frames.end());
    double sum = 0;
    for (double f : frames)
        sum += f;
    const auto at = [&](double q) {
        return frames.at(std::min<qsizetype>(frames.size() - 1, qsizetype(q * frames.size())));
    };
    const qsizetype over = std::count_if(frames.cbegin(), frames.cend(), [](double f) { return f > 16.0; });
    std::printf("%s: %lld frames, mean %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms, over 16 ms: %lld\n",
                label, qlonglong(frames.size()), sum / frames.size(), at(0.5), at(0.99), frames.last(),
                qlonglong(over));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    QStringList pictures;
    for (int i = 0; i < 300; ++i) {
        QImage image(1600, 1200, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i % 360, 160, 220));
        const QString path = dir.filePath(QStringLiteral("picture %1.jpg").arg(i));
        image.save(path, "jpeg", 85);
        pictures.append(path);
    }

    TavloThumbnailLoader thumbnails;
    for (const TavloOrientation orientation : {TavloOrientation::horizontal, TavloOrientation::vertical}) {
        const bool horizontal = orientation == TavloOrientation::horizontal;
        TavloItemListView view;
        view.setThumbnailLoader(&thumbnails);
        view.setOrientation(orientation);
        view.resize(horizontal ? QSize(1004, 100) : QSize(184, 620));
        view.show();
        app.processEvents();
        view.viewport()->repaint();
        const qint64 emptyKiB = residentKiB();

        view.itemModel()->setItems(mixedItems(pictures, 10000));
        app.processEvents();
        const qint64 loadedKiB = residentKiB();
        QScrollBar *bar = horizontal ? view.horizontalScrollBar() : view.verticalScrollBar();
        QList<double> frames;
        QElapsedTimer frame;
        const int step = 48;
        for (int value = 0; value <= bar->maximum() + step; value += step) {
            frame.start();
            bar->setValue(std::min(value, bar->maximum()));
            app.processEvents();
            view.viewport()->repaint();
            frames.append(frame.nsecsElapsed() / 1e6);
        }
        const qint64 afterScrollKiB = residentKiB();
        thumbnails.waitForDone();
        app.processEvents();
        view.viewport()->repaint();
        const qint64 settledKiB = residentKiB();
        std::printf("%s list, 10000 items, %d px per frame\n", horizontal ? "horizontal" : "vertical", step);
        report("  frames", frames);
        std::printf("  memory above the empty tavlo: %.1f MB after scrolling, %.1f MB settled (target: at "
                    "most 15 MB);"
                    " %.1f MB of it before scrolling; picture cache %.1f MB\n",
                    (afterScrollKiB - emptyKiB) / 1024.0, (settledKiB - emptyKiB) / 1024.0,
                    (loadedKiB - emptyKiB) / 1024.0, thumbnails.cache().totalCost() / 1048576.0);
    }
    return 0;
}
