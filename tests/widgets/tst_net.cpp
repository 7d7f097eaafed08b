// The network link against the printer emulator on a free loopback port.
#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "PrinterSim.h"
#include "TestFiles.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "link/StatusCheck.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"

namespace
{

const QByteArray Request = "\n{J,3}";
const QByteArray Success = "{J,\"\",\"\",\"\",\"\"}";

QString mainStatus()
{
    return fmMain->laStat->text();
}

// Bytes whose order shows: any slip, loss or doubling changes what the printer got.
QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 251) % 256);
    return b;
}

quint16 portNobodyListensOn()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort(); // closed again when server goes
}

} // namespace

class TestNet : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void firstSendConnectsThenReuses();
    void statusCheck_data();
    void statusCheck();
    void noReplyEndsInNoResponse();
    void replyFloodStaysBounded_data();
    void replyFloodStaysBounded();
    void slowReaderGetsEveryByteOnce();
    void fileStreams_data();
    void fileStreams();
    void peerClosesMidSend();
    void nobodyListening();
    void sendWhileComingUpOrFailedWaits();
    void invalidPort_data();
    void invalidPort();
    void sendsQueueInOrder();
    void consoleSendsExactText();
    void addressChangeDisconnects();
    void emulatorRecordsSerialSide();

private:
    // Points the link at the emulator and connects the send that has just been made:
    // the wait timer is driven by hand so that no real interval passes.
    void pointAt(quint16 port);
    bool connectWaitingSend();
    bool startSim(PrinterSim &sim, const QStringList &args);

    std::unique_ptr<TestWindows> m_windows;
};

void TestNet::initTestCase()
{
    m_windows = std::make_unique<TestWindows>();
    QVERIFY(fmNet);
}

void TestNet::init()
{
    fmNet->NetDisconnect();
    fmNet->ClearReceive();
    fmNet->FCheckStatus = false;
    fmNet->tiCheck->stop();
    fmNet->tiNetConnected->stop();
    fmNet->edPort->setText(QStringLiteral("9100"));
    fmMain->tiEncdStat->stop();
    m_windows->prompt.asked.clear();
}

void TestNet::cleanup()
{
    fmNet->NetDisconnect();
    QVERIFY(!fmNet->transferring());
    // A send's end is posted; it belongs to this test, not the next one's spies.
    QCoreApplication::sendPostedEvents(fmNet->link());
}

void TestNet::cleanupTestCase()
{
    m_windows.reset();
}

bool TestNet::startSim(PrinterSim &sim, const QStringList &args)
{
    if (!sim.start(args)) {
        qWarning() << "emulator:" << sim.errorString();
        return false;
    }
    pointAt(sim.port());
    return true;
}

void TestNet::pointAt(quint16 port)
{
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->edPort->setText(QString::number(port));
}

bool TestNet::connectWaitingSend()
{
    if (!fmNet->FAwaitConnect || !fmNet->tiNetConnected->isActive())
        return false;
    fmNet->tiNetConnected->stop();
    if (!QTest::qWaitFor([] { return fmNet->laStat->text() == QLatin1String("Connected"); }, 10000))
        return false;
    fmNet->tiNetConnectedTimer();
    return !fmNet->FAwaitConnect;
}

