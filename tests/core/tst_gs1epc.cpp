// The 96-bit EPC codec against the GS1 EPC Tag Data Standard: its worked examples, random round
// trips over every scheme, and values that break their scheme.
#include <QRandomGenerator>
#include <QtTest>

#include "BatchScanner.h"
#include "core/Gs1Epc.h"
#include "core/TagData.h"

class TestGs1Epc : public QObject
{
    Q_OBJECT

private slots:
    void workedExamples_data();
    void workedExamples();
    void elementStrings_data();
    void elementStrings();
    void invalidValues_data();
    void invalidValues();
    void invalidUris_data();
    void invalidUris();
    void randomRoundTrips();
    void randomBits();
    void emulatorLine_data();
    void emulatorLine();
    void incrementWarning_data();
    void incrementWarning();
    void serialStep_data();
    void serialStep();
};

// The increment steps the whole value: a carry out of the last field must be told.
void TestGs1Epc::incrementWarning_data()
{
    QTest::addColumn<QString>("value"); // a tag URI, or hex digits
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QString>("warning"); // a part of the sentence; empty for none

    const char *sgtinMax = "urn:epc:tag:sgtin-96:3.0614141.812345.274877906943";
    const char *invalid = "invalid: The last 24 bits must be zero.";
    static const struct {
        const char *name, *value;
        int quantity;
        const char *warning;
    } rows[] = {
        {"SGTIN serial at its maximum", sgtinMax, 1,
         "changes the other fields: urn:epc:tag:sgtin-96:3.0614141.812346.0"},
        {"SGTIN serial at its maximum, quantity 0", sgtinMax, 0, ""},
        {"SGTIN one short, batch of 1", "urn:epc:tag:sgtin-96:3.0614141.812345.274877906942", 1,
         ""},
        {"SGTIN one short, batch of 2", "urn:epc:tag:sgtin-96:3.0614141.812345.274877906942", 2,
         "runs past the serial"},
        {"SGTIN item reference full too", "urn:epc:tag:sgtin-96:3.0614141.999999.274877906943", 1,
         "makes the sgtin-96 value invalid: The indicator and item reference"},
        {"SGTIN far from the edge", "urn:epc:tag:sgtin-96:3.0614141.812345.6789", 1000, ""},
        {"SSCC serial reference at its maximum", "urn:epc:tag:sscc-96:3.0614141.9999999999", 1,
         invalid},
        // The reserved bits are the lowest: any step fills them.
        {"SSCC far from the edge", "urn:epc:tag:sscc-96:3.0614141.1234567890", 1, invalid},
        {"GIAI far from the edge", "urn:epc:tag:giai-96:3.0614141.12345400", 5, ""},
        {"GIAI asset reference at its maximum", "urn:epc:tag:giai-96:3.0614141.288230376151711743",
         1, "giai-96:3.0614142.0"},
        {"GID carry into the header", "urn:epc:tag:gid-96:268435455.16777215.68719476735", 1,
         "no longer gid-96"},
        {"no scheme", "0123456789ABCDEF00000000", 1, ""},
        {"64 bits", "FFFFFFFFFFFFFFFF", 1, ""},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << row.value << row.quantity << row.warning;
}

void TestGs1Epc::incrementWarning()
{
    QFETCH(QString, value);
    QFETCH(int, quantity);
    QFETCH(QString, warning);
    const QString hex = value.startsWith(QLatin1String("urn:")) ? EpcFromTagUri(value) : value;
    QVERIFY(!hex.isEmpty());
    const QString sentence = IncrementWarning(hex, quantity);
    QVERIFY2(warning.isEmpty() ? sentence.isEmpty() : sentence.contains(warning),
             qPrintable(sentence));
}

// Stepping by the serial field: a tag URI after "urn:epc:tag:" (or hex digits), the quantity,
// the last field of the batch's last label and of the value after it, and a part of the sentence
// that refuses the batch or says the field is used up.
void TestGs1Epc::serialStep_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<QString>("last"); // empty: refused
    QTest::addColumn<QString>("next"); // empty: none follows
    QTest::addColumn<QString>("text");

    const char *reaches = "reaches its largest value";
    const char *sgtinEnd = "sgtin-96:3.0614141.812345.274877906942";
    static const struct {
        const char *value;
        int quantity;
        const char *last, *next, *text;
    } rows[] = {
        {"sgtin-96:3.0614141.812345.6789", 5, "6793", "6794", ""},
        {sgtinEnd, 2, "274877906943", "", "SGTIN serial reaches its largest value 274877906943"},
        {sgtinEnd, 3, "", "",
         "SGTIN serial 274877906942 would pass its largest value 274877906943"},
        {"sgtin-96:3.0614141.812345.274877906943", 2, "", "", "SGTIN serial 274877906943 would"},
        {"sgtin-96:3.0614141.812345.6789", 0, "", "", "at least one label"},
        {"sscc-96:3.0614141.1234567890", 1, "1234567890", "1234567891", ""},
        {"sscc-96:3.0614141.1234567891", 1, "1234567891", "1234567892", ""},
        {"sscc-96:3.0614141.1234567890", 2, "", "", "SSCC serial reference sits above 24"},
        // The extension digit is the serial reference's first digit.
        {"sscc-96:3.0614141.0999999999", 1, "0999999999", "1000000000", ""},
        // Five digits with a 12-digit prefix, though its 18 bits would hold more.
        {"sscc-96:3.061414112345.99998", 1, "99998", "99999", ""},
        {"sscc-96:3.061414112345.99999", 1, "99999", "", "SSCC serial reference reaches"},
        {"sgln-96:3.0614141.12345.0", 3, "2", "3", ""},
        {"sgln-96:3.0614141.12345.2199023255550", 2, "2199023255551", "", reaches},
        {"sgln-96:3.0614141.12345.2199023255550", 3, "", "", "SGLN extension 2199023255550 would"},
        {"grai-96:3.0614141.12345.400", 10, "409", "410", ""},
        {"grai-96:3.0614141.12345.274877906942", 2, "274877906943", "", reaches},
        {"grai-96:3.0614141.12345.274877906942", 3, "", "", "GRAI serial 274877906942 would"},
        {"giai-96:3.0614141.12345400", 5, "12345404", "12345405", ""},
        {"giai-96:3.0614141.288230376151711742", 2, "288230376151711743", "", reaches},
        {"giai-96:3.0614141.288230376151711742", 3, "", "",
         "GIAI individual asset reference 288230376151711742 would pass"},
        {"gsrn-96:3.0614141.1234567890", 1, "1234567890", "1234567891", ""},
        {"gsrn-96:3.0614141.1234567890", 2, "", "", "GSRN service reference sits above 24"},
        {"gsrnp-96:3.0614141.9999999999", 1, "9999999999", "", "GSRNP service reference reaches"},
        {"gdti-96:3.0614141.12345.400", 4, "403", "404", ""},
        {"gdti-96:3.0614141.12345.2199023255550", 2, "2199023255551", "", reaches},
        {"gdti-96:3.0614141.12345.2199023255550", 3, "", "", "GDTI serial 2199023255550 would"},
        // The serial component keeps its count of digits.
        {"sgcn-96:3.4012345.67890.0998", 2, "0999", "1000", ""},
        {"sgcn-96:3.4012345.67890.998", 2, "999", "", "SGCN serial component reaches"},
        {"sgcn-96:3.4012345.67890.998", 3, "", "",
         "component 998 would pass its largest value 999"},
        {"cpi-96:3.0614141.123456.123456789", 2, "123456790", "123456791", ""},
        {"cpi-96:3.0614141.123456.2147483646", 2, "2147483647", "", reaches},
        {"cpi-96:3.0614141.123456.2147483646", 3, "", "", "CPI serial 2147483646 would"},
        {"gid-96:95100000.12345.400", 2, "401", "402", ""},
        {"gid-96:95100000.12345.68719476734", 3, "", "", "GID serial 68719476734 would"},
        {"usdod-96:3.CAGEY.68719476734", 2, "68719476735", "", "USDOD serial reaches"},
        {"3174257BF4499602D2000001", 1, "", "", "sscc-96 value is invalid"},
        {"0123456789ABCDEF00000000", 1, "", "", ""},
        {"FFFFFFFFFFFFFFFF", 1, "", "", ""},
    };
    for (const auto &row : rows)
        QTest::addRow("%s x%d", row.value, row.quantity)
            << row.value << row.quantity << row.last << row.next << row.text;
}

