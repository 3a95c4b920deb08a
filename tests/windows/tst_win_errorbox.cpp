// The start-up error box on Windows: the caption "Zorvy TCO — SDK incompatible", the loader's text,
// the error icon and a single OK button; it blocks until dismissed and then returns OK.
//
// A watcher thread finds the box by its dialog class and caption, reads what it shows and presses
// OK, as a user would. This needs a display: the Wine session gives one (Xvfb). Without a display
// Wine's MessageBoxW returns -1 at once, which Windows never does (it always has a desktop), so
// the test checks the Windows behaviour only.

#include "Platform.h"
#include "WinTest.h"

#include <atomic>
#include <thread>

namespace {

// Written here independently of the platform layer's own constant.
const std::wstring expectedCaption = L"Zorvy TCO \u2014 SDK incompatible";

std::wstring windowText(HWND window)
{
    wchar_t buffer[1024] = L"";
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

BOOL CALLBACK countButton(HWND child, LPARAM count)
{
    wchar_t className[64] = L"";
    GetClassNameW(child, className, 64);
    if (lstrcmpiW(className, L"Button") == 0 && IsWindowVisible(child))
        ++*reinterpret_cast<int *>(count);
    return TRUE;
}

// Finds the box (standard dialog class "#32770"), checks what it shows and presses OK. It runs
// while the main thread waits in the box, so their checks never meet.
void checkAndDismiss(const std::wstring &text, std::atomic<bool> *stop)
{
    HWND box = nullptr;
    WinTest::waitFor(
        [&] {
            box = FindWindowW(L"#32770", expectedCaption.c_str());
            return box != nullptr || *stop;
        },
        60000);
    CHECK(box != nullptr);
    if (!box)
        return;
    CHECK_EQ(windowText(box), expectedCaption);
    // The message box's text control has the id 0xFFFF and its icon control 0x0440 (1088).
    CHECK_EQ(windowText(GetDlgItem(box, 0xFFFF)), text);
    int visibleButtons = 0;
    EnumChildWindows(box, countButton, LPARAM(&visibleButtons));
    CHECK_EQ(visibleButtons, 1);
    HWND ok = GetDlgItem(box, IDOK);
    CHECK(ok && IsWindowVisible(ok));
    const HICON icon = HICON(SendMessageW(GetDlgItem(box, 0x0440), STM_GETICON, 0, 0));
    CHECK(icon && icon == LoadIconW(nullptr, IDI_ERROR));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(ok));
}

} // namespace

int main()
{
    // The loader's three kinds of text, with the characters outside ASCII they carry.
    const std::wstring texts[] = {
        L"SDK absent ou impossible \u00e0 charger : Cannot load library "
        L"C:/Zorvy TCO/ZorvyRailsSDK.dll: Le module sp\u00e9cifi\u00e9 est introuvable.",
        L"SDK incompatible : ce TCO n\u00e9cessite ZorvyRailsSDK 0.6.x (ABI 1). R\u00e9installez "
        L"le paquet depuis KVD Hub.",
        L"SDK incomplet : ZorvySdk_StatusString",
    };
    for (const std::wstring &text : texts) {
        WinTest::currentCase() = WinTest::utf8(text.substr(0, 16));
        std::atomic<bool> stop{false};
        std::thread watcher(checkAndDismiss, text, &stop);
        const int answer = Platform::showStartupErrorBox(text);
        stop = true; // a box that returned without showing itself must not keep the watcher
        watcher.join();
        CHECK_EQ(answer, IDOK);
        // Dismissed means gone.
        CHECK(FindWindowW(L"#32770", expectedCaption.c_str()) == nullptr);
    }
    return WinTest::finish();
}
