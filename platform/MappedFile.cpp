#include "platform/MappedFile.h"

#include <QFile>

#include <utility>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::size_t roundToPages(std::size_t size)
{
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

} // namespace

std::optional<MappedFile> MappedFile::open(const QString &path, std::size_t padding)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    MappedFile file;
    struct stat info
    { };
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
    if (regular) {
        // Anonymous zero pages first, then the file over their start: the padding past the end
        // of the file is always there to read, whatever the file's size.
        const std::size_t size = std::size_t(info.st_size);
        const std::size_t total = roundToPages(size + padding);
        void *area = ::mmap(nullptr, total, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area != MAP_FAILED) {
            void *mapped = ::mmap(area, size, PROT_READ, MAP_PRIVATE | MAP_FIXED | MAP_POPULATE, fd, 0);
            if (mapped != MAP_FAILED) {
                file.m_mapping = area;
                file.m_mappingSize = total;
                file.m_data = static_cast<const char *>(area);
                file.m_size = size;
                ::close(fd);
                return file;
            }
            ::munmap(area, total);
        }
    }
    // Not a regular file, empty as far as stat knows, or not mappable: read what there is.
    QFile stream;
    if (!stream.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    file.m_copy = stream.readAll();
    if (stream.error() != QFileDevice::NoError)
        return std::nullopt;
    const qsizetype size = file.m_copy.size();
    file.m_copy.reserve(size + qsizetype(padding));
    file.m_copy.resize(size + qsizetype(padding), '\0');
    file.m_copy.truncate(size); // the zeros stay in the spare capacity
    file.m_data = file.m_copy.constData();
    file.m_size = std::size_t(size);
    return file;
}

MappedFile::MappedFile(MappedFile &&other) noexcept
{
    *this = std::move(other);
}

MappedFile &MappedFile::operator=(MappedFile &&other) noexcept
{
    if (this != &other) {
        release();
        m_copy = std::move(other.m_copy);
        m_data = other.m_mapping ? other.m_data : m_copy.constData();
        m_size = std::exchange(other.m_size, 0);
        m_mapping = std::exchange(other.m_mapping, nullptr);
        m_mappingSize = std::exchange(other.m_mappingSize, 0);
        other.m_data = nullptr;
    }
    return *this;
}

MappedFile::~MappedFile()
{
    release();
}

void MappedFile::release()
{
    if (m_mapping)
        ::munmap(m_mapping, m_mappingSize);
    m_mapping = nullptr;
    m_mappingSize = 0;
    m_data = nullptr;
    m_size = 0;
    m_copy.clear();
}
