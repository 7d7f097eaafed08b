// quilbo-printer-sim: stands in for the label printer in tests and demos.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>

#include "Simulator.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#else
#include <atomic>
#include <fcntl.h>
#include <io.h>
#include <thread>
#endif

namespace
{

const QByteArray SuccessReply = "{J,\"\",\"\",\"\",\"\"}\r\n";
const QByteArray FailureReply = "{J,\"E1\",\"1\",\"\",\"\"}\r\n";

// \r \n \t \\ \0 and \xHH, so that a test can ask for any bytes.
bool unescape(const QString &text, QByteArray *out)
{
    const QByteArray in = text.toLocal8Bit();
    out->clear();
    for (int i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '\\') {
            out->append(c);
            continue;
        }
        if (++i >= in.size())
            return false;
        switch (in[i]) {
        case 'r':
            out->append('\r');
            break;
        case 'n':
            out->append('\n');
            break;
        case 't':
            out->append('\t');
            break;
        case '0':
            out->append('\0');
            break;
        case '\\':
            out->append('\\');
            break;
        case 'x': {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (!ok || i + 2 >= in.size())
                return false;
            out->append(char(v));
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

#ifdef Q_OS_UNIX
int g_signalPipe[2] = {-1, -1};
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

void quitOnStdinEof(QCoreApplication &app)
{
    auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, notifier] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
            notifier->setEnabled(false);
            app.quit();
        }
    });
}
#else
std::atomic<bool> g_quit{false};
void onSignal(int)
{
    g_quit = true;
}

void quitOnSignals(QCoreApplication &app)
{
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    auto *poll = new QTimer(&app);
    QObject::connect(poll, &QTimer::timeout, &app, [&app] {
        if (g_quit)
            app.quit();
    });
    poll->start(100);
}

