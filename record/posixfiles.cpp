#include <QtGlobal>

#ifndef Q_OS_WIN

#include "journal.h"
#include "posixfolder.h"
#include "recordfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace record {

namespace {

// The store's answers; see its manual page.
enum StoreStatus { storeDone = 0, storeNotStored = 1, storeUnusable = 3 };

// A failure the store or the folder reported, on the file it names within `cartella`.
[[noreturn]] void fail(const core::Failure& failure, const QString& cartella) {
    const QString dir = withTrailingSeparator(cartella);
    throw FileError(failure.problem,
                    failure.file == "." ? dir : dir + QString::fromStdString(failure.file));
}

PosixFolder openFolder(const QString& cartella) {
    try {
        return PosixFolder(QFile::encodeName(cartella).toStdString());
    } catch (const core::Failure& failure) {
        fail(failure, cartella);
    }
}

class Descriptor {
public:
    Descriptor() = default;
    ~Descriptor() { close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int& fd() { return m_fd; }
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

struct StoreAnswer {
    int status = -1;
    QByteArray output;
};

// Runs the store with `arguments`, `input` on its standard input, and waits for its answer. It
// gets no environment: it reads none, and its folder is its own.
StoreAnswer runStore(const QString& program, const QStringList& arguments,
                     const QByteArray& input) {
    const QString storeName = QFileInfo(program).fileName();
    // A socket rather than a pipe, so that a store that stops reading early cannot raise SIGPIPE
    // in the game.
    Descriptor in[2];
    Descriptor out[2];
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        throw FileError(Problem::noStore, program);
    in[0].fd() = pair[0];
    in[1].fd() = pair[1];
    if (::pipe2(pair, O_CLOEXEC) != 0)
        throw FileError(Problem::noStore, program);
    out[0].fd() = pair[0];
    out[1].fd() = pair[1];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0].fd(), 0);
    posix_spawn_file_actions_adddup2(&actions, out[1].fd(), 1);
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> words{QFile::encodeName(storeName)};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    char* noEnvironment[] = {nullptr};
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), noEnvironment);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw FileError(Problem::noStore, program);
    in[0].close();
    out[1].close();

    qsizetype sent = 0;
    while (sent < input.size()) {
        const ssize_t n =
            ::send(in[1].fd(), input.constData() + sent, size_t(input.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR)
            break; // the store stopped reading; its status says why
        if (n > 0)
            sent += n;
    }
    in[1].close();

    StoreAnswer answer;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(out[0].fd(), buffer, sizeof buffer);
        // One byte beyond the longest answer is enough to refuse it.
        if (n > 0 && std::size_t(answer.output.size()) <= core::maxJournalSize())
            answer.output.append(buffer, n);
        if (n == 0 || (n < 0 && errno != EINTR))
            break;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw FileError(Problem::noStore, program);
    }
    if (!WIFEXITED(status))
        throw FileError(Problem::noStore, program);
    answer.status = WEXITSTATUS(status);
    return answer;
}

// The store's status as the game needs it: true for done, false for not stored.
bool outcome(const StoreAnswer& answer, const QString& program, const QString& cartella) {
    if (answer.status == storeDone)
        return true;
    if (answer.status == storeNotStored)
        return false;
    if (answer.status == storeUnusable) {
        // "<problem> <file>"
        const QList<QByteArray> words = answer.output.trimmed().split(' ');
        core::Problem problem;
        if (words.size() == 2 && core::problemFromWord(words[0].toStdString(), problem))
            fail({problem, words[1].toStdString()}, cartella);
    }
    throw FileError(Problem::noStore, program);
}

} // namespace

QString systemDirectory() {
    return QFile::decodeName(CORVALTO_RECORD_DIR);
}

QString storeProgram(const QString& programFolder) {
    return programFolder + QStringLiteral("/corvalto-record");
}

Pair load(const QString& cartella, const QString& programFolder,
          const std::function<QString(const QString&)>&) {
    const QString program = storeProgram(programFolder);
    // The store reads both files under the lock, as it writes them.
    const StoreAnswer answer = runStore(program, {QStringLiteral("read")}, {});
    if (answer.status == storeDone) {
        if (const auto pair = core::decodeJournal(answer.output.toStdString()))
            return {QString::fromLocal8Bit(pair->score), QString::fromLocal8Bit(pair->name)};
        throw FileError(Problem::noStore, program);
    }
    outcome(answer, program, cartella);
    throw FileError(Problem::noStore, program); // a read never answers "not stored"
}

QString readWhole(const QString& path) {
    const QFileInfo info(path);
    PosixFolder folder = openFolder(info.path());
    try {
        return QString::fromLocal8Bit(
            folder.read(QFile::encodeName(info.fileName()).toStdString()));
    } catch (const core::Failure& failure) {
        fail(failure, info.path());
    }
}

bool store(const QString& cartella, const QString& programFolder, const QString& scoreText,
           const QString& nameText) {
    const QString program = storeProgram(programFolder);
    return outcome(runStore(program, {QStringLiteral("store"), scoreText}, nameText.toLocal8Bit()),
                   program, cartella);
}

} // namespace record

#endif
