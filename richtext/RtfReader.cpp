// RTF reader: bytes to QTextDocument.
//
// One pass over the bytes with a stack of group states. Text of a paragraph collects in runs
// (characters plus a compact copy of the character properties) and goes into the document when
// the paragraph ends, because RTF gives a paragraph's properties at its end (\par). Groups that
// hold nothing for us (pictures, ignorable destinations, headers...) are skipped by a brace
// counter that looks only at braces, escapes and \bin. The group stack is capped: content nested
// deeper than the cap is skipped, so memory stays proportional to the input.

#include "richtext/CodePage.h"
#include "richtext/Rtf.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <unordered_map>
#include <vector>

namespace Rtf {

namespace {

constexpr int MaxDepth = 400; // nesting kept on the state stack
constexpr int MaxControlWordLength = 32; // longer names are read but cut
constexpr qint64 MaxParameter = 0x7fffffff; // parameters are clamped to int range
constexpr int MaxTwips = 31680 * 4; // 88 inches: clamps indents and spacing
constexpr int MaxListLevel = 8;

enum class Dest : quint8 {
    Text, // document text, field results
    FontTable, // {\fonttbl ...}
    ColorTable, // {\colortbl ...}
    FieldInst, // {\*\fldinst ...}: collected, then parsed for HYPERLINK
    ListTable, // {\*\listtable ...} and its lists and levels
    LevelText, // {\leveltext ...} inside a list level
    ListOverrides,
    PnDef, // {\*\pn ...}: old-style paragraph numbering
    Upr, // {\upr ...}: only its {\*\ud ...} part is read
    Discard, // groups whose control words still matter but whose text is dropped
};

// Character properties: plain integers only, compared and hashed as bytes.
struct CharProps
{
    qint32 font = -1; // -1: the document's default font
    qint32 halfPoints = 24;
    qint32 fg = 0; // colour table index, 0 = automatic
    qint32 bg = 0;
    qint32 ulColor = 0;
    qint32 link = 0; // 1-based index into the link table
    // East Asian text (LibreOffice writes its font and size as \dbch\afN\afsN): -1 and 0 when
    // it uses the main font and size.
    qint32 cjkFont = -1;
    qint32 cjkHalfPoints = 0;
    quint8 bold = 0;
    quint8 italic = 0;
    quint8 underline = 0; // QTextCharFormat::UnderlineStyle
    quint8 strike = 0;
    quint8 vertical = 0; // 0 none, 1 super, 2 sub
    quint8 caps = 0; // 0 none, 1 all caps, 2 small caps
    quint8 hidden = 0;
    quint8 pad = 0;

    bool operator==(const CharProps &o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};
static_assert(sizeof(CharProps) == 40, "CharProps must have no padding");

struct CharPropsHash
{
    size_t operator()(const CharProps &p) const
    {
        return std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char *>(&p), sizeof p));
    }
};

enum ListKind : quint8 {
    NoList,
    Disc,
    Circle,
    Square,
    Decimal,
    LowerAlpha,
    UpperAlpha,
    LowerRoman,
    UpperRoman
};

struct ParaProps
{
    qint32 align = 0; // 0 left, 1 centre, 2 right, 3 justify
    qint32 li = 0, ri = 0, fi = 0, sb = 0, sa = 0;
    qint32 sl = 0, slmult = 0;
    qint32 ls = 0, ilvl = 0;
    qint32 tabSet = -1; // index into the reader's tab sets
    qint32 outline = -1;
    qint32 rtl = 0;
    quint8 pnKind = NoList;
    quint8 pnLevel = 0;
    quint8 pad[2] = {0, 0};

