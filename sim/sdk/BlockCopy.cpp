#include "BlockCopy.h"

#include <cstring>

using namespace SharedWorld;

BlockCopy::BlockCopy(std::vector<unsigned char> bytes) : m_bytes(std::move(bytes)) {}

bool BlockCopy::validate(const uint64_t *strides, uint32_t listCount)
{
    if (m_bytes.size() < sizeof(BlockHeader))
        return false;
    std::memcpy(&m_header, m_bytes.data(), sizeof m_header);
    if (m_header.magic != BlockMagic || m_header.listCount < listCount ||
        m_header.listCount > MaxLists)
        return false;
    const uint64_t size = m_bytes.size();
    for (uint32_t i = 0; i < listCount; ++i) {
        const ListDesc &list = m_header.lists[i];
        if (list.stride != strides[i] || list.offset % 8 != 0 || list.offset > size)
            return false;
        if (list.count > (size - list.offset) / list.stride)
            return false;
    }
    return true;
}
