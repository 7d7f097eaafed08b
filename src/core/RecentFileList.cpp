#include "core/RecentFileList.h"

void RecentFileList::add(const QString &path)
{
    if (path.isEmpty())
        return; // an empty slot marks the end of the list
    if (m_slots[0].isEmpty()) {
        m_slots[0] = path;
        return;
    }
    if (m_slots[0] == path)
        return;
    QString carried = m_slots[0];
    m_slots[0] = path;
    for (int k = 1; k < Slots; ++k) {
        const QString next = m_slots[k];
        m_slots[k] = carried;
        if (next.isEmpty() || next == path)
            return;
        carried = next;
    }
}

void RecentFileList::reopen(int slot)
{
    if (slot < 1 || slot > Slots)
        return;
    const QString path = m_slots[slot - 1];
    if (path.isEmpty())
        return;
    for (int k = slot - 1; k >= 1; --k)
        m_slots[k] = m_slots[k - 1];
    m_slots[0] = path;
}

QString RecentFileList::at(int slot) const
{
    return (slot >= 1 && slot <= Slots) ? m_slots[slot - 1] : QString();
}
