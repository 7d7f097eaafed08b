#include <QRandomGenerator>
#include <QtTest>

#include "core/TagData.h"

namespace
{

const char HexChars[] = "0123456789ABCDEF";

int maxDigit(QChar limit)
{
    return limit == QLatin1Char('F') ? 15 : limit.unicode() - '0';
}

// A field text with every digit drawn within its limit.
QString randomFieldText(QRandomGenerator &rng, const QString &layout)
{
    QString text = layout;
    for (qsizetype i = 0; i < layout.size(); ++i) {
        if (layout.at(i) != QLatin1Char(' '))
            text[i] = QLatin1Char(HexChars[rng.bounded(maxDigit(layout.at(i)) + 1)]);
    }
    return text;
}

QString randomHex(QRandomGenerator &rng, int digits)
{
    QString hex;
    for (int i = 0; i < digits; ++i)
        hex += QLatin1Char(HexChars[rng.bounded(16)]);
    return hex;
}

} // namespace

class TestTagData : public QObject
{
    Q_OBJECT

private slots:
    void pack_data();
    void pack();
    void unpack_data();
    void unpack();
    void roundTrip_data();
    void roundTrip();
    void increment_data();
    void increment();
    void limitBreak_data();
    void limitBreak();
    void formatTable();
    void formatFor_data();
    void formatFor();
};

void TestTagData::pack_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("hex");

    QTest::newRow("sgtin64 worked example")
        << "1 2 3456789AB 0000000" << Sgtin64Layout << "568ACF1356000000";
    QTest::newRow("sgtin96") << "12 3 123456789ABC 0000000000" << Sgtin96Layout
                             << "12648D159E26AF0000000000";
    QTest::newRow("sgtin64 all max") << Sgtin64Layout << Sgtin64Layout << QString(16, 'F');
    QTest::newRow("sgtin96 all max") << Sgtin96Layout << Sgtin96Layout << QString(24, 'F');
    QTest::newRow("hex64 identity") << "0123456789ABCDEF" << Hex64Layout << "0123456789ABCDEF";
    // A short text counts as padded with zeros, like the limit check reads it.
    QTest::newRow("short sgtin64") << "1 2 3456789AB" << Sgtin64Layout << "568ACF1356000000";
    QTest::newRow("longer text") << "0123456789ABCDEF99" << Hex64Layout << "0123456789ABCDEF";
    // An oversized digit adds into the bits on its left: F under "7" reads as 1 then 7.
    QTest::newRow("oversized digit carries left")
        << "0 F 000000000 0000000" << Sgtin64Layout << "7800000000000000";
    QTest::newRow("gap and letters beyond F are 0")
        << "01234567:;<=>?@G" << Hex64Layout << "0123456700000000";
    QTest::newRow("non-ASCII and blank marker are 0")
        << QString::fromUtf8("\xc3\xa9\xe2\x82\xac-5") << Hex64Layout << "0005000000000000";
}

void TestTagData::pack()
{
    QFETCH(QString, text);
    QFETCH(QString, layout);
    QFETCH(QString, hex);
    QCOMPARE(PackTagFields(text, layout), hex);
}

void TestTagData::unpack_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("text");

    QTest::newRow("sgtin64 worked example")
        << "568ACF1356000000" << Sgtin64Layout << "1 2 3456789AB 0000000";
    QTest::newRow("sgtin64") << "0123456789ABCDEF" << Sgtin64Layout << "0 0 091A2B3C4 1ABCDEF";
    QTest::newRow("sgtin96") << "0123456789ABCDEF00000000" << Sgtin96Layout
                             << "01 1 0D159E26AF37 2F00000000";
    QTest::newRow("sgtin64 from packed sgtin96")
        << "12648D159E26AF00" << Sgtin64Layout << "0 2 132468ACF 026AF00";
    QTest::newRow("sgtin96 from widened sgtin64")
        << "568ACF135600000000000000" << Sgtin96Layout << "56 4 2B3C4D580000 0000000000";
    QTest::newRow("hex64 identity") << "0123456789ABCDEF" << Hex64Layout << "0123456789ABCDEF";
    QTest::newRow("all F gives the template 96")
        << QString(24, 'F') << Sgtin96Layout << Sgtin96Layout;
    QTest::newRow("too few digits")
        << "0123456789ABCDEF" << Sgtin96Layout << "01 1 0D159E26AF37 2F00000000";
    QTest::newRow("too many digits")
        << "0123456789ABCDEF00000000" << Sgtin64Layout << "0 0 091A2B3C4 1ABCDEF";
    QTest::newRow("empty") << "" << Sgtin64Layout << "0 0 000000000 0000000";
}

