#pragma once

#include "SdkRecords.h"

#include <QtGlobal>

#include <vector>

// The texture records of one capture without their zero bytes. A record takes 1,960 bytes, of
// which a few dozen are not zero (its signal, its flags, its path): each record is kept as its
// words of eight bytes that are not zero, with their places, and comes back byte for byte. The
// recording writer compares each capture's records with these instead of keeping the previous
// capture's hundred megabytes on the largest worlds.
class PackedTextures
{
public:
    // Keeps the count records, forgetting those kept before.
    void assign(const SdkSignalTexture *records, quint32 count);
    // Keeps record in place of the record at index (< count()).
    void replace(quint32 index, const SdkSignalTexture &record);
    quint32 count() const { return quint32(m_first.size()); }
    // The record at index (< count()), valid until the next call.
    const SdkSignalTexture &unpack(quint32 index);

private:
    static constexpr quint32 wordCount = sizeof(SdkSignalTexture) / sizeof(quint64);
    static_assert(sizeof(SdkSignalTexture) % sizeof(quint64) == 0 && wordCount <= 256,
                  "a record is whole words with places of one byte");

    // Appends the words of record that are not zero; returns how many.
    quint8 pack(const SdkSignalTexture &record);
    // Drops the words no record uses any more.
    void compact();

    std::vector<quint32> m_first;  // per record: its first word in m_words
    std::vector<quint8> m_used;    // per record: its words
    std::vector<quint64> m_words;  // the words that are not zero, record after record
    std::vector<quint8> m_places;  // the place of each word in its record
    std::size_t m_unused = 0;      // words of m_words that no record uses
    SdkSignalTexture m_unpacked{}; // zero but for the words of the record last unpacked
    qint64 m_unpackedIndex = -1;
};