void TestGs1Epc::serialStep()
{
    QFETCH(QString, value);
    QFETCH(int, quantity);
    QFETCH(QString, last);
    QFETCH(QString, next);
    QFETCH(QString, text);
    const bool uri = value.contains(QLatin1Char(':'));
    const QString hex = uri ? EpcFromTagUri("urn:epc:tag:" + value) : value;
    QVERIFY(!hex.isEmpty());
    const SerialStep step = StepGs1Serial(hex, quantity);

    // Every field but the last stays; the hex must read back as that tag URI.
    const auto expected = [&](const QString &field) {
        return field.isEmpty() ? field : "urn:epc:tag:" + value.section('.', 0, -2) + '.' + field;
    };
    const auto read = [](const QString &h) { return h.isEmpty() ? h : ReadEpc(h).tagUri; };
    QCOMPARE(step.ok, !last.isEmpty());
    QCOMPARE(read(step.lastHex), expected(last));
    QCOMPARE(read(step.nextHex), expected(next));
    const QString said = step.ok ? step.usedUp : step.failure;
    QVERIFY2(text.isEmpty() ? said.isEmpty() : said.contains(text), qPrintable(said));
    // Within a batch the printer steps the whole value: its last label must be the same.
    if (step.ok)
        QCOMPARE(IncrementTagText(hex, quantity - 1), step.lastHex);

    QCOMPARE(step.scheme, uri || !text.isEmpty());
    const QString meaning = SerialStepMeaning(hex);
    if (uri) {
        // SSCC-96 and GSRN-96 have reserved bits below their serial reference.
        const bool ofOne =
            value.startsWith(QLatin1String("sscc")) || value.startsWith(QLatin1String("gsrn"));
        QCOMPARE(step.batchesAllowed, !ofOne);
        QVERIFY2(meaning.contains("steps the " + step.field) &&
                     meaning.contains(QLatin1String("batches of one")) == ofOne,
                 qPrintable(meaning));
    } else if (!step.scheme) {
        QVERIFY2(meaning.contains(QLatin1String("whole value")), qPrintable(meaning));
    }
}

