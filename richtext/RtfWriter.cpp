// RTF writer: QTextDocument to 7-bit RTF.
//
// Every paragraph starts with \pard and its properties; every run of text is a group with the
// character properties that differ from the document defaults (\f0, 12 pt), so no state leaks
// from one run to the next. Non-ASCII characters are written as \uN followed by one fallback
// character: the cp1252 byte as \'hh when there is one, else an ASCII letter or '?'.

#include "richtext/CodePage.h"
#include "richtext/Rtf.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <cmath>

namespace Rtf {

namespace {

struct ListInfo
{
    int ls = 0;
    int level = 0; // 0-based
    QTextListFormat::Style style = QTextListFormat::ListDisc;
    QString prefix;
    QString suffix;
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

class Writer
{
public:
    explicit Writer(const QTextDocument &document) : m_document(document) { }
    QByteArray run();

private:
    void collect();
    int fontIndex(const QString &family);
    int colorIndex(const QColor &color);
    const QByteArray &charProps(const QTextFragment &fragment);
    void writeText(QByteArray &out, QStringView text);
    void writeParagraph(QByteArray &out, const QTextBlock &block);
    void writeListText(QByteArray &out, const QTextBlock &block, const ListInfo &info);
    static void writeTwips(QByteArray &out, const char *word, qreal pixels);

    const QTextDocument &m_document;
    QString m_defaultFamily;
    qreal m_defaultPointSize = 12;
    QStringList m_fonts;
    QHash<QString, int> m_fontIndex;
    QList<QRgb> m_colors;
    QHash<QRgb, int> m_colorIndex;
    QHash<int, QByteArray> m_charProps; // by the document's format index
    QHash<const QTextList *, ListInfo> m_lists;
    QList<const QTextList *> m_listOrder;
    QString m_currentHref;
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

bool containsEastAsian(QStringView text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x1100 && u <= 0x11ff) || (u >= 0x2e80 && u <= 0xa4cf) || (u >= 0xac00 && u <= 0xd7ff)
            || (u >= 0xf900 && u <= 0xfaff) || (u >= 0xff00 && u <= 0xffef) || (u >= 0xd840 && u <= 0xd87f))
            return true;
    }
    return false;
}

QString familyOf(const QTextCharFormat &f)
{
    const QVariant families = f.property(QTextFormat::FontFamilies);
    if (families.isValid()) {
        const QStringList list = families.toStringList();
        if (!list.isEmpty() && !list.first().isEmpty())
            return list.first();
    }
    const QString family = f.stringProperty(QTextFormat::FontFamily);
    return family;
}

const QByteArray &Writer::charProps(const QTextFragment &fragment)
{
    const int index = fragment.charFormatIndex();
    auto it = m_charProps.find(index);
    if (it != m_charProps.end())
        return *it;
    const QTextCharFormat f = fragment.charFormat();
    QByteArray out;
    const QString family = familyOf(f);
    if (!family.isEmpty()) {
        const int fi = fontIndex(family);
        if (fi != 0)
            out += "\\f" + QByteArray::number(fi);
    }
    qreal points = 0;
    if (f.hasProperty(QTextFormat::FontPointSize))
        points = f.fontPointSize();
    else if (f.hasProperty(QTextFormat::FontPixelSize))
        points = f.intProperty(QTextFormat::FontPixelSize) * 0.75;
    else if (f.hasProperty(QTextFormat::FontSizeAdjustment))
        points = m_defaultPointSize * std::pow(1.2, f.intProperty(QTextFormat::FontSizeAdjustment));
    if (points > 0) {
        const int halfPoints = std::clamp(int(std::lround(points * 2)), 1, 3276);
        if (halfPoints != 24)
            out += "\\fs" + QByteArray::number(halfPoints);
    } else if (std::lround(m_defaultPointSize * 2) != 24) {
        out += "\\fs" + QByteArray::number(std::clamp(int(std::lround(m_defaultPointSize * 2)), 1, 3276));
    }
    if (f.hasProperty(QTextFormat::FontWeight) && f.fontWeight() >= QFont::DemiBold)
        out += "\\b";
    if (f.fontItalic())
        out += "\\i";
    switch (f.underlineStyle()) {
    case QTextCharFormat::NoUnderline:
        if (f.fontUnderline())
            out += "\\ul";
        break;
    case QTextCharFormat::DashUnderline:
        out += "\\uldash";
        break;
    case QTextCharFormat::DotLine:
        out += "\\uld";
        break;
    case QTextCharFormat::DashDotLine:
        out += "\\uldashd";
        break;
    case QTextCharFormat::DashDotDotLine:
        out += "\\uldashdd";
        break;
    case QTextCharFormat::WaveUnderline:
    case QTextCharFormat::SpellCheckUnderline:
        out += "\\ulwave";
        break;
    default:
        out += "\\ul";
        break;
    }
    if (f.fontStrikeOut())
        out += "\\strike";
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        out += "\\super";
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        out += "\\sub";
    if (f.hasProperty(QTextFormat::FontCapitalization)) {
        if (f.fontCapitalization() == QFont::AllUppercase)
            out += "\\caps";
        else if (f.fontCapitalization() == QFont::SmallCaps)
            out += "\\scaps";
    }
    const QBrush fg = f.foreground();
    if (fg.style() != Qt::NoBrush && fg.color().isValid())
        out += "\\cf" + QByteArray::number(colorIndex(fg.color()));
    const QBrush bg = f.background();
    if (bg.style() != Qt::NoBrush && bg.color().isValid() && bg.color().alpha() > 0) {
        const QByteArray n = QByteArray::number(colorIndex(bg.color()));
        out += "\\cb" + n + "\\highlight" + n;
    }
    if (f.hasProperty(QTextFormat::TextUnderlineColor) && f.underlineColor().isValid()
        && (f.fontUnderline() || f.underlineStyle() != QTextCharFormat::NoUnderline))
        out += "\\ulc" + QByteArray::number(colorIndex(f.underlineColor()));
    if (!out.isEmpty())
        out += ' ';
    return *m_charProps.insert(index, out);
}

void Writer::writeText(QByteArray &out, QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x20 && c < 0x7f) {
            if (c == u'\\' || c == u'{' || c == u'}')
                out += '\\';
            out += char(c);
            continue;
        }
        switch (c) {
        case u'\t':
            out += "\\tab ";
            continue;
        case 0x2028:
        case u'\n':
        case u'\r':
            out += "\\line ";
            continue;
        case 0x00a0:
            out += "\\~";
            continue;
        case 0x00ad:
            out += "\\-";
            continue;
        case 0x2011:
            out += "\\_";
            continue;
        case 0xfffc: // images are not exported
        case 0xfdd0:
        case 0xfdd1:
        case 0x2029:
            continue;
        default:
            break;
        }
        if (c < 0x20 || c == 0x7f)
            continue;
        out += "\\u";
        out += QByteArray::number(int(qint16(c)));
        // The fallback for readers without Unicode support: the cp1252 byte, else the base
        // letter, else '?'. Always as \'hh: pandoc skips one character too many after a literal one.
        int fallback = CodePage::toCp1252(c);
        if (fallback < 0x80) {
            fallback = '?';
            if (!QChar::isSurrogate(c) && c >= 0xc0) {
                const QString d = QChar(c).decomposition();
                if (!d.isEmpty() && d.at(0).unicode() > 0x20 && d.at(0).unicode() < 0x7f)
                    fallback = d.at(0).unicode();
            }
        }
        static const char hex[] = "0123456789abcdef";
        out += "\\'";
        out += hex[fallback >> 4];
        out += hex[fallback & 15];
    }
}

