#pragma once

#include <QString>

// Reports a failed library check: the critical log line always, and on Windows a message box
// unless the check was asked for on the command line.
void reportSdkFailure(const QString &reason, bool showBox);
