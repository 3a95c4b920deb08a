// Loads the observation library the way the program's loader does — by its name, version query
// first, then the fifteen entry points in their order — opens a session on a process and takes one
// snapshot through the copy protocol (count, fill, recount). Prints the counts and ids of every
// list, one line each, so that the outputs of two builds of the stand-in library can be compared.
// Plain C++, no Qt: LoadLibraryW on Windows, dlopen on Linux.
//
//   ZorvySdkProbe [--dir DIR] PROCESS_ID
//
// Without --dir the library is loaded by its bare name (Windows searches the probe's folder
// first; on Linux the probe's folder is used). Exit codes: 0 the snapshot was read; 3 the library
// failed the loader's check (the loader's text is printed); 4 a library call failed (its status
// and text are printed); 2 bad usage.

#include "SdkApi.h"
#include "SdkEntryPoints.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

using VoidFn = void (*)();

class Library
{
public:
    // Empty text on success, else the system's reason.
    std::string load(const std::string &dir)
    {
#ifdef _WIN32
        std::wstring path;
        for (const char c : dir)
            path += wchar_t(c == '/' ? '\\' : c);
        if (!path.empty())
            path += L"\\";
        path += L"ZorvyRailsSDK.dll";
        m_handle = LoadLibraryW(path.c_str());
        if (m_handle)
            return std::string();
        const DWORD error = GetLastError();
        char message[512] = "";
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, message, sizeof message, nullptr);
        std::string text = message;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        return "Cannot load library ZorvyRailsSDK.dll: " + text + " (error " +
               std::to_string(error) + ")";
#else
        std::string folder = dir;
        if (folder.empty()) {
            char self[4096];
            const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
            folder = length > 0 ? std::string(self, size_t(length)) : std::string(".");
            folder = folder.substr(0, folder.rfind('/'));
        }
        const std::string path = folder + "/ZorvyRailsSDK.dll";
        // As the program loads it: the library's calls of its own exports bind inside it (the
        // sanitizers' runtimes refuse deep binding, so their builds do without).
        int flags = RTLD_NOW | RTLD_LOCAL;
#if defined(RTLD_DEEPBIND) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        flags |= RTLD_DEEPBIND;
#endif
        m_handle = ::dlopen(path.c_str(), flags);
        return m_handle ? std::string() : "Cannot load library " + path + ": " + ::dlerror();
#endif
    }

    VoidFn resolve(const char *name) const
    {
#ifdef _WIN32
        return reinterpret_cast<VoidFn>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
#else
        return reinterpret_cast<VoidFn>(::dlsym(m_handle, name));
#endif
    }

private:
#ifdef _WIN32
    HMODULE m_handle = nullptr;
#else
    void *m_handle = nullptr;
#endif
};

VoidFn entryPoints[SdkEntryPoints::count] = {};

template <typename Fn> Fn entry(SdkEntryPoint which)
{
    return reinterpret_cast<Fn>(entryPoints[int(which)]);
}

template <typename Fn, typename... Args> auto call(SdkEntryPoint which, Args... args)
{
    const Fn function = entry<Fn>(which);
    if (!function)
        return SdkEntryPoints::unresolvedResult<decltype(function(args...))>();
    return function(args...);
}

// The loader's check; the loader's texts.
bool loadSdk(const std::string &dir, Library *library, std::string *error)
{
    const std::string reason = library->load(dir);
    if (!reason.empty()) {
        *error = "SDK absent ou impossible \xC3\xA0 charger : " + reason;
        return false;
    }
    const auto getVersion =
        reinterpret_cast<SdkGetVersionFn>(library->resolve(SdkEntryPoints::versionQuery));
    SdkVersion version{};
    version.recordSize = sizeof(SdkVersion);
    if (!getVersion || getVersion(&version) != 0 || version.abi != 1 || version.major != 0 ||
        version.minor != 6) {
        *error =
            "SDK incompatible : ce TCO n\xC3\xA9"
            "cessite ZorvyRailsSDK 0.6.x (ABI 1). R\xC3\xA9installez le paquet depuis KVD Hub.";
        return false;
    }
    for (int i = 0; i < SdkEntryPoints::count; ++i) {
        entryPoints[i] = library->resolve(SdkEntryPoints::names[i]);
        if (!entryPoints[i]) {
            *error = std::string("SDK incomplet : ") + SdkEntryPoints::names[i];
            return false;
        }
    }
    return true;
}

struct CallFailed
{
    std::string call;
    SdkStatus status;
};

void check(const char *call, SdkStatus status)
{
    if (status != 0)
        throw CallFailed{call, status};
}

std::string idText(uint64_t id)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIX64, id);
    return text;
}

// Count, fill, recount: the recount must equal the count of an immutable snapshot.
template <typename Record>
std::vector<Record> copyAll(const char *name,
                            SdkStatus (*copy)(SdkSnapshot, Record *, uint32_t, uint32_t *),
                            SdkSnapshot snapshot)
{
    uint32_t count = 0;
    check(name, copy(snapshot, nullptr, 0, &count));
    std::vector<Record> records(count);
    uint32_t recount = 0;
    if (count > 0)
        check(name, copy(snapshot, records.data(), count, &recount));
    if (count > 0 && recount != count)
        throw CallFailed{std::string(name) + " recount " + std::to_string(recount) + " of " +
                             std::to_string(count),
                         0};
    return records;
}

