#pragma once
// The serial side of the printer link: opens COMn with the session's line settings for one
// send, writes with a bounded wait, closes. The serial port is only written.
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <memory>
#include <optional>

struct SerialSettings {
    int port = 1; // COMn
    int baudRate = 9600;
    int parity = 0; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    int stopBits = 1;    // 1, anything else two
    int flowControl = 2; // 0 DTR/DSR, 1 XON/XOFF, 2 CTS/RTS, 3 (or other) none
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
    bool isOpen() const;
    // Writes every byte or fails; the wait is bounded by the length and the baud rate.
    bool write(const QByteArray &data);
    // Safe at any time; bytes a failed write left behind are dropped, not drained.
    void close();

    // The session values in QSerialPort's terms; nothing for values no driver would take.
    static std::optional<SerialLineSettings> lineSettingsFor(const SerialSettings &settings);
    // What the last open handed to the configurator; nothing when it set no line (ports 3+).
    std::optional<SerialLineSettings> lastApplied() const { return m_lastApplied; }

    // Longest a write of `bytes` may take on a port opened with `settings`.
    static qint64 writeDeadlineMs(qint64 bytes, const SerialSettings &settings);
    // Replaces the computed deadline (0 restores it); lets a test give up on a stuck line soon.
    void setWriteDeadlineOverride(int ms) { m_deadlineOverride = ms; }

    // nullptr restores the default; the link does not own it.
    void setConfigurator(SerialConfigurator *configurator) { m_configurator = configurator; }

    // Whether COMn can be opened right now (open and close again at once).
    static bool canOpen(int port);

private:
    std::unique_ptr<QSerialPort> m_port;
    SerialSettings m_settings;
    std::optional<SerialLineSettings> m_lastApplied;
    SerialConfigurator *m_configurator = nullptr;
    int m_deadlineOverride = 0;
};