void Writer::writeTwips(QByteArray &out, const char *word, qreal pixels)
{
    const long twips = std::lround(pixels * 15);
    if (twips == 0)
        return;
    out += word;
    out += QByteArray::number(qint64(std::clamp<long>(twips, -31680 * 4, 31680 * 4)));
}

void Writer::collect()
{
    m_defaultFamily = m_document.defaultFont().family();
    if (m_defaultFamily.isEmpty())
        m_defaultFamily = QStringLiteral("Helvetica");
    const QFont font = m_document.defaultFont();
    m_defaultPointSize = font.pointSizeF() > 0 ? font.pointSizeF() : 12;
    // \f0 is the family most of the text uses, so most runs need no \f; text without a family
    // takes the document's default font, so that one is \f0 when such text exists.
    QHash<QString, qint64> usage;
    bool unnamed = false;
    for (QTextBlock b = m_document.begin(); b.isValid() && !unnamed; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QString family = familyOf(it.fragment().charFormat());
            if (family.isEmpty()) {
                unnamed = true;
                break;
            }
            usage[family] += it.fragment().length();
        }
    }
    QString first = m_defaultFamily;
    if (!unnamed && !usage.isEmpty()) {
        qint64 best = -1;
        for (auto it = usage.cbegin(); it != usage.cend(); ++it) {
            if (it.value() > best || (it.value() == best && it.key() < first)) {
                best = it.value();
                first = it.key();
            }
        }
        m_defaultFamily = first;
    }
    fontIndex(m_defaultFamily);
    int nextLs = 1;
    for (QTextBlock b = m_document.begin(); b.isValid(); b = b.next()) {
        if (QTextList *list = b.textList(); list && !m_lists.contains(list)) {
            const QTextListFormat lf = list->format();
            ListInfo info;
            info.ls = nextLs++;
            info.level = std::clamp(lf.indent() - 1, 0, 8);
            info.style = lf.style();
            info.prefix = lf.numberPrefix();
            info.suffix =
                lf.hasProperty(QTextFormat::ListNumberSuffix) ? lf.numberSuffix() : QStringLiteral(".");
            m_lists.insert(list, info);
            m_listOrder << list;
        }
        for (auto it = b.begin(); !it.atEnd(); ++it)
            charProps(it.fragment()); // registers fonts and colours
    }
}

