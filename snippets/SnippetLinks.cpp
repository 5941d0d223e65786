#include "snippets/SnippetLinks.h"

#include <QGuiApplication>
#include <QPalette>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#ifdef QUORVIN_HAVE_LINK_DETECTOR
#include "ingest/LinkDetector.h"
#endif

QList<TypedLink> findTypedLinks(QStringView text)
{
    QList<TypedLink> links;
#ifdef QUORVIN_HAVE_LINK_DETECTOR
    for (const LinkDetector::Match &match : LinkDetector::findAll(text))
        links.append(TypedLink {match.start, match.length, match.url});
#else
    // Stand-in until the shared detector is linked: explicit http(s) links only.
    static const QRegularExpression pattern(QStringLiteral(R"((?<![\w@])https?://[^\s<>"]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    auto it = pattern.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        QStringView link = match.capturedView();
        while (!link.isEmpty() && QStringView(u".,;:!?)]}'").contains(link.back()))
            link.chop(1);
        if (link.size() > link.indexOf(u"://") + 3)
            links.append(TypedLink {match.capturedStart(), link.size(), link.toString()});
    }
#endif
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
