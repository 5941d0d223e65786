#include "snippets/RichTextEditor.h"

#include <QAbstractTextDocumentLayout>
#include <QColorDialog>
#include <QContextMenuEvent>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include "richtext/Rtf.h"
#include "richtext/TextDocuments.h"
#include "snippets/LineNumberGutterView.h"
#include "snippets/SnippetLinks.h"

namespace {

const QStringList rtfFormats {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"),
                              QStringLiteral("text/richtext")};

const QString qtRichText = QStringLiteral("application/x-qrichtext");

QByteArray rtfOf(const QMimeData *source)
{
    for (const QString &format : rtfFormats) {
        if (source->hasFormat(format))
            return source->data(format);
    }
    return {};
}

} // namespace

SnippetTextEdit::SnippetTextEdit(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    setUndoRedoEnabled(true);
    setReadOnly(false);
    setTextInteractionFlags(Qt::TextEditorInteraction);
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabChangesFocus(false);
}

bool SnippetTextEdit::canInsertFromMimeData(const QMimeData *source) const
{
    if (!source)
        return false;
    return (source->hasText() && !source->text().isEmpty()) || source->hasHtml() || !rtfOf(source).isEmpty()
        || source->hasFormat(qtRichText);
}

void SnippetTextEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || isReadOnly())
        return;
    // Qt's own reading of pasted HTML would load the pictures and backgrounds it names, local
    // files included; this document loads nothing.
    InertTextDocument incoming;
    bool rich = false;
    const QByteArray rtf = rtfOf(source);
    if (!rtf.isEmpty() && Rtf::read(rtf, incoming) && !incoming.isEmpty()) {
        rich = true;
    } else if (const QString html =
                   source->hasHtml() ? source->html() : QString::fromUtf8(source->data(qtRichText));
               !html.isEmpty() && htmlNestingWithin(html, maxHtmlNesting)) {
        // Deeper HTML would keep Qt busy for minutes; its plain text is inserted instead.
        incoming.setHtml(html);
        rich = true;
    }
    if (!rich) {
        // Plain text only: Qt would read a Markdown offer, pictures and all.
        if (source->hasText())
            textCursor().insertText(source->text());
        ensureCursorVisible();
        return;
    }
    removeResources(incoming);
    if (incoming.isEmpty() && source->hasText()) {
        // Only pictures came as rich text; the plain text is what is left to insert.
        textCursor().insertText(source->text());
    } else {
        textCursor().insertFragment(QTextDocumentFragment(&incoming));
    }
    ensureCursorVisible();
}

void SnippetTextEdit::keyPressEvent(QKeyEvent *event)
{
    static const QList<QPair<QKeySequence, Format>> keys {
        {QKeySequence(Qt::CTRL | Qt::Key_B), Format::bold},
        {QKeySequence(Qt::CTRL | Qt::Key_I), Format::italic},
        {QKeySequence(Qt::CTRL | Qt::Key_U), Format::underline},
    };
    const QKeySequence pressed(event->keyCombination());
    for (const auto &[sequence, format] : keys) {
        if (pressed == sequence) {
            if (!isReadOnly())
                applyFormat(format);
            event->accept();
            return;
        }
    }
    QTextEdit::keyPressEvent(event);
}

void SnippetTextEdit::contextMenuEvent(QContextMenuEvent *event)
{
    std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
    if (!isReadOnly()) {
        menu->addSeparator();
        QMenu *format = createFormatMenu(menu.get());
        menu->addMenu(format);
    }
    menu->exec(event->globalPos());
}

QMenu *SnippetTextEdit::createFormatMenu(QWidget *parent)
{
    auto *menu = new QMenu(QStringLiteral("Format"), parent);
    const struct
    {
        const char *text;
        Format format;
        QKeySequence keys;
    } entries[] = {
        {"Bold", Format::bold, QKeySequence(Qt::CTRL | Qt::Key_B)},
        {"Italic", Format::italic, QKeySequence(Qt::CTRL | Qt::Key_I)},
        {"Underline", Format::underline, QKeySequence(Qt::CTRL | Qt::Key_U)},
        {"Bigger", Format::bigger, {}},
        {"Smaller", Format::smaller, {}},
    };
    for (const auto &entry : entries) {
        QAction *action = menu->addAction(QString::fromLatin1(entry.text), this,
                                          [this, format = entry.format] { applyFormat(format); });
        // Shown as a hint; the keys themselves are handled by the text view.
        action->setShortcut(entry.keys);
        action->setShortcutContext(Qt::WidgetShortcut);
    }
    menu->addSeparator();
    menu->addAction(QStringLiteral("Font…"), this, &SnippetTextEdit::chooseFont);
    menu->addAction(QStringLiteral("Text Colour…"), this, &SnippetTextEdit::chooseTextColour);
    return menu;
}

