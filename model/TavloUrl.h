#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <utility>

// A URL that keeps the exact text it was made from. Two URLs are equal when their absolute
// strings are equal, so "HTTPS://a.example" and "https://a.example" are different values.
// Parsing follows RFC 3986 (a URI reference); components are read from the kept text.
class TavloUrl
{
public:
    TavloUrl() = default;

    // Parses `text` as a URI reference. Fails on text that is not one (for example text with
    // spaces, control characters or a malformed authority), never on a relative reference.
    static std::optional<TavloUrl> parse(const QString &text);
    // file:// URL of an absolute local path (percent-encoded where needed).
    static TavloUrl fromLocalFile(const QString &path);
    static std::optional<TavloUrl> fromQUrl(const QUrl &url);

    bool isEmpty() const { return m_text.isEmpty(); }
    const QString &absoluteString() const { return m_text; }

    QString scheme() const; // as written; empty when there is none
    QString host() const; // percent-decoded; lower-case is not forced
    std::optional<int> port() const;
    QString path() const; // percent-decoded
    QStringList pathComponents() const;
    QString query() const; // as written, without '?'
    QList<std::pair<QString, QString>> queryItems() const;
    QString fragment() const;

    bool isFileURL() const; // scheme "file", any letter case
    // For file URLs: "." and ".." segments resolved, as the platform's standardised file URL.
    // Other URLs are returned unchanged.
    TavloUrl standardizedFileURL() const;
    QString toLocalFile() const;
    QUrl toQUrl() const;

    friend bool operator==(const TavloUrl &a, const TavloUrl &b) { return a.m_text == b.m_text; }

private:
    explicit TavloUrl(QString text);
    QString m_text;
};

size_t qHash(const TavloUrl &url, size_t seed = 0) noexcept;

Q_DECLARE_METATYPE(TavloUrl)
