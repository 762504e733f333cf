#include <QtGlobal>

#ifdef Q_OS_WIN

#include "journal.h"
#include "numbers.h"
#include "recordfiles.h"
#include "store.h"

#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include <windows.h>

#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

namespace record {

namespace {

using core::Failure;

// Closes the handle on every way out.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE)
        : m_handle(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool isValid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (isValid())
            CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle;
};

[[noreturn]] void fail(core::Problem problem, std::string_view name) {
    throw Failure{problem, std::string(name)};
}

core::Problem writeProblem(DWORD code) {
    return code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ? core::Problem::full
                                                                     : core::Problem::unwritable;
}

// What a game asks for: exactly what the installer gives every account on the record files, never
// the right to change attributes or extended attributes that GENERIC_WRITE asks for too. Reading
// the attributes, which every account may do, lets the game check the file's type.
constexpr DWORD readAccess = FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Overwriting in place writes data; a longer record than before also appends.
constexpr DWORD writeAccess =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// A game that creates the folder (unpacked from the zip, with no installer before it) gives it and
// its files these permissions instead of ProgramData's, under which every other account could
// only read them: the system, administrators and the owner (the player who created them) may do
// anything; every account may list the folder and read and write the files' contents, and no
// more. Files inherit the folder's entries unless created with their own.
constexpr wchar_t folderSddl[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;;0x1200a9;;;BU)(A;OIIO;0x12008f;;;BU)";
constexpr wchar_t fileSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)(A;;0x12008f;;;BU)";

// A security descriptor made from SDDL, for the creation of one folder or file.
class Security {
public:
    explicit Security(const wchar_t* sddl) {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
                sddl, SDDL_REVISION_1, &m_attributes.lpSecurityDescriptor, nullptr))
            m_attributes.lpSecurityDescriptor = nullptr;
    }
    ~Security() { LocalFree(m_attributes.lpSecurityDescriptor); }
    Security(const Security&) = delete;
    Security& operator=(const Security&) = delete;

    // Null when the descriptor could not be made (no memory).
    SECURITY_ATTRIBUTES* attributes() {
        return m_attributes.lpSecurityDescriptor ? &m_attributes : nullptr;
    }

private:
    SECURITY_ATTRIBUTES m_attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

// A handle opened with FILE_FLAG_OPEN_REPARSE_POINT is the link itself if the name is one.
// A second name is not refused here: only administrators can add names to the folder, while any
// pupil who may write a file can give it a second name elsewhere, which would stop every game.
void checkPlain(HANDLE handle, std::string_view name) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        fail(core::Problem::unreadable, name);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        fail(core::Problem::link, name);
    if (GetFileType(handle) != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        fail(core::Problem::special, name);
}

// Every pupil may write the files' contents, so contents no game writes (a file over the bound,
// a score line not as the score label shows it) are not an error that stops everyone's game: they
// read as no record, and the next game that sets one replaces them.
bool usable(std::string_view name, std::string_view bytes) {
    if (bytes.size() > core::maxFileSize)
        return false;
    if (name != core::scoreFile || bytes.empty())
        return true;
    return bytes.ends_with("\r\n") && core::scoreValue(bytes.substr(0, bytes.size() - 2));
}

std::string readBounded(HANDLE handle, std::size_t bound, std::string_view name) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle, start, nullptr, FILE_BEGIN))
        fail(core::Problem::unreadable, name);
    std::string bytes(bound + 1, '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!ReadFile(handle, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            fail(core::Problem::unreadable, name);
        if (n == 0)
            break;
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

void overwrite(HANDLE handle, std::string_view bytes, std::string_view name) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(handle, start, nullptr, FILE_BEGIN))
        fail(core::Problem::unwritable, name);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(handle, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr))
            fail(writeProblem(GetLastError()), name);
        done += n;
    }
    if (!SetEndOfFile(handle) || !FlushFileBuffers(handle))
        fail(writeProblem(GetLastError()), name);
}

