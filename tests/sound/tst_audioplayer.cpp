#include "audioplayer.h"
#include "wavbytes.h"

#include <QDir>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <pthread.h>
#include <thread>

// Each case runs the player in a child process with no sound server to be found, and checks
// that it stays silent in every sense: the failure is recognised, and nothing reaches stderr
// from the first play to the end of the program.
class TstAudioPlayer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void silentOnFailure_data();
    void silentOnFailure();
    void filtersOnlyAudioMessages();

private:
    QTemporaryDir m_dir;
};

void TstAudioPlayer::initTestCase() {
    QVERIFY(m_dir.isValid());
    // For the player made in this process: no server, before Qt Multimedia starts.
    qputenv("PULSE_SERVER", "unix:" + m_dir.filePath("no-server").toLocal8Bit());
    QVERIFY(QDir(m_dir.path()).mkpath("suoni/folder.wav"));
    const QByteArray whole = wavbytes::tone(440, 0.2);
    QVERIFY(wavbytes::writeFile(m_dir.filePath("suoni/damaged.wav"), whole.left(whole.size() / 2)));
    QVERIFY(wavbytes::writeFile(m_dir.filePath("suoni/text.wav"), "not a sound\n"));
}

void TstAudioPlayer::silentOnFailure_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("outcome");

    const QString sounds = QStringLiteral(CORVALTO_SOUNDS_DIR "/");
    QTest::newRow("no suoni folder") << QStringList{"elsewhere/suoni/sparo.wav"} << "Unreadable";
    QTest::newRow("missing file") << QStringList{"suoni/missing.wav"} << "Unreadable";
    QTest::newRow("damaged file") << QStringList{"suoni/damaged.wav"} << "Unreadable";
    QTest::newRow("not a wave file") << QStringList{"suoni/text.wav"} << "Unreadable";
    QTest::newRow("a folder by the name") << QStringList{"suoni/folder.wav"} << "Unreadable";
    QTest::newRow("no sound server") << QStringList{sounds + "sparo.wav"} << "NoOutput";
    QTest::newRow("no sound server, three sounds in a row")
        << QStringList{sounds + "laser.wav", sounds + "sparo.wav", sounds + "esplosi.wav"}
        << "NoOutput";
}

void TstAudioPlayer::silentOnFailure() {
    QFETCH(QStringList, files);
    QFETCH(QString, outcome);

    QStringList paths;
    for (const QString& file : files)
        paths << QDir(m_dir.path()).absoluteFilePath(file);
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", "unix:" + m_dir.filePath("no-server"));
    probe.setProcessEnvironment(env);
    probe.start(SOUNDPROBE, paths);
    QVERIFY(probe.waitForFinished(120000));
    QCOMPARE(probe.readAllStandardError(), QByteArray());
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(), outcome);
}

Q_LOGGING_CATEGORY(multimediaCategory, "qt.multimedia.test")

// The player's message filter drops what the audio system says, and only that: the rest of
// the program keeps its messages.
void TstAudioPlayer::filtersOnlyAudioMessages() {
    sound::AudioPlayer player(QStringLiteral(
        CORVALTO_AUDIO_MODULE)); // its filter is chained to the test's message handler
    QTest::failOnWarning(QRegularExpression("^(?!a message of the game$)"));
    QTest::ignoreMessage(QtWarningMsg, "a message of the game");

    qWarning("a message of the game");
    qCWarning(multimediaCategory, "from a category of Qt Multimedia");
    std::thread pulse([] {
        pthread_setname_np(pthread_self(), "threaded-ml");
        qWarning("from the sound server's event thread");
    });
    pulse.join();
    player.play(m_dir.filePath("suoni/damaged.wav"));
    QTRY_COMPARE(player.report().last, sound::AudioPlayer::Outcome::Unreadable);
}

QTEST_GUILESS_MAIN(TstAudioPlayer)
#include "tst_audioplayer.moc"
