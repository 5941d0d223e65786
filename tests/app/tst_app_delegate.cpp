#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "app/AppDelegate.h"
#include "app/TavloPanel.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"
#include "platform/SettingsFile.h"

namespace {

class FakeHotKey : public GlobalHotKey
{
public:
    void registerHotKey() override { registered = true; }
    void unregisterHotKey() override
    {
        registered = false;
        ++unregisterCount;
    }
    bool isRegistered() const override { return registered; }
    void press() { Q_EMIT activated(); }

    bool registered = false;
    int unregisterCount = 0;
};

// Records the keys that get through to it.
class KeyRecorder : public QLineEdit
{
public:
    QList<std::pair<QEvent::Type, int>> seen;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        seen.append({event->type(), event->key()});
        QLineEdit::keyPressEvent(event);
    }
    void keyReleaseEvent(QKeyEvent *event) override
    {
        seen.append({event->type(), event->key()});
        QLineEdit::keyReleaseEvent(event);
    }
};

const PanelPlacement::Layout screenLayout {{{QRect(0, 0, 1920, 1080), QRect(0, 0, 1920, 1040)},
                                            {QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 1024)}},
                                           0,
                                           QPoint(2500, 500)};

} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT

private:
    struct Harness
    {
        std::unique_ptr<AppDelegate> delegate;
        FakeHotKey *hotKey = nullptr;
        qint64 now = 5'000'000'000; // five seconds after boot
        bool aboutOpen = false;
        bool previewOpen = false;
        int aboutCloses = 0;
        int previewCloses = 0;
        int drains = 0;
        std::unique_ptr<Settings> settings = std::make_unique<Settings>();

        void openAbout() { delegate->setAboutShown(aboutOpen = true); }
        void openPreview() { delegate->setPreviewShown(previewOpen = true); }
    };

    std::unique_ptr<Harness> start()
    {
        auto h = std::make_unique<Harness>();
        Harness *raw = h.get();
        AppDelegate::Environment environment;
        auto hotKey = std::make_unique<FakeHotKey>();
        h->hotKey = hotKey.get();
        environment.hotKey = std::move(hotKey);
        environment.uptimeNs = [raw] {
            return raw->now;
        };
        environment.screenLayout = [] {
            return screenLayout;
        };
        environment.settings = raw->settings.get();
        h->delegate = std::make_unique<AppDelegate>(std::move(environment));
        AppDelegate *delegate = h->delegate.get();
        connect(delegate, &AppDelegate::aboutCloseRequested, delegate, [raw] {
            raw->delegate->setAboutShown(raw->aboutOpen = false);
            ++raw->aboutCloses;
        });
        connect(delegate, &AppDelegate::previewCloseRequested, delegate, [raw] {
            raw->delegate->setPreviewShown(raw->previewOpen = false);
            ++raw->previewCloses;
        });
        connect(delegate, &AppDelegate::shutDownFinished, delegate, [raw] { ++raw->drains; });
        h->delegate->startUp(new QWidget);
        return h;
    }

    static void press(Harness &h, qint64 afterNs)
    {
        h.now += afterNs;
        h.hotKey->press();
        QCoreApplication::processEvents(); // the toggle is queued
    }

    // The position the settings file holds.
    static std::optional<QPoint> savedPosition() { return Settings().panelPosition(); }

