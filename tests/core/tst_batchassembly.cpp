// The batch send's text, worked out without any window: exact bytes, or why nothing goes.
#include <QtTest>

#include "common/TestFiles.h"
#include "core/BatchAssembly.h"
#include "core/PacketText.h"

Q_DECLARE_METATYPE(BatchStop)

namespace
{
const QString Tag = QStringLiteral("0123456789ABCDEF00000000");

// The split the main window makes of an editor text, with the HR field looked up afresh.
BatchPackets packetsOf(const QStringList &text, int hrField)
{
    const SplitPackets split = SplitFormatLines(text);
    BatchPackets p;
    p.formatLines = split.formatLines;
    p.batchLines = split.batchLines;
    p.epcField = FindEPCFieldNumber(p.formatLines);
    p.epcLine = FindBatchFieldLine(p.batchLines, p.epcField);
    p.hrField = hrField;
    p.hrEnabled = hrField > 0;
    p.hrChanged = p.hrEnabled;
    return p;
}

QStringList withBatch(const QStringList &batch)
{
    return DefaultFormatText().mid(0, 12) + batch;
}
} // namespace

class TestBatchAssembly : public QObject
{
    Q_OBJECT
private slots:
    void assemble_data();
    void assemble();
};

void TestBatchAssembly::assemble_data()
{
    QTest::addColumn<QStringList>("text");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("sendFormat");
    QTest::addColumn<int>("hrField");
    QTest::addColumn<BatchStop>("stop");
    QTest::addColumn<QByteArray>("expected"); // the bytes, or the layout or line at fault

    const QStringList def = DefaultFormatText();
    const QByteArray epc = "1,\"" + Tag.toLatin1() + "\"|\r\n}\r\n";
    QTest::newRow("default text, format first")
        << def << 1 << Tag << 2 << 96 << true << 0 << BatchStop::None
        << DefaultFormatBytes() + "{B,1,N,1|E,0,0,1,1,0,1|\r\n" + epc;
    QTest::newRow("quantity 0") << def << 0 << Tag << 2 << 96 << false << 0 << BatchStop::None
                                << "{B,1,N,0|E,0,0,1,1,0,1|\r\n" + epc;
    QTest::newRow("quantity 5") << def << 5 << Tag << 2 << 96 << false << 0 << BatchStop::None
                                << "{B,1,N,5|E,0,0,1,1,0,1|\r\n" + epc;
    QTest::newRow("two-digit quantity")
        << withBatch({"{B,1,N,12|", "1,\"x\"|", "}"}) << 3 << Tag << 2 << 96 << false << 0
        << BatchStop::None << "{B,1,N,3|\r\n" + epc;
    QTest::newRow("header without bar")
        << withBatch({"{B,1,N,1", "1,\"x\"|", "}"}) << 3 << Tag << 2 << 96 << false << 0
        << BatchStop::None << "{B,1,N,1\r\n" + epc;
    QTest::newRow("no batch packet") << def.mid(0, 11) << 5 << Tag << 2 << 96 << true << 0
                                     << BatchStop::NoBatchPacket << QByteArray();
    QTest::newRow("not a hex digit")
        << def << 1 << "0123456789ABCDEF0000000G" << 2 << 96 << true << 0 << BatchStop::DataError
        << QByteArray("FFFFFFFFFFFFFFFFFFFFFFFF");
    QTest::newRow("64-bit out of range") << def << 1 << "G123456789ABCDEF" << 2 << 64 << false << 0
                                         << BatchStop::DataError << QByteArray("FFFFFFFFFFFFFFFF");
    QTest::newRow("no RFID line") << withBatch({"{B,1,N,1|", "2,\"file data\"|", "}"}) << 2 << Tag
                                  << 2 << 96 << false << 0 << BatchStop::None
                                  << QByteArray("{B,1,N,2|\r\n2,\"file data\"|\r\n}\r\n");
    QTest::newRow("HR in SGTIN")
        << withBatch({"{B,1,N,1|", "1,\"x\"|", "2,\"y\"|", "}"}) << 1 << "1 2 3456789AB 0000000"
        << 1 << 64 << false << 2 << BatchStop::None
        << QByteArray("{B,1,N,1|\r\n1,\"568ACF1356000000\"|\r\n2,\"1 2 3456789AB 0000000\"|\r\n"
                      "}\r\n");
    QTest::newRow("HR line missing")
        << def << 1 << Tag << 2 << 96 << false << 2 << BatchStop::HRLineMissing << QByteArray();
    QTest::newRow("HR behind a bad field number")
        << withBatch({"{B,1,N,1|", "1,\"x\"|", "1a,\"y\"|", "3,\"z\"|", "}"}) << 1 << Tag << 2 << 96
        << false << 3 << BatchStop::BadFieldNumber << QByteArray("1a,\"y\"|");
    QStringList wide = def;
    wide[5] = QStringLiteral("C,45,80,0,50,13,13,O,L,0,0,\"RFID \u20ac\",1|");
    QTest::newRow("unsendable character") << wide << 1 << Tag << 2 << 96 << true << 0
                                          << BatchStop::UnsendableText << wide[5].toUtf8();
    QStringList zero =
        withBatch({"{B,1,N,1|", "1,\"x\"|",
                   QStringLiteral("2,\"a") + QChar(0) + QStringLiteral("b\"|"), "}"});
    QTest::newRow("zero byte") << zero << 1 << Tag << 2 << 96 << false << 0
                               << BatchStop::UnsendableText << zero[14].toLatin1();
    QTest::newRow("HR field is the EPC field")
        << withBatch({"{B,1,N,1|", "1,\"x\"|", "}"}) << 1 << "1 2 3456789AB 0000000" << 1 << 64
        << false << 1 << BatchStop::None
        << QByteArray("{B,1,N,1|\r\n1,\"1 2 3456789AB 0000000\"|\r\n}\r\n");
    QTest::newRow("bad field number right after the header")
        << withBatch({"{B,1,N,1|", "1a,\"x\"|", "2,\"y\"|", "}"}) << 1 << Tag << 2 << 96 << false
        << 2 << BatchStop::BadFieldNumber << QByteArray("1a,\"x\"|");
}

void TestBatchAssembly::assemble()
{
    QFETCH(QStringList, text);
    QFETCH(int, quantity);
    QFETCH(QString, entry);
    QFETCH(int, format);
    QFETCH(int, size);
    QFETCH(bool, sendFormat);
    QFETCH(int, hrField);
    QFETCH(BatchStop, stop);
    QFETCH(QByteArray, expected);

    const BatchAssembly batch =
        AssembleBatch(packetsOf(text, hrField), {quantity, entry, format, size, sendFormat});
    QCOMPARE(batch.stop, stop);
    switch (stop) {
    case BatchStop::None:
        QCOMPARE(batch.text, expected);
        break;
    case BatchStop::DataError:
        QCOMPARE(batch.layout.toLatin1(), expected);
        break;
    case BatchStop::BadFieldNumber:
    case BatchStop::UnsendableText:
        QCOMPARE(batch.line.toUtf8(), expected);
        break;
    default:
        break;
    }
    if (stop != BatchStop::None)
        QVERIFY(batch.text.isEmpty());
}

QTEST_GUILESS_MAIN(TestBatchAssembly)
#include "tst_batchassembly.moc"
