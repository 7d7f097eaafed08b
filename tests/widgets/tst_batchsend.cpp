// The batch send end to end: the bytes that reach the printer emulator over the network and
// over its pseudo-terminal, the quantity, the tag data records and the increment.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cstdio>
#include <optional>

#include "PgCluster.h"
#include "PrinterSim.h"
#include "TestFiles.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "core/Journal.h"
#include "core/JournalModel.h"
#include "core/PacketText.h"
#include "link/JournalStore.h"
#include "link/PortNames.h"
#include "link/SendJournal.h"
#include "widgets/JournalPageModel.h"
#include "widgets/TfmFormat.h"
#include "widgets/TfmJournal.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"

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
    fmMain->FSession->FFormatChanged = true;
}

// Points the serial link at the emulator's pseudo-terminal as COM7.
void useSerial(const PrinterSim &sim)
{
    PortOverrides[7] = sim.ptyPath();
    fmMain->FSession->FComPort = 7;
}

void useNetwork(quint16 port)
{
    fmMain->FSession->FComPort = 0;
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->findChild<QLineEdit *>(QStringLiteral("edPort"))->setText(QString::number(port));
}

void useNetwork(const PrinterSim &sim)
{
    useNetwork(sim.port());
}

// What the window's journal holds, read back through the CSV export when it is a database.
QList<JournalEvent> journal(const QString &settingsPath)
{
    const QString where = fmMain->FSession->FJournal->path();
    if (where.endsWith(QLatin1String(".csv")))
        return ReadJournal(JournalPath(settingsPath)).events;
    const QString csv = JournalPath(settingsPath) + QStringLiteral(".export");
    JournalStore store;
    QFile out(csv);
    if (!store.open(where, QString()) || !out.open(QIODevice::WriteOnly) || !store.exportCsv(&out))
        qWarning("journal not exported: %s", qPrintable(store.error()));
    out.close();
    return ReadJournal(csv).events;
}

const char *const CrashChild = "QUILBO_TEST_CRASH_SETTINGS";

// The far side of resumesAfterKill: one batch to the printer, then wait to be killed.
int sendOneBatchAndHang(int argc, char **argv)
{
    QApplication app(argc, argv);
    FakePrompt prompt;
    FakeHelp help;
    ResetProgramValues();
    CreateWindows(qEnvironmentVariable(CrashChild));
    fmMain->tiInitDelay->stop();
    useNetwork(quint16(qEnvironmentVariableIntValue("QUILBO_TEST_CRASH_PORT")));
    fmMain->FSession->FBatchQty = 3;
    if (qEnvironmentVariableIsSet("QUILBO_TEST_CRASH_SGTIN"))
        fmMain->miSGTINClick();
    prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    std::puts("batch handed over");
    std::fflush(stdout);
    return app.exec();
}
} // namespace

class TestBatchSend : public QObject
{
    Q_OBJECT
private slots:
    void firstAndSecondBatchOverNetwork();
    void firstBatchOverSerial();
    void stepPastTheTopIsSaid();
    void quantityGoesIntoHeader_data();
    void quantityGoesIntoHeader();
    void noBatchPacket();
    void valueOutOfRange();
    void noRfidDataLine();
    void humanReadableCarriesTypedText();
    void sendFormatAlone();
    void refusedBeforeSending_data();
    void refusedBeforeSending();
    void unwritableJournal_data();
    void unwritableJournal();
    void journalRecordsOutcome_data();
    void journalRecordsOutcome();
    void backToBackSendsEachGetTheirReply_data();
    void backToBackSendsEachGetTheirReply();
    void resumesAfterKill_data();
    void resumesAfterKill();
    void noRepeatGuard_data();
    void noRepeatGuard();
    void usedUpSerialStaysUsedUp();
    void oldCsvJournalImportedOnce_data();
    void oldCsvJournalImportedOnce();
    void windowBesideARunner_data();
    void windowBesideARunner();
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
    QVERIFY(!fmMain->FSession->portOpen());
}

// As quilbo-batch says it: once, after the batch whose step wraps.
void TestBatchSend::stepPastTheTopIsSaid()
{
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    fmMain->medEPC->setText(QStringLiteral("FFFFFFFFFFFFFFFFFFFFFFFE"));
    fmMain->FSession->FBatchQty = 2;
    w.prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("000000000000000000000000"));
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Warning after batch 1: the tag data wraps "
                                                    "past its largest value to "
                                                    "000000000000000000000000."));
    fmMain->tiStatHoldTimer();
    fmMain->sbSendBatchClick();
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Idle"));
}

