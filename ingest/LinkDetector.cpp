#include "ingest/LinkDetector.h"

#include <QUrl>
#include <QVarLengthArray>

#include <algorithm>
#include <deque>
#include <string_view>
#include <unordered_set>

namespace PublicSuffixData {
extern const char16_t *const kRules[];
extern const std::size_t kRuleCount;
} // namespace PublicSuffixData

namespace LinkDetector {
namespace {

using View = std::u16string_view;

// ---- public suffix rules ----------------------------------------------------------------

class SuffixRules
{
public:
    SuffixRules()
    {
        for (std::size_t i = 0; i < PublicSuffixData::kRuleCount; ++i)
            add(View(PublicSuffixData::kRules[i]));
    }

    // Number of labels at the end of `labels` that form the public suffix, or 0 when the last
    // label is no listed top-level domain. `labels` are lower-case.
    int suffixLabels(const QVarLengthArray<View, 16> &labels) const
    {
        const int count = int(labels.size());
        // Suffixes longer than the longest rule (plus a wildcard label) cannot match.
        const int first = std::max(0, count - m_maxLabels - 1);
        for (int i = first; i < count; ++i) {
            const View suffix = join(labels, i);
            if (m_exceptions.count(suffix))
                return count - i - 1;
            if (m_rules.count(suffix))
                return count - i;
            if (i + 1 < count && m_wildcards.count(join(labels, i + 1)))
                return count - i;
        }
        return 0;
    }

private:
    void add(View rule)
    {
        std::unordered_set<View> *set = &m_rules;
        if (rule.starts_with(u"!")) {
            set = &m_exceptions;
            rule.remove_prefix(1);
        } else if (rule.starts_with(u"*.")) {
            set = &m_wildcards;
            rule.remove_prefix(2);
        }
        set->insert(rule);
        m_maxLabels = std::max(m_maxLabels, int(std::count(rule.begin(), rule.end(), u'.')) + 1);
        // Hosts may be written in ACE form too; keep both spellings of international rules.
        if (std::any_of(rule.begin(), rule.end(), [](char16_t c) { return c > 0x7f; })) {
            const QByteArray ace = QUrl::toAce(QString::fromUtf16(rule.data(), qsizetype(rule.size())));
            if (!ace.isEmpty()) {
                m_owned.push_back(QString::fromLatin1(ace).toStdU16String());
                set->insert(View(m_owned.back()));
            }
        }
    }

    // The labels from index `from` on, as one view into the host they were cut from.
    static View join(const QVarLengthArray<View, 16> &labels, int from)
    {
        const char16_t *begin = labels[from].data();
        const View &last = labels.back();
        return View(begin, std::size_t(last.data() + last.size() - begin));
    }

