#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <numbers>
#include <vector>

// Builds wave files byte by byte, so that tests can make whole ones and damaged ones alike.
namespace wavbytes {

inline QByteArray le16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

inline QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

inline QByteArray chunk(const char* id, const QByteArray& body) {
    QByteArray c = QByteArray(id, 4) + le32(quint32(body.size())) + body;
    if (body.size() % 2)
        c += '\0';
    return c;
}

inline QByteArray riff(const QByteArray& chunks) {
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

inline QByteArray fmt(int channels, int rate, int bits, quint16 tag = 1) {
    const int align = channels * bits / 8;
    return chunk("fmt ", le16(tag) + le16(quint16(channels)) + le32(quint32(rate)) +
                             le32(quint32(rate * align)) + le16(quint16(align)) +
                             le16(quint16(bits)));
}

inline QByteArray samples16(const std::vector<qint16>& samples) {
    QByteArray b;
    for (qint16 s : samples)
        b += le16(quint16(s));
    return b;
}

// A mono 16-bit sine at 44.1 kHz with 5 ms fades, as a whole wave file.
inline QByteArray tone(double hz, double seconds, double amplitude = 0.5) {
    const int n = int(seconds * 44100);
    const int fade = 44100 / 200;
    std::vector<qint16> s(n);
    for (int i = 0; i < n; ++i) {
        const double edge = std::min({1.0, double(i) / fade, double(n - 1 - i) / fade});
        s[i] = qint16(std::lround(32767 * amplitude * edge *
                                  std::sin(2 * std::numbers::pi * hz * i / 44100)));
    }
    return riff(fmt(1, 44100, 16) + chunk("data", samples16(s)));
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace wavbytes
