#include "folderlock.h"
#include "platformfiles.h"
#include "storesteps.h"
#include "testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A record folder holding a record, beside a folder that the game must never touch.
struct Folder {
    explicit Folder(const QByteArray& score = " 9\r\n", const QByteArray& name = "Bea\r\n") {
        writeFile(scorePath, score);
        writeFile(namePath, name);
    }
    QStringList entries() const {
        return QDir(dir.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
    QTemporaryDir outside;
    const QString cartella = record::withTrailingSeparator(dir.path());
    const QString scorePath = record::recordPath(cartella, record::scoreFileName);
    const QString namePath = record::recordPath(cartella, record::nameFileName);
};

const QStringList pairOnly = {"avelmora.txt", "velmora.txt"};

// Fails its n-th step (new files first, then replacements), as a full disk or a busy file would.
class FailingSteps : public record::StoreSteps {
public:
    explicit FailingSteps(int failAt)
        : m_failAt(failAt) {}
    bool createNew(const QString& path, const QByteArray& bytes) override {
        step(path);
        return StoreSteps::createNew(path, bytes);
    }
    void replace(const QString& from, const QString& to) override {
        step(to);
        StoreSteps::replace(from, to);
    }

private:
    void step(const QString& path) {
        if (++m_steps == m_failAt)
            throw record::FileError(path, "injected");
    }
    int m_failAt;
    int m_steps = 0;
};

} // namespace

class TstStoreRecord : public QObject {
    Q_OBJECT

private slots:
    void decision_data();
    void decision();
    void bytesAsWritten_data();
    void bytesAsWritten();
    void failureLeavesTheOldPairWhole_data();
    void failureLeavesTheOldPairWhole();
    void lockHeldByAnotherGameStopsTheStore();
    void linkInPlaceOfARecordFileIsRefused_data();
    void linkInPlaceOfARecordFileIsRefused();
    void anotherAccountReplacesTheRecord();
};

void TstStoreRecord::decision_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("score");
    QTest::addColumn<bool>("stores");

    QTest::newRow("no record yet, one point") << QByteArray() << 1 << true;
    QTest::newRow("no record yet, no points") << QByteArray() << 0 << false;
    QTest::newRow("no record yet, below zero") << QByteArray() << -3 << false;
    QTest::newRow("equal") << QByteArray(" 12\r\n") << 12 << false;
    QTest::newRow("one more") << QByteArray(" 12\r\n") << 13 << true;
    QTest::newRow("negative record beaten") << QByteArray("-4\r\n") << -3 << true;
    QTest::newRow("word after the digits") << QByteArray("12 abc\r\n") << 12 << false;
    QTest::newRow("letters read as zero") << QByteArray("abc\r\n") << 1 << true;
    // This game beat the record it showed at load, but another game stored 20 since.
    QTest::newRow("higher record stored meanwhile") << QByteArray(" 20\r\n") << 15 << false;
}

void TstStoreRecord::decision() {
    QFETCH(QByteArray, stored);
    QFETCH(int, score);
    QFETCH(bool, stores);
    Folder folder(stored);
    const QByteArray scoreText = QByteArray::number(score);

    QCOMPARE(record::storeRecord(folder.cartella, score, scoreText, "Anna"), stores);
    QCOMPARE(contents(folder.scorePath), stores ? scoreText + "\r\n" : stored);
    QCOMPARE(contents(folder.namePath), QByteArray(stores ? "Anna\r\n" : "Bea\r\n"));
    QCOMPARE(folder.entries(), pairOnly);
}

void TstStoreRecord::bytesAsWritten_data() {
    QTest::addColumn<QString>("scoreText");
    QTest::addColumn<QString>("nameText");
    QTest::addColumn<QByteArray>("scoreBytes");
    QTest::addColumn<QByteArray>("nameBytes");

    QTest::newRow("after a right hit") << " 12"
                                       << "Anna" << QByteArray(" 12\r\n") << QByteArray("Anna\r\n");
    QTest::newRow("after a wrong hit")
        << "12"
        << " Anna " << QByteArray("12\r\n") << QByteArray(" Anna \r\n");
    QTest::newRow("empty name") << "-4"
                                << "" << QByteArray("-4\r\n") << QByteArray("\r\n");
    // The local 8-bit code page is UTF-8 on Linux.
    QTest::newRow("accented name") << " 5" << QStringLiteral("Pietà è") << QByteArray(" 5\r\n")
                                   << QByteArray("Piet\xc3\xa0 \xc3\xa8\r\n");
}

