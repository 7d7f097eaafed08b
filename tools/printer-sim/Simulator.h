#pragma once
// The printer as the program sees it: a TCP listener on loopback and, optionally, a
// pseudo-terminal. Every byte received is recorded in order; each status request "{J,3}"
// on TCP gets the chosen reply; batch packets are described on the console.
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QString>

#include "BatchScanner.h"

class QTcpServer;
class QTcpSocket;
class QTimer;
class PtyPort;

struct SimOptions {
    quint16 port = 9100;
    QString recordPath; // empty: no record; "-": stdout
    QByteArray reply;   // sent for each status request; empty: no reply
    int replyRepeat = 1;
    int replyDelayMs = 0;
    QList<int> replyDelays; // for the first requests, in order; replyDelayMs after them
    QByteArray failReply;   // sent instead of reply for the requests chosen to fail
    int failEvery = 0;      // every Nth status request fails; 0: none
    double failShare = 0;   // this share of status requests fails, drawn from seed
    quint32 seed = 1;
    bool slow = false;
    qint64 rate = 0;        // bytes per second per connection; 0: as fast as they come
    qint64 closeAfter = -1; // close a connection after this many bytes from it
    bool pty = false;
    bool quiet = false;
};

class Simulator : public QObject
{
    Q_OBJECT
public:
    explicit Simulator(const SimOptions &options, QObject *parent = nullptr);
    ~Simulator() override;

    // Prints "listening 127.0.0.1:PORT" (and "pty PATH") once ready.
    bool start(QString *error);

    static void printLine(const QByteArray &line);

private:
    struct Stream {
        QTcpSocket *socket = nullptr; // null for the pseudo-terminal
        qint64 received = 0;
        int requestMatch = 0; // characters of "{J,3}" matched so far
        BatchScanner scanner;
        double allowance = 0;
        bool closing = false;
    };

    void acceptConnections();
    void readSocket(Stream *s, qint64 budget);
    void consume(Stream *s, const QByteArray &bytes);
    void sendReply(QTcpSocket *socket);
    void dropStream(Stream *s);
    void throttleTick();
    void record(const QByteArray &bytes);

    SimOptions m_options;
    QTcpServer *m_server = nullptr;
    PtyPort *m_pty = nullptr;
    QList<Stream *> m_streams;
    Stream m_ptyStream;
    QFile m_record;
    bool m_recordToStdout = false;
    QTimer *m_throttle = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_requests = 0;    // status requests so far, over every connection
    qint64 m_lastReplyNs = 0; // when the last reply is due: replies keep the requests' order
    QRandomGenerator m_random;
};
