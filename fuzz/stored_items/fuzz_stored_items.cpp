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

bool hasLoneSurrogate(const std::optional<QString> &s)
{
    if (!s)
        return false;
    for (qsizetype i = 0; i < s->size(); ++i) {
        const char16_t c = s->at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s->size() && QChar::isLowSurrogate(s->at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if (QChar::isSurrogate(c))
            return true;
    }
    return false;
}

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
        // What the own reader accepts must be JSON to a standard reader too (Qt's stops at 1024
        // levels of nesting, which the own reader allows deeper, and it refuses invalid UTF-8,
        // which the own reader replaces so one damaged byte does not cost every item).
        QJsonParseError error;
        QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError && error.error != QJsonParseError::DeepNesting
            && error.error != QJsonParseError::IllegalUTF8String)
            std::abort();
        const auto again = StoredJson::decodeItems(StoredJson::encodeItems(*items));
        if (!again || again->size() != items->size())
            std::abort();
        for (qsizetype i = 0; i < items->size(); ++i) {
            const StoredTavloItem &r = (*items)[i];
            exerciseUrl(r.fileURLString);
            exerciseUrl(r.urlString);
            const bool lossy = hasLoneSurrogate(r.fileURLString) || hasLoneSurrogate(r.text)
                || hasLoneSurrogate(r.richTextPlainText) || hasLoneSurrogate(r.urlString)
                || hasLoneSurrogate(r.title);
            if (!lossy && !(r == (*again)[i]))
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
