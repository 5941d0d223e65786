#include "richtext/RichText.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include "richtext/TextDocuments.h"

namespace {
std::shared_ptr<const QTextDocument> emptyDocument()
{
    return std::make_shared<const InertTextDocument>();
}
} // namespace

RichText::RichText() : m_document(emptyDocument()) { }

RichText::RichText(std::unique_ptr<QTextDocument> document)
    : m_document(document ? std::shared_ptr<const QTextDocument>(std::move(document)) : emptyDocument())
{ }

RichText RichText::fromPlainText(const QString &text)
{
    auto doc = std::make_unique<InertTextDocument>();
    doc->setPlainText(text);
    return RichText(std::move(doc));
}

RichText RichText::fromDocument(const QTextDocument &document)
{
    return RichText(copyDocument(document));
}

const QTextDocument &RichText::document() const
{
    return *m_document;
}

std::unique_ptr<QTextDocument> RichText::toDocument() const
{
    return copyDocument(*m_document);
}

namespace {

constexpr char16_t beginningOfFrame = 0xfdd0;
constexpr char16_t endOfFrame = 0xfdd1;

// Qt marks the start of a frame and of every table cell after the first with the same
// character: a cell that continues its row is a tab, anything else starts a new line.
QChar frameStart(const QTextDocument &document, int position)
{
    QTextCursor cursor(const_cast<QTextDocument *>(&document));
    cursor.setPosition(position + 1);
    const QTextTable *table = cursor.currentTable();
    if (!table || table->firstPosition() == position + 1)
        return QLatin1Char('\n');
    // An invalid cell must not be asked for its row: Qt 6.4 dereferences null.
    const QTextTableCell previous = table->cellAt(position);
    const QTextTableCell next = table->cellAt(position + 1);
    if (previous.isValid() && next.isValid() && previous.row() == next.row())
        return QLatin1Char('\t');
    return QLatin1Char('\n');
}

} // namespace

QString RichText::string() const
{
    QString s = m_document->toRawText();
    QChar *chars = s.data();
    for (qsizetype i = 0; i < s.size(); ++i) {
        switch (chars[i].unicode()) {
        case QChar::ParagraphSeparator:
        case QChar::LineSeparator:
        case endOfFrame:
            chars[i] = QLatin1Char('\n');
            break;
        case beginningOfFrame:
            chars[i] = frameStart(*m_document, int(i));
            break;
        default:
            break;
        }
    }
    return s;
}

bool RichText::isEmpty() const
{
    return m_document->isEmpty();
}
