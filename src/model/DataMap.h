#pragma once

#include <QString>
#include <QVariantMap>

// The data map is the one value in which a state of the game travels from the reader thread to
// Backend and QML. These are the operations every producer and reader of it shares.
namespace DataMap {

// A fresh map with the 23 keys every data map starts with: the given status, "live" false, every
// list empty, every count 0, every text empty.
QVariantMap baseDataMap(const QString &status);

// An id as it travels in a data map: 16 upper-case hexadecimal digits, zero-padded, no prefix.
QString idText(quint64 id);

// The id back from its text, read as unsigned base 16; an empty or unparsable text gives 0.
quint64 parseIdText(const QString &text);

// Empties the path keys and marks them stale or not.
void clearPath(QVariantMap &map, bool stale);

// Empties the reservation and occupation keys and marks them stale or not.
void clearUsage(QVariantMap &map, bool stale);

// Ages every signal state of the map: the listed tracks' signals show "Périmé" without texture,
// the whole-network entries lose state and texture but keep the rest (a MapSignalTable becomes its
// expired copy, sharing its entries), both counters fall to 0.
void expireSignalStates(QVariantMap &map);

} // namespace DataMap
