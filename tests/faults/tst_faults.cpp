// Bad input from every side the program has: the printer's socket and serial line, its replies,
// the settings file and the files an operator opens. One function per fault; each case must end
// in a message the operator can read or a state the program can go on from.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <optional>

#include "PrinterSim.h"
#include "TestFiles.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "core/PacketText.h"
#include "core/Settings.h"
#include "link/PortNames.h"
#include "link/ReplyBuffer.h"
#include "link/SerialLink.h"
#include "widgets/Prompt.h"
#include "widgets/TfmFormat.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"

namespace
{

const QByteArray Request = "\n{J,3}";
const QString Success = QStringLiteral("{J,\"\",\"\",\"\",\"\"}");
const QString EncodingFailed = QStringLiteral("Label encoding failed");
const QString WriteError =
    QStringLiteral("Write Error: Could not write initialization file.\nIs it read-only?");
constexpr int SerialPort = 7; // above 2: a pseudo-terminal takes no line settings

// Bytes whose order shows: a slip, a loss or a doubling changes what the printer got.
QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 251) % 256);
    return b;
}

// Printer text ends at its first zero byte; this one has none.
QByteArray textPattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char('A' + (i * 7 + i / 251) % 26);
    return b;
}

// A literal's bytes, zero bytes included.
template <size_t N> QByteArray bytesOf(const char (&literal)[N])
{
    return QByteArray(literal, int(N - 1));
}

quint16 portNobodyListensOn()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort(); // free again once server goes
}

QString mainStatus()
{
    return fmMain->laStat->text();
}

QColor mainStatusColour()
{
    return fmMain->laStat->palette().color(QPalette::WindowText);
}

void useNetwork(quint16 port)
{
    fmMain->FSession->FComPort = 0;
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->edPort->setText(QString::number(port));
}

void useSerial(const PrinterSim &sim)
{
    PortOverrides[SerialPort] = sim.ptyPath();
    fmMain->FSession->FComPort = SerialPort;
}

// A send waiting for its connection: let the connect happen, then let the wait timer see it
// by hand, so that no real interval passes.
bool connectWaitingSend()
{
    if (!fmNet->FAwaitConnect || !fmNet->tiNetConnected->isActive())
        return false;
    fmNet->tiNetConnected->stop();
    if (!QTest::qWaitFor([] { return fmNet->laStat->text() == QLatin1String("Connected"); }, 10000))
        return false;
    fmNet->tiNetConnectedTimer();
    return !fmNet->FAwaitConnect;
}

// A batch over the network, and the printer's reply left to arrive whole; the status check
// is held back until then.
bool batchAndReply(qint64 replyBytes)
{
    fmMain->SplitFormatText(); // the format has gone before: the batch goes alone, unasked
    fmMain->sbSendBatchClick();
    if (!connectWaitingSend() || !QTest::qWaitFor([] { return fmNet->tiCheck->isActive(); }, 10000))
        return false;
    fmNet->tiCheck->stop();
    return QTest::qWaitFor([&] { return fmNet->replies().bytesReceived() >= replyBytes; }, 60000);
}

// The status check, driven by hand: returns the status line.
QString statusCheck()
{
    fmNet->tiCheckTimer();
    fmMain->tiEncdStatTimer();
    return mainStatus();
}

// The program's windows on a settings file of the test's choosing (TestWindows picks its own).
// The prompt is the test's, so that it outlives the windows.
class WindowsAt
{
public:
    explicit WindowsAt(const QString &settingsPath)
    {
        ResetProgramValues();
        PortOverrides.clear();
        CreateWindows(settingsPath);
        fmMain->tiInitDelay->stop();
    }
    ~WindowsAt()
    {
        DestroyWindows();
        ResetProgramValues();
        PortOverrides.clear();
    }
    WindowsAt(const WindowsAt &) = delete;
    WindowsAt &operator=(const WindowsAt &) = delete;
};

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void connectionRefused_data();
    void connectionRefused();
    void peerClosesMidTransfer_data();
    void peerClosesMidTransfer();
    void replyFloodWithoutLineBreak_data();
    void replyFloodWithoutLineBreak();
    void longReplyLine_data();
    void longReplyLine();
    void zeroBytesInReply_data();
    void zeroBytesInReply();
#ifdef Q_OS_UNIX
    void serialDeviceVanishesMidFile_data();
    void serialDeviceVanishesMidFile();
