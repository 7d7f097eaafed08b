// The serial side of the link against pseudo-terminals: the device end is opened by the
// program through PortOverrides, the test reads the other end.
#include <QtTest>
#include <termios.h>

#include <QComboBox>
#include <QLabel>
#include <QSerialPort>
#include <QToolButton>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <thread>

#include "TestWindows.h"
#include "app/Windows.h"
#include "link/PortNames.h"
#include "link/SerialLink.h"
#include "widgets/TfmCommSet.h"
#include "widgets/TfmMain.h"

namespace
{

class Pty
{
public:
    Pty()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_path = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool ok() const { return m_master >= 0 && !m_path.isEmpty(); }
    QString path() const { return m_path; }
    int master() const { return m_master; }
    int release()
    {
        const int fd = m_master;
        m_master = -1;
        return fd;
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // Everything the program wrote, waiting up to timeoutMs for `expected` bytes; stops
    // early when the line stays quiet once `expected` is reached.
    QByteArray read(qsizetype expected, int timeoutMs = 5000)
    {
        QByteArray out;
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            const int wait = out.size() >= expected ? 50 : int(deadline.remainingTime());
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, wait) <= 0 || !(pfd.revents & POLLIN))
                break;
            char buf[65536];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, n);
        }
        return out;
    }

private:
    int m_master = -1;
    QString m_path;
};

class RecordingConfigurator : public SerialConfigurator
{
public:
    enum Step { ReadState, WriteState, ReadTimeouts, WriteTimeouts, None };
    Step refuse = None;
    QList<Step> steps;
    std::optional<SerialLineSettings> line;

    bool readState(QSerialPort &) override { return take(ReadState); }
    bool writeState(QSerialPort &, const SerialLineSettings &l) override
    {
        line = l;
        return take(WriteState);
    }
    bool readTimeouts(QSerialPort &) override { return take(ReadTimeouts); }
    bool writeTimeouts(QSerialPort &) override { return take(WriteTimeouts); }

private:
    bool take(Step s)
    {
        steps << s;
        return s != refuse;
    }
};

QByteArray everyByteButZero()
{
    QByteArray out;
    for (int round = 0; round < 4; ++round)
        for (int b = 1; b < 256; ++b)
            out.append(char(b));
    return out + "\r\n{B,1,N,1|}\r\n";
}

void useSettings(int port, int baud, int parity, int dataBits, int stopBits, int flow)
{
    fmMain->FSession->FComPort = port;
    fmMain->FSession->FBaudRate = baud;
    fmMain->FSession->FParity = parity;
    fmMain->FSession->FDataBits = dataBits;
    fmMain->FSession->FStopBits = stopBits;
    fmMain->FSession->FFlowControl = flow;
}

// "9600 8N1 XON/XOFF", with " +DTR" / " +RTS" for a line held on.
QString describe(const SerialLineSettings &l)
{
    const char parity = l.parity == QSerialPort::NoParity     ? 'N'
                        : l.parity == QSerialPort::OddParity  ? 'O'
                        : l.parity == QSerialPort::EvenParity ? 'E'
                        : l.parity == QSerialPort::MarkParity ? 'M'
                                                              : 'S';
    const char *flow = l.flowControl == QSerialPort::SoftwareControl   ? "XON/XOFF"
                       : l.flowControl == QSerialPort::HardwareControl ? "CTS/RTS"
                                                                       : "none";
    return QStringLiteral("%1 %2%3%4 %5%6%7")
        .arg(l.baudRate)
        .arg(int(l.dataBits))
        .arg(QLatin1Char(parity))
        .arg(l.stopBits == QSerialPort::OneStop ? 1 : 2)
        .arg(QLatin1String(flow))
        .arg(l.dtr ? QStringLiteral(" +DTR") : QString())
        .arg(l.rts ? QStringLiteral(" +RTS") : QString());
}

