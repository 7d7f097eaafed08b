// quilbo-batch: runs batches against a printer without a window, for tests left unattended.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "batch/BatchOptions.h"
#include "batch/BatchRun.h"
#include "link/JournalStore.h"
#include "link/PortNames.h"

namespace
{
std::atomic<int> g_stopSignals{0};

extern "C" void onStopSignal(int signal)
{
    // The first asks for a stop after the current batch, the second for a stop at once, both
    // through the event loop so that the journal gets its results. A third ends the program
    // by the signal, for an event loop held up in a blocking write.
    if (++g_stopSignals >= 2)
        std::signal(signal, SIG_DFL);
}
} // namespace

namespace
{
// --export-csv: the journal's events as the CSV journal writes them.
int ExportJournal(const BatchOptions &options, QFile *err)
{
    QString error;
    JournalStore store;
    QSaveFile out(options.exportCsv);
    if (!JournalStore::isServerLocation(options.journalPath) &&
        !QFileInfo(options.journalPath).isFile())
        error = QStringLiteral("no such journal database");
    else if (!JournalStore::isServerLocation(options.journalPath) &&
             QFileInfo(options.exportCsv).canonicalFilePath() ==
                 QFileInfo(options.journalPath).canonicalFilePath())
        error = QStringLiteral("the export would replace the journal itself");
    else if (!store.open(options.journalPath, QString()))
        error = store.error();
    else if (!out.open(QIODevice::WriteOnly) || !store.exportCsv(&out) || !out.commit())
        error = out.errorString().isEmpty() ? store.error() : out.errorString();
    if (error.isEmpty())
        return BatchRun::AllOk;
    err->write(QStringLiteral("quilbo-batch: Export Error: %1\n").arg(error).toLocal8Bit());
    return BatchRun::UnusableInput;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quilbo-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILBO_VERSION));

    QFile out, err;
    if (!out.open(stdout, QIODevice::WriteOnly) || !err.open(stderr, QIODevice::WriteOnly))
        return BatchRun::UnusableInput;

    BatchOptions options;
    QString message;
    switch (ParseBatchArguments(QCoreApplication::arguments(), &options, &message)) {
    case ParseOutcome::Shown:
        out.write(message.toLocal8Bit());
        return BatchRun::AllOk;
    case ParseOutcome::UsageError:
        err.write(QStringLiteral("quilbo-batch: %1\nTry \"quilbo-batch --help\".\n")
                      .arg(message)
                      .toLocal8Bit());
        return BatchRun::UnusableInput;
    case ParseOutcome::Run:
        break;
    }

    if (!options.exportCsv.isEmpty())
        return ExportJournal(options, &err);
    BatchRun run(options, &out, &err);
    if (!run.prepare())
        return BatchRun::UnusableInput;
    run.setProgressShown(StandardOutputIsTerminal());
    QObject::connect(&run, &BatchRun::finished, &app, &QCoreApplication::exit,
                     Qt::QueuedConnection);

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, &run, [&run] {
        const int stops = g_stopSignals;
        if (stops >= 2)
            run.stopNow();
        else if (stops == 1)
            run.requestStop();
    });
    stopWatch.start(100);

    run.start();
    return QCoreApplication::exec();
}