void TstStoreRecord::bytesAsWritten() {
    QFETCH(QString, scoreText);
    QFETCH(QString, nameText);
    QFETCH(QByteArray, scoreBytes);
    QFETCH(QByteArray, nameBytes);
    Folder folder("-10\r\n");
    const mode_t oldMask = ::umask(077);
    const auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });

    QVERIFY(record::storeRecord(folder.cartella, 1, scoreText, nameText));
    QCOMPARE(contents(folder.scorePath), scoreBytes);
    QCOMPARE(contents(folder.namePath), nameBytes);
    QCOMPARE(record::readWhole(folder.namePath), nameText + "\r\n");
    // Any account's game must be able to replace this record later.
    QCOMPARE(modeOf(folder.scorePath), mode_t(0666));
    QCOMPARE(modeOf(folder.namePath), mode_t(0666));
}

void TstStoreRecord::failureLeavesTheOldPairWhole_data() {
    QTest::addColumn<int>("failAt");
    QTest::newRow("new score file not written") << 1;
    QTest::newRow("new name file not written") << 2;
    QTest::newRow("copy of the old score not written") << 3;
    QTest::newRow("first replacement fails") << 4;
    QTest::newRow("second replacement fails") << 5;
}

void TstStoreRecord::failureLeavesTheOldPairWhole() {
    QFETCH(int, failAt);
    Folder folder;
    FailingSteps steps(failAt);

    QVERIFY_THROWS_EXCEPTION(record::FileError,
                             record::storeRecord(folder.cartella, 15, " 15", "Anna", steps));
    QCOMPARE(contents(folder.scorePath), QByteArray(" 9\r\n"));
    QCOMPARE(contents(folder.namePath), QByteArray("Bea\r\n"));
    QCOMPARE(folder.entries(), pairOnly);
}

void TstStoreRecord::lockHeldByAnotherGameStopsTheStore() {
    Folder folder;
    record::StoreSteps impatient(0ms);
    {
        const record::FolderLock otherGame(folder.cartella, 0ms);
        QVERIFY_THROWS_EXCEPTION(record::FileError, record::FolderLock(folder.cartella, 0ms));
        QVERIFY_THROWS_EXCEPTION(
            record::FileError, record::storeRecord(folder.cartella, 15, " 15", "Anna", impatient));
        QCOMPARE(contents(folder.scorePath), QByteArray(" 9\r\n"));
    }
    QVERIFY(record::storeRecord(folder.cartella, 15, " 15", "Anna", impatient));
    QCOMPARE(folder.entries(), pairOnly);
}

void TstStoreRecord::linkInPlaceOfARecordFileIsRefused_data() {
    QTest::addColumn<bool>("scoreFile");
    QTest::newRow("score file") << true;
    QTest::newRow("name file") << false;
}

// Every account can write the record folder: a link planted there must not make another
// account's game change a file elsewhere.
void TstStoreRecord::linkInPlaceOfARecordFileIsRefused() {
    QFETCH(bool, scoreFile);
    Folder folder;
    const QString link = scoreFile ? folder.scorePath : folder.namePath;
    const QString victim = folder.outside.filePath("victim.txt");
    writeFile(victim, "private\n");
    QVERIFY(QFile::remove(link) && QFile::link(victim, link));

    const auto store = [&] { record::storeRecord(folder.cartella, 15, " 15", "Anna"); };
    QCOMPARE(failureOf(store).path(), link);
    QCOMPARE(contents(victim), QByteArray("private\n"));
    QCOMPARE(QFileInfo(link).symLinkTarget(), victim);
    QCOMPARE(contents(scoreFile ? folder.namePath : folder.scorePath),
             QByteArray(scoreFile ? "Bea\r\n" : " 9\r\n"));
    QCOMPARE(folder.entries(), pairOnly);
}

void TstStoreRecord::anotherAccountReplacesTheRecord() {
    const QString shared = qEnvironmentVariable("CORVALTO_TEST_SHARED_FOLDER");
    if (!shared.isEmpty()) { // the other account, in the child process
        QVERIFY(record::storeRecord(shared, 7, " 7", "Bea"));
        return;
    }
    if (::geteuid() != 0)
        QSKIP("acting as two accounts needs root");

    QTemporaryDir dir;
    QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7755)));
    const mode_t oldMask = ::umask(022);
    const auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
    record::platform::ensureFolder(dir.filePath("record"));
    const QString cartella = record::withTrailingSeparator(dir.filePath("record"));
    QVERIFY(record::storeRecord(cartella, 5, " 5", "Anna"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVALTO_TEST_SHARED_FOLDER", cartella);
    if (const QString why = runUnprivileged(QTest::currentTestFunction(), env); !why.isEmpty())
        QSKIP(qPrintable(why));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(contents(record::recordPath(cartella, record::scoreFileName)), QByteArray(" 7\r\n"));
    QCOMPARE(contents(record::recordPath(cartella, record::nameFileName)), QByteArray("Bea\r\n"));
}

QTEST_GUILESS_MAIN(TstStoreRecord)
#include "tst_storerecord.moc"
