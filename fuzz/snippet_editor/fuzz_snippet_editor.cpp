// Pastes arbitrary bytes into a snippet editor and edits them as a user would. The first byte
// chooses the offer (RTF, HTML, Qt's rich text or plain text) and the edits that follow: typing
// in the middle, deleting everything, undo and redo; then the editor paints and hands its text
// over, as the snippet window stores it.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

#include "model/TavloItem.h"
#include "snippets/RichTextEditor.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    auto *offer = new QMimeData;
    switch (mode & 3) {
    case 0:
        offer->setData(QStringLiteral("text/rtf"), bytes);
        break;
    case 1:
        offer->setData(QStringLiteral("text/html"), bytes);
        break;
    case 2:
        offer->setData(QStringLiteral("application/x-qrichtext"), bytes);
        break;
    default:
        offer->setData(QStringLiteral("text/plain"), bytes);
        break;
    }

    RichTextPayload stored;
    RichTextEditor editor(RichText::fromPlainText(QStringLiteral("before\nafter")),
                          [&stored](const RichText &text) { stored = makeRichTextPayload(text); });
    editor.resize(300, 200);
    SnippetTextEdit *view = editor.textView();
    view->moveCursor(QTextCursor::NextBlock);
    QGuiApplication::clipboard()->setMimeData(offer);
    view->paste();
    QTextCursor cursor = view->textCursor();
    if (mode & 4) {
        cursor.setPosition(view->document()->characterCount() / 2);
        cursor.insertText(QStringLiteral("typed"));
    }
    if (mode & 8) {
        view->selectAll();
        view->textCursor().removeSelectedText();
    }
    if (mode & 16)
        view->undo();
    if (mode & 32)
        view->redo();
    if (mode & 64)
        editor.grab();
    editor.flush();
    // What the window shows when the snippet opens again.
    (void)snippetDocument(stored);
    return 0;
}
