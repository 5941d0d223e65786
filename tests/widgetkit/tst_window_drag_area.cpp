#include <QMouseEvent>
#include <QTest>

#include "widgetkit/WindowDragArea.h"

// Moves of a frameless window by its drag strip, on a platform without a window
// manager.
class TestWindowDragArea : public QObject
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
        QTest::newRow("one step") << 1 << QPoint(100, -50);
        QTest::newRow("seven steps") << 7 << QPoint(100, -50);
        QTest::newRow("many uneven steps") << 61 << QPoint(-333, 217);
    }

    void followsMouseExactly()
    {
        QFETCH(int, steps);
        QFETCH(QPoint, travel);
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
        send(area, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(area->isTracking());
        for (int i = 1; i <= steps; ++i) {
            // Intermediate points are rounded; the window must still end exactly at
            // the total.
            const QPoint at = start
                + QPoint(qRound(travel.x() * i / double(steps)), qRound(travel.y() * i / double(steps)));
            send(area, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        }
        send(area, QEvent::MouseButtonRelease, start + travel, Qt::LeftButton, Qt::NoButton);

        QCOMPARE(top.pos(), origin + travel);
        QVERIFY(!area->isTracking());
        // Each intermediate position reaches the window as a move, so it can be
        // saved.
        QVERIFY(counter.moves >= qMin(steps, 2));
    }

    void ignoresMovesWithoutPress()
    {
        QWidget top;
        auto *area = new WindowDragArea(&top);
        area->setSystemMoveEnabled(false);
        area->setGeometry(0, 0, 200, 10);
        top.move(120, 80);
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        const QPoint origin = top.pos();
        const QPoint start = area->mapToGlobal(QPoint(5, 5));

        send(area, QEvent::MouseMove, start + QPoint(40, 40), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(top.pos(), origin);

        // A right-button press does not start a move either.
        send(area, QEvent::MouseButtonPress, start, Qt::RightButton, Qt::RightButton);
        send(area, QEvent::MouseMove, start + QPoint(40, 40), Qt::NoButton, Qt::RightButton);
        QCOMPARE(top.pos(), origin);

        // After a release, later drag events without a new press move nothing.
        send(area, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
        send(area, QEvent::MouseButtonRelease, start, Qt::LeftButton, Qt::NoButton);
        send(area, QEvent::MouseMove, start + QPoint(25, 0), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(top.pos(), origin);
    }
};

QTEST_MAIN(TestWindowDragArea)
#include "tst_window_drag_area.moc"
