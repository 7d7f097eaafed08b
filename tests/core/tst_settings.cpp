// The settings file: decoding, defaults, and round trips that keep a user's own lines.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "common/TestFiles.h"
#include "core/Files.h"
#include "core/Settings.h"

namespace
{
StoredSettings readText(const QByteArray &text)
{
    SettingsFile file;
    file.loadBytes(text);
    return file.read();
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private slots:
    void decodeParity_data();
    void decodeParity();
    void decodeFlowControl_data();
    void decodeFlowControl();
    void namesDecodeToTheirNumbers();
    void readValues_data();
    void readValues();
    void missingFileGivesDefaults();
    void garbageFileGivesDefaults();
    void firstRunWritesEveryKey();
    void userFileSurvivesWrite();
    void roundTrip_data();
    void roundTrip();
    void initFilesBeyondCountAreRemoved();
    void unwritablePlaceKeepsOldFile();
    void wholeFileOrNothing_data();
    void wholeFileOrNothing();
    void settingsPlace_data();
    void settingsPlace();
};

void TestSettings::decodeParity_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("parity");
    QTest::newRow("None") << "None" << 0;
    QTest::newRow("Odd") << "Odd" << 1;
    QTest::newRow("even, lower case") << "even" << 2;
    QTest::newRow("Mark") << "Mark" << 3;
    QTest::newRow("space") << "s" << 4;
    QTest::newRow("unknown letter") << "X" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("digit") << "2" << 0;
}

void TestSettings::decodeParity()
{
    QFETCH(QString, value);
    QFETCH(int, parity);
    QCOMPARE(DecodeParity(value), parity);
}

void TestSettings::decodeFlowControl_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("flow");
    QTest::newRow("None label") << "None" << 0;
    QTest::newRow("xon") << "xon" << 1;
    QTest::newRow("DTR/DSR label") << "DTR/DSR" << 2;
    QTest::newRow("cts") << "cts" << 3;
    QTest::newRow("Hardware falls back") << "Hardware" << 2;
    QTest::newRow("empty reads as default") << "" << 2;
}

void TestSettings::decodeFlowControl()
{
    QFETCH(QString, value);
    QFETCH(int, flow);
    QCOMPARE(DecodeFlowControl(value), flow);
}

void TestSettings::namesDecodeToTheirNumbers()
{
    for (int p = 0; p <= 4; ++p)
        QCOMPARE(DecodeParity(EncodeParity(p)), p);
    for (int f = 0; f <= 3; ++f)
        QCOMPARE(DecodeFlowControl(EncodeFlowControl(f)), f);
    // The file's labels are not the handshakes the numbers select; stored files rely on them.
    QCOMPARE(EncodeFlowControl(0), QStringLiteral("None"));
    QCOMPARE(EncodeFlowControl(2), QStringLiteral("DTR/DSR"));
    QCOMPARE(EncodeFlowControl(3), QStringLiteral("CTS/RTS"));
}

void TestSettings::readValues_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("com");
    QTest::addColumn<bool>("firstRun");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<int>("baud");
    QTest::newRow("COM=0: network, not first run")
        << QByteArray("[EPC]\nCOM=0\n") << 0 << false << 1 << 96 << 9600;
    QTest::newRow("COM=-5: COM1, first run")
        << QByteArray("[EPC]\nCOM=-5\n") << 1 << true << 1 << 96 << 9600;
    QTest::newRow("COM not a number: default")
        << QByteArray("[EPC]\nCOM=abc\n") << 1 << true << 1 << 96 << 9600;
    QTest::newRow("keys in any case")
        << QByteArray("[epc]\ncom=3\nstopbits=2\nbaud=38400\n") << 3 << false << 2 << 96 << 38400;
    QTest::newRow("STOPBITS=3 reads as 1")
        << QByteArray("[EPC]\nCOM=1\nSTOPBITS=3\n") << 1 << false << 1 << 96 << 9600;
    QTest::newRow("DATASIZE=128 gives 64")
        << QByteArray("[EPC]\nCOM=1\nDATASIZE=128\n") << 1 << false << 1 << 64 << 9600;
    QTest::newRow("DATASIZE=100 gives 64")
        << QByteArray("[EPC]\nCOM=1\nDATASIZE=100\n") << 1 << false << 1 << 64 << 9600;
    QTest::newRow("BAUD unchecked")
        << QByteArray("[EPC]\nCOM=2\nBAUD=14400\n") << 2 << false << 1 << 96 << 14400;
    QTest::newRow("key twice: the first counts")
        << QByteArray("[EPC]\nCOM=2\nBAUD=4800\ncom=3\nBaud=0\n") << 2 << false << 1 << 96 << 4800;
    QTest::newRow("CRLF line ends")
        << QByteArray("[EPC]\r\nCOM=4\r\nDATASIZE=64\r\n") << 4 << false << 1 << 64 << 9600;
}

