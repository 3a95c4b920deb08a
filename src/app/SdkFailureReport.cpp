#include "SdkFailureReport.h"

#include "LogCategories.h"
#include "Platform.h"

#include <QDebug>

void reportSdkFailure(const QString &reason, bool showBox)
{
    qCCritical(LogCategory::sdk).noquote() << reason;
    // Windows shows the box and waits for it; elsewhere the log line is the whole report.
    if (showBox)
        Platform::showStartupErrorBox(reason.toStdWString());
}
