#include <QtTest>

#include "core/PacketText.h"
#include "core/RecentFileList.h"

class TestPacketText : public QObject
{
    Q_OBJECT

private slots:
    void split_data();
    void split();
    void defaultTextFields();
    void epcField_data();
    void epcField();
    void batchFieldLine_data();
    void batchFieldLine();
    void batchQuantity_data();
    void batchQuantity();
    void dataLine();
    void printerText_data();
    void printerText();
    void recentFiles_data();
    void recentFiles();
};

void TestPacketText::split_data()
{
    QTest::addColumn<QStringList>("editor");
    QTest::addColumn<QStringList>("format");
    QTest::addColumn<QStringList>("batch");

    const QStringList def = DefaultFormatLines();
    QTest::newRow("default text") << def << def.mid(0, 11) << def.mid(12, 3);
    QTest::newRow("one space before B") << QStringList{"{F,1|", "}", "{ B,1|", "}"}
                                        << QStringList{"{F,1|", "}"} << QStringList{"{ B,1|", "}"};
    QTest::newRow("two spaces before B")
        << QStringList{"{  B,1|", "}"} << QStringList{"{  B,1|", "}"} << QStringList{};
    QTest::newRow("blank after closing brace")
        << QStringList{"{F,1|", "X,1,24|", "}  ", "{B,1|", "1,\"x\"|", "} "}
        << QStringList{"{F,1|", "X,1,24|", "}"} << QStringList{"{B,1|", "1,\"x\"|", "}"};
    QTest::newRow("indented and CR LF lines")
        << QStringList{"  {F,1|\r", "\tX,1,24|\r", "}\r", "\r", " {B,1|\r", "}\r"}
        << QStringList{"{F,1|", "X,1,24|", "}"} << QStringList{"{B,1|", "}"};
    QTest::newRow("empty lines dropped, outside text ignored")
        << QStringList{"note", "{F,1|", "", "   ", "X,2|", "}", "stray", "{B,1|", "", "}", "end"}
        << QStringList{"{F,1|", "X,2|", "}"} << QStringList{"{B,1|", "}"};
    QTest::newRow("single-line packets")
        << QStringList{"{F,1|}", "X,9|", "{B|}"} << QStringList{"{F,1|}"} << QStringList{"{B|}"};
    QTest::newRow("closing brace ends a data line")
        << QStringList{"{F,1|", "R,61|}", "X,9|"} << QStringList{"{F,1|", "R,61|}"}
        << QStringList{};
    QTest::newRow("unclosed packet runs to the end")
        << QStringList{"{B,1|", "1,\"a\"|", "{F,1|"} << QStringList{}
        << QStringList{"{B,1|", "1,\"a\"|", "{F,1|"};
    QTest::newRow("two batch packets")
        << QStringList{"{B,1|", "}", "{F|", "}", "{B,2|", "}"} << QStringList{"{F|", "}"}
        << QStringList{"{B,1|", "}", "{B,2|", "}"};
    QTest::newRow("bare { B") << QStringList{"{ B", "}"} << QStringList{}
                              << QStringList{"{ B", "}"};
    QTest::newRow("brace inside a data line")
        << QStringList{"{B|", "1,\"a}b\"|", "}"} << QStringList{}
        << QStringList{"{B|", "1,\"a}b\"|", "}"};
}

void TestPacketText::split()
{
    QFETCH(QStringList, editor);
    QFETCH(QStringList, format);
    QFETCH(QStringList, batch);
    const SplitPackets split = SplitFormatLines(editor);
    QCOMPARE(split.formatLines, format);
    QCOMPARE(split.batchLines, batch);
}

void TestPacketText::defaultTextFields()
{
    const QStringList def = DefaultFormatLines();
    QCOMPARE(def.size(), 15);
    QVERIFY(def.at(11).isEmpty());
    const SplitPackets split = SplitFormatLines(def);
    QCOMPARE(split.formatLines.size(), 11);
    QCOMPARE(split.batchLines.size(), 3);
    QCOMPARE(FindEPCFieldNumber(split.formatLines), 1);
    QCOMPARE(FindBatchFieldLine(split.batchLines, 1), 1);
    QCOMPARE(FindBatchFieldLine(split.batchLines, 2), 0);
    QCOMPARE(split.batchLines.at(1), QStringLiteral("1,\"1234567890ABCDEF00000000\"|"));
}

