#pragma once
// What the program sends, written to the batch journal as it happens. A batch line goes to
// disk before its text reaches the link; its result follows when the outcome is known: from
// the caller at once (serial), or from the network link and the status check, whose replies
// come in the order of the checked sends that went out whole.
//
// The journal is read in the background when it is opened (the place to append, the ranges
// already sent, the newest batch); anything written before that read has finished waits for it.
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QString>

#include <thread>

#include "core/Journal.h"
#include "link/StatusCheck.h"

class NetLink;

class SendJournal : public QObject
{
    Q_OBJECT
public:
    SendJournal(NetLink *net, StatusCheck *check, QObject *parent = nullptr);
    ~SendJournal() override;

    void open(const QString &path);
    QString path() const { return m_path; }
    // Waits for the background read, if one runs, and reports it (loaded) before returning.
    void waitLoaded();
    bool loaded() const { return m_loaded; }

    // A batch about to be handed to the link. netSend: the number the link's send will
    // carry, whose outcome then comes by itself; 0 when the caller gives it (batchResult).
    // Returns the batch number (this run's own when the line could not be written).
    qint64 batchHanded(JournalEvent batch, quint64 netSend);
    void batchResult(qint64 batch, const QString &result);
    // The format packet alone: recorded with its outcome, now or (netSend) when known.
    void formatHanded(const QString &link, const QString &name, qint64 bytes, quint64 netSend,
                      const QString &result = QString());
    void fileSent(const QString &link, const QString &name, qint64 bytes, const QString &result);

    // The newest batch whose range holds the value, for the already-sent note.
    bool lookup(const QString &hex, SentIndex::Hit *hit) const;
    // Why the last network send that failed did so, in the status line's words.
    QString lastNetFailure() const { return m_lastNetFailure; }

signals:
    // The background read is done. newest.batch is 0 when the journal holds no batch.
    void journalLoaded(const JournalEvent &newest, int skipped);
    // Every event, written or not: this run's index holds it either way.
    void appended(const JournalEvent &event, bool written);
    // The journal cannot be read or written: at the load, and when a write fails after the
    // load or after a write that worked.
    void journalFailed(const QString &text);
    // A line was written again after a write had failed.
    void journalWrittenAgain(const QString &text);

private:
    struct Pending {
        qint64 batch = 0;    // a batch's number, or 0 for a format packet
        JournalEvent format; // the format line, written with its outcome
    };

    void finishLoad();
    void failed(const QString &error);
    void worked();
    bool writerReady(); // opens the journal, at its first line and again after a failure
    void write(const JournalEvent &event);
    void settle(quint64 send, const QString &result);
    void sendEnded(quint64 send, bool allSent, bool checked, const QString &failure);
    void checked(const StatusCheck::Result &result);

    QString m_path;
    JournalWriter m_writer;
    SentIndex m_index;
    std::thread m_loader;
    bool m_loaded = false;
    bool m_failing = false; // the last write failed (said once until one works again)
    qint64 m_lastBatch = 0;
    QSet<qint64> m_unwritten; // batches whose line did not reach the journal
    // Filled by the loader; read after it has been joined.
    JournalEvent m_newest;
    int m_skipped = 0;
    QString m_loadError;

    QHash<quint64, Pending> m_pending; // by the link's send number
    QQueue<quint64> m_replyOrder;      // checked sends that went out whole, oldest first
    QString m_lastNetFailure;
};
