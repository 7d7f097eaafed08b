#pragma once
// One printer session: what a batch send needs (link choice, line settings, printer address,
// data format and size, quantity, the format text's packets and fields), the link objects,
// and the send itself: the journal line on disk first, then the text to the serial port
// (opened for each send) or the network link, then the tag data stepped on. The main window
// and quilbo-batch are its two front ends: they ask the questions and show the answers.
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>

#include "core/BatchAssembly.h"
#include "core/BatchOutcome.h"
#include "core/Journal.h"
#include "link/StatusCheck.h"

class FileSender;
class NetLink;
class SendJournal;
class SerialLink;
struct StoredSettings;

// What a tag value means, for the line under the entry.
struct TagMeaning {
    QString shown; // what is wrong or already sent first, then the tag URI
    QString tip;   // the whole story, a line each
    bool warn = true;
    bool seen = false; // in a batch already sent: a cue, not a warning
};

// The link settings the comm dialog edits: port 0 is the network at ipAddress.
struct CommSettings {
    int port = 1;
    int baudRate = 9600;
    int parity = 0;
    int dataBits = 8;
    int stopBits = 1;
    int flowControl = 2;
    QString ipAddress;
};

class BatchSession : public QObject
{
    Q_OBJECT
public:
    explicit BatchSession(QObject *parent = nullptr);
    ~BatchSession() override;

    // Link: FComPort 0 is the network, n is COMn (or FComDevice when named directly).
    int FComPort = 1;
    int FBaudRate = 9600;
    int FParity = 0;
    int FDataBits = 8;
    int FStopBits = 1;
    int FFlowControl = 2;
    QString FComDevice;         // a device path instead of COMn's
    bool FLineSettings = false; // with FComDevice: apply the settings above
    int FDataFormat = 2;
    int FDataSize = 96;
    int FBatchQty = 1;
    bool FAutoInc = true; // the tag data steps on by the quantity after each batch
    // The step goes to the serial field of the value's GS1 scheme instead of the whole value.
    bool FStepSerial = false;
    bool FFormatChanged = true;
    QStringList FFormatLines;
    QStringList FBatchLines;
    int FEPCField = 0;
    int FEPCLine = 0;
    int FHRField = 0;
    int FHRLine = 0;
    bool FHREnabled = false;
    bool FHRChanged = false;

    // The links, made with the session. A serial port is open only during a send.
    SerialLink *FComHandle = nullptr;
    NetLink *FNetLink = nullptr;
    StatusCheck *FStatusCheck = nullptr;
    FileSender *FFileSender = nullptr;
    SendJournal *FJournal = nullptr; // written only once opened (OpenJournal)

    // The session's part of the settings file: the link and line settings in (the entry
    // starts in hex, one label a batch, without the human-readable line), and out with the
    // data format and size and the human-readable field.
    void TakeSettings(const StoredSettings &s);
    void PutSettings(StoredSettings *s) const;

    // The printer's network address: the link's, the only place it is kept.
    void setPrinterAddress(const QString &host);
    QString printerAddress() const;
    // The link settings above with the address, out for the comm dialog and back in.
    CommSettings commSettings() const;
    void setCommSettings(const CommSettings &s);
    // path: a CSV file, an SQLite file or a postgresql:// address; the rest for a database.
    void OpenJournal(const QString &path, const QString &station = QString(), bool noRepeat = false,
                     const QString &importCsv = QString());
    bool journalOpen() const { return m_journalOn; }
    QString JournalLink() const; // "IP host:port", "COMn" or the device

