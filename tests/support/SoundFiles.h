#pragma once

// Sound files made by the tests themselves: a short PCM WAV tone and a file that only looks like
// one from its first bytes.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

namespace testing_support {

// A mono 16-bit 8 kHz WAV file with a square tone of the given length.
inline bool WriteWav(const QString& path, int milliseconds)
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
    put16(1); // PCM
    put16(1); // mono
    put32(rate);
    put32(rate * 2);
    put16(2);
    put16(16);
    data.append("data");
    put32(samples * 2);
    for (quint32 i = 0; i < samples; ++i)
        put16(quint16((i % 40) < 20 ? 3000 : -3000));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A RIFF/WAVE header followed by bytes that no decoder takes: it passes a look at its content
// and fails only when played.
inline bool WriteBrokenWav(const QString& path)
{
    QByteArray data("RIFF\x24\x00\x00\x00WAVEfmt \x10\x00\x00\x00", 20);
    data.append("garbagegarbagegadata");
    for (int i = 0; i < 3000; ++i)
        data.append(char((i * 7919) % 251));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

} // namespace testing_support
