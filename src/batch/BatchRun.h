#pragma once
// One unattended run of batches: the window's batch send over and over, each batch's answer
// judged as the window judges it, the EPC stepped on by the quantity after each batch, and
// the counts at the end. Everything runs in the event loop; finished() ends it.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "batch/BatchOptions.h"
#include "core/BatchAssembly.h"
#include "core/BatchOutcome.h"
#include "core/Journal.h"
#include "link/StatusCheck.h"

class BatchSession;
class QIODevice;
class QTimer;

class BatchRun : public QObject
{
    Q_OBJECT
public:
    enum Status {
        AllOk = 0,         // every batch "Operation OK" (or "Sent" on serial)
        NotAllOk = 1,      // a batch failed or had no response, or the run was stopped
        UnusableInput = 2, // usage error, missing file, a format or tag data it cannot use
        Unreachable = 3,   // no printer, or it closed the link or flooded it mid-run
        Repeat = 4,        // stopped before a batch whose range the journal has sent already
    };

    struct Counts {
        qint64 batches = 0; // batches that went out whole
        qint64 labels = 0;
        qint64 ok = 0;
        qint64 failed = 0;
        qint64 noResponse = 0;
        qint64 sent = 0; // serial: no answer to judge
        // A batch's result, counted as the journal window counts it.
        void add(const QString &result);
    };

    // out takes the batch lines, the progress and the summary; err the messages.
    BatchRun(const BatchOptions &options, QIODevice *out, QIODevice *err,
             QObject *parent = nullptr);
    ~BatchRun() override;

    // Reads the format, checks the tag data and opens the journal before anything is sent.
    // False (status UnusableInput) with the message written.
    bool prepare();
    // Sends the batches; finished() once, at the end.
    void start();
    // Ctrl-C: no batch after the current one; said at once. Again: ends the run now, the
    // batch under way recorded as "Stopped". Either may be called again and again.
    void requestStop();
    void stopNow();
    // Progress lines for a person at a terminal.
    void setProgressShown(bool shown) { m_progress = shown; }

    const Counts &counts() const { return m_counts; }

signals:
    void finished(int status);

private:
    enum class State { Idle, Connecting, Sending, Awaiting, Done };

    void sendNext();
    void transferFinished(bool allSent);
    void batchEnded(qint64 batch, BatchOutcome outcome, const QString &detail);
    void linkClosed();
    void repliesArrived(int fellOff);
    void connected();
    void connectFailed(const QString &why);
    void connectTimedOut();
    // unsettled: the journal's result for a batch under way, which will never have one.
    void end(int status, const QString &message = QString(),
             const QString &unsettled = RunEndedText());

    bool usesCsvJournal() const;
    QString station() const;
    bool serial() const { return !m_options.serialDevice.isEmpty(); }
    QString printerAddress() const; // host:port
    void writeOut(const QString &text);
    void writeErr(const QString &text);
    void showProgress();
    void clearProgress();

    BatchOptions m_options;
    QIODevice *m_out;
    QIODevice *m_err;
    QString m_entry;     // the tag data of the next batch, as the entry would show it
    QString m_sentEpc;   // hex of the batch under way
    qint64 m_number = 0; // of the batch under way, from 1
    bool m_journalWarned = false;
    QString m_serialCaption; // of the serial link's last message

    std::unique_ptr<BatchSession> m_session;
    QTimer *m_ticker = nullptr; // progress while a reply is awaited
    QTimer *m_connectWait = nullptr;

    State m_state = State::Idle;
    bool m_stopAsked = false;
    bool m_progress = false;
    int m_progressWidth = 0;
    QString m_fault;           // the link failed: the run ends with Unreachable after this batch
    bool m_closedOnly = false; // the fault is the printer's close after every reply it owed
    QString m_failureText;
    Counts m_counts;
    QElapsedTimer m_clock;
    QElapsedTimer m_waitClock;
};
