// Start-up to the main window shown, against a bare Qt window, each in a fresh process.
// Usage: bench_startup [RUNS]      (runs itself as the child: bench_startup --child bare|quilbo)
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/Windows.h"
#include "widgets/TfmMain.h"

namespace
{
// mode: "bare", "quilbo" (as the program starts) or "quilbo-at-once" (every window and picture
// before the first paint, as before the program deferred them).
int child(int argc, char **argv, const QByteArray &mode, const QString &settings)
{
    QApplication app(argc, argv);
    QWidget *shown = nullptr;
    QMainWindow bare;
    const bool quilbo = mode != "bare";
    if (quilbo) {
        CreateWindows(settings, mode == "quilbo"); // "quilbo": as the program does
        fmMain->tiInitDelay->stop();
        shown = fmMain;
    } else {
        bare.resize(354, 303);
        shown = &bare;
    }
    shown->show();
    // The first turn of the event loop after show(): the window has been laid out and painted.
    QTimer::singleShot(0, &app, [&] {
        std::printf("shown\n");
        std::fflush(stdout);
        app.quit();
    });
    const int rc = app.exec();
    if (quilbo)
        DestroyWindows();
    return rc;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double runOnce(const QString &self, const QString &mode, const QString &settings)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(self, {QStringLiteral("--child"), mode, settings});
    p.waitForFinished(30000);
    const double ms = t.nsecsElapsed() / 1e6;
    if (p.exitCode() != 0 || !p.readAllStandardOutput().contains("shown")) {
        std::fprintf(stderr, "%s child failed: %s\n", qPrintable(mode),
                     p.readAllStandardError().constData());
        std::exit(1);
    }
    return ms;
}
} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && QByteArray(argv[1]) == "--child")
        return child(argc, argv, QByteArray(argv[2]), QString::fromLocal8Bit(argv[3]));

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("quilbo.INI"));
    const QString self = QCoreApplication::applicationFilePath();
    std::vector<double> bare, quilbo, atOnce;
    runOnce(self, QStringLiteral("bare"), settings); // warm the caches once
    for (int i = 0; i < runs; ++i) {
        bare.push_back(runOnce(self, QStringLiteral("bare"), settings));
        quilbo.push_back(runOnce(self, QStringLiteral("quilbo"), settings));
        atOnce.push_back(runOnce(self, QStringLiteral("quilbo-at-once"), settings));
    }
    const double b = median(bare), q = median(quilbo), a = median(atOnce);
    std::printf("startup | bare Qt window %.1f ms | quilbo main window %.1f ms | ratio %.2f\n", b,
                q, q / b);
    std::printf("        | all windows before the first paint %.1f ms | ratio %.2f\n", a, a / b);
    return 0;
}