    bool operator==(const ParaProps &o) const { return std::memcmp(this, &o, sizeof *this) == 0; }
};

struct State
{
    CharProps chr;
    ParaProps para;
    Dest dest = Dest::Text;
    Dest uprOuter = Dest::Text;
    quint8 uc = 1;
    bool fieldGroup = false; // this group opened a \field
    bool dbch = false; // \dbch: \af and \afs describe East Asian text
};

struct Run
{
    QString text;
    CharProps props;
};

struct Font
{
    QString name;
    int codePage = 0; // 0: the document's code page
    bool symbol = false; // the Symbol font, whose bytes are not a code page's
};

struct ListLevel
{
    ListKind kind = Disc;
    bool none = false; // \levelnfc255: numbering switched off
    QString suffix;
    QString prefix;
};

struct ListDef
{
    std::array<ListLevel, MaxListLevel + 1> levels;
};

struct Field
{
    int depth = 0;
    QString instruction;
    int link = -1; // the link of its result: -1 not worked out yet, 0 none, else 1-based
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

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

ListKind kindFromNfc(int nfc)
{
    switch (nfc) {
    case 0:
    case 5:
    case 6:
    case 7:
    case 22:
        return Decimal;
    case 1:
        return UpperRoman;
    case 2:
        return LowerRoman;
    case 3:
        return UpperAlpha;
    case 4:
        return LowerAlpha;
    case 23:
        return Disc;
    default:
        return Decimal;
    }
}

QTextListFormat::Style listStyle(ListKind kind)
{
    switch (kind) {
    case Circle:
        return QTextListFormat::ListCircle;
    case Square:
        return QTextListFormat::ListSquare;
    case Decimal:
        return QTextListFormat::ListDecimal;
    case LowerAlpha:
        return QTextListFormat::ListLowerAlpha;
    case UpperAlpha:
        return QTextListFormat::ListUpperAlpha;
    case LowerRoman:
        return QTextListFormat::ListLowerRoman;
    case UpperRoman:
        return QTextListFormat::ListUpperRoman;
    default:
        return QTextListFormat::ListDisc;
    }
}

ListKind bulletKind(QChar c)
{
    switch (c.unicode()) {
    case u'o':
    case 0x25e6:
    case 0x25cb:
    case 0xf06f:
    case 0x26aa:
        return Circle;
    case 0x25aa:
    case 0x25a0:
    case 0x25fe:
    case 0x25fc:
    case 0xf0a7:
    case 0x00a7:
    case 0xf0a8:
    case 0xf06e:
        return Square;
    default:
        return Disc;
    }
}

// Characters of the scripts that RTF writers format as East Asian (\dbch).
bool isEastAsian(char16_t c)
{
    return (c >= 0x1100 && c <= 0x11ff) || (c >= 0x2e80 && c <= 0xa4cf) || (c >= 0xa960 && c <= 0xa97f)
        || (c >= 0xac00 && c <= 0xd7ff) || (c >= 0xf900 && c <= 0xfaff) || (c >= 0xfe30 && c <= 0xfe4f)
        || (c >= 0xff00 && c <= 0xffef) || (c >= 0xd840 && c <= 0xd87f); // supplementary ideographs
}

// "Helvetica-Bold" -> "Helvetica": the family part of a PostScript font name.
QString familyOfPostScriptName(const QString &name)
{
    const qsizetype dash = name.lastIndexOf(u'-');
    if (dash <= 0 || name.contains(u' '))
        return name;
    static const QStringList styles = {
        "Regular",      "Roman",       "Book",      "Bold",           "Italic",       "Oblique",
        "BoldItalic",   "BoldOblique", "Light",     "LightItalic",    "LightOblique", "Medium",
        "MediumItalic", "Semibold",    "SemiBold",  "SemiboldItalic", "Heavy",        "Black",
        "Thin",         "UltraLight",  "Condensed", "CondensedBold",  "W3",           "W6"};
    return styles.contains(name.mid(dash + 1)) ? name.left(dash) : name;
}

// The URL of a HYPERLINK field instruction, or empty.
QString hyperlinkTarget(const QString &instruction)
{
    QStringList tokens;
    QString current;
    bool quoted = false, inToken = false;
    for (QChar c : instruction) {
        if (c == u'"') {
            if (quoted) {
                tokens << current;
                current.clear();
                inToken = false;
            }
            quoted = !quoted;
            continue;
        }
        if (!quoted && c.isSpace()) {
            if (inToken) {
                tokens << current;
                current.clear();
                inToken = false;
            }
            continue;
        }
        current += c;
        inToken = true;
    }
    if (inToken || !current.isEmpty())
        tokens << current;
    if (tokens.isEmpty() || tokens.first().compare(u"HYPERLINK", Qt::CaseInsensitive) != 0)
        return QString();
    QString url, anchor;
    for (qsizetype i = 1; i < tokens.size(); ++i) {
        const QString &t = tokens.at(i);
        if (t.startsWith(u'\\') && t.size() == 2) {
            const QChar sw = t.at(1).toLower();
            if ((sw == u'l' || sw == u'o' || sw == u't') && i + 1 < tokens.size()) {
                if (sw == u'l')
                    anchor = tokens.at(i + 1);
                ++i;
            }
            continue;
        }
        if (url.isEmpty())
            url = t;
    }
    // Writers double the backslashes of Windows paths inside field instructions.
    url.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    if (!anchor.isEmpty())
        url += u'#' + anchor;
    return url;
}

// clang-format off
#define RTF_KEYWORDS(X) \
    X(ansi) X(ansicpg) X(b) X(bin) X(blue) X(bullet) X(caps) X(cb) X(cell) X(cf) X(chcbpat) \
    X(cocoartf) X(colortbl) X(column) X(cpg) X(af) X(afs) X(dbch) X(deff) X(dn) X(emdash) \
    X(emspace) X(endash) X(enspace) X(f) X(fcharset) X(fi) X(field) X(fldinst) X(fldrslt) \
    X(fonttbl) X(fs) X(green) X(hich) X(highlight) X(i) X(ilvl) X(lbr) X(ldblquote) X(levelnfc) \
    X(levelnfcn) X(leveltext) X(li) X(lin) X(line) X(loch) X(list) X(listid) X(listlevel) \
    X(listoverride) X(listoverridetable) X(listtable) X(lquote) X(ls) X(ltrch) X(ltrmark) X(ltrpar) \
    X(mac) X(nestcell) X(nestrow) X(nosupersub) X(outlinelevel) X(page) X(par) X(pard) X(pc) X(pca) \
    X(plain) X(pn) X(pndec) X(pnlcltr) X(pnlcrm) X(pnlvl) X(pnlvlblt) X(pnlvlbody) X(pnucltr) \
    X(pnucrm) X(qc) X(qd) X(qj) X(ql) X(qmspace) X(qr) X(rdblquote) X(red) X(ri) X(rin) X(row) \
    X(rquote) X(rtlch) X(rtlmark) X(rtlpar) X(sa) X(sb) X(scaps) X(sect) X(sl) X(slmult) \
    X(softline) X(strike) X(striked) X(sub) X(super) X(tab) X(tb) X(tqc) X(tqdec) X(tqr) X(tx) X(u) \
    X(uc) X(ud) X(ul) X(ulc) X(uld) X(uldash) X(uldashd) X(uldashdd) X(uldb) X(ulhair) X(ulhwave) \
    X(ulldash) X(ulnone) X(ulth) X(ulthd) X(ulthdash) X(ulthdashd) X(ulthdashdd) X(ulthldash) \
    X(ululdbwave) X(ulw) X(ulwave) X(up) X(upr) X(v) X(zwbo) X(zwj) X(zwnj)
// clang-format on

enum class Kw : quint16 {
    Unknown,
    SkipDest, // a destination whose content is never document text
#define RTF_ENUM(name) name,
    RTF_KEYWORDS(RTF_ENUM)
#undef RTF_ENUM
};

Kw keyword(std::string_view name)
{
    static const std::unordered_map<std::string_view, Kw> table = [] {
        std::unordered_map<std::string_view, Kw> t;
#define RTF_ENTRY(name) t.emplace(#name, Kw::name);
        RTF_KEYWORDS(RTF_ENTRY)
#undef RTF_ENTRY
        static const char *const skipped[] = {
            "annotation",
            "atnauthor",
            "atndate",
            "atnicn",
            "atnid",
            "atnparent",
            "atnref",
            "atntime",
            "atrfend",
            "atrfstart",
            "author",
            "background",
            "bkmkend",
            "bkmkstart",
            "blipuid",
            "buptim",
            "category",
            "colorschememapping",
            "comment",
            "company",
            "creatim",
            "datafield",
            "datastore",
            "defchp",
            "defpap",
            "do",
            "doccomm",
            "docvar",
            "dptxbxtext",
            "ebcend",
            "ebcstart",
            "factoidname",
            "falt",
            "fchars",
            "ffdeftext",
            "ffentrymcr",
            "ffexitmcr",
            "ffformat",
            "ffhelptext",
            "ffl",
            "ffname",
            "ffstattext",
            "file",
            "filetbl",
            "fldtype",
            "fname",
            "fontemb",
            "fontfile",
            "footer",
            "footerf",
            "footerl",
            "footerr",
            "footnote",
            "formfield",
            "ftncn",
            "ftnsep",
            "ftnsepc",
            "g",
            "generator",
            "gridtbl",
            "header",
            "headerf",
            "headerl",
            "headerr",
            "hl",
            "hlfr",
            "hlinkbase",
            "hlloc",
            "hlsrc",
            "hsv",
            "info",
            "keywords",
            "latentstyles",
            "lchars",
            "levelnumbers",
            "linkval",
            "listname",
            "listpicture",
            "listtext",
            "lsdlockedexcept",
            "macc",
            "maccPr",
            "mailmerge",
            "manager",
            "mmathPr",
            "nesttableprops",
            "nextfile",
            "nonesttables",
            "nonshppict",
            "objalias",
            "objclass",
            "objdata",
            "object",
            "objname",
            "objsect",
            "objtime",
            "oldcprops",
            "oldpprops",
            "oldsprops",
            "oldtprops",
            "operator",
            "panose",
            "password",
            "passwordhash",
            "pgdsc",
            "pgdscno",
            "pgdsctbl",
            "picprop",
            "pict",
            "pnseclvl",
            "pntext",
            "pntxta",
            "pntxtb",
            "printim",
            "private",
            "propname",
            "protend",
            "protstart",
            "protusertbl",
            "pxe",
            "result",
            "revtbl",
            "revtim",
            "rsidtbl",
            "rxe",
            "shp",
            "shpinst",
            "shppict",
            "shprslt",
            "shptxt",
            "sn",
            "sp",
            "staticval",
            "stylesheet",
            "subject",
            "sv",
            "svb",
            "tc",
            "template",
            "themedata",
            "title",
            "txe",
            "userprops",
            "wgrffmtfilter",
            "windowcaption",
            "writereservation",
            "writereservhash",
            "xe",
            "xform",
            "xmlattrname",
            "xmlattrvalue",
            "xmlclose",
            "xmlname",
            "xmlnstbl",
            "xmlopen",
            "aftncn",
            "aftnsep",
            "aftnsepc",
            "expandedcolortbl",
            "mmath",
            "tcn",
            "bkmkcolf",
            "bkmkcoll",
            "ftnalt",
            "docfmt",
            "pgptbl",
            "mhtmltag",
            "htmltag",
            "themelang",
            "wgrffmtfilter",
        };
        for (const char *k : skipped)
            t.emplace(k, Kw::SkipDest);
        return t;
    }();
    auto it = table.find(name);
    return it == table.end() ? Kw::Unknown : it->second;
}

class Reader
{
public:
    Reader(QByteArrayView data, QTextDocument &document) : m_data(data), m_cursor(&document) { }