template <typename Record, typename IdFn>
void printList(const char *label, const std::vector<Record> &records, IdFn id)
{
    std::printf("%s %zu", label, records.size());
    for (const Record &record : records)
        std::printf(" %s", idText(id(record)).c_str());
    std::printf("\n");
}

// Reservations and occupations: a first probe with a null buffer, where 8 means "not available".
void printUsage(const char *label, const char *name,
                SdkStatus (*copy)(SdkSnapshot, SdkTrackUsage *, uint32_t, uint32_t *),
                SdkSnapshot snapshot)
{
    uint32_t probe = 0;
    const SdkStatus status = copy(snapshot, nullptr, 0, &probe);
    if (status == SdkStatusNotAvailable) {
        std::printf("%s unavailable\n", label);
        return;
    }
    check(name, status);
    const auto records = copyAll(name, copy, snapshot);
    std::printf("%s %zu", label, records.size());
    for (const SdkTrackUsage &usage : records)
        std::printf(" %s/%s", idText(usage.trainId).c_str(), idText(usage.trackId).c_str());
    std::printf("\n");
}

void printSnapshot(SdkSnapshot snapshot)
{
    const auto trains = copyAll("ZorvySdk_CopyTrains", &ZorvySdk_CopyTrains, snapshot);
    printList("trains", trains, [](const SdkTrain &r) { return r.id; });
    printList("tracks", copyAll("ZorvySdk_CopyTracks", &ZorvySdk_CopyTracks, snapshot),
              [](const SdkTrack &r) { return r.id; });
    printList("stations", copyAll("ZorvySdk_CopyStations", &ZorvySdk_CopyStations, snapshot),
              [](const SdkStation &r) { return r.id; });
    printList("signals", copyAll("ZorvySdk_CopySignals", &ZorvySdk_CopySignals, snapshot),
              [](const SdkSignal &r) { return r.id; });
    printList("signalStates",
              copyAll("ZorvySdk_CopySignalStates", &ZorvySdk_CopySignalStates, snapshot),
              [](const SdkSignalState &r) { return r.signalId; });
    printList("signalTextures",
              copyAll("ZorvySdk_CopySignalTextures", &ZorvySdk_CopySignalTextures, snapshot),
              [](const SdkSignalTexture &r) { return r.signalId; });
    printList("trackNodes", copyAll("ZorvySdk_CopyTrackNodes", &ZorvySdk_CopyTrackNodes, snapshot),
              [](const SdkTrackNode &r) { return r.id; });
    for (const SdkTrain &train : trains) {
        // Any failure of the first call means that the train has no path.
        uint32_t count = 0;
        if (ZorvySdk_CopyTrainPathTracks(snapshot, train.id, nullptr, 0, &count) != 0) {
            std::printf("path %s none\n", idText(train.id).c_str());
            continue;
        }
        std::vector<uint64_t> tracks(count);
        uint32_t recount = 0;
        if (count > 0)
            check("ZorvySdk_CopyTrainPathTracks",
                  ZorvySdk_CopyTrainPathTracks(snapshot, train.id, tracks.data(), count, &recount));
        std::printf("path %s %u", idText(train.id).c_str(), unsigned(count));
        for (const uint64_t track : tracks)
            std::printf(" %s", idText(track).c_str());
        std::printf("\n");
    }
    printUsage("reservations", "ZorvySdk_CopyTrackReservations", &ZorvySdk_CopyTrackReservations,
               snapshot);
    printUsage("occupations", "ZorvySdk_CopyTrackOccupations", &ZorvySdk_CopyTrackOccupations,
               snapshot);
}

} // namespace

// The library's names, forwarding to the resolved entry points as the program's own do.
#include "SdkForwarding.inc"

int main(int argc, char **argv)
{
    std::string dir;
    const char *pidText = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
            dir = argv[++i];
        else
            pidText = argv[i];
    }
    if (!pidText) {
        std::fprintf(stderr, "usage: %s [--dir DIR] PROCESS_ID\n", argv[0]);
        return 2;
    }
    const uint32_t processId = uint32_t(std::strtoul(pidText, nullptr, 10));

    Library library;
    std::string error;
    if (!loadSdk(dir, &library, &error)) {
        std::printf("%s\n", error.c_str());
        return 3;
    }
    std::printf("library checked\n");

    SdkSession session = 0;
    SdkSnapshot snapshot = 0;
    int result = 0;
    try {
        check("ZorvySdk_OpenProcess", ZorvySdk_OpenProcess(1, processId, &session));
        check("ZorvySdk_CaptureSnapshot", ZorvySdk_CaptureSnapshot(session, &snapshot));
        printSnapshot(snapshot);
    } catch (const CallFailed &failure) {
        std::printf("%s failed: status %u: %s\n", failure.call.c_str(), unsigned(failure.status),
                    ZorvySdk_StatusString(failure.status));
        result = 4;
    }
    if (snapshot)
        ZorvySdk_ReleaseSnapshot(snapshot);
    if (session)
        ZorvySdk_CloseSession(session);
    std::fflush(stdout);
    return result;
}
