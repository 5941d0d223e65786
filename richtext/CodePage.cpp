#include "richtext/CodePage.h"

#include <QMutex>
#include <QMutexLocker>

#include <map>

#include <unicode/ucnv.h>

namespace Rtf::CodePage {

namespace {

const char *icuName(int codePage)
{
    switch (codePage) {
    case 437:
        return "ibm-437";
    case 737:
        return "ibm-737";
    case 775:
        return "ibm-775";
    case 850:
        return "ibm-850";
    case 852:
        return "ibm-852";
    case 855:
        return "ibm-855";
    case 857:
        return "ibm-857";
    case 860:
        return "ibm-860";
    case 861:
        return "ibm-861";
    case 862:
        return "ibm-862";
    case 863:
        return "ibm-863";
    case 864:
        return "ibm-864";
    case 865:
        return "ibm-865";
    case 866:
        return "ibm-866";
    case 869:
        return "ibm-869";
    case 874:
        return "windows-874";
    case 932:
        return "windows-932";
    case 936:
        return "windows-936";
    case 949:
        return "windows-949-2000";
    case 950:
        return "windows-950-2000";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1252:
        return "windows-1252";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    case 10000:
        return "macintosh";
    // Mac double-byte pages: the Windows pages cover the same characters.
    case 10001:
        return "windows-932";
    case 10002:
        return "windows-950-2000";
    case 10003:
        return "windows-949-2000";
    case 10008:
        return "windows-936";
    case 10006:
        return "x-mac-greek";
    case 10007:
        return "x-mac-cyrillic";
    case 10029:
        return "x-mac-centraleurope";
    case 10081:
        return "x-mac-turkish";
    case 20127:
        return "us-ascii";
    case 20866:
        return "koi8-r";
    case 21866:
        return "koi8-u";
    case 28591:
        return "iso-8859-1";
    case 28592:
        return "iso-8859-2";
    case 28595:
        return "iso-8859-5";
    case 28597:
        return "iso-8859-7";
    case 28605:
        return "iso-8859-15";
    case 54936:
        return "gb18030";
    case 65001:
        return "utf-8";
    default:
        return nullptr;
    }
}

UConverter *openConverter(int codePage)
{
    const char *name = icuName(codePage);
    if (!name)
        return nullptr;
    UErrorCode error = U_ZERO_ERROR;
    UConverter *converter = ucnv_open(name, &error);
    if (U_FAILURE(error)) {
        if (converter)
            ucnv_close(converter);
        return nullptr;
    }
    return converter;
}

using Table = std::array<char16_t, 256>;

// Tables of single-byte pages, built once per process from ICU.
struct TableCache
{
    QMutex mutex;
    std::map<int, std::shared_ptr<const Table>> tables;
};

TableCache &tableCache()
{
    static TableCache cache;
    return cache;
}

std::shared_ptr<const Table> buildTable(UConverter *converter)
{
    auto table = std::make_shared<Table>();
    for (int b = 0; b < 256; ++b) {
        const char in = char(b);
        UChar out[4] = {};
        UErrorCode error = U_ZERO_ERROR;
        ucnv_reset(converter);
        const int n = ucnv_toUChars(converter, out, 4, &in, 1, &error);
        (*table)[b] =
            (U_SUCCESS(error) && n == 1 && out[0] != 0x1a) || b == 0x1a ? char16_t(out[0]) : u'\uFFFD';
        if (b < 0x80 && (*table)[b] == u'\uFFFD')
            (*table)[b] = char16_t(b);
    }
    return table;
}

} // namespace

int supported(int codePage)
{
    return icuName(codePage) ? codePage : 1252;
}

int fromCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252;
    case 77:
        return 10000;
    case 78:
        return 10001;
    case 79:
        return 10003;
    case 80:
        return 10008;
    case 81:
        return 10002;
    case 85:
        return 10006;
    case 86:
        return 10081;
    case 88:
        return 10029;
    case 89:
        return 10007;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0; // 1 (default), 2 (symbol) and unknown values: the document's page
    }
}

struct Decoder::Icu
{
    UConverter *converter = nullptr;
    ~Icu()
    {
        if (converter)
            ucnv_close(converter);
    }
};

Decoder::Decoder(int codePage) : m_codePage(codePage)
{
    if (!icuName(codePage))
        m_codePage = 1252;
    UConverter *converter = openConverter(m_codePage);
    if (!converter) {
        m_codePage = 1252;
        converter = openConverter(m_codePage);
    }
    if (converter && ucnv_getMaxCharSize(converter) > 1) {
        m_doubleByte = true;
        m_icu = std::make_unique<Icu>();
        m_icu->converter = converter;
        return;
    }
    TableCache &cache = tableCache();
    QMutexLocker lock(&cache.mutex);
    auto &slot = cache.tables[m_codePage];
    if (!slot) {
        if (converter) {
            slot = buildTable(converter);
        } else { // no ICU data at all: Latin-1
            auto table = std::make_shared<Table>();
            for (int b = 0; b < 256; ++b)
                (*table)[b] = char16_t(b);
            slot = table;
        }
    }
    m_table = *slot;
    if (converter)
        ucnv_close(converter);
}

