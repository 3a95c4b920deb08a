#include "RecordingFormat.h"

#include <zstd.h>

#include <cstring>
#include <memory>

namespace RecordingFormat {

namespace {

// The 8 x 8 bytes of 8 rows of 8 bytes (row r at from + r * fromStride) transposed: byte c of row
// r goes to byte r of row c (at to + c * toStride). Blocks of 4, 2 and 1 bytes swap in turn.
void transposeBlock(const char *from, qsizetype fromStride, char *to, qsizetype toStride)
{
    quint64 x[8];
    for (int r = 0; r < 8; ++r)
        std::memcpy(&x[r], from + r * fromStride, 8);
    // Rows 4 apart swap blocks of 4 bytes, then rows 2 apart blocks of 2, then neighbours bytes.
    constexpr quint64 low[] = {0x00000000FFFFFFFFull, 0x0000FFFF0000FFFFull, 0x00FF00FF00FF00FFull};
    for (int round = 0, step = 4; round < 3; ++round, step /= 2) {
        const int shift = 8 * step;
        for (int r = 0; r < 8; ++r) {
            if ((r & step) != 0)
                continue;
            const quint64 a = x[r], b = x[r + step];
            x[r] = (a & low[round]) | ((b & low[round]) << shift);
            x[r + step] = ((a >> shift) & low[round]) | (b & ~low[round]);
        }
    }
    for (int c = 0; c < 8; ++c)
        std::memcpy(to + c * toStride, &x[c], 8);
}

// Transposes a matrix of rows x cols bytes (a row every sourcePitch bytes) into one of cols x rows
// (a row every targetPitch bytes), eight by eight bytes where it can.
void transposeBytes(const char *source, qsizetype rows, qsizetype cols, qsizetype sourcePitch,
                    char *target, qsizetype targetPitch)
{
    qsizetype i = 0;
    for (; i + 8 <= rows; i += 8) {
        qsizetype k = 0;
        for (; k + 8 <= cols; k += 8)
            transposeBlock(source + i * sourcePitch + k, sourcePitch, target + k * targetPitch + i,
                           targetPitch);
        for (; k < cols; ++k)
            for (qsizetype r = i; r < i + 8; ++r)
                target[k * targetPitch + r] = source[r * sourcePitch + k];
    }
    for (; i < rows; ++i)
        for (qsizetype k = 0; k < cols; ++k)
            target[k * targetPitch + i] = source[i * sourcePitch + k];
}

} // namespace

void transpose(const char *records, qsizetype count, qsizetype stride, char *planes,
               qsizetype planeSize)
{
    transposeBytes(records, count, stride, stride, planes, planeSize < 0 ? count : planeSize);
}

void untranspose(const char *planes, qsizetype count, qsizetype stride, char *records)
{
    transposeBytes(planes, stride, count, count, records, stride);
}

QByteArray compress(const char *data, qsizetype size, const char *prefix, qsizetype prefixSize,
                    int level)
{
    QByteArray frame(qsizetype(ZSTD_compressBound(std::size_t(size))), Qt::Uninitialized);
    thread_local std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(),
                                                                              &ZSTD_freeCCtx);
    if (!context)
        throw Error(QStringLiteral("Compression impossible : mémoire insuffisante"));
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_checksumFlag, 1);
    // For this frame only.
    if (prefix && prefixSize > 0)
        ZSTD_CCtx_refPrefix(context.get(), prefix, std::size_t(prefixSize));
    const std::size_t written = ZSTD_compress2(context.get(), frame.data(),
                                               std::size_t(frame.size()), data, std::size_t(size));
    if (ZSTD_isError(written))
        throw Error(QStringLiteral("Compression impossible : %1")
                        .arg(QString::fromUtf8(ZSTD_getErrorName(written))));
    frame.resize(qsizetype(written));
    return frame;
}

void decompress(const QByteArray &frame, char *target, qsizetype size, const char *prefix,
                qsizetype prefixSize)
{
    const unsigned long long stated =
        ZSTD_getFrameContentSize(frame.constData(), std::size_t(frame.size()));
    if (stated == ZSTD_CONTENTSIZE_ERROR || stated == ZSTD_CONTENTSIZE_UNKNOWN)
        throw Error(QStringLiteral("bloc compressé illisible"));
    if (stated != static_cast<unsigned long long>(size))
        throw Error(QStringLiteral("bloc compressé de %1 octets au lieu des %2 annoncés")
                        .arg(stated)
                        .arg(size));
    thread_local std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(),
                                                                              &ZSTD_freeDCtx);
    if (!context)
        throw Error(QStringLiteral("Décompression impossible : mémoire insuffisante"));
    ZSTD_DCtx_reset(context.get(), ZSTD_reset_session_and_parameters);
    if (prefix && prefixSize > 0)
        ZSTD_DCtx_refPrefix(context.get(), prefix, std::size_t(prefixSize));
    const std::size_t written = ZSTD_decompressDCtx(context.get(), target, std::size_t(size),
                                                    frame.constData(), std::size_t(frame.size()));
    if (ZSTD_isError(written))
        throw Error(QStringLiteral("bloc compressé endommagé (%1)")
                        .arg(QString::fromUtf8(ZSTD_getErrorName(written))));
    if (written != std::size_t(size))
        throw Error(QStringLiteral("bloc compressé de %1 octets au lieu des %2 annoncés")
                        .arg(written)
                        .arg(size));
}

} // namespace RecordingFormat
