#include "boardlabel.h"
#include "folder.h"
#include "game.h"
#include "recordfiles.h"
#include "texts.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The game against the shared record folder and the real store: whatever has been put in the
// folder's place, the game refuses it with one Italian message and status 1, and touches nothing
// outside the folder.
class TestSharedRecord : public QObject {
    Q_OBJECT

private slots:
    void unusableFolderIsRefused_data();
    void unusableFolderIsRefused();
    void longestNameIsStoredAndReadBack();
    void startUpErrorStopsTheClock();
    void recordStoredDuringTheGreetingIsShown();
    void equalScoreEndsQuietlyWhileAnotherGameHoldsTheLock();
};

namespace {

// A file outside the folder that a planted link points at; on the same file system, so that a
// hard link to it can be made too.
struct Outside {
    QTemporaryDir dir{QFileInfo(QStringLiteral(CORVALTO_RECORD_DIR)).path() + "/outside-XXXXXX"};
    QString file = dir.filePath("segreto.txt");
    QString seen() const { return contents(file) + QFileInfo(file).lastModified().toString(); }
};

void plant(const QString& kind, const QString& path, const Outside& outside) {
    QFile::remove(path);
    const QByteArray name = QFile::encodeName(path);
    if (kind == "link")
        QVERIFY(QFile::link(outside.file, path));
    else if (kind == "fifo")
        QVERIFY(::mkfifo(name.constData(), 0644) == 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(path));
    else if (kind == "hard link")
        QVERIFY(::link(QFile::encodeName(outside.file).constData(), name.constData()) == 0);
    else if (kind == "missing, folder another's") // as the set-up left it, but for this file
        QVERIFY(::chown(QFile::encodeName(QFileInfo(path).path()).constData(), 65534, 65534) == 0);
    else if (kind == "one byte over")
        QVERIFY(QFile::resize(path, qint64(record::core::maxFileSize) + 1) ||
                (QFile(path).open(QIODevice::WriteOnly) &&
                 QFile::resize(path, qint64(record::core::maxFileSize) + 1)));
}

} // namespace

void TestSharedRecord::unusableFolderIsRefused_data() {
    QTest::addColumn<bool>("atEnd");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");

    const QString link = QStringLiteral("è un collegamento a un altro file");
    const QString special = QStringLiteral("non è un file di testo");
    const QString hard = QStringLiteral("collegamento fisico");
    const QString large = QStringLiteral("è troppo grande");
    QTest::newRow("load: score file a link") << false << "avelmora.txt"
                                             << "link" << link;
    QTest::newRow("load: name file a FIFO") << false << "velmora.txt"
                                            << "fifo" << special;
    QTest::newRow("load: score file a folder") << false << "avelmora.txt"
                                               << "folder" << special;
    QTest::newRow("load: name file hard-linked") << false << "velmora.txt"
                                                 << "hard link" << hard;
    QTest::newRow("load: name over the bound") << false << "velmora.txt"
                                               << "one byte over" << large;
    QTest::newRow("load: lock file a link") << false << "velmora.lock"
                                            << "link" << link;
    QTest::newRow("load: lock file a FIFO") << false << "velmora.lock"
                                            << "fifo" << special;
    QTest::newRow("load: lock file missing, folder not the player's")
        << false << "velmora.lock"
        << "missing, folder another's"
        << "Chiedigli di eseguire il comando: sudo dpkg-reconfigure corvalto";
    QTest::newRow("load: no folder") << false << ""
                                     << "file"
                                     << "La cartella del record";
    QTest::newRow("store: name file a link") << true << "velmora.txt"
                                             << "link" << link;
    QTest::newRow("store: score file a FIFO") << true << "avelmora.txt"
                                              << "fifo" << special;
    QTest::newRow("store: lock file a folder") << true << "velmora.lock"
                                               << "folder" << special;
    QTest::newRow("store: score hard-linked") << true << "avelmora.txt"
                                              << "hard link" << hard;
    QTest::newRow("store: score over the bound") << true << "avelmora.txt"
                                                 << "one byte over" << large;
}

