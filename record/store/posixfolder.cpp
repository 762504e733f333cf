#include "posixfolder.h"

#include "journal.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace record {

using core::Failure;
using core::Problem;

namespace {

// Closes the descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd)
        : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

[[noreturn]] void fail(Problem problem, std::string_view name) {
    throw Failure{problem, std::string(name)};
}

Problem writeProblem(int error) {
    return error == ENOSPC || error == EDQUOT ? Problem::full : Problem::unwritable;
}

// What stat says of a file that must be a plain record file.
void checkPlain(const struct stat& status, std::string_view name) {
    if (S_ISLNK(status.st_mode))
        fail(Problem::link, name);
    if (!S_ISREG(status.st_mode))
        fail(Problem::special, name);
    if (status.st_nlink != 1)
        fail(Problem::hardLinked, name);
}

std::string readBounded(int fd, std::size_t bound, std::string_view name) {
    // One byte more than allowed tells a file that is too large, or grew since fstat. The
    // buffer grows only as the file proves long: record files hold a few bytes, and clearing
    // room for the largest allowed would take longer than the whole read.
    std::string bytes;
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (done > bound)
                break;
            bytes.resize(std::min(bound + 1, std::max<std::size_t>(4096, 2 * done)));
        }
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, off_t(done));
        if (n == 0)
            break;
        if (n < 0 && errno != EINTR)
            fail(Problem::unreadable, name);
        if (n > 0)
            done += std::size_t(n);
    }
    bytes.resize(done);
    return bytes;
}

// Writes `bytes` over the start of the file, cuts it to their length and flushes it.
void overwrite(int fd, std::string_view bytes, std::string_view name) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, off_t(done));
        if (n < 0 && errno != EINTR)
            fail(writeProblem(errno), name);
        if (n > 0)
            done += std::size_t(n);
    }
    if (::ftruncate(fd, off_t(bytes.size())) != 0 || ::fsync(fd) != 0)
        fail(writeProblem(errno), name);
}

} // namespace

PosixFolder::PosixFolder(const std::string& path, std::chrono::milliseconds patience)
    : m_patience(patience) {
    m_dir = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_dir < 0)
        fail(errno == EACCES ? Problem::unreadable : Problem::noFolder, ".");
}

PosixFolder::~PosixFolder() {
    unlock();
    ::close(m_dir);
}

int PosixFolder::openChecked(std::string_view name, int flags, bool forWriting) const {
    const std::string file(name);
    // Checked before it is opened: opening a FIFO or a device can block or act on it.
    struct stat status;
    if (::fstatat(m_dir, file.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        fail(forWriting ? writeProblem(errno) : Problem::unreadable, name);
    checkPlain(status, name);
    Fd fd(::openat(m_dir, file.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ELOOP)
            fail(Problem::link, name);
        if (errno == EISDIR || errno == ENXIO)
            fail(Problem::special, name);
        fail(forWriting ? writeProblem(errno) : Problem::unreadable, name);
    }
    // Whatever was swapped in since the first look is checked again on what was opened.
    if (::fstat(fd.get(), &status) != 0)
        fail(Problem::unreadable, name);
    checkPlain(status, name);
    return fd.release();
}

void PosixFolder::lock() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + m_patience;
    const std::string file(core::lockFile);
    for (;;) {
        int opened = -1;
        struct stat status;
        if (::fstatat(m_dir, file.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
            opened = openChecked(core::lockFile, O_RDWR, true);
        } else if (errno == ENOENT) {
            checkMayCreate(core::lockFile);
            opened = ::openat(m_dir, file.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0660);
            if (opened < 0) {
                if (errno == EEXIST)
                    continue; // another store has just created it
                fail(writeProblem(errno), core::lockFile);
            }
            // Ours, just made: no umask decides who else may open it. Only the group: anyone
            // who could open it could also hold it.
            // Flushed with the folder's new entry: a journal is only as durable as its file.
            if (::fchmod(opened, 0660) != 0 || ::fsync(opened) != 0 || ::fsync(m_dir) != 0) {
                const int error = errno;
                ::close(opened);
                fail(writeProblem(error), core::lockFile);
            }
        } else {
            fail(Problem::unreadable, core::lockFile);
        }
        Fd fd(opened);
        while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                fail(Problem::unwritable, core::lockFile);
            if (Clock::now() >= deadline)
                fail(Problem::busy, core::lockFile);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        // A lock on a file that no longer bears the name guards nothing: start again.
        struct stat locked;
        struct stat named;
        if (::fstat(fd.get(), &locked) == 0 &&
            ::fstatat(m_dir, file.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            m_lock = fd.release();
            // The set-up replaces files only while it holds the lock itself: what bears the
            // record names now stays theirs until this store lets go.
            for (const std::string_view name : {core::scoreFile, core::nameFile}) {
                if (::fstatat(m_dir, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) ==
                        0 ||
                    errno != ENOENT)
                    *held(name) = openChecked(name, O_RDWR, true);
            }
            return;
        }
    }
}

void PosixFolder::unlock() noexcept {
    for (int* fd : {&m_lock, &m_files[0], &m_files[1]}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void PosixFolder::checkMayCreate(std::string_view name) const {
    struct stat folder;
    // A folder that cannot be read is not one its caller does not own: no set-up would help.
    if (::fstat(m_dir, &folder) != 0)
        fail(Problem::unreadable, name);
    if (folder.st_uid != ::getuid())
        fail(Problem::missing, name);
}

int* PosixFolder::held(std::string_view name) {
    if (name == core::scoreFile)
        return &m_files[0];
    if (name == core::nameFile)
        return &m_files[1];
    return nullptr;
}

std::string PosixFolder::readJournal() {
    return readBounded(m_lock, core::maxJournalSize(), core::lockFile);
}

void PosixFolder::writeJournal(std::string_view bytes) {
    overwrite(m_lock, bytes, core::lockFile);
}

bool PosixFolder::createIfMissing(std::string_view name) {
    int* const kept = held(name);
    if (kept && *kept >= 0)
        return false;
    const std::string file(name);
    struct stat status;
    if (::fstatat(m_dir, file.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        checkPlain(status, name);
        return false;
    }
    if (errno != ENOENT)
        fail(Problem::unreadable, name);
    checkMayCreate(name);
    // O_EXCL never follows a link, not even a dangling one: its target is never created.
    Fd fd(::openat(m_dir, file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664));
    if (fd.get() < 0)
        fail(writeProblem(errno), name);
    // Readable by every account whatever the umask; written only by the store.
    if (::fchmod(fd.get(), 0664) != 0 || ::fsync(fd.get()) != 0)
        fail(writeProblem(errno), name);
    if (kept && m_lock >= 0)
        *kept = fd.release();
    return true;
}

std::string PosixFolder::read(std::string_view name) {
    const int* const kept = held(name);
    const Fd opened(kept && *kept >= 0 ? -1 : openChecked(name, O_RDONLY, false));
    std::string bytes =
        readBounded(opened.get() >= 0 ? opened.get() : *kept, core::maxFileSize, name);
    if (bytes.size() > core::maxFileSize)
        fail(Problem::tooLarge, name);
    return bytes;
}

void PosixFolder::rewrite(std::string_view name, std::string_view bytes) {
    const int* const kept = held(name);
    const Fd opened(kept && *kept >= 0 ? -1 : openChecked(name, O_WRONLY, true));
    overwrite(opened.get() >= 0 ? opened.get() : *kept, bytes, name);
}

void PosixFolder::flush() {
    if (::fsync(m_dir) != 0)
        fail(writeProblem(errno), ".");
}

} // namespace record
