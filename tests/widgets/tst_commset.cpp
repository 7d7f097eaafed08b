// The communication settings dialog over a fixed set of present ports.
#include <QtTest>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "widgets/Hints.h"
#include "widgets/TfmCommSet.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"

namespace
{

struct Stored {
    int port, baud, parity, dataBits, stopBits, flow;
    bool operator==(const Stored &o) const
    {
        return port == o.port && baud == o.baud && parity == o.parity && dataBits == o.dataBits &&
               stopBits == o.stopBits && flow == o.flow;
    }
};

Stored stored()
{
    return {fmMain->FSession->FComPort,  fmMain->FSession->FBaudRate,
            fmMain->FSession->FParity,   fmMain->FSession->FDataBits,
            fmMain->FSession->FStopBits, fmMain->FSession->FFlowControl};
}

void store(const Stored &s)
{
    fmMain->FSession->FComPort = s.port;
    fmMain->FSession->FBaudRate = s.baud;
    fmMain->FSession->FParity = s.parity;
    fmMain->FSession->FDataBits = s.dataBits;
    fmMain->FSession->FStopBits = s.stopBits;
    fmMain->FSession->FFlowControl = s.flow;
}

QStringList items(const QComboBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

void present(const QSet<int> &ports)
{
    fmCommSet->portProbe = [ports](int n) { return ports.contains(n); };
}

// The operator picks an item, as a click on the list would.
void pick(QComboBox *list, const QString &text)
{
    const int index = list->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    list->setCurrentIndex(index);
    emit list->activated(index);
}

bool serialListsEnabled()
{
    const bool on = fmCommSet->cxBaud->isEnabled();
    for (QWidget *w :
         {static_cast<QWidget *>(fmCommSet->cxParity), static_cast<QWidget *>(fmCommSet->cxDBits),
          static_cast<QWidget *>(fmCommSet->cxSBits), static_cast<QWidget *>(fmCommSet->cxFlow)})
        if (w->isEnabled() != on)
            return !on; // mixed: never what the test expects
    return on && !fmCommSet->edIP->isEnabled();
}

} // namespace

Q_DECLARE_METATYPE(Stored)

class TestCommSet : public QObject
{
    Q_OBJECT

private slots:
    void portList_data();
    void portList();
    void showLoadsStoredValues_data();
    void showLoadsStoredValues();
    void okStoresChoices_data();
    void okStoresChoices();
    void valuesNotInListsAreKept();
    void cancelStoresNothing();
    void networkLink_data();
    void networkLink();
    void helpAndHints();
};

void TestCommSet::portList_data()
{
    QTest::addColumn<int>("comPort");
    QTest::addColumn<QList<int>>("ports");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selected");

    QTest::newRow("COM3 of COM1 and COM3")
        << 3 << QList<int>{1, 3} << QStringList{"IP", "COM1:", "COM3: **"} << 2;
    QTest::newRow("network") << 0 << QList<int>{1, 3} << QStringList{"IP **", "COM1:", "COM3:"}
                             << 0;
    QTest::newRow("no port can be opened") << 2 << QList<int>{} << QStringList{"IP"} << 0;
    QTest::newRow("current port missing")
        << 5 << QList<int>{1, 3} << QStringList{"IP", "COM1:", "COM3:"} << 0;
    QTest::newRow("two-digit and last port")
        << 12 << QList<int>{255, 2, 12} << QStringList{"IP", "COM2:", "COM12: **", "COM255:"} << 2;
}

void TestCommSet::portList()
{
    QFETCH(int, comPort);
    QFETCH(QList<int>, ports);
    QFETCH(QStringList, expected);
    QFETCH(int, selected);
    TestWindows w;
    QList<int> probed;
    const QSet<int> set(ports.begin(), ports.end());
    fmCommSet->portProbe = [&probed, set](int n) {
        probed << n;
        return set.contains(n);
    };
    fmMain->FSession->FComPort = comPort;

    fmCommSet->show();

    QCOMPARE(items(fmCommSet->cxPort), expected);
    QCOMPARE(fmCommSet->cxPort->currentIndex(), selected);
    QCOMPARE(serialListsEnabled(), selected != 0);
    QCOMPARE(probed.size(), 255);
    QCOMPARE(probed.first(), 1);
    QCOMPARE(probed.last(), 255);

    // A second show lists afresh.
    fmCommSet->hide();
    fmCommSet->show();
    QCOMPARE(items(fmCommSet->cxPort), expected);
    QCOMPARE(probed.size(), 510);
}

void TestCommSet::showLoadsStoredValues_data()
{
    QTest::addColumn<Stored>("values");
    QTest::addColumn<QStringList>("shown"); // baud, parity, data bits, stop bits, flow
    QTest::newRow("defaults") << Stored{1, 9600, 0, 8, 1, 2}
                              << QStringList{"9600", "NONE", "8", "1", "CTS/RTS"};
    QTest::newRow("other end of every list")
        << Stored{1, 115200, 4, 7, 2, 3} << QStringList{"115200", "SPACE", "7", "2", "NONE"};
    QTest::newRow("network, DTR/DSR, mark")
        << Stored{0, 1200, 3, 8, 1, 0} << QStringList{"1200", "MARK", "8", "1", "DTR/DSR"};
}

void TestCommSet::showLoadsStoredValues()
{
    QFETCH(Stored, values);
    QFETCH(QStringList, shown);
    TestWindows w;
    present({1, 2});
    store(values);
    fmMain->FSession->setPrinterAddress(QStringLiteral("192.168.10.20"));

    fmCommSet->show();

    const QStringList texts{fmCommSet->cxBaud->currentText(), fmCommSet->cxParity->currentText(),
                            fmCommSet->cxDBits->currentText(), fmCommSet->cxSBits->currentText(),
                            fmCommSet->cxFlow->currentText()};
    QCOMPARE(texts, shown);
    QCOMPARE(fmCommSet->edIP->text(), QStringLiteral("192.168.10.20"));
    QVERIFY(!fmCommSet->ipChanged());

    // OK without touching anything stores the same values.
    fmCommSet->bbOK->click();
    QCOMPARE(stored(), values);
    QCOMPARE(fmMain->FSession->printerAddress(), QStringLiteral("192.168.10.20"));
    QCOMPARE(fmNet->edIP->text(), QStringLiteral("192.168.10.20"));
    QVERIFY(fmCommSet->isHidden());
    QCOMPARE(fmCommSet->result(), int(ModalResult::OK));
}

void TestCommSet::okStoresChoices_data()
{
    QTest::addColumn<int>("comPort");
    QTest::addColumn<QString>("portItem");
    QTest::addColumn<QStringList>("choices"); // baud, parity, data bits, stop bits, flow
    QTest::addColumn<Stored>("expected");
    QTest::newRow("another port") << 3
                                  << "COM12:" << QStringList{"57600", "EVEN", "7", "2", "XON/XOFF"}
                                  << Stored{12, 57600, 2, 7, 2, 1};
    QTest::newRow("current port, marked")
        << 12 << "COM12: **" << QStringList{"1200", "ODD", "8", "1", "NONE"}
        << Stored{12, 1200, 1, 8, 1, 3};
    // The serial values are stored too when the network is chosen.
    QTest::newRow("network") << 3 << "IP" << QStringList{"4800", "MARK", "8", "2", "DTR/DSR"}
                             << Stored{0, 4800, 3, 8, 2, 0};
    QTest::newRow("first port from the network")
        << 0 << "COM3:" << QStringList{"9600", "NONE", "8", "1", "CTS/RTS"}
        << Stored{3, 9600, 0, 8, 1, 2};
}

void TestCommSet::okStoresChoices()
{
    QFETCH(int, comPort);
    QFETCH(QString, portItem);
    QFETCH(QStringList, choices);
    QFETCH(Stored, expected);
    TestWindows w;
    present({3, 12});
    store({comPort, 9600, 0, 8, 1, 2});
    fmCommSet->show();

    pick(fmCommSet->cxPort, portItem);
    QCOMPARE(serialListsEnabled(), expected.port != 0);
    pick(fmCommSet->cxBaud, choices[0]);
    pick(fmCommSet->cxParity, choices[1]);
    pick(fmCommSet->cxDBits, choices[2]);
    pick(fmCommSet->cxSBits, choices[3]);
    pick(fmCommSet->cxFlow, choices[4]);
    fmCommSet->bbOK->click();

    QCOMPARE(stored(), expected);
}

void TestCommSet::valuesNotInListsAreKept()
{
    TestWindows w;
    present({1});
    // Values a hand-edited settings file may hold: none is an item of its list.
    const Stored odd{1, 14400, 7, 6, 3, 9};
    store(odd);
    fmCommSet->show();

    QCOMPARE(fmCommSet->cxBaud->currentIndex(), -1);
    QCOMPARE(fmCommSet->cxParity->currentIndex(), -1);
    QCOMPARE(fmCommSet->cxDBits->currentIndex(), -1);
    QCOMPARE(fmCommSet->cxSBits->currentIndex(), -1);
    QCOMPARE(fmCommSet->cxFlow->currentIndex(), -1);
    fmCommSet->bbOK->click();
    QCOMPARE(stored(), odd);

    // A list the operator did choose from is taken.
    fmCommSet->show();
    pick(fmCommSet->cxBaud, QStringLiteral("19200"));
    fmCommSet->bbOK->click();
    QCOMPARE(stored(), (Stored{1, 19200, 7, 6, 3, 9}));
}

void TestCommSet::cancelStoresNothing()
{
    TestWindows w;
    present({1, 3});
    const Stored before{1, 9600, 0, 8, 1, 2};
    store(before);
    fmMain->FSession->setPrinterAddress(QStringLiteral("10.0.0.1"));
    fmNet->edIP->setText(fmMain->FSession->printerAddress());
    fmCommSet->show();

    pick(fmCommSet->cxPort, QStringLiteral("IP"));
    pick(fmCommSet->cxBaud, QStringLiteral("115200"));
    pick(fmCommSet->cxFlow, QStringLiteral("NONE"));
    QTest::keyClicks(fmCommSet->edIP, QStringLiteral("9"));
    fmCommSet->bbCancel->click();

    QCOMPARE(stored(), before);
    QCOMPARE(fmMain->FSession->printerAddress(), QStringLiteral("10.0.0.1"));
    QCOMPARE(fmNet->edIP->text(), QStringLiteral("10.0.0.1"));
    QCOMPARE(fmCommSet->result(), int(ModalResult::Cancel));

    // Abandoned changes do not survive to the next show.
    fmCommSet->show();
    QCOMPARE(fmCommSet->cxPort->currentText(), QStringLiteral("COM1: **"));
    QCOMPARE(fmCommSet->cxBaud->currentText(), QStringLiteral("9600"));
    QCOMPARE(fmCommSet->cxFlow->currentText(), QStringLiteral("CTS/RTS"));
    QCOMPARE(fmCommSet->edIP->text(), QStringLiteral("10.0.0.1"));

    // Escape is Cancel too.
    QTest::keyClicks(fmCommSet->edIP, QStringLiteral("9"));
    QTest::keyClick(fmCommSet, Qt::Key_Escape);
    QVERIFY(fmCommSet->isHidden());
    QCOMPARE(fmMain->FSession->printerAddress(), QStringLiteral("10.0.0.1"));
    QCOMPARE(fmCommSet->result(), int(ModalResult::Cancel));
}

void TestCommSet::networkLink_data()
{
    QTest::addColumn<QString>("typed"); // what the operator types over the address
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("address");
    QTest::newRow("OK untouched") << QString() << true << true << "127.0.0.1";
    // Typing counts, even when the text ends as it was.
    QTest::newRow("typed the same address, OK") << "127.0.0.1" << true << false << "127.0.0.1";
    QTest::newRow("typed a new address, OK") << "127.0.0.2" << true << false << "127.0.0.2";
    QTest::newRow("typed, Cancel") << "127.0.0.2" << false << true << "127.0.0.1";
}

void TestCommSet::networkLink()
{
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    QFETCH(bool, connected);
    QFETCH(QString, address);
    TestWindows w;
    present({});
    QTcpServer printer;
    QVERIFY(printer.listen(QHostAddress::LocalHost));
    store({0, 9600, 0, 8, 1, 2});
    fmMain->FSession->setPrinterAddress(QStringLiteral("127.0.0.1"));
    fmNet->edIP->setText(fmMain->FSession->printerAddress());
    fmNet->edPort->setText(QString::number(printer.serverPort()));
    fmNet->NetConnect();
    QTRY_COMPARE(fmNet->csNet->state(), QAbstractSocket::ConnectedState);

    fmCommSet->show();
    if (!typed.isNull()) {
        fmCommSet->edIP->selectAll();
        QTest::keyClicks(fmCommSet->edIP, typed);
    }
    (ok ? fmCommSet->bbOK : fmCommSet->bbCancel)->click();

    QCOMPARE(fmNet->csNet->state() == QAbstractSocket::ConnectedState, connected);
    QCOMPARE(fmMain->FSession->printerAddress(), address);
    QCOMPARE(fmNet->edIP->text(), address);
    QCOMPARE(fmMain->FSession->FComPort, 0);
}

void TestCommSet::helpAndHints()
{
    TestWindows w;
    present({});
    fmMain->miShowHints->setChecked(false);
    fmCommSet->show();
    QVERIFY(!ShowHint(fmCommSet));
    QCOMPARE(fmCommSet->cxPort->toolTip(), QStringLiteral("Select communication port"));

    fmCommSet->BitBtn1->click();
    QTest::keyClick(fmCommSet, Qt::Key_F1);
    QCOMPARE(w.help.requests.size(), 2);
    for (const FakeHelp::Request &r : w.help.requests) {
        QCOMPARE(r.file, QLatin1String(HelpFileName));
        QCOMPARE(r.context, 7);
    }
    QVERIFY(fmCommSet->isVisible()); // help leaves the dialog open

    fmCommSet->hide();
    fmMain->miShowHints->setChecked(true);
    fmCommSet->show();
    QVERIFY(ShowHint(fmCommSet));
}

QTEST_MAIN(TestCommSet)
#include "tst_commset.moc"