void TestNet::firstSendConnectsThenReuses()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {QStringLiteral("--reply"), QStringLiteral("none")}));
    const QByteArray batch = "{B,1,N,5|E,0,0,1,1,0,1|\r\n1,\"0123456789ABCDEF00000000\"|\r\n}\r\n";

    fmNet->SendWithStatus(batch);
    QCOMPARE(mainStatus(), QStringLiteral("Connecting"));
    QCOMPARE(fmNet->tiNetConnected->interval(), 250);
    fmNet->tiNetConnected->stop();
    QTRY_COMPARE(fmNet->laStat->text(), QStringLiteral("Connected"));
    QCOMPARE(mainStatus(), QStringLiteral("Connected"));
    QCOMPARE(sim.receivedSize(), 0); // nothing goes before the wait timer says so

    fmNet->tiNetConnectedTimer();
    QCOMPARE(mainStatus(), QStringLiteral("Sending data to net."));
    QVERIFY(sim.waitForBytes(batch.size() + Request.size()));
    QCOMPARE(sim.received(), batch + Request);
    QTRY_VERIFY(fmNet->tiCheck->isActive());
    QCOMPARE(fmNet->tiCheck->interval(), 500);
    // One piece: the line keeps "Sending data to net." until the check reports.
    QCOMPARE(mainStatus(), QStringLiteral("Sending data to net."));
    QVERIFY(sim.waitForOutput("batch quantity=5 field 1=\"0123456789ABCDEF00000000\""));

    fmNet->tiCheck->stop();
    fmNet->SendWithStatus("second");
    QCOMPARE(mainStatus(), QStringLiteral("Sending data to net."));
    QVERIFY(!fmNet->FAwaitConnect);
    QVERIFY(sim.waitForBytes(2 * Request.size() + batch.size() + 6));
    QCOMPARE(sim.received(), batch + Request + "second" + Request);
    QCOMPARE(sim.output().count("connected 127.0.0.1"), 1);
}

void TestNet::statusCheck_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("replyLines");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("shownAfter");

    QTest::newRow("success") << QStringList{"--reply", "success"} << 1
                             << QStringLiteral("Operation OK") << QString();
    QTest::newRow("late success") << QStringList{"--reply-delay", "150"} << 1
                                  << QStringLiteral("Operation OK") << QString();
    QTest::newRow("failure") << QStringList{"--reply", "fail"} << 1
                             << QStringLiteral("Label encoding failed{J,\"E1\",\"1\",\"\",\"\"}")
                             << QString();
    const QString failed = QStringLiteral("Label encoding failed{J,\"E1\",\"1\",\"\",\"\"}");
    QTest::newRow("fail every 1st") << QStringList{"--fail-every", "1"} << 1 << failed << QString();
    QTest::newRow("fail every 2nd, first passes")
        << QStringList{"--fail-every", "2"} << 1 << QStringLiteral("Operation OK") << QString();
    QTest::newRow("fail share 1") << QStringList{"--fail-share", "1", "--seed", "7"} << 1 << failed
                                  << QString();
    QTest::newRow("fail share 0") << QStringList{"--fail-share", "0", "--seed", "7"} << 1
                                  << QStringLiteral("Operation OK") << QString();
    QTest::newRow("small j fails")
        << QStringList{"--reply-text", "{j,\"\",\"\",\"\",\"\"}\\r\\n"} << 1
        << QStringLiteral("Label encoding failed{j,\"\",\"\",\"\",\"\"}") << QString();
    QTest::newRow("two replies, the first decides")
        << QStringList{"--reply-text",
                       "{J,\"\",\"\",\"\",\"\"}\\r\\n{J,\"E9\",\"\",\"\",\"\"}\\r\\n"}
        << 2 << QStringLiteral("Operation OK") << QStringLiteral("{J,\"E9\",\"\",\"\",\"\"}\n");
    QTest::newRow("zero byte does not cut the reply")
        << QStringList{"--reply-text", "{J,\"\\0X\",\"\",\"\",\"\"}\\r\\n"} << 1
        << QStringLiteral("Label encoding failed{J,\"") + QChar(0) +
               QStringLiteral("X\",\"\",\"\",\"\"}")
        << QString();
    QTest::newRow("long reply cut to 127")
        << QStringList{"--reply-text", "{J,\"" + QString(1000, QLatin1Char('E')) + "\"}\\r\\n"} << 1
        << QStringLiteral("Label encoding failed{J,\"") + QString(123, QLatin1Char('E'))
        << QString();
    QTest::newRow("partial line") << QStringList{"--reply-text", "{J,\"\",\"\","} << 0
                                  << QStringLiteral("Label encoding failed{J,\"\",\"\",")
                                  << QString();
}

