#include "SdkText.h"

#include <cstring>

QString sdkText(const char *data, std::size_t capacity)
{
    const void *nul = std::memchr(data, '\0', capacity);
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char *>(nul) - data) : capacity;
    return QString::fromUtf8(data, static_cast<qsizetype>(length));
}
