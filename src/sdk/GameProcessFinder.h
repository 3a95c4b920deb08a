#pragma once

#include <QtGlobal>

// Looks for the game among the running processes: exactly one process whose executable is named
// "ZorvyRails.exe" (case ignored) gives its process id; none or several give 0, because the
// reader cannot guess which copy the user means.
quint32 findGameProcess();
