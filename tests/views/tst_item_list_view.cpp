#include <QBuffer>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDrag>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include "model/TavloStore.h"
#include "thumbnails/FakeNetwork.h"
#include "thumbnails/TavloThumbnailLoader.h"
#include "thumbnails/VideoThumbnailCache.h"
#include "thumbnails/VideoThumbnailDownload.h"
#include "views/TavloItemCell.h"
#include "views/TavloItemDelegate.h"
#include "views/TavloItemListModel.h"
#include "views/TavloItemListView.h"
#include "widgetkit/DesktopOpen.h"

class RecordingListView : public TavloItemListView
{
public:
    QList<QStringList> dragFormats;
    QList<QByteArray> dragText;

protected:
    void executeDrag(QDrag *drag) override
    {
        dragFormats.append(drag->mimeData()->formats());
        dragText.append(drag->mimeData()->text().toUtf8());
        drag->deleteLater();
    }
};

class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

// The list of cells as the user meets it: pointer, clicks, menus, the rename prompt, drags,
// copies, pictures arriving late, and files that vanish and come back.
class TestItemListView : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    TavloStore *m_store = nullptr;
    RecordingListView *m_view = nullptr;
    UrlRecorder m_urls;
    TavloThumbnailLoader m_thumbnails;
    QList<QUuid> m_previewed;
    QList<RichTextPayload> m_snippets;
    QUuid m_snippetID;

    QWidget *viewport() const { return m_view->viewport(); }

    void send(QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
              Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QMouseEvent event(type, pos, viewport()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(viewport(), &event);
    }
    void hover(QPoint pos) { send(QEvent::MouseMove, pos, Qt::NoButton, Qt::NoButton); }
    void click(QPoint pos)
    {
        hover(pos);
        send(QEvent::MouseButtonPress, pos);
        send(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
    }
    void doubleClick(QPoint pos)
    {
        click(pos);
        send(QEvent::MouseButtonDblClick, pos);
        send(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
    }
    QPoint tileCenter(int row) const { return m_view->tileRect(row).center(); }

    QString writeImage(const QString &name, QColor color)
    {
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(color);
        const QString path = m_dir.filePath(name);
        image.save(path, "png");
        return path;
    }

    QStringList menuTexts(const QUuid &id)
    {
        std::unique_ptr<QMenu> menu(m_view->createContextMenu(id));
        QStringList texts;
        for (QAction *action : menu->actions())
            texts.append(action->isSeparator() ? QString("|")
                                               : action->text() + (action->isEnabled() ? "" : " (off)"));
        return texts;
    }

    QAction *menuAction(QMenu *menu, const QString &text)
    {
        for (QAction *action : menu->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QDesktopServices::setUrlHandler("https", &m_urls, "open");
        QDesktopServices::setUrlHandler("file", &m_urls, "open");
        QDesktopServices::setUrlHandler("javascript", &m_urls, "open");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("file");
        QDesktopServices::unsetUrlHandler("javascript");
    }

    void init()
    {
        m_store = new TavloStore;
        m_store->clearActiveTavlo();
        m_view = new RecordingListView;
        m_view->setStore(m_store);
        m_view->setThumbnailLoader(&m_thumbnails);
        connect(m_view, &TavloItemListView::previewRequested, this,
                [this](const TavloItem &item) { m_previewed.append(item.id); });
        connect(m_view, &TavloItemListView::snippetRequested, this,
                [this](const QUuid &id, const RichTextPayload &payload) {
                    m_snippetID = id;
                    m_snippets.append(payload);
                });
        m_view->resize(700, 110);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view));
        m_previewed.clear();
        m_snippets.clear();
        m_urls.opened.clear();
    }

    void cleanup()
    {
        delete m_view;
        m_store->waitForPendingWrites();
        delete m_store;
    }

    void hoverShowsRemoveButtonThatRemoves()
    {
        m_store->addText("first");
        m_store->addText("second");
        QCOMPARE(m_view->hoveredRow(), -1);
        hover(tileCenter(1));
        QCOMPARE(m_view->hoveredRow(), 1);
        QVERIFY(!m_view->isRemoveHovered());
        const QRect button = m_view->removeButtonRect(1);
        QVERIFY(button.intersects(m_view->tileRect(1)));
        QCOMPARE(button.right(), m_view->tileRect(1).right() + 2);
        hover(button.center());
        QVERIFY(m_view->isRemoveHovered());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(viewport(), &leave);
        QCOMPARE(m_view->hoveredRow(), -1);

        click(button.center()); // hovering first, as a pointer would
        QCOMPARE(m_store->items().size(), 1);
        QCOMPARE(TavloItemCell::displayTitle(m_store->items().first()), QString("first"));
    }

    void clickPreviewsAndDoubleClickOpens()
    {
        m_store->addText("Snippet body\nline two");
        const QUuid id = m_store->items().first().id;
        click(tileCenter(0));
        QVERIFY(m_previewed.isEmpty()); // waits until it cannot become a double click
        QTRY_COMPARE(m_previewed, QList<QUuid> {id});

        // The preview's open action is the cell's double-click action.
        m_view->openItem(id);
        QCOMPARE(m_snippets.size(), 1);
        QCOMPARE(m_snippets.first().plainText, QString("Snippet body\nline two"));

        m_previewed.clear();
        doubleClick(tileCenter(0));
        QCOMPARE(m_snippets.size(), 2);
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(m_previewed.isEmpty());

        // The snippet window's edits are for this item.
        QCOMPARE(m_snippetID, id);

        // A click on the title is not a click on the tile.
        const QRect tile = m_view->tileRect(0);
        click(QPoint(tile.center().x(), tile.bottom() + 10));
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(m_previewed.isEmpty());
    }

    void linksAndFilesOpenOnTheDesktop()
    {
        const QString path = writeImage("open me.png", Qt::green);
        m_store->addURL(*TavloUrl::parse("https://example.com/page"));
        m_store->addFile(TavloUrl::fromLocalFile(path));
        doubleClick(tileCenter(0));
        doubleClick(tileCenter(1));
        QCOMPARE(m_urls.opened, (QList<QUrl> {QUrl("https://example.com/page"), QUrl::fromLocalFile(path)}));

        // An unavailable file previews instead, which tells the user it is gone.
        QFile::remove(path);
        doubleClick(tileCenter(1));
        QCOMPARE(m_urls.opened.size(), 2);
        QCOMPARE(m_previewed, QList<QUuid> {m_store->items().at(1).id});
        // The data file may hold a link of any scheme; only web links reach the desktop.
        DesktopOpen::openWithDesktop(
            {QUuid::createUuid(), UrlItemKind {*TavloUrl::parse("javascript:alert(1)"), {}}});
        QCOMPARE(m_urls.opened.size(), 2);
    }

    void menusFollowKindAndAvailability()
    {
        const QString path = writeImage("menu.png", Qt::blue);
        m_store->addFile(TavloUrl::fromLocalFile(path));
        m_store->addText("words");
        m_store->addURL(*TavloUrl::parse("https://example.org"));
        const QList<TavloItem> items = m_store->items();
        QCOMPARE(menuTexts(items.at(0).id),
                 (QStringList {"Open", "Show in File Manager", "|", "Remove from Tavlo"}));
        QCOMPARE(menuTexts(items.at(1).id),
                 (QStringList {"Open", "Copy", "Rename\u2026", "|", "Remove from Tavlo"}));
        QCOMPARE(menuTexts(items.at(2).id),
                 (QStringList {"Open URL", "Copy URL", "Rename\u2026", "|", "Remove from Tavlo"}));

        QFile::rename(path, path + ".away");
        QCOMPARE(menuTexts(items.at(0).id),
                 (QStringList {"File Unavailable (off)", "|", "Remove from Tavlo"}));
        QFile::rename(path + ".away", path); // the file comes back
        QCOMPARE(menuTexts(items.at(0).id).first(), QString("Open"));

        std::unique_ptr<QMenu> menu(m_view->createContextMenu(items.at(2).id));
        menuAction(menu.get(), "Remove from Tavlo")->trigger();
        QCOMPARE(m_store->items().size(), 2);
    }

    void tooltipsTellWhatIsThere()
    {
        const QString path = writeImage("tip.png", Qt::red);
        m_store->addFile(TavloUrl::fromLocalFile(path));
        const QPoint at = tileCenter(0);
        QHelpEvent help(QEvent::ToolTip, at, viewport()->mapToGlobal(at));
        QApplication::sendEvent(viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), path);
        QFile::remove(path);
        QApplication::sendEvent(viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), "File unavailable:\n" + path);
        QToolTip::hideText();
    }

    void renamePrompt_data()
    {
        QTest::addColumn<bool>("isLink");
        QTest::addColumn<bool>("save");
        QTest::newRow("text saved") << false << true;
        QTest::newRow("text cancelled") << false << false;
        QTest::newRow("link saved") << true << true;
    }

    void renamePrompt()
    {
        QFETCH(bool, isLink);
        QFETCH(bool, save);
        if (isLink)
            m_store->addURL(*TavloUrl::parse("https://docs.example.net/x"));
        else
            m_store->addText("\nHeadline\nbody");
        const QUuid id = m_store->items().first().id;
        std::unique_ptr<QMenu> menu(m_view->createContextMenu(id));
        menuAction(menu.get(), "Rename\u2026")->trigger();
        QDialog *prompt = m_view->renamePrompt();
        QVERIFY(prompt);
        QCOMPARE(prompt->windowTitle(), QString(isLink ? "Rename Link" : "Rename Snippet"));
        auto *field = prompt->findChild<QLineEdit *>("renameField");
        QCOMPARE(field->placeholderText(), QString("Title"));
        QCOMPARE(field->text(), QString(isLink ? "docs.example.net" : "Headline"));
        field->setText("  New label \n");
        prompt->findChild<QPushButton *>(save ? "saveButton" : "cancelButton")->click();
        QTRY_VERIFY(!m_view->renamePrompt());
        QCOMPARE(m_store->items().first().title(), save ? std::optional<QString>("New label") : std::nullopt);
    }

    void dragCarriesTheItem_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("formats");
        QTest::addColumn<bool>("fromTitle");
        QTest::newRow("file") << 0 << QStringList {"text/uri-list", "text/plain"} << false;
        QTest::newRow("text, from the title")
            << 1 << QStringList {"text/rtf", "application/rtf", "text/plain"} << true;
        QTest::newRow("link") << 2 << QStringList {"text/uri-list", "text/x-moz-url", "text/plain"} << false;
    }

    void dragCarriesTheItem()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, formats);
        QFETCH(bool, fromTitle);
        if (kind == 0)
            m_store->addFile(TavloUrl::fromLocalFile(writeImage("drag.png", Qt::gray)));
        else if (kind == 1)
            m_store->addRichText(RichText::fromPlainText("rich words"));
        else
            m_store->addURL(*TavloUrl::parse("https://example.com/dragged"));
        const QPoint start =
            fromTitle ? QPoint(tileCenter(0).x(), m_view->tileRect(0).bottom() + 12) : tileCenter(0);
        hover(start);
        send(QEvent::MouseButtonPress, start);
        send(QEvent::MouseMove, start + QPoint(30, 5), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseMove, start + QPoint(40, 5), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, start + QPoint(40, 5), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(m_view->dragFormats.size(), 1);
        QCOMPARE(m_view->dragFormats.first(), formats);
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        QVERIFY(m_previewed.isEmpty()); // a drag is not a click
    }

    void copyPutsDataOnTheClipboard()
    {
        m_store->addRichText(RichText::fromPlainText("copied words"));
        m_store->addURL(*TavloUrl::parse("https://example.com/c"));
        const QList<TavloItem> items = m_store->items();
        std::unique_ptr<QMenu> textMenu(m_view->createContextMenu(items.at(0).id));
        menuAction(textMenu.get(), "Copy")->trigger();
        const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
        QVERIFY(copied->hasFormat("text/rtf"));
        QCOMPARE(copied->formats().indexOf("text/rtf") < copied->formats().indexOf("text/plain"), true);
        QCOMPARE(copied->text(), QString("copied words"));

        std::unique_ptr<QMenu> linkMenu(m_view->createContextMenu(items.at(1).id));
        menuAction(linkMenu.get(), "Copy URL")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("https://example.com/c"));
    }

    void outlineFollowsTheSelectedItem()
    {
        m_store->addText("outlined");
        const QUuid id = m_store->items().first().id;
        const QRect tile = m_view->tileRect(0);
        const QPoint edge(tile.center().x(), tile.top() + 1);
        const QColor plain = viewport()->grab().toImage().pixelColor(edge);
        m_view->setSelectedItemID(id);
        const QColor outlined = viewport()->grab().toImage().pixelColor(edge);
        QVERIFY2(outlined != plain, qPrintable(outlined.name()));
        m_view->setSelectedItemID(QUuid());
        QCOMPARE(viewport()->grab().toImage().pixelColor(edge), plain);
    }

    void latePicturesAreDropped()
    {
        const QString red = writeImage("red.png", Qt::red);
        const QString blue = writeImage("blue.png", Qt::blue);
        TavloCellVisuals visuals;
        visuals.setThumbnailLoader(&m_thumbnails);
        QSignalSpy changed(&visuals, &TavloCellVisuals::changed);
        const QUuid id = QUuid::createUuid();
        visuals.filePicture(id, red, 1.0);
        visuals.filePicture(id, blue, 1.0); // the cell now shows another file
        m_thumbnails.waitForDone();
        QTRY_COMPARE(changed.count(), 1);
        QTest::qWait(20);
        QCOMPARE(changed.count(), 1);
        const QImage shown = visuals.filePicture(id, blue, 1.0).pixmap.toImage();
        QCOMPARE(shown.pixelColor(10, 10), QColor(Qt::blue));
        // Missing files are never asked for.
        visuals.filePicture(QUuid::createUuid(), m_dir.filePath("nothing.png"), 1.0);
        m_thumbnails.waitForDone();
        QTest::qWait(20);
        QCOMPARE(changed.count(), 1);
    }

    void onlyCellsOnScreenAskForPictures()
    {
        // Many links on a short row: only the painted ones get state.
        for (int i = 0; i < 400; ++i)
            m_store->addURL(*TavloUrl::parse(QString("https://site%1.example").arg(i)));
        QCOMPARE(m_view->model()->rowCount(), 400);
        QApplication::processEvents();
        viewport()->repaint();
        auto *visuals = m_view->findChild<TavloCellVisuals *>();
        QVERIFY(visuals);
        QVERIFY2(visuals->size() > 0 && visuals->size() < 20, qPrintable(QString::number(visuals->size())));
        QScrollBar *bar = m_view->horizontalScrollBar();
        for (int value = 0; value <= bar->maximum(); value += 300) {
            bar->setValue(value);
            viewport()->repaint();
        }
        QTRY_VERIFY2(visuals->size() < 80, qPrintable(QString::number(visuals->size())));
    }

    void videoCellsLoadOrFail_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("loaded") << 200;
        QTest::newRow("not found") << 404;
    }

    void videoCellsLoadOrFail()
    {
        QFETCH(int, status);
        FakeNetwork network;
        network.next = FakeAnswer {status, jpegBytes({480, 360}), false, false};
        VideoThumbnailDownload::setNetworkAccessManager(&network);

        // Cells: a downloaded picture fades in, and a cell built later reuses it; a failure is
        // asked for again.
        VideoThumbnailCache::clear();
        const TavloUrl video = *TavloUrl::parse("https://www.youtube.com/watch?v=abcDEF");
        for (int round = 0; round < 2; ++round) {
            TavloCellVisuals visuals;
            const QUuid id = QUuid::createUuid();
            visuals.linkPicture(id, video, 1.0);
            QTRY_VERIFY(visuals.linkPicture(id, video, 1.0).didFail
                        || !visuals.linkPicture(id, video, 1.0).pixmap.isNull());
            const auto &picture = visuals.linkPicture(id, video, 1.0);
            QCOMPARE(picture.didFail, status != 200);
            if (!picture.didFail && round == 0) {
                QVERIFY(TavloCellVisuals::imageOpacity(picture) < 1.0);
                QTRY_COMPARE(TavloCellVisuals::imageOpacity(picture), 1.0);
            }
        }
        QCOMPARE(network.requested.size(), status == 200 ? 1 : 2);
        VideoThumbnailDownload::setNetworkAccessManager(nullptr);
    }

    void orientationLaysOutColumnOrRow()
    {
        m_store->addText("a");
        m_store->addText("b");
        // Cells 100 wide, 12 apart, 2 in from the list's edge; tiles centred in them.
        QCOMPARE(m_view->tileRect(0).left(), 2 + 16);
        QCOMPARE(m_view->tileRect(1).left(), 2 + 16 + 112);
        m_view->setOrientation(TavloOrientation::vertical);
        m_view->resize(184, 600);
        QApplication::processEvents();
        QTRY_COMPARE(m_view->tileRect(0).top(), 2 + 4);
        QVERIFY(m_view->tileRect(1).top() > m_view->tileRect(0).bottom());
        QVERIFY(qAbs(m_view->tileRect(0).center().x() - viewport()->width() / 2) <= 1);
    }
};

QTEST_MAIN(TestItemListView)
#include "tst_item_list_view.moc"
