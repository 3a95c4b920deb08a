#include "Platform.h"

namespace Platform {

const wchar_t startupErrorCaption[] = L"Zorvy TCO \u2014 SDK incompatible";

void countProcess(ProcessList &list, std::vector<uint64_t> &starts, std::size_t keep,
                  uint64_t start, uint32_t id)
{
    ++list.count;
    // The place among those kept: after every earlier start, and after an equal one of lower id.
    std::size_t at = list.first.size();
    while (at > 0 &&
           (starts[at - 1] > start || (starts[at - 1] == start && list.first[at - 1] > id)))
        --at;
    if (at >= keep)
        return;
    list.first.insert(list.first.begin() + std::ptrdiff_t(at), id);
    starts.insert(starts.begin() + std::ptrdiff_t(at), start);
    if (list.first.size() > keep) {
        list.first.pop_back();
        starts.pop_back();
    }
}

namespace {

wchar_t asciiLower(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c;
}

// Code points of a wide text: UTF-16 with surrogate pairs where wchar_t has 16 bits (Windows),
// UTF-32 elsewhere.
template <typename Fn> void forEachCodePoint(const std::wstring &text, Fn fn)
{
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = uint32_t(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
            uint32_t(text[i + 1]) >= 0xDC00 && uint32_t(text[i + 1]) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00);
            ++i;
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        fn(c);
    }
}

void appendCodePoint(std::wstring &text, uint32_t c)
{
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        text += wchar_t(0xD800 + (c >> 10));
        text += wchar_t(0xDC00 + (c & 0x3FF));
    } else {
        text += wchar_t(c);
    }
}

} // namespace

bool equalsIgnoringAsciiCase(const std::wstring &a, const std::wstring &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

std::string toUtf8(const std::wstring &text)
{
    std::string bytes;
    forEachCodePoint(text, [&](uint32_t c) {
        if (c < 0x80) {
            bytes += char(c);
        } else if (c < 0x800) {
            bytes += char(0xC0 | (c >> 6));
            bytes += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes += char(0xE0 | (c >> 12));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        } else {
            bytes += char(0xF0 | (c >> 18));
            bytes += char(0x80 | ((c >> 12) & 0x3F));
            bytes += char(0x80 | ((c >> 6) & 0x3F));
            bytes += char(0x80 | (c & 0x3F));
        }
    });
    return bytes;
}

std::wstring fromUtf8(const std::string &bytes)
{
    std::wstring text;
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        int length = 0;
        uint32_t c = 0;
        if (lead < 0x80) {
            length = 1, c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, c = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, c = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, c = lead & 0x07;
        }
        bool valid = length > 0 && i + length <= bytes.size();
        for (int k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are no text.
        static const uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && (c < smallest[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF))
            valid = false;
        if (!valid) {
            text += wchar_t(0xFFFD);
            ++i;
            continue;
        }
        appendCodePoint(text, c);
        i += size_t(length);
    }
    return text;
}

std::wstring commandLine(const std::wstring &program, const std::vector<std::wstring> &arguments)
{
    std::wstring line;
    auto append = [&line](const std::wstring &argument) {
        if (!line.empty())
            line += L' ';
        if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            line += argument;
            return;
        }
        // Inside quotes, backslashes count only before a quote: double those, escape the quote.
        line += L'"';
        size_t backslashes = 0;
        for (const wchar_t c : argument) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            if (c == L'"')
                line.append(backslashes * 2 + 1, L'\\');
            else
                line.append(backslashes, L'\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, L'\\');
        line += L'"';
    };
    // The program name is read up to the next quote, without escapes: quote it whole.
    line += L'"';
    line += program;
    line += L'"';
    for (const std::wstring &argument : arguments)
        append(argument);
    return line;
}

} // namespace Platform