void SnippetTextEdit::mergeFormat(QTextCursor cursor, const QTextCharFormat &format)
{
    if (!cursor.hasSelection()) {
        // Nothing selected: what is typed next takes the format.
        if (cursor == textCursor())
            mergeCurrentCharFormat(format);
        return;
    }
    cursor.beginEditBlock();
    cursor.mergeCharFormat(format);
    cursor.endEditBlock();
}

void SnippetTextEdit::applyFormat(Format format)
{
    QTextCursor cursor = textCursor();
    const QTextCharFormat current = currentCharFormat();
    QTextCharFormat change;
    switch (format) {
    case Format::bold:
        change.setFontWeight(current.fontWeight() >= QFont::DemiBold ? QFont::Normal : QFont::Bold);
        break;
    case Format::italic:
        change.setFontItalic(!current.fontItalic());
        break;
    case Format::underline:
        change.setFontUnderline(!current.fontUnderline());
        break;
    case Format::bigger:
    case Format::smaller: {
        // Each run keeps its own size, one point up or down, so mixed sizes stay in proportion.
        const qreal step = format == Format::bigger ? 1 : -1;
        qreal fallback = document()->defaultFont().pointSizeF();
        if (fallback <= 0)
            fallback = 12;
        auto sizeOf = [fallback](const QTextCharFormat &f) {
            return f.hasProperty(QTextFormat::FontPointSize) && f.fontPointSize() > 0 ? f.fontPointSize()
                                                                                      : fallback;
        };
        if (!cursor.hasSelection()) {
            change.setFontPointSize(std::clamp(sizeOf(current) + step, 1.0, 400.0));
            mergeCurrentCharFormat(change);
            return;
        }
        const int start = cursor.selectionStart();
        const int end = cursor.selectionEnd();
        QList<QPair<QPair<int, int>, qreal>> runs;
        for (QTextBlock block = document()->findBlock(start); block.isValid() && block.position() <= end;
             block = block.next()) {
            for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int from = std::max(start, fragment.position());
                const int to = std::min(end, fragment.position() + fragment.length());
                if (from < to)
                    runs.append({{from, to}, sizeOf(fragment.charFormat())});
            }
        }
        cursor.beginEditBlock();
        for (const auto &[range, size] : runs) {
            QTextCursor run(document());
            run.setPosition(range.first);
            run.setPosition(range.second, QTextCursor::KeepAnchor);
            QTextCharFormat sized;
            sized.setFontPointSize(std::clamp(size + step, 1.0, 400.0));
            run.mergeCharFormat(sized);
        }
        cursor.endEditBlock();
        return;
    }
    }
    mergeFormat(cursor, change);
}

