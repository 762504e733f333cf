#include "audioplayer.h"
#include "wavbytes.h"
#include "wavfile.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <complex>
#include <numbers>
#include <span>

using sound::AudioPlayer;

// Plays through the sound server that the test command starts (a null sink) and records what
// comes out of it, to hear what a player would hear.
class TstSoundServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void shotIsHeardWhole();
    void newSoundCutsOffOld_data();
    void newSoundCutsOffOld();
    void quietWithServer();
    void survivesASoundEveryMillisecond();
    void cleanupTestCase();

private:
    qsizetype recorded() const { return m_recording.size() / 2; }
    std::span<const qint16> samples(qsizetype from) const;
    void waitForRecording(qsizetype frames);

    QTemporaryDir m_dir;
    QProcess m_parec;
    QByteArray m_recording;
    std::optional<AudioPlayer> m_player;
};

namespace {

constexpr int rate = 44100;
// The null sink passes samples unchanged and its silence is exact zero, so a low threshold
// finds the quiet ends of a sound too.
constexpr int audible = 64;

std::span<const qint16> samplesOf(const sound::WavFile& wav) {
    return {reinterpret_cast<const qint16*>(wav.samples().constData()), size_t(wav.frameCount())};
}

struct Span {
    qsizetype first = -1;
    qsizetype last = -1;
};

Span audibleSpan(std::span<const qint16> s) {
    Span span;
    for (qsizetype i = 0; i < qsizetype(s.size()); ++i) {
        if (std::abs(s[i]) >= audible) {
            if (span.first < 0)
                span.first = i;
            span.last = i;
        }
    }
    return span;
}

// Where in the recording the file lines up best, between two offsets.
qsizetype bestOffset(std::span<const qint16> recording, std::span<const qint16> file,
                     qsizetype from, qsizetype to) {
    qsizetype best = -1;
    double bestScore = 0;
    for (qsizetype offset = std::max<qsizetype>(from, 0); offset <= to; ++offset) {
        double score = 0;
        for (size_t i = 0; i < file.size() && offset + i < recording.size(); ++i)
            score += double(recording[offset + i]) * file[i];
        if (best < 0 || score > bestScore) {
            best = offset;
            bestScore = score;
        }
    }
    return best;
}

// The amplitude of one frequency in a Hann-windowed stretch of samples.
double amplitude(std::span<const qint16> s, double hz) {
    std::complex<double> sum;
    const double n = double(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n);
        sum += hann * s[i] * std::polar(1.0, -2 * std::numbers::pi * hz * i / rate);
    }
    return 4 * std::abs(sum) / n;
}

// Amplitudes of a frequency in 20 ms windows, one every 10 ms.
std::vector<double> track(std::span<const qint16> s, double hz) {
    std::vector<double> out;
    for (size_t at = 0; at + rate / 50 <= s.size(); at += rate / 100)
        out.push_back(amplitude(s.subspan(at, rate / 50), hz));
    return out;
}

} // namespace

std::span<const qint16> TstSoundServer::samples(qsizetype from) const {
    const auto all = reinterpret_cast<const qint16*>(m_recording.constData());
    return {all + from, size_t(recorded() - from)};
}

void TstSoundServer::waitForRecording(qsizetype frames) {
    QTRY_VERIFY_WITH_TIMEOUT(recorded() >= frames, 30000);
}

void TstSoundServer::initTestCase() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("needs the sound server of the test command (tools/dev.sh test): PULSE_SERVER is not "
              "set");
    if (QStandardPaths::findExecutable("parec").isEmpty())
        QSKIP("needs parec (Debian package pulseaudio-utils) to record the sound server");
    QVERIFY(m_dir.isValid());

    connect(&m_parec, &QProcess::readyReadStandardOutput, this,
            [this] { m_recording += m_parec.readAllStandardOutput(); });
    m_parec.start("parec", {"-d", "nullsink.monitor", "--format=s16le", "--rate=44100",
                            "--channels=1", "--latency-msec=10"});
    QVERIFY(m_parec.waitForStarted());
    // A fresh null sink delivers nothing for a couple of seconds: play only once it flows.
    waitForRecording(rate / 2);
    m_player.emplace(QStringLiteral(CORVALTO_AUDIO_MODULE));
}

