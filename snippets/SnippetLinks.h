#pragma once

#include <QList>
#include <QString>
#include <QStringView>

class QTextDocument;

// A web link found in typed text: where it is and what it points to.
struct TypedLink
{
    qsizetype start = 0;
    qsizetype length = 0;
    QString url;

    friend bool operator==(const TypedLink &, const TypedLink &) = default;
};

// Every web link in `text`, as the panel's own link detection finds them.
QList<TypedLink> findTypedLinks(QStringView text);

// Marks the links in the blocks touched by the edit [from, from + length) as anchors. A link that
// ends where the edit ends is left alone: the user may still be typing it. Anchors elsewhere are
// kept unless the edit touched them. Returns true when formatting changed; the change joins the
// previous undo step.
bool markTypedLinks(QTextDocument &document, int from, int length);
