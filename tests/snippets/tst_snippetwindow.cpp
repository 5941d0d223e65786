#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>

#include "model/TavloItem.h"
#include "platform/Settings.h"
#include "richtext/Rtf.h"
#include "snippets/LineNumberGutterView.h"
#include "snippets/RichTextEditor.h"
#include "snippets/SavedToast.h"
#include "snippets/SnippetSaveModel.h"
#include "snippets/SnippetSavePopover.h"
#include "snippets/TextSnippetDetailView.h"
#include "snippets/TextSnippetWindowController.h"

namespace {

RichTextPayload plainPayload(const QString &text)
{
    return RichTextPayload {QByteArray(), text};
}

} // namespace

class TestSnippetWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    TextSnippetWindowController m_controller;

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        // The last test's settings finish their writes first, or the removed file comes back.
        m_settings.reset();
        QFile::remove(Settings::defaultPath());
        m_settings = std::make_unique<Settings>();
    }

    void cleanup()
    {
        const QList<QWidget *> windows = m_controller.windows();
        for (QWidget *window : windows)
            window->close();
        QTRY_VERIFY(m_controller.windows().isEmpty());
    }

    void headerCountsPerceivedCharacters()
    {
        TextSnippetDetailView empty(plainPayload(QString()), nullptr);
        QCOMPARE(empty.countLabel()->text(), QStringLiteral("0 characters"));
        QCOMPARE(empty.minimumSize(), QSize(620, 420));

        // An accented letter made of two code points and a flag made of four UTF-16 units: 2 characters.
        TextSnippetDetailView accents(
            plainPayload(QStringLiteral("e\u0301") + QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA")),
            nullptr);
        QCOMPARE(accents.countLabel()->text(), QStringLiteral("2 characters"));
    }

    void editsFlowToTheCallback()
    {
        QList<RichText> edits;
        TextSnippetDetailView view(plainPayload(QStringLiteral("abc")),
                                   [&](const RichText &text) { edits.append(text); });
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTextEdit *text = view.editor()->textView();
        text->moveCursor(QTextCursor::End);
        QTest::keyClicks(text, QStringLiteral("de"));
        QTRY_VERIFY(!edits.isEmpty());
        QCOMPARE(edits.last().string(), QStringLiteral("abcde"));
        QCOMPARE(view.currentPlainText(), QStringLiteral("abcde"));
        QCOMPARE(view.countLabel()->text(), QStringLiteral("5 characters"));
    }

    void largeSnippetLoadsInBackground()
    {
        const QString text = QStringLiteral("a line of a long snippet\n").repeated(30000);
        QList<QString> edits;
        TextSnippetDetailView view(plainPayload(text),
                                   [&](const RichText &edited) { edits.append(edited.string()); });
        RichTextEditor *editor = view.editor();
        // Until the text is read nothing can be typed, but the window already counts, copies and saves it.
        QVERIFY(!editor->isLoaded());
        QVERIFY(editor->textView()->isReadOnly());
        QCOMPARE(view.currentPlainText(), text);
        QTRY_VERIFY(editor->isLoaded());
        QCOMPARE(view.countLabel()->text(), QStringLiteral("750000 characters"));
        QVERIFY(!editor->textView()->isReadOnly());
        QCOMPARE(editor->textView()->toPlainText(), text);
        QVERIFY(!editor->textView()->document()->isUndoAvailable());
        QVERIFY(edits.isEmpty());

        // Edits of a large text are gathered until a pause, and a flush hands them over at once.
        editor->textView()->moveCursor(QTextCursor::Start);
        editor->textView()->insertPlainText(QStringLiteral("X"));
        QVERIFY(editor->hasPendingChange());
        view.flushEdits();
        QCOMPARE(edits.size(), 1);
        QCOMPARE(edits.first().size(), text.size() + 1);
        QVERIFY(edits.first().startsWith(QLatin1Char('X')));

        // A window closed while its text is still being read does not crash when the text arrives.
        auto *early = new TextSnippetDetailView(plainPayload(text), nullptr);
        delete early;
        QTest::qWait(300);
    }

    void copyPutsRtfAndPlainText()
    {
        QClipboard *clipboard = QGuiApplication::clipboard();
        TextSnippetDetailView plain(plainPayload(QStringLiteral("just text")), nullptr);
        plain.copyButton()->click();
        QCOMPARE(clipboard->mimeData()->text(), QStringLiteral("just text"));
        // The payload had no RTF: only plain text goes out.
        QVERIFY(!clipboard->mimeData()->hasFormat(QStringLiteral("text/rtf")));
        QVERIFY(plain.copied());
        QCOMPARE(plain.copyButton()->text(), QStringLiteral("Copied"));
        QTRY_COMPARE(plain.copyButton()->text(), QStringLiteral("Copy"));
        QVERIFY(!plain.copied());

        // After an edit the RTF is the edited text's.
        TextSnippetDetailView rich(makeRichTextPayload(RichText::fromPlainText(QStringLiteral("rich"))),
                                   nullptr);
        QTextEdit *text = rich.editor()->textView();
        text->moveCursor(QTextCursor::End);
        text->insertPlainText(QStringLiteral(" text"));
        rich.copy();
        QCOMPARE(clipboard->mimeData()->text(), QStringLiteral("rich text"));
        const auto read = Rtf::toRichText(clipboard->mimeData()->data(QStringLiteral("text/rtf")));
        QVERIFY(read);
        QCOMPARE(read->string(), QStringLiteral("rich text"));
    }

    void popoverFlowSavesAndShowsToast()
    {
        auto *window = m_controller.openSnippet(plainPayload(QStringLiteral("Plan: a/b\nbody")), nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        TextSnippetDetailView *view = window->detailView();
        SnippetSavePopover *popover = view->savePopover();

        view->saveAsButton()->click();
        QTRY_VERIFY(popover->isVisible());
        QCOMPARE(popover->filenameField()->text(), QStringLiteral("Plan- a-b.txt"));
        QCOMPARE(popover->folderLabel()->text(), QStringLiteral("No folder selected"));
        QCOMPARE(popover->destinationGroup()->checkedId(), int(SaveDestination::lastFolder));
        // The popup opens below its button.
        QVERIFY(popover->geometry().top() >= view->saveAsButton()->mapToGlobal(QPoint(0, 0)).y());

        popover->saveButton()->click();
        QCOMPARE(popover->statusLabel()->text(), QStringLiteral("Choose a folder"));
        QVERIFY(popover->statusLabel()->isVisible());

        // The segments set the model's destination.
        QButtonGroup *group = popover->destinationGroup();
        group->button(int(SaveDestination::documents))->click();
        QCOMPARE(view->saveModel()->saveDestination(), SaveDestination::documents);
        view->saveModel()->setSaveDestination(SaveDestination::lastFolder);

        const QString existing = m_dir->filePath(QStringLiteral("Plan- a-b.txt"));
        {
            QFile file(existing);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("old");
        }
        view->saveModel()->folderChosen(m_dir->path());
        QTRY_VERIFY(popover->confirmationRow()->isVisible());
        QVERIFY(!popover->actionRow()->isVisible());
        view->saveModel()->cancelOverwrite();
        QVERIFY(popover->actionRow()->isVisible());

        // One Return saves; with the file there it only asks, and a second Return replaces.
        QTest::keyClick(popover->filenameField(), Qt::Key_Return);
        QVERIFY(popover->confirmationRow()->isVisible());
        QVERIFY(!view->saveModel()->isWriting());
        QCOMPARE(QFileInfo(existing).size(), 3);
        QTest::keyClick(popover->filenameField(), Qt::Key_Return);

        QTRY_VERIFY(!popover->isVisible());
        QFile saved(existing);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("Plan: a/b\nbody"));

        auto *toast = window->findChild<SavedToast *>();
        QVERIFY(toast);
        QCOMPARE(toast->message(), QStringLiteral("Saved Plan- a-b.txt"));
        QCOMPARE(toast->size(), QSize(260, 48));
        // Centred over the window, 52 pixels below its top edge.
        QVERIFY(qAbs(toast->geometry().center().x() - window->frameGeometry().center().x()) <= 1);
        QCOMPARE(toast->geometry().top(), window->frameGeometry().top() + 52);
        QTRY_VERIFY_WITH_TIMEOUT(!window->findChild<SavedToast *>(), 4000);
    }

    void folderChooserSavesIntoChosenFolder()
    {
        TextSnippetDetailView view(plainPayload(QStringLiteral("chosen text")), nullptr, nullptr,
                                   m_settings.get());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        view.saveModel()->setSaveFilename(QStringLiteral("  "));
        view.chooseFolder();
        QVERIFY(!view.folderChooser());
        QCOMPARE(view.saveModel()->saveStatus(), QStringLiteral("Enter a filename first"));

        view.openSavePopover();
        view.saveModel()->setSaveFilename(QStringLiteral("picked.txt"));
        view.savePopover()->chooseFolderButton()->click();
        QFileDialog *dialog = view.folderChooser();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Choose Save Folder"));
        QCOMPARE(dialog->labelText(QFileDialog::Accept), QStringLiteral("Save Here"));
        QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
        QVERIFY(!dialog->isModal());

        // A folder name that looks like markup is shown as it is.
        const QString folder = m_dir->filePath(QStringLiteral("<i>pick</i> &amp; keep"));
        QVERIFY(QDir().mkpath(folder));
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        static_cast<QDialog *>(dialog)->accept();
        const QString target = folder + QStringLiteral("/picked.txt");
        QTRY_VERIFY(QFileInfo::exists(target));
        QTRY_VERIFY(!view.saveModel()->isWriting());
        QCOMPARE(view.saveModel()->chosenFolder(), QDir::cleanPath(folder));
        QCOMPARE(m_settings->lastSaveFolder(), QDir::cleanPath(folder));
        QLabel *shown = view.savePopover()->folderLabel();
        QCOMPARE(shown->textFormat(), Qt::PlainText);
        QTextDocument tip;
        tip.setHtml(shown->toolTip());
        QCOMPARE(tip.toPlainText(), QDir::cleanPath(folder));
    }

    void windowsListFollowsOpenAndClose()
    {
        TextSnippetWindowController &controller = m_controller;
        QList<QString> firstEdits;
        auto *first = controller.openSnippet(plainPayload(QStringLiteral("one")),
                                             [&](const RichText &text) { firstEdits.append(text.string()); });
        auto *second = controller.openSnippet(plainPayload(QStringLiteral("one")), nullptr);
        QCOMPARE(controller.windows(), (QList<QWidget *> {first, second}));
        QCOMPARE(first->windowTitle(), QStringLiteral("Text Snippet"));
        QVERIFY(first->width() >= 620);
        QCOMPARE(first->geometry().center(), second->geometry().center());

        // An edit still being gathered reaches the store when the window closes.
        first->detailView()->editor()->textView()->insertPlainText(QStringLiteral("x"));
        QPointer<QWidget> gone(first);
        first->close();
        QCOMPARE(firstEdits.value(firstEdits.size() - 1), QStringLiteral("xone"));
        QCOMPARE(controller.windows(), (QList<QWidget *> {second}));
        QTRY_VERIFY(gone.isNull());

        second->close();
        QVERIFY(controller.windows().isEmpty());
    }
};

QTEST_MAIN(TestSnippetWindow)
#include "tst_snippetwindow.moc"