void TestSharedRecord::unusableFolderIsRefused() {
    QFETCH(bool, atEnd);
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QString, says);

    if (kind.contains("another's") && ::geteuid() != 0)
        QSKIP("only root can give the folder to another account");
    Doubles doubles;
    Outside outside;
    {
        QFile secret(outside.file);
        QVERIFY(secret.open(QIODevice::WriteOnly));
        secret.write("42\r\n");
    }
    const QString before = outside.seen();
    const QString folder = doubles.folders.recordFolder();
    const QString path = file.isEmpty() ? folder : folder + u'/' + file;
    if (file.isEmpty()) {
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QFile(folder).open(QIODevice::WriteOnly)); // a file where the folder should be
    }

    Tavola tavola(doubles.platform());
    doubles.dialogs.names.push_back(QStringLiteral("Anna"));
    int status = -1;
    if (atEnd) {
        tavola.Form_Initialize();
        tavola.Show();
        plant(kind, path, outside);
        tavola.ui().Punteggio->setText(QStringLiteral(" 5"));
        status = endStatus([&] { tavola.cmdExit_Click(); });
    } else {
        // Both record files there, as after any earlier game: only the planted one is wrong.
        for (const char* name : {"/avelmora.txt", "/velmora.txt"})
            QFile(folder + name).open(QIODevice::WriteOnly);
        if (!file.isEmpty())
            plant(kind, path, outside);
        status = endStatus([&] { tavola.Form_Initialize(); });
    }

    QCOMPARE(status, 1);
    const Box& report = doubles.dialogs.boxes.last();
    QCOMPARE(report.buttons, box::critical);
    QCOMPARE(report.title, QStringLiteral("Corvalto"));
    QVERIFY2(report.text.startsWith(QStringLiteral("Il record non si può usare.\n\n")) &&
                 report.text.contains(QDir::cleanPath(path)) && report.text.contains(says),
             qPrintable(report.text));
    QCOMPARE(outside.seen(), before);
    if (kind == "link")
        QCOMPARE(QFileInfo(path).symLinkTarget(), outside.file);
    QVERIFY(!tavola.ui().Timer1->isActive() && !tavola.ui().Timer2->isActive());
}

// The longest name the name box takes, in characters of three bytes each, fills a name file to
// the bound exactly: stored at the end of one game, read back by the next.
void TestSharedRecord::longestNameIsStoredAndReadBack() {
    const QString longest(int(record::core::longestName), QChar(0x20AC));
    Doubles doubles;
    Tavola first(doubles.platform());
    doubles.dialogs.names.push_back(longest);
    first.Form_Initialize();
    first.Show();
    first.ui().Punteggio->setText(QStringLiteral(" 1"));
    QCOMPARE(endStatus([&] { first.cmdExit_Click(); }), 0);
    QCOMPARE(doubles.dialogs.boxes.last().text, testi::recordRegistrato);
    QCOMPARE(QFileInfo(doubles.folders.recordFolder() + "/velmora.txt").size(),
             qint64(record::core::maxFileSize));

    Tavola next(doubles.platform());
    next.Form_Initialize();
    QCOMPARE(next.ui().lblnome->text(), longest + "\r\n");
}

// A start-up error stops both timers before its box: the clock can no longer end the game
// behind it with another status.
void TestSharedRecord::startUpErrorStopsTheClock() {
    Doubles doubles;
    QVERIFY(::mkfifo(QFile::encodeName(doubles.folders.recordFolder() + "/velmora.txt"), 0644) ==
            0);
    Tavola tavola(doubles.platform());
    bool running = true;
    doubles.dialogs.whileOpen = [&](const Box& box) {
        if (box.buttons == box::critical)
            running = tavola.ui().Timer1->isActive() || tavola.ui().Timer2->isActive();
    };
    QCOMPARE(endStatus([&] { tavola.Form_Initialize(); }), 1);
    QVERIFY(!running);
    QCOMPARE(doubles.dialogs.boxes.size(), 2); // the greeting, then the error
}

// Another game may store a record while this player reads the greeting: that is the record shown.
void TestSharedRecord::recordStoredDuringTheGreetingIsShown() {
    Doubles doubles;
    Tavola tavola(doubles.platform());
    doubles.dialogs.whileOpen = [&](const Box&) {
        QVERIFY(record::store(doubles.folders.recordFolder(), doubles.folders.programFolder(),
                              QStringLiteral(" 7"), QStringLiteral("Bea")));
    };
    tavola.Form_Initialize();
    QCOMPARE(tavola.ui().lblpunti->text(), QStringLiteral(" 7\r\n"));
    QCOMPARE(tavola.ui().lblnome->text(), QStringLiteral("Bea\r\n"));
}

// An equal score is no record: the game ends at once, even while another game holds the lock.
void TestSharedRecord::equalScoreEndsQuietlyWhileAnotherGameHoldsTheLock() {
    Game game;
    const QString folder = game.doubles.folders.recordFolder();
    for (const auto& [name, bytes] :
         {std::pair{"/avelmora.txt", " 5\r\n"}, {"/velmora.txt", "Zed\r\n"}}) {
        QFile file(folder + name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    game.ui().lblpunti->setText(QStringLiteral(" 5\r\n"));
    const int held = ::open(QFile::encodeName(folder + "/velmora.lock").constData(), O_RDWR);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
    game.ui().Punteggio->setText(QStringLiteral(" 5"));
    const int status = endStatus([&] { game.tavola.cmdExit_Click(); });
    ::close(held);
    QCOMPARE(status, 0);
    QCOMPARE(game.doubles.dialogs.boxes.size(), 1);
    QCOMPARE(game.doubles.dialogs.boxes[0].text, QStringLiteral("              Ciao a presto."));
    QCOMPARE(contents(folder + "/avelmora.txt") + contents(folder + "/velmora.txt"),
             QByteArray(" 5\r\nZed\r\n"));
}

QTEST_MAIN(TestSharedRecord)
#include "tst_sharedrecord.moc"
