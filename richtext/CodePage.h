#pragma once

#include <QString>

#include <array>
#include <memory>

// Windows and Mac code pages as RTF names them (\ansicpgN, \cpgN, \fcharsetN), decoded with ICU.
namespace Rtf::CodePage {

// The code page a \fcharset value stands for; 0 when the charset names none (default, symbol).
int fromCharset(int charset);

// `codePage` when it can be decoded, else 1252.
int supported(int codePage);

// A decoder for one code page. Single-byte pages decode through a 256-entry table; double-byte
// pages (932, 936, 949, 950) keep a lead byte until its trail byte arrives.
class Decoder
{
public:
    explicit Decoder(int codePage);
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    int codePage() const { return m_codePage; }
    bool isDoubleByte() const { return m_doubleByte; }

    // Appends the characters of `byte` to `out`. A lead byte of a double-byte page is held until
    // the next call; flush() ends a pending lead byte.
    void decode(unsigned char byte, QString &out);
    void flush(QString &out);
    bool hasPending() const { return m_pending >= 0; }

private:
    int m_codePage;
    bool m_doubleByte = false;
    int m_pending = -1;
    std::array<char16_t, 256> m_table {};
    struct Icu;
    std::unique_ptr<Icu> m_icu;
};

// A byte of text in the Symbol font as the character it shows (0xB7 is a bullet, 0x61 alpha).
char16_t fromSymbol(unsigned char byte);

// The cp1252 byte of `c`, or -1 when cp1252 has none.
int toCp1252(char16_t c);

} // namespace Rtf::CodePage
