#include "widgets/TfmMain.h"
#include "widgets/Controls.h"
#include "widgets/TfmMainParts.h"

using namespace MainParts;

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include "core/BatchAssembly.h"
#include "core/BatchOutcome.h"
#include "core/Globals.h"
#include "core/Gs1Epc.h"
#include "core/Journal.h"
#include "core/PacketText.h"
#include "core/Settings.h"
#include "core/TagData.h"
#include "link/BatchSession.h"
#include "link/JournalStore.h"
#include "link/NetLink.h"
#include "link/PortNames.h"
#include "link/SendJournal.h"
#include "link/SerialLink.h"
#include "link/StatusCheck.h"
#include "widgets/Forms.h"
#include "widgets/Help.h"
#include "widgets/Hints.h"
#include "widgets/Prompt.h"
#include "widgets/TfmAbout.h"
#include "widgets/TfmCommSet.h"
#include "widgets/TfmEPCField.h"
#include "widgets/TfmFormFl.h"
#include "widgets/TfmFormat.h"
#include "widgets/TfmGs1Epc.h"
#include "widgets/TfmHRError.h"
#include "widgets/TfmInit.h"
#include "widgets/TfmJournal.h"
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"
#include "widgets/TfmQty.h"
#include "widgets/TfmWarnIncHR.h"

const QColor TfmMain::Blue(0x00, 0x00, 0xFF);
const QColor TfmMain::DarkGreen(0x00, 0x80, 0x00);
const QColor TfmMain::BrightGreen(0x00, 0xFF, 0x00);
const QColor TfmMain::Red(0xFF, 0x00, 0x00);
const QColor TfmMain::Grey(0x80, 0x80, 0x80);
const QColor TfmMain::SentPurple(0x80, 0x00, 0x80);

namespace
{
// The stored initial files up to the first empty entry.
QStringList storedInitFiles()
{
    const int end = int(InitFiles.indexOf(QString()));
    return InitFiles.mid(0, end < 0 ? 10 : qMin(end, 10));
}
} // namespace

TfmMain::TfmMain(const QString &settingsPath, BatchSession *session, QWidget *parent)
    : QMainWindow(parent), FSession(session),
      m_settingsPath(settingsPath.isEmpty() ? DefaultSettingsPath() : settingsPath)
{
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Quilbo"));
    QFont font(QStringLiteral("Arial"), 8);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    createControls();
    createMenu();
    createMeaningLine();
    connectSession();

    // Creation handler: settings first, then data format, size and the stored tag data.
    FSession->FFormatChanged = true;
    ReadSettings();

    laLenTest->setFont(medEPC->font());
    FitWidthToEPC();
    setFixedHeight(FixedHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    OpenJournal();
    tiInitDelay->start();
}

TfmMain::~TfmMain() = default;

bool TfmMain::event(QEvent *event)
{
    // The pictures and the dialogs come right after the first paint: the first picture drawn
    // loads the SVG support, and the dialogs take as long to make as the main window.
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        QTimer::singleShot(0, this, [this] { MakePendingWindows(); });
    }
    return QMainWindow::event(event);
}

void TfmMain::MakePendingWindows()
{
    if (m_makePending)
        m_makePending();
}

// ---- Settings -------------------------------------------------------------------------------

void TfmMain::ReadSettings()
{
    SettingsFile file;
    file.load(m_settingsPath);
    const StoredSettings s = file.read();

    FSession->TakeSettings(s);
    miStepSerial->setChecked(FSession->FStepSerial);
    FFirstRun = s.firstRun;
    miHexClick();
    if (s.dataSize == 96)
        miDataSize96Click();
    else
        miDataSize64Click();
    setEntryText(s.rfidData);
    m_storedEntry = entryText();
    m_settingsTime = QFileInfo(m_settingsPath).lastModified();

    // Oldest first, so that FILENAME1 ends on top; a path stored under two keys keeps the
    // place of the lower-numbered one.
    for (int i = RecentFileList::Slots - 1; i >= 0; --i)
        if (!s.recentFiles.value(i).isEmpty())
            RecentFiles.add(s.recentFiles.value(i));
    SendFileName = s.sendFileName;
    LastInitFile = s.recentFiles.value(0);
    FSession->setPrinterAddress(s.tcpIpAddr);
    InitFiles = s.initFiles;
    PortOverrides = s.ports;
    m_journalDatabase = file.value("JOURNAL", "DATABASE").trimmed();
    m_journalNoRepeat = file.intValue("JOURNAL", "NOREPEAT", -1);
    m_journalStation = file.value("JOURNAL", "STATION").trimmed();
}

