#pragma once

#include <QtGlobal>

#include <vector>

// Lookup from a 64-bit id to a record index, rebuilt at every capture. Open addressing in one
// array that the thread keeps between captures: no allocation per id, unlike a node-based map.
class IdIndex
{
public:
    // Empties the index and makes room for expected ids.
    void reset(qsizetype expected);

    // The index stored under id, or -1.
    int find(quint64 id) const
    {
        for (std::size_t slot = home(id);; slot = (slot + 1) & m_mask) {
            const Slot &s = m_slots[slot];
            if (s.index < 0)
                return -1;
            if (s.id == id)
                return s.index;
        }
    }

    // Stores index under id unless the id is there already (the first one wins). Returns the index
    // stored under id afterwards.
    int insertFirst(quint64 id, int index);

    // Stores index under id, replacing an earlier one.
    void insertOrAssign(quint64 id, int index);

private:
    struct Slot
    {
        quint64 id;
        qint32 index; // -1 = empty
    };

    std::size_t home(quint64 id) const
    {
        // Fibonacci hashing spreads sequential and patterned ids over the table.
        return std::size_t((id * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    Slot &slotFor(quint64 id);

    std::vector<Slot> m_slots;
    std::size_t m_mask = 0;
    int m_shift = 64;
};