#endif
    void garbageSettingsFile_data();
    void garbageSettingsFile();
    void unwritableSettingsPlace_data();
    void unwritableSettingsPlace();
    void hugeFormatFile_data();
    void hugeFormatFile();
    void printerFileGoneBetweenOpens_data();
    void printerFileGoneBetweenOpens();
};

// ---- 1. Nobody listening -------------------------------------------------------------------

void TestFaults::connectionRefused_data()
{
    QTest::addColumn<int>("clicks");
    QTest::newRow("one batch") << 1;
    // Enter reaches the handler while the button is disabled: the second send waits behind
    // the first and must fail with it, under the same single message.
    QTest::newRow("second batch while the first waits") << 2;
}

void TestFaults::connectionRefused()
{
    QFETCH(int, clicks);
    TestWindows w;
    const quint16 port = portNobodyListensOn();
    useNetwork(port);
    QSignalSpy finished(fmNet, &TfmNet::transferFinished);
    fmMain->SplitFormatText(); // no question about the format: every message is a fault's

    for (int i = 0; i < clicks; ++i)
        fmMain->sbSendBatchClick();
    QVERIFY(fmNet->FAwaitConnect);
    QCOMPARE(fmNet->queuedSends(), clicks - 1);
    QVERIFY(!fmMain->sbSendBatch->isEnabled());
    fmNet->tiNetConnected->stop();
    QTRY_COMPARE(fmNet->laStat->text(), QStringLiteral("Error"));

    // Three checks find no connection and wait longer; the fourth gives up.
    for (int interval : {500, 1000, 2000}) {
        fmNet->tiNetConnectedTimer();
        QCOMPARE(fmNet->tiNetConnected->interval(), interval);
        QVERIFY(fmNet->tiNetConnected->isActive());
        QCOMPARE(w.prompt.messages().size(), 0);
    }
    fmNet->tiNetConnectedTimer();
    QVERIFY(!fmNet->tiNetConnected->isActive());
    QCOMPARE(w.prompt.messages(),
             QStringList{QStringLiteral("tiNetConnectedTimer: Could not connect")});

    // Down, and nothing waits to go out later.
    QVERIFY(!fmNet->FLinkActive);
    QVERIFY(!fmNet->FAwaitConnect);
    QVERIFY(!fmNet->transferring());
    QCOMPARE(fmNet->queuedSends(), 0);
    QCOMPARE(fmNet->csNet->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(fmNet->laStat->text(), QStringLiteral("Disconnected"));
    QTRY_COMPARE(finished.count(), clicks);
    for (const QList<QVariant> &args : std::as_const(finished))
        QCOMPARE(args.at(0).toBool(), false);
    QVERIFY(!fmNet->tiCheck->isActive());
    QVERIFY(!fmMain->tiEncdStat->isActive());

    // The button stays off until the status hold runs out, which is still running.
    QVERIFY(!fmMain->sbSendBatch->isEnabled());
    QVERIFY(fmMain->tiStatHold->isActive());
    fmMain->tiStatHoldTimer();
    QCOMPARE(mainStatus(), QStringLiteral("Idle"));
    QVERIFY(fmMain->sbSendBatch->isEnabled());

    // The printer comes up on that port: it gets the next batch alone, none of the lost ones.
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--port"), QString::number(port)}),
             qPrintable(sim.errorString()));
    QCOMPARE(sim.port(), port);
    fmMain->sbSendBatchClick();
    const QByteArray expected = PrinterText(fmMain->FSession->FBatchLines) + Request;
    QVERIFY(connectWaitingSend());
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(w.prompt.messages().size(), 1);
}

// ---- 2. The printer drops the connection in the middle of a send ----------------------------

void TestFaults::peerClosesMidTransfer_data()
{
    QTest::addColumn<bool>("asFile");
    QTest::addColumn<int>("closeAfter");
    QTest::newRow("text, after one byte") << false << 1;
    QTest::newRow("text, after 64 KiB") << false << 65536;
    QTest::newRow("text, after 1 MiB") << false << 1024 * 1024;
    QTest::newRow("file transfer, after 100000 bytes") << true << 100000;
}

