#pragma once

#include "SharedWorldLayout.h"

#include <cstdint>
#include <vector>

// A private copy of one block of the game's region (static part or one frame), checked once so
// that every list it describes lies inside it with the stride this library expects.
class BlockCopy
{
public:
    explicit BlockCopy(std::vector<unsigned char> bytes);

    // False when the bytes are not a block with at least `listCount` lists of these strides.
    bool validate(const uint64_t *strides, uint32_t listCount);

    const SharedWorld::BlockHeader &header() const { return m_header; }
    uint64_t count(uint32_t list) const { return m_header.lists[list].count; }
    template <typename T> const T *items(uint32_t list) const
    {
        return reinterpret_cast<const T *>(m_bytes.data() + m_header.lists[list].offset);
    }

private:
    std::vector<unsigned char> m_bytes;
    SharedWorld::BlockHeader m_header{};
};
