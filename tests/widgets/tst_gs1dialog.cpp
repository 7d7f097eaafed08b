// The GS1 EPC dialog: typed or pasted keys give the value, its URI or the problem, and OK only
// for a valid value.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "widgets/TfmGs1Epc.h"

class TestGs1Dialog : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void startsFromHex();
};

void TestGs1Dialog::typing_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("hex");   // empty: OK stays disabled
    QTest::addColumn<QString>("shown"); // the tag URI, or part of the problem

    const char *sgtin = "urn:epc:tag:sgtin-96:1.0614141.812345.6789";
    static const char *const rows[][5] = {
        {"typed", "80614141123458", "6789", "3034257BF7194E4000001A85", sgtin},
        {"element string", "(01)80614141123458(21)6789", "", "3034257BF7194E4000001A85", sgtin},
        {"link", "https://id.gs1.org/01/80614141123458/21/6789", "", "3034257BF7194E4000001A85",
         sgtin},
        {"SSCC link", "https://id.gs1.org/00/106141412345678908", "", "3134257BF4499602D2000000",
         "urn:epc:tag:sscc-96:1.0614141.1234567890"},
        {"check digit", "80614141123450", "6789", "", "the right one is 8"},
        // Typed by hand, an element string is left whole for the operator to finish.
        {"typed element string", " (01)80614141123458", "", "", "(01) has no place"},
        {"no serial", "80614141123458", "", "", "must be a number"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << row[1] << row[2] << row[3] << row[4];
}

void TestGs1Dialog::typing()
{
    QFETCH(QString, key);
    QFETCH(QString, serial);
    QFETCH(QString, hex);
    QFETCH(QString, shown);

    TfmGs1Epc dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("fmGs1Epc"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("GS1 EPC"));
    dialog.edSerial->setText(serial);
    // Keys are typed; element strings and links arrive in one piece, as pasted.
    if (key.startsWith(QLatin1Char('(')) || key.startsWith(QLatin1Char('h'))) {
        dialog.edKey->insert(key);
    } else {
        QTest::keyClicks(dialog.edKey, key);
        QCOMPARE(dialog.edKey->text(), key);
    }

    QCOMPARE(dialog.laHex->text(), hex);
    QCOMPARE(dialog.hex(), hex);
    QCOMPARE(dialog.bbOk->isEnabled(), !hex.isEmpty());
    if (hex.isEmpty())
        QVERIFY2(dialog.laProblem->text().contains(shown), qPrintable(dialog.laProblem->text()));
    else
        QCOMPARE(dialog.laTagUri->text() + dialog.laProblem->text(), shown);
}

void TestGs1Dialog::startsFromHex()
{
    TfmGs1Epc dialog;
    dialog.setHex(QStringLiteral("3174257BF4499602D2000000")); // sscc-96, filter 3, prefix 7
    QCOMPARE(dialog.cxScheme->currentData().toString(), QStringLiteral("sscc-96"));
    QCOMPARE(dialog.udFilter->value(), 3);
    QCOMPARE(dialog.udPrefixLength->value(), 7);
    QCOMPARE(dialog.edKey->text(), QStringLiteral("106141412345678908"));
    QCOMPARE(dialog.hex(), QStringLiteral("3174257BF4499602D2000000"));

    dialog.setHex(QStringLiteral("0123456789ABCDEF00000000")); // no GS1 value: kept as it was
    QCOMPARE(dialog.hex(), QStringLiteral("3174257BF4499602D2000000"));
    dialog.bbOkClick();
    QCOMPARE(dialog.result(), 1);
}

QTEST_MAIN(TestGs1Dialog)
#include "tst_gs1dialog.moc"
