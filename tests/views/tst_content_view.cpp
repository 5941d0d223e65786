#include <QAbstractButton>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

#include "model/TavloStore.h"
#include "platform/AppPaths.h"
#include "platform/SaveStatus.h"
#include "platform/SettingsFile.h"
#include "views/ContentView.h"
#include "views/ContentViewParts.h"
#include "views/PanelContent.h"
#include "views/TavloItemListView.h"
#include "widgetkit/PanelMetrics.h"

// The card: what it shows for the store's state, the drop target and the paste
// command.
class TestContentView : public QObject
{
    Q_OBJECT

private:
    static CardIconButton *iconButton(ContentView &view, const QString &toolTip)
    {
        for (auto *button : view.findChildren<CardIconButton *>()) {
            if (button->toolTip() == toolTip)
                return button;
        }
        return nullptr;
    }

    static bool sendDragEnter(ContentView &view, QMimeData *mime)
    {
        QDragEnterEvent event(QPoint(200, 100), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                              Qt::NoModifier);
        event.ignore();
        QCoreApplication::sendEvent(&view, &event);
        return event.isAccepted();
    }

    static void sendDragLeave(ContentView &view)
    {
        QDragLeaveEvent event;
        QCoreApplication::sendEvent(&view, &event);
    }

    static bool sendDrop(ContentView &view, QMimeData *mime)
    {
        QDropEvent event(QPointF(200, 100), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                         Qt::NoModifier);
        event.ignore();
        QCoreApplication::sendEvent(&view, &event);
        return event.isAccepted();
    }

private Q_SLOTS:
    void init()
    {
        auto settings = SettingsFile::open();
        settings->clear();
        settings->sync();
        QDir(AppPaths::dataFolder()).removeRecursively();
        QGuiApplication::clipboard()->clear();
    }

    // Anything unsaved shows in the header until the writer succeeds again.
    void saveWarningFollowsTheStatus()
    {
        PanelContent content;
        ContentView &view = content.view;
        auto *warning = view.findChild<QLabel *>(QStringLiteral("saveWarning"));
        QVERIFY(warning && warning->isHidden());
        SaveStatus::instance().report(QStringLiteral("test"), QStringLiteral("No space left on device"),
                                      QStringLiteral("/data/Quorvin"));
        QTRY_VERIFY(!warning->isHidden());
        QCOMPARE(warning->toolTip(), QStringLiteral("Not saved: No space left on device\n/data/Quorvin"));
        SaveStatus::instance().clear(QStringLiteral("test"));
        QTRY_VERIFY(warning->isHidden());
    }

    void emptyStateAndClearFollowItems()
    {
        PanelContent content;
        ContentView &view = content.view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        CardIconButton *clear = iconButton(view, QStringLiteral("Clear Tavlo"));
        QVERIFY(clear);
        QVERIFY(iconButton(view, QStringLiteral("About Quorvin")));
        QVERIFY(view.isShowingEmptyState());
        QVERIFY(!view.isClearButtonShown());
        QVERIFY(!clear->isVisible());
        QVERIFY(!view.itemListView()->isVisible());
        QCOMPARE(view.countText(), QStringLiteral("0 items"));

        view.store()->addText(QStringLiteral("first"));
        QCOMPARE(view.countText(), QStringLiteral("1 item"));
        QVERIFY(!view.isShowingEmptyState());
        QVERIFY(view.itemListView()->isVisible());
        QVERIFY(clear->isVisible());

        view.store()->addText(QStringLiteral("second"));
        QCOMPARE(view.findChild<ToneLabel *>()->text(), QStringLiteral("2 items"));
        QTest::mouseClick(clear, Qt::LeftButton);
        QVERIFY(view.store()->items().isEmpty());
        QVERIFY(view.isShowingEmptyState());
        QVERIFY(!clear->isVisible());
        QCOMPARE(view.countText(), QStringLiteral("0 items"));
    }

    void titleFollowsActiveTavlo()
    {
        PanelContent content;
        ContentView &view = content.view;
        auto *button = view.findChild<TavloMenuButton *>();
        QVERIFY(button);
        const QString first = view.store()->activeTavloName();
        QCOMPARE(button->text(), first);
        view.store()->createTavlo(QStringLiteral("Work"));
        QCOMPARE(button->text(), QStringLiteral("Work"));
        view.store()->addText(QStringLiteral("on work"));
        view.store()->selectTavlo(view.store()->tavlos().first().id);
        QCOMPARE(button->text(), first);
        QCOMPARE(view.countText(), QStringLiteral("0 items"));
        QVERIFY(view.isShowingEmptyState());
    }

