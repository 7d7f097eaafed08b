#include "link/SerialLink.h"

#include <QDeadlineTimer>

#include <climits>

#include "link/PortNames.h"

namespace
{

// Ports above 2 keep what their driver does, so their speed is unknown: assume a slow line.
constexpr qint64 UnknownLineBaud = 9600;
constexpr int UnknownLineBitsPerByte = 12;
constexpr qint64 WriteMarginMs = 2000;
// A handshake lets a busy printer hold the line for a while.
constexpr qint64 HandshakeMarginMs = 10000;
// Nothing the printer sends is read; keep what arrives while the port is open small.
constexpr qint64 ReadBufferLimit = 4096;

bool hasLineSettings(int port)
{
    return port == 1 || port == 2;
}

class PortConfigurator : public SerialConfigurator
{
public:
    // QSerialPort reads the driver's state as part of its open; a failure there fails the open.
    bool readState(QSerialPort &port) override { return port.isOpen(); }

    bool writeState(QSerialPort &port, const SerialLineSettings &line) override
    {
        if (!port.setBaudRate(line.baudRate) || !port.setDataBits(line.dataBits) ||
            !port.setParity(line.parity) || !port.setStopBits(line.stopBits))
            return false;
        // The lines first: once the driver runs the hardware handshake, Qt will not touch RTS.
        if (!port.setFlowControl(QSerialPort::NoFlowControl))
            return false;
        // Dropping a line is only asked where the platform lets us; raising one is the
        // handshake the operator chose, so a port that cannot do it is refused.
        if (!port.setDataTerminalReady(line.dtr) && line.dtr)
            return false;
        if (!port.setRequestToSend(line.rts) && line.rts)
            return false;
        port.clearError();
        return port.setFlowControl(line.flowControl);
    }

    // Qt has no time-outs record: nothing is read from the port and write() bounds its own wait.
    bool readTimeouts(QSerialPort &) override { return true; }
    bool writeTimeouts(QSerialPort &) override { return true; }
};

SerialConfigurator &defaultConfigurator()
{
    static PortConfigurator configurator;
    return configurator;
}

} // namespace

// Qt applies its own line settings (9600 8N1) on open; an adapter keeps what its driver has.
static void keepDriverSettings(QSerialPort &port, const QString &device)
{
    DeviceLineSettings current;
    if (!ReadDeviceLineSettings(device, &current))
        return;
    port.setBaudRate(current.baudRate);
    port.setDataBits(static_cast<QSerialPort::DataBits>(current.dataBits));
    switch (current.parity) {
    case 'O':
        port.setParity(QSerialPort::OddParity);
        break;
    case 'E':
        port.setParity(QSerialPort::EvenParity);
        break;
    case 'M':
        port.setParity(QSerialPort::MarkParity);
        break;
    case 'S':
        port.setParity(QSerialPort::SpaceParity);
        break;
    default:
        port.setParity(QSerialPort::NoParity);
        break;
    }
    port.setStopBits(current.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    port.setFlowControl(current.flowControl == 2   ? QSerialPort::HardwareControl
                        : current.flowControl == 1 ? QSerialPort::SoftwareControl
                                                   : QSerialPort::NoFlowControl);
}

SerialLink::SerialLink(QObject *parent) : QObject(parent) {}

SerialLink::~SerialLink()
{
    close();
}

std::optional<SerialLineSettings> SerialLink::lineSettingsFor(const SerialSettings &s)
{
    SerialLineSettings line;
    if (s.baudRate <= 0)
        return std::nullopt;
    line.baudRate = s.baudRate;

    if (s.dataBits < 5 || s.dataBits > 8)
        return std::nullopt;
    line.dataBits = static_cast<QSerialPort::DataBits>(s.dataBits);

    // Our numbers follow the settings file; Qt numbers parity its own way.
    static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                   QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                   QSerialPort::SpaceParity};
    if (s.parity < 0 || s.parity > 4)
        return std::nullopt;
    line.parity = parities[s.parity];

    line.stopBits = s.stopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop;

    switch (s.flowControl) {
    case 0: // DSR output flow has no Qt counterpart; DTR is held on for the printer
        line.flowControl = QSerialPort::NoFlowControl;
        line.dtr = true;
        break;
    case 1:
        line.flowControl = QSerialPort::SoftwareControl;
        break;
    case 2:
        line.flowControl = QSerialPort::HardwareControl;
        line.rts = true;
        break;
    default:
        line.flowControl = QSerialPort::NoFlowControl;
        break;
    }
    return line;
}

