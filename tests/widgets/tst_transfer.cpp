// The file transfer window over a pseudo-terminal (serial) and the printer emulator (network).
#include <QTcpServer>
#include <QtTest>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>

#include <atomic>
#include <mutex>
#include <thread>

#include "PrinterSim.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "link/PortNames.h"
#include "link/SerialLink.h"
#include "widgets/Prompt.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace
{

// Records the owner of each message, so that a test can tell the application's box from one
// that belongs to a window.
class OwnerPrompt : public FakePrompt
{
public:
    QList<QWidget *> owners;
    QList<bool> portOpen; // whether the serial port was still held when the box came up
    int message(QWidget *owner, const QString &caption, const QString &text, PromptIcon icon,
                PromptButtons buttons) override
    {
        owners.append(owner);
        portOpen.append(fmMain->FSession->portOpen());
        return FakePrompt::message(owner, caption, text, icon, buttons);
    }
};

QByteArray pattern(int size, bool withZeros)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(withZeros ? (i * 7) % 256 : 'A' + i % 26);
    return b;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

#ifdef Q_OS_UNIX
// A pseudo-terminal standing in for the printer's serial port. The slave end is what the
// program opens; a thread drains the master so that the program's writes never stall.
class TestPty
{
public:
    ~TestPty() { close(); }

    bool open()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return false;
        m_path = QString::fromLocal8Bit(::ptsname(m_master));
        // Held open so that the master never sees a hang-up between the program's sends.
        m_slave = ::open(m_path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (m_slave < 0)
            return false;
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_slave, TCSANOW, &tio);
        m_thread = std::thread([this] { drain(); });
        return true;
    }

    void close()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
    }

    // The far end stops reading (a printer holding the line) or starts again.
    void pause(bool on) { m_paused = on; }
    // The far end goes away once it has read this many bytes.
    void hangUpAfter(qint64 bytes) { m_hangUpAfter = bytes; }
    bool hungUp() const { return m_hungUp; }

    QString path() const { return m_path; }
    QByteArray received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_data;
    }
    qint64 receivedSize()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_data.size();
    }

private:
    void drain()
    {
        char buf[4096];
        while (!m_stop) {
            if (m_paused) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
                continue;
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                continue;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_data.append(buf, int(n));
            if (m_hangUpAfter >= 0 && m_data.size() >= m_hangUpAfter) {
                ::close(m_master);
                m_master = -1;
                m_hungUp = true;
                return;
            }
        }
    }

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hungUp{false};
    std::atomic<bool> m_paused{false};
    std::atomic<qint64> m_hangUpAfter{-1};
    std::mutex m_mutex;
    QByteArray m_data;
};
#endif

constexpr int PtyPort = 7; // above 2: the pseudo-terminal gets no line settings

const QByteArray NetIni = "[EPC]\r\nCOM=0\r\nTCPIPADDR=127.0.0.1\r\n";

void pointAt(const PrinterSim &sim)
{
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->edPort->setText(QString::number(sim.port()));
}

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void openFailure_data();
    void openFailure();
    void networkTransfer_data();
    void networkTransfer();
    void networkQueuedBehindText();
    void networkCancelWhileConnecting();
    void networkCancelMidStream();
    void networkFileShrinks();
#ifdef Q_OS_UNIX
    void serialBlocks_data();
    void serialBlocks();
    void serialPortMissing();
    void serialFileShrinks();
    void serialFarEndCloses();
    void serialCancelBetweenBlocks();
    void serialLineHeld_data();
    void serialLineHeld();
    void cancelStopsPendingStep_data();
    void cancelStopsPendingStep();
    void firstRunPathResolved();
#endif
};

// A file that cannot be opened: the application's box, the window stays until Cancel, and
// nothing goes to either link.
void TestTransfer::openFailure_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    const QString notFile = QStringLiteral("\nNot a file.");
    QTest::newRow("serial, missing") << 7 << "missing.fmt" << QString();
    QTest::newRow("serial, folder") << 7 << "folder" << notFile;
    QTest::newRow("network, missing") << 0 << "missing.fmt" << QString();
#ifdef Q_OS_UNIX
    // Its open would wait for a writer for good.
    QTest::newRow("serial, pipe") << 7 << "pipe" << notFile;
    QTest::newRow("network, pipe") << 0 << "pipe" << notFile;