void TstSoundServer::shotIsHeardWhole() {
    const QString path = QStringLiteral(CORVALTO_SOUNDS_DIR "/sparo.wav");
    const auto wav = sound::WavFile::load(path);
    QVERIFY(wav);
    const auto file = samplesOf(*wav);
    const Span expected = audibleSpan(file);

    const qsizetype start = recorded();
    m_player->play(path);
    QTRY_COMPARE(m_player->report().last, AudioPlayer::Outcome::Started);
    QTRY_VERIFY_WITH_TIMEOUT(audibleSpan(samples(start)).first >= 0, 10000);
    // Record well past the end: a sound cut short and one that goes on too long both show.
    waitForRecording(start + audibleSpan(samples(start)).first + 2 * file.size() + rate / 2);

    // The monitor can miss the first milliseconds of a new stream (the server starts it by
    // rewriting what the sink had already rendered), so the file is lined up with the body of
    // the sound rather than with its onset.
    const auto heardSamples = samples(start);
    const Span heard = audibleSpan(heardSamples);
    const qsizetype guess = heard.first - expected.first;
    const qsizetype offset = bestOffset(heardSamples, file, guess - rate / 20, guess);
    QVERIFY2(heard.last - offset >= expected.last - rate / 100, "the end was cut off");
    QVERIFY2(heard.last - offset <= expected.last + rate / 100, "it goes on past the end");
    QVERIFY2(heard.first - offset <= expected.first + rate / 50, "the beginning is missing");
    double difference = 0;
    double energy = 0;
    for (qsizetype i = expected.first + rate / 50; i < qsizetype(file.size()); ++i) {
        const double d = heardSamples[offset + i] - file[i];
        difference += d * d;
        energy += double(file[i]) * file[i];
    }
    QVERIFY2(difference < 0.01 * energy, "the sound came out altered");
}

void TstSoundServer::newSoundCutsOffOld_data() {
    QTest::addColumn<bool>("readable");
    QTest::newRow("by a sound") << true;
    QTest::newRow("even by a file that cannot be read") << false;
}

void TstSoundServer::newSoundCutsOffOld() {
    QFETCH(bool, readable);
    QVERIFY(wavbytes::writeFile(m_dir.filePath("low.wav"), wavbytes::tone(440, 1.5)));
    QVERIFY(wavbytes::writeFile(m_dir.filePath("high.wav"), wavbytes::tone(1000, 0.3)));
    const double present = 0.1 * 16384; // the tones' amplitude is 0.5 of full scale
    const double absent = 0.01 * 16384;
    const auto countPresent = [&](const std::vector<double>& amplitudes) {
        return std::ranges::count_if(amplitudes, [&](double a) { return a > present; });
    };

    const qsizetype start = recorded();
    m_player->play(m_dir.filePath("low.wav"));
    QTRY_VERIFY_WITH_TIMEOUT(countPresent(track(samples(start), 440)) >= 10, 10000);
    const qsizetype asked = recorded() - start;
    m_player->play(m_dir.filePath(readable ? "high.wav" : "missing.wav"));
    // The low tone, left alone, would go on for more than another second.
    waitForRecording(recorded() + rate * 8 / 5);

    const std::vector<double> low = track(samples(start), 440);
    const std::vector<double> high = track(samples(start), 1000);
    // The old sound stops where the new one begins or, with nothing to play, soon after.
    const auto cut =
        readable ? std::ranges::find_if(high, [&](double a) { return a > present; }) - high.begin()
                 : (asked + rate * 3 / 10) / (rate / 100);
    QVERIFY2(cut < qsizetype(high.size()), "the second sound was not heard");
    QVERIFY(countPresent(std::vector(low.begin(), low.begin() + cut)) >= 10);
    // Allow the two windows that straddle the change; after that, only the new sound.
    for (size_t w = cut + 2; w < low.size(); ++w)
        QVERIFY2(low[w] < absent,
                 qPrintable(QString("the first sound goes on %1 ms too long").arg((w - cut) * 10)));
    QVERIFY2(countPresent(high) >= (readable ? 26 : 0), "the second sound was not heard whole");
}

// With a server to talk to, playing and quitting are as quiet as without one.
void TstSoundServer::quietWithServer() {
    QProcess probe;
    probe.start(SOUNDPROBE, {QStringLiteral(CORVALTO_SOUNDS_DIR "/laser.wav")});
    QVERIFY(probe.waitForFinished(120000));
    QCOMPARE(probe.readAllStandardError(), QByteArray());
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("Started"));
}

// Far faster than any child clicks: Qt Multimedia's sink crashed the program when sinks were
// stopped and made again every millisecond or two. The probe asks for a sound every
// millisecond, a thousand times, in a process of its own.
void TstSoundServer::survivesASoundEveryMillisecond() {
    QProcess probe;
    probe.start(SOUNDPROBE, {QStringLiteral("--every-ms=1000"),
                             QStringLiteral(CORVALTO_SOUNDS_DIR "/sparo.wav"),
                             QStringLiteral(CORVALTO_SOUNDS_DIR "/esplosi.wav"),
                             QStringLiteral(CORVALTO_SOUNDS_DIR "/laser.wav")});
    QVERIFY(probe.waitForFinished(120000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(probe.readAllStandardOutput().trimmed(), QByteArray("Started"));
}

void TstSoundServer::cleanupTestCase() {
    m_player.reset();
    m_parec.kill();
    m_parec.waitForFinished();
}

QTEST_GUILESS_MAIN(TstSoundServer)
#include "tst_soundserver.moc"
