#include "link/TfmNet.h"

#include <QCloseEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIODevice>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "about/Help.h"
#include "app/TfmMain.h"
#include "app/Windows.h"
#include "common/Globals.h"
#include "common/Hints.h"
#include "common/Prompt.h"

const QByteArray TfmNet::StatusRequest = QByteArrayLiteral("\n{J,3}");

namespace
{

constexpr int FirstWaitMs = 250;
constexpr int LastWaitMs = 2000;
constexpr int CheckDelayMs = 500;

// The main window goes first when the windows are destroyed; a late socket event must not
// reach it then.
void mainStatus(const QString &text, const QColor &colour)
{
    if (fmMain)
        fmMain->SetStatus(text, colour);
}

QString displayLines(const ReplyBuffer &buffer, int from)
{
    QStringList parts;
    for (int i = from; i < buffer.finishedLines(); ++i)
        parts << ReplyBuffer::displayText(buffer.line(i));
    parts << ReplyBuffer::displayText(buffer.unfinished());
    return parts.join(QLatin1Char('\n'));
}

} // namespace

TfmNet::TfmNet(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmNet"));
    setWindowTitle(QStringLiteral("Network Connection"));
    setSizeGripEnabled(true);
    createControls();

    csNet = new QTcpSocket(this);
    csNet->setObjectName(QStringLiteral("csNet"));
    csNet->setProxy(QNetworkProxy::NoProxy);
    // Bounds what Qt takes from the kernel between two read events.
    csNet->setReadBufferSize(4 * ReadPiece);
    connect(csNet, &QTcpSocket::connected, this, &TfmNet::csNetConnect);
    connect(csNet, &QTcpSocket::disconnected, this, &TfmNet::csNetDisconnect);
    connect(csNet, &QTcpSocket::errorOccurred, this, &TfmNet::csNetError);
    connect(csNet, &QTcpSocket::readyRead, this, &TfmNet::csNetRead);
    connect(csNet, &QTcpSocket::bytesWritten, this, &TfmNet::csNetWrite);

    tiNetConnected = new QTimer(this);
    tiNetConnected->setObjectName(QStringLiteral("tiNetConnected"));
    tiNetConnected->setInterval(FirstWaitMs);
    connect(tiNetConnected, &QTimer::timeout, this, &TfmNet::tiNetConnectedTimer);
    tiCheck = new QTimer(this);
    tiCheck->setObjectName(QStringLiteral("tiCheck"));
    tiCheck->setInterval(CheckDelayMs);
    connect(tiCheck, &QTimer::timeout, this, &TfmNet::tiCheckTimer);

    FormCreate();
    // Connected after the address is filled in, so that creation does not count as a change.
    connect(edIP, &QLineEdit::textChanged, this, &TfmNet::edIPChange);
}

TfmNet::~TfmNet()
{
    disconnect(csNet, nullptr, this, nullptr);
    csNet->abort();
}

