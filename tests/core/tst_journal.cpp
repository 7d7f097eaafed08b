// The batch journal: lines that read back as written, batch numbers across runs, damaged files
// read as far as they go and appended to without loss, and the already-sent lookup.
#include <QtTest>

#include "core/Journal.h"
#include "core/JournalModel.h"

namespace
{
const QString Time = QStringLiteral("2026-12-08T10:42:05+01:00");
const QByteArray Good = "batch,1," + Time.toLatin1() +
                        ",IP 127.0.0.1:9100,5,1,0123456789ABCDEF00000000,"
                        "0123456789ABCDEF00000004,urn:x,,0123456789ABCDEF00000005,,,\r\n";
const QByteArray Result = "result,1," + Time.toLatin1() + ",,,,,,,,,,,Operation OK\r\n";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

JournalEvent batchOf(const QString &first, int quantity)
{
    JournalEvent e;
    e.time = Time;
    e.link = QStringLiteral("COM1");
    e.quantity = quantity;
    e.firstEpc = first;
    return e;
}

// "b<n> <qty> <first 16 hex>" a batch, "r<n> <result>" a result, anything else a raw line.
JournalEvent eventOf(const QString &item)
{
    const QString rest = item.section(QLatin1Char(' '), 1);
    JournalEvent e = batchOf(item.section(QLatin1Char(' '), 2, 2), rest.section(' ', 0, 0).toInt());
    e.batch = item.section(QLatin1Char(' '), 0, 0).mid(1).toLongLong();
    if (item.startsWith(QLatin1Char('r'))) {
        e.kind = JournalKind::Result;
        e.result = rest;
    } else {
        e.lastEpc = JournalLastEpc(e.firstEpc, e.quantity);
    }
    return e;
}

QByteArray journalOf(const QStringList &items)
{
    QByteArray out = JournalHeader;
    for (const QString &item : items)
        out += QRegularExpression(QStringLiteral("^[br]\\d+ ")).match(item).hasMatch()
                   ? JournalLine(eventOf(item))
                   : item.toUtf8() + "\r\n";
    return out;
}

// The shown rows as "batch:result", and the totals.
QString shownOf(const JournalModel &m)
{
    QStringList rows;
    for (int r = 0; r < m.rowCount(); ++r)
        rows << m.text(r, JournalModel::ColBatch) + ':' + m.text(r, JournalModel::ColResult);
    QString out = rows.join(' ') + QStringLiteral(" |");
    const JournalTotals t = m.totals();
    for (qint64 n : {t.batches, t.labels, t.ok, t.failed, t.noResponse, t.others})
        out += ' ' + QString::number(n);
    return out;
}

bool loadInto(JournalModel *m, const QString &path)
{
    QSignalSpy done(m, &JournalModel::loadFinished);
    m->load(path);
    return done.wait(5000);
}
} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void batchNumbersGrowAcrossRuns();
    void damaged_data();
    void damaged();
    void unwritable_data();
    void unwritable();
    void sentLookup_data();
    void sentLookup();
    void describe();
    void timeText_data();
    void timeText();
    void model_data();
    void model();
    void modelAppends_data();
    void modelAppends();
    void modelCsv();

private:
    QTemporaryDir m_dir;
};

void TestJournal::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("written"); // as the field appears in the line
    QTest::newRow("plain") << "Operation OK" << QByteArray(",Operation OK\r\n");
    QTest::newRow("comma") << "a,b" << QByteArray(",\"a,b\"\r\n");
    QTest::newRow("quote") << "{J,\"E1\"}" << QByteArray(",\"{J,\"\"E1\"\"}\"\r\n");
    QTest::newRow("CR LF") << "one\r\ntwo" << QByteArray(",\"one\r\ntwo\"\r\n");
    QTest::newRow("lone LF") << "one\ntwo" << QByteArray(",\"one\ntwo\"\r\n");
    QTest::newRow("UTF-8") << QStringLiteral("Étiquette ✓ 標籤")
                           << QStringLiteral(",Étiquette ✓ 標籤\r\n").toUtf8();
    QTest::newRow("empty") << QString() << QByteArray(",\r\n");
}

