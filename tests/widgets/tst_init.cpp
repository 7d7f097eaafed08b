// The start-up initialization dialog, the flash memory format and the start-up sequence.
#include <QtTest>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <functional>

#include "PrinterSim.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "core/Settings.h"
#include "link/PortNames.h"
#include "widgets/Prompt.h"
#include "widgets/TfmCommSet.h"
#include "widgets/TfmFormFl.h"
#include "widgets/TfmInit.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"

namespace
{

const QByteArray Packet = "{I,E,\"~123~044~034~124~125~126~094\"|}";

constexpr int PtyPort = 9;

// The emulator's pseudo-terminal as the printer on COM9 (set after the windows exist: they
// start with no port overrides).
bool startSerialPrinter(PrinterSim &sim)
{
    if (!sim.start({QStringLiteral("--pty")}))
        return false;
    PortOverrides[PtyPort] = sim.ptyPath();
    return true;
}

// Answers the program's own modal windows as they come up, in the order given. A window that
// is not next in the script is rejected and noted, so that a wrong turn fails instead of
// hanging.
class ModalScript : public QObject
{
public:
    using Action = std::function<void(QWidget *)>;
    ModalScript()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &ModalScript::poll);
        m_timer.start();
    }
    void add(const QString &name, Action action) { m_steps.append({name, std::move(action)}); }

    QStringList seen;       // windows answered, in order
    QStringList unexpected; // windows that came up out of turn
    bool done() const { return m_steps.isEmpty(); }

private:
    void poll()
    {
        auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!modal || !modal->isVisible())
            return;
        if (m_steps.isEmpty() || m_steps.first().first != modal->objectName()) {
            unexpected << modal->objectName();
            modal->reject();
            return;
        }
        const auto step = m_steps.takeFirst();
        seen << step.first;
        step.second(modal);
    }

    QTimer m_timer;
    QList<QPair<QString, Action>> m_steps;
};

// The serial transfer without its two delays.
void runTransfer(QWidget *)
{
    fmProg->tiDelayTimer();
    if (fmProg->tiMsgDelay->isActive())
        fmProg->tiMsgDelayTimer();
}

QByteArray iniFor(int port, int baud)
{
    return QStringLiteral("[EPC]\r\nCOM=%1\r\nBAUD=%2\r\nPARITY=N\r\nDATABITS=8\r\nSTOPBITS=1\r\n"
                          "FLOWCTRL=N\r\n")
        .arg(port)
        .arg(baud)
        .toLatin1();
}

} // namespace

class TestInit : public QObject
{
    Q_OBJECT

private slots:
    // The dialog.
    void detailsToggle();
    void showCommSettings_data();
    void showCommSettings();
    void storedFilesLoadedOnce_data();
    void storedFilesLoadedOnce();
    void addAndDelete();
    void resultsAndHelp();

    // Flash memory.
    void flashAnswers_data();
    void flashAnswers();
#ifdef Q_OS_UNIX
    void flashSerial();
    void flashCancelDuringWait_data();
    void flashCancelDuringWait();
#endif
    void flashNetwork();

    // Start-up sequence.
    void firstRun();
    void longDelayQuestion_data();
    void longDelayQuestion();
    void storedFileOverNetwork();
#ifdef Q_OS_UNIX
    void twelveFilesSentTenStored();
    void cancelledFile_data();
    void cancelledFile();
#endif
};

void TestInit::detailsToggle()
{
    TestWindows w;
    QCOMPARE(fmInit->sbDetails->text(), QStringLiteral("Show Details"));
    QCOMPARE(fmInit->size(), QSize(210, 168));
    QVERIFY(fmInit->lxFilesToSend->isHidden());

    fmInit->sbDetailsClick();
    QCOMPARE(fmInit->sbDetails->text(), QStringLiteral("Hide details"));
    QCOMPARE(fmInit->sbDetails->property("tag").toInt(), 1);
    QCOMPARE(fmInit->size(), QSize(406, 372));
    QVERIFY(!fmInit->lxFilesToSend->isHidden());
    QVERIFY(!fmInit->laCommSettings->isHidden());

    fmInit->sbDetailsClick();
    QCOMPARE(fmInit->sbDetails->text(), QStringLiteral("Show details"));
    QCOMPARE(fmInit->sbDetails->property("tag").toInt(), 0);
    QCOMPARE(fmInit->size(), QSize(210, 168));
    QVERIFY(fmInit->lxFilesToSend->isHidden());
}