// The pure identity URIs and element strings are the TDS 2.1 examples of each scheme's
// correspondence with the GS1 keys; the SGTIN-96 hex is its encoding example. The other hex
// values follow the TDT 2.0 field tables (filter 3, company prefix length from the URI).
void TestGs1Epc::workedExamples_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("tagUri");
    QTest::addColumn<QString>("pureUri");
    QTest::addColumn<QString>("elementString");

    static const char *const rows[][5] = {
        {"sgtin-96", "3074257BF7194E4000001A85", "3.0614141.812345.6789",
         "sgtin:0614141.812345.6789", "(01)80614141123458(21)6789"},
        {"sscc-96", "3174257BF4499602D2000000", "3.0614141.1234567890", "sscc:0614141.1234567890",
         "(00)106141412345678908"},
        {"sgln-96", "3274257BF460720000000190", "3.0614141.12345.400", "sgln:0614141.12345.400",
         "(414)0614141123452(254)400"},
        {"sgln-96", "3274257BF460720000000000", "3.0614141.12345.0", "sgln:0614141.12345.0",
         "(414)0614141123452"},
        {"grai-96", "3374257BF40C0E4000000190", "3.0614141.12345.400", "grai:0614141.12345.400",
         "(8003)00614141123452400"},
        {"giai-96", "3474257BF400000000BC6038", "3.0614141.12345400", "giai:0614141.12345400",
         "(8004)061414112345400"},
        {"gsrn-96", "2D74257BF4499602D2000000", "3.0614141.1234567890", "gsrn:0614141.1234567890",
         "(8018)061414112345678902"},
        {"gsrnp-96", "2E74257BF4499602D2000000", "3.0614141.1234567890", "gsrnp:0614141.1234567890",
         "(8017)061414112345678902"},
        {"gdti-96", "2C74257BF460720000000190", "3.0614141.12345.400", "gdti:0614141.12345.400",
         "(253)0614141123452400"},
        // The serial component keeps its leading zero.
        {"sgcn-96", "3F74F4E4E612640000019907", "3.4012345.67890.04711", "sgcn:4012345.67890.04711",
         "(255)401234567890104711"},
        {"cpi-96", "3C74257BF400F120075BCD15", "3.0614141.123456.123456789",
         "cpi:0614141.123456.123456789", "(8010)0614141123456(8011)123456789"},
        {"gid-96", "355AB1C60003039000000190", "95100000.12345.400", "gid:95100000.12345.400", ""},
        {"usdod-96", "2F320434147455900000162E", "3.CAGEY.5678", "usdod:CAGEY.5678", ""},
        {"usdod-96", "2F0325331393430000000000", "0.2S1940.0", "usdod:2S1940.0", ""},
    };
    for (const auto &row : rows)
        QTest::addRow("%s %s", row[0], row[2])
            << row[1] << QStringLiteral("urn:epc:tag:%1:%2").arg(row[0], row[2])
            << QStringLiteral("urn:epc:id:%1").arg(row[3]) << row[4];
}

