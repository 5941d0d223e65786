#include "platform/DataFolderLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/AppPaths.h"
#include "platform/DurableFile.h"

namespace {

std::mutex lockMutex;
int lockFd = -1;
int owners = 0;

} // namespace

DataFolderLock::DataFolderLock()
{
    std::lock_guard guard(lockMutex);
    if (owners > 0) {
        ++owners;
        m_owned = true;
        return;
    }
    const QString folder = AppPaths::dataFolder();
    int fd = -1;
    if (DurableFile::makeFolder(folder).ok()) {
        const QByteArray path = QFile::encodeName(folder + QStringLiteral("/.lock"));
        fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600); // read-only: flock needs no more
    }
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            m_reason = QStringLiteral("another Quorvin process is using %1").arg(folder);
            return;
        }
        fd = -1;
    }
    lockFd = fd;
    owners = 1;
    m_owned = true;
}

DataFolderLock::~DataFolderLock()
{
    if (!m_owned)
        return;
    std::lock_guard guard(lockMutex);
    if (--owners > 0)
        return;
    if (lockFd >= 0)
        ::close(lockFd); // closing lets the lock go
    lockFd = -1;
}
