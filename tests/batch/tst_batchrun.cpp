// quilbo-batch as a user runs it: the built program against the printer emulator.
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "PgCluster.h"
#include "PrinterSim.h"
#include "TestFiles.h"
#include "core/Journal.h"

namespace
{
const QByteArray Format = "{F,1,A,R,E,100,400,\"t\"|\r\nX,1,24|\r\n}\r\n";
const QByteArray Batch = "{B,1,N,%Q|E,0,0,1,1,0,1|\r\n1,\"%E\"|\r\n}\r\n";
const QByteArray Ask = "\n{J,3}";
// Read slowly, it outlasts a status check's first half second.
const QByteArray BigFormat =
    "{F,1,A,R,E,100,400,\"" + QByteArray(60000, 't') + "\"|\r\nX,1,24|\r\n}\r\n";

// The batch packet as it must reach the printer.
QByteArray batch(int quantity, const char *epc)
{
    return QByteArray(Batch).replace("%Q", QByteArray::number(quantity)).replace("%E", epc);
}
} // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void run_data();
    void run();
    void unusable_data();
    void unusable();
    void linkFails_data();
    void linkFails();
    void stopsAfterTheCurrentBatch_data();
    void stopsAfterTheCurrentBatch();
    void twoRunnersOneRange_data();
    void twoRunnersOneRange();
    void helpExampleRuns();

private:
    int runBatch(const QStringList &args, QByteArray *out, QByteArray *err = nullptr);
    // The journal's events: a CSV file read, a database exported by quilbo-batch.
    JournalRead readJournal(const QString &journal);
    QString pgJournal(const QString &name);
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    QTemporaryDir m_dir;
    PgCluster m_pg;
    bool m_pgUp = false;
};

void TestBatchRun::initTestCase()
{
    QVERIFY(writeFile(path("label.fmt"), Format + "\r\n" + batch(1, "000000000000000000000000")));
    QVERIFY(writeFile(path("nobatch.fmt"), Format));
    QVERIFY(writeFile(path("big.fmt"), BigFormat + "\r\n" + batch(1, "0")));
    m_pgUp = m_pg.start();
    if (!m_pgUp)
        qWarning("PostgreSQL rows skipped: %s", qPrintable(m_pg.error()));
}

QString TestBatchRun::pgJournal(const QString &name)
{
    // An empty address skips the row: the server binaries are missing.
    return m_pgUp ? m_pg.createDatabase(name) : QString();
}

JournalRead TestBatchRun::readJournal(const QString &journal)
{
    if (journal.endsWith(QLatin1String(".csv")))
        return ReadJournal(journal);
    const QString csv = m_dir.filePath(QStringLiteral("export.csv"));
    QFile::remove(csv);
    QByteArray out, err;
    if (runBatch({"--journal", journal, "--export-csv", csv}, &out, &err) != 0)
        qWarning("%s", err.constData());
    return ReadJournal(csv);
}

