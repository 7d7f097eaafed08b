// The main window: start values from the settings file, the status line, the width rules,
// the tag data commands, the key handler and the close query; exceptions in the event loop.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <stdexcept>

#include "TestFiles.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "core/Settings.h"
#include "core/TagData.h"
#include "link/PortNames.h"
#include "widgets/Controls.h"
#include "widgets/TfmGs1Epc.h"
#include "widgets/TfmInit.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmProg.h"

namespace
{
QColor statusColour()
{
    return fmMain->laStat->palette().color(QPalette::WindowText);
}

StoredSettings readBack(const QString &path)
{
    SettingsFile f;
    f.load(path);
    return f.read();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void startValuesWithoutFile();
    void startValuesFromFile_data();
    void startValuesFromFile();
    void statusHoldRestartsWithEveryMessage();
    void widthStaysWithinLimits();
    void switchingKeepsTheBits_data();
    void switchingKeepsTheBits();
    void sizeRoundTripZeroesTheTail();
    void clickingTheCheckedItemChangesNothing();
    void limitCheckPaintsRedUntilNextEdit();
    void blankedDigitFailsTheCheck_data();
    void blankedDigitFailsTheCheck();
    void initialFilesWaitForManualTransfer();
    void carriageReturnOnlyWithoutFocus();
    void closeWritesEveryKey();
    void closeWithUnwritablePlaceStillCloses();
    void exceptionInHandlerIsShownOnce();
    void dialogsAndPicturesAfterTheFirstPaint();
    void closedBeforeTheDialogsKeepsRecentFiles();
    void meaningLine_data();
    void meaningLine();
    void meaningFollowsIncrement();
    void gs1DialogFillsEntry_data();
    void gs1DialogFillsEntry();
};

void TestMainWindow::startValuesWithoutFile()
{
    TestWindows w;
    QCOMPARE(fmMain->FSession->FComPort, 1);
    QVERIFY(fmMain->FFirstRun);
    QCOMPARE(fmMain->FSession->FFlowControl, 2);
    QCOMPARE(fmMain->FSession->FDataFormat, 2);
    QCOMPARE(fmMain->FSession->FDataSize, 96);
    QVERIFY(fmMain->miHex->isChecked());
    QVERIFY(fmMain->miDataSize96->isChecked());
    QVERIFY(!fmMain->miDataSize64->isChecked());
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0123456789ABCDEF00000000"));
    QCOMPARE(fmMain->laEPC->text(), QStringLiteral("96-bit Hex Data"));
    QVERIFY(fmMain->tiStatHold->isActive());
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Initializing"));
}

void TestMainWindow::startValuesFromFile_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("com");
    QTest::addColumn<bool>("firstRun");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("COM=0") << QByteArray("[EPC]\nCOM=0\n") << 0 << false << 96
                           << "0123456789ABCDEF00000000";
    QTest::newRow("COM=-5") << QByteArray("[EPC]\nCOM=-5\n") << 1 << true << 96
                            << "0123456789ABCDEF00000000";
    QTest::newRow("DATASIZE=128, stored text under the 64-bit mask")
        << QByteArray("[EPC]\nCOM=2\nDATASIZE=128\nRFIDDATA=FEDCBA9876543210\n") << 2 << false << 64
        << "FEDCBA9876543210";
    QTest::newRow("stored text longer than the mask is cut")
        << QByteArray("[EPC]\nCOM=2\nDATASIZE=64\nRFIDDATA=0123456789ABCDEF0000\n") << 2 << false
        << 64 << "0123456789ABCDEF";
    QTest::newRow("stored blank keeps its place")
        << QByteArray("[EPC]\nCOM=2\nRFIDDATA=01-3456789ABCDEF00000000\n") << 2 << false << 96
        << "01-3456789ABCDEF00000000";
}

void TestMainWindow::startValuesFromFile()
{
    QFETCH(QByteArray, ini);
    TestWindows w(ini);
    QTEST(fmMain->FSession->FComPort, "com");
    QTEST(fmMain->FFirstRun, "firstRun");
    QTEST(fmMain->FSession->FDataSize, "size");
    QTEST(fmMain->entryText(), "text");
}

