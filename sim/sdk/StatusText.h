#pragma once

#include <cstdint>

// The statuses this library answers, with a stable French text for each.
enum SimStatus : uint32_t {
    StatusOk = 0,
    StatusInvalidArgument = 1,
    StatusGameNotFound = 2,
    StatusUnknownSession = 3,
    StatusUnknownSnapshot = 4,
    StatusCopyFailed = 5,
    StatusSessionLost = 6,
    StatusBufferTooSmall = 7,
    StatusNotAvailable = 8,
    StatusUnknownTrain = 9,
    StatusNoPath = 10,
    StatusGameBusy = 11,
    StatusUnreadableData = 12,
    StatusUnsupportedMode = 13,
    StatusOutOfMemory = 14,
};

// Text owned by the library for the life of the process; never null.
const char *statusText(uint32_t status);