int TestBatchRun::runBatch(const QStringList &args, QByteArray *out, QByteArray *err)
{
    QProcess p;
    p.start(QStringLiteral(QUILBO_BATCH), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return -1;
    *out = p.readAllStandardOutput();
    if (err)
        *err = p.readAllStandardError();
    return p.exitCode();
}

void TestBatchRun::run_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected"); // what the printer got
    QTest::addColumn<QStringList>("lines");   // in the output, in order
    QTest::addColumn<int>("status");

    const QStringList epc96{"--epc", "0123456789ABCDEF000000FF"};
    QTest::newRow("every third fails, format in front")
        << QStringList{"--fail-every", "3"}
        << epc96 + QStringList{"--quantity",    "2",         "--batches",      "4",
                               "--send-format", "--journal", path("mixed.csv")}
        << Format + batch(2, "0123456789ABCDEF000000FF") + Ask +
               batch(2, "0123456789ABCDEF00000101") + Ask + batch(2, "0123456789ABCDEF00000103") +
               Ask + batch(2, "0123456789ABCDEF00000105") + Ask
        << QStringList{"1  0123456789ABCDEF000000FF  Operation OK\n",
                       "3  0123456789ABCDEF00000103  Label encoding "
                       "failed{J,\"E1\",\"1\",\"\",\"\"}",
                       "4  0123456789ABCDEF00000105  Operation OK\n",
                       "Batches:      4\nLabels:       8\nOperation OK: 3\nFailed:       1\n"
                       "No response:  0\n"}
        << 1;
    QTest::newRow("64 bits typed in lower case, quantity 0 keeps the EPC, wrap at the top")
        << QStringList()
        << QStringList{"--epc", "ffffffffffffffff", "--quantity", "0", "--batches", "2"}
        << batch(0, "FFFFFFFFFFFFFFFF") + Ask + batch(0, "FFFFFFFFFFFFFFFF") + Ask
        << QStringList{"Operation OK: 2\nFailed:       0\nNo response:  0\n"} << 0;
    QTest::newRow("a step past the top is said once")
        << QStringList()
        << QStringList{"--epc", "FFFFFFFFFFFFFFFE", "--quantity", "2", "--batches", "2"}
        << batch(2, "FFFFFFFFFFFFFFFE") + Ask + batch(2, "0000000000000000") + Ask
        << QStringList{"quilbo-batch: Warning after batch 1: the tag data wraps past its "
                       "largest value to 0000000000000000.\n",
                       "2  0000000000000000  Operation OK\n"}
        << 0;
    QTest::newRow("silent printer")
        << QStringList{"--reply", "none"} << epc96 + QStringList{"--polls", "0"}
        << batch(1, "0123456789ABCDEF000000FF") + Ask
        << QStringList{"No response\n", "No response:  1\n"} << 1;
    QTest::newRow("a reply cut short is the reply at the deadline")
        << QStringList{"--reply-text", "{J,\"\",\"\""} << epc96 + QStringList{"--polls", "0"}
        << batch(1, "0123456789ABCDEF000000FF") + Ask
        << QStringList{"Label encoding failed{J,\"\",\"\"\n", "Failed:       1\n"} << 1;
    // The first reply comes after its batch was given up; the second batch's reply fails.
    QTest::newRow("a late reply is dropped, not taken for the next batch's")
        << QStringList{"--reply-delay", "2000,0", "--fail-every", "2"}
        << epc96 + QStringList{"--polls", "1", "--batches", "3", "--journal", path("late.csv")}
        << batch(1, "0123456789ABCDEF000000FF") + Ask + batch(1, "0123456789ABCDEF00000100") + Ask +
               batch(1, "0123456789ABCDEF00000101") + Ask
        << QStringList{"1  0123456789ABCDEF000000FF  No response\n",
                       "2  0123456789ABCDEF00000100  Label encoding failed",
                       "3  0123456789ABCDEF00000101  Operation OK\n",
                       "Operation OK: 1\nFailed:       1\nNo response:  1\n"}
        << 1;
    // The printer loses the first request: only its batch goes without an answer.
    QTest::newRow("a request never answered costs its own batch only")
        << QStringList{"--reply-delay", "-1,0"}
        << epc96 + QStringList{"--polls", "0", "--batches", "3"}
        << batch(1, "0123456789ABCDEF000000FF") + Ask + batch(1, "0123456789ABCDEF00000100") + Ask +
               batch(1, "0123456789ABCDEF00000101") + Ask
        << QStringList{"1  0123456789ABCDEF000000FF  No response\n",
                       "2  0123456789ABCDEF00000100  Operation OK\n",
                       "3  0123456789ABCDEF00000101  Operation OK\n",
                       "Operation OK: 2\nFailed:       0\nNo response:  1\n"}
        << 1;
    QTest::newRow("the wait for a reply starts once a slow printer has taken the batch")
        << QStringList{"--slow", "--rate", "40000"}
        << epc96 + QStringList{"--polls",       "0",        "--batches",    "2",
                               "--send-format", "--format", path("big.fmt")}
        << BigFormat + batch(1, "0123456789ABCDEF000000FF") + Ask +
               batch(1, "0123456789ABCDEF00000100") + Ask
        << QStringList{"Operation OK: 2\n"} << 0;
    QTest::newRow("serial")
        << QStringList{"--pty"}
        << epc96 + QStringList{"--batches", "2", "--baud", "19200", "--journal", path("serial.csv")}
        << batch(1, "0123456789ABCDEF000000FF") + batch(1, "0123456789ABCDEF00000100")
        << QStringList{"2  0123456789ABCDEF00000100  Sent\n", "Labels:       2\nSent:         2\n"}
        << 0;
    QTest::newRow("journal in SQLite")
        << QStringList{"--fail-every", "2"}
        << epc96 + QStringList{"--batches", "2", "--send-format", "--journal", path("run.sqlite")}
        << Format + batch(1, "0123456789ABCDEF000000FF") + Ask +
               batch(1, "0123456789ABCDEF00000100") + Ask
        << QStringList{"2  0123456789ABCDEF00000100  Label encoding failed"} << 1;
    QTest::newRow("journal in PostgreSQL")
        << QStringList{"--fail-every", "2"}
        << epc96 + QStringList{"--batches", "2", "--send-format", "--journal", pgJournal("run")}
        << Format + batch(1, "0123456789ABCDEF000000FF") + Ask +
               batch(1, "0123456789ABCDEF00000100") + Ask
        << QStringList{"2  0123456789ABCDEF00000100  Label encoding failed"} << 1;
    QTest::newRow("a flood ends the only batch: the link failed")
        << QStringList{"--reply-text", QString(2000, QLatin1Char('x'))} << epc96
        << batch(1, "0123456789ABCDEF000000FF") + Ask
        << QStringList{"quilbo-batch: The printer sent more than 1024 bytes without a line break; "
                       "the link is no longer usable.\n",
                       "Failed:       1\n"}
        << 3;
}