void TestNet::statusCheck()
{
    QFETCH(QStringList, args);
    QFETCH(int, replyLines);
    QFETCH(QString, status);
    QFETCH(QString, shownAfter);

    PrinterSim sim;
    QVERIFY(startSim(sim, args));
    fmNet->SendWithStatus("{B,1,N,1|\r\n}\r\n");
    QVERIFY(connectWaitingSend());
    QTRY_VERIFY(fmNet->tiCheck->isActive());
    QTRY_VERIFY(!fmNet->replies().isEmpty());
    QTRY_COMPARE(fmNet->replies().finishedLines(), replyLines);

    fmMain->FSession->FStatusCheck->FStatusPolls = 7;
    fmNet->tiCheckTimer();
    QVERIFY(!fmNet->tiCheck->isActive());
    QVERIFY(!fmNet->FCheckStatus);
    QCOMPARE(fmMain->FSession->FStatusCheck->FStatusPolls, 0);
    QVERIFY(fmMain->tiEncdStat->isActive());

    fmMain->tiEncdStatTimer();
    QCOMPARE(mainStatus(), status);
    QVERIFY(!fmMain->tiEncdStat->isActive());
    QCOMPARE(fmNet->meReceive->toPlainText(), shownAfter);
}

void TestNet::noReplyEndsInNoResponse()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {QStringLiteral("--reply"), QStringLiteral("none")}));
    fmNet->SendWithStatus("x");
    QVERIFY(connectWaitingSend());
    QVERIFY(sim.waitForBytes(1 + Request.size()));
    QTRY_VERIFY(fmNet->tiCheck->isActive());
    fmNet->tiCheckTimer();
    for (int poll = 1; poll <= 25; ++poll) {
        fmMain->tiEncdStatTimer();
        QVERIFY(fmMain->tiEncdStat->isActive());
    }
    QCOMPARE(mainStatus(), QStringLiteral("25"));
    fmMain->tiEncdStatTimer();
    QCOMPARE(mainStatus(), QStringLiteral("No response"));
    QVERIFY(!fmMain->tiEncdStat->isActive());
}

void TestNet::replyFloodStaysBounded_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("bytesEach");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("firstLine");

    QTest::newRow("no line breaks, 10 MiB")
        << "z" << 10 * 1024 * 1024 << 1 << 1
        << QString(ReplyBuffer::MaxLineLength, QLatin1Char('z'));
    QTest::newRow("short lines, 4 MiB")
        << "ok\\r\\n"
        << 1024 * 1024 << 4 << ReplyBuffer::MaxLines << QStringLiteral("ok");
}

void TestNet::replyFloodStaysBounded()
{
    QFETCH(QString, reply);
    QFETCH(int, repeat);
    QFETCH(int, bytesEach);
    QFETCH(int, lines);
    QFETCH(QString, firstLine);

    PrinterSim sim;
    QVERIFY(startSim(sim, {"--reply-text", reply, "--reply-repeat", QString::number(repeat)}));
    fmNet->SendWithStatus("x");
    QVERIFY(connectWaitingSend());
    const ReplyBuffer &replies = fmNet->replies();
    const qint64 flood = qint64(repeat) * bytesEach;
    QTRY_COMPARE_WITH_TIMEOUT(replies.bytesReceived(), flood, 60000);

    QCOMPARE(replies.lineCount(), lines);
    // The area shows what the buffer holds: one block per line, and the empty rest.
    QCOMPARE(fmNet->meReceive->blockCount(), replies.finishedLines() + 1);
    QCOMPARE(fmNet->meReceive->document()->firstBlock().text(), firstLine);
    QVERIFY(fmNet->meReceive->toPlainText().size() <= 2 * ReplyBuffer::MaxLineLength * lines);
    QVERIFY(!fmNet->meReceive->document()->isUndoRedoEnabled());

    QString text;
    QCOMPARE(fmNet->TakeReply(text), lines - 1);
    QCOMPARE(text, firstLine.left(ReplyBuffer::MaxReplyLength));
    QCOMPARE(fmNet->meReceive->blockCount(), replies.finishedLines() + 1);
}