void TestTagData::unpack()
{
    QFETCH(QString, hex);
    QFETCH(QString, layout);
    QFETCH(QString, text);
    QCOMPARE(UnpackTagFields(hex, layout), text);
}

void TestTagData::roundTrip_data()
{
    QTest::addColumn<QString>("layout");
    QTest::newRow("hex64") << Hex64Layout;
    QTest::newRow("hex96") << Hex96Layout;
    QTest::newRow("sgtin64") << Sgtin64Layout;
    QTest::newRow("sgtin96") << Sgtin96Layout;
}

void TestTagData::roundTrip()
{
    QFETCH(QString, layout);
    QRandomGenerator rng(12345);
    const int digits = (layout == Hex96Layout || layout == Sgtin96Layout) ? 24 : 16;
    for (int n = 0; n < 2000; ++n) {
        const QString text = randomFieldText(rng, layout);
        const QString hex = PackTagFields(text, layout);
        QCOMPARE(hex.size(), digits);
        QCOMPARE(UnpackTagFields(hex, layout), text);
        QCOMPARE(FindLimitBreak(text, layout), -1);

        const QString anyHex = randomHex(rng, digits);
        QCOMPARE(PackTagFields(UnpackTagFields(anyHex, layout), layout), anyHex);
    }
}

void TestTagData::increment_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QString>("result");

    QTest::newRow("one") << "0123456789ABCDEF" << 1 << "0123456789ABCDF0";
    QTest::newRow("two digits of carry") << "0123456789ABCDEF" << 32 << "0123456789ABCE0F";
    QTest::newRow("hundred") << "00000000000000FF" << 100 << "0000000000000163";
    QTest::newRow("wraps") << "FFFFFFFFFFFFFFFF" << 1 << "0000000000000000";
    QTest::newRow("serial past its limit")
        << "1 2 3456789AB 1FFFFFF" << 1 << "1 2 3456789AB 2000000";
    QTest::newRow("carry crosses a space")
        << "1 2 3456789AB FFFFFFF" << 1 << "1 2 3456789AC 0000000";
    QTest::newRow("zero") << "0123456789ABCDEF" << 0 << "0123456789ABCDEF";
    QTest::newRow("negative is no step") << "0123456789ABCDEF" << -5 << "0123456789ABCDEF";
    QTest::newRow("largest int") << "0000000000000001" << INT_MAX << "0000000080000000";
    QTest::newRow("non-digit counts 16") << "0G" << 1 << "11";
    QTest::newRow("empty") << "" << 3 << "";
}

void TestTagData::increment()
{
    QFETCH(QString, text);
    QFETCH(int, quantity);
    QFETCH(QString, result);
    QCOMPARE(IncrementTagText(text, quantity), result);
}

