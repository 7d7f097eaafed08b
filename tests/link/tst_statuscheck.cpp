// The encoding status check's outcomes, on replies the emulator sends over a real link.
#include <QSignalSpy>
#include <QtTest>

#include "LinkFixture.h"
#include "link/StatusCheck.h"

Q_DECLARE_METATYPE(StatusCheck::Outcome)

class TestStatusCheck : public QObject
{
    Q_OBJECT
private slots:
    void outcome_data();
    void outcome();
    void noReplyFor26Polls();
    void checkedSendRestartsTheCount();
};

void TestStatusCheck::outcome_data()
{
    QTest::addColumn<QString>("replyText"); // as the emulator's --reply-text takes it
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("due"); // checks begun before the poll
    QTest::addColumn<StatusCheck::Outcome>("outcome");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("pollAgain");

    const QString ok = QStringLiteral("{J,\"\",\"\",\"\",\"\"}");
    using O = StatusCheck::Outcome;
    QTest::newRow("success") << ok + "\\r\\n" << 1 << 1 << O::OperationOk << ok << false;
    QTest::newRow("first field set")
        << QStringLiteral("{J,\"E1\",\"\",\"\",\"\"}\\r\\n") << 1 << 1 << O::EncodingFailed
        << QStringLiteral("{J,\"E1\",\"\",\"\",\"\"}") << false;
    QTest::newRow("small j") << QStringLiteral("{j,\"\",\"\",\"\",\"\"}\\n") << 1 << 1
                             << O::EncodingFailed << QStringLiteral("{j,\"\",\"\",\"\",\"\"}")
                             << false;
    QTest::newRow("space between fields")
        << QStringLiteral("{J,\"\", \"\",\"\",\"\"}\\r\\n") << 1 << 1 << O::EncodingFailed
        << QStringLiteral("{J,\"\", \"\",\"\",\"\"}") << false;
    QTest::newRow("partial line at the poll")
        << QStringLiteral("{J,\"\",\"\",") << 1 << 1 << O::EncodingFailed
        << QStringLiteral("{J,\"\",\"\",") << false;
    QTest::newRow("two replies, two due: the first, then poll on")
        << ok + "\\r\\n{J,\"E9\",\"\",\"\",\"\"}\\r\\n"
        << 2 << 2 << O::OperationOk << ok << true;
}

void TestStatusCheck::outcome()
{
    QFETCH(QString, replyText);
    QFETCH(int, lines);
    QFETCH(int, due);
    QFETCH(StatusCheck::Outcome, outcome);
    QFETCH(QString, reply);
    QFETCH(bool, pollAgain);

    LinkFixture f;
    QVERIFY(f.start({QStringLiteral("--reply-text"), replyText}));
    StatusCheck check(&f.link);
    QVERIFY(f.sendChecked("{B,1,N,1|\r\n}\r\n", lines));
    for (int i = 0; i < due; ++i)
        check.begin(i > 0);

    const StatusCheck::Result r = check.poll();
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.reply, reply);
    QCOMPARE(r.pollAgain, pollAgain);
    QCOMPARE(f.link.replies().lineCount(), lines - 1);
}

void TestStatusCheck::noReplyFor26Polls()
{
    LinkFixture f;
    QVERIFY(f.start({QStringLiteral("--reply"), QStringLiteral("none")}));
    StatusCheck check(&f.link);
    QVERIFY(f.sendChecked("x", 0));
    check.begin(false);
    QSignalSpy checked(&check, &StatusCheck::checked);
    for (int poll = 1; poll < StatusCheck::MaxPolls; ++poll) {
        const StatusCheck::Result r = check.poll();
        QCOMPARE(r.outcome, StatusCheck::Outcome::Polling);
        QCOMPARE(r.poll, poll);
        QVERIFY(r.pollAgain);
    }
    const StatusCheck::Result last = check.poll();
    QCOMPARE(last.outcome, StatusCheck::Outcome::NoResponse);
    QVERIFY(!last.pollAgain);
    QCOMPARE(check.FRepliesDue, 0);
    QCOMPARE(checked.count(), StatusCheck::MaxPolls);
}

void TestStatusCheck::checkedSendRestartsTheCount()
{
    NetLink link;
    StatusCheck check(&link);
    check.FStatusPolls = 7;
    link.setPortText(QStringLiteral("no port")); // the send fails; the count still restarts
    link.SendWithStatus("x");
    QCOMPARE(check.FStatusPolls, 0);
}

QTEST_GUILESS_MAIN(TestStatusCheck)
#include "tst_statuscheck.moc"
