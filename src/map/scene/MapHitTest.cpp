#include "MapHitTest.h"

#include "DataMapKeys.h"
#include "MapOverlay.h"

#include <QVector>

#include <algorithm>
#include <utility>

QVariantList MapHitTest::trainsAt(const QVariantMap &data, const MapNetwork &network,
                                  const MapCamera &camera, const QSizeF &itemSize, double x,
                                  double y, const std::function<QPointF(int, double)> &placeOf)
{
    QVector<std::pair<double, QVariant>> nearby;
    const QVariantList trains = data.value(DataMapKeys::trainsKey).toList();
    for (const QVariant &entry : trains) {
        const QVariantMap train = entry.toMap();
        const int node = MapOverlay::trainNode(train, network);
        if (node < 0)
            continue;
        const SdkTrackNode &record = network.nodes()[node];
        const QPointF point = placeOf
                                  ? placeOf(node, train.value(DataMapKeys::fractionKey).toDouble())
                                  : camera.toScreen(record.x, record.y, itemSize);
        const double dx = point.x() - x;
        const double dy = point.y() - y;
        const double distanceSquared = dx * dx + dy * dy;
        if (distanceSquared <= pickRadius * pickRadius)
            nearby.append({distanceSquared, QVariant(train)});
    }
    std::stable_sort(nearby.begin(), nearby.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QVariantList result;
    result.reserve(nearby.size());
    for (const auto &pair : std::as_const(nearby))
        result.append(pair.second);
    return result;
}

QVariantMap MapHitTest::signalAt(const QVariantMap &data, const MapNetwork &network,
                                 const MapCamera &camera, const QSizeF &itemSize, double x,
                                 double y)
{
    QVariantMap nearest;
    double best = signalPickRadius * signalPickRadius;
    const QVariantList signalEntries = data.value(DataMapKeys::mapSignalsKey).toList();
    for (const QVariant &entry : signalEntries) {
        const QVariantMap signal = entry.toMap();
        const int node = network.indexOfIdText(signal.value(DataMapKeys::trackKey).toString());
        if (node < 0)
            continue;
        const SdkTrackNode &record = network.nodes()[node];
        const QPointF point = camera.toScreen(record.x, record.y, itemSize);
        const double dx = point.x() - x;
        const double dy = point.y() - y;
        if (dx * dx + dy * dy < best) {
            best = dx * dx + dy * dy;
            nearest = signal;
        }
    }
    return nearest;
}
