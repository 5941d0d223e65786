#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QUrl>

// File names are bytes. `TavloUrl::toLocalFile()` gives names that are not UTF-8 with each stray
// byte mapped to U+DC80 + byte, so every name the file system holds survives the round trip
// (Qt's own file name codec replaces such bytes, and the file then reads as missing). Only an
// absolute path of a local file URL (no host, or "localhost") is a local file.
QString decodeFileName(QByteArrayView name);
QByteArray encodeFileName(QStringView name);
// The file URL of a path as a QUrl, for the desktop and for drag data.
QUrl localFileQUrl(const QString &path);
// Whether something exists at the path (a link is followed), by its exact bytes.
bool localFileExists(const QString &path);
