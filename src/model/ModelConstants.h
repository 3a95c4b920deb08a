#pragma once

#include <QtGlobal>

// Numbers with a meaning that several layers share: the library's signal kinds that the data map
// names, how long a live map stays fresh, and the two states a blinking signal alternates between.

namespace SignalKind {
constexpr quint32 balise = 3;
constexpr quint32 marker = 6;
} // namespace SignalKind

namespace SignalState {
// A blinking signal shows these two states in turn; the blink verification run waits for both.
constexpr int blinkOn = 9;
constexpr int blinkOff = 10;
constexpr bool isBlinkState(int state)
{
    return state == blinkOn || state == blinkOff;
}
} // namespace SignalState

namespace LiveData {
// Without a new live map for this long, the shown data count as stale.
constexpr int staleIntervalMs = 1500;
} // namespace LiveData
