#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "about/AboutCardView.h"
#include "about/AboutWindowController.h"
#include "widgetkit/AuxiliaryPanelPlacement.h"

// The About card's texts and the one About panel's reuse and placement.
class TestAbout : public QObject
{
    Q_OBJECT

    static QStringList labelTexts(QWidget *root)
    {
        QStringList texts;
        for (QLabel *label : root->findChildren<QLabel *>())
            texts << label->text();
        return texts;
    }

private Q_SLOTS:
    void versionText_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("expected");
        QTest::newRow("from the build") << QStringLiteral("0.1.0") << QStringLiteral("Version 0.1.0");
        QTest::newRow("none") << QString() << QStringLiteral("Version 1.0");
    }

    void versionText()
    {
        QFETCH(QString, version);
        QFETCH(QString, expected);
        QCoreApplication::setApplicationVersion(version);
        QCOMPARE(AboutCardView::versionString(), expected);
        AboutCardView card;
        QCOMPARE(card.versionLabel()->text(), expected);
    }

    void cardTexts()
    {
        AboutCardView card;
        card.layout()->activate();
        QCOMPARE(card.size(), QSize(360, 330));
        const QStringList texts = labelTexts(&card);
        QVERIFY(texts.contains(QStringLiteral("Quorvin")));
        QVERIFY(
            texts.contains(QStringLiteral("A desktop workflow tool for the things you’re using right now.")));
        QVERIFY(texts.contains(AboutCardView::creditText()));
        QVERIFY(AboutCardView::noticeText().startsWith(QStringLiteral("© ")));
        QVERIFY(texts.contains(AboutCardView::noticeText()));
        // Every build links the project's secure homepage.
        QPushButton *link = card.linkButton();
        QVERIFY(link);
        QCOMPARE(AboutCardView::projectPage().scheme(), QStringLiteral("https"));
        QCOMPARE(link->text(), AboutCardView::projectPage().host());
        // The icon is drawn (from the built-in picture when no theme has it), and the stack sits
        // centred: the gap above the icon's padding equals the gap below the link's.
        QVERIFY(!AboutCardView::applicationIcon().isNull());
        auto *icon = card.findChild<QLabel *>(QStringLiteral("appIcon"));
        const QImage tile = icon->pixmap().toImage();
        QVERIFY(qAlpha(tile.pixel(tile.width() / 2, tile.height() / 2)) == 255);
        const int above = icon->geometry().top() - 28;
        const int below = card.height() - 24 - link->geometry().bottom() - 1;
        QVERIFY2(qAbs(above - below) <= 1, qPrintable(QStringLiteral("%1 vs %2").arg(above).arg(below)));
    }

    void onePanelReusedAndPlaced()
    {
        AboutWindowController controller;
        QSignalSpy shownChanges(&controller, &AboutWindowController::shownChanged);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect tavlo(screen.x() + 20, screen.bottom() - 140, 600, 120);
        controller.showAbout(tavlo);
        FloatingToolPanel *panel = controller.panel();
        QVERIFY(panel);
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QCOMPARE(panel->windowTitle(), QStringLiteral("About Quorvin"));
        QCOMPARE(panel->size(), QSize(360, 330));
        QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        const QRect bounds = AuxiliaryPanelPlacement::boundsForAnchor(tavlo, {screen}, screen);
        QTRY_COMPARE(panel->pos(),
                     AuxiliaryPanelPlacement::originBeside(tavlo, panel->frameGeometry().size(), bounds, 12));
        QCOMPARE(panel->frameGeometry().bottom() + 1 + 12, tavlo.top());

        // Closed with its button, shown again: the same window, placed anew; centred without a panel.
        panel->close();
        QVERIFY(!controller.isShown());
        controller.showAbout(QRect());
        QCOMPARE(controller.panel(), panel);
        QVERIFY(controller.isShown());
        QCOMPARE(panel->frameGeometry().center().x(), screen.center().x());
        int aboutWindows = 0;
        for (QWidget *window : QApplication::topLevelWidgets())
            aboutWindows += window->windowTitle() == QLatin1String("About Quorvin");
        QCOMPARE(aboutWindows, 1);
        controller.close();
        QVERIFY(!controller.isShown());
        QList<bool> reported;
        for (const QList<QVariant> &change : std::as_const(shownChanges))
            reported.append(change.at(0).toBool());
        QCOMPARE(reported, (QList<bool> {true, false, true, false}));
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
