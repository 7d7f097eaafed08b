#pragma once
#include <QByteArray>
#include <QDialog>
#include <QString>
#include <functional>

#include "link/NetLink.h"

class QIODevice;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTcpSocket;
class QTimer;
class QToolButton;

// The console of the network link: address, port, connect and disconnect, a line to send
// and what the printer sent back. The link itself (NetLink) lives apart from the window;
// the window shows what it reports and forwards the operations other windows ask for.
class TfmNet : public QDialog
{
    Q_OBJECT
public:
    explicit TfmNet(NetLink *link, QWidget *parent = nullptr);
    ~TfmNet() override;

    static constexpr qint64 InFlight = NetLink::InFlight;
    static constexpr int ReadPiece = NetLink::ReadPiece;
    static inline const QByteArray &StatusRequest = NetLink::StatusRequest;

    NetLink *link() const { return m_link; }
    // Whether the window shows hints, asked at each showing (the main window's menu says).
    void setShowHints(std::function<bool()> on) { m_showHints = std::move(on); }

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
    // The link's socket, timers and state, under the names the console has always had.
    QTcpSocket *const csNet;
    QTimer *const tiNetConnected;
    QTimer *const tiCheck;
    QByteArray &FPending;
    qint64 &FTotal;
    bool &FLinkActive;
    bool &FAwaitConnect;
    bool &FCheckStatus;

    // Operations for other windows: the link's (see NetLink.h).
    void SendWithStatus(const QByteArray &text) { m_link->SendWithStatus(text); }
    void SendFileWithStatus(QIODevice *source, qint64 size)
    {
        m_link->SendFileWithStatus(source, size);
    }
    void WithdrawSource(QIODevice *source) { m_link->WithdrawSource(source); }
    void NetSend(const QByteArray &text) { m_link->NetSend(text); }
    void NetConnect() { m_link->NetConnect(); }
    void NetDisconnect() { m_link->NetDisconnect(); }
    void ClearReceive() { m_link->ClearReceive(); }
    void ClearStaleReplies() { m_link->ClearStaleReplies(); }
    int TakeReply(QString &text) { return m_link->TakeReply(text); }

    bool transferring() const { return m_link->transferring(); }
    int queuedSends() const { return m_link->queuedSends(); }
    const ReplyBuffer &replies() const { return m_link->replies(); }

    // Handlers.
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void edIPChange();
    void bnConnectClick();
    void bnDisconnectClick();
    void bnSendClick();
    void sbHelpClick();
    void tiNetConnectedTimer() { m_link->tiNetConnectedTimer(); }
    void tiCheckTimer() { m_link->tiCheckTimer(); }

signals:
    // The link's, passed on (transferFinished stays posted).
    void transferProgress(qint64 sent, qint64 total); // bytes that have left, of FTotal
    void transferFinished(bool allSent);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void showReceived(int fellOff, int finishedBefore);
    void removeTakenReply(int finishedBefore);

    NetLink *const m_link;
    std::function<bool()> m_showHints;
};
