#pragma once

#include <QString>

#include <cstddef>

// Text of a fixed char array from the library: up to the first NUL, or the whole array when it
// has none, decoded as UTF-8 (invalid sequences become replacement characters).
QString sdkText(const char *data, std::size_t capacity);

template <std::size_t N> QString sdkText(const char (&array)[N])
{
    return sdkText(array, N);
}
