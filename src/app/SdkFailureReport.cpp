#include "SdkFailureReport.h"

#include "LogCategories.h"

#include <QDebug>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

void reportSdkFailure(const QString &reason, bool showBox)
{
    qCCritical(LogCategory::sdk).noquote() << reason;
#ifdef Q_OS_WIN
    if (showBox) {
        const std::wstring text = reason.toStdWString();
        const std::wstring caption = QStringLiteral("Zorvy TCO — SDK incompatible").toStdWString();
        MessageBoxW(nullptr, text.c_str(), caption.c_str(), 0x10 /* MB_OK | MB_ICONERROR */);
    }
#else
    // Elsewhere the log line is the whole report: nothing waits for a click.
    Q_UNUSED(showBox);
#endif
}