    std::unordered_set<View> m_rules;
    std::unordered_set<View> m_wildcards;
    std::unordered_set<View> m_exceptions;
    std::deque<std::u16string> m_owned; // stable storage for the ACE spellings
    int m_maxLabels = 1;
};

const SuffixRules &suffixRules()
{
    static const SuffixRules rules;
    return rules;
}

// Top-level domains that are far more often file extensions ("README.md", "setup.sh"). A bare
// two-label name under one of them is taken as a link only with a path or port behind it.
bool isExtensionLikeTld(View tld)
{
    static constexpr View kTlds[] = {u"ac", u"am", u"cc", u"la", u"md", u"mk", u"ml", u"mov",
                                     u"pm", u"ps", u"py", u"rs", u"sh", u"so", u"zip"};
    return std::find(std::begin(kTlds), std::end(kTlds), tld) != std::end(kTlds);
}

// ---- character classes ------------------------------------------------------------------

enum : unsigned char {
    kLabel = 1, // letter, digit, '-', '_'
    kDigit = 2,
    kHex = 4,
    kUrl = 8, // may stand in a path, query or fragment
    kTrailing = 16, // dropped from the end of a link
    kEncodeFree = 32, // RFC 3986 character that needs no percent-encoding
};

struct CharTable
{
    unsigned char bits[128] = {};
    constexpr CharTable()
    {
        for (int c = 0; c < 128; ++c) {
            unsigned char b = 0;
            const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            const bool digit = c >= '0' && c <= '9';
            if (alpha || digit || c == '-' || c == '_')
                b |= kLabel;
            if (digit)
                b |= kDigit;
            if (digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))
                b |= kHex;
            if (c > 0x20 && c < 0x7f && c != '"' && c != '<' && c != '>' && c != '`')
                b |= kUrl;
            if (View(u".,;:!?'*").find(char16_t(c)) != View::npos)
                b |= kTrailing;
            if (alpha || digit || View(u"-._~:/?#@!$&'()*+,;=%").find(char16_t(c)) != View::npos)
                b |= kEncodeFree;
            bits[c] = b;
        }
    }
};

constexpr CharTable kChars;

inline bool has(char16_t c, unsigned char bit)
{
    return c < 128 && (kChars.bits[c] & bit);
}

// Letters, digits and marks of other scripts; surrogate halves are judged as a pair.
bool isWideWordChar(const char16_t *s, qsizetype i, qsizetype n)
{
    const char16_t c = s[i];
    char32_t code = c;
    if (QChar::isHighSurrogate(c)) {
        if (i + 1 >= n || !QChar::isLowSurrogate(s[i + 1]))
            return false;
        code = QChar::surrogateToUcs4(c, s[i + 1]);
    } else if (QChar::isLowSurrogate(c)) {
        if (i == 0 || !QChar::isHighSurrogate(s[i - 1]))
            return false;
        code = QChar::surrogateToUcs4(s[i - 1], c);
    }
    if (QChar::isLetterOrNumber(code))
        return true;
    const auto category = QChar::category(code);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining;
}

inline bool isLabelChar(const char16_t *s, qsizetype i, qsizetype n)
{
    const char16_t c = s[i];
    return c < 128 ? (kChars.bits[c] & kLabel) : isWideWordChar(s, i, n);
}

inline bool isUrlChar(const char16_t *s, qsizetype i, qsizetype n)
{
    const char16_t c = s[i];
    return c < 128 ? (kChars.bits[c] & kUrl) : isWideWordChar(s, i, n);
}

inline char16_t asciiLower(char16_t c)
{
    return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
}

bool equalsAsciiNoCase(const char16_t *s, qsizetype length, View lower)
{
    if (std::size_t(length) != lower.size())
        return false;
    for (qsizetype i = 0; i < length; ++i) {
        if (asciiLower(s[i]) != lower[std::size_t(i)])
            return false;
    }
    return true;
}

// ---- host names -------------------------------------------------------------------------

struct HostToken
{
    qsizetype end = 0;
    int labels = 0;
    bool wellFormed = true; // label lengths, hyphens, total length
    bool numeric = true; // every label digits only
    bool underscore = false;
    bool wide = false; // has non-ASCII characters
    bool numericLast = false;
};

// Dot-separated labels from `i` on; a dot belongs to the host only when a label follows it.
HostToken scanHost(const char16_t *s, qsizetype i, qsizetype n)
{
    HostToken t;
    const qsizetype start = i;
    while (true) {
        const qsizetype labelStart = i;
        bool digitsOnly = true;
        while (i < n && isLabelChar(s, i, n)) {
            const char16_t c = s[i];
            if (c >= 128)
                t.wide = true;
            else if (c == '_')
                t.underscore = true;
            if (!has(c, kDigit))
                digitsOnly = false;
            ++i;
        }
        const qsizetype length = i - labelStart;
        ++t.labels;
        if (length == 0 || length > 63 || s[labelStart] == '-' || s[i - 1] == '-')
            t.wellFormed = false;
        t.numeric = t.numeric && digitsOnly;
        t.numericLast = digitsOnly;
        if (i + 1 < n && s[i] == '.' && isLabelChar(s, i + 1, n)) {
            ++i;
            continue;
        }
        break;
    }
    t.end = i;
    if (t.end - start > 253)
        t.wellFormed = false;
    return t;
}

bool isIPv4(const char16_t *s, qsizetype start, const HostToken &t)
{
    if (!t.numeric || t.labels != 4)
        return false;
    int value = 0;
    int digits = 0;
    for (qsizetype i = start; i <= t.end; ++i) {
        if (i == t.end || s[i] == '.') {
            if (digits == 0 || digits > 3 || value > 255)
                return false;
            value = digits = 0;
        } else if (++digits <= 3) {
            value = value * 10 + (s[i] - '0');
        }
    }
    return true;
}

bool registrable(QStringView host)
{
    QVarLengthArray<char16_t, 256> lower;
    QString wideLower;
    const char16_t *data = nullptr;
    if (std::any_of(host.begin(), host.end(), [](QChar c) { return c.unicode() > 0x7f; })) {
        wideLower = host.toString().toLower();
        data = reinterpret_cast<const char16_t *>(wideLower.utf16());
        host = wideLower;
    } else {
        lower.resize(host.size());
        for (qsizetype i = 0; i < host.size(); ++i)
            lower[i] = asciiLower(host[i].unicode());
        data = lower.data();
    }
    QVarLengthArray<View, 16> labels;
    qsizetype labelStart = 0;
    for (qsizetype i = 0; i <= host.size(); ++i) {
        if (i == host.size() || data[i] == '.') {
            labels.append(View(data + labelStart, std::size_t(i - labelStart)));
            labelStart = i + 1;
        }
    }
    const int suffix = suffixRules().suffixLabels(labels);
    return suffix > 0 && suffix < labels.size();
}

// ---- link assembly ----------------------------------------------------------------------

void appendEncoded(QString &out, const char16_t *s, qsizetype from, qsizetype to)
{
    static const char kHexDigits[] = "0123456789ABCDEF";
    auto encodeByte = [&out](unsigned char b) {
        out.append(QLatin1Char('%'));
        out.append(QLatin1Char(kHexDigits[b >> 4]));
        out.append(QLatin1Char(kHexDigits[b & 15]));
    };
    for (qsizetype i = from; i < to; ++i) {
        const char16_t c = s[i];
        if (c == '%') {
            const bool escape = i + 2 < to && has(s[i + 1], kHex) && has(s[i + 2], kHex);
            if (escape)
                out.append(QLatin1Char('%'));
            else
                encodeByte('%');
        } else if (has(c, kEncodeFree)) {
            out.append(QChar(c));
        } else if (c < 128) {
            encodeByte(static_cast<unsigned char>(c));
        } else {
            qsizetype length = 1;
            if (QChar::isHighSurrogate(c) && i + 1 < to && QChar::isLowSurrogate(s[i + 1]))
                length = 2;
            const QByteArray utf8 = QStringView(s + i, length).toUtf8();
            for (const char b : utf8)
                encodeByte(static_cast<unsigned char>(b));
            i += length - 1;
        }
    }
}

// Port, path, query and fragment behind a host that ends at `i`.
qsizetype scanTail(const char16_t *s, qsizetype i, qsizetype n, bool *hasMore)
{
    *hasMore = false;
    if (i + 1 < n && s[i] == ':' && has(s[i + 1], kDigit)) {
        qsizetype j = i + 1;
        int port = 0;
        while (j < n && has(s[j], kDigit) && port <= 65535) {
            port = port * 10 + (s[j] - '0');
            ++j;
        }
        // "host:80x" or an out-of-range number is no port; the link ends at the host.
        if (port > 65535 || (j < n && isLabelChar(s, j, n)))
            return i;
        i = j;
        *hasMore = true;
    }
    if (i >= n || (s[i] != '/' && s[i] != '?' && s[i] != '#'))
        return i;
    const qsizetype pathStart = i;
    int round = 0, square = 0, curly = 0;
    while (i < n && isUrlChar(s, i, n)) {
        switch (s[i]) {
        case '(':
            ++round;
            break;
        case ')':
            --round;
            break;
        case '[':
            ++square;
            break;
        case ']':
            --square;
            break;
        case '{':
            ++curly;
            break;
        case '}':
            --curly;
            break;
        default:
            break;
        }
        ++i;
    }
    // Sentence punctuation, closing quotes and unmatched closing brackets stay outside.
    while (i > pathStart) {
        const char16_t c = s[i - 1];
        if (has(c, kTrailing)) {
        } else if (c == ')' && round < 0) {
            ++round;
        } else if (c == ']' && square < 0) {
            ++square;
        } else if (c == '}' && curly < 0) {
            ++curly;
        } else {
            break;
        }
        --i;
    }
    if (i > pathStart)
        *hasMore = true;
    return i;
}

std::optional<QString> hostText(const char16_t *s, qsizetype start, qsizetype end, bool wide)
{
    const QStringView host(s + start, end - start);
    if (!wide)
        return host.toString();
    const QByteArray ace = QUrl::toAce(host.toString());
    if (ace.isEmpty())
        return std::nullopt;
    return QString::fromLatin1(ace);
}

// The link after "scheme://" at `authority`, or nothing when the authority is no host.
std::optional<Match> schemeLink(const char16_t *s, qsizetype n, qsizetype start, qsizetype authority)
{
    // The host follows the last '@' of the authority (user information before it).
    qsizetype hostStart = authority;
    for (qsizetype j = authority; j < n && isUrlChar(s, j, n); ++j) {
        const char16_t c = s[j];
        if (c == '/' || c == '?' || c == '#')
            break;
        if (c == '@')
            hostStart = j + 1;
    }
    qsizetype hostEnd = hostStart;
    bool wide = false;
    if (hostStart < n && s[hostStart] == '[') {
        qsizetype j = hostStart + 1;
        while (j < n && j - hostStart < 47 && (has(s[j], kHex) || s[j] == ':' || s[j] == '.'))
            ++j;
        if (j >= n || s[j] != ']' || j == hostStart + 1)
            return std::nullopt;
        hostEnd = j + 1;
    } else {
        if (hostStart >= n || !isLabelChar(s, hostStart, n))
            return std::nullopt;
        const HostToken t = scanHost(s, hostStart, n);
        if (!t.wellFormed || (t.numeric && !isIPv4(s, hostStart, t)) || (!t.numeric && t.numericLast))
            return std::nullopt;
        hostEnd = t.end;
        wide = t.wide;
    }
    // "http://http://..." is a doubled scheme, not a host named "http".
    if (hostEnd + 2 < n && s[hostEnd] == ':' && s[hostEnd + 1] == '/' && s[hostEnd + 2] == '/')
        return std::nullopt;
    const auto host = hostText(s, hostStart, hostEnd, wide);
    if (!host)
        return std::nullopt;
    bool more = false;
    const qsizetype end = scanTail(s, hostEnd, n, &more);
    QString url;
    url.reserve(end - start + 8);
    url.append(QStringView(s + start, authority - start));
    appendEncoded(url, s, authority, hostStart);
    url.append(*host);
    appendEncoded(url, s, hostEnd, end);
    return Match {start, end - start, url};
}

// A bare domain (or an IPv4 address with a port or path) starting at `start`. The host is
// judged before the path is scanned, so a rejected name costs only its own length.
std::optional<Match> bareLink(const char16_t *s, qsizetype n, qsizetype start, const HostToken &t)
{
    if (!t.wellFormed || t.underscore || t.labels < 2)
        return std::nullopt;
    if (start > 0 && View(u"@/\\:.#%~&=$+").find(s[start - 1]) != View::npos)
        return std::nullopt;
    if (t.end < n && s[t.end] == '@') // the name part of an e-mail address
        return std::nullopt;
    const QStringView hostView(s + start, t.end - start);
    bool extensionLike = false;
    if (t.numeric) {
        if (!isIPv4(s, start, t))
            return std::nullopt;
    } else {
        if (!registrable(hostView))
            return std::nullopt;
        if (t.labels == 2) {
            const qsizetype dot = hostView.lastIndexOf(QLatin1Char('.'));
            QVarLengthArray<char16_t, 8> tld;
            for (qsizetype i = dot + 1; i < hostView.size(); ++i)
                tld.append(asciiLower(hostView[i].unicode()));
            extensionLike = isExtensionLikeTld(View(tld.data(), std::size_t(tld.size())));
        }
    }
    const auto host = hostText(s, start, t.end, t.wide);
    if (!host)
        return std::nullopt;
    bool more = false;
    const qsizetype end = scanTail(s, t.end, n, &more);
    // A lone dotted quad is more often a version than a host; "setup.sh" is a file name.
    if (!more && (t.numeric || extensionLike))
        return std::nullopt;
    QString url = QStringLiteral("http://");
    url.append(*host);
    appendEncoded(url, s, t.end, end);
    return Match {start, end - start, url};
}

// Where "http" or "https" begins in the word [start, end) that "://" follows, or -1. Scripts
// without spaces may run straight into the scheme ("見てhttps://..."); Latin letters may not.
qsizetype schemeStart(const char16_t *s, qsizetype start, qsizetype end)
{
    for (const View scheme : {View(u"https"), View(u"http")}) {
        const qsizetype at = end - qsizetype(scheme.size());
        if (at < start || !equalsAsciiNoCase(s + at, end - at, scheme))
            continue;
        if (at > start)
            return s[at - 1] >= 128 ? at : -1;
        const bool attached = start > 0 && View(u"./\\@").find(s[start - 1]) != View::npos;
        return attached ? -1 : at;
    }
    return -1;
}

} // namespace

