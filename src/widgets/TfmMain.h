#pragma once
#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>

#include "link/BatchSession.h"
#include "link/NetLink.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class BatchSession;
class TfmJournal;
struct JournalEvent;
struct StoredSettings;
struct BatchAssembly;

// The main window: tag data entry, the send button, the status and meaning lines. It opens the
// other windows and exchanges plain values with them; the session it drives keeps the state.
class TfmMain : public QMainWindow
{
    Q_OBJECT
public:
    // The window drives session, which outlives it.
    TfmMain(const QString &settingsPath, BatchSession *session, QWidget *parent = nullptr);
    ~TfmMain() override;

    // Controls.
    QLabel *imVelmo = nullptr;
    QToolButton *sbSendBatch = nullptr;
    QLabel *laEPC = nullptr;
    QLineEdit *medEPC = nullptr;
    QLabel *laStat = nullptr;
    QLabel *imEPC = nullptr;
    QLabel *laLenTest = nullptr;
    QLabel *laMeaning = nullptr; // what the tag value means: its tag URI, or what is wrong
    QTimer *tiStatHold = nullptr;
    QTimer *tiEncdStat = nullptr;
    QTimer *tiInitDelay = nullptr;
    QTimer *tiInitFileSend = nullptr;

    // Menu.
    QAction *miSendFormat = nullptr, *miBatchQty = nullptr;
    QAction *miSGTIN = nullptr, *miHex = nullptr;
    QAction *miDataSize64 = nullptr, *miDataSize96 = nullptr;
    QAction *miAutoInc = nullptr, *miStepSerial = nullptr, *miShowHints = nullptr,
            *miHelp = nullptr;
    QAction *miJournal = nullptr;
    TfmJournal *fmJournal = nullptr; // made when first asked for

    // The batch session the window drives (state, links, journal), handed in at creation.
    BatchSession *FSession = nullptr;
    bool FFirstRun = false;
    bool FHRAbort = false;
    int FInitFileIndex = 0;
    // The initial files, in sending order; the initialization dialog's list box shows them.
    QStringList FInitFileList;
    bool FInitListLoaded = false; // the stored files have joined FInitFileList (first show)

    bool showHints() const;

    // Status line.
    void SetStatus(const QString &text, const QColor &colour);
    void tiStatHoldTimer(); // hold expiry: "Idle" in grey, send button enabled
    void FitWidthToEPC();

    // Tag data.
    void miHexClick();
    void miSGTINClick();
    void miDataSize64Click();
    void miDataSize96Click();
    bool CheckTagData();
    void IncrementTagData();
    QString entryText() const; // the tag data as shown, every position in its place

    // Format text, human-readable field, batch send.
    bool SplitFormatText(); // false, with a message, when a batch line names no field
    void miSetEPCFieldClick();
    bool ConfirmHRQuantity();
    void sbSendBatchClick();
    void miSendFormatClick();
    void miBatchQtyClick();
    void miViewFileClick();

    // Printer link.
    void tiEncdStatTimer();

    // Start-up initialization.
    void tiInitDelayTimer();
    void tiInitFileSendTimer();
    void SetSendBusy(bool busy);

    // Once every window exists: the dialogs take their values from here and give them back.
    void ConnectDialogs();

    void miHelpClick();
    void miAboutClick();

    // Settings: read in the creation handler, written by the close query.
    bool WriteSettings(); // false after a failed write (the message has been shown)

    // Status colours.
    static const QColor Blue, DarkGreen, BrightGreen, Red, Grey;
    static const QColor SentPurple; // the meaning line of a value already sent

signals:
    // The encoding status check took the printer's reply.
    void encodingCheckDone();

public:
    // The window icon, logo and button pictures; once (CreateWindows' windows made later).
    void LoadPictures();
    // Whoever makes the windows says how to make those left for after the first paint.
    void setPendingWindows(std::function<void()> make) { m_makePending = std::move(make); }

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *laInfo1 = nullptr, *laInfo2 = nullptr, *laInfo3 = nullptr, *laInfo4 = nullptr,
           *laInfo5 = nullptr;
    QMenu *miSetup = nullptr;
    QAction *miViewFile = nullptr, *miSendPkt = nullptr, *miN4 = nullptr;
    QMenu *miDataFormat = nullptr;
    QMenu *miDataSize = nullptr;
    QAction *miSetEPCField = nullptr, *miN2 = nullptr, *miComm = nullptr, *miIPTest = nullptr,
            *miN3 = nullptr, *miAbout = nullptr;
    QAction *miGs1Epc = nullptr;

    QString currentLayout() const; // template chosen by FDataFormat / FDataSize
    bool FSendBusy = false;        // a send is under way; sbSendBatch is disabled meanwhile
    void medEPCChange();
    // The reverse of entryText(): a blank comes back as an untyped position, in its place.
    void setEntryText(const QString &text);
    void ShowTagMeaning(); // fills laMeaning from the value a batch would send
    void miGs1EpcClick();
    bool PutHRLine(); // the human-readable line is missing: false when the operator stops
    void ShowLinkStatus(const QString &text, NetLink::Tone tone);
    void StartStatusCheck(); // a checked send's reply is due
    void miCommClick();
    void miIPTestClick();
    void miSendFileClick();
    void miJournalClick();
    void JournalLoaded(const JournalEvent &newest, int skipped);
    void RecordFileTransfer(); // after fmProg has closed
    void ShowInitDialog();     // the list of initial files and the first-run flag, handed in
    void miShowHintsClick();
    void ReadSettings();
    void MakePendingWindows();

    // false, after the message that says why, when the batch or format must not go out
    bool ShowBatchStop(const BatchAssembly &batch);
    void createControls();
    void createMenu();
    void applyResizeRules();
    void createMeaningLine();
    void connectSession();

    bool m_painted = false;
    bool m_picturesLoaded = false;

    QString m_settingsPath;
    std::function<void()> m_makePending;
    bool m_closed = false;
    // For the start-up resume: the stored tag data and when the settings file was written.
    QString m_storedEntry;
    // [JOURNAL]: a shared database instead of the local one, the no-repeat guard (-1: not
    // set, on with a shared database), the station's name in the journal.
    QString m_journalDatabase;
    int m_journalNoRepeat = -1;
    QString m_journalStation;
    void OpenJournal();
    // The guard refused the batch: the operator moves the entry on or sends it anyway.
    void BatchRefused(const BatchAssembly &batch, const QString &entry, bool sendFormat);
    QDateTime m_settingsTime;
    bool m_batchSent = false; // a batch went out in this run
    QString m_nextNote;       // said on the status line when the current text's hold ends
    QColor m_nextNoteColour;
};
