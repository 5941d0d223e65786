#pragma once

#include <QTextDocument>

#include <memory>

// A document that never loads a resource: no file, no network, no data URL. Pictures and
// backgrounds named by pasted or dropped rich text stay unloaded, whoever paints it.
class InertTextDocument : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int type, const QUrl &name) override;
};

// A copy of `source` as an inert document. Unlike QTextDocument::clone(), which dereferences
// null on Qt 6.4 for an empty document whose only block sits in a list, this copes with any
// document.
std::unique_ptr<QTextDocument> copyDocument(const QTextDocument &source);

// Removes pictures and every background image a format names (tables, cells, frames, blocks,
// runs), so nothing in the document points at a file or a server any more.
void removeResources(QTextDocument &document);

// Qt's HTML reader takes time that grows faster than the square of the nesting depth (4,000
// nested tables: half a minute), so HTML is measured before Qt sees it. Counts open elements
// as a browser would (void elements, "/>" and the implied end of p, li, td and the like do not
// nest) and stops counting once `limit` is passed.
bool htmlNestingWithin(QStringView html, int limit);

// The nesting that pasted and dropped HTML may have; deeper HTML is taken as plain text.
inline constexpr int maxHtmlNesting = 256;
