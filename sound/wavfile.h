#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QIODevice;

namespace sound {

// One decoded wave file: uncompressed PCM, 8 or 16 bits, mono or stereo, at any sample rate,
// with its samples ready for an audio sink in the host's byte order.
class WavFile {
public:
    // Sound effects are short; anything larger than this is refused rather than held in memory.
    static constexpr qint64 maxDataBytes = 16 * 1024 * 1024;

    // Reads a RIFF/WAVE stream from the device's current position. Chunks other than "fmt "
    // and "data" are skipped. Returns nothing for a damaged, truncated, compressed, oversized
    // or empty file, and for anything that is not a wave file at all.
    static std::optional<WavFile> read(QIODevice& device);
    // read() on the file at path; nothing if it cannot be opened.
    static std::optional<WavFile> load(const QString& path);

    int sampleRate() const { return m_sampleRate; }
    int channelCount() const { return m_channelCount; }
    int bitsPerSample() const { return m_bitsPerSample; }
    qint64 frameCount() const;
    qint64 durationMicroseconds() const;
    // The sample frames, interleaved; 8-bit samples are unsigned, 16-bit ones signed.
    const QByteArray& samples() const { return m_samples; }

private:
    WavFile(int sampleRate, int channelCount, int bitsPerSample, QByteArray samples);

    int m_sampleRate;
    int m_channelCount;
    int m_bitsPerSample;
    QByteArray m_samples;
};

} // namespace sound
