#include "Simulator.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "PtyPort.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace
{
const QByteArray StatusRequest = "{J,3}";
constexpr int ReadPiece = 64 * 1024;
constexpr int SlowBuffer = 4096;
constexpr int TickMs = 5;
} // namespace

Simulator::Simulator(const SimOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_random(options.seed)
{
}

Simulator::~Simulator()
{
    qDeleteAll(m_streams);
}

void Simulator::printLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool Simulator::start(QString *error)
{
    if (m_options.recordPath == QLatin1String("-")) {
        m_recordToStdout = true;
    } else if (!m_options.recordPath.isEmpty()) {
        m_record.setFileName(m_options.recordPath);
        // Unbuffered, so that a reader sees every byte as soon as it has arrived.
        if (!m_record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            *error = QStringLiteral("cannot open %1: %2")
                         .arg(m_options.recordPath, m_record.errorString());
            return false;
        }
    }

    m_server = new QTcpServer(this);
    m_server->setMaxPendingConnections(64);
    if (!m_server->listen(QHostAddress::LocalHost, m_options.port)) {
        *error = QStringLiteral("cannot listen on port %1: %2")
                     .arg(m_options.port)
                     .arg(m_server->errorString());
        return false;
    }
    if (m_options.slow) {
        // Accepted sockets inherit this, so the window is small from the handshake on.
        int size = SlowBuffer;
#ifdef Q_OS_WIN
        const auto fd = SOCKET(m_server->socketDescriptor());
#else
        const auto fd = int(m_server->socketDescriptor());
#endif
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&size), sizeof size);
    }
    connect(m_server, &QTcpServer::newConnection, this, &Simulator::acceptConnections);

    if (m_options.pty) {
        m_pty = new PtyPort(this);
        if (!m_pty->open(error))
            return false;
        connect(m_pty, &PtyPort::received, this,
                [this](const QByteArray &bytes) { consume(&m_ptyStream, bytes); });
    }

    m_clock.start();
    if (m_options.rate > 0) {
        m_throttle = new QTimer(this);
        m_throttle->setTimerType(Qt::PreciseTimer);
        m_throttle->setInterval(TickMs);
        connect(m_throttle, &QTimer::timeout, this, &Simulator::throttleTick);
        m_throttle->start();
    }

    printLine("listening 127.0.0.1:" + QByteArray::number(m_server->serverPort()));
    if (m_pty)
        printLine("pty " + m_pty->slavePath().toLocal8Bit());
    return true;
}

void Simulator::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *s = new Stream;
        s->socket = socket;
        m_streams.append(s);
        if (m_options.slow)
            socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, SlowBuffer);
        if (m_options.rate > 0) {
            // Qt stops taking from the kernel once this is full, so the sender feels the rate.
            socket->setReadBufferSize(
                qBound(qint64(1024), m_options.rate / (1000 / TickMs), qint64(ReadPiece)));
        } else {
            socket->setReadBufferSize(m_options.slow ? SlowBuffer : ReadPiece);
        }
        if (!m_options.quiet)
            printLine("connected " + socket->peerAddress().toString().toLatin1() + ':' +
                      QByteArray::number(socket->peerPort()));
        if (m_options.rate <= 0)
            connect(socket, &QTcpSocket::readyRead, this, [this, s] { readSocket(s, -1); });
        connect(socket, &QTcpSocket::disconnected, this, [this, s] {
            if (s->closing)
                return;
            if (!m_options.quiet)
                printLine("disconnected");
            // What Qt still holds was received before the close; keep it.
            readSocket(s, -1);
            dropStream(s);
        });
    }
}