void TestMainWindow::statusHoldRestartsWithEveryMessage()
{
    TestWindows w;
    fmMain->sbSendBatch->setEnabled(false);
    fmMain->SetStatus(QStringLiteral("first"), TfmMain::Blue);
    QCOMPARE(fmMain->tiStatHold->interval(), 5000);
    // A second message later on starts the hold anew, whatever was left of the first.
    fmMain->tiStatHold->start(2000);
    fmMain->tiStatHold->setInterval(5000);
    fmMain->SetStatus(QStringLiteral("second"), TfmMain::DarkGreen);
    QVERIFY(fmMain->tiStatHold->isActive());
    QVERIFY(fmMain->tiStatHold->remainingTime() > 4000);
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("second"));
    QCOMPARE(statusColour(), TfmMain::DarkGreen);
    // Too long for the window: cut with an ellipsis where the window ends, whole in the tip.
    const QString text = QStringLiteral("Journal not written (/%1/quilbo-journal.csv): file to "
                                        "open is a directory")
                             .arg(QString(80, QLatin1Char('x')));
    fmMain->SetStatus(text, TfmMain::Red);
    const QString shown = static_cast<ElidedLabel *>(fmMain->laStat)->shownText();
    QVERIFY2(shown.endsWith(QChar(0x2026)) && shown.startsWith(QStringLiteral("Journal not")),
             qPrintable(shown));
    QVERIFY(fmMain->laStat->fontMetrics().horizontalAdvance(shown) <= fmMain->width());
    QCOMPARE(fmMain->laStat->toolTip(), text);
    QCOMPARE(fmMain->laStat->text(), text);
    QCOMPARE(fmMain->laStat->height(), 24);
    fmMain->SetStatus(QStringLiteral("second"), TfmMain::DarkGreen);
    QVERIFY(!fmMain->sbSendBatch->isEnabled());

    fmMain->tiStatHoldTimer();
    QCOMPARE(fmMain->laStat->text(), QStringLiteral("Idle"));
    QCOMPARE(statusColour(), QColor(0x80, 0x80, 0x80));
    QVERIFY(fmMain->sbSendBatch->isEnabled());
    QVERIFY(!fmMain->tiStatHold->isActive());
}

void TestMainWindow::widthStaysWithinLimits()
{
    TestWindows w;
    QFont font = fmMain->laLenTest->font();
    font.setPointSize(72);
    fmMain->laLenTest->setFont(font);
    fmMain->FitWidthToEPC();
    QCOMPARE(fmMain->width(), 800);
    // The send button and the emblem keep their distance from the right edge.
    QCOMPARE(fmMain->sbSendBatch->x(), 800 - fmMain->sbSendBatch->width() - 40);
    QCOMPARE(fmMain->medEPC->width(), 800 - 2 * fmMain->medEPC->x() - 8);

    font.setPointSize(1);
    fmMain->laLenTest->setFont(font);
    fmMain->FitWidthToEPC();
    QCOMPARE(fmMain->width(), 354);
    QCOMPARE(fmMain->imEPC->x(), 354 - fmMain->imEPC->width() - 24);
    QCOMPARE(fmMain->height(), 303);
}

void TestMainWindow::switchingKeepsTheBits_data()
{
    QTest::addColumn<int>("fromFormat");
    QTest::addColumn<int>("fromSize");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("toFormat");
    QTest::addColumn<int>("toSize");
    QTest::addColumn<QString>("after");
    QTest::newRow("hex 64 to SGTIN 64")
        << 2 << 64 << "0123456789ABCDEF" << 1 << 64 << "0 0 091A2B3C4 1ABCDEF";
    QTest::newRow("SGTIN 64 to hex 64")
        << 1 << 64 << "1 2 3456789AB 0000000" << 2 << 64 << "568ACF1356000000";
    QTest::newRow("SGTIN 64 to SGTIN 96")
        << 1 << 64 << "1 2 3456789AB 0000000" << 1 << 96 << "56 4 2B3C4D580000 0000000000";
    QTest::newRow("hex 96 to hex 64")
        << 2 << 96 << "0123456789ABCDEF00000000" << 2 << 64 << "0123456789ABCDEF";
}