void TestBatchSend::quantityGoesIntoHeader_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QByteArray>("sentHeader");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("lastEpc"); // as journalled
    QTest::newRow("quantity 0: sent, no step")
        << "{B,1,N,1|E,0,0,1,1,0,1|" << 0 << QByteArray("{B,1,N,0|E,0,0,1,1,0,1|")
        << "0123456789ABCDEF00000000"
        << "0123456789ABCDEF00000000";
    QTest::newRow("quantity 5") << "{B,1,N,1|E,0,0,1,1,0,1|" << 5
                                << QByteArray("{B,1,N,5|E,0,0,1,1,0,1|")
                                << "0123456789ABCDEF00000005"
                                << "0123456789ABCDEF00000004";
    QTest::newRow("two-digit quantity replaced")
        << "{B,1,N,12|" << 3 << QByteArray("{B,1,N,3|") << "0123456789ABCDEF00000003"
        << "0123456789ABCDEF00000002";
    QTest::newRow("header without a bar stays")
        << "{B,1,N,1" << 2 << QByteArray("{B,1,N,1") << "0123456789ABCDEF00000002"
        << "0123456789ABCDEF00000001";
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
    fmMain->FSession->FBatchQty = quantity;

    w.prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    const QByteArray expected = batchBytes(sentHeader, "0123456789ABCDEF00000000");
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    QTEST(fmMain->medEPC->text(), "after");
    // Serial has no status: the batch is "Sent" as soon as the write has gone.
    const QList<JournalEvent> events = journal(w.settingsPath());
    QCOMPARE(events.size(), 2);
    QCOMPARE(events[0].quantity, quantity);
    QCOMPARE(events[0].link, QStringLiteral("COM7"));
    QTEST(events[0].lastEpc, "lastEpc");
    QTEST(events[0].nextEntry, "after");
    QCOMPARE(events[1].result, QStringLiteral("Sent"));
    // A batch of 0 labels encodes nothing: its value is no EPC sent.
    fmMain->medEPC->setText(QStringLiteral("0123456789ABCDEF00000000"));
    QCOMPARE(fmMain->laMeaning->text().contains(QStringLiteral("sent ")), quantity > 0);
}

void TestBatchSend::noBatchPacket()
{
    TestWindows w;
    PortOverrides[7] = QStringLiteral("/nonexistent/quilbo-port");
    fmMain->FSession->FComPort = 7;
    setFormatText(QStringLiteral("{F,1,A|\nX,1,24|\n}"));
    fmMain->FSession->FBatchQty = 5;

    w.prompt.answers.enqueue(ModalResult::Yes);
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.messages(),
             (QStringList{QStringLiteral("Send Format: Send format packet?"),
                          QStringLiteral("Send Error: Batch quantity is zero.\nNothing sent.")}));
    QVERIFY(fmMain->FSession->FFormatChanged);
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
    QVERIFY(!fmMain->FSession->portOpen());
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
    fmMain->FSession->FHRField = 2;
    fmMain->FSession->FHREnabled = true;
    fmMain->FSession->FHRChanged = true;

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
    QVERIFY(!fmMain->FSession->FFormatChanged);
    const QList<JournalEvent> events = journal(w.settingsPath());
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].kind, JournalKind::Format);
    QCOMPARE(events[0].bytes, qint64(FormatBytes.size()));
    QCOMPARE(events[0].result, QStringLiteral("Sent"));
}

void TestBatchSend::unwritableJournal_data()
{
    QTest::addColumn<bool>("folder");      // a folder in the journal's place, or a full disk
    QTest::addColumn<bool>("fromStart");   // in place when the journal is read at the start
    QTest::addColumn<QString>("batches");  // for each batch: x blocked, o free
    QTest::addColumn<QStringList>("said"); // the status line after each batch (%1 the journal)
    QTest::addColumn<bool>("database");    // the journal database instead of the CSV file
    const QString folder("Journal not written (%1): Not a file.");
    const QString full("Journal not written (%1): File too large");
    const QString again("Journal written again (%1)");
    QTest::newRow("folder in the way")
        << true << false << "xx" << QStringList{folder, "Idle"} << false;
    QTest::newRow("folder from the start") << true << true << "x" << QStringList{folder} << false;
    QTest::newRow("folder taken away")
        << true << false << "xo" << QStringList{folder, again} << false;
    QTest::newRow("full disk, freed")
        << false << false << "xxo" << QStringList{full, "Idle", again} << false;
    QTest::newRow("full disk, freed, full again")
        << false << false << "xoxx" << QStringList{full, again, full, "Idle"} << false;
    QTest::newRow("database on a full disk, freed")
        << false << false << "xo" << QStringList{"Journal not written (%1): ", again} << true;
}

