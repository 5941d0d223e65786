// Tiles for a folder of 24-megapixel photographs: the loader's path (downsampled decoding on its
// thread pool) against vipsthumbnail at the same 272-pixel size, in one run.
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentMap>

#include <cstdio>
#include <sys/resource.h>

#include "BenchMemory.h"
#include "thumbnails/TavloThumbnailLoader.h"

namespace {

constexpr int photoCount = 40;
constexpr QSize photoSize(6000, 4000);

// A photo-like picture: smooth light with fine grain, so the JPEG is neither trivial nor noise.
void writePhoto(const QString &path, int seed)
{
    QImage image(photoSize, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed) + 1);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(random.generate() & 31) - 16;
            const int r = std::clamp((x * 255 / photoSize.width() + seed * 7) % 256 + grain, 0, 255);
            const int g = std::clamp((y * 255 / photoSize.height() + seed * 13) % 256 + grain, 0, 255);
            const int b = std::clamp(((x + y) / 40 + seed * 29) % 256 + grain, 0, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    writer.write(image);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString folder = QDir::tempPath() + QStringLiteral("/quorvin-bench-photos");
    QDir().mkpath(folder);
    QStringList photos;
    for (int i = 0; i < photoCount; ++i) {
        const QString path = folder + QStringLiteral("/photo-%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        if (!QFileInfo::exists(path))
            writePhoto(path, i);
        photos.append(path);
    }
    qint64 totalBytes = 0;
    for (const QString &photo : photos)
        totalBytes += QFileInfo(photo).size();
    std::printf("photos: %d of %dx%d, %.1f MB on disk\n", photoCount, photoSize.width(), photoSize.height(),
                double(totalBytes) / 1e6);

    // Warm the page cache so both sides read from memory.
    for (const QString &photo : photos) {
        QFile file(photo);
        if (file.open(QIODevice::ReadOnly))
            file.readAll();
    }

    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    double vipsSeconds = -1;
    long vipsPeakKiB = -1;
    if (!vips.isEmpty()) {
        const QString out = QDir::tempPath() + QStringLiteral("/quorvin-bench-vips");
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        QProcess process;
        process.setProgram(vips);
        process.setArguments(QStringList {QStringLiteral("-s"), QStringLiteral("272"), QStringLiteral("-o"),
                                          out + QStringLiteral("/%s.png")}
                             + photos);
        QElapsedTimer timer;
        timer.start();
        process.start();
        process.waitForFinished(-1);
        vipsSeconds = timer.nsecsElapsed() / 1e9;
        struct rusage usage
        { };
        getrusage(RUSAGE_CHILDREN, &usage);
        vipsPeakKiB = usage.ru_maxrss;
        if (process.exitCode() != 0)
            std::printf("vipsthumbnail failed: %s\n", process.readAllStandardError().constData());
    } else {
        std::printf("vipsthumbnail not found (apt-get install libvips-tools)\n");
    }

    const qint64 baseKiB = residentKiB();
    resetPeakResident();
    TavloThumbnailLoader loader;
    QElapsedTimer timer;
    timer.start();
    int made = 0;
    int pending = photoCount;
    QObject context;
    for (const QString &photo : photos) {
        loader.thumbnail(photo, &context, [&](const QImage &image) {
            made += image.isNull() ? 0 : 1;
            if (--pending == 0)
                app.quit();
        });
    }
    app.exec();
    const double oursSeconds = timer.nsecsElapsed() / 1e9;
    const qint64 peakKiB = peakResidentKiB();

    std::printf("threads: %d\n", loader.threadCount());
    std::printf(
        "quorvin loader: %d tiles in %.2f s = %.2f tiles/s, peak memory %.1f MB (%.1f MB above start)\n",
        made, oursSeconds, photoCount / oursSeconds, peakKiB / 1024.0, (peakKiB - baseKiB) / 1024.0);
    if (vipsSeconds > 0) {
        std::printf("vipsthumbnail:  %d tiles in %.2f s = %.2f tiles/s, peak memory %.1f MB\n", photoCount,
                    vipsSeconds, photoCount / vipsSeconds, vipsPeakKiB / 1024.0);
        std::printf("throughput ratio quorvin/vips: %.2f (target >= 0.8)\n", vipsSeconds / oursSeconds);
    }
    return made == photoCount ? 0 : 1;
}