void TestInit::showCommSettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("expected");
    QTest::newRow("network") << QByteArray("[EPC]\r\nCOM=0\r\nTCPIPADDR=10.1.2.3\r\n")
                             << "IP 10.1.2.3";
    QTest::newRow("COM1 defaults")
        << QByteArray("[EPC]\r\nCOM=1\r\nBAUD=9600\r\nPARITY=N\r\nDATABITS=8\r\nSTOPBITS=1\r\n"
                      "FLOWCTRL=N\r\n")
        << "COM1: 9600, NONE, 8, 1, DTR/DSR";
    QTest::newRow("COM2 other values")
        << QByteArray("[EPC]\r\nCOM=2\r\nBAUD=38400\r\nPARITY=E\r\nDATABITS=7\r\nSTOPBITS=2\r\n"
                      "FLOWCTRL=D\r\n")
        << "COM2: 38400, EVEN, 7, 2, CTS/RTS";
    QTest::newRow("USB adapter") << QByteArray("[EPC]\r\nCOM=3\r\n") << "COM3: USB";
    QTest::newRow("high port") << QByteArray("[EPC]\r\nCOM=255\r\n") << "COM255: USB";
}

void TestInit::showCommSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);
    TestWindows w(ini);
    // As at start-up: the settings dialog has loaded its controls once.
    fmCommSet->show();
    fmCommSet->hide();
    fmInit->ShowCommSettings();
    QCOMPARE(fmInit->laCommSettings->text(), expected);
}

// The stored files join the list on the first show only, up to the first empty entry; the
// list is not cleared by a later show, and nothing in it is doubled.
void TestInit::storedFilesLoadedOnce_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("none") << QStringList() << QStringList();
    QTest::newRow("stops at a gap")
        << QStringList{"a.fmt", "b.gph", "", "c.tfd"} << QStringList{"a.fmt", "b.gph"};
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten << QStringLiteral("f%1.all").arg(i);
    QTest::newRow("all ten") << ten << ten;
}

void TestInit::storedFilesLoadedOnce()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, listed);
    QByteArray ini = "[EPC]\r\nCOM=3\r\n";
    for (int i = 0; i < stored.size(); ++i)
        ini += "INIFILE" + QByteArray::number(i) + "=" + stored[i].toLatin1() + "\r\n";
    TestWindows w(ini);
    QVERIFY(!fmMain->FInitListLoaded);

    fmInit->show();
    QCOMPARE(fmInit->FileList(), listed);
    QVERIFY(fmMain->FInitListLoaded);
    QCOMPARE(HelpFile(), QStringLiteral("Quilbo_HELP.hlp"));
    QVERIFY(w.help.requests.isEmpty()); // not a first run
    fmInit->hide();

    fmMain->FInitFileList << QStringLiteral("added.fmt");
    fmInit->show();
    QCOMPARE(fmInit->FileList(), listed + QStringList{"added.fmt"});
    fmInit->hide();
}

