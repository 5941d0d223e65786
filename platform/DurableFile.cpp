#include "platform/DurableFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFile {

namespace {

Result failure(int error)
{
    return {error, QString::fromLocal8Bit(std::strerror(error))};
}

// Closes the descriptor on every way out and removes the temporary file unless told not to.
struct TempFile
{
    int fd = -1;
    QByteArray path;
    bool keep = false;

    ~TempFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!keep && !path.isEmpty())
            ::unlink(path.constData());
    }
};

bool writeAll(int fd, QByteArrayView bytes, int *error)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(std::min<qsizetype>(left, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        if (n == 0) {
            *error = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

int syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    // Some file systems cannot sync a folder; the rename is then as durable as they make it.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
        error = errno;
    ::close(fd);
    return error;
}

} // namespace

Result makeFolder(const QString &path, bool privateFolder)
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QStringList parts = clean.split(u'/', Qt::SkipEmptyParts);
    QString current;
    for (const QString &part : parts) {
        current += u'/' + part;
        const QByteArray native = QFile::encodeName(current);
        if (::mkdir(native.constData(), privateFolder ? 0700 : 0777) == 0 || errno == EEXIST)
            continue;
        return failure(errno);
    }
    struct stat st
    { };
    if (::stat(QFile::encodeName(clean).constData(), &st) != 0)
        return failure(errno);
    if (!S_ISDIR(st.st_mode))
        return failure(ENOTDIR);
    return {};
}

Result write(const QString &path, QByteArrayView bytes, const Options &options)
{
    QString target = QFileInfo(path).absoluteFilePath();
    // A user's file reached through a link is replaced where it really lives.
    if (!options.privateFile && QFileInfo(target).isSymLink()) {
        const QString resolved = QFileInfo(target).canonicalFilePath();
        if (!resolved.isEmpty())
            target = resolved;
    }
    const QString folder = QFileInfo(target).absolutePath();
    if (options.createFolders) {
        if (const Result made = makeFolder(folder, options.privateFile); !made.ok())
            return made;
    }

    const QByteArray nativeTarget = QFile::encodeName(target);
    mode_t mode = options.privateFile ? 0600 : 0666;
    bool keepMode = false;
    struct stat old
    { };
    if (::stat(nativeTarget.constData(), &old) == 0) {
        if (S_ISDIR(old.st_mode))
            return failure(EISDIR);
        if (!options.replace)
            return failure(EEXIST);
        if (!options.privateFile) {
            mode = old.st_mode & 07777;
            keepMode = true;
        }
    }

    TempFile temp;
    const QByteArray prefix = QFile::encodeName(folder + QStringLiteral("/.") + QFileInfo(target).fileName());
    for (int attempt = 0; attempt < 32 && temp.fd < 0; ++attempt) {
        const QByteArray candidate =
            prefix + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        // Created with its final permissions, so no byte is ever readable by others.
        const int fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            temp.fd = fd;
            temp.path = candidate;
        } else if (errno != EEXIST) {
            return failure(errno);
        }
    }
    if (temp.fd < 0)
        return failure(EEXIST);
    // The umask may have taken bits the old file had.
    if (keepMode && ::fchmod(temp.fd, mode) != 0)
        return failure(errno);

    int error = 0;
    if (!writeAll(temp.fd, bytes, &error))
        return failure(error);
    if (::fsync(temp.fd) != 0)
        return failure(errno);
    const int fd = std::exchange(temp.fd, -1);
    if (::close(fd) != 0)
        return failure(errno);

    if (options.replace) {
        if (::rename(temp.path.constData(), nativeTarget.constData()) != 0)
            return failure(errno);
    } else {
        // No window in which a file made by someone else meanwhile could be replaced.
        if (::renameat2(AT_FDCWD, temp.path.constData(), AT_FDCWD, nativeTarget.constData(), RENAME_NOREPLACE)
            != 0) {
            if (errno != EINVAL && errno != ENOSYS)
                return failure(errno);
            if (::link(temp.path.constData(), nativeTarget.constData()) != 0)
                return failure(errno);
        } else {
            temp.keep = true;
        }
    }
    if (options.replace)
        temp.keep = true;
    // The name now points at the new bytes; only the folder entry still has to reach the disk.
    if (!options.syncFolder)
        return {};
    if (const int folderError = syncFolder(QFile::encodeName(folder)))
        return failure(folderError);
    return {};
}

} // namespace DurableFile
