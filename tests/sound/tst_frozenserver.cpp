#include "audioplayer.h"
#include "wavbytes.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <signal.h>
#include <sys/prctl.h>

using sound::AudioPlayer;

// A sound server that stops answering must not stop the caller. The test starts a private
// PulseAudio (the shared one serves other tests at the same time) and freezes it with SIGSTOP.
// Should a call block after all, the test hangs and fails at its time limit.
class TstFrozenServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void frozenServerDoesNotBlockCaller();
    void cleanupTestCase();

private:
    void freeze(bool frozen);

    QTemporaryDir m_dir;
    QProcess m_server;
};

namespace {

// The process state letter from /proc: 'T' once SIGSTOP has taken effect.
char processState(qint64 pid) {
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return '?';
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

} // namespace

void TstFrozenServer::initTestCase() {
    if (QStandardPaths::findExecutable("pulseaudio").isEmpty())
        QSKIP("needs pulseaudio (Debian package pulseaudio) to start a private sound server");
    QVERIFY(m_dir.isValid());
    const QString socket = m_dir.filePath("native");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", m_dir.path());
    m_server.setProcessEnvironment(env);
    m_server.setStandardOutputFile(QProcess::nullDevice());
    m_server.setStandardErrorFile(m_dir.filePath("pulse.log"));
    // Should the test die, its server goes with it.
    m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    m_server.start("pulseaudio",
                   {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                    "--disallow-exit", "--load=module-null-sink sink_name=nullsink rate=44100",
                    "--load=module-native-protocol-unix socket=" + socket});
    QVERIFY(m_server.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(socket).exists(), 30000);
    // Before anything in this process touches the audio system.
    qputenv("PULSE_SERVER", "unix:" + socket.toLocal8Bit());
    QVERIFY(wavbytes::writeFile(m_dir.filePath("tone.wav"), wavbytes::tone(600, 0.5)));
}

void TstFrozenServer::freeze(bool frozen) {
    QCOMPARE(::kill(pid_t(m_server.processId()), frozen ? SIGSTOP : SIGCONT), 0);
    QTRY_COMPARE(processState(m_server.processId()) == 'T', frozen);
}

void TstFrozenServer::frozenServerDoesNotBlockCaller() {
    using Outcome = AudioPlayer::Outcome;
    const QString tone = m_dir.filePath("tone.wav");
    auto player = std::make_unique<AudioPlayer>(QStringLiteral(CORVALTO_AUDIO_MODULE));
    AudioPlayer survivor(QStringLiteral(CORVALTO_AUDIO_MODULE));
    player->play(tone);
    survivor.play(tone);
    QTRY_COMPARE_WITH_TIMEOUT(player->report().last, Outcome::Started, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(survivor.report().last, Outcome::Started, 20000);

    freeze(true);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(10);
    for (int i = 0; i < 3; ++i)
        player->play(tone);
    survivor.play(tone);
    // A player made while the server is frozen, playing at once, is just as harmless.
    auto late = std::make_unique<AudioPlayer>(QStringLiteral(CORVALTO_AUDIO_MODULE));
    late->play(tone);
    QTRY_VERIFY(ticks >= 30);
    // The workers really are stuck on the server: the requests stay unsettled.
    QCOMPARE_LT(player->report().settled, player->report().requested);
    QCOMPARE_LT(late->report().settled, late->report().requested);
    // This one waits behind the stuck request, through the destructors' waits below.
    survivor.play(tone);
    // Destroying a stuck player returns after a bounded wait, leaving its worker behind.
    player.reset();
    late.reset();
    QCOMPARE(AudioPlayer::runningWorkers(), 3);

    // Once the server answers again the abandoned workers finish; a request that waited
    // seconds is dropped rather than played out of place, and new sounds play again.
    freeze(false);
    QTRY_COMPARE_WITH_TIMEOUT(AudioPlayer::runningWorkers(), 1, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(survivor.report().settled, survivor.report().requested, 30000);
    QCOMPARE(survivor.report().last, Outcome::Late);
    survivor.play(tone);
    QTRY_COMPARE_WITH_TIMEOUT(survivor.report().last, Outcome::Started, 20000);
}

void TstFrozenServer::cleanupTestCase() {
    if (m_server.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_server.processId()), SIGCONT);
    m_server.terminate();
    if (!m_server.waitForFinished(10000))
        m_server.kill();
    m_server.waitForFinished();
}

QTEST_GUILESS_MAIN(TstFrozenServer)
#include "tst_frozenserver.moc"
