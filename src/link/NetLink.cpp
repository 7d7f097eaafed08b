#include "link/NetLink.h"

#include <QIODevice>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

#include "link/PortNames.h"

const QByteArray NetLink::StatusRequest = QByteArrayLiteral("\n{J,3}");

namespace
{
constexpr int FirstWaitMs = 250;
constexpr int LastWaitMs = 2000;
constexpr int CheckDelayMs = 500;
constexpr int AckLookMs = 10;
// A printer that takes none of the last bytes for this long is left to the status check.
constexpr int AckStallMs = 10000;
} // namespace

NetLink::NetLink(QObject *parent) : QObject(parent)
{
    csNet = new QTcpSocket(this);
    csNet->setObjectName(QStringLiteral("csNet"));
    csNet->setProxy(QNetworkProxy::NoProxy);
    // Bounds what Qt takes from the kernel between two read events.
    csNet->setReadBufferSize(4 * ReadPiece);
    connect(csNet, &QTcpSocket::connected, this, &NetLink::csNetConnect);
    connect(csNet, &QTcpSocket::disconnected, this, &NetLink::csNetDisconnect);
    connect(csNet, &QTcpSocket::errorOccurred, this, &NetLink::csNetError);
    connect(csNet, &QTcpSocket::readyRead, this, &NetLink::csNetRead);
    connect(csNet, &QTcpSocket::bytesWritten, this, &NetLink::csNetWrite);

    tiNetConnected = new QTimer(this);
    tiNetConnected->setObjectName(QStringLiteral("tiNetConnected"));
    tiNetConnected->setInterval(FirstWaitMs);
    connect(tiNetConnected, &QTimer::timeout, this, &NetLink::tiNetConnectedTimer);
    tiCheck = new QTimer(this);
    tiCheck->setObjectName(QStringLiteral("tiCheck"));
    tiCheck->setInterval(CheckDelayMs);
    connect(tiCheck, &QTimer::timeout, this, &NetLink::tiCheckTimer);
    m_ackWait = new QTimer(this);
    m_ackWait->setSingleShot(true);
    m_ackWait->setInterval(AckLookMs);
    connect(m_ackWait, &QTimer::timeout, this, &NetLink::awaitAcks);
}

NetLink::~NetLink()
{
    disconnect(csNet, nullptr, this, nullptr);
    csNet->abort();
}

// --- operations ---------------------------------------------------------------------------

void NetLink::SendWithStatus(const QByteArray &text)
{
    ClearStaleReplies();
    emit statusRequested();
    FCheckStatus = true;
    NetSend(text);
}

void NetLink::SendFileWithStatus(QIODevice *source, qint64 size)
{
    ClearStaleReplies();
    emit statusRequested();
    FCheckStatus = true;
    Send send;
    send.source = source;
    send.sourceSize = qMax<qint64>(0, size);
    send.checkStatus = true;
    submit(send);
}

void NetLink::NetSend(const QByteArray &text)
{
    Send send;
    send.text = text;
    send.checkStatus = FCheckStatus;
    submit(send);
}

void NetLink::NetConnect()
{
    quint16 port = 0;
    if (!FLinkActive && !readPort(&port))
        return;
    // Shown first: on loopback the connect event can come before connectToHost returns.
    emit statusText(QStringLiteral("Connecting"), Tone::Progress);
    if (port != 0)
        openSocket(port);
}

void NetLink::ConnectNow()
{
    quint16 port = 0;
    if (FLinkActive || !readPort(&port))
        return;
    emit linkState(QStringLiteral("Connecting"));
    openSocket(port);
}

void NetLink::NetDisconnect()
{
    FLinkActive = false;
    m_closingByUs = csNet->state() != QAbstractSocket::UnconnectedState;
    emit linkState(QStringLiteral("Disconnected"));
    if (m_transferring) {
        failCurrent(QStringLiteral("Disconnected, data not sent."), QString());
        csNet->abort(); // what is still buffered must not go out after the failure
    } else {
        csNet->close();
    }
}

void NetLink::DropOwedReplies()
{
    // A send whose check is still to start waits for its reply on this connection.
    if (sendsAhead() > 0 || tiCheck->isActive() ||
        csNet->state() != QAbstractSocket::ConnectedState)
        return;
    FLinkActive = false;
    m_closingByUs = true;
    m_quietClose = true;
    csNet->abort(); // a late reply must not be read any more either
}

void NetLink::Shutdown()
{
    tiNetConnected->stop();
    NetDisconnect();
}

