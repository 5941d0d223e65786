#include "model/TavloUrl.h"

#include "model/LocalFileName.h"

#include <QDir>
#include <QHashFunctions>
#include <QStringBuilder>

#include <sys/stat.h>

namespace {

// Offsets into the kept text of each RFC 3986 component; -1 marks an absent component.
struct Span
{
    qsizetype start = -1;
    qsizetype length = 0;
    bool present() const { return start >= 0; }
    QStringView in(const QString &text) const
    {
        return present() ? QStringView(text).mid(start, length) : QStringView();
    }
};

struct Components
{
    Span scheme;
    Span authority;
    Span userinfo;
    Span host;
    Span port;
    Span path;
    Span query;
    Span fragment;
};

bool isAlpha(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHex(QChar c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isUnreserved(QChar c)
{
    return isAlpha(c) || isDigit(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

bool isSubDelim(QChar c)
{
    switch (c.unicode()) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
        return true;
    default:
        return false;
    }
}

// Characters beyond ASCII are accepted as in an IRI, except white space and controls, which
// no URL may contain unescaped.
bool isAcceptedNonAscii(QChar c)
{
    if (c.unicode() < 0x80)
        return false;
    if (c.isSpace())
        return false;
    const auto cat = c.category();
    return cat != QChar::Other_Control && cat != QChar::Other_Format;
}

// Checks that every character of `part` is allowed by `extra` rules plus unreserved,
// sub-delims, percent escapes and accepted non-ASCII.
template<typename Extra>
bool validChars(QStringView part, Extra extra)
{
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar c = part[i];
        if (c == u'%') {
            if (i + 2 >= part.size() || !isHex(part[i + 1]) || !isHex(part[i + 2]))
                return false;
            i += 2;
            continue;
        }
        if (isUnreserved(c) || isSubDelim(c) || isAcceptedNonAscii(c) || extra(c))
            continue;
        return false;
    }
    return true;
}

bool validIpLiteral(QStringView inner)
{
    if (inner.isEmpty())
        return false;
    if (inner[0] == u'v' || inner[0] == u'V') {
        // IPvFuture: "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" )
        const qsizetype dot = inner.indexOf(u'.');
        if (dot < 2 || dot + 1 >= inner.size())
            return false;
        for (qsizetype i = 1; i < dot; ++i) {
            if (!isHex(inner[i]))
                return false;
        }
        for (QChar c : inner.mid(dot + 1)) {
            if (!isUnreserved(c) && !isSubDelim(c) && c != u':')
                return false;
        }
        return true;
    }
    for (QChar c : inner) {
        if (!isHex(c) && c != u':' && c != u'.')
            return false;
    }
    return inner.contains(u':');
}

std::optional<Components> split(const QString &text)
{
    Components parts;
    const qsizetype n = text.size();
    qsizetype pos = 0;

    // Scheme: the text before the first ':' when no '/', '?' or '#' comes earlier.
    qsizetype colon = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == u':') {
            colon = i;
            break;
        }
        if (c == u'/' || c == u'?' || c == u'#')
            break;
    }
    if (colon >= 0) {
        if (colon == 0 || !isAlpha(text[0]))
            return std::nullopt;
        for (qsizetype i = 1; i < colon; ++i) {
            const QChar c = text[i];
            if (!isAlpha(c) && !isDigit(c) && c != u'+' && c != u'-' && c != u'.')
                return std::nullopt;
        }
        parts.scheme = {0, colon};
        pos = colon + 1;
    }

    if (text.mid(pos, 2) == QLatin1String("//")) {
        const qsizetype start = pos + 2;
        qsizetype end = start;
        while (end < n && text[end] != u'/' && text[end] != u'?' && text[end] != u'#')
            ++end;
        parts.authority = {start, end - start};
        const QStringView authority = QStringView(text).mid(start, end - start);
        qsizetype hostStart = start;
        const qsizetype at = authority.lastIndexOf(u'@');
        if (at >= 0) {
            parts.userinfo = {start, at};
            if (!validChars(authority.left(at), [](QChar c) { return c == u':'; }))
                return std::nullopt;
            hostStart = start + at + 1;
        }
        const QStringView hostPort = QStringView(text).mid(hostStart, end - hostStart);
        qsizetype hostLength = hostPort.size();
        if (hostPort.startsWith(u'[')) {
            const qsizetype close = hostPort.indexOf(u']');
            if (close < 0 || !validIpLiteral(hostPort.mid(1, close - 1)))
                return std::nullopt;
            hostLength = close + 1;
            if (hostLength < hostPort.size() && hostPort[hostLength] != u':')
                return std::nullopt;
        } else {
            const qsizetype portColon = hostPort.indexOf(u':');
            if (portColon >= 0)
                hostLength = portColon;
            if (!validChars(hostPort.left(hostLength), [](QChar) { return false; }))
                return std::nullopt;
        }
        parts.host = {hostStart, hostLength};
        if (hostLength < hostPort.size()) {
            const QStringView port = hostPort.mid(hostLength + 1);
            for (QChar c : port) {
                if (!isDigit(c))
                    return std::nullopt;
            }
            parts.port = {hostStart + hostLength + 1, port.size()};
        }
        pos = end;
    }

    qsizetype pathEnd = pos;
    while (pathEnd < n && text[pathEnd] != u'?' && text[pathEnd] != u'#')
        ++pathEnd;
    parts.path = {pos, pathEnd - pos};
    const QStringView path = QStringView(text).mid(pos, pathEnd - pos);
    if (!validChars(path, [](QChar c) { return c == u'/' || c == u':' || c == u'@'; }))
        return std::nullopt;
    // A relative reference whose first segment holds ':' would read as a scheme.
    if (!parts.scheme.present() && !parts.authority.present()) {
        const qsizetype slash = path.indexOf(u'/');
        if (path.left(slash < 0 ? path.size() : slash).contains(u':'))
            return std::nullopt;
    }
    pos = pathEnd;

    // Query and fragment also take '[' and ']', which links in the wild carry unescaped.
    const auto queryChar = [](QChar c) {
        return c == u'/' || c == u'?' || c == u':' || c == u'@' || c == u'[' || c == u']';
    };
    if (pos < n && text[pos] == u'?') {
        qsizetype end = pos + 1;
        while (end < n && text[end] != u'#')
            ++end;
        parts.query = {pos + 1, end - pos - 1};
        if (!validChars(QStringView(text).mid(pos + 1, end - pos - 1), queryChar))
            return std::nullopt;
        pos = end;
    }
    if (pos < n && text[pos] == u'#') {
        parts.fragment = {pos + 1, n - pos - 1};
        if (!validChars(QStringView(text).mid(pos + 1), queryChar))
            return std::nullopt;
    }
    return parts;
}

QString percentDecoded(QStringView part)
{
    if (!part.contains(u'%'))
        return part.toString();
    return QString::fromUtf8(QByteArray::fromPercentEncoding(part.toUtf8()));
}

// RFC 3986 section 5.2.4.
QString removeDotSegments(QStringView input)
{
    QList<QStringView> out;
    const bool absolute = input.startsWith(u'/');
    QStringView rest = absolute ? input.mid(1) : input;
    bool trailingSlash = false;
    while (true) {
        const qsizetype slash = rest.indexOf(u'/');
        const QStringView segment = slash < 0 ? rest : rest.left(slash);
        const bool last = slash < 0;
        if (segment == u".") {
            trailingSlash = true;
        } else if (segment == u"..") {
            if (!out.isEmpty())
                out.removeLast();
            trailingSlash = true;
        } else {
            out.append(segment);
            trailingSlash = false;
        }
        if (last)
            break;
        rest = rest.mid(slash + 1);
    }
    QString result;
    if (absolute)
        result += u'/';
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (i > 0)
            result += u'/';
        result += out[i];
    }
    if (trailingSlash && !out.isEmpty() && !out.last().isEmpty())
        result += u'/';
    return result;
}