const QString Idle = QStringLiteral("Idle");
const QString WriteFailed = QStringLiteral("SendSerialBlock: Error writing data to printer.");

} // namespace

Q_DECLARE_METATYPE(RecordingConfigurator::Step)

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void sendArrivesByteForByte_data();
    void sendArrivesByteForByte();
    void twoSendsOpenAndCloseTwice();
    void emptyTextSucceeds();
    void openFailures_data();
    void openFailures();
    void refusedStep_data();
    void refusedStep();
    void lineSettings_data();
    void lineSettings();
    void higherPortsKeepDriverSettings_data();
    void higherPortsKeepDriverSettings();
    void adapterRunsAtItsDriversSpeed_data();
    void adapterRunsAtItsDriversSpeed();
    void slowLineIsNotAStall();
    void farEndClosedMidTransfer();
    void stuckLineWriteIsBounded();
    void closedLinkIsHarmless();
    void commDialogProbesRealPorts();
};

void TestSerial::sendArrivesByteForByte_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("flow");
    // Port 7 is only opened; ports 1 and 2 get line settings a pseudo-terminal takes.
    QTest::newRow("COM7, driver settings") << 7 << 2;
    QTest::newRow("COM1, no handshake") << 1 << 3;
    QTest::newRow("COM2, XON/XOFF") << 2 << 1;
}

void TestSerial::sendArrivesByteForByte()
{
    QFETCH(int, port);
    QFETCH(int, flow);
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[port] = pty.path();
    useSettings(port, 115200, 0, 8, 1, flow);
    fmMain->SetStatus(QStringLiteral("Sending ..."), TfmMain::Blue);
    fmMain->sbSendBatch->setEnabled(false);

    const QByteArray text = everyByteButZero();
    fmMain->FSession->SendToPrinter(text);

    QCOMPARE(w.prompt.messages(), QStringList());
    QCOMPARE(pty.read(text.size()), text); // raw line: no CR added, no byte eaten
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(fmMain->laStat->text(), Idle);
    QVERIFY(fmMain->sbSendBatch->isEnabled());
}

void TestSerial::twoSendsOpenAndCloseTwice()
{
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[7] = pty.path();
    useSettings(7, 9600, 0, 8, 1, 2);

    fmMain->FSession->SendToPrinter("first\r\n");
    QVERIFY(!fmMain->FSession->portOpen());
    {
        // Another program gets the port between the sends.
        QSerialPort other;
        other.setPortName(pty.path());
        QVERIFY(other.open(QIODevice::ReadWrite));
    }
    fmMain->FSession->SendToPrinter("second\r\n");
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(pty.read(15), QByteArray("first\r\nsecond\r\n"));
    QCOMPARE(w.prompt.messages(), QStringList());
}

void TestSerial::emptyTextSucceeds()
{
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[7] = pty.path();
    useSettings(7, 9600, 0, 8, 1, 2);
    fmMain->SetStatus(QStringLiteral("Sending ..."), TfmMain::Blue);

    fmMain->FSession->SendToPrinter(QByteArray());

    QCOMPARE(w.prompt.messages(), QStringList());
    QCOMPARE(fmMain->laStat->text(), Idle);
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(pty.read(0), QByteArray());
}

void TestSerial::openFailures_data()
{
    QTest::addColumn<QString>("device"); // "pty", "busy" or a path
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("message");

    const QString open = QStringLiteral("Could not open port.");
    const QString setState = QStringLiteral("Could not set CommState.");
    // The device and the system's reason follow the text ("%1": the device).
    QTest::newRow("missing device")
        << "/nonexistent/ttyQ7" << 7 << 8 << 0 << 9600 << open + "\n%1: No such file or directory";
    QTest::newRow("held by another program")
        << "busy" << 7 << 8 << 0 << 9600
        << open + "\n%1: Permission error while locking the device";
    QTest::newRow("port 0 as a serial port") << "pty" << 0 << 8 << 0 << 9600 << open;
    // A pseudo-terminal only does 8 data bits: the driver refusing a setting.
    QTest::newRow("driver refuses 7 data bits") << "pty" << 1 << 7 << 0 << 9600 << setState;
    // Values no driver takes are refused before they reach the port.
    QTest::newRow("data bits 9") << "pty" << 1 << 9 << 0 << 9600 << setState;
    QTest::newRow("parity 5") << "pty" << 2 << 8 << 5 << 9600 << setState;
    QTest::newRow("baud 0") << "pty" << 1 << 8 << 0 << 0 << setState;
}

