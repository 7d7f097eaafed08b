// The printer's replies as lines: breaks, cuts and bounds of the receive buffer.
#include <QtTest>

#include "link/ReplyBuffer.h"

namespace
{
const QByteArray Take = "<take>";
}

class TestReplyBuffer : public QObject
{
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void floodWithoutBreaks();
    void floodOfLines();
    void displayText();
};

// steps: byte chunks to append, or Take; expected: for each Take, "line#linesLeft".
void TestReplyBuffer::lines_data()
{
    QTest::addColumn<QByteArrayList>("steps");
    QTest::addColumn<QByteArrayList>("expected");

    QTest::newRow("crlf") << QByteArrayList{"{J,\"\",\"\",\"\",\"\"}\r\nsecond\r\n", Take, Take,
                                            Take}
                          << QByteArrayList{"{J,\"\",\"\",\"\",\"\"}#1", "second#0", "#-1"};
    QTest::newRow("lone lf") << QByteArrayList{"a\nb\n", Take, Take}
                             << QByteArrayList{"a#1", "b#0"};
    QTest::newRow("nothing yet") << QByteArrayList{Take, "", Take} << QByteArrayList{"#-1", "#-1"};
    QTest::newRow("partial line is a line")
        << QByteArrayList{"{J,\"E", Take, "1\"}\r\n", Take} << QByteArrayList{"{J,\"E#0", "1\"}#0"};
    QTest::newRow("pieces join in order")
        << QByteArrayList{"{J,", "\"\",\"\"", ",\"\",\"\"}", "\r", "\n", Take}
        << QByteArrayList{"{J,\"\",\"\",\"\",\"\"}#0"};
    QTest::newRow("break split across reads")
        << QByteArrayList{"abc\r", "\ndef", Take, Take} << QByteArrayList{"abc#1", "def#0"};
    // The CR was there when the line was taken; its LF is not a new empty line.
    QTest::newRow("line taken between cr and lf")
        << QByteArrayList{"abc\r", Take, "\nxyz", Take, Take}
        << QByteArrayList{"abc#0", "xyz#0", "#-1"};
    QTest::newRow("empty line") << QByteArrayList{"\r\nx", Take, Take}
                                << QByteArrayList{"#1", "x#0"};
    QTest::newRow("lone cr stays in the line")
        << QByteArrayList{"a\rb\r\n", Take} << QByteArrayList{"a\rb#0"};
    QTest::newRow("zero bytes kept")
        << QByteArrayList{QByteArray("{J,\"\0\",\"\"}\r\nnext", 16), Take, Take}
        << QByteArrayList{QByteArray("{J,\"\0\",\"\"}#1", 12), "next#0"};
    QTest::newRow("long line cut for the caller")
        << QByteArrayList{QByteArray(1000, 'x') + "\r\nok\r\n", Take, Take}
        << QByteArrayList{QByteArray(127, 'x') + "#1", "ok#0"};
    QTest::newRow("127 is not cut") << QByteArrayList{QByteArray(127, 'y'), Take}
                                    << QByteArrayList{QByteArray(127, 'y') + "#0"};
    QTest::newRow("1024 breaks keep the unfinished line's start")
        << QByteArrayList{"{J,", QByteArray(ReplyBuffer::MaxLines, '\n'), Take}
        << QByteArrayList{"{J,#1023"};
}

void TestReplyBuffer::lines()
{
    QFETCH(QByteArrayList, steps);
    QFETCH(QByteArrayList, expected);
    ReplyBuffer buffer;
    QByteArrayList got;
    for (const QByteArray &step : steps) {
        if (step == Take) {
            QByteArray line = "stale";
            const int left = buffer.takeLine(line);
            got << line + '#' + QByteArray::number(left);
        } else {
            buffer.append(step);
        }
    }
    QCOMPARE(got, expected);
}

void TestReplyBuffer::floodWithoutBreaks()
{
    const QByteArray piece(65536, 'z');
    ReplyBuffer buffer;
    buffer.append("{J,\"E\"}");
    for (int i = 0; i < 160; ++i) // 10 MiB
        buffer.append(piece);
    QCOMPARE(buffer.lineCount(), 1);
    QCOMPARE(buffer.line(0).size(), ReplyBuffer::MaxLineLength);
    QVERIFY(buffer.line(0).startsWith("{J,\"E\"}zzz"));
    QCOMPARE(buffer.droppedBytes(), 160 * 65536 + 7 - ReplyBuffer::MaxLineLength);

    // The break still ends the line, so the next reply reads cleanly.
    buffer.append("\r\n{J,\"\",\"\",\"\",\"\"}\r\n");
    QByteArray line;
    QCOMPARE(buffer.takeLine(line), 1);
    QCOMPARE(line.size(), ReplyBuffer::MaxReplyLength);
    QCOMPARE(buffer.takeLine(line), 0);
    QCOMPARE(line, QByteArray("{J,\"\",\"\",\"\",\"\"}"));
}

void TestReplyBuffer::floodOfLines()
{
    ReplyBuffer buffer;
    int fell = 0;
    for (int i = 0; i < 3000; ++i)
        fell += buffer.append("line " + QByteArray::number(i) + "\r\n");
    QCOMPARE(buffer.finishedLines(), ReplyBuffer::MaxLines);
    QCOMPARE(fell, 3000 - ReplyBuffer::MaxLines);
    QByteArray line;
    buffer.takeLine(line);
    QCOMPARE(line, "line " + QByteArray::number(3000 - ReplyBuffer::MaxLines));

    // The same in one read.
    buffer.clear();
    buffer.append("old\r\npart");
    QByteArray chunk;
    for (int i = 0; i < 3000; ++i)
        chunk += "line " + QByteArray::number(i) + "\r\n";
    QCOMPARE(buffer.append(chunk), 1 + 3000 - ReplyBuffer::MaxLines);
    QCOMPARE(buffer.lineCount(), ReplyBuffer::MaxLines);
    QCOMPARE(buffer.line(0), "line " + QByteArray::number(3000 - ReplyBuffer::MaxLines));
    QCOMPARE(buffer.line(ReplyBuffer::MaxLines - 1), QByteArray("line 2999"));

    // Nothing but breaks: bounded too.
    buffer.clear();
    buffer.append(QByteArray(10 * 1024 * 1024, '\n'));
    QCOMPARE(buffer.lineCount(), ReplyBuffer::MaxLines);
}

void TestReplyBuffer::displayText()
{
    QCOMPARE(ReplyBuffer::displayText(QByteArray("a\0b\tc\x7f", 6)),
             QStringLiteral("a\uFFFDb\tc\uFFFD"));
    QCOMPARE(ReplyBuffer::displayText("\xe9"), QStringLiteral("\u00e9"));
}

QTEST_GUILESS_MAIN(TestReplyBuffer)
#include "tst_replybuffer.moc"
