#include "AlertLog.h"

#include "DataMapKeys.h"

#include <algorithm>

namespace {

QString keyOf(const QVariantMap &event)
{
    const QStringList cycle = event.value(DataMapKeys::cycleKey).toStringList();
    return event.value(DataMapKeys::stateKey).toString() + QLatin1Char(' ') +
           (cycle.isEmpty() ? event.value(DataMapKeys::idKey).toString()
                            : cycle.join(QLatin1Char(',')));
}

} // namespace

bool AlertLog::take(const QVariantList &events)
{
    bool changed = false;
    for (const QVariant &value : events) {
        const QVariantMap event = value.toMap();
        const QString key = keyOf(event);
        if (event.value(DataMapKeys::startedKey).toBool()) {
            m_entries.push_front({event, key, QString(), false});
            if (m_entries.size() > std::size_t(maxEntries))
                m_entries.pop_back();
            changed = true;
            continue;
        }
        for (Entry &entry : m_entries) {
            if (!entry.previous && entry.ended.isEmpty() && entry.key == key) {
                entry.ended = event.value(DataMapKeys::timeKey).toString();
                changed = true;
                break;
            }
        }
    }
    return changed;
}

bool AlertLog::markPrevious()
{
    bool changed = false;
    for (Entry &entry : m_entries) {
        changed = changed || !entry.previous;
        entry.previous = true;
    }
    return changed;
}

bool AlertLog::dropCurrent()
{
    const auto current = std::remove_if(m_entries.begin(), m_entries.end(),
                                        [](const Entry &entry) { return !entry.previous; });
    const bool changed = current != m_entries.end();
    m_entries.erase(current, m_entries.end());
    return changed;
}

QVariantList AlertLog::entries() const
{
    static const QString endedKey = QStringLiteral("ended");
    static const QString previousKey = QStringLiteral("previous");
    QVariantList list;
    list.reserve(qsizetype(m_entries.size()));
    for (const Entry &entry : m_entries) {
        QVariantMap map = entry.event;
        map.insert(endedKey, entry.ended);
        map.insert(previousKey, entry.previous);
        list.append(map);
    }
    return list;
}