#endif
}

void TestTransfer::openFailure()
{
    QFETCH(int, port);
    QFETCH(QString, name);
    TestWindows w;
    OwnerPrompt prompt;
    QFETCH(QString, reason);
    QDir(w.tempPath(QString())).mkdir(QStringLiteral("folder"));
#ifdef Q_OS_UNIX
    QCOMPARE(mkfifo(QFile::encodeName(w.tempPath(QStringLiteral("pipe"))).constData(), 0600), 0);
#endif
    fmMain->FSession->FComPort = port;
    SendFileName = w.tempPath(name);

    fmProg->show();
    fmProg->tiDelayTimer();
    QCOMPARE(prompt.messages(), QStringList{QStringLiteral("File Error: Could not open file:\n") +
                                            SendFileName + reason});
    QCOMPARE(prompt.owners, QList<QWidget *>{nullptr});
    QVERIFY(fmProg->isVisible());
    QVERIFY(!fmProg->tiMsgDelay->isActive());
    QVERIFY(!fmProg->file().isOpen());
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmNet->transferring());

    fmProg->bbCancel->click();
    QVERIFY(!fmProg->isVisible());
    QCOMPARE(fmProg->result(), int(ModalResult::Cancel));
}

// The file goes whole, zero bytes and all, then the status request; the window follows the
// stream and closes when it is done. The file is read as the socket takes it, never ahead of
// it by more than the network window keeps in flight.
void TestTransfer::networkTransfer_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("zero bytes inside") << 3000;
    QTest::newRow("empty") << 0;
    QTest::newRow("many pieces") << 3 * 1024 * 1024 + 17;
}

void TestTransfer::networkTransfer()
{
    QFETCH(int, size);
    PrinterSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    TestWindows w(NetIni);
    pointAt(sim);
    const QByteArray content = pattern(size, true);
    SendFileName = w.tempPath(QStringLiteral("net.gph"));
    QVERIFY(writeFile(SendFileName, content));

    qint64 maxAhead = 0;
    int progressCalls = 0;
    connect(fmNet, &TfmNet::transferProgress, this, [&](qint64 sent, qint64) {
        ++progressCalls;
        if (fmProg->file().isOpen())
            maxAhead = qMax(maxAhead, fmProg->file().pos() - sent);
    });
    fmProg->show();
    fmProg->tiDelayTimer();
    QVERIFY(!fmProg->tiMsgDelay->isActive()); // no serial step on the network
    QVERIFY(fmProg->isVisible());
    QVERIFY(fmProg->busy());
    QTRY_VERIFY_WITH_TIMEOUT(!fmProg->isVisible(), 20000);
    QCOMPARE(fmProg->result(), int(ModalResult::OK));
    QVERIFY(!fmProg->file().isOpen());
    QCOMPARE(fmProg->pbFile->value(), fmProg->pbFile->maximum());
    QVERIFY(progressCalls > 0);
    QVERIFY(maxAhead <= 2 * TfmNet::InFlight);

    const QByteArray expected = content + "\n{J,3}";
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received().size(), expected.size());
    QVERIFY(sim.received() == expected);
    QVERIFY(fmNet->tiCheck->isActive()); // the status check follows on its own
    QVERIFY(w.prompt.asked.isEmpty());
}

// A text still waiting for the connection goes first; the window follows its own file only.
void TestTransfer::networkQueuedBehindText()
{
    PrinterSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    TestWindows w(NetIni);
    pointAt(sim);
    const QByteArray content = pattern(200000, true);
    SendFileName = w.tempPath(QStringLiteral("after.gph"));
    QVERIFY(writeFile(SendFileName, content));

    QList<bool> openAtFinish;
    connect(fmNet, &TfmNet::transferFinished, this,
            [&](bool) { openAtFinish << fmProg->isVisible(); });
    fmMain->FSession->SendToPrinter("{B,1,N,1|}");
    QVERIFY(fmNet->FAwaitConnect);
    fmProg->show();
    fmProg->tiDelayTimer();
    QTRY_VERIFY(!fmProg->isVisible());
    QCOMPARE(openAtFinish, (QList<bool>{true, true}));
    QCOMPARE(fmProg->result(), int(ModalResult::OK));
    const QByteArray expected = "{B,1,N,1|}\n{J,3}" + content + "\n{J,3}";
    QVERIFY(sim.waitForBytes(expected.size()));
    QVERIFY(sim.received() == expected);
}