void TestNet::slowReaderGetsEveryByteOnce()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {"--slow", "--rate", "8000000", "--reply", "none"}));
    const QByteArray text = pattern(3 * 1024 * 1024 + 17);
    const qint64 total = text.size() + Request.size();

    QSignalSpy finished(fmNet, &TfmNet::transferFinished);
    qint64 lastSent = -1;
    qint64 mostQueued = 0;
    bool monotonic = true;
    auto watch = connect(fmNet, &TfmNet::transferProgress, this, [&](qint64 sent, qint64 of) {
        monotonic = monotonic && sent >= lastSent && of == total;
        lastSent = sent;
        mostQueued = qMax(mostQueued, fmNet->csNet->bytesToWrite());
    });
    fmNet->SendWithStatus(text);
    QVERIFY(connectWaitingSend());
    QVERIFY(finished.wait(60000));
    disconnect(watch);

    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(mainStatus(), QStringLiteral("Data sent."));
    QVERIFY(fmNet->tiCheck->isActive());
    QVERIFY(monotonic);
    QCOMPARE(lastSent, total);
    QVERIFY(mostQueued <= TfmNet::InFlight);
    QVERIFY(sim.waitForBytes(total, 60000));
    const QByteArray got = sim.received();
    QCOMPARE(got.size(), total);
    QVERIFY(got == text + Request);
}

void TestNet::fileStreams_data()
{
    QTest::addColumn<int>("fileSize");
    QTest::addColumn<int>("claimedSize");
    QTest::addColumn<bool>("allSent");

    QTest::newRow("whole file") << 1024 * 1024 + 5 << 1024 * 1024 + 5 << true;
    QTest::newRow("empty file") << 0 << 0 << true;
    QTest::newRow("file shorter than its size") << 200000 << 300000 << false;
}

void TestNet::fileStreams()
{
    QFETCH(int, fileSize);
    QFETCH(int, claimedSize);
    QFETCH(bool, allSent);

    PrinterSim sim;
    QVERIFY(startSim(sim, {"--reply", "none"}));
    const QByteArray content = pattern(fileSize);
    QBuffer source;
    source.setData(content);
    QVERIFY(source.open(QIODevice::ReadOnly));

    QSignalSpy finished(fmNet, &TfmNet::transferFinished);
    fmNet->SendFileWithStatus(&source, claimedSize);
    QCOMPARE(fmNet->FTotal, claimedSize + Request.size());
    QVERIFY(connectWaitingSend());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), allSent);
    QCOMPARE(fmNet->tiCheck->isActive(), allSent);
    if (allSent) {
        QVERIFY(sim.waitForBytes(fileSize + Request.size()));
        QCOMPARE(sim.received(), content + Request);
    } else {
        QCOMPARE(mainStatus(), QStringLiteral("File read error, data not sent."));
    }
}

void TestNet::peerClosesMidSend()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {"--close-after", "65536", "--reply", "none"}));
    QSignalSpy finished(fmNet, &TfmNet::transferFinished);
    fmNet->SendWithStatus(pattern(16 * 1024 * 1024));
    QVERIFY(connectWaitingSend());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);

    QCOMPARE(finished.at(0).at(0).toBool(), false);
    const QString said = mainStatus();
    QVERIFY2(ClosedAfter(said, 65536, 16 * 1024 * 1024 + Request.size()), qPrintable(said));
    QCOMPARE(fmNet->laStat->text(), QStringLiteral("Send failed"));
    QVERIFY(!fmNet->tiCheck->isActive());
    QVERIFY(!fmNet->FLinkActive);
    QCOMPARE(sim.receivedSize(), 65536);
    // The disconnect event that follows must not paint over the failure.
    QTest::qWait(50);
    QCOMPARE(mainStatus(), said);
}

