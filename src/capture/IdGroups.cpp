#include "IdGroups.h"

void IdGroups::reset(qsizetype elementCount, quint64 minId, quint64 maxId)
{
    m_groupOf.reset(elementCount, minId, maxId);
    m_groups.clear();
    m_next.assign(std::size_t(elementCount), -1);
}

void IdGroups::add(quint64 id, int element)
{
    const int group = m_groupOf.insertFirst(id, int(m_groups.size()));
    if (group == int(m_groups.size())) {
        m_groups.push_back(Group{element, element, 1});
        return;
    }
    Group &g = m_groups[group];
    m_next[g.last] = element;
    g.last = element;
    ++g.size;
}

int IdGroups::size(quint64 id) const
{
    const int group = m_groupOf.find(id);
    return group < 0 ? 0 : m_groups[group].size;
}
