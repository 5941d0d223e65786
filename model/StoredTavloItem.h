#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

#include "model/TavloItem.h"

// The flat persisted record of one item. Optional fields that are absent are left out of the JSON.
struct StoredTavloItem
{
    enum class Kind { file, text, url };

    QUuid id;
    std::optional<QUuid> tavloID;
    Kind kind = Kind::file;
    std::optional<QByteArray> bookmarkData;
    std::optional<QString> fileURLString;
    std::optional<QString> text; // read only: older data kept snippets as plain text
    std::optional<QByteArray> richTextData;
    std::optional<QString> richTextPlainText;
    std::optional<QString> urlString;
    std::optional<QString> title;

    // The record written for `item` filed under `tavloID`.
    static StoredTavloItem fromItem(const TavloItem &item, const QUuid &tavloID);

    friend bool operator==(const StoredTavloItem &, const StoredTavloItem &) = default;
};

namespace StoredJson {

// Compact JSON array of the records; UUIDs upper-case, bytes as padded Base64.
QByteArray encodeItems(const QList<StoredTavloItem> &items);
// The whole array, or nothing when any part of it does not read: a missing "id" or "kind",
// an unknown kind, a malformed UUID or Base64 string, or a value of the wrong JSON type.
std::optional<QList<StoredTavloItem>> decodeItems(const QByteArray &json);
// Readable bytes the reader wants after the JSON to work on it in place.
constexpr std::size_t readerPadding = 64;
// The same reading, record by record in order, without building the list; false as soon as
// anything does not read or `take` returns false. `padded`: `readerPadding` bytes after `json` can
// be read, so the reader works on the bytes where they are.
bool forEachItem(QByteArrayView json, bool padded, const std::function<bool(StoredTavloItem &&)> &take);

QByteArray encodeTavlos(const QList<StoredTavloDefinition> &tavlos);
std::optional<QList<StoredTavloDefinition>> decodeTavlos(const QByteArray &json);

// Strict canonical form: 36 characters, hyphens at 8, 13, 18 and 23, hex digits of either case.
std::optional<QUuid> parseUuid(QStringView text);
// The same, read from bytes without making a string first.
std::optional<QUuid> parseUuid(QByteArrayView text);
// Standard alphabet with padding, no line breaks or other characters.
std::optional<QByteArray> parseBase64(QStringView text);
std::optional<QByteArray> parseBase64Bytes(QByteArrayView text);

} // namespace StoredJson