bool NetLink::checkPending() const
{
    return tiCheck->isActive();
}

void NetLink::checkNow()
{
    if (tiCheck->isActive())
        tiCheckTimer();
}

void NetLink::cancelCheckDelay()
{
    tiCheck->stop();
}

void NetLink::WithdrawSource(QIODevice *source)
{
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->source == source) {
            const Send withdrawn = *it;
            it = m_queue.erase(it);
            reportFinished(withdrawn, false, QStringLiteral("Withdrawn"));
        } else {
            ++it;
        }
    }
    if (!m_hasCurrent || m_current.source != source)
        return;
    if (m_transferring) {
        NetDisconnect();
        return;
    }
    tiNetConnected->stop();
    FAwaitConnect = false;
    const Send withdrawn = std::exchange(m_current, Send());
    m_hasCurrent = false;
    FPending.clear();
    reportFinished(withdrawn, false, QStringLiteral("Withdrawn"));
    if (!m_queue.isEmpty()) {
        m_current = m_queue.dequeue();
        m_hasCurrent = true;
        startCurrent();
    }
}

void NetLink::ClearStaleReplies()
{
    // A check that has not taken its reply yet would find the area empty and end in "No
    // response", or take this send's reply as its own.
    const bool replyAwaited = tiCheck->isActive() || (m_replyAwaited && m_replyAwaited());
    if (!replyAwaited)
        ClearReceive();
}

void NetLink::ClearReceive()
{
    m_replies.clear();
    emit receiveCleared();
}

int NetLink::TakeReply(QString &text)
{
    const int finishedBefore = m_replies.finishedLines();
    QByteArray line;
    const int left = m_replies.takeLine(line);
    if (left < 0) {
        text.clear();
        return -1;
    }
    text = QString::fromLatin1(line);
    emit replyTaken(finishedBefore);
    return left;
}

// --- socket events ------------------------------------------------------------------------

void NetLink::csNetConnect()
{
    FLinkActive = true;
    m_closingByUs = false;
    m_quietClose = false;
    m_connecting = false;
    emit linkState(QStringLiteral("Connected"));
    emit statusText(QStringLiteral("Connected"), Tone::Good);
    emit connected();
}

void NetLink::csNetDisconnect()
{
    FLinkActive = false;
    const bool ours = std::exchange(m_closingByUs, false);
    if (std::exchange(m_quietClose, false)) {
        emit linkState(QStringLiteral("Disconnected"));
    } else if (m_transferring) {
        failCurrent(closedText(), QStringLiteral("Send failed"));
    } else if (m_failureShown) {
        // The error event has already said why; "Disconnected" would hide it.
        m_failureShown = false;
    } else {
        emit linkState(QStringLiteral("Disconnected"));
        emit statusText(QStringLiteral("Disconnected"), Tone::Progress);
    }
    emit connectionClosed();
    if (!ours)
        emit peerClosed();
}

void NetLink::csNetError()
{
    emit linkState(QStringLiteral("Error"));
    const bool connectFailing = std::exchange(m_connecting, false);
    if (m_transferring && csNet->state() != QAbstractSocket::ConnectedState)
        failCurrent(closedText(), QStringLiteral("Send failed"));
    if (connectFailing && csNet->state() != QAbstractSocket::ConnectedState)
        emit connectFailed(csNet->errorString());
}

void NetLink::csNetRead()
{
    const int finishedBefore = m_replies.finishedLines();
    int fellOff = 0;
    // readyRead comes once for what is waiting, so take it all, one bounded piece at a time.
    while (csNet->bytesAvailable() > 0) {
        const QByteArray bytes = csNet->read(ReadPiece);
        if (bytes.isEmpty())
            break;
        fellOff += m_replies.append(bytes);
    }
    emit received(fellOff, finishedBefore);
}

void NetLink::csNetWrite(qint64 bytes)
{
    if (!m_transferring)
        return;
    m_sent += bytes;
    emit transferProgress(m_sent, FTotal);
    pump();
}

// --- timers -------------------------------------------------------------------------------

void NetLink::tiNetConnectedTimer()
{
    tiNetConnected->stop();
    if (!FAwaitConnect)
        return;
    if (csNet->state() == QAbstractSocket::ConnectedState) {
        beginTransfer();
        return;
    }
    const int next = tiNetConnected->interval() * 2;
    tiNetConnected->setInterval(next);
    if (next <= LastWaitMs) {
        tiNetConnected->start();
        return;
    }
    NetDisconnect();
    failCurrent(QString(), QString(), QStringLiteral("Could not connect"));
    emit warning(QStringLiteral("tiNetConnectedTimer"), QStringLiteral("Could not connect"));
    emit connectTimedOut();
}