void TestMainWindow::switchingKeepsTheBits()
{
    QFETCH(int, fromFormat);
    QFETCH(int, fromSize);
    QFETCH(QString, before);
    QFETCH(int, toFormat);
    QFETCH(int, toSize);
    TestWindows w;
    fromSize == 64 ? fmMain->miDataSize64Click() : fmMain->miDataSize96Click();
    fromFormat == 1 ? fmMain->miSGTINClick() : fmMain->miHexClick();
    fmMain->medEPC->setText(before);
    QCOMPARE(fmMain->medEPC->text(), before);

    if (toSize != fromSize)
        toSize == 64 ? fmMain->miDataSize64Click() : fmMain->miDataSize96Click();
    if (toFormat != fromFormat)
        toFormat == 1 ? fmMain->miSGTINClick() : fmMain->miHexClick();
    QTEST(fmMain->medEPC->text(), "after");
    QCOMPARE(fmMain->FSession->FDataFormat, toFormat);
    QCOMPARE(fmMain->FSession->FDataSize, toSize);
    QCOMPARE(fmMain->laEPC->text(), TagFormatFor(toFormat, toSize).caption);
    QCOMPARE(fmMain->miSGTIN->isChecked(), toFormat == 1);
    QCOMPARE(fmMain->miHex->isChecked(), toFormat == 2);
}

void TestMainWindow::sizeRoundTripZeroesTheTail()
{
    TestWindows w;
    fmMain->medEPC->setText(QStringLiteral("FEDCBA9876543210ABCDEF12"));
    fmMain->miDataSize64Click();
    fmMain->miDataSize96Click();
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("FEDCBA987654321000000000"));

    // The same through SGTIN entry: the bits survive the detour.
    fmMain->miSGTINClick();
    fmMain->miHexClick();
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("FEDCBA987654321000000000"));
}

void TestMainWindow::clickingTheCheckedItemChangesNothing()
{
    TestWindows w;
    fmMain->medEPC->setText(QStringLiteral("00000000000000000000000A"));
    // Through the menu, as the operator does it: the item's own toggle must not fool the handler.
    fmMain->miHex->trigger();
    fmMain->miDataSize96->trigger();
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("00000000000000000000000A"));
    QVERIFY(fmMain->miHex->isChecked());
    QVERIFY(fmMain->miDataSize96->isChecked());

    fmMain->miDataSize64->trigger();
    QVERIFY(fmMain->miDataSize64->isChecked());
    QVERIFY(!fmMain->miDataSize96->isChecked());
    QCOMPARE(fmMain->medEPC->text(), QStringLiteral("0000000000000000"));
}

void TestMainWindow::limitCheckPaintsRedUntilNextEdit()
{
    TestWindows w;
    fmMain->miDataSize64Click();
    fmMain->medEPC->setText(QStringLiteral("0123456789ABCDEG"));
    QVERIFY(fmMain->CheckTagData());
    QCOMPARE(fmMain->medEPC->palette().color(QPalette::Base), QColor(255, 0, 0));
    fmMain->medEPC->setText(QStringLiteral("0123456789ABCDEF"));
    QVERIFY(fmMain->medEPC->palette().color(QPalette::Base) != QColor(255, 0, 0));
    QVERIFY(!fmMain->CheckTagData());
}

void TestMainWindow::blankedDigitFailsTheCheck_data()
{
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("selection"); // characters selected from the cursor, then typed over
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("stepped"); // after a step of 1; empty: the check fails
    QTest::newRow("delete in the middle") << 4 << 0 << int(Qt::Key_Delete) << QString();
    QTest::newRow("backspace in the middle") << 5 << 0 << int(Qt::Key_Backspace) << QString();
    QTest::newRow("select four, type one") << 2 << 4 << int(Qt::Key_A) << QString();
    QTest::newRow("untyped tail") << 23 << 1 << int(Qt::Key_Delete) << "0123456789ABCDEF00000001";
    QTest::newRow("four typed") << 4 << 20 << int(Qt::Key_Delete) << "012300000000000000000001";
    QTest::newRow("none typed") << 0 << 24 << int(Qt::Key_Delete) << "000000000000000000000001";
}

