#pragma once

#include <QString>
#include <QTextDocument>

// Qt shows a tool tip as rich text whenever the text looks like markup, so a file or tavlo
// named "<img src=...>" would be parsed and its picture loaded. This shows any text as it is.
inline QString plainToolTip(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}
