#pragma once

#include "SdkApi.h"
#include "ViewParameters.h"

#include <QVariantMap>

// Captures one snapshot of the session's game and converts it into a data map for the given view.
// Throws std::runtime_error carrying the library's status text (UTF-8) when a library call fails;
// the snapshot is released on every path. Keeps nothing between captures but reusable memory of
// the calling thread.
QVariantMap convertSnapshot(SdkSession session, quint32 processId, const ViewParameters &view);
