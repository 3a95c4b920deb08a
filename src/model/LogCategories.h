#pragma once

#include <QLoggingCategory>

// The program's message log, one category per area, so that a user can silence or enable each
// with QT_LOGGING_RULES (for example "zorvy.capture.info=false"):
//   zorvy.sdk      the check of the observation library at start-up
//   zorvy.capture  the reader thread and the conversion of snapshots
//   zorvy.attention  the alerts: trains held, stalled or locked, as they start and end
//   zorvy.backend  the object the user interface binds to
//   zorvy.map      the network map
//   zorvy.update   the updater
//   zorvy.verify   the command-line verification runs
namespace LogCategory {
Q_DECLARE_LOGGING_CATEGORY(sdk)
Q_DECLARE_LOGGING_CATEGORY(capture)
Q_DECLARE_LOGGING_CATEGORY(attention)
Q_DECLARE_LOGGING_CATEGORY(backend)
Q_DECLARE_LOGGING_CATEGORY(map)
Q_DECLARE_LOGGING_CATEGORY(update)
Q_DECLARE_LOGGING_CATEGORY(verify)
} // namespace LogCategory

// Qt's default message format writes a category's name before its messages ("zorvy.sdk: …").
// Our log lines are read by scripts as they are, so this installs a message handler that hands
// the messages of the "zorvy." categories on without their category name and passes every other
// message on untouched, to the handler installed before it. When QT_MESSAGE_PATTERN chooses the
// format, nothing is installed: whoever writes "%{category}" there wants to see it. Call it once,
// before any other thread logs.
void installPlainLogText();
