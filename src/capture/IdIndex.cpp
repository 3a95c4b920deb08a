#include "IdIndex.h"

#include <QRandomGenerator>

const quint64 IdIndex::s_seed = QRandomGenerator::system()->generate64();

void IdIndex::reset(qsizetype expected, quint64 minId, quint64 maxId)
{
    // A plain array when it stays within a few entries per id, so it costs no more memory than
    // the hash table would, or when it is small anyway (a quarter of a million entries fill in a
    // fraction of a millisecond, less than the lookups they save).
    m_insertProbes = 0;
    const quint64 span = maxId - minId; // one less than the number of ids in the range
    m_dense = minId <= maxId && (span < 4 * quint64(expected) + 64 || span < (quint64(1) << 18));
    if (m_dense) {
        m_minId = minId;
        m_indices.assign(std::size_t(span) + 1, -1);
        return;
    }
    // At most half full, so probe runs stay short.
    int bits = 4;
    while ((qsizetype(1) << bits) < 2 * expected)
        ++bits;
    const std::size_t size = std::size_t(1) << bits;
    m_slots.assign(size, Slot{0, -1});
    m_mask = size - 1;
    m_shift = 64 - bits;
}

int &IdIndex::storedIndex(quint64 id)
{
    if (m_dense)
        return m_indices[std::size_t(id - m_minId)];
    for (std::size_t slot = home(id);; slot = (slot + 1) & m_mask) {
        ++m_insertProbes;
        Slot &s = m_slots[slot];
        if (s.index < 0) {
            s.id = id;
            return s.index;
        }
        if (s.id == id)
            return s.index;
    }
}