void TestGs1Epc::workedExamples()
{
    QFETCH(QString, hex);
    QFETCH(QString, tagUri);
    QFETCH(QString, pureUri);
    QFETCH(QString, elementString);

    const EpcReading r = ReadEpc(hex.toLower());
    QCOMPARE(r.scheme, tagUri.section(QLatin1Char(':'), 3, 3));
    QCOMPARE(r.tagUri, tagUri);
    QCOMPARE(r.pureIdentityUri, pureUri);
    QCOMPARE(r.elementString, elementString);
    // The Digital Link path is the element string with its AIs between slashes.
    QString link = elementString;
    link.replace(QLatin1Char('('), QLatin1Char('/')).replace(QLatin1Char(')'), QLatin1Char('/'));
    QCOMPARE(r.digitalLink, link.isEmpty() ? link : "https://id.gs1.org" + link);
    QCOMPARE(r.problem, QString());

    QString problem = QStringLiteral("not cleared");
    QCOMPARE(EpcFromTagUri(tagUri, &problem), hex);
    QCOMPARE(problem, QString());
    if (!elementString.isEmpty()) {
        const int prefixDigits = int(tagUri.section(QLatin1Char('.'), 1, 1).size());
        QCOMPARE(EpcFromElementString(elementString, prefixDigits, 3, &problem), hex);
        QCOMPARE(problem, QString());
    }
}

