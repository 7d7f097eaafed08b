// The two front ends of the batch session against the emulator: the session driven as the main
// window drives it, and quilbo-batch as a user runs it, must give the printer the same bytes,
// write the same journal rows and count the same results.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "PgCluster.h"
#include "PrinterSim.h"
#include "TestFiles.h"
#include "core/FormatFile.h"
#include "core/Gs1Epc.h"
#include "core/Journal.h"
#include "link/BatchSession.h"
#include "link/JournalStore.h"
#include "link/NetLink.h"

namespace
{
const QByteArray Format = "{F,1,A,R,E,100,400,\"t\"|\r\nX,1,24|\r\n}\r\n";
const QByteArray Batch = "{B,1,N,1|E,0,0,1,1,0,1|\r\n1,\"000000000000000000000000\"|\r\n}\r\n";
const QString Epc = QStringLiteral("0123456789ABCDEF000000FF");

struct Counts {
    int ok = 0, failed = 0, noResponse = 0, sent = 0;
    bool operator==(const Counts &o) const
    {
        return ok == o.ok && failed == o.failed && noResponse == o.noResponse && sent == o.sent;
    }
};

// One row as text, the printer's address left out: the two sides talk to two emulators. A
// database is read back through its CSV export.
QStringList rows(QString path, const QString &link, const QString &exportTo)
{
    if (!path.endsWith(QLatin1String(".csv"))) {
        JournalStore store;
        QFile out(exportTo);
        if (!store.open(path, QString()) || !out.open(QIODevice::WriteOnly) ||
            !store.exportCsv(&out))
            return {store.error()};
        path = exportTo;
    }
    QStringList out;
    for (const JournalEvent &e : ReadJournal(path).events)
        out << QStringList{QString::number(int(e.kind)),
                           QString::number(e.batch),
                           e.link == link ? QStringLiteral("link") : e.link,
                           QString::number(e.quantity),
                           QString::number(e.withFormat),
                           e.firstEpc,
                           e.lastEpc,
                           e.tagUri,
                           e.nextEntry,
                           e.result}
                   .join(QLatin1Char('|'));
    return out;
}
} // namespace

class TestSession : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(writeFile(path("label.fmt"), Format + "\r\n" + Batch));
        m_pgUp = m_pg.start();
    }
    void bothFrontEnds_data();
    void bothFrontEnds();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // A journal of the kind: "csv", "sqlite" or "postgresql"; empty when there is no server.
    QString journal(const QString &kind, const QString &name);
    QTemporaryDir m_dir;
    PgCluster m_pg;
    bool m_pgUp = false;
    int m_databases = 0;
};

QString TestSession::journal(const QString &kind, const QString &name)
{
    if (kind != QLatin1String("postgresql"))
        return path(name + QLatin1Char('.') + kind);
    return m_pgUp ? m_pg.createDatabase(QStringLiteral("j%1").arg(++m_databases)) : QString();
}

