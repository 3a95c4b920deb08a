#pragma once

#include <QString>

#include <cstddef>

// No text from the library is read beyond this many bytes: a longer one is cut there and ends
// with "…", so that a library cannot make one text cost memory and time without limit.
constexpr std::size_t maxSdkTextBytes = 4096;

// Text of a fixed char array from the library: up to the first NUL, or the whole array when it
// has none, decoded as UTF-8 (invalid sequences become replacement characters), without
// bidirectional controls (U+202A–U+202E, U+2066–U+2069). At most maxSdkTextBytes are read.
QString sdkText(const char *data, std::size_t capacity);

template <std::size_t N> QString sdkText(const char (&array)[N])
{
    return sdkText(array, N);
}

// A NUL-terminated text owned by the library (a status text), read up to maxSdkTextBytes: a text
// that goes on is cut at a character boundary and ends with "…". Null gives an empty text.
// Decoded as sdkText decodes.
QString sdkStatusText(const char *nulTerminated);
