// The network transport on its own, against the printer emulator: no window exists.
#include <QSignalSpy>
#include <QtTest>

#include "LinkFixture.h"

Q_DECLARE_METATYPE(NetLink::Tone)

class TestNetLink : public QObject
{
    Q_OBJECT
private slots:
    void sendArrivesExactly_data();
    void sendArrivesExactly();
    void badPortIsReportedNotShown();
};

void TestNetLink::sendArrivesExactly_data()
{
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("checked") << true << QByteArray("{B,1,N,1|\r\n}\r\n");
    QTest::newRow("plain") << false << QByteArray("{J,3}");
    QTest::newRow("checked, zero byte kept") << true << QByteArray("a\0b", 3);
}

void TestNetLink::sendArrivesExactly()
{
    QFETCH(bool, checked);
    QFETCH(QByteArray, text);

    LinkFixture f;
    QVERIFY(f.start({QStringLiteral("--reply"), QStringLiteral("success")}));
    QSignalSpy status(&f.link, &NetLink::statusText);
    QSignalSpy finished(&f.link, &NetLink::transferFinished);
    QSignalSpy due(&f.link, &NetLink::checkDue);
    if (checked)
        f.link.SendWithStatus(text);
    else
        f.link.NetSend(text);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Connecting"));
    QCOMPARE(f.link.tiNetConnected->interval(), 250);
    QVERIFY(f.connectWaitingSend());

    const QByteArray expected = checked ? text + NetLink::StatusRequest : text;
    QVERIFY(f.sim.waitForBytes(expected.size()));
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(f.sim.received(), expected);
    QCOMPARE(f.link.tiCheck->isActive(), checked);
    if (!checked)
        return;
    QCOMPARE(f.link.tiCheck->interval(), 500);
    QTRY_VERIFY(!f.link.replies().isEmpty());
    f.link.tiCheckTimer();
    QCOMPARE(due.count(), 1);
    QString reply;
    QCOMPARE(f.link.TakeReply(reply), 0);
    QCOMPARE(reply, QStringLiteral("{J,\"\",\"\",\"\",\"\"}"));
    QCOMPARE(f.link.TakeReply(reply), -1);
}

void TestNetLink::badPortIsReportedNotShown()
{
    NetLink link;
    link.setHost(QStringLiteral("127.0.0.1"));
    link.setPortText(QStringLiteral("70000"));
    QSignalSpy warning(&link, &NetLink::warning);
    QSignalSpy state(&link, &NetLink::linkState);
    QSignalSpy finished(&link, &NetLink::transferFinished);
    link.NetSend("never");
    QCOMPARE(state.count(), 1);
    QCOMPARE(state.at(0).at(0).toString(), QStringLiteral("Error"));
    QCOMPARE(warning.count(), 0); // queued: the call may run inside a socket event
    QTRY_COMPARE(warning.count(), 1);
    QCOMPARE(warning.at(0).at(0).toString(), QStringLiteral("NetConnect"));
    QVERIFY(warning.at(0).at(1).toString().startsWith(QStringLiteral("The port \"70000\"")));
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(!finished.at(0).at(0).toBool());
}

QTEST_GUILESS_MAIN(TestNetLink)
#include "tst_netlink.moc"