    void run();

private:
    // parsing
    void parseGroupContent();
    const char *skipGroup(const char *p); // p after '{' of the group to skip; returns after its '}'
    void openGroup();
    bool closeGroup(); // false when the outermost group closed
    const char *controlWord(const char *p);
    const char *controlSymbol(const char *p);
    void word(const char *name, int length, bool hasParam, int param);
    bool destination(Kw kw);
    void addTab(ParaProps &para, int position);

    // text
    void textBytes(const char *p, const char *end);
    void byte(unsigned char b);
    void character(char32_t c);
    void textChar(char16_t c);
    template<typename Text>
    void appendText(Text s); // QStringView or QLatin1StringView
    void flushPending();
    CodePage::Decoder *decoder();
    CodePage::Decoder *decoderFor(int codePage);
    bool symbolFont();

    // paragraphs
    void endParagraph(bool evenIfEmpty);
    QTextCharFormat charFormat(const CharProps &p);
    QTextBlockFormat blockFormat(const ParaProps &p);
    QTextList *listFor(const ParaProps &p);
    void commitFontEntry();

    State &state() { return m_stack.back(); }
    void charChanged() { m_charDirty = true; }

    QByteArrayView m_data;
    const char *m_p = nullptr;
    const char *m_end = nullptr;
    QTextCursor m_cursor;

    std::vector<State> m_stack;
    int m_ucSkip = 0; // fallback characters still to skip after \uN

    // document tables
    int m_ansiCodePage = 1252;
    int m_defaultFont = 0;
    std::unordered_map<int, Font> m_fonts;
    int m_fontEntry = -1;
    int m_fontEntryDepth = -1;
    int m_fontEntryCodePage = 0;
    QString m_fontName;
    std::vector<QColor> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    std::vector<QList<QTextOption::Tab>> m_tabSets;
    std::vector<std::vector<std::pair<int, int>>> m_tabSetKeys;
    std::map<std::vector<std::pair<int, int>>, int> m_tabSetIndex;
    int m_pendingTabType = 0;
    std::vector<QString> m_links;

    // lists
    std::unordered_map<int, ListDef> m_listDefs; // by \listid
    std::unordered_map<int, int> m_overrides; // \ls -> \listid
    int m_listId = 0;
    int m_listDepth = -1; // the group of the \list being read
    ListDef m_listBuilder;
    int m_levelIndex = -1;
    QString m_levelText;
    int m_overrideListId = 0, m_overrideLs = 0;
    std::map<std::pair<int, int>, QTextList *> m_lists; // (\ls, \ilvl) -> list
    QTextList *m_pnLists[MaxListLevel + 1] = {};

    // fields
    std::vector<Field> m_fields;

    // text decoding
    std::unordered_map<int, std::unique_ptr<CodePage::Decoder>> m_decoders;
    CodePage::Decoder *m_pendingDecoder = nullptr;
    QString m_scratch;

    // the paragraph being read
    std::vector<Run> m_runs;
    size_t m_runCount = 0;
    std::unordered_map<CharProps, QTextCharFormat, CharPropsHash> m_formats;
    ParaProps m_lastPara;
    QTextBlockFormat m_lastBlockFormat;

    // flags, kept together
    bool m_star = false; // \* seen: the next destination word may be skipped
    bool m_skipGroup = false; // the current group turned out to be one to skip
    bool m_groupStart = false; // no token yet since the current group opened
    bool m_done = false;
    bool m_cocoa = false; // written by the macOS text system: fonts are named by PostScript names
    bool m_fontNameDone = false;
    bool m_colorSet = false;
    bool m_charDirty = true;
    bool m_lastEastAsian = false;
    bool m_firstBlock = true;
    bool m_haveLastPara = false;
};

void Reader::run()
{
    m_p = m_data.data();
    m_end = m_p + m_data.size();
    m_stack.reserve(64);
    m_stack.emplace_back();
    m_stack.back().dest = Dest::Discard; // until "{\rtf"
    // The caller checked for "{\rtf": enter the outermost group.
    ++m_p;
    m_stack.emplace_back();
    m_groupStart = true;
    // One edit block: the cursor then skips laying out each paragraph after every insertion.
    m_cursor.beginEditBlock();
    parseGroupContent();
    flushPending();
    endParagraph(false);
    m_cursor.endEditBlock();
}

void Reader::parseGroupContent()
{
    const char *p = m_p;
    const char *end = m_end;
    while (p < end && !m_done) {
        const char c = *p;
        if (c == '{') {
            m_p = p + 1;
            flushPending();
            m_ucSkip = 0;
            if (int(m_stack.size()) >= MaxDepth) {
                p = skipGroup(p + 1);
                continue;
            }
            openGroup();
            p = m_p;
        } else if (c == '}') {
            m_p = p + 1;
            flushPending();
            m_ucSkip = 0;
            if (!closeGroup())
                return;
            p = m_p;
        } else if (c == '\\') {
            m_p = p;
            p = (p + 1 < end && isLetter(p[1])) ? controlWord(p + 1) : controlSymbol(p + 1);
            m_groupStart = false;
            if (m_skipGroup) {
                m_skipGroup = false;
                p = skipGroup(p);
                m_p = p;
                if (!closeGroup())
                    return;
                p = m_p;
            }
        } else if (c == '\r' || c == '\n') {
            ++p;
        } else {
            const char *q = p + 1;
            while (q < end && *q != '\\' && *q != '{' && *q != '}' && *q != '\r' && *q != '\n')
                ++q;
            m_groupStart = false;
            textBytes(p, q);
            p = q;
        }
    }
    m_p = p;
}

const char *Reader::skipGroup(const char *p)
{
    const char *end = m_end;
    int depth = 1;
    while (p < end) {
        const char *q = p;
        while (q < end && *q != '{' && *q != '}' && *q != '\\')
            ++q;
        if (q >= end)
            return end;
        if (*q == '{') {
            ++depth;
            p = q + 1;
        } else if (*q == '}') {
            if (--depth == 0)
                return q + 1;
            p = q + 1;
        } else {
            // An escape: \{ \} \\ are literal; \binN hides N raw bytes.
            if (q + 1 >= end)
                return end;
            if (q + 4 <= end && q[1] == 'b' && q[2] == 'i' && q[3] == 'n'
                && (q + 4 == end || !isLetter(q[4]))) {
                const char *r = q + 4;
                qint64 n = 0;
                bool neg = false;
                if (r < end && *r == '-') {
                    neg = true;
                    ++r;
                }
                while (r < end && isDigit(*r)) {
                    if (n < MaxParameter)
                        n = n * 10 + (*r - '0');
                    ++r;
                }
                if (r < end && *r == ' ')
                    ++r;
                if (!neg)
                    r += std::min<qint64>(n, end - r);
                p = r;
            } else {
                p = q + 2;
            }
        }
    }
    return end;
}

void Reader::openGroup()
{
    State s = m_stack.back();
    s.fieldGroup = false;
    m_stack.push_back(s);
    m_groupStart = true;
    m_star = false;
}

bool Reader::closeGroup()
{
    if (m_stack.size() <= 2) {
        m_done = true;
        return false;
    }
    State &closing = m_stack.back();
    if (closing.dest == Dest::FontTable && int(m_stack.size()) == m_fontEntryDepth)
        commitFontEntry(); // an entry without its closing ';'
    if (closing.dest == Dest::LevelText) {
        // The level text: a length character, then literal text with level placeholders 0..8.
        if (m_levelIndex >= 0 && m_levelIndex <= MaxListLevel) {
            ListLevel &level = m_listBuilder.levels[m_levelIndex];
            const int length = m_levelText.isEmpty() ? 0 : m_levelText.at(0).unicode();
            const QString text = m_levelText.mid(1, length);
            if (level.kind == Disc || level.kind == Circle || level.kind == Square) {
                for (QChar c : text) {
                    if (c.unicode() > 8 && !c.isSpace()) {
                        level.kind = bulletKind(c);
                        break;
                    }
                }
            } else {
                const qsizetype at = text.indexOf(QChar(char16_t(m_levelIndex)));
                if (at >= 0) {
                    QString prefix = text.left(at), suffix = text.mid(at + 1);
                    // Only a number of this level alone: "%1." or "(%1)".
                    auto plain = [](const QString &s) {
                        return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() > 8; });
                    };
                    if (plain(prefix) && plain(suffix)) {
                        level.prefix = prefix;
                        level.suffix = suffix;
                    }
                }
            }
        }
        m_levelText.clear();
    }
    if (closing.fieldGroup && !m_fields.empty())
        m_fields.pop_back();
    if (int(m_stack.size()) == m_listDepth) {
        m_listDepth = -1;
        if (m_listId != 0 && (m_listDefs.size() < 4096 || m_listDefs.count(m_listId)))
            m_listDefs[m_listId] = m_listBuilder;
    }
    const CharProps before = closing.chr;
    m_stack.pop_back();
    if (!(before == m_stack.back().chr))
        charChanged();
    return true;
}

