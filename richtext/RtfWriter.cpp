// RTF writer: QTextDocument to 7-bit RTF.
//
// Every paragraph starts with \pard and its properties; every run of text is a group with the
// character properties that differ from the document defaults (\f0, 12 pt), so no state leaks
// from one run to the next. Non-ASCII characters are written as \uN followed by one fallback
// character for readers without Unicode support.
//
// Lists: Qt keeps a nested list as a list object of its own; RTF readers (Word, LibreOffice,
// pandoc) expect one list with levels. A list nested under another joins the outer one's list
// definition (\ls) at its own level (\ilvl), so they see one nested list.

#include "richtext/CodePage.h"
#include "richtext/Rtf.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace Rtf {

namespace {

constexpr int MaxTwips = 31680 * 4;
constexpr int Levels = 9;

// The output: appends without the bookkeeping of QByteArray's operators.
class Out
{
public:
    void reserve(size_t n) { m_s.reserve(n); }
    Out &operator<<(char c)
    {
        m_s.push_back(c);
        return *this;
    }
    Out &operator<<(const char *s)
    {
        m_s.append(s);
        return *this;
    }
    Out &operator<<(const std::string &s)
    {
        m_s.append(s);
        return *this;
    }
    Out &operator<<(qint64 n)
    {
        char buffer[24];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, n).ptr;
        m_s.append(buffer, size_t(end - buffer));
        return *this;
    }
    Out &operator<<(int n) { return *this << qint64(n); }
    void hex(unsigned byte)
    {
        static const char digits[] = "0123456789abcdef";
        m_s.append("\\'");
        m_s.push_back(digits[(byte >> 4) & 15]);
        m_s.push_back(digits[byte & 15]);
    }
    std::string &str() { return m_s; }

private:
    std::string m_s;
};

// Where escaped text goes: a string, a byte count, or a buffer of the counted size.
struct StringSink
{
    std::string &s;
    void put(char c) { s.push_back(c); }
    void put(const char *text, size_t n) { s.append(text, n); }
};

struct CountSink
{
    qsizetype n = 0;
    void put(char) { ++n; }
    void put(const char *, size_t length) { n += qsizetype(length); }
};

struct BufferSink
{
    char *p;
    void put(char c) { *p++ = c; }
    void put(const char *text, size_t n)
    {
        std::memcpy(p, text, n);
        p += n;
    }
};

template<typename Sink>
void put(Sink &sink, const char *text)
{
    sink.put(text, std::strlen(text));
}

// Text as 7-bit RTF: ASCII as it is (with \, { and } escaped), the rest as \uN and a fallback.
class Escaper
{
public:
    template<typename Sink>
    void write(Sink &sink, QStringView text)
    {
        for (QChar ch : text) {
            const char16_t c = ch.unicode();
            if (c >= 0x20 && c < 0x7f) {
                if (c == u'\\' || c == u'{' || c == u'}')
                    sink.put('\\');
                sink.put(char(c));
                continue;
            }
            switch (c) {
            case u'\t':
                put(sink, "\\tab ");
                continue;
            case 0x2028:
            case u'\n':
            case u'\r':
                put(sink, "\\line ");
                continue;
            case 0x00a0:
                put(sink, "\\~");
                continue;
            case 0x00ad:
                put(sink, "\\-");
                continue;
            case 0x2011:
                put(sink, "\\_");
                continue;
            case 0xfffc: // images are not written
            case 0xfdd0:
            case 0xfdd1:
            case 0x2029:
                continue;
            default:
                break;
            }
            if (c < 0x20 || c == 0x7f)
                continue;
            char buffer[16] = {'\\', 'u'};
            char *end = std::to_chars(buffer + 2, buffer + 8, int(qint16(c))).ptr;
            // Always as \'hh: pandoc skips one character too many after a literal fallback.
            static const char digits[] = "0123456789abcdef";
            const unsigned byte = fallback(c);
            *end++ = '\\';
            *end++ = '\'';
            *end++ = digits[(byte >> 4) & 15];
            *end++ = digits[byte & 15];
            sink.put(buffer, size_t(end - buffer));
        }
    }

private:
    unsigned fallback(char16_t c)
    {
        if (m_fallbacks.empty())
            m_fallbacks.resize(0x10000, 0);
        quint8 &slot = m_fallbacks[c];
        if (slot)
            return slot;
        // The cp1252 byte, else the base letter, else '?'.
        int b = CodePage::toCp1252(c);
        if (b < 0x80) {
            b = '?';
            if (!QChar::isSurrogate(c) && c >= 0xc0) {
                const QString d = QChar(c).decomposition();
                if (!d.isEmpty() && d.at(0).unicode() > 0x20 && d.at(0).unicode() < 0x7f)
                    b = d.at(0).unicode();
            }
        }
        slot = quint8(b);
        return slot;
    }

