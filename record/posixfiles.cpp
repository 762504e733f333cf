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
#include <optional>
#include <utility>
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
    int status = -1; // -1: the store did not exit
    QByteArray output;
};

// The store, started and not yet waited for. It gets no environment: it reads none, and its
// folder is its own.
class StoreRun {
public:
    // Throws FileError when the store cannot be started.
    StoreRun(const QString& program, const QStringList& arguments);
    // A store not answered yet gets the end of its input, and is waited for.
    ~StoreRun();
    StoreRun(const StoreRun&) = delete;
    StoreRun& operator=(const StoreRun&) = delete;

    // `input` on its standard input, then its answer once it has ended; called once.
    StoreAnswer answer(const QByteArray& input);
    const QString& program() const { return m_program; }

private:
    int wait();

    QString m_program;
    Descriptor m_in;
    Descriptor m_out;
    pid_t m_pid = -1;
};

StoreRun::StoreRun(const QString& program, const QStringList& arguments)
    : m_program(program) {
    // A socket rather than a pipe, so that a store that stops reading early cannot raise SIGPIPE
    // in the game.
    Descriptor in;
    Descriptor out;
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        throw FileError(Problem::noStore, program);
    in.fd() = pair[0];
    m_in.fd() = pair[1];
    if (::pipe2(pair, O_CLOEXEC) != 0)
        throw FileError(Problem::noStore, program);
    m_out.fd() = pair[0];
    out.fd() = pair[1];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.fd(), 0);
    posix_spawn_file_actions_adddup2(&actions, out.fd(), 1);
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> words{QFile::encodeName(QFileInfo(program).fileName())};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    char* noEnvironment[] = {nullptr};
    const int spawned =
        ::posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv.data(), noEnvironment);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_pid = -1;
        throw FileError(Problem::noStore, program);
    }
}

StoreRun::~StoreRun() {
    m_in.close();
    m_out.close();
    if (m_pid > 0)
        wait();
}

StoreAnswer StoreRun::answer(const QByteArray& input) {
    qsizetype sent = 0;
    while (sent < input.size()) {
        const ssize_t n =
            ::send(m_in.fd(), input.constData() + sent, size_t(input.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR)
            break; // the store stopped reading; its status says why
        if (n > 0)
            sent += n;
    }
    m_in.close();

    StoreAnswer answer;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_out.fd(), buffer, sizeof buffer);
        // One byte beyond the longest answer is enough to refuse it.
        if (n > 0 && std::size_t(answer.output.size()) <= core::maxJournalSize())
            answer.output.append(buffer, n);
        if (n == 0 || (n < 0 && errno != EINTR))
            break;
    }
    m_out.close();
    answer.status = wait();
    return answer;
}

// The store's exit status, or -1 if it did not exit.
int StoreRun::wait() {
    const pid_t pid = std::exchange(m_pid, -1);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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

struct EarlyLoad::Started {
    QString program;
    std::optional<StoreRun> store; // none if it could not be started
};

EarlyLoad::EarlyLoad(const QString& programFolder)
    : m_started(std::make_unique<Started>()) {
    m_started->program = storeProgram(programFolder);
    try {
        // Reads both files under the lock, as it writes them, once its input ends.
        m_started->store.emplace(m_started->program, QStringList{QStringLiteral("read-at-eof")});
    } catch (const FileError&) {
        // Reported by finish(), where the record is read.
    }
}

EarlyLoad::~EarlyLoad() = default;

Pair EarlyLoad::finish(const QString& cartella, const std::function<QString(const QString&)>&) {
    const QString& program = m_started->program;
    if (!m_started->store)
        throw FileError(Problem::noStore, program);
    const StoreAnswer answer = m_started->store->answer({});
    m_started->store.reset();
    if (answer.status == storeDone) {
        if (const auto pair = core::decodeJournal(answer.output.toStdString()))
            return {QString::fromLocal8Bit(pair->score), QString::fromLocal8Bit(pair->name)};
        throw FileError(Problem::noStore, program);
    }
    outcome(answer, program, cartella);
    throw FileError(Problem::noStore, program); // a read never answers "not stored"
}

Pair load(const QString& cartella, const QString& programFolder,
          const std::function<QString(const QString&)>& leggi) {
    return EarlyLoad(programFolder).finish(cartella, leggi);
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
    StoreRun run(storeProgram(programFolder), {QStringLiteral("store"), scoreText});
    return outcome(run.answer(nameText.toLocal8Bit()), run.program(), cartella);
}

} // namespace record

#endif
