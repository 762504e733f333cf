#pragma once

#include <QString>

#include <chrono>

namespace record {

// Holds the lock file of a record folder so that two games never store at the same time. The lock
// file exists only while held; a lock left by a game that died is released by the system.
class FolderLock {
public:
    static constexpr std::chrono::milliseconds defaultPatience{5000};

    // Waits up to `patience` for another game to finish storing; then FileError.
    explicit FolderLock(const QString& cartella,
                        std::chrono::milliseconds patience = defaultPatience);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    const QString& path() const { return m_path; }

private:
    bool tryAcquire();
    void release() noexcept;

    QString m_path;
    qintptr m_handle = -1;
};

} // namespace record
