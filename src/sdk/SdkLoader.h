#pragma once

#include <QString>

// Loads "ZorvyRailsSDK.dll" from the application's directory, checks its version and resolves
// every entry point. On failure returns false and writes the reason to *error; on success leaves
// *error as it was. Runs once, on the main thread, before any other thread exists.
bool loadSdk(QString *error);