void TestSerial::openFailures()
{
    QFETCH(QString, device);
    QFETCH(int, port);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, baud);
    QFETCH(QString, message);
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    QSerialPort other;
    if (device == QLatin1String("busy")) {
        other.setPortName(pty.path());
        QVERIFY(other.open(QIODevice::ReadWrite));
    }
    PortOverrides[port] = device.startsWith(QLatin1Char('/')) ? device : pty.path();
    useSettings(port, baud, parity, dataBits, 1, 3);
    fmMain->SetStatus(QStringLiteral("Sending ..."), TfmMain::Blue);
    fmMain->sbSendBatch->setEnabled(false);

    fmMain->FSession->SendSerialBlock("lost\r\n");
    fmMain->FSession->SendSerialBlock("lost\r\n");

    const QString box = QStringLiteral("Comm Error: ") + message.arg(PortOverrides[port]);
    QCOMPARE(w.prompt.messages(), QStringList({box, box}));
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(pty.read(0, 100), QByteArray());
    // The caller's status stays until the hold runs out.
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Sending ..."));
    QVERIFY(!fmMain->sbSendBatch->isEnabled());
    QCOMPARE(fmMain->FSession->FComPort, port); // the session keeps its settings
}

void TestSerial::refusedStep_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<RecordingConfigurator::Step>("refuse");
    QTest::addColumn<QString>("message");
    QTest::newRow("state unreadable")
        << 1 << RecordingConfigurator::ReadState << "Could not get CommState.";
    QTest::newRow("state refused")
        << 2 << RecordingConfigurator::WriteState << "Could not set CommState.";
    QTest::newRow("time-outs unreadable, COM1")
        << 1 << RecordingConfigurator::ReadTimeouts << "Could not get CommTimeouts.";
    QTest::newRow("time-outs unreadable, COM9")
        << 9 << RecordingConfigurator::ReadTimeouts << "Could not get CommTimeouts.";
    QTest::newRow("time-outs refused")
        << 9 << RecordingConfigurator::WriteTimeouts << "Could not set CommTimeouts.";
}

void TestSerial::refusedStep()
{
    QFETCH(int, port);
    QFETCH(RecordingConfigurator::Step, refuse);
    QFETCH(QString, message);
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[port] = pty.path();
    useSettings(port, 9600, 0, 8, 1, 2);
    RecordingConfigurator recorder;
    recorder.refuse = refuse;
    fmMain->FSession->FComHandle->setConfigurator(&recorder);

    fmMain->FSession->SendToPrinter("lost\r\n");

    QCOMPARE(w.prompt.messages(), QStringList(QStringLiteral("Comm Error: ") + message));
    QCOMPARE(recorder.steps.last(), refuse); // nothing runs after the refusal
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(pty.read(0, 100), QByteArray());
    {
        // Released: the port can be opened again at once.
        QSerialPort other;
        other.setPortName(pty.path());
        QVERIFY(other.open(QIODevice::ReadWrite));
    }
    fmMain->FSession->FComHandle->setConfigurator(nullptr);
}

