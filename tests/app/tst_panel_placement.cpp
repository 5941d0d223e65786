#include <QTest>

#include "app/PanelPlacement.h"

using namespace PanelPlacement;

Q_DECLARE_METATYPE(std::optional<QPoint>)

namespace {

// A 1920x1080 screen with a 40-pixel panel at the bottom (available area 1920x1040).
Screen laptop(QPoint at = {0, 0})
{
    return {QRect(at, QSize(1920, 1080)), QRect(at, QSize(1920, 1040))};
}

Screen screen(QRect frame, QRect available)
{
    return {frame, available};
}

} // namespace

class TestPanelPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initialOrigin_data()
    {
        QTest::addColumn<QList<Screen>>("screens");
        QTest::addColumn<int>("primary");
        QTest::addColumn<QPoint>("mouse");
        QTest::addColumn<std::optional<QPoint>>("saved");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("expected");

        const QSize h(1064, 212);
        const QSize v(244, 724);
        const std::optional<QPoint> none;
        // Default: centred, bottom edge 42 above the available bottom (1040 - 42 - 212 = 786).
        QTest::newRow("first launch")
            << QList<Screen> {laptop()} << 0 << QPoint(5, 5) << none << h << QPoint(428, 786);
        QTest::newRow("first launch vertical")
            << QList<Screen> {laptop()} << 0 << QPoint(5, 5) << none << v << QPoint(838, 274);
        // The mouse picks the screen; the secondary sits to the right, with its own available area.
        const QList<Screen> two = {laptop(), screen(QRect(1920, 0, 2560, 1440), QRect(1920, 30, 2560, 1410))};
        QTest::newRow("mouse on secondary")
            << two << 0 << QPoint(3000, 700) << none << h << QPoint(1920 + 748, 30 + 1410 - 42 - 212);
        QTest::newRow("mouse on no screen uses primary")
            << two << 1 << QPoint(-500, -500) << none << h << QPoint(1920 + 748, 1186);
        // Left of and above the primary: negative coordinates.
        const QList<Screen> negative = {
            laptop(), screen(QRect(-1280, -1024, 1280, 1024), QRect(-1280, -1024, 1280, 1024))};
        QTest::newRow("negative screen")
            << negative << 0 << QPoint(-10, -10) << none << h << QPoint(-1280 + 108, -1024 + 1024 - 42 - 212);
        // A screen narrower and lower than the panel: centred (sticking out both sides), bottom rule kept.
        const QList<Screen> tiny = {screen(QRect(0, 0, 800, 200), QRect(0, 0, 800, 200))};
        QTest::newRow("tiny screen") << tiny << 0 << QPoint(1, 1) << none << h << QPoint(-132, -54);
        QTest::newRow("no screens") << QList<Screen> {} << 0 << QPoint(1, 1) << none << h << QPoint(0, 0);
        QTest::newRow("no screens, saved") << QList<Screen> {} << 0 << QPoint(1, 1)
                                           << std::optional<QPoint>(QPoint(50, 50)) << h << QPoint(0, 0);
        // Saved positions are used unchanged while any part overlaps some available area.
        QTest::newRow("saved inside") << QList<Screen> {laptop()} << 0 << QPoint(1, 1)
                                      << std::optional<QPoint>(QPoint(100, 200)) << h << QPoint(100, 200);
        QTest::newRow("saved partly off")
            << QList<Screen> {laptop()} << 0 << QPoint(1, 1) << std::optional<QPoint>(QPoint(1900, 1000)) << h
            << QPoint(1900, 1000);
        QTest::newRow("saved on a gone screen")
            << QList<Screen> {laptop()} << 0 << QPoint(1, 1) << std::optional<QPoint>(QPoint(3000, 100)) << h
            << QPoint(428, 786);
        // Overlapping only the taskbar strip (outside the available area) does not count.
        QTest::newRow("saved over the taskbar only")
            << QList<Screen> {laptop()} << 0 << QPoint(1, 1) << std::optional<QPoint>(QPoint(0, 1040)) << h
            << QPoint(428, 786);
        QTest::newRow("saved on the negative screen")
            << negative << 0 << QPoint(1, 1) << std::optional<QPoint>(QPoint(-1200, -900)) << h
            << QPoint(-1200, -900);
        QTest::newRow("saved far away")
            << two << 0 << QPoint(1, 1) << std::optional<QPoint>(QPoint(-100000, 100000)) << h
            << QPoint(428, 786);
    }

    void initialOrigin()
    {
        QFETCH(QList<Screen>, screens);
        QFETCH(int, primary);
        QFETCH(QPoint, mouse);
        QFETCH(std::optional<QPoint>, saved);
        QFETCH(QSize, size);
        QFETCH(QPoint, expected);
        QCOMPARE(PanelPlacement::initialOrigin(saved, size, Layout {screens, primary, mouse}), expected);
    }

    void clamping_data()
    {
        QTest::addColumn<QPoint>("origin");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QPoint>("expected");

        const QRect area(0, 0, 1920, 1040);
        QTest::newRow("inside stays") << QPoint(10, 20) << QSize(244, 724) << area << QPoint(10, 20);
        QTest::newRow("past the right") << QPoint(1800, 20) << QSize(244, 724) << area << QPoint(1676, 20);
        QTest::newRow("past the left") << QPoint(-50, 20) << QSize(244, 724) << area << QPoint(0, 20);
        QTest::newRow("past the bottom") << QPoint(10, 900) << QSize(244, 724) << area << QPoint(10, 316);
        QTest::newRow("past the top") << QPoint(10, -30) << QSize(244, 724) << area << QPoint(10, 0);
        // Taller than the area: pinned to its bottom edge, sticking out at the top.
        const QRect low(0, 100, 1280, 600);
        QTest::newRow("taller, from above") << QPoint(10, -400) << QSize(244, 724) << low << QPoint(10, -24);
        QTest::newRow("taller, from below") << QPoint(10, 900) << QSize(244, 724) << low << QPoint(10, -24);
        // Wider than the area: pinned to its left edge.
        const QRect narrow(-800, 0, 800, 600);
        QTest::newRow("wider") << QPoint(-300, 10) << QSize(1064, 212) << narrow << QPoint(-800, 10);
        QTest::newRow("wider, from the left")
            << QPoint(-5000, 10) << QSize(1064, 212) << narrow << QPoint(-800, 10);
        QTest::newRow("exact fit") << QPoint(3, 3) << QSize(800, 600) << narrow << QPoint(-800, 0);
    }

    void clamping()
    {
        QFETCH(QPoint, origin);
        QFETCH(QSize, size);
        QFETCH(QRect, available);
        QFETCH(QPoint, expected);
        QCOMPARE(clampedOrigin(origin, size, available), expected);
    }

    void orientationChange_data()
    {
        QTest::addColumn<QList<Screen>>("screens");
        QTest::addColumn<QPoint>("mouse");
        QTest::addColumn<QRect>("current");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("expected");

        const QList<Screen> one = {laptop()};
        // Centre (960, 892) kept: 244x724 would reach 1254, so it moves up to the available bottom.
        QTest::newRow("to vertical near the bottom")
            << one << QPoint() << QRect(428, 786, 1064, 212) << QSize(244, 724) << QRect(838, 316, 244, 724);
        QTest::newRow("to vertical in the middle")
            << one << QPoint() << QRect(428, 400, 1064, 212) << QSize(244, 724) << QRect(838, 144, 244, 724);
        QTest::newRow("back to horizontal")
            << one << QPoint() << QRect(838, 144, 244, 724) << QSize(1064, 212) << QRect(428, 400, 1064, 212);
        QTest::newRow("to horizontal at the left edge")
            << one << QPoint() << QRect(0, 100, 244, 724) << QSize(1064, 212) << QRect(0, 356, 1064, 212);
        // The screen holding the old centre wins over the one under the mouse.
        const QList<Screen> two = {laptop(), laptop({1920, 0})};
        QTest::newRow("centre on the second screen")
            << two << QPoint(10, 10) << QRect(1920 + 1500, 100, 244, 724) << QSize(1064, 212)
            << QRect(1920 + 856, 356, 1064, 212);
        // Centre on no screen: the screen under the mouse clamps it.
        QTest::newRow("centre off screen") << two << QPoint(2000, 10) << QRect(5000, 100, 244, 724)
                                           << QSize(1064, 212) << QRect(1920 + 856, 356, 1064, 212);
        // A low screen: the vertical panel is pinned to the bottom and sticks out at the top.
        const QList<Screen> low = {screen(QRect(0, 0, 1366, 600), QRect(0, 0, 1366, 570))};
        QTest::newRow("vertical on a low screen")
            << low << QPoint() << QRect(151, 316, 1064, 212) << QSize(244, 724) << QRect(561, -154, 244, 724);
        QTest::newRow("no screens keeps the centre") << QList<Screen> {} << QPoint() << QRect(0, 0, 1064, 212)
                                                     << QSize(244, 724) << QRect(410, -256, 244, 724);
    }

    void orientationChange()
    {
        QFETCH(QList<Screen>, screens);
        QFETCH(QPoint, mouse);
        QFETCH(QRect, current);
        QFETCH(QSize, size);
        QFETCH(QRect, expected);
        QCOMPARE(resizedAroundCentre(current, size, Layout {screens, 0, mouse}), expected);
    }
};

QTEST_APPLESS_MAIN(TestPanelPlacement)
#include "tst_panel_placement.moc"
