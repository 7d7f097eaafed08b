// One file over either link with no window: serial blocks to the emulator's pseudo-terminal,
// the network stream to its TCP side.
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QtTest>

#include "LinkFixture.h"
#include "link/FileSender.h"
#include "link/PortNames.h"
#include "link/SerialLink.h"

Q_DECLARE_METATYPE(FileSender::Outcome)

namespace
{
constexpr int PtyPort = 7; // above 2: the pseudo-terminal gets no line settings

// Bytes whose order shows: any slip, loss or doubling changes what the printer got.
QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 7 + i / 251) % 256);
    return b;
}
} // namespace

class TestFileSender : public QObject
{
    Q_OBJECT
private slots:
    void serialBlocks_data();
    void serialBlocks();
    void netStream();
    void netLinkFailsAfterTheWholeFile();
};

void TestFileSender::serialBlocks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("blocks");
    QTest::newRow("1000 bytes") << 1000 << QList<int>{512, 488};
    QTest::newRow("exact multiple") << 1536 << QList<int>{512, 512, 512};
    QTest::newRow("under a block") << 100 << QList<int>{100};
    QTest::newRow("empty") << 0 << QList<int>{};
}

void TestFileSender::serialBlocks()
{
#ifndef Q_OS_UNIX
    QSKIP("pseudo-terminals are POSIX only");
#endif
    QFETCH(int, size);
    QFETCH(QList<int>, blocks);

    LinkFixture f;
    QVERIFY(f.start({QStringLiteral("--pty")}));
    PortOverrides[PtyPort] = f.sim.ptyPath();
    SerialLink serial;
    SerialSettings settings;
    settings.port = PtyPort;
    QCOMPARE(serial.open(settings), SerialLink::OpenResult::Ok);
    QTemporaryFile file;
    const QByteArray content = pattern(size);
    QVERIFY(file.open() && file.write(content) == size && file.seek(0));

    FileSender sender(&serial, &f.link);
    QList<int> written;
    connect(&sender, &FileSender::blockWritten, this, [&](int n) { written << n; });
    QSignalSpy finished(&sender, &FileSender::finished);
    sender.startSerial(&file, size);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<FileSender::Outcome>(), FileSender::Outcome::Sent);
    QVERIFY(!sender.busy());
    QCOMPARE(written, blocks);
    QVERIFY(f.sim.waitForBytes(size));
    QCOMPARE(f.sim.received(), content);
    PortOverrides.remove(PtyPort);
}

void TestFileSender::netStream()
{
    LinkFixture f;
    QVERIFY(f.start({QStringLiteral("--reply"), QStringLiteral("none")}));
    SerialLink serial;
    QTemporaryFile file;
    const int size = 300 * 1024; // several pieces of NetLink::InFlight
    const QByteArray content = pattern(size);
    QVERIFY(file.open() && file.write(content) == size && file.seek(0));

    FileSender sender(&serial, &f.link);
    QSignalSpy progress(&sender, &FileSender::netProgress);
    QSignalSpy finished(&sender, &FileSender::finished);
    sender.startNet(&file, size);
    QVERIFY(sender.busy());
    QVERIFY(f.connectWaitingSend());
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<FileSender::Outcome>(), FileSender::Outcome::Sent);
    const qint64 total = size + NetLink::StatusRequest.size();
    QVERIFY(progress.count() > 1);
    QCOMPARE(progress.last().at(0).toLongLong(), total);
    QCOMPARE(progress.last().at(1).toLongLong(), total);
    QVERIFY(f.sim.waitForBytes(total));
    QCOMPARE(f.sim.received(), content + NetLink::StatusRequest);
    QVERIFY(f.link.tiCheck->isActive()); // the status check follows
}

void TestFileSender::netLinkFailsAfterTheWholeFile()
{
    LinkFixture f;
    QVERIFY(f.start({QStringLiteral("--reply"), QStringLiteral("none")}));
    SerialLink serial;
    QTemporaryFile file;
    QVERIFY(file.open() && file.write(pattern(1000)) == 1000 && file.seek(0));
    FileSender sender(&serial, &f.link);
    QSignalSpy finished(&sender, &FileSender::finished);
    sender.startNet(&file, 1000);
    QVERIFY(f.connectWaitingSend());
    QVERIFY(file.atEnd() && f.link.transferring()); // read whole, not yet passed on
    f.link.NetDisconnect();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).value<FileSender::Outcome>(), FileSender::Outcome::LinkFailed);
}

QTEST_GUILESS_MAIN(TestFileSender)
#include "tst_filesender.moc"
