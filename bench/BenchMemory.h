#pragma once
// Memory figures of this process for the benchmarks, from /proc/self/status (Linux): the value
// of a line such as "VmHWM:" in KiB, or -1 where there is none.
#include <QByteArray>
#include <QFile>

inline qint64 statusKiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