// Cancel while the file streams: the connection goes down at once, so the printer is left
// with part of the file and nothing after it.
// Cancelled while the send waits for the connection: nothing of the file has gone, the closed file
// is never read, and a batch queued behind it goes on as the next send.
void TestTransfer::networkCancelWhileConnecting()
{
    TestWindows w(NetIni);
    // A loopback port nobody listens on: the send waits for its connection checks, which the
    // test never runs.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->edPort->setText(QString::number(port));
    SendFileName = w.tempPath(QStringLiteral("waiting.all"));
    QVERIFY(writeFile(SendFileName, QByteArray(1000, 'f')));

    fmProg->show();
    fmProg->tiDelayTimer();
    QVERIFY(fmNet->FAwaitConnect);
    fmMain->FSession->SendToPrinter("batch\r\n"); // queued behind the file
    QCOMPARE(fmNet->queuedSends(), 1);
    fmProg->bbCancel->click();

    QVERIFY(!fmProg->file().isOpen());
    QCOMPARE(fmNet->queuedSends(), 0);
    QVERIFY(fmNet->FAwaitConnect); // now the batch waits for the connection
    QCOMPARE(fmNet->FTotal, qint64(QByteArray("batch\r\n\n{J,3}").size()));
    QVERIFY(w.prompt.asked.isEmpty());
}

void TestTransfer::networkCancelMidStream()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--rate"), QStringLiteral("4000000")}),
             qPrintable(sim.errorString()));
    TestWindows w(NetIni);
    pointAt(sim);
    const int size = 16 * 1024 * 1024;
    const QByteArray content = pattern(size, true);
    SendFileName = w.tempPath(QStringLiteral("long.all"));
    QVERIFY(writeFile(SendFileName, content));

    fmProg->show();
    fmProg->tiDelayTimer();
    QTRY_VERIFY(fmProg->pbFile->value() > 0);
    fmProg->bbCancel->click();
    QVERIFY(!fmProg->isVisible());
    QCOMPARE(fmProg->result(), int(ModalResult::Cancel));
    QVERIFY(!fmProg->busy());
    QVERIFY(!fmProg->file().isOpen());
    QVERIFY(!fmNet->FLinkActive);
    QVERIFY(!fmNet->transferring());
    QCOMPARE(fmNet->csNet->state(), QAbstractSocket::UnconnectedState);

    QVERIFY(sim.waitForOutput("disconnected", 30000));
    const QByteArray got = sim.received();
    QVERIFY(got.size() > 0);
    QVERIFY(got.size() < size);
    QVERIFY(content.startsWith(got));
    QVERIFY(w.prompt.asked.isEmpty());
}

// The file loses bytes after it was measured: reported, and the connection is ended so that
// the part that went is not taken together with whatever is sent next.
void TestTransfer::networkFileShrinks()
{
    PrinterSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    TestWindows w(NetIni);
    OwnerPrompt prompt;
    pointAt(sim);
    const QByteArray content = pattern(1000, true);
    SendFileName = w.tempPath(QStringLiteral("shrinks.fmt"));
    QVERIFY(writeFile(SendFileName, content));

    fmProg->show();
    fmProg->tiDelayTimer();
    QVERIFY(QFile::resize(SendFileName, 600));
    QTRY_VERIFY(!fmProg->isVisible());
    QCOMPARE(prompt.messages(), QStringList{"SendIPFile: Error reading data from file."});
    QCOMPARE(prompt.owners, QList<QWidget *>{fmProg});
    QVERIFY(!fmNet->FLinkActive);
    QVERIFY(!fmNet->tiCheck->isActive());
    QVERIFY(sim.waitForOutput("disconnected"));
    QVERIFY(content.startsWith(sim.received()));
}

#ifdef Q_OS_UNIX

void TestTransfer::serialBlocks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("withZeros");
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<int>("barMax");
    QTest::newRow("1000 bytes") << 1000 << false << QList<int>{512, 488} << 1;
    QTest::newRow("exact multiple") << 1536 << false << QList<int>{512, 512, 512} << 3;
    QTest::newRow("one block") << 512 << false << QList<int>{512} << 1;
    QTest::newRow("under a block") << 100 << false << QList<int>{100} << 1;
    QTest::newRow("zero bytes inside") << 1300 << true << QList<int>{512, 512, 276} << 2;
    QTest::newRow("empty") << 0 << false << QList<int>{} << 1;
}