void TestJournal::roundTrip()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, written);
    const QString path = m_dir.filePath(QStringLiteral("rt-%1.csv").arg(QTest::currentDataTag()));
    JournalWriter w;
    QVERIFY2(w.open(path), qPrintable(w.error()));
    JournalEvent b = batchOf(QStringLiteral("0123456789ABCDEF00000000"), 1);
    b.hrText = value;
    b.nextEntry = value;
    const qint64 syncs = JournalSyncCount();
    QCOMPARE(w.appendBatch(b), 1);
    QVERIFY(w.appendResult(1, value));
    QVERIFY(w.appendFile(QStringLiteral("IP h:1"), value, 7, QStringLiteral("Sent")));
    QCOMPARE(JournalSyncCount() - syncs, 3); // each line on disk before the call returns
    QVERIFY(readAll(path).startsWith(JournalHeader));
    QVERIFY(readAll(path).contains(written));

    const JournalRead r = ReadJournal(path);
    QCOMPARE(r.skipped, 0);
    QCOMPARE(r.events.size(), 3);
    QCOMPARE(r.events[0].hrText, value);
    QCOMPARE(r.events[0].nextEntry, value);
    QCOMPARE(r.events[1].kind, JournalKind::Result);
    QCOMPARE(r.events[1].result, value);
    QCOMPARE(r.events[2].kind, JournalKind::File);
    QCOMPARE(r.events[2].name, value);
    QCOMPARE(r.events[2].bytes, 7);
}

void TestJournal::batchNumbersGrowAcrossRuns()
{
    const QString path = m_dir.filePath(QStringLiteral("numbers.csv"));
    {
        JournalWriter w;
        QVERIFY(w.open(path));
        QCOMPARE(w.appendBatch(batchOf(QStringLiteral("0000000000000001"), 2)), 1);
        QCOMPARE(w.appendBatch(batchOf(QStringLiteral("0000000000000003"), 2)), 2);
        QVERIFY(w.appendFormat(QStringLiteral("COM2"), QStringLiteral("fmt"), 10,
                               QStringLiteral("Sent")));
    }
    JournalWriter w;
    QVERIFY(w.open(path));
    QCOMPARE(w.appendBatch(batchOf(QStringLiteral("0000000000000005"), 1)), 3);
    const JournalRead r = ReadJournal(path);
    QCOMPARE(r.events.size(), 4);
    QCOMPARE(r.events[1].lastEpc, QStringLiteral("0000000000000004"));
    QCOMPARE(readAll(path).count(JournalHeader), 1);
}

void TestJournal::damaged_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("events");
    QTest::addColumn<int>("skipped");
    const QByteArray h = JournalHeader;
    QTest::newRow("missing") << QByteArray("<none>") << 0 << 0;
    QTest::newRow("empty file") << QByteArray() << 0 << 0;
    QTest::newRow("header only") << h << 0 << 0;
    QTest::newRow("cut last line") << h + Good + Good.left(40) << 1 << 1;
    QTest::newRow("cut inside quotes") << h + Good + "result,1,t,,,,,,,,,,,\"{J,\"\"E" << 1 << 1;
    QTest::newRow("cut before CR LF") << h + Good + Result.chopped(2) << 1 << 1;
    QTest::newRow("garbage line") << h + Good + "\x01\xff garbage\r\n" + Result << 2 << 1;
    QTest::newRow("open quote") << h + "\"unclosed,\r\n" + Good + Result << 2 << 1;
    QTest::newRow("text after quote") << h + "result,1,\"a\"b,,\r\n" + Good << 1 << 1;
    QTest::newRow("wrong field count") << h + Good + "result,1,t,,,\r\n" + Result << 2 << 1;
    QTest::newRow("bad batch number")
        << h + QByteArray(Good).replace("batch,1,", "batch,x,") + Result << 1 << 1;
    QTest::newRow("bad hex") << h + QByteArray(Good).replace("0123456789ABCDEF00000004", "0123")
                             << 0 << 1;
    QTest::newRow("unknown kind") << h + "nothing,1,,,,,,,,,,,,\r\n" + Good << 1 << 1;
    QTest::newRow("no header, LF ends")
        << QByteArray(Good).replace("\r\n", "\n") + Result << 2 << 0;
    QTest::newRow("batch 0") << h + QByteArray(Good).replace("batch,1,", "batch,0,") << 0 << 1;
    QTest::newRow("EPCs of two sizes")
        << h + QByteArray(Good).replace("0123456789ABCDEF00000004", "0123456789ABCDEF") << 0 << 1;
    QTest::newRow("0-byte transfer")
        << h + JournalLine(JournalTransferEvent(JournalKind::File, "COM1", "x", 0, "Sent")) << 1
        << 0;
    QTest::newRow("batch before a long tail") << h + Good + Result.repeated(1200) << 1201 << 0;
}

