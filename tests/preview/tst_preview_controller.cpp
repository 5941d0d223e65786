#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "preview/LargePreviewLoader.h"
#include "preview/TavloPreviewContent.h"
#include "preview/TavloPreviewWindowController.h"
#include "widgetkit/AuxiliaryPanelPlacement.h"
#include "widgetkit/FloatingToolPanel.h"

namespace {

TavloItem textItem(const QString &text)
{
    return TavloItem {QUuid::createUuid(), TextItemKind {RichTextPayload {{}, text}, std::nullopt}};
}

} // namespace

// The controller's states and close triggers, with a private controller per test.
class TestPreviewController : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TavloPreviewWindowController> controller;
    std::unique_ptr<LargePreviewLoader> loader;

    FloatingToolPanel *panel() const { return controller->panel(); }

private Q_SLOTS:
    void init()
    {
        loader = std::make_unique<LargePreviewLoader>([](const QString &) { return QImage(); });
        controller = std::make_unique<TavloPreviewWindowController>(*loader);
    }

    void cleanup()
    {
        controller.reset();
        loader.reset();
    }

    void showSelectsAndReusesOneWindow()
    {
        QSignalSpy changed(controller.get(), &TavloPreviewWindowController::selectedItemIDChanged);
        QVERIFY(!panel());
        const TavloItem first = textItem(QStringLiteral("one"));
        controller->showPreview(first, {});
        QCOMPARE(controller->selectedItemID(), first.id);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().first().toUuid(), first.id);
        QVERIFY(controller->isShown());
        FloatingToolPanel *window = panel();
        QCOMPARE(window->windowTitle(), QStringLiteral("Preview"));
        QCOMPARE(window->size(), QSize(520, 390));
        QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(window->testAttribute(Qt::WA_ShowWithoutActivating));

        // The same item again rebuilds the content; a second item reuses the window.
        QWidget *firstContent = window->content();
        controller->showPreview(first, {});
        QVERIFY(window->content() != firstContent);
        QCOMPARE(changed.count(), 1);
        const TavloItem second = textItem(QStringLiteral("two"));
        controller->showPreview(second, {});
        QCOMPARE(panel(), window);
        QCOMPARE(controller->selectedItemID(), second.id);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(qobject_cast<TavloPreviewContent *>(window->content())->item().id, second.id);
        // Replaced contents are gone after the event loop turns.
        QTRY_COMPARE(window->findChildren<TavloPreviewContent *>().size(), 1);

        controller->close();
        QVERIFY(controller->selectedItemID().isNull());
        QVERIFY(!window->isVisible());
        QCOMPARE(changed.count(), 3);
        QVERIFY(changed.last().first().toUuid().isNull());
        controller->showPreview(first, {});
        QCOMPARE(panel(), window);
    }

    void closeTriggers_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<bool>("closes");
        QTest::newRow("close button") << QStringLiteral("close") << true;
        QTest::newRow("escape") << QStringLiteral("escape") << true;
        QTest::newRow("press in another window") << QStringLiteral("left elsewhere") << true;
        QTest::newRow("right press in another window") << QStringLiteral("right elsewhere") << true;
        // The middle button is not watched; presses inside the preview are its own.
        QTest::newRow("middle press in another window") << QStringLiteral("middle elsewhere") << false;
        QTest::newRow("presses inside") << QStringLiteral("inside") << false;
    }

    void closeTriggers()
    {
        QFETCH(QString, trigger);
        QFETCH(bool, closes);
        QWidget other;
        other.setGeometry(10, 10, 200, 100);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        const TavloItem shown = textItem(QStringLiteral("text"));
        QSignalSpy shownChanges(controller.get(), &TavloPreviewWindowController::shownChanged);
        controller->showPreview(shown, {});
        QVERIFY(QTest::qWaitForWindowExposed(panel()));
        auto *content = qobject_cast<TavloPreviewContent *>(panel()->content());

        if (trigger == QLatin1String("close"))
            panel()->close();
        else if (trigger == QLatin1String("escape"))
            QTest::keyClick(content, Qt::Key_Escape);
        else if (trigger == QLatin1String("left elsewhere"))
            QTest::mousePress(&other, Qt::LeftButton, {}, QPoint(20, 20));
        else if (trigger == QLatin1String("right elsewhere"))
            QTest::mousePress(&other, Qt::RightButton, {}, QPoint(20, 20));
        else if (trigger == QLatin1String("middle elsewhere"))
            QTest::mousePress(&other, Qt::MiddleButton, {}, QPoint(20, 20));
        else {
            QTest::mousePress(content->areaWidget(), Qt::LeftButton, {}, QPoint(30, 30));
            QTest::mouseRelease(content->areaWidget(), Qt::LeftButton, {}, QPoint(30, 30));
            QTest::mousePress(content, Qt::RightButton, {}, QPoint(5, 5));
        }

        QCOMPARE(controller->selectedItemID(), closes ? QUuid() : shown.id);
        QCOMPARE(panel()->isVisible(), !closes);
        // Every way out is reported: the application's Escape relies on it.
        QCOMPARE(shownChanges.size(), closes ? 2 : 1);
        QCOMPARE(shownChanges.last().at(0).toBool(), !closes);
        if (!closes)
            return;
        // Once closed, presses elsewhere are not watched any more.
        const TavloItem item = textItem(QStringLiteral("again"));
        controller->showPreview(item, {});
        QCOMPARE(controller->selectedItemID(), item.id);
    }

    void openClosesFirst()
    {
        bool opened = false;
        bool closedBeforeOpen = false;
        controller->showPreview(textItem(QStringLiteral("text")), [&] {
            opened = true;
            closedBeforeOpen = controller->selectedItemID().isNull() && !panel()->isVisible();
        });
        auto *content = qobject_cast<TavloPreviewContent *>(panel()->content());
        QVERIFY(content->openButton()->isEnabled());
        QTest::mouseClick(content->openButton(), Qt::LeftButton);
        QVERIFY(opened);
        QVERIFY(closedBeforeOpen);
    }

    void openOnMissingFileCannotBePressed()
    {
        QTemporaryDir dir;
        const TavloUrl gone = TavloUrl::fromLocalFile(dir.filePath(QStringLiteral("gone.pdf")));
        bool opened = false;
        controller->showPreview(TavloItem {QUuid::createUuid(), FileItemKind {gone, {}}},
                                [&] { opened = true; });
        auto *content = qobject_cast<TavloPreviewContent *>(panel()->content());
        QTest::mouseClick(content->openButton(), Qt::LeftButton);
        QVERIFY(!opened);
        QVERIFY(panel()->isVisible());
    }

    void placedAboveTheTavloPanel()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect tavlo(screen.center().x() - 300, screen.bottom() - 160, 600, 120);
        controller->setTavloPanelFrameProvider([tavlo] { return tavlo; });
        controller->showPreview(textItem(QStringLiteral("text")), {});
        const QRect bounds = AuxiliaryPanelPlacement::boundsForAnchor(tavlo, {screen}, screen);
        // Placed again once the frame that the window system adds is known.
        QTRY_COMPARE(
            panel()->pos(),
            AuxiliaryPanelPlacement::originBeside(tavlo, panel()->frameGeometry().size(), bounds, 10));
        QCOMPARE(panel()->frameGeometry().bottom() + 1 + 10, tavlo.top());

        // No visible tavlo panel: centred on the screen.
        controller->setTavloPanelFrameProvider([] { return QRect(); });
        controller->showPreview(textItem(QStringLiteral("text")), {});
        QCOMPARE(panel()->frameGeometry().center().x(), screen.center().x());
    }
};

QTEST_MAIN(TestPreviewController)
#include "tst_preview_controller.moc"
