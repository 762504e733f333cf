#include "platformfiles.h"
#include "recordfiles.h"
#include "testfiles.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <unistd.h>

class TstRecordFiles : public QObject {
    Q_OBJECT

private slots:
    void paths_data();
    void paths();
    void firstRunCreatesTwoEmptyFilesForEveryone();
    void existingFileIsNeverWritten();
    void refusesWhatIsNotASmallPlainFile_data();
    void refusesWhatIsNotASmallPlainFile();
    void newFileIsNeverCreatedOverAName();
    void missingFolderIsCreatedForEveryone();
    void unwritableFolderNamesTheFile();
};

void TstRecordFiles::paths_data() {
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("cartella");
    QTest::addColumn<QString>("scorePath");
#ifdef Q_OS_WIN
    QTest::newRow("plain") << "C:\\WINDOWS"
                           << "C:\\WINDOWS\\"
                           << "C:\\WINDOWS\\\\avelmora.txt";
    QTest::newRow("drive root") << "C:\\"
                                << "C:\\"
                                << "C:\\\\avelmora.txt";
    QTest::newRow("spaces around") << "  C:\\WINNT "
                                   << "C:\\WINNT\\"
                                   << "C:\\WINNT\\\\avelmora.txt";
#else
    QTest::newRow("plain") << "/var/games/x"
                           << "/var/games/x/"
                           << "/var/games/x/avelmora.txt";
    QTest::newRow("ends in one") << "/var/games/"
                                 << "/var/games/"
                                 << "/var/games/avelmora.txt";
    QTest::newRow("ends in two") << "/var/games//"
                                 << "/var/games/"
                                 << "/var/games/avelmora.txt";
    QTest::newRow("root") << "/"
                          << "/"
                          << "/avelmora.txt";
    QTest::newRow("spaces around") << "  /srv/x "
                                   << "/srv/x/"
                                   << "/srv/x/avelmora.txt";
#endif
}

void TstRecordFiles::paths() {
    QFETCH(QString, dir);
    QFETCH(QString, cartella);
    QFETCH(QString, scorePath);
    QCOMPARE(record::withTrailingSeparator(dir), cartella);
    QCOMPARE(record::recordPath(cartella, record::scoreFileName), scorePath);
}

void TstRecordFiles::firstRunCreatesTwoEmptyFilesForEveryone() {
    QTemporaryDir dir;
    const mode_t oldMask = ::umask(077);
    const auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
    const QString cartella = record::withTrailingSeparator(dir.path());

    for (QStringView literal : {record::scoreFileName, record::nameFileName}) {
        const QString path = record::recordPath(cartella, literal);
        record::ensureExists(path);
        QCOMPARE(contents(path), QByteArray());
        QCOMPARE(modeOf(path), mode_t(0666));
        QCOMPARE(record::readWhole(path), QString());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TstRecordFiles::existingFileIsNeverWritten() {
    QTemporaryDir dir;
    const QString path = dir.filePath("avelmora.txt");
    writeFile(path, " 12\r\n");
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly) && file.setFileTime(past, QFile::FileModificationTime));

    record::ensureExists(path);
    QCOMPARE(contents(path), QByteArray(" 12\r\n"));
    QCOMPARE(modeOf(path), mode_t(0640));
    QCOMPARE(QFileInfo(path).lastModified(), past);
    QCOMPARE(record::readWhole(path), QStringLiteral(" 12\r\n"));
}

void TstRecordFiles::refusesWhatIsNotASmallPlainFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("link to a file") << "link";
    QTest::newRow("link to nothing") << "dangling";
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("directory") << "directory";
    QTest::newRow("one byte over the limit") << "large";
    QTest::newRow("sparse terabyte") << "huge";
}

// Every account can write the record folder: what one plants there must neither make another's
// game touch a file elsewhere, nor hang it, nor fill its memory.
void TstRecordFiles::refusesWhatIsNotASmallPlainFile() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath("velmora.txt");
    const QString target = dir.filePath("victim.txt");
    QFile file(path);
    if (kind == "link")
        writeFile(target, "private\n");
    if (kind == "link" || kind == "dangling")
        QVERIFY(QFile::link(target, path));
    else if (kind == "fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0666), 0);
    else if (kind == "directory")
        QVERIFY(QDir(dir.path()).mkdir("velmora.txt"));
    else
        QVERIFY(file.open(QIODevice::WriteOnly) &&
                file.resize(kind == "large" ? record::maxFileSize + 1 : qint64(1) << 40));
    // A regular file is there, however large; only reading it is refused.
    const bool regular = kind == "large" || kind == "huge";
    QCOMPARE(failureOf([&] { record::ensureExists(path); }).path(), regular ? QString() : path);
    QCOMPARE(failureOf([&] { record::readWhole(path); }).path(), path);
    QCOMPARE(contents(target), QByteArray(kind == "link" ? "private\n" : "(missing)"));
}

void TstRecordFiles::newFileIsNeverCreatedOverAName() {
    QTemporaryDir dir;
    writeFile(dir.filePath("taken"), "old");
    QVERIFY(QFile::link(dir.filePath("target"), dir.filePath("link")));

    QVERIFY(!record::platform::createNew(dir.filePath("taken"), "new"));
    QVERIFY(!record::platform::createNew(dir.filePath("link"), "new"));
    QCOMPARE(contents(dir.filePath("taken")), QByteArray("old"));
    QVERIFY(!QFileInfo::exists(dir.filePath("target")));

    writeFile(dir.filePath("limit"), QByteArray(record::maxFileSize, 'x'));
    QCOMPARE(record::readWhole(dir.filePath("limit")).size(), record::maxFileSize);
}

void TstRecordFiles::missingFolderIsCreatedForEveryone() {
    QTemporaryDir dir;
    const mode_t oldMask = ::umask(077);
    const auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
    const QString folder = dir.filePath("games/corvalto");

    record::platform::ensureFolder(folder + '/');
    QCOMPARE(modeOf(folder), mode_t(0777)); // no sticky bit: any account replaces any record
    record::platform::ensureFolder(folder);
    writeFile(dir.filePath("file"), "");
    QVERIFY_THROWS_EXCEPTION(record::FileError,
                             record::platform::ensureFolder(dir.filePath("file")));
    QVERIFY(QFileInfo(record::systemDirectory()).isDir());
}

void TstRecordFiles::unwritableFolderNamesTheFile() {
    if (::geteuid() == 0) {
        if (const QString why = runUnprivileged(QTest::currentTestFunction()); !why.isEmpty())
            QSKIP(qPrintable(why));
        return;
    }
    QTemporaryDir dir;
    const QString unreadable = dir.filePath("avelmora.txt");
    const QString missing = dir.filePath("velmora.txt");
    writeFile(unreadable, "7\r\n");
    QVERIFY(QFile::setPermissions(unreadable, {}));
    QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    const auto writable = qScopeGuard([&] {
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });

    const record::FileError notCreated = failureOf([&] { record::ensureExists(missing); });
    const record::FileError notRead = failureOf([&] { record::readWhole(unreadable); });
    QCOMPARE(notCreated.path(), missing);
    QCOMPARE(notRead.path(), unreadable);
    QCOMPARE(notCreated.reason(), qt_error_string(EACCES));
    QCOMPARE(notRead.reason(), qt_error_string(EACCES));
    QVERIFY(!QFileInfo::exists(missing));
}

QTEST_GUILESS_MAIN(TstRecordFiles)
#include "tst_recordfiles.moc"