bool TfmMain::WriteSettings()
{
    StoredSettings s;
    FSession->PutSettings(&s);
    s.recentFiles = RecentFiles.entries();
    s.sendFileName = SendFileName;
    s.tcpIpAddr = FSession->printerAddress();
    s.rfidData = entryText();
    if (FInitListLoaded) {
        s.initFiles = FInitFileList;
    } else {
        // The list was never loaded into the dialog: keep what was stored.
        s.initFiles = storedInitFiles();
    }

    // Read the file afresh so that whatever else it holds survives the write.
    SettingsFile file;
    file.load(m_settingsPath);
    file.write(s);
    if (!file.save(m_settingsPath)) {
        ShowWarning(this, QStringLiteral("Write Error"),
                    QStringLiteral("Could not write initialization file.\nIs it read-only?"));
        return false;
    }
    return true;
}

void TfmMain::OpenJournal()
{
    // A database beside the settings file, unless the settings name a shared one; the CSV
    // journal of earlier versions goes into a database that holds nothing yet.
    const QString folder = QFileInfo(m_settingsPath).absolutePath();
    const QString location = m_journalDatabase.isEmpty()
                                 ? QDir(folder).filePath(QStringLiteral("quilbo-journal.sqlite"))
                                 : m_journalDatabase;
    const bool noRepeat =
        m_journalNoRepeat < 0 ? !m_journalDatabase.isEmpty() : m_journalNoRepeat != 0;
    FSession->OpenJournal(location,
                          m_journalStation.isEmpty() ? JournalStore::defaultStation(folder)
                                                     : m_journalStation,
                          noRepeat, JournalPath(m_settingsPath));
}

// ---- Keyboard, close ------------------------------------------------------------------------