void TestMainWindow::blankedDigitFailsTheCheck()
{
    QFETCH(int, cursor);
    QFETCH(int, selection);
    QFETCH(int, key);
    QFETCH(QString, stepped);
    TestWindows w;
    fmMain->medEPC->setCursorPosition(cursor);
    if (selection > 0)
        fmMain->medEPC->setSelection(cursor, selection);
    QTest::keyClick(fmMain->medEPC, Qt::Key(key));
    // The digits after the blank keep their places: nothing moves left to fill it.
    QCOMPARE(fmMain->entryText().size(), stepped.isEmpty() ? 24 : cursor);
    QCOMPARE(fmMain->CheckTagData(), stepped.isEmpty());
    // The step starts from the value sent, the untyped tail as zeros.
    if (!stepped.isEmpty()) {
        fmMain->IncrementTagData();
        QCOMPARE(fmMain->entryText(), stepped);
    }
}

void TestMainWindow::initialFilesWaitForManualTransfer()
{
    TestWindows w;
    fmMain->FInitFileList << QStringLiteral("first.gph");
    SendFileName = QStringLiteral("manual.gph");
    fmProg->show(); // a transfer the operator started, which leaves the send button enabled
    fmMain->tiInitFileSend->start();
    fmMain->tiInitFileSendTimer();
    QCOMPARE(fmMain->FInitFileIndex, 0);
    QCOMPARE(SendFileName, QStringLiteral("manual.gph"));
    QVERIFY(fmMain->tiInitFileSend->isActive());
    fmProg->hide();
}

void TestMainWindow::carriageReturnOnlyWithoutFocus()
{
    TestWindows w;
    PortOverrides[9] = QStringLiteral("/nonexistent/quilbo-test-port");
    fmMain->FSession->FComPort = 9;
    fmMain->show();
    QVERIFY(QTest::qWaitForWindowExposed(fmMain));
    fmMain->activateWindow();

    fmMain->medEPC->setFocus();
    QTest::keyClick(fmMain->medEPC, Qt::Key_Return);
    QVERIFY(w.prompt.asked.isEmpty());

    fmMain->medEPC->clearFocus();
    fmMain->setFocus();
    w.prompt.answers.enqueue(ModalResult::No); // "Send format packet?"
    QTest::keyClick(fmMain, Qt::Key_Return);
    QVERIFY(!w.prompt.asked.isEmpty());
    QCOMPARE(w.prompt.asked.first().caption, QStringLiteral("Send Format"));
    fmMain->hide();
}

void TestMainWindow::closeWritesEveryKey()
{
    TestWindows w;
    QVERIFY(!QFile::exists(w.settingsPath()));
    fmMain->close();
    const QByteArray text = readFile(w.settingsPath());
    for (const char *line :
         {"COM=1", "BAUD=9600", "PARITY=None", "DATABITS=8", "STOPBITS=1", "FLOWCTRL=DTR/DSR",
          "DATAFORMAT=2", "DATASIZE=96", "HRFIELD=0", "FILENAME1=", "FILENAME5=", "SENDFILENAME=",
          "TCPIPADDR=", "RFIDDATA=0123456789ABCDEF00000000"})
        QVERIFY2(text.contains(QByteArray(line) + '\n'), line);
    QCOMPARE(readBack(w.settingsPath()).comPort, 1);
    QVERIFY(!readBack(w.settingsPath()).firstRun);
}

void TestMainWindow::closeWithUnwritablePlaceStillCloses()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("quilbo.INI")); // a folder where the file should go
    ResetProgramValues();
    FakePrompt prompt;
    CreateWindows(dir.filePath("quilbo.INI"));
    fmMain->tiInitDelay->stop();
    fmMain->show();
    QVERIFY(fmMain->close());
    QCOMPARE(prompt.messages(),
             QStringList{QStringLiteral("Write Error: Could not write initialization file.\nIs it "
                                        "read-only?")});
    QVERIFY(!fmMain->isVisible());
    DestroyWindows();
}

