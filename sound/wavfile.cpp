#include "wavfile.h"

#include <QFile>
#include <QIODevice>
#include <QtEndian>

#include <cstring>

namespace sound {

namespace {

constexpr quint16 formatPcm = 1;
constexpr quint16 formatExtensible = 0xFFFE;
// The tail shared by the GUIDs of the extensible format's sub-formats; PCM's starts with 1.
constexpr char subFormatTail[14] = {0x00, 0x00, 0x00,       0x00, 0x10, 0x00,       char(0x80),
                                    0x00, 0x00, char(0xAA), 0x00, 0x38, char(0x9B), 0x71};
// Above every rate a sound server takes; a larger number is a damaged header.
constexpr quint32 maxSampleRate = 384000;
// A "fmt " chunk is 16, 18 or 40 bytes; allow some slack but refuse absurd sizes.
constexpr quint32 maxFormatBytes = 1024;

struct Format {
    int sampleRate = 0;
    int channelCount = 0;
    int bitsPerSample = 0;
};

quint16 u16(const char* p) {
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char* p) {
    return qFromLittleEndian<quint32>(p);
}

// Exactly size bytes, or nothing if the device ends first.
std::optional<QByteArray> readExactly(QIODevice& device, qint64 size) {
    QByteArray bytes = device.read(size);
    if (bytes.size() != size)
        return std::nullopt;
    return bytes;
}

// Odd-sized chunks are followed by one pad byte; a file that ends without it is still whole.
void skipPadByte(QIODevice& device, quint32 chunkSize) {
    if (chunkSize & 1)
        device.skip(1);
}

std::optional<Format> parseFormat(const QByteArray& chunk) {
    if (chunk.size() < 16)
        return std::nullopt;
    const char* p = chunk.constData();
    const quint16 tag = u16(p);
    Format format{int(u32(p + 4)), u16(p + 2), u16(p + 14)};
    const quint16 blockAlign = u16(p + 12);
    if (tag == formatExtensible) {
        if (chunk.size() < 40 || u16(p + 24) != formatPcm ||
            std::memcmp(p + 26, subFormatTail, sizeof subFormatTail) != 0)
            return std::nullopt;
        const quint16 validBits = u16(p + 18);
        if (validBits != 0 && validBits != format.bitsPerSample)
            return std::nullopt;
    } else if (tag != formatPcm) {
        return std::nullopt;
    }
    if (format.channelCount < 1 || format.channelCount > 2)
        return std::nullopt;
    if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
        return std::nullopt;
    if (format.sampleRate < 1 || quint32(format.sampleRate) > maxSampleRate)
        return std::nullopt;
    if (blockAlign != format.channelCount * format.bitsPerSample / 8)
        return std::nullopt;
    return format;
}

} // namespace

WavFile::WavFile(int sampleRate, int channelCount, int bitsPerSample, QByteArray samples)
    : m_sampleRate(sampleRate)
    , m_channelCount(channelCount)
    , m_bitsPerSample(bitsPerSample)
    , m_samples(std::move(samples)) {}

std::optional<WavFile> WavFile::read(QIODevice& device) {
    const auto header = readExactly(device, 12);
    if (!header || !header->startsWith("RIFF") || header->mid(8, 4) != "WAVE")
        return std::nullopt;

    // The RIFF size is often wrong in files from the wild; the chunk sizes are what count.
    std::optional<Format> format;
    std::optional<QByteArray> data;
    while (!format || !data) {
        const auto chunkHeader = readExactly(device, 8);
        if (!chunkHeader)
            return std::nullopt;
        const QByteArray id = chunkHeader->left(4);
        const quint32 size = u32(chunkHeader->constData() + 4);
        const qint64 padded = qint64(size) + (size & 1);

        if (id == "fmt " && !format) {
            if (size > maxFormatBytes)
                return std::nullopt;
            const auto chunk = readExactly(device, size);
            format = chunk ? parseFormat(*chunk) : std::nullopt;
            if (!format)
                return std::nullopt;
            skipPadByte(device, size);
        } else if (id == "data" && !data) {
            if (size > maxDataBytes)
                return std::nullopt;
            data = readExactly(device, size);
            if (!data)
                return std::nullopt;
            skipPadByte(device, size);
        } else if (device.skip(padded) != padded) {
            return std::nullopt;
        }
    }

    // A stray byte after the last whole frame is dropped; a file without any frame is refused.
    const int frameBytes = format->channelCount * format->bitsPerSample / 8;
    data->truncate(data->size() - data->size() % frameBytes);
    if (data->isEmpty())
        return std::nullopt;
    if (format->bitsPerSample == 16 && QSysInfo::ByteOrder == QSysInfo::BigEndian) {
        auto* samples = reinterpret_cast<qint16*>(data->data());
        qFromLittleEndian<qint16>(samples, data->size() / 2, samples);
    }
    return WavFile(format->sampleRate, format->channelCount, format->bitsPerSample,
                   std::move(*data));
}

std::optional<WavFile> WavFile::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return read(file);
}

qint64 WavFile::frameCount() const {
    return m_samples.size() / (m_channelCount * m_bitsPerSample / 8);
}

qint64 WavFile::durationMicroseconds() const {
    return frameCount() * 1000000 / m_sampleRate;
}

} // namespace sound
