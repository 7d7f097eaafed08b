// quilbo-batch's run of batches against the emulator on loopback with immediate replies, next
// to a raw blocking QTcpSocket that writes the same bytes and reads one reply line per batch.
//
//   bench_batchrun [batches [runs]]      default 1000 batches, 3 runs of each
//
// Each measurement runs in a child process of its own, so that its peak resident size (VmHWM)
// belongs to that run alone; the run is also made with a tenth of the batches, to show that
// memory does not grow with their number. The clock includes the connection in both.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "BenchMemory.h"
#include "PrinterSim.h"
#include "TestFiles.h"
#include "batch/BatchRun.h"

namespace
{
const QByteArray Format = "{F,1,A,R,E,100,400,\"b\"|\r\nX,1,24|\r\n}\r\n\r\n"
                          "{B,1,N,1|E,0,0,1,1,0,1|\r\n1,\"000000000000000000000000\"|\r\n}\r\n";
const char FirstEpc[] = "0123456789ABCDEF00000000";

// Takes the batch lines and drops them, as a terminal would show them and scroll on.
class Discard : public QIODevice
{
protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override { return size; }
};

// What the runner sends for batch i (from 0): the EPC is FirstEpc + i.
QByteArray batchBytes(qint64 i)
{
    return "{B,1,N,1|E,0,0,1,1,0,1|\r\n1,\"0123456789ABCDEF" +
           QByteArray::number(i, 16).toUpper().rightJustified(8, '0') + "\"|\r\n}\r\n\n{J,3}";
}

int child(const QString &mode, qint64 batches)
{
    QTemporaryDir dir;
    PrinterSim sim;
    if (!sim.start({QStringLiteral("--quiet")})) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(sim.errorString()));
        return 2;
    }
    const QString format = dir.filePath(QStringLiteral("bench.fmt"));
    if (!writeFile(format, Format))
        return 2;
    BatchOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = sim.port();
    options.formatPath = format;
    options.epc = QLatin1String(FirstEpc);
    options.batches = batches;
    Discard out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    BatchRun run(options, &out, &err);
    QSignalSpy finished(&run, &BatchRun::finished);
    if (!run.prepare())
        return 2;

    const qint64 hwm = statusKiB("VmHWM:");
    const qint64 rss = statusKiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    if (mode == QLatin1String("raw")) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
        if (!socket.waitForConnected(5000))
            return 2;
        for (qint64 i = 0; i < batches; ++i) {
            socket.write(batchBytes(i));
            while (!socket.canReadLine())
                if (!socket.waitForReadyRead(5000))
                    return 3;
            if (!socket.readLine().startsWith("{J,\"\","))
                return 4;
        }
    } else {
        run.start();
        if (!finished.wait(600000) || finished.at(0).at(0).toInt() != BatchRun::AllOk ||
            run.counts().ok != batches)
            return 3;
    }
    const qint64 ms = qMax<qint64>(1, clock.elapsed());
    const qint64 hwmGrowth = statusKiB("VmHWM:") - hwm;
    const qint64 rssGrowth = statusKiB("VmRSS:") - rss;
    // Not the same bytes, and the comparison would mean nothing.
    QByteArray expected;
    for (qint64 i = 0; i < batches; ++i)
        expected += batchBytes(i);
    if (!sim.waitForBytes(expected.size()) || sim.received() != expected)
        return 5;
    std::printf("%lld %lld %lld\n", static_cast<long long>(ms), static_cast<long long>(hwmGrowth),
                static_cast<long long>(rssGrowth));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--child"))
        return child(args[2], args[3].toLongLong());

    const qint64 batches = args.size() > 1 ? args[1].toLongLong() : 1000;
    const int runs = args.size() > 2 ? args[2].toInt() : 3;
    if (batches <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: bench_batchrun [batches [runs]]\n");
        return 1;
    }
    std::printf("median of %d runs; memory: the largest growth seen\n", runs);
    std::printf("%-5s %8s %9s %11s %12s %12s\n", "send", "batches", "ms", "batches/s", "VmHWM +KiB",
                "VmRSS +KiB");
    for (const qint64 n : {batches / 10, batches}) {
        if (n <= 0)
            continue;
        double rawRate = 0;
        for (const char *mode : {"raw", "run"}) {
            QList<double> times;
            qint64 hwm = 0, rss = 0;
            for (int i = 0; i < runs; ++i) {
                QProcess p;
                p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                p.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--child"), QString::fromLatin1(mode), QString::number(n)});
                const QList<QByteArray> f = p.waitForFinished(600000) && p.exitCode() == 0
                                                ? p.readAllStandardOutput().trimmed().split(' ')
                                                : QList<QByteArray>();
                if (f.size() != 3) {
                    std::printf("%-5s run %d failed (exit %d)\n", mode, i, p.exitCode());
                    continue;
                }
                times << f[0].toDouble();
                hwm = qMax(hwm, f[1].toLongLong());
                rss = qMax(rss, f[2].toLongLong());
            }
            if (times.isEmpty())
                continue;
            std::sort(times.begin(), times.end());
            const double ms = times[times.size() / 2];
            const double rate = double(n) * 1000.0 / ms;
            std::printf("%-5s %8lld %9.0f %11.0f %12lld %12lld", mode, static_cast<long long>(n),
                        ms, rate, static_cast<long long>(hwm), static_cast<long long>(rss));
            if (qstrcmp(mode, "raw") == 0)
                rawRate = rate;
            else if (rawRate > 0)
                std::printf("   %.2f x raw", rate / rawRate);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}