void TestTransfer::serialBlocks()
{
    QFETCH(int, size);
    QFETCH(bool, withZeros);
    QFETCH(QList<int>, blocks);
    QFETCH(int, barMax);

    TestWindows w;
    TestPty pty;
    QVERIFY(pty.open());
    PortOverrides[PtyPort] = pty.path();
    fmMain->FSession->FComPort = PtyPort;
    const QByteArray content = pattern(size, withZeros);
    SendFileName = w.tempPath(QStringLiteral("file.gph"));
    QVERIFY(writeFile(SendFileName, content));

    QList<int> written;
    connect(fmProg, &TfmProg::blockWritten, this, [&](int n) { written << n; });

    fmProg->show();
    QVERIFY(fmProg->tiDelay->isActive());
    QCOMPARE(fmProg->tiDelay->interval(), 100);
    fmProg->tiDelayTimer();
    QCOMPARE(fmProg->laFileName->text(), SendFileName);
    QCOMPARE(fmProg->laFileSize->text(), QString::number(size));
    QCOMPARE(fmProg->pbFile->maximum(), barMax);
    QCOMPARE(fmProg->pbFile->value(), 0);
    QVERIFY(fmProg->tiMsgDelay->isActive());
    QCOMPARE(fmProg->tiMsgDelay->interval(), 200);
    QVERIFY(written.isEmpty());

    fmProg->tiMsgDelayTimer();
    QTRY_VERIFY(!fmProg->isVisible());
    QCOMPARE(fmProg->result(), int(ModalResult::OK));
    QCOMPARE(written, blocks);
    QTRY_COMPARE(pty.receivedSize(), qint64(size));
    QCOMPARE(pty.received(), content);
    if (size > 0)
        QCOMPARE(fmProg->pbFile->value(), barMax);
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmProg->file().isOpen());
    QVERIFY(w.prompt.asked.isEmpty());
}

// Even an empty file opens the port: a port that is not there is reported, and the window
// stays for the operator to close.
void TestTransfer::serialPortMissing()
{
    TestWindows w;
    PortOverrides[PtyPort] = w.tempPath(QStringLiteral("no-such-tty"));
    fmMain->FSession->FComPort = PtyPort;
    SendFileName = w.tempPath(QStringLiteral("empty.fmt"));
    QVERIFY(writeFile(SendFileName, QByteArray()));

    fmProg->show();
    fmProg->tiDelayTimer();
    fmProg->tiMsgDelayTimer();
    QCOMPARE(w.prompt.messages(),
             QStringList{"Comm Error: Could not open port.\n" + PortOverrides[PtyPort] +
                         ": No such file or directory"});
    QVERIFY(fmProg->isVisible());
    QVERIFY(!fmProg->file().isOpen());
    fmProg->bbCancel->click();
    QVERIFY(!fmProg->isVisible());
}

// The file loses bytes between the open and the read: the blocks read so far stay sent, the
// rest is reported, the port is released and the window closes.
void TestTransfer::serialFileShrinks()
{
    TestWindows w;
    OwnerPrompt prompt;
    TestPty pty;
    QVERIFY(pty.open());
    PortOverrides[PtyPort] = pty.path();
    fmMain->FSession->FComPort = PtyPort;
    const QByteArray content = pattern(1000, false);
    SendFileName = w.tempPath(QStringLiteral("shrinks.fmt"));
    QVERIFY(writeFile(SendFileName, content));

    fmProg->show();
    fmProg->tiDelayTimer();
    QVERIFY(QFile::resize(SendFileName, 600));
    fmProg->tiMsgDelayTimer();
    QTRY_VERIFY(!fmProg->isVisible());
    QCOMPARE(prompt.messages(), QStringList{"tiMsgDelayTimer: Error reading data from file."});
    QCOMPARE(prompt.owners, QList<QWidget *>{fmProg});
    QTRY_COMPARE(pty.receivedSize(), qint64(512));
    QCOMPARE(pty.received(), content.left(512));
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmProg->file().isOpen());
}

