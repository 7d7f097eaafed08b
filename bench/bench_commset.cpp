// Time to show the communication settings dialog, which probes COM1..COM255 on every show.
// Pseudo-terminals mapped through PortOverrides stand in for present ports.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "app/Windows.h"
#include "link/PortNames.h"
#include "widgets/TfmCommSet.h"
#include "widgets/TfmMain.h"

namespace
{

struct Pty {
    int master = -1;
    QString path;
};

std::vector<Pty> openPtys(int count)
{
    std::vector<Pty> out;
    for (int i = 0; i < count; ++i) {
        Pty p;
        p.master = posix_openpt(O_RDWR | O_NOCTTY);
        if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0)
            break;
        p.path = QString::fromLocal8Bit(ptsname(p.master));
        out.push_back(p);
    }
    return out;
}

void closePtys(std::vector<Pty> &ptys)
{
    for (const Pty &p : ptys)
        ::close(p.master);
    ptys.clear();
}

// Maps the ports to pseudo-terminals and every other port to a missing device.
void mapPorts(const QList<int> &ports, const std::vector<Pty> &ptys)
{
    PortOverrides.clear();
    for (int n = 1; n <= 255; ++n)
        PortOverrides[n] = QStringLiteral("/nonexistent/ttyBench%1").arg(n);
    for (int i = 0; i < ports.size() && i < int(ptys.size()); ++i)
        PortOverrides[ports[i]] = ptys[size_t(i)].path;
}

void run(const char *name, const QList<int> &ports, int rounds)
{
    std::vector<Pty> ptys = openPtys(int(ports.size()));
    mapPorts(ports, ptys);
    fmCommSet->show(); // warm-up
    fmCommSet->hide();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < rounds; ++i) {
        fmCommSet->show();
        fmCommSet->hide();
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6 / rounds;
    std::printf("%-34s %4d listed  %8.3f ms per show  (%d shows)\n", name,
                int(fmCommSet->cxPort->count() - 1), ms, rounds);
    closePtys(ptys);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    CreateWindows(dir.filePath(QStringLiteral("quilbo.INI")));
    fmMain->tiInitDelay->stop();
    fmMain->FSession->FComPort = 3;

    run("no ports", {}, 200);
    run("4 ports (COM1, COM3, COM10, COM200)", {1, 3, 10, 200}, 50);
    QList<int> all;
    for (int n = 1; n <= 255; ++n)
        all << n;
    run("every port present", all, 5);

    DestroyWindows();
    return 0;
}
