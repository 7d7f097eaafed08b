#pragma once
// The network link to the printer: one TCP connection, opened on demand, that carries every
// send in order and collects what the printer sends back. No window: what happens is told
// through signals, and the windows show it.
//
// Sends are streamed: at most InFlight bytes wait in the socket at any time, the rest is fed
// in from bytesWritten, so a send of any size holds bounded memory beyond its own text and
// no byte is dropped. A send is done when the socket has passed on its last byte and, where
// the system tells, the printer has acknowledged it: a reply's wait counts from there, not
// from bytes still queued for a printer that reads slowly. A send
// that arrives while another is under way, or waits for the connection, is queued behind
// it; when one fails, those queued behind it fail with it.
//
// Every send (NetSend, SendWithStatus, SendFileWithStatus) ends with exactly one
// transferFinished(): true when every byte has left, false when it was not sent whole (no
// connection, the peer closed, NetDisconnect, a port that is no port, a source that ended
// early). It is posted, never emitted inside the call or a socket event, so a receiver may
// open a modal window; signals of the next send may come before it.
#include <QByteArray>
#include <QObject>
#include <QQueue>
#include <QString>
#include <functional>

#include "link/ReplyBuffer.h"

class QIODevice;
class QTcpSocket;
class QTimer;

class NetLink : public QObject
{
    Q_OBJECT
public:
    // How the main window's status line shows a text: in progress, good news, a failure.
    enum class Tone { Progress, Good, Failure };

    explicit NetLink(QObject *parent = nullptr);
    ~NetLink() override;

    static constexpr qint64 InFlight = 64 * 1024;
    static constexpr int ReadPiece = 65536;
    static const QByteArray StatusRequest; // "\n{J,3}", appended to checked sends

    // Reached by the tests (directly and through the network window), which drive the
    // timers by hand; nobody else touches them.
    QTcpSocket *csNet = nullptr;
    QTimer *tiNetConnected = nullptr; // waits for the connection: 250 ms, doubling to 2 s
    QTimer *tiCheck = nullptr;        // 500 ms after a checked send: the status check is due
    bool FAwaitConnect = false;       // a send waits for the connection

    // Where the printer is (hostChanged() when it differs); the port as the operator typed
    // it, read at each connect.
    void setHost(const QString &host)
    {
        if (host == m_host)
            return;
        m_host = host;
        emit hostChanged(host);
    }
    void setPortText(const QString &port) { m_portText = port; }
    QString host() const { return m_host; }
    QString portText() const { return m_portText; }
    // Whether a status check outside the link still polls for a reply.
    void setReplyAwaited(std::function<bool()> awaited) { m_replyAwaited = std::move(awaited); }

    void SendWithStatus(const QByteArray &text);
    // Streams size bytes from source, then the status request, and starts the status check
    // like SendWithStatus. source is open for reading and delivers on read() (a file or a
    // buffer, not a pipe); the caller keeps it open and alive, and does not read it, until
    // transferFinished(). It is read in pieces of at most InFlight bytes, so memory stays
    // bounded whatever the size. A source that ends early or fails to read ends the send
    // with transferFinished(false) and "File read error, data not sent.".
    void SendFileWithStatus(QIODevice *source, qint64 size);
    // The caller of SendFileWithStatus is closing source: no send may read it afterwards. A
    // send of it still waiting (queued, or for the connection) ends quietly and what waits
    // behind it goes on; one under way ends as NetDisconnect ends it, so the printer takes
    // nothing after a partial file.
    void WithdrawSource(QIODevice *source);
    void NetSend(const QByteArray &text);
    // Opens the connection ahead of any send, saying so on the status line.
    void NetConnect();
    // Opens the connection for the console's Connect button, unless it is up or coming up.
    void ConnectNow();
    void NetDisconnect();
    // Closes an idle connection without a word on the status line, so that replies still
    // owed to given-up requests can never be taken for later ones' (the next send connects
    // anew). Nothing happens while a send is under way, queued or waits for its check.
    void DropOwedReplies();
    // For good, at the end of a run: a send waiting for the connection waits no more, and the
    // connection closes.
    void Shutdown();
    void ClearReceive();
    // ClearReceive, unless a status check still waits for the reply to an earlier request.
    void ClearStaleReplies();
    // -1 when no text has arrived; else takes the first line (cut to
    // ReplyBuffer::MaxReplyLength characters) out of the area and returns the lines left.
    int TakeReply(QString &text);

