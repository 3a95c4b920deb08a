#include "SdkFunctions.h"

const SdkFunctions &SdkFunctions::library()
{
    static const SdkFunctions functions{&ZorvySdk_CaptureSnapshot,
                                        &ZorvySdk_ReleaseSnapshot,
                                        &ZorvySdk_CopyTrains,
                                        &ZorvySdk_CopyTracks,
                                        &ZorvySdk_CopyStations,
                                        &ZorvySdk_CopySignals,
                                        &ZorvySdk_CopySignalStates,
                                        &ZorvySdk_CopySignalTextures,
                                        &ZorvySdk_CopyTrackNodes,
                                        &ZorvySdk_CopyTrainPathTracks,
                                        &ZorvySdk_CopyTrackReservations,
                                        &ZorvySdk_CopyTrackOccupations,
                                        &ZorvySdk_StatusString};
    return functions;
}
