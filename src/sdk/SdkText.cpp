#include "SdkText.h"

#include <algorithm>
#include <cstring>

namespace {

// The bidirectional embedding, override and isolate controls: a library text that holds one
// would turn the text around it, in the status line or a list, the other way.
bool isBidiControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

QString fromUtf8(const char *data, std::size_t length)
{
    QString text = QString::fromUtf8(data, static_cast<qsizetype>(length));
    text.removeIf(isBidiControl);
    return text;
}

// The text of length bytes, cut with "…" when cut is true, at the start of a UTF-8 sequence.
QString decode(const char *data, std::size_t length, bool cut)
{
    if (!cut)
        return fromUtf8(data, length);
    // Never end inside a multi-byte character: back off over its continuation bytes.
    while (length > 0 && (static_cast<unsigned char>(data[length]) & 0xC0) == 0x80)
        --length;
    return fromUtf8(data, length) + QChar(0x2026);
}

} // namespace

QString sdkText(const char *data, std::size_t capacity)
{
    const std::size_t bounded = std::min(capacity, maxSdkTextBytes);
    const void *nul = std::memchr(data, '\0', bounded);
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - data) : bounded;
    return decode(data, length, !nul && capacity > maxSdkTextBytes);
}

QString sdkStatusText(const char *nulTerminated)
{
    if (!nulTerminated)
        return QString();
    // strnlen stops at the NUL, so a short text is never read past its end; one byte more than
    // the bound tells a text of exactly the bound from a longer one.
    const std::size_t length = strnlen(nulTerminated, maxSdkTextBytes + 1);
    const bool cut = length > maxSdkTextBytes;
    return decode(nulTerminated, cut ? maxSdkTextBytes : length, cut);
}
