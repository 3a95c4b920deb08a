#pragma once

#include <QtGlobal>

#include <vector>

// Lookup from a 64-bit id to a record index, rebuilt at every capture in memory that the thread
// keeps between captures: no allocation per id, unlike a node-based map. Ids that lie close
// together (the usual case: a game numbers its objects in sequence) are looked up in a plain array
// indexed by id; scattered ids go to an open-addressing hash table.
class IdIndex
{
public:
    // Empties the index and makes room for expected ids, all between minId and maxId.
    void reset(qsizetype expected, quint64 minId, quint64 maxId);

    // The same for ids of any value.
    void reset(qsizetype expected) { reset(expected, 0, ~quint64(0)); }

    // The index stored under id, or -1.
    int find(quint64 id) const
    {
        if (m_dense) {
            const quint64 offset = id - m_minId; // wraps for ids below the range
            return offset < m_indices.size() ? m_indices[std::size_t(offset)] : -1;
        }
        for (std::size_t slot = home(id);; slot = (slot + 1) & m_mask) {
            const Slot &s = m_slots[slot];
            if (s.index < 0)
                return -1;
            if (s.id == id)
                return s.index;
        }
    }

    // Stores index under id unless the id is there already (the first one wins). Returns the index
    // stored under id afterwards. The id must lie in the range given to reset.
    int insertFirst(quint64 id, int index)
    {
        int &stored = storedIndex(id);
        if (stored < 0)
            stored = index;
        return stored;
    }

    // Stores index under id, replacing an earlier one.
    void insertOrAssign(quint64 id, int index) { storedIndex(id) = index; }

    // Slots looked at by the insertions since the last reset (the tests bound it: colliding ids
    // would make it grow with the square of their number).
    quint64 insertProbes() const { return m_insertProbes; }

private:
    struct Slot
    {
        quint64 id;
        qint32 index; // -1 = empty
    };

    std::size_t home(quint64 id) const
    {
        // The ids come from the library: a fixed hash would let crafted ids all share one probe
        // run and make every capture quadratic. They are mixed with a seed drawn once per process
        // (a full 64-bit mixer, so that no bit of the id survives unmixed), then spread by
        // Fibonacci hashing.
        quint64 x = id ^ s_seed;
        x ^= x >> 33;
        x *= 0xFF51AFD7ED558CCDull;
        x ^= x >> 33;
        x *= 0xC4CEB9FE1A85EC53ull;
        x ^= x >> 33;
        return std::size_t((x * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    int &storedIndex(quint64 id);

    bool m_dense = false;
    quint64 m_minId = 0;
    std::vector<qint32> m_indices; // dense: index by id - m_minId, -1 = none
    std::vector<Slot> m_slots;     // hashed
    std::size_t m_mask = 0;
    int m_shift = 64;
    quint64 m_insertProbes = 0;

    static const quint64 s_seed;
};
