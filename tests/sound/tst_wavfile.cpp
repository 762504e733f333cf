#include "wavbytes.h"
#include "wavfile.h"

#include <QBuffer>
#include <QTest>

#include <algorithm>

using namespace wavbytes;
using sound::WavFile;

class TstWavFile : public QObject {
    Q_OBJECT

private slots:
    void readsWholeFiles_data();
    void readsWholeFiles();
    void refusesDamagedFiles_data();
    void refusesDamagedFiles();
    void generatedSounds_data();
    void generatedSounds();
};

namespace {

std::optional<WavFile> readBytes(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return WavFile::read(buffer);
}

QByteArray withRiffSize(QByteArray file, quint32 size) {
    file.replace(4, 4, le32(size));
    return file;
}

const QByteArray stereo16 = samples16({1, -1, 300, -300});

// The extensible format chunk of 16-bit stereo at 44.1 kHz; its sub-format GUID starts with
// the plain format's tag (1 for PCM, 3 for float).
QByteArray extensibleFmt(quint16 subFormat) {
    const QByteArray guidTail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    return chunk("fmt ", le16(0xFFFE) + le16(2) + le32(44100) + le32(44100 * 4) + le16(4) +
                             le16(16) + le16(22) + le16(16) + le32(3) + le16(subFormat) + guidTail);
}

} // namespace

void TstWavFile::readsWholeFiles_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("bits");
    QTest::addColumn<QByteArray>("samples");

    const QByteArray u8("\x80\xff\x00", 3);
    QTest::newRow("8-bit mono, 11025 Hz")
        << riff(fmt(1, 11025, 8) + chunk("data", u8)) << 11025 << 1 << 8 << u8;
    QTest::newRow("16-bit stereo, 48 kHz")
        << riff(fmt(2, 48000, 16) + chunk("data", stereo16)) << 48000 << 2 << 16 << stereo16;
    // An odd-sized chunk of any kind is followed by a pad byte, which is no chunk's start.
    QTest::newRow("unknown chunks, odd-sized fmt")
        << riff(chunk("LIST", "abc") + chunk("fmt ", fmt(2, 8000, 16).mid(8) + '\0') +
                chunk("fact", le32(2)) + chunk("data", stereo16))
        << 8000 << 2 << 16 << stereo16;
    QTest::newRow("odd-sized data before fmt")
        << riff(chunk("data", u8) + fmt(1, 22050, 8)) << 22050 << 1 << 8 << u8;
    QTest::newRow("stray byte after the last frame is dropped")
        << riff(fmt(1, 44100, 16) + chunk("data", samples16({5, 6}) + '\x07')) << 44100 << 1 << 16
        << samples16({5, 6});
    QTest::newRow("wrong RIFF size is ignored")
        << withRiffSize(riff(fmt(1, 44100, 8) + chunk("data", u8)), 0) << 44100 << 1 << 8 << u8;
    QTest::newRow("pad byte missing at the end of the file")
        << riff(fmt(1, 44100, 8) + chunk("data", u8)).chopped(1) << 44100 << 1 << 8 << u8;

    QTest::newRow("extensible format, PCM")
        << riff(extensibleFmt(1) + chunk("data", stereo16)) << 44100 << 2 << 16 << stereo16;
}

void TstWavFile::readsWholeFiles() {
    QFETCH(QByteArray, file);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, bits);
    QFETCH(QByteArray, samples);

    const auto wav = readBytes(file);
    QVERIFY(wav);
    QCOMPARE(wav->sampleRate(), rate);
    QCOMPARE(wav->channelCount(), channels);
    QCOMPARE(wav->bitsPerSample(), bits);
    QCOMPARE(wav->samples(), samples);
    QCOMPARE(wav->frameCount(), samples.size() / (channels * bits / 8));
}

void TstWavFile::refusesDamagedFiles_data() {
    QTest::addColumn<QByteArray>("file");

    const QByteArray data = chunk("data", stereo16);
    const QByteArray good = riff(fmt(2, 44100, 16) + data);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("this is not a sound at all\n");
    QTest::newRow("RIFF but not WAVE") << QByteArray("RIFF\x04\0\0\0AVI ", 12);
    QTest::newRow("header cut short") << good.left(10);
    QTest::newRow("cut inside data") << good.chopped(3);
    QTest::newRow("no fmt") << riff(data);
    QTest::newRow("no data") << riff(fmt(2, 44100, 16));
    QTest::newRow("empty data") << riff(fmt(2, 44100, 16) + chunk("data", {}));
    QTest::newRow("fmt too short") << riff(chunk("fmt ", fmt(2, 44100, 16).mid(8, 12)) + data);
    QTest::newRow("compressed (ADPCM)") << riff(fmt(2, 44100, 16, 2) + data);
    QTest::newRow("24-bit") << riff(fmt(1, 44100, 24) + chunk("data", QByteArray(6, '\1')));
    QTest::newRow("three channels") << riff(fmt(3, 44100, 16) + chunk("data", QByteArray(6, 1)));
    QTest::newRow("zero sample rate") << riff(fmt(2, 0, 16) + data);

    QByteArray badAlign = good;
    badAlign.replace(32, 2, le16(3));
    QTest::newRow("block align disagrees") << badAlign;

    QTest::newRow("extensible, float") << riff(extensibleFmt(3) + data);

    QTest::newRow("oversized data")
        << riff(fmt(2, 44100, 16)) + "data" + le32(quint32(WavFile::maxDataBytes + 4)) + stereo16;
    QTest::newRow("huge unknown chunk") << riff("junk" + le32(0xFFFFFFF0) + good.mid(12));
}

void TstWavFile::refusesDamagedFiles() {
    QFETCH(QByteArray, file);
    QVERIFY(!readBytes(file));
}

void TstWavFile::generatedSounds_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("milliseconds");

    QTest::newRow("shot") << "sparo.wav" << 250;
    QTest::newRow("explosion") << "esplosi.wav" << 800;
    QTest::newRow("laser") << "laser.wav" << 400;
}

// The build makes the game's files: short 16-bit mono, loud enough, never clipping, and
// starting and ending at rest so that neither end clicks.
void TstWavFile::generatedSounds() {
    QFETCH(QString, name);
    QFETCH(int, milliseconds);

    const auto wav = WavFile::load(QStringLiteral(CORVALTO_SOUNDS_DIR "/") + name);
    QVERIFY(wav);
    QCOMPARE(wav->sampleRate(), 44100);
    QCOMPARE(wav->channelCount(), 1);
    QCOMPARE(wav->bitsPerSample(), 16);
    QCOMPARE(wav->durationMicroseconds() / 1000, milliseconds);

    const auto* s = reinterpret_cast<const qint16*>(wav->samples().constData());
    const qint64 n = wav->frameCount();
    const auto [low, high] = std::minmax_element(s, s + n);
    const int peak = std::max(-int(*low), int(*high));
    QVERIFY2(peak > 8000 && peak < 32000, qPrintable(QString::number(peak)));
    QVERIFY(std::abs(s[0]) < 100);
    QVERIFY(std::abs(s[n - 1]) < 100);
}

QTEST_GUILESS_MAIN(TstWavFile)
#include "tst_wavfile.moc"
