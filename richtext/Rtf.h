#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

#include <optional>

#include "richtext/RichText.h"

class QTextDocument;

namespace Rtf {

// Replaces the content of `document` with the RTF document in `data`. Returns false, leaving
// `document` empty, when the bytes are not an RTF document (they must open with "{\rtf").
// Never throws; bounded time and memory for any input.
bool read(QByteArrayView data, QTextDocument &document);

// Convenience: the rich text of `data`, or nothing when it is not RTF.
std::optional<RichText> toRichText(QByteArrayView data);

// The whole document as 7-bit RTF with a font and colour table.
QByteArray write(const QTextDocument &document);

// What write() gives for a document made of `text` by QTextDocument::setPlainText(), without
// the document: linear time, and no memory beyond the result.
QByteArray writePlainText(QStringView text);

} // namespace Rtf
