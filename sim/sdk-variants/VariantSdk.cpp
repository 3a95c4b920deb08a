// A deliberately small observation library whose version answer and set of exports are chosen at
// build time. The loader's tests copy one variant next to the program to see each way a library
// can be unfit. Every call it does export answers "not connected".

#include "SdkApi.h"

#ifndef VARIANT_ABI
#define VARIANT_ABI 1
#endif
#ifndef VARIANT_MAJOR
#define VARIANT_MAJOR 0
#endif
#ifndef VARIANT_MINOR
#define VARIANT_MINOR 6
#endif
#ifndef VARIANT_PATCH
#define VARIANT_PATCH 3
#endif
#ifndef VARIANT_VERSION_STATUS
#define VARIANT_VERSION_STATUS 0
#endif

namespace {
constexpr SdkStatus NotConnected = 2;
}

extern "C" {

ZORVY_SDK_EXPORT SdkStatus ZorvySdk_GetVersion(SdkVersion *version)
{
    if (!version)
        return 1;
    version->abi = VARIANT_ABI;
    version->major = VARIANT_MAJOR;
    version->minor = VARIANT_MINOR;
    version->patch = VARIANT_PATCH;
    return VARIANT_VERSION_STATUS;
}

#ifndef OMIT_OpenProcess
SdkStatus ZorvySdk_OpenProcess(uint32_t, uint32_t, SdkSession *)
{
    return NotConnected;
}
#endif
#ifndef OMIT_CloseSession
void ZorvySdk_CloseSession(SdkSession) {}
#endif
#ifndef OMIT_CaptureSnapshot
SdkStatus ZorvySdk_CaptureSnapshot(SdkSession, SdkSnapshot *)
{
    return NotConnected;
}
#endif
#ifndef OMIT_ReleaseSnapshot
void ZorvySdk_ReleaseSnapshot(SdkSnapshot) {}
#endif

#define VARIANT_COPY(Name, Record)                                                                 \
    SdkStatus ZorvySdk_##Name(SdkSnapshot, Record *, uint32_t, uint32_t *)                         \
    {                                                                                              \
        return NotConnected;                                                                       \
    }

#ifndef OMIT_CopyTrains
VARIANT_COPY(CopyTrains, SdkTrain)
#endif
#ifndef OMIT_CopyTracks
VARIANT_COPY(CopyTracks, SdkTrack)
#endif
#ifndef OMIT_CopyStations
VARIANT_COPY(CopyStations, SdkStation)
#endif
#ifndef OMIT_CopySignals
VARIANT_COPY(CopySignals, SdkSignal)
#endif
#ifndef OMIT_CopySignalStates
VARIANT_COPY(CopySignalStates, SdkSignalState)
#endif
#ifndef OMIT_CopySignalTextures
VARIANT_COPY(CopySignalTextures, SdkSignalTexture)
#endif
#ifndef OMIT_CopyTrackNodes
VARIANT_COPY(CopyTrackNodes, SdkTrackNode)
#endif
#ifndef OMIT_CopyTrainPathTracks
SdkStatus ZorvySdk_CopyTrainPathTracks(SdkSnapshot, uint64_t, uint64_t *, uint32_t, uint32_t *)
{
    return NotConnected;
}
#endif
#ifndef OMIT_CopyTrackReservations
VARIANT_COPY(CopyTrackReservations, SdkTrackUsage)
#endif
#ifndef OMIT_CopyTrackOccupations
VARIANT_COPY(CopyTrackOccupations, SdkTrackUsage)
#endif
#ifndef OMIT_StatusString
const char *ZorvySdk_StatusString(SdkStatus status)
{
    return status == 0 ? "OK" : "Non connecté";
}
#endif

} // extern "C"