// The printer end goes away in the middle of a file: one write error, the window closes and
// the program does not hang on the dead line.
void TestTransfer::serialFarEndCloses()
{
    TestWindows w;
    OwnerPrompt prompt;
    TestPty pty;
    QVERIFY(pty.open());
    pty.hangUpAfter(4096);
    PortOverrides[PtyPort] = pty.path();
    fmMain->FSession->FComPort = PtyPort;
    fmMain->FSession->FComHandle->setStallLimitOverride(2000);
    const int size = 4 * 1024 * 1024;
    SendFileName = w.tempPath(QStringLiteral("big.all"));
    QVERIFY(writeFile(SendFileName, pattern(size, true)));

    QElapsedTimer clock;
    clock.start();
    fmProg->show();
    fmProg->tiDelayTimer();
    fmProg->tiMsgDelayTimer();
    QTRY_VERIFY_WITH_TIMEOUT(!fmProg->isVisible(), 20000);
    QVERIFY(pty.hungUp());
    QCOMPARE(prompt.messages(), QStringList{"tiMsgDelayTimer: Error writing data to printer."});
    QCOMPARE(prompt.owners, QList<QWidget *>{fmProg});
    QCOMPARE(prompt.portOpen, QList<bool>{false}); // a dead port held open keeps a core busy
    QCOMPARE(fmProg->result(), int(ModalResult::Cancel));
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmProg->file().isOpen());
    QVERIFY(clock.elapsed() < 15000);
}

// The loop gives the window its turn between blocks: Cancel stops it there, releases the port
// and the file, and the next showing is a fresh transfer.
void TestTransfer::serialCancelBetweenBlocks()
{
    TestWindows w;
    TestPty pty;
    QVERIFY(pty.open());
    PortOverrides[PtyPort] = pty.path();
    fmMain->FSession->FComPort = PtyPort;
    fmProg->FSliceMs = 0; // one block per turn of the event loop
    const QByteArray content = pattern(512 * 20, false);
    SendFileName = w.tempPath(QStringLiteral("long.fmt"));
    QVERIFY(writeFile(SendFileName, content));

    int written = 0;
    connect(fmProg, &TfmProg::blockWritten, this, [&](int) { ++written; });
    fmProg->show();
    fmProg->tiDelayTimer();
    fmProg->tiMsgDelayTimer();
    QCOMPARE(written, 1);
    QVERIFY(fmProg->busy());
    while (written < 3)
        QCoreApplication::processEvents();
    fmProg->bbCancel->click();
    const int atCancel = written;
    QVERIFY(!fmProg->isVisible());
    QVERIFY(!fmProg->busy());
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmProg->file().isOpen());
    QVERIFY(!fmProg->fileSender()->tiBlock->isActive());
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(written, atCancel);
    QVERIFY(atCancel < 20);
    QTRY_COMPARE(pty.receivedSize(), qint64(atCancel) * 512);
    QCOMPARE(
        fmMain->laStat->text(),
        QStringLiteral("File transfer cancelled: %1 of 10240 bytes sent.").arg(atCancel * 512));
    QCOMPARE(fmMain->laStat->palette().color(QPalette::WindowText), TfmMain::Red);
    QVERIFY(fmProg->cancelledPartway());

    written = 0;
    fmProg->FSliceMs = 30;
    fmProg->show();
    QCOMPARE(fmProg->pbFile->value(), 0);
    fmProg->tiDelayTimer();
    fmProg->tiMsgDelayTimer();
    QTRY_VERIFY(!fmProg->isVisible());
    QCOMPARE(written, 20);
    QTRY_COMPARE(pty.receivedSize(), qint64(atCancel + 20) * 512);
    QVERIFY(pty.received().endsWith(content));
}

// The printer holds the line in the middle of a file: the window stays responsive, a file
// transfer allows a long stall, and either Cancel or the stall watch ends it with the port
// released first.
void TestTransfer::serialLineHeld_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("byClose"); // the main window closed instead of Cancel
    QTest::newRow("Cancel") << true << false;
    QTest::newRow("stall limit reached") << false << false;
    QTest::newRow("main window closed") << true << true;
}