// Element strings against the tag URI of the same value, or the problem that refuses them.
void TestGs1Epc::elementStrings_data()
{
    QTest::addColumn<QString>("elementString");
    QTest::addColumn<int>("prefixDigits");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("expected");

    struct Row {
        const char *name, *elementString;
        int prefixDigits, filter;
        const char *expected;
    };
    static const Row rows[] = {
        {"GTIN-13", "(01)0614141123452(21)5", 7, 1, "urn:epc:tag:sgtin-96:1.0614141.012345.5"},
        {"GTIN-12", "(01)614141123452(21)5", 6, 1, "urn:epc:tag:sgtin-96:1.061414.0112345.5"},
        {"GTIN-8", "(01)95012346(21)0", 7, 0, "urn:epc:tag:sgtin-96:0.0000095.001234.0"},
        {"spaced", "(01) 80614141123458 (21) 6789", 7, 3,
         "urn:epc:tag:sgtin-96:3.0614141.812345.6789"},
        {"12-digit prefix", "(01)80614141123458(21)274877906943", 12, 7,
         "urn:epc:tag:sgtin-96:7.061414112345.8.274877906943"},
        {"GTIN check", "(01)80614141123457(21)6789", 7, 3, "the right one is 8"},
        {"SSCC check", "(00)106141412345678900", 7, 3, "the right one is 8"},
        {"GLN check", "(414)0614141123453", 7, 3, "the right one is 2"},
        {"GTIN of 11", "(01)61414112345(21)5", 7, 3, "8, 12, 13 or 14 digits"},
        {"no serial", "(01)80614141123458", 7, 3, "needs (21)"},
        {"serial 0...", "(01)80614141123458(21)06789", 7, 3, "begins with 0"},
        {"serial 2^38", "(01)80614141123458(21)274877906944", 7, 3, "larger than 274877906943"},
        {"prefix length 5", "(01)80614141123458(21)1", 5, 3, "from 6 to 12"},
        {"filter 8", "(01)80614141123458(21)1", 7, 8, "0 to 7"},
        {"extra AI", "(01)80614141123458(21)1(10)ABC", 7, 3, "(10) has no place"},
        {"bare", "0180614141123458", 7, 3, "parentheses"},
        {"GIAI 0...", "(8004)06141410123", 7, 3, "begins with 0"},
        {"GRAI not 0", "(8003)10614141123459400", 7, 3, "begins with the digit 0"},
        {"batch AI", "(10)ABC", 7, 3, "no 96-bit EPC"},
        {"GIAI of the prefix alone", "(8004)0614141", 7, 3, "no longer than its company prefix"},
        {"CPI of the prefix alone", "(8010)0614141(8011)1", 7, 3, "no longer than"},
    };
    for (const Row &row : rows)
        QTest::newRow(row.name) << row.elementString << row.prefixDigits << row.filter
                                << row.expected;
}

void TestGs1Epc::elementStrings()
{
    QFETCH(QString, elementString);
    QFETCH(int, prefixDigits);
    QFETCH(int, filter);
    QFETCH(QString, expected);

    QString problem;
    const QString hex = EpcFromElementString(elementString, prefixDigits, filter, &problem);
    if (!expected.startsWith(QLatin1String("urn:"))) {
        QCOMPARE(hex, QString());
        QVERIFY2(problem.contains(expected), qPrintable(problem));
    } else {
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(hex, EpcFromTagUri(expected));
        QCOMPARE(ReadEpc(hex).tagUri, expected);
    }
}

void TestGs1Epc::invalidValues_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("problemPart");

    static const char *const rows[][3] = {
        {"307C00000000000000000001", "sgtin-96", "partition value 7"},
        {"3077FFFFFC00004000000001", "sgtin-96", "company prefix 16777215 has more digits"},
        {"30245BFB8386BFC000000001", "sgtin-96", "item reference 127 has more digits"},
        {"330072FA6468514000000001", "grai-96", "asset type 5 has more digits"},
        {"3174257BF4499602D2000001", "sscc-96", "last 24 bits"},
        {"2D74257BF4499602D2800000", "gsrn-96", "last 24 bits"},
        {"3F74F4E4E61265D1A94A2000", "sgcn-96", "serial component"}, // 2000000000000
        {"3F74F4E4E612640000000001", "sgcn-96", "serial component"}, // 1 without digits
        {"2F320434147454900000162E", "usdod-96", "CAGE"},            // " CAGEI"
        {"30742G7BF7194E4000001A85", "", "16 or 24 hex digits"},
        {"3074257BF7194E4000001A8", "", "16 or 24 hex digits"},
        {"307BD0900000000000000001", "sgtin-96", "company prefix 1000000 has more digits"},
        {"2F343412047455900000162E", "usdod-96", "CAGE"}, // "CA GEY"
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << row[0] << row[1] << row[2];
}

void TestGs1Epc::invalidValues()
{
    QFETCH(QString, hex);
    QFETCH(QString, scheme);
    QFETCH(QString, problemPart);

    const EpcReading r = ReadEpc(hex);
    QCOMPARE(r.scheme, scheme);
    QCOMPARE(r.tagUri, scheme.isEmpty() ? QString() : "urn:epc:raw:96.x" + hex);
    QVERIFY(r.pureIdentityUri.isEmpty() && r.elementString.isEmpty() && r.digitalLink.isEmpty());
    QVERIFY2(r.problem.contains(problemPart), qPrintable(r.problem));
}