bool mayHoldDotSegment(const QString &text)
{
    return text.contains(QLatin1String("/.")) || text.contains(QLatin1String(":."));
}

} // namespace

TavloUrl::TavloUrl(QString text) : m_text(std::move(text)) { }

std::optional<TavloUrl> TavloUrl::parse(const QString &text)
{
    if (text.isEmpty() || !split(text))
        return std::nullopt;
    return TavloUrl(text);
}

TavloUrl TavloUrl::fromLocalFile(const QString &path)
{
    const QString absolute = QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path);
    return TavloUrl(
        QStringLiteral("file://")
        + QString::fromLatin1(
            QByteArray(encodeFileName(absolute)).toPercentEncoding(QByteArrayLiteral("/!$&'()*+,;=:@"))));
}

std::optional<TavloUrl> TavloUrl::fromQUrl(const QUrl &url)
{
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return parse(url.toString(QUrl::FullyEncoded));
}

QString TavloUrl::scheme() const
{
    const auto parts = split(m_text);
    return parts ? parts->scheme.in(m_text).toString() : QString();
}

QString TavloUrl::host() const
{
    const auto parts = split(m_text);
    if (!parts || !parts->host.present())
        return QString();
    QStringView host = parts->host.in(m_text);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        return host.mid(1, host.size() - 2).toString();
    return percentDecoded(host);
}