void TestInit::addAndDelete()
{
    TestWindows w("[EPC]\r\nCOM=3\r\nFILENAME1=/data/formats/label.fmt\r\n");
    QCOMPARE(LastInitFile, QStringLiteral("/data/formats/label.fmt"));

    w.prompt.paths.enqueue(QStringLiteral("/data/init/one.gph"));
    fmInit->sbAddFileClick();
    QCOMPARE(w.prompt.asked.size(), 1);
    const PromptQuestion q = w.prompt.asked.first();
    QCOMPARE(q.kind, PromptQuestion::Open);
    QCOMPARE(q.caption, QStringLiteral("Select Initialization File"));
    QCOMPARE(q.folder, QStringLiteral("/data/formats"));
    QCOMPARE(q.text, QStringLiteral("/data/formats/label.fmt"));
    QVERIFY(q.filter.startsWith("CVPL files (*.txt,*.fmt,*.bat,*.gph,*.tfd,*.cfu,*.all)|"));
    QVERIFY(q.filter.endsWith("|All files (*.*)|*.*"));
    QCOMPARE(LastInitFile, QStringLiteral("/data/init/one.gph"));

    // Cancel (an empty path) changes nothing; the next dialog starts at the last choice.
    fmInit->sbAddFileClick();
    QCOMPARE(w.prompt.asked.last().folder, QStringLiteral("/data/init"));
    QCOMPARE(LastInitFile, QStringLiteral("/data/init/one.gph"));
    w.prompt.paths.enqueue(QStringLiteral("/data/init/two.tfd"));
    fmInit->sbAddFileClick();
    QCOMPARE(fmInit->FileList(), (QStringList{"/data/init/one.gph", "/data/init/two.tfd"}));

    // Nothing selected: nothing goes, even with a current row.
    fmInit->lxFilesToSend->setCurrentRow(0, QItemSelectionModel::NoUpdate);
    fmInit->lxFilesToSend->clearSelection();
    fmInit->sbDeleteClick();
    QCOMPARE(fmInit->lxFilesToSend->count(), 2);

    fmInit->lxFilesToSend->setCurrentRow(0);
    fmInit->sbDeleteClick();
    QCOMPARE(fmInit->FileList(), QStringList{"/data/init/two.tfd"});
}

void TestInit::resultsAndHelp()
{
    TestWindows w("[EPC]\r\nCOM=3\r\n");
    fmInit->show();
    fmInit->bbHelp->click();
    QCOMPARE(w.help.requests.size(), 1);
    QCOMPARE(w.help.requests.first().file, QString::fromLatin1(HelpFileName));
    QCOMPARE(w.help.requests.first().context, 4);
    QVERIFY(fmInit->isVisible());

    fmInit->bbYes->click();
    QCOMPARE(fmInit->result(), int(ModalResult::Yes));
    fmInit->show();
    fmInit->bbNo->click();
    QCOMPARE(fmInit->result(), int(ModalResult::No));
    fmInit->show();
    QTest::keyClick(fmInit, Qt::Key_Escape);
    QVERIFY(!fmInit->isVisible());
    QCOMPARE(fmInit->result(), int(ModalResult::Cancel));
}

// ---- Flash memory -----------------------------------------------------------------------

// Answers before any format: the result, and the way of closing, decide alone; nothing is sent.
void TestInit::flashAnswers_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::newRow("No") << "no" << int(ModalResult::No);
    QTest::newRow("Cancel") << "cancel" << int(ModalResult::Cancel);
    QTest::newRow("Escape") << "escape" << int(ModalResult::Cancel);
    QTest::newRow("close") << "close" << int(ModalResult::Cancel);
}

void TestInit::flashAnswers()
{
    QFETCH(QString, how);
    QFETCH(int, result);
    TestWindows w("[EPC]\r\nCOM=3\r\n");
    QVERIFY(!(fmFormFl->windowFlags() & Qt::WindowCloseButtonHint));
    fmFormFl->show();
    QCOMPARE(fmFormFl->closingResult(), int(ModalResult::Cancel));
    QCOMPARE(fmFormFl->tickLimit(), 40);
    QCOMPARE(fmFormFl->laMsg1->text(), QStringLiteral("Format Flash Memory?"));
    if (how == "no")
        fmFormFl->sbNo->click();
    else if (how == "cancel")
        fmFormFl->sbCancel->click();
    else if (how == "escape")
        QTest::keyClick(fmFormFl, Qt::Key_Escape);
    else
        fmFormFl->close();
    QVERIFY(!fmFormFl->isVisible());
    QCOMPARE(fmFormFl->result(), result);
    QVERIFY(!fmFormFl->tiWait->isActive());
    QVERIFY(w.prompt.asked.isEmpty()); // COM3 was never opened
}