void TestSession::bothFrontEnds_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<int>("batches");
    QTest::addColumn<bool>("withFormat");
    QTest::addColumn<int>("polls");
    QTest::addColumn<QString>("epc");
    QTest::addColumn<bool>("stepSerial");
    QTest::addColumn<QStringList>("tagUris"); // of the batches sent, when stepSerial
    QTest::addColumn<QString>("refusal");     // a part of why the next batch cannot go
    QTest::addColumn<QString>("journalKind");
    const QStringList none;

    QTest::newRow("network, one label, format in front")
        << QStringList() << 1 << 1 << true << 26 << Epc << false << none << QString()
        << QStringLiteral("csv");
    QTest::newRow("network, every second batch fails")
        << QStringList{"--fail-every", "2"} << 3 << 3 << false << 26 << Epc << false << none
        << QString() << QStringLiteral("csv");
    QTest::newRow("network, no answer")
        << QStringList{"--reply", "none"} << 1 << 1 << false << 0 << Epc << false << none
        << QString() << QStringLiteral("csv");
    // The batch packet and the status request are in: the printer drops out before answering.
    QTest::newRow("network, the printer closes")
        << QStringList{"--close-after", QString::number(Batch.size() + 6)} << 1 << 1 << false << 26
        << Epc << false << none << QString() << QStringLiteral("csv");
    QTest::newRow("serial, one label") << QStringList{"--pty"} << 1 << 1 << false << 26 << Epc
                                       << false << none << QString() << QStringLiteral("csv");
    QTest::newRow("serial, several, format in front")
        << QStringList{"--pty"} << 2 << 3 << true << 26 << Epc << false << none << QString()
        << QStringLiteral("csv");

    // Stepping the GS1 serial: the tag URIs of the batches that go, and a part of the text that
    // stops the next one.
    const auto sgtin = [](const char *serial) {
        return QStringLiteral("urn:epc:tag:sgtin-96:3.0614141.812345.") + QLatin1String(serial);
    };
    const QString sscc = QStringLiteral("urn:epc:tag:sscc-96:3.0614141.12345678");
    const QString gsrn = QStringLiteral("urn:epc:tag:gsrn-96:3.0614141.12345678");
    const QString sgcn = QStringLiteral("urn:epc:tag:sgcn-96:3.4012345.67890.");
    QTest::newRow("serial: SGTIN-96 in batches of three")
        << QStringList() << 3 << 2 << false << 26 << "3074257BF7194E4000001A85" << true
        << QStringList{sgtin("6789"), sgtin("6792")} << QString() << QStringLiteral("csv");
    QTest::newRow("serial: SGTIN-96 one label before its last serial, batches of two")
        << QStringList() << 2 << 2 << false << 26 << "3074257BF7194E7FFFFFFFFE" << true
        << QStringList{sgtin("274877906942")} << "SGTIN serial reaches its largest value"
        << QStringLiteral("csv");
    QTest::newRow("serial: SSCC-96 in three batches of one")
        << QStringList{"--pty"} << 1 << 3 << false << 26 << "3174257BF4499602D2000000" << true
        << QStringList{sscc + "90", sscc + "91", sscc + "92"} << QString() << QStringLiteral("csv");
    QTest::newRow("serial: SSCC-96 in batches of two is refused")
        << QStringList() << 2 << 1 << true << 26 << "3174257BF4499602D2000000" << true << none
        << "SSCC serial reference sits above 24" << QStringLiteral("csv");
    QTest::newRow("serial: GSRN-96 in batches of one")
        << QStringList() << 1 << 2 << false << 26 << "2D74257BF4499602D2000000" << true
        << QStringList{gsrn + "90", gsrn + "91"} << QString() << QStringLiteral("csv");
    QTest::newRow("serial: SGCN-96 keeps its three digits")
        << QStringList() << 1 << 3 << false << 26 << "3F74F4E4E6126400000007CE" << true
        << QStringList{sgcn + "998", sgcn + "999"} << "SGCN serial component reaches"
        << QStringLiteral("csv");
    QTest::newRow("serial: a value of no scheme steps whole")
        << QStringList() << 2 << 2 << false << 26 << "0123456789ABCDEF000000FF" << true
        << QStringList{"urn:epc:raw:96.x0123456789ABCDEF000000FF",
                       "urn:epc:raw:96.x0123456789ABCDEF00000101"}
        << QString() << QStringLiteral("csv");
    QTest::newRow("network, every second batch fails, SQLite")
        << QStringList{"--fail-every", "2"} << 3 << 3 << false << 26 << Epc << false << none
        << QString() << QStringLiteral("sqlite");
    QTest::newRow("network, every second batch fails, PostgreSQL")
        << QStringList{"--fail-every", "2"} << 3 << 3 << true << 26 << Epc << false << none
        << QString() << QStringLiteral("postgresql");
    QTest::newRow("serial, several, SQLite")
        << QStringList{"--pty"} << 2 << 2 << false << 26 << Epc << false << none << QString()
        << QStringLiteral("sqlite");
}

