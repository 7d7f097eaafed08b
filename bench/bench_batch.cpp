// One press of the send button to the last byte at the printer emulator, against a raw socket
// write of the same bytes to the same emulator in the same run. Usage: bench_batch [PRESSES]
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "PrinterSim.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"

namespace
{
// Spins the event loop without sleeping, so the figure is not rounded to a poll interval.
bool spinUntil(const PrinterSim &sim, qint64 bytes)
{
    QElapsedTimer t;
    t.start();
    while (sim.receivedSize() < bytes) {
        QCoreApplication::processEvents();
        if (t.elapsed() > 10000)
            return false;
    }
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int presses = argc > 1 ? std::max(5, atoi(argv[1])) : 200;

    PrinterSim sim;
    if (!sim.start(
            {QStringLiteral("--reply"), QStringLiteral("none"), QStringLiteral("--quiet")})) {
        std::fprintf(stderr, "emulator: %s\n", qPrintable(sim.errorString()));
        return 1;
    }
    TestWindows w;
    fmMain->FSession->FComPort = 0;
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->findChild<QLineEdit *>(QStringLiteral("edPort"))->setText(QString::number(sim.port()));

    // The first press connects and sends the format packet too; it is not counted.
    w.prompt.answers.enqueue(ModalResult::Yes);
    fmMain->sbSendBatchClick();
    if (!QTest::qWaitFor([&] { return sim.received().endsWith("{J,3}"); })) {
        std::fprintf(stderr, "the first batch did not arrive (%lld bytes)\n",
                     static_cast<long long>(sim.receivedSize()));
        return 1;
    }
    QTest::qWait(200);
    qint64 total = sim.receivedSize();

    std::vector<double> pressMs;
    QByteArray oneBatch;
    for (int i = 0; i < presses; ++i) {
        const qint64 before = total;
        QElapsedTimer t;
        t.start();
        fmMain->sbSendBatchClick();
        // Every batch is the same length: the tag data keeps its width as it steps on.
        if (i == 0) {
            if (!QTest::qWaitFor([&] {
                    return sim.receivedSize() > before && sim.received().endsWith("{J,3}");
                })) {
                std::fprintf(stderr, "the second batch did not arrive\n");
                return 1;
            }
            oneBatch = sim.received().mid(before);
            total = before + oneBatch.size();
            pressMs.push_back(t.nsecsElapsed() / 1e6);
            continue;
        }
        total += oneBatch.size();
        if (!spinUntil(sim, total))
            return 1;
        pressMs.push_back(t.nsecsElapsed() / 1e6);
    }

    QTcpSocket raw;
    raw.connectToHost(QStringLiteral("127.0.0.1"), sim.port());
    if (!raw.waitForConnected(5000))
        return 1;
    std::vector<double> rawMs;
    for (int i = 0; i < presses; ++i) {
        QElapsedTimer t;
        t.start();
        raw.write(oneBatch);
        raw.flush();
        total += oneBatch.size();
        if (!spinUntil(sim, total))
            return 1;
        rawMs.push_back(t.nsecsElapsed() / 1e6);
    }
    const double p = median(pressMs), r = median(rawMs);
    std::printf("batch send | %d presses of %lld bytes | press to last byte %.3f ms | raw socket "
                "%.3f ms | ratio %.2f\n",
                presses, static_cast<long long>(oneBatch.size()), p, r, p / r);
    return 0;
}