    std::vector<quint8> m_fallbacks; // by UTF-16 unit; 0 until worked out
};

bool isBullet(QTextListFormat::Style style)
{
    return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle
        || style == QTextListFormat::ListSquare || style == QTextListFormat::ListStyleUndefined;
}

int levelNfc(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListDecimal:
        return 0;
    case QTextListFormat::ListUpperRoman:
        return 1;
    case QTextListFormat::ListLowerRoman:
        return 2;
    case QTextListFormat::ListUpperAlpha:
        return 3;
    case QTextListFormat::ListLowerAlpha:
        return 4;
    default:
        return 23;
    }
}

char16_t bulletChar(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListCircle:
        return 0x25e6;
    case QTextListFormat::ListSquare:
        return 0x25aa;
    default:
        return 0x2022;
    }
}

QString toAlpha(int n, bool upper)
{
    QString s;
    while (n > 0) {
        --n;
        s.prepend(QChar((upper ? 'A' : 'a') + n % 26));
        n /= 26;
    }
    return s;
}

QString toRoman(int n, bool upper)
{
    if (n <= 0 || n >= 4000)
        return QString::number(n);
    static const struct
    {
        int value;
        const char *text;
    } table[] = {{1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
                 {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
    QString s;
    for (const auto &e : table) {
        while (n >= e.value) {
            s += QLatin1String(e.text);
            n -= e.value;
        }
    }
    return upper ? s.toUpper() : s;
}

bool isEastAsian(char16_t u)
{
    return (u >= 0x1100 && u <= 0x11ff) || (u >= 0x2e80 && u <= 0xa4cf) || (u >= 0xac00 && u <= 0xd7ff)
        || (u >= 0xf900 && u <= 0xfaff) || (u >= 0xff00 && u <= 0xffef) || (u >= 0xd840 && u <= 0xd87f);
}

bool containsEastAsian(QStringView text)
{
    for (QChar c : text) {
        if (isEastAsian(c.unicode()))
            return true;
    }
    return false;
}

QString familyOf(const QTextFormat &f)
{
    const QStringList list = f.property(QTextFormat::FontFamilies).toStringList();
    if (!list.isEmpty() && !list.first().isEmpty())
        return list.first();
    return f.stringProperty(QTextFormat::OldFontFamily);
}

// One level of a list definition.
struct Level
{
    bool used = false;
    QTextListFormat::Style style = QTextListFormat::ListDisc;
    QString prefix;
    QString suffix = QStringLiteral(".");

    bool sameAs(const Level &o) const { return style == o.style && prefix == o.prefix && suffix == o.suffix; }
};

// One \ls: the lists of the document that are nested in each other.
struct Family
{
    int ls = 0;
    Level levels[Levels];
};

struct ListPlace
{
    int family = 0; // index into m_families
    int level = 0;
};

// What the writer needs of one character format, worked out once per format.
struct Format
{
    bool ready = false;
    std::string props; // control words, ending in a space when not empty
    QString family;
    QString href;
};

class Writer
{
public:
    explicit Writer(const QTextDocument &document)
        : m_document(document), m_formats(document.allFormats()), m_cache(size_t(m_formats.size()))
    { }
    QByteArray run();

private:
    void collect();
    void collectLists();
    const Format &format(int index);
    int fontIndex(const QString &family);
    int colorIndex(const QColor &color);
    void writeHeader();
    void writeText(QStringView text);
    void writeParagraph(const QTextBlock &block);
    void writeListText(const QTextBlock &block, const Level &level);
    void writeTwips(const char *word, qreal pixels);

    const QTextDocument &m_document;
    const QList<QTextFormat> m_formats; // the document's formats, by index
    std::vector<Format> m_cache; // by format index, never resized: references stay valid
    Out m_out;
    QString m_defaultFamily;
    qreal m_defaultPointSize = 12;
    QStringList m_fonts;
    QHash<QString, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    std::vector<Family> m_families;
    QHash<const QTextList *, ListPlace> m_lists;
    Escaper m_escaper;
};

int Writer::fontIndex(const QString &family)
{
    auto it = m_fontIndex.constFind(family);
    if (it != m_fontIndex.constEnd())
        return *it;
    const int index = int(m_fonts.size());
    m_fonts << family;
    m_fontIndex.insert(family, index);
    return index;
}

int Writer::colorIndex(const QColor &color)
{
    const QRgb rgb = color.rgb() | 0xff000000u;
    auto it = m_colorIndex.constFind(rgb);
    if (it != m_colorIndex.constEnd())
        return *it;
    m_colors << rgb;
    const int index = int(m_colors.size()); // index 0 is "automatic"
    m_colorIndex.insert(rgb, index);
    return index;
}

const Format &Writer::format(int index)
{
    if (index < 0 || index >= m_formats.size()) {
        static const Format none;
        return none;
    }
    Format &cached = m_cache[size_t(index)];
    if (cached.ready)
        return cached;
    cached.ready = true;
    const QTextCharFormat f = m_formats.at(index).toCharFormat();
    cached.family = familyOf(f);
    if (f.isAnchor())
        cached.href = f.anchorHref();
    if (m_defaultFamily.isNull())
        return cached; // still choosing \f0: only the family is wanted

    Out out;
    if (!cached.family.isEmpty()) {
        const int fi = fontIndex(cached.family);
        if (fi != 0)
            out << "\\f" << fi;
    }
    qreal points = 0;
    if (f.hasProperty(QTextFormat::FontPointSize))
        points = f.fontPointSize();
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
    else if (f.hasProperty(QTextFormat::FontSizeAdjustment))
        points = m_defaultPointSize * std::pow(1.2, f.intProperty(QTextFormat::FontSizeAdjustment));
    if (points <= 0)
        points = m_defaultPointSize;
    const int halfPoints = std::clamp(int(std::lround(points * 2)), 1, 3276);
    if (halfPoints != 24)
        out << "\\fs" << halfPoints;
    if (f.hasProperty(QTextFormat::FontWeight) && f.fontWeight() >= QFont::DemiBold)
        out << "\\b";
    if (f.fontItalic())
        out << "\\i";
    switch (f.underlineStyle()) {
    case QTextCharFormat::NoUnderline:
        if (f.fontUnderline())
            out << "\\ul";
        break;
    case QTextCharFormat::DashUnderline:
        out << "\\uldash";
        break;
    case QTextCharFormat::DotLine:
        out << "\\uld";
        break;
    case QTextCharFormat::DashDotLine:
        out << "\\uldashd";
        break;
    case QTextCharFormat::DashDotDotLine:
        out << "\\uldashdd";
        break;
    case QTextCharFormat::WaveUnderline:
    case QTextCharFormat::SpellCheckUnderline:
        out << "\\ulwave";
        break;
    default:
        out << "\\ul";
        break;
    }
    if (f.fontStrikeOut())
        out << "\\strike";
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        out << "\\super";
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        out << "\\sub";
    if (f.hasProperty(QTextFormat::FontCapitalization)) {
        if (f.fontCapitalization() == QFont::AllUppercase)
            out << "\\caps";
        else if (f.fontCapitalization() == QFont::SmallCaps)
            out << "\\scaps";
    }
    const QBrush fg = f.foreground();
    if (fg.style() != Qt::NoBrush && fg.color().isValid())
        out << "\\cf" << colorIndex(fg.color());
    const QBrush bg = f.background();
    if (bg.style() != Qt::NoBrush && bg.color().isValid() && bg.color().alpha() > 0) {
        // \highlight for Word and LibreOffice, \cb for TextEdit.
        const int n = colorIndex(bg.color());
        out << "\\cb" << n << "\\highlight" << n;
    }
    if (f.hasProperty(QTextFormat::TextUnderlineColor) && f.underlineColor().isValid()
        && (f.fontUnderline() || f.underlineStyle() != QTextCharFormat::NoUnderline))
        out << "\\ulc" << colorIndex(f.underlineColor());
    if (!out.str().empty())
        out << ' ';
    cached.props = std::move(out.str());
    return cached;
}

void Writer::writeText(QStringView text)
{
    StringSink sink {m_out.str()};
    m_escaper.write(sink, text);
}

void Writer::writeTwips(const char *word, qreal pixels)
{
    const long twips = std::lround(pixels * 15);
    if (twips == 0)
        return;
    m_out << word << qint64(std::clamp<long>(twips, -MaxTwips, MaxTwips));
}

void Writer::collect()
{
    const QFont font = m_document.defaultFont();
    m_defaultPointSize = font.pointSizeF() > 0 ? font.pointSizeF() : 12;
    QString defaultFamily = font.family();
    if (defaultFamily.isEmpty())
        defaultFamily = QStringLiteral("Helvetica");

    // \f0 is the family most of the text uses, so most runs need no \f; text without a family
    // takes the document's default font, so that one is \f0 when such text exists.
    QHash<QString, qint64> usage;
    bool unnamed = false;
    for (QTextBlock b = m_document.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QString &family = format(it.fragment().charFormatIndex()).family;
            if (family.isEmpty())
                unnamed = true;
            else
                usage[family] += it.fragment().length();
        }
    }
    QString first = defaultFamily;
    if (!unnamed && !usage.isEmpty()) {
        qint64 best = -1;
        for (auto it = usage.cbegin(); it != usage.cend(); ++it) {
            if (it.value() > best || (it.value() == best && it.key() < first)) {
                best = it.value();
                first = it.key();
            }
        }
    }
    m_defaultFamily = first;
    fontIndex(m_defaultFamily);
    // Now the full properties: fonts and colours in the order of first use.
    for (Format &f : m_cache)
        f.ready = false;
    for (QTextBlock b = m_document.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it)
            format(it.fragment().charFormatIndex());
    }
    collectLists();
}

void Writer::collectLists()
{
    struct Open
    {
        const QTextList *list;
        int level;
    };
    std::vector<Open> open; // the lists the current paragraph is nested in, outermost first
    for (QTextBlock b = m_document.begin(); b.isValid(); b = b.next()) {
        const QTextList *list = b.textList();
        if (!list) {
            open.clear();
            continue;
        }
        const QTextListFormat lf = list->format();
        const int level = std::clamp(lf.indent() - 1, 0, Levels - 1);
        while (!open.empty() && open.back().level >= level && open.back().list != list)
            open.pop_back();
        if (!m_lists.contains(list)) {
            Level wanted;
            wanted.used = true;
            wanted.style = lf.style();
            wanted.prefix = lf.numberPrefix();
            if (lf.hasProperty(QTextFormat::ListNumberSuffix))
                wanted.suffix = lf.numberSuffix();
            int family = -1;
            if (!open.empty() && open.back().level < level) {
                const int parent = m_lists.value(open.back().list).family;
                const Level &slot = m_families[size_t(parent)].levels[level];
                if (!slot.used || slot.sameAs(wanted))
                    family = parent;
            }
            if (family < 0) {
                m_families.emplace_back();
                m_families.back().ls = int(m_families.size());
                family = int(m_families.size() - 1);
            }
            m_families[size_t(family)].levels[level] = wanted;
            m_lists.insert(list, ListPlace {family, level});
        }
        if (open.empty() || open.back().list != list)
            open.push_back(Open {list, level});
    }
}

void Writer::writeListText(const QTextBlock &block, const Level &level)
{
    // What a reader without list support shows in front of the item.
    m_out << "{\\listtext ";
    if (isBullet(level.style)) {
        const QChar bullet(bulletChar(level.style));
        writeText(QStringView(&bullet, 1));
    } else {
        const int n = block.textList()->itemNumber(block) + 1;
        QString number;
        switch (level.style) {
        case QTextListFormat::ListLowerAlpha:
            number = toAlpha(n, false);
            break;
        case QTextListFormat::ListUpperAlpha:
            number = toAlpha(n, true);
            break;
        case QTextListFormat::ListLowerRoman:
            number = toRoman(n, false);
            break;
        case QTextListFormat::ListUpperRoman:
            number = toRoman(n, true);
            break;
        default:
            number = QString::number(n);
            break;
        }
        writeText(QString(level.prefix + number + level.suffix));
    }
    m_out << "\\tab}";
}

void Writer::writeParagraph(const QTextBlock &block)
{
    const QTextBlockFormat bf = block.blockFormat();
    m_out << "\\pard";
    const Level *level = nullptr;
    ListPlace place;
    if (const QTextList *list = block.textList()) {
        auto it = m_lists.constFind(list);
        if (it != m_lists.constEnd()) {
            place = *it;
            level = &m_families[size_t(place.family)].levels[place.level];
        }
    }
    switch (bf.alignment() & Qt::AlignHorizontal_Mask) {
    case Qt::AlignHCenter:
        m_out << "\\qc";
        break;
    case Qt::AlignRight:
        m_out << "\\qr";
        break;
    case Qt::AlignJustify:
        m_out << "\\qj";
        break;
    default:
        break;
    }
    if (bf.layoutDirection() == Qt::RightToLeft)
        m_out << "\\rtlpar";
    if (level) {
        m_out << "\\fi-360\\li" << 720 * (place.level + 1);
    } else {
        writeTwips("\\li", bf.leftMargin() + bf.indent() * m_document.indentWidth());
        writeTwips("\\fi", bf.textIndent());
    }
    writeTwips("\\ri", bf.rightMargin());
    if (bf.topMargin() > 0)
        writeTwips("\\sb", bf.topMargin());
    if (bf.bottomMargin() > 0)
        writeTwips("\\sa", bf.bottomMargin());
    const qreal lineHeight = bf.lineHeight();
    switch (bf.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight:
        if (lineHeight > 0 && std::lround(lineHeight) != 100)
            m_out << "\\sl" << qint64(std::lround(std::min(lineHeight, 10000.0) * 2.4)) << "\\slmult1";
        break;
    case QTextBlockFormat::FixedHeight:
        if (lineHeight > 0)
            m_out << "\\sl-" << qint64(std::lround(std::min(lineHeight * 15, qreal(MaxTwips))))
                  << "\\slmult0";
        break;
    case QTextBlockFormat::MinimumHeight:
        if (lineHeight > 0)
            m_out << "\\sl" << qint64(std::lround(std::min(lineHeight * 15, qreal(MaxTwips)))) << "\\slmult0";
        break;
    default:
        break;
    }
    for (const QTextOption::Tab &tab : bf.tabPositions()) {
        switch (tab.type) {
        case QTextOption::RightTab:
            m_out << "\\tqr";
            break;
        case QTextOption::CenterTab:
            m_out << "\\tqc";
            break;
        case QTextOption::DelimiterTab:
            m_out << "\\tqdec";
            break;
        default:
            break;
        }
        m_out << "\\tx" << qint64(std::clamp<long>(std::lround(tab.position * 15), 0, MaxTwips));
    }
    if (bf.headingLevel() > 0 && bf.headingLevel() <= 6)
        m_out << "\\outlinelevel" << bf.headingLevel() - 1;
    if (level)
        m_out << "\\ls" << m_families[size_t(place.family)].ls << "\\ilvl" << place.level;
    m_out << ' ';
    if (level)
        writeListText(block, *level);

    const QString *openHref = nullptr;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const Format &f = format(fragment.charFormatIndex());
        if (openHref && (f.href.isEmpty() || *openHref != f.href)) {
            m_out << "}}}";
            openHref = nullptr;
        }
        if (!openHref && !f.href.isEmpty()) {
            m_out << "{\\field{\\*\\fldinst{HYPERLINK \"";
            QString escaped = f.href;
            escaped.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("%22"));
            writeText(escaped);
            m_out << "\"}}{\\fldrslt{";
            openHref = &f.href;
        }
        const QString text = fragment.text();
        if (containsEastAsian(text)) {
            // LibreOffice takes the font of East Asian text from \dbch\af only.
            m_out << "{\\dbch\\af" << (f.family.isEmpty() ? 0 : fontIndex(f.family)) << ' ' << f.props;
            writeText(text);
            m_out << '}';
        } else if (f.props.empty()) {
            writeText(text);
        } else {
            m_out << '{' << f.props;
            writeText(text);
            m_out << '}';
        }
    }
    if (openHref)
        m_out << "}}}";
    m_out << "\\par\n";
}

