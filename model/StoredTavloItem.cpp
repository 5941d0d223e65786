#include "model/StoredTavloItem.h"

#include <simdjson.h>

#include "model/MemoryAdvice.h"

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
    // Sized for the worst case; what a large list really fills is still tens of megabytes.
    MemoryAdvice::preferLargePages(parser.doc.string_buf.get(), 5 * size / 3);
    MemoryAdvice::preferLargePages(parser.doc.tape.get(), size * sizeof(uint64_t));
    MemoryAdvice::preferLargePages(parser.implementation->structural_indexes.get(), size * sizeof(uint32_t));
    // The parser reads a little past the end; the bytes are copied only when there is no room.
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
    return parseUuid(QString::fromLatin1(*raw));
}

bool readItem(simdjson::dom::element element, StoredTavloItem &record)
{
    bool hasId = false;
    bool hasKind = false;
    const auto accept = [&](Field field, const QByteArrayView *raw) {
        const auto text = [&]() -> std::optional<QString> {
            if (!raw)
                return std::nullopt;
            return QString::fromUtf8(*raw);
        };
        const auto bytes = [&](std::optional<QByteArray> &out) {
            out.reset();
            if (!raw)
                return true;
            out = parseBase64Bytes(*raw);
            return out.has_value();
        };
        switch (field) {
        case Field::id: {
            const auto id = uuidFrom(raw);
            if (!id)
                return false;
            record.id = *id;
            hasId = true;
            return true;
        }
        case Field::tavloID:
            record.tavloID.reset();
            if (!raw)
                return true;
            record.tavloID = uuidFrom(raw);
            return record.tavloID.has_value();
        case Field::kind:
            if (!raw)
                return false;
            if (*raw == "file")
                record.kind = StoredTavloItem::Kind::file;
            else if (*raw == "text")
                record.kind = StoredTavloItem::Kind::text;
            else if (*raw == "url")
                record.kind = StoredTavloItem::Kind::url;
            else
                return false;
            hasKind = true;
            return true;
        case Field::bookmarkData:
            return bytes(record.bookmarkData);
        case Field::richTextData:
            return bytes(record.richTextData);
        case Field::fileURLString:
            record.fileURLString = text();
            return true;
        case Field::text:
            record.text = text();
            return true;
        case Field::richTextPlainText:
            record.richTextPlainText = text();
            return true;
        case Field::urlString:
            record.urlString = text();
            return true;
        case Field::title:
            record.title = text();
            return true;
        case Field::name:
        case Field::unknown:
            return true;
        }
        return true;
    };
    const auto itemField = [](Field f) {
        return f != Field::unknown && f != Field::name;
    };
    return readObject(element, itemField, accept) && hasId && hasKind;
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

std::optional<QList<StoredTavloItem>> decodeItems(const QByteArray &json)
{
    QList<StoredTavloItem> items;
    const bool ok = parseArray(json, [&items](simdjson::dom::array array) {
        items.reserve(qsizetype(array.size()));
        for (const simdjson::dom::element element : array) {
            StoredTavloItem record;
            if (!readItem(element, record))
                return false;
            items.append(std::move(record));
        }
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
    for (qsizetype i = 0; i < 36; ++i) {
        const char16_t c = text[i].unicode();
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-')
                return std::nullopt;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return std::nullopt;
        }
    }
    return QUuid::fromString(text);
}

std::optional<QByteArray> parseBase64Bytes(QByteArrayView text)
{
    const qsizetype n = text.size();
    if (n % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '=') {
            if (i < n - 2)
                return std::nullopt;
            ++padding;
            continue;
        }
        if (padding > 0)
            return std::nullopt;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
              || c == '/'))
            return std::nullopt;
    }
    // Read in place: the text can be megabytes and is only looked at once.
    return QByteArray::fromBase64(QByteArray::fromRawData(text.data(), text.size()));
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
