#include "richtext/Rtf.h"

#include <QTextDocument>

namespace Rtf {

std::optional<RichText> toRichText(QByteArrayView data)
{
    auto doc = std::make_unique<QTextDocument>();
    if (!read(data, *doc))
        return std::nullopt;
    return RichText(std::move(doc));
}

} // namespace Rtf
