#include "link/SerialLink.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include "link/PortNames.h"

namespace
{

// A line whose speed is not known is taken to be a slow one.
constexpr qint64 UnknownLineBaud = 9600;
constexpr qint64 NoHandshakeStallMs = 2000;
// A handshake lets a busy printer hold the line for a while.
constexpr qint64 HandshakeStallMs = 10000;
// A driver may move its queue in pieces: no progress shows while one of them is on the line.
constexpr qint64 DriverChunkBytes = 512;
// Nothing the printer sends is read; keep what arrives while the port is open small.
constexpr qint64 ReadBufferLimit = 4096;
// How long one wait of a single send lasts before it looks at the driver's queue again.
constexpr int WaitSliceMs = 50;

bool hasLineSettings(const SerialSettings &settings)
{
    if (!settings.device.isEmpty())
        return settings.lineSettings;
    return settings.port == 1 || settings.port == 2;
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
        // Last: every Qt setter writes back the record Qt read at the open.
        return port.setFlowControl(line.flowControl) &&
               SetFlowControlCharacters(port.handle(), XonCharacter, XoffCharacter);
    }

    static constexpr char XonCharacter = 0x11;  // DC1
    static constexpr char XoffCharacter = 0x13; // DC3

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

SerialLink::SerialLink(QObject *parent) : QObject(parent)
{
    tiStall = new QTimer(this);
    tiStall->setObjectName(QStringLiteral("tiStall"));
    tiStall->setSingleShot(true);
    connect(tiStall, &QTimer::timeout, this, &SerialLink::tiStallTimer);
}

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
    m_openFailure.clear();
    if (settings.port < 1 && settings.device.isEmpty())
        return OpenResult::OpenFailed;