void TestJournal::damaged()
{
    QFETCH(QByteArray, content);
    QFETCH(int, events);
    QFETCH(int, skipped);
    const QString path = m_dir.filePath(QStringLiteral("d-%1.csv").arg(QTest::currentDataTag()));
    if (content != "<none>")
        writeAll(path, content);
    else
        content.clear();
    JournalRead r = ReadJournal(path);
    QVERIFY(r.opened);
    QCOMPARE(r.events.size(), events);
    QCOMPARE(r.skipped, skipped);
    // The start-up resume finds the newest batch line from the end, however far back it is.
    JournalEvent newest;
    const auto batch = std::find_if(r.events.crbegin(), r.events.crend(),
                                    [](const auto &e) { return e.kind == JournalKind::Batch; });
    QCOMPARE(NewestJournalBatch(path, &newest), batch != r.events.crend());
    QCOMPARE(newest.batch, batch != r.events.crend() ? batch->batch : 0);

    // Appending keeps every byte that was there and starts a line of its own.
    JournalWriter w;
    QVERIFY2(w.open(path), qPrintable(w.error()));
    QCOMPARE(w.skippedOnOpen(), skipped);
    QVERIFY(w.appendResult(8, QStringLiteral("Sent")));
    QVERIFY(w.appendResult(9, QStringLiteral("No response")));
    const QByteArray after = readAll(path);
    QVERIFY(after.startsWith(content.isEmpty() ? JournalHeader : content));
    r = ReadJournal(path);
    QCOMPARE(r.events.size(), events + 2);
    QCOMPARE(r.skipped, skipped);
    QCOMPARE(r.events.last().result, QStringLiteral("No response"));
}

void TestJournal::unwritable_data()
{
    QTest::addColumn<QString>("path");
    writeAll(m_dir.filePath(QStringLiteral("plain")), "x");
    QTest::newRow("folder is a file") << m_dir.filePath(QStringLiteral("plain/j.csv"));
    QTest::newRow("path is a folder") << m_dir.path();
    QTest::newRow("no such folder") << m_dir.filePath(QStringLiteral("none/j.csv"));
}

void TestJournal::unwritable()
{
    QFETCH(QString, path);
    JournalWriter w;
    QVERIFY(!w.open(path));
    QVERIFY(!w.error().isEmpty());
    QCOMPARE(w.appendBatch(batchOf(QStringLiteral("0000000000000001"), 1)), 0);
    QVERIFY(!w.error().isEmpty());
}

void TestJournal::sentLookup_data()
{
    QTest::addColumn<QStringList>("batches"); // "first qty [result]", numbered from 1
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("batch"); // 0: not sent
    QTest::addColumn<QString>("result");
    const QString a = QStringLiteral("0123456789ABCDEF00000010 16 Operation OK");
    const QString b = QStringLiteral("0123456789ABCDEF00000018 4 Label encoding failed");
    QTest::newRow("inside") << QStringList{a} << "0123456789ABCDEF00000015" << 1 << "Operation OK";
    QTest::newRow("first") << QStringList{a} << "0123456789ABCDEF00000010" << 1 << "Operation OK";
    QTest::newRow("last") << QStringList{a} << "0123456789abcdef0000001f" << 1 << "Operation OK";
    QTest::newRow("below") << QStringList{a} << "0123456789ABCDEF0000000F" << 0 << "";
    QTest::newRow("above") << QStringList{a} << "0123456789ABCDEF00000020" << 0 << "";
    QTest::newRow("overlap, newest")
        << QStringList{a, b} << "0123456789ABCDEF00000019" << 2 << "Label encoding failed";
    QTest::newRow("overlap, older part")
        << QStringList{a, b} << "0123456789ABCDEF0000001C" << 1 << "Operation OK";
    QTest::newRow("older inside newer")
        << QStringList{b, a} << "0123456789ABCDEF00000019" << 2 << "Operation OK";
    const QString c = QStringLiteral("0123456789ABCDEF00000030 4 No response");
    QTest::newRow("gap between") << QStringList{a, c} << "0123456789ABCDEF00000025" << 0 << "";
    QTest::newRow("second of two")
        << QStringList{a, c} << "0123456789ABCDEF00000031" << 2 << "No response";
    QTest::newRow("no result yet")
        << QStringList{"0123456789ABCDEF00000000 1"} << "0123456789ABCDEF00000000" << 1 << "";
    QTest::newRow("64 bit") << QStringList{"00000000FFFFFFF0 32 Sent"} << "0000000100000005" << 1
                            << "Sent";
    QTest::newRow("64 bit not 96")
        << QStringList{"00000000FFFFFFF0 32 Sent"} << "000000000000000100000005" << 0 << "";
    QTest::newRow("96 bit carry") << QStringList{"0000000000000000FFFFFFFE 4 Sent"}
                                  << "000000000000000100000001" << 1 << "Sent";
    QTest::newRow("wraps past the top") << QStringList{"FFFFFFFFFFFFFFFFFFFFFFFF 3 Sent"}
                                        << "000000000000000000000001" << 1 << "Sent";
    QTest::newRow("after the wrap")
        << QStringList{"FFFFFFFFFFFFFFFFFFFFFFFF 3 Sent"} << "000000000000000000000002" << 0 << "";
}