void TestTransfer::serialLineHeld()
{
    QFETCH(bool, cancel);
    QFETCH(bool, byClose);
    TestWindows w;
    OwnerPrompt prompt;
    TestPty pty;
    QVERIFY(pty.open());
    pty.pause(true);
    PortOverrides[PtyPort] = pty.path();
    fmMain->FSession->FComPort = PtyPort;
    SendFileName = w.tempPath(QStringLiteral("held.all"));
    QVERIFY(writeFile(SendFileName, pattern(1024 * 1024, true)));

    fmProg->show();
    fmProg->tiDelayTimer();
    fmProg->tiMsgDelayTimer();
    SerialLink *link = fmMain->FSession->FComHandle;
    QTRY_VERIFY(link->pending() > 0);
    QVERIFY(link->tiStall->isActive() && link->transferStallMs() >= 60000);
    const qint64 taken = link->taken();
    if (cancel) {
        if (byClose)
            fmMain->close();
        else
            fmProg->bbCancel->click();
        QVERIFY(prompt.asked.isEmpty());
        QVERIFY(fmMain->laStat->text().endsWith(QStringLiteral(" of 1048576 bytes sent.")));
    } else {
        // Fails at the first look after the limit since the line last moved, not a look later.
        QTRY_VERIFY((link->tiStallTimer(), link->stillMs() > 0));
        do {
            QVERIFY(fmMain->FSession->portOpen());
            link->tiStallTimer();
        } while (link->stillMs() < link->transferStallMs());
        QCOMPARE(link->stillMs(), link->transferStallMs());
        link->tiStallTimer();
        QTRY_VERIFY(!fmMain->FSession->portOpen());
        QTRY_VERIFY(!fmProg->isVisible());
        QCOMPARE(prompt.messages(), QStringList{"tiMsgDelayTimer: Error writing data to printer."});
        QCOMPARE(prompt.portOpen, QList<bool>{false});
    }
    QVERIFY(!fmProg->isVisible() && !fmMain->FSession->portOpen() && !fmProg->file().isOpen());
    pty.pause(false);
    if (cancel) // what the port took still reaches the printer
        QTRY_VERIFY(pty.receivedSize() >= taken);
}

// Cancel while the open or the serial step is still waiting on its timer: the step does not
// run afterwards, so nothing reaches the printer once the window is gone.
void TestTransfer::cancelStopsPendingStep_data()
{
    QTest::addColumn<bool>("afterOpen");
    QTest::newRow("open pending") << false;
    QTest::newRow("serial step pending") << true;
}

void TestTransfer::cancelStopsPendingStep()
{
    QFETCH(bool, afterOpen);
    TestWindows w;
    TestPty pty;
    QVERIFY(pty.open());
    PortOverrides[PtyPort] = pty.path();
    fmMain->FSession->FComPort = PtyPort;
    SendFileName = w.tempPath(QStringLiteral("f.fmt"));
    QVERIFY(writeFile(SendFileName, pattern(700, false)));

    fmProg->show();
    if (afterOpen) {
        fmProg->tiDelayTimer();
        QVERIFY(fmProg->file().isOpen());
    }
    fmProg->bbCancel->click();
    QVERIFY(!fmProg->isVisible());
    QVERIFY(!fmProg->tiDelay->isActive());
    QVERIFY(!fmProg->tiMsgDelay->isActive());
    QVERIFY(!fmProg->file().isOpen());
    QCoreApplication::processEvents();
    QCOMPARE(pty.receivedSize(), qint64(0));
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(w.prompt.asked.isEmpty());
}

// The start-up list's first-run entry names a file in the current folder; the window shows
// the entry as written.
void TestTransfer::firstRunPathResolved()
{
    TestWindows w;
    TestPty pty;
    QVERIFY(pty.open());
    PortOverrides[PtyPort] = pty.path();
    fmMain->FSession->FComPort = PtyPort;
    const QString old = QDir::currentPath();
    QVERIFY(QDir::setCurrent(w.tempPath(QString())));
    const QByteArray content = pattern(600, true);
    QVERIFY(writeFile(QStringLiteral("showgphf.gph"), content));
    SendFileName = QStringLiteral(".\\showgphf.gph");

    fmProg->show();
    fmProg->tiDelayTimer();
    QCOMPARE(fmProg->laFileName->text(), QStringLiteral(".\\showgphf.gph"));
    fmProg->tiMsgDelayTimer();
    QTRY_VERIFY(!fmProg->isVisible());
    QDir::setCurrent(old);
    QVERIFY(w.prompt.asked.isEmpty());
    QTRY_COMPARE(pty.received(), content);
}

#endif

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
