#include "IdIndex.h"

void IdIndex::reset(qsizetype expected)
{
    // At most half full, so probe runs stay short.
    int bits = 4;
    while ((qsizetype(1) << bits) < 2 * expected)
        ++bits;
    const std::size_t size = std::size_t(1) << bits;
    m_slots.assign(size, Slot{0, -1});
    m_mask = size - 1;
    m_shift = 64 - bits;
}

IdIndex::Slot &IdIndex::slotFor(quint64 id)
{
    for (std::size_t slot = home(id);; slot = (slot + 1) & m_mask) {
        Slot &s = m_slots[slot];
        if (s.index < 0 || s.id == id)
            return s;
    }
}

int IdIndex::insertFirst(quint64 id, int index)
{
    Slot &s = slotFor(id);
    if (s.index < 0)
        s = Slot{id, index};
    return s.index;
}

void IdIndex::insertOrAssign(quint64 id, int index)
{
    slotFor(id) = Slot{id, index};
}
