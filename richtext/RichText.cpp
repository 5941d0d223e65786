#include "richtext/RichText.h"

#include <QTextDocument>

namespace {
std::shared_ptr<const QTextDocument> emptyDocument()
{
    return std::make_shared<const QTextDocument>();
}
} // namespace

RichText::RichText() : m_document(emptyDocument()) { }

RichText::RichText(std::unique_ptr<QTextDocument> document)
    : m_document(document ? std::shared_ptr<const QTextDocument>(std::move(document)) : emptyDocument())
{ }

RichText RichText::fromPlainText(const QString &text)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->setPlainText(text);
    return RichText(std::move(doc));
}

RichText RichText::fromDocument(const QTextDocument &document)
{
    return RichText(std::unique_ptr<QTextDocument>(document.clone()));
}

const QTextDocument &RichText::document() const
{
    return *m_document;
}

std::unique_ptr<QTextDocument> RichText::toDocument() const
{
    return std::unique_ptr<QTextDocument>(m_document->clone());
}

QString RichText::string() const
{
    QString s = m_document->toRawText();
    for (QChar &c : s) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = QLatin1Char('\n');
    }
    return s;
}

bool RichText::isEmpty() const
{
    return m_document->isEmpty();
}
