// File transfer throughput and memory, against plain sends of the same file in the same run.
//
//   bench_transfer [--pairs N] [MiB ...]
//       network: the transfer window against a raw socket, per size (default 16 and 64);
//       serial: the window against `cat` to a pseudo-terminal (16 MiB), in N pairs (default 8)
//
// Each measurement runs in a child process of its own, so that its peak resident size
// (VmHWM) belongs to that transfer alone.
//
// The serial figures swing with the machine's load: on a shared 2-core machine a transfer,
// `cat`'s as much as the window's, takes two to three times its usual time in about one run
// of four. One pair alone then reads as 0.3x or 3x by chance, so the serial part runs
// window and `cat` alternately, pair after pair, and reports the spread of each as well as
// the ratios.
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>

#include "BenchMemory.h"
#include "PrinterSim.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "link/PortNames.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace
{

bool makeFile(const QString &path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, '\0');
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char((i * 31) & 0xFF);
    for (qint64 left = size; left > 0; left -= chunk.size())
        if (f.write(chunk.constData(), qMin<qint64>(left, chunk.size())) < 0)
            return false;
    return true;
}

void report(const char *what, qint64 size, qint64 ms, qint64 hwmBefore)
{
    const double mib = double(size) / (1 << 20);
    std::printf("%-8s %6.0f MiB %8lld ms %8.1f MiB/s   VmHWM +%lld KiB\n", what, mib,
                static_cast<long long>(ms), ms > 0 ? mib * 1000.0 / double(ms) : 0.0,
                static_cast<long long>(statusKiB("VmHWM:") - hwmBefore));
    std::fflush(stdout);
}

// ---- network ------------------------------------------------------------------------------

int childNet(bool raw, qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.all"));
    if (!makeFile(path, size))
        return 2;
    PrinterSim sim;
    if (!sim.start({QStringLiteral("--quiet")})) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(sim.errorString()));
        return 2;
    }

    if (raw) {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
        if (!socket.waitForConnected(5000))
            return 2;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return 2;
        const qint64 hwm = statusKiB("VmHWM:");
        QElapsedTimer clock;
        clock.start();
        while (!f.atEnd()) {
            socket.write(f.read(64 * 1024));
            while (socket.bytesToWrite() > 256 * 1024)
                socket.waitForBytesWritten(5000);
        }
        socket.write(TfmNet::StatusRequest);
        while (socket.bytesToWrite() > 0)
            socket.waitForBytesWritten(5000);
        if (!sim.waitForBytes(size + TfmNet::StatusRequest.size(), 120000))
            return 3;
        report("raw", size, clock.elapsed(), hwm);
        return 0;
    }

    TestWindows w("[EPC]\r\nCOM=0\r\nTCPIPADDR=127.0.0.1\r\n");
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->edPort->setText(QString::number(sim.port()));
    fmNet->bnConnectClick();
    QElapsedTimer wait;
    wait.start();
    while (!fmNet->FLinkActive || fmNet->csNet->state() != QAbstractSocket::ConnectedState) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        if (wait.elapsed() > 5000)
            return 2;
    }
    SendFileName = path;
    const qint64 hwm = statusKiB("VmHWM:");
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [] { fmProg->tiDelayTimer(); });
    fmProg->exec();
    if (!sim.waitForBytes(size + TfmNet::StatusRequest.size(), 120000))
        return 3;
    report("window", size, clock.elapsed(), hwm);
    return sim.received().size() == size + TfmNet::StatusRequest.size() ? 0 : 4;
}

// ---- serial -------------------------------------------------------------------------------

#ifdef Q_OS_UNIX
// Drains the master side of a pseudo-terminal and counts what arrives.
struct Pty {
    int master = -1, slave = -1;
    QString path;
    std::atomic<qint64> count{0};
    std::atomic<bool> stop{false};
    std::thread reader;

    bool open()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) || ::unlockpt(master))
            return false;
        path = QString::fromLocal8Bit(::ptsname(master));
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        reader = std::thread([this] {
            char buf[65536];
            while (!stop) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
                    const ssize_t n = ::read(master, buf, sizeof buf);
                    if (n > 0)
                        count += n;
                }
            }
        });
        return slave >= 0;
    }
    ~Pty()
    {
        stop = true;
        if (reader.joinable())
            reader.join();
        ::close(slave);
        ::close(master);
    }
};