void TestMainWindow::meaningLine_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("hex");   // typed as it is, or as SGTIN fields
    QTest::addColumn<QString>("shown"); // the line's text begins with it
    QTest::addColumn<bool>("warns");
    QTest::addColumn<QString>("tip"); // part of the tool tip

    const char *sgtin = "3074257BF7194E4000001A85", *raw = "urn:epc:raw:96.x";
    const char *uri = "urn:epc:tag:sgtin-96:3.0614141.812345.6789";
    QTest::newRow("SGTIN-96 hex") << 2 << 96 << sgtin << uri << false
                                  << "(01)80614141123458(21)6789";
    QTest::newRow("typed as fields")
        << 1 << 96 << sgtin << uri << false << "https://id.gs1.org/01/80614141123458/21/6789";
    QTest::newRow("no scheme") << 2 << 96 << "0123456789ABCDEF00000000" << raw << false << "";
    QTest::newRow("64 bits") << 2 << 64 << "0123456789ABCDEF"
                             << "urn:epc:raw:64.x" << false << "";
    QTest::newRow("reserved partition")
        << 2 << 96 << "307C257BF7194E4000001A85"
        << "The partition value 7 is reserved. - " << true << "partition value 7 is reserved";
    QTest::newRow("serial at its maximum")
        << 2 << 96 << "3074257BF7194E7FFFFFFFFF"
        << "Incrementing by 1 runs past the serial" << true << "runs past the serial";
    QTest::newRow("not a hex digit") << 2 << 96 << "3074257BF7194E4000001A8G"
                                     << "Not a tag value" << true << "Format";
}

void TestMainWindow::meaningLine()
{
    QFETCH(int, format);
    QFETCH(int, size);
    QFETCH(QString, hex);
    QFETCH(QString, shown);
    QFETCH(bool, warns);
    QFETCH(QString, tip);
    TestWindows w;
    auto *line = fmMain->findChild<QLabel *>(QStringLiteral("laMeaning"));
    QVERIFY(line);
    size == 64 ? fmMain->miDataSize64Click() : fmMain->miDataSize96Click();
    if (format == 1)
        fmMain->miSGTINClick();
    fmMain->medEPC->setText(format == 1 ? UnpackTagFields(hex, Sgtin96Layout) : hex);
    QVERIFY2(line->text().startsWith(shown), qPrintable(line->text()));
    QCOMPARE(line->palette().color(QPalette::WindowText) == TfmMain::Red, warns);
    QVERIFY2(line->toolTip().contains(tip), qPrintable(line->toolTip()));
    // Room for the line, and the window keeps its height.
    QVERIFY(line->y() > fmMain->medEPC->geometry().bottom());
    QVERIFY(fmMain->laStat->y() > line->geometry().bottom());
    QCOMPARE(fmMain->height(), 303);
}

void TestMainWindow::meaningFollowsIncrement()
{
    TestWindows w("[EPC]\nCOM=1\nRFIDDATA=3074257BF7194E7FFFFFFFFE\n");
    const QLabel *line = fmMain->laMeaning;
    const auto warns = [line] {
        return line->palette().color(QPalette::WindowText) == TfmMain::Red;
    };
    QVERIFY(line->text().startsWith("urn:epc:tag:sgtin-96:3.0614141.812345.274877906942"));
    QVERIFY(!warns());
    fmMain->IncrementTagData();
    QVERIFY(line->text().startsWith("Incrementing by 1 runs past the serial"));
    QVERIFY(warns());
    fmMain->miAutoInc->trigger(); // without the increment the serial does not run out
    QVERIFY(!warns());
    // Stepping the serial: its own warning, and what the step does at the end of the line.
    fmMain->miAutoInc->trigger();
    fmMain->miStepSerial->trigger();
    QVERIFY2(
        line->toolTip().startsWith("The SGTIN serial reaches its largest value 274877906943") &&
            line->toolTip().endsWith("steps the SGTIN serial"),
        qPrintable(line->toolTip()));
    QVERIFY(warns());
}

void TestMainWindow::gs1DialogFillsEntry_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("hex");   // the entry's value before, typed as the format wants
    QTest::addColumn<QString>("key");   // pasted into the dialog; empty: OK as it opened
    QTest::addColumn<QString>("after"); // the entry in 96-bit hex

    const char *filter3 = "3074257BF7194E4000001A85";
    QTest::newRow("64 bits switch to 96") << 2 << 64 << "0123456789ABCDEF"
                                          << "(01)80614141123458(21)6789"
                                          << "3034257BF7194E4000001A85";
    QTest::newRow("starts from the 96-bit value") << 2 << 96 << filter3 << "" << filter3;
    QTest::newRow("SGTIN fields switch to hex") << 1 << 96 << filter3 << "" << filter3;
}