void TestBatchSend::unwritableJournal()
{
    QFETCH(bool, folder);
    QFETCH(bool, fromStart);
    QFETCH(QString, batches);
    QFETCH(QStringList, said);
    QFETCH(bool, database);
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w;
    useSerial(sim);
    const QString path =
        database ? fmMain->FSession->FJournal->path() : JournalPath(w.settingsPath());
    if (!database)
        fmMain->FSession->FJournal->open(path); // the CSV journal's own failures
    fmMain->FSession->FJournal->waitLoaded();
    std::optional<FullDisk> full;
    const auto block = [&](bool on) {
        if (folder)
            QVERIFY(on ? QDir().mkpath(path) : QDir().rmdir(path));
        else if (on)
            QVERIFY(full.emplace(150).on()); // room for the port's lock, not for a line
        else
            full.reset();
    };
    if (fromStart) { // said at the start, hidden by what follows, and again at the send
        block(true);
        fmMain->FSession->FJournal->open(path);
        fmMain->FSession->FJournal->waitLoaded();
        fmMain->tiStatHoldTimer();
    }

    // Said in red after the send's own texts, once until it works again; batches go out
    // all the same, and keep their numbers.
    QByteArray sent;
    QList<qint64> written;
    for (int i = 0; i < batches.size(); ++i) {
        if (i > 0 || !fromStart)
            block(batches[i] == QLatin1Char('x'));
        w.prompt.answers.enqueue(ModalResult::No);
        fmMain->sbSendBatchClick();
        sent += batchBytes("{B,1,N,1|E,0,0,1,1,0,1|",
                           QByteArray("0123456789ABCDEF0000000") + char('0' + i));
        QVERIFY2(fmMain->laStat->text().startsWith(QString(said[i]).replace("%1", path)),
                 qPrintable(fmMain->laStat->text()));
        if (said[i] != QLatin1String("Idle"))
            QCOMPARE(fmMain->laStat->palette().color(QPalette::WindowText),
                     said[i].startsWith(QLatin1String("Journal not")) ? TfmMain::Red
                                                                      : TfmMain::DarkGreen);
        if (batches[i] == QLatin1Char('o'))
            written << i + 1;
    }
    full.reset();
    QVERIFY(sim.waitForBytes(sent.size()));
    QCOMPARE(sim.received(), sent);
    if (database) { // numbered by the database: each batch written has its own result
        int written = 0, results = 0;
        for (const JournalEvent &e : journal(w.settingsPath())) {
            written += e.kind == JournalKind::Batch;
            results += e.kind == JournalKind::Result && e.result == QLatin1String("Sent");
        }
        QCOMPARE(written, int(batches.count(QLatin1Char('o'))));
        QCOMPARE(results, written);
        return;
    }
    QList<qint64> numbers;
    for (const JournalEvent &e : journal(w.settingsPath()))
        if (e.kind == JournalKind::Batch)
            numbers << e.batch;
    QCOMPARE(numbers, written);
    // Written or not, every batch is found under its own number with its own result.
    for (int i = 0; i < batches.size(); ++i) {
        SentIndex::Hit hit;
        QVERIFY(fmMain->FSession->FJournal->lookup(
            QStringLiteral("0123456789ABCDEF0000000%1").arg(i), &hit));
        QCOMPARE(hit.batch, qint64(i + 1));
        QCOMPARE(hit.result, QStringLiteral("Sent"));
    }
}

void TestBatchSend::refusedBeforeSending_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("entry"); // stepping the GS1 serial, two labels a batch; or none
    const QString unsendable("Send Error: This line holds characters the printer cannot take:\n"
                             "%1\nNothing sent.");
    const QString euro = QStringLiteral("C,1,\"5 \u20AC\"|");
    const QString zero = QStringLiteral("C,1,\"A") + QChar(0) + QStringLiteral("B\"|");
    QTest::newRow("beyond 8 bits")
        << "{F,1|\n" + euro + "\n}\n{B|\n}" << unsendable.arg(euro) << QString();
    QTest::newRow("zero byte") << "{F,1|\n" + zero + "\n}\n{B|\n}" << unsendable.arg(zero)
                               << QString();
    QTest::newRow("no field number") << "{B|\n1a,\"x\"|\n}"
                                     << "Send Error: The field number of this batch line is not "
                                        "a whole number:\n1a,\"x\"|\nNothing sent."
                                     << QString();
    QTest::newRow("SSCC-96 in batches of two")
        << QString::fromLatin1(FormatBytes)
        << "Data Error: The SSCC serial reference sits above 24 reserved bits, and the printer "
           "steps each following label of a batch as one whole number, which would fill those "
           "bits instead: in batches of 2 the labels would be invalid. Batches of one work."
        << "3174257BF4499602D2000000";
}

