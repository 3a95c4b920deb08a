#pragma once

// Builders for the data maps that the map tests hand to MapItem.

#include "GeometryBlob.h"
#include "SdkRecords.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <QVector>

namespace MapScene {

inline QString idText(quint64 id)
{
    return QStringLiteral("%1").arg(id, 16, 16, QLatin1Char('0')).toUpper();
}

inline SdkTrackNode node(quint64 id, quint64 first, quint64 second, double x, double y)
{
    return SdkTrackNode{id, first, second, x, y};
}

inline QByteArray blob(const QVector<SdkTrackNode> &nodes)
{
    return GeometryBlob::fromNodes(nodes.constData(), nodes.size());
}

inline QVariantMap train(quint64 id, const QString &name, quint64 track, double fraction,
                         bool positioned = true)
{
    return QVariantMap{{QStringLiteral("id"), idText(id)},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("positioned"), positioned},
                       {QStringLiteral("track"), positioned ? idText(track) : QString()},
                       {QStringLiteral("fraction"), fraction}};
}

inline QVariantMap signalEntry(quint64 track, bool marker, bool balise, bool stateAvailable,
                               int textureState, const QString &texturePath = QString())
{
    return QVariantMap{{QStringLiteral("track"), idText(track)},
                       {QStringLiteral("marker"), marker},
                       {QStringLiteral("balise"), balise},
                       {QStringLiteral("stateAvailable"), stateAvailable},
                       {QStringLiteral("textureState"), textureState},
                       {QStringLiteral("texturePath"), texturePath}};
}

inline QVariantMap usage(quint64 trainId, quint64 track)
{
    return QVariantMap{{QStringLiteral("train"), idText(trainId)},
                       {QStringLiteral("track"), idText(track)},
                       {QStringLiteral("begin"), 0.0},
                       {QStringLiteral("end"), 1.0}};
}

// A live data map with this geometry and nothing else shown.
inline QVariantMap liveData(const QVector<SdkTrackNode> &nodes)
{
    return QVariantMap{{QStringLiteral("live"), true},
                       {QStringLiteral("mapGeometry"), blob(nodes)},
                       {QStringLiteral("usageStale"), false},
                       {QStringLiteral("pathStale"), false}};
}

} // namespace MapScene