std::optional<int> TavloUrl::port() const
{
    const auto parts = split(m_text);
    if (!parts || !parts->port.present() || parts->port.length == 0)
        return std::nullopt;
    bool ok = false;
    const int value = parts->port.in(m_text).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QString TavloUrl::path() const
{
    const auto parts = split(m_text);
    return parts ? percentDecoded(parts->path.in(m_text)) : QString();
}

QStringList TavloUrl::pathComponents() const
{
    const QString p = path();
    QStringList components;
    if (p.startsWith(u'/'))
        components.append(QStringLiteral("/"));
    for (const QString &segment : p.split(u'/', Qt::SkipEmptyParts))
        components.append(segment);
    return components;
}

QString TavloUrl::query() const
{
    const auto parts = split(m_text);
    return parts ? parts->query.in(m_text).toString() : QString();
}

QList<std::pair<QString, QString>> TavloUrl::queryItems() const
{
    QList<std::pair<QString, QString>> items;
    const auto parts = split(m_text);
    if (!parts || !parts->query.present())
        return items;
    for (QStringView item : parts->query.in(m_text).split(u'&')) {
        const qsizetype eq = item.indexOf(u'=');
        if (eq < 0)
            items.append({percentDecoded(item), QString()});
        else
            items.append({percentDecoded(item.left(eq)), percentDecoded(item.mid(eq + 1))});
    }
    return items;
}

QString TavloUrl::fragment() const
{
    const auto parts = split(m_text);
    return parts ? parts->fragment.in(m_text).toString() : QString();
}

bool TavloUrl::isFileURL() const
{
    return m_text.size() >= 5 && m_text[4] == u':'
        && m_text.startsWith(QLatin1String("file"), Qt::CaseInsensitive);
}

TavloUrl TavloUrl::standardizedFileURL() const
{
    // Most URLs hold no dot segment; skip the rebuild for them.
    if (!isFileURL() || !mayHoldDotSegment(m_text))
        return *this;
    const auto parts = split(m_text);
    if (!parts)
        return *this;
    QString path = removeDotSegments(parts->path.in(m_text));
    // Without an authority a path must not start with "//", or it would read as one.
    if (!parts->authority.present() && path.startsWith(QLatin1String("//")))
        path.prepend(QLatin1String("/."));
    QString text = parts->scheme.in(m_text).toString() + u':';
    if (parts->authority.present())
        text += QLatin1String("//") % parts->authority.in(m_text);
    text += path;
    if (parts->query.present())
        text += QLatin1Char('?') % parts->query.in(m_text);
    if (parts->fragment.present())
        text += QLatin1Char('#') % parts->fragment.in(m_text);
    return TavloUrl(text);
}

QString TavloUrl::toLocalFile() const
{
    const auto parts = split(m_text);
    if (!isFileURL() || !parts)
        return QString();
    const QString host = this->host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        return QString();
    // "file:-rf.pdf" names nothing we could find, and must never reach an argument list.
    const QStringView encoded = parts->path.in(m_text);
    if (!encoded.startsWith(u'/'))
        return QString();
    return decodeFileName(QByteArray::fromPercentEncoding(encoded.toUtf8()));
}

QUrl TavloUrl::toQUrl() const
{
    return QUrl(m_text);
}

QString decodeFileName(QByteArrayView name)
{
    QString result;
    result.reserve(name.size());
    qsizetype i = 0;
    while (i < name.size()) {
        const uchar lead = uchar(name[i]);
        // Sequence length and the smallest code point it may carry (longer forms are invalid).
        const int length = lead < 0x80    ? 1
            : lead >= 0xC2 && lead < 0xE0 ? 2
            : lead >= 0xE0 && lead < 0xF0 ? 3
            : lead >= 0xF0 && lead < 0xF5 ? 4
                                          : 0;
        char32_t code = length == 1 ? lead
            : length == 2           ? lead & 0x1F
            : length == 3           ? lead & 0x0F
                                    : lead & 0x07;
        bool valid = length > 0 && i + length <= name.size();
        for (int k = 1; valid && k < length; ++k) {
            const uchar next = uchar(name[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        valid = valid && code >= smallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            result += QChar(char16_t(0xDC00 + lead));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            result += QChar::highSurrogate(code);
            result += QChar::lowSurrogate(code);
        } else {
            result += QChar(char16_t(code));
        }
        i += length;
    }
    return result;
}

QByteArray encodeFileName(QStringView name)
{
    QByteArray result;
    result.reserve(name.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        const bool escaped = i < name.size() && name[i].unicode() >= 0xDC80 && name[i].unicode() <= 0xDCFF
            && (i == 0 || !name[i - 1].isHighSurrogate());
        if (i < name.size() && !escaped)
            continue;
        result += name.sliced(start, i - start).toUtf8();
        if (escaped)
            result += char(name[i].unicode() - 0xDC00);
        start = i + 1;
    }
    return result;
}

QUrl localFileQUrl(const QString &path)
{
    return QUrl::fromEncoded("file://" + encodeFileName(path).toPercentEncoding("/!$&'()*+,;=:@"));
}

bool localFileExists(const QString &path)
{
    struct stat info = {};
    return !path.isEmpty() && ::stat(encodeFileName(path).constData(), &info) == 0;
}

size_t qHash(const TavloUrl &url, size_t seed) noexcept
{
    return qHash(url.absoluteString(), seed);
}
