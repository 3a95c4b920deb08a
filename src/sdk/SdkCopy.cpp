#include "SdkCopy.h"

#include "SdkText.h"

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
    throw std::runtime_error(sdkStatusText(text).toStdString());
}

SdkSession openSession(quint32 processId, OpenProcess open, StatusText statusText)
{
    // The handle is kept only on success: a failed open leaves nothing to close.
    SdkSession opened = 0;
    const SdkStatus status = open(1, processId, &opened);
    if (status != 0)
        throwStatus(status, statusText);
    if (opened == 0)
        throw std::runtime_error(
            QStringLiteral("Connexion refusée : le SDK annonce un succès sans ouvrir de session")
                .toStdString());
    return opened;
}

void throwNoSnapshot()
{
    throw std::runtime_error(
        QStringLiteral("Capture abandonnée : le SDK annonce un succès sans fournir de capture")
            .toStdString());
}

namespace {

// The spare region's pattern: a byte that changes along the region, so that neither zeros nor a
// repeated record nor a repeated byte can leave it as it was.
unsigned char patternByte(std::size_t offset)
{
    return static_cast<unsigned char>(0xA5 ^ (offset * 131 + (offset >> 8)));
}

} // namespace

void writeSparePattern(unsigned char *spare, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i)
        spare[i] = patternByte(i);
}

bool sparePatternIntact(const unsigned char *spare, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i) {
        if (spare[i] != patternByte(i))
            return false;
    }
    return true;
}

void throwOverrun(const ListLimit &list)
{
    throw std::runtime_error(QStringLiteral("Capture abandonnée : le SDK a écrit au-delà de la "
                                            "place donnée pour les %1")
                                 .arg(QString::fromUtf8(list.name))
                                 .toStdString());
}

void throwShortFill(const ListLimit &list, quint32 written, quint32 announced)
{
    throw std::runtime_error(
        QStringLiteral("Capture abandonnée : le SDK annonce %1 %2 mais n'en remplit que %3")
            .arg(announced)
            .arg(QString::fromUtf8(list.name))
            .arg(written)
            .toStdString());
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

void Budget::admit(const ListLimit &list, quint64 count)
{
    if (count > list.maxRecords)
        throw std::runtime_error(QStringLiteral("Capture abandonnée : le SDK annonce %1 %2, "
                                                "au-delà de la limite de %3 par capture")
                                     .arg(count)
                                     .arg(QString::fromUtf8(list.name))
                                     .arg(list.maxRecords)
                                     .toStdString());
    if (m_total + count > CaptureBudget::totalRecords)
        throw std::runtime_error(
            QStringLiteral("Capture abandonnée : avec %1 %2, le SDK annonce %3 enregistrements, "
                           "au-delà de la limite de %4 par capture")
                .arg(count)
                .arg(QString::fromUtf8(list.name))
                .arg(m_total + count)
                .arg(CaptureBudget::totalRecords)
                .toStdString());
    m_total += count;
}

} // namespace SdkCopy
