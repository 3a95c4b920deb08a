#include "ReaderThread.h"

#include "DataMap.h"
#include "DataMapKeys.h"
#include "GameProcessFinder.h"
#include "SdkApi.h"
#include "SdkCopy.h"
#include "SnapshotConverter.h"

#include <QDebug>
#include <QElapsedTimer>

#include <algorithm>
#include <stdexcept>

namespace {

const char noUniqueGameText[] = "Aucun jeu unique détecté · démarrer le jeu ou saisir son PID";

void closeSession(SdkSession &session)
{
    if (session != 0)
        ZorvySdk_CloseSession(session);
    session = 0;
}

} // namespace

ReaderThread::ReaderThread(QObject *parent) : QThread(parent)
{
    qRegisterMetaType<uint64_t>("uint64_t");
    qRegisterMetaType<QVariantMap>("QVariantMap");
}

ReaderThread::~ReaderThread()
{
    requestInterruption();
    wait();
}

void ReaderThread::pause(qint64 milliseconds)
{
    // In short slices, so that a stop request ends an idle second at once instead of keeping the
    // window's closing (and every Backend's destruction) waiting for it.
    constexpr qint64 slice = 50;
    QElapsedTimer slept;
    slept.start();
    for (qint64 left = milliseconds; left > 0 && !isInterruptionRequested();
         left = milliseconds - slept.elapsed())
        msleep(static_cast<unsigned long>(std::min(left, slice)));
}

void ReaderThread::run()
{
    SdkSession session = 0;
    uint64_t lastRequest = 0;
    quint32 processId = 0;
    quint64 captureCount = 0;

    while (!isInterruptionRequested()) {
        QElapsedTimer cycle;
        cycle.start();

        const uint64_t word = m_request.load();
        if (word != lastRequest) {
            closeSession(session);
            lastRequest = word;
            processId = 0;
            captureCount = 0;
        }

        if (word != 0 && !m_pending.load()) {
            try {
                if (session == 0) {
                    processId = static_cast<quint32>(word & 0xFFFFFFFFu);
                    if (processId == 0)
                        processId = findGameProcess();
                    if (processId == 0)
                        throw std::runtime_error(noUniqueGameText);
                    // The handle is kept only on success: a failed open leaves nothing to close.
                    SdkSession opened = 0;
                    const SdkStatus status = ZorvySdk_OpenProcess(1, processId, &opened);
                    if (status != 0)
                        SdkCopy::throwStatus(status);
                    session = opened;
                }
                const ViewParameters view =
                    withViewParameters([](const ViewParameters &current) { return current; });
                const QVariantMap map = convertSnapshot(session, processId, view);
                if (captureCount == 0) {
                    qInfo() << "SDK snapshot:" << map.value(DataMapKeys::trainCountKey)
                            << map.value(DataMapKeys::trackCountKey)
                            << map.value(DataMapKeys::signalCountKey);
                }
                ++captureCount;
                m_pending.store(true);
                emit received(word, map);
            } catch (const std::exception &error) {
                closeSession(session);
                m_pending.store(true);
                emit received(word, DataMap::baseDataMap(QString::fromUtf8(error.what())));
            }
        }

        pause(session == 0 ? 1000 : std::max<qint64>(20, 250 - cycle.elapsed()));
    }
    closeSession(session);
}
