#pragma once

#include <QTextEdit>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "model/TavloItem.h"
#include "richtext/RichText.h"

class QMenu;
class QTextCharFormat;
class QTextDocument;

// A new document with the snippet's text: its RTF when that reads, else its plain text.
// Safe on a worker thread; move the result to the GUI thread before it is shown.
std::unique_ptr<QTextDocument> snippetDocument(const RichTextPayload &payload);

class LineNumberGutterView;

// The snippet's text view: rich text that refuses pictures, since snippets keep no graphics.
// Selected text is formatted from the keyboard (Ctrl+B, Ctrl+I, Ctrl+U) or the Format submenu of
// the context menu; each change is one undo step.
class SnippetTextEdit : public QTextEdit
{
    Q_OBJECT

public:
    enum class Format { bold, italic, underline, bigger, smaller };

    explicit SnippetTextEdit(QWidget *parent = nullptr);

    void applyFormat(Format format);
    // Open the font or colour chooser for the current selection; the choice applies when accepted.
    void chooseFont();
    void chooseTextColour();
    // The "Format" submenu; the caller owns it.
    QMenu *createFormatMenu(QWidget *parent);

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void mergeFormat(QTextCursor cursor, const QTextCharFormat &format);
};

// The editing surface of a snippet window: the line-number gutter and the rich text view.
// Edits reach `onChange` as the full text; in a large document they are gathered for a moment
// so typing stays quick, and flush() hands over anything still waiting.
class RichTextEditor : public QWidget
{
    Q_OBJECT

public:
    RichTextEditor(const RichText &initialText, std::function<void(const RichText &)> onChange,
                   QWidget *parent = nullptr);
    // Edits `document` itself. Without one the editor shows "Loading…" and stays read-only until
    // adoptDocument() hands it the text.
    RichTextEditor(std::unique_ptr<QTextDocument> document, std::function<void(const RichText &)> onChange,
                   QWidget *parent = nullptr);
    ~RichTextEditor() override;

    SnippetTextEdit *textView() const { return m_textView; }
    LineNumberGutterView *gutter() const { return m_gutter; }

    void adoptDocument(std::unique_ptr<QTextDocument> document);
    bool isLoaded() const { return m_loaded; }

    bool hasPendingChange() const { return m_pending; }
    void flush();

    // Documents above this many characters gather edits for `largeDocumentDelayMs`.
    static constexpr int largeDocumentCharacters = 200'000;
    static constexpr int largeDocumentDelayMs = 1000;

Q_SIGNALS:
    void documentLoaded();

private:
    void contentsChanged(int position, int removed, int added);
    void markLinks();

    SnippetTextEdit *m_textView = nullptr;
    LineNumberGutterView *m_gutter = nullptr;
    std::function<void(const RichText &)> m_onChange;
    QTimer m_changeTimer;
    bool m_pending = false;
    bool m_loaded = false;
    bool m_markingLinks = false;
    int m_linkFrom = -1;
    int m_linkEnd = -1;
};
