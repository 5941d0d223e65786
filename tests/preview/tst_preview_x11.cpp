#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "platform/DesktopBackends.h"
#include "preview/LargePreviewLoader.h"
#include "preview/TavloPreviewContent.h"
#include "preview/TavloPreviewWindowController.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

// Presses seen through XInput 2 raw events on a real X server, made with XTest from a second client
// that also owns a window of "another application".
class TestPreviewX11 : public QObject
{
    Q_OBJECT

    Display *display = nullptr;
    Window foreign = 0;
    const QRect foreignRect {700, 500, 300, 200};

    void press(QPoint at, unsigned int button = 1)
    {
        XTestFakeMotionEvent(display, -1, at.x(), at.y(), CurrentTime);
        XTestFakeButtonEvent(display, button, True, CurrentTime);
        XTestFakeButtonEvent(display, button, False, CurrentTime);
        XSync(display, False);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server");
        display = XOpenDisplay(nullptr);
        QVERIFY(display);
        int event = 0, error = 0, major = 0, minor = 0;
        QVERIFY(XTestQueryExtension(display, &event, &error, &major, &minor));
        foreign = XCreateSimpleWindow(display, DefaultRootWindow(display), foreignRect.x(), foreignRect.y(),
                                      foreignRect.width(), foreignRect.height(), 0, 0, 0xffffff);
        XMapRaised(display, foreign);
        XSync(display, False);
    }

    void cleanupTestCase()
    {
        if (display) {
            XDestroyWindow(display, foreign);
            XCloseDisplay(display);
        }
    }

    void monitorSeesOnlyOtherClientsPresses()
    {
        std::unique_ptr<GlobalMouseMonitor> monitor = createGlobalMouseMonitor();
        QCOMPARE(monitor->mechanism(), GlobalMouseMonitor::Mechanism::X11RawEvents);
        QSignalSpy outside(monitor.get(), &GlobalMouseMonitor::outsidePress);

        // Disabled: nothing.
        press(foreignRect.center());
        QVERIFY(!outside.wait(300));

        monitor->setEnabled(true);
        press(foreignRect.center());
        QVERIFY(outside.wait(2000));
        QCOMPARE(outside.count(), 1);
        press(foreignRect.center(), 3);
        QVERIFY(outside.wait(2000));

        // Wheel steps and the middle button are not presses that close anything.
        outside.clear();
        press(foreignRect.center(), 4);
        press(foreignRect.center(), 2);
        QVERIFY(!outside.wait(300));

        // A press on this application's own window is left to the event filter.
        QWidget own;
        own.setGeometry(100, 100, 240, 160);
        own.show();
        QVERIFY(QTest::qWaitForWindowExposed(&own));
        press(own.geometry().center());
        QVERIFY(!outside.wait(400));
    }

    void previewClosesOnAPressInAnotherApplication()
    {
        LargePreviewLoader loader([](const QString &) { return QImage(); });
        TavloPreviewWindowController controller(loader);
        QVERIFY(controller.seesOtherApplicationsPresses());
        controller.setTavloPanelFrameProvider([] { return QRect(100, 800, 600, 120); });

        QWidget focused;
        focused.setGeometry(1200, 100, 200, 100);
        focused.show();
        QVERIFY(QTest::qWaitForWindowExposed(&focused));
        focused.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&focused));

        const TavloItem item {QUuid::createUuid(),
                              TextItemKind {RichTextPayload {{}, QStringLiteral("snippet")}, std::nullopt}};
        controller.showPreview(item, {});
        QVERIFY(QTest::qWaitForWindowExposed(controller.panel()));
        QCOMPARE(controller.panel()->frameGeometry().bottom() + 1 + 10, 800);
        // Shown without taking the focus.
        QTest::qWait(200);
        QCOMPARE(QApplication::activeWindow(), &focused);

        // A press inside the preview keeps it.
        press(controller.panel()->geometry().center());
        QTest::qWait(300);
        QCOMPARE(controller.selectedItemID(), item.id);

        press(foreignRect.center());
        QTRY_VERIFY(controller.selectedItemID().isNull());
        QVERIFY(!controller.panel()->isVisible());
    }
};

QTEST_MAIN(TestPreviewX11)
#include "tst_preview_x11.moc"
