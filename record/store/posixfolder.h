#pragma once

#include "folder.h"

#include <chrono>
#include <optional>
#include <string>

#include <sys/types.h>

namespace record {

// A record folder on a POSIX system, reached through a descriptor of the folder so that every
// file is opened by its own name within it and never through a link. Standard library and POSIX
// only: the privileged store is built from it.
class PosixFolder : public core::Folder {
public:
    static constexpr std::chrono::milliseconds defaultPatience{5000};

    // Opens the folder itself; Problem::noFolder if it is missing, a link or not a folder.
    explicit PosixFolder(const std::string& path,
                         std::chrono::milliseconds patience = defaultPatience);
    ~PosixFolder() override;
    PosixFolder(const PosixFolder&) = delete;
    PosixFolder& operator=(const PosixFolder&) = delete;

    void lock() override;
    void unlock() noexcept override;
    std::string readJournal() override;
    void writeJournal(std::string_view bytes) override;
    bool createIfMissing(std::string_view name) override;
    std::string read(std::string_view name) override;
    void rewrite(std::string_view name, std::string_view bytes) override;
    void flush() override;

    // What a reader without the lock can see of the lock file: whether it is there and usable,
    // and a version that changes whenever a store writes or clears its journal.
    struct LockState {
        bool usable = false;  // there, a regular file with one name
        bool pending = false; // holds a journal: a store is under way or was cut short
        ino_t inode = 0;
        long long modified = 0; // nanoseconds
        long long changed = 0;
        bool operator==(const LockState&) const = default;
    };
    LockState lockState() const;
    bool exists(std::string_view name) const;

private:
    int openChecked(std::string_view name, int flags, bool forWriting) const;
    void checkStillHeld() const;

    int m_dir = -1;
    int m_lock = -1;
    dev_t m_lockDevice = 0;
    ino_t m_lockInode = 0;
    std::chrono::milliseconds m_patience;
};

} // namespace record
