#include "RecordingFormat.h"

#include <zstd.h>

#include <memory>

namespace RecordingFormat {

namespace {
// Fast enough for the writer thread on the large world; level 3 costs the large world about 1 ms
// more a capture for no smaller file.
constexpr int compressionLevel = 1;
} // namespace

QByteArray compress(const char *data, qsizetype size, const char *prefix, qsizetype prefixSize)
{
    QByteArray frame(qsizetype(ZSTD_compressBound(std::size_t(size))), Qt::Uninitialized);
    thread_local std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> context(ZSTD_createCCtx(),
                                                                              &ZSTD_freeCCtx);
    if (!context)
        throw Error(QStringLiteral("Compression impossible : mémoire insuffisante"));
    ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, compressionLevel);
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
