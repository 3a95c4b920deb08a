#include "LogCategories.h"

#include <atomic>
#include <cstring>

namespace LogCategory {
Q_LOGGING_CATEGORY(sdk, "zorvy.sdk")
Q_LOGGING_CATEGORY(capture, "zorvy.capture")
Q_LOGGING_CATEGORY(attention, "zorvy.attention")
Q_LOGGING_CATEGORY(backend, "zorvy.backend")
Q_LOGGING_CATEGORY(map, "zorvy.map")
Q_LOGGING_CATEGORY(update, "zorvy.update")
Q_LOGGING_CATEGORY(verify, "zorvy.verify")
} // namespace LogCategory

namespace {

const char ownPrefix[] = "zorvy.";

std::atomic<QtMessageHandler> nextHandler{nullptr};

void plainTextHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QtMessageHandler next = nextHandler.load();
    if (!next)
        return;
    if (context.category && std::strncmp(context.category, ownPrefix, sizeof(ownPrefix) - 1) == 0) {
        // "default" is the category that the message format leaves unnamed.
        const QMessageLogContext plain(context.file, context.line, context.function, "default");
        next(type, plain, message);
        return;
    }
    next(type, context, message);
}

} // namespace

void installPlainLogText()
{
    if (!qEnvironmentVariableIsEmpty("QT_MESSAGE_PATTERN"))
        return;
    const QtMessageHandler previous = qInstallMessageHandler(plainTextHandler);
    // A second call must not make the handler its own successor.
    if (previous != plainTextHandler)
        nextHandler.store(previous);
}
