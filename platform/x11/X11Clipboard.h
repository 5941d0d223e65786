#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The X11 clipboard read on a connection of its own, with a time budget, from any thread. Qt's
// clipboard asks on the GUI thread and waits up to 5 s per request, several times, so an owner
// that stopped answering would freeze the panel.
namespace X11Clipboard {

enum class Status {
    answered,
    empty, // nobody owns the clipboard, or the owner refused the request
    noAnswer, // the owner did not answer within the budget
    tooLarge, // more than the caller's limit
    unavailable, // no X display to ask: use Qt's clipboard
};

struct Reply
{
    Status status = Status::unavailable;
    QStringList targets; // for `targets()`: what the owner offers, as X names them
    QByteArray data; // for `read()`
};

// One TARGETS request.
Reply targets(int timeoutMs);
// The content offered as `target`, at most `maxBytes`, incremental transfers included.
Reply read(const QString &target, int timeoutMs, qsizetype maxBytes);

// X target names as MIME formats: "UTF8_STRING" is UTF-8 plain text, "STRING" Latin-1; names
// that already are MIME types stay; the rest (TIMESTAMP, MULTIPLE…) are dropped.
QStringList mimeFormats(const QStringList &targets);
// The X target to ask for a MIME format from `targets`.
QString targetFor(const QString &mimeFormat, const QStringList &targets);

} // namespace X11Clipboard