void TestFaults::peerClosesMidTransfer()
{
    QFETCH(bool, asFile);
    QFETCH(int, closeAfter);
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--close-after"), QString::number(closeAfter)}),
             qPrintable(sim.errorString()));
    TestWindows w;
    useNetwork(sim.port());
    // Larger than what the kernel buffers on both ends can hold, so that the close is seen.
    const QByteArray big = asFile ? pattern(16 * 1024 * 1024) : textPattern(16 * 1024 * 1024);
    QSignalSpy finished(fmNet, &TfmNet::transferFinished);

    if (asFile) {
        SendFileName = w.tempPath(QStringLiteral("big.all"));
        QVERIFY(writeFile(SendFileName, big));
        fmProg->show();
        fmProg->tiDelayTimer();
    } else {
        fmMain->FSession->SendToPrinter(big);
    }
    QVERIFY(connectWaitingSend());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
    QCOMPARE(finished.at(0).at(0).toBool(), false);

    QVERIFY2(ClosedAfter(mainStatus(), closeAfter, big.size() + Request.size()),
             qPrintable(mainStatus()));
    QCOMPARE(mainStatusColour(), TfmMain::Red);
    QCOMPARE(fmNet->laStat->text(), QStringLiteral("Send failed"));
    QVERIFY(!fmNet->transferring());
    QVERIFY(!fmNet->FLinkActive);
    QVERIFY(!fmNet->tiCheck->isActive()); // no status check for a send that did not go
    if (asFile) {
        QTRY_VERIFY(!fmProg->isVisible());
        QCOMPARE(fmProg->result(), int(ModalResult::Cancel));
        QVERIFY(!fmProg->file().isOpen());
    }
    QVERIFY(sim.waitForOutput("closing after"));
    QCOMPARE(sim.received(), big.left(closeAfter));
    QVERIFY(w.prompt.messages().isEmpty());

    // The printer is back on the same port: the next send makes a new connection, arrives
    // whole, and its check reports.
    const quint16 port = sim.port();
    sim.stop();
    QVERIFY2(sim.start({QStringLiteral("--port"), QString::number(port)}),
             qPrintable(sim.errorString()));
    const QByteArray next = "{B,1,N,1|\r\n1,\"0123456789ABCDEF00000001\"|\r\n}\r\n";
    fmMain->FSession->SendToPrinter(next);
    QVERIFY(connectWaitingSend());
    QTRY_VERIFY(fmNet->tiCheck->isActive());
    fmNet->tiCheck->stop();
    QVERIFY(sim.waitForBytes(next.size() + Request.size()));
    QCOMPARE(sim.received(), next + Request);
    QTRY_VERIFY(!fmNet->replies().isEmpty());
    QCOMPARE(statusCheck(), QStringLiteral("Operation OK"));
}

// ---- 3. A reply that never ends its line --------------------------------------------------

void TestFaults::replyFloodWithoutLineBreak_data()
{
    QTest::addColumn<QString>("byte"); // as the emulator spells it
    QTest::addColumn<QChar>("character");
    QTest::newRow("letters") << QStringLiteral("z") << QChar(u'z');
    // A carriage return alone is no line break; the reply still is one line.
    QTest::newRow("carriage returns") << QStringLiteral("\\r") << QChar(u'\r');
}

void TestFaults::replyFloodWithoutLineBreak()
{
    QFETCH(QString, byte);
    QFETCH(QChar, character);
    const int flood = 10 * 1024 * 1024;
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--reply-text"), byte, QStringLiteral("--reply-repeat"),
                        QString::number(flood)}),
             qPrintable(sim.errorString()));
    TestWindows w;
    useNetwork(sim.port());

    QVERIFY(batchAndReply(flood));
    const ReplyBuffer &replies = fmNet->replies();
    QCOMPARE(replies.bytesReceived(), qint64(flood));
    // What was kept of the line is all there is; the rest was counted and let go.
    QCOMPARE(replies.lineCount(), 1);
    QCOMPARE(replies.finishedLines(), 0);
    QCOMPARE(replies.unfinished().size(), ReplyBuffer::MaxLineLength - (character == u'\r'));
    QCOMPARE(replies.droppedBytes(), qint64(flood - ReplyBuffer::MaxLineLength));
    QVERIFY(fmNet->csNet->readBufferSize() > 0);
    QVERIFY(fmNet->csNet->bytesAvailable() <= fmNet->csNet->readBufferSize());
    QVERIFY(fmNet->meReceive->document()->characterCount() <= ReplyBuffer::MaxLineLength + 1);

    const QString status = statusCheck();
    QVERIFY(replies.isEmpty()); // the check took the one line
    QCOMPARE(fmNet->meReceive->toPlainText(), QString());
    QCOMPARE(status, EncodingFailed + QString(ReplyBuffer::MaxReplyLength, character));
    QCOMPARE(mainStatusColour(), TfmMain::Red);
    QVERIFY(fmMain->sbSendBatch->isEnabled());
    QVERIFY(!fmMain->tiEncdStat->isActive());
    QVERIFY(w.prompt.messages().isEmpty());
}

