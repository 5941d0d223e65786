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

} // namespace

class TestVideoLinks : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeNetwork> network;

private Q_SLOTS:
    void init()
    {
        network = std::make_unique<FakeNetwork>();
        VideoThumbnailDownload::setNetworkAccessManager(network.get());
    }

    void cleanup()
    {
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
        VideoThumbnailDownload::setTimeLimit(15000);
        network.reset();
    }

    void recognition_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("isVideoHost");
        QTest::addColumn<QString>("id"); // empty: none
        QTest::newRow("short") << "https://youtu.be/abc123" << true << "abc123";
        QTest::newRow("short trailing slash") << "https://youtu.be/abc123/" << true << "abc123";
        QTest::newRow("short root") << "https://youtu.be/" << true << "";
        QTest::newRow("short www") << "https://www.youtu.be/xyz" << true << "xyz";
        QTest::newRow("short nested, not an id") << "https://youtu.be/a/b" << true << "";
        QTest::newRow("watch") << "https://www.youtube.com/watch?v=dQw4w9WgXcQ" << true << "dQw4w9WgXcQ";
        QTest::newRow("watch v later") << "https://youtube.com/watch?list=PL1&v=ID2&t=3" << true << "ID2";
        QTest::newRow("watch empty v") << "https://youtube.com/watch?v=&x=1" << true << "";
        QTest::newRow("watch trailing slash") << "https://youtube.com/watch/?v=ID" << true << "";
        QTest::newRow("crafted id steering the request")
            << "https://youtube.com/watch?v=..%2F..%2Fx%3Fq%3D1%23" << true << "";
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
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("endless");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<bool>("succeeds");
        const QString https = QStringLiteral("https://i.ytimg.com/vi/x/hqdefault.jpg");
        const QByteArray jpeg = jpegBytes({480, 360});
        QTest::newRow("image") << https << 200 << jpeg << false << false << true;
        QTest::newRow("not found") << https << 404 << jpeg << false << false << false;
        QTest::newRow("server error") << https << 500 << QByteArray() << false << false << false;
        QTest::newRow("undecodable") << https << 200 << QByteArray("<html>nope</html>") << false << false
                                     << false;
        QTest::newRow("empty") << https << 200 << QByteArray() << false << false << false;
        QTest::newRow("endless body") << https << 200 << QByteArray() << true << false << false;
        QTest::newRow("silent server") << https << 200 << QByteArray() << false << true << false;
        // Never fetched: no request leaves.
        QTest::newRow("plain http") << QStringLiteral("http://i.ytimg.com/vi/x/hqdefault.jpg") << 200 << jpeg
                                    << false << false << false;
    }

    void download()
    {
        QFETCH(QString, link);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, endless);
        QFETCH(bool, silent);
        QFETCH(bool, succeeds);
        network->next = FakeAnswer {status, body, endless, silent};
        if (silent)
            VideoThumbnailDownload::setTimeLimit(300);
        VideoThumbnailDownload download((QUrl(link)));
        QSignalSpy finished(&download, &VideoThumbnailDownload::finished);
        QVERIFY(finished.wait(10000));
        const QImage image = finished.first().first().value<QImage>();
        QCOMPARE(!image.isNull(), succeeds);
        if (succeeds)
            QCOMPARE(image.size(), QSize(480, 360));
        QCOMPARE(network->requested.size(), link.startsWith(QLatin1String("https:")) ? 1 : 0);
        for (const QNetworkRequest &request : std::as_const(network->requests)) {
            QCOMPARE(request.attribute(QNetworkRequest::CookieLoadControlAttribute).toInt(),
                     int(QNetworkRequest::Manual));
            QCOMPARE(request.attribute(QNetworkRequest::CookieSaveControlAttribute).toInt(),
                     int(QNetworkRequest::Manual));
        }
        // Exactly one answer.
        QTest::qWait(20);
        QCOMPARE(finished.count(), 1);
    }

    void deletingCancelsQuietly()
    {
        network->next.endless = true;
        auto *download = new VideoThumbnailDownload(QUrl("https://i.ytimg.com/vi/x/hqdefault.jpg"));
        QTRY_COMPARE(network->requested.size(), 1);
        QSignalSpy finished(download, &VideoThumbnailDownload::finished);
        delete download;
        QTest::qWait(30);
        QCOMPARE(finished.count(), 0);
    }
};

QTEST_MAIN(TestVideoLinks)
#include "tst_video_links.moc"