#ifdef Q_OS_UNIX
// Two texts, in order: the packet at once, "^FF1" on the third tick; Yes after the last
// tick with the link released. The window is kept and starts afresh on its next showing.
void TestInit::flashSerial()
{
    TestWindows w("[EPC]\r\nCOM=9\r\n");
    PrinterSim sim;
    QVERIFY2(startSerialPrinter(sim), qPrintable(sim.errorString()));

    fmFormFl->show();
    fmFormFl->sbYesClick();
    QVERIFY(!fmFormFl->sbYes->isEnabled());
    QVERIFY(!fmFormFl->sbNo->isEnabled());
    QVERIFY(fmFormFl->sbCancel->isEnabled());
    QVERIFY(fmFormFl->pbProgress->isVisible());
    QCOMPARE(fmFormFl->laMsg1->text(), QStringLiteral("Please wait ..."));
    QCOMPARE(fmFormFl->pbProgress->maximum(), 40);
    QVERIFY(fmFormFl->tiWait->isActive());
    QCOMPARE(fmFormFl->tiWait->interval(), 500);
    QVERIFY(sim.waitForBytes(Packet.size()));
    QCOMPARE(sim.received(), Packet);

    fmFormFl->tiWaitTimer();
    fmFormFl->tiWaitTimer();
    QCOMPARE(sim.received(), Packet);
    fmFormFl->tiWaitTimer(); // the third tick, 1.5 s after Yes
    QVERIFY(sim.waitForBytes(Packet.size() + 4));
    QCOMPARE(sim.received(), Packet + "^FF1");
    for (int i = 3; i < 40; ++i) {
        fmFormFl->tiWaitTimer();
        QVERIFY(fmFormFl->isVisible());
    }
    QCOMPARE(fmFormFl->pbProgress->value(), 40);
    fmFormFl->tiWaitTimer(); // tick 41: the wait is over
    QVERIFY(!fmFormFl->isVisible());
    QCOMPARE(fmFormFl->result(), int(ModalResult::Yes));
    QVERIFY(!fmFormFl->tiWait->isActive());
    QVERIFY(!fmMain->FSession->portOpen());
    QVERIFY(!fmNet->FLinkActive);
    QCOMPARE(sim.received(), Packet + "^FF1");
    QVERIFY(w.prompt.asked.isEmpty());

    fmFormFl->show();
    QCOMPARE(fmFormFl->laMsg1->text(), QStringLiteral("Format Flash Memory?"));
    QVERIFY(fmFormFl->sbYes->isEnabled());
    QVERIFY(fmFormFl->sbNo->isEnabled());
    QVERIFY(!fmFormFl->pbProgress->isVisible());
    QCOMPARE(fmFormFl->closingResult(), int(ModalResult::Cancel));
    QCOMPARE(fmFormFl->tiWait->interval(), 3000);
    QTest::keyClick(fmFormFl, Qt::Key_Escape);
    QCOMPARE(fmFormFl->result(), int(ModalResult::Cancel));
}

// Cancel during the wait: Cancel at once, and nothing more goes to the printer.
void TestInit::flashCancelDuringWait_data()
{
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("before the second text") << 1 << Packet;
    QTest::newRow("after the second text") << 5 << Packet + "^FF1";
}

void TestInit::flashCancelDuringWait()
{
    QFETCH(int, ticks);
    QFETCH(QByteArray, sent);
    TestWindows w("[EPC]\r\nCOM=9\r\n");
    PrinterSim sim;
    QVERIFY2(startSerialPrinter(sim), qPrintable(sim.errorString()));

    fmFormFl->show();
    fmFormFl->sbYesClick();
    for (int i = 0; i < ticks; ++i)
        fmFormFl->tiWaitTimer();
    fmFormFl->sbCancel->click();
    QVERIFY(!fmFormFl->isVisible());
    QCOMPARE(fmFormFl->result(), int(ModalResult::Cancel));
    QVERIFY(!fmFormFl->tiWait->isActive());
    QVERIFY(sim.waitForBytes(sent.size()));
    QCOMPARE(sim.received(), sent);
}
#endif

