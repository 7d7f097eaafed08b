// Cost of the per-batch tag data work on 96-bit values and of splitting the default text.
#include <QtTest>

#include "core/Gs1Epc.h"
#include "core/PacketText.h"
#include "core/TagData.h"

class BenchTagData : public QObject
{
    Q_OBJECT

private slots:
    void baselineQtHex96();
    void pack96();
    void unpack96();
    void incrementFullCarry();
    void limitCheck96();
    void splitDefaultText();
    void readEpc96_data();
    void readEpc96();
    void epcFromTagUri96_data();
    void epcFromTagUri96();
};

// The baseline: Qt's own hex round trip of the same 24 digits, the least any conversion of a
// 96-bit value between text and bits costs.
void BenchTagData::baselineQtHex96()
{
    const QString hex = QStringLiteral("12648D159E26AF0000000000");
    QString out;
    QBENCHMARK
    {
        out = QString::fromLatin1(QByteArray::fromHex(hex.toLatin1()).toHex().toUpper());
    }
    QCOMPARE(out, hex);
}

void BenchTagData::pack96()
{
    const QString text = QStringLiteral("12 3 123456789ABC 0000000000");
    QString hex;
    QBENCHMARK
    {
        hex = PackTagFields(text, Sgtin96Layout);
    }
    QCOMPARE(hex, QStringLiteral("12648D159E26AF0000000000"));
}

void BenchTagData::unpack96()
{
    const QString hex = QStringLiteral("0123456789ABCDEF00000000");
    QString text;
    QBENCHMARK
    {
        text = UnpackTagFields(hex, Sgtin96Layout);
    }
    QCOMPARE(text, QStringLiteral("01 1 0D159E26AF37 2F00000000"));
}

void BenchTagData::incrementFullCarry()
{
    // Every digit carries: the longest walk an increment can take.
    const QString text(24, QLatin1Char('F'));
    QString next;
    QBENCHMARK
    {
        next = IncrementTagText(text, 1);
    }
    QCOMPARE(next, QString(24, QLatin1Char('0')));
}

void BenchTagData::limitCheck96()
{
    const QString text = QStringLiteral("FF 7 7FFFFFFFFFFF 3FFFFFFFFF");
    int result = 0;
    QBENCHMARK
    {
        result = FindLimitBreak(text, Sgtin96Layout);
    }
    QCOMPARE(result, -1);
}

void BenchTagData::splitDefaultText()
{
    const QStringList lines = DefaultFormatLines();
    SplitPackets split;
    QBENCHMARK
    {
        split = SplitFormatLines(lines);
    }
    QCOMPARE(split.formatLines.size(), 11);
    QCOMPARE(split.batchLines.size(), 3);
}

// The GS1 codec on the schemes with the most fields to write out.
void BenchTagData::readEpc96_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("tagUri");
    QTest::newRow("sgtin-96") << "3074257BF7194E4000001A85"
                              << "urn:epc:tag:sgtin-96:3.0614141.812345.6789";
    QTest::newRow("sgln-96") << "3274257BF460720000000190"
                             << "urn:epc:tag:sgln-96:3.0614141.12345.400";
    QTest::newRow("raw") << "E28011606000020D6F1ACA32"
                         << "urn:epc:raw:96.xE28011606000020D6F1ACA32";
}

void BenchTagData::readEpc96()
{
    QFETCH(QString, hex);
    QFETCH(QString, tagUri);
    EpcReading r;
    QBENCHMARK
    {
        r = ReadEpc(hex);
    }
    QCOMPARE(r.tagUri, tagUri);
}

void BenchTagData::epcFromTagUri96_data()
{
    readEpc96_data();
}

void BenchTagData::epcFromTagUri96()
{
    QFETCH(QString, hex);
    QFETCH(QString, tagUri);
    QString out;
    QBENCHMARK
    {
        out = EpcFromTagUri(tagUri);
    }
    QCOMPARE(out, hex);
}

QTEST_GUILESS_MAIN(BenchTagData)
#include "bench_tagdata.moc"