    // Sends are numbered from 1 in the order they are made; the number the next one will carry.
    quint64 nextSend() const { return m_submitted + 1; }
    bool transferring() const { return m_transferring; }
    int queuedSends() const { return int(m_queue.size()); }
    // Sends reported before one submitted now: the queue and the one under way or waiting.
    int sendsAhead() const { return queuedSends() + ((m_transferring || FAwaitConnect) ? 1 : 0); }
    const ReplyBuffer &replies() const { return m_replies; }
    // Bytes of the last checked send that went out whole, status request included.
    qint64 lastCheckedBytes() const { return m_lastCheckedBytes; }
    // A checked send has gone and its status check is not due yet.
    bool checkPending() const;
    // The pending status check is due now (no reply can come any more), or never (someone
    // else watches for the reply).
    void checkNow();
    void cancelCheckDelay();

    // Timers.
    void tiNetConnectedTimer();
    void tiCheckTimer();

signals:
    void hostChanged(const QString &host);
    void statusText(const QString &text, NetLink::Tone tone); // for the main status line
    void linkState(const QString &text); // "Connected", "Error", ... for the console
    void warning(const QString &caption, const QString &text); // a message box, not queued
    // Text arrived: fellOff finished lines fell off the front of replies(), which held
    // finishedBefore finished lines before.
    void received(int fellOff, int finishedBefore);
    void replyTaken(int finishedBefore); // TakeReply took the first line
    void receiveCleared();
    void statusRequested(); // a checked send was made: the polls count from 0 again
    void checkDue();        // tiCheck fired: the status check starts polling
    void transferProgress(qint64 sent, qint64 total); // bytes that have left, of FTotal
    void transferFinished(bool allSent);
    // With transferFinished, for whoever must tell sends apart: the send's number, whether it
    // carried the status request, and when it failed, why in the status line's words.
    void sendEnded(quint64 send, bool allSent, bool checked, const QString &failure);
    // The connection is up.
    void connected();
    // An attempt to connect failed; why is the socket's error text.
    void connectFailed(const QString &why);
    // A send's wait for the connection ran out, after its warning (its transferFinished(false)
    // follows).
    void connectTimedOut();
    // An established connection ended, whichever side closed it.
    void connectionClosed();
    // With connectionClosed, when the printer's side closed it (not NetDisconnect or
    // DropOwedReplies).
    void peerClosed();

private:
    // The network window shows and resets the state below for the operator's tests.
    friend class TfmNet;

    void csNetConnect();
    void csNetDisconnect();
    void csNetError();
    void csNetRead();
    void csNetWrite(qint64 bytes);

    // FPending is the text of the current send (shared with the caller, not copied); the
    // status request and a streamed file's bytes are fed in after it.
    QByteArray FPending;
    qint64 FTotal = 0; // bytes of the current send, status request included
    bool FLinkActive = false;
    bool FCheckStatus = false;
    bool m_connecting = false; // a connect is under way: its failure is told

    struct Send {
        QByteArray text;
        QIODevice *source = nullptr;
        qint64 sourceSize = 0;
        bool checkStatus = false;
        quint64 number = 0; // in the order of the sends made
    };

    void submit(Send send);
    void startCurrent();
    void beginTransfer();
    void pump();
    QByteArray nextPiece(qint64 max, bool *failed);
    bool moreToFeed() const;
    qint64 unacknowledged() const;
    void awaitAcks();
    void finishTransfer();
    // The failure text of a send the peer's close cut short, with the bytes that went.
    QString closedText() const;
    void failCurrent(const QString &mainText, const QString &statText,
                     const QString &why = QString());
    void reportFinished(const Send &send, bool allSent, const QString &why);
    bool readPort(quint16 *port); // false, with a message, when the port text is no port
    void openSocket(quint16 port);

    QString m_host;
    QString m_portText = QStringLiteral("9100");
    std::function<bool()> m_replyAwaited;
    ReplyBuffer m_replies;
    QQueue<Send> m_queue;
    Send m_current;
    bool m_hasCurrent = false;
    bool m_transferring = false;
    qint64 m_textOffset = 0; // of FPending handed to the socket
    qint64 m_sourceLeft = 0;
    bool m_tailQueued = false;
    qint64 m_sent = 0;           // confirmed by bytesWritten
    int m_pieces = 0;            // pieces handed to the socket
    bool m_failureShown = false; // a failed send's text is on the status line
    quint64 m_submitted = 0;     // sends made
    QString m_portError;         // why the last port text was refused
    bool m_closingByUs = false;  // the close under way is ours
    bool m_quietClose = false;   // and says nothing on the status line
    QTimer *m_ackWait = nullptr; // looks again whether the printer has taken the last bytes
    qint64 m_unacked = 0;        // at the last look
    int m_ackStalledMs = 0;      // since the unacknowledged count last fell
    qint64 m_lastCheckedBytes = 0;
};