void TfmNet::createControls()
{
    bnConnect = new QPushButton(QStringLiteral("Connect"), this);
    bnConnect->setObjectName(QStringLiteral("bnConnect"));
    bnConnect->setToolTip(QStringLiteral("Connect to the printer"));
    bnDisconnect = new QPushButton(QStringLiteral("Disconnect"), this);
    bnDisconnect->setObjectName(QStringLiteral("bnDisconnect"));
    bnDisconnect->setToolTip(QStringLiteral("Close the connection"));
    bnSend = new QPushButton(QStringLiteral("Send"), this);
    bnSend->setObjectName(QStringLiteral("bnSend"));
    bnSend->setToolTip(QStringLiteral("Send the text below to the printer"));
    sbHelp = new QToolButton(this);
    sbHelp->setObjectName(QStringLiteral("sbHelp"));
    sbHelp->setText(QStringLiteral("Help"));
    sbHelp->setAutoRaise(true);
    sbHelp->setToolTip(QStringLiteral("Help"));
    for (QPushButton *b : {bnConnect, bnDisconnect, bnSend})
        b->setAutoDefault(false); // Enter in an edit must not press a button
    connect(bnConnect, &QPushButton::clicked, this, &TfmNet::bnConnectClick);
    connect(bnDisconnect, &QPushButton::clicked, this, &TfmNet::bnDisconnectClick);
    connect(bnSend, &QPushButton::clicked, this, &TfmNet::bnSendClick);
    connect(sbHelp, &QToolButton::clicked, this, &TfmNet::sbHelpClick);

    QFont bold = font();
    bold.setBold(true);
    Label4 = new QLabel(QStringLiteral("IP ADDRESS"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(bold);
    edIP = new QLineEdit(QStringLiteral("0.0.0.0"), this); // replaced by the stored address
    edIP->setObjectName(QStringLiteral("edIP"));
    edIP->setToolTip(QStringLiteral("Printer address or host name"));
    Label5 = new QLabel(QStringLiteral("PORT"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setFont(bold);
    edPort = new QLineEdit(QStringLiteral("9100"), this);
    edPort->setObjectName(QStringLiteral("edPort"));
    edPort->setToolTip(QStringLiteral("TCP port of the printer"));
    laStat = new QLabel(QStringLiteral("Disconnected"), this);
    laStat->setObjectName(QStringLiteral("laStat"));
    edSend = new QLineEdit(QStringLiteral("{J,3}"), this);
    edSend->setObjectName(QStringLiteral("edSend"));
    edSend->setToolTip(QStringLiteral("Text for the Send button"));
    meReceive = new QPlainTextEdit(this);
    meReceive->setObjectName(QStringLiteral("meReceive"));
    meReceive->setReadOnly(true);
    meReceive->setUndoRedoEnabled(false); // an undo history would grow with every read
    meReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bnConnect);
    buttons->addWidget(bnDisconnect);
    buttons->addWidget(bnSend);
    buttons->addWidget(sbHelp);
    buttons->addStretch();

    auto *box = new QGroupBox(this);
    auto *grid = new QGridLayout(box);
    grid->addWidget(Label4, 0, 0);
    grid->addWidget(edIP, 1, 0);
    grid->addWidget(Label5, 0, 1);
    grid->addWidget(edPort, 1, 1);
    grid->addWidget(laStat, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 2);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(box);
    layout->addWidget(edSend);
    layout->addWidget(meReceive, 1);
    resize(520, 400);
}

// --- operations ---------------------------------------------------------------------------

void TfmNet::SendWithStatus(const QByteArray &text)
{
    ClearStaleReplies();
    if (fmMain)
        fmMain->FStatusPolls = 0;
    FCheckStatus = true;
    NetSend(text);
}

void TfmNet::SendFileWithStatus(QIODevice *source, qint64 size)
{
    ClearStaleReplies();
    if (fmMain)
        fmMain->FStatusPolls = 0;
    FCheckStatus = true;
    Send send;
    send.source = source;
    send.sourceSize = qMax<qint64>(0, size);
    send.checkStatus = true;
    submit(send);
}

void TfmNet::NetSend(const QByteArray &text)
{
    Send send;
    send.text = text;
    send.checkStatus = FCheckStatus;
    submit(send);
}

void TfmNet::NetConnect()
{
    quint16 port = 0;
    if (!FLinkActive && !readPort(&port))
        return;
    // Shown first: on loopback the connect event can come before connectToHost returns.
    mainStatus(QStringLiteral("Connecting"), TfmMain::DarkGreen);
    if (port != 0)
        openSocket(port);
}

void TfmNet::NetDisconnect()
{
    FLinkActive = false;
    laStat->setText(QStringLiteral("Disconnected"));
    if (m_transferring) {
        failCurrent(QStringLiteral("Disconnected, data not sent."), QString());
        csNet->abort(); // what is still buffered must not go out after the failure
    } else {
        csNet->close();
    }
}

void TfmNet::WithdrawSource(QIODevice *source)
{
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->source == source) {
            it = m_queue.erase(it);
            reportFinished(false);
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
    m_hasCurrent = false;
    m_current = Send();
    FPending.clear();
    reportFinished(false);
    if (!m_queue.isEmpty()) {
        m_current = m_queue.dequeue();
        m_hasCurrent = true;
        startCurrent();
    }
}

void TfmNet::ClearStaleReplies()
{
    // A check that has not taken its reply yet would find the area empty and end in "No
    // response", or take this send's reply as its own.
    const bool replyAwaited = tiCheck->isActive() || (fmMain && fmMain->tiEncdStat->isActive());
    if (!replyAwaited)
        ClearReceive();
}

void TfmNet::ClearReceive()
{
    m_replies.clear();
    meReceive->clear();
}

int TfmNet::TakeReply(QString &text)
{
    const int finishedBefore = m_replies.finishedLines();
    QByteArray line;
    const int left = m_replies.takeLine(line);
    if (left < 0) {
        text.clear();
        return -1;
    }
    text = QString::fromLatin1(line);
    QTextCursor c(meReceive->document());
    c.movePosition(finishedBefore > 0 ? QTextCursor::NextBlock : QTextCursor::End,
                   QTextCursor::KeepAnchor);
    c.removeSelectedText();
    meReceive->moveCursor(QTextCursor::Start);
    return left;
}

// --- window events ------------------------------------------------------------------------

void TfmNet::FormCreate()
{
    FLinkActive = false;
    FAwaitConnect = false;
    FCheckStatus = false;
    edIP->setText(TcpIpAddr);
    csNet->abort();
}

void TfmNet::FormShow()
{
    SetShowHint(this, fmMain ? fmMain->showHints() : true);
    if (QWidget *owner = parentWidget()) {
        QRect r = frameGeometry();
        r.moveCenter(owner->frameGeometry().center());
        move(r.topLeft());
    }
}

bool TfmNet::FormCloseQuery()
{
    TcpIpAddr = edIP->text();
    return true;
}

void TfmNet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfmNet::closeEvent(QCloseEvent *event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TfmNet::edIPChange()
{
    TcpIpAddr = edIP->text();
    NetDisconnect();
}

void TfmNet::bnConnectClick()
{
    quint16 port = 0;
    if (FLinkActive || !readPort(&port))
        return;
    laStat->setText(QStringLiteral("Connecting"));
    openSocket(port);
}

void TfmNet::bnDisconnectClick()
{
    NetDisconnect();
}

void TfmNet::bnSendClick()
{
    NetSend(edSend->text().toLatin1());
}

void TfmNet::sbHelpClick()
{
    SetHelpFile(QString::fromLatin1(HelpFileName));
    HelpContext(8);
}

// --- socket events ------------------------------------------------------------------------

void TfmNet::csNetConnect()
{
    FLinkActive = true;
    laStat->setText(QStringLiteral("Connected"));
    mainStatus(QStringLiteral("Connected"), TfmMain::BrightGreen);
}

void TfmNet::csNetDisconnect()
{
    FLinkActive = false;
    if (m_transferring) {
        failCurrent(QStringLiteral("Connection closed, data not sent."),
                    QStringLiteral("Send failed"));
        return;
    }
    if (m_failureShown) {
        // The error event has already said why; "Disconnected" would hide it.
        m_failureShown = false;
        return;
    }
    laStat->setText(QStringLiteral("Disconnected"));
    mainStatus(QStringLiteral("Disconnected"), TfmMain::DarkGreen);
}

void TfmNet::csNetError()
{
    laStat->setText(QStringLiteral("Error"));
    if (m_transferring && csNet->state() != QAbstractSocket::ConnectedState)
        failCurrent(QStringLiteral("Connection closed, data not sent."),
                    QStringLiteral("Send failed"));
}

void TfmNet::csNetRead()
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
    showReceived(fellOff, finishedBefore);
}

void TfmNet::csNetWrite(qint64 bytes)
{
    if (!m_transferring)
        return;
    m_sent += bytes;
    emit transferProgress(m_sent, FTotal);
    pump();
}

// --- timers -------------------------------------------------------------------------------

void TfmNet::tiNetConnectedTimer()
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
    failCurrent(QString(), QString());
    ShowWarning(this, QStringLiteral("tiNetConnectedTimer"), QStringLiteral("Could not connect"));
}

void TfmNet::tiCheckTimer()
{
    tiCheck->stop();
    FCheckStatus = false;
    if (fmMain) {
        // A check still polling for an earlier request's reply goes on to take this one's.
        fmMain->FRepliesDue = fmMain->tiEncdStat->isActive() ? fmMain->FRepliesDue + 1 : 1;
        fmMain->FStatusPolls = 0;
        fmMain->tiEncdStat->start();
    }
}

// --- sending ------------------------------------------------------------------------------

void TfmNet::submit(const Send &send)
{
    if (m_hasCurrent || !m_queue.isEmpty()) {
        m_queue.enqueue(send);
        return;
    }
    m_current = send;
    m_hasCurrent = true;
    startCurrent();
}

void TfmNet::startCurrent()
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
            failCurrent(QString(), QString());
            return;
        }
    }
    FAwaitConnect = true;
    mainStatus(QStringLiteral("Connecting"), TfmMain::DarkGreen);
    tiNetConnected->setInterval(FirstWaitMs);
    tiNetConnected->start();
    if (port != 0)
        openSocket(port);
}

