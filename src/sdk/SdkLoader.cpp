#include "SdkLoader.h"

#include "Platform.h"
#include "SdkApi.h"
#include "SdkEntryPoints.h"

#include "Platform.h"

#include <QLibrary>

#include <atomic>

namespace {

// Process-wide: constructed during static initialisation, destroyed at exit. The prevent-unload
// hint keeps the library mapped even then, so late calls from other threads stay safe.
QLibrary sdkLibrary;

// Written only by loadSdk on the main thread before the reader thread exists; read afterwards
// from any thread without locking.
QFunctionPointer entryPoints[SdkEntryPoints::count] = {};

// The entry point whose call is under way, or -1: read at quit to say which call keeps the
// reader from stopping. Only the reader thread calls the library, so one slot is enough.
std::atomic<int> callInProgress{-1};

// Calls an entry point, typed as the export of the same name, and marks it as under way meanwhile.
// The floating-point environment the library leaves is not kept. An entry point not resolved yet
// is not called: the library itself may reach this before the loader is done with it.
template <typename Fn, typename... Args> auto call(SdkEntryPoint which, Args... args)
{
    const auto function = reinterpret_cast<Fn>(entryPoints[int(which)]);
    if (!function)
        return SdkEntryPoints::unresolvedResult<decltype(function(args...))>();
    struct Mark
    {
        explicit Mark(SdkEntryPoint which) { callInProgress.store(int(which)); }
        ~Mark() { callInProgress.store(-1); }
    } mark(which);
    const Platform::FloatingPointGuard floatingPoint;
    return function(args...);
}

// Deep binding on Linux: the library's calls of its own exports reach its own functions, not the
// program's forwarding functions of the same names. The sanitizers' runtimes refuse it, so their
// builds load the library plainly (the forwarding functions still refuse an unresolved call).
QLibrary::LoadHints loadHints()
{
    QLibrary::LoadHints hints = QLibrary::PreventUnloadHint;
#if defined(Q_OS_LINUX) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    hints |= QLibrary::DeepBindHint;
#endif
    return hints;
}

bool versionIsCompatible()
{
    const auto getVersion =
        reinterpret_cast<SdkGetVersionFn>(sdkLibrary.resolve(SdkEntryPoints::versionQuery));
    if (!getVersion)
        return false;
    SdkVersion version{};
    version.recordSize = sizeof(SdkVersion);
    const Platform::FloatingPointGuard floatingPoint;
    if (getVersion(&version) != 0)
        return false;
    return version.abi == 1 && version.major == 0 && version.minor == 6;
}

} // namespace

bool loadSdk(QString *error)
{
    // Never a folder by default: without the program's own, the library is looked for nowhere.
    const QString folder = QString::fromStdWString(Platform::programFolder().files);
    if (folder.isEmpty()) {
        *error = QStringLiteral("SDK absent ou impossible à charger : le dossier du programme est "
                                "introuvable");
        return false;
    }
    sdkLibrary.setFileName(folder + QStringLiteral("/ZorvyRailsSDK.dll"));
    sdkLibrary.setLoadHints(loadHints());
    bool loaded = false;
    {
        // The library's initialisation runs here.
        const Platform::FloatingPointGuard floatingPoint;
        loaded = sdkLibrary.load();
    }
    if (!loaded) {
        // The folder named by its path, not by the handle that reaches it.
        const QString path = QString::fromStdWString(Platform::programFolder().path);
        *error = QStringLiteral("SDK absent ou impossible à charger : ") +
                 sdkLibrary.errorString().replace(folder, path);
        return false;
    }
    if (!versionIsCompatible()) {
        *error = QStringLiteral("SDK incompatible : ce TCO nécessite ZorvyRailsSDK 0.6.x (ABI 1). "
                                "Réinstallez le paquet depuis KVD Hub.");
        return false;
    }

    for (int i = 0; i < SdkEntryPoints::count; ++i) {
        entryPoints[i] = sdkLibrary.resolve(SdkEntryPoints::names[i]);
        if (!entryPoints[i]) {
            *error = QStringLiteral("SDK incomplet : ") + QLatin1String(SdkEntryPoints::names[i]);
            return false;
        }
    }
    return true;
}

const char *sdkCallInProgress()
{
    const int which = callInProgress.load();
    return which < 0 ? nullptr : SdkEntryPoints::names[which];
}

// Forwarding functions, exported by the executable under the library's names. The program calls
// them only after loadSdk returned true, which start-up guarantees; before that, only the library
// itself can reach them, and they refuse.
#include "SdkForwarding.inc"
