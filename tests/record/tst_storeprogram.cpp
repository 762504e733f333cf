#include "folder.h"
#include "journal.h"
#include "recordfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <unistd.h>

// The built store as its callers use it, a curious pupil among them: on the record folder it was
// built for (inside the build tree), which each test empties first.
class TstStoreProgram : public QObject {
    Q_OBJECT

private slots:
    void init();
    void refusesWhatItIsNotMadeFor_data();
    void refusesWhatItIsNotMadeFor();
    void fileSizeLimitNeverBreaksThePair_data();
    void fileSizeLimitNeverBreaksThePair();
    void racingStoresKeepTheHighestWholePair();
    void loadWaitsForAPausedStore();
};

namespace {

const QString folder = QStringLiteral(CORVALTO_RECORD_DIR);
const QString storeProgram = QStringLiteral(CORVALTO_TEST_STORE);
constexpr int longestNameBytes = int(record::core::maxFileSize) - 2;

QByteArray bytesOf(const QString& name) {
    QFile file(folder + u'/' + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

void put(const QString& name, const QByteArray& bytes) {
    QFile file(folder + u'/' + name);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

struct Answer {
    int status;
    QByteArray output;
    QByteArray error;
};

// `wrapper` (e.g. prlimit) runs the store if given.
Answer run(const QStringList& arguments, const QByteArray& input = {},
           const QStringList& wrapper = {}) {
    QProcess store;
    if (wrapper.isEmpty())
        store.start(storeProgram, arguments);
    else
        store.start(wrapper.front(), wrapper.mid(1) + QStringList{storeProgram} + arguments);
    store.write(input);
    store.closeWriteChannel();
    // A bound for a store that hangs, not a speed check.
    const bool finished =
        store.waitForFinished(60000) && store.exitStatus() == QProcess::NormalExit;
    return {finished ? store.exitCode() : -1, store.readAllStandardOutput(),
            store.readAllStandardError()};
}

// The store's system call `call` fails with `error` the `when`-th time.
QStringList failing(const char* call, const char* error, int when) {
    return {"strace", "-f",
            "-o",     "/dev/null",
            "-e",     QStringLiteral("inject=%1:error=%2:when=%3").arg(call, error).arg(when),
            "--"};
}

} // namespace

void TstStoreProgram::init() {
    QFile::remove(folder);
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(run({"prepare"}).status, 0);
    put("avelmora.txt", " 4\r\n");
    put("velmora.txt", "Anna\r\n");
}

// Only "prepare", "read", or "store" with a score as the score label shows it and a name the game
// could have taken, changes anything; whatever goes wrong on the way has its own word. A file the
// store would have to create in a folder its caller does not own is reported missing (as root,
// who can give the folder away).
void TstStoreProgram::refusesWhatItIsNotMadeFor_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("wrapper");
    QTest::addColumn<QString>("removed");
    QTest::addColumn<bool>("foreign");
    QTest::addColumn<QByteArray>("says"); // what standard output holds, or standard error shows

    const QByteArray longest = QByteArray(longestNameBytes / 3, 'x').replace("x", "\xE2\x82\xAC");
    const auto row = [](const char* name, const QStringList& arguments, const QByteArray& input,
                        int status) -> QTestData& {
        return QTest::newRow(name)
               << arguments << input << status << QStringList() << QString() << false;
    };
    row("nothing", {}, {}, 2) << QByteArray();
    row("unknown command", {"erase"}, {}, 2) << QByteArray();
    row("prepare and more", {"prepare", "/etc"}, {}, 2) << QByteArray();
    row("read and more", {"read", "1"}, {}, 2) << QByteArray();
    row("no score", {"store"}, "Bea", 2) << QByteArray();
    for (const char* score :
         {"", "  9", "9 ", "+9", "1e3", "&H10", "9.5", "099999", "32768", "-32769", "9\n"})
        QTest::newRow(qPrintable(QStringLiteral("score '%1'").arg(score)))
            << QStringList{"store", score} << QByteArray("Bea") << 2 << QStringList() << QString()
            << false << QByteArray();
    row("name one byte too long", {"store", " 9"}, QByteArray(longestNameBytes + 1, 'x'), 2)
        << QByteArray("too long");
    row("lowest score", {"store", "-32768"}, "Bea", 1) << QByteArray();
    row("equal score", {"store", "4"}, "Bea", 1) << QByteArray();
    row("highest score", {"store", "32767"}, "Bea", 0) << QByteArray();
    row("longest name", {"store", " 9"}, longest, 0) << QByteArray();
    row("read", {"read"}, {}, 0) << QByteArray();
    QTest::newRow("name input unreadable") << QStringList{"store", " 9"} << QByteArray() << 2
                                           << QStringList{"sh", "-c", "exec \"$@\" </", "sh"}
                                           << QString() << false << QByteArray("cannot be read");
    QTest::newRow("no space for a new lock file")
        << QStringList{"prepare"} << QByteArray() << 3 << failing("fsync", "ENOSPC", 1)
        << "velmora.lock" << false << QByteArray("full velmora.lock\n");
    QTest::newRow("no space to flush the folder")
        << QStringList{"store", " 9"} << QByteArray("Bea") << 3 << failing("fsync", "ENOSPC", 5)
        << QString() << false << QByteArray("full .\n");
    QTest::newRow("lock file missing, folder another's")
        << QStringList{"store", " 9"} << QByteArray("Bea") << 3 << QStringList() << "velmora.lock"
        << true << QByteArray("missing velmora.lock\n");
    QTest::newRow("name file missing, folder another's")
        << QStringList{"read"} << QByteArray() << 3 << QStringList() << "velmora.txt" << true
        << QByteArray("missing velmora.txt\n");
}

void TstStoreProgram::refusesWhatItIsNotMadeFor() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, name);
    QFETCH(int, status);
    QFETCH(QStringList, wrapper);
    QFETCH(QString, removed);
    QFETCH(bool, foreign);
    QFETCH(QByteArray, says);
    if (foreign && ::geteuid() != 0)
        QSKIP("only root can give the folder to another account");
    if (!removed.isEmpty())
        QVERIFY(QFile::remove(folder + u'/' + removed));
    const QByteArray path = QFile::encodeName(folder);
    QVERIFY(!foreign || ::chown(path.constData(), 65534, 65534) == 0);
    const Answer answer = run(arguments, name, wrapper);
    QVERIFY(!foreign || ::chown(path.constData(), ::getuid(), ::getgid()) == 0);

