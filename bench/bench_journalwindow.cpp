// The journal window with a journal of a million batch lines (a result after each): the time
// until its table shows them and the peak memory, against a plain read of the same file; the
// longest the GUI thread was kept from its timer meanwhile; a sort of the million rows by each
// column, against std::sort of a million numbers; results arriving for shown rows; the export.
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "BenchMemory.h"
#include "JournalSample.h"
#include "core/JournalModel.h"
#include "widgets/TfmJournal.h"

namespace
{
// CPU time of the whole process: on a machine shared with other work the wall clock also counts
// the time the loader waited for a core.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int lines = argc > 1 ? atoi(argv[1]) : 1000000;
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-journalwindow-XXXXXX"));
    const QString big = dir.filePath(QStringLiteral("big.csv"));
    writeSampleJournal(big, lines, true);

    // Baseline: reading the same bytes from the file (warm, as the load that follows).
    const double readS = plainReadSeconds(big);
    QElapsedTimer t;
    // The journal reader alone, keeping nothing: what any use of the file costs.
    t.restart();
    double cpu = cpuSeconds();
    qint64 kept = 0;
    ScanJournalRaw(big, [&](const JournalRawLine &line) {
        kept += line.kind() == JournalKind::Batch;
        return true;
    });
    const double scanS = double(t.nsecsElapsed()) / 1e9;
    const double scanCpuS = cpuSeconds() - cpu;

    TfmJournal window;
    window.show();
    QApplication::processEvents();
    const qint64 before = statusKiB("VmRSS:");
    // The GUI thread's longest wait for a 5 ms timer while the load runs.
    QElapsedTimer gap;
    qint64 longestGapMs = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestGapMs = std::max(longestGapMs, gap.restart()); });
    t.restart();
    cpu = cpuSeconds();
    gap.start();
    ticker.start(5);
    window.setJournalPath(big);
    window.reload();
    QEventLoop loop;
    QObject::connect(window.model(), &JournalModel::loadFinished, &loop, &QEventLoop::quit);
    loop.exec();
    if (window.lvJournal->model()->rowCount() != lines)
        std::printf("the table shows %d rows, not %d\n", window.lvJournal->model()->rowCount(),
                    lines);
    window.lvJournal->viewport()->repaint();
    const double loadS = double(t.nsecsElapsed()) / 1e9;
    const double loadCpuS = cpuSeconds() - cpu;
    ticker.stop();
    const qint64 peak = statusKiB("VmHWM:");
    const qint64 after = statusKiB("VmRSS:");
    std::printf("load %d batch lines (%.0f MiB) into the window  %7.3f s   plain read %7.3f s   "
                "ratio %.1f\n",
                lines, double(QFileInfo(big).size()) / 1048576.0, loadS, readS, loadS / readS);
    std::printf("  the reader alone (%lld batches)  %7.3f s   window / reader %.2f\n", kept, scanS,
                loadS / scanS);
    std::printf("  CPU time: window %.3f s (both threads), reader alone %.3f s   ratio %.2f\n",
                loadCpuS, scanCpuS, loadCpuS / scanCpuS);
    std::printf("memory: peak %.1f MiB, held %.1f MiB after the load (%.1f MiB before)\n",
                double(peak) / 1024.0, double(after - before) / 1024.0, double(before) / 1024.0);
    std::printf("longest GUI thread stall during the load  %lld ms   (%.1f%% of the load)\n",
                longestGapMs, 100.0 * double(longestGapMs) / (loadS * 1000.0));

    // The main window keeps the already-sent index of the same journal beside the table.
    {
        SentIndex index;
        index.load(big);
        std::printf("with the already-sent index too: peak %.1f MiB, held %.1f MiB\n",
                    double(statusKiB("VmHWM:")) / 1024.0,
                    double(statusKiB("VmRSS:") - before) / 1024.0);
    }

    // Baseline for the sorts: a million random numbers by std::sort.
    std::vector<qint64> numbers(static_cast<size_t>(lines));
    std::mt19937_64 random(7);
    for (qint64 &n : numbers)
        n = qint64(random() >> 1);
    t.restart();
    std::sort(numbers.begin(), numbers.end());
    const double baseMs = double(t.nsecsElapsed()) / 1e6;
    std::printf("std::sort of %d numbers %8.1f ms\n", lines, baseMs);
    QHeaderView *header = window.lvJournal->horizontalHeader();
    for (int c = 0; c < JournalModel::ColumnCount; ++c) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            t.restart();
            header->setSortIndicator(c, order); // as a click on the header does
            QApplication::processEvents();
            const double ms = double(t.nsecsElapsed()) / 1e6;
            std::printf("  sort by %-10s %-4s %8.1f ms   ratio %5.1f\n",
                        qPrintable(window.model()->headerData(c, Qt::Horizontal).toString()),
                        order == Qt::AscendingOrder ? "up" : "down", ms, ms / baseMs);
        }
    }

    // Results for the newest batches while sorted by time, as the send does.
    header->setSortIndicator(JournalModel::ColTime, Qt::DescendingOrder);
    const int results = 1000;
    t.restart();
    for (int i = 0; i < results; ++i) {
        JournalEvent r;
        r.kind = JournalKind::Result;
        r.batch = lines - i;
        r.result = QStringLiteral("No response");
        window.journalAppended(r);
    }
    QApplication::processEvents();
    std::printf("result for a shown row (sorted by time)  %8.1f us\n",
                double(t.nsecsElapsed()) / 1e3 / results);

    // Export: against writing the same number of bytes.
    header->setSortIndicator(JournalModel::ColBatch, Qt::DescendingOrder);
    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    t.restart();
    window.model()->writeCsv(&csv);
    const double exportS = double(t.nsecsElapsed()) / 1e9;
    const QString exportPath = dir.filePath(QStringLiteral("export.csv"));
    t.restart();
    {
        QFile f(exportPath);
        f.open(QIODevice::WriteOnly);
        f.write(csv.data());
    }
    const double writeS = double(t.nsecsElapsed()) / 1e9;
    std::printf("export %d rows (%.0f MiB) as CSV %7.3f s   plain write %7.3f s   ratio %.1f\n",
                lines, double(csv.size()) / 1048576.0, exportS, writeS, exportS / writeS);
    return 0;
}
