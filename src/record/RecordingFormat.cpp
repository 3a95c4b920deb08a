#include "RecordingFormat.h"

#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZORVY_TRANSPOSE_SSE2 1
#endif

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

#ifdef ZORVY_TRANSPOSE_SSE2
// The 16 x 16 bytes of 16 rows of 16 bytes (row r at from + r * fromStride) transposed: byte c of
// row r goes to byte r of row c (at to + c * toStride). Interleaving bytes, then pairs, quads and
// halves of rows puts every column together in four rounds.
void transposeBlock16(const char *from, qsizetype fromStride, char *to, qsizetype toStride)
{
    __m128i a[16], b[16];
    for (int r = 0; r < 16; ++r)
        a[r] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + r * fromStride));
    // b[2i], b[2i + 1]: columns 0-7 and 8-15 of rows 2i and 2i + 1, two bytes a column.
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
    // a[4j + q]: columns 4q to 4q + 3 of rows 4j to 4j + 3, four bytes a column.
    for (int j = 0; j < 4; ++j) {
        a[4 * j] = _mm_unpacklo_epi16(b[4 * j], b[4 * j + 2]);
        a[4 * j + 1] = _mm_unpackhi_epi16(b[4 * j], b[4 * j + 2]);
        a[4 * j + 2] = _mm_unpacklo_epi16(b[4 * j + 1], b[4 * j + 3]);
        a[4 * j + 3] = _mm_unpackhi_epi16(b[4 * j + 1], b[4 * j + 3]);
    }
    // b[8h + m]: columns 2m and 2m + 1 of rows 8h to 8h + 7, eight bytes a column.
    for (int h = 0; h < 2; ++h) {
        for (int q = 0; q < 4; ++q) {
            b[8 * h + 2 * q] = _mm_unpacklo_epi32(a[8 * h + q], a[8 * h + 4 + q]);
            b[8 * h + 2 * q + 1] = _mm_unpackhi_epi32(a[8 * h + q], a[8 * h + 4 + q]);
        }
    }
    for (int m = 0; m < 8; ++m) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 2 * m * toStride),
                         _mm_unpacklo_epi64(b[m], b[8 + m]));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + (2 * m + 1) * toStride),
                         _mm_unpackhi_epi64(b[m], b[8 + m]));
    }
}
#endif

// Transposes a matrix of rows x cols bytes (a row every sourcePitch bytes) into one of cols x rows
// (a row every targetPitch bytes), sixteen or eight by eight bytes where it can.
void transposeBytes(const char *source, qsizetype rows, qsizetype cols, qsizetype sourcePitch,
                    char *target, qsizetype targetPitch)
{
    qsizetype i = 0;
#ifdef ZORVY_TRANSPOSE_SSE2
    for (; i + 16 <= rows; i += 16) {
        qsizetype k = 0;
        for (; k + 16 <= cols; k += 16)
            transposeBlock16(source + i * sourcePitch + k, sourcePitch,
                             target + k * targetPitch + i, targetPitch);
        for (; k < cols; ++k)
            for (qsizetype r = i; r < i + 16; ++r)
                target[k * targetPitch + r] = source[r * sourcePitch + k];
    }
#endif
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
    for (qsizetype first = 0; first < count; first += 16)
        untranspose(planes, count, stride, first, std::min<qsizetype>(16, count - first),
                    records + first * stride);
}

void untranspose(const char *planes, qsizetype count, qsizetype stride, qsizetype first,
                 qsizetype n, char *records)
{
#ifdef ZORVY_TRANSPOSE_SSE2
    // Sixteen records written whole: the planes' lines they read (one a plane) stay in the cache
    // for the next sixteen, where the records' lines would not. The last sixteen planes overlap
    // the ones before when the stride is no multiple of sixteen (their bytes written twice).
    if (n == 16 && stride >= 16) {
        for (qsizetype i = 0;; i += 16) {
            const qsizetype at = std::min(i, stride - 16);
            transposeBlock16(planes + at * count + first, count, records + at, stride);
            if (at == stride - 16)
                return;
        }
    }
#endif
    transposeBytes(planes + first, stride, n, count, records, stride);
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

namespace {

// The thread's decompression context, reset, after the frame's stated size is checked.
ZSTD_DCtx *contextFor(const QByteArray &frame, qsizetype size)
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
    return context.get();
}

} // namespace

void decompress(const QByteArray &frame, char *target, qsizetype size, const char *prefix,
                qsizetype prefixSize)
{
    ZSTD_DCtx *context = contextFor(frame, size);
    if (prefix && prefixSize > 0)
        ZSTD_DCtx_refPrefix(context, prefix, std::size_t(prefixSize));
    const std::size_t written = ZSTD_decompressDCtx(context, target, std::size_t(size),
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
