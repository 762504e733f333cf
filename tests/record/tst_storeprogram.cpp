#include "folder.h"
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
    void troubleHasItsWord_data();
    void troubleHasItsWord();
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
    if (!store.waitForFinished(60000) || store.exitStatus() != QProcess::NormalExit)
        return {-1, store.readAllStandardOutput()};
    return {store.exitCode(), store.readAllStandardOutput()};
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

// Only "prepare", or "store" with a score as the score label shows it and a name the game could
// have taken, changes anything.
void TstStoreProgram::refusesWhatItIsNotMadeFor_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("status");

    const QByteArray longest = QByteArray(longestNameBytes / 3, 'x').replace("x", "\xE2\x82\xAC");
    QTest::newRow("nothing") << QStringList{} << QByteArray() << 2;
    QTest::newRow("unknown command") << QStringList{"erase"} << QByteArray() << 2;
    QTest::newRow("prepare and more") << QStringList{"prepare", "/etc"} << QByteArray() << 2;
    QTest::newRow("read at end of some input")
        << QStringList{"read-at-eof"} << QByteArray("\n") << 2;
    QTest::newRow("no score") << QStringList{"store"} << QByteArray("Bea") << 2;
    for (const char* score :
         {"", "  9", "9 ", "+9", "1e3", "&H10", "9.5", "099999", "32768", "-32769", "9\n"})
        QTest::newRow(qPrintable(QStringLiteral("score '%1'").arg(score)))
            << QStringList{"store", score} << QByteArray("Bea") << 2;
    QTest::newRow("name one byte too long")
        << QStringList{"store", " 9"} << QByteArray(longestNameBytes + 1, 'x') << 2;
    QTest::newRow("lowest score") << QStringList{"store", "-32768"} << QByteArray("Bea") << 1;
    QTest::newRow("equal score") << QStringList{"store", "4"} << QByteArray("Bea") << 1;
    QTest::newRow("highest score") << QStringList{"store", "32767"} << QByteArray("Bea") << 0;
    QTest::newRow("longest name") << QStringList{"store", " 9"} << longest << 0;
}

void TstStoreProgram::refusesWhatItIsNotMadeFor() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, name);
    QFETCH(int, status);
    QCOMPARE(run(arguments, name).status, status);
    if (status == 0) {
        QCOMPARE(bytesOf("avelmora.txt"), arguments[1].toLatin1() + "\r\n");
        QCOMPARE(bytesOf("velmora.txt"), name + "\r\n");
    } else {
        QCOMPARE(bytesOf("avelmora.txt"), QByteArray(" 4\r\n"));
        QCOMPARE(bytesOf("velmora.txt"), QByteArray("Anna\r\n"));
    }
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList({"avelmora.txt", "velmora.lock", "velmora.txt"}));
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

