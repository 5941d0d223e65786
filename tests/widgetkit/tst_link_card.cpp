#include <QtTest>

#include "thumbnails/FakeNetwork.h"
#include "thumbnails/VideoThumbnailCache.h"
#include "thumbnails/VideoThumbnailDownload.h"
#include "widgetkit/URLCardVisual.h"

// The link card: where its parts go, and the video thumbnail it fetches or gives up on.
class TestLinkCard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void partsDoNotOverlap_data()
    {
        QTest::addColumn<bool>("isVideo");
        QTest::addColumn<bool>("showBar");
        QTest::newRow("video loading") << true << true;
        QTest::newRow("video failed") << true << false;
        QTest::newRow("plain link") << false << false;
    }

    void partsDoNotOverlap()
    {
        QFETCH(bool, isVideo);
        QFETCH(bool, showBar);
        const QRectF card(10, 20, 68, 68);
        for (qreal textHeight : {10.0, 12.0, 14.0}) {
            const URLCardVisual::CardLayout layout =
                URLCardVisual::cardLayout(card, isVideo, showBar, textHeight);
            QList<QRectF> parts {layout.symbol, layout.text};
            if (showBar)
                parts << layout.bar;
            QCOMPARE(layout.badge.isEmpty(), !isVideo);
            for (int i = 0; i < parts.size(); ++i) {
                QVERIFY(card.contains(parts[i]));
                QVERIFY(!parts[i].intersects(layout.badge));
                if (i > 0)
                    QVERIFY(parts[i].top() >= parts[i - 1].bottom());
            }
        }
    }

    void videoCardLoadsOrFails_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("loaded") << 200 << "Loading video";
        QTest::newRow("not found") << 404 << "YouTube";
    }

    void videoCardLoadsOrFails()
    {
        QFETCH(int, status);
        QFETCH(QString, text);
        VideoThumbnailCache::clear();
        FakeNetwork network;
        network.next = FakeAnswer {status, jpegBytes({480, 360}), false, false};
        VideoThumbnailDownload::setNetworkAccessManager(&network);

        URLCardVisual card(*TavloUrl::parse("https://youtu.be/abcDEF"));
        QVERIFY(card.isVideo());
        QVERIFY(card.isLoading());
        QSignalSpy changed(&card, &URLCardVisual::loadStateChanged);
        QTRY_VERIFY(!card.isLoading());
        QCOMPARE(network.requested, QList<QUrl> {QUrl("https://i.ytimg.com/vi/abcDEF/hqdefault.jpg")});
        QCOMPARE(card.didFail(), status != 200);
        QCOMPARE(card.loadedImage().isNull(), status != 200);
        QCOMPARE(URLCardVisual::placeholderText(card.url(), true, card.didFail()), text);

        // Ordinary links never load and never fail; a video link without an id keeps loading.
        URLCardVisual plain(*TavloUrl::parse("https://example.com/x"));
        URLCardVisual channel(*TavloUrl::parse("https://www.youtube.com/@someone"));
        QTest::qWait(50);
        QVERIFY(!plain.isVideo() && !plain.isLoading() && !plain.didFail());
        QCOMPARE(URLCardVisual::placeholderText(plain.url(), false, false), QString("example.com"));
        QVERIFY(channel.isLoading());
        QCOMPARE(network.requested.size(), 1);
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
    }
};

QTEST_MAIN(TestLinkCard)
#include "tst_link_card.moc"