void SnippetTextEdit::chooseFont()
{
    auto *dialog = new QFontDialog(currentCharFormat().font(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The selection is remembered as it is now; the text may change while the dialog is open.
    connect(dialog, &QFontDialog::fontSelected, this, [this, cursor = textCursor()](const QFont &font) {
        QTextCharFormat change;
        change.setFont(font, QTextCharFormat::FontPropertiesSpecifiedOnly);
        mergeFormat(cursor, change);
    });
    dialog->open();
}

void SnippetTextEdit::chooseTextColour()
{
    const QBrush current = currentCharFormat().foreground();
    auto *dialog = new QColorDialog(
        current.style() == Qt::NoBrush ? palette().color(QPalette::Text) : current.color(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, [this, cursor = textCursor()](const QColor &colour) {
        if (!colour.isValid())
            return;
        QTextCharFormat change;
        change.setForeground(colour);
        mergeFormat(cursor, change);
    });
    dialog->open();
}

std::unique_ptr<QTextDocument> snippetDocument(const RichTextPayload &payload)
{
    auto document = std::make_unique<InertTextDocument>();
    if (payload.rtfData.isEmpty() || !Rtf::read(payload.rtfData, *document))
        document->setPlainText(payload.plainText);
    return document;
}

RichTextEditor::RichTextEditor(const RichText &initialText, std::function<void(const RichText &)> onChange,
                               QWidget *parent)
    : RichTextEditor(initialText.toDocument(), std::move(onChange), parent)
{ }

RichTextEditor::RichTextEditor(std::unique_ptr<QTextDocument> document,
                               std::function<void(const RichText &)> onChange, QWidget *parent)
    : QWidget(parent), m_onChange(std::move(onChange))
{
    m_gutter = new LineNumberGutterView(this);
    m_textView = new SnippetTextEdit(this);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_gutter);
    layout->addWidget(m_textView, 1);
    m_gutter->setTextView(m_textView);

    m_changeTimer.setSingleShot(true);
    connect(&m_changeTimer, &QTimer::timeout, this, &RichTextEditor::flush);
    auto repaintGutter = [gutter = m_gutter] {
        gutter->update();
    };
    connect(m_textView->verticalScrollBar(), &QScrollBar::valueChanged, m_gutter, repaintGutter);
    connect(m_textView->verticalScrollBar(), &QScrollBar::rangeChanged, m_gutter, repaintGutter);

    if (document) {
        adoptDocument(std::move(document));
    } else {
        m_textView->setReadOnly(true);
        m_textView->setPlaceholderText(QStringLiteral("Loading…"));
    }
}

void RichTextEditor::adoptDocument(std::unique_ptr<QTextDocument> owned)
{
    if (!owned || m_loaded)
        return;
    m_loaded = true;
    QTextDocument *document = owned.release();
    document->setParent(m_textView);
    document->setDocumentMargin(14);
    document->setUndoRedoEnabled(true);
    m_textView->setDocument(document);
    document->clearUndoRedoStacks();
    document->setModified(false);
    m_textView->setPlaceholderText(QString());
    m_textView->setReadOnly(false);
    m_textView->setTextInteractionFlags(Qt::TextEditorInteraction);

    connect(document, &QTextDocument::contentsChange, this, &RichTextEditor::contentsChanged);
    connect(document->documentLayout(), &QAbstractTextDocumentLayout::update, m_gutter,
            [gutter = m_gutter] { gutter->update(); });
    m_gutter->update();
    Q_EMIT documentLoaded();
}

RichTextEditor::~RichTextEditor()
{
    flush();
}

void RichTextEditor::contentsChanged(int position, int removed, int added)
{
    Q_UNUSED(removed);
    m_gutter->update();
    if (!m_markingLinks && added > 0) {
        // Links are marked once the edit is over, not while the text view is still in it.
        const bool idle = m_linkFrom < 0;
        m_linkFrom = idle ? position : qMin(m_linkFrom, position);
        m_linkEnd = idle ? position + added : qMax(m_linkEnd, position + added);
        if (idle)
            QTimer::singleShot(0, this, &RichTextEditor::markLinks);
    }
    m_pending = true;
    // Handing over a copy costs time in proportion to the text, so a large one waits for a pause.
    const int characters = m_textView->document()->characterCount();
    m_changeTimer.start(characters > largeDocumentCharacters ? largeDocumentDelayMs : 0);
}

void RichTextEditor::markLinks()
{
    if (m_linkFrom < 0)
        return;
    QTextDocument *document = m_textView->document();
    const int last = document->characterCount() - 1;
    const int from = qBound(0, m_linkFrom, last);
    const int end = qBound(from, m_linkEnd, last);
    m_linkFrom = m_linkEnd = -1;
    m_markingLinks = true;
    markTypedLinks(*document, from, end - from);
    m_markingLinks = false;
}

void RichTextEditor::flush()
{
    m_changeTimer.stop();
    if (!m_pending)
        return;
    m_pending = false;
    if (m_onChange)
        m_onChange(RichText::fromDocument(*m_textView->document()));
}