void TestBatchSend::refusedBeforeSending()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(QString, entry);
    TestWindows w;
    PortOverrides[7] = QStringLiteral("/nonexistent/quilbo-port");
    fmMain->FSession->FComPort = 7;
    setFormatText(text);
    if (!entry.isEmpty()) {
        fmMain->medEPC->setText(entry);
        fmMain->FSession->FBatchQty = 2;
        fmMain->miStepSerial->trigger();
    }

    w.prompt.answers.enqueue(ModalResult::Yes); // "Send format packet?", when it is asked
    fmMain->sbSendBatchClick();
    // Refused before the port is opened: no "Could not open port.", no increment.
    QCOMPARE(w.prompt.messages().last(), message);
    QCOMPARE(fmMain->medEPC->text(), entry.isEmpty() ? "0123456789ABCDEF00000000" : entry);
    if (!entry.isEmpty())
        return; // the format itself is sound
    // A line that names no field is split again at the next try.
    QCOMPARE(fmMain->FSession->FFormatChanged, message.contains(QStringLiteral("field number")));
    fmMain->miSendFormatClick(); // the format alone is refused alike
    QCOMPARE(w.prompt.messages().last(), message);
}

void TestBatchSend::journalRecordsOutcome_data()
{
    QTest::addColumn<QStringList>("printer"); // emulator options; empty for none listening
    QTest::addColumn<QString>("result");
    QTest::newRow("operation ok") << QStringList{"--reply", "success"} << "Operation OK";
    QTest::newRow("encoding failed")
        << QStringList{"--reply", "fail"} << "Label encoding failed{J,\"E1\",\"1\",\"\",\"\"}";
    QTest::newRow("no response") << QStringList{"--reply", "none"} << "No response";
    QTest::newRow("printer closes inside the batch")
        << QStringList{"--close-after", "20"}
        << "Connection closed after 65 bytes, before the reply.";
    QTest::newRow("no printer") << QStringList() << "Could not connect";
}

void TestBatchSend::journalRecordsOutcome()
{
    QFETCH(QStringList, printer);
    PrinterSim sim;
    QVERIFY2(sim.start(printer), qPrintable(sim.errorString()));
    const quint16 port = sim.port();
    if (printer.isEmpty())
        sim.stop();
    TestWindows w;
    useNetwork(port);
    fmMain->FSession->FJournal->waitLoaded();

    w.prompt.answers.enqueue(ModalResult::No);
    fmMain->sbSendBatchClick();
    // On disk before anything can have reached the printer.
    QList<JournalEvent> events = journal(w.settingsPath());
    QCOMPARE(events.size(), 1);
    QCOMPARE(events[0].link, QStringLiteral("IP 127.0.0.1:%1").arg(port));
    QCOMPARE(events[0].firstEpc, QStringLiteral("0123456789ABCDEF00000000"));
    QCOMPARE(events[0].nextEntry, QStringLiteral("0123456789ABCDEF00000001"));
    QCOMPARE(events[0].tagUri, QStringLiteral("urn:epc:raw:96.x0123456789ABCDEF00000000"));

    if (printer.isEmpty()) {
        for (int i = 0; i < 4; ++i) // the connect waits, without waiting them out
            fmMain->FSession->FNetLink->tiNetConnectedTimer();
    } else {
        // A printer that closes is not polled for 26 s: no reply can come.
        QTRY_VERIFY(fmMain->tiEncdStat->isActive() || !fmNet->FLinkActive);
        for (int poll = 0; poll < StatusCheck::MaxPolls && fmMain->tiEncdStat->isActive(); ++poll) {
            if (printer.last() != QLatin1String("none"))
                QTRY_VERIFY(fmNet->findChild<QPlainTextEdit *>(QStringLiteral("meReceive"))
                                ->toPlainText()
                                .contains(QLatin1Char('}')));
            fmMain->tiEncdStatTimer();
        }
    }
    QTRY_COMPARE(journal(w.settingsPath()).size(), 2);
    events = journal(w.settingsPath());
    QCOMPARE(events[1].kind, JournalKind::Result);
    QCOMPARE(events[1].batch, events[0].batch);
    QTEST(events[1].result, "result");

    // The value sent is known again, whatever its result: a warning, not a refusal.
    fmMain->medEPC->setText(QStringLiteral("0123456789ABCDEF00000000"));
    QVERIFY2(
        fmMain->laMeaning->text().startsWith(QStringLiteral("sent ")) &&
            fmMain->laMeaning->text().contains(QStringLiteral(", ") + events[1].result.left(12)),
        qPrintable(fmMain->laMeaning->text()));
    QCOMPARE(fmMain->laMeaning->palette().color(QPalette::WindowText), TfmMain::SentPurple);

    fmMain->miJournal->trigger();
    QTRY_COMPARE(fmMain->fmJournal->pageModel()->rowCount(), 1);
    QTEST(fmMain->fmJournal->pageModel()->text(0, JournalModel::ColResult), "result");
}

