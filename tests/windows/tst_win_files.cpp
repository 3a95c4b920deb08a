// Reading files on Windows: only regular files are read (a device, a folder or a pipe is refused
// at once, never waited on), a file past the limit is refused, and a file held with
// Sharing::DenyWrites can be read and started by others but not written, replaced or deleted. A
// program in a folder past MAX_PATH finds that folder whole.

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
    wchar_t report[1024];
    const DWORD reportLength = GetEnvironmentVariableW(L"ZORVY_FOLDER_REPORT", report, 1024);
    if (reportLength > 0 && reportLength < 1024) // a copy started by the case of deep folders
        return writeFile(report, WinTest::utf8(Platform::programFolder().path)) ? 0 : 1;

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
        std::wstring middle; // the first level past 150 characters
        for (int level = 0; plain.size() < 300; ++level) {
            if (middle.empty() && plain.size() > 150)
                middle = deep.substr(4);
            const std::wstring name =
                L"signal textures of a long mod name " + std::to_wstring(level);
            deep += name + L"\\";
            plain += name + L"/";
            CHECK(CreateDirectoryW(deep.c_str(), nullptr));
        }
        CHECK(writeFile(deep + L"deep.png", "deep"));
        CHECK(Platform::readRegularFile(plain + L"deep.png", 64, bytes) == FileRead::Read);
        CHECK_EQ(bytes, std::string("deep"));

        // A copy of this program started in a folder of some 150 characters finds it whole,
        // though the first buffers of the search do not hold its path. (A program past MAX_PATH
        // cannot be started under Wine: ERROR_INVALID_NAME.)
        WinTest::currentCase() = "program folder past the first buffers";
        const std::wstring copy = middle + L"tst_win_files.exe";
        CHECK(CopyFileW((WinTest::programFolder() + L"tst_win_files.exe").c_str(), copy.c_str(),
                        FALSE));
        const std::wstring found = folder + L"program folder.txt";
        SetEnvironmentVariableW(L"ZORVY_FOLDER_REPORT", found.c_str());
        PROCESS_INFORMATION child{};
        CHECK(WinTest::startProgram(copy, L"tst_win_files.exe", child));
        SetEnvironmentVariableW(L"ZORVY_FOLDER_REPORT", nullptr);
        DWORD exitCode = 1;
        CHECK(child.hProcess && WaitForSingleObject(child.hProcess, 60000) == WAIT_OBJECT_0 &&
              GetExitCodeProcess(child.hProcess, &exitCode) && exitCode == 0);
        if (child.hProcess)
            CloseHandle(child.hProcess);
        CHECK_EQ(WinTest::readFile(found), WinTest::utf8(middle.substr(0, middle.size() - 1)));
        DeleteFileW(found.c_str());
        DeleteFileW(copy.c_str());
    }
    WinTest::currentCase() = "device";
    CHECK(Platform::readRegularFile(L"NUL", 64, bytes) == FileRead::NotRegular);
    WinTest::currentCase() = "pipe nobody writes to";
    const std::wstring pipeName =
        L"\\\\.\\pipe\\zorvy-texture-" + std::to_wstring(GetCurrentProcessId());
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