void quitOnStdinEof(QCoreApplication &)
{
    std::thread([] {
        char buf[4096];
        while (std::fread(buf, 1, sizeof buf, stdin) > 0) {
        }
        g_quit = true;
    }).detach();
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quilbo-printer-sim"));
#ifdef Q_OS_WIN
    _setmode(_fileno(stdout), _O_BINARY); // recorded bytes go out unchanged
#endif

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A stand-in label printer for tests and demos. Prints "
                       "\"listening 127.0.0.1:PORT\" first, then \"pty PATH\" with --pty."));
    parser.addHelpOption();
    const QCommandLineOption portOpt(QStringLiteral("port"),
                                     QStringLiteral("TCP port on 127.0.0.1; 0 picks a free one."),
                                     QStringLiteral("N"), QStringLiteral("9100"));
    const QCommandLineOption recordOpt(
        QStringLiteral("record"),
        QStringLiteral("Append every byte received to FILE (\"-\": standard output)."),
        QStringLiteral("FILE"));
    const QCommandLineOption replyOpt(QStringLiteral("reply"),
                                      QStringLiteral("Answer to {J,3}: success, fail or none."),
                                      QStringLiteral("MODE"), QStringLiteral("success"));
    const QCommandLineOption replyTextOpt(
        QStringLiteral("reply-text"),
        QStringLiteral("Answer to {J,3} as given; escapes \\r \\n \\t \\\\ \\0 \\xHH."),
        QStringLiteral("TEXT"));
    const QCommandLineOption repeatOpt(QStringLiteral("reply-repeat"),
                                       QStringLiteral("Send the answer N times."),
                                       QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption delayOpt(
        QStringLiteral("reply-delay"),
        QStringLiteral("Wait MS milliseconds before answering; a list \"MS,MS,...\" gives "
                       "each request its own wait, the last for the rest; -1 leaves that "
                       "request unanswered. Answers keep the order of the requests."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption failEveryOpt(
        QStringLiteral("fail-every"),
        QStringLiteral("Answer every Nth status request with the failure reply."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption failShareOpt(
        QStringLiteral("fail-share"),
        QStringLiteral("Answer this share (0..1) of status requests, drawn at random, with the "
                       "failure reply."),
        QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption seedOpt(QStringLiteral("seed"),
                                     QStringLiteral("Seed of the draws of --fail-share."),
                                     QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption slowOpt(QStringLiteral("slow"),
                                     QStringLiteral("Use tiny receive buffers."));
    const QCommandLineOption rateOpt(QStringLiteral("rate"),
                                     QStringLiteral("Read at most N bytes a second per client."),
                                     QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption closeOpt(
        QStringLiteral("close-after"),
        QStringLiteral("Close a connection once N bytes have come from it."), QStringLiteral("N"));
    const QCommandLineOption ptyOpt(QStringLiteral("pty"),
                                    QStringLiteral("Open a pseudo-terminal as the serial side."));
    const QCommandLineOption quietOpt(QStringLiteral("quiet"),
                                      QStringLiteral("Print only the start-up lines."));
    const QCommandLineOption stdinOpt(QStringLiteral("exit-on-stdin-eof"),
                                      QStringLiteral("Exit when standard input closes."));
    parser.addOptions({portOpt, recordOpt, replyOpt, replyTextOpt, repeatOpt, delayOpt,
                       failEveryOpt, failShareOpt, seedOpt, slowOpt, rateOpt, closeOpt, ptyOpt,
                       quietOpt, stdinOpt});
    parser.process(app);

    auto fail = [](const QString &message) {
        std::fprintf(stderr, "quilbo-printer-sim: %s\n", qPrintable(message));
        return 2;
    };
    auto number = [&parser](const QCommandLineOption &o, qint64 min, qint64 max, qint64 *out) {
        bool ok = false;
        *out = parser.value(o).toLongLong(&ok);
        return ok && *out >= min && *out <= max;
    };

    SimOptions options;
    qint64 n = 0;
    if (!number(portOpt, 0, 65535, &n))
        return fail(QStringLiteral("--port must be 0..65535"));
    options.port = quint16(n);
    options.recordPath = parser.value(recordOpt);
    if (parser.isSet(replyTextOpt)) {
        if (!unescape(parser.value(replyTextOpt), &options.reply))
            return fail(QStringLiteral("--reply-text has a bad escape"));
    } else {
        const QString mode = parser.value(replyOpt);
        if (mode == QLatin1String("success"))
            options.reply = SuccessReply;
        else if (mode == QLatin1String("fail"))
            options.reply = FailureReply;
        else if (mode != QLatin1String("none"))
            return fail(QStringLiteral("--reply must be success, fail or none"));
    }
    if (!number(repeatOpt, 0, 1 << 24, &n))
        return fail(QStringLiteral("--reply-repeat must be 0..16777216"));
    options.replyRepeat = int(n);
    if (qint64(options.reply.size()) * n > (qint64(256) << 20))
        return fail(QStringLiteral("the reply would exceed 256 MiB"));
    for (const QString &item : parser.value(delayOpt).split(QLatin1Char(','))) {
        bool isNumber = false;
        const int ms = item.toInt(&isNumber);
        if (!isNumber || ms < -1 || ms > 3600000)
            return fail(QStringLiteral("--reply-delay must be -1..3600000, or a list of them"));
        options.replyDelays.append(ms);
    }
    options.replyDelayMs = options.replyDelays.last();
    options.failReply = FailureReply;
    if (!number(failEveryOpt, 0, 1 << 30, &n))
        return fail(QStringLiteral("--fail-every must be 0..1073741824"));
    options.failEvery = int(n);
    bool ok = false;
    options.failShare = parser.value(failShareOpt).toDouble(&ok);
    if (!ok || !(options.failShare >= 0 && options.failShare <= 1))
        return fail(QStringLiteral("--fail-share must be 0..1"));
    if (!number(seedOpt, 0, 0xFFFFFFFFLL, &n))
        return fail(QStringLiteral("--seed must be 0..4294967295"));
    options.seed = quint32(n);
    options.slow = parser.isSet(slowOpt);
    if (!number(rateOpt, 0, qint64(1) << 40, &options.rate))
        return fail(QStringLiteral("--rate must be a byte count"));
    if (parser.isSet(closeOpt) && !number(closeOpt, 0, qint64(1) << 50, &options.closeAfter))
        return fail(QStringLiteral("--close-after must be a byte count"));
    options.pty = parser.isSet(ptyOpt);
    options.quiet = parser.isSet(quietOpt);

    quitOnSignals(app);
    if (parser.isSet(stdinOpt))
        quitOnStdinEof(app);

    Simulator sim(options);
    QString error;
    if (!sim.start(&error))
        return fail(error);
    return app.exec();
}