void TfmMain::keyPressEvent(QKeyEvent *event)
{
    // Only keys that reach the window while none of its controls has the focus.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget *focus = QApplication::focusWidget();
    if (enter && (focus == nullptr || focus == this || !isAncestorOf(focus))) {
        sbSendBatchClick();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TfmMain::closeEvent(QCloseEvent *event)
{
    // A file transfer waiting on a held line ends as its Cancel ends it.
    if (fmProg && fmProg->isVisible())
        fmProg->reject();
    if (!m_closed) {
        m_closed = true;
        FSession->FFormatLines.clear();
        FSession->FBatchLines.clear();
        WriteSettings();
        FSession->ClosePort();
        FSession->FNetLink->NetDisconnect();
    }
    event->accept();
}

// ---- Format text, human-readable field ------------------------------------------------------

bool TfmMain::SplitFormatText()
{
    return ShowBatchStop(FSession->SplitFormatText(fmFormat ? fmFormat->lines() : QStringList()));
}

void TfmMain::miSetEPCFieldClick()
{
    if (FSession->FFormatChanged && !SplitFormatText())
        return;
    fmEPCField->exec();
    SplitFormatText();
    fmEPCField->close();
}

bool TfmMain::ConfirmHRQuantity()
{
    if (FSession->FBatchQty > 1 && FSession->FHREnabled &&
        (FSession->FFormatChanged || FSession->FHRChanged))
        return fmWarnIncHR->exec() == ModalResult::OK;
    return true;
}

// ---- Batch send -----------------------------------------------------------------------------

void TfmMain::sbSendBatchClick()
{
    // A resume from the journal must reach the entry before this batch reads it.
    FSession->FJournal->waitLoaded();
    SetSendBusy(true);
    SetStatus(QStringLiteral("Sending ..."), Blue);
    // Before any question: this entry cannot go as it stands, whatever the answers.
    const QString refusal = FSession->SerialRefusal(entryText());
    if (!refusal.isEmpty()) {
        ShowWarning(this, QStringLiteral("Data Error"), refusal);
        return;
    }

    bool sendFormat = false;
    if (FSession->FFormatChanged) {
        if (!SplitFormatText())
            return;
        sendFormat = prompt().message(this, QStringLiteral("Send Format"),
                                      QStringLiteral("Send format packet?"), PromptIcon::Question,
                                      PromptButtons::YesNo) == ModalResult::Yes;
    }
    if (!ConfirmHRQuantity())
        return;

    const QString entry = entryText();
    BatchAssembly batch = FSession->PrepareBatch(entry, sendFormat, FSession->FHREnabled);
    if (batch.stop == BatchStop::HRLineMissing) {
        if (!PutHRLine())
            return;
        // Ignored or disabled: this batch goes without the human-readable line.
        batch = FSession->PrepareBatch(entry, sendFormat, false);
    }
    if (batch.stop == BatchStop::DataError || batch.stop == BatchStop::UnsendableText ||
        batch.stop == BatchStop::None)
        CheckTagData(); // paints the entry red, or back to normal
    if (!ShowBatchStop(batch))
        return;
    m_batchSent = true;
    const QString next = FSession->SendBatch(batch, entry, sendFormat);
    if (FSession->refused()) {
        BatchRefused(batch, entry, sendFormat);
        return;
    }
    if (miAutoInc->isChecked() && FSession->FBatchQty != 0)
        medEPC->setText(next);
}

void TfmMain::BatchRefused(const BatchAssembly &batch, const QString &entry, bool sendFormat)
{
    SetSendBusy(false);
    // Nothing went: a format packet asked for goes with the next try.
    if (sendFormat)
        FSession->FFormatChanged = true;
    SendJournal *journal = FSession->FJournal;
    const JournalStore::Conflict used = journal->refusal();
    if (used.batch == 0) {
        SetStatus(journal->refusalText() +
                      QStringLiteral(" To use the local journal instead, remove DATABASE= from "
                                     "[JOURNAL] in the settings file."),
                  Red);
        return;
    }
    // Past the newest use as the entry steps: by the serial field when that is what steps.
    QString past = JournalLastEpc(used.lastEpc, 2);
    if (FSession->FStepSerial) {
        const SerialStep step = StepGs1Serial(used.lastEpc, 1);
        if (step.scheme)
            past = step.nextHex;
    }
    SetStatus(journal->refusalText(), Red);
    const QString move =
        past.isEmpty()
            ? QStringLiteral("Yes: no value follows it in its serial field; nothing is sent.\n")
            : QStringLiteral("Yes: move the tag data past it, to %1 (then press Send again).\n")
                  .arg(past);
    const int answer =
        prompt().message(this, QStringLiteral("Already Sent"),
                         QStringLiteral("%1\n\n%2No: send this batch anyway, repeating its EPCs.\n"
                                        "Cancel: send nothing.")
                             .arg(journal->refusalText(), move),
                         PromptIcon::Warning, PromptButtons::YesNoCancel);
    // Only a plain No repeats on purpose: Escape or the close box send nothing.
    if (answer == ModalResult::Yes && !past.isEmpty()) {
        if (FSession->FDataFormat != 2)
            miHexClick();
        if (past.size() * 4 == 96 && FSession->FDataSize != 96)
            miDataSize96Click();
        else if (past.size() * 4 == 64 && FSession->FDataSize != 64)
            miDataSize64Click();
        setEntryText(past);
        SetStatus(QStringLiteral("Moved past EPC %1; press Send to send from %2.")
                      .arg(used.lastEpc, past),
                  DarkGreen);
        return;
    }
    if (answer != ModalResult::No)
        return;
    SetSendBusy(true);
    journal->allowRepeatOnce();
    const QString next = FSession->SendBatch(batch, entry, sendFormat);
    if (FSession->refused()) { // the store stopped answering meanwhile
        SetSendBusy(false);
        if (sendFormat)
            FSession->FFormatChanged = true;
        SetStatus(journal->refusalText(), Red);
        return;
    }
    if (miAutoInc->isChecked() && FSession->FBatchQty != 0)
        medEPC->setText(next);
}

bool TfmMain::PutHRLine()
{
    // The assembly found no line for the human-readable field: the operator decides.
    fmHRError->exec();
    return !FHRAbort;
}

bool TfmMain::ShowBatchStop(const BatchAssembly &batch)
{
    if (batch.stop == BatchStop::None || batch.stop == BatchStop::HRLineMissing)
        return batch.stop == BatchStop::None;
    // Split again at the next try, once the operator has mended the text.
    if (batch.stop == BatchStop::NoBatchPacket || batch.stop == BatchStop::BadFieldNumber)
        FSession->FFormatChanged = true;
    const BatchStopText message = BatchStopMessage(batch);
    ShowWarning(this, message.caption, message.text);
    return false;
}

void TfmMain::miSendFormatClick()
{
    if (FSession->FFormatChanged && !SplitFormatText())
        return;
    const BatchAssembly format = AssembleFormat(FSession->FFormatLines);
    if (!ShowBatchStop(format))
        return;
    // The file the editor's text came from; it may have been edited since.
    FSession->SendFormat(format.text, FormatFileName.isEmpty()
                                          ? QStringLiteral("(the editor's text)")
                                          : FormatFileName);
}

void TfmMain::miBatchQtyClick()
{
    fmQty->exec();
    miBatchQty->setText(QStringLiteral("Batch Quantity   ") + QString::number(FSession->FBatchQty));
    ShowTagMeaning();
}

void TfmMain::miViewFileClick()
{
    fmFormat->show();
    fmFormat->raise();
    fmFormat->activateWindow();
}

// ---- Printer link ---------------------------------------------------------------------------

void TfmMain::connectSession()
{
    BatchSession *session = FSession;
    FSession->FAutoInc = miAutoInc->isChecked();
    connect(miAutoInc, &QAction::toggled, this, [this](bool on) { FSession->FAutoInc = on; });
    FSession->FStepSerial = miStepSerial->isChecked();
    connect(miStepSerial, &QAction::toggled, this, [this](bool on) {
        FSession->FStepSerial = on;
        ShowTagMeaning(); // the meaning line and its warning follow the mode
    });
    NetLink *net = session->FNetLink;
    connect(net, &NetLink::statusText, this, &TfmMain::ShowLinkStatus);
    connect(net, &NetLink::checkDue, this, &TfmMain::StartStatusCheck);
    // Said at once: no reply can come any more.
    connect(session->FStatusCheck, &StatusCheck::closedBeforeReply, this, [this] {
        FSession->FNetLink->checkNow();
        if (tiEncdStat->isActive())
            tiEncdStatTimer();
    });
    // A send must not clear the reply a running check still polls for.
    net->setReplyAwaited(
        [main = QPointer<TfmMain>(this)] { return main && main->tiEncdStat->isActive(); });
    connect(session, &BatchSession::warning, this,
            [this](const QString &caption, const QString &text) {
                ShowWarning(caption == QLatin1String("Comm Error") ? nullptr : this, caption, text);
            });
    connect(session, &BatchSession::serialSent, this, &TfmMain::tiStatHoldTimer);
    connect(session, &BatchSession::stepWarning, this, [this](qint64 batch, const QString &why) {
        m_nextNote = QStringLiteral("Warning after batch %1: %2").arg(batch).arg(why);
        m_nextNoteColour = Red;
    });

    SendJournal *journal = session->FJournal;
    connect(journal, &SendJournal::journalLoaded, this, &TfmMain::JournalLoaded);
    // Found at a send, it would vanish under the send's own texts: it follows them instead.
    const auto note = [this](const QString &text, const QColor &colour) {
        if (FSendBusy) {
            m_nextNote = text;
            m_nextNoteColour = colour;
        } else {
            SetStatus(text, colour);
        }
    };
    connect(journal, &SendJournal::journalFailed, this,
            [note](const QString &text) { note(text, Red); });
    connect(journal, &SendJournal::journalWrittenAgain, this,
            [note](const QString &text) { note(text, DarkGreen); });
    connect(journal, &SendJournal::appended, this, [this](const JournalEvent &e, bool written) {
        if (written && fmJournal)
            fmJournal->journalAppended(e);
        ShowTagMeaning(); // a new range or result may change what the value means
    });
}

void TfmMain::ShowLinkStatus(const QString &text, NetLink::Tone tone)
{
    switch (tone) {
    case NetLink::Tone::Progress:
        SetStatus(text, DarkGreen);
        break;
    case NetLink::Tone::Good:
        SetStatus(text, BrightGreen);
        break;
    case NetLink::Tone::Failure:
        SetStatus(text, Red);
        break;
    }
}

void TfmMain::StartStatusCheck()
{
    // A check still polling for an earlier request's reply goes on to take this one's.
    FSession->BeginCheck(tiEncdStat->isActive());
    tiEncdStat->start();
}

void TfmMain::tiEncdStatTimer()
{
    tiEncdStat->stop();
    const StatusCheck::Result result = FSession->Poll();
    switch (result.outcome) {
    case StatusCheck::Outcome::Polling:
        tiEncdStat->start();
        SetStatus(QString::number(result.poll), Blue);
        return;
    case StatusCheck::Outcome::NoResponse:
    case StatusCheck::Outcome::LinkClosed:
        SetStatus(StatusCheck::resultText(result), Red);
        return;
    case StatusCheck::Outcome::OperationOk:
        SetStatus(BatchOutcomeText(BatchOutcome::OperationOk), BrightGreen);
        break;
    case StatusCheck::Outcome::EncodingFailed:
        SetStatus(BatchOutcomeText(BatchOutcome::EncodingFailed, result.reply), Red);
        break;
    }
    SetSendBusy(false);
    if (result.pollAgain)
        tiEncdStat->start();
    emit encodingCheckDone();
}

void TfmMain::miCommClick()
{
    fmCommSet->exec();
}

void TfmMain::miIPTestClick()
{
    fmNet->exec();
}

void TfmMain::miSendFileClick()
{
    const QString path =
        prompt().openFile(this, QStringLiteral("Send File"), QLatin1String(PrinterFileFilter),
                          folderOf(SendFileName), SendFileName);
    if (path.isEmpty())
        return;
    SetStatus(QStringLiteral("Sending File"), DarkGreen);
    SendFileName = path;
    fmProg->exec();
    RecordFileTransfer();
}

// ---- Start-up initialization ----------------------------------------------------------------

void TfmMain::tiInitDelayTimer()
{
    tiInitDelay->stop();
    MakePendingWindows(); // a window not painted yet (hidden at start) still needs them
    if (FFirstRun)
        FInitFileList << QStringLiteral(".\\showgphf.gph");
    fmFormat->show();
    fmFormat->hide();
    fmCommSet->show();
    fmCommSet->hide();
    if (fmInit->exec() != ModalResult::Yes)
        return;
    if ((FSession->FComPort == 1 || FSession->FComPort == 2) && FSession->FBaudRate <= 19200) {
        const int answer =
            prompt().message(nullptr, QStringLiteral("Initialize Printer"),
                             QStringLiteral("Long delay possible.  Change comm settings?"),
                             PromptIcon::Question, PromptButtons::YesNoCancel);
        if (answer == ModalResult::Yes)
            fmCommSet->exec();
        else if (answer != ModalResult::No)
            return;
    }
    const int flash = fmFormFl->exec();
    if (flash == ModalResult::Yes || flash == ModalResult::No)
        tiInitFileSend->start();
}

void TfmMain::tiInitFileSendTimer()
{
    // A send is under way (or a transfer the operator started by hand, which does not hold
    // the send button): try again at the next tick.
    if (FSendBusy || fmProg->isVisible())
        return;
    tiInitFileSend->stop();
    if (FInitFileIndex < FInitFileList.size()) {
        SendFileName = FInitFileList.at(FInitFileIndex);
        SetSendBusy(true);
        SetStatus(QStringLiteral("Sending initial file"), Blue);
        fmProg->exec();
        RecordFileTransfer();
        ++FInitFileIndex;
        // The next file would land on top of the part of this one the printer already has.
        if (fmProg->cancelledPartway())
            return;
        tiInitFileSend->setInterval(2000);
        tiInitFileSend->start();
    }
}

void TfmMain::ShowInitDialog()
{
    // The stored files join the list once: the list keeps what the operator changed since,
    // and taking the stored files again would send each of them twice.
    if (!FInitListLoaded) {
        FInitFileList << storedInitFiles();
        FInitListLoaded = true;
    }
    fmInit->setFiles(FInitFileList);
    fmInit->setFirstRun(FFirstRun);
}

void TfmMain::SetSendBusy(bool busy)
{
    FSendBusy = busy;
    sbSendBatch->setEnabled(!busy);
}

// ---- Dialogs: values in before they show, out when they close -------------------------------

void TfmMain::ConnectDialogs()
{
    connect(fmQty, &TfmQty::showing, this, [this] { fmQty->setQuantity(FSession->FBatchQty); });
    connect(fmQty, &TfmQty::quantityChosen, this, [this](int n) { FSession->FBatchQty = n; });
    connect(fmEPCField, &TfmEPCField::showing, this, [this] {
        fmEPCField->setValues(FSession->FEPCField, FSession->FHRField, FSession->FHREnabled,
                              showHints());
    });
    connect(fmEPCField, &TfmEPCField::hrChosen, this, [this](int field, bool enabled) {
        FSession->FHRField = field;
        FSession->FHREnabled = enabled;
        FSession->FHRChanged = true;
    });
    connect(fmHRError, &TfmHRError::showing, this,
            [this] { fmHRError->setField(FSession->FHRField); });
    connect(fmHRError, &TfmHRError::answered, this, [this](TfmHRError::Choice choice) {
        FHRAbort = choice == TfmHRError::Choice::Cancel;
        if (choice == TfmHRError::Choice::Disable)
            FSession->FHREnabled = false;
    });
    connect(fmFormat, &TfmFormat::showing, this, [this] { SetShowHint(fmFormat, showHints()); });
    connect(fmFormat, &TfmFormat::formatChanged, this, [this] { FSession->FFormatChanged = true; });
    fmFormat->setFiles(FormatFileName, RecentFiles);
    connect(fmFormat, &TfmFormat::filesChanged, this,
            [](const QString &fileName, const RecentFileList &recent) {
                FormatFileName = fileName;
                RecentFiles = recent;
            });
    connect(fmCommSet, &TfmCommSet::showing, this, [this] {
        // Our own open port would not probe as present.
        if (FSession->portOpen())
            FSession->ClosePort();
        fmCommSet->setSettings(FSession->commSettings(), showHints());
    });
    connect(fmCommSet, &TfmCommSet::settingsChosen, this,
            [this](const CommSettings &settings, bool ipTyped) {
                // The network window shows the address, and drops its connection itself
                // when its text changes.
                FSession->setCommSettings(settings);
                if (ipTyped)
                    FSession->FNetLink->NetDisconnect();
            });
    connect(fmInit, &TfmInit::showing, this, &TfmMain::ShowInitDialog);
    fmInit->setLastFile(LastInitFile);
    connect(fmInit, &TfmInit::filesChanged, this,
            [this](const QStringList &files, const QString &lastFile) {
                FInitFileList = files;
                LastInitFile = lastFile;
            });
    connect(fmInit, &TfmInit::commChangeRequested, this, &TfmMain::miCommClick);
    connect(fmInit, &TfmInit::commSummaryWanted, this, [this] {
        fmInit->setCommSummary(FSession->FComPort, fmCommSet->shownAddress(),
                               fmCommSet->shownLineTexts());
    });
}

// ---- Other menu items -----------------------------------------------------------------------

void TfmMain::miShowHintsClick()
{
    const bool on = miShowHints->isChecked();
    for (QWidget *w :
         std::initializer_list<QWidget *>{this, fmInit, fmFormat, fmEPCField, fmNet, fmCommSet})
        SetShowHint(w, on);
}

void TfmMain::miHelpClick()
{
    HelpContents();
}

void TfmMain::miAboutClick()
{
    TfmAbout about(this);
    about.exec();
}

// ---- GS1 EPC meaning line and dialog --------------------------------------------------------

void TfmMain::miGs1EpcClick()
{
    TfmGs1Epc dialog(this);
    if (FSession->FDataSize == 96)
        dialog.setHex(PackTagFields(entryText(), currentLayout()));
    if (dialog.exec() != ModalResult::OK || dialog.hex().isEmpty())
        return;
    // The dialog builds 96-bit values: switch the entry the way the menu does, so that the
    // check marks, mask and caption stay in step, then put the value in.
    miHexClick();
    miDataSize96Click();
    medEPC->setText(dialog.hex());
}

// ---- Batch journal --------------------------------------------------------------------------

void TfmMain::miJournalClick()
{
    // Made at the first look; from then on it is kept current by what the program writes.
    if (!fmJournal) {
        fmJournal = new TfmJournal(this);
        if (FSession->FJournal->usesStore())
            fmJournal->setJournalStore(FSession->FJournal->path());
        else
            fmJournal->setJournalPath(JournalPath(m_settingsPath));
        fmJournal->reload();
    }
    fmJournal->show();
    fmJournal->raise();
    fmJournal->activateWindow();
}

void TfmMain::JournalLoaded(const JournalEvent &newest, int skipped)
{
    const QString damaged =
        skipped > 0 ? QStringLiteral("Journal: %1 damaged lines skipped").arg(skipped) : QString();
    ResumeCheck now;
    now.batchSent = m_batchSent;
    now.dataFormat = FSession->FDataFormat;
    now.dataSize = FSession->FDataSize;
    now.entry = entryText();
    now.storedEntry = m_storedEntry;
    now.settingsTime = m_settingsTime;
    const QString nextHex = ResumeFromJournal(newest, now);
    FSession->RestoreUsedUp(newest);
    const int bits = int(nextHex.size()) * 4;
    if (!nextHex.isEmpty()) {
        if (bits == 96 && FSession->FDataSize != 96)
            miDataSize96Click();
        else if (bits == 64 && FSession->FDataSize != 64)
            miDataSize64Click();
        setEntryText(nextHex);
        SetStatus(QStringLiteral("Resumed after EPC %1 from the journal").arg(newest.lastEpc),
                  DarkGreen);
        if (!damaged.isEmpty()) {
            m_nextNote = damaged;
            m_nextNoteColour = Red;
        }
    } else if (!damaged.isEmpty()) {
        SetStatus(damaged, Red);
    }
    ShowTagMeaning();
}

void TfmMain::RecordFileTransfer()
{
    if (!FSession->journalOpen())
        return;
    const QString failure = FSession->FJournal->lastNetFailure();
    FSession->FJournal->fileSent(
        FSession->JournalLink(), SendFileName, fmProg->fileSize(),
        fmProg->linkFailed() && !failure.isEmpty() ? failure : fmProg->outcomeText());
}