void TestBatchSend::backToBackSendsEachGetTheirReply_data()
{
    QTest::addColumn<QStringList>("printer");
    QTest::addColumn<QString>("formatResult");
    QTest::addColumn<QString>("batchResult"); // how it begins
    QTest::newRow("replies") << QStringList{"--fail-every", "2"} << "Operation OK"
                             << "Label encoding failed";
    QTest::newRow("no reply") << QStringList{"--reply", "none"} << "No response"
                              << "No response";
}

void TestBatchSend::backToBackSendsEachGetTheirReply()
{
    QFETCH(QStringList, printer);
    QFETCH(QString, batchResult);
    PrinterSim sim;
    QVERIFY2(sim.start(printer), qPrintable(sim.errorString()));
    TestWindows w;
    useNetwork(sim);
    // The batch goes out within the format's half second before its check.
    fmMain->miSendFormat->trigger();
    fmMain->sbSendBatchClick();
    if (printer.last() == QLatin1String("none")) { // the polls, without waiting them out
        QTRY_VERIFY(fmMain->tiEncdStat->isActive());
        for (int poll = 0; poll <= StatusCheck::MaxPolls && fmMain->tiEncdStat->isActive(); ++poll)
            fmMain->tiEncdStatTimer();
    }
    QTRY_COMPARE(journal(w.settingsPath()).size(), 3);
    const QList<JournalEvent> events = journal(w.settingsPath());
    QCOMPARE(events[1].kind, JournalKind::Format);
    QTEST(events[1].result, "formatResult");
    QCOMPARE(events[2].kind, JournalKind::Result);
    QVERIFY2(events[2].result.startsWith(batchResult), qPrintable(events[2].result));
}

void TestBatchSend::resumesAfterKill_data()
{
    QTest::addColumn<bool>("sgtin"); // the killed run's entry showed SGTIN fields
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<bool>("server"); // the journal in PostgreSQL, else SQLite
    QTest::newRow("hex") << false << QByteArray("96") << false;
    QTest::newRow("SGTIN fields, settings of the other size") << true << QByteArray("64") << false;
    QTest::newRow("hex, shared server") << false << QByteArray("96") << true;
}

void TestBatchSend::resumesAfterKill()
{
    QFETCH(bool, sgtin);
    QFETCH(QByteArray, size);
    QFETCH(bool, server);
    QTemporaryDir dir;
    PgCluster pg;
    QString database = dir.filePath(QStringLiteral("quilbo-journal.sqlite"));
    QByteArray journalKeys;
    if (server) {
        if (!pg.start())
            QSKIP(pg.missing() ? "no PostgreSQL server binaries: install the package postgresql"
                               : qPrintable(pg.error()));
        database = pg.createDatabase(QStringLiteral("kill"));
        journalKeys = "[JOURNAL]\nDATABASE=" + database.toUtf8() + "\nNOREPEAT=0\n";
    }
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--reply"), QStringLiteral("none")}),
             qPrintable(sim.errorString()));
    const QString settings = dir.filePath(QStringLiteral("quilbo.INI"));
    QVERIFY(writeFile(settings, "[EPC]\nCOM=0\nDATASIZE=96\nRFIDDATA=0123456789ABCDEF00000010\n" +
                                    journalKeys));
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(CrashChild), settings);
    env.insert(QStringLiteral("QUILBO_TEST_CRASH_PORT"), QString::number(sim.port()));
    if (sgtin)
        env.insert(QStringLiteral("QUILBO_TEST_CRASH_SGTIN"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    while (!said.contains("batch handed over") && child.waitForReadyRead(20000))
        said += child.readAllStandardOutput();
    QVERIFY2(said.contains("batch handed over"), said.constData());
    QVERIFY(sim.waitForBytes(1));
    child.kill(); // SIGKILL: no close, no settings written
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    // As if the last clean close had been with the other size.
    if (size != "96")
        QVERIFY(
            writeFile(settings, "[EPC]\nCOM=0\nDATASIZE=" + size + "\nRFIDDATA=0\n" + journalKeys));
    { // a run elsewhere writes after the kill: the resume is this station's own
        JournalStore other;
        QVERIFY2(other.open(database, QStringLiteral("runner")), qPrintable(other.error()));
        JournalEvent e;
        e.firstEpc = QStringLiteral("0123456789ABCDEF00000090");
        e.nextEntry = QStringLiteral("0123456789ABCDEF00000091");
        e.quantity = 1;
        QVERIFY(other.appendBatch(e) != 0);
    }
    { // written by that close, a minute before the run that is killed
        QFile file(settings);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                 QFileDevice::FileModificationTime));
    }

    FakePrompt prompt;
    FakeHelp help;
    ResetProgramValues();
    CreateWindows(settings);
    fmMain->tiInitDelay->stop();
    QTRY_COMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000013"));
    QCOMPARE(fmMain->laStat->text(),
             QStringLiteral("Resumed after EPC 0123456789ABCDEF00000012 from the journal"));
    QCOMPARE(fmMain->laStat->palette().color(QPalette::WindowText), TfmMain::DarkGreen);
    // Once closed properly, the settings hold the value and the next start says nothing.
    QVERIFY(fmMain->close());
    DestroyWindows();
    CreateWindows(settings);
    fmMain->tiInitDelay->stop();
    fmMain->FSession->FJournal->waitLoaded();
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000013"));
    QVERIFY(!fmMain->laStat->text().startsWith(QStringLiteral("Resumed")));
    DestroyWindows();
}