void TestSerial::lineSettings_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<QString>("expected");
    QTest::newRow("9600 none 8 1 XON/XOFF") << 9600 << 0 << 8 << 1 << 1 << "9600 8N1 XON/XOFF";
    QTest::newRow("odd") << 9600 << 1 << 8 << 1 << 3 << "9600 8O1 none";
    QTest::newRow("even, 7 bits") << 9600 << 2 << 7 << 1 << 3 << "9600 7E1 none";
    QTest::newRow("mark") << 9600 << 3 << 8 << 1 << 3 << "9600 8M1 none";
    QTest::newRow("space") << 9600 << 4 << 8 << 1 << 3 << "9600 8S1 none";
    QTest::newRow("two stop bits") << 1200 << 0 << 8 << 2 << 3 << "1200 8N2 none";
    QTest::newRow("stop bits 3 is two") << 1200 << 0 << 8 << 3 << 3 << "1200 8N2 none";
    QTest::newRow("DTR/DSR holds DTR on") << 19200 << 0 << 8 << 1 << 0 << "19200 8N1 none +DTR";
    QTest::newRow("CTS/RTS holds RTS on") << 38400 << 0 << 8 << 1 << 2 << "38400 8N1 CTS/RTS +RTS";
    QTest::newRow("flow 9 acts as none") << 115200 << 0 << 8 << 1 << 9 << "115200 8N1 none";
    QTest::newRow("baud not in the dialog's list") << 14400 << 0 << 8 << 1 << 3 << "14400 8N1 none";
}

void TestSerial::lineSettings()
{
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(QString, expected);
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[1] = pty.path();
    useSettings(1, baud, parity, dataBits, stopBits, flow);
    RecordingConfigurator recorder;
    fmMain->FSession->FComHandle->setConfigurator(&recorder);

    fmMain->FSession->SendToPrinter("{B,1,N,1|}\r\n");

    QCOMPARE(w.prompt.messages(), QStringList());
    QVERIFY(recorder.line.has_value());
    QCOMPARE(describe(*recorder.line), expected);
    QCOMPARE(recorder.steps,
             QList<RecordingConfigurator::Step>(
                 {RecordingConfigurator::ReadState, RecordingConfigurator::WriteState,
                  RecordingConfigurator::ReadTimeouts, RecordingConfigurator::WriteTimeouts}));
    QVERIFY(fmMain->FSession->FComHandle->lastApplied().has_value());
    QVERIFY(*fmMain->FSession->FComHandle->lastApplied() == *recorder.line);
    QCOMPARE(pty.read(12), QByteArray("{B,1,N,1|}\r\n"));
    fmMain->FSession->FComHandle->setConfigurator(nullptr);
}

void TestSerial::higherPortsKeepDriverSettings_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::newRow("COM3, usual values") << 3 << 9600 << 0 << 8;
    // Values a driver would refuse do not matter where the session values are not applied.
    QTest::newRow("COM3, baud the adapter would refuse") << 3 << 123 << 0 << 8;
    QTest::newRow("COM255, nonsense values") << 255 << -5 << 9 << 9;
}

void TestSerial::higherPortsKeepDriverSettings()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, dataBits);
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[port] = pty.path();
    useSettings(port, baud, parity, dataBits, 1, 0);
    RecordingConfigurator recorder;
    fmMain->FSession->FComHandle->setConfigurator(&recorder);

    fmMain->FSession->SendToPrinter("text\r\n");

    QCOMPARE(w.prompt.messages(), QStringList());
    QCOMPARE(recorder.steps,
             QList<RecordingConfigurator::Step>(
                 {RecordingConfigurator::ReadTimeouts, RecordingConfigurator::WriteTimeouts}));
    QVERIFY(!fmMain->FSession->FComHandle->lastApplied().has_value());
    QCOMPARE(pty.read(6), QByteArray("text\r\n"));
    fmMain->FSession->FComHandle->setConfigurator(nullptr);
}

void TestSerial::adapterRunsAtItsDriversSpeed_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("xon");
    QTest::newRow("38400 with XON/XOFF") << 7 << int(B38400) << 38400 << true;
    QTest::newRow("115200 without") << 7 << int(B115200) << 115200 << false;
    QTest::newRow("921600") << 7 << int(B921600) << 921600 << false;
    QTest::newRow("1800") << 7 << int(B1800) << 1800 << true;
    // Ports 1 and 2 take the session's line, with DC1 and DC3 whatever the driver had.
    QTest::newRow("COM1, XON/XOFF") << 1 << int(B38400) << 38400 << false;
}

