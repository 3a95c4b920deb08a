#include "SignalSpots.h"

#include "TexturePlacer.h"

QVector<std::optional<QRectF>> SignalSpots::place(const QVector<Image> &images,
                                                  const QVector<MapOverlay::Signal> &marks,
                                                  const QSizeF &itemSize, double signalSize,
                                                  bool moving, size_t key, quint64 texturesEpoch,
                                                  bool keep)
{
    QVector<std::optional<QRectF>> spots(images.size());
    if (m_valid && ((moving && m_epoch == texturesEpoch) || key == m_key)) {
        for (int t = 0; t < images.size(); ++t) {
            const Image &image = images[t];
            const Spot *spot = image.index < m_spots.size() ? &m_spots[image.index] : nullptr;
            if (spot && spot->placed && spot->node == marks[image.index].node &&
                spot->size == image.target)
                spots[t] = QRectF(image.point + spot->offset, image.target);
        }
        return spots;
    }
    m_key = key;
    m_epoch = texturesEpoch;
    m_valid = true;
    if (images.isEmpty()) {
        m_spots.clear();
        return spots;
    }
    TexturePlacer placer(itemSize, signalSize);
    const QVector<Spot> before = keep ? m_spots : QVector<Spot>();
    m_spots.fill(Spot(), marks.size());
    // The images that had a spot take it again first, where it is still free.
    QVector<bool> kept(images.size(), false);
    for (int t = 0; t < images.size() && !before.isEmpty(); ++t) {
        const Image &image = images[t];
        const Spot *old = image.index < before.size() ? &before[image.index] : nullptr;
        if (!old || !old->placed || old->node != marks[image.index].node ||
            old->size != image.target)
            continue;
        const QRectF spot(image.point + old->offset, image.target);
        if (!placer.take(spot))
            continue;
        kept[t] = true;
        spots[t] = spot;
        m_spots[image.index] = *old;
    }
    for (int t = 0; t < images.size(); ++t) {
        if (kept[t])
            continue;
        const Image &image = images[t];
        spots[t] = placer.place(image.point, image.target, keep);
        Spot &spot = m_spots[image.index];
        spot.node = marks[image.index].node;
        spot.size = image.target;
        spot.placed = spots[t].has_value();
        if (spot.placed)
            spot.offset = spots[t]->topLeft() - image.point;
    }
    return spots;
}