void TestBatchSend::noRepeatGuard_data()
{
    QTest::addColumn<QByteArray>("keys"); // under [JOURNAL]
    QTest::addColumn<int>("answer");      // to "Already Sent"; 0: not asked
    QTest::addColumn<QString>("entry");   // after the press
    QTest::addColumn<int>("repeats");     // batches from ...00 in the journal, the other's included
    QTest::addColumn<QString>("said");    // the status line begins so
    const QString moved("Moved past EPC 0123456789ABCDEF00000002");
    QTest::newRow("move past") << QByteArray("NOREPEAT=1") << int(ModalResult::Yes)
                               << "0123456789ABCDEF00000003" << 1 << moved;
    QTest::newRow("send anyway") << QByteArray("NOREPEAT=1") << int(ModalResult::No)
                                 << "0123456789ABCDEF00000001" << 2 << "Idle";
    // Escape and the close box answer Cancel: nothing is sent, nothing repeated.
    QTest::newRow("cancel") << QByteArray("NOREPEAT=1") << int(ModalResult::Cancel)
                            << "0123456789ABCDEF00000000" << 1
                            << "EPC 0123456789ABCDEF00000000 was sent already";
    QTest::newRow("guard off") << QByteArray("NOREPEAT=0") << 0 << "0123456789ABCDEF00000001" << 2
                               << "Idle";
    QTest::newRow("server down")
        << QByteArray("DATABASE=postgresql:///quilbo?host=/nonexistent/pg") << 0
        << "0123456789ABCDEF00000000" << -1
        << "Nothing sent: the journal database (postgresql:///quilbo?host=/nonexistent/pg) does "
           "not answer, and without it a repeat cannot be ruled out. To use the local journal "
           "instead, remove DATABASE= from [JOURNAL] in the settings file.";
}

void TestBatchSend::noRepeatGuard()
{
    QFETCH(QByteArray, keys);
    QFETCH(int, answer);
    QFETCH(QString, entry);
    QFETCH(int, repeats);
    QFETCH(QString, said);
    PrinterSim sim;
    QVERIFY2(sim.start({QStringLiteral("--pty")}), qPrintable(sim.errorString()));
    TestWindows w("[EPC]\nRFIDDATA=0123456789ABCDEF00000000\n[JOURNAL]\n" + keys + "\n");
    useSerial(sim);
    fmMain->FSession->FJournal->waitLoaded();
    if (repeats > 0) { // another station sent ...00 to ...02
        JournalStore other;
        QVERIFY(other.open(fmMain->FSession->FJournal->path(), QStringLiteral("line 2")));
        JournalEvent e;
        e.firstEpc = QStringLiteral("0123456789ABCDEF00000000");
        e.quantity = 3;
        QVERIFY(other.appendBatch(e) != 0);
    }
    w.prompt.answers << ModalResult::No << answer; // "Send format packet?" first
    fmMain->sbSendBatchClick();
    QCOMPARE(w.prompt.asked.size(), answer != 0 ? 2 : 1);
    if (answer != 0)
        QVERIFY2(w.prompt.messages().last().startsWith(
                     "Already Sent: EPC 0123456789ABCDEF00000000 was sent already: batch 1 "
                     "(0123456789ABCDEF00000000 to 0123456789ABCDEF00000002), sent ") &&
                     w.prompt.messages().last().contains(" at line 2, no result yet."),
                 qPrintable(w.prompt.messages().last()));
    QCOMPARE(fmMain->entryText(), entry);
    QVERIFY2(fmMain->laStat->text().startsWith(said), qPrintable(fmMain->laStat->text()));
    QVERIFY(fmMain->sbSendBatch->isEnabled());
    if (repeats < 0)
        return;
    int found = 0;
    for (const JournalEvent &e : journal(w.settingsPath()))
        found += e.kind == JournalKind::Batch && e.firstEpc.endsWith(QLatin1String("00000000"));
    QCOMPARE(found, repeats);
}

