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
//
// Once the lock is held, the record files are opened at once and written only through those
// descriptors: a store finishes what it began on the files it found under the lock, whatever
// takes their names later. Files are created only in a folder the caller owns: elsewhere a file
// the store made would belong to the player who ran it.
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

private:
    int openChecked(std::string_view name, int flags, bool forWriting) const;
    void checkMayCreate(std::string_view name) const;
    // The descriptor a record file was opened with under the lock; nullptr for another name.
    int* held(std::string_view name);

    int m_dir = -1;
    int m_lock = -1;
    int m_files[2] = {-1, -1}; // the score file and the name file, while the lock is held
    std::chrono::milliseconds m_patience;
};

} // namespace record
