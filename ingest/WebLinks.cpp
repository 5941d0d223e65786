#include "ingest/WebLinks.h"

#include "ingest/LinkDetector.h"

namespace {

std::optional<TavloUrl> webUrl(const QString &text)
{
    auto url = TavloUrl::parse(text);
    if (!url)
        return std::nullopt;
    const QString scheme = url->scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return std::nullopt;
    return url;
}

} // namespace

std::optional<TavloUrl> firstWebLink(QStringView text)
{
    qsizetype from = 0;
    while (const auto match = LinkDetector::findNext(text, from)) {
        if (auto url = webUrl(match->url))
            return url;
        from = match->start + match->length;
    }
    return std::nullopt;
}

std::optional<TavloUrl> singleWebLink(QStringView text)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // A link never holds white space, so longer texts are settled without a scan.
    for (const QChar c : trimmed) {
        if (c.isSpace())
            return std::nullopt;
    }
    const auto match = LinkDetector::findNext(trimmed);
    if (!match || match->start != 0 || match->length != trimmed.size())
        return std::nullopt;
    return webUrl(match->url);
}
