#pragma once
#include <QByteArray>
#include <QDialog>
#include <QQueue>
#include <QString>

#include "link/ReplyBuffer.h"

class QIODevice;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTcpSocket;
class QTimer;
class QToolButton;

// The network link to the printer and its console window.
//
// Sends are streamed: at most InFlight bytes wait in the socket at any time, the rest is fed
// in from bytesWritten, so a send of any size holds bounded memory beyond its own text and
// no byte is dropped. A send is done when the socket has passed on its last byte. A send
// that arrives while another is under way, or waits for the connection, is queued behind
// it; when one fails, those queued behind it fail with it.
//
// Every send (NetSend, SendWithStatus, SendFileWithStatus) ends with exactly one
// transferFinished(): true when every byte has left, false when it was not sent whole (no
// connection, the peer closed, NetDisconnect, a port that is no port, a source that ended
// early). It is posted, never emitted inside the call or a socket event, so a receiver may
// open a modal window; signals of the next send may come before it.
class TfmNet : public QDialog
{
    Q_OBJECT
public:
    explicit TfmNet(QWidget *parent = nullptr);
    ~TfmNet() override;

    static constexpr qint64 InFlight = 64 * 1024;
    static constexpr int ReadPiece = 65536;
    static const QByteArray StatusRequest; // "\n{J,3}", appended to checked sends

    // Controls.
    QPushButton *bnConnect = nullptr;
    QPushButton *bnDisconnect = nullptr;
    QPushButton *bnSend = nullptr;
    QToolButton *sbHelp = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *edIP = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *edPort = nullptr;
    QLabel *laStat = nullptr;
    QLineEdit *edSend = nullptr;
    QPlainTextEdit *meReceive = nullptr;
    QTcpSocket *csNet = nullptr;
    QTimer *tiNetConnected = nullptr;
    QTimer *tiCheck = nullptr;

    // State. FPending is the text of the current send (shared with the caller, not copied);
    // the status request and a streamed file's bytes are fed in after it.
    QByteArray FPending;
    qint64 FTotal = 0; // bytes of the current send, status request included
    bool FLinkActive = false;
    bool FAwaitConnect = false;
    bool FCheckStatus = false;

    // Operations for other windows.
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
    void NetConnect();
    void NetDisconnect();
    void ClearReceive();
    // ClearReceive, unless a status check still waits for the reply to an earlier request.
    void ClearStaleReplies();
    // -1 when no text has arrived; else takes the first line (cut to
    // ReplyBuffer::MaxReplyLength characters) out of the area and returns the lines left.
    int TakeReply(QString &text);

    bool transferring() const { return m_transferring; }
    int queuedSends() const { return int(m_queue.size()); }
    const ReplyBuffer &replies() const { return m_replies; }

    // Handlers.
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void edIPChange();
    void bnConnectClick();
    void bnDisconnectClick();
    void bnSendClick();
    void sbHelpClick();
    void csNetConnect();
    void csNetDisconnect();
    void csNetError();
    void csNetRead();
    void csNetWrite(qint64 bytes);
    void tiNetConnectedTimer();
    void tiCheckTimer();

signals:
    void transferProgress(qint64 sent, qint64 total); // bytes that have left, of FTotal
    void transferFinished(bool allSent);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Send {
        QByteArray text;
        QIODevice *source = nullptr;
        qint64 sourceSize = 0;
        bool checkStatus = false;
    };

    void createControls();
    void submit(const Send &send);
    void startCurrent();
    void beginTransfer();
    void pump();
    QByteArray nextPiece(qint64 max, bool *failed);
    bool moreToFeed() const;
    void finishTransfer();
    void failCurrent(const QString &mainText, const QString &statText);
    void reportFinished(bool allSent);
    bool readPort(quint16 *port); // false, with a message, when edPort holds no port
    void openSocket(quint16 port);
    void showReceived(int fellOff, int finishedBefore);

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
};