void TestJournal::sentLookup()
{
    QFETCH(QStringList, batches);
    QFETCH(QString, value);
    QFETCH(int, batch);
    QFETCH(QString, result);
    const QString path = m_dir.filePath(QStringLiteral("s-%1.csv").arg(QTest::currentDataTag()));
    SentIndex live;
    {
        JournalWriter w;
        QVERIFY(w.open(path));
        for (const QString &batch : batches) {
            const QStringList p = batch.split(QLatin1Char(' '));
            const JournalEvent e = batchOf(p[0], p[1].toInt());
            const qint64 n = w.appendBatch(e);
            QVERIFY(n > 0);
            live.addBatch(n, e.time, p[0], JournalLastEpc(p[0], e.quantity));
            if (p.size() > 2) {
                const QString text = p.mid(2).join(QLatin1Char(' '));
                QVERIFY(w.appendResult(n, text));
                live.setResult(n, text);
            }
        }
    }
    SentIndex loaded;
    int skipped = -1;
    QVERIFY(loaded.load(path, &skipped));
    QCOMPARE(skipped, 0);
    for (const SentIndex *index : {&loaded, &live}) {
        SentIndex::Hit hit;
        QCOMPARE(index->lookup(value, &hit), batch > 0);
        if (batch > 0) {
            QCOMPARE(hit.batch, batch);
            QCOMPARE(hit.result, result);
            QCOMPARE(hit.time, Time);
        }
    }
}

void TestJournal::describe()
{
    SentIndex::Hit hit;
    hit.time = QStringLiteral("2026-12-08T10:42:05-05:00");
    hit.result = QStringLiteral("Operation OK");
    QCOMPARE(SentIndex::describe(hit), QStringLiteral("sent 08 Dec 10:42, Operation OK"));
}