    QString currentLayout() const;
    // The entry's value read as a tag; autoInc: the warning about the next step as well.
    TagMeaning Meaning(const QString &entry, bool autoInc) const;
    // Splits the format text into its packets and finds the RFID and human-readable lines.
    // Stop BadFieldNumber with the line when a batch line names no field, else None.
    BatchAssembly SplitFormatText(const QStringList &lines);
    // The batch for the tag data as the entry shows it; hrEnabled: with the human-readable
    // line. The batch lines keep what the assembly rewrote.
    BatchAssembly PrepareBatch(const QString &entry, bool sendFormat, bool hrEnabled);
    // Why no batch of the quantity can go from this entry while the serial field steps: the
    // field would run out, only batches of one work, or the last batch used the field up.
    // Empty when it can go (and for an entry that is no tag value: the assembly says that).
    QString SerialRefusal(const QString &entry) const;
    // After a restart: this station's newest batch used its serial field up (it left no next
    // entry), so that value may not go again either.
    void RestoreUsedUp(const JournalEvent &newest);
    // Journals, sends and returns the tag data of the next batch. batchEnded follows, at once
    // on serial, when the printer's reply has been judged on the network.
    QString SendBatch(const BatchAssembly &batch, const QString &entry, bool withFormat);
    qint64 lastBatch() const { return m_lastBatch; }
    // The last SendBatch sent nothing: the journal's no-repeat guard refused it (why: refusal
    // on the journal) and it returned the entry unchanged.
    bool refused() const { return m_refused; }
    // Send Format: the format packet alone (assembled by AssembleFormat), name for the journal.
    void SendFormat(const QByteArray &text, const QString &name);

    // Printer text ends at its first zero byte. Serial: empty when it went out, else why not
    // (warning() has said so). Network: empty; the outcome comes from the link.
    QString SendToPrinter(const QByteArray &text);
    QString SendSerialBlock(const QByteArray &text);
    bool OpenPort(QString *failure = nullptr);
    void ClosePort();
    bool portOpen() const;

    // The encoding status check as the window's timer drives it.
    void BeginCheck(bool pollingOn) { FStatusCheck->begin(pollingOn); }
    StatusCheck::Result Poll() { return FStatusCheck->poll(); }
    // The link failed for another reason than a close: a reply given up says so.
    void setLinkFault(bool fault) { m_linkFault = fault; }
    // Batches sent whose outcome will not come any more (the run ends) end with this one.
    void EndOpenBatches(BatchOutcome outcome, const QString &detail);

    // Why the step from the value sent to the next one is worth a warning: it wraps past the
    // largest value, or leaves the scheme's serial range; empty when it is not.
    static QString StepWarning(const QString &sentHex, const QString &nextHex, int quantity);

signals:
    // One per batch: its journal number and how it ended.
    void batchEnded(qint64 batch, BatchOutcome outcome, const QString &detail);
    // Once per session, after the batch whose step it is about.
    void stepWarning(qint64 batch, const QString &text);
    // A message for the operator (a serial port that cannot be opened or written).
    void warning(const QString &caption, const QString &text);
    // A serial send is over, port closed.
    void serialSent();

private:
    void sendEnded(quint64 send, bool allSent, bool checked, const QString &failure);
    void judged(const StatusCheck::Result &result);
    void ended(qint64 batch, BatchOutcome outcome, const QString &detail = QString());

    bool m_journalOn = false;
    bool m_linkFault = false;
    bool m_stepWarned = false;
    bool m_refused = false;
    bool m_hrInBatch = false; // the last prepared batch carries the human-readable line
    qint64 m_lastBatch = 0;
    QString m_usedUpHex;    // the entry left after a batch that ended on the field's largest value
    QString m_usedUpText;   // and why nothing may follow it
    qint64 m_ownNumber = 0; // batches numbered here while no journal is open
    QHash<quint64, qint64> m_netBatches; // the link's send number: our batch
    QQueue<quint64> m_replyOrder;        // checked sends that went out whole, oldest first
};

// Whether the start-up resumes from the journal's newest batch: the last run did not reach
// its close after that batch, so the stored tag data is older than what the printer has had.
struct ResumeCheck {
    bool batchSent = false; // a batch went out in this run already
    int dataFormat = 2;     // the entry's, now
    int dataSize = 96;
    QString entry;          // as shown now
    QString storedEntry;    // as the settings file held it
    QDateTime settingsTime; // when that file was written
};
// The hex of the next batch's tag data when the start-up resumes from newest, else empty.
QString ResumeFromJournal(const JournalEvent &newest, const ResumeCheck &now);