const char *Reader::controlWord(const char *p)
{
    const char *end = m_end;
    const char *name = p;
    while (p < end && isLetter(*p))
        ++p;
    const int length = int(std::min<qsizetype>(p - name, MaxControlWordLength));
    bool hasParam = false;
    bool negative = false;
    qint64 value = 0;
    if (p < end && *p == '-' && p + 1 < end && isDigit(p[1])) {
        negative = true;
        ++p;
    }
    while (p < end && isDigit(*p)) {
        hasParam = true;
        if (value <= MaxParameter)
            value = value * 10 + (*p - '0');
        ++p;
    }
    if (p < end && *p == ' ')
        ++p;
    value = std::min(value, MaxParameter);
    const int param = int(negative ? -value : value);
    if (m_ucSkip > 0) {
        --m_ucSkip;
        return p;
    }
    if (!(length == 3 && name[0] == 'b' && name[1] == 'i' && name[2] == 'n'))
        flushPending();
    m_p = p;
    word(name, length, hasParam, param);
    m_star = false;
    return m_p;
}

const char *Reader::controlSymbol(const char *p)
{
    if (p >= m_end)
        return p;
    const char c = *p++;
    if (c == '\'') {
        if (p + 1 < m_end + 0 && hexValue(p[0]) >= 0 && hexValue(p[1]) >= 0) {
            const int b = hexValue(p[0]) * 16 + hexValue(p[1]);
            p += 2;
            if (m_ucSkip > 0) {
                --m_ucSkip;
                return p;
            }
            if (state().dest == Dest::LevelText && b < 0x20) {
                flushPending();
                m_levelText += QChar(char16_t(b));
            } else {
                byte(uchar(b));
            }
        }
        return p;
    }
    if (m_ucSkip > 0) {
        --m_ucSkip;
        return p;
    }
    switch (c) {
    case '\\':
    case '{':
    case '}':
        byte(uchar(c));
        break;
    case '*':
        flushPending();
        m_star = true;
        break;
    case '~':
        flushPending();
        textChar(0x00a0);
        break;
    case '_':
        flushPending();
        textChar(0x2011);
        break;
    case '-':
        flushPending();
        textChar(0x00ad); // optional hyphen
        break;
    case '\r':
    case '\n':
        flushPending();
        if (state().dest == Dest::Text)
            endParagraph(true);
        break;
    case '\t':
        flushPending();
        textChar(u'\t');
        break;
    case ':': // index subentry
    case '|': // formula
    default:
        flushPending();
        break;
    }
    return p;
}

bool Reader::destination(Kw kw)
{
    State &s = state();
    auto skip = [this] {
        m_skipGroup = true;
        return true;
    };
    if (s.dest == Dest::Upr) {
        // Only the Unicode version of the content counts.
        if (kw == Kw::ud) {
            s.dest = s.uprOuter;
            return true;
        }
        return skip();
    }
    switch (kw) {
    case Kw::SkipDest:
        return skip();
    case Kw::fonttbl:
        s.dest = Dest::FontTable;
        m_fontEntry = -1;
        m_fontName.clear();
        m_fontNameDone = false;
        return true;
    case Kw::colortbl:
        s.dest = Dest::ColorTable;
        m_colors.clear();
        m_colorSet = false;
        m_red = m_green = m_blue = 0;
        return true;
    case Kw::listtable:
        s.dest = Dest::ListTable;
        return true;
    case Kw::listoverridetable:
        s.dest = Dest::ListOverrides;
        return true;
    case Kw::field:
        if (s.dest != Dest::Text && s.dest != Dest::FieldInst)
            return skip();
        if (int(m_fields.size()) < MaxDepth) {
            m_fields.push_back(Field {int(m_stack.size()), QString()});
            s.fieldGroup = true;
        }
        return true;
    case Kw::fldinst:
        if (m_fields.empty())
            return skip();
        s.dest = Dest::FieldInst;
        return true;
    case Kw::fldrslt:
        if (!m_fields.empty() && s.dest == Dest::Text) {
            Field &field = m_fields.back();
            if (field.link < 0) { // once per field, however many results it has
                const QString url = hyperlinkTarget(field.instruction.trimmed());
                field.link = 0;
                if (!url.isEmpty()) {
                    if (m_links.empty() || m_links.back() != url)
                        m_links.push_back(url);
                    field.link = int(m_links.size());
                }
            }
            if (field.link > 0) {
                s.chr.link = field.link;
                charChanged();
            }
        }
        return true; // a result outside a field is read as text
    case Kw::pn:
        if (s.dest != Dest::Text)
            return skip();
        // Old-style numbering: its words set the enclosing paragraph's properties (see word()).
        s.dest = Dest::PnDef;
        return true;
    case Kw::upr:
        s.uprOuter = s.dest;
        s.dest = Dest::Upr;
        return true;
    case Kw::ud:
        return true;
    default:
        break;
    }
    if (s.dest == Dest::ListTable) {
        switch (kw) {
        case Kw::list:
            m_listBuilder = ListDef();
            m_listId = 0;
            m_levelIndex = -1;
            m_listDepth = int(m_stack.size());
            return true;
        case Kw::listlevel:
            if (m_levelIndex <= MaxListLevel)
                ++m_levelIndex;
            return true;
        case Kw::leveltext:
            s.dest = Dest::LevelText;
            m_levelText.clear();
            return true;
        default:
            break;
        }
    }
    if (s.dest == Dest::ListOverrides && kw == Kw::listoverride) {
        m_overrideListId = 0;
        m_overrideLs = 0;
        return true;
    }
    return false;
}

