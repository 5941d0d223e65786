#pragma once

#include <QString>

// One process at a time owns the data folder: two writers of the same files would each undo the
// other's changes. The lock is an advisory one on a file in the folder, taken by the first
// instance in a process and let go when the last one ends (or the process dies).
class DataFolderLock
{
public:
    DataFolderLock();
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock &) = delete;
    DataFolderLock &operator=(const DataFolderLock &) = delete;

    // False when another process holds the folder. A folder where no lock file can be made
    // (read-only, missing rights) is not held by anyone else and counts as owned.
    bool owned() const { return m_owned; }
    QString reason() const { return m_reason; }

private:
    bool m_owned = false;
    QString m_reason;
};
