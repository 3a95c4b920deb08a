#pragma once

// Files that a hostile game could name as signal images: a PNG whose header claims an enormous
// picture, and a FIFO that nobody ever writes to.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>

namespace HostileFiles {

inline quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline QByteArray bigEndian(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

inline QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    return bigEndian(quint32(data.size())) + body + bigEndian(crc32(body));
}

// A valid PNG of width × height RGB pixels, all zero, of a few hundred bytes whatever its size:
// decoding it whole would take width × height × 4 bytes.
inline bool writeBombPng(const QString &path, quint32 width, quint32 height)
{
    QByteArray header = bigEndian(width) + bigEndian(height);
    header += QByteArray::fromHex("0802000000"); // 8 bits, RGB, deflate, no filter, no interlace
    // The first row only; a decoder that trusts the header still allocates the whole picture.
    const QByteArray row(1 + 3 * qMin<quint32>(width, 1u << 20), '\0');
    const QByteArray zlib = qCompress(row).mid(4); // qCompress puts the length first
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(QByteArray::fromHex("89504e470d0a1a0a") + chunk("IHDR", header) +
                      chunk("IDAT", zlib) + chunk("IEND", QByteArray())) > 0;
}

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

} // namespace HostileFiles
