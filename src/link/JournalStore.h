#pragma once
// The batch journal in a database: SQLite in a file beside the settings (one station), or a
// PostgreSQL server that several stations share. One class over both through Qt SQL; each
// instance has its own connection, so a thread uses a store of its own.
//
// The events are those of the CSV journal (JournalEvent) plus the station that wrote them.
// Batch numbers come from the database inside the insert, so they are unique across every
// writer. Each batch's EPC range is kept as fixed-width keys ("64:" or "96:" and the value in
// upper-case hex, so that text order is number order and the two sizes never meet) with an
// index, for the already-sent lookup and the no-repeat guard without a copy in memory.
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <memory>

#include "core/Journal.h"
#include "core/JournalModel.h"

class QIODevice;
class QSqlDatabase;
class QSqlQuery;

class JournalStore
{
public:
    enum class Backend { None, Sqlite, Postgresql };
    // Results between two checkpoints of the SQLite log, each after a result: the log stays
    // a few MiB and is written again from its start, over blocks the file has.
    static constexpr int CheckpointEvery = 64;

    // A batch already sent that overlaps the one refused.
    struct Conflict {
        qint64 batch = 0;
        QString epc;      // the first value of the new batch it had sent already
        QString firstEpc; // its range
        QString lastEpc;
        QString time;
        QString station;
        QString result; // its newest result; empty while none is known
    };

    // A batch row as the journal window shows it: the batch event with the newest result of
    // its number in result.
    struct Row {
        JournalEvent batch;
        QString station;
    };

    // The window's columns, in the order the journal window's model gives them, and the
    // station after them.
    enum Column {
        ColBatch = JournalModel::ColBatch,
        ColTime = JournalModel::ColTime,
        ColLink = JournalModel::ColLink,
        ColQuantity = JournalModel::ColQuantity,
        ColFirstEpc = JournalModel::ColFirstEpc,
        ColLastEpc = JournalModel::ColLastEpc,
        ColTagUri = JournalModel::ColTagUri,
        ColResult = JournalModel::ColResult,
        ColStation = JournalModel::ColumnCount
    };
    struct PageQuery {
        int column = ColBatch;
        bool descending = true;
        JournalFilter filter = JournalFilter::All;
        qint64 offset = 0;
        int limit = 200;
    };

    struct Import {
        bool done = false; // events were imported (false: the store held events already, or
                           // there was no such file)
        qint64 events = 0;
        int skipped = 0;         // damaged lines, counted as the CSV reader counts them
        qint64 renumbered = 0;   // batches whose number the CSV had used twice
        bool unreadable = false; // the file could not be read (error() says why)
    };

    JournalStore();
    ~JournalStore();
    JournalStore(const JournalStore &) = delete;
    JournalStore &operator=(const JournalStore &) = delete;

    // A file path opens (or creates) an SQLite database; "postgresql://..." (libpq's URI form)
    // a server. The schema is made when missing. station names this writer's events.
    bool open(const QString &location, const QString &station);
    void close();
    bool isOpen() const;
    Backend backend() const { return m_backend; }
    QString station() const { return m_station; }
    QString error() const { return m_error; }

    // The station name used when the settings give none: host name and settings folder.
    static QString defaultStation(const QString &settingsFolder);
    static bool isServerLocation(const QString &location);
    // libpq's URI form to connection fields: host (or socket folder), port, user, password,
    // dbname and further options ("key=value;..."). False when it is not such a URI.
    struct ServerParams {
        QString host, user, password, dbname, options;
        int port = -1;
    };
    static bool parseServerLocation(const QString &uri, ServerParams *params, QString *error);

    // Numbers and writes the batch (time filled when empty, lastEpc and tagUri when empty).
    // With noRepeat, a batch whose EPC range overlaps one sent before (by any station) is
    // refused: 0, with *conflict filled. The check and the insert are one transaction.
    // Also 0 on failure (error(), conflict->batch stays 0).
    qint64 appendBatch(JournalEvent batch, bool noRepeat = false, Conflict *conflict = nullptr);
    bool appendResult(qint64 batchNumber, const QString &result);
    bool appendFormat(const QString &link, const QString &name, qint64 bytes,
                      const QString &result);
    bool appendFile(const QString &link, const QString &name, qint64 bytes, const QString &result);

    // The newest batch this (or the given) station wrote, for the resume after a crash.
    bool newestBatch(JournalEvent *batch, const QString &station = QString());
    // The newest batch whose range holds the value (16 or 24 hex digits).
    bool lookup(const QString &hex, Conflict *hit);

    qint64 eventCount();
    int stationCount();

    // Imports a CSV journal once: only while the store holds no events. The file is only read.
    Import importCsv(const QString &csvPath);
    // Every event in the order written, as the CSV journal writes it (header included).
    bool exportCsv(QIODevice *out);

    // One page of batch rows, and the totals of the rows the filter shows.
    QList<Row> page(const PageQuery &query);
    // Every row the query shows, in its order (offset and limit are ignored), in pieces.
    bool forEachRow(const PageQuery &query, const std::function<bool(const Row &)> &onRow);
    JournalTotals totals(JournalFilter filter);

private:
    bool exec(const QString &sql);
    bool execPrepared(const QString &sql); // a statement of the send path, kept prepared
    // The statements of the send path, prepared once per connection.
    QSqlQuery &prepared(const QString &sql);
    enum class Lock { None, Ranges, All };
    bool begin(Lock lock);
    bool commit();
    void rollback();
    bool createSchema();
    qint64 insertBatch(const JournalEvent &e, const QString &station, qint64 number);
    bool insertEvent(const JournalEvent &e, const QString &station);
    bool setResult(qint64 batch, const QString &result);
    // The newest batch number journal_order is complete up to (forCatchUp: taken for the rest
    // of the transaction), or -1.
    qint64 orderedUpTo(bool forCatchUp);
    // Copies the batches journal_order lacks, inside a write transaction.
    bool catchUp();
    bool findOverlap(const QString &firstKey, const QString &lastKey, Conflict *conflict);
    bool fillBatch(qint64 batch, Conflict *out);
    // The window's rows: journal_order up to the catch-up mark, and the batch table's rows
    // above it (the batches still waiting for a result), with the given columns; groupBy
    // applies to each part.
    static QString windowRows(const QString &columns, const QString &where,
                              const QString &groupBy = QString());
    QString pageSql(const PageQuery &query, bool paged) const;
    bool fail(const QString &what, const QString &why);
    QSqlDatabase db() const;

    Backend m_backend = Backend::None;
    QString m_connection;
    QString m_station;
    QString m_error;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_prepared;
    std::unique_ptr<QSqlQuery> m_unprepared;
    int m_sinceCheckpoint = 0;
};
