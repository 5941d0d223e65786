#pragma once

#include <QByteArrayView>
#include <QString>

// The one way the application puts a file on disk. The bytes go to a temporary file next to the
// target, every write and the flush are checked, the file and then its folder are synced, and
// only then does the temporary file take the target's name. Whatever fails on the way, the
// file that was there before is left exactly as it was.
namespace DurableFile {

struct Result
{
    int error = 0; // errno of the step that failed; 0 on success
    QString reason; // the system's words for it, empty on success

    bool ok() const { return error == 0; }
};

struct Options
{
    // Owner-only (0600 in 0700 folders) from the first byte. Otherwise the file gets the
    // permissions of the file it replaces, or the usual ones under the umask.
    bool privateFile = true;
    // Fails with EEXIST instead of replacing a file that is already there.
    bool replace = true;
    // Missing folders on the way are created (0700 when private).
    bool createFolders = true;
    // Off for caches: a file that loses its name in a crash is made again, so the extra sync of
    // the folder is not worth its cost there.
    bool syncFolder = true;
};

Result write(const QString &path, QByteArrayView bytes, const Options &options = {});

// Creates `path` and any missing parents, owner-only. Existing folders are left as they are.
Result makeFolder(const QString &path, bool privateFolder = true);

} // namespace DurableFile
