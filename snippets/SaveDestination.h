#pragma once

#include <QList>
#include <QString>

#include <optional>

// The quick locations of the snippet save popover, in the order of its segments.
enum class SaveDestination { lastFolder, desktop, documents, downloads };

// "Last Folder", "Desktop", "Documents", "Downloads": the segment labels.
QString saveDestinationRawValue(SaveDestination destination);
std::optional<SaveDestination> saveDestinationFromRawValue(const QString &raw);
const QList<SaveDestination> &allSaveDestinations();

// The user's Desktop, Documents or Downloads folder; nothing for lastFolder or when the
// system names no such folder.
std::optional<QString> standardFolder(SaveDestination destination);

// A file name from the first non-empty line: "/" and ":" become "-", at most 48 characters,
// ".txt" added unless the name has a dot; "Snippet.txt" when there is nothing to use.
QString suggestedFilename(const QString &plainText);

// Trimmed of white space and line breaks at both ends.
QString trimmedName(const QString &name);

// The reason `name` (already trimmed) cannot name a file in a folder, or nothing when it can.
std::optional<QString> filenameProblem(const QString &name);

// Counts user-perceived characters (grapheme clusters).
qsizetype perceivedLength(QStringView text);
