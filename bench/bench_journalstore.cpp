// The journal store: one batch committed to SQLite against a plain write + fsync of the same
// bytes; a million batches (lookup, the window's first page, a sorted and a filtered page,
// the totals); two writers reserving batches on a PostgreSQL cluster against one.
// Usage: bench_journalstore [appends] [batches] [reservations] [rounds]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include "JournalSample.h"
#include "PgCluster.h"
#include "link/JournalStore.h"

namespace
{
double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// One round: n batches committed to a fresh store, each next to the same batch written as a
// CSV line with an fsync in the same folder, in turns, so that both meet the same disk; the
// cost per batch of each, in ms.
QPair<double, double> appendRound(const QTemporaryDir &dir, int round, int appends)
{
    QFile f(dir.filePath(QStringLiteral("plain%1.csv").arg(round)));
    f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    JournalStore s;
    if (!s.open(dir.filePath(QStringLiteral("append%1.db").arg(round)), QStringLiteral("bench"))) {
        std::printf("sqlite: %s\n", qPrintable(s.error()));
        return {1, 0};
    }
    QElapsedTimer t;
    qint64 base = 0, ours = 0;
    for (int i = 0; i < appends; ++i) {
        JournalEvent e = sampleBatch(quint64(i) * 10, 10);
        t.start();
        s.appendBatch(e, true);
        ours += t.nsecsElapsed();
        e.batch = i + 1;
        t.start();
        f.write(JournalLine(e));
#ifdef Q_OS_WIN
        ::_commit(f.handle());
#else
        ::fsync(f.handle());
#endif
        base += t.nsecsElapsed();
    }
    return {double(base) / 1e6 / appends, double(ours) / 1e6 / appends};
}

void appendCost(const QTemporaryDir &dir, int appends, int rounds)
{
    std::vector<double> ratios;
    for (int r = 0; r < rounds; ++r) {
        const QPair<double, double> c = appendRound(dir, r, appends);
        std::printf("sqlite append, round %d: %.3f ms per batch vs write+fsync %.3f ms: %.2fx\n",
                    r + 1, c.second, c.first, c.second / c.first);
        ratios.push_back(c.second / c.first);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("sqlite append over %d rounds: min %.2fx, median %.2fx, max %.2fx (goal <= 1.2x)\n",
                rounds, ratios.front(), ratios[ratios.size() / 2], ratios.back());
}

void million(const QTemporaryDir &dir, int batches)
{
    const QString csv = dir.filePath(QStringLiteral("big.csv"));
    writeSampleJournal(csv, batches, true);
    const QString db = dir.filePath(QStringLiteral("big.db"));
    QElapsedTimer t;
    {
        JournalStore s;
        s.open(db, QStringLiteral("bench"));
        t.start();
        const JournalStore::Import imp = s.importCsv(csv);
        std::printf("import: %lld events in %.1f s\n", imp.events, msSince(t) / 1000);
    }
    JournalStore s;
    t.restart();
    s.open(db, QStringLiteral("bench"));
    const QList<JournalStore::Row> first = s.page({});
    const JournalTotals all = s.totals(JournalFilter::All);
    std::printf("first page (open, %lld rows, totals of %lld batches): %.1f ms (goal 200 ms)\n",
                qint64(first.size()), all.batches, msSince(t));
    auto timed = [&](const char *what, JournalStore::PageQuery q) {
        t.restart();
        const qint64 n = s.page(q).size();
        const JournalTotals tot = s.totals(q.filter);
        std::printf("%s: %lld rows of %lld, %.1f ms (goal 300 ms)\n", what, n, tot.batches,
                    msSince(t));
    };
    timed("sort by tag URI", {JournalStore::ColTagUri, false, JournalFilter::All, 0, 200});
    timed("filter no response", {JournalStore::ColBatch, true, JournalFilter::NoResponse, 0, 200});
    timed("filter failed, sort by result",
          {JournalStore::ColResult, false, JournalFilter::EncodingFailed, 0, 200});
    timed("all, last page", {JournalStore::ColBatch, true, JournalFilter::All, batches - 200, 200});
    // Lookups of values spread over the journal, and a few never sent.
    const int lookups = 2000;
    std::vector<double> us;
    auto *rng = QRandomGenerator::global();
    for (int i = 0; i < lookups; ++i) {
        const quint64 serial = rng->bounded(quint64(batches) * 12);
        const QString hex =
            QStringLiteral("3074257BF7194E%1").arg(serial, 10, 16, QLatin1Char('0')).toUpper();
        JournalStore::Conflict hit;
        t.restart();
        s.lookup(hex, &hit);
        us.push_back(double(t.nsecsElapsed()) / 1e3);
    }
    std::sort(us.begin(), us.end());
    std::printf("lookup: median %.1f us, 99th %.1f us (goal 200 us)\n", us[us.size() / 2],
                us[us.size() * 99 / 100]);
}

void postgres(int reservations)
{
    PgCluster pg;
    if (!pg.start(true)) {
        std::printf("postgresql: skipped (%s)\n", qPrintable(pg.error()));
        return;
    }
    auto reserve = [](const QString &where, int writer, std::atomic<int> *won, int n) {
        JournalStore s;
        if (!s.open(where, QStringLiteral("w%1").arg(writer)))
            return;
        for (int k = 0; k < n; ++k)
            if (s.appendBatch(sampleBatch(quint64(k) * 10, 10), true) > 0)
                ++*won;
    };
    double rate[2] = {};
    for (int writers = 1; writers <= 2; ++writers) {
        const QString where = pg.createDatabase(QStringLiteral("bench%1").arg(writers));
        {
            JournalStore prepare; // the schema, before the clock starts
            prepare.open(where, QStringLiteral("w0"));
        }
        std::atomic<int> won{0};
        QElapsedTimer t;
        t.start();
        std::vector<std::thread> threads;
        for (int w = 0; w < writers; ++w)
            threads.emplace_back(reserve, where, w, &won, reservations);
        for (auto &th : threads)
            th.join();
        rate[writers - 1] = won / (msSince(t) / 1000);
        JournalStore check;
        check.open(where, QStringLiteral("w0"));
        std::printf("postgresql, %d writer(s): %d of %d ranges reserved, %.0f batches/s, "
                    "%lld batch rows\n",
                    writers, won.load(), reservations, rate[writers - 1],
                    check.totals(JournalFilter::All).batches);
    }
    std::printf("postgresql: two writers / one writer: %.2fx (goal >= 0.5x)\n", rate[1] / rate[0]);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int appends = argc > 1 ? atoi(argv[1]) : 300;
    const int batches = argc > 2 ? atoi(argv[2]) : 1000000;
    const int reservations = argc > 3 ? atoi(argv[3]) : 500;
    const int rounds = argc > 4 ? qMax(1, atoi(argv[4])) : 5;
    // In the system's temporary folder (a disk here, not memory: the fsync must cost what it
    // costs); QUILBO_BENCH_DIR names another, for a disk of its own.
    const QString base = qEnvironmentVariable("QUILBO_BENCH_DIR", QDir::tempPath());
    QTemporaryDir dir(base + QStringLiteral("/bench-journalstore-XXXXXX"));
    if (appends > 0) // 0 leaves a part out
        appendCost(dir, appends, rounds);
    if (batches > 0)
        million(dir, batches);
    if (reservations > 0)
        postgres(reservations);
    return 0;
}
