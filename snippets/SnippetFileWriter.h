#pragma once

#include <QString>

// What became of one attempt to write a snippet to a file.
struct SnippetWriteResult
{
    enum class Outcome {
        saved,
        folderMissing, // the folder is gone or is not a folder
        notEncodable, // the text has characters UTF-8 cannot carry (lone surrogates)
        failed, // the system refused; `error` says why
        notCreated, // the write reported success but no file is there
        alreadyExists, // a file appeared at the path and replacing was not allowed
    };

    Outcome outcome = Outcome::failed;
    QString error;
};

// Writes `text` as UTF-8 (no byte-order mark, nothing added) to `filePath` in `folderPath`.
// The old file, if any, stays untouched until the new content is complete on disk, and is only
// replaced when `replaceExisting` is set. Safe to call on any thread.
SnippetWriteResult writeSnippetFile(const QString &folderPath, const QString &filePath, const QString &text,
                                    bool replaceExisting);