void Simulator::readSocket(Stream *s, qint64 budget)
{
    while (!s->closing && s->socket->bytesAvailable() > 0 && budget != 0) {
        qint64 want = ReadPiece;
        if (budget > 0)
            want = qMin(want, budget);
        if (m_options.closeAfter >= 0)
            want = qMin(want, m_options.closeAfter - s->received);
        const QByteArray bytes = s->socket->read(want);
        if (bytes.isEmpty())
            break;
        if (budget > 0)
            budget -= bytes.size();
        consume(s, bytes);
    }
    if (s->closing)
        dropStream(s); // s is gone after this
}

void Simulator::consume(Stream *s, const QByteArray &bytes)
{
    s->received += bytes.size();
    record(bytes);

    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p < end) {
        if (s->requestMatch == 0) {
            // Most of a stream is not a request: skip to the next brace.
            p = static_cast<const char *>(std::memchr(p, '{', size_t(end - p)));
            if (!p)
                break;
            s->requestMatch = 1;
        } else if (*p == StatusRequest[s->requestMatch]) {
            if (++s->requestMatch == StatusRequest.size()) {
                s->requestMatch = 0;
                if (s->socket)
                    sendReply(s->socket);
            }
        } else {
            s->requestMatch = (*p == '{') ? 1 : 0;
        }
        ++p;
    }
    if (!m_options.quiet)
        for (const Batch &b : s->scanner.feed(bytes))
            printLine(BatchScanner::describe(b));

    if (s->socket && m_options.closeAfter >= 0 && s->received >= m_options.closeAfter) {
        if (!m_options.quiet)
            printLine("closing after " + QByteArray::number(s->received) + " bytes");
        s->closing = true;
        s->socket->abort(); // unread bytes make the peer see a reset, as a printer dropping out
    }
}

void Simulator::sendReply(QTcpSocket *socket)
{
    ++m_requests;
    // Drawn for every request, so that the sequence of failures depends on the seed alone.
    const bool drawnFail =
        m_options.failShare > 0 && m_random.generateDouble() < m_options.failShare;
    const bool fail =
        drawnFail || (m_options.failEvery > 0 && m_requests % m_options.failEvery == 0);
    const QByteArray &chosen = fail ? m_options.failReply : m_options.reply;
    if (chosen.isEmpty() || m_options.replyRepeat <= 0)
        return;
    const QByteArray reply = chosen.repeated(m_options.replyRepeat);
    auto send = [socket, reply] {
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->write(reply);
    };
    const int delay = m_requests <= m_options.replyDelays.size()
                          ? m_options.replyDelays.at(int(m_requests - 1))
                          : m_options.replyDelayMs;
    if (delay < 0)
        return; // a request the printer lost
    const qint64 now = m_clock.nsecsElapsed();
    m_lastReplyNs = qMax(now + qint64(delay) * 1000000, m_lastReplyNs);
    const int wait = int((m_lastReplyNs - now + 999999) / 1000000);
    if (wait > 0)
        QTimer::singleShot(wait, Qt::PreciseTimer, socket, send);
    else
        send();
}

void Simulator::dropStream(Stream *s)
{
    if (!m_streams.removeOne(s))
        return;
    s->socket->disconnect(this);
    s->socket->deleteLater();
    delete s;
}

void Simulator::throttleTick()
{
    const qint64 now = m_clock.nsecsElapsed();
    const double seconds = double(now - m_lastTick) / 1e9;
    m_lastTick = now;
    // At most 50 ms of credit, so that an idle spell does not turn into a burst.
    const double cap = qMax(1.0, double(m_options.rate) / 20.0);
    const QList<Stream *> streams = m_streams;
    for (Stream *s : streams) {
        s->allowance = qMin(cap, s->allowance + double(m_options.rate) * seconds);
        const qint64 budget = qint64(s->allowance);
        if (budget < 1)
            continue;
        const qint64 before = s->received;
        readSocket(s, budget);
        if (m_streams.contains(s))
            s->allowance -= double(s->received - before);
    }
}

void Simulator::record(const QByteArray &bytes)
{
    if (m_recordToStdout) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    } else if (m_record.isOpen()) {
        m_record.write(bytes);
    }
}
