#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Finds web links in free text: http and https URLs in any letter case, and bare domains
// ("example.co.uk/path") whose suffix is on the public suffix list, reported with "http://".
// E-mail addresses, other schemes, file names and version numbers are not links.
// Work is linear in the length of the text; nothing is read at run time.
namespace LinkDetector {

struct Match
{
    qsizetype start = 0; // UTF-16 index in the searched text
    qsizetype length = 0; // UTF-16 units
    // The link as RFC 3986 text: IDN hosts in ACE form, other non-ASCII and unsafe
    // characters percent-encoded; an explicit scheme is kept as written.
    QString url;

    friend bool operator==(const Match &, const Match &) = default;
};

// The first link that starts at or after `from`. A link never starts inside a word that
// `from` cuts, so scanning on from the end of the previous match finds the next one.
std::optional<Match> findNext(QStringView text, qsizetype from = 0);
QList<Match> findAll(QStringView text);

// True when `host` (any letter case, Unicode or ACE labels) has at least one label in front
// of its public suffix, and that suffix is a listed one: "example.com", not "co.uk" or "file.txt".
bool isRegistrableDomain(QStringView host);

} // namespace LinkDetector
