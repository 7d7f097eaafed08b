#pragma once
// What the program sends, written to the batch journal as it happens. A batch line goes to
// disk before its text reaches the link; its result follows when the outcome is known: from
// the caller at once (serial), or from the network link and the status check, whose replies
// come in the order of the checked sends that went out whole.
//
// Two places: a CSV file (a path ending in .csv), read in the background when it is opened
// (the place to append, the ranges already sent, the newest batch; anything written before
// that read has finished waits for it); or a database store (an SQLite file or a
// postgresql:// address), which numbers the batches, keeps the ranges and, with the no-repeat
// guard, refuses a batch whose range was sent before by any station.
#include <QHash>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QString>

#include <memory>
#include <thread>

#include "core/Journal.h"
#include "link/JournalStore.h"
#include "link/StatusCheck.h"

class NetLink;

class SendJournal : public QObject
{
    Q_OBJECT
public:
    SendJournal(NetLink *net, StatusCheck *check, QObject *parent = nullptr);
    ~SendJournal() override;

    // station, noRepeat and importCsv are for a database store only; importCsv: a CSV journal
    // whose events go into a store that holds none yet.
    void open(const QString &path, const QString &station = QString(), bool noRepeat = false,
              const QString &importCsv = QString());
    bool usesStore() const { return m_store != nullptr; }
    JournalStore *store() const { return m_store.get(); }
    QString path() const { return m_path; }
    // Waits for the background read, if one runs, and reports it (loaded) before returning.
    void waitLoaded();
    bool loaded() const { return m_loaded; }

    // A batch about to be handed to the link. netSend: the number the link's send will
    // carry, whose outcome then comes by itself; 0 when the caller gives it (batchResult).
    // Returns the batch number (this run's own when the line could not be written), or 0 when
    // the batch must not be sent: the guard found its range sent before (refusal().batch), or
    // the guard is on and the store did not answer.
    qint64 batchHanded(JournalEvent batch, quint64 netSend);
    // The next batch goes out even when its range was sent before: repeated on purpose.
    void allowRepeatOnce() { m_repeatOnce = true; }
    const JournalStore::Conflict &refusal() const { return m_refusal; }
    QString refusalText() const { return m_refusalText; }
    // Opens a store at the location; a device, pipe or folder is refused as the CSV journal
    // refuses it. Empty, or why not.
    static QString openStoreAt(JournalStore *store, const QString &location,
                               const QString &station);
    // A conflict as a sentence: which EPC, when, where and with what result.
    static QString conflictText(const JournalStore::Conflict &c);
    void batchResult(qint64 batch, const QString &result);
    // The format packet alone: recorded with its outcome, now or (netSend) when known.
    void formatHanded(const QString &link, const QString &name, qint64 bytes, quint64 netSend,
                      const QString &result = QString());
    void fileSent(const QString &link, const QString &name, qint64 bytes, const QString &result);

    // The newest batch whose range holds the value, for the already-sent note.
    bool lookup(const QString &hex, SentIndex::Hit *hit) const;
    // The already-sent note for the value (with the station from a store), or empty.
    QString sentNote(const QString &hex) const;
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
    void openStore(const QString &location, const QString &importCsv);
    bool storeReady();
    QString importOldJournal(); // the reason it failed, or empty
    void storeWritten(bool written);
    qint64 storeBatchHanded(JournalEvent batch, quint64 netSend);
    QString shownPath() const;
    static QString usedText(const JournalStore::Conflict &c);
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

    std::unique_ptr<JournalStore> m_store;
    QString m_station;
    bool m_noRepeat = false;
    QString m_importCsv;         // an old CSV journal still to import
    bool m_importFailed = false; // its import failed with the store (tried again)
    QString m_importNote;        // why it was given up, to say once
    bool m_storeLoadPending = false;
    bool m_repeatOnce = false;
    JournalStore::Conflict m_refusal;
    QString m_refusalText;
};