// What went wrong has its own word, and a read is whole. Root gives the folder away for "missing":
// a file that the store would have to create in a folder its caller does not own is reported, never
// made.
void TstStoreProgram::troubleHasItsWord_data() {
    QTest::addColumn<QString>("line"); // for sh -c in the folder, the store as $0
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says");
    const QString full = "strace -f -o /dev/null -e inject=fsync:error=ENOSPC:when=%1 \"$0\" ";
    QTest::newRow("name unreadable") << "\"$0\" store 9 </" << 2 << QByteArray("be read");
    QTest::newRow("no space for the lock file") << "rm velmora.lock && " + full.arg(1) + "prepare"
                                                << 3 << QByteArray("full velmora.lock\n");
    QTest::newRow("no space to flush the folder")
        << "echo Bea | " + full.arg(5) + "store 9" << 3 << QByteArray("full .\n");
    // Paused after its score file (its second write): the read waits, never the new score
    // beside the old name.
    QTest::newRow("read beside a paused store")
        << "echo Bea | strace -f -o /dev/null -e inject=pwrite64:delay_exit=1500ms:when=2 \"$0\" "
           "store ' 9' & sleep 0.5; \"$0\" read && wait $!"
        << 0 << QByteArray(" 9\r\nBea\n\r\n");
    // Told to read only when its input ends, it reads the record stored meanwhile.
    QTest::newRow("read once told")
        << "mkfifo go && { \"$0\" read-at-eof <go | tail -c 10 & } && exec 3>go && sleep 0.5 && "
           "echo Bea | \"$0\" store ' 9' && exec 3>&- && wait"
        << 0 << QByteArray(" 9\r\nBea\n\r\n");
    QTest::newRow("lock file missing")
        << "rm velmora.lock && \"$0\" read" << 3 << QByteArray("missing velmora.lock\n");
    // The second stat of the folder is its own, before it makes the lock file.
    QTest::newRow("folder's stat fails") << "rm velmora.lock && strace -f -o /dev/null -P \"$PWD\" "
                                            "-e inject=%fstat:error=EIO:when=2 \"$0\" prepare"
                                         << 3 << QByteArray("unreadable velmora.lock\n");
    // Files as long as allowed are read whole (one byte more is refused: the shared record's
    // test), and a long journal that a killed store left (its next write, the score file, never
    // came) is finished whole.
    const QString filled = "head -c %1 /dev/zero | tr '\\0' %2";
    QTest::newRow("score file at its bound")
        << filled.arg(longestNameBytes).arg(9) + " >avelmora.txt && printf '\\r\\n' >>avelmora.txt"
                                                 " && \"$0\" read | head -c 30"
        << 0
        << "corvalto-record 1 " + QByteArray::number(qulonglong(record::core::maxFileSize)) + " 6 ";
    QTest::newRow("long journal left behind")
        << filled.arg(5000).arg('x') +
               " | strace -f -o /dev/null -e inject=pwrite64:signal=SIGKILL:when=2 \"$0\" store"
               " ' 9'; \"$0\" read | head -c 30; wc -c <velmora.txt"
        << 0 << QByteArray("corvalto-record 1 4 5002 ");
    // A closed standard descriptor is as good as /dev/null: the next file opened must not take
    // its number, or an answer or an error would be written into it.
    QTest::newRow("standard descriptor closed")
        << "run() { printf ' 4\\r\\n' >avelmora.txt; printf 'Anna\\r\\n' >velmora.txt; "
           "a=$(echo Bea | eval '\"$0\" store \" 9\"' \"$1\"); s=$?; b=$(eval '\"$0\" read' "
           "\"$1\"); printf '%s %s [%s] [%s] ' $s $? \"$a\" \"$b\"; "
           "cat avelmora.txt velmora.txt velmora.lock; }; for fd in 0 1 2; do "
           "[ \"$(run \"$fd>&-\")\" = \"$(run \"$fd<>/dev/null\")\" ] && echo \"$fd as null\"; "
           "done; "
           "cat avelmora.txt velmora.txt velmora.lock"
        << 0 << QByteArray("0 as null\n1 as null\n2 as null\n 9\r\nBea\n\r\n");
}

void TstStoreProgram::troubleHasItsWord() {
    QFETCH(QString, line);
    QFETCH(int, status);
    QFETCH(QByteArray, says);
    const bool foreign = says.startsWith("missing");
    if (foreign && ::geteuid() != 0)
        QSKIP("only root can give the folder away");
    const QByteArray path = QFile::encodeName(folder);
    QVERIFY(!foreign || ::chown(path.constData(), 65534, 65534) == 0);
    QProcess store;
    store.setWorkingDirectory(folder);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ASAN_OPTIONS", "detect_leaks=0"); // LeakSanitizer cannot run under strace
    store.setProcessEnvironment(environment);
    store.start("sh", {"-c", line, storeProgram});
    QVERIFY(store.waitForFinished(60000));
    QVERIFY(!foreign || (::chown(path.constData(), ::getuid(), ::getgid()) == 0 &&
                         !QFile::exists(folder + "/velmora.lock")));
    const QByteArray output = store.readAllStandardOutput() + store.readAllStandardError();
    QVERIFY2(store.exitCode() == status && output.contains(says), output.constData());
}

QTEST_GUILESS_MAIN(TstStoreProgram)
#include "tst_storeprogram.moc"
