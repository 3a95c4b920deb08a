#pragma once

#include <QString>

// Writes the data map of the capture a recording shows seconds after its start (the last one
// taken by then) as JSON into outPath, converted for the default view as the live capture was.
// Returns an empty text, or a French one saying what went wrong (nothing is written then).
QString exportCaptureJson(const QString &recordingPath, double seconds, const QString &outPath);
