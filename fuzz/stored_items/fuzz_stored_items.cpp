// Feeds arbitrary bytes to the decoders of the stored item and tavlo lists, and the URL parser.
// Whatever decodes must encode and decode again to the same records.
#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "model/StoredTavloItem.h"
#include "model/TavloUrl.h"

namespace {

void exerciseUrl(const std::optional<QString> &text)
{
    if (!text)
        return;
    const auto url = TavloUrl::parse(*text);
    if (!url)
        return;
    (void)url->host();
    (void)url->port();
    (void)url->pathComponents();
    (void)url->queryItems();
    const TavloUrl standardized = url->standardizedFileURL();
    // A standardised URL is itself a URL and standardising is idempotent.
    if (!TavloUrl::parse(standardized.absoluteString())
        || !(standardized.standardizedFileURL() == standardized))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    if (const auto items = StoredJson::decodeItems(bytes)) {
        // What the store accepts must be JSON to Qt's reader too, which stops at 1024 levels of
        // nesting where the store allows more.
        QJsonParseError error;
        QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError && error.error != QJsonParseError::DeepNesting)
            std::abort();
        const auto again = StoredJson::decodeItems(StoredJson::encodeItems(*items));
        if (!again || again->size() != items->size())
            std::abort();
        for (qsizetype i = 0; i < items->size(); ++i) {
            const StoredTavloItem &r = (*items)[i];
            exerciseUrl(r.fileURLString);
            exerciseUrl(r.urlString);
            // Read text is always valid Unicode, so it is written back exactly.
            if (!(r == (*again)[i]))
                std::abort();
        }
    }

    if (const auto tavlos = StoredJson::decodeTavlos(bytes)) {
        const auto again = StoredJson::decodeTavlos(StoredJson::encodeTavlos(*tavlos));
        if (!again || again->size() != tavlos->size())
            std::abort();
    }

    exerciseUrl(QString::fromUtf8(bytes));
    return 0;
}