void TestSerial::adapterRunsAtItsDriversSpeed()
{
    QFETCH(int, port);
    QFETCH(int, speed);
    QFETCH(bool, xon);
    Pty pty;
    QVERIFY(pty.ok());
    const int fd = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios t{};
    QCOMPARE(::tcgetattr(fd, &t), 0);
    cfsetispeed(&t, speed_t(speed));
    cfsetospeed(&t, speed_t(speed));
    if (xon)
        t.c_iflag |= IXON;
    else
        t.c_iflag &= ~tcflag_t(IXON);
    t.c_cc[VSTART] = 0x01;
    t.c_cc[VSTOP] = 0x02;
    QCOMPARE(::tcsetattr(fd, TCSANOW, &t), 0);

    DeviceLineSettings seen;
    QVERIFY(ReadDeviceLineSettings(pty.path(), &seen));
    QTEST(seen.baudRate, "baud");
    QCOMPARE(seen.flowControl, xon ? 1 : 0);

    // While the program holds the port (COM3 and up), the line keeps the driver's speed,
    // whatever the session says.
    PortOverrides[port] = pty.path();
    SerialLink link;
    SerialSettings s;
    s.port = port;
    s.baudRate = 1200;
    s.flowControl = 1;
    QCOMPARE(link.open(s), SerialLink::OpenResult::Ok);
    termios during{};
    QCOMPARE(::tcgetattr(fd, &during), 0);
    const bool session = port <= 2;
    QCOMPARE(int(cfgetospeed(&during)), session ? int(B1200) : speed);
    QCOMPARE(bool(during.c_iflag & IXON), xon || session);
    QCOMPARE(int(during.c_cc[VSTART]), session ? 0x11 : 0x01);
    QCOMPARE(int(during.c_cc[VSTOP]), session ? 0x13 : 0x02);
    QVERIFY(link.write("abc"));
    link.close();
    ::close(fd);
    PortOverrides.remove(port);
    QCOMPARE(pty.read(3), QByteArray("abc"));
}

// A printer that takes the text slowly but steadily: only a line standing still fails a send.
void TestSerial::slowLineIsNotAStall()
{
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[7] = pty.path();
    useSettings(7, 9600, 0, 8, 1, 2);
    fmMain->FSession->FComHandle->setStallLimitOverride(1000);
    const int holder = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(holder >= 0);
    const QByteArray text(512 * 1024, 'y');
    std::atomic<qint64> taken{0};
    std::thread farEnd([&] {
        for (char buf[4096]; taken < text.size(); ::usleep(20000)) {
            pollfd pfd{pty.master(), POLLIN, 0};
            const ssize_t n = ::poll(&pfd, 1, 5000) > 0 ? ::read(pty.master(), buf, sizeof buf) : 0;
            if (n <= 0)
                break;
            taken += n;
        }
    });
    fmMain->FSession->SendToPrinter(text);
    farEnd.join();
    ::close(holder);
    fmMain->FSession->FComHandle->setStallLimitOverride(0);
    QCOMPARE(w.prompt.messages(), QStringList());
    QCOMPARE(taken.load(), qint64(text.size()));
}