void Reader::word(const char *name, int length, bool hasParam, int param)
{
    const Kw kw = keyword(std::string_view(name, size_t(length)));
    if (m_groupStart || m_star) {
        if (destination(kw))
            return;
        if (m_star) {
            m_skipGroup = true; // unknown ignorable destination
            return;
        }
    }
    if (kw == Kw::Unknown)
        return;

    State &s = state();
    const bool on = !hasParam || param != 0;

    switch (s.dest) {
    case Dest::FontTable:
        switch (kw) {
        case Kw::f:
            commitFontEntry();
            m_fontEntry = param;
            m_fontEntryDepth = int(m_stack.size());
            m_fontEntryCodePage = 0;
            m_fontName.clear();
            m_fontNameDone = false;
            break;
        case Kw::fcharset:
            if (m_fontEntryCodePage == 0)
                m_fontEntryCodePage = CodePage::fromCharset(param);
            break;
        case Kw::cpg:
            m_fontEntryCodePage = param;
            break;
        case Kw::u:
            character(char32_t(param < 0 ? param + 65536 : param));
            m_ucSkip = s.uc;
            break;
        case Kw::uc:
            s.uc = quint8(std::clamp(param, 0, 255));
            break;
        default:
            break;
        }
        return;
    case Dest::ColorTable:
        if (kw == Kw::red || kw == Kw::green || kw == Kw::blue) {
            (kw == Kw::red ? m_red : kw == Kw::green ? m_green : m_blue) = std::clamp(param, 0, 255);
            m_colorSet = true;
        }
        return;
    case Dest::ListTable:
        if (kw == Kw::listid) {
            m_listId = param; // the definition is stored when its group closes
            return;
        }
        if ((kw == Kw::levelnfc || kw == Kw::levelnfcn) && m_levelIndex >= 0
            && m_levelIndex <= MaxListLevel) {
            ListLevel &level = m_listBuilder.levels[m_levelIndex];
            level.none = param == 255;
            level.kind = kindFromNfc(param);
        }
        return;
    case Dest::ListOverrides:
        if (kw == Kw::listid)
            m_overrideListId = param;
        else if (kw == Kw::ls)
            m_overrideLs = param;
        if (m_overrideLs != 0 && m_overrideListId != 0 && m_overrides.size() < 100000)
            m_overrides[m_overrideLs] = m_overrideListId;
        return;
    case Dest::PnDef: {
        // Write into the paragraph that holds this group: the state below this one.
        ParaProps &para = m_stack.size() >= 2 ? m_stack[m_stack.size() - 2].para : s.para;
        switch (kw) {
        case Kw::pnlvlblt:
            para.pnKind = Disc;
            para.pnLevel = 0;
            break;
        case Kw::pnlvlbody:
            if (para.pnKind == NoList || para.pnKind == Disc)
                para.pnKind = Decimal;
            para.pnLevel = 0;
            break;
        case Kw::pnlvl:
            para.pnLevel = quint8(std::clamp(param - 1, 0, MaxListLevel));
            if (para.pnKind == NoList)
                para.pnKind = Decimal;
            break;
        case Kw::pndec:
            para.pnKind = Decimal;
            break;
        case Kw::pnucltr:
            para.pnKind = UpperAlpha;
            break;
        case Kw::pnlcltr:
            para.pnKind = LowerAlpha;
            break;
        case Kw::pnucrm:
            para.pnKind = UpperRoman;
            break;
        case Kw::pnlcrm:
            para.pnKind = LowerRoman;
            break;
        default:
            break;
        }
        s.para = para;
        return;
    }
    default:
        break;
    }

    if (kw == Kw::u) {
        if (hasParam) {
            character(char32_t(param < 0 ? param + 65536 : param));
            m_ucSkip = s.uc;
        }
        return;
    }
    if (kw == Kw::uc) {
        s.uc = quint8(std::clamp(param, 0, 255));
        return;
    }
    if (kw == Kw::bin) {
        // Raw bytes: never text for us.
        const qint64 n = hasParam && param > 0 ? param : 0;
        m_p += std::min<qint64>(n, m_end - m_p);
        return;
    }
    if (s.dest == Dest::Upr)
        return;

    CharProps &c = s.chr;
    ParaProps &para = s.para;
    using U = QTextCharFormat;
    switch (kw) {
    // Character properties.
    case Kw::b:
        c.bold = on;
        break;
    case Kw::i:
        c.italic = on;
        break;
    case Kw::ul:
    case Kw::uldb:
    case Kw::ulth:
    case Kw::ulw:
    case Kw::ulhair:
    case Kw::ulldash:
    case Kw::ulthldash:
        c.underline = on ? U::SingleUnderline : U::NoUnderline;
        break;
    case Kw::ulnone:
        c.underline = U::NoUnderline;
        break;
    case Kw::uld:
    case Kw::ulthd:
        c.underline = on ? U::DotLine : U::NoUnderline;
        break;
    case Kw::uldash:
    case Kw::ulthdash:
        c.underline = on ? U::DashUnderline : U::NoUnderline;
        break;
    case Kw::uldashd:
    case Kw::ulthdashd:
        c.underline = on ? U::DashDotLine : U::NoUnderline;
        break;
    case Kw::uldashdd:
    case Kw::ulthdashdd:
        c.underline = on ? U::DashDotDotLine : U::NoUnderline;
        break;
    case Kw::ulwave:
    case Kw::ulhwave:
    case Kw::ululdbwave:
        c.underline = on ? U::WaveUnderline : U::NoUnderline;
        break;
    case Kw::ulc:
        c.ulColor = std::max(param, 0);
        break;
    case Kw::strike:
    case Kw::striked:
        c.strike = on;
        break;
    case Kw::super:
        c.vertical = on ? 1 : 0;
        break;
    case Kw::sub:
        c.vertical = on ? 2 : 0;
        break;
    case Kw::nosupersub:
        c.vertical = 0;
        break;
    case Kw::up:
        c.vertical = hasParam && param == 0 ? 0 : 1;
        break;
    case Kw::dn:
        c.vertical = hasParam && param == 0 ? 0 : 2;
        break;
    case Kw::caps:
        c.caps = on ? 1 : 0;
        break;
    case Kw::scaps:
        c.caps = on ? 2 : 0;
        break;
    case Kw::v:
        c.hidden = on;
        break;
    case Kw::f:
        c.font = std::max(param, 0);
        break;
    case Kw::fs:
        c.halfPoints = hasParam && param > 0 ? std::min(param, 3276) : 24;
        break;
    case Kw::cf:
        c.fg = std::max(param, 0);
        break;
    case Kw::cb:
        // TextEdit ends a background with \cb pointing at white: no background.
        c.bg = std::max(param, 0);
        if (c.bg < int(m_colors.size()) && m_colors[c.bg] == QColor(Qt::white))
            c.bg = 0;
        break;
    case Kw::highlight:
    case Kw::chcbpat:
        c.bg = std::max(param, 0);
        break;
    case Kw::plain: {
        const qint32 link = c.link;
        c = CharProps();
        c.link = link;
        s.dbch = false;
        break;
    }
    case Kw::dbch:
        s.dbch = true;
        break;
    case Kw::loch:
    case Kw::hich:
    case Kw::rtlch:
    case Kw::ltrch:
        s.dbch = false;
        break;
    case Kw::af:
        if (s.dbch)
            c.cjkFont = std::max(param, 0);
        break;
    case Kw::afs:
        if (s.dbch)
            c.cjkHalfPoints = hasParam && param > 0 ? std::min(param, 3276) : 0;
        break;
    // Paragraph properties.
    case Kw::pard:
        para = ParaProps();
        break;
    case Kw::ql:
        para.align = 0;
        break;
    case Kw::qc:
        para.align = 1;
        break;
    case Kw::qr:
        para.align = 2;
        break;
    case Kw::qj:
    case Kw::qd:
        para.align = 3;
        break;
    case Kw::li:
    case Kw::lin:
        para.li = std::clamp(param, -MaxTwips, MaxTwips);
        break;
    case Kw::ri:
    case Kw::rin:
        para.ri = std::clamp(param, -MaxTwips, MaxTwips);
        break;
    case Kw::fi:
        para.fi = std::clamp(param, -MaxTwips, MaxTwips);
        break;
    case Kw::sb:
        para.sb = std::clamp(param, 0, MaxTwips);
        break;
    case Kw::sa:
        para.sa = std::clamp(param, 0, MaxTwips);
        break;
    case Kw::sl:
        para.sl = std::clamp(param, -MaxTwips, MaxTwips);
        break;
    case Kw::slmult:
        para.slmult = param != 0;
        break;
    case Kw::ls:
        para.ls = std::max(param, 0);
        break;
    case Kw::ilvl:
        para.ilvl = std::clamp(param, 0, MaxListLevel);
        break;
    case Kw::outlinelevel:
        para.outline = std::clamp(param, -1, 9);
        break;
    case Kw::rtlpar:
        para.rtl = 1;
        break;
    case Kw::ltrpar:
        para.rtl = 0;
        break;
    case Kw::tqr:
        m_pendingTabType = 1;
        break;
    case Kw::tqc:
        m_pendingTabType = 2;
        break;
    case Kw::tqdec:
        m_pendingTabType = 3;
        break;
    case Kw::tx:
    case Kw::tb:
        addTab(para, param);
        break;
    // Document properties.
    case Kw::ansicpg:
        m_ansiCodePage = param > 0 ? param : 1252;
        break;
    case Kw::ansi:
        m_ansiCodePage = 1252;
        break;
    case Kw::mac:
        m_ansiCodePage = 10000;
        break;
    case Kw::pc:
        m_ansiCodePage = 437;
        break;
    case Kw::pca:
        m_ansiCodePage = 850;
        break;
    case Kw::deff:
        m_defaultFont = param;
        break;
    case Kw::cocoartf:
        m_cocoa = true;
        break;
    // Breaks and special characters.
    case Kw::par:
    case Kw::cell:
    case Kw::nestcell:
        if (s.dest == Dest::Text)
            endParagraph(true);
        break;
    case Kw::row:
    case Kw::nestrow:
    case Kw::page:
    case Kw::sect:
    case Kw::column:
        if (s.dest == Dest::Text)
            endParagraph(false);
        break;
    case Kw::line:
    case Kw::softline:
    case Kw::lbr:
        textChar(0x2028);
        break;
    case Kw::tab:
        textChar(u'\t');
        break;
    case Kw::emdash:
        textChar(0x2014);
        break;
    case Kw::endash:
        textChar(0x2013);
        break;
    case Kw::emspace:
        textChar(0x2003);
        break;
    case Kw::enspace:
        textChar(0x2002);
        break;
    case Kw::qmspace:
        textChar(0x2005);
        break;
    case Kw::bullet:
        textChar(0x2022);
        break;
    case Kw::lquote:
        textChar(0x2018);
        break;
    case Kw::rquote:
        textChar(0x2019);
        break;
    case Kw::ldblquote:
        textChar(0x201c);
        break;
    case Kw::rdblquote:
        textChar(0x201d);
        break;
    case Kw::zwj:
        textChar(0x200d);
        break;
    case Kw::zwnj:
        textChar(0x200c);
        break;
    case Kw::zwbo:
        textChar(0x200b);
        break;
    case Kw::ltrmark:
        textChar(0x200e);
        break;
    case Kw::rtlmark:
        textChar(0x200f);
        break;
    default:
        return;
    }
    if (s.dest == Dest::Text)
        charChanged();
}