void Writer::writeListText(QByteArray &out, const QTextBlock &block, const ListInfo &info)
{
    // What a reader without list support shows in front of the item.
    out += "{\\listtext ";
    if (isBullet(info.style)) {
        writeText(out, QString(QChar(bulletChar(info.style))));
    } else {
        const int n = block.textList()->itemNumber(block) + 1;
        QString number;
        switch (info.style) {
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
        writeText(out, info.prefix + number + info.suffix);
    }
    out += "\\tab}";
}

void Writer::writeParagraph(QByteArray &out, const QTextBlock &block)
{
    const QTextBlockFormat bf = block.blockFormat();
    out += "\\pard";
    const QTextList *list = block.textList();
    const ListInfo *info = nullptr;
    if (list) {
        auto it = m_lists.constFind(list);
        if (it != m_lists.constEnd())
            info = &*it;
    }
    switch (bf.alignment() & Qt::AlignHorizontal_Mask) {
    case Qt::AlignHCenter:
        out += "\\qc";
        break;
    case Qt::AlignRight:
        out += "\\qr";
        break;
    case Qt::AlignJustify:
        out += "\\qj";
        break;
    default:
        break;
    }
    if (bf.layoutDirection() == Qt::RightToLeft)
        out += "\\rtlpar";
    if (info) {
        const int left = 720 * (info->level + 1);
        out += "\\fi-360\\li" + QByteArray::number(left);
    } else {
        writeTwips(out, "\\li", bf.leftMargin() + bf.indent() * m_document.indentWidth());
        writeTwips(out, "\\fi", bf.textIndent());
    }
    writeTwips(out, "\\ri", bf.rightMargin());
    if (bf.topMargin() > 0)
        writeTwips(out, "\\sb", bf.topMargin());
    if (bf.bottomMargin() > 0)
        writeTwips(out, "\\sa", bf.bottomMargin());
    switch (bf.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight:
        if (bf.lineHeight() > 0 && std::lround(bf.lineHeight()) != 100)
            out += "\\sl" + QByteArray::number(qint64(std::lround(bf.lineHeight() * 2.4))) + "\\slmult1";
        break;
    case QTextBlockFormat::FixedHeight:
        if (bf.lineHeight() > 0)
            out += "\\sl-" + QByteArray::number(qint64(std::lround(bf.lineHeight() * 15))) + "\\slmult0";
        break;
    case QTextBlockFormat::MinimumHeight:
        if (bf.lineHeight() > 0)
            out += "\\sl" + QByteArray::number(qint64(std::lround(bf.lineHeight() * 15))) + "\\slmult0";
        break;
    default:
        break;
    }
    for (const QTextOption::Tab &tab : bf.tabPositions()) {
        switch (tab.type) {
        case QTextOption::RightTab:
            out += "\\tqr";
            break;
        case QTextOption::CenterTab:
            out += "\\tqc";
            break;
        case QTextOption::DelimiterTab:
            out += "\\tqdec";
            break;
        default:
            break;
        }
        out += "\\tx"
            + QByteArray::number(qint64(std::clamp<long>(std::lround(tab.position * 15), 0, 31680 * 4)));
    }
    if (bf.headingLevel() > 0 && bf.headingLevel() <= 6)
        out += "\\outlinelevel" + QByteArray::number(bf.headingLevel() - 1);
    if (info) {
        out += "\\ls" + QByteArray::number(info->ls) + "\\ilvl" + QByteArray::number(info->level);
    }
    out += ' ';
    if (info)
        writeListText(out, block, *info);

    QString openHref;
    auto closeLink = [&] {
        if (!openHref.isNull()) {
            out += "}}}";
            openHref = QString();
        }
    };
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat f = fragment.charFormat();
        const QString href = f.isAnchor() ? f.anchorHref() : QString();
        if (href != openHref || (href.isEmpty() != openHref.isEmpty())) {
            closeLink();
            if (!href.isEmpty()) {
                out += "{\\field{\\*\\fldinst{HYPERLINK \"";
                QString escaped = href;
                escaped.replace(u'\\', QLatin1String("\\\\")).replace(u'"', QLatin1String("%22"));
                writeText(out, escaped);
                out += "\"}}{\\fldrslt{";
                openHref = href;
            }
        }
        const QByteArray &props = charProps(fragment);
        const QString text = fragment.text();
        if (containsEastAsian(text)) {
            // LibreOffice takes the font of East Asian text from \dbch\af only.
            const QString family = familyOf(fragment.charFormat());
            out += "{\\dbch\\af" + QByteArray::number(family.isEmpty() ? 0 : fontIndex(family)) + ' ';
            out += props;
            writeText(out, text);
            out += '}';
        } else if (props.isEmpty()) {
            writeText(out, text);
        } else {
            out += '{';
            out += props;
            writeText(out, text);
            out += '}';
        }
    }
    closeLink();
    out += "\\par\n";
}