void TestPacketText::epcField_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("field");

    QTest::newRow("later X line wins")
        << QStringList{"{F,1|", "X,1|", "X,3|", "}", "{F,2|", "X,7|", "}"} << 7;
    QTest::newRow("two digits") << QStringList{"{F,1|", "X,12,24|", "}"} << 12;
    QTest::newRow("space after comma") << QStringList{"{F,1|", "X, 1,24|", "}"} << 0;
    QTest::newRow("later X without digits resets") << QStringList{"{F,1|", "X,5|", "X,|", "}"} << 0;
    QTest::newRow("X line closing the packet") << QStringList{"{F,1|", "X,6|}", "X,8|"} << 6;
    QTest::newRow("not a label format") << QStringList{"{C,1|", "X,5|", "}"} << 0;
    QTest::newRow("header too short") << QStringList{"{F|", "X,5|", "}"} << 0;
    QTest::newRow("after the packet") << QStringList{"{F,1|", "}", "X,5|"} << 0;
    QTest::newRow("header alone") << QStringList{"{F,1,A|"} << 0;
    QTest::newRow("too large sticks at the top")
        << QStringList{"{F,1|", "X,99999999999|", "}"} << INT_MAX;
}

void TestPacketText::epcField()
{
    QFETCH(QStringList, lines);
    QFETCH(int, field);
    QCOMPARE(FindEPCFieldNumber(lines), field);
}

void TestPacketText::batchFieldLine_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("field");
    QTest::addColumn<int>("line"); // negative: the search stopped at that line, no field's line

    const QString hdr = QStringLiteral("{B,1,N,1|");
    QTest::newRow("header is never a data line") << QStringList{"1,\"a\"|", "2,\"b\"|"} << 1 << 0;
    QTest::newRow("12 is not field 1") << QStringList{hdr, "12,\"a\"|", "1,\"b\"|"} << 1 << 2;
    QTest::newRow("12 is field 12") << QStringList{hdr, "12,\"a\"|", "1,\"b\"|"} << 12 << 1;
    QTest::newRow("first match wins") << QStringList{hdr, "2,\"a\"|", "2,\"b\"|"} << 2 << 1;
    QTest::newRow("1a stops the search") << QStringList{hdr, "1a,\"x\"|", "1,\"y\"|"} << 1 << -1;
    QTest::newRow("1a after the match") << QStringList{hdr, "1,\"y\"|", "1a,\"x\"|"} << 1 << 1;
    QTest::newRow("shorter than 4") << QStringList{hdr, "1,|", "1,\"y\"|"} << 1 << 2;
    QTest::newRow("no comma") << QStringList{hdr, "1 \"x\"|", "1,\"y\"|"} << 1 << 2;
    QTest::newRow("leading zero") << QStringList{hdr, "01,\"x\"|"} << 1 << 1;
    QTest::newRow("too large stops the search")
        << QStringList{hdr, "99999999999,\"x\"|", "5,\"y\"|"} << 5 << -1;
    QTest::newRow("field 0") << QStringList{hdr, "0,\"x\"|"} << 0 << 1;
    QTest::newRow("empty") << QStringList{} << 1 << 0;
    QTest::newRow("exactly 4") << QStringList{hdr, "1,x|"} << 1 << 1;
}

void TestPacketText::batchFieldLine()
{
    QFETCH(QStringList, lines);
    QFETCH(int, field);
    QFETCH(int, line);
    int bad = -1;
    QCOMPARE(FindBatchFieldLine(lines, field, &bad), qMax(line, 0));
    QCOMPARE(bad, qMax(-line, 0));
}

void TestPacketText::batchQuantity_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QString>("result");

    QTest::newRow("default, 5") << "{B,1,N,1|E,0,0,1,1,0,1|" << 5 << "{B,1,N,5|E,0,0,1,1,0,1|";
    QTest::newRow("default, 0") << "{B,1,N,1|E,0,0,1,1,0,1|" << 0 << "{B,1,N,0|E,0,0,1,1,0,1|";
    QTest::newRow("two digits to one") << "{B,1,N,12|" << 3 << "{B,1,N,3|";
    QTest::newRow("no bar") << "{B,1,N,1" << 5 << "{B,1,N,1";
    QTest::newRow("no comma before the bar") << "{B|E,0" << 5 << "5|E,0";
    QTest::newRow("bar first") << "|,1" << 5 << "5|,1";
    QTest::newRow("empty value") << "{B,1,N,|" << 7 << "{B,1,N,7|";
}