// ---- 4. A reply line longer than the status line takes ------------------------------------

void TestFaults::longReplyLine_data()
{
    QTest::addColumn<QByteArray>("line"); // the reply line, without its break
    QTest::addColumn<QString>("ending");  // as the emulator spells it

    QByteArray digits;
    for (int i = 0; i < 2000; ++i)
        digits += char('0' + i % 10);
    const QByteArray j1000 = "{J," + digits.left(997);
    QTest::newRow("1000 characters, CR LF") << j1000 << QStringLiteral("\\r\\n");
    QTest::newRow("1000 characters, LF") << j1000 << QStringLiteral("\\n");
    QTest::newRow("1000 characters, no break yet") << j1000 << QString();
    QTest::newRow("2000 characters, beyond a kept line")
        << QByteArray("{J," + digits.left(1997)) << QStringLiteral("\\r\\n");
    QTest::newRow("success text with 980 more characters")
        << QByteArray(Success.toLatin1() + digits.left(980)) << QStringLiteral("\\r\\n");
    QTest::newRow("128 characters")
        << QByteArray("{J," + digits.left(125)) << QStringLiteral("\\r\\n");
    QTest::newRow("127 characters")
        << QByteArray("{J," + digits.left(124)) << QStringLiteral("\\r\\n");
}

void TestFaults::longReplyLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, ending);
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--reply-text"), QString::fromLatin1(line) + ending}),
             qPrintable(sim.errorString()));
    TestWindows w;
    useNetwork(sim.port());

    const qint64 size = line.size() + (ending.isEmpty() ? 0 : ending.size() / 2);
    QVERIFY(batchAndReply(size));
    const QString status = statusCheck();
    QCOMPARE(status, EncodingFailed + QString::fromLatin1(line.left(127)));
    QCOMPARE(status.size(), EncodingFailed.size() + qMin(127, int(line.size())));
    QCOMPARE(mainStatusColour(), TfmMain::Red);
    // The rest of the line went with it: no later poll takes it for a second reply.
    QVERIFY(fmNet->replies().isEmpty());
    QVERIFY(fmMain->sbSendBatch->isEnabled());
}

// ---- 5. Zero bytes in a reply ---------------------------------------------------------------

void TestFaults::zeroBytesInReply_data()
{
    QTest::addColumn<QString>("reply");    // as the emulator spells it
    QTest::addColumn<QByteArray>("bytes"); // as it arrives
    QTest::addColumn<QString>("status");
    QTest::addColumn<QByteArray>("left"); // the line still in the area after the check

    const QString nul(QChar(0));
    QTest::newRow("inside a failure reply")
        << QStringLiteral("{J,\"\\0E1\",\"1\"}\\r\\n") << bytesOf("{J,\"\0E1\",\"1\"}\r\n")
        << EncodingFailed + QStringLiteral("{J,\"") + nul + QStringLiteral("E1\",\"1\"}")
        << QByteArray();
    QTest::newRow("after the success text") << QStringLiteral("{J,\"\",\"\",\"\",\"\"}\\0\\r\\n")
                                            << bytesOf("{J,\"\",\"\",\"\",\"\"}\0\r\n")
                                            << EncodingFailed + Success + nul << QByteArray();
    QTest::newRow("before the success text") << QStringLiteral("\\0{J,\"\",\"\",\"\",\"\"}\\r\\n")
                                             << bytesOf("\0{J,\"\",\"\",\"\",\"\"}\r\n")
                                             << EncodingFailed + nul + Success << QByteArray();
    QTest::newRow("a line of one zero, then success")
        << QStringLiteral("\\0\\r\\n{J,\"\",\"\",\"\",\"\"}\\r\\n")
        << bytesOf("\0\r\n{J,\"\",\"\",\"\",\"\"}\r\n") << EncodingFailed + nul
        << Success.toLatin1();
    QTest::newRow("zeros only, no break") << QStringLiteral("\\0\\0\\0") << QByteArray(3, '\0')
                                          << EncodingFailed + nul + nul + nul << QByteArray();
}

