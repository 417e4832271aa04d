#pragma once

// Sound files made by the tests themselves: a short PCM WAV tone and a file that only looks like
// one from its first bytes.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

namespace testing_support {

// The bytes of a mono 16-bit 8 kHz WAV file with a square tone of the given length, in the
// format given by its tag (1 is PCM).
inline QByteArray wavBytes(int milliseconds, quint16 formatTag = 1)
{
    const quint32 rate = 8000;
    const quint32 samples = rate * quint32(milliseconds) / 1000;
    QByteArray data;
    auto put32 = [&data](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        data.append(b, 4);
    };
    auto put16 = [&data](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        data.append(b, 2);
    };
    data.append("RIFF");
    put32(36 + samples * 2);
    data.append("WAVEfmt ");
    put32(16);
    put16(formatTag);
    put16(1); // mono
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    data.append("data");
    put32(samples * 2);
    for (quint32 i = 0; i < samples; ++i)
        put16(quint16((i % 40) < 20 ? 3000 : -3000));
    return data;
}

inline bool writeBytes(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A mono 16-bit 8 kHz WAV file with a square tone of the given length.
inline bool writeWav(const QString& path, int milliseconds)
{
    return writeBytes(path, wavBytes(milliseconds));
}

// A whole WAV file in a format no decoder knows: it passes every look at the file and fails only
// when played.
inline bool writeBrokenWav(const QString& path) { return writeBytes(path, wavBytes(200, 0x7777)); }

} // namespace testing_support
