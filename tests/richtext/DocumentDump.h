#pragma once

// A line-oriented description of a QTextDocument's text and the formatting the RTF codec keeps,
// for golden-file comparisons:
//
//   P align=center left=48 list=disc/1
//     "Hello " font=Arial size=12
//     "bold" b
//
// One "P" line per paragraph with its non-default properties, then one line per run of text with
// its attributes. Font and size are printed only where they change from the run before, so the
// files stay readable.

#include <QColor>
#include <QFont>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <cmath>

namespace DocumentDump {

inline QString number(qreal v)
{
    return QString::number(std::round(v * 10) / 10, 'g', 8);
}

inline QString quoted(const QString &text)
{
    static const QHash<char16_t, QString> escapes = {{u'"', QStringLiteral("\\\"")},
                                                     {u'\\', QStringLiteral("\\\\")},
                                                     {u'\t', QStringLiteral("\\t")},
                                                     {0x2028, QStringLiteral("\\n")},
                                                     {0x00a0, QStringLiteral("\\~")}};
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (escapes.contains(c.unicode()))
            out += escapes.value(c.unicode());
        else if (c.unicode() < 0x20 || c.unicode() >= 0xfff0)
            out += QStringLiteral("\\u{%1}").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}

inline QString listStyleName(QTextListFormat::Style style)
{
    static const QHash<int, QString> names = {
        {QTextListFormat::ListDisc, QStringLiteral("disc")},
        {QTextListFormat::ListCircle, QStringLiteral("circle")},
        {QTextListFormat::ListSquare, QStringLiteral("square")},
        {QTextListFormat::ListDecimal, QStringLiteral("decimal")},
        {QTextListFormat::ListLowerAlpha, QStringLiteral("lower-alpha")},
        {QTextListFormat::ListUpperAlpha, QStringLiteral("upper-alpha")},
        {QTextListFormat::ListLowerRoman, QStringLiteral("lower-roman")},
        {QTextListFormat::ListUpperRoman, QStringLiteral("upper-roman")}};
    return names.value(style, QStringLiteral("none"));
}

inline QString blockLine(const QTextBlock &block)
{
    const QTextBlockFormat f = block.blockFormat();
    QStringList parts {QStringLiteral("P")};
    static const QHash<int, QString> alignments = {{Qt::AlignHCenter, QStringLiteral("align=center")},
                                                   {Qt::AlignRight, QStringLiteral("align=right")},
                                                   {Qt::AlignJustify, QStringLiteral("align=justify")}};
    if (const int align = int(f.alignment() & Qt::AlignHorizontal_Mask); alignments.contains(align))
        parts << alignments.value(align);
    if (f.leftMargin() != 0)
        parts << QStringLiteral("left=") + number(f.leftMargin());
    if (f.rightMargin() != 0)
        parts << QStringLiteral("right=") + number(f.rightMargin());
    if (f.textIndent() != 0)
        parts << QStringLiteral("indent=") + number(f.textIndent());
    if (f.topMargin() != 0)
        parts << QStringLiteral("top=") + number(f.topMargin());
    if (f.bottomMargin() != 0)
        parts << QStringLiteral("bottom=") + number(f.bottomMargin());
    if (f.lineHeightType() != QTextBlockFormat::SingleHeight) {
        static const char *const types[] = {"single", "percent", "fixed", "minimum", "distance"};
        parts << QStringLiteral("line=%1%2").arg(types[f.lineHeightType() % 5]).arg(number(f.lineHeight()));
    }
    if (f.headingLevel() > 0)
        parts << QStringLiteral("heading=%1").arg(f.headingLevel());
    if (f.layoutDirection() == Qt::RightToLeft)
        parts << QStringLiteral("rtl");
    const QList<QTextOption::Tab> tabs = f.tabPositions();
    if (!tabs.isEmpty()) {
        QStringList t;
        for (const QTextOption::Tab &tab : tabs) {
            static const char *const types[] = {"", "r", "c", "."};
            t << number(tab.position) + QLatin1String(types[tab.type & 3]);
        }
        parts << QStringLiteral("tabs=") + t.join(u',');
    }
    if (const QTextList *list = block.textList()) {
        const QTextListFormat lf = list->format();
        QString s = QStringLiteral("list=%1/%2").arg(listStyleName(lf.style())).arg(lf.indent());
        if (!lf.numberPrefix().isEmpty())
            s += QStringLiteral(" prefix=") + quoted(lf.numberPrefix());
        if (lf.hasProperty(QTextFormat::ListNumberSuffix))
            s += QStringLiteral(" suffix=") + quoted(lf.numberSuffix());
        s += QStringLiteral(" item=%1").arg(list->itemNumber(block) + 1);
        parts << s;
    }
    return parts.join(u' ');
}

inline QString family(const QTextCharFormat &f)
{
    const QStringList families = f.fontFamilies().toStringList();
    return families.isEmpty() ? QString() : families.first();
}

inline QString runLine(const QString &text, const QTextCharFormat &f, QString &lastFamily, qreal &lastSize)
{
    QStringList parts {QStringLiteral("  ") + quoted(text)};
    const QString fam = family(f);
    if (fam != lastFamily) {
        parts << QStringLiteral("font=")
                + (fam.isEmpty() ? QStringLiteral("-") : QString(fam).replace(u' ', u'_'));
        lastFamily = fam;
    }
    const qreal size = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 0;
    if (size != lastSize) {
        parts << QStringLiteral("size=") + (size > 0 ? number(size) : QStringLiteral("-"));
        lastSize = size;
    }
    if (f.hasProperty(QTextFormat::FontWeight) && f.fontWeight() >= QFont::DemiBold)
        parts << QStringLiteral("b");
    if (f.fontItalic())
        parts << QStringLiteral("i");
    static const QHash<int, QString> underlines = {
        {QTextCharFormat::SingleUnderline, QStringLiteral("u")},
        {QTextCharFormat::DotLine, QStringLiteral("u=dot")},
        {QTextCharFormat::DashUnderline, QStringLiteral("u=dash")},
        {QTextCharFormat::WaveUnderline, QStringLiteral("u=wave")}};
    if (f.underlineStyle() != QTextCharFormat::NoUnderline)
        parts << underlines.value(f.underlineStyle(), QStringLiteral("u=other"));
    if (f.fontStrikeOut())
        parts << QStringLiteral("s");
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        parts << QStringLiteral("sup");
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        parts << QStringLiteral("sub");
    if (f.hasProperty(QTextFormat::FontCapitalization) && f.fontCapitalization() != QFont::MixedCase)
        parts << (f.fontCapitalization() == QFont::SmallCaps ? QStringLiteral("smallcaps")
                                                             : QStringLiteral("caps"));
    if (f.foreground().style() != Qt::NoBrush)
        parts << QStringLiteral("fg=") + f.foreground().color().name();
    if (f.background().style() != Qt::NoBrush)
        parts << QStringLiteral("bg=") + f.background().color().name();
    if (f.isAnchor())
        parts << QStringLiteral("href=") + quoted(f.anchorHref());
    return parts.join(u' ');
}

inline QString dump(const QTextDocument &doc)
{
    QStringList lines;
    QString lastFamily;
    qreal lastSize = 0;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        lines << blockLine(b);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            lines << runLine(fragment.text(), fragment.charFormat(), lastFamily, lastSize);
        }
    }
    return lines.join(u'\n') + u'\n';
}

} // namespace DocumentDump