void TestBatchSend::usedUpSerialStaysUsedUp()
{
    // A batch of two that ended on the last SGTIN serial, then a kill: the entry still holds
    // its first value, and the journal no next entry.
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("quilbo.INI"));
    const QString first = QStringLiteral("3074257BF7194E7FFFFFFFFE");
    QVERIFY(writeFile(settings, "[EPC]\nRFIDDATA=" + first.toLatin1() + "\nSTEPSERIAL=1\n"));
    {
        JournalWriter old;
        QVERIFY(old.open(JournalPath(settings)));
        JournalEvent e;
        e.firstEpc = first;
        e.quantity = 2;
        QVERIFY(old.appendBatch(e) == 1);
    }
    FakePrompt prompt;
    FakeHelp help;
    ResetProgramValues();
    CreateWindows(settings);
    fmMain->tiInitDelay->stop();
    fmMain->FSession->FJournal->waitLoaded();
    fmMain->FSession->FBatchQty = 1;
    fmMain->FSession->FComPort = 7; // nothing listens: a send would say so
    fmMain->sbSendBatchClick();
    QVERIFY2(prompt.messages().value(0).startsWith(
                 QStringLiteral("Data Error: The SGTIN serial reaches its largest value")),
             qPrintable(prompt.messages().join('|')));
    QCOMPARE(prompt.messages().size(), 1);
    DestroyWindows();
}

void TestBatchSend::oldCsvJournalImportedOnce_data()
{
    QTest::addColumn<QString>("old");       // the old journal, and what is in the way
    QTest::addColumn<QString>("firstSaid"); // the status line's start at the first start
    QTest::addColumn<QString>("kinds");     // the journal's events after it: Batch Result File
    QTest::newRow("at the first start") << "file"
                                        << "Journal: 1 damaged lines skipped"
                                        << "BR";
    // Not at the start, but before the first event: written first, it would end the import.
    QTest::newRow("when the database first opens") << "database blocked"
                                                   << "Journal not written"
                                                   << "BRF";
    // Given up and said once; the journal goes on without it.
    QTest::newRow("an old journal that cannot be read") << "folder"
                                                        << "Old journal not imported"
                                                        << "F";
}

void TestBatchSend::oldCsvJournalImportedOnce()
{
    QFETCH(QString, old);
    QFETCH(QString, firstSaid);
    QFETCH(QString, kinds);
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("quilbo.INI"));
    QVERIFY(writeFile(settings, "[EPC]\nRFIDDATA=0123456789ABCDEF00000000\n"));
    if (old == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(JournalPath(settings)));
    } else {
        {
            JournalWriter w;
            QVERIFY(w.open(JournalPath(settings)));
            JournalEvent e;
            e.firstEpc = QStringLiteral("0123456789ABCDEF00000000");
            e.quantity = 2;
            e.time = QStringLiteral("2026-12-08T10:42:05+01:00");
            QVERIFY(w.appendBatch(e) == 1);
            QVERIFY(w.appendResult(1, QStringLiteral("Operation OK")));
        }
        QFile csv(JournalPath(settings));
        QVERIFY(csv.open(QIODevice::Append) && csv.write("B,x,cut by a crash\n") > 0);
    }
    const QByteArray before = readFile(JournalPath(settings));
    const QString database = dir.filePath(QStringLiteral("quilbo-journal.sqlite"));
    if (old == QLatin1String("database blocked"))
        QVERIFY(QDir().mkpath(database));
    FakePrompt prompt;
    FakeHelp help;
    for (const bool first : {true, false}) {
        ResetProgramValues();
        CreateWindows(settings);
        fmMain->tiInitDelay->stop();
        fmMain->FSession->FJournal->waitLoaded();
        QVERIFY2(fmMain->laStat->text().startsWith(firstSaid) == first, // said once only
                 qPrintable(fmMain->laStat->text()));
        if (kinds.startsWith(QLatin1Char('B')) && (!first || old == QLatin1String("file")))
            QVERIFY2(fmMain->laMeaning->text().startsWith(QStringLiteral("sent 08 Dec ")) &&
                         fmMain->laMeaning->text().contains(QStringLiteral(", Operation OK")),
                     qPrintable(fmMain->laMeaning->text()));
        if (first && kinds.endsWith(QLatin1Char('F'))) {
            if (old == QLatin1String("database blocked"))
                QVERIFY(QDir().rmdir(database));
            fmMain->FSession->FJournal->fileSent(QStringLiteral("COM1"), QStringLiteral("a.prn"), 7,
                                                 QStringLiteral("Sent"));
        }
        // Once, before anything else.
        QString written;
        for (const JournalEvent &e : journal(settings))
            written += QLatin1Char("BRfF"[int(e.kind)]); // f: a format
        QCOMPARE(written, kinds);
        QVERIFY(fmMain->close());
        DestroyWindows();
    }
    QCOMPARE(readFile(JournalPath(settings)), before);
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(database) & others, QFileDevice::Permissions());
}