SerialLink::OpenResult SerialLink::open(const SerialSettings &settings)
{
    close();
    m_settings = settings;
    m_lastApplied.reset();
    if (settings.port < 1)
        return OpenResult::OpenFailed;

    m_port = std::make_unique<QSerialPort>();
    const QString device = PortDeviceName(settings.port);
    m_port->setPortName(device);
    m_port->setReadBufferSize(ReadBufferLimit);
    if (!hasLineSettings(settings.port))
        keepDriverSettings(*m_port, device);
    if (!m_port->open(QIODevice::ReadWrite)) {
        close();
        return OpenResult::OpenFailed;
    }

    SerialConfigurator &configurator = m_configurator ? *m_configurator : defaultConfigurator();
    const auto fail = [this](OpenResult result) {
        close();
        return result;
    };
    if (hasLineSettings(settings.port)) {
        if (!configurator.readState(*m_port))
            return fail(OpenResult::GetStateFailed);
        const std::optional<SerialLineSettings> line = lineSettingsFor(settings);
        if (!line)
            return fail(OpenResult::SetStateFailed);
        m_lastApplied = line;
        if (!configurator.writeState(*m_port, *line))
            return fail(OpenResult::SetStateFailed);
    }
    if (!configurator.readTimeouts(*m_port))
        return fail(OpenResult::GetTimeoutsFailed);
    if (!configurator.writeTimeouts(*m_port))
        return fail(OpenResult::SetTimeoutsFailed);
    m_port->clearError();
    return OpenResult::Ok;
}

QString SerialLink::messageFor(OpenResult result)
{
    switch (result) {
    case OpenResult::Ok:
        break;
    case OpenResult::OpenFailed:
        return QStringLiteral("Could not open port.");
    case OpenResult::GetStateFailed:
        return QStringLiteral("Could not get CommState.");
    case OpenResult::SetStateFailed:
        return QStringLiteral("Could not set CommState.");
    case OpenResult::GetTimeoutsFailed:
        return QStringLiteral("Could not get CommTimeouts.");
    case OpenResult::SetTimeoutsFailed:
        return QStringLiteral("Could not set CommTimeouts.");
    }
    return QString();
}

bool SerialLink::isOpen() const
{
    return m_port && m_port->isOpen();
}

qint64 SerialLink::writeDeadlineMs(qint64 bytes, const SerialSettings &s)
{
    qint64 baud = UnknownLineBaud;
    qint64 bitsPerByte = UnknownLineBitsPerByte;
    qint64 margin = HandshakeMarginMs;
    if (hasLineSettings(s.port)) {
        if (s.baudRate > 0)
            baud = s.baudRate;
        const qint64 dataBits = qBound(5, s.dataBits, 8);
        bitsPerByte = 1 + dataBits + (s.parity == 0 ? 0 : 1) + (s.stopBits == 1 ? 1 : 2);
        if (s.flowControl < 0 || s.flowControl > 2)
            margin = WriteMarginMs;
    }
    return (qMax<qint64>(bytes, 0) * bitsPerByte * 1000 + baud - 1) / baud + margin;
}

bool SerialLink::write(const QByteArray &data)
{
    if (!isOpen())
        return false;
    if (data.isEmpty())
        return true;
    const qint64 limit =
        m_deadlineOverride > 0 ? m_deadlineOverride : writeDeadlineMs(data.size(), m_settings);
    const QDeadlineTimer deadline(limit);
    bool ok = m_port->write(data) == data.size();
    while (ok && m_port->bytesToWrite() > 0) {
        const qint64 left = deadline.remainingTime();
        ok = left > 0 && m_port->waitForBytesWritten(int(qMin<qint64>(left, INT_MAX)));
    }
    // The driver may still hold the tail; closing restores the port's previous settings at
    // once, which would send that tail at the wrong speed. Done means on the wire.
    if (ok)
        ok = DrainPortOutput(m_port->handle(), deadline.remainingTime());
    // What is left would only keep the close waiting on a line that does not move.
    if (!ok && m_port->isOpen())
        m_port->clear(QSerialPort::Output);
    return ok;
}

void SerialLink::close()
{
    if (!m_port)
        return;
    if (m_port->isOpen())
        m_port->close();
    m_port.reset();
}

bool SerialLink::canOpen(int port)
{
    if (port < 1 || !PortDeviceMayExist(port))
        return false;
    QSerialPort probe;
    probe.setPortName(PortDeviceName(port));
    if (!probe.open(QIODevice::ReadWrite))
        return false;
    probe.close();
    return true;
}
