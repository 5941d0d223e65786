#include <QBuffer>
#include <QSignalSpy>
#include <QtTest>

#include "model/TavloUrl.h"
#include "thumbnails/FakeNetwork.h"
#include "thumbnails/VideoThumbnailDownload.h"
#include "thumbnails/YouTube.h"

namespace {

TavloUrl url(const QString &text)
{
    const std::optional<TavloUrl> parsed = TavloUrl::parse(text);
    if (!parsed)
        qFatal("unparsable test URL");
    return *parsed;
}

QByteArray jpegBytes(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "jpeg");
    return bytes;
}

} // namespace

class TestVideoLinks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recognition_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("isVideoHost");
        QTest::addColumn<QString>("id"); // empty: none
        QTest::newRow("short") << "https://youtu.be/abc123" << true << "abc123";
        QTest::newRow("short trailing slash") << "https://youtu.be/abc123/" << true << "abc123";
        QTest::newRow("short root") << "https://youtu.be/" << true << "";
        QTest::newRow("short www") << "https://www.youtu.be/xyz" << true << "xyz";
        QTest::newRow("short nested") << "https://youtu.be/a/b" << true << "a/b";
        QTest::newRow("watch") << "https://www.youtube.com/watch?v=dQw4w9WgXcQ" << true << "dQw4w9WgXcQ";
        QTest::newRow("watch v later") << "https://youtube.com/watch?list=PL1&v=ID2&t=3" << true << "ID2";
        QTest::newRow("watch empty v") << "https://youtube.com/watch?v=&x=1" << true << "";
        QTest::newRow("watch trailing slash") << "https://youtube.com/watch/?v=ID" << true << "";
        QTest::newRow("watch V upper") << "https://youtube.com/watch?V=ID" << true << "";
        QTest::newRow("mobile") << "https://m.youtube.com/watch?v=M1" << true << "M1";
        QTest::newRow("upper host") << "https://WWW.YOUTUBE.COM/watch?v=U1" << true << "U1";
        QTest::newRow("shorts") << "https://youtube.com/shorts/S1" << true << "S1";
        QTest::newRow("embed") << "https://www.youtube.com/embed/E1?start=2" << true << "E1";
        QTest::newRow("live") << "https://youtube.com/live/L1" << true << "L1";
        QTest::newRow("marker last") << "https://youtube.com/shorts" << true << "";
        QTest::newRow("marker case") << "https://youtube.com/Shorts/S1" << true << "";
        QTest::newRow("channel") << "https://www.youtube.com/@someone" << true << "";
        QTest::newRow("music subdomain") << "https://music.youtube.com/watch?v=MU" << false << "MU";
        QTest::newRow("other site") << "https://example.com/watch?v=X" << false << "";
        QTest::newRow("no host") << "mailto:someone@example.com" << false << "";
    }

    void recognition()
    {
        QFETCH(QString, link);
        QFETCH(bool, isVideoHost);
        QFETCH(QString, id);
        QCOMPARE(YouTube::isYouTubeURL(url(link)), isVideoHost);
        const std::optional<QString> found = YouTube::youTubeVideoID(url(link));
        QCOMPARE(found.value_or(QString()), id);
        const std::optional<TavloUrl> thumbnail = YouTube::youTubeThumbnailURL(url(link));
        QCOMPARE(thumbnail.has_value(), !id.isEmpty());
        if (thumbnail) {
            QCOMPARE(thumbnail->absoluteString(), "https://i.ytimg.com/vi/" + id + "/hqdefault.jpg");
        }
    }

    void download_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("endless");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("image") << 200 << jpegBytes({480, 360}) << false << true;
        QTest::newRow("not found") << 404 << jpegBytes({480, 360}) << false << false;
        QTest::newRow("server error") << 500 << QByteArray() << false << false;
        QTest::newRow("undecodable") << 200 << QByteArray("<html>nope</html>") << false << false;
        QTest::newRow("empty") << 200 << QByteArray() << false << false;
        QTest::newRow("endless body") << 200 << QByteArray() << true << false;
    }

    void download()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, endless);
        QFETCH(bool, succeeds);
        FakeNetwork network;
        network.next = FakeAnswer {status, body, endless, false};
        VideoThumbnailDownload::setNetworkAccessManager(&network);
        VideoThumbnailDownload download(QUrl("https://i.ytimg.com/vi/x/hqdefault.jpg"));
        QSignalSpy finished(&download, &VideoThumbnailDownload::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.count(), 1);
        const QImage image = finished.first().first().value<QImage>();
        QCOMPARE(!image.isNull(), succeeds);
        if (succeeds)
            QCOMPARE(image.size(), QSize(480, 360));
        QCOMPARE(network.requested.size(), 1);
        const QNetworkRequest request = network.requests.first();
        QCOMPARE(request.attribute(QNetworkRequest::CookieLoadControlAttribute).toInt(),
                 int(QNetworkRequest::Manual));
        QCOMPARE(request.attribute(QNetworkRequest::CookieSaveControlAttribute).toInt(),
                 int(QNetworkRequest::Manual));
        QTest::qWait(20);
        QCOMPARE(finished.count(), 1);
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
    }

    void silentServerHitsTheTimeLimit()
    {
        FakeNetwork network;
        network.next.silent = true;
        VideoThumbnailDownload::setNetworkAccessManager(&network);
        VideoThumbnailDownload::setTimeLimit(300);
        VideoThumbnailDownload download(QUrl("https://i.ytimg.com/vi/x/hqdefault.jpg"));
        QSignalSpy finished(&download, &VideoThumbnailDownload::finished);
        QVERIFY(finished.wait(5000));
        QVERIFY(finished.first().first().value<QImage>().isNull());
        VideoThumbnailDownload::setTimeLimit(15000);
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
    }

    void onlyHttpsIsFetched()
    {
        FakeNetwork network;
        network.next.body = jpegBytes({10, 10});
        VideoThumbnailDownload::setNetworkAccessManager(&network);
        VideoThumbnailDownload download(QUrl("http://i.ytimg.com/vi/x/hqdefault.jpg"));
        QSignalSpy finished(&download, &VideoThumbnailDownload::finished);
        QVERIFY(finished.wait(2000));
        QVERIFY(finished.first().first().value<QImage>().isNull());
        QVERIFY(network.requested.isEmpty());
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
    }

    void deletingCancelsQuietly()
    {
        FakeNetwork network;
        network.next.endless = true;
        VideoThumbnailDownload::setNetworkAccessManager(&network);
        auto *download = new VideoThumbnailDownload(QUrl("https://i.ytimg.com/vi/x/hqdefault.jpg"));
        QTRY_COMPARE(network.requested.size(), 1);
        QSignalSpy finished(download, &VideoThumbnailDownload::finished);
        delete download;
        QTest::qWait(30);
        QCOMPARE(finished.count(), 0);
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
    }
};

QTEST_MAIN(TestVideoLinks)
#include "tst_video_links.moc"
