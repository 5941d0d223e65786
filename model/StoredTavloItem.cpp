#include "model/StoredTavloItem.h"

#include <array>
#include <bit>
#include <cstring>
#include <simdjson.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

StoredTavloItem StoredTavloItem::fromItem(const TavloItem &item, const QUuid &tavloID)
{
    StoredTavloItem record;
    record.id = item.id;
    record.tavloID = tavloID;
    if (const auto *file = std::get_if<FileItemKind>(&item.kind)) {
        record.kind = Kind::file;
        if (!file->bookmark.isEmpty())
            record.bookmarkData = file->bookmark;
        record.fileURLString = file->url.standardizedFileURL().absoluteString();
    } else if (const auto *text = std::get_if<TextItemKind>(&item.kind)) {
        record.kind = Kind::text;
        record.richTextData = text->payload.rtfData;
        record.richTextPlainText = text->payload.plainText;
        record.title = text->title;
    } else {
        const auto &url = std::get<UrlItemKind>(item.kind);
        record.kind = Kind::url;
        record.urlString = url.url.absoluteString();
        record.title = url.title;
    }
    return record;
}

namespace StoredJson {

namespace {

// Appends `s` as a JSON string literal in UTF-8. An unpaired surrogate cannot be written as
// UTF-8 and would make the whole list unreadable for a strict reader, so it becomes U+FFFD.
void appendString(QByteArray &out, QStringView s)
{
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        char16_t c = s[i].unicode();
        if (c < 0x80) {
            switch (c) {
            case '"':
                out.append("\\\"", 2);
                break;
            case '\\':
                out.append("\\\\", 2);
                break;
            case '\n':
                out.append("\\n", 2);
                break;
            case '\r':
                out.append("\\r", 2);
                break;
            case '\t':
                out.append("\\t", 2);
                break;
            default:
                if (c < 0x20) {
                    const char esc[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
                    out.append(esc, 6);
                } else {
                    out.append(char(c));
                }
            }
            continue;
        }
        char32_t code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode())) {
            code = QChar::surrogateToUcs4(c, s[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            code = 0xFFFD;
        }
        if (code < 0x800) {
            out.append(char(0xC0 | (code >> 6)));
            out.append(char(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.append(char(0xE0 | (code >> 12)));
            out.append(char(0x80 | ((code >> 6) & 0x3F)));
            out.append(char(0x80 | (code & 0x3F)));
        } else {
            out.append(char(0xF0 | (code >> 18)));
            out.append(char(0x80 | ((code >> 12) & 0x3F)));
            out.append(char(0x80 | ((code >> 6) & 0x3F)));
            out.append(char(0x80 | (code & 0x3F)));
        }
    }
    out.append('"');
}

void appendKey(QByteArray &out, bool &first, const char *key)
{
    if (!first)
        out.append(',');
    first = false;
    out.append('"');
    out.append(key);
    out.append("\":", 2);
}

void appendUuid(QByteArray &out, const QUuid &id)
{
    out.append('"');
    out.append(id.toByteArray(QUuid::WithoutBraces).toUpper());
    out.append('"');
}

void appendBase64(QByteArray &out, const QByteArray &bytes)
{
    out.append('"');
    out.append(bytes.toBase64());
    out.append('"');
}

const char *kindName(StoredTavloItem::Kind kind)
{
    switch (kind) {
    case StoredTavloItem::Kind::file:
        return "file";
    case StoredTavloItem::Kind::text:
        return "text";
    case StoredTavloItem::Kind::url:
        return "url";
    }
    return "file";
}

qsizetype estimatedSize(const StoredTavloItem &r)
{
    qsizetype size = 120;
    size += r.bookmarkData ? r.bookmarkData->size() * 4 / 3 + 24 : 0;
    size += r.fileURLString ? r.fileURLString->size() + 20 : 0;
    size += r.richTextData ? r.richTextData->size() * 4 / 3 + 20 : 0;
    size += r.richTextPlainText ? r.richTextPlainText->size() + 24 : 0;
    size += r.urlString ? r.urlString->size() + 16 : 0;
    size += r.title ? r.title->size() + 12 : 0;
    size += r.text ? r.text->size() + 12 : 0;
    return size;
}

enum class Field {
    unknown,
    id,
    tavloID,
    kind,
    bookmarkData,
    fileURLString,
    text,
    richTextData,
    richTextPlainText,
    urlString,
    title,
    name
};

Field fieldFor(QByteArrayView key)
{
    static const struct
    {
        const char *name;
        Field field;
    } fields[] = {{"id", Field::id},
                  {"tavloID", Field::tavloID},
                  {"kind", Field::kind},
                  {"bookmarkData", Field::bookmarkData},
                  {"fileURLString", Field::fileURLString},
                  {"text", Field::text},
                  {"richTextData", Field::richTextData},
                  {"richTextPlainText", Field::richTextPlainText},
                  {"urlString", Field::urlString},
                  {"title", Field::title},
                  {"name", Field::name}};
    for (const auto &f : fields) {
        if (key == QByteArrayView(f.name))
            return f.field;
    }
    return Field::unknown;
}

// Deeper nesting than any list of ours has; a bound so that no file can exhaust the reader.
constexpr size_t maxDepth = 4096;

// Parses `json` as one strict JSON text (RFC 8259, valid UTF-8) and hands its top-level array to
// `readArray`; false when the bytes are anything else.
template<typename ReadArray>
bool parseArray(const QByteArray &json, ReadArray readArray)
{
    simdjson::dom::parser parser;
    const size_t size = size_t(json.size());
    if (parser.allocate(size, maxDepth) != simdjson::SUCCESS)
        return false;
    // The spare capacity of a QByteArray is there to read; without enough the parser copies.
    const bool padded = size_t(json.capacity() - json.size()) >= simdjson::SIMDJSON_PADDING;
    simdjson::dom::element root;
    simdjson::dom::array array;
    if (parser.parse(json.constData(), size, !padded).get(root) || root.get_array().get(array))
        return false;
    return readArray(array);
}

// Reads one object member by member. `accept` gets each known key with its string value, or
// with no value for null; it returns false to reject the object. Unknown keys are skipped.
template<typename Known, typename Accept>
bool readObject(simdjson::dom::element element, Known known, Accept accept)
{
    simdjson::dom::object object;
    if (element.get_object().get(object))
        return false;
    for (const simdjson::dom::key_value_pair member : object) {
        const Field field = fieldFor(QByteArrayView(member.key.data(), qsizetype(member.key.size())));
        if (!known(field))
            continue;
        if (member.value.is_null()) {
            if (!accept(field, nullptr))
                return false;
            continue;
        }
        std::string_view value;
        if (member.value.get_string().get(value))
            return false;
        const QByteArrayView raw(value.data(), qsizetype(value.size()));
        if (!accept(field, &raw))
            return false;
    }
    return true;
}

std::optional<QUuid> uuidFrom(const QByteArrayView *raw)
{
    if (!raw)
        return std::nullopt;
    return parseUuid(*raw);
}

// ---- Items: read on demand, straight from the file's bytes ----
//
// Item lists hold megabytes of text. The on-demand parser finds the structure and checks the
// UTF-8 of the whole file; the strings are then decoded once, from the file's bytes into the
// item's own QString or QByteArray, with no copy of the text in between.

namespace ondemand = simdjson::ondemand;

bool isJsonSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The characters between the quotes, escapes still in place. The token runs from the opening
// quote to the next token, so only spaces follow the closing quote. The string is then consumed:
// a value the parser was not told to read it skips loosely, without checking what follows.
bool stringContent(ondemand::value &value, QByteArrayView &content)
{
    const std::string_view token = value.raw_json_token();
    ondemand::raw_json_string consumed;
    if (value.get_raw_json_string().get(consumed))
        return false;
    size_t end = token.size();
    while (end > 0 && isJsonSpace(token[end - 1]))
        --end;
    if (end < 2 || token.front() != '"' || token[end - 1] != '"')
        return false;
    content = QByteArrayView(token.data() + 1, qsizetype(end - 2));
    return true;
}

int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Four hex digits after "\u"; -1 when they are not.
int hexQuad(const unsigned char *p, const unsigned char *end)
{
    if (end - p < 4)
        return -1;
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(p[i]);
        if (digit < 0)
            return -1;
        value = value << 4 | digit;
    }
    return value;
}

// The character a one-letter escape stands for; 0 for a letter JSON does not define.
char16_t simpleEscape(unsigned char letter)
{
    switch (letter) {
    case '"':
    case '\\':
    case '/':
        return letter;
    case 'b':
        return u'\b';
    case 'f':
        return u'\f';
    case 'n':
        return u'\n';
    case 'r':
        return u'\r';
    case 't':
        return u'\t';
    }
    return 0;
}

// JSON string content (UTF-8 the parser has already checked) as UTF-16. False on a malformed
// escape, an unpaired surrogate or a control character that is not escaped.
bool decodeText(QByteArrayView content, QString &out)
{
    // Never more UTF-16 units than UTF-8 bytes. A fresh string: resize() would round the block up.
    out = QString(content.size(), Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(out.data());
    char16_t *d = begin;
    const auto *p = reinterpret_cast<const unsigned char *>(content.data());
    const auto *const end = p + content.size();
    while (p < end) {
#if defined(__x86_64__)
        // Plain ASCII, most of any text, sixteen bytes at a time. As signed bytes, everything
        // from 0x80 up is below 0x20 too, so one compare finds controls and multi-byte letters.
        while (end - p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const int special = _mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(bytes, _mm_set1_epi8(0x20)),
                                                               _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'))));
            const int plain = special ? std::countr_zero(unsigned(special)) : 16;
            if (plain == 16) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i *>(d), _mm_unpacklo_epi8(bytes, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(d + 8), _mm_unpackhi_epi8(bytes, zero));
            } else {
                for (int i = 0; i < plain; ++i)
                    d[i] = char16_t(p[i]);
            }
            p += plain;
            d += plain;
            if (plain < 16)
                break;
        }
        if (p == end)
            break;
#endif
        const unsigned c = *p;
        if (c >= 0x20 && c < 0x80 && c != '\\') {
            *d++ = char16_t(c);
            ++p;
        } else if (c < 0x20) {
            return false;
        } else if (c == '\\') {
            if (end - p < 2)
                return false;
            const unsigned char e = p[1];
            p += 2;
            if (e != 'u') {
                const char16_t unit = simpleEscape(e);
                if (!unit)
                    return false;
                *d++ = unit;
                continue;
            }
            const int unit = hexQuad(p, end);
            if (unit < 0 || QChar::isLowSurrogate(char16_t(unit)))
                return false;
            p += 4;
            *d++ = char16_t(unit);
            if (QChar::isHighSurrogate(char16_t(unit))) {
                const int low = end - p >= 6 && p[0] == '\\' && p[1] == 'u' ? hexQuad(p + 2, end) : -1;
                if (low < 0 || !QChar::isLowSurrogate(char16_t(low)))
                    return false;
                p += 6;
                *d++ = char16_t(low);
            }
        } else {
            char32_t code;
            if (c < 0xE0) {
                code = (c & 0x1F) << 6 | (p[1] & 0x3F);
                p += 2;
            } else if (c < 0xF0) {
                code = (c & 0x0F) << 12 | (p[1] & 0x3F) << 6 | (p[2] & 0x3F);
                p += 3;
            } else {
                code = (c & 0x07) << 18 | (p[1] & 0x3F) << 12 | (p[2] & 0x3F) << 6 | (p[3] & 0x3F);
                p += 4;
            }
            if (code >= 0x10000) {
                *d++ = QChar::highSurrogate(code);
                *d++ = QChar::lowSurrogate(code);
            } else {
                *d++ = char16_t(code);
            }
        }
    }
    const qsizetype length = d - begin;
    out.truncate(length);
    if (length < content.size() / 2)
        out.squeeze(); // mostly multi-byte text: give back the spare half
    return true;
}

// The string's bytes for fields that are read as bytes (UUIDs, kinds, Base64): the file's own
// bytes, or an unescaped copy in `scratch` when the writer escaped something.
bool contentBytes(QByteArrayView content, QByteArray &scratch, QByteArrayView &bytes)
{
    if (!content.contains('\\')) {
        bytes = content;
        return true;
    }
    QString text;
    if (!decodeText(content, text))
        return false;
    scratch = text.toUtf8();
    bytes = scratch;
    return true;
}

// A value under a key the items do not use: it is not kept, but it must still be valid JSON.
bool validValue(ondemand::value value, size_t depth)
{
    ondemand::json_type type;
    if (depth > maxDepth || value.type().get(type))
        return false;
    switch (type) {
    case ondemand::json_type::array: {
        ondemand::array array;
        if (value.get_array().get(array))
            return false;
        for (auto element : array) {
            ondemand::value inner;
            if (element.get(inner) || !validValue(inner, depth + 1))
                return false;
        }
        return true;
    }
    case ondemand::json_type::object: {
        ondemand::object object;
        if (value.get_object().get(object))
            return false;
        for (auto member : object) {
            std::string_view key;
            ondemand::value inner;
            if (member.unescaped_key().get(key) || member.value().get(inner) || !validValue(inner, depth + 1))
                return false;
        }
        return true;
    }
    case ondemand::json_type::number: {
        ondemand::number number;
        return !value.get_number().get(number);
    }
    case ondemand::json_type::string: {
        QByteArrayView content;
        QString text;
        return stringContent(value, content) && decodeText(content, text);
    }
    case ondemand::json_type::boolean: {
        bool flag = false;
        return !value.get_bool().get(flag);
    }
    case ondemand::json_type::null: {
        bool null = false;
        return !value.is_null().get(null) && null;
    }
    }
    return false;
}

// A member's key as it stands in the file, which `end` bounds. The parser's unescaped copy is
// taken only for a key with an escape in it: copying every key would write megabytes of fresh
// memory on a large list.
bool memberKey(ondemand::field &member, const char *end, QByteArrayView &key)
{
    const char *start = member.key().raw();
    const auto *quote = static_cast<const char *>(std::memchr(start, '"', size_t(end - start)));
    if (quote && !std::memchr(start, '\\', size_t(quote - start))) {
        key = QByteArrayView(start, quote - start);
        return true;
    }
    std::string_view unescaped;
    if (member.unescaped_key().get(unescaped))
        return false;
    key = QByteArrayView(unescaped.data(), qsizetype(unescaped.size()));
    return true;
}

bool readItem(ondemand::value element, const char *end, StoredTavloItem &record)
{
    ondemand::object object;
    if (element.get_object().get(object))
        return false;
    bool hasId = false;
    bool hasKind = false;
    QByteArray scratch;
    for (auto member : object) {
        ondemand::field field;
        QByteArrayView key;
        if (std::move(member).get(field) || !memberKey(field, end, key))
            return false;
        ondemand::value value = field.value();
        const Field which = fieldFor(key);
        if (which == Field::unknown || which == Field::name) {
            if (!validValue(value, 2))
                return false;
            continue;
        }
        ondemand::json_type type;
        if (value.type().get(type))
            return false;
        if (type == ondemand::json_type::null) {
            bool null = false;
            if (value.is_null().get(null) || !null)
                return false;
            // Null clears an optional field; the id and the kind cannot be null.
            switch (which) {
            case Field::tavloID:
                record.tavloID.reset();
                continue;
            case Field::bookmarkData:
                record.bookmarkData.reset();
                continue;
            case Field::richTextData:
                record.richTextData.reset();
                continue;
            case Field::fileURLString:
                record.fileURLString.reset();
                continue;
            case Field::text:
                record.text.reset();
                continue;
            case Field::richTextPlainText:
                record.richTextPlainText.reset();
                continue;
            case Field::urlString:
                record.urlString.reset();
                continue;
            case Field::title:
                record.title.reset();
                continue;
            default:
                return false;
            }
        }
        QByteArrayView content;
        if (type != ondemand::json_type::string || !stringContent(value, content))
            return false;
        const auto text = [&](std::optional<QString> &out) {
            QString decoded;
            if (!decodeText(content, decoded))
                return false;
            out = std::move(decoded);
            return true;
        };
        QByteArrayView bytes;
        const auto readBytes = [&] {
            return contentBytes(content, scratch, bytes);
        };
        switch (which) {
        case Field::id: {
            const auto id = readBytes() ? parseUuid(bytes) : std::nullopt;
            if (!id)
                return false;
            record.id = *id;
            hasId = true;
            break;
        }
        case Field::tavloID:
            record.tavloID = readBytes() ? parseUuid(bytes) : std::nullopt;
            if (!record.tavloID)
                return false;
            break;
        case Field::kind:
            if (!readBytes())
                return false;
            if (bytes == "file")
                record.kind = StoredTavloItem::Kind::file;
            else if (bytes == "text")
                record.kind = StoredTavloItem::Kind::text;
            else if (bytes == "url")
                record.kind = StoredTavloItem::Kind::url;
            else
                return false;
            hasKind = true;
            break;
        case Field::bookmarkData:
        case Field::richTextData: {
            auto &out = which == Field::bookmarkData ? record.bookmarkData : record.richTextData;
            out = readBytes() ? parseBase64Bytes(bytes) : std::nullopt;
            if (!out)
                return false;
            break;
        }
        case Field::fileURLString:
            if (!text(record.fileURLString))
                return false;
            break;
        case Field::text:
            if (!text(record.text))
                return false;
            break;
        case Field::richTextPlainText:
            if (!text(record.richTextPlainText))
                return false;
            break;
        case Field::urlString:
            if (!text(record.urlString))
                return false;
            break;
        case Field::title:
            if (!text(record.title))
                return false;
            break;
        case Field::name:
        case Field::unknown:
            break;
        }
    }
    return hasId && hasKind;
}

} // namespace

QByteArray encodeItems(const QList<StoredTavloItem> &items)
{
    qsizetype reserve = 2;
    for (const StoredTavloItem &r : items)
        reserve += estimatedSize(r);
    QByteArray out;
    out.reserve(reserve);
    out.append('[');
    for (qsizetype i = 0; i < items.size(); ++i) {
        const StoredTavloItem &r = items[i];
        if (i > 0)
            out.append(',');
        out.append('{');
        bool first = true;
        appendKey(out, first, "id");
        appendUuid(out, r.id);
        if (r.tavloID) {
            appendKey(out, first, "tavloID");
            appendUuid(out, *r.tavloID);
        }
        appendKey(out, first, "kind");
        out.append('"').append(kindName(r.kind)).append('"');
        if (r.bookmarkData) {
            appendKey(out, first, "bookmarkData");
            appendBase64(out, *r.bookmarkData);
        }
        if (r.fileURLString) {
            appendKey(out, first, "fileURLString");
            appendString(out, *r.fileURLString);
        }
        if (r.text) {
            appendKey(out, first, "text");
            appendString(out, *r.text);
        }
        if (r.richTextData) {
            appendKey(out, first, "richTextData");
            appendBase64(out, *r.richTextData);
        }
        if (r.richTextPlainText) {
            appendKey(out, first, "richTextPlainText");
            appendString(out, *r.richTextPlainText);
        }
        if (r.urlString) {
            appendKey(out, first, "urlString");
            appendString(out, *r.urlString);
        }
        if (r.title) {
            appendKey(out, first, "title");
            appendString(out, *r.title);
        }
        out.append('}');
    }
    out.append(']');
    return out;
}

static_assert(readerPadding >= simdjson::SIMDJSON_PADDING);

bool forEachItem(QByteArrayView json, bool padded, const std::function<bool(StoredTavloItem &&)> &take)
{
    QByteArray copy;
    if (!padded) {
        copy.reserve(json.size() + qsizetype(readerPadding));
        copy.append(json);
        json = copy;
    }
    ondemand::parser parser;
    if (parser.allocate(size_t(json.size()), maxDepth) != simdjson::SUCCESS)
        return false;
    ondemand::document document;
    ondemand::array array;
    if (parser.iterate(json.data(), size_t(json.size()), size_t(json.size()) + readerPadding).get(document)
        || document.get_array().get(array))
        return false;
    for (auto element : array) {
        ondemand::value value;
        StoredTavloItem record;
        if (element.get(value) || !readItem(value, json.data() + json.size(), record)
            || !take(std::move(record)))
            return false;
    }
    // Nothing may follow the array: past its end there is no location left.
    return document.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

std::optional<QList<StoredTavloItem>> decodeItems(const QByteArray &json)
{
    QList<StoredTavloItem> items;
    const bool padded = size_t(json.capacity() - json.size()) >= simdjson::SIMDJSON_PADDING;
    const bool ok = forEachItem(json, padded, [&items](StoredTavloItem &&record) {
        items.append(std::move(record));
        return true;
    });
    if (!ok)
        return std::nullopt;
    return items;
}

QByteArray encodeTavlos(const QList<StoredTavloDefinition> &tavlos)
{
    QByteArray out;
    out.append('[');
    for (qsizetype i = 0; i < tavlos.size(); ++i) {
        if (i > 0)
            out.append(',');
        out.append("{\"id\":");
        appendUuid(out, tavlos[i].id);
        out.append(",\"name\":");
        appendString(out, tavlos[i].name);
        out.append('}');
    }
    out.append(']');
    return out;
}

std::optional<QList<StoredTavloDefinition>> decodeTavlos(const QByteArray &json)
{
    QList<StoredTavloDefinition> tavlos;
    const auto tavloField = [](Field f) {
        return f == Field::id || f == Field::name;
    };
    const bool ok = parseArray(json, [&](simdjson::dom::array array) {
        for (const simdjson::dom::element element : array) {
            std::optional<QUuid> id;
            std::optional<QString> name;
            const bool read = readObject(element, tavloField, [&](Field field, const QByteArrayView *raw) {
                if (field == Field::id) {
                    id = uuidFrom(raw);
                    return id.has_value();
                }
                if (!raw)
                    return false;
                name = QString::fromUtf8(*raw);
                return true;
            });
            if (!read || !id || !name)
                return false;
            tavlos.append({*id, *name});
        }
        return true;
    });
    if (!ok)
        return std::nullopt;
    return tavlos;
}

std::optional<QUuid> parseUuid(QStringView text)
{
    if (text.size() != 36)
        return std::nullopt;
    std::array<char, 36> bytes {};
    for (qsizetype i = 0; i < 36; ++i) {
        if (text[i].unicode() >= 0x80)
            return std::nullopt;
        bytes[std::size_t(i)] = char(text[i].unicode());
    }
    return parseUuid(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::optional<QUuid> parseUuid(QByteArrayView text)
{
    if (text.size() != 36)
        return std::nullopt;
    // The groups have even lengths, so each byte's two digits sit between the same hyphens.
    std::array<char, 16> bytes {};
    std::size_t b = 0;
    for (qsizetype i = 0; i < 36;) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return std::nullopt;
            ++i;
            continue;
        }
        const int high = hexValue(static_cast<unsigned char>(text[i]));
        const int low = hexValue(static_cast<unsigned char>(text[i + 1]));
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes[b++] = char(high << 4 | low);
        i += 2;
    }
    return QUuid::fromRfc4122(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

namespace {

#if defined(__x86_64__)
// Sixteen letters at a time into twelve bytes, while every letter is of the alphabet and the
// output has room for a sixteen-byte store. Returns how many letters it decoded; the rest,
// including any letter that is not of the alphabet, is left to the table.
__attribute__((target("ssse3"))) qsizetype decodeBase64Blocks(const unsigned char *p, qsizetype n, char *d,
                                                              qsizetype room)
{
    const auto between = [](__m128i c, char low, char high) {
        return _mm_and_si128(_mm_cmpgt_epi8(c, _mm_set1_epi8(char(low - 1))),
                             _mm_cmplt_epi8(c, _mm_set1_epi8(char(high + 1))));
    };
    qsizetype done = 0;
    for (; done + 16 <= n && room >= 16; done += 16, d += 12, room -= 12) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + done));
        // Bytes from 0x80 up are negative, so no range takes them.
        const __m128i upper = between(c, 'A', 'Z');
        const __m128i lower = between(c, 'a', 'z');
        const __m128i digit = between(c, '0', '9');
        const __m128i plus = _mm_cmpeq_epi8(c, _mm_set1_epi8('+'));
        const __m128i slash = _mm_cmpeq_epi8(c, _mm_set1_epi8('/'));
        const __m128i known =
            _mm_or_si128(_mm_or_si128(upper, lower), _mm_or_si128(digit, _mm_or_si128(plus, slash)));
        if (_mm_movemask_epi8(known) != 0xFFFF)
            break;
        // Each letter's offset to its 6-bit value: A..Z -65, a..z -71, 0..9 +4, '+' +19, '/' +16.
        __m128i offset = _mm_and_si128(upper, _mm_set1_epi8(-65));
        offset = _mm_or_si128(offset, _mm_and_si128(lower, _mm_set1_epi8(-71)));
        offset = _mm_or_si128(offset, _mm_and_si128(digit, _mm_set1_epi8(4)));
        offset = _mm_or_si128(offset, _mm_and_si128(plus, _mm_set1_epi8(19)));
        offset = _mm_or_si128(offset, _mm_and_si128(slash, _mm_set1_epi8(16)));
        const __m128i values = _mm_add_epi8(c, offset);
        // a b c d -> (a << 6 | b), (c << 6 | d) -> a 24-bit group in each 32-bit lane.
        const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
        const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
        const __m128i bytes =
            _mm_shuffle_epi8(groups, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d), bytes);
    }
    return done;
}
#endif

} // namespace

std::optional<QByteArray> parseBase64Bytes(QByteArrayView text)
{
    // One pass: every character is checked and decoded through the same table. Payloads can be
    // megabytes, and a start decodes them all.
    static constexpr std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t {};
        t.fill(0xFF);
        const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (unsigned char i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(alphabet[i])] = i;
        return t;
    }();
    const qsizetype n = text.size();
    if (n % 4 != 0)
        return std::nullopt;
    if (n == 0)
        return QByteArray();
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const qsizetype padding = p[n - 1] != '=' ? 0 : p[n - 2] != '=' ? 1 : 2;
    QByteArray out(n / 4 * 3 - padding, Qt::Uninitialized);
    char *d = out.data();
    const qsizetype whole = padding ? n - 4 : n;
    qsizetype i = 0;
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        i = decodeBase64Blocks(p, whole, d, out.size());
        d += i / 4 * 3;
    }
#endif
    for (; i < whole; i += 4) {
        const unsigned a = table[p[i]], b = table[p[i + 1]], c = table[p[i + 2]], e = table[p[i + 3]];
        if ((a | b | c | e) & 0x80)
            return std::nullopt;
        const unsigned v = a << 18 | b << 12 | c << 6 | e;
        *d++ = char(v >> 16);
        *d++ = char(v >> 8);
        *d++ = char(v);
    }
    if (padding) {
        const unsigned a = table[p[n - 4]], b = table[p[n - 3]];
        const unsigned c = padding == 1 ? table[p[n - 2]] : 0;
        if ((a | b | c) & 0x80)
            return std::nullopt;
        const unsigned v = a << 18 | b << 12 | c << 6;
        *d++ = char(v >> 16);
        if (padding == 1)
            *d = char(v >> 8);
    }
    return out;
}

std::optional<QByteArray> parseBase64(QStringView text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return std::nullopt;
    }
    return parseBase64Bytes(text.toLatin1());
}

} // namespace StoredJson