QByteArray Writer::run()
{
    collect();
    QByteArray body;
    body.reserve(m_document.characterCount() * 2 + 256);
    for (QTextBlock b = m_document.begin(); b.isValid(); b = b.next())
        writeParagraph(body, b);
    // A document whose last paragraph is empty ends with an empty paragraph; a reader drops only
    // the final \par, so an empty document writes nothing at all.
    if (m_document.blockCount() == 1 && m_document.begin().length() <= 1)
        body.clear();

    QByteArray out;
    out.reserve(body.size() + 1024);
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (qsizetype i = 0; i < m_fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ";
        QString name = m_fonts.at(i);
        name.remove(u';');
        writeText(out, name);
        out += ";}";
    }
    out += "}\n{\\colortbl;";
    for (QRgb rgb : std::as_const(m_colors)) {
        out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" + QByteArray::number(qGreen(rgb))
            + "\\blue" + QByteArray::number(qBlue(rgb)) + ';';
    }
    out += "}\n";
    if (!m_listOrder.isEmpty()) {
        QByteArray table = "{\\*\\listtable";
        QByteArray overrides = "{\\*\\listoverridetable";
        for (const QTextList *list : std::as_const(m_listOrder)) {
            const ListInfo &info = m_lists[list];
            table += "{\\list\\listtemplateid" + QByteArray::number(info.ls) + "\\listhybrid";
            for (int level = 0; level < 9; ++level) {
                const QTextListFormat::Style style =
                    level == info.level ? info.style : QTextListFormat::ListDisc;
                table += "{\\listlevel\\levelnfc" + QByteArray::number(levelNfc(style)) + "\\levelnfcn"
                    + QByteArray::number(levelNfc(style))
                    + "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat1";
                if (isBullet(style)) {
                    table += "{\\leveltext\\'01";
                    writeText(table, QString(QChar(bulletChar(style))));
                    table += ";}{\\levelnumbers;}";
                } else {
                    const QString prefix = level == info.level ? info.prefix : QString();
                    const QString suffix = level == info.level ? info.suffix : QStringLiteral(".");
                    const int length = int(prefix.size() + suffix.size() + 1);
                    static const char hex[] = "0123456789abcdef";
                    table += "{\\leveltext\\'";
                    table += hex[(length >> 4) & 15];
                    table += hex[length & 15];
                    writeText(table, prefix);
                    table += "\\'0";
                    table += char('0' + level);
                    writeText(table, suffix);
                    table += ";}{\\levelnumbers\\'";
                    table += hex[((prefix.size() + 1) >> 4) & 15];
                    table += hex[(prefix.size() + 1) & 15];
                    table += ";}";
                }
                table += "\\fi-360\\li" + QByteArray::number(720 * (level + 1)) + "}";
            }
            table += "{\\listname ;}\\listid" + QByteArray::number(info.ls) + "}";
            overrides += "{\\listoverride\\listid" + QByteArray::number(info.ls) + "\\listoverridecount0\\ls"
                + QByteArray::number(info.ls) + "}";
        }
        out += table + "}\n" + overrides + "}\n";
    }
    out += body;
    out += "}";
    return out;
}

} // namespace

QByteArray write(const QTextDocument &document)
{
    return Writer(document).run();
}

} // namespace Rtf