Decoder::~Decoder() = default;

void Decoder::decode(unsigned char byte, QString &out)
{
    if (!m_doubleByte) {
        out.append(QChar(m_table[byte]));
        return;
    }
    UChar buffer[8];
    UChar *target = buffer;
    const char in = char(byte);
    const char *source = &in;
    UErrorCode error = U_ZERO_ERROR;
    ucnv_toUnicode(m_icu->converter, &target, buffer + 8, &source, &in + 1, nullptr, false, &error);
    if (target > buffer)
        out.append(reinterpret_cast<const QChar *>(buffer), target - buffer);
    error = U_ZERO_ERROR;
    m_pending = ucnv_toUCountPending(m_icu->converter, &error) > 0 ? 1 : -1;
}

void Decoder::flush(QString &out)
{
    if (!m_doubleByte || m_pending < 0)
        return;
    ucnv_reset(m_icu->converter);
    m_pending = -1;
    out.append(QChar(0xFFFD));
}

char16_t fromSymbol(unsigned char byte)
{
    // The Symbol font's encoding from 0x20; bytes it leaves undefined stay in the private use
    // area where Word puts Symbol characters (U+F000 + byte).
    static const char16_t table[224] = {
        0x0020, 0x0021, 0x2200, 0x0023, 0x2203, 0x0025, 0x0026, 0x220b, 0x0028, 0x0029, 0x2217, 0x002b,
        0x002c, 0x2212, 0x002e, 0x002f, 0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
        0x0038, 0x0039, 0x003a, 0x003b, 0x003c, 0x003d, 0x003e, 0x003f, 0x2245, 0x0391, 0x0392, 0x03a7,
        0x0394, 0x0395, 0x03a6, 0x0393, 0x0397, 0x0399, 0x03d1, 0x039a, 0x039b, 0x039c, 0x039d, 0x039f,
        0x03a0, 0x0398, 0x03a1, 0x03a3, 0x03a4, 0x03a5, 0x03c2, 0x03a9, 0x039e, 0x03a8, 0x0396, 0x005b,
        0x2234, 0x005d, 0x22a5, 0x005f, 0x203e, 0x03b1, 0x03b2, 0x03c7, 0x03b4, 0x03b5, 0x03c6, 0x03b3,
        0x03b7, 0x03b9, 0x03d5, 0x03ba, 0x03bb, 0x03bc, 0x03bd, 0x03bf, 0x03c0, 0x03b8, 0x03c1, 0x03c3,
        0x03c4, 0x03c5, 0x03d6, 0x03c9, 0x03be, 0x03c8, 0x03b6, 0x007b, 0x007c, 0x007d, 0x223c, 0xf07f,
        0xf080, 0xf081, 0xf082, 0xf083, 0xf084, 0xf085, 0xf086, 0xf087, 0xf088, 0xf089, 0xf08a, 0xf08b,
        0xf08c, 0xf08d, 0xf08e, 0xf08f, 0xf090, 0xf091, 0xf092, 0xf093, 0xf094, 0xf095, 0xf096, 0xf097,
        0xf098, 0xf099, 0xf09a, 0xf09b, 0xf09c, 0xf09d, 0xf09e, 0xf09f, 0x20ac, 0x03d2, 0x2032, 0x2264,
        0x2044, 0x221e, 0x0192, 0x2663, 0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193,
        0x00b0, 0x00b1, 0x2033, 0x2265, 0x00d7, 0x221d, 0x2202, 0x2022, 0x00f7, 0x2260, 0x2261, 0x2248,
        0x2026, 0x23d0, 0x23af, 0x21b5, 0x2135, 0x2111, 0x211c, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229,
        0x222a, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, 0x2220, 0x2207, 0x00ae, 0x00a9,
        0x2122, 0x220f, 0x221a, 0x22c5, 0x00ac, 0x2227, 0x2228, 0x21d4, 0x21d0, 0x21d1, 0x21d2, 0x21d3,
        0x25ca, 0x2329, 0x00ae, 0x00a9, 0x2122, 0x2211, 0x239b, 0x239c, 0x239d, 0x23a1, 0x23a2, 0x23a3,
        0x23a7, 0x23a8, 0x23a9, 0x23aa, 0xf0f0, 0x232a, 0x222b, 0x2320, 0x23ae, 0x2321, 0x239e, 0x239f,
        0x23a0, 0x23a4, 0x23a5, 0x23a6, 0x23ab, 0x23ac, 0x23ad, 0xf0ff,
    };
    return byte < 0x20 ? char16_t(byte) : table[byte - 0x20];
}

int toCp1252(char16_t c)
{
    if (c < 0x80 || (c >= 0xa0 && c <= 0xff))
        return c;
    static const char16_t high[32] = {0x20ac, 0,      0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021,
                                      0x02c6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017d, 0,
                                      0,      0x2018, 0x2019, 0x201c, 0x201d, 0x2022, 0x2013, 0x2014,
                                      0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0,      0x017e, 0x0178};
    for (int i = 0; i < 32; ++i) {
        if (high[i] == c)
            return 0x80 + i;
    }
    return -1;
}

} // namespace Rtf::CodePage
