// The batch send end to end: the bytes that reach the printer emulator over the network and
// over its pseudo-terminal, the quantity, the tag data records and the increment.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "PrinterSim.h"
#include "TestFiles.h"
#include "TestWindows.h"
#include "app/TfmMain.h"
#include "app/Windows.h"
#include "jobs/PacketText.h"
#include "jobs/TfmFormat.h"
#include "link/PortNames.h"
#include "link/TfmNet.h"

namespace
{
const QByteArray FormatBytes = DefaultFormatBytes();

QByteArray batchBytes(const QByteArray &header, const QByteArray &epc)
{
    return header + "\r\n1,\"" + epc + "\"|\r\n}\r\n";
}

void setFormatText(const QString &text)
{
    fmFormat->meFormat->setPlainText(text);
    fmMain->FFormatChanged = true;
}

// Points the serial link at the emulator's pseudo-terminal as COM7.
void useSerial(const PrinterSim &sim)
{
    PortOverrides[7] = sim.ptyPath();
    fmMain->FComPort = 7;
}

void useNetwork(const PrinterSim &sim)
{
    fmMain->FComPort = 0;
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->findChild<QLineEdit *>(QStringLiteral("edPort"))->setText(QString::number(sim.port()));
}
} // namespace

class TestBatchSend : public QObject
{
    Q_OBJECT
private slots:
    void firstAndSecondBatchOverNetwork();
    void firstBatchOverSerial();
    void quantityGoesIntoHeader_data();
    void quantityGoesIntoHeader();
    void noBatchPacket();
    void valueOutOfRange();
    void noRfidDataLine();
    void humanReadableCarriesTypedText();
    void sendFormatAlone();
    void refusedBeforeSending_data();
    void refusedBeforeSending();
};

void TestBatchSend::firstAndSecondBatchOverNetwork()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--reply"), QStringLiteral("success")}),
             qPrintable(sim.errorString()));
    TestWindows w;
    useNetwork(sim);

    w.prompt.answers.enqueue(ModalResult::Yes);
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.messages(), QStringList{QStringLiteral("Send Format: Send format packet?")});
    const QByteArray first =
        FormatBytes + batchBytes("{B,1,N,1|E,0,0,1,1,0,1|", "0123456789ABCDEF00000000") + "\n{J,3}";
    QVERIFY(sim.waitForBytes(first.size()));
    QCOMPARE(sim.received(), first);
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000001"));

    // The printer's answer decides the status line; the polls are driven by hand.
    auto *receive = fmNet->findChild<QPlainTextEdit *>(QStringLiteral("meReceive"));
    QTRY_VERIFY(!receive->toPlainText().isEmpty());
    fmMain->tiEncdStatTimer();
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Operation OK"));
    QVERIFY(fmMain->sbSendBatch->isEnabled());

    // The second batch asks nothing and sends the batch packet alone, stepped on.
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.asked.size(), 1);
    const QByteArray second =
        batchBytes("{B,1,N,1|E,0,0,1,1,0,1|", "0123456789ABCDEF00000001") + "\n{J,3}";
    QVERIFY(sim.waitForBytes(first.size() + second.size()));
    QCOMPARE(sim.received().mid(first.size()), second);
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000002"));
}

void TestBatchSend::firstBatchOverSerial()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);

    w.prompt.answers.enqueue(ModalResult::Yes);
    fmMain->sbSendBatchClick();
    const QByteArray expected =
        FormatBytes + batchBytes("{B,1,N,1|E,0,0,1,1,0,1|", "0123456789ABCDEF00000000");
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(w.prompt.asked.size(), 1); // the question, no error box
    // A serial write returns the status line to idle at once.
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Idle"));
    QVERIFY(fmMain->sbSendBatch->isEnabled());
    QVERIFY(!fmMain->portOpen());
}

void TestBatchSend::quantityGoesIntoHeader_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QByteArray>("sentHeader");
    QTest::addColumn<QString>("after");
    QTest::newRow("quantity 0: sent, no step")
        << "{B,1,N,1|E,0,0,1,1,0,1|" << 0 << QByteArray("{B,1,N,0|E,0,0,1,1,0,1|")
        << "0123456789ABCDEF00000000";
    QTest::newRow("quantity 5") << "{B,1,N,1|E,0,0,1,1,0,1|" << 5
                                << QByteArray("{B,1,N,5|E,0,0,1,1,0,1|")
                                << "0123456789ABCDEF00000005";
    QTest::newRow("two-digit quantity replaced")
        << "{B,1,N,12|" << 3 << QByteArray("{B,1,N,3|") << "0123456789ABCDEF00000003";
    QTest::newRow("header without a bar stays")
        << "{B,1,N,1" << 2 << QByteArray("{B,1,N,1") << "0123456789ABCDEF00000002";
}

void TestBatchSend::quantityGoesIntoHeader()
{
    QFETCH(QString, header);
    QFETCH(int, quantity);
    QFETCH(QByteArray, sentHeader);
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    setFormatText(QStringLiteral("{F,1|\nX,1,24|\n}\n") + header + QStringLiteral("\n1,\"0\"|\n}"));
    fmMain->FBatchQty = quantity;

    w.prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    const QByteArray expected = batchBytes(sentHeader, "0123456789ABCDEF00000000");
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    QTEST(fmMain->medEPC->text(), "after");
}

