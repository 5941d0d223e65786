// The real application on a desktop: the hot key, drops from another application, the preview,
// and a restart. One application process runs through the whole sequence, as a person would use it.
#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include "e2e/Desktop.h"

namespace {

const QString targetTitle = QStringLiteral("Quorvin e2e target");
const QString sourceTitle = QStringLiteral("Quorvin e2e source");

QString itemField(const QJsonArray &items, qsizetype row, const char *field)
{
    return items.at(row)[QLatin1String(field)].toString();
}

} // namespace

class TestE2ePanel : public QObject
{
    Q_OBJECT

    Desktop m_desktop;
    QuorvinProcess m_app {m_desktop};
    Peer m_target; // an unrelated application's window, for clicks outside the panel

    QString file(const QString &name) const
    {
        return m_desktop.homePath() + QStringLiteral("/files/") + name;
    }

    XWindow preview() const { return m_desktop.findWindow(m_app.pid(), QStringLiteral("Preview")); }

    // Another application drags `kind` onto the panel through XDND and lets go over it; it serves
    // the data until the item is stored.
    void dropFromPeer(const QString &kind, const QString &arg, qsizetype itemsAfter, bool taken = true)
    {
        Peer source;
        QVERIFY(source.start(
            m_desktop,
            {QStringLiteral("source"), sourceTitle, QStringLiteral("80"), QStringLiteral("80"), kind, arg}));
        m_desktop.moveTo(source.geometry(m_desktop).center());
        m_desktop.press();
        QVERIFY(source.waitForLine(QStringLiteral("started")));
        m_desktop.glideTo(m_app.panelGeometry().center());
        QVERIFY2(source.waitForLine(QStringLiteral("accepted")), "the panel did not accept the drag");
        m_desktop.release();
        if (taken)
            QVERIFY(source.waitForLine(QStringLiteral("result 1"))); // copied
        else
            QTest::qWait(1500); // anything wrongly taken would be stored by now
        QVERIFY2(waitForItems(itemsAfter),
                 qPrintable(QStringLiteral("unexpected items after the dropped ") + kind));
    }

    bool waitForItems(qsizetype count)
    {
        return waitFor([&] { return StoredState::read(m_desktop).itemsOf().size() == count; });
    }

    // Through the tavlo menu under the name: entry `index` below `separators` separators, and
    // in its submenu entry `subIndex`.
    void chooseInTavloMenu(int index, int separators, int subIndex = -1)
    {
        m_desktop.click(m_app.tavloMenuButton(StoredState::read(m_desktop).itemsOf().isEmpty()));
        XWindow menu = 0;
        QVERIFY(waitFor([&] { return (menu = m_app.openMenu()) != 0; }, 5000));
        QVERIFY(m_app.chooseInMenu(index, separators));
        if (subIndex >= 0) {
            QVERIFY(waitFor([&] { return m_app.openMenu() != menu && m_app.openMenu() != 0; }, 5000));
            QVERIFY(m_app.chooseInMenu(subIndex));
        }
        QVERIFY(waitFor([&] { return m_app.openMenu() == 0; }, 5000));
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString unavailable = m_desktop.start();
        if (!unavailable.isEmpty() && !m_desktop.hasXServer())
            QSKIP(qPrintable(unavailable));
        QVERIFY2(unavailable.isEmpty(), qPrintable(unavailable));
        QVERIFY(m_app.start());
        QVERIFY(m_target.start(m_desktop,
                               {QStringLiteral("target"), targetTitle, QStringLiteral("1500"),
                                QStringLiteral("80"), file(QStringLiteral("target.json"))}));
    }

    void controlSpaceHidesAndShows()
    {
        const XWindow panel = m_app.panel();
        const QRect shownAt = m_app.panelGeometry();
        QCOMPARE(shownAt.size(), QSize(1064, 212));
        m_desktop.tap("space", "Control_L");
        QVERIFY2(waitFor([&] { return !m_desktop.isViewable(panel); }, 5000), "Control+Space did not hide");
        QTest::qWait(300); // presses closer than the debounce interval are ignored on purpose
        m_desktop.tap("space", "Control_L");
        QVERIFY2(waitFor([&] { return m_desktop.isViewable(panel); }, 5000), "Control+Space did not show");
        // Back where it was, at the size of the horizontal layout.
        QCOMPARE(m_app.panelGeometry(), shownAt);
    }