    QVERIFY2(answer.status == status, answer.output + answer.error);
    if (status == 2)
        QVERIFY2(answer.error.contains(says), answer.error.constData());
    else if (!says.isEmpty())
        QCOMPARE(answer.output, says);
    if (status == 0 && arguments == QStringList{"read"})
        QCOMPARE(record::core::decodeJournal(answer.output.toStdString()),
                 std::optional(record::core::Contents{" 4\r\n", "Anna\r\n"}));
    // A flush that failed after the pair was written leaves the new pair.
    if ((status == 0 && arguments.value(0) == "store") || says == "full .\n") {
        QCOMPARE(bytesOf("avelmora.txt"), arguments[1].toLatin1() + "\r\n");
        QCOMPARE(bytesOf("velmora.txt"), name + "\r\n");
    } else {
        QCOMPARE(bytesOf("avelmora.txt"),
                 removed == "avelmora.txt" ? QByteArray("(missing)") : QByteArray(" 4\r\n"));
        QCOMPARE(bytesOf("velmora.txt"),
                 removed == "velmora.txt" ? QByteArray("(missing)") : QByteArray("Anna\r\n"));
    }
    // Only a file the store may create comes back.
    QStringList entries{"avelmora.txt", "velmora.lock", "velmora.txt"};
    if (says.startsWith("missing"))
        entries.removeOne(removed);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             entries);
}

