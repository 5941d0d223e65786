#include "model/StoredTavloItem.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

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

// How a field of one object reads: absent (missing or null), present, or of the wrong type.
enum class FieldState { absent, present, invalid };

FieldState readString(const QJsonObject &object, QLatin1String key, QString &value)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull())
        return FieldState::absent;
    if (!it->isString())
        return FieldState::invalid;
    value = it->toString();
    return FieldState::present;
}

bool readOptionalString(const QJsonObject &object, QLatin1String key, std::optional<QString> &out)
{
    QString value;
    switch (readString(object, key, value)) {
    case FieldState::absent:
        return true;
    case FieldState::present:
        out = std::move(value);
        return true;
    case FieldState::invalid:
        return false;
    }
    return false;
}

bool readOptionalBase64(const QJsonObject &object, QLatin1String key, std::optional<QByteArray> &out)
{
    QString value;
    switch (readString(object, key, value)) {
    case FieldState::absent:
        return true;
    case FieldState::present:
        out = parseBase64(value);
        return out.has_value();
    case FieldState::invalid:
        return false;
    }
    return false;
}

std::optional<StoredTavloItem> readItem(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    StoredTavloItem record;

    QString text;
    if (readString(object, QLatin1String("id"), text) != FieldState::present)
        return std::nullopt;
    const auto id = parseUuid(text);
    if (!id)
        return std::nullopt;
    record.id = *id;

    switch (readString(object, QLatin1String("tavloID"), text)) {
    case FieldState::absent:
        break;
    case FieldState::present:
        record.tavloID = parseUuid(text);
        if (!record.tavloID)
            return std::nullopt;
        break;
    case FieldState::invalid:
        return std::nullopt;
    }

    if (readString(object, QLatin1String("kind"), text) != FieldState::present)
        return std::nullopt;
    if (text == QLatin1String("file"))
        record.kind = StoredTavloItem::Kind::file;
    else if (text == QLatin1String("text"))
        record.kind = StoredTavloItem::Kind::text;
    else if (text == QLatin1String("url"))
        record.kind = StoredTavloItem::Kind::url;
    else
        return std::nullopt;

    if (!readOptionalBase64(object, QLatin1String("bookmarkData"), record.bookmarkData)
        || !readOptionalString(object, QLatin1String("fileURLString"), record.fileURLString)
        || !readOptionalString(object, QLatin1String("text"), record.text)
        || !readOptionalBase64(object, QLatin1String("richTextData"), record.richTextData)
        || !readOptionalString(object, QLatin1String("richTextPlainText"), record.richTextPlainText)
        || !readOptionalString(object, QLatin1String("urlString"), record.urlString)
        || !readOptionalString(object, QLatin1String("title"), record.title))
        return std::nullopt;
    return record;
}

std::optional<QJsonArray> readArray(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    return document.array();
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
    const auto array = readArray(json);
    if (!array)
        return std::nullopt;
    QList<StoredTavloItem> items;
    items.reserve(array->size());
    for (const QJsonValue &value : *array) {
        auto record = readItem(value);
        if (!record)
            return std::nullopt;
        items.append(std::move(*record));
    }
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
    const auto array = readArray(json);
    if (!array)
        return std::nullopt;
    QList<StoredTavloDefinition> tavlos;
    for (const QJsonValue &value : *array) {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject object = value.toObject();
        QString id;
        QString name;
        if (readString(object, QLatin1String("id"), id) != FieldState::present
            || readString(object, QLatin1String("name"), name) != FieldState::present)
            return std::nullopt;
        const auto uuid = parseUuid(id);
        if (!uuid)
            return std::nullopt;
        tavlos.append({*uuid, name});
    }
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

std::optional<QByteArray> parseBase64(QStringView text)
{
    const qsizetype n = text.size();
    if (n % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
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
    return QByteArray::fromBase64(text.toLatin1());
}

} // namespace StoredJson
