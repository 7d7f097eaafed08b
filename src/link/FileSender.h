#pragma once
// One printer file, unchanged, over either link. On a serial port it goes in blocks of
// BlockSize read ahead of the port, in slices that let the event loop run between them; a
// transfer gives up only when the line stalls. On the network it is streamed by the link
// with the status request after it. Whoever starts a transfer opens the file (and, serial,
// the port) and closes them when it has finished.
#include <QByteArray>
#include <QObject>

class QFile;
class QTimer;
class NetLink;
class SerialLink;

class FileSender : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Sent,
        ReadFailed,  // the file failed or ended early; what went before it has gone
        WriteFailed, // serial: the port failed or stalled; it is closed already
        LinkFailed   // network: the link said why
    };

    static constexpr int BlockSize = 512;
    // Serial: how far reading may run ahead of the port.
    static constexpr qint64 QueueAhead = 64 * 1024;

    FileSender(SerialLink *serial, NetLink *net, QObject *parent = nullptr);
    ~FileSender() override;

    // How long one run of reading serial blocks may hold the event loop; 0 gives one block
    // per turn, and then only one block waits for the port at a time.
    int FSliceMs = 30;
    QTimer *tiBlock = nullptr; // lets the event loop breathe between runs of blocks

    // The serial port is open.
    void startSerial(QFile *file, qint64 size);
    void startNet(QFile *file, qint64 size);
    // Ends a transfer under way without finished(). Serial: drops what has not reached the
    // line and returns the bytes that went; network: the link lets go of the file.
    qint64 cancel();

    bool busy() const { return m_serialActive || m_netActive; }
    bool serialActive() const { return m_serialActive; }

signals:
    void blockWritten(int size);                 // serial: one block went to the port
    void blocksSent(int blocks);                 // serial: once a slice
    void netProgress(qint64 sent, qint64 total); // network: bytes that have left, of total
    void finished(FileSender::Outcome outcome);

private:
    void sendSerialSlice();
    void reportTaken();
    void serialFailed();
    void finishSerial();
    void netProgressed(qint64 sent, qint64 total);
    void netFinished(bool ok);

    SerialLink *m_serial;
    NetLink *m_net;
    QByteArray m_block; // serial: the blocks read ahead of the port, QueueAhead bytes
    QFile *m_file = nullptr;
    qint64 m_size = 0;
    qint64 m_read = 0; // serial: bytes read from the file and queued for the port
    int m_blocksSent = 0;
    bool m_serialActive = false;
    bool m_readFailed = false;
    bool m_netActive = false;
    int m_netAhead = 0; // sends the link finishes before this file's
};
