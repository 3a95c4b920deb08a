#include "SnapshotConverter.h"

#include "DataMap.h"

#include <stdexcept>

QVariantMap convertSnapshot(SdkSession session, quint32 processId, const ViewParameters &view)
{
    Q_UNUSED(session);
    Q_UNUSED(view);
    // Replaced by the full conversion in the next commit.
    throw std::runtime_error("conversion pas encore disponible, PID " + std::to_string(processId));
}
