#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>

// A small tmpfs over a test's folder, to see writes meet a full or read-only file system. Needs
// root; `ok()` is false where mounting is not allowed and the test should skip.
class ScratchMount
{
public:
    explicit ScratchMount(const QString &folder, const QByteArray &size = "64k") : m_folder(folder)
    {
        QDir().mkpath(folder);
        const QByteArray options = "size=" + size + ",mode=0700";
        m_ok = ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~ScratchMount()
    {
        if (m_ok)
            ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    ScratchMount(const ScratchMount &) = delete;
    ScratchMount &operator=(const ScratchMount &) = delete;

    bool ok() const { return m_ok; }
    // "ro", "rw", "size=1m", ...: the same mount with other options.
    bool remount(const QByteArray &options)
    {
        unsigned long flags = MS_REMOUNT;
        if (options == "ro")
            flags |= MS_RDONLY;
        const QByteArray data = options.startsWith("size=") ? options : QByteArray();
        return ::mount("tmpfs", QFile::encodeName(m_folder).constData(), nullptr, flags,
                       data.isEmpty() ? nullptr : data.constData())
            == 0;
    }

private:
    QString m_folder;
    bool m_ok = false;
};
