#pragma once

#include "IdIndex.h"

#include <vector>

// Record indices grouped by a 64-bit id (signals by track, trains by track), each group in the
// order of insertion. Rebuilt at every capture in memory the thread keeps.
class IdGroups
{
public:
    // Empties the groups; elements are then numbered 0 to elementCount - 1 and their ids lie
    // between minId and maxId.
    void reset(qsizetype elementCount, quint64 minId, quint64 maxId);

    // Appends element to the group of id.
    void add(quint64 id, int element);

    bool contains(quint64 id) const { return m_groupOf.find(id) >= 0; }

    // Calls visit(element) for every element of the group of id, in insertion order.
    template <typename Visit> void forEach(quint64 id, Visit visit) const
    {
        const int group = m_groupOf.find(id);
        if (group < 0)
            return;
        for (int element = m_groups[group].first; element >= 0; element = m_next[element])
            visit(element);
    }

    // Number of elements in the group of id.
    int size(quint64 id) const;

private:
    struct Group
    {
        int first;
        int last;
        int size;
    };

    IdIndex m_groupOf;
    std::vector<Group> m_groups;
    std::vector<int> m_next; // per element: the next element of its group, or -1
};
