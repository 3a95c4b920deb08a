// Reading files on Windows: only regular files are read (a device, a folder or a pipe is refused
// at once, never waited on), a file past the limit is refused, and a file held with
// Sharing::DenyWrites can be read and started by others but not written, replaced or deleted.

#include "Platform.h"
#include "WinTest.h"

namespace {

bool writeFile(const std::wstring &path, const std::string &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

} // namespace

int main()
{
    const std::wstring folder = WinTest::temporaryFolder(L"zorvy files");
    CHECK(!folder.empty());
    const std::wstring texture = folder + L"signal \u00e9t\u00e9.png";
    CHECK(writeFile(texture, "PNG bytes"));

    using Platform::FileRead;
    std::string bytes;
    WinTest::currentCase() = "regular file";
    CHECK(Platform::readRegularFile(texture, 64, bytes) == FileRead::Read);
    CHECK_EQ(bytes, std::string("PNG bytes"));
    WinTest::currentCase() = "past the limit";
    CHECK(Platform::readRegularFile(texture, 8, bytes) == FileRead::TooLarge);
    CHECK(bytes.empty());
    WinTest::currentCase() = "missing";
    CHECK(Platform::readRegularFile(folder + L"none.png", 64, bytes) == FileRead::Missing);
    WinTest::currentCase() = "folder";
    CHECK(Platform::readRegularFile(folder, 64, bytes) == FileRead::NotRegular);
    WinTest::currentCase() = "path past MAX_PATH";
    {
        // Made through the extended form; read through the plain one, with forward slashes.
        std::wstring deep = L"\\\\?\\" + folder;
        std::wstring plain = folder;
        for (int level = 0; plain.size() < 300; ++level) {
            const std::wstring name = L"signal textures of a long mod name " +
                                      std::to_wstring(level);
            deep += name + L"\\";
            plain += name + L"/";
            CHECK(CreateDirectoryW(deep.c_str(), nullptr));
        }
        CHECK(writeFile(deep + L"deep.png", "deep"));
        CHECK(Platform::readRegularFile(plain + L"deep.png", 64, bytes) == FileRead::Read);
        CHECK_EQ(bytes, std::string("deep"));
    }
    WinTest::currentCase() = "device";
    CHECK(Platform::readRegularFile(L"NUL", 64, bytes) == FileRead::NotRegular);
    WinTest::currentCase() = "pipe nobody writes to";
    const std::wstring pipeName = L"\\\\.\\pipe\\zorvy-texture-" +
                                  std::to_wstring(GetCurrentProcessId());
    HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 0, 0,
                                   0, nullptr);
    CHECK(pipe != INVALID_HANDLE_VALUE);
    CHECK(Platform::readRegularFile(pipeName, 64, bytes) == FileRead::NotRegular);
    CloseHandle(pipe);

    WinTest::currentCase() = "held against writes";
    const std::wstring other = folder + L"other.exe";
    CHECK(writeFile(other, "other"));
    {
        Platform::ReadOnlyFile held;
        CHECK(held.open(texture, Platform::ReadOnlyFile::Sharing::DenyWrites) ==
              Platform::ReadOnlyFile::Status::Opened);
        HANDLE writer = CreateFileW(texture.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        CHECK(writer == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
        CHECK(!MoveFileExW(other.c_str(), texture.c_str(), MOVEFILE_REPLACE_EXISTING));
        CHECK(!DeleteFileW(texture.c_str()));
        // Readers are welcome.
        CHECK(Platform::readRegularFile(texture, 64, bytes) == FileRead::Read);
        char buffer[32];
        CHECK_EQ(held.read(buffer, sizeof buffer), 9LL);
        CHECK_EQ(held.size(), 9LL);
    }
    WinTest::currentCase() = "released";
    CHECK(MoveFileExW(other.c_str(), texture.c_str(), MOVEFILE_REPLACE_EXISTING));
    CHECK(Platform::readRegularFile(texture, 64, bytes) == FileRead::Read);
    CHECK_EQ(bytes, std::string("other"));

    WinTest::currentCase() = "held openly";
    {
        Platform::ReadOnlyFile held;
        CHECK(held.open(texture) == Platform::ReadOnlyFile::Status::Opened);
        CHECK(writeFile(texture, "rewritten"));
    }

    DeleteFileW(texture.c_str());
    RemoveDirectoryW(folder.c_str());
    return WinTest::finish();
}