void Writer::writeHeader()
{
    m_out << "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        m_out << "{\\f" << qint64(i) << "\\fnil\\fcharset0 ";
        QString name = m_fonts.at(i);
        name.remove(u';');
        writeText(name);
        m_out << ";}";
    }
    m_out << "}\n{\\colortbl;";
    for (QRgb rgb : std::as_const(m_colors))
        m_out << "\\red" << qRed(rgb) << "\\green" << qGreen(rgb) << "\\blue" << qBlue(rgb) << ';';
    m_out << "}\n";
    if (m_families.empty())
        return;
    m_out << "{\\*\\listtable";
    for (const Family &family : m_families) {
        m_out << "{\\list\\listtemplateid" << family.ls << "\\listhybrid";
        for (int n = 0; n < Levels; ++n) {
            Level level = family.levels[n];
            if (!level.used) // a level no list uses: Word's pattern of bullets
                level.style = QTextListFormat::ListDisc;
            const int nfc = levelNfc(level.style);
            m_out << "{\\listlevel\\levelnfc" << nfc << "\\levelnfcn" << nfc
                  << "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1";
            if (isBullet(level.style)) {
                m_out << "{\\leveltext\\'01";
                const QChar bullet(bulletChar(level.style));
                writeText(QStringView(&bullet, 1));
                m_out << ";}{\\levelnumbers;}";
            } else {
                // A length, the prefix, this level's number (\'0n), the suffix.
                m_out << "{\\leveltext";
                m_out.hex(unsigned(std::min<qsizetype>(level.prefix.size() + level.suffix.size() + 1, 255)));
                writeText(level.prefix);
                m_out.hex(unsigned(n));
                writeText(level.suffix);
                m_out << ";}{\\levelnumbers";
                m_out.hex(unsigned(std::min<qsizetype>(level.prefix.size() + 1, 255)));
                m_out << ";}";
            }
            m_out << "\\fi-360\\li" << 720 * (n + 1) << "}";
        }
        m_out << "{\\listname ;}\\listid" << family.ls << "}";
    }
    m_out << "}\n{\\*\\listoverridetable";
    for (const Family &family : m_families)
        m_out << "{\\listoverride\\listid" << family.ls << "\\listoverridecount0\\ls" << family.ls << "}";
    m_out << "}\n";
}

