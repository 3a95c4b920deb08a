#include "SdkCopy.h"

#include <QString>

#include <stdexcept>
#include <string>

namespace SdkCopy {

void throwStatus(SdkStatus status, StatusText statusText)
{
    const char *text = statusText ? statusText(status) : nullptr;
    if (!text)
        throw std::runtime_error(
            QStringLiteral("Erreur du SDK (statut %1)").arg(status).toStdString());
    throw std::runtime_error(std::string(text));
}

void checkBufferSize(quint64 count, quint64 recordSize)
{
    if (count * recordSize <= maxBufferBytes)
        return;
    throw std::runtime_error(
        QStringLiteral("Capture abandonnée : le SDK annonce %1 enregistrements de %2 octets, "
                       "au-delà de la limite de 1 Gio par liste")
            .arg(count)
            .arg(recordSize)
            .toStdString());
}

} // namespace SdkCopy