void TestFaults::zeroBytesInReply()
{
    QFETCH(QString, reply);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, status);
    QFETCH(QByteArray, left);
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--reply-text"), reply}), qPrintable(sim.errorString()));
    TestWindows w;
    useNetwork(sim.port());

    QVERIFY(batchAndReply(bytes.size()));
    // Shown whole, each zero as a mark of its own.
    QStringList shown;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        shown << ReplyBuffer::displayText(line);
    }
    QCOMPARE(fmNet->meReceive->toPlainText(), shown.join(QLatin1Char('\n')));
    QCOMPARE(statusCheck(), status);
    QCOMPARE(fmNet->replies().bytesReceived(), qint64(bytes.size()));
    QCOMPARE(fmNet->replies().droppedBytes(), qint64(0));
    QCOMPARE(mainStatusColour(), TfmMain::Red);
    QVERIFY(fmMain->sbSendBatch->isEnabled());
    if (left.isEmpty()) {
        QVERIFY(fmNet->replies().isEmpty());
        QCOMPARE(fmNet->meReceive->toPlainText(), QString());
    } else {
        QCOMPARE(fmNet->replies().lineCount(), 1);
        QCOMPARE(fmNet->replies().line(0), left);
        QCOMPARE(fmNet->meReceive->toPlainText(), QString::fromLatin1(left) + QLatin1Char('\n'));
    }
    QVERIFY(!fmNet->meReceive->toPlainText().contains(QChar(0)));
}

// ---- 6. The serial device goes away in the middle of a file ----------------------------------

#ifdef Q_OS_UNIX
void TestFaults::serialDeviceVanishesMidFile_data()
{
    QTest::addColumn<bool>("withinRun");
    QTest::newRow("between runs of blocks") << false;
    QTest::newRow("within a run of blocks") << true;
}

void TestFaults::serialDeviceVanishesMidFile()
{
    QFETCH(bool, withinRun);
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    const QByteArray content = pattern(1024 * 1024);
    SendFileName = w.tempPath(QStringLiteral("big.gph"));
    QVERIFY(writeFile(SendFileName, content));

    int written = 0;
    bool busyAtStop = false;
    QElapsedTimer sinceStop;
    auto pullThePlug = [&] {
        busyAtStop = fmProg->busy();
        sim.stop();
        sinceStop.start();
    };
    // One block per turn of the event loop, or the whole file in one run.
    fmProg->FSliceMs = withinRun ? 600000 : 0;
    connect(fmProg, &TfmProg::blockWritten, this, [&](int) {
        if (++written != 4)
            return;
        if (withinRun)
            pullThePlug();
        else
            QMetaObject::invokeMethod(this, pullThePlug, Qt::QueuedConnection);
    });
    fmProg->show();
    fmProg->tiDelayTimer();
    fmProg->tiMsgDelayTimer();
    QTRY_VERIFY_WITH_TIMEOUT(!fmProg->isVisible(), 30000);
    QVERIFY(sinceStop.isValid());
    QVERIFY(busyAtStop);
    const qint64 took = sinceStop.elapsed();

    QCOMPARE(w.prompt.messages(),
             QStringList{QStringLiteral("tiMsgDelayTimer: Error writing data to printer.")});
    QCOMPARE(fmProg->result(), int(ModalResult::Cancel));
    QVERIFY(!fmProg->busy());
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmProg->file().isOpen());
    QVERIFY2(written < 2048, "the whole file was reported as written to a vanished device");
    // A dead line shows at once; it must not take the wait meant for a slow one.
    QVERIFY2(took < 5000, qPrintable(QStringLiteral("took %1 ms").arg(took)));
    const QByteArray got = sim.received();
    QVERIFY(!got.isEmpty());
    QVERIFY(content.startsWith(got));
}
#endif

// ---- 7. A settings file of binary garbage -----------------------------------------------------