void TestPacketText::batchQuantity()
{
    QFETCH(QString, header);
    QFETCH(int, quantity);
    QFETCH(QString, result);
    QCOMPARE(SetBatchQuantity(header, quantity), result);
}

void TestPacketText::dataLine()
{
    QCOMPARE(BatchDataLine(1, QStringLiteral("0123456789ABCDEF00000000")),
             QStringLiteral("1,\"0123456789ABCDEF00000000\"|"));
    QCOMPARE(BatchDataLine(2, QStringLiteral("1 2 3456789AB 0000000")),
             QStringLiteral("2,\"1 2 3456789AB 0000000\"|"));
}

void TestPacketText::printerText_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("every line ended") << QStringList{"{B,1|", "}"} << QByteArray("{B,1|\r\n}\r\n");
    QTest::newRow("empty line kept") << QStringList{""} << QByteArray("\r\n");
    QTest::newRow("8-bit text") << QStringList{QString::fromUtf8("\xc3\xa9")}
                                << QByteArray("\xe9\r\n");
}

void TestPacketText::printerText()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);
    QCOMPARE(PrinterText(lines), bytes);
}

void TestPacketText::recentFiles_data()
{
    // Steps: "+path" adds a path, "@k" reopens slot k.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");

    const QStringList five{"+e", "+d", "+c", "+b", "+a"};
    QTest::newRow("six adds keep the last five")
        << QStringList{"+1", "+2", "+3", "+4", "+5", "+6"} << QStringList{"6", "5", "4", "3", "2"};
    QTest::newRow("two adds leave free slots")
        << QStringList{"+a", "+b"} << QStringList{"b", "a", "", "", ""};
    QTest::newRow("add from slot 3")
        << five + QStringList{"+c"} << QStringList{"c", "a", "b", "d", "e"};
    QTest::newRow("add slot 1 again")
        << five + QStringList{"+a"} << QStringList{"a", "b", "c", "d", "e"};
    QTest::newRow("add from slot 2 of two")
        << QStringList{"+a", "+b", "+a"} << QStringList{"a", "b", "", "", ""};
    QTest::newRow("case differs") << QStringList{"+/x/A.fmt", "+/x/a.fmt"}
                                  << QStringList{"/x/a.fmt", "/x/A.fmt", "", "", ""};
    // Seeding adds keys 5 to 1; a path under two keys lands once, at the lower key.
    QTest::newRow("seed with a duplicate")
        << QStringList{"+E", "+D", "+X", "+B", "+X"} << QStringList{"X", "B", "D", "E", ""};
    QTest::newRow("reopen slot 3")
        << five + QStringList{"@3"} << QStringList{"c", "a", "b", "d", "e"};
    QTest::newRow("reopen slot 5")
        << five + QStringList{"@5"} << QStringList{"e", "a", "b", "c", "d"};
    QTest::newRow("reopen slot 1")
        << five + QStringList{"@1"} << QStringList{"a", "b", "c", "d", "e"};
    QTest::newRow("reopen out of range")
        << five + QStringList{"@0", "@6"} << QStringList{"a", "b", "c", "d", "e"};
}

void TestPacketText::recentFiles()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    RecentFileList list;
    for (const QString &step : steps) {
        if (step.startsWith(QLatin1Char('+')))
            list.add(step.mid(1));
        else
            list.reopen(step.mid(1).toInt());
    }
    QCOMPARE(list.entries(), expected);
    for (int k = 1; k <= RecentFileList::Slots; ++k)
        QCOMPARE(list.at(k), expected.at(k - 1));
    QVERIFY(list.at(0).isEmpty());
    QVERIFY(list.at(6).isEmpty());
}

QTEST_GUILESS_MAIN(TestPacketText)
#include "tst_packettext.moc"
