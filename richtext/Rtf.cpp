#include "richtext/Rtf.h"

#include <QTextDocument>

// Placeholder until the codec lands: plain text only.
namespace Rtf {

bool read(QByteArrayView data, QTextDocument &document)
{
    document.clear();
    return data.startsWith("{\\rtf");
}

std::optional<RichText> toRichText(QByteArrayView data)
{
    auto doc = std::make_unique<QTextDocument>();
    if (!read(data, *doc))
        return std::nullopt;
    return RichText(std::move(doc));
}

QByteArray write(const QTextDocument &)
{
    return QByteArray();
}

} // namespace Rtf