void Reader::addTab(ParaProps &para, int position)
{
    static const QTextOption::TabType types[] = {QTextOption::LeftTab, QTextOption::RightTab,
                                                 QTextOption::CenterTab, QTextOption::DelimiterTab};
    const int type = m_pendingTabType;
    m_pendingTabType = 0;
    std::vector<std::pair<int, int>> tabs;
    if (para.tabSet >= 0)
        tabs = m_tabSetKeys[para.tabSet];
    if (tabs.size() >= 64 || m_tabSets.size() >= 10000)
        return;
    tabs.emplace_back(std::clamp(position, 0, MaxTwips), type);
    std::sort(tabs.begin(), tabs.end());
    auto it = m_tabSetIndex.find(tabs);
    if (it == m_tabSetIndex.end()) {
        QList<QTextOption::Tab> set;
        for (const auto &[pos, t] : tabs) {
            QTextOption::Tab tab(pos / 15.0, types[t & 3]);
            if (tab.type == QTextOption::DelimiterTab)
                tab.delimiter = u'.';
            set.push_back(tab);
        }
        m_tabSets.push_back(std::move(set));
        m_tabSetKeys.push_back(tabs);
        it = m_tabSetIndex.emplace(tabs, int(m_tabSets.size() - 1)).first;
    }
    para.tabSet = it->second;
}

// ---- text ---------------------------------------------------------------------------------------

