#pragma once
// A journal for the benchmarks: batches of ten labels counting up, written in large pieces
// without syncs. Plain: "Operation OK" after every tenth batch; mixed: a result after every
// batch, now and then a failure or no response.
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include "core/Journal.h"

inline JournalEvent sampleBatch(quint64 serial, int quantity)
{
    JournalEvent e;
    e.time = QStringLiteral("2026-12-08T10:42:05+01:00");
    e.link = QStringLiteral("IP 127.0.0.1:9100");
    e.quantity = quantity;
    e.withFormat = false;
    e.firstEpc = QStringLiteral("3074257BF7194E%1").arg(serial, 10, 16, QLatin1Char('0')).toUpper();
    e.lastEpc = JournalLastEpc(e.firstEpc, quantity);
    e.tagUri = QStringLiteral("urn:epc:tag:sgtin-96:3.0614141.812345.%1").arg(serial);
    e.nextEntry = JournalLastEpc(e.firstEpc, quantity + 1);
    return e;
}

inline void writeSampleJournal(const QString &path, int lines, bool mixed = false)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(JournalHeader);
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        JournalEvent e = sampleBatch(quint64(i) * 10, 10);
        e.batch = i + 1;
        e.time = QStringLiteral("2026-12-%1T%2:%3:%4+01:00") // a batch a second
                     .arg(1 + i / 86400 % 28, 2, 10, QLatin1Char('0'))
                     .arg(i / 3600 % 24, 2, 10, QLatin1Char('0'))
                     .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'));
        chunk += JournalLine(e);
        if (mixed || i % 10 == 0) {
            JournalEvent r;
            r.kind = JournalKind::Result;
            r.batch = i + 1;
            r.time = e.time;
            r.result = !mixed || i % 13 ? QStringLiteral("Operation OK")
                       : i % 2          ? QStringLiteral("No response")
                                        : QStringLiteral("Label encoding failed{J,\"E1\"}");
            chunk += JournalLine(r);
        }
        if (chunk.size() > (1 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
}

// The baseline of every load: reading the same bytes from the file, in seconds.
inline double plainReadSeconds(const QString &path)
{
    QElapsedTimer t;
    t.start();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QByteArray buf(4 << 20, 0);
    while (f.read(buf.data(), buf.size()) > 0) {
    }
    return double(t.nsecsElapsed()) / 1e9;
}
