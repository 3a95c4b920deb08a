#pragma once

#include <QString>

// Loads "ZorvyRailsSDK.dll" from the application's directory, checks its version and resolves
// every entry point. On failure returns false and writes the reason to *error; on success leaves
// *error as it was. Runs once, on the main thread, before any other thread exists.
bool loadSdk(QString *error);

// The name of the library export whose call is under way ("ZorvySdk_CaptureSnapshot"), or null
// when none is; any thread may ask.
const char *sdkCallInProgress();
