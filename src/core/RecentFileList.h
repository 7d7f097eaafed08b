#pragma once
#include <QString>
#include <QStringList>

// Five recent paths, slot 1 newest. Filled slots are contiguous from slot 1 and hold no
// duplicates; paths compare exactly (case-sensitive), as the files were named.
class RecentFileList
{
public:
    static constexpr int Slots = 5;

    // Move-to-front: a new path enters at slot 1, one already listed moves up, the fifth falls off.
    void add(const QString &path);
    // Reopen from slot k (1..5): slots k-1..1 move down one place and slot k's path goes to slot 1.
    void reopen(int slot);
    QString at(int slot) const; // 1-based; empty for a free or out-of-range slot
    QStringList entries() const { return m_slots; }

private:
    QStringList m_slots = QStringList(QVector<QString>(Slots));
};