void TestBatchRun::run()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, lines);
    QFETCH(int, status);

    if (args.contains(QString()))
        QSKIP("no PostgreSQL server binaries: install the package postgresql");
    PrinterSim sim;
    QVERIFY2(sim.start(simArgs), qPrintable(sim.errorString()));
    if (!args.contains("--format"))
        args << "--format" << path("label.fmt");
    if (sim.ptyPath().isEmpty())
        args << "--printer" << QStringLiteral("127.0.0.1:%1").arg(sim.port());
    else
        args << "--serial" << sim.ptyPath();
    QByteArray out, err;
    QCOMPARE(runBatch(args, &out, &err), status);
    QVERIFY(sim.waitForBytes(expected.size()));
    QCOMPARE(sim.received(), expected);
    qsizetype from = 0;
    bool said = false;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("quilbo-batch: "))) { // a warning, said once
            QCOMPARE(err.count(line.toLatin1()), 1);
            said = true;
            continue;
        }
        from = out.indexOf(line.toLatin1(), from);
        QVERIFY2(from >= 0, qPrintable(line + "\nnot in order in\n" + out));
    }
    if (!said)
        QCOMPARE(err, QByteArray());

    // A batch line, then its result, for every batch; the format noted on the first.
    const int journal = int(args.indexOf("--journal"));
    if (journal < 0)
        return;
    const JournalRead read = readJournal(args.at(journal + 1));
    QCOMPARE(read.skipped, 0);
    const QRegularExpression batches(QStringLiteral("Batches: +(\\d+)\n"));
    QCOMPARE(read.events.size(), 2 * batches.match(QString::fromLatin1(out)).captured(1).toInt());
    for (int i = 0; i < read.events.size(); i += 2) {
        QCOMPARE(read.events[i].kind, JournalKind::Batch);
        QCOMPARE(read.events[i].withFormat, i == 0 && args.contains("--send-format"));
        QCOMPARE(read.events[i + 1].kind, JournalKind::Result);
        QVERIFY(out.contains(read.events[i].firstEpc.toLatin1() + "  " +
                             read.events[i + 1].result.toLatin1() + '\n'));
    }
}

void TestBatchRun::unusable_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    const QStringList fmt{"--printer", "127.0.0.1:1", "--format"};
    const QStringList epc{"--epc", "0123456789ABCDEF00000000"};
    QTest::newRow("no printer") << QStringList{"--epc", "0123456789ABCDEF"} << "either --printer";
    QTest::newRow("two printers") << QStringList{"--printer", "h", "--serial", "/dev/null"}
                                  << "either --printer";
    QTest::newRow("port 0") << QStringList{"--printer", "h:0"} << "port from 1 to 65535";
    QTest::newRow("baud without serial")
        << QStringList{"--printer", "h", "--baud", "9600"} << "--baud goes with --serial";
    QTest::newRow("epc of 20 digits")
        << fmt + QStringList{"f", "--epc", "01234567890123456789"} << "not 16 or 24 hex digits";
    QTest::newRow("quantity 101") << fmt + QStringList{"f"} + epc + QStringList{"--quantity", "101"}
                                  << "from 0 to 100";
    QTest::newRow("batches twice")
        << fmt + QStringList{"f"} + epc + QStringList{"--batches", "2", "--batches", "3"}
        << "more than once";
    QTest::newRow("unknown option") << QStringList{"--colour"} << "Unknown option";
    QTest::newRow("missing file") << fmt + QStringList{path("none.fmt")} + epc << "File Error: ";
    QTest::newRow("no batch packet") << fmt + QStringList{path("nobatch.fmt")} + epc
                                     << "Send Error: Batch quantity is zero.\nNothing sent.";
    QTest::newRow("not hex") << fmt + QStringList{path("label.fmt"), "--epc",
                                                  "0123456789ABCDEFG0000000"}
                             << "Data Error: Format (max data):  FFFFFFFFFFFFFFFFFFFFFFFF";
    QTest::newRow("journal in no folder")
        << fmt + QStringList{path("label.fmt")} + epc +
               QStringList{"--journal", path("no/such/folder.csv")}
        << "Journal Error: ";
    QTest::newRow("journal a device")
        << fmt + QStringList{path("label.fmt")} + epc + QStringList{"--journal", "/dev/zero"}
        << "Journal Error: /dev/zero\nNot a file.";
    QTest::newRow("journal database in no folder")
        << fmt + QStringList{path("label.fmt")} + epc +
               QStringList{"--journal", path("no/such/folder.sqlite")}
        << "Journal Error: ";
    QTest::newRow("no repeat without a database")
        << fmt + QStringList{path("label.fmt")} + epc +
               QStringList{"--journal", path("j.csv"), "--no-repeat"}
        << "--no-repeat needs a --journal database";
}