// On the network each text carries the status request; the wait is 120 ticks, and the end
// takes the connection down.
void TestInit::flashNetwork()
{
    PrinterSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    TestWindows w("[EPC]\r\nCOM=0\r\nTCPIPADDR=127.0.0.1\r\n");
    fmNet->edIP->setText(QStringLiteral("127.0.0.1"));
    fmNet->edPort->setText(QString::number(sim.port()));
    fmMain->tiEncdStat->setInterval(3600 * 1000); // the polls are driven by hand

    fmFormFl->show();
    QCOMPARE(fmFormFl->tickLimit(), 120);
    fmFormFl->sbYesClick();
    QCOMPARE(fmFormFl->pbProgress->maximum(), 120);
    const QByteArray first = Packet + "\n{J,3}";
    QVERIFY(sim.waitForBytes(first.size()));
    QCOMPARE(sim.received(), first);
    QTRY_VERIFY(!fmNet->replies().isEmpty()); // and the first check polls when "^FF1" goes
    if (fmNet->tiCheck->isActive())
        fmNet->tiCheckTimer();

    fmFormFl->tiWaitTimer();
    fmFormFl->tiWaitTimer();
    fmFormFl->tiWaitTimer();
    const QByteArray both = first + "^FF1\n{J,3}";
    QVERIFY(sim.waitForBytes(both.size()));
    QVERIFY(fmNet->FLinkActive);
    QTRY_COMPARE(fmNet->replies().finishedLines(), 2); // each request has its own reply
    fmMain->tiEncdStatTimer();
    fmNet->tiCheckTimer();
    fmMain->tiEncdStatTimer();
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Operation OK"));
    QVERIFY(!fmMain->tiEncdStat->isActive());
    for (int i = 3; i < 120; ++i)
        fmFormFl->tiWaitTimer();
    QVERIFY(fmFormFl->isVisible());
    fmFormFl->tiWaitTimer();
    QVERIFY(!fmFormFl->isVisible());
    QCOMPARE(fmFormFl->result(), int(ModalResult::Yes));
    QVERIFY(!fmNet->FLinkActive);
    QVERIFY(!fmMain->FSession->portOpen());
    QCOMPARE(sim.received(), both);
}

// ---- Start-up sequence ------------------------------------------------------------------

// No settings file: the help opens at its contents with the dialog, and the list holds the
// one demonstration file. No sends nothing and offers no format.
void TestInit::firstRun()
{
    TestWindows w;
    QVERIFY(fmMain->FFirstRun);
    QStringList listed;
    ModalScript script;
    script.add(QStringLiteral("fmInit"), [&](QWidget *) {
        listed = fmInit->FileList();
        fmInit->bbNo->click();
    });
    fmMain->tiInitDelayTimer();
    QVERIFY(!fmMain->tiInitDelay->isActive());
    QCOMPARE(script.seen, QStringList{"fmInit"});
    QCOMPARE(script.unexpected, QStringList());
    QCOMPARE(listed, QStringList{".\\showgphf.gph"});
    QCOMPARE(w.help.requests.size(), 1);
    QCOMPARE(w.help.requests.first().file, QStringLiteral("Quilbo_HELP.hlp"));
    QCOMPARE(w.help.requests.first().context, int(HelpContentsPage));
    QVERIFY(!fmMain->tiInitFileSend->isActive());
    QVERIFY(w.prompt.asked.isEmpty());
}

// Slow serial settings bring the question before the format offer; its answer decides
// whether the sequence goes on. Fast lines, USB adapters and the network go straight on.
void TestInit::longDelayQuestion_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("answer"); // to the question, when asked
    QTest::addColumn<bool>("asked");
    QTest::addColumn<QStringList>("windows");
    QTest::addColumn<bool>("sending");
    const QStringList initOnly{"fmInit"};
    const QStringList withFlash{"fmInit", "fmFormFl"};
    const QStringList withComm{"fmInit", "fmCommSet", "fmFormFl"};
    QTest::newRow("COM1 9600, Cancel") << 1 << 9600 << 2 << true << initOnly << false;
    QTest::newRow("COM1 9600, No") << 1 << 9600 << 7 << true << withFlash << true;
    QTest::newRow("COM1 9600, Yes") << 1 << 9600 << 6 << true << withComm << true;
    QTest::newRow("COM2 19200, Cancel") << 2 << 19200 << 2 << true << initOnly << false;
    QTest::newRow("COM1 38400") << 1 << 38400 << 0 << false << withFlash << true;
    QTest::newRow("COM3 9600") << 3 << 9600 << 0 << false << withFlash << true;
    QTest::newRow("network") << 0 << 9600 << 0 << false << withFlash << true;
}