void TestGs1Epc::invalidUris_data()
{
    QTest::addColumn<QString>("uri");
    QTest::addColumn<QString>("problemPart");

    static const char *const rows[][2] = {
        {"urn:epc:id:sgtin:0614141.812345.6789", "tag URI"},
        {"urn:epc:tag:sgtin-198:3.0614141.812345.6789", "sgtin-198"},
        {"urn:epc:tag:sgtin-96:8.0614141.812345.6789", "0 to 7"},
        {"urn:epc:tag:sgtin-96:3.0614141812345.1.6789", "6 to 12 digits"},
        {"urn:epc:tag:sgtin-96:3.0614141.81234.6789", "must be 6 digits"},
        {"urn:epc:tag:sgtin-96:3.0614141.812345.06789", "begins with 0"},
        {"urn:epc:tag:sgtin-96:3.0614141.812345.274877906944", "larger than"},
        {"urn:epc:tag:sgtin-96:3.0614141.812345", "4 fields"},
        {"urn:epc:tag:grai-96:3.0614141.12345.0400", "serial 0400 begins with 0"},
        {"urn:epc:tag:giai-96:3.0614141.012345", "asset reference 012345 begins with 0"},
        {"urn:epc:tag:giai-96:3.061414112345.9999999999999", "larger than 4398046511103"},
        {"urn:epc:tag:cpi-96:3.0614141.123ABC.1", "must be a number"},
        {"urn:epc:tag:sgcn-96:3.4012345.67890.0123456789012", "1 to 12 digits"},
        {"urn:epc:tag:gid-96:268435456.1.1", "larger than"},
        {"urn:epc:tag:usdod-96:3.CAGEO.1", "CAGE"},
        {"urn:epc:raw:96.x3074257BF7194E4000001A8", "24 hex digits"},
        {"urn:epc:tag:sgtin-96:3.0614141.812345.05", "05 begins with 0"},
        {"urn:epc:tag:sgtin-96:3.0614141.812345.18446744073709551621", "larger than"}, // 2^64 + 5
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << row[0] << row[1];
}

void TestGs1Epc::invalidUris()
{
    QFETCH(QString, uri);
    QFETCH(QString, problemPart);

    QString problem;
    QCOMPARE(EpcFromTagUri(uri, &problem), QString());
    QVERIFY2(problem.contains(problemPart), qPrintable(problem));
}

namespace
{

QString randomDigits(QRandomGenerator &rng, int n)
{
    QString s;
    for (int i = 0; i < n; ++i)
        s += QLatin1Char(char('0' + rng.bounded(10)));
    return s;
}

// A number without leading zeros, below 2^bits and of at most maxDigits digits.
QString randomInteger(QRandomGenerator &rng, int bits, int maxDigits = 19)
{
    const quint64 v = (rng.generate64() >> rng.bounded(64)) & ((1ULL << bits) - 1);
    return QString::number(v).left(maxDigits);
}

} // namespace

// Tag URI to hex and back, and element string to the same hex, for random valid fields.
void TestGs1Epc::randomRoundTrips()
{
    // Name, digits of prefix and reference, reference an integer, their bits, serial kind (none,
    // integer, digits) and bits.
    static const struct {
        const char *name;
        int fieldDigits, refKind, fieldBits, serialKind, serialBits;
    } schemes[] = {
        {"sgtin-96", 13, 0, 44, 1, 38}, {"sscc-96", 17, 0, 58, 0, 0},
        {"sgln-96", 12, 0, 41, 1, 41},  {"grai-96", 12, 0, 44, 1, 38},
        {"giai-96", 25, 1, 82, 0, 0},   {"gsrn-96", 17, 0, 58, 0, 0},
        {"gsrnp-96", 17, 0, 58, 0, 0},  {"gdti-96", 12, 0, 41, 1, 41},
        {"sgcn-96", 12, 0, 41, 2, 0},   {"cpi-96", 15, 1, 51, 1, 31},
    };
    static const int cpBits[] = {40, 37, 34, 30, 27, 24, 20};
    QRandomGenerator rng(20261208);
    for (const auto &s : schemes) {
        for (int i = 0; i < 300; ++i) {
            const int partition = rng.bounded(7);
            const int prefixDigits = 12 - partition;
            const int filter = rng.bounded(8);
            QString uri = QStringLiteral("urn:epc:tag:%1:%2.%3.")
                              .arg(QLatin1String(s.name))
                              .arg(filter)
                              .arg(randomDigits(rng, prefixDigits));
            const int refDigits = s.fieldDigits - prefixDigits;
            uri += s.refKind == 0 ? randomDigits(rng, refDigits)
                                  : randomInteger(rng, s.fieldBits - cpBits[partition], refDigits);
            if (s.serialKind == 1)
                uri += QLatin1Char('.') + randomInteger(rng, s.serialBits);
            else if (s.serialKind == 2)
                uri += QLatin1Char('.') + randomDigits(rng, 1 + rng.bounded(12));

            QString problem;
            const QString hex = EpcFromTagUri(uri, &problem);
            QVERIFY2(hex.size() == 24, qPrintable(uri + ": " + problem));
            const EpcReading r = ReadEpc(hex);
            QCOMPARE(r.tagUri, uri);
            QCOMPARE(r.problem, QString());
            QCOMPARE(EpcFromElementString(r.elementString, prefixDigits, filter, &problem), hex);
        }
    }
}

// Any 96 bits under a known header: either a valid value whose tag URI gives the bits back, or
// a problem with the raw URI, which gives the bits back too.
void TestGs1Epc::randomBits()
{
    static const quint8 headers[] = {0x30, 0x31, 0x32, 0x33, 0x34, 0x35,
                                     0x2C, 0x2D, 0x2E, 0x2F, 0x3C, 0x3F};
    QRandomGenerator rng(9100);
    int valid = 0;
    for (int i = 0; i < 6000; ++i) {
        QString hex = QString::number(headers[i % 12], 16).toUpper();
        for (int d = 0; d < 22; ++d)
            hex += QLatin1Char("0123456789ABCDEF"[rng.bounded(16)]);
        const EpcReading r = ReadEpc(hex);
        QVERIFY(!r.scheme.isEmpty());
        QCOMPARE(r.problem.isEmpty(), !r.tagUri.startsWith(QLatin1String("urn:epc:raw:")));
        QCOMPARE(EpcFromTagUri(r.tagUri), hex);
        valid += r.problem.isEmpty() ? 1 : 0;
    }
    // Random bits rarely fit a scheme's limits, but some of every kind do.
    QVERIFY(valid > 500);
}

// The printer emulator's console line for a batch carries the tag URI of its tag data.
void TestGs1Epc::emulatorLine_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("after");

    static const char *const rows[][2] = {
        {"3074257BF7194E4000001A85", " uri=urn:epc:tag:sgtin-96:3.0614141.812345.6789"},
        {"0123456789ABCDEF", " uri=urn:epc:raw:64.x0123456789ABCDEF"},
        {"E28011606000020D6F1ACA32", " uri=urn:epc:raw:96.xE28011606000020D6F1ACA32"},
        {"307C00000000000000000001", " uri=urn:epc:raw:96.x307C00000000000000000001 "
                                     "problem=\"The partition value 7 is reserved.\""},
        {"Hello", ""},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QByteArray(row[0]) << QByteArray(row[1]);
}

void TestGs1Epc::emulatorLine()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, after);
    const Batch batch = BatchScanner::parse("{B,1,N,2|\r\n1,\"" + data + "\"|}");
    QCOMPARE(BatchScanner::describe(batch), "batch quantity=2 field 1=\"" + data + '"' + after);
}

QTEST_GUILESS_MAIN(TestGs1Epc)
#include "tst_gs1epc.moc"