void TestSession::bothFrontEnds()
{
    QFETCH(QStringList, simArgs);
    QFETCH(int, quantity);
    QFETCH(int, batches);
    QFETCH(bool, withFormat);
    QFETCH(int, polls);
    QFETCH(QString, epc);
    QFETCH(bool, stepSerial);
    QFETCH(QStringList, tagUris);
    QFETCH(QString, refusal);
    const int sentBatches = stepSerial ? int(tagUris.size()) : batches;
    QFETCH(QString, journalKind);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
    const QString windowJournal = journal(journalKind, tag + "-window");
    const QString runnerJournal = journal(journalKind, tag + "-runner");
    if (windowJournal.isEmpty())
        QSKIP("no PostgreSQL server binaries: install the package postgresql");

    // The window's side: the session as the main window drives it, its status-check timer
    // polling faster.
    PrinterSim windowSim;
    QVERIFY2(windowSim.start(simArgs), qPrintable(windowSim.errorString()));
    const bool serial = !windowSim.ptyPath().isEmpty();
    Counts windowCounts;
    {
        BatchSession s;
        s.FBatchQty = quantity;
        s.FStepSerial = stepSerial;
        if (serial) {
            s.FComDevice = windowSim.ptyPath();
            s.FFlowControl = 3;
        } else {
            s.FComPort = 0;
            s.setPrinterAddress(QStringLiteral("127.0.0.1"));
            s.FNetLink->setPortText(QString::number(windowSim.port()));
            s.FStatusCheck->setMaxPolls(polls);
        }
        s.OpenJournal(windowJournal);
        QTimer tiEncdStat;
        tiEncdStat.setInterval(20);
        const auto poll = [&] {
            tiEncdStat.stop();
            const StatusCheck::Result r = s.Poll();
            if (r.outcome == StatusCheck::Outcome::Polling || r.pollAgain)
                tiEncdStat.start();
        };
        connect(&tiEncdStat, &QTimer::timeout, this, poll);
        connect(s.FNetLink, &NetLink::checkDue, this, [&] {
            s.BeginCheck(tiEncdStat.isActive());
            tiEncdStat.start();
        });
        connect(s.FStatusCheck, &StatusCheck::closedBeforeReply, this, [&] {
            s.FNetLink->checkNow();
            if (tiEncdStat.isActive())
                poll();
        });
        int ended = 0;
        connect(&s, &BatchSession::batchEnded, this, [&](qint64, BatchOutcome outcome) {
            ++ended;
            windowCounts.ok += outcome == BatchOutcome::OperationOk;
            windowCounts.failed += outcome == BatchOutcome::EncodingFailed;
            windowCounts.noResponse += outcome == BatchOutcome::NoResponse;
            windowCounts.sent += outcome == BatchOutcome::Sent;
        });
        QStringList lines;
        QString error;
        QVERIFY(ReadFormatFile(path("label.fmt"), &lines, &error));
        QVERIFY(s.SplitFormatText(lines).stop == BatchStop::None);
        QString entry = epc;
        for (int i = 1; i <= batches; ++i) {
            const QString refused = s.SerialRefusal(entry); // the send button's first look
            QCOMPARE(refused.isEmpty(), i <= sentBatches);
            if (!refused.isEmpty()) {
                QVERIFY2(refused.contains(refusal), qPrintable(refused));
                break;
            }
            const bool format = withFormat && i == 1;
            const BatchAssembly batch = s.PrepareBatch(entry, format, false);
            QVERIFY(batch.stop == BatchStop::None);
            entry = s.SendBatch(batch, entry, format);
            QTRY_COMPARE_WITH_TIMEOUT(ended, i, 20000); // the send button is held until then
        }
    }

    // quilbo-batch's side.
    PrinterSim runnerSim;
    QVERIFY2(runnerSim.start(simArgs), qPrintable(runnerSim.errorString()));
    QStringList args{"--format",   path("label.fmt"),         "--epc",     epc,
                     "--quantity", QString::number(quantity), "--batches", QString::number(batches),
                     "--polls",    QString::number(polls),    "--journal", runnerJournal};
    if (withFormat)
        args << "--send-format";
    if (stepSerial)
        args << "--step-serial";
    if (serial)
        args << "--serial" << runnerSim.ptyPath();
    else
        args << "--printer" << QStringLiteral("127.0.0.1:%1").arg(runnerSim.port());
    QProcess p;
    p.start(QStringLiteral(QUILBO_BATCH), args);
    QVERIFY(p.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    if (!refusal.isEmpty()) {
        QCOMPARE(p.exitCode(), 2);
        QVERIFY2(err.contains(refusal), qPrintable(err));
    }
    const auto count = [&out](const char *label) {
        const QRegularExpression re(QLatin1String(label) + QStringLiteral(":\\s+(\\d+)"));
        return re.match(out).captured(1).toInt();
    };
    const Counts runnerCounts{count("Operation OK"), count("Failed"), count("No response"),
                              count("Sent")};

    QVERIFY(runnerSim.waitForBytes(windowSim.receivedSize()));
    QCOMPARE(runnerSim.received(), windowSim.received());
    const QString windowLink =
        serial ? windowSim.ptyPath() : QStringLiteral("IP 127.0.0.1:%1").arg(windowSim.port());
    const QString runnerLink =
        serial ? runnerSim.ptyPath() : QStringLiteral("IP 127.0.0.1:%1").arg(runnerSim.port());
    const QString exported = path(tag + "-export.csv");
    const QStringList windowRows = rows(windowJournal, windowLink, exported);
    QCOMPARE(windowRows.size(), 2 * sentBatches);
    if (stepSerial) {
        QStringList sent;
        const bool csv = windowJournal.endsWith(QLatin1String(".csv"));
        for (const JournalEvent &e : ReadJournal(csv ? windowJournal : exported).events) {
            if (e.kind != JournalKind::Batch)
                continue;
            QVERIFY2(ReadEpc(e.firstEpc).problem.isEmpty(), qPrintable(e.firstEpc));
            sent << e.tagUri;
        }
        QCOMPARE(sent, tagUris);
    }
    QCOMPARE(rows(runnerJournal, runnerLink, exported), windowRows);
    QVERIFY2(runnerCounts == windowCounts, qPrintable(out));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