void TestNet::nobodyListening()
{
    pointAt(portNobodyListensOn());
    QSignalSpy finished(fmNet, &TfmNet::transferFinished);
    fmNet->SendWithStatus("lost");
    fmNet->tiNetConnected->stop();
    QTRY_COMPARE(fmNet->laStat->text(), QStringLiteral("Error"));
    QVERIFY(fmNet->FLinkActive); // failed, not down, until the wait gives up

    for (int interval : {500, 1000, 2000}) {
        fmNet->tiNetConnectedTimer();
        QCOMPARE(fmNet->tiNetConnected->interval(), interval);
        QVERIFY(fmNet->tiNetConnected->isActive());
        QVERIFY(m_windows->prompt.asked.isEmpty());
    }
    fmNet->tiNetConnectedTimer();
    QCOMPARE(fmNet->tiNetConnected->interval(), 4000);
    QVERIFY(!fmNet->tiNetConnected->isActive());
    QCOMPARE(m_windows->prompt.messages(),
             QStringList{QStringLiteral("tiNetConnectedTimer: Could not connect")});
    QVERIFY(!fmNet->FLinkActive);
    QVERIFY(!fmNet->FAwaitConnect);
    QCOMPARE(fmNet->laStat->text(), QStringLiteral("Disconnected"));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!fmNet->tiCheck->isActive());
    // The next send's first look comes after the short wait again.
    fmNet->SendWithStatus("again");
    QCOMPARE(fmNet->tiNetConnected->interval(), 250);
    for (int i = 0; i < 4; ++i) // and gives up as the first did
        fmNet->tiNetConnectedTimer();
}

void TestNet::sendWhileComingUpOrFailedWaits()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {"--reply", "none"}));

    // Coming up: the operator pressed Connect and a send follows at once.
    fmNet->bnConnectClick();
    QCOMPARE(fmNet->laStat->text(), QStringLiteral("Connecting"));
    fmNet->SendWithStatus("first");
    QVERIFY(fmNet->FAwaitConnect);
    QVERIFY(connectWaitingSend());
    QVERIFY(sim.waitForBytes(5 + Request.size()));

    // Failed: a connect that was refused; the next send connects afresh.
    fmNet->NetDisconnect();
    fmNet->edPort->setText(QString::number(portNobodyListensOn()));
    fmNet->bnConnectClick();
    QTRY_COMPARE(fmNet->laStat->text(), QStringLiteral("Error"));
    QVERIFY(fmNet->FLinkActive);
    fmNet->edPort->setText(QString::number(sim.port()));
    fmNet->SendWithStatus("second");
    QCOMPARE(mainStatus(), QStringLiteral("Connecting"));
    QVERIFY(connectWaitingSend());
    QVERIFY(sim.waitForBytes(11 + 2 * Request.size()));
    QCOMPARE(sim.received(), "first" + Request + "second" + Request);
}

void TestNet::invalidPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::newRow("letters") << QStringLiteral("abc");
    QTest::newRow("empty") << QString();
    QTest::newRow("zero") << QStringLiteral("0");
    QTest::newRow("too big") << QStringLiteral("65536");
    QTest::newRow("negative") << QStringLiteral("-1");
    QTest::newRow("fraction") << QStringLiteral("91.5");
}

