#pragma once

#include <QByteArrayView>
#include <QString>

// A strict, non-recursive reader of JSON text (RFC 8259) for the stored lists. It reads the
// values the lists are made of and validates and skips everything else without building it,
// which keeps loading a list of tens of megabytes fast and nesting depth harmless.
class JsonReader
{
public:
    explicit JsonReader(QByteArrayView data) : m_p(data.data()), m_end(data.data() + data.size()) { }

    void skipWhitespace();
    // Skips white space, then consumes `c` when it comes next.
    bool consume(char c);
    bool atEnd();

    // A string token at the current position: its raw bytes without the quotes, and whether
    // it holds escapes. The escapes are checked for form here.
    bool scanString(QByteArrayView *raw, bool *escaped);
    // The "null" literal, when it comes next.
    bool consumeNull();
    // Any one JSON value, validated and ignored.
    bool skipValue();

    // The characters of a scanned string. Invalid UTF-8 and unpaired surrogate escapes become
    // U+FFFD rather than failing the whole list.
    static QString decode(QByteArrayView raw, bool escaped);

    static constexpr int maxDepth = 4096;

private:
    bool scanNumber();
    bool scanLiteral(const char *word);

    const char *m_p;
    const char *m_end;
};
