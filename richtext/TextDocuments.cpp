#include "richtext/TextDocuments.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>

#include <utility>

QVariant InertTextDocument::loadResource(int, const QUrl &)
{
    return QVariant();
}

std::unique_ptr<QTextDocument> copyDocument(const QTextDocument &source)
{
    auto copy = std::make_unique<InertTextDocument>();
    copy->setDefaultFont(source.defaultFont());
    copy->setDefaultTextOption(source.defaultTextOption());
    copy->setIndentWidth(source.indentWidth());
    copy->setDefaultStyleSheet(source.defaultStyleSheet());
    copy->setMetaInformation(QTextDocument::DocumentTitle,
                             source.metaInformation(QTextDocument::DocumentTitle));
    QTextCursor cursor(copy.get());
    if (!source.isEmpty()) {
        cursor.insertFragment(QTextDocumentFragment(&source));
        return copy;
    }
    // The lone block's formats still count (an empty line's font); the list it may name is
    // an object of the source, which the copy does not have.
    const QTextCursor from(const_cast<QTextDocument *>(&source));
    QTextBlockFormat block = from.blockFormat();
    block.clearProperty(QTextFormat::ObjectIndex);
    if (!block.properties().isEmpty())
        cursor.setBlockFormat(block);
    const QTextCharFormat chars = from.blockCharFormat();
    if (!chars.properties().isEmpty())
        cursor.setBlockCharFormat(chars);
    return copy;
}

namespace {

// A background picture is a URL to load, or a texture already loaded from one.
template<typename Format>
bool dropBackgroundImage(Format &format)
{
    bool changed = false;
    if (format.hasProperty(QTextFormat::BackgroundImageUrl)) {
        format.clearProperty(QTextFormat::BackgroundImageUrl);
        changed = true;
    }
    if (format.hasProperty(QTextFormat::BackgroundBrush)
        && format.background().style() == Qt::TexturePattern) {
        format.clearBackground();
        changed = true;
    }
    return changed;
}

void cleanFrames(QTextFrame *frame)
{
    QTextFrameFormat format = frame->frameFormat();
    if (dropBackgroundImage(format))
        frame->setFrameFormat(format);
    if (auto *table = qobject_cast<QTextTable *>(frame)) {
        for (int row = 0; row < table->rows(); ++row) {
            for (int column = 0; column < table->columns(); ++column) {
                QTextTableCell cell = table->cellAt(row, column);
                if (cell.row() != row || cell.column() != column)
                    continue; // a spanned cell, cleaned at its origin
                QTextCharFormat cellFormat = cell.format();
                if (dropBackgroundImage(cellFormat))
                    cell.setFormat(cellFormat);
            }
        }
    }
    const QList<QTextFrame *> children = frame->childFrames();
    for (QTextFrame *child : children)
        cleanFrames(child);
}

} // namespace

void removeResources(QTextDocument &document)
{
    QList<std::pair<int, int>> images;
    struct Span
    {
        int position;
        int length;
        QTextCharFormat format;
    };
    QList<Span> backgrounds;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat blockFormat = block.blockFormat();
        if (dropBackgroundImage(blockFormat))
            QTextCursor(block).setBlockFormat(blockFormat);
        QTextCharFormat blockChars = block.charFormat();
        if (dropBackgroundImage(blockChars))
            QTextCursor(block).setBlockCharFormat(blockChars);
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid())
                continue;
            QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat())
                images.append({fragment.position(), fragment.length()});
            else if (dropBackgroundImage(format))
                backgrounds.append({fragment.position(), fragment.length(), format});
        }
    }
    QTextCursor cursor(&document);
    for (const Span &span : std::as_const(backgrounds)) {
        cursor.setPosition(span.position);
        cursor.setPosition(span.position + span.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(span.format);
    }
    for (auto it = images.crbegin(); it != images.crend(); ++it) {
        cursor.setPosition(it->first);
        cursor.setPosition(it->first + it->second, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cleanFrames(document.rootFrame());
}