void Reader::textBytes(const char *p, const char *end)
{
    const Dest dest = state().dest;
    if (dest == Dest::ColorTable) {
        for (; p < end; ++p) {
            if (*p == ';') {
                m_colors.push_back(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
                m_colorSet = false;
                m_red = m_green = m_blue = 0;
            }
        }
        return;
    }
    if (dest == Dest::ListTable || dest == Dest::ListOverrides || dest == Dest::PnDef || dest == Dest::Upr
        || dest == Dest::Discard)
        return;
    const bool symbol = dest == Dest::Text && symbolFont();
    while (p < end) {
        if (m_ucSkip > 0) {
            --m_ucSkip;
            ++p;
            continue;
        }
        // Plain ASCII stretch (no pending double-byte lead byte).
        if (!m_pendingDecoder && uchar(*p) >= 0x20 && uchar(*p) < 0x7f && dest == Dest::Text && !symbol) {
            const char *q = p;
            while (q < end && uchar(*q) >= 0x20 && uchar(*q) < 0x7f)
                ++q;
            if (m_lastEastAsian && *p == ' ') {
                textChar(u' '); // spaces after East Asian text are formatted with it
                ++p;
                continue;
            }
            if (!state().chr.hidden)
                appendText(QLatin1StringView(p, q - p));
            m_lastEastAsian = false;
            p = q;
            continue;
        }
        const uchar b = uchar(*p++);
        if (b == '\t') {
            flushPending();
            textChar(u'\t');
        } else if (b < 0x20) {
            continue;
        } else {
            byte(b);
        }
    }
}

bool Reader::symbolFont()
{
    const int f = state().chr.font >= 0 ? state().chr.font : m_defaultFont;
    auto it = m_fonts.find(f);
    return it != m_fonts.end() && it->second.symbol;
}

CodePage::Decoder *Reader::decoderFor(int codePage)
{
    auto &slot = m_decoders[CodePage::supported(codePage)];
    if (!slot)
        slot = std::make_unique<CodePage::Decoder>(codePage);
    return slot.get();
}

CodePage::Decoder *Reader::decoder()
{
    int cp = 0;
    if (state().dest == Dest::FontTable) {
        cp = m_fontEntryCodePage;
    } else {
        const int f = state().chr.font >= 0 ? state().chr.font : m_defaultFont;
        auto it = m_fonts.find(f);
        if (it != m_fonts.end())
            cp = it->second.codePage;
    }
    return decoderFor(cp > 0 ? cp : m_ansiCodePage);
}

void Reader::byte(unsigned char b)
{
    const Dest dest = state().dest;
    if (dest == Dest::ColorTable) {
        if (b == ';') {
            m_colors.push_back(m_colorSet ? QColor(m_red, m_green, m_blue) : QColor());
            m_colorSet = false;
            m_red = m_green = m_blue = 0;
        }
        return;
    }
    if (dest != Dest::Text && dest != Dest::FontTable && dest != Dest::FieldInst && dest != Dest::LevelText)
        return;
    if (dest == Dest::Text && symbolFont()) {
        flushPending();
        textChar(CodePage::fromSymbol(b));
        return;
    }
    CodePage::Decoder *d = decoder();
    if (m_pendingDecoder && m_pendingDecoder != d)
        flushPending();
    if (b < 0x80 && !d->hasPending()) {
        textChar(b);
        return;
    }
    m_scratch.clear();
    d->decode(b, m_scratch);
    m_pendingDecoder = d->hasPending() ? d : nullptr;
    if (!m_scratch.isEmpty()) {
        const QString s = m_scratch;
        for (QChar c : s)
            textChar(c.unicode());
    }
}

void Reader::flushPending()
{
    if (!m_pendingDecoder)
        return;
    CodePage::Decoder *d = m_pendingDecoder;
    m_pendingDecoder = nullptr;
    QString s;
    d->flush(s);
    for (QChar c : std::as_const(s))
        textChar(c.unicode());
}

void Reader::character(char32_t c)
{
    if (c > 0xffff && c <= 0x10ffff) {
        textChar(QChar::highSurrogate(c));
        textChar(QChar::lowSurrogate(c));
    } else if (c <= 0xffff) {
        textChar(char16_t(c));
    } else {
        textChar(0xfffd);
    }
}

void Reader::textChar(char16_t c)
{
    const Dest dest = state().dest;
    switch (dest) {
    case Dest::Text:
        break;
    case Dest::FontTable:
        if (c == u';') {
            commitFontEntry();
            m_fontNameDone = true;
        } else if (!m_fontNameDone && m_fontName.size() < 256) {
            m_fontName += QChar(c);
        }
        return;
    case Dest::FieldInst:
        if (m_fields.back().instruction.size() < 4096)
            m_fields.back().instruction += QChar(c);
        return;
    case Dest::LevelText:
        if (m_levelText.size() < 256)
            m_levelText += QChar(c);
        return;
    case Dest::ColorTable:
        if (c == u';')
            byte(';');
        return;
    default:
        return;
    }
    if (state().chr.hidden)
        return;
    // Characters that would break the document's structure.
    if ((c < 0x20 && c != u'\t') || c == 0x7f)
        return;
    if (c == 0x2029)
        c = 0x2028;
    else if (c == 0xfdd0 || c == 0xfdd1 || c == 0xfdef)
        c = 0xfffd;
    else if (c >= 0xf020 && c <= 0xf0ff && symbolFont())
        c = CodePage::fromSymbol(uchar(c - 0xf000)); // how Word writes Symbol characters
    const QChar ch(c);
    const CharProps &props = state().chr;
    if ((props.cjkFont >= 0 || props.cjkHalfPoints > 0)
        && (isEastAsian(c) || (m_lastEastAsian && (QChar::isLowSurrogate(c) || c == u' ')))) {
        CharProps east = props;
        if (east.cjkFont >= 0)
            east.font = east.cjkFont;
        if (east.cjkHalfPoints > 0)
            east.halfPoints = east.cjkHalfPoints;
        if (m_runCount == 0 || !(m_runs[m_runCount - 1].props == east)) {
            if (m_runCount == m_runs.size())
                m_runs.emplace_back();
            Run &r = m_runs[m_runCount++];
            r.text.clear();
            r.props = east;
        }
        m_runs[m_runCount - 1].text.append(ch);
        m_charDirty = true; // the next character compares its properties again
        m_lastEastAsian = true;
        return;
    }
    m_lastEastAsian = false;
    appendText(QStringView(&ch, 1));
}

template<typename Text>
void Reader::appendText(Text s)
{
    if (m_charDirty || m_runCount == 0) {
        const CharProps &props = state().chr;
        if (m_runCount == 0 || !(m_runs[m_runCount - 1].props == props)) {
            if (m_runCount == m_runs.size())
                m_runs.emplace_back();
            Run &r = m_runs[m_runCount++];
            r.text.clear();
            r.props = props;
        }
        m_charDirty = false;
    }
    m_runs[m_runCount - 1].text.append(s);
}

void Reader::commitFontEntry()
{
    if (m_fontEntry < 0 && m_fontName.isEmpty())
        return;
    if (!m_fontNameDone || !m_fontName.isEmpty()) {
        QString name = m_fontName.trimmed();
        if (m_cocoa)
            name = familyOfPostScriptName(name);
        if (m_fonts.size() < 100000 && (m_fontEntry >= 0)) {
            Font &f = m_fonts[m_fontEntry];
            if (!name.isEmpty() || f.name.isEmpty())
                f.name = name;
            f.symbol = f.name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0;
            f.codePage = m_fontEntryCodePage;
        }
    }
    m_fontName.clear();
    m_fontNameDone = true;
}

// ---- paragraphs ---------------------------------------------------------------------------------

QTextCharFormat Reader::charFormat(const CharProps &p)
{
    auto it = m_formats.find(p);
    if (it != m_formats.end())
        return it->second;
    QTextCharFormat f;
    auto font = m_fonts.find(p.font >= 0 ? p.font : m_defaultFont);
    if (font != m_fonts.end() && font->second.symbol) {
        // Symbol text is read as the Unicode characters it shows: the document's font shows them.
        font = m_fonts.find(m_defaultFont);
        if (font != m_fonts.end() && font->second.symbol)
            font = m_fonts.end();
    }
    if (font != m_fonts.end() && !font->second.name.isEmpty())
        f.setFontFamilies(QStringList {font->second.name});
    f.setFontPointSize(p.halfPoints / 2.0);
    if (p.bold)
        f.setFontWeight(QFont::Bold);
    if (p.italic)
        f.setFontItalic(true);
    if (p.underline != QTextCharFormat::NoUnderline)
        f.setUnderlineStyle(QTextCharFormat::UnderlineStyle(p.underline));
    if (p.strike)
        f.setFontStrikeOut(true);
    if (p.vertical == 1)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (p.vertical == 2)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (p.caps == 1)
        f.setFontCapitalization(QFont::AllUppercase);
    else if (p.caps == 2)
        f.setFontCapitalization(QFont::SmallCaps);
    auto color = [this](int index) {
        return index > 0 && index < int(m_colors.size()) ? m_colors[index] : QColor();
    };
    if (QColor c = color(p.fg); c.isValid())
        f.setForeground(c);
    if (QColor c = color(p.bg); c.isValid())
        f.setBackground(c);
    if (QColor c = color(p.ulColor); c.isValid() && p.underline)
        f.setUnderlineColor(c);
    if (p.link > 0 && p.link <= int(m_links.size())) {
        f.setAnchor(true);
        f.setAnchorHref(m_links[p.link - 1]);
    }
    if (m_formats.size() < 4096)
        m_formats.emplace(p, f);
    return f;
}

QTextBlockFormat Reader::blockFormat(const ParaProps &p)
{
    if (m_haveLastPara && m_lastPara == p)
        return m_lastBlockFormat;
    QTextBlockFormat f;
    static const Qt::Alignment aligns[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
    if (p.align != 0)
        f.setAlignment(aligns[p.align & 3]);
    const bool listed = (p.ls > 0) || p.pnKind != NoList;
    if (!listed) {
        if (p.li)
            f.setLeftMargin(p.li / 15.0);
        if (p.fi)
            f.setTextIndent(p.fi / 15.0);
    }
    if (p.ri)
        f.setRightMargin(p.ri / 15.0);
    if (p.sb)
        f.setTopMargin(p.sb / 15.0);
    if (p.sa)
        f.setBottomMargin(p.sa / 15.0);
    if (p.sl != 0) {
        if (p.slmult && p.sl > 0)
            f.setLineHeight(p.sl * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (p.sl > 0)
            f.setLineHeight(p.sl / 15.0, QTextBlockFormat::MinimumHeight);
        else
            f.setLineHeight(-p.sl / 15.0, QTextBlockFormat::FixedHeight);
    }
    if (p.tabSet >= 0 && p.tabSet < int(m_tabSets.size()))
        f.setTabPositions(m_tabSets[p.tabSet]);
    if (p.outline >= 0 && p.outline < 6)
        f.setHeadingLevel(p.outline + 1);
    if (p.rtl)
        f.setLayoutDirection(Qt::RightToLeft);
    m_lastPara = p;
    m_lastBlockFormat = f;
    m_haveLastPara = true;
    return f;
}

QTextList *Reader::listFor(const ParaProps &p)
{
    if (p.ls > 0) {
        for (auto &slot : m_pnLists)
            slot = nullptr;
        ListLevel level;
        auto o = m_overrides.find(p.ls);
        if (o != m_overrides.end()) {
            auto d = m_listDefs.find(o->second);
            if (d != m_listDefs.end())
                level = d->second.levels[p.ilvl];
        }
        if (level.none)
            return nullptr;
        // A shallower item ends the deeper lists of the same list: their numbering restarts.
        auto first = m_lists.lower_bound({p.ls, p.ilvl + 1});
        auto last =
            p.ls < std::numeric_limits<int>::max() ? m_lists.lower_bound({p.ls + 1, 0}) : m_lists.end();
        m_lists.erase(first, last);
        QTextList *&list = m_lists[{p.ls, p.ilvl}];
        if (!list) {
            QTextListFormat format;
            format.setStyle(listStyle(level.kind));
            format.setIndent(p.ilvl + 1);
            if (!level.prefix.isEmpty())
                format.setNumberPrefix(level.prefix);
            if (!level.suffix.isEmpty() && level.suffix != QLatin1String("."))
                format.setNumberSuffix(level.suffix);
            list = m_cursor.createList(format);
        } else {
            list->add(m_cursor.block());
        }
        return list;
    }
    if (p.pnKind != NoList) {
        const int lvl = std::clamp(int(p.pnLevel), 0, MaxListLevel);
        for (int i = lvl + 1; i <= MaxListLevel; ++i)
            m_pnLists[i] = nullptr;
        QTextList *&list = m_pnLists[lvl];
        if (list && list->format().style() != listStyle(ListKind(p.pnKind)))
            list = nullptr;
        if (!list) {
            QTextListFormat format;
            format.setStyle(listStyle(ListKind(p.pnKind)));
            format.setIndent(lvl + 1);
            list = m_cursor.createList(format);
        } else {
            list->add(m_cursor.block());
        }
        return list;
    }
    for (auto &slot : m_pnLists)
        slot = nullptr;
    return nullptr;
}

void Reader::endParagraph(bool evenIfEmpty)
{
    flushPending();
    if (!evenIfEmpty && m_runCount == 0)
        return;
    const State &s = state();
    const QTextBlockFormat bf = blockFormat(s.para);
    const QTextCharFormat blockChar = charFormat(m_runCount > 0 ? m_runs[0].props : s.chr);
    if (m_firstBlock) {
        m_cursor.setBlockFormat(bf);
        m_cursor.setBlockCharFormat(blockChar);
        m_firstBlock = false;
    } else {
        m_cursor.insertBlock(bf, blockChar);
    }
    listFor(s.para);
    for (size_t i = 0; i < m_runCount; ++i) {
        Run &r = m_runs[i];
        if (r.text.isEmpty())
            continue;
        // Unpaired surrogates become U+FFFD.
        for (qsizetype k = 0; k < r.text.size(); ++k) {
            const QChar c = r.text.at(k);
            if (c.isHighSurrogate() && k + 1 < r.text.size() && r.text.at(k + 1).isLowSurrogate()) {
                ++k;
                continue;
            }
            if (c.isSurrogate())
                r.text[k] = QChar(0xfffd);
        }
        m_cursor.insertText(r.text, charFormat(r.props));
    }
    for (size_t i = 0; i < m_runCount; ++i) {
        if (m_runs[i].text.capacity() > 4096)
            m_runs[i].text = QString();
    }
    m_runCount = 0;
    m_charDirty = true;
}

} // namespace

bool read(QByteArrayView data, QTextDocument &document)
{
    document.clear();
    if (!data.startsWith("{\\rtf"))
        return false;
    const bool undo = document.isUndoRedoEnabled();
    document.setUndoRedoEnabled(false);
    {
        Reader reader(data, document);
        reader.run();
    }
    document.setUndoRedoEnabled(undo);
    return true;
}

} // namespace Rtf