    void dropsFromAnotherApplicationBecomeStoredItems()
    {
        const QString notes = file(QStringLiteral("notes.txt"));
        QVERIFY(QFile(notes).open(QIODevice::WriteOnly));
        const QString rtf = file(QStringLiteral("dropped.rtf"));
        {
            QFile out(rtf);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("{\\rtf1\\ansi{\\fonttbl\\f0 Helvetica;}\\f0 Dropped {\\b rich} text\\par}");
        }
        const QString png = file(QStringLiteral("picture.png"));
        QImage picture(24, 16, QImage::Format_RGB32);
        picture.fill(Qt::magenta);
        QVERIFY(picture.save(png, "PNG"));
        const QString link = QStringLiteral("https://www.example.org/e2e?drop=1");

        dropFromPeer(QStringLiteral("file"), notes, 1);
        dropFromPeer(QStringLiteral("link"), link, 2);
        dropFromPeer(QStringLiteral("rtf"), rtf, 3);
        dropFromPeer(QStringLiteral("png"), png, 4);
        // A GIF alone is no format the panel takes, whatever picture Qt offers to make of it.
        const QString gif = file(QStringLiteral("picture.gif"));
        {
            QFile out(gif);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(
                QByteArray::fromHex("4749463839610100010080000000ffffff00000021f90401000000002c000000000100"
                                    "01000002024401003b"));
        }
        dropFromPeer(QStringLiteral("gif"), gif, 4, false);

        const QJsonArray items = StoredState::read(m_desktop).itemsOf();
        QCOMPARE(itemField(items, 0, "kind"), QStringLiteral("file"));
        QCOMPARE(QUrl(itemField(items, 0, "fileURLString")).toLocalFile(), notes);
        QCOMPARE(itemField(items, 1, "kind"), QStringLiteral("url"));
        QCOMPARE(itemField(items, 1, "urlString"), link);
        QCOMPARE(itemField(items, 2, "kind"), QStringLiteral("text"));
        QCOMPARE(itemField(items, 2, "richTextPlainText").trimmed(), QStringLiteral("Dropped rich text"));
        QVERIFY(QByteArray::fromBase64(itemField(items, 2, "richTextData").toLatin1()).startsWith("{\\rtf"));

        // The raw image became a clipping file of its own, readable by the user alone.
        QCOMPARE(itemField(items, 3, "kind"), QStringLiteral("file"));
        const QString clipping = QUrl(itemField(items, 3, "fileURLString")).toLocalFile();
        QCOMPARE(QFileInfo(clipping).absolutePath(), m_desktop.clippingsPath());
        QVERIFY2(QRegularExpression(QStringLiteral("^Tavlo Image [0-9A-F]{8}\\.png$"))
                     .match(QFileInfo(clipping).fileName())
                     .hasMatch(),
                 qPrintable(clipping));
        QCOMPARE(readBytes(clipping), readBytes(png));
        QCOMPARE(QFile::permissions(clipping) & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

        // Nobody moved the panel: its default placement is not remembered, whatever the window
        // manager reported while it framed the panel.
        QVERIFY(!StoredState::read(m_desktop).hasPosition);
    }

    void previewOpensOnClickAndClosesOnAClickElsewhere()
    {
        m_desktop.click(m_app.tileCentre(1));
        XWindow shown = 0;
        QVERIFY2(waitFor([&] { return m_desktop.isViewable(shown = preview()); }),
                 "no preview after a click");
        // Above the panel with a gap, once the window manager's frame is known.
        QVERIFY2(
            waitFor([&] { return m_desktop.geometry(shown).bottom() < m_app.panelGeometry().top() - 10; }),
            qPrintable(QStringLiteral("preview bottom %1, panel top %2")
                           .arg(m_desktop.geometry(shown).bottom())
                           .arg(m_app.panelGeometry().top())));
        QVERIFY(m_desktop.isViewable(m_app.panel()));

        m_desktop.click(m_target.geometry(m_desktop).center());
        QVERIFY2(waitFor([&] { return !m_desktop.isViewable(shown); }),
                 "a click elsewhere left the preview open");
        QVERIFY(m_desktop.isViewable(m_app.panel()));
    }

    void keysStayWithTheFocusedApplicationUntilAClick()
    {
        Peer editor;
        QVERIFY(editor.start(m_desktop,
                             {QStringLiteral("editor"), QStringLiteral("Quorvin e2e editor"),
                              QStringLiteral("1500"), QStringLiteral("400"), QStringLiteral("line")}));
        m_desktop.click(editor.geometry(m_desktop).center());
        QVERIFY(waitFor([&] { return m_desktop.inputFocus() == editor.window(); }));
        m_desktop.type(QStringLiteral("ab"));
        QVERIFY(editor.waitForLine(QStringLiteral("text ab")));

        // The hot key hides and shows the panel; the keys still go to the editor.
        const XWindow panel = m_app.panel();
        m_desktop.tap("space", "Control_L");
        QVERIFY(waitFor([&] { return !m_desktop.isViewable(panel); }));
        QTest::qWait(300);
        m_desktop.tap("space", "Control_L");
        QVERIFY(waitFor([&] { return m_desktop.isViewable(panel); }));
        m_desktop.type(QStringLiteral("c"));
        QVERIFY2(editor.waitForLine(QStringLiteral("text abc")), "showing the panel took the keyboard");

        // A click on a tile gives the panel the keyboard: Escape closes the preview, and a second
        // one closes nothing else.
        m_desktop.click(m_app.tileCentre(1));
        XWindow shown = 0;
        QVERIFY(waitFor([&] { return m_desktop.isViewable(shown = preview()); }));
        QTest::qWait(600); // past the double-click interval
        m_desktop.tap("Escape");
        QVERIFY2(waitFor([&] { return !m_desktop.isViewable(shown); }), "Escape did not close the preview");
        m_desktop.tap("Escape");
        QTest::qWait(300);
        QVERIFY(m_desktop.isViewable(panel));
        QVERIFY(!editor.waitForLine(QStringLiteral("escape"), 100));

        // Hiding the panel hands the keyboard back.
        m_desktop.tap("space", "Control_L");
        QVERIFY(waitFor([&] { return !m_desktop.isViewable(panel); }));
        QVERIFY(waitFor([&] { return m_desktop.inputFocus() == editor.window(); }));
        m_desktop.type(QStringLiteral("d"));
        QVERIFY(editor.waitForLine(QStringLiteral("text abcd")));
        QTest::qWait(300);
        m_desktop.tap("space", "Control_L");
        QVERIFY2(waitFor([&] { return m_desktop.isViewable(panel); }),
                 "the hot key was lost after the hand-back");
    }

    void restartShowsTheSameTavlosItemsPositionAndOrientation()
    {
        // A second tavlo, named in the New Tavlo dialog; it becomes the active one.
        chooseInTavloMenu(1, 1); // the tavlo, New Tavlo…
        XWindow dialog = 0;
        QVERIFY(waitFor([&] {
            return m_desktop.isViewable(dialog =
                                            m_desktop.findWindow(m_app.pid(), QStringLiteral("New Tavlo")));
        }));
        QVERIFY2(waitFor([&] { return m_desktop.inputFocus() == dialog; }),
                 "the dialog did not get the keyboard");
        m_desktop.type(QStringLiteral("errands"));
        m_desktop.tap("Return");
        QVERIFY(waitFor([&] {
            const StoredState state = StoredState::read(m_desktop);
            return state.tavlos.size() == 2
                && state.activeTavloID == state.tavlos.at(1)[QLatin1String("id")].toString();
        }));
        const StoredState created = StoredState::read(m_desktop);
        QCOMPARE(created.tavlos.at(1)[QLatin1String("name")].toString(), QStringLiteral("errands"));
        QVERIFY(created.itemsOf().isEmpty());

        // Back to the first tavlo, then the vertical layout: tavlos, New, Rename, Delete, Orientation.
        chooseInTavloMenu(0, 0);
        QVERIFY(waitFor([&] {
            const StoredState state = StoredState::read(m_desktop);
            return state.activeTavloID == state.tavlos.at(0)[QLatin1String("id")].toString();
        }));
        chooseInTavloMenu(5, 2, 1);
        QVERIFY(waitFor([&] { return m_app.panelGeometry().size() == QSize(244, 724); }));
        QVERIFY(
            waitFor([&] { return StoredState::read(m_desktop).orientation == QLatin1String("vertical"); }));

        // Moved by its drag strip, once the resize around its centre is done and saved. The window
        // manager takes over the pointer, so it is nudged until the panel follows.
        QVERIFY(waitFor(
            [&] { return StoredState::read(m_desktop).position == m_app.panelGeometry().topLeft(); }));
        const QRect before = m_app.panelGeometry();
        QPoint pointer = m_app.dragStrip();
        m_desktop.moveTo(pointer);
        m_desktop.press();
        QVERIFY(waitFor([&] {
            m_desktop.moveTo(pointer += QPoint(-4, -2));
            return m_app.panelGeometry().topLeft() != before.topLeft();
        }));
        m_desktop.glideTo(pointer + QPoint(-300, -150));
        m_desktop.release();
        QVERIFY2(waitFor([&] { return m_app.panelGeometry().left() < before.left() - 250; }),
                 "the panel did not follow its drag strip");
        QVERIFY(waitFor(
            [&] { return StoredState::read(m_desktop).position == m_app.panelGeometry().topLeft(); }));

        const QRect geometry = m_app.panelGeometry();
        const StoredState stored = StoredState::read(m_desktop);
        QVERIFY(m_app.terminate());
        QVERIFY(m_app.start());

        QCOMPARE(m_app.panelGeometry(), geometry);
        const StoredState reloaded = StoredState::read(m_desktop);
        QCOMPARE(reloaded.tavlos, stored.tavlos);
        QCOMPARE(reloaded.items, stored.items);
        QCOMPARE(reloaded.activeTavloID, stored.activeTavloID);
        QCOMPARE(reloaded.orientation, QStringLiteral("vertical"));
        QCOMPARE(reloaded.itemsOf().size(), 4);

        // The items are on show: the first cell of the column previews the dropped file.
        m_desktop.click(m_app.tileCentre(0));
        XWindow shown = 0;
        QVERIFY(waitFor([&] { return m_desktop.isViewable(shown = preview()); }));
        m_desktop.click(m_target.geometry(m_desktop).center());
        QVERIFY(waitFor([&] { return !m_desktop.isViewable(shown); }));
        QVERIFY(m_app.terminate());
    }
};

QTEST_GUILESS_MAIN(TestE2ePanel)
#include "tst_e2e_panel.moc"
