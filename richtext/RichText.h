#pragma once

#include <QString>

#include <memory>

class QTextDocument;

// An immutable rich text value. Copies share one document; editing goes through toDocument(),
// which hands out a private copy. Safe to create on a worker thread and pass to the GUI thread.
class RichText
{
public:
    RichText();
    explicit RichText(std::unique_ptr<QTextDocument> document);

    static RichText fromPlainText(const QString &text);
    static RichText fromDocument(const QTextDocument &document);

    const QTextDocument &document() const;
    std::unique_ptr<QTextDocument> toDocument() const;

    // The characters, with paragraph and line separators as '\n', and table cells separated
    // by a tab within a row and '\n' between rows. Object replacement characters (U+FFFC)
    // and no-break spaces are kept as they are.
    QString string() const;
    bool isEmpty() const;

private:
    std::shared_ptr<const QTextDocument> m_document;
};