void TestFaults::garbageSettingsFile_data()
{
    QTest::addColumn<QByteArray>("text");

    QByteArray noise;
    quint32 x = 12345;
    for (int i = 0; i < 64 * 1024; ++i) {
        x = x * 1103515245u + 12345u;
        noise += char(x >> 24);
    }
    QTest::newRow("random bytes") << noise;
    QTest::newRow("zero bytes") << QByteArray(4096, '\0');
    QTest::newRow("UTF-16 text") << bytesOf(
        "\xFF\xFE[\0E\0P\0C\0]\0\r\0\n\0C\0O\0M\0=\0\x30\0\r\0\n\0");
    QTest::newRow("section with binary values")
        << QByteArray("[EPC]\r\nCOM=\x01\xFF\r\nBAUD=\x80\x81\x82\r\nDATASIZE=\x7F\r\n"
                      "PARITY=\x1B[31m\r\nSTOPBITS=\xFF\xFF\xFF\xFF\r\n");
    QTest::newRow("one megabyte line") << QByteArray("COM" + QByteArray(1024 * 1024, 'Q'));
    QTest::newRow("unclosed section header") << QByteArray("[EPC\nCOM=0\n");
    QTest::newRow("control characters and brackets")
        << bytesOf("[[[\x01]]]\n=\n==\n]\n\x1A\x04\x7F=\x00]][\nCOM=0\n");
}

void TestFaults::garbageSettingsFile()
{
    QFETCH(QByteArray, text);
    QByteArray written;
    {
        TestWindows w(text);
        QCOMPARE(readFile(w.settingsPath()), text);
        // Every value the file could not give is its default.
        QCOMPARE(fmMain->FSession->FComPort, 1);
        QVERIFY(fmMain->FFirstRun);
        QCOMPARE(fmMain->FSession->FBaudRate, 9600);
        QCOMPARE(fmMain->FSession->FParity, 0);
        QCOMPARE(fmMain->FSession->FDataBits, 8);
        QCOMPARE(fmMain->FSession->FStopBits, 1);
        QCOMPARE(fmMain->FSession->FFlowControl, 2);
        QCOMPARE(fmMain->FSession->FDataSize, 96);
        QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000000"));
        QVERIFY(fmMain->FSession->printerAddress().isEmpty());
        QVERIFY(SendFileName.isEmpty());
        QVERIFY(PortOverrides.isEmpty());

        fmMain->show();
        QVERIFY(fmMain->close());
        QVERIFY(!fmMain->isVisible());
        QVERIFY(w.prompt.messages().isEmpty());
        written = readFile(w.settingsPath());
    }

    // What was written reads back as what the program had.
    SettingsFile file;
    file.loadBytes(written);
    const StoredSettings s = file.read();
    QCOMPARE(s.comPort, 1);
    QVERIFY(!s.firstRun);
    QCOMPARE(s.baudRate, 9600);
    QCOMPARE(s.parity, 0);
    QCOMPARE(s.dataBits, 8);
    QCOMPARE(s.stopBits, 1);
    QCOMPARE(s.flowControl, 2);
    QCOMPARE(s.dataSize, 96);
    QCOMPARE(s.rfidData, QStringLiteral("0123456789ABCDEF00000000"));
    QCOMPARE(file.value("EPC", "DATAFORMAT"), QStringLiteral("2"));
    QVERIFY(s.ports.isEmpty());

    // And it is a file the program can live with: the next run starts from it and leaves it
    // as it was.
    TestWindows again(written);
    QCOMPARE(fmMain->FSession->FComPort, 1);
    QVERIFY(!fmMain->FFirstRun);
    QVERIFY(fmMain->close());
    QVERIFY(again.prompt.messages().isEmpty());
    QCOMPARE(readFile(again.settingsPath()), written);
}

// ---- 8. No place to write the settings --------------------------------------------------------

void TestFaults::unwritableSettingsPlace_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a folder where the file should be") << QStringLiteral("folder");
    QTest::newRow("the folder is missing") << QStringLiteral("missing");
    QTest::newRow("the folder is a file") << QStringLiteral("file");
    QTest::newRow("a read-only file") << QStringLiteral("readonly");
    QTest::newRow("a full disk") << QStringLiteral("full");
}