int childSerial(bool raw, qint64 size)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.all"));
    if (!makeFile(path, size))
        return 2;
    Pty pty;
    if (!pty.open())
        return 2;
    // The windows exist before the figures start, as they do in the program.
    std::unique_ptr<TestWindows> w;
    if (!raw) {
        w = std::make_unique<TestWindows>("[EPC]\r\nCOM=9\r\n");
        PortOverrides[9] = pty.path;
        SendFileName = path;
    }
    const qint64 hwm = statusKiB("VmHWM:");
    QElapsedTimer clock;
    clock.start();
    if (raw) {
        QProcess cat;
        cat.start(QStringLiteral("sh"),
                  {QStringLiteral("-c"), QStringLiteral("cat \"$0\" > \"$1\""), path, pty.path});
        if (!cat.waitForFinished(300000))
            return 3;
    } else {
        QTimer::singleShot(0, [] {
            fmProg->tiDelayTimer();
            fmProg->tiMsgDelayTimer();
        });
        fmProg->exec();
    }
    while (pty.count < size && clock.elapsed() < 300000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    report(raw ? "cat" : "window", size, clock.elapsed(), hwm);
    return pty.count == size ? 0 : 4;
}
#endif

int runChild(const QString &self, const QStringList &args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(self, args);
    child.waitForFinished(-1);
    if (child.exitCode() != 0)
        std::printf("  (%s failed: exit %d)\n", qPrintable(args.join(' ')), child.exitCode());
    return child.exitCode();
}

#ifdef Q_OS_UNIX
// Runs a child that prints one report() line, passes the line on and returns its time in ms;
// -1 when it failed.
double timedChild(const QString &self, const QStringList &args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setReadChannel(QProcess::StandardOutput);
    child.start(self, args);
    child.waitForFinished(-1);
    const QByteArray out = child.readAllStandardOutput();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral(" (\\d+) ms ")).match(QString::fromLatin1(out));
    if (child.exitCode() != 0 || !m.hasMatch()) {
        std::printf("  (%s failed: exit %d)\n", qPrintable(args.join(' ')), child.exitCode());
        return -1;
    }
    return m.captured(1).toDouble();
}

struct Spread {
    double min, median, max;
};

Spread spreadOf(QList<double> v)
{
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {v.first(), median, v.last()};
}

// Window and `cat` alternately, so that both see the same spells of load.
int serialPairs(const QString &self, qint64 size, int pairs)
{
    std::printf("serial (pseudo-terminal), %d pairs of window then cat\n", pairs);
    std::fflush(stdout);
    QList<double> window, cat, ratio;
    int failures = 0;
    for (int i = 0; i < pairs; ++i) {
        const double w = timedChild(self, {"--child", "serial", QString::number(size)});
        const double c = timedChild(self, {"--child", "serial-raw", QString::number(size)});
        failures += (w < 0) + (c < 0);
        if (w <= 0 || c <= 0)
            continue;
        window << w;
        cat << c;
        ratio << c / w; // above 1: the window was faster
    }
    if (window.isEmpty())
        return failures + 1;
    const Spread sw = spreadOf(window), sc = spreadOf(cat), sr = spreadOf(ratio);
    std::printf("  window ms  min %.0f  median %.0f  max %.0f\n", sw.min, sw.median, sw.max);
    std::printf("  cat ms     min %.0f  median %.0f  max %.0f   (cat's own max/min %.2f)\n", sc.min,
                sc.median, sc.max, sc.max / sc.min);
    std::printf("  speed against cat, per pair  min %.2f  median %.2f  max %.2f;"
                "  of the medians %.2f\n",
                sr.min, sr.median, sr.max, sc.median / sw.median);
    std::fflush(stdout);
    return failures;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);

    if (args.value(0) == QLatin1String("--child")) {
        const QString kind = args.value(1);
        const qint64 size = args.value(2).toLongLong();
        if (kind == QLatin1String("net-raw") || kind == QLatin1String("net"))
            return childNet(kind == QLatin1String("net-raw"), size);
#ifdef Q_OS_UNIX
        if (kind == QLatin1String("serial-raw") || kind == QLatin1String("serial"))
            return childSerial(kind == QLatin1String("serial-raw"), size);
#endif
        return 1;
    }

    QList<qint64> sizes;
    int pairs = 8;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pairs"))
            pairs = qMax(1, args.value(++i).toInt());
        else
            sizes << args[i].toLongLong() * (1 << 20);
    }
    if (sizes.isEmpty())
        sizes = {16LL << 20, 64LL << 20};

    const QString self = app.applicationFilePath();
    int failures = 0;
    std::printf("network (to the emulator on loopback)\n");
    std::fflush(stdout);
    for (qint64 size : sizes) {
        failures += runChild(self, {"--child", "net-raw", QString::number(size)}) != 0;
        failures += runChild(self, {"--child", "net", QString::number(size)}) != 0;
    }
#ifdef Q_OS_UNIX
    failures += serialPairs(self, 16LL << 20, pairs);
#endif
    return failures == 0 ? 0 : 1;
}