bool TfmNet::readPort(quint16 *port)
{
    bool ok = false;
    const int value = edPort->text().trimmed().toInt(&ok);
    if (!ok || value < 1 || value > 65535) {
        laStat->setText(QStringLiteral("Error"));
        const QString text =
            QStringLiteral("The port \"%1\" is not a whole number from 1 to 65535.\n"
                           "Nothing was sent.")
                .arg(edPort->text());
        // Queued: this may run inside a socket or timer event.
        QTimer::singleShot(0, this,
                           [this, text] { ShowWarning(this, QStringLiteral("NetConnect"), text); });
        return false;
    }
    *port = quint16(value);
    return true;
}

void TfmNet::openSocket(quint16 port)
{
    csNet->abort();
    FLinkActive = true; // before the connect, whose events may come at once
    csNet->connectToHost(edIP->text().trimmed(), port);
}

void TfmNet::beginTransfer()
{
    FAwaitConnect = false;
    m_transferring = true;
    m_failureShown = false;
    m_textOffset = 0;
    m_sourceLeft = m_current.sourceSize;
    m_tailQueued = !m_current.checkStatus;
    m_sent = 0;
    m_pieces = 0;
    mainStatus(QStringLiteral("Sending data to net."), TfmMain::BrightGreen);
    emit transferProgress(0, FTotal);
    pump();
}