void TestInit::longDelayQuestion()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(QStringList, windows);
    QFETCH(bool, sending);
    TestWindows w(iniFor(port, baud));
    if (asked)
        w.prompt.answers.enqueue(answer);
    ModalScript script;
    script.add(QStringLiteral("fmInit"), [](QWidget *) { fmInit->bbYes->click(); });
    if (windows.contains("fmCommSet"))
        script.add(QStringLiteral("fmCommSet"), [](QWidget *d) { d->close(); });
    if (windows.contains("fmFormFl"))
        script.add(QStringLiteral("fmFormFl"), [](QWidget *) { fmFormFl->sbNo->click(); });
    fmMain->tiInitDelayTimer();

    QCOMPARE(script.seen, windows);
    QCOMPARE(script.unexpected, QStringList());
    const QStringList question{"Initialize Printer: Long delay possible.  Change comm settings?"};
    QCOMPARE(w.prompt.messages(), asked ? question : QStringList());
    if (asked)
        QCOMPARE(w.prompt.asked.first().buttons, PromptButtons::YesNoCancel);
    QCOMPARE(fmMain->tiInitFileSend->isActive(), sending);
    if (sending) {
        // An empty list: the sequence ends at its first tick with nothing sent.
        fmMain->tiInitFileSendTimer();
        QVERIFY(!fmMain->tiInitFileSend->isActive());
        QCOMPARE(script.unexpected, QStringList());
        QCOMPARE(fmMain->FInitFileIndex, 0);
    }
}

// A stored initial file, the network link, Yes, then No to the flash format: the printer gets
// the file's bytes unchanged, then the status request.
void TestInit::storedFileOverNetwork()
{
    PrinterSim sim;
    QVERIFY2(sim.start(), qPrintable(sim.errorString()));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("logo.gph"));
    const QByteArray content =
        QByteArray("{G,1|\r\n") + '\0' + QByteArray(3000, '\xA5') + QByteArray("}\r\n");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    TestWindows w("[EPC]\r\nCOM=0\r\nTCPIPADDR=127.0.0.1\r\nINIFILE0=" + path.toLatin1() + "\r\n");
    fmNet->edPort->setText(QString::number(sim.port()));

    {
        ModalScript script;
        script.add(QStringLiteral("fmInit"), [](QWidget *) { fmInit->bbYes->click(); });
        script.add(QStringLiteral("fmFormFl"), [](QWidget *) { fmFormFl->sbNo->click(); });
        fmMain->tiInitDelayTimer();
        QVERIFY(script.done());
        QCOMPARE(script.unexpected, QStringList());
    }
    // The transfer window stays up while the file streams; its open step is run at once.
    QTimer::singleShot(0, fmProg, [] { fmProg->tiDelayTimer(); });
    fmMain->tiInitFileSendTimer();

    const QByteArray expected = content + "\n{J,3}";
    QVERIFY(sim.waitForBytes(expected.size()));
    QVERIFY(sim.received() == expected);
    QVERIFY(w.prompt.messages().isEmpty());
    QCOMPARE(SendFileName, path);
    QCOMPARE(fmMain->FInitFileIndex, 1);
}

