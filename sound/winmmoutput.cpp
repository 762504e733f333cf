// The audio output module on Windows: winmm's PlaySound, from a wave image in memory. Given a
// file name, PlaySound goes through mmio, which takes names of at most 128 characters and
// reads a '+' in one as the choice of an I/O procedure: a game unpacked into a long folder, or
// one with a '+' in its name, would play nothing. The player has read the file already, once,
// through Qt's wide-character file API, long paths included.

#include "audiooutput.h"
#include "wavfile.h"

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <chrono>

#include <windows.h>

#include <mmsystem.h>

namespace sound {
namespace {

using Clock = std::chrono::steady_clock;

// The decoded sound as a plain PCM wave file, which PlaySound parses as it would one on disk.
QByteArray waveImage(const WavFile& wav) {
    const QByteArray& samples = wav.samples();
    const int blockAlign = wav.channelCount() * wav.bitsPerSample() / 8;
    const quint32 pad = samples.size() % 2; // RIFF chunks take an even number of bytes
    QByteArray image;
    image.reserve(44 + samples.size() + pad);
    const auto put = [&image](auto value) {
        char bytes[sizeof value];
        qToLittleEndian(value, bytes);
        image.append(bytes, sizeof value);
    };
    image.append("RIFF", 4);
    put(quint32(36 + samples.size() + pad));
    image.append("WAVEfmt ", 8);
    put(quint32(16));
    put(quint16(WAVE_FORMAT_PCM));
    put(quint16(wav.channelCount()));
    put(quint32(wav.sampleRate()));
    put(quint32(wav.sampleRate() * blockAlign));
    put(quint16(blockAlign));
    put(quint16(wav.bitsPerSample()));
    image.append("data", 4);
    put(quint32(samples.size()));
    image.append(samples);
    if (pad)
        image.append('\0');
    return image;
}

class WinmmOutput final : public AudioOutput {
public:
    ~WinmmOutput() override { stop(); }

    // winmm opens the device at the first sound; there is nothing to make ready ahead.
    void connectToServer() override {}

    bool start(const QString&, const WavFile& wav) override {
        // winmm reads the image for as long as the sound plays: the sound playing stops before
        // its image goes.
        stop();
        m_image = waveImage(wav);
        // Asynchronous, and never the system's default sound in place of one it cannot play.
        if (!PlaySoundW(reinterpret_cast<LPCWSTR>(m_image.constData()), nullptr,
                        SND_MEMORY | SND_ASYNC | SND_NODEFAULT)) {
            m_image.clear();
            return false;
        }
        m_until = Clock::now() + std::chrono::microseconds(wav.durationMicroseconds());
        return true;
    }

    void stop() override {
        // Stopping returns once winmm is done with the image, whether or not it still played.
        if (!m_image.isEmpty())
            PlaySoundW(nullptr, nullptr, 0);
        m_image.clear();
        m_until = {};
    }

    // PlaySound tells nothing of its progress: the sound lasts as long as the file says.
    bool isActive() const override { return Clock::now() < m_until; }

private:
    QByteArray m_image;
    Clock::time_point m_until;
};

} // namespace
} // namespace sound

extern "C" __declspec(dllexport) sound::AudioOutput* corvalto_create_audio_output() {
    return new sound::WinmmOutput;
}