void NetLink::tiCheckTimer()
{
    tiCheck->stop();
    FCheckStatus = false;
    emit checkDue();
}

// --- sending ------------------------------------------------------------------------------

void NetLink::submit(Send send)
{
    send.number = ++m_submitted;
    if (m_hasCurrent || !m_queue.isEmpty()) {
        m_queue.enqueue(send);
        return;
    }
    m_current = send;
    m_hasCurrent = true;
    startCurrent();
}

void NetLink::startCurrent()
{
    FPending = m_current.text;
    FTotal = m_current.text.size() + m_current.sourceSize +
             (m_current.checkStatus ? StatusRequest.size() : 0);
    if (FLinkActive && csNet->state() == QAbstractSocket::ConnectedState) {
        beginTransfer();
        return;
    }
    // Coming up or failed: the send waits for the connection like one from Down; offered to
    // a socket that is not connected it would be lost.
    const bool comingUp = FLinkActive && (csNet->state() == QAbstractSocket::ConnectingState ||
                                          csNet->state() == QAbstractSocket::HostLookupState);
    quint16 port = 0;
    if (!comingUp) {
        FLinkActive = false;
        if (!readPort(&port)) {
            failCurrent(QString(), QString(), m_portError);
            return;
        }
    }
    FAwaitConnect = true;
    emit statusText(QStringLiteral("Connecting"), Tone::Progress);
    tiNetConnected->setInterval(FirstWaitMs);
    tiNetConnected->start();
    if (port != 0)
        openSocket(port);
}

bool NetLink::readPort(quint16 *port)
{
    bool ok = false;
    const int value = m_portText.trimmed().toInt(&ok);
    if (!ok || value < 1 || value > 65535) {
        emit linkState(QStringLiteral("Error"));
        const QString text =
            QStringLiteral("The port \"%1\" is not a whole number from 1 to 65535.\n"
                           "Nothing was sent.")
                .arg(m_portText);
        m_portError = text.section(QLatin1Char('\n'), 0, 0);
        // Queued: this may run inside a socket or timer event.
        QTimer::singleShot(0, this,
                           [this, text] { emit warning(QStringLiteral("NetConnect"), text); });
        return false;
    }
    *port = quint16(value);
    return true;
}

void NetLink::openSocket(quint16 port)
{
    csNet->abort();
    FLinkActive = true; // before the connect, whose events may come at once
    m_connecting = true;
    csNet->connectToHost(m_host.trimmed(), port);
}

void NetLink::beginTransfer()
{
    FAwaitConnect = false;
    m_transferring = true;
    m_failureShown = false;
    m_textOffset = 0;
    m_sourceLeft = m_current.sourceSize;
    m_tailQueued = !m_current.checkStatus;
    m_sent = 0;
    m_pieces = 0;
    emit statusText(QStringLiteral("Sending data to net."), Tone::Good);
    emit transferProgress(0, FTotal);
    pump();
}

bool NetLink::moreToFeed() const
{
    return m_textOffset < FPending.size() || m_sourceLeft > 0 || !m_tailQueued;
}

// Fills one piece from the text, then the source, then the status request, so that a short
// send goes out as one piece.
QByteArray NetLink::nextPiece(qint64 max, bool *failed)
{
    QByteArray piece;
    while (piece.size() < max && moreToFeed()) {
        const qint64 room = max - piece.size();
        if (m_textOffset < FPending.size()) {
            const qint64 n = qMin(room, FPending.size() - m_textOffset);
            piece.append(FPending.constData() + m_textOffset, n);
            m_textOffset += n;
        } else if (m_sourceLeft > 0) {
            const QByteArray bytes =
                m_current.source ? m_current.source->read(qMin(room, m_sourceLeft)) : QByteArray();
            if (bytes.isEmpty()) {
                *failed = true; // ended early or could not be read
                return QByteArray();
            }
            m_sourceLeft -= bytes.size();
            piece += bytes;
        } else if (room >= StatusRequest.size() || piece.isEmpty()) {
            m_tailQueued = true;
            piece += StatusRequest;
        } else {
            break;
        }
    }
    return piece;
}