// The record folder in the Windows directory, changed in-process: the same order of a store as
// on other systems, with the lock taken by LockFileEx on the lock file.
class WindowsFolder : public core::Folder {
public:
    explicit WindowsFolder(QString cartella)
        : m_dir(withTrailingSeparator(std::move(cartella)))
        , m_deadline(std::chrono::steady_clock::now() + patience) {
        const DWORD attributes = GetFileAttributesW(native(m_dir));
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            fail(core::Problem::noFolder, ".");
    }
    ~WindowsFolder() override { unlock(); }

    void lock() override {
        m_lock.reset(open(core::lockFile, readAccess | writeAccess, OPEN_ALWAYS));
        OVERLAPPED whole{};
        while (!LockFileEx(m_lock.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                           MAXDWORD, MAXDWORD, &whole)) {
            if (GetLastError() != ERROR_LOCK_VIOLATION)
                fail(core::Problem::unwritable, core::lockFile);
            if (std::chrono::steady_clock::now() >= m_deadline)
                fail(core::Problem::busy, core::lockFile);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // Closing the handle lets go of the lock, even when the game dies.
    void unlock() noexcept override { m_lock.reset(); }

    std::string readJournal() override {
        return readBounded(m_lock.get(), core::maxJournalSize(), core::lockFile);
    }
    void writeJournal(std::string_view bytes) override {
        overwrite(m_lock.get(), bytes, core::lockFile);
    }
    bool createIfMissing(std::string_view name) override {
        const Handle file(open(name, readAccess, OPEN_ALWAYS));
        return GetLastError() != ERROR_ALREADY_EXISTS;
    }
    // Contents that are not usable read as none.
    std::string read(std::string_view name) override {
        const Handle file(open(name, readAccess, OPEN_EXISTING));
        std::string bytes = readBounded(file.get(), core::maxFileSize, name);
        return usable(name, bytes) ? bytes : std::string();
    }
    void rewrite(std::string_view name, std::string_view bytes) override {
        const Handle file(open(name, writeAccess, OPEN_EXISTING));
        overwrite(file.get(), bytes, name);
    }
    // Each file was flushed as it was written; a new name is made durable by the file system.
    void flush() override {}

    // Opens both record files for writing and closes them unchanged, as opening for append does.
    void checkWritable() {
        for (const std::string_view name : {core::scoreFile, core::nameFile})
            Handle(open(name, writeAccess, OPEN_EXISTING));
    }

    QString path(std::string_view name) const { return m_dir + QString::fromLatin1(name); }

private:
    static const wchar_t* native(const QString& path) {
        return reinterpret_cast<const wchar_t*>(path.utf16());
    }

    // Another program that keeps the file open without sharing it (a spreadsheet, a pupil's own
    // program) is waited for as patiently as another game's store, then reported as such.
    HANDLE open(std::string_view name, DWORD access, DWORD disposition) const {
        const QString file = path(name);
        // Only a file that may be created here needs its permissions made.
        std::optional<Security> security;
        if (disposition == OPEN_ALWAYS)
            security.emplace(fileSddl);
        const auto attempt = [&] {
            return CreateFileW(native(file), access,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               security ? security->attributes() : nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        };
        HANDLE handle = attempt();
        DWORD code = GetLastError();
        while (handle == INVALID_HANDLE_VALUE && code == ERROR_SHARING_VIOLATION &&
               std::chrono::steady_clock::now() < m_deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            handle = attempt();
            code = GetLastError();
        }
        if (handle == INVALID_HANDLE_VALUE) {
            if (code == ERROR_SHARING_VIOLATION)
                fail(core::Problem::inUse, name);
            // The installer lets no account but administrators add a file to the folder.
            if (disposition == OPEN_ALWAYS && code == ERROR_ACCESS_DENIED &&
                GetFileAttributesW(native(file)) == INVALID_FILE_ATTRIBUTES)
                fail(core::Problem::missing, name);
            fail(access & FILE_WRITE_DATA ? writeProblem(code) : core::Problem::unreadable, name);
        }
        const DWORD created = code;
        try {
            checkPlain(handle, name);
        } catch (const Failure&) {
            CloseHandle(handle);
            throw;
        }
        SetLastError(created); // OPEN_ALWAYS tells a new file by it
        return handle;
    }

    // A held lock and a file kept open by another program share one patience.
    static constexpr std::chrono::seconds patience{5};

    QString m_dir;
    std::chrono::steady_clock::time_point m_deadline;
    Handle m_lock;
};

[[noreturn]] void fail(const Failure& failure, const QString& cartella) {
    const QString dir = withTrailingSeparator(cartella);
    throw FileError(failure.problem,
                    failure.file == "." ? dir : dir + QString::fromStdString(failure.file));
}

} // namespace

// The machine's application data (%ProgramData%), which every account reads. The Windows
// directory would do as well only for administrators: since Vista no other account may create
// files there, and a 64-bit program is not redirected elsewhere.
QString systemDirectory() {
    PWSTR data = nullptr;
    const HRESULT result =
        SHGetKnownFolderPath(FOLDERID_ProgramData, KF_FLAG_DEFAULT, nullptr, &data);
    const QString folder = SUCCEEDED(result) ? QString::fromWCharArray(data) : QString();
    CoTaskMemFree(data);
    if (folder.isEmpty())
        throw FileError(Problem::noFolder, QStringLiteral("FOLDERID_ProgramData"));
    return withTrailingSeparator(folder) + QStringLiteral("Corvalto");
}

QString storeProgram(const QString& programFolder) {
    return programFolder; // Windows stores in-process
}

Pair load(const QString& cartella, const QString&,
          const std::function<QString(const QString&)>& leggi) {
    try {
        // The installer makes the folder; a game unpacked from the zip makes it, with
        // permissions that let every account play.
        Security security(folderSddl);
        if (!security.attributes() ||
            (!CreateDirectoryW(reinterpret_cast<const wchar_t*>(cartella.utf16()),
                               security.attributes()) &&
             GetLastError() != ERROR_ALREADY_EXISTS))
            fail(core::Problem::noFolder, ".");
        WindowsFolder folder(cartella);
        folder.lock();
        core::settle(folder);
        folder.checkWritable();
        // Read under the lock: no store of another game can come between the two files.
        Pair pair{leggi(recordPath(cartella, scoreFileName)),
                  leggi(recordPath(cartella, nameFileName))};
        folder.unlock();
        // A name without a score (its file damaged) is no record.
        if (pair.score.isEmpty())
            pair.name.clear();
        return pair;
    } catch (const Failure& failure) {
        fail(failure, cartella);
    }
}

// The game reads in-process: nothing to start early.
struct EarlyLoad::Started {
    QString programFolder;
};

EarlyLoad::EarlyLoad(const QString& programFolder)
    : m_started(std::make_unique<Started>(Started{programFolder})) {}

EarlyLoad::~EarlyLoad() = default;

Pair EarlyLoad::finish(const QString& cartella,
                       const std::function<QString(const QString&)>& leggi) {
    return load(cartella, m_started->programFolder, leggi);
}

QString readWhole(const QString& path) {
    const qsizetype cut = path.lastIndexOf(u'\\');
    const QString dir = path.left(cut + 1);
    try {
        WindowsFolder folder(dir);
        return QString::fromLocal8Bit(folder.read(path.mid(cut + 1).toStdString()));
    } catch (const Failure& failure) {
        fail(failure, dir);
    }
}

bool store(const QString& cartella, const QString&, const QString& scoreText,
           const QString& nameText) {
    const std::optional<double> score = strictValue(scoreText);
    if (!score)
        return false;
    try {
        WindowsFolder folder(cartella);
        return core::store(folder, *score,
                           {core::line(scoreText.toLocal8Bit().toStdString()),
                            core::line(nameText.toLocal8Bit().toStdString())});
    } catch (const Failure& failure) {
        fail(failure, cartella);
    }
}

} // namespace record

#endif
