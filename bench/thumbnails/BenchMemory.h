#pragma once

#include <QFile>
#include <QString>

// Resident and peak resident memory of this process, in KiB, from /proc.
inline qint64 procStatusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}
inline qint64 residentKiB()
{
    return procStatusKiB("VmRSS:");
}
inline qint64 peakResidentKiB()
{
    return procStatusKiB("VmHWM:");
}
// Restarts the peak count (Linux: writing 5 to clear_refs resets VmHWM).
inline void resetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}