    m_port = std::make_unique<QSerialPort>();
    m_queued = 0;
    m_lineBaud = 0;
    m_lineFlow = -1;
    const QString device =
        settings.device.isEmpty() ? PortDeviceName(settings.port) : settings.device;
    m_port->setPortName(device);
    m_port->setReadBufferSize(ReadBufferLimit);
    DeviceLineSettings driver;
    const bool driverKnown = !hasLineSettings(settings) && ReadDeviceLineSettings(device, &driver);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_openFailure = QStringLiteral("%1: %2").arg(device, m_port->errorString());
        close();
        return OpenResult::OpenFailed;
    }
    connect(m_port.get(), &QSerialPort::bytesWritten, this, &SerialLink::portBytesWritten);
    connect(m_port.get(), &QSerialPort::errorOccurred, this, &SerialLink::portError);

    SerialConfigurator &configurator = m_configurator ? *m_configurator : defaultConfigurator();
    const auto fail = [this](OpenResult result) {
        close();
        return result;
    };
    if (hasLineSettings(settings)) {
        if (!configurator.readState(*m_port))
            return fail(OpenResult::GetStateFailed);
        const std::optional<SerialLineSettings> line = lineSettingsFor(settings);
        if (!line)
            return fail(OpenResult::SetStateFailed);
        m_lastApplied = line;
        if (!configurator.writeState(*m_port, *line))
            return fail(OpenResult::SetStateFailed);
        m_lineBaud = line->baudRate;
        m_lineFlow = settings.flowControl >= 0 && settings.flowControl <= 2
                         ? (settings.flowControl == 1 ? 1 : 2)
                         : 0;
    } else if (driverKnown) {
        // The open put Qt's own line (9600 8N1) on the device; an adapter keeps its driver's,
        // whatever its speed.
        if (!RestoreDeviceLineSettings(m_port->handle(), driver))
            return fail(OpenResult::SetStateFailed);
        m_lineBaud = driver.baudRate;
        m_lineFlow = driver.flowControl;
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

QString SerialLink::openFailureText(OpenResult result) const
{
    const QString text = messageFor(result);
    if (result != OpenResult::OpenFailed || m_openFailure.isEmpty())
        return text;
    return text + QLatin1Char('\n') + m_openFailure;
}

bool SerialLink::isOpen() const
{
    return m_port && m_port->isOpen() && !m_broken;
}

int SerialLink::stallLimit() const
{
    if (m_stallOverride > 0)
        return m_stallOverride;
    const qint64 baud = m_lineBaud > 0 ? m_lineBaud : UnknownLineBaud;
    qint64 bitsPerByte = 12; // the most a character can take
    if (hasLineSettings(m_settings))
        bitsPerByte = 1 + qBound(5, m_settings.dataBits, 8) + (m_settings.parity == 0 ? 0 : 1) +
                      (m_settings.stopBits == 1 ? 1 : 2);
    const qint64 chunkMs = (DriverChunkBytes * bitsPerByte * 1000 + baud - 1) / baud;
    return int(chunkMs + (m_lineFlow == 0 ? NoHandshakeStallMs : HandshakeStallMs));
}

int SerialLink::transferStallMs() const
{
    return m_stallOverride > 0 ? m_stallOverride : qMax(TransferStallMs, stallLimit());
}

bool SerialLink::write(const QByteArray &data)
{
    if (!isOpen())
        return false;
    if (data.isEmpty())
        return true;
    const int limit = stallLimit();
    QDeadlineTimer stall(limit);
    bool ok = m_port->write(data) == data.size();
    qint64 lastLeft = -1, lastQueued = -1;
    // Done means on the wire: closing restores the port's previous settings at once, which
    // would send a tail still in the driver at the wrong speed.
    while (ok) {
        const qint64 left = m_port->bytesToWrite();
        const qint64 queued = PortOutputQueued(m_port->handle());
        if (left == 0 && queued == 0)
            break;
        // Only a line that stands still counts, never the time a slow one needs.
        if ((lastLeft >= 0 && left < lastLeft) || (lastQueued >= 0 && queued < lastQueued))
            stall.setRemainingTime(limit);
        lastLeft = left;
        lastQueued = queued;
        if (stall.hasExpired()) {
            ok = false;
        } else if (left > 0) {
            const int wait = int(qMin<qint64>(stall.remainingTime(), WaitSliceMs));
            if (!m_port->waitForBytesWritten(wait)) {
                const QSerialPort::SerialPortError error = m_port->error();
                ok = error == QSerialPort::NoError || error == QSerialPort::TimeoutError;
                m_port->clearError();
            }
        } else {
            QThread::msleep(2);
        }
    }
    if (!ok) {
        // What is left would only keep the close waiting on a line that does not move; and
        // the port goes before anyone is told, since a vanished device keeps it busy.
        m_port->clear(QSerialPort::Output);
        close();
    }
    return ok;
}

void SerialLink::send(const char *data, qint64 size)
{
    if (!isOpen() || size <= 0)
        return;
    m_streaming = true;
    if (!tiStall->isActive())
        restartStallWatch();
    m_queued += m_port->write(data, size);
}

void SerialLink::push(int waitMs)
{
    if (!isOpen() || m_port->bytesToWrite() == 0 || m_port->waitForBytesWritten(waitMs))
        return;
    const QSerialPort::SerialPortError error = m_port->error();
    if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
        fail();
}

qint64 SerialLink::pending() const
{
    return isOpen() ? m_port->bytesToWrite() : 0;
}

bool SerialLink::drained() const
{
    return isOpen() && pending() == 0 && PortOutputQueued(m_port->handle()) == 0;
}

qint64 SerialLink::abandon()
{
    tiStall->stop();
    if (!isOpen())
        return 0;
    m_port->disconnect(this);
    const qint64 queued = PortOutputQueued(m_port->handle());
    const qint64 went = taken() - queued;
    // Bytes still in the driver would keep the close waiting on a line held by the printer.
    if (queued > 0)
        m_port->clear(QSerialPort::Output);
    close();
    return qMax<qint64>(went, 0);
}

void SerialLink::restartStallWatch()
{
    m_outqAtCheck = isOpen() ? PortOutputQueued(m_port->handle()) : 0;
    m_takenAtCheck = taken();
    m_stillMs = 0;
    // Looked at often, so that a stop just after a look fails at the limit, not a look later.
    tiStall->start(qMin(StallCheckMs, transferStallMs()));
}

void SerialLink::tiStallTimer()
{
    tiStall->stop();
    if (!isOpen())
        return;
    const qint64 queued = PortOutputQueued(m_port->handle());
    // The port took bytes, or the driver's queue moved, since the last look.
    if (taken() > m_takenAtCheck || (queued > 0 && queued < m_outqAtCheck)) {
        restartStallWatch();
        return;
    }
    if (pending() == 0 && queued == 0)
        return; // nothing waits for the line
    m_stillMs += tiStall->interval();
    if (m_stillMs < transferStallMs()) {
        tiStall->start();
        return;
    }
    fail();
}

void SerialLink::portBytesWritten()
{
    emit progressed();
}

void SerialLink::portError(QSerialPort::SerialPortError error)
{
    // Only a stream hears of errors this way; a single send sees them in its own wait. A
    // device that has gone shows as a read or a write error.
    if (!m_streaming || m_broken || error == QSerialPort::NoError ||
        error == QSerialPort::TimeoutError)
        return;
    // The port is in the middle of its own work here: close it once that is over.
    m_broken = true;
    QMetaObject::invokeMethod(this, &SerialLink::fail, Qt::QueuedConnection);
}

void SerialLink::fail()
{
    if (!m_port)
        return; // closed meanwhile, by a cancel or an earlier failure
    // Released before anyone is told: a port whose device has gone keeps its notifiers firing.
    tiStall->stop();
    m_port->disconnect(this);
    if (m_port->isOpen())
        m_port->clear(QSerialPort::Output);
    close();
    emit failed();
}

void SerialLink::close()
{
    tiStall->stop();
    m_streaming = false;
    m_broken = false;
    if (!m_port)
        return;
    m_port->disconnect(this);
    if (m_port->isOpen())
        m_port->close();
    // The port may be the one whose signal brought us here.
    m_port.release()->deleteLater();
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
