#include "model/JsonReader.h"

#include <cstring>
#include <vector>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void JsonReader::skipWhitespace()
{
    while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
        ++m_p;
}

bool JsonReader::consume(char c)
{
    skipWhitespace();
    if (m_p < m_end && *m_p == c) {
        ++m_p;
        return true;
    }
    return false;
}

bool JsonReader::atEnd()
{
    skipWhitespace();
    return m_p == m_end;
}

bool JsonReader::scanString(QByteArrayView *raw, bool *escaped)
{
    skipWhitespace();
    if (m_p >= m_end || *m_p != '"')
        return false;
    const char *start = ++m_p;
    bool hasEscape = false;
    while (m_p < m_end) {
        const unsigned char c = static_cast<unsigned char>(*m_p);
        if (c == '"') {
            *raw = QByteArrayView(start, m_p - start);
            *escaped = hasEscape;
            ++m_p;
            return true;
        }
        if (c < 0x20)
            return false;
        if (c != '\\') {
            ++m_p;
            continue;
        }
        hasEscape = true;
        if (++m_p >= m_end)
            return false;
        switch (*m_p) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't':
            ++m_p;
            break;
        case 'u':
            if (m_end - m_p < 5)
                return false;
            for (int i = 1; i <= 4; ++i) {
                if (hexValue(m_p[i]) < 0)
                    return false;
            }
            m_p += 5;
            break;
        default:
            return false;
        }
    }
    return false;
}

bool JsonReader::scanLiteral(const char *word)
{
    const size_t n = std::strlen(word);
    if (size_t(m_end - m_p) < n || std::memcmp(m_p, word, n) != 0)
        return false;
    m_p += n;
    return true;
}

bool JsonReader::consumeNull()
{
    skipWhitespace();
    return scanLiteral("null");
}

bool JsonReader::scanNumber()
{
    if (m_p < m_end && *m_p == '-')
        ++m_p;
    if (m_p >= m_end || !isDigit(*m_p))
        return false;
    if (*m_p == '0') {
        ++m_p;
    } else {
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
    }
    if (m_p < m_end && *m_p == '.') {
        ++m_p;
        if (m_p >= m_end || !isDigit(*m_p))
            return false;
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
    }
    if (m_p < m_end && (*m_p == 'e' || *m_p == 'E')) {
        ++m_p;
        if (m_p < m_end && (*m_p == '+' || *m_p == '-'))
            ++m_p;
        if (m_p >= m_end || !isDigit(*m_p))
            return false;
        while (m_p < m_end && isDigit(*m_p))
            ++m_p;
    }
    return true;
}

bool JsonReader::skipValue()
{
    // Open containers, innermost last; a loop instead of recursion so depth cannot overflow.
    std::vector<char> open;
    QByteArrayView raw;
    bool escaped = false;
    while (true) {
        skipWhitespace();
        if (m_p >= m_end)
            return false;
        bool valueDone = true;
        switch (*m_p) {
        case '{':
            ++m_p;
            if (consume('}'))
                break;
            if (open.size() >= maxDepth || !scanString(&raw, &escaped) || !consume(':'))
                return false;
            open.push_back('{');
            valueDone = false;
            break;
        case '[':
            ++m_p;
            if (consume(']'))
                break;
            if (open.size() >= maxDepth)
                return false;
            open.push_back('[');
            valueDone = false;
            break;
        case '"':
            if (!scanString(&raw, &escaped))
                return false;
            break;
        case 't':
            if (!scanLiteral("true"))
                return false;
            break;
        case 'f':
            if (!scanLiteral("false"))
                return false;
            break;
        case 'n':
            if (!scanLiteral("null"))
                return false;
            break;
        default:
            if (!scanNumber())
                return false;
        }
        if (!valueDone)
            continue;
        // A value ended: close containers until one continues with another member.
        while (true) {
            if (open.empty())
                return true;
            if (consume(',')) {
                if (open.back() == '{' && (!scanString(&raw, &escaped) || !consume(':')))
                    return false;
                break;
            }
            if (!consume(open.back() == '{' ? '}' : ']'))
                return false;
            open.pop_back();
        }
    }
}

QString JsonReader::decode(QByteArrayView raw, bool escaped)
{
    if (!escaped)
        return QString::fromUtf8(raw);
    QString out;
    out.reserve(raw.size());
    const char *p = raw.data();
    const char *end = p + raw.size();
    const auto readHex4 = [](const char *at) {
        return char16_t((hexValue(at[0]) << 12) | (hexValue(at[1]) << 8) | (hexValue(at[2]) << 4)
                        | hexValue(at[3]));
    };
    while (p < end) {
        const char *run = p;
        while (p < end && *p != '\\')
            ++p;
        if (p > run)
            out += QString::fromUtf8(run, p - run);
        if (p >= end)
            break;
        // The escape was checked by scanString.
        const char kind = p[1];
        p += 2;
        switch (kind) {
        case 'b':
            out += u'\b';
            break;
        case 'f':
            out += u'\f';
            break;
        case 'n':
            out += u'\n';
            break;
        case 'r':
            out += u'\r';
            break;
        case 't':
            out += u'\t';
            break;
        case 'u': {
            const char16_t unit = readHex4(p);
            p += 4;
            if (QChar::isHighSurrogate(unit) && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
                const char16_t low = readHex4(p + 2);
                if (QChar::isLowSurrogate(low)) {
                    out += QChar(unit);
                    out += QChar(low);
                    p += 6;
                    break;
                }
            }
            out += QChar::isSurrogate(unit) ? QChar(QChar::ReplacementCharacter) : QChar(unit);
            break;
        }
        default:
            out += QLatin1Char(kind);
        }
    }
    return out;
}
