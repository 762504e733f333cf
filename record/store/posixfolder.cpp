#include "posixfolder.h"

#include "journal.h"

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
    // One byte more than allowed tells a file that is too large, or grew since fstat.
    std::string bytes(bound + 1, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
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

long long nanoseconds(const struct timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
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
                ::close(opened);
                fail(Problem::unwritable, core::lockFile);
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
        struct stat held;
        struct stat named;
        if (::fstat(fd.get(), &held) == 0 &&
            ::fstatat(m_dir, file.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            m_lockDevice = held.st_dev;
            m_lockInode = held.st_ino;
            m_lock = fd.release();
            return;
        }
    }
}

void PosixFolder::unlock() noexcept {
    if (m_lock >= 0)
        ::close(m_lock);
    m_lock = -1;
}

void PosixFolder::checkStillHeld() const {
    struct stat named;
    if (m_lock < 0 ||
        ::fstatat(m_dir, std::string(core::lockFile).c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        named.st_dev != m_lockDevice || named.st_ino != m_lockInode)
        fail(Problem::busy, core::lockFile);
}

std::string PosixFolder::readJournal() {
    return readBounded(m_lock, core::maxJournalSize(), core::lockFile);
}

void PosixFolder::writeJournal(std::string_view bytes) {
    checkStillHeld();
    overwrite(m_lock, bytes, core::lockFile);
}

bool PosixFolder::createIfMissing(std::string_view name) {
    const std::string file(name);
    struct stat status;
    if (::fstatat(m_dir, file.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        checkPlain(status, name);
        return false;
    }
    if (errno != ENOENT)
        fail(Problem::unreadable, name);
    checkStillHeld();
    // O_EXCL never follows a link, not even a dangling one: its target is never created.
    const Fd fd(
        ::openat(m_dir, file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664));
    if (fd.get() < 0)
        fail(writeProblem(errno), name);
    // Readable by every account whatever the umask; written only by the store.
    if (::fchmod(fd.get(), 0664) != 0 || ::fsync(fd.get()) != 0)
        fail(writeProblem(errno), name);
    return true;
}

std::string PosixFolder::read(std::string_view name) {
    const Fd fd(openChecked(name, O_RDONLY, false));
    std::string bytes = readBounded(fd.get(), core::maxFileSize, name);
    if (bytes.size() > core::maxFileSize)
        fail(Problem::tooLarge, name);
    return bytes;
}

void PosixFolder::rewrite(std::string_view name, std::string_view bytes) {
    checkStillHeld();
    const Fd fd(openChecked(name, O_WRONLY, true));
    overwrite(fd.get(), bytes, name);
}

void PosixFolder::flush() {
    if (::fsync(m_dir) != 0)
        fail(Problem::unwritable, ".");
}

PosixFolder::LockState PosixFolder::lockState() const {
    LockState state;
    struct stat status;
    if (::fstatat(m_dir, std::string(core::lockFile).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(status.st_mode) || status.st_nlink != 1)
        return state;
    state.usable = true;
    state.pending = status.st_size != 0;
    state.inode = status.st_ino;
    state.modified = nanoseconds(status.st_mtim);
    state.changed = nanoseconds(status.st_ctim);
    return state;
}

bool PosixFolder::exists(std::string_view name) const {
    struct stat status;
    return ::fstatat(m_dir, std::string(name).c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace record
