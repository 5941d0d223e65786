#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <optional>

// A file's bytes mapped read-only, followed by at least `padding` readable zero bytes, so a
// parser that reads a little past the end can work on them in place. Mapping shares the pages
// the kernel already caches: reading a large file this way touches no fresh memory, which is
// what a read into a new buffer mostly costs. Only for files nobody shortens while they are
// mapped: the store's files are replaced by rename, never rewritten in place.
class MappedFile
{
public:
    // Nothing when the file cannot be opened or read.
    static std::optional<MappedFile> open(const QString &path, std::size_t padding);

    MappedFile(MappedFile &&other) noexcept;
    MappedFile &operator=(MappedFile &&other) noexcept;
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;
    ~MappedFile();

    QByteArrayView bytes() const { return {m_data, qsizetype(m_size)}; }

private:
    MappedFile() = default;
    void release();

    const char *m_data = nullptr;
    std::size_t m_size = 0;
    void *m_mapping = nullptr;
    std::size_t m_mappingSize = 0;
    QByteArray m_copy; // for files that cannot be mapped (pipes, special files)
};
