// The batch journal: one appended line with its fsync against a plain write + fsync of the
// same bytes; loading a journal of a million batch lines into the already-sent index (time
// and peak memory); one lookup.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include "BenchMemory.h"
#include "JournalSample.h"
#include "core/Journal.h"

namespace
{
int syncFd(int fd)
{
#ifdef Q_OS_WIN
    return ::_commit(fd);
#else
    return ::fsync(fd);
#endif
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int appends = argc > 1 ? atoi(argv[1]) : 300;
    const int lines = argc > 2 ? atoi(argv[2]) : 1000000;
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-journal-XXXXXX"));

    // Baseline first: the same bytes, written and synced by hand.
    {
        QFile f(dir.filePath(QStringLiteral("plain.csv")));
        f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < appends; ++i) {
            JournalEvent e = sampleBatch(quint64(i) * 10, 10);
            e.batch = i + 1;
            f.write(JournalLine(e));
            syncFd(f.handle());
        }
        const double base = double(t.nsecsElapsed()) / 1e6 / appends;
        JournalWriter w;
        w.open(dir.filePath(QStringLiteral("journal.csv")));
        t.restart();
        for (int i = 0; i < appends; ++i)
            w.appendBatch(sampleBatch(quint64(i) * 10, 10));
        const double ours = double(t.nsecsElapsed()) / 1e6 / appends;
        std::printf("append batch line + fsync   %8.3f ms   plain write+fsync %8.3f ms   ratio "
                    "%.2f\n",
                    ours, base, ours / base);
    }

    // A million batch lines, with a result line after every tenth, written without syncs.
    const QString big = dir.filePath(QStringLiteral("big.csv"));
    writeSampleJournal(big, lines);
    const qint64 before = statusKiB("VmHWM:");
    QElapsedTimer t;
    t.start();
    SentIndex index;
    int skipped = 0;
    index.load(big, &skipped);
    const double loadS = double(t.nsecsElapsed()) / 1e9;
    const qint64 peak = statusKiB("VmHWM:");
    // Baseline: reading the same bytes from the file.
    const double readS = plainReadSeconds(big);
    std::printf("load %d batch lines (%.0f MiB)  %8.3f s   plain read %8.3f s   ratio %.1f   "
                "skipped %d\n",
                lines, double(QFileInfo(big).size()) / 1048576.0, loadS, readS, loadS / readS,
                skipped);
    std::printf("peak memory (VmHWM)          %8.1f MiB (%.1f MiB before the load)\n",
                double(peak) / 1024.0, double(before) / 1024.0);

    const int probes = 200000;
    QStringList values;
    for (int i = 0; i < 1000; ++i)
        values << QStringLiteral("3074257BF7194E%1")
                      .arg(quint64(i) * 9973 % (quint64(lines) * 10), 10, 16, QLatin1Char('0'))
                      .toUpper();
    SentIndex::Hit hit;
    int found = 0;
    t.restart();
    for (int i = 0; i < probes; ++i)
        found += index.lookup(values[i % values.size()], &hit);
    const double us = double(t.nsecsElapsed()) / 1e3 / probes;
    // Baseline: the same hex text turned into bytes, which every lookup needs anyway.
    t.restart();
    qint64 sink = 0;
    for (int i = 0; i < probes; ++i)
        sink += QByteArray::fromHex(values[i % values.size()].toLatin1()).size();
    const double baseUs = double(t.nsecsElapsed()) / 1e3 / probes;
    std::printf(
        "lookup                      %8.3f us   hex decode %8.3f us   (%d of %d found, %lld)\n", us,
        baseUs, found, probes, sink);
    return 0;
}