void TestSerial::farEndClosedMidTransfer()
{
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[7] = pty.path();
    useSettings(7, 9600, 0, 8, 1, 2);

    // The far end takes a little, then goes away while the send is still under way. The
    // slave stays open meanwhile, as a real device would, so the far end sees no hang-up
    // before the send begins.
    const int holder = ::open(QFile::encodeName(pty.path()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(holder >= 0);
    std::atomic<qint64> taken{0};
    const int master = pty.release();
    std::thread farEnd([master, &taken] {
        char buf[4096];
        while (taken < 8192) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            taken += n;
        }
        ::close(master);
    });
    fmMain->FSession->SendToPrinter(QByteArray(1 << 20, 'x'));
    farEnd.join();
    ::close(holder);

    QCOMPARE(w.prompt.messages(), QStringList(WriteFailed));
    QVERIFY(taken >= 8192);
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(fmMain->laStat->text(), Idle);
    QVERIFY(fmMain->sbSendBatch->isEnabled());

    // The window keeps working with the next device.
    Pty next;
    QVERIFY(next.ok());
    PortOverrides[7] = next.path();
    fmMain->FSession->SendToPrinter("after\r\n");
    QCOMPARE(next.read(7), QByteArray("after\r\n"));
    QCOMPARE(w.prompt.messages().size(), 1);
}

void TestSerial::stuckLineWriteIsBounded()
{
    TestWindows w;
    Pty pty;
    QVERIFY(pty.ok());
    PortOverrides[7] = pty.path();
    useSettings(7, 9600, 0, 8, 1, 2);
    fmMain->FSession->FComHandle->setStallLimitOverride(300);

    // Nobody reads: the line fills and stops moving.
    QElapsedTimer clock;
    clock.start();
    fmMain->FSession->SendToPrinter(QByteArray(1 << 20, 'x'));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(w.prompt.messages(), QStringList(WriteFailed));
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(fmMain->laStat->text(), Idle);
    QVERIFY(fmMain->sbSendBatch->isEnabled());

    // What was left was dropped, not kept for the next send.
    const QByteArray stuck = pty.read(0, 200);
    QVERIFY(stuck.size() < (1 << 20));
    fmMain->FSession->SendToPrinter("after\r\n");
    QCOMPARE(pty.read(7), QByteArray("after\r\n"));
    QCOMPARE(w.prompt.messages().size(), 1);
    fmMain->FSession->FComHandle->setStallLimitOverride(0);
}

void TestSerial::closedLinkIsHarmless()
{
    SerialLink link;
    link.close();
    QVERIFY(!link.isOpen());
    QVERIFY(!link.write("x"));
    link.close();
    QCOMPARE(SerialLink::messageFor(SerialLink::OpenResult::Ok), QString());
}

void TestSerial::commDialogProbesRealPorts()
{
    TestWindows w;
    Pty present, open;
    QVERIFY(present.ok() && open.ok());
    PortOverrides[1] = QStringLiteral("/nonexistent/ttyQ1");
    PortOverrides[2] = QStringLiteral("/nonexistent/ttyQ2");
    PortOverrides[7] = present.path();
    PortOverrides[9] = open.path();
    {
        // A port held by another program is not listed.
        QSerialPort other;
        other.setPortName(present.path());
        QVERIFY(other.open(QIODevice::ReadWrite));
        fmMain->FSession->FComPort = 7;
        fmCommSet->show();
        QCOMPARE(fmCommSet->cxPort->findText(QStringLiteral("COM7: **")), -1);
        QCOMPARE(fmCommSet->cxPort->currentIndex(), 0);
        fmCommSet->hide();
    }
    // Our own open port is closed before the probe, so it is listed again.
    useSettings(9, 9600, 0, 8, 1, 2);
    QVERIFY(fmMain->FSession->OpenPort());
    fmCommSet->show();
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(fmCommSet->cxPort->findText(QStringLiteral("COM7:")) > 0);
    QVERIFY(fmCommSet->cxPort->findText(QStringLiteral("COM9: **")) > 0);
    QCOMPARE(fmCommSet->cxPort->currentText(), QStringLiteral("COM9: **"));
    QCOMPARE(fmCommSet->cxPort->findText(QStringLiteral("COM1:")), -1);
    QCOMPARE(fmCommSet->cxPort->findText(QStringLiteral("COM2:")), -1);
    fmCommSet->hide();
}

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
