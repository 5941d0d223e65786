#pragma once

#include <QFile>
#include <QTemporaryDir>

// Points the data, settings and cache folders of this process, and of the children it starts,
// into `scratch`: these benchmarks replace or remove what the data folder holds, so it must never
// be the user's own.
inline bool useScratchHome(const QTemporaryDir &scratch)
{
    if (!scratch.isValid())
        return false;
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QFile::encodeName(scratch.filePath(QString::fromLatin1(name))));
    return true;
}
