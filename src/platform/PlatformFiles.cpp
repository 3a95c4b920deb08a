#include "Platform.h"

#include <algorithm>

namespace Platform {

FileRead readRegularFile(const std::wstring &path, std::size_t maxBytes, std::string &bytes)
{
    bytes.clear();
    ReadOnlyFile file;
    switch (file.open(path)) {
    case ReadOnlyFile::Status::Opened:
        break;
    case ReadOnlyFile::Status::Missing:
        return FileRead::Missing;
    case ReadOnlyFile::Status::NotRegular:
        return FileRead::NotRegular;
    case ReadOnlyFile::Status::Failed:
        return FileRead::Failed;
    }
    const long long claimed = file.size();
    if (claimed < 0)
        return FileRead::Failed;
    if (static_cast<unsigned long long>(claimed) > maxBytes)
        return FileRead::TooLarge;
    bytes.resize(static_cast<std::size_t>(claimed) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxBytes) {
                bytes.clear();
                return FileRead::TooLarge;
            }
            bytes.resize(std::min(maxBytes + 1, filled * 2 + 4096));
        }
        const long long count = file.read(&bytes[filled], bytes.size() - filled);
        if (count < 0) {
            bytes.clear();
            return FileRead::Failed;
        }
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);
    return FileRead::Read;
}

} // namespace Platform