private Q_SLOTS:
    void init()
    {
        SettingsFile::open()->clear();
        QDir(AppPaths::dataFolder()).removeRecursively();
    }

    void firstLaunch()
    {
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        QVERIFY(h->delegate->isTavloShown());
        QCOMPARE(panel->size(), QSize(1064, 212));
        // The mouse is on the second screen: centred there, 42 above its bottom.
        QCOMPARE(panel->pos(), QPoint(1920 + 108, 1024 - 42 - 212));
        QTRY_COMPARE(panel->windowOpacity(), 1.0);
        QVERIFY(h->hotKey->registered);
        // The default placement is not remembered.
        QTest::qWait(400);
        QVERIFY(!savedPosition());
    }

    void passingPositionsOfAWindowManagerAreNoMove()
    {
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        const QPoint placed = panel->pos();
        // Reparenting into its frame, a window manager reports the panel at 0,0 on the way.
        panel->move(0, 0);
        panel->move(placed);
        QTest::qWait(400);
        QVERIFY(!savedPosition());
        // A real move is still remembered, where the panel comes to rest.
        panel->move(placed + QPoint(-40, -30));
        panel->move(placed + QPoint(-80, -60));
        QTRY_VERIFY(savedPosition());
        QCOMPARE(savedPosition()->x(), placed.x() - 80);
    }

    void windowConfiguration()
    {
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        const Qt::WindowFlags flags = panel->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        for (Qt::WindowType flag : {Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint})
            QVERIFY2(flags.testFlag(flag), QByteArray::number(int(flag), 16));
        QVERIFY(!flags.testFlag(Qt::WindowDoesNotAcceptFocus)); // a click gives it the keyboard
        QVERIFY(panel->testAttribute(Qt::WA_TranslucentBackground));
        QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        QCOMPARE(panel->minimumSize(), panel->maximumSize());
        QVERIFY(!panel->isActiveWindow());
        QVERIFY(!QApplication::quitOnLastWindowClosed() || !panel->testAttribute(Qt::WA_QuitOnClose));
    }

    void toggleDebounce()
    {
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        // The first press after launch always toggles, but never inside the hot key's handler.
        h->hotKey->press();
        QVERIFY(h->delegate->isTavloShown());
        QCoreApplication::processEvents();
        QVERIFY(!h->delegate->isTavloShown());
        QTRY_VERIFY(!panel->isVisible());
        // 0.1 s later: ignored; exactly 0.22 s: still ignored; 0.3 s: shows.
        press(*h, 100'000'000);
        QVERIFY(!h->delegate->isTavloShown());
        press(*h, 120'000'000);
        QVERIFY(!h->delegate->isTavloShown());
        press(*h, 1);
        QVERIFY(h->delegate->isTavloShown());
        QVERIFY(panel->isVisible());
    }

    void fades()
    {
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        QTRY_COMPARE(panel->windowOpacity(), 1.0);
        QSignalSpy hidden(h->delegate.get(), &AppDelegate::tavloHidden);
        h->delegate->hideTavlo();
        // Still on screen while it fades out.
        QVERIFY(panel->isVisible());
        QVERIFY(hidden.wait(1000));
        QVERIFY(!panel->isVisible());
        // Fully opaque again, ready for the next show, which starts from transparent.
        QCOMPARE(panel->windowOpacity(), 1.0);
        h->delegate->showTavlo();
        QVERIFY(panel->isVisible());
        QVERIFY(panel->windowOpacity() < 0.5);
        QTRY_COMPARE(panel->windowOpacity(), 1.0);
    }

    void showDuringFadeOut()
    {
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        QSignalSpy hidden(h->delegate.get(), &AppDelegate::tavloHidden);
        press(*h, 0);
        QVERIFY(!h->delegate->isTavloShown());
        QVERIFY(panel->isVisible());
        // A slow machine: the next accepted toggle lands while the fade-out still runs.
        press(*h, 300'000'000);
        QVERIFY(h->delegate->isTavloShown());
        QTest::qWait(400);
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->windowOpacity(), 1.0);
        QCOMPARE(hidden.count(), 0);
    }

    void hidingClosesAuxiliaryWindows()
    {
        auto h = start();
        h->openAbout();
        h->openPreview();
        press(*h, 0);
        QCOMPARE(h->aboutCloses, 1);
        QCOMPARE(h->previewCloses, 1);
        press(*h, 300'000'000);
        QVERIFY(h->delegate->isTavloShown());
        QVERIFY(!h->aboutOpen && !h->previewOpen);
        // Hiding an already hidden panel still closes them.
        h->delegate->hideTavlo();
        h->delegate->hideTavlo();
        QCOMPARE(h->aboutCloses, 3);
    }

    void localKeyMonitor()
    {
        auto h = start();
        KeyRecorder field;
        field.show();
        // Control+Space, with or without Shift, never reaches a view.
        QTest::keyClick(&field, Qt::Key_Space, Qt::ControlModifier);
        QTest::keyClick(&field, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(field.text(), QString());
        for (const auto &[type, key] : std::as_const(field.seen))
            QVERIFY(key != Qt::Key_Space); // the modifier keys themselves do pass
        QVERIFY(h->delegate->isTavloShown()); // only the global hot key toggles
        QTest::keyClick(&field, Qt::Key_Space);
        QCOMPARE(field.text(), QStringLiteral(" "));
        field.seen.clear();

        // Escape: About on the press, the preview on the release.
        h->openAbout();
        h->openPreview();
        QTest::keyPress(&field, Qt::Key_Escape);
        QCOMPARE(h->aboutCloses, 1);
        QCOMPARE(h->previewCloses, 0);
        QTest::keyRelease(&field, Qt::Key_Escape);
        QCOMPARE(h->previewCloses, 1);
        QVERIFY(field.seen.isEmpty());
        // Only one open: it closes on the press and the release passes on.
        h->openPreview();
        QTest::keyClick(&field, Qt::Key_Escape);
        QCOMPARE(h->previewCloses, 2);
        QCOMPARE(field.seen, (QList<std::pair<QEvent::Type, int>> {{QEvent::KeyRelease, Qt::Key_Escape}}));
        // Neither open: both pass; Escape never hides the panel.
        field.seen.clear();
        QTest::keyClick(&field, Qt::Key_Escape);
        QCOMPARE(field.seen.size(), 2);
        QVERIFY(h->delegate->isTavloShown());
    }

    void keyActions_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<bool>("about");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<PanelToggle::KeyAction>("expected");
        using A = PanelToggle::KeyAction;
        const auto row = [](const char *tag, Qt::Key key, Qt::KeyboardModifiers modifiers, bool about,
                            bool preview, A expected) {
            QTest::newRow(tag) << int(key) << modifiers << about << preview << expected;
        };
        row("ctrl+space", Qt::Key_Space, Qt::ControlModifier, true, true, A::swallow);
        row("ctrl+alt+space", Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, false, false, A::swallow);
        row("meta+space", Qt::Key_Space, Qt::MetaModifier, false, false, A::pass);
        row("esc preview", Qt::Key_Escape, {}, false, true, A::closePreview);
        row("ctrl+esc about", Qt::Key_Escape, Qt::ControlModifier, true, false, A::closeAbout);
        row("other", Qt::Key_A, Qt::ControlModifier, true, true, A::pass);
    }

    void keyActions()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(bool, about);
        QFETCH(bool, preview);
        QFETCH(PanelToggle::KeyAction, expected);
        QCOMPARE(PanelToggle::keyAction(key, modifiers, about, preview), expected);
    }

    void debouncer()
    {
        PanelToggle::Debouncer d;
        // Counted from boot, not from launch: even 0.23 s after boot the first toggle runs.
        QVERIFY(!d.accept(220'000'000));
        QVERIFY(d.accept(220'000'001));
        QVERIFY(!d.accept(440'000'001));
        QVERIFY(d.accept(440'000'002));
        QCOMPARE(d.lastToggleNs(), 440'000'002);
    }

    void savedPositionAndMoves()
    {
        Settings().setPanelPosition(QPoint(100, -50));
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        QCOMPARE(panel->pos(), QPoint(100, -50));
        // A user move (drag handle or background) is remembered.
        panel->move(300, 400);
        panel->move(310, 420);
        QTRY_COMPARE(savedPosition(), std::optional(QPoint(310, 420)));
        // A move still pending when the app quits is written before it ends.
        panel->move(12, 34);
        h->delegate->shutDown();
        QCOMPARE(savedPosition(), std::optional(QPoint(12, 34)));
        QCOMPARE(h->drains, 1);
        QCOMPARE(h->hotKey->unregisterCount, 1);
        h->delegate->shutDown(); // runs once
        QCOMPARE(h->drains, 1);
    }

    void backgroundDragMovesPanel()
    {
        TavloPanel panel(QSize(200, 100));
        panel.move(400, 300);
        const auto send = [&panel](QEvent::Type type, QPoint travel, Qt::MouseButton button,
                                   Qt::MouseButtons buttons) {
            const QPointF global(QPoint(405, 305) + travel);
            const QPointF local = panel.mapFromGlobal(global);
            QMouseEvent event(type, local, local, global, button, buttons, Qt::NoModifier);
            QCoreApplication::sendEvent(&panel, &event);
        };
        // Only the left button drags, always from the press, and never after the release.
        for (const Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
            send(QEvent::MouseButtonPress, {}, button, button);
            send(QEvent::MouseMove, {33, -7}, Qt::NoButton, button);
            send(QEvent::MouseMove, {-61, 17}, Qt::NoButton, button);
            send(QEvent::MouseButtonRelease, {}, button, Qt::NoButton);
            send(QEvent::MouseMove, {25, 0}, Qt::NoButton, button);
        }
        QCOMPARE(panel.pos(), QPoint(339, 317));
    }

    // Unreadable saved values are the settings' business; a readable one off every screen is ours.
    void savedPositionOnAGoneScreen()
    {
        Settings().setPanelPosition(QPoint(9000, 100));
        auto h = start();
        QCOMPARE(h->delegate->tavloPanel()->pos(), QPoint(1920 + 108, 1024 - 42 - 212));
    }

    void orientationChange()
    {
        Settings().setOrientation(TavloOrientation::vertical);
        auto h = start();
        TavloPanel *panel = h->delegate->tavloPanel();
        QCOMPARE(panel->size(), QSize(244, 724));
        const QPoint centre = panel->geometry().center();
        h->settings->setOrientation(TavloOrientation::horizontal);
        QCOMPARE(panel->size(), QSize(1064, 212));
        // Kept its centre and is saved, although nobody dragged.
        QCOMPARE(panel->geometry().center(), centre);
        QTRY_COMPARE(savedPosition(), std::optional(panel->pos()));

        // Dragged to the right edge of the second screen, then flipped to vertical and back.
        panel->move(1920 + 1280 - 1064, 100);
        h->settings->setOrientation(TavloOrientation::vertical);
        QCOMPARE(panel->geometry(), QRect(1920 + 1280 - 1064 + 410, 0, 244, 724));
        h->settings->setOrientation(TavloOrientation::horizontal);
        QCOMPARE(panel->geometry(), QRect(1920 + 1280 - 1064, 256, 1064, 212));
        QTRY_COMPARE(savedPosition(), std::optional(QPoint(1920 + 1280 - 1064, 256)));
    }

    void noHotKey()
    {
        // Without a backend the app still starts and shows the panel.
        AppDelegate::Environment environment;
        environment.screenLayout = [] {
            return PanelPlacement::Layout {};
        };
        AppDelegate delegate(std::move(environment));
        delegate.startUp();
        QVERIFY(delegate.tavloPanel()->isVisible());
        QCOMPARE(delegate.tavloPanel()->pos(), QPoint(0, 0));
        delegate.toggleTavlo();
        QVERIFY(!delegate.isTavloShown());
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