    void longTitleElidesOnlyWhenShort()
    {
        PanelContent content;
        ContentView &view = content.view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto *button = view.findChild<TavloMenuButton *>();
        view.store()->renameActiveTavlo(QStringLiteral("Quarterly planning"));
        QCoreApplication::processEvents();
        QTRY_COMPARE(button->displayedText(), QStringLiteral("Quarterly planning"));

        // Far wider than either card: elided in both layouts, the header buttons
        // stay reachable.
        view.store()->renameActiveTavlo(QString(3000, QLatin1Char('w')));
        for (auto orientation : {TavloOrientation::horizontal, TavloOrientation::vertical}) {
            view.setOrientation(orientation);
            QTRY_VERIFY(button->displayedText().endsWith(QChar(0x2026)));
            QVERIFY(button->geometry().right()
                    < iconButton(view, QStringLiteral("About Quorvin"))->geometry().left());
        }
    }

    void emptyStateTexts_data()
    {
        QTest::addColumn<TavloOrientation>("orientation");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::newRow("horizontal") << TavloOrientation::horizontal
                                    << QStringLiteral("Drop files, folders, text, or URLs here")
                                    << QStringLiteral("Keep what you're using within reach.")
                                    << QStringLiteral("Control + Space to hide/show");
        QTest::newRow("vertical") << TavloOrientation::vertical << QStringLiteral("Drop items here")
                                  << QStringLiteral("Files, folders, text, or URLs")
                                  << QStringLiteral("Control + Space");
    }

    void emptyStateTexts()
    {
        QFETCH(TavloOrientation, orientation);
        QFETCH(QString, title);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        PanelContent content;
        ContentView &view = content.view;
        view.setOrientation(orientation);
        QCOMPARE(view.emptyState()->title(), title);
        QCOMPARE(view.emptyState()->caption(), caption);
        QCOMPARE(view.emptyState()->hint(), hint);

        QMimeData mime;
        mime.setText(QStringLiteral("hello"));
        QVERIFY(sendDragEnter(view, &mime));
        QCOMPARE(view.emptyState()->title(), QStringLiteral("Drop it."));
        sendDragLeave(view);
        QCOMPARE(view.emptyState()->title(), title);
    }