void TestMainWindow::gs1DialogFillsEntry()
{
    QFETCH(int, format);
    QFETCH(int, size);
    QFETCH(QString, hex);
    QFETCH(QString, key);
    TestWindows w;
    size == 64 ? fmMain->miDataSize64Click() : fmMain->miDataSize96Click();
    if (format == 1)
        fmMain->miSGTINClick();
    fmMain->medEPC->setText(format == 1 ? UnpackTagFields(hex, Sgtin96Layout) : hex);

    auto *item = fmMain->findChild<QAction *>(QStringLiteral("miGs1Epc"));
    QVERIFY(item && item->text() == QStringLiteral("GS1 EPC..."));
    QString started;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<TfmGs1Epc *>(QApplication::activeModalWidget())) {
            started = dialog->hex();
            dialog->edKey->insert(key);
            dialog->hex().isEmpty() ? dialog->bbCancelClick() : dialog->bbOkClick();
        }
    });
    answer.start(10);
    item->trigger();
    QCOMPARE(started, size == 96 ? hex : QString());
    QTEST(fmMain->medEPC->text(), "after");
    QVERIFY(fmMain->FSession->FDataSize == 96 && fmMain->miDataSize96->isChecked());
    QVERIFY(fmMain->FSession->FDataFormat == 2 && fmMain->miHex->isChecked());
    QCOMPARE(fmMain->laEPC->text(), QStringLiteral("96-bit Hex Data"));
}

void TestMainWindow::exceptionInHandlerIsShownOnce()
{
    struct : FakePrompt {
        int message(QWidget *o, const QString &c, const QString &t, PromptIcon i,
                    PromptButtons b) override
        {
            // Another one comes while the box for the first is up (and runs its own loop).
            if (asked.isEmpty()) {
                QMetaObject::invokeMethod(
                    qApp, [] { throw 42; }, Qt::QueuedConnection);
                QCoreApplication::sendPostedEvents();
            }
            return FakePrompt::message(o, c, t, i, b);
        }
    } box;
    QTest::ignoreMessage(QtWarningMsg,
                         "Exception while another one is shown: An unknown error occurred.");
    QMetaObject::invokeMethod(
        qApp, [] { throw std::runtime_error("Disk on fire"); }, Qt::QueuedConnection);
    QTRY_COMPARE(box.messages(), QStringList{"Quilbo: Disk on fire"});
    QCoreApplication::sendPostedEvents(); // nothing more to show
    QCOMPARE(box.messages(), QStringList{"Quilbo: Disk on fire"});
}

void TestMainWindow::dialogsAndPicturesAfterTheFirstPaint()
{
    QTemporaryDir dir;
    CreateWindows(dir.filePath("quilbo.INI"), true); // as the program starts
    fmMain->tiInitDelay->stop();
    QVERIFY(!fmInit && !fmWarnIncHR);
    QVERIFY(fmMain->imVelmo->pixmap().isNull());
    fmMain->show();
    QTRY_VERIFY(fmInit && fmWarnIncHR);
    QVERIFY(!fmMain->imVelmo->pixmap().isNull());
    QVERIFY(!fmMain->sbSendBatch->icon().isNull());
    DestroyWindows();
}

void TestMainWindow::closedBeforeTheDialogsKeepsRecentFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quilbo.INI");
    QVERIFY(writeFile(path, "[EPC]\r\nFILENAME1=/data/a.fmt\r\nFILENAME2=/data/b.fmt\r\n"));
    ResetProgramValues();
    CreateWindows(path, true);
    fmMain->tiInitDelay->stop();
    fmMain->close(); // the editor was never made
    DestroyWindows();
    SettingsFile file;
    file.load(path);
    QCOMPARE(file.read().recentFiles.mid(0, 2), (QStringList{"/data/a.fmt", "/data/b.fmt"}));
}

// The program's own application object, so that exceptions take the program's way.
int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestMainWindow tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "tst_mainwindow.moc"
