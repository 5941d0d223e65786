#include <QMouseEvent>
#include <QtTest>

#include "thumbnails/FakeNetwork.h"
#include "thumbnails/VideoThumbnailCache.h"
#include "thumbnails/VideoThumbnailDownload.h"
#include "widgetkit/URLCardVisual.h"
#include "widgetkit/WindowDragArea.h"

// The kit's own widgets: moves of a frameless window by its drag strip (on a platform without a
// window manager), and the link card's layout and video thumbnail.
class TestKitWidgets : public QObject
{
    Q_OBJECT

private:
    static void send(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButton button,
                     Qt::MouseButtons buttons)
    {
        const QPointF local = target->mapFromGlobal(QPointF(global));
        QMouseEvent event(type, local, local, QPointF(global), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

    class MoveCounter : public QObject
    {
    public:
        int moves = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Move)
                ++moves;
            return false;
        }
    };

private Q_SLOTS:
    void followsMouseExactly_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<QPoint>("travel");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("one step") << 1 << QPoint(100, -50) << Qt::LeftButton;
        QTest::newRow("seven steps") << 7 << QPoint(100, -50) << Qt::LeftButton;
        QTest::newRow("many uneven steps") << 61 << QPoint(-333, 217) << Qt::LeftButton;
        // A right press starts no move, so the moves after it have nothing to follow.
        QTest::newRow("right button") << 7 << QPoint(40, 40) << Qt::RightButton;
    }

    void followsMouseExactly()
    {
        QFETCH(int, steps);
        QFETCH(QPoint, travel);
        QFETCH(Qt::MouseButton, button);
        const bool drags = button == Qt::LeftButton;
        QWidget top;
        top.setWindowFlag(Qt::FramelessWindowHint);
        auto *area = new WindowDragArea(&top);
        area->setSystemMoveEnabled(false);
        area->setGeometry(0, 0, 200, 10);
        top.resize(200, 100);
        top.move(400, 300);
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        MoveCounter counter;
        top.installEventFilter(&counter);

        const QPoint origin = top.pos();
        const QPoint start = area->mapToGlobal(QPoint(20, 5));
        send(area, QEvent::MouseButtonPress, start, button, button);
        QCOMPARE(area->isTracking(), drags);
        for (int i = 1; i <= steps; ++i) {
            // Intermediate points are rounded; the window must still end exactly at the total.
            const QPoint at = start
                + QPoint(qRound(travel.x() * i / double(steps)), qRound(travel.y() * i / double(steps)));
            send(area, QEvent::MouseMove, at, Qt::NoButton, button);
        }
        send(area, QEvent::MouseButtonRelease, start + travel, button, Qt::NoButton);

        QCOMPARE(top.pos(), drags ? origin + travel : origin);
        QVERIFY(!area->isTracking());
        // Each intermediate position reaches the window as a move, so it can be saved.
        QVERIFY(counter.moves >= (drags ? qMin(steps, 2) : 0));
    }

    void linkCardPartsDoNotOverlap_data()
    {
        QTest::addColumn<bool>("isVideo");
        QTest::addColumn<bool>("showBar");
        QTest::newRow("video loading") << true << true;
        QTest::newRow("video failed") << true << false;
        QTest::newRow("plain link") << false << false;
    }

    void linkCardPartsDoNotOverlap()
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

QTEST_MAIN(TestKitWidgets)
#include "tst_kit_widgets.moc"
