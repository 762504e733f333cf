#include "folderlock.h"

#include "recordfiles.h"

#include <thread>

namespace record {

FolderLock::FolderLock(const QString& cartella, std::chrono::milliseconds patience)
    : m_path(recordPath(cartella, u"\\velmora.lock")) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + patience;
    while (!tryAcquire()) {
        if (Clock::now() >= deadline)
            throw FileError(m_path, QStringLiteral("another game is storing a record; "
                                                   "gave up waiting for it to finish"));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FolderLock::~FolderLock() {
    release();
}

} // namespace record