void TestFaults::unwritableSettingsPlace()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path;
    if (kind == QLatin1String("folder")) {
        path = dir.filePath(QStringLiteral("quilbo.INI"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("quilbo.INI")));
    } else if (kind == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("gone/quilbo.INI"));
    } else if (kind == QLatin1String("file")) {
        QVERIFY(writeFile(dir.filePath(QStringLiteral("plain")), "x"));
        path = dir.filePath(QStringLiteral("plain/quilbo.INI"));
    } else {
        path = dir.filePath(QStringLiteral("quilbo.INI"));
        QVERIFY(writeFile(path, "; mine\n"));
        // Mode 444: even root, whom the system lets write it, must leave it alone.
        if (kind == QLatin1String("readonly"))
            QVERIFY(QFile::setPermissions(path,
                                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    const QStringList before = entries(dir.path());

    FakePrompt prompt;
    FakeHelp help;
    auto windows = std::make_unique<WindowsAt>(path);
    QCOMPARE(fmMain->FSession->FComPort, 1);
    std::optional<FullDisk> full;
    if (kind == QLatin1String("full"))
        QVERIFY(full.emplace().on());
    fmMain->show();
    QVERIFY(fmMain->close());
    QVERIFY(!fmMain->isVisible());
    QCOMPARE(prompt.messages(), QStringList{WriteError});
    // A second close and the end of the run do not ask again.
    fmMain->show();
    QVERIFY(fmMain->close());
    windows.reset();
    QCOMPARE(prompt.messages(), QStringList{WriteError});
    // Nothing left behind, nothing replaced.
    QCOMPARE(entries(dir.path()), before);
    if (kind == QLatin1String("folder"))
        QVERIFY(QFileInfo(path).isDir());
    if (kind == QLatin1String("file"))
        QCOMPARE(readFile(dir.filePath(QStringLiteral("plain"))), QByteArray("x"));
    if (kind == QLatin1String("full"))
        QCOMPARE(readFile(path), QByteArray("; mine\n"));
    if (kind == QLatin1String("readonly")) {
        QCOMPARE(readFile(path), QByteArray("; mine\n"));
        QVERIFY(!(QFile::permissions(path) & QFile::WriteOwner));
    }
}

// ---- 9. A format file of several megabytes ----------------------------------------------------

void TestFaults::hugeFormatFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("refusal"); // empty: the file loads

    QTest::newRow("many lines, network") << QStringLiteral("lines") << false << QString();
    QTest::newRow("many lines, serial") << QStringLiteral("lines") << true << QString();
    QTest::newRow("one line of megabytes")
        << QStringLiteral("line") << false
        << QStringLiteral("Line 2 is longer than %1 characters").arg(TfmFormat::MaxLineLength);
    QTest::newRow("beyond the size limit")
        << QStringLiteral("size") << false << QStringLiteral("The file is larger than 16 MB");
}

void TestFaults::hugeFormatFile()
{
    QFETCH(QString, kind);
    QFETCH(bool, serial);
    QFETCH(QString, refusal);
    PrinterSim sim;
    QVERIFY2(sim.start(serial ? QStringList{QStringLiteral("--pty")} : QStringList()),
             qPrintable(sim.errorString()));
    TestWindows w;
    if (serial)
        useSerial(sim);
    else
        useNetwork(sim.port());

    const QString path = w.tempPath(QStringLiteral("big.fmt"));
    const int rows = 60000;
    if (kind == QLatin1String("lines")) {
        QByteArray data = "{F,1,A,R,E,100,400,\"big\"|\r\nX,1,24|\r\n";
        data.reserve(rows * 48);
        for (int i = 0; i < rows; ++i)
            data += "C,45,80,0,50,13,13,O,L,0,0,\"" + QByteArray::number(i).rightJustified(8, '0') +
                    "\",1|\r\n";
        data += "}\r\n\r\n{B,1,N,1|E,0,0,1,1,0,1|\r\n1,\"1234567890ABCDEF00000000\"|\r\n}\r\n";
        QVERIFY(data.size() > 2 * 1024 * 1024);
        QVERIFY(writeFile(path, data));
    } else if (kind == QLatin1String("line")) {
        QVERIFY(writeFile(path, "{F,1|\r\n" + QByteArray(4 * 1024 * 1024, 'A') + "\r\n}\r\n"));
    } else {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(TfmFormat::MaxFileSize + 1));
    }
    const QStringList before = fmFormat->lines();

    w.prompt.paths << path;
    fmFormat->miOpenClick();
    if (refusal.isEmpty()) {
        QVERIFY(w.prompt.messages().isEmpty());
        QCOMPARE(fmFormat->lines().size(), rows + 7);
        QCOMPARE(FormatFileName, path);
    } else {
        const QStringList messages = w.prompt.messages();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(QStringLiteral("File Error: ") +
                                        QDir::toNativeSeparators(path) + QLatin1Char('\n') +
                                        refusal),
                 qPrintable(messages[0]));
        QCOMPARE(fmFormat->lines(), before);
        QVERIFY(FormatFileName.isEmpty());
    }

    // The batch send goes with whatever the editor holds, whole.
    w.prompt.asked.clear();
    w.prompt.answers.enqueue(ModalResult::Yes); // send the format packet too
    QSignalSpy finished(fmNet, &TfmNet::transferFinished);
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.messages(), QStringList{QStringLiteral("Send Format: Send format packet?")});
    const QByteArray expected =
        PrinterText(fmMain->FSession->FFormatLines + fmMain->FSession->FBatchLines) +
        (serial ? "" : Request);
    if (refusal.isEmpty())
        QCOMPARE(fmMain->FSession->FFormatLines.size(), rows + 3);
    if (serial) {
        // One synchronous write: done, the port closed and the button back on return.
        QCOMPARE(w.prompt.messages().size(), 1);
        QCOMPARE(mainStatus(), QStringLiteral("Idle"));
        QVERIFY(fmMain->sbSendBatch->isEnabled());
        QVERIFY(!fmMain->FSession->portOpen());
    } else {
        QVERIFY(connectWaitingSend());
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(finished.at(0).at(0).toBool(), true);
    }
    QVERIFY(sim.waitForBytes(expected.size(), 30000));
    QCOMPARE(sim.received().size(), expected.size());
    QVERIFY(sim.received() == expected);
    QVERIFY(sim.waitForOutput("batch quantity=1"));
}