void TestBatchSend::windowBesideARunner_data()
{
    QTest::addColumn<bool>("server");
    QTest::newRow("SQLite") << false;
    QTest::newRow("PostgreSQL") << true;
}

void TestBatchSend::windowBesideARunner()
{
    QFETCH(bool, server);
    PgCluster pg;
    QByteArray keys = "NOREPEAT=1";
    if (server) {
        if (!pg.start())
            QSKIP("no PostgreSQL server binaries: install the package postgresql");
        keys = "DATABASE=" + pg.createDatabase(QStringLiteral("beside")).toUtf8();
    }
    PrinterSim windowSim, runnerSim;
    QVERIFY(windowSim.start({QStringLiteral("--pty")}));
    QVERIFY(runnerSim.start({QStringLiteral("--reply-delay"), QStringLiteral("300")}));
    TestWindows w("[EPC]\nRFIDDATA=0123456789ABCDEF00000000\n[JOURNAL]\n" + keys + "\n");
    useSerial(windowSim);
    fmMain->FSession->FJournal->waitLoaded();
    const auto runner = [&](QProcess *p, const char *epc) {
        const QString journal = fmMain->FSession->FJournal->path();
        p->start(QStringLiteral(QUILBO_BATCH),
                 {"--printer", QStringLiteral("127.0.0.1:%1").arg(runnerSim.port()), "--format",
                  w.tempPath(QStringLiteral("label.fmt")), "--epc", QLatin1String(epc), "--batches",
                  "3", "--journal", journal, "--no-repeat"});
    };
    QVERIFY(writeFile(w.tempPath(QStringLiteral("label.fmt")),
                      "{F,1,A,R,E,100,400,\"t\"|\r\nX,1,24|\r\n}\r\n\r\n{B,1,N,1|E,0,0,1,1,0,1|"
                      "\r\n1,\"000000000000000000000000\"|\r\n}\r\n"));

    // The runner is first: the window is refused the EPC the runner's printer has.
    QProcess first;
    runner(&first, "0123456789ABCDEF00000000");
    QVERIFY(runnerSim.waitForBytes(1));
    w.prompt.answers << ModalResult::No << ModalResult::Yes; // no format; move past
    fmMain->sbSendBatchClick();
    QVERIFY2(w.prompt.messages().value(1).contains(":quilbo-batch 127.0.0.1:"),
             qPrintable(w.prompt.messages().value(1)));
    QVERIFY(first.waitForFinished(30000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(windowSim.receivedSize(), 0);

    // The window is first: the runner stops before the range the window sent.
    fmMain->medEPC->setText(QStringLiteral("0123456789ABCDEF00000010"));
    fmMain->sbSendBatchClick();
    QVERIFY(windowSim.waitForBytes(1));
    QProcess second;
    runner(&second, "0123456789ABCDEF0000000E");
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(second.exitCode(), 4);
    const QByteArray printed = runnerSim.received() + windowSim.received();
    for (const char *epc : {"00000000", "00000001", "00000002", "0000000E", "0000000F", "00000010"})
        QCOMPARE(printed.count(QByteArray("0123456789ABCDEF") + epc), 1);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(CrashChild))
        return sendOneBatchAndHang(argc, argv);
    QApplication app(argc, argv);
    TestBatchSend test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_batchsend.moc"
