// Throughput and memory of a large network send: TfmNet (text and streamed file) against a
// raw blocking QTcpSocket writing the same bytes, all to the emulator in the same run.
//
//   bench_net [MiB [runs]]      default 32 MiB, 5 runs of each
//
// Each measurement runs in a child process of its own, so that its peak resident size
// (VmHWM) belongs to that send alone. The clock runs from the send until the emulator has
// recorded every byte; the link is connected beforehand.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "BenchMemory.h"
#include "PrinterSim.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "widgets/TfmNet.h"

namespace
{

QByteArray makeData(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        b[i] = char((i * 31 + i / 4093) & 0xFF);
    return b;
}

int child(const QString &mode, qint64 size)
{
    QTemporaryDir dir;
    PrinterSim sim;
    if (!sim.start(
            {QStringLiteral("--quiet"), QStringLiteral("--reply"), QStringLiteral("none")})) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(sim.errorString()));
        return 2;
    }
    QByteArray data = makeData(size);
    const qint64 total = size + TfmNet::StatusRequest.size();
    QFile file(dir.filePath(QStringLiteral("bench.bin")));
    if (mode == QLatin1String("file")) {
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != size)
            return 2;
        file.close();
        data = QByteArray(); // the streamed send must not need it
        if (!file.open(QIODevice::ReadOnly))
            return 2;
    }

    qint64 hwm = 0, rss = 0;
    QElapsedTimer clock;
    if (mode == QLatin1String("raw")) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
        if (!socket.waitForConnected(5000))
            return 2;
        hwm = statusKiB("VmHWM:");
        rss = statusKiB("VmRSS:");
        clock.start();
        socket.write(data);
        socket.write(TfmNet::StatusRequest);
        while (socket.bytesToWrite() > 0)
            if (!socket.waitForBytesWritten(10000))
                return 3;
    } else {
        TestWindows w;
        fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
        fmNet->edPort->setText(QString::number(sim.port()));
        fmNet->bnConnectClick();
        QSignalSpy connected(fmNet->csNet, &QTcpSocket::connected);
        if (fmNet->csNet->state() != QAbstractSocket::ConnectedState && !connected.wait(5000))
            return 2;
        QSignalSpy finished(fmNet, &TfmNet::transferFinished);
        hwm = statusKiB("VmHWM:");
        rss = statusKiB("VmRSS:");
        clock.start();
        if (mode == QLatin1String("file"))
            fmNet->SendFileWithStatus(&file, size);
        else
            fmNet->SendWithStatus(data);
        if (!finished.wait(120000) || !finished.at(0).at(0).toBool())
            return 3;
    }
    if (!sim.waitForBytes(total, 120000))
        return 3;
    const qint64 ms = qMax<qint64>(1, clock.elapsed());
    const qint64 hwmGrowth = statusKiB("VmHWM:") - hwm;
    const qint64 rssGrowth = statusKiB("VmRSS:") - rss;
    if (sim.receivedSize() != total)
        return 4;
    std::printf("%s %lld %lld %lld %lld\n", qPrintable(mode), static_cast<long long>(total),
                static_cast<long long>(ms), static_cast<long long>(hwmGrowth),
                static_cast<long long>(rssGrowth));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--child"))
        return child(args[2], args[3].toLongLong());

    const qint64 mib = args.size() > 1 ? args[1].toLongLong() : 32;
    const int runs = args.size() > 2 ? args[2].toInt() : 5;
    if (mib <= 0 || runs <= 0) {
        std::fprintf(stderr, "usage: bench_net [MiB [runs]]\n");
        return 1;
    }
    const qint64 size = mib << 20;
    std::printf("%lld MiB per send, median of %d runs; memory: the largest growth seen\n",
                static_cast<long long>(mib), runs);
    std::printf("%-6s %9s %10s %14s %14s\n", "send", "ms", "MiB/s", "VmHWM +KiB", "VmRSS +KiB");
    double rawRate = 0;
    for (const char *mode : {"raw", "text", "file"}) {
        QList<double> times;
        qint64 hwm = 0, rss = 0;
        for (int run = 0; run < runs; ++run) {
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), QString::fromLatin1(mode), QString::number(size)});
            const QList<QByteArray> f = p.waitForFinished(300000) && p.exitCode() == 0
                                            ? p.readAllStandardOutput().trimmed().split(' ')
                                            : QList<QByteArray>();
            if (f.size() != 5) {
                std::printf("%-6s run %d failed (exit %d)\n", mode, run, p.exitCode());
                continue;
            }
            times << f[2].toDouble();
            hwm = qMax(hwm, f[3].toLongLong());
            rss = qMax(rss, f[4].toLongLong());
        }
        if (times.isEmpty())
            continue;
        std::sort(times.begin(), times.end());
        const double ms = times[times.size() / 2];
        const double rate = double(mib) * 1000.0 / ms;
        if (qstrcmp(mode, "raw") == 0)
            rawRate = rate;
        std::printf("%-6s %9.0f %10.1f %14lld %14lld", mode, ms, rate, static_cast<long long>(hwm),
                    static_cast<long long>(rss));
        if (rawRate > 0 && qstrcmp(mode, "raw") != 0)
            std::printf("   %.2f x raw", rate / rawRate);
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