// ---- 10. The printer file goes away between the two opens -------------------------------------

void TestFaults::printerFileGoneBetweenOpens_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("how");
    for (bool serial : {true, false}) {
        const char *link = serial ? "serial" : "network";
        for (const char *how : {"deleted", "renamed", "replaced by a folder"})
            QTest::newRow(
                qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(link), QLatin1String(how))))
                << serial << QString::fromLatin1(how);
    }
}

void TestFaults::printerFileGoneBetweenOpens()
{
    QFETCH(bool, serial);
    QFETCH(QString, how);
    PrinterSim sim;
    QVERIFY2(sim.start(serial ? QStringList{QStringLiteral("--pty")} : QStringList()),
             qPrintable(sim.errorString()));
    TestWindows w;
    if (serial)
        useSerial(sim);
    else
        useNetwork(sim.port());
    const QByteArray content = pattern(5000);
    SendFileName = w.tempPath(QStringLiteral("label.gph"));
    QVERIFY(writeFile(SendFileName, content));

    // The window sets its bar from the measured size after the first open and before the
    // second: the file goes right there.
    bool gone = false;
    bool betweenOpens = false;
    fmProg->show();
    fmProg->pbFile->setValue(1);
    connect(fmProg->pbFile, &QProgressBar::valueChanged, this, [&] {
        if (gone)
            return;
        gone = true;
        betweenOpens = !fmProg->file().isOpen();
        if (how == QLatin1String("deleted")) {
            QFile::remove(SendFileName);
        } else if (how == QLatin1String("renamed")) {
            QFile::rename(SendFileName, SendFileName + QStringLiteral(".old"));
        } else {
            QFile::remove(SendFileName);
            QDir().mkdir(SendFileName);
        }
    });
    fmProg->tiDelayTimer();
    QVERIFY2(gone && betweenOpens, "the file could not be taken away between the two opens");
    QCOMPARE(fmProg->laFileSize->text(), QString::number(content.size()));

    QCOMPARE(w.prompt.messages(),
             QStringList{QStringLiteral("File Error: Could not open file:\n") + SendFileName});
    QVERIFY(fmProg->isVisible());
    QVERIFY(!fmProg->busy());
    QVERIFY(!fmProg->file().isOpen());
    QVERIFY(!fmProg->tiMsgDelay->isActive());
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmNet->transferring());
    QVERIFY(!fmNet->FAwaitConnect);
    QCoreApplication::processEvents();
    QVERIFY(fmProg->isVisible()); // it waits for the operator
    fmProg->bbCancel->click();
    QVERIFY(!fmProg->isVisible());
    QCOMPARE(fmProg->result(), int(ModalResult::Cancel));

    // Nothing of the file went: the next text on the same link is the first thing to arrive.
    const QByteArray marker = "{B,1,N,1|\r\n}\r\n";
    fmMain->FSession->SendToPrinter(marker);
    const QByteArray expected = serial ? marker : marker + Request;
    if (!serial)
        QVERIFY(connectWaitingSend());
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(w.prompt.messages().size(), 1);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