std::optional<Match> findNext(QStringView text, qsizetype from)
{
    const auto *s = reinterpret_cast<const char16_t *>(text.utf16());
    const qsizetype n = text.size();
    qsizetype i = std::clamp<qsizetype>(from, 0, n);
    // Never start inside a word.
    while (i > 0 && i < n && isLabelChar(s, i - 1, n) && isLabelChar(s, i, n))
        ++i;
    while (i < n) {
        const char16_t c = s[i];
        if (c < 128 ? !(kChars.bits[c] & kLabel) : !isWideWordChar(s, i, n)) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        const HostToken t = scanHost(s, i, n);
        i = t.end;
        if (t.labels == 1 && i + 2 < n && s[i] == ':' && s[i + 1] == '/' && s[i + 2] == '/') {
            if (const qsizetype scheme = schemeStart(s, start, i); scheme >= 0) {
                if (auto match = schemeLink(s, n, scheme, i + 3))
                    return match;
            }
            i += 3;
            continue;
        }
        if (t.labels >= 2) {
            if (auto match = bareLink(s, n, start, t))
                return match;
        }
    }
    return std::nullopt;
}

QList<Match> findAll(QStringView text)
{
    QList<Match> matches;
    qsizetype from = 0;
    while (auto match = findNext(text, from)) {
        from = match->start + std::max<qsizetype>(match->length, 1);
        matches.append(std::move(*match));
    }
    return matches;
}

bool isRegistrableDomain(QStringView host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    return registrable(host);
}

} // namespace LinkDetector
