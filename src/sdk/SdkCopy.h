#pragma once

#include "SdkApi.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

// The copy protocol of the library, shared by every list: ask for the count with a null buffer,
// hand over that many zeroed records, let the library fill them. A failing status becomes a
// std::runtime_error carrying the library's text for it.
//
// The library is not trusted to keep within the capacity it is given: every buffer it fills ends in
// a spare region of known bytes, checked after the call. A library that wrote into it fails the
// capture with a text of its own, and the records of that fill are not used. A library that writes
// beyond the spare region as well is not caught this way; the region is as large as sixteen
// kibibytes of records so that a list written whole at a larger count is.
namespace SdkCopy {

// No list may need a buffer beyond this: a library announcing more fails the capture instead of
// exhausting memory.
constexpr quint64 maxBufferBytes = quint64(1) << 30;

// How the library names a status (ZorvySdk_StatusString, or a test's fake of it).
using StatusText = const char *(*)(SdkStatus);

// The library's text for a status, thrown as a std::runtime_error.
[[noreturn]] void throwStatus(SdkStatus status, StatusText statusText = &ZorvySdk_StatusString);

// How the library opens a session (ZorvySdk_OpenProcess, or a test's fake of it).
using OpenProcess = SdkStatus (*)(uint32_t, uint32_t, SdkSession *);

// A session on processId. A refusal throws the library's text; a success that leaves no handle
// throws a French error, and nothing is left open.
SdkSession openSession(quint32 processId, OpenProcess open = &ZorvySdk_OpenProcess,
                       StatusText statusText = &ZorvySdk_StatusString);

// The French error of a capture that succeeded without a snapshot handle.
[[noreturn]] void throwNoSnapshot();

// The spare region after the records handed to the library: at least this many bytes, whole
// records, filled with a known pattern before the call and compared after it.
constexpr std::size_t spareBytes = 16384;
void writeSparePattern(unsigned char *spare, std::size_t bytes);
bool sparePatternIntact(const unsigned char *spare, std::size_t bytes);

// Throws a French error when count records of recordSize bytes would pass maxBufferBytes.
void checkBufferSize(quint64 count, quint64 recordSize);

// What one capture may bring, stated once. The conversion builds 20 to 60 times the library's
// bytes, so memory runs out long before a list reaches maxBufferBytes: a list, or all lists
// together, announcing more than this fails the capture before its records are allocated. The
// limits are ten times the largest world the simulated game makes (about 96,000 tracks and as
// many nodes, 2,200 stations, 1,900 trains, 32,000 signals, 9,200 reservations, 20 tracks per
// path), rounded up.
struct ListLimit
{
    const char *name; // French, plural, as the status text names the list
    quint32 maxRecords;
};
namespace CaptureBudget {
constexpr ListLimit trains{"trains", 20000};
constexpr ListLimit tracks{"voies", 1000000};
constexpr ListLimit stations{"gares", 25000};
constexpr ListLimit signalRecords{"signaux", 320000};
constexpr ListLimit signalStates{"états de signaux", 320000};
constexpr ListLimit signalTextures{"textures de signaux", 320000};
constexpr ListLimit nodes{"nœuds de voie", 1000000};
constexpr ListLimit pathTracks{"voies du parcours", 100000};
constexpr ListLimit reservations{"réservations", 100000};
constexpr ListLimit occupations{"occupations", 100000};
// All lists of one capture together: about seven times the largest world's 300,000 records, so
// that the lists cannot all reach their own limits in one capture.
constexpr quint64 totalRecords = 2000000;
} // namespace CaptureBudget

// The records one capture has admitted so far.
class Budget
{
public:
    // Admits count records of a list, or throws a French error naming the list and the count when
    // they pass its limit or bring the capture past CaptureBudget::totalRecords.
    void admit(const ListLimit &list, quint64 count);

private:
    quint64 m_total = 0;
};

// The French errors of a fill that wrote past the records it was given, and of one that filled
// fewer records than the list announced (the rest would be empty records, id 0 among them).
[[noreturn]] void throwOverrun(const ListLimit &list);
[[noreturn]] void throwShortFill(const ListLimit &list, quint32 written, quint32 announced);

// Record memory kept by one thread across captures, so that a large list does not pay its page
// faults again at every capture. Only the memory is reused: every fill starts from zeroed records,
// followed by the spare region.
template <typename Record> class RecordBuffer
{
    static_assert(std::is_trivially_copyable_v<Record>, "records are copied as bytes");

public:
    // Whole records of spare region after the last record.
    static constexpr std::size_t spareRecords = (spareBytes + sizeof(Record) - 1) / sizeof(Record);

    // Room for count records, all bytes zero, then the spare region with its pattern.
    Record *zeroed(quint32 count)
    {
        Record *records = prepare(count);
        if (count > 0)
            std::memset(static_cast<void *>(records), 0, std::size_t(count) * sizeof(Record));
        return records;
    }

    // Room for count records whose bytes are left as they were, for a caller that writes them all.
    Record *uninitialized(quint32 count) { return prepare(count); }

    // Gives the memory back (the records are forgotten).
    void release()
    {
        m_storage.reset();
        m_capacity = 0;
        m_count = 0;
    }

    // Whether the spare region after the records of the last zeroed() still holds its pattern.
    bool spareIntact() const
    {
        return m_capacity >= m_count + spareRecords &&
               sparePatternIntact(spare(m_count), spareRecords * sizeof(Record));
    }

    // Forgets the records of the last capture; the memory stays.
    void clear() { m_count = 0; }

    // These records instead of the library's (tests and tools build record lists by hand).
    void assign(const Record *records, quint32 count)
    {
        Record *target = prepare(count);
        if (count > 0)
            std::memcpy(static_cast<void *>(target), records, std::size_t(count) * sizeof(Record));
    }

    const Record *begin() const { return m_storage.get(); }
    const Record *end() const { return m_storage.get() + m_count; }
    const Record &operator[](quint32 index) const { return m_storage[index]; }
    quint32 count() const { return m_count; }

private:
    // Room for count records (their bytes as they were), then the spare region with its pattern.
    Record *prepare(quint32 count)
    {
        checkBufferSize(count, sizeof(Record));
        // Give back memory far larger than needed, so one huge world does not pin it for good.
        const std::size_t bytes = std::size_t(count) * sizeof(Record);
        if (m_capacity * sizeof(Record) > std::max<std::size_t>(4 * bytes, 64u << 20))
            release();
        // Grow with headroom, still within the limit: a list that gains a record must not move
        // all its memory again. The headroom is not written until it is used, so that it takes
        // no memory (the old records are not kept: every fill starts anew).
        if (m_capacity < count + spareRecords) {
            release();
            const std::size_t capacity =
                spareRecords + std::size_t(std::min<quint64>(quint64(count) + count / 4,
                                                             maxBufferBytes / sizeof(Record)));
            m_storage.reset(static_cast<Record *>(std::malloc(capacity * sizeof(Record))));
            if (!m_storage)
                throw std::bad_alloc();
            m_capacity = capacity;
        }
        writeSparePattern(spare(count), spareRecords * sizeof(Record));
        m_count = count;
        return m_storage.get();
    }

    unsigned char *spare(quint32 count) const
    {
        return reinterpret_cast<unsigned char *>(m_storage.get() + count);
    }

    struct Free
    {
        void operator()(Record *records) const { std::free(records); }
    };
    std::unique_ptr<Record[], Free> m_storage;
    std::size_t m_capacity = 0; // records, spare region included
    quint32 m_count = 0;
};

// One list export bound to its snapshot, in the form the helpers below call.
template <typename Record>
auto listOf(SdkSnapshot snapshot,
            SdkStatus (*copyExport)(SdkSnapshot, Record *, uint32_t, uint32_t *))
{
    return [snapshot, copyExport](Record *records, uint32_t capacity, uint32_t *count) {
        return copyExport(snapshot, records, capacity, count);
    };
}

// Step 1 of the protocol: the status of the null-buffer call and the count it wrote.
template <typename Call> SdkStatus probe(Call call, uint32_t *count)
{
    *count = 0;
    return call(nullptr, 0u, count);
}

// Steps 2 and 3: count zeroed records filled by the library. Returns the count the library wrote
// in this call (count when it left it alone), which only the path reports; the records kept are
// always count. A write into the spare region, a failing status, and a count below the one
// announced each throw, and the buffer keeps no records.
template <typename Record, typename Call>
uint32_t fill(RecordBuffer<Record> &buffer, uint32_t count, Call call, StatusText statusText,
              const ListLimit &list)
{
    Record *records = buffer.zeroed(count);
    uint32_t written = count;
    const SdkStatus status = call(records, count, &written);
    const bool overrun = !buffer.spareIntact();
    if (overrun || status != 0 || written < count)
        buffer.clear();
    if (overrun)
        throwOverrun(list);
    if (status != 0)
        throwStatus(status, statusText);
    if (written < count)
        throwShortFill(list, written, count);
    return written;
}

// The whole protocol for one list, `call(buffer, capacity, count)` forwarding to one export, with
// the list's count admitted to the capture's budget before anything is allocated.
template <typename Record, typename Call>
void copy(RecordBuffer<Record> &buffer, Call call, StatusText statusText, Budget &budget,
          const ListLimit &list)
{
    uint32_t count = 0;
    const SdkStatus status = probe(call, &count);
    if (status != 0) {
        buffer.clear();
        throwStatus(status, statusText);
    }
    budget.admit(list, count);
    fill(buffer, count, call, statusText, list);
}

} // namespace SdkCopy