void TestBatchRun::unusable()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QByteArray out, err;
    QCOMPARE(runBatch(args, &out, &err), 2);
    QVERIFY2(err.contains(message.toLatin1()), err.constData());
    QVERIFY(out.isEmpty()); // nothing started, so no summary
}

void TestBatchRun::linkFails_data()
{
    QTest::addColumn<QStringList>("simArgs"); // empty: no printer at all
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("summary");

    QTest::newRow("nobody listens")
        << QStringList() << "Could not connect to 127.0.0.1:" << QByteArray("Batches:      0\n");
    // A batch is 65 bytes with the request: the close comes inside the third.
    QTest::newRow("closes mid-run")
        << QStringList{"--close-after", "150"} << "The printer closed the connection."
        << QByteArray("Operation OK: 2\n");
    QTest::newRow("closes inside the last batch")
        << QStringList{"--close-after", "290"} << "The printer closed the connection."
        << QByteArray("Operation OK: 4\n");
    QTest::newRow("floods") << QStringList{"--reply-text", QString(2000, QLatin1Char('x'))}
                            << "bytes without a line break" << QByteArray("Failed:       1\n");
}

void TestBatchRun::linkFails()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QString, message);
    QFETCH(QByteArray, summary);

    PrinterSim sim;
    quint16 port = 0;
    if (simArgs.isEmpty()) {
        QTcpServer server; // a port that was free a moment ago
        QVERIFY(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
    } else {
        QVERIFY2(sim.start(simArgs), qPrintable(sim.errorString()));
        port = sim.port();
    }
    QByteArray out, err;
    QCOMPARE(runBatch({"--printer", QStringLiteral("127.0.0.1:%1").arg(port), "--format",
                       path("label.fmt"), "--epc", "0123456789ABCDEF00000000", "--batches", "5"},
                      &out, &err),
             3);
    QVERIFY2(err.contains(message.toLatin1()), err.constData());
    QVERIFY2(out.contains(summary), out.constData());
}

void TestBatchRun::stopsAfterTheCurrentBatch_data()
{
    QTest::addColumn<int>("stops");
    QTest::addColumn<QByteArray>("said");    // on standard error, after the first one's line
    QTest::addColumn<QByteArray>("printed"); // the batch's line, empty when it has none
    QTest::addColumn<QString>("result");     // in the journal
    QTest::newRow("once: after the reply")
        << 1 << QByteArray() << QByteArray("1  0123456789ABCDEF00000000  Operation OK\n")
        << "Operation OK";
    QTest::newRow("twice: at once") << 2
                                    << QByteArray("Stopped at once during batch 1; its result is "
                                                  "\"Stopped\".")
                                    << QByteArray() << "Stopped";
}