void NetLink::pump()
{
    if (!m_transferring)
        return;
    if (csNet->state() != QAbstractSocket::ConnectedState) {
        failCurrent(closedText(), QStringLiteral("Send failed"));
        return;
    }
    while (moreToFeed() && csNet->bytesToWrite() < InFlight) {
        bool failed = false;
        const QByteArray piece = nextPiece(InFlight - csNet->bytesToWrite(), &failed);
        if (failed) {
            failCurrent(QStringLiteral("File read error, data not sent."),
                        QStringLiteral("Send failed"));
            return;
        }
        if (csNet->write(piece) != piece.size()) {
            failCurrent(QStringLiteral("Send error, data not sent."), QStringLiteral("Error"));
            return;
        }
        ++m_pieces;
    }
    if (!moreToFeed() && csNet->bytesToWrite() == 0 && !m_ackWait->isActive()) {
        m_unacked = unacknowledged();
        m_ackStalledMs = 0;
        if (m_unacked > 0)
            m_ackWait->start();
        else
            finishTransfer();
    }
}

qint64 NetLink::unacknowledged() const
{
    return SocketUnacknowledged(csNet->socketDescriptor());
}

void NetLink::awaitAcks()
{
    if (!m_transferring)
        return;
    if (csNet->state() != QAbstractSocket::ConnectedState) {
        pump(); // fails the send
        return;
    }
    const qint64 unacked = unacknowledged();
    m_ackStalledMs = unacked < m_unacked ? 0 : m_ackStalledMs + AckLookMs;
    m_unacked = unacked;
    if (unacked > 0 && m_ackStalledMs < AckStallMs)
        m_ackWait->start();
    else
        finishTransfer();
}

void NetLink::finishTransfer()
{
    const Send done = std::exchange(m_current, Send());
    const bool check = done.checkStatus;
    const bool inRounds = m_pieces > 1;
    m_transferring = false;
    m_hasCurrent = false;
    FPending.clear();
    if (check)
        m_lastCheckedBytes = FTotal;
    // A text the socket took in one piece keeps "Sending data to net." until the check.
    if (inRounds)
        emit statusText(QStringLiteral("Data sent."), Tone::Progress);
    if (check) {
        // A check still due for an earlier send starts now, so that the one for this send
        // joins it and takes a reply of its own: restarted, it would take one for both.
        if (tiCheck->isActive())
            emit checkDue();
        tiCheck->start(CheckDelayMs);
    }
    reportFinished(done, true, QString());
    if (!m_hasCurrent && !m_queue.isEmpty()) {
        m_current = m_queue.dequeue();
        m_hasCurrent = true;
        startCurrent();
    }
}

QString NetLink::closedText() const
{
    // What left the program; once all of it has, what the printer acknowledged of it.
    const qint64 went = m_ackWait->isActive() ? FTotal - m_unacked : m_sent;
    if (went <= 0)
        return QStringLiteral("Connection closed, data not sent.");
    return QStringLiteral("Connection closed: %1 of %2 bytes sent.").arg(went).arg(FTotal);
}

void NetLink::failCurrent(const QString &mainText, const QString &statText, const QString &why)
{
    const bool hadCurrent = m_hasCurrent;
    const Send failed = m_current;
    const QString reason = !why.isEmpty()        ? why
                           : !mainText.isEmpty() ? mainText
                                                 : QStringLiteral("Send failed");
    tiNetConnected->stop();
    m_ackWait->stop();
    FAwaitConnect = false;
    m_transferring = false;
    m_hasCurrent = false;
    m_current = Send();
    FPending.clear();
    if (!mainText.isEmpty()) {
        emit statusText(mainText, Tone::Failure);
        m_failureShown = true;
    }
    if (!statText.isEmpty())
        emit linkState(statText);
    // The operation stops: sends queued behind this one go with it.
    const QQueue<Send> queued = std::exchange(m_queue, {});
    if (hadCurrent)
        reportFinished(failed, false, reason);
    for (const Send &send : queued)
        reportFinished(send, false, reason);
}

// Posted, so that a receiver may open a window: this often runs inside a socket event.
void NetLink::reportFinished(const Send &send, bool allSent, const QString &why)
{
    QMetaObject::invokeMethod(
        this,
        [this, number = send.number, checked = send.checkStatus, allSent, why] {
            // First: a receiver of transferFinished may open a window, whose event loop
            // could run the status check before the send's end was known.
            emit sendEnded(number, allSent, checked, why);
            emit transferFinished(allSent);
        },
        Qt::QueuedConnection);
}