#ifdef Q_OS_UNIX
// Twelve files added by hand all go, one at a time and in order, each once the send button
// is back; only the first ten are kept for the next start.
void TestInit::twelveFilesSentTenStored()
{
    TestWindows w(iniFor(PtyPort, 9600));
    PrinterSim sim;
    QVERIFY2(startSerialPrinter(sim), qPrintable(sim.errorString()));
    QStringList files;
    QByteArray expected;
    for (int i = 0; i < 12; ++i) {
        files << w.tempPath(QStringLiteral("init%1.fmt").arg(i));
        const QByteArray content =
            QByteArray("file ") + QByteArray::number(i) + '\0' + QByteArray(600 + i, char('a' + i));
        QFile f(files.last());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        expected += content;
    }
    w.prompt.paths.append(files);

    ModalScript script;
    script.add(QStringLiteral("fmInit"), [](QWidget *) {
        fmInit->sbDetailsClick();
        for (int i = 0; i < 12; ++i)
            fmInit->sbAddFileClick();
        fmInit->bbYes->click();
    });
    script.add(QStringLiteral("fmFormFl"), [](QWidget *) { fmFormFl->sbNo->click(); });
    for (int i = 0; i < 12; ++i)
        script.add(QStringLiteral("fmProg"), runTransfer);
    fmMain->tiInitDelayTimer();
    QCOMPARE(fmInit->lxFilesToSend->count(), 12);
    QVERIFY(fmMain->tiInitFileSend->isActive());
    QCOMPARE(fmMain->tiInitFileSend->interval(), 500);

    for (int i = 0; i < 12; ++i) {
        // A send under way holds the sequence; the timer stays on and tries again.
        fmMain->SetSendBusy(true);
        fmMain->tiInitFileSendTimer();
        QCOMPARE(fmMain->FInitFileIndex, i);
        QVERIFY(fmMain->tiInitFileSend->isActive());

        fmMain->tiStatHoldTimer(); // the status hold runs out: the button is back
        fmMain->tiInitFileSendTimer();
        QCOMPARE(fmMain->FInitFileIndex, i + 1);
        QCOMPARE(SendFileName, files[i]);
        QCOMPARE(fmMain->tiInitFileSend->interval(), 2000);
        QVERIFY(fmMain->tiInitFileSend->isActive());
    }
    fmMain->tiStatHoldTimer();
    fmMain->tiInitFileSendTimer();
    QVERIFY(!fmMain->tiInitFileSend->isActive());
    QVERIFY(script.done());
    QCOMPARE(script.unexpected, QStringList());
    QVERIFY(sim.waitForBytes(expected.size()));
    QVERIFY(sim.received() == expected);
    QVERIFY(w.prompt.messages().isEmpty());

    QVERIFY(fmMain->WriteSettings());
    SettingsFile stored;
    stored.load(w.settingsPath());
    QCOMPARE(stored.read().initFiles, files.mid(0, 10));
    QFile ini(w.settingsPath());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QVERIFY(text.contains("INIFILE9=" + files[9].toLatin1()));
    QVERIFY(!text.contains("INIFILE10"));
}

// Cancel in the middle of an initial file ends the sequence: the next file would land on top
// of the part the printer has. Cancel before the first byte goes on with the next file.
void TestInit::cancelledFile_data()
{
    QTest::addColumn<bool>("partway");
    QTest::newRow("after the first block") << true;
    QTest::newRow("before the first byte") << false;
}

void TestInit::cancelledFile()
{
    QFETCH(bool, partway);
    TestWindows w(iniFor(PtyPort, 9600));
    PrinterSim sim;
    QVERIFY2(startSerialPrinter(sim), qPrintable(sim.errorString()));
    for (int i = 0; i < 2; ++i) {
        const QString path = w.tempPath(QStringLiteral("init%1.gph").arg(i));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'g'));
        fmMain->FInitFileList << path;
    }
    ModalScript script;
    script.add(QStringLiteral("fmProg"), [partway](QWidget *w) {
        fmProg->FSliceMs = 0; // one block per turn
        if (partway)
            runTransfer(w);
        fmProg->bbCancel->click();
    });
    fmMain->tiInitFileSendTimer();
    fmProg->FSliceMs = 30;
    QVERIFY(script.done());
    QCOMPARE(fmMain->tiInitFileSend->isActive(), !partway);
    QCOMPARE(fmMain->laStat->text(),
             partway ? "File transfer cancelled: 512 of 4096 bytes sent." : "Sending initial file");
}
#endif

QTEST_MAIN(TestInit)
#include "tst_init.moc"