void TestSettings::readValues()
{
    QFETCH(QByteArray, text);
    const StoredSettings s = readText(text);
    QTEST(s.comPort, "com");
    QTEST(s.firstRun, "firstRun");
    QTEST(s.stopBits, "stopBits");
    QTEST(s.dataSize, "dataSize");
    QTEST(s.baudRate, "baud");
}

void TestSettings::missingFileGivesDefaults()
{
    QTemporaryDir dir;
    SettingsFile file;
    file.load(dir.filePath("absent.INI"));
    const StoredSettings s = file.read();
    QCOMPARE(s.comPort, 1);
    QVERIFY(s.firstRun);
    QCOMPARE(s.parity, 0);
    QCOMPARE(s.flowControl, 2);
    QCOMPARE(s.dataSize, 96);
    QCOMPARE(s.rfidData, QStringLiteral("0123456789ABCDEF00000000"));
    QCOMPARE(s.initFiles.size(), 10);
}

void TestSettings::garbageFileGivesDefaults()
{
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 7919) & 0xFF));
    const StoredSettings s = readText(junk);
    QCOMPARE(s.comPort, 1);
    QCOMPARE(s.baudRate, 9600);
}

void TestSettings::firstRunWritesEveryKey()
{
    SettingsFile file;
    file.loadBytes(QByteArray());
    StoredSettings s;
    s.initFiles.clear();
    file.write(s);
    const QByteArray out = file.toBytes();
    QCOMPARE(out, readFile(QStringLiteral(QUILBO_TEST_DATA "/settings/first-run.expected.ini")));
}

void TestSettings::userFileSurvivesWrite()
{
    SettingsFile file;
    file.loadBytes(readFile(QStringLiteral(QUILBO_TEST_DATA "/settings/user.ini")));
    StoredSettings s = file.read();
    QCOMPARE(s.comPort, 0);
    QCOMPARE(s.parity, 2);
    QCOMPARE(s.flowControl, 1);
    QCOMPARE(s.dataSize, 64);
    QCOMPARE(s.recentFiles.value(0), QStringLiteral("C:\\formats\\label.fmt"));
    QCOMPARE(s.ports.value(7), QStringLiteral("/dev/ttyACM0"));

    s.initFiles = QStringList{QStringLiteral("C:\\init\\a.gph"), QStringLiteral("C:\\init\\b.gph"),
                              QStringLiteral("C:\\init\\c.gph")};
    file.write(s);
    QCOMPARE(file.toBytes(),
             readFile(QStringLiteral(QUILBO_TEST_DATA "/settings/user.expected.ini")));
}

// A damaged or odd file written once at close, against its golden copy; the next close leaves
// it as it is.
void TestSettings::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("zero bytes and an empty section name") << QStringLiteral("zero-bytes");
    QTest::newRow("keys twice") << QStringLiteral("key-twice");
    QTest::newRow("lines that are no entry") << QStringLiteral("bare-lines");
    QTest::newRow("comments after the last entry") << QStringLiteral("trailing-comments");
    QTest::newRow("text after a header") << QStringLiteral("header-trailers");
    QTest::newRow("headers without their bracket") << QStringLiteral("unclosed-headers");
    QTest::newRow("byte order mark") << QStringLiteral("byte-order-mark");
    QTest::newRow("the GS1 serial steps") << QStringLiteral("step-serial");
}

void TestSettings::roundTrip()
{
    QFETCH(QString, name);
    const QString data = QStringLiteral(QUILBO_TEST_DATA "/settings/") + name;
    SettingsFile file;
    file.loadBytes(readFile(data + ".ini"));
    file.write(file.read());
    const QByteArray written = file.toBytes();
    QCOMPARE(written, readFile(data + ".expected.ini"));
    file.loadBytes(written);
    file.write(file.read());
    QCOMPARE(file.toBytes(), written);
}

