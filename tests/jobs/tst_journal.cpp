// The batch journal: lines that read back as written, batch numbers across runs, damaged files
// read as far as they go and appended to without loss, and the already-sent lookup.
#include <QtTest>

#include "jobs/Journal.h"

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
    QCOMPARE(w.appendBatch(b), 1);
    QVERIFY(w.appendResult(1, value));
    QVERIFY(w.appendFile(QStringLiteral("IP h:1"), value, 7, QStringLiteral("Sent")));
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

    // Appending keeps every byte that was there and starts a line of its own.
    JournalWriter w;
    QVERIFY2(w.open(path), qPrintable(w.error()));
    QCOMPARE(w.skippedOnOpen(), skipped);
    QVERIFY(w.appendResult(9, QStringLiteral("No response")));
    const QByteArray after = readAll(path);
    QVERIFY(after.startsWith(content.isEmpty() ? JournalHeader : content));
    r = ReadJournal(path);
    QCOMPARE(r.events.size(), events + 1);
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

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
