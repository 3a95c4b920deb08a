#pragma once

// Files that a hostile game could name as signal images: a PNG whose header claims an enormous
// picture, an icon that hides one, a JPEG of countless empty scans, and a FIFO that nobody ever
// writes to.

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
inline QByteArray bombPng(quint32 width, quint32 height)
{
    QByteArray header = bigEndian(width) + bigEndian(height);
    header += QByteArray::fromHex("0802000000"); // 8 bits, RGB, deflate, no filter, no interlace
    // The first row only; a decoder that trusts the header still allocates the whole picture.
    const QByteArray row(1 + 3 * qMin<quint32>(width, 1u << 20), '\0');
    const QByteArray zlib = qCompress(row).mid(4); // qCompress puts the length first
    return QByteArray::fromHex("89504e470d0a1a0a") + chunk("IHDR", header) + chunk("IDAT", zlib) +
           chunk("IEND", QByteArray());
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool writeBombPng(const QString &path, quint32 width, quint32 height)
{
    return writeFile(path, bombPng(width, height));
}

// An icon file whose directory announces one 256×256 image, stored as the PNG given.
inline bool writeIco(const QString &path, const QByteArray &png)
{
    QByteArray ico = QByteArray::fromHex("000001000100"); // reserved, type icon, one image
    ico += QByteArray::fromHex("0000000001002000");       // 256×256, 1 plane, 32 bits
    const quint32 size = quint32(png.size());
    for (int shift = 0; shift < 32; shift += 8)
        ico += char((size >> shift) & 0xff);
    ico += QByteArray::fromHex("16000000") + png; // the image right after the directory
    return writeFile(path, ico);
}

// A progressive grey JPEG of side × side pixels made of `scans` scans that carry no picture: a DC
// scan of all-zero differences, then AC scans that are end-of-band runs only. Each scan is a
// few dozen bytes, yet a decoder passes over every block of the picture for each.
inline bool writeScanBombJpeg(const QString &path, quint16 side, int scans)
{
    const auto segment = [](quint8 marker, const QByteArray &body) {
        const int length = body.size() + 2;
        return QByteArray(1, char(0xff)) + char(marker) + char(length >> 8) + char(length & 0xff) +
               body;
    };
    // One Huffman code of one bit ("0") for the given symbol.
    const auto oneCode = [](quint8 tableClass, quint8 symbol) {
        return QByteArray(1, char(tableClass << 4)) + char(1) + QByteArray(15, '\0') + char(symbol);
    };
    const QByteArray dimensions = QByteArray(1, char(side >> 8)) + char(side & 0xff);
    QByteArray jpeg = QByteArray::fromHex("ffd8");
    jpeg += segment(0xdb, QByteArray(1, '\0') + QByteArray(64, '\1'));
    jpeg += segment(0xc2, QByteArray(1, 8) + dimensions + dimensions +
                              QByteArray::fromHex("01011100")); // one component, 1×1, table 0
    jpeg += segment(0xc4, oneCode(0, 0x00));                    // DC: difference 0
    jpeg += segment(0xc4, oneCode(1, 0xe0));                    // AC: run of 2^14 blocks
    const qint64 blocks = qint64((side + 7) / 8) * ((side + 7) / 8);
    const auto data = [](qint64 bits) {
        QByteArray bytes((bits + 7) / 8, '\0');
        if (bits % 8)
            bytes.back() = char(0xff >> (bits % 8)); // padding bits are ones
        return bytes;
    };
    jpeg += segment(0xda, QByteArray::fromHex("010100000000")) + data(blocks);
    const QByteArray emptyScan =
        segment(0xda, QByteArray::fromHex("010100013f00")) + data((blocks + 16383) / 16384 * 15);
    for (int scan = 1; scan < scans; ++scan)
        jpeg += emptyScan;
    return writeFile(path, jpeg + QByteArray::fromHex("ffd9"));
}

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

} // namespace HostileFiles
