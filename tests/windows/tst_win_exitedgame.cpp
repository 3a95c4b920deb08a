// The Windows stand-in library and a game that ends: a process that exits between the search and
// the opening, even while its file mapping is still held open, is no game to observe (the start
// time check through OpenProcess and GetProcessTimes); a session whose game has ended reports it
// lost. Each answer is a status with the library's text, never a crash.

#include "SdkApi.h"
#include "SharedWorldLayout.h"
#include "WinTest.h"

// An export of the library, resolved by name as the program's loader does.
#define RESOLVE(library, name)                                                                     \
    reinterpret_cast<decltype(&name)>(reinterpret_cast<void (*)()>(GetProcAddress(library, #name)))

int main()
{
    const HMODULE sdk = LoadLibraryW(L"ZorvyRailsSDK.dll");
    CHECK(sdk != nullptr);
    const auto open = RESOLVE(sdk, ZorvySdk_OpenProcess);
    const auto close = RESOLVE(sdk, ZorvySdk_CloseSession);
    const auto capture = RESOLVE(sdk, ZorvySdk_CaptureSnapshot);
    const auto release = RESOLVE(sdk, ZorvySdk_ReleaseSnapshot);
    const auto text = RESOLVE(sdk, ZorvySdk_StatusString);
    if (!open || !close || !capture || !release || !text) {
        CHECK(!"the library exports its functions");
        return WinTest::finish();
    }
    const std::wstring folder = WinTest::temporaryFolder(L"zorvy-exited");

    // Running: a session opens and captures.
    WinTest::currentCase() = "running game";
    WinTest::Publisher game(folder + L"ready-1");
    CHECK(game.ready());
    SdkSession session = 0;
    CHECK_EQ(open(1, game.id(), &session), 0u);
    CHECK(session != 0);
    SdkSnapshot snapshot = 0;
    CHECK_EQ(capture(session, &snapshot), 0u);
    release(snapshot);

    // The game ends while observed, its mapping kept alive by a handle of ours: the session is
    // lost, and a new one cannot be opened on the ended process.
    WinTest::currentCase() = "game ended, mapping held";
    const uint32_t ended = game.id();
    HANDLE held =
        OpenFileMappingW(FILE_MAP_READ, FALSE, SharedWorld::regionMappingName(ended).c_str());
    CHECK(held != nullptr);
    game.stop();
    snapshot = 0;
    const SdkStatus lost = capture(session, &snapshot);
    CHECK_EQ(lost, 6u);
    CHECK_EQ(std::string(text(lost)),
             std::string("Session perdue : le jeu s'est arr\xC3\xAAt\xC3\xA9"));
    CHECK_EQ(snapshot, SdkSnapshot(0));
    close(session);
    SdkSession again = 0;
    const SdkStatus reopened = open(1, ended, &again);
    CHECK_EQ(reopened, 2u);
    CHECK_EQ(std::string(text(reopened)), std::string("Jeu introuvable"));
    CHECK_EQ(again, SdkSession(0));
    if (held)
        CloseHandle(held);

    // Gone with its mapping, and a process id nobody has.
    WinTest::currentCase() = "game and mapping gone";
    CHECK_EQ(open(1, ended, &again), 2u);
    CHECK_EQ(open(1, 0xFFFFFFF0u, &again), 2u);
    // Not a game at all: this test has no mapping of its own.
    CHECK_EQ(open(1, GetCurrentProcessId(), &again), 2u);

    RemoveDirectoryW(folder.c_str());
    return WinTest::finish();
}
