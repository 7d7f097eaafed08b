#pragma once
// The serial side of the printer link: opens COMn with the session's line settings for one
// send, writes, closes. The serial port is only written. A write gives up only when the line
// stops moving (a stall), however slow the line is.
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

class QTimer;

#include <memory>
#include <optional>

struct SerialSettings {
    int port = 1; // COMn
    int baudRate = 9600;
    int parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    int stopBits = 1;    // 1, anything else two
    int flowControl = 2; // 0 DTR/DSR, 1 XON/XOFF, 2 CTS/RTS, 3 (or other) none
    // A device named directly (the batch runner's) instead of port's; then lineSettings, not
    // the port's number, says whether the settings above are applied or the driver's kept.
    QString device;
    bool lineSettings = false;
};

// The line settings as handed to QSerialPort for ports 1 and 2.
struct SerialLineSettings {
    qint32 baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    bool dtr = false; // held on (DTR/DSR)
    bool rts = false; // held on (CTS/RTS)

    bool operator==(const SerialLineSettings &o) const
    {
        return baudRate == o.baudRate && dataBits == o.dataBits && parity == o.parity &&
               stopBits == o.stopBits && flowControl == o.flowControl && dtr == o.dtr &&
               rts == o.rts;
    }
};

// The steps of an open after the device itself is open, in the order they run. The default
// works on the QSerialPort; tests put in one that records or refuses.
class SerialConfigurator
{
public:
    virtual ~SerialConfigurator() = default;
    virtual bool readState(QSerialPort &port) = 0;                                  // ports 1, 2
    virtual bool writeState(QSerialPort &port, const SerialLineSettings &line) = 0; // ports 1, 2
    virtual bool readTimeouts(QSerialPort &port) = 0;                               // every port
    virtual bool writeTimeouts(QSerialPort &port) = 0;                              // every port
};

class SerialLink : public QObject
{
    Q_OBJECT
public:
    enum class OpenResult {
        Ok,
        OpenFailed,
        GetStateFailed,
        SetStateFailed,
        GetTimeoutsFailed,
        SetTimeoutsFailed
    };

    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // Opens the port and, on ports 1 and 2 only, applies the line settings.
    OpenResult open(const SerialSettings &settings);
    // "Could not open port.", "Could not get CommState.", ... for a failed open.
    static QString messageFor(OpenResult result);
    // The same, followed for a port that would not open by its device and the system's reason.
    QString openFailureText(OpenResult result) const;
    bool isOpen() const;
    // Writes every byte or fails, holding the event loop; on failure the port is closed
    // at once, with the bytes left behind dropped.
    bool write(const QByteArray &data);
    // Safe at any time; bytes a failed write left behind are dropped, not drained.
    void close();

    // Streaming, for whole files: send() queues bytes that go out while the event loop runs;
    // progressed() follows the port taking them, failed() a write error or a stall of the
    // line (the port is already closed then). Stall limit: transferStallMs().
    void send(const char *data, qint64 size);
    // Hands the driver what it takes now instead of at the next turn of the event loop,
    // waiting at most waitMs for it to take anything.
    void push(int waitMs = 0);
    qint64 pending() const; // queued, not yet taken by the port
    qint64 taken() const { return m_queued - pending(); }
    // All taken and on the wire; only then may the port close without cutting the tail.
    bool drained() const;
    // Ends a stream early: drops what has not reached the line and closes the port. Returns
    // the bytes of the stream that went.
    qint64 abandon();
    // The longest a file transfer lets the line stand still (a printer busy with a file may
    // hold the handshake that long); Cancel ends it sooner.
    static constexpr int TransferStallMs = 60000;
    int transferStallMs() const;
    // How often the stream's stall watch looks at the line, and how long it found it still.
    static constexpr int StallCheckMs = 1000;
    int stillMs() const { return m_stillMs; }

    // The session values in QSerialPort's terms; nothing for values no driver would take.
    static std::optional<SerialLineSettings> lineSettingsFor(const SerialSettings &settings);
    // What the last open handed to the configurator; nothing when it set no line (ports 3+).
    std::optional<SerialLineSettings> lastApplied() const { return m_lastApplied; }

    // Replaces every stall limit (0 restores them); lets a test give up on a stuck line soon.
    void setStallLimitOverride(int ms) { m_stallOverride = ms; }

    // nullptr restores the default; the link does not own it.
    void setConfigurator(SerialConfigurator *configurator) { m_configurator = configurator; }

    // Whether COMn can be opened right now (open and close again at once).
    static bool canOpen(int port);

    // The stream's stall watch: its handler looks whether the line moved since its last look,
    // and fails the stream once it has stood still for the stall limit.
    QTimer *tiStall = nullptr;
    void tiStallTimer();

signals:
    void progressed();
    void failed();

private:
    // Longest a single send may find the line standing still.
    int stallLimit() const;
    void restartStallWatch();
    void portBytesWritten();
    void portError(QSerialPort::SerialPortError error);
    void fail();

    std::unique_ptr<QSerialPort> m_port;
    SerialSettings m_settings;
    std::optional<SerialLineSettings> m_lastApplied;
    SerialConfigurator *m_configurator = nullptr;
    int m_stallOverride = 0;
    QString m_openFailure;     // "device: reason" of the last open that failed
    qint32 m_lineBaud = 0;     // what the line runs at, as far as known
    int m_lineFlow = -1;       // its handshake (0 none, 1 XON/XOFF, 2 CTS/RTS); -1 unknown
    qint64 m_queued = 0;       // bytes handed to send() since the open
    qint64 m_outqAtCheck = -1; // the driver's queue when the stall watch last started
    qint64 m_takenAtCheck = 0; // and what the port had taken by then
    int m_stillMs = 0;         // the line's time without moving, as the watch has seen it
    bool m_streaming = false;
    bool m_broken = false; // a stream failed; the port closes once its own work is over
};
