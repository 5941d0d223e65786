#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

#include "model/TavloUrl.h"
#include "platform/TavloOrientation.h"
#include "richtext/RichText.h"

// The snippet of a text item: its RTF and its characters at the time of export.
struct RichTextPayload
{
    QByteArray rtfData;
    QString plainText;

    // The rich text for display and editing: the RTF when it reads, else the plain text.
    RichText richText() const;

    friend bool operator==(const RichTextPayload &a, const RichTextPayload &b)
    {
        // Copies of one payload share their bytes; the views compare items on every change, and
        // comparing the RTF of a large snippet with itself byte by byte would stall them.
        return a.plainText == b.plainText && (a.rtfData.isSharedWith(b.rtfData) || a.rtfData == b.rtfData);
    }
};

RichTextPayload makeRichTextPayload(const RichText &richText);
size_t qHash(const RichTextPayload &payload, size_t seed = 0) noexcept;

// The three kinds of item. The variant's index is the kind's case index (file 0, text 1, url 2).
struct FileItemKind
{
    TavloUrl url;
    QByteArray bookmark; // empty for every item added by this version
    friend bool operator==(const FileItemKind &, const FileItemKind &) = default;
};

struct TextItemKind
{
    RichTextPayload payload;
    std::optional<QString> title;
    friend bool operator==(const TextItemKind &, const TextItemKind &) = default;
};

struct UrlItemKind
{
    TavloUrl url;
    std::optional<QString> title;
    friend bool operator==(const UrlItemKind &, const UrlItemKind &) = default;
};

using TavloItemKind = std::variant<FileItemKind, TextItemKind, UrlItemKind>;

struct TavloItem
{
    QUuid id;
    TavloItemKind kind;

    bool isFile() const { return kind.index() == 0; }
    bool isText() const { return kind.index() == 1; }
    bool isUrl() const { return kind.index() == 2; }
    // The user's label of a text or link item; file items have none.
    std::optional<QString> title() const;

    friend bool operator==(const TavloItem &, const TavloItem &) = default;
};

// Every member is an implicitly shared Qt value or a plain one, so an item may be moved as
// bytes: lists of thousands of items then grow in place instead of copying themselves.
Q_DECLARE_TYPEINFO(TavloItem, Q_RELOCATABLE_TYPE);

size_t qHash(const TavloItemKind &kind, size_t seed = 0) noexcept;
size_t qHash(const TavloItem &item, size_t seed = 0) noexcept;

struct StoredTavloDefinition
{
    QUuid id;
    QString name;
    friend bool operator==(const StoredTavloDefinition &, const StoredTavloDefinition &) = default;
};

// Canonical upper-case 36-character form used everywhere a UUID is stored.
QString uuidString(const QUuid &id);

Q_DECLARE_METATYPE(TavloItem)