// A caller may limit the size of the files the store writes, so that a write stops anywhere: the
// store fails, and the next one finds a whole pair.
void TstStoreProgram::fileSizeLimitNeverBreaksThePair_data() {
    QTest::addColumn<int>("limit");
    for (int limit : {0, 1, 20, 40, 60, 1000})
        QTest::newRow(qPrintable(QString::number(limit))) << limit;
}

void TstStoreProgram::fileSizeLimitNeverBreaksThePair() {
    QFETCH(int, limit);
    const Answer limited =
        run({"store", " 9"}, "Bea", {"prlimit", QStringLiteral("--fsize=%1").arg(limit), "--"});
    QVERIFY2(limited.status == 0 || limited.status == 3, limited.output.constData());
    QCOMPARE(run({"prepare"}).status, 0);
    const QByteArray pair = bytesOf("avelmora.txt") + bytesOf("velmora.txt");
    QVERIFY2(pair == " 4\r\nAnna\r\n" || pair == " 9\r\nBea\r\n", pair.constData());
    QCOMPARE(bytesOf("velmora.lock"), QByteArray());
}

// Stores started together, some with equal scores: every one that returns leaves a whole pair,
// the highest score wins, and of equal scores only the first is stored.
void TstStoreProgram::racingStoresKeepTheHighestWholePair() {
    const QList<int> scores{5, 9, 7, 9, 3, 9, 8, 6};
    QList<QProcess*> stores;
    for (int score : scores) {
        auto* store = new QProcess(this);
        store->setProcessChannelMode(QProcess::ForwardedChannels);
        store->start(storeProgram, {"store", QStringLiteral(" %1").arg(score)});
        QVERIFY(store->waitForStarted());
        stores << store;
    }
    // Each store reads its whole name before it takes the lock: they now start together.
    for (int i = 0; i < stores.size(); ++i) {
        stores[i]->write(QStringLiteral("P%1-%2").arg(i).arg(scores[i]).toLatin1());
        stores[i]->closeWriteChannel();
    }
    const auto consistent = [] {
        const record::Pair pair =
            record::load(folder, QFileInfo(storeProgram).path(), record::readWhole);
        const QString score = pair.score.trimmed();
        return pair.name.endsWith(u'-' + score + "\r\n");
    };
    int storedNines = 0;
    for (int i = 0; i < stores.size(); ++i) {
        QVERIFY(stores[i]->waitForFinished(60000));
        QVERIFY2(stores[i]->exitCode() == 0 || stores[i]->exitCode() == 1,
                 qPrintable(QString::number(stores[i]->exitCode())));
        if (scores[i] == 9 && stores[i]->exitCode() == 0)
            ++storedNines;
        QVERIFY(consistent());
    }
    QCOMPARE(storedNines, 1);
    QCOMPARE(bytesOf("avelmora.txt"), QByteArray(" 9\r\n"));
    QVERIFY(consistent());
    qDeleteAll(stores);
}

// A load while a store is paused between its two files waits for it, then reads the new pair
// whole: never the new score beside the old name.
void TstStoreProgram::loadWaitsForAPausedStore() {
    QProcess paused;
    paused.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The store's second write is its score file's: it sleeps after it, holding the lock.
    paused.start("strace",
                 {"-f", "-o", "/dev/null", "-e", "inject=pwrite64:delay_exit=1500ms:when=2", "--",
                  storeProgram, "store", " 9"});
    QVERIFY(paused.waitForStarted());
    paused.write("Bea");
    paused.closeWriteChannel();
    QTRY_COMPARE_WITH_TIMEOUT(bytesOf("avelmora.txt"), QByteArray(" 9\r\n"), 10000);
    const record::Pair pair =
        record::load(folder, QFileInfo(storeProgram).path(), record::readWhole);
    QCOMPARE(pair.score + pair.name, QStringLiteral(" 9\r\nBea\r\n"));
    QVERIFY(paused.waitForFinished(60000));
    QCOMPARE(paused.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TstStoreProgram)
#include "tst_storeprogram.moc"
