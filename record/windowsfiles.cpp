#include <QtGlobal>

#ifdef Q_OS_WIN

#include "folderlock.h"
#include "platformfiles.h"
#include "recordfiles.h"

#include <utility>
#include <vector>

#include <windows.h>

namespace record {

namespace {

// Closes the handle on every way out.
class Handle {
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle) {}
    Handle(Handle&& other) noexcept
        : m_handle(other.release()) {}
    ~Handle() {
        if (isValid())
            CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&&) = delete;

    bool isValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    HANDLE release() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }

private:
    HANDLE m_handle;
};

const wchar_t* native(const QString& path) {
    return reinterpret_cast<const wchar_t*>(path.utf16());
}

QString systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString message = length != 0 ? QString::fromWCharArray(text, int(length)).trimmed()
                                        : QStringLiteral("system error %1").arg(code);
    LocalFree(text);
    return message;
}

[[noreturn]] void fail(const QString& path, DWORD code) {
    throw FileError(path, systemMessage(code));
}

// A handle opened with FILE_FLAG_OPEN_REPARSE_POINT is the link itself if the name is one.
BY_HANDLE_FILE_INFORMATION checkRegular(const QString& path, HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        fail(path, GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        throw FileError(path, QStringLiteral("is a symbolic link; a record file is never used "
                                             "through a link"));
    if (GetFileType(handle) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(path, QStringLiteral("is not a regular file"));
    return info;
}

Handle openRegular(const QString& path, DWORD disposition) {
    Handle handle(CreateFileW(
        native(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.isValid())
        fail(path, GetLastError());
    checkRegular(path, handle.get());
    return handle;
}

} // namespace

QString systemDirectory() {
    // Room for the longest path Windows allows; the call still says if it would not fit.
    std::vector<char> buffer(32768);
    const UINT length = GetWindowsDirectoryA(buffer.data(), UINT(buffer.size()));
    const QString call = QStringLiteral("GetWindowsDirectoryA");
    if (length == 0)
        fail(call, GetLastError());
    if (length >= buffer.size())
        throw FileError(call, QStringLiteral("the Windows directory does not fit the buffer"));
    return QString::fromLocal8Bit(buffer.data(), qsizetype(length));
}

// The folder's inherited permissions decide who may use a new file.
void ensureExists(const QString& path) {
    openRegular(path, OPEN_ALWAYS);
}

QString readWhole(const QString& path) {
    return QString::fromLocal8Bit(platform::readBytes(path));
}

namespace platform {

void ensureFolder(const QString& path) {
    if (CreateDirectoryW(native(path), nullptr))
        return;
    const DWORD code = GetLastError();
    const DWORD attributes = GetFileAttributesW(native(path));
    if (code != ERROR_ALREADY_EXISTS)
        fail(path, code);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(path, QStringLiteral("is not a folder"));
}

QByteArray readBytes(const QString& path) {
    const Handle handle = openRegular(path, OPEN_EXISTING);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle.get(), &size))
        fail(path, GetLastError());
    if (size.QuadPart > maxFileSize)
        throw FileError(path, tooLargeReason());
    // One byte more than allowed tells a file that grew since its size was taken.
    QByteArray bytes(maxFileSize + 1, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!ReadFile(handle.get(), bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            fail(path, GetLastError());
        if (n == 0)
            break;
        done += n;
    }
    if (done > maxFileSize)
        throw FileError(path, tooLargeReason());
    bytes.truncate(done);
    return bytes;
}

bool createNew(const QString& path, const QByteArray& bytes) {
    // CREATE_NEW fails on any existing name, a link included, so nothing is written through one.
    Handle handle(CreateFileW(native(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.isValid()) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
            return false;
        fail(path, code);
    }
    try {
        qsizetype done = 0;
        while (done < bytes.size()) {
            DWORD n = 0;
            if (!WriteFile(handle.get(), bytes.constData() + done, DWORD(bytes.size() - done), &n,
                           nullptr))
                fail(path, GetLastError());
            done += n;
        }
        if (!FlushFileBuffers(handle.get()) || !CloseHandle(handle.release()))
            fail(path, GetLastError());
    } catch (const FileError&) {
        CloseHandle(handle.release());
        DeleteFileW(native(path));
        throw;
    }
    return true;
}

void replace(const QString& from, const QString& to) {
    if (!MoveFileExW(native(from), native(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail(to, GetLastError());
}

void remove(const QString& path) noexcept {
    DeleteFileW(native(path));
}

} // namespace platform

// Opened without sharing, the file itself is the lock; the system deletes it when the handle
// closes, even if the game dies.
bool FolderLock::tryAcquire() {
    Handle handle(CreateFileW(
        native(m_path), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.isValid()) {
        const DWORD code = GetLastError();
        if (code == ERROR_SHARING_VIOLATION)
            return false;
        // A lock file that is being deleted refuses access for a moment.
        if (code == ERROR_ACCESS_DENIED &&
            (GetFileAttributesW(native(m_path)) != INVALID_FILE_ATTRIBUTES ||
             GetLastError() == ERROR_ACCESS_DENIED))
            return false;
        fail(m_path, code);
    }
    checkRegular(m_path, handle.get());
    m_handle = reinterpret_cast<qintptr>(handle.release());
    return true;
}

void FolderLock::release() noexcept {
    if (m_handle == -1)
        return;
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = -1;
}

} // namespace record

#endif