void TestNet::invalidPort()
{
    QFETCH(QString, port);
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->edPort->setText(port);
    fmMain->SetStatus(QStringLiteral("Sending ..."), TfmMain::Blue);
    QSignalSpy finished(fmNet, &TfmNet::transferFinished);

    fmNet->SendWithStatus("never");
    QCOMPARE(finished.count(), 0); // never inside the call
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!fmNet->FLinkActive);
    QVERIFY(!fmNet->FAwaitConnect);
    QVERIFY(!fmNet->tiNetConnected->isActive());
    QCOMPARE(mainStatus(), QStringLiteral("Sending ..."));
    QTRY_COMPARE(m_windows->prompt.asked.size(), 1);
    QCOMPARE(m_windows->prompt.asked[0].caption, QStringLiteral("NetConnect"));
    QVERIFY(m_windows->prompt.asked[0].text.contains(QLatin1Char('"') + port + '"'));

    fmNet->bnConnectClick();
    QVERIFY(!fmNet->FLinkActive);
    QTRY_COMPARE(m_windows->prompt.asked.size(), 2);
}

void TestNet::sendsQueueInOrder()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {"--reply", "none"}));
    QSignalSpy finished(fmNet, &TfmNet::transferFinished);
    const QByteArray big = pattern(300000);
    fmNet->NetSend(big);
    fmNet->NetSend("second"); // while the first waits for the connection
    QCOMPARE(fmNet->queuedSends(), 1);
    QVERIFY(connectWaitingSend());
    fmNet->NetSend("third"); // while the first is still streaming
    QTRY_COMPARE(finished.count(), 3);
    for (const QList<QVariant> &args : finished)
        QCOMPARE(args.at(0).toBool(), true);
    QVERIFY(sim.waitForBytes(big.size() + 11));
    QVERIFY(sim.received() == big + "secondthird");
    QVERIFY(!fmNet->tiCheck->isActive());
}

void TestNet::consoleSendsExactText()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {"--reply", "success"}));
    QCOMPARE(fmNet->edSend->text(), QStringLiteral("{J,3}"));
    fmNet->bnSend->click();
    QVERIFY(connectWaitingSend());
    QTRY_COMPARE(fmNet->meReceive->toPlainText(), QString::fromLatin1(Success + '\n'));
    QCOMPARE(sim.received(), QByteArray("{J,3}"));
    QVERIFY(!fmNet->tiCheck->isActive());
}

void TestNet::addressChangeDisconnects()
{
    PrinterSim sim;
    QVERIFY(startSim(sim, {"--reply", "none"}));
    fmNet->NetSend("a");
    QVERIFY(connectWaitingSend());
    QVERIFY(sim.waitForBytes(1));

    fmNet->edIP->setText(QStringLiteral("localhost"));
    QCOMPARE(fmMain->FSession->printerAddress(), QStringLiteral("localhost"));
    QVERIFY(!fmNet->FLinkActive);
    QCOMPARE(fmNet->laStat->text(), QStringLiteral("Disconnected"));
    QVERIFY(sim.waitForOutput("disconnected"));

    fmNet->NetSend("b");
    QCOMPARE(mainStatus(), QStringLiteral("Connecting"));
    QVERIFY(connectWaitingSend());
    QVERIFY(sim.waitForBytes(2));
    QCOMPARE(sim.received(), QByteArray("ab"));
    QCOMPARE(sim.output().count("connected 127.0.0.1"), 2);
}

void TestNet::emulatorRecordsSerialSide()
{
#ifndef Q_OS_UNIX
    QSKIP("pseudo-terminals are POSIX only");
#endif
    PrinterSim sim;
    QVERIFY(startSim(sim, {"--pty"}));
    QVERIFY(sim.ptyPath().startsWith(QLatin1String("/dev/")));
    QFile port(sim.ptyPath());
    QVERIFY(port.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray batch = "{B,1,N,2|\r\n1,\"00FF\"|\r\n}\r\n\n{J,3}";
    QCOMPARE(port.write(batch), batch.size());
    QVERIFY(sim.waitForBytes(batch.size()));
    QCOMPARE(sim.received(), batch); // unchanged: no line-end translation
    QVERIFY(sim.waitForOutput("batch quantity=2 field 1=\"00FF\""));
}

QTEST_MAIN(TestNet)
#include "tst_net.moc"
