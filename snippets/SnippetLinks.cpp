#include "snippets/SnippetLinks.h"

#include <QGuiApplication>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "ingest/LinkDetector.h"

QList<TypedLink> findTypedLinks(QStringView text)
{
    QList<TypedLink> links;
    for (const LinkDetector::Match &match : LinkDetector::findAll(text))
        links.append(TypedLink {match.start, match.length, match.url});
    return links;
}

bool markTypedLinks(QTextDocument &document, int from, int length)
{
    const int editEnd = from + length;
    QTextBlock block = document.findBlock(qMax(0, from));
    const QTextBlock last = document.findBlock(qMax(0, editEnd));
    bool changed = false;
    QTextCursor cursor(&document);
    bool editing = false;
    while (block.isValid()) {
        const QString text = block.text();
        for (const TypedLink &link : findTypedLinks(text)) {
            const int start = block.position() + int(link.start);
            const int end = start + int(link.length);
            if (end == editEnd)
                continue;
            // Links the source document brought keep their target unless this edit changed them.
            const bool touched = start <= editEnd && end >= from;
            bool marked = true;
            for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                const int fragmentEnd = fragment.position() + fragment.length();
                if (fragmentEnd <= start || fragment.position() >= end)
                    continue;
                const QTextCharFormat format = fragment.charFormat();
                if (!format.isAnchor() || (touched && format.anchorHref() != link.url))
                    marked = false;
            }
            if (marked)
                continue;
            if (!editing) {
                cursor.joinPreviousEditBlock();
                editing = true;
            }
            cursor.setPosition(start);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            QTextCharFormat format;
            format.setAnchor(true);
            format.setAnchorHref(link.url);
            format.setFontUnderline(true);
            format.setForeground(QGuiApplication::palette().color(QPalette::Link));
            cursor.mergeCharFormat(format);
            changed = true;
        }
        if (block == last)
            break;
        block = block.next();
    }
    if (editing)
        cursor.endEditBlock();
    return changed;
}