void TestJournal::timeText_data()
{
    QTest::addColumn<int>("offsetSeconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("east") << 3600 << "2026-12-08T10:42:05+01:00";
    QTest::newRow("west, half hour") << -(9 * 3600 + 1800) << "2026-12-08T10:42:05-09:30";
    QTest::newRow("UTC") << 0 << "2026-12-08T10:42:05+00:00";
}

void TestJournal::timeText()
{
    QFETCH(int, offsetSeconds);
    QFETCH(QString, text);
    const QDateTime t(QDate(2026, 12, 8), QTime(10, 42, 5), Qt::OffsetFromUTC, offsetSeconds);
    QCOMPARE(JournalTimeText(t), text);
}

void TestJournal::model_data()
{
    QTest::addColumn<QStringList>("journal");
    QTest::addColumn<int>("filter"); // JournalFilter
    QTest::addColumn<int>("column"); // sorted by, descending; -1 ascending by batch
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("skipped");
    const QStringList mixed{"b1 5 0000000000000010", "r1 Operation OK",
                            "b2 1 0000000000000001", "r2 No response",
                            "b3 2 0000000000000100", "r3 Label encoding failed{J,\"E1\"}",
                            "b4 5 0000000000000020", "r4 Could not connect",
                            "b5 1 0000000000000002", "r5 Sent",
                            "b6 5 0000000000000003"};
    const QString all = "6: 5:Sent 4:Could not connect 3:Label encoding failed{J,\"E1\"} "
                        "2:No response 1:Operation OK | 6 19 1 1 1 3";
    QTest::newRow("newest first") << mixed << 0 << 0 << all << 0;
    QTest::newRow("newest result wins")
        << QStringList{"b1 2 0000000000000001", "r1 No response", "b2 1 0000000000000005",
                       "r1 Operation OK", "r9 Sent"}
        << 0 << 0 << "2: 1:Operation OK | 2 3 1 0 0 1" << 0;
    QTest::newRow("a number used twice")
        << QStringList{"b1 1 0000000000000001", "b1 2 0000000000000005", "r1 Sent"} << 0 << 0
        << "1:Sent 1: | 2 3 0 0 0 2" << 0;
    QTest::newRow("format and file lines are not rows")
        << QStringList{"format,,t,COM1,,,,,,,,f,10,Sent", "b1 1 0000000000000001",
                       "file,,t,COM1,,,,,,,,x.prn,99,Sent"}
        << 0 << 0 << "1: | 1 1 0 0 0 1" << 0;
    QTest::newRow("damaged, read on")
        << QStringList{"b1 1 0000000000000001", "\x01 garbage",          "r1 Operation OK",
                       "result,1,,,",           "b2 1 0000000000000002", "batch,3,t,COM1,1,0,0000"}
        << 0 << 0 << "2: 1:Operation OK | 2 2 1 0 0 1" << 3;
    QTest::newRow("only OK") << mixed << int(JournalFilter::OperationOk) << 0
                             << "1:Operation OK | 1 5 1 0 0 0" << 0;
    QTest::newRow("only failed") << mixed << int(JournalFilter::EncodingFailed) << 0
                                 << "3:Label encoding failed{J,\"E1\"} | 1 2 0 1 0 0" << 0;
    QTest::newRow("only sent") << mixed << int(JournalFilter::Sent) << 0 << "5:Sent | 1 1 0 0 0 1"
                               << 0;
    QTest::newRow("no response: also when the link went first")
        << QStringList{"b1 1 0000000000000001",
                       "r1 No response before the link failed",
                       "b2 2 0000000000000002",
                       "r2 Connection closed after 42 bytes, before the reply.",
                       "b3 1 0000000000000003",
                       "r3 Stopped",
                       "b4 1 0000000000000004",
                       "r4 No response"}
        << int(JournalFilter::NoResponse) << 0
        << "4:No response 2:Connection closed after 42 bytes, before the reply. "
           "1:No response before the link failed | 3 4 0 0 3 0"
        << 0;
    QTest::newRow("other: link failures, no result")
        << mixed << int(JournalFilter::Other) << 0 << "6: 4:Could not connect | 2 10 0 0 0 2" << 0;
    QTest::newRow("by first EPC, down")
        << mixed << 0 << int(JournalModel::ColFirstEpc)
        << "3:Label encoding failed{J,\"E1\"} 4:Could not connect 1:Operation OK 6: 5:Sent "
           "2:No response | 6 19 1 1 1 3"
        << 0;
    QTest::newRow("by quantity, ties newest first")
        << mixed << 0 << int(JournalModel::ColQuantity)
        << "6: 4:Could not connect 1:Operation OK 3:Label encoding failed{J,\"E1\"} 5:Sent "
           "2:No response | 6 19 1 1 1 3"
        << 0;
    QTest::newRow("by result, none last")
        << mixed << int(JournalFilter::All) << int(JournalModel::ColResult)
        << "5:Sent 1:Operation OK 2:No response 3:Label encoding failed{J,\"E1\"} "
           "4:Could not connect 6: | 6 19 1 1 1 3"
        << 0;
    auto at = [](int n, const char *time) {
        return QStringLiteral("batch,%1,%2,COM1,1,0,0000000000000001,0000000000000001,,,,,,")
            .arg(n)
            .arg(time);
    };
    QTest::newRow("by time, across offsets")
        << QStringList{at(1, "2026-10-25T02:30:00+02:00"), at(2, "2026-10-25T02:10:00+01:00"),
                       at(3, "2026-10-25T01:50:00+02:00"), at(4, "later")}
        << 0 << int(JournalModel::ColTime) << "2: 1: 3: 4: | 4 4 0 0 0 4" << 0;
    QTest::newRow("oldest first") << mixed << 0 << -1
                                  << "1:Operation OK 2:No response "
                                     "3:Label encoding failed{J,\"E1\"} 4:Could not connect "
                                     "5:Sent 6: | 6 19 1 1 1 3"
                                  << 0;
}

void TestJournal::model()
{
    QFETCH(QStringList, journal);
    QFETCH(int, filter);
    QFETCH(int, column);
    QFETCH(QString, shown);
    QFETCH(int, skipped);
    const QString path = m_dir.filePath(QStringLiteral("m-%1.csv").arg(QTest::currentDataTag()));
    writeAll(path, journalOf(journal));
    JournalModel m;
    m.setFilter(JournalFilter(filter));
    if (column >= 0)
        m.sort(column, Qt::DescendingOrder);
    QVERIFY(loadInto(&m, path));
    if (column < 0)
        m.sort(JournalModel::ColBatch, Qt::AscendingOrder);
    QCOMPARE(shownOf(m), shown);
    QCOMPARE(m.skipped(), skipped);
    QVERIFY(m.error().isEmpty());
}

void TestJournal::modelAppends_data()
{
    QTest::addColumn<bool>("duringLoad");
    QTest::addColumn<QStringList>("appended"); // b4 is in the file already
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("shown");
    const QStringList later{"b4 1 0000000000000004", "r4 Operation OK", "b5 2 0000000000000005",
                            "r5 No response", "r2 Operation OK"};
    QTest::newRow("during") << true << later << 0
                            << "5:No response 4:Operation OK 2:Operation OK 1: | 4 5 2 0 1 1";
    QTest::newRow("after") << false << later << 0
                           << "5:No response 4:Operation OK 2:Operation OK 1: | 4 5 2 0 1 1";
    QTest::newRow("after, a result leaves the filter")
        << false << QStringList{"r2 No response", "b5 1 0000000000000005", "r5 Operation OK"}
        << int(JournalFilter::OperationOk) << "5:Operation OK 4:Operation OK | 2 2 2 0 0 0";
    QTest::newRow("during, a result joins the filter")
        << true << QStringList{"r1 Operation OK"} << int(JournalFilter::OperationOk)
        << "4:Operation OK 2:Operation OK 1:Operation OK | 3 3 3 0 0 0";
}

void TestJournal::modelAppends()
{
    QFETCH(bool, duringLoad);
    QFETCH(QStringList, appended);
    QFETCH(int, filter);
    QFETCH(QString, shown);
    const QString path = m_dir.filePath(QStringLiteral("a-%1.csv").arg(QTest::currentDataTag()));
    writeAll(path, journalOf({"b1 1 0000000000000001", "b2 1 0000000000000002", "r2 Operation OK",
                              "b4 1 0000000000000004", "r4 Operation OK"}));
    JournalModel m;
    m.setFilter(JournalFilter(filter));
    QSignalSpy done(&m, &JournalModel::loadFinished);
    m.load(path);
    if (!duringLoad)
        QVERIFY(done.wait(5000));
    QVERIFY(m.isLoading() == duringLoad);
    for (const QString &item : appended)
        m.append(eventOf(item));
    if (duringLoad)
        QVERIFY(done.wait(5000));
    QCOMPARE(shownOf(m), shown);
}

void TestJournal::modelCsv()
{
    const QString path = m_dir.filePath(QStringLiteral("export.csv"));
    QStringList journal{"b1 2 00000000000000FF", "r1 Operation OK", "b2 1 0123456789ABCDEF00000000",
                        "r2 Label encoding failed{J,\"E1\",\"\",\"\",\"\"}"};
    JournalEvent b3 = eventOf("b3 1 0000000000000001");
    b3.link = QStringLiteral("IP hôte,1:9100");
    b3.tagUri = QStringLiteral("urn:x:1");
    writeAll(path, journalOf(journal) + JournalLine(b3));
    JournalModel m;
    QVERIFY(loadInto(&m, path));
    QBuffer out;
    QVERIFY(out.open(QIODevice::WriteOnly));
    QVERIFY(m.writeCsv(&out));
    QCOMPARE(out.data(),
             QStringLiteral("Batch,Time,Link,Quantity,First EPC,Last EPC,Tag URI,Result\r\n"
                            "3,2026-12-08T10:42:05+01:00,\"IP hôte,1:9100\",1,0000000000000001,"
                            "0000000000000001,urn:x:1,\r\n"
                            "2,2026-12-08T10:42:05+01:00,COM1,1,0123456789ABCDEF00000000,"
                            "0123456789ABCDEF00000000,,"
                            "\"Label encoding failed{J,\"\"E1\"\",\"\"\"\",\"\"\"\",\"\"\"\"}\"\r\n"
                            "1,2026-12-08T10:42:05+01:00,COM1,2,00000000000000FF,"
                            "0000000000000100,,Operation OK\r\n")
                 .toUtf8());
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
