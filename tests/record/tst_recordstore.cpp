#include "posixfolder.h"
#include "recordfiles.h"
#include "store.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using record::core::Contents;
using record::core::Step;

Q_DECLARE_METATYPE(Step)

// A store as the privileged program runs it, on a folder of the test's own: cut short at every
// step, given torn journals, kept waiting for the lock.
class TstRecordStore : public QObject {
    Q_OBJECT

private slots:
    void paths_data();
    void paths();
    void killedAtAnyStepLeavesAPair_data();
    void killedAtAnyStepLeavesAPair();
    void tornJournalLeavesTheOldPair();
    void lockHeldTooLongIsReported();
    void lockReplacedUnderAWaitingStore();
};

namespace {

const Contents oldPair{" 4\r\n", "Anna\r\n"};
const Contents newPair{" 9\r\n", "Bea\r\n"};

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

struct Folder {
    QTemporaryDir dir;
    QString path(std::string_view name) const { return dir.filePath(QString::fromLatin1(name)); }
    Contents pair() const {
        return {bytesOf(path(record::core::scoreFile)).toStdString(),
                bytesOf(path(record::core::nameFile)).toStdString()};
    }
    QStringList entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

// Dies as a power cut or a kill would, right after one step.
class KilledFolder : public record::PosixFolder {
public:
    KilledFolder(const std::string& path, Step at)
        : PosixFolder(path)
        , m_at(at) {}
    void reached(Step step) override {
        if (step == m_at)
            ::raise(SIGKILL);
    }

private:
    Step m_at;
};

} // namespace

void TstRecordStore::paths_data() {
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("cartella");
    QTest::addColumn<QString>("scorePath");
    QTest::newRow("plain") << "/var/games/x"
                           << "/var/games/x/"
                           << "/var/games/x/avelmora.txt";
    QTest::newRow("ends in two") << "/var/games//"
                                 << "/var/games/"
                                 << "/var/games/avelmora.txt";
    QTest::newRow("root") << "/"
                          << "/"
                          << "/avelmora.txt";
    QTest::newRow("spaces around") << "  /srv/x "
                                   << "/srv/x/"
                                   << "/srv/x/avelmora.txt";
}

void TstRecordStore::paths() {
    QFETCH(QString, dir);
    QFETCH(QString, cartella);
    QFETCH(QString, scorePath);
    QCOMPARE(record::withTrailingSeparator(dir), cartella);
    QCOMPARE(record::recordPath(cartella, record::scoreFileName), scorePath);
}

void TstRecordStore::killedAtAnyStepLeavesAPair_data() {
    QTest::addColumn<Step>("step");
    QTest::addColumn<bool>("stored");
    QTest::newRow("locked") << Step::locked << false;
    QTest::newRow("settled") << Step::settled << false;
    QTest::newRow("journal written") << Step::journalWritten << true;
    QTest::newRow("score written") << Step::scoreWritten << true;
    QTest::newRow("name written") << Step::nameWritten << true;
    QTest::newRow("journal cleared") << Step::journalCleared << true;
}

void TstRecordStore::killedAtAnyStepLeavesAPair() {
    QFETCH(Step, step);
    QFETCH(bool, stored);
    Folder folder;
    const std::string path = folder.dir.path().toStdString();
    {
        record::PosixFolder first(path);
        record::core::prepare(first);
    }
    put(folder.path(record::core::scoreFile), QByteArray::fromStdString(oldPair.score));
    put(folder.path(record::core::nameFile), QByteArray::fromStdString(oldPair.name));

    const pid_t child = ::fork();
    if (child == 0) {
        try {
            KilledFolder killed(path, step);
            record::core::store(killed, 9, newPair);
        } catch (const record::core::Failure&) {
            ::_exit(2);
        }
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    // The next start runs the store's preparation when it finds a journal: then it reads a pair.
    record::PosixFolder next(path);
    record::core::prepare(next);
    QCOMPARE(folder.pair(), stored ? newPair : oldPair);
    // The next store leaves nothing behind but the three files, the journal empty.
    QVERIFY(record::core::store(next, 12, {" 12\r\n", "Carla\r\n"}));
    QCOMPARE(folder.entries(), QStringList({"avelmora.txt", "velmora.lock", "velmora.txt"}));
    QCOMPARE(bytesOf(folder.path(record::core::lockFile)), QByteArray());
}

// A journal cut short anywhere, or damaged, was never complete: the files were not touched yet.
void TstRecordStore::tornJournalLeavesTheOldPair() {
    const std::string whole = record::core::encodeJournal(newPair);
    QCOMPARE(record::core::decodeJournal(whole), std::optional(newPair));
    std::vector<std::string> torn;
    for (std::size_t cut = 1; cut < whole.size(); ++cut)
        torn.push_back(whole.substr(0, cut));
    for (std::size_t at = 0; at < whole.size(); ++at) {
        std::string flipped = whole;
        flipped[at] = char(flipped[at] ^ 0x01);
        torn.push_back(flipped);
    }
    torn.push_back(whole + "x");

    Folder folder;
    const std::string path = folder.dir.path().toStdString();
    for (const std::string& journal : torn) {
        put(folder.path(record::core::scoreFile), QByteArray::fromStdString(oldPair.score));
        put(folder.path(record::core::nameFile), QByteArray::fromStdString(oldPair.name));
        put(folder.path(record::core::lockFile), QByteArray::fromStdString(journal));
        record::PosixFolder next(path);
        record::core::prepare(next);
        QVERIFY2(folder.pair() == oldPair, journal.c_str());
        QCOMPARE(bytesOf(folder.path(record::core::lockFile)), QByteArray());
    }
}

void TstRecordStore::lockHeldTooLongIsReported() {
    Folder folder;
    const std::string path = folder.dir.path().toStdString();
    record::PosixFolder holder(path);
    holder.lock();
    record::PosixFolder impatient(path, std::chrono::milliseconds(50));
    try {
        record::core::store(impatient, 9, newPair);
        QFAIL("stored while another store held the lock");
    } catch (const record::core::Failure& failure) {
        QCOMPARE(failure.problem, record::core::Problem::busy);
        QCOMPARE(failure.file, "velmora.lock");
    }
    holder.unlock();
    QVERIFY(record::core::store(impatient, 9, newPair));
}

// A store that waited on a lock file which was then removed and made anew must not write while
// another holds the new one.
void TstRecordStore::lockReplacedUnderAWaitingStore() {
    Folder folder;
    const std::string path = folder.dir.path().toStdString();
    {
        record::PosixFolder first(path);
        record::core::prepare(first);
    }
    const QByteArray lockPath = QFile::encodeName(folder.path(record::core::lockFile));
    const int oldLock = ::open(lockPath.constData(), O_RDWR);
    QVERIFY(oldLock >= 0 && ::flock(oldLock, LOCK_EX) == 0);

    const pid_t child = ::fork();
    if (child == 0) {
        ::close(oldLock); // the lock is the test's, not the child's
        try {
            record::PosixFolder waiting(path, std::chrono::seconds(20));
            ::_exit(record::core::store(waiting, 9, newPair) ? 0 : 1);
        } catch (const record::core::Failure&) {
            ::_exit(2);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the child waits on oldLock
    QVERIFY(::unlink(lockPath.constData()) == 0);
    const int newLock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_EXCL, 0660);
    QVERIFY(newLock >= 0 && ::flock(newLock, LOCK_EX) == 0);
    ::close(oldLock);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QCOMPARE(folder.pair(), Contents({}));
    QCOMPARE(::waitpid(child, nullptr, WNOHANG), 0);

    ::close(newLock);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QCOMPARE(folder.pair(), newPair);
}

QTEST_GUILESS_MAIN(TstRecordStore)
#include "tst_recordstore.moc"
