#include <QTest>

#include "widgetkit/AuxiliaryPanelPlacement.h"

using namespace AuxiliaryPanelPlacement;

// Screens and panels in Qt's global coordinates (y downwards).
class TestAuxiliaryPlacement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void originBeside_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("bounds");
        QTest::addColumn<int>("gap");
        QTest::addColumn<QPoint>("expected");

        const QRect screen(0, 0, 1920, 1080);
        const QSize preview(520, 390);
        // Bottom of the screen: above, centred, 10 between the two.
        QTest::newRow("above") << QRect(660, 900, 600, 120) << preview << screen << 10 << QPoint(700, 500);
        // Near the top: no room above, so 10 below the anchor's bottom edge.
        QTest::newRow("below") << QRect(660, 20, 600, 120) << preview << screen << 10 << QPoint(700, 150);
        // Exactly enough room above: the top edge lands on the margin.
        QTest::newRow("just fits above")
            << QRect(660, 408, 600, 120) << preview << screen << 10 << QPoint(700, 8);
        QTest::newRow("one short above")
            << QRect(660, 407, 600, 120) << preview << screen << 10 << QPoint(700, 537);
        // A tall anchor on a short screen: below would leave the screen, so it is pushed up to 8 from
        // the bottom.
        QTest::newRow("below, pushed up")
            << QRect(100, 50, 300, 500) << preview << QRect(0, 0, 1280, 800) << 10 << QPoint(8, 402);
        QTest::newRow("left edge") << QRect(0, 700, 200, 100) << preview << screen << 10 << QPoint(8, 300);
        QTest::newRow("right edge") << QRect(1800, 700, 120, 100) << preview << screen << 10
                                    << QPoint(1392, 300);
        // Narrower than the preview: the right-edge rule wins.
        QTest::newRow("narrow screen")
            << QRect(10, 500, 100, 100) << preview << QRect(0, 0, 500, 1000) << 10 << QPoint(-28, 100);
        // Shorter than the preview: the title bar stays on the screen.
        QTest::newRow("short screen")
            << QRect(100, 100, 300, 100) << preview << QRect(0, 0, 1024, 300) << 10 << QPoint(8, 0);
        // A screen left of and above the primary one (negative coordinates), no room above there.
        QTest::newRow("negative screen") << QRect(-1500, -900, 600, 120) << preview
                                         << QRect(-1920, -1080, 1920, 1080) << 10 << QPoint(-1460, -770);
        // Available area below a top bar of 32.
        QTest::newRow("top bar") << QRect(660, 420, 600, 120) << preview << QRect(0, 32, 1920, 1048) << 10
                                 << QPoint(700, 550);
    }

    void originBeside()
    {
        QFETCH(QRect, anchor);
        QFETCH(QSize, size);
        QFETCH(QRect, bounds);
        QFETCH(int, gap);
        QFETCH(QPoint, expected);
        QCOMPARE(AuxiliaryPanelPlacement::originBeside(anchor, size, bounds, gap), expected);
    }

    void boundsForAnchor_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QRect>("primary");
        QTest::addColumn<QRect>("expected");

        const QRect left(0, 0, 1920, 1050);
        const QRect right(1920, 0, 2560, 1410);
        const QList<QRect> two {left, right};
        QTest::newRow("first screen") << QRect(600, 900, 600, 120) << two << left << left;
        // Centre on the right screen although most of it lies left of the seam.
        QTest::newRow("centre decides") << QRect(1600, 500, 700, 100) << two << left << right;
        // Centre in a gap between screens: the screen it overlaps most.
        const QRect lower(1920, 600, 800, 600);
        QTest::newRow("centre in a gap")
            << QRect(1800, 100, 400, 100) << QList<QRect> {left, lower} << left << left;
        QTest::newRow("off every screen") << QRect(9000, 9000, 100, 100) << two << left << left;
        QTest::newRow("no screen") << QRect(10, 10, 100, 100) << QList<QRect> {} << QRect()
                                   << QRect(10, 10, 100, 100);
    }

    void boundsForAnchor()
    {
        QFETCH(QRect, anchor);
        QFETCH(QList<QRect>, screens);
        QFETCH(QRect, primary);
        QFETCH(QRect, expected);
        QCOMPARE(AuxiliaryPanelPlacement::boundsForAnchor(anchor, screens, primary), expected);
    }

    void centred()
    {
        QCOMPARE(centeredOrigin(QSize(520, 390), QRect(0, 0, 1920, 1080)), QPoint(700, 345));
        QCOMPARE(centeredOrigin(QSize(360, 330), QRect(1920, 32, 1280, 768)), QPoint(2380, 251));
        // Taller than the screen: the title bar stays reachable.
        QCOMPARE(centeredOrigin(QSize(520, 390), QRect(0, 0, 640, 300)).y(), 0);
    }
};

QTEST_APPLESS_MAIN(TestAuxiliaryPlacement)
#include "tst_auxiliary_placement.moc"