    void dropHighlight_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("accepted");
        for (const char *format : {"text/uri-list", "image/png", "image/gif", "application/x-qt-image",
                                   "text/x-moz-url", "_NETSCAPE_URL", "text/rtf", "application/rtf",
                                   "text/richtext", "text/html", "text/plain", "text/plain;charset=utf-8"})
            QTest::newRow(format) << QString::fromLatin1(format) << true;
        QTest::newRow("unknown") << QStringLiteral("application/x-unknown") << false;
        QTest::newRow("octet stream") << QStringLiteral("application/octet-stream") << false;
    }

    void dropHighlight()
    {
        QFETCH(QString, format);
        QFETCH(bool, accepted);
        PanelContent content;
        ContentView &view = content.view;
        QSignalSpy changes(&view, &ContentView::dropTargetedChanged);
        QMimeData mime;
        mime.setData(format, QByteArrayLiteral("data"));
        QCOMPARE(sendDragEnter(view, &mime), accepted);
        QCOMPARE(view.isDropTargeted(), accepted);
        sendDragLeave(view);
        QVERIFY(!view.isDropTargeted());
        QCOMPARE(changes.size(), accepted ? 2 : 0);
    }

    void dropGoesToIngest()
    {
        QVERIFY(!ContentView::acceptsMimeData(nullptr));
        PanelContent content;
        ContentView &view = content.view;
        QMimeData empty;
        QVERIFY(!sendDrop(view, &empty));
        QVERIFY(view.store()->items().isEmpty());
        QMimeData mime;
        mime.setText(QStringLiteral("A note without any link"));
        QVERIFY(sendDragEnter(view, &mime));
        QVERIFY(sendDrop(view, &mime));
        QVERIFY(!view.isDropTargeted());
        QTRY_COMPARE(view.store()->items().size(), 1);
        QVERIFY(view.store()->items().first().isText());
        QVERIFY(!view.isShowingEmptyState());
    }

    void closingWhileDropIsConverted()
    {
        // Conversions still running when the card goes away are dropped, never delivered late.
        auto content = std::make_unique<PanelContent>();
        QMimeData mime;
        mime.setHtml(QStringLiteral("<p>Some <b>bold</b> words</p>"));
        mime.setText(QStringLiteral("Some bold words"));
        QVERIFY(sendDragEnter(content->view, &mime));
        QVERIFY(sendDrop(content->view, &mime));
        content.reset();
        QTest::qWait(50);
    }

    void pasteFollowsClipboard()
    {
        PanelContent content;
        ContentView &view = content.view;
        QAction *paste = view.cardContextMenu()->actions().value(0);
        QVERIFY(paste);
        QCOMPARE(paste->text(), QStringLiteral("Paste"));
        QVERIFY(!paste->isEnabled());

        QGuiApplication::clipboard()->setText(QStringLiteral("Pasted words"));
        // Each call rebuilds the menu and deletes the previous actions.
        const QList<QAction *> actions = view.cardContextMenu()->actions();
        QCOMPARE(actions.size(), 1);
        paste = actions.first();
        QVERIFY(paste->isEnabled());
        paste->trigger();
        QTRY_COMPARE(view.store()->items().size(), 1);
        QVERIFY(view.store()->items().first().isText());
    }

    void pasteThroughAProbe()
    {
        // A clipboard owner that answers late or never: the menu is there at once, Paste waits.
        std::atomic<bool> answers = false;
        QSemaphore asked;
        PanelContent content;
        ContentView &view = content.view;
        view.setClipboardProbe(
            {[&]() -> std::optional<QStringList> {
                 asked.acquire();
                 return answers ? std::optional(QStringList {"UTF8_STRING", "text/plain;charset=utf-8"})
                                : std::nullopt;
             },
             [&](const QStringList &wanted) -> std::optional<QList<std::pair<QString, QByteArray>>> {
                 if (!answers || !wanted.contains("text/html"))
                     return std::nullopt;
                 return QList<std::pair<QString, QByteArray>> {{"text/plain;charset=utf-8", "probed"}};
             }});
        for (const bool answering : {false, true}) {
            answers = answering;
            QAction *paste = view.cardContextMenu()->actions().value(0);
            QVERIFY(!paste->isEnabled());
            asked.release();
            QTRY_COMPARE(paste->toolTip() == ContentView::clipboardSilentText, !answering);
            QTRY_COMPARE(paste->isEnabled(), answering);
            view.paste();
            QTest::qWait(100);
        }
        QTRY_COMPARE(view.store()->items().size(), 1);
        QCOMPARE(std::get<TextItemKind>(view.store()->items().first().kind).payload.plainText, "probed");
    }

    void rendersBothOrientations_data()
    {
        QTest::addColumn<TavloOrientation>("orientation");
        QTest::addColumn<int>("items");
        QTest::newRow("horizontal empty") << TavloOrientation::horizontal << 0;
        QTest::newRow("horizontal items") << TavloOrientation::horizontal << 3;
        QTest::newRow("vertical empty") << TavloOrientation::vertical << 0;
        QTest::newRow("vertical items") << TavloOrientation::vertical << 3;
    }

    void rendersBothOrientations()
    {
        QFETCH(TavloOrientation, orientation);
        QFETCH(int, items);
        PanelContent content;
        ContentView &view = content.view;
        view.setAttribute(Qt::WA_TranslucentBackground);
        view.setOrientation(orientation);
        for (int i = 0; i < items; ++i)
            view.store()->addText(QStringLiteral("Snippet %1").arg(i));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(250); // let the layout animation finish
        QCOMPARE(view.size(), PanelMetrics::panelSize(orientation));
        const QImage image = view.grab().toImage();
        QCOMPARE(image.size() / image.devicePixelRatio(), PanelMetrics::panelSize(orientation));
        // Outside the rounded card the panel is see-through; inside it is painted.
        QCOMPARE(qAlpha(image.pixel(1, 1)), 0);
        QVERIFY(qAlpha(image.pixel(image.width() / 2, image.height() / 2)) > 200);

        // A notice lies on the card, under the header, until it is dismissed.
        view.showNotice(QStringLiteral("Control+Space is taken"));
        QCOMPARE(view.noticeText(), QStringLiteral("Control+Space is taken"));
        const QRect notice = view.noticeCloseButton()->parentWidget()->geometry();
        const QRect inner = QRect(QPoint(0, 0), view.size()).adjusted(30, 26, -30, -26);
        QVERIFY2(inner.contains(notice) && notice.height() > 10 && notice.top() > inner.top() + 30,
                 std::unique_ptr<char[]>(QTest::toString(notice)).get());
        QTest::mouseClick(view.noticeCloseButton(), Qt::LeftButton);
        QVERIFY(view.noticeText().isEmpty());
        const QString folder = QString::fromLocal8Bit(qgetenv("QUORVIN_SCREENSHOT_DIR"));
        if (!folder.isEmpty())
            image.save(QDir(folder).filePath(QStringLiteral("content-%1.png")
                                                 .arg(QString::fromLatin1(QTest::currentDataTag())
                                                          .replace(QLatin1Char(' '), QLatin1Char('-')))));
    }
};

QTEST_MAIN(TestContentView)
#include "tst_content_view.moc"