bool TfmNet::moreToFeed() const
{
    return m_textOffset < FPending.size() || m_sourceLeft > 0 || !m_tailQueued;
}

// Fills one piece from the text, then the source, then the status request, so that a short
// send goes out as one piece.
QByteArray TfmNet::nextPiece(qint64 max, bool *failed)
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

void TfmNet::pump()
{
    if (!m_transferring)
        return;
    if (csNet->state() != QAbstractSocket::ConnectedState) {
        failCurrent(QStringLiteral("Connection closed, data not sent."),
                    QStringLiteral("Send failed"));
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
    if (!moreToFeed() && csNet->bytesToWrite() == 0)
        finishTransfer();
}

void TfmNet::finishTransfer()
{
    const bool check = m_current.checkStatus;
    const bool inRounds = m_pieces > 1;
    m_transferring = false;
    m_hasCurrent = false;
    m_current = Send();
    FPending.clear();
    // A text the socket took in one piece keeps "Sending data to net." until the check.
    if (inRounds)
        mainStatus(QStringLiteral("Data sent."), TfmMain::DarkGreen);
    if (check)
        tiCheck->start(CheckDelayMs);
    reportFinished(true);
    if (!m_hasCurrent && !m_queue.isEmpty()) {
        m_current = m_queue.dequeue();
        m_hasCurrent = true;
        startCurrent();
    }
}

void TfmNet::failCurrent(const QString &mainText, const QString &statText)
{
    const bool hadCurrent = m_hasCurrent;
    tiNetConnected->stop();
    FAwaitConnect = false;
    m_transferring = false;
    m_hasCurrent = false;
    m_current = Send();
    FPending.clear();
    if (!mainText.isEmpty()) {
        mainStatus(mainText, TfmMain::Red);
        m_failureShown = true;
    }
    if (!statText.isEmpty())
        laStat->setText(statText);
    // The operation stops: sends queued behind this one go with it.
    const int queued = int(m_queue.size());
    m_queue.clear();
    if (hadCurrent)
        reportFinished(false);
    for (int i = 0; i < queued; ++i)
        reportFinished(false);
}

// Posted, so that a receiver may open a window: this often runs inside a socket event.
void TfmNet::reportFinished(bool allSent)
{
    QMetaObject::invokeMethod(
        this, [this, allSent] { emit transferFinished(allSent); }, Qt::QueuedConnection);
}

// --- receive area -------------------------------------------------------------------------

// Keeps meReceive in step with the reply buffer: one block per finished line, then one for
// the unfinished rest (possibly empty).
void TfmNet::showReceived(int fellOff, int finishedBefore)
{
    QTextDocument *doc = meReceive->document();
    if ((fellOff > 0 && fellOff >= finishedBefore) || doc->blockCount() != finishedBefore + 1) {
        meReceive->setPlainText(displayLines(m_replies, 0));
    } else {
        if (fellOff > 0) {
            QTextCursor front(doc);
            front.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, fellOff);
            front.removeSelectedText();
        }
        const int from = finishedBefore - fellOff;
        QTextCursor tail(doc->findBlockByNumber(from));
        tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        tail.insertText(displayLines(m_replies, from));
    }
    meReceive->moveCursor(QTextCursor::End);
}
