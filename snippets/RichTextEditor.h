#pragma once

#include <QTextEdit>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "richtext/RichText.h"

class LineNumberGutterView;

// The snippet's text view: rich text that refuses pictures, since snippets keep no graphics.
class SnippetTextEdit : public QTextEdit
{
    Q_OBJECT

public:
    explicit SnippetTextEdit(QWidget *parent = nullptr);

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
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
    ~RichTextEditor() override;

    SnippetTextEdit *textView() const { return m_textView; }
    LineNumberGutterView *gutter() const { return m_gutter; }

    bool hasPendingChange() const { return m_pending; }
    void flush();

    // Documents above this many characters gather edits for `largeDocumentDelayMs`.
    static constexpr int largeDocumentCharacters = 200'000;
    static constexpr int largeDocumentDelayMs = 300;

private:
    void contentsChanged(int position, int removed, int added);
    void markLinks();

    SnippetTextEdit *m_textView = nullptr;
    LineNumberGutterView *m_gutter = nullptr;
    std::function<void(const RichText &)> m_onChange;
    QTimer m_changeTimer;
    bool m_pending = false;
    bool m_markingLinks = false;
    int m_linkFrom = -1;
    int m_linkEnd = -1;
};