void TestSettings::initFilesBeyondCountAreRemoved()
{
    SettingsFile file;
    file.loadBytes("[EPC]\nINIFILE0=a\nINIFILE1=b\nINIFILE2=c\nINIFILE9=z\n");
    StoredSettings s = file.read();
    s.initFiles = QStringList{QStringLiteral("b")};
    file.write(s);
    SettingsFile again;
    again.loadBytes(file.toBytes());
    const StoredSettings back = again.read();
    QCOMPARE(back.initFiles.value(0), QStringLiteral("b"));
    for (int i = 1; i < 10; ++i)
        QVERIFY2(back.initFiles.value(i).isEmpty(), qPrintable(QString::number(i)));

    // Twelve entries: only the first ten are kept.
    QStringList twelve;
    for (int i = 0; i < 12; ++i)
        twelve << QStringLiteral("f%1").arg(i);
    s.initFiles = twelve;
    file.write(s);
    again.loadBytes(file.toBytes());
    QCOMPARE(again.read().initFiles, twelve.mid(0, 10));
    QVERIFY(!file.toBytes().contains("INIFILE10"));
}

void TestSettings::unwritablePlaceKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quilbo.INI");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[EPC]\nCOM=5\n");
    }
    SettingsFile file;
    file.load(path);
    file.write(StoredSettings());
    // A folder where the file should be cannot be replaced by it.
    const QString blocked = dir.filePath("folder.INI");
    QVERIFY(QDir(dir.path()).mkdir("folder.INI"));
    QString error;
    QVERIFY(!file.save(blocked, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readFile(path), QByteArray("[EPC]\nCOM=5\n"));
    QVERIFY(file.save(path));
    QVERIFY(readFile(path).contains("COM=1"));
    // A new file is its owner's alone, whatever the umask.
    const QString fresh = dir.filePath("new.INI");
    const mode_t mask = umask(0);
    const bool saved = file.save(fresh);
    umask(mask);
    QVERIFY(saved);
    struct stat st {
    };
    QCOMPARE(stat(QFile::encodeName(fresh).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0600));
}

void TestSettings::wholeFileOrNothing_data()
{
    QTest::addColumn<bool>("inPlace");    // no other file can be made beside it
    QTest::addColumn<QByteArray>("data"); // over an old file of 12 bytes, with room for 12
    QTest::addColumn<bool>("written");
    const QByteArray longer(40, 'n'), shorter("short\n");
    QTest::newRow("beside, too long for the disk") << false << longer << false;
    QTest::newRow("beside, shorter") << false << shorter << true;
    QTest::newRow("in place, too long for the disk") << true << longer << false;
    QTest::newRow("in place, shorter: the old tail goes") << true << shorter << true;
    QTest::newRow("in place, as long") << true << QByteArray("[EPC]\nCOM=7\n") << true;
}

void TestSettings::wholeFileOrNothing()
{
    QFETCH(bool, inPlace);
    QFETCH(QByteArray, data);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const QString path = dir.filePath("quilbo.INI");
    const QByteArray old("[EPC]\nCOM=5\n");
    QVERIFY(writeFile(path, old));
    WholeFileOptions options;
    options.inPlaceFallback = true;
    options.inPlaceOnly = inPlace;
    QString error;
    {
        FullDisk full(rlim_t(old.size()));
        QVERIFY(full.on());
        QCOMPARE(WriteWholeFile(path, data, &error, options), written);
    }
    QCOMPARE(readFile(path), written ? data : old);
    QCOMPARE(error.isEmpty(), written);
}

void TestSettings::settingsPlace_data()
{
    QTest::addColumn<QStringList>("made"); // folders (ending in "/") and files under the root
    QTest::addColumn<bool>("beside");
    QTest::newRow("portable folder") << QStringList{"app/"} << true;
    QTest::newRow("a bin folder alone") << QStringList{"bin/"} << true;
    QTest::newRow("installed") << QStringList{"bin/", "share/"} << false;
    QTest::newRow("installed, with a file beside")
        << QStringList{"bin/", "share/", "bin/quilbo.INI"} << true;
}

void TestSettings::settingsPlace()
{
    QFETCH(QStringList, made);
    QFETCH(bool, beside);
    QTemporaryDir dir;
    for (const QString &m : made)
        QVERIFY(m.endsWith('/') ? QDir(dir.path()).mkpath(m) : writeFile(dir.filePath(m), "x"));
    const QString exe = dir.filePath(made.first() + "quilbo");
    const QString config = dir.filePath("config");
    QCOMPARE(SettingsPathFor(exe, config),
             beside ? dir.filePath(made.first() + "quilbo.INI") : config + "/quilbo.INI");
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
