#include "model/TavloItem.h"

#include <QHashFunctions>
#include <QTextDocument>

#include "richtext/Rtf.h"

RichText RichTextPayload::richText() const
{
    if (!rtfData.isEmpty()) {
        if (auto rich = Rtf::toRichText(rtfData))
            return *rich;
    }
    return RichText::fromPlainText(plainText);
}

RichTextPayload makeRichTextPayload(const RichText &richText)
{
    // An export that fails leaves the bytes empty; the plain text still carries the snippet.
    return RichTextPayload {Rtf::write(richText.document()), richText.string()};
}

size_t qHash(const RichTextPayload &payload, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, payload.rtfData);
    return combine(seed, payload.plainText);
}

namespace {
size_t combineTitle(size_t seed, const std::optional<QString> &title)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, title ? 1 : 0);
    if (title)
        seed = combine(seed, *title);
    return seed;
}
} // namespace

size_t qHash(const TavloItemKind &kind, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, int(kind.index()));
    if (const auto *file = std::get_if<FileItemKind>(&kind)) {
        seed = combine(seed, file->url);
        return combine(seed, file->bookmark);
    }
    if (const auto *text = std::get_if<TextItemKind>(&kind)) {
        seed = combine(seed, text->payload.rtfData);
        seed = combine(seed, text->payload.plainText);
        return combineTitle(seed, text->title);
    }
    const auto &url = std::get<UrlItemKind>(kind);
    seed = combine(seed, url.url);
    return combineTitle(seed, url.title);
}

size_t qHash(const TavloItem &item, size_t seed) noexcept
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, item.id);
    return combine(seed, item.kind);
}

std::optional<QString> TavloItem::title() const
{
    if (const auto *text = std::get_if<TextItemKind>(&kind))
        return text->title;
    if (const auto *url = std::get_if<UrlItemKind>(&kind))
        return url->title;
    return std::nullopt;
}

QString uuidString(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}