void TestBatchRun::stopsAfterTheCurrentBatch()
{
    QFETCH(int, stops);
    QFETCH(QByteArray, said);
    QFETCH(QByteArray, printed);
    QFETCH(QString, result);
    PrinterSim sim;
    // Long enough that only a stop at once can end the test in time.
    QVERIFY(sim.start({"--reply-delay", stops == 1 ? "1500" : "60000"}));
    const QString journal = path(stops == 1 ? "stop1.csv" : "stop2.csv");
    QProcess p;
    p.start(QStringLiteral(QUILBO_BATCH),
            {"--printer", QStringLiteral("127.0.0.1:%1").arg(sim.port()), "--format",
             path("label.fmt"), "--epc", "0123456789ABCDEF00000000", "--batches", "100",
             "--journal", journal});
    QVERIFY(sim.waitForBytes(1));
    p.terminate(); // what Ctrl-C does too, by the same handler
    // Said while the reply is still awaited, not when it comes.
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains("Ctrl-C again"), 1000);
    if (stops == 2)
        p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 1);
    err += p.readAllStandardError();
    QVERIFY2(err.contains(said), err.constData());
    const QByteArray out = p.readAllStandardOutput();
    QVERIFY2(printed.isEmpty() ? !out.contains("0123456789ABCDEF00000000") : out.contains(printed),
             out.constData());
    QVERIFY2(out.contains("Batches:      1\n"), out.constData());
    QCOMPARE(sim.received(), batch(1, "0123456789ABCDEF00000000") + Ask);
    const JournalRead read = ReadJournal(journal);
    QCOMPARE(read.events.size(), 2);
    QCOMPARE(read.events.at(1).kind, JournalKind::Result);
    QCOMPARE(read.events.at(1).result, result);
}

void TestBatchRun::twoRunnersOneRange_data()
{
    QTest::addColumn<QString>("journal");
    QTest::addColumn<QStringList>("guard"); // postgresql:// guards by default
    QTest::newRow("SQLite") << path("two.sqlite") << QStringList{"--no-repeat"};
    QTest::newRow("PostgreSQL") << pgJournal("two") << QStringList();
}

void TestBatchRun::twoRunnersOneRange()
{
    QFETCH(QString, journal);
    QFETCH(QStringList, guard);
    if (journal.isEmpty())
        QSKIP("no PostgreSQL server binaries: install the package postgresql");
    // Two printers, two runs at once asking for the same range: one gets it, the other stops
    // before its first batch whose range the journal holds.
    PrinterSim sims[2];
    QProcess runs[2];
    for (int i = 0; i < 2; ++i) {
        QVERIFY(sims[i].start({}));
        runs[i].start(QStringLiteral(QUILBO_BATCH),
                      QStringList{"--printer", QStringLiteral("127.0.0.1:%1").arg(sims[i].port()),
                                  "--format", path("label.fmt"), "--epc",
                                  "0123456789ABCDEF00000000", "--batches", "3", "--journal",
                                  journal} +
                          guard);
    }
    QList<int> statuses;
    QByteArray refusal;
    for (QProcess &run : runs) {
        QVERIFY(run.waitForFinished(60000));
        statuses << run.exitCode();
        if (run.exitCode() == 4)
            refusal = run.readAllStandardError();
    }
    std::sort(statuses.begin(), statuses.end());
    QCOMPARE(statuses, (QList<int>{0, 4}));
    QVERIFY2(refusal.contains("EPC 0123456789ABCDEF00000000 was sent already: batch 1") &&
                 refusal.contains(":quilbo-batch 127.0.0.1:"),
             refusal.constData());
    QByteArray printed = sims[0].received() + sims[1].received();
    for (const char *epc : {"00000000", "00000001", "00000002"})
        QCOMPARE(printed.count(QByteArray("0123456789ABCDEF") + epc), 1);
    // Repeating on purpose stays possible.
    QByteArray out;
    QCOMPARE(runBatch({"--printer", QStringLiteral("127.0.0.1:%1").arg(sims[0].port()), "--format",
                       path("label.fmt"), "--epc", "0123456789ABCDEF00000000", "--journal", journal,
                       "--repeat"},
                      &out),
             0);
}

void TestBatchRun::helpExampleRuns()
{
    QByteArray out;
    QCOMPARE(runBatch({"--help"}, &out), 0);
    for (const char *part :
         {"Needed: --printer or --serial, --format and --epc", "\n  0  ", "\n  1  ", "\n  2  ",
          "\n  3  ", "\n  4  ", "--no-repeat", "--export-csv"})
        QVERIFY2(out.contains(part), part);
    // The example as printed, against an emulator on a port of its own.
    const QRegularExpression example(
        QStringLiteral("\n  quilbo-batch --printer 127\\.0\\.0\\.1 (.*) \\\\\n +(.*)\n"));
    const QRegularExpressionMatch m = example.match(QString::fromLocal8Bit(out));
    QVERIFY2(m.hasMatch(), out.constData());
    PrinterSim sim;
    QVERIFY2(sim.start({}), qPrintable(sim.errorString()));
    const QStringList args =
        QStringList{"--printer", QStringLiteral("127.0.0.1:%1").arg(sim.port())} +
        (m.captured(1) + QLatin1Char(' ') + m.captured(2)).split(' ');
    QCOMPARE(runBatch(args, &out), 0);
    QVERIFY2(out.contains("Operation OK: 3\n"), out.constData());
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