void TestBatchSend::noBatchPacket()
{
    TestWindows w;
    PortOverrides[7] = QStringLiteral("/nonexistent/quilbo-port");
    fmMain->FComPort = 7;
    setFormatText(QStringLiteral("{F,1,A|\nX,1,24|\n}"));
    fmMain->FBatchQty = 5;

    w.prompt.answers.enqueue(ModalResult::Yes);
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.messages(),
             (QStringList{QStringLiteral("Send Format: Send format packet?"),
                          QStringLiteral("Send Error: Batch quantity is zero.\nNothing sent.")}));
    QVERIFY(fmMain->FFormatChanged);
    QVERIFY(!fmMain->sbSendBatch->isEnabled());
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Sending ..."));
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000000"));

    // The next press splits the text again and asks again.
    w.prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.asked.size(), 4);
    QCOMPARE(w.prompt.asked.at(2).text, QStringLiteral("Send format packet?"));
}

void TestBatchSend::valueOutOfRange()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    fmMain->medEPC->setText(QStringLiteral("0123456789ABCDEFGHIJKLMN"));

    w.prompt.answers.enqueue(ModalResult::Yes);
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.messages().last(),
             QStringLiteral("Data Error: Format (max data):  FFFFFFFFFFFFFFFFFFFFFFFF"));
    QCOMPARE(fmMain->medEPC->palette().color(QPalette::Base), QColor(255, 0, 0));
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEFGHIJKLMN"));
    QVERIFY(!fmMain->portOpen());
    // Nothing reached the printer: a later good batch arrives alone.
    fmMain->medEPC->setText(QStringLiteral("0123456789ABCDEF00000000"));
    fmMain->sbSendBatchClick();
    const QByteArray expected = batchBytes("{B,1,N,1|E,0,0,1,1,0,1|", "0123456789ABCDEF00000000");
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
}

void TestBatchSend::noRfidDataLine()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    setFormatText(QStringLiteral("{F,1|\nX,1,24|\n}\n{B,1,N,1|\n2,\"TEXT\"|\n}"));

    w.prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    const QByteArray expected = "{B,1,N,1|\r\n2,\"TEXT\"|\r\n}\r\n";
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000001"));
}

void TestBatchSend::humanReadableCarriesTypedText()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    fmMain->miDataSize64Click();
    fmMain->miSGTINClick();
    fmMain->medEPC->setText(QStringLiteral("1 2 3456789AB 0000000"));
    setFormatText(QStringLiteral("{F,1|\nX,1,16|\n}\n{B,1,N,1|\n1,\"\"|\n2,\"\"|\n}"));
    fmMain->FHRField = 2;
    fmMain->FHREnabled = true;
    fmMain->FHRChanged = true;

    w.prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    const QByteArray expected =
        "{B,1,N,1|\r\n1,\"568ACF1356000000\"|\r\n2,\"1 2 3456789AB 0000000\"|\r\n}\r\n";
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("1 2 3456789AB 0000001"));
}

void TestBatchSend::sendFormatAlone()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    fmMain->miSendFormat->trigger();
    QVERIFY(sim.waitForBytes(FormatBytes.size()));
    QCOMPARE(sim.received(), FormatBytes);
    QVERIFY(w.prompt.asked.isEmpty());
    QVERIFY(!fmMain->FFormatChanged);
}

void TestBatchSend::refusedBeforeSending_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString unsendable("Send Error: This line holds characters the printer cannot take:\n"
                             "%1\nNothing sent.");
    const QString euro = QStringLiteral("C,1,\"5 \u20AC\"|");
    const QString zero = QStringLiteral("C,1,\"A") + QChar(0) + QStringLiteral("B\"|");
    QTest::newRow("beyond 8 bits") << "{F,1|\n" + euro + "\n}\n{B|\n}" << unsendable.arg(euro);
    QTest::newRow("zero byte") << "{F,1|\n" + zero + "\n}\n{B|\n}" << unsendable.arg(zero);
    QTest::newRow("no field number") << "{B|\n1a,\"x\"|\n}"
                                     << "Send Error: The field number of this batch line is not "
                                        "a whole number:\n1a,\"x\"|\nNothing sent.";
}

void TestBatchSend::refusedBeforeSending()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    TestWindows w;
    PortOverrides[7] = QStringLiteral("/nonexistent/quilbo-port");
    fmMain->FComPort = 7;
    setFormatText(text);

    w.prompt.answers.enqueue(ModalResult::Yes); // "Send format packet?", when it is asked
    fmMain->sbSendBatchClick();
    // Refused before the port is opened: no "Could not open port.", no increment.
    QCOMPARE(w.prompt.messages().last(), message);
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000000"));
    // A line that names no field is split again at the next try.
    QCOMPARE(fmMain->FFormatChanged, message.contains(QStringLiteral("field number")));
    fmMain->miSendFormatClick(); // the format alone is refused alike
    QCOMPARE(w.prompt.messages().last(), message);
}

QTEST_MAIN(TestBatchSend)
#include "tst_batchsend.moc"
