#include "richtext/TextDocuments.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFrame>
#include <QTextTable>

#include <initializer_list>
#include <utility>
#include <vector>

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

namespace {

bool nameIs(QStringView name, std::initializer_list<const char *> names)
{
    for (const char *candidate : names) {
        if (name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isVoidElement(QStringView name)
{
    return nameIs(name,
                  {"area", "base", "basefont", "br", "col", "embed", "frame", "hr", "img", "input", "isindex",
                   "keygen", "link", "meta", "param", "source", "track", "wbr"});
}

// Elements whose end tag may be left out: a new one closes the open one.
bool closesSibling(QStringView open, QStringView name)
{
    if (nameIs(name, {"td", "th"}))
        return nameIs(open, {"td", "th"});
    if (nameIs(name, {"dt", "dd"}))
        return nameIs(open, {"dt", "dd"});
    if (nameIs(name, {"p", "li", "tr", "option", "thead", "tbody", "tfoot", "colgroup"}))
        return open.compare(name, Qt::CaseInsensitive) == 0;
    return false;
}

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'-' || c == u'_' || c == u':';
}

} // namespace

bool htmlNestingWithin(QStringView html, int limit)
{
    std::vector<QStringView> open;
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = html.indexOf(u'<', i);
        if (lt < 0 || lt + 1 >= n)
            break;
        i = lt + 1;
        if (html.mid(i).startsWith(QLatin1String("!--"))) {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 3);
            i = end < 0 ? n : end + 3;
            continue;
        }
        const bool closing = html[i] == u'/';
        const qsizetype nameStart = closing ? i + 1 : i;
        if (nameStart >= n || !html[nameStart].isLetter()) {
            if (html[i] == u'!' || html[i] == u'?') {
                const qsizetype end = html.indexOf(u'>', i);
                i = end < 0 ? n : end + 1;
            }
            continue; // a '<' in text
        }
        qsizetype nameEnd = nameStart;
        while (nameEnd < n && isNameChar(html[nameEnd]))
            ++nameEnd;
        const QStringView name = html.sliced(nameStart, nameEnd - nameStart);
        // The rest of the tag, with '>' inside quoted attribute values skipped.
        qsizetype j = nameEnd;
        QChar quote;
        while (j < n && (quote != QChar() || html[j] != u'>')) {
            if (quote != QChar()) {
                if (html[j] == quote)
                    quote = QChar();
            } else if (html[j] == u'"' || html[j] == u'\'') {
                quote = html[j];
            }
            ++j;
        }
        const bool selfClosing = j > nameEnd && j < n && html[j - 1] == u'/';
        i = j + 1;
        if (closing) {
            for (auto it = open.rbegin(); it != open.rend(); ++it) {
                if (it->compare(name, Qt::CaseInsensitive) == 0) {
                    open.erase(std::next(it).base(), open.end());
                    break;
                }
            }
            continue;
        }
        if (selfClosing || isVoidElement(name))
            continue;
        if (nameIs(name, {"script", "style", "textarea", "title"})) {
            // Raw text up to the matching end tag.
            const QString end = QStringLiteral("</") + name.toString();
            const qsizetype at = html.indexOf(end, i, Qt::CaseInsensitive);
            i = at < 0 ? n : at;
            continue;
        }
        if (!open.empty() && closesSibling(open.back(), name))
            open.pop_back();
        open.push_back(name);
        if (int(open.size()) > limit)
            return false;
    }
    return true;
}