void TestTagData::limitBreak_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("index");

    QTest::newRow("hex64 passes") << "0123456789ABCDEF" << Hex64Layout << -1;
    QTest::newRow("hex64 G") << "0123456789ABCDEG" << Hex64Layout << 15;
    QTest::newRow("sgtin64 serial max") << "1 2 3456789AB 1FFFFFF" << Sgtin64Layout << -1;
    QTest::newRow("sgtin64 serial over") << "1 2 3456789AB 2000000" << Sgtin64Layout << 14;
    QTest::newRow("sgtin64 header over") << "4 2 3456789AB 0000000" << Sgtin64Layout << 0;
    QTest::newRow("sgtin96 all max") << "FF 7 7FFFFFFFFFFF 3FFFFFFFFF" << Sgtin96Layout << -1;
    QTest::newRow("sgtin96 filter over") << "FF 8 7FFFFFFFFFFF 3FFFFFFFFF" << Sgtin96Layout << 3;
    QTest::newRow("short passes") << "0123" << Hex64Layout << -1;
    QTest::newRow("beyond layout not read") << "0123456789ABCDEFZZ" << Hex64Layout << -1;
    QTest::newRow("space in a digit") << "1 2 3456789AB 1FF FFF" << Sgtin64Layout << 17;
    QTest::newRow("at sign") << "0@" << Hex64Layout << 1;
    QTest::newRow("lower case") << "0a" << Hex64Layout << 1;
    QTest::newRow("code above 127") << QString::fromUtf8("0\xc3\xa9") << Hex64Layout << 1;
    QTest::newRow("letter under 7") << "0 A" << Sgtin64Layout << 2;
}

void TestTagData::limitBreak()
{
    QFETCH(QString, text);
    QFETCH(QString, layout);
    QFETCH(int, index);
    QCOMPARE(FindLimitBreak(text, layout), index);
}

void TestTagData::formatTable()
{
    const int lengths[4] = {16, 24, 21, 28};
    const int captionLengths[4] = {15, 15, 88, 111};
    for (int r = 0; r < 4; ++r) {
        const TagFormatRow &row = TagFormatTable[r];
        QCOMPARE(row.layout.size(), lengths[r]);
        QCOMPARE(row.caption.size(), captionLengths[r]);
        // The mask lines up with the layout: spaces in the same places, "A" elsewhere.
        QCOMPARE(row.mask.size(), row.layout.size());
        for (qsizetype i = 0; i < row.mask.size(); ++i)
            QCOMPARE(row.mask.at(i) == QLatin1Char(' '), row.layout.at(i) == QLatin1Char(' '));
        QCOMPARE(row.mask.count(QLatin1Char('A')) + row.mask.count(QLatin1Char(' ')),
                 row.mask.size());
    }
    QCOMPARE(TagFormatTable[0].caption, QStringLiteral("64-bit Hex Data"));
    QCOMPARE(TagFormatTable[1].caption, QStringLiteral("96-bit Hex Data"));
    QCOMPARE(TagFormatTable[2].caption.indexOf(QLatin1String("Filter")), 9);
    QCOMPARE(TagFormatTable[2].caption.indexOf(QLatin1String("Company Info.")), 22);
    QCOMPARE(TagFormatTable[2].caption.indexOf(QLatin1String("Serial Number")), 75);
    QCOMPARE(TagFormatTable[3].caption.indexOf(QLatin1String("Filter")), 12);
    QCOMPARE(TagFormatTable[3].caption.indexOf(QLatin1String("Company Info.")), 26);
    QCOMPARE(TagFormatTable[3].caption.indexOf(QLatin1String("Serial Number")), 98);
}

void TestTagData::formatFor_data()
{
    QTest::addColumn<int>("dataFormat");
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<QString>("layout");

    QTest::newRow("hex 64") << 2 << 64 << Hex64Layout;
    QTest::newRow("hex 96") << 2 << 96 << Hex96Layout;
    QTest::newRow("sgtin 64") << 1 << 64 << Sgtin64Layout;
    QTest::newRow("sgtin 96") << 1 << 96 << Sgtin96Layout;
    QTest::newRow("unknown format is hex") << 0 << 96 << Hex96Layout;
    QTest::newRow("unknown size is 64") << 1 << 128 << Sgtin64Layout;
}

void TestTagData::formatFor()
{
    QFETCH(int, dataFormat);
    QFETCH(int, dataSize);
    QFETCH(QString, layout);
    const TagFormatRow &row = TagFormatFor(dataFormat, dataSize);
    QCOMPARE(row.layout, layout);
    QCOMPARE(row.dataFormat, dataFormat == 1 ? 1 : 2);
    QCOMPARE(row.dataSize, dataSize == 96 ? 96 : 64);
}

QTEST_GUILESS_MAIN(TestTagData)
#include "tst_tagdata.moc"
