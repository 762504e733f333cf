#include <QtGlobal>

#ifndef Q_OS_WIN

#include "folderlock.h"
#include "platformfiles.h"
#include "recordfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace record {

namespace {

// Closes the descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd)
        : m_fd(fd) {}
    Fd(Fd&& other) noexcept
        : m_fd(other.release()) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&&) = delete;

    bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

[[noreturn]] void fail(const QString& path, int code) {
    throw FileError(path, qt_error_string(code));
}

[[noreturn]] void refuseLink(const QString& path) {
    throw FileError(path, QStringLiteral("is a symbolic link; a record file is never used "
                                         "through a link"));
}

void checkRegular(const QString& path, const struct stat& status) {
    if (S_ISLNK(status.st_mode))
        refuseLink(path);
    if (!S_ISREG(status.st_mode))
        throw FileError(path, QStringLiteral("is not a regular file"));
}

// Opens an existing regular file for reading. A FIFO or device is refused before it is opened;
// O_NONBLOCK keeps one swapped in meanwhile from blocking the open, and fstat then refuses it.
Fd openRegular(const QString& path, struct stat& status) {
    const QByteArray name = encoded(path);
    if (::lstat(name.constData(), &status) != 0)
        fail(path, errno);
    checkRegular(path, status);
    Fd fd(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.isValid()) {
        if (errno == ELOOP)
            refuseLink(path);
        fail(path, errno);
    }
    if (::fstat(fd.get(), &status) != 0)
        fail(path, errno);
    checkRegular(path, status);
    return fd;
}

void writeAll(int fd, const QByteArray& bytes, const QString& path) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            fail(path, errno);
        if (n > 0)
            done += n;
    }
}

// Creates `dir` and its missing parents as `mkdir -p` would.
void createWithParents(const QString& dir) {
    if (::mkdir(encoded(dir).constData(), 0777) == 0 || errno == EEXIST)
        return;
    if (errno != ENOENT)
        fail(dir, errno);
    const QString parent = QFileInfo(dir).path();
    if (parent == dir)
        fail(dir, ENOENT);
    createWithParents(parent);
    if (::mkdir(encoded(dir).constData(), 0777) != 0 && errno != EEXIST)
        fail(dir, errno);
}

} // namespace

QString systemDirectory() {
    const QString dir = QFile::decodeName(CORVALTO_RECORD_DIR);
    platform::ensureFolder(dir);
    return dir;
}

void ensureExists(const QString& path) {
    const QByteArray name = encoded(path);
    // O_EXCL never follows a link, not even a dangling one: its target is never created.
    const Fd created(
        ::open(name.constData(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (created.isValid()) {
        if (::fchmod(created.get(), 0666) != 0)
            fail(path, errno);
        return;
    }
    if (errno != EEXIST)
        fail(path, errno);
    struct stat status;
    openRegular(path, status);
}

QString readWhole(const QString& path) {
    return QString::fromLocal8Bit(platform::readBytes(path));
}

namespace platform {

void ensureFolder(const QString& path) {
    const QString dir = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    struct stat status;
    if (::stat(encoded(dir).constData(), &status) == 0) {
        if (!S_ISDIR(status.st_mode))
            throw FileError(path, QStringLiteral("is not a folder"));
        return;
    }
    if (errno != ENOENT)
        fail(path, errno);
    createWithParents(QFileInfo(dir).path());
    if (::mkdir(encoded(dir).constData(), 0777) != 0) {
        if (errno != EEXIST) // another game may have just created it
            fail(path, errno);
        return;
    }
    // mkdir honours the umask; every account must be able to create and replace record files.
    const Fd fd(::open(encoded(dir).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.isValid() || ::fchmod(fd.get(), 0777) != 0)
        fail(path, errno);
}

QByteArray readBytes(const QString& path) {
    struct stat status;
    const Fd fd = openRegular(path, status);
    if (status.st_size > maxFileSize)
        throw FileError(path, tooLargeReason());
    // One byte more than allowed tells a file that grew since fstat.
    QByteArray bytes(maxFileSize + 1, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, size_t(bytes.size() - done));
        if (n == 0)
            break;
        if (n < 0 && errno != EINTR)
            fail(path, errno);
        if (n > 0)
            done += n;
    }
    if (done > maxFileSize)
        throw FileError(path, tooLargeReason());
    bytes.truncate(done);
    return bytes;
}

bool createNew(const QString& path, const QByteArray& bytes) {
    const QByteArray name = encoded(path);
    Fd fd(::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (!fd.isValid()) {
        if (errno == EEXIST)
            return false;
        fail(path, errno);
    }
    try {
        // The umask would otherwise keep other accounts from replacing this record later.
        if (::fchmod(fd.get(), 0666) != 0)
            fail(path, errno);
        writeAll(fd.get(), bytes, path);
        if (::fsync(fd.get()) != 0)
            fail(path, errno);
        if (::close(fd.release()) != 0)
            fail(path, errno);
    } catch (const FileError&) {
        ::unlink(name.constData());
        throw;
    }
    return true;
}

void replace(const QString& from, const QString& to) {
    if (::rename(encoded(from).constData(), encoded(to).constData()) != 0)
        fail(to, errno);
}

void remove(const QString& path) noexcept {
    ::unlink(encoded(path).constData());
}

} // namespace platform

bool FolderLock::tryAcquire() {
    const QByteArray name = encoded(m_path);
    Fd fd(::open(name.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd.isValid()) {
        if (errno == ELOOP)
            refuseLink(m_path);
        fail(m_path, errno);
    }
    struct stat held;
    if (::fstat(fd.get(), &held) != 0)
        fail(m_path, errno);
    checkRegular(m_path, held);
    // A game of another account must be able to open it too, whatever our umask.
    if (held.st_uid == ::geteuid() && (held.st_mode & 0777) != 0666)
        ::fchmod(fd.get(), 0666);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK || errno == EINTR)
            return false;
        fail(m_path, errno);
    }
    // The previous holder removes the file as it lets go: a lock on a removed file guards nothing.
    struct stat now;
    if (::lstat(name.constData(), &now) != 0 || now.st_dev != held.st_dev ||
        now.st_ino != held.st_ino)
        return false;
    m_handle = fd.release();
    return true;
}

void FolderLock::release() noexcept {
    if (m_handle < 0)
        return;
    // Removed before it is unlocked, so that a game waiting on this file knows to start again.
    ::unlink(encoded(m_path).constData());
    ::close(int(m_handle));
    m_handle = -1;
}

} // namespace record

#endif
