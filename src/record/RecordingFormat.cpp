#include "RecordingFormat.h"

#include <zstd.h>

#include <cstring>
#include <memory>

namespace RecordingFormat {

void transpose(const char *records, qsizetype count, qsizetype stride, char *planes)
{
    // Eight records at a time, so that each plane is written a word at a time.
    qsizetype i = 0;
    for (; i + 8 <= count; i += 8) {
        const auto *from = reinterpret_cast<const unsigned char *>(records + i * stride);
        for (qsizetype k = 0; k < stride; ++k) {
            quint64 word = 0;
            for (int r = 0; r < 8; ++r)
                word |= quint64(from[r * stride + k]) << (8 * r);
            std::memcpy(planes + k * count + i, &word, sizeof word);
        }
    }
    for (; i < count; ++i)
        for (qsizetype k = 0; k < stride; ++k)
            planes[k * count + i] = records[i * stride + k];
}

void untranspose(const char *planes, qsizetype count, qsizetype stride, char *records)
{
    qsizetype i = 0;
    for (; i + 8 <= count; i += 8) {
        auto *to = reinterpret_cast<unsigned char *>(records + i * stride);
        for (qsizetype k = 0; k < stride; ++k) {
            quint64 word = 0;
            std::memcpy(&word, planes + k * count + i, sizeof word);
            for (int r = 0; r < 8; ++r)
                to[r * stride + k] = static_cast<unsigned char>(word >> (8 * r));
        }
    }
    for (; i < count; ++i)
        for (qsizetype k = 0; k < stride; ++k)
            records[i * stride + k] = planes[k * count + i];
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
