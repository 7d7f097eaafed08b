// The journal window over a journal database of a million batches: the time until its table
// shows the first rows, a sort by tag URI and a filter change, and the process's peak memory
// with the window open, against the same window with an empty database in the same run. The
// database is made first, in a process of its own, so that its import counts in neither.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

#include "BenchMemory.h"
#include "JournalSample.h"
#include "core/JournalModel.h"
#include "link/JournalStore.h"
#include "widgets/JournalPageModel.h"
#include "widgets/TfmJournal.h"

namespace
{
// Events until the table shows rows, or 10 s.
bool waitForRows(QTableView *view, qint64 rows)
{
    QElapsedTimer t;
    t.start();
    while (view->model()->rowCount() < qMin<qint64>(rows, 1) && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return view->model()->rowCount() >= qMin<qint64>(rows, 1);
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The window over one database; prints its figures on one line.
int window(int argc, char *argv[], const QString &db, qint64 rows)
{
    QApplication app(argc, argv);
    TfmJournal w;
    w.show();
    QElapsedTimer t;
    t.start();
    w.setJournalStore(db);
    w.reload();
    if (!waitForRows(w.lvJournal, rows))
        std::printf("the table shows no rows\n");
    w.lvJournal->viewport()->repaint();
    const double firstMs = msSince(t);
    t.restart();
    w.lvJournal->sortByColumn(JournalModel::ColTagUri, Qt::AscendingOrder);
    w.lvJournal->viewport()->repaint();
    const double sortMs = msSince(t);
    t.restart();
    w.cxResult->setCurrentIndex(w.cxResult->findData(int(JournalFilter::NoResponse)));
    w.lvJournal->viewport()->repaint();
    const double filterMs = msSince(t);
    std::printf("%lld rows: first rows %.1f ms, sort by tag URI %.1f ms, filter %.1f ms, "
                "peak %lld KiB\n",
                rows, firstMs, sortMs, filterMs, statusKiB("VmHWM:"));
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc > 3 && QByteArray(argv[1]) == "--window")
        return window(argc, argv, QString::fromLocal8Bit(argv[2]), atoll(argv[3]));
    QCoreApplication app(argc, argv);
    const int batches = argc > 1 ? atoi(argv[1]) : 1000000;
    QTemporaryDir dir(qEnvironmentVariable("QUILBO_BENCH_DIR", QDir::tempPath()) +
                      QStringLiteral("/bench-journalpages-XXXXXX"));
    const QString csv = dir.filePath(QStringLiteral("big.csv"));
    writeSampleJournal(csv, batches, true);
    for (const qint64 n : {qint64(0), qint64(batches)}) {
        const QString db = dir.filePath(QStringLiteral("j%1.sqlite").arg(n));
        JournalStore store;
        if (!store.open(db, QStringLiteral("bench")) || (n > 0 && !store.importCsv(csv).done)) {
            std::printf("cannot make the database: %s\n", qPrintable(store.error()));
            return 1;
        }
        store.close();
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--window"), db, QString::number(n)});
        child.waitForFinished(-1);
    }
    return 0;
}
