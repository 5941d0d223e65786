#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "model/TavloStore.h"
#include "platform/AppPaths.h"
#include "platform/SettingsFile.h"
#include "views/ContentView.h"
#include "views/ContentViewParts.h"
#include "views/PanelContent.h"
#include "views/TavloItemListView.h"
#include "widgetkit/PanelMetrics.h"

// The tavlo menu, its dialogs and the orientation command.
class TestTavloCommands : public QObject
{
    Q_OBJECT

private:
    // The menu as lines: "-" for a separator, "[x] " before a checked entry, "> "
    // before a submenu.
    static QStringList describe(QMenu *menu)
    {
        QStringList lines;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                lines << QStringLiteral("-");
            else if (action->menu())
                lines << QStringLiteral("> ") + action->text();
            else
                lines << (action->isChecked() ? QStringLiteral("[x] ") : QString()) + action->text();
        }
        return lines;
    }

    static QAction *find(QMenu *menu, const QString &text)
    {
        for (QAction *action : menu->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

    // What the file holds once written; empty when the orientation was never stored.
    static QString storedOrientation(Settings &settings)
    {
        settings.waitForWrites();
        return SettingsFile::open()->value(QStringLiteral("Quorvin.Orientation")).toString();
    }

    static void finish(QDialog *dialog, const char *buttonName)
    {
        auto *button = dialog->findChild<QPushButton *>(QString::fromLatin1(buttonName));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

private Q_SLOTS:
    void init()
    {
        auto settings = SettingsFile::open();
        settings->clear();
        settings->sync();
        QDir(AppPaths::dataFolder()).removeRecursively();
    }

    void menuByTavloCount_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one tavlo") << QStringList()
                                   << QStringList {
                                          "[x] Home",      "-", "New Tavlo\u2026", "Rename Tavlo\u2026", "-",
                                          "> Orientation", "-", "Quit Quorvin"};
        QTest::newRow("three tavlos, last active") << QStringList {"Work", "R&D"}
                                                   << QStringList {"Home",
                                                                   "Work",
                                                                   "[x] R&&D",
                                                                   "-",
                                                                   "New Tavlo\u2026",
                                                                   "Rename Tavlo\u2026",
                                                                   "Delete Tavlo\u2026",
                                                                   "-",
                                                                   "> Orientation",
                                                                   "-",
                                                                   "Quit Quorvin"};
    }

    void menuByTavloCount()
    {
        QFETCH(QStringList, extra);
        QFETCH(QStringList, expected);
        PanelContent content;
        ContentView &view = content.view;
        for (const QString &name : extra)
            view.store()->createTavlo(name);
        QCOMPARE(describe(view.tavloMenu()), expected);

        QMenu *orientation = find(view.tavloMenu(), QStringLiteral("Orientation"))->menu();
        QCOMPARE(describe(orientation),
                 (QStringList {QStringLiteral("[x] Horizontal"), QStringLiteral("Vertical")}));
        // Only the active entries carry a check; the others have no indicator at
        // all.
        for (QAction *action : view.tavloMenu()->actions())
            QCOMPARE(action->isCheckable(), action->isChecked());
    }

    void menuSwitchesTavlo()
    {
        PanelContent content;
        ContentView &view = content.view;
        const QUuid home = view.store()->activeTavloID();
        view.store()->createTavlo(QStringLiteral("Work"));
        find(view.tavloMenu(), QStringLiteral("Home"))->trigger();
        QCOMPARE(view.store()->activeTavloID(), home);
        QCOMPARE(view.titleText(), QStringLiteral("Home"));
        QCOMPARE(describe(view.tavloMenu()).mid(0, 2),
                 (QStringList {QStringLiteral("[x] Home"), QStringLiteral("Work")}));
    }

    // New and Rename share one dialog; the name is trimmed, a blank one falls back.
    void nameDialogs_data()
    {
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("name");
        const auto row = [](const char *tag, bool create, const QString &typed, const QString &name) {
            QTest::newRow(tag) << create << typed << name;
        };
        row("new plain", true, "Work", "Work");
        row("new padded", true, "  Work \t", "Work");
        row("new empty", true, "", "New Tavlo");
        row("new blank", true, "   ", "New Tavlo");
        row("rename plain", false, "Projects", "Projects");
        row("rename padded", false, "\n Projects  ", "Projects");
        row("rename blank keeps the name", false, "  ", "Home");
        row("rename very long", false, QString(10000, QLatin1Char('n')), QString(10000, QLatin1Char('n')));
    }

    void nameDialogs()
    {
        QFETCH(bool, create);
        QFETCH(QString, typed);
        QFETCH(QString, name);
        PanelContent content;
        ContentView &view = content.view;
        find(view.tavloMenu(), QString(create ? "New Tavlo\u2026" : "Rename Tavlo\u2026"))->trigger();
        QDialog *dialog = view.openDialog();
        QVERIFY(dialog);
        QVERIFY(create ? view.isShowingNewTavlo() : view.isShowingRenameTavlo());
        QCOMPARE(dialog->windowTitle(), QString(create ? "New Tavlo" : "Rename Tavlo"));
        auto *message = dialog->findChild<QLabel *>(QStringLiteral("message"));
        auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("nameField"));
        QCOMPARE(dialog->findChild<QPushButton *>(QStringLiteral("confirmButton"))->text(),
                 QString(create ? "Create" : "Save"));
        if (create) {
            QCOMPARE(message->text(), QStringLiteral("Create a separate working set."));
            QCOMPARE(field->placeholderText(), QStringLiteral("Tavlo name"));
            QVERIFY(field->text().isEmpty());
            QCOMPARE(dialog->findChild<QPushButton *>(QStringLiteral("cancelButton"))->text(),
                     QStringLiteral("Cancel"));
        } else {
            QVERIFY(!message);
            QCOMPARE(field->text(), QStringLiteral("Home"));
        }

        field->setText(typed);
        finish(dialog, "confirmButton");
        QVERIFY(!view.isShowingNewTavlo() && !view.isShowingRenameTavlo());
        QVERIFY(!view.openDialog());
        QCOMPARE(view.store()->tavlos().size(), create ? 2 : 1);
        QCOMPARE(view.titleText(), name);
        QVERIFY(view.isShowingEmptyState());
        // A long name keeps the menu usable: its entry is shortened, the name itself is not.
        QVERIFY(view.tavloMenu()->actions().first()->text().size() < 200);
    }

    void cancelKeepsDraftUntilNextCommand()
    {
        PanelContent content;
        ContentView &view = content.view;
        view.showNewTavloDialog();
        view.openDialog()
            ->findChild<QLineEdit *>(QStringLiteral("nameField"))
            ->setText(QStringLiteral("Half typed"));
        finish(view.openDialog(), "cancelButton");
        QVERIFY(!view.isShowingNewTavlo());
        QCOMPARE(view.store()->tavlos().size(), 1);
        QCOMPARE(view.tavloNameDraft(), QStringLiteral("Half typed"));

        // The next command overwrites the draft before its dialog opens.
        view.showRenameTavloDialog();
        QCOMPARE(view.tavloNameDraft(), QStringLiteral("Home"));
        QTest::keyClick(view.openDialog(), Qt::Key_Escape);
        QVERIFY(!view.isShowingRenameTavlo());
        QCOMPARE(view.titleText(), QStringLiteral("Home"));
    }

    void hidingThePanelCancelsItsDialog()
    {
        PanelContent content;
        ContentView &view = content.view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.showRenameTavloDialog();
        QPointer<QDialog> dialog = view.openDialog();
        dialog->findChild<QLineEdit *>(QStringLiteral("nameField"))->setText(QStringLiteral("Elsewhere"));
        view.hide();
        QVERIFY(!view.isShowingRenameTavlo());
        QVERIFY(!view.openDialog());
        QTRY_VERIFY(!dialog);
        QCOMPARE(view.titleText(), QStringLiteral("Home"));
    }

    void deleteConfirmation()
    {
        PanelContent content;
        ContentView &view = content.view;
        view.store()->createTavlo(QStringLiteral("<b>Work</b>"));
        view.store()->addText(QStringLiteral("work note"));

        find(view.tavloMenu(), QStringLiteral("Delete Tavlo\u2026"))->trigger();
        auto *box = qobject_cast<QMessageBox *>(view.openDialog());
        QVERIFY(box);
        QVERIFY(view.isShowingDeleteTavlo());
        QCOMPARE(box->text(), QStringLiteral("Delete \u201C<b>Work</b>\u201D?"));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(box->informativeText(), QStringLiteral("Its Tavlo items will be removed."));
        auto *remove = box->findChild<QPushButton *>(QStringLiteral("confirmButton"));
        auto *cancel = box->findChild<QPushButton *>(QStringLiteral("cancelButton"));
        QCOMPARE(remove->text(), QStringLiteral("Delete Tavlo"));
        QCOMPARE(box->buttonRole(remove), QMessageBox::DestructiveRole);
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(box->buttonRole(cancel), QMessageBox::RejectRole);

        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(!view.isShowingDeleteTavlo());
        QCOMPARE(view.store()->tavlos().size(), 2);
        QCOMPARE(view.titleText(), QStringLiteral("<b>Work</b>"));

        view.showDeleteTavloDialog();
        box = qobject_cast<QMessageBox *>(view.openDialog());
        QTest::mouseClick(box->findChild<QPushButton *>(QStringLiteral("confirmButton")), Qt::LeftButton);
        QCOMPARE(view.store()->tavlos().size(), 1);
        QCOMPARE(view.titleText(), QStringLiteral("Home"));
        QVERIFY(!find(view.tavloMenu(), QStringLiteral("Delete Tavlo\u2026")));

        // With one tavlo left the command opens nothing.
        view.showDeleteTavloDialog();
        QVERIFY(!view.openDialog());
        QVERIFY(!view.isShowingDeleteTavlo());
    }

    void orientationCommand()
    {
        PanelContent content;
        ContentView &view = content.view;
        QCOMPARE(view.orientation(), TavloOrientation::horizontal);
        QCOMPARE(view.size(), QSize(1064, 212));
        QSignalSpy announced(&content.settings, &Settings::changed);
        QMenu *orientation = find(view.tavloMenu(), QStringLiteral("Orientation"))->menu();

        // The checked entry changes nothing: no write, no announcement.
        find(orientation, QStringLiteral("Horizontal"))->trigger();
        QCOMPARE(announced.size(), 0);
        QVERIFY(storedOrientation(content.settings).isEmpty());

        find(orientation, QStringLiteral("Vertical"))->trigger();
        QCOMPARE(announced.size(), 1);
        QCOMPARE(announced.first().first().value<Settings::Key>(), Settings::Key::orientation);
        QCOMPARE(content.settings.orientation(), TavloOrientation::vertical);
        QCOMPARE(storedOrientation(content.settings), QStringLiteral("vertical"));
        QCOMPARE(view.orientation(), TavloOrientation::vertical);
        QCOMPARE(view.itemListView()->orientation(), TavloOrientation::vertical);
        QCOMPARE(view.size(), QSize(244, 724));
        QCOMPARE(describe(find(view.tavloMenu(), QStringLiteral("Orientation"))->menu()),
                 (QStringList {QStringLiteral("Horizontal"), QStringLiteral("[x] Vertical")}));

        view.setOrientation(TavloOrientation::vertical);
        QCOMPARE(announced.size(), 1);
    }

    // Read when the card is built, then followed when changed elsewhere.
    void orientationFollowsSettings()
    {
        {
            auto settings = SettingsFile::open();
            settings->setValue(QStringLiteral("Quorvin.Orientation"), QStringLiteral("vertical"));
        }
        PanelContent content;
        ContentView &view = content.view;
        QCOMPARE(view.orientation(), TavloOrientation::vertical);
        QCOMPARE(view.sizeHint(), PanelMetrics::panelSize(TavloOrientation::vertical));
        content.settings.setOrientation(TavloOrientation::horizontal);
        QCOMPARE(view.orientation(), TavloOrientation::horizontal);
        QCOMPARE(view.emptyState()->title(), QStringLiteral("Drop files, folders, text, or URLs here"));
    }

    void aboutAndQuitAreSignals()
    {
        PanelContent content;
        ContentView &view = content.view;
        QSignalSpy about(&view, &ContentView::aboutRequested);
        QSignalSpy quit(&view, &ContentView::quitRequested);
        for (auto *button : view.findChildren<CardIconButton *>()) {
            if (button->toolTip() == QStringLiteral("About Quorvin"))
                QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(about.size(), 1);
        find(view.tavloMenu(), QStringLiteral("Quit Quorvin"))->trigger();
        QCOMPARE(quit.size(), 1);
    }
};

QTEST_MAIN(TestTavloCommands)
#include "tst_tavlo_commands.moc"
