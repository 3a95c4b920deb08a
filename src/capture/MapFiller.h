#pragma once

#include <QVariantMap>

// Builds a small map from a prototype that already holds every key, in key order: copying the
// prototype's tree and filling its values costs a good deal less than inserting key after key,
// which matters for the tens of thousands of small maps of one capture. A value given out of
// order (a key whose text is not the prototype's next key object) is inserted the usual way, so
// the result is right either way.
class MapFiller
{
public:
    explicit MapFiller(const QVariantMap &prototype) : m_map(prototype), m_next(m_map.begin()) {}

    MapFiller &set(const QString &key, QVariant value)
    {
        if (m_next != m_map.end() && m_next.key().constData() == key.constData()) {
            m_next.value() = std::move(value);
            ++m_next;
        } else {
            m_map.insert(key, std::move(value));
            m_next = m_map.end();
        }
        return *this;
    }

    QVariantMap take() { return std::move(m_map); }

private:
    QVariantMap m_map;
    QVariantMap::iterator m_next;
};

// A prototype for MapFiller: every key with a null value.
inline QVariantMap mapPrototype(std::initializer_list<const QString *> keys)
{
    QVariantMap prototype;
    for (const QString *key : keys)
        prototype.insert(*key, QVariant());
    return prototype;
}
