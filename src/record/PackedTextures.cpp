#include "PackedTextures.h"

#include <cstring>
#include <limits>
#include <stdexcept>

quint8 PackedTextures::pack(const SdkSignalTexture &record)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(&record);
    quint8 used = 0;
    for (quint32 place = 0; place < wordCount; ++place) {
        quint64 word;
        std::memcpy(&word, bytes + place * sizeof word, sizeof word);
        if (word == 0)
            continue;
        m_words.push_back(word);
        m_places.push_back(quint8(place));
        ++used;
    }
    return used;
}

void PackedTextures::assign(const SdkSignalTexture *records, quint32 count)
{
    m_first.resize(count);
    m_used.resize(count);
    m_words.clear();
    m_places.clear();
    m_unused = 0;
    m_unpackedIndex = -1;
    m_unpacked = SdkSignalTexture{};
    for (quint32 i = 0; i < count; ++i) {
        if (m_words.size() > std::numeric_limits<quint32>::max() - wordCount)
            throw std::length_error("texture records beyond 32-bit word indexes");
        m_first[i] = quint32(m_words.size());
        m_used[i] = pack(records[i]);
    }
}

void PackedTextures::replace(quint32 index, const SdkSignalTexture &record)
{
    m_unused += m_used[index];
    m_first[index] = quint32(m_words.size());
    m_used[index] = pack(record);
    if (qint64(index) == m_unpackedIndex) {
        m_unpackedIndex = -1;
        m_unpacked = SdkSignalTexture{};
    }
    if (m_unused > m_words.size() / 2 ||
        m_words.size() > std::numeric_limits<quint32>::max() - wordCount)
        compact();
}

void PackedTextures::compact()
{
    std::vector<quint64> words;
    std::vector<quint8> places;
    words.reserve(m_words.size() - m_unused);
    places.reserve(words.capacity());
    for (std::size_t i = 0; i < m_first.size(); ++i) {
        const quint32 first = m_first[i];
        m_first[i] = quint32(words.size());
        words.insert(words.end(), m_words.begin() + first, m_words.begin() + first + m_used[i]);
        places.insert(places.end(), m_places.begin() + first, m_places.begin() + first + m_used[i]);
    }
    m_words.swap(words);
    m_places.swap(places);
    m_unused = 0;
}

const SdkSignalTexture &PackedTextures::unpack(quint32 index)
{
    if (qint64(index) == m_unpackedIndex)
        return m_unpacked;
    auto *bytes = reinterpret_cast<unsigned char *>(&m_unpacked);
    const quint64 zero = 0;
    if (m_unpackedIndex >= 0) {
        const quint32 last = m_first[std::size_t(m_unpackedIndex)];
        for (quint32 w = last; w < last + m_used[std::size_t(m_unpackedIndex)]; ++w)
            std::memcpy(bytes + m_places[w] * sizeof zero, &zero, sizeof zero);
    }
    const quint32 first = m_first[index];
    for (quint32 w = first; w < first + m_used[index]; ++w)
        std::memcpy(bytes + m_places[w] * sizeof zero, &m_words[w], sizeof zero);
    m_unpackedIndex = index;
    return m_unpacked;
}