QByteArray Writer::run()
{
    collect();
    m_out.reserve(size_t(m_document.characterCount()) * 3 + 4096);
    writeHeader();
    // Every paragraph ends with \par; a reader drops the last one, so an empty last paragraph
    // survives and an empty document writes none.
    if (!(m_document.blockCount() == 1 && m_document.begin().length() <= 1)) {
        for (QTextBlock b = m_document.begin(); b.isValid(); b = b.next())
            writeParagraph(b);
    }
    m_out << '}';
    return QByteArray(m_out.str().data(), qsizetype(m_out.str().size()));
}

// The document setPlainText() would make of a text, written as Writer writes it: the text's
// line breaks end paragraphs, and every run has the default font.
class PlainWriter
{
public:
    explicit PlainWriter(QStringView text) : m_text(text)
    {
        const QFont font;
        m_family = font.family().isEmpty() ? QStringLiteral("Helvetica") : font.family();
        m_family.remove(u';');
        const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : 12;
        const int halfPoints = std::clamp(int(std::lround(points * 2)), 1, 3276);
        if (halfPoints != 24)
            m_props = "\\fs" + std::to_string(halfPoints) + ' ';
    }

    QByteArray run()
    {
        // Counted first, so the only copy of a large text's RTF is the one returned.
        CountSink count;
        write(count);
        QByteArray out(count.n, Qt::Uninitialized);
        BufferSink buffer {out.data()};
        write(buffer);
        Q_ASSERT(buffer.p == out.data() + out.size());
        return out;
    }

private:
    template<typename Sink>
    void write(Sink &sink)
    {
        put(sink, "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl{\\f0\\fnil\\fcharset0 ");
        m_escaper.write(sink, m_family);
        put(sink, ";}}\n{\\colortbl;}\n");
        const qsizetype n = m_text.size();
        qsizetype start = 0;
        for (qsizetype i = 0; n > 0 && i <= n; ++i) {
            qsizetype next = i + 1;
            if (i < n) {
                const char16_t c = m_text[i].unicode();
                if (c == u'\r' && i + 1 < n && m_text[i + 1] == u'\n')
                    next = i + 2;
                else if (c != u'\n' && c != u'\r' && c != 0x2029 && c != 0xfdd0 && c != 0xfdd1)
                    continue;
            }
            paragraph(sink, m_text.sliced(start, i - start));
            start = next;
            i = next - 1;
        }
        sink.put('}');
    }

    template<typename Sink>
    void paragraph(Sink &sink, QStringView text)
    {
        put(sink, "\\pard ");
        if (!text.isEmpty()) {
            const bool eastAsian = containsEastAsian(text);
            if (eastAsian)
                put(sink, "{\\dbch\\af0 ");
            else if (!m_props.empty())
                sink.put('{');
            sink.put(m_props.data(), m_props.size());
            m_escaper.write(sink, text);
            if (eastAsian || !m_props.empty())
                sink.put('}');
        }
        put(sink, "\\par\n");
    }

    QStringView m_text;
    QString m_family;
    std::string m_props;
    Escaper m_escaper;
};

} // namespace

QByteArray write(const QTextDocument &document)
{
    return Writer(document).run();
}

QByteArray writePlainText(QStringView text)
{
    return PlainWriter(text).run();
}

} // namespace Rtf
