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

// Costs per event in ms: the store's commit and a plain write + fsync of the same CSV line.
struct Cost {
    qint64 ours = 0, base = 0, n = 0;
    void add(qint64 o, qint64 b)
    {
        ours += o;
        base += b;
        ++n;
    }
    double ratio() const { return base ? double(ours) / double(base) : 0; }
    double oursMs() const { return n ? double(ours) / 1e6 / double(n) : 0; }
    double baseMs() const { return n ? double(base) / 1e6 / double(n) : 0; }
};

qint64 plainWrite(QFile &f, const JournalEvent &e)
{
    QElapsedTimer t;
    t.start();
    f.write(JournalLine(e));
#ifdef Q_OS_WIN
    ::_commit(f.handle());
#else
    ::fsync(f.handle());
#endif
    return t.nsecsElapsed();
}

// One round, as a run goes: each batch committed, then its result, each next to the same line
// written to a CSV file with an fsync in the same folder, in turns, so that both meet the same
// disk. The first batches of a new log (it grows until its first checkpoint) are counted apart
// from the rest, and with them in all.
struct Round {
    Cost first, batch, all, result;
    bool ok = false;
};

Round appendRound(const QString &db, const QString &plain, int appends, quint64 firstSerial)
{
    Round r;
    QFile f(plain);
    f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    JournalStore s;
    if (!s.open(db, QStringLiteral("bench"))) {
        std::printf("sqlite: %s\n", qPrintable(s.error()));
        return r;
    }
    const int growing = 2 * JournalStore::CheckpointEvery;
    QElapsedTimer t;
    for (int i = 0; i < growing + appends; ++i) {
        JournalEvent e = sampleBatch(firstSerial + quint64(i) * 10, 10);
        t.start();
        const qint64 number = s.appendBatch(e, true);
        const qint64 ours = t.nsecsElapsed();
        e.batch = number;
        const qint64 base = plainWrite(f, e);
        (i < growing ? r.first : r.batch).add(ours, base);
        r.all.add(ours, base);
        JournalEvent res;
        res.kind = JournalKind::Result;
        res.batch = number;
        res.time = e.time;
        res.result = QStringLiteral("Operation OK");
        t.start();
        const bool answered = number > 0 && s.appendResult(number, res.result);
        r.result.add(t.nsecsElapsed(), plainWrite(f, res));
        if (!answered) { // a refused or failed commit would pass for a fast one
            std::printf("sqlite: batch %d not written: %s\n", i, qPrintable(s.error()));
            return r;
        }
    }
    r.ok = true;
    return r;
}

void printRound(const char *what, const Round &r)
{
    std::printf("sqlite, %s: batch %.3f ms vs write+fsync %.3f ms: %.2fx; the first %lld batches "
                "of a new log %.2fx, all %.2fx; result (with its share of the checkpoints) "
                "%.2fx\n",
                what, r.batch.oursMs(), r.batch.baseMs(), r.batch.ratio(), r.first.n,
                r.first.ratio(), r.all.ratio(), r.result.ratio());
}

void appendCost(const QTemporaryDir &dir, int appends, int rounds)
{
    std::vector<double> ratios;
    for (int i = 0; i < rounds; ++i) {
        const Round r = appendRound(dir.filePath(QStringLiteral("append%1.db").arg(i)),
                                    dir.filePath(QStringLiteral("plain%1.csv").arg(i)), appends, 0);
        if (!r.ok)
            return;
        printRound(qPrintable(QStringLiteral("round %1").arg(i + 1)), r);
        ratios.push_back(r.batch.ratio());
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("sqlite batch commit over %d rounds: min %.2fx, median %.2fx, max %.2fx (goal <= "
                "1.2x)\n",
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
    s.close();
    // Commits on this database, above every value it holds.
    const Round r =
        appendRound(db, dir.filePath(QStringLiteral("plain-big.csv")), 300, quint64(batches) * 20);
    if (r.ok)
        printRound(qPrintable(QStringLiteral("on those %1 batches").arg(batches)), r);
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
