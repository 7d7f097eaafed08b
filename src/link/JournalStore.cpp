#include "link/JournalStore.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QThread>
#include <QUrl>
#include <QVariant>

#include <string>

#include "core/Files.h"
#include "core/Gs1Epc.h"

namespace
{
// 2: the window's sort columns moved out of the batch table into journal_order, so that a
// batch's commit before it is sent writes few pages.
constexpr int SchemaVersion = 2;
constexpr int StreamPiece = 10000; // rows a server cursor hands over at a time

QAtomicInteger<quint64> connectionCount;

// An EPC value by its size in bits and its value (top 32 and low 64 bits).
struct Key {
    int bits = 0;
    quint64 hi = 0;
    quint64 lo = 0;
};

bool parseKey(const QString &hex, Key *k)
{
    if (hex.size() != 16 && hex.size() != 24)
        return false;
    *k = Key();
    k->bits = int(hex.size()) * 4;
    for (qsizetype i = 0; i < hex.size(); ++i) {
        const char16_t u = hex.at(i).unicode();
        int v = -1;
        if (u >= '0' && u <= '9')
            v = u - '0';
        else if (u >= 'A' && u <= 'F')
            v = u - 'A' + 10;
        else if (u >= 'a' && u <= 'f')
            v = u - 'a' + 10;
        if (v < 0)
            return false;
        if (i + 16 < hex.size())
            k->hi = (k->hi << 4) | quint64(v);
        else
            k->lo = (k->lo << 4) | quint64(v);
    }
    return true;
}

quint64 topMask(int bits)
{
    return bits > 64 ? (quint64(1) << (bits - 64)) - 1 : 0;
}

bool less(const Key &a, const Key &b)
{
    return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo;
}

// k + n within its bits, wrapping like the increment.
Key plus(Key k, quint64 n)
{
    const quint64 lo = k.lo + n;
    if (lo < k.lo)
        ++k.hi;
    k.lo = lo;
    k.hi &= topMask(k.bits);
    return k;
}

// k - n, or 0 of its size when that would go below it.
Key minusClamped(Key k, quint64 n)
{
    if (k.hi == 0 && k.lo < n)
        return Key{k.bits, 0, 0};
    if (k.lo < n)
        --k.hi;
    k.lo -= n;
    return k;
}

QString hexOf(const Key &k)
{
    QString s = QStringLiteral("%1").arg(k.lo, 16, 16, QLatin1Char('0')).toUpper();
    if (k.bits > 64)
        s.prepend(
            QStringLiteral("%1").arg(k.hi, (k.bits - 64) / 4, 16, QLatin1Char('0')).toUpper());
    return s;
}

QString keyText(const Key &k)
{
    return QString::number(k.bits) + QLatin1Char(':') + hexOf(k);
}

bool keyFromText(const QString &text, Key *k)
{
    return parseKey(text.mid(3), k);
}

// The values a batch encodes, as ranges that do not wrap (one, or two where it wraps).
QList<QPair<Key, Key>> rangesOf(const QString &firstHex, int quantity)
{
    Key first;
    if (quantity <= 0 || !parseKey(firstHex, &first))
        return {};
    const Key last = plus(first, quint64(quantity - 1));
    if (!less(last, first))
        return {{first, last}};
    return {{first, Key{first.bits, topMask(first.bits), ~quint64(0)}},
            {Key{first.bits, 0, 0}, last}};
}

quint64 spanOf(const Key &a, const Key &b) // b - a + 1; never more than a batch's quantity
{
    return b.lo - a.lo + 1;
}

// Stored as the filter choice that shows the batch, so that the filter and the totals are a
// plain comparison in SQL; a batch without a result counts with the others.
int outcomeCode(const QString &result)
{
    return int(JournalFilterOf(BatchOutcomeOf(result)));
}

int filterCode(JournalFilter f)
{
    return f == JournalFilter::All ? -1 : int(f);
}

const char *const KindNames[] = {"batch", "result", "format", "file"};

JournalKind kindOf(const QString &name)
{
    for (int k = 0; k < 4; ++k)
        if (name == QLatin1String(KindNames[k]))
            return JournalKind(k);
    return JournalKind::Batch;
}

// The sortable columns of the batch rows, kept in journal_order, each with an index of its
// own and one under the outcome, so that a sorted, filtered page reads only its rows.
const char *const SortColumns[] = {"batch",    "utc",     "link",   "quantity", "first_key",
                                   "last_key", "tag_uri", "result", "station"};
// journal_order's columns, taken from journal_batches as they are.
const char *const OrderColumns =
    "batch, station, utc, link, quantity, first_key, last_key, tag_uri, result, outcome";

const char *const RowColumns = "b.batch, b.station, b.time, b.link, b.quantity, b.with_format, "
                               "b.first_epc, b.last_epc, b.tag_uri, b.hr_text, b.next_entry, "
                               "b.result";

JournalStore::Row rowOf(const QSqlQuery &q)
{
    JournalStore::Row r;
    JournalEvent &e = r.batch;
    e.kind = JournalKind::Batch;
    e.batch = q.value(0).toLongLong();
    r.station = q.value(1).toString();
    e.time = q.value(2).toString();
    e.link = q.value(3).toString();
    e.quantity = q.value(4).toInt();
    e.withFormat = q.value(5).toInt() != 0;
    e.firstEpc = q.value(6).toString();
    e.lastEpc = q.value(7).toString();
    e.tagUri = q.value(8).toString();
    e.hrText = q.value(9).toString();
    e.nextEntry = q.value(10).toString();
    e.result = q.value(11).toString();
    return r;
}

// An empty text, never NULL (a null QString binds as NULL).
QVariant textOf(const QString &s)
{
    return s.isNull() ? QVariant(QString(QLatin1String(""))) : QVariant(s);
}

QString percentDecoded(const QString &s)
{
    return QUrl::fromPercentEncoding(s.toUtf8());
}
} // namespace

JournalStore::JournalStore()
    : m_connection(QStringLiteral("quilbo-journal-%1").arg(++connectionCount))
{
}

JournalStore::~JournalStore()
{
    close();
}

QSqlDatabase JournalStore::db() const
{
    return QSqlDatabase::database(m_connection, false);
}

void JournalStore::close()
{
    if (m_backend == Backend::None)
        return;
    m_prepared.clear();
    m_unprepared.reset();
    {
        QSqlDatabase d = db();
        d.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_backend = Backend::None;
}

bool JournalStore::isOpen() const
{
    return m_backend != Backend::None && db().isOpen();
}

bool JournalStore::fail(const QString &what, const QString &why)
{
    m_error = why.isEmpty() ? what : QStringLiteral("%1: %2").arg(what, why);
    return false;
}

QString JournalStore::defaultStation(const QString &settingsFolder)
{
    return QSysInfo::machineHostName() + QLatin1Char(':') + QDir(settingsFolder).absolutePath();
}

bool JournalStore::isServerLocation(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

bool JournalStore::parseServerLocation(const QString &uri, ServerParams *p, QString *error)
{
    *p = ServerParams();
    auto bad = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!isServerLocation(uri))
        return bad(QStringLiteral("not a postgresql:// address"));
    QString rest = uri.mid(uri.indexOf(QLatin1String("://")) + 3);
    QString query;
    const qsizetype q = rest.indexOf(QLatin1Char('?'));
    if (q >= 0) {
        query = rest.mid(q + 1);
        rest.truncate(q);
    }
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash >= 0) {
        p->dbname = percentDecoded(rest.mid(slash + 1));
        rest.truncate(slash);
    }
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QString userInfo = rest.left(at);
        rest = rest.mid(at + 1);
        const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
        p->user = percentDecoded(userInfo.left(colon < 0 ? userInfo.size() : colon));
        if (colon >= 0)
            p->password = percentDecoded(userInfo.mid(colon + 1));
    }
    if (rest.contains(QLatin1Char(',')))
        return bad(QStringLiteral("several hosts are not supported"));
    QString port;
    if (rest.startsWith(QLatin1Char('['))) { // an IPv6 address
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return bad(QStringLiteral("unclosed [ in the host"));
        p->host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
            return bad(QStringLiteral("unexpected text after the host"));
        port = after.mid(1);
    } else {
        const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'));
        p->host = percentDecoded(colon < 0 ? rest : rest.left(colon));
        if (colon >= 0)
            port = rest.mid(colon + 1);
    }
    QStringList options;
    for (const QString &pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return bad(QStringLiteral("bad parameter \"%1\"").arg(pair));
        const QString key = percentDecoded(pair.left(eq));
        const QString value = percentDecoded(pair.mid(eq + 1));
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr"))
            p->host = value;
        else if (key == QLatin1String("port"))
            port = value;
        else if (key == QLatin1String("user"))
            p->user = value;
        else if (key == QLatin1String("password"))
            p->password = value;
        else if (key == QLatin1String("dbname"))
            p->dbname = value;
        else if (value.contains(QLatin1Char(';')) || value.contains(QLatin1Char(' ')))
            return bad(QStringLiteral("bad parameter \"%1\"").arg(pair));
        else
            options << key + QLatin1Char('=') + value;
    }
    if (!port.isEmpty()) {
        bool ok = false;
        p->port = port.toInt(&ok);
        if (!ok || p->port <= 0 || p->port > 65535)
            return bad(QStringLiteral("bad port \"%1\"").arg(port));
    }
    p->options = options.join(QLatin1Char(';'));
    return true;
}

bool JournalStore::open(const QString &location, const QString &station)
{
    close();
    m_error.clear();
    m_station = station;
    const bool server = isServerLocation(location);
    ServerParams params;
    QString why;
    if (server && !parseServerLocation(location, &params, &why))
        return fail(QStringLiteral("Bad journal database address"), why);
    const QString driver = server ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver))
        return fail(QStringLiteral("The database driver %1 is not installed (package %2)")
                        .arg(driver, server ? QStringLiteral("libqt6sql6-psql")
                                            : QStringLiteral("libqt6sql6-sqlite")),
                    QString());
    if (!server) {
        // A pipe or device would block or never hold a database; a new file is its owner's
        // only, as the journal always was (SQLite gives its log files the same mode).
        const QString notFile = NotPlainFileReason(location);
        if (!notFile.isEmpty())
            return fail(QStringLiteral("Cannot open the journal database"), notFile);
        if (!QFileInfo::exists(location)) {
            QFile file(location);
            if (file.open(QIODevice::WriteOnly))
                file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }
    {
        QSqlDatabase d = QSqlDatabase::addDatabase(driver, m_connection);
        if (server) {
            d.setHostName(params.host);
            if (params.port > 0)
                d.setPort(params.port);
            d.setUserName(params.user);
            d.setPassword(params.password);
            d.setDatabaseName(params.dbname);
            // A server that does not answer must not hold the window for the system's
            // minutes-long connect time-out.
            QString options = params.options;
            if (!options.contains(QLatin1String("connect_timeout")))
                options += QLatin1String(options.isEmpty() ? "" : ";") +
                           QStringLiteral("connect_timeout=5");
            d.setConnectOptions(options);
        } else {
            d.setDatabaseName(location);
            // Another writer holds the database for one transaction at most.
            d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        }
        m_backend = server ? Backend::Postgresql : Backend::Sqlite;
        if (!d.open()) {
            const QString e = d.lastError().text();
            close();
            return fail(QStringLiteral("Cannot open the journal database"), e);
        }
    }
    if (m_backend == Backend::Postgresql) {
        exec(QStringLiteral("SET client_min_messages = warning"));
        // A station that dies inside its batch transaction holds the others' turn: the server
        // ends such a session, and a turn that does not come is a failure, not a hang.
        exec(QStringLiteral("SET idle_in_transaction_session_timeout = '30s'"));
        exec(QStringLiteral("SET lock_timeout = '15s'"));
    }
    if (m_backend == Backend::Sqlite) {
        QSqlQuery q(db());
        // Small pages: a commit writes one leaf of each table and index it touches, so the
        // bytes synced per batch follow the page size (a batch's commit: three leaves, about
        // one disk block). Only a new file takes it.
        q.exec(QStringLiteral("PRAGMA page_size=1024"));
        // Two writers opening a new file at once: the one that does not convert it is told
        // "locked" at once, without the busy wait; it asks again for a while.
        const auto inWal = [&q] {
            return q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && q.next() &&
                   q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
        };
        bool wal = inWal();
        for (int tries = 0; !wal && tries < 100; ++tries) {
            QThread::msleep(50);
            wal = inWal();
        }
        if (!wal) {
            const QString e = q.lastError().text();
            close();
            return fail(QStringLiteral("Cannot put the journal database in WAL mode"), e);
        }
        // A checkpoint costs two syncs of its own and holds up the commit that runs it: the
        // store runs its own after results (CheckpointEvery). This one only bounds a log that
        // grows without results (the last connection to close checkpoints too).
        q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=16384"));
        // A commit is on disk before it returns.
        if (!exec(QStringLiteral("PRAGMA synchronous=FULL"))) {
            close();
            return false;
        }
    }
    if (!createSchema()) {
        const QString e = m_error;
        close();
        m_error = e;
        return false;
    }
    return true;
}

QSqlQuery &JournalStore::prepared(const QString &sql)
{
    std::unique_ptr<QSqlQuery> &q = m_prepared[sql];
    if (!q) {
        q = std::make_unique<QSqlQuery>(db());
        if (!q->prepare(sql)) {
            // Returned once, so that its exec() fails with the reason; tried again next time.
            m_unprepared = std::move(q);
            m_prepared.erase(sql);
            return *m_unprepared;
        }
    }
    return *q;
}

bool JournalStore::exec(const QString &sql)
{
    QSqlQuery q(db());
    if (!q.exec(sql))
        return fail(QStringLiteral("Journal database"), q.lastError().text());
    return true;
}

bool JournalStore::execPrepared(const QString &sql)
{
    QSqlQuery &q = prepared(sql);
    if (!q.exec())
        return fail(QStringLiteral("Journal database"), q.lastError().text());
    q.finish();
    return true;
}

bool JournalStore::begin(Lock lock)
{
    // SQLite: one writer at a time from the start, so that no read of this transaction can
    // be overtaken by another writer's commit.
    if (m_backend == Backend::Sqlite)
        return execPrepared(QStringLiteral("BEGIN IMMEDIATE"));
    if (!exec(QStringLiteral("BEGIN")))
        return false;
    // Writers of batches take turns: the overlap check of one sees every batch another
    // committed before it. The import also keeps every other event out until it is done.
    // Readers are not held up.
    static const char *const tables[] = {nullptr, "journal_ranges",
                                         "journal_ranges, journal_events"};
    if (lock != Lock::None && !exec(QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE")
                                        .arg(QLatin1String(tables[int(lock)])))) {
        rollback();
        return false;
    }
    return true;
}

bool JournalStore::commit()
{
    // (A server takes no prepared COMMIT.)
    const QString sql = QStringLiteral("COMMIT");
    if (m_backend == Backend::Sqlite ? execPrepared(sql) : exec(sql))
        return true;
    const QString e = m_error;
    rollback();
    m_error = e;
    return false;
}

void JournalStore::rollback()
{
    QSqlQuery q(db());
    q.exec(QStringLiteral("ROLLBACK"));
}

bool JournalStore::createSchema()
{
    const bool pg = m_backend == Backend::Postgresql;
    // Text compares byte by byte on both, so that EPC keys sort as numbers.
    const QString text = pg ? QStringLiteral("TEXT COLLATE \"C\"") : QStringLiteral("TEXT");
    const QString serial =
        pg ? QStringLiteral("BIGSERIAL PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY");
    const QString key =
        pg ? QStringLiteral("BIGINT PRIMARY KEY") : QStringLiteral("INTEGER PRIMARY KEY");
    // Keyed by where a range starts, the key being the table itself (one tree to write).
    const QString rangesTable =
        QStringLiteral("CREATE TABLE IF NOT EXISTS journal_ranges (batch BIGINT NOT NULL, "
                       "first_key %1 NOT NULL, last_key %1 NOT NULL, span BIGINT NOT NULL, "
                       "PRIMARY KEY (first_key, batch))%2")
            .arg(text, pg ? QString() : QStringLiteral(" WITHOUT ROWID"));
    QStringList sql = {
        QStringLiteral("CREATE TABLE IF NOT EXISTS journal_meta (name %1 PRIMARY KEY, "
                       "value %1 NOT NULL)")
            .arg(text),
        QStringLiteral(
            "CREATE TABLE IF NOT EXISTS journal_batches (batch %2, station %1 NOT NULL, "
            "time %1 NOT NULL, utc BIGINT NOT NULL, link %1 NOT NULL, quantity INTEGER NOT NULL, "
            "with_format INTEGER NOT NULL, first_epc %1 NOT NULL, last_epc %1 NOT NULL, "
            "first_key %1 NOT NULL, last_key %1 NOT NULL, tag_uri %1 NOT NULL, "
            "hr_text %1 NOT NULL, next_entry %1 NOT NULL, result %1 NOT NULL DEFAULT '', "
            "outcome INTEGER NOT NULL)")
            .arg(text, serial),
        QStringLiteral("CREATE TABLE IF NOT EXISTS journal_events (id %2, kind %1 NOT NULL, "
                       "batch BIGINT, time %1 NOT NULL, station %1 NOT NULL, link %1 NOT NULL, "
                       "name %1 NOT NULL, bytes BIGINT NOT NULL, result %1 NOT NULL)")
            .arg(text, serial),
        rangesTable,
        // Every range length used: the longest bounds how far below a value the ranges that
        // may hold it start. A new length is rare, so a batch's commit seldom writes here
        // (a trigger adds it).
        QStringLiteral("CREATE TABLE IF NOT EXISTS journal_spans (span %1)").arg(key),
        // The window's copy of each batch's sort columns, filled in the transaction of a
        // result, after the batch has left, so that its many indexes cost the commit before a
        // send nothing. Every batch up to meta "ordered" is in it; the window reads the ones
        // above from the batch table.
        QStringLiteral("CREATE TABLE IF NOT EXISTS journal_order (batch %2, station %1 NOT NULL, "
                       "utc BIGINT NOT NULL, link %1 NOT NULL, quantity INTEGER NOT NULL, "
                       "first_key %1 NOT NULL, last_key %1 NOT NULL, tag_uri %1 NOT NULL, "
                       "result %1 NOT NULL, outcome INTEGER NOT NULL)")
            .arg(text, key),
    };
    // Made after an upgrade has filled journal_order: faster than growing them row by row.
    QStringList orderIndexes = {QStringLiteral(
        "CREATE INDEX IF NOT EXISTS journal_order_o_batch ON journal_order (outcome, batch)")};
    for (int c = ColTime; c <= ColStation; ++c) {
        const QString col = QLatin1String(SortColumns[c]);
        orderIndexes << QStringLiteral(
                            "CREATE INDEX IF NOT EXISTS journal_order_%1 ON journal_order "
                            "(%1, batch)")
                            .arg(col)
                     << QStringLiteral("CREATE INDEX IF NOT EXISTS journal_order_o_%1 ON "
                                       "journal_order (outcome, %1, batch)")
                            .arg(col);
    }
    // Several stations may start at once on a new server database.
    if (!begin(Lock::None))
        return false;
    if (pg && !exec(QStringLiteral("SELECT pg_advisory_xact_lock(7710542001)"))) {
        rollback();
        return false;
    }
    for (const QString &s : sql)
        if (!exec(s)) {
            rollback();
            return false;
        }
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT value FROM journal_meta WHERE name = 'schema'"));
    if (!q.exec()) {
        rollback();
        return fail(QStringLiteral("Journal database"), q.lastError().text());
    }
    const int version = q.next() ? q.value(0).toInt() : 0; // 0: a new database
    q.finish();
    if (version > SchemaVersion) {
        rollback();
        return fail(
            QStringLiteral("The journal database is of a newer program (schema %1)").arg(version),
            QString());
    }
    QStringList upgrade;
    if (version == 1) {
        // The first schema: the ranges get their new table, and the batch table's sort indexes
        // go (the copy in journal_order takes their place).
        upgrade << QStringLiteral("ALTER TABLE journal_ranges RENAME TO journal_ranges_1")
                << rangesTable
                << QStringLiteral("INSERT INTO journal_ranges (batch, first_key, last_key, span) "
                                  "SELECT batch, first_key, last_key, span FROM journal_ranges_1")
                << QStringLiteral("DROP TABLE journal_ranges_1")
                << QStringLiteral("INSERT INTO journal_spans (span) SELECT DISTINCT span FROM "
                                  "journal_ranges")
                << QStringLiteral("DROP INDEX IF EXISTS journal_events_batch")
                << QStringLiteral("DROP INDEX IF EXISTS journal_batches_o_batch");
        for (int c = ColTime; c <= ColStation; ++c)
            upgrade
                << QStringLiteral("DROP INDEX IF EXISTS journal_batches_%1").arg(SortColumns[c])
                << QStringLiteral("DROP INDEX IF EXISTS journal_batches_o_%1").arg(SortColumns[c]);
        upgrade << QStringLiteral("INSERT INTO journal_order (%1) SELECT %1 FROM journal_batches")
                       .arg(QLatin1String(OrderColumns));
    }
    // The range lengths and the window's copy of each result are kept by the database itself,
    // so that they stay right even for a program of the first schema that was running when
    // its database was upgraded.
    const QString keepSpans =
        QStringLiteral("INSERT INTO journal_spans (span) VALUES (NEW.span) ON CONFLICT DO NOTHING");
    const QString keepResult = QStringLiteral("UPDATE journal_order SET result = NEW.result, "
                                              "outcome = NEW.outcome WHERE batch = NEW.batch");
    if (version < SchemaVersion && !pg)
        upgrade << QStringLiteral("CREATE TRIGGER journal_ranges_span AFTER INSERT ON "
                                  "journal_ranges BEGIN %1; END")
                       .arg(keepSpans)
                << QStringLiteral("CREATE TRIGGER journal_batches_result AFTER UPDATE OF result, "
                                  "outcome ON journal_batches BEGIN %1; END")
                       .arg(keepResult);
    if (version < SchemaVersion && pg)
        upgrade << QStringLiteral("CREATE OR REPLACE FUNCTION journal_span_kept() RETURNS trigger "
                                  "LANGUAGE plpgsql AS $$BEGIN %1; RETURN NULL; END$$")
                       .arg(keepSpans)
                << QStringLiteral("CREATE TRIGGER journal_ranges_span AFTER INSERT ON "
                                  "journal_ranges FOR EACH ROW EXECUTE FUNCTION "
                                  "journal_span_kept()")
                << QStringLiteral("CREATE OR REPLACE FUNCTION journal_result_kept() RETURNS "
                                  "trigger LANGUAGE plpgsql AS $$BEGIN %1; RETURN NULL; END$$")
                       .arg(keepResult)
                << QStringLiteral("CREATE TRIGGER journal_batches_result AFTER UPDATE OF result, "
                                  "outcome ON journal_batches FOR EACH ROW EXECUTE FUNCTION "
                                  "journal_result_kept()");
    if (version < SchemaVersion)
        upgrade << QStringLiteral("DELETE FROM journal_meta WHERE name IN ('schema', 'ordered')")
                << QStringLiteral("INSERT INTO journal_meta (name, value) VALUES ('schema', '%1')")
                       .arg(SchemaVersion)
                << QStringLiteral("INSERT INTO journal_meta (name, value) SELECT 'ordered', "
                                  "CAST(coalesce(max(batch), 0) AS TEXT) FROM journal_batches");
    // (Only with the upgrade: on a server, making an index, even one that is there, holds the
    // table's writers until this transaction ends.)
    if (version < SchemaVersion)
        upgrade += orderIndexes;
    for (const QString &s : upgrade)
        if (!exec(s)) {
            rollback();
            return false;
        }
    return commit();
}

qint64 JournalStore::insertBatch(const JournalEvent &e, const QString &station, qint64 number)
{
    Key first, last;
    const bool keyed = parseKey(e.firstEpc, &first) && parseKey(e.lastEpc, &last);
    const QDateTime t = QDateTime::fromString(e.time, Qt::ISODate);
    const QString result = e.result;
    QSqlQuery &q = prepared(
        QStringLiteral("INSERT INTO journal_batches (%1station, time, utc, link, quantity, "
                       "with_format, first_epc, last_epc, first_key, last_key, tag_uri, "
                       "hr_text, next_entry, result, outcome) VALUES (%2?, ?, ?, ?, ?, ?, "
                       "?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING batch")
            .arg(number > 0 ? QStringLiteral("batch, ") : QString(),
                 number > 0 ? QStringLiteral("?, ") : QString()));
    if (number > 0)
        q.addBindValue(number);
    q.addBindValue(textOf(station));
    q.addBindValue(textOf(e.time));
    q.addBindValue(t.isValid() ? t.toSecsSinceEpoch() : qint64(0));
    q.addBindValue(textOf(e.link));
    q.addBindValue(e.quantity);
    q.addBindValue(e.withFormat ? 1 : 0);
    q.addBindValue(textOf(e.firstEpc));
    q.addBindValue(textOf(e.lastEpc));
    q.addBindValue(textOf(keyed ? keyText(first) : e.firstEpc));
    q.addBindValue(textOf(keyed ? keyText(last) : e.lastEpc));
    q.addBindValue(textOf(e.tagUri));
    q.addBindValue(textOf(e.hrText));
    q.addBindValue(textOf(e.nextEntry));
    q.addBindValue(textOf(result));
    q.addBindValue(outcomeCode(result));
    if (!q.exec() || !q.next()) {
        fail(QStringLiteral("Cannot write the journal database"), q.lastError().text());
        q.finish();
        return 0;
    }
    const qint64 batch = q.value(0).toLongLong();
    q.finish();
    JournalEvent ev = e;
    ev.batch = batch;
    if (!insertEvent(ev, station))
        return 0;
    for (const auto &r : rangesOf(e.firstEpc, e.quantity)) {
        QSqlQuery &rq = prepared(QStringLiteral(
            "INSERT INTO journal_ranges (batch, first_key, last_key, span) VALUES (?, ?, ?, ?)"));
        rq.addBindValue(batch);
        rq.addBindValue(keyText(r.first));
        rq.addBindValue(keyText(r.second));
        rq.addBindValue(qint64(spanOf(r.first, r.second)));
        if (!rq.exec()) {
            fail(QStringLiteral("Cannot write the journal database"), rq.lastError().text());
            return 0;
        }
    }
    return batch;
}

bool JournalStore::insertEvent(const JournalEvent &e, const QString &station)
{
    const bool numbered = e.kind == JournalKind::Batch || e.kind == JournalKind::Result;
    const bool transfer = e.kind == JournalKind::Format || e.kind == JournalKind::File;
    QSqlQuery &q = prepared(
        QStringLiteral("INSERT INTO journal_events (kind, batch, time, station, link, name, "
                       "bytes, result) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    q.addBindValue(QString::fromLatin1(KindNames[int(e.kind)]));
    q.addBindValue(numbered ? QVariant(e.batch) : QVariant(QMetaType::fromType<qint64>()));
    q.addBindValue(textOf(e.time));
    q.addBindValue(textOf(station));
    q.addBindValue(textOf(e.link));
    q.addBindValue(textOf(transfer ? e.name : QString()));
    q.addBindValue(transfer ? e.bytes : qint64(0));
    q.addBindValue(textOf(e.kind == JournalKind::Batch ? QString() : e.result));
    if (!q.exec())
        return fail(QStringLiteral("Cannot write the journal database"), q.lastError().text());
    return true;
}

bool JournalStore::setResult(qint64 batch, const QString &result)
{
    // The database puts it in the window's copy too.
    QSqlQuery &q = prepared(
        QStringLiteral("UPDATE journal_batches SET result = ?, outcome = ? WHERE batch = ?"));
    q.addBindValue(textOf(result));
    q.addBindValue(outcomeCode(result));
    q.addBindValue(batch);
    if (!q.exec())
        return fail(QStringLiteral("Cannot write the journal database"), q.lastError().text());
    return true;
}

qint64 JournalStore::orderedUpTo(bool forCatchUp)
{
    // Taken in turns on a server: two stations catching up at once would copy the same rows.
    QSqlQuery &q = prepared(
        forCatchUp && m_backend == Backend::Postgresql
            ? QStringLiteral("SELECT value FROM journal_meta WHERE name = 'ordered' FOR UPDATE")
            : QStringLiteral("SELECT value FROM journal_meta WHERE name = 'ordered'"));
    if (!q.exec()) {
        fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        return -1;
    }
    const qint64 upTo = q.next() ? q.value(0).toLongLong() : 0;
    q.finish();
    return upTo;
}

bool JournalStore::catchUp()
{
    // Inside a write transaction. Batch numbers are given in the order their batches commit
    // (one batch writer at a time), so every batch up to the newest number seen is in.
    const qint64 upTo = orderedUpTo(true);
    if (upTo < 0)
        return false;
    QSqlQuery &newestQ = prepared(QStringLiteral("SELECT max(batch) FROM journal_batches"));
    if (!newestQ.exec()) {
        fail(QStringLiteral("Cannot read the journal database"), newestQ.lastError().text());
        return false;
    }
    const qint64 newest = newestQ.next() ? newestQ.value(0).toLongLong() : 0;
    newestQ.finish();
    if (newest <= upTo)
        return true;
    QSqlQuery &copy = prepared(
        QStringLiteral("INSERT INTO journal_order (%1) SELECT %1 FROM journal_batches b WHERE "
                       "batch > ? AND batch <= ? AND NOT EXISTS (SELECT 1 FROM journal_order o "
                       "WHERE o.batch = b.batch)")
            .arg(QLatin1String(OrderColumns)));
    copy.addBindValue(upTo);
    copy.addBindValue(newest);
    QSqlQuery &mark =
        prepared(QStringLiteral("UPDATE journal_meta SET value = ? WHERE name = 'ordered'"));
    mark.addBindValue(QString::number(newest));
    if (!copy.exec() || !mark.exec())
        return fail(QStringLiteral("Cannot write the journal database"),
                    (copy.lastError().isValid() ? copy : mark).lastError().text());
    return true;
}

bool JournalStore::fillBatch(qint64 batch, Conflict *out)
{
    QSqlQuery &q = prepared(QStringLiteral("SELECT time, station, result, first_epc, last_epc FROM "
                                           "journal_batches WHERE batch = ?"));
    q.addBindValue(batch);
    if (!q.exec() || !q.next()) {
        q.finish();
        return fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
    }
    out->batch = batch;
    out->time = q.value(0).toString();
    out->station = q.value(1).toString();
    out->result = q.value(2).toString();
    out->firstEpc = q.value(3).toString();
    out->lastEpc = q.value(4).toString();
    q.finish();
    return true;
}

// The newest batch with a range that meets firstKey..lastKey (one size, not wrapping).
bool JournalStore::findOverlap(const QString &firstKey, const QString &lastKey, Conflict *out)
{
    Key a;
    keyFromText(firstKey, &a);
    // No range is longer than the longest, so only those starting that far below can reach.
    QSqlQuery &longestQ = prepared(QStringLiteral("SELECT max(span) FROM journal_spans"));
    if (!longestQ.exec() || !longestQ.next()) {
        fail(QStringLiteral("Cannot read the journal database"), longestQ.lastError().text());
        longestQ.finish();
        return false;
    }
    const qint64 longest = longestQ.value(0).toLongLong();
    longestQ.finish();
    if (longest <= 0)
        return false;
    const Key from = minusClamped(a, quint64(longest - 1));
    QSqlQuery &q = prepared(
        QStringLiteral("SELECT batch, first_key FROM journal_ranges WHERE first_key >= ? "
                       "AND first_key <= ? AND last_key >= ? ORDER BY batch DESC LIMIT 1"));
    q.addBindValue(keyText(from));
    q.addBindValue(lastKey);
    q.addBindValue(firstKey);
    if (!q.exec()) {
        fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        return false;
    }
    if (!q.next()) {
        q.finish();
        return false;
    }
    const qint64 batch = q.value(0).toLongLong();
    const QString theirFirst = q.value(1).toString();
    q.finish();
    Key epc;
    keyFromText(qMax(firstKey, theirFirst), &epc);
    if (!fillBatch(batch, out))
        return false;
    out->epc = hexOf(epc);
    return true;
}

qint64 JournalStore::appendBatch(JournalEvent batch, bool noRepeat, Conflict *conflict)
{
    if (conflict)
        *conflict = Conflict();
    if (!isOpen()) {
        fail(QStringLiteral("The journal database is not open"), QString());
        return 0;
    }
    batch.kind = JournalKind::Batch;
    batch.firstEpc = batch.firstEpc.toUpper();
    if (batch.lastEpc.isEmpty())
        batch.lastEpc = JournalLastEpc(batch.firstEpc, batch.quantity);
    if (batch.tagUri.isEmpty())
        batch.tagUri = ReadEpc(batch.firstEpc).tagUri;
    if (batch.time.isEmpty())
        batch.time = JournalTimeText(QDateTime::currentDateTime());
    batch.result.clear();
    if (!begin(Lock::Ranges))
        return 0;
    if (noRepeat) {
        for (const auto &r : rangesOf(batch.firstEpc, batch.quantity)) {
            Conflict found;
            m_error.clear();
            const bool hit = findOverlap(keyText(r.first), keyText(r.second), &found);
            if (hit || !m_error.isEmpty()) {
                rollback();
                if (hit && conflict)
                    *conflict = found;
                if (hit)
                    m_error = QStringLiteral("EPC %1 was sent before (batch %2)")
                                  .arg(found.epc)
                                  .arg(found.batch);
                return 0;
            }
        }
    }
    const qint64 number = insertBatch(batch, m_station, 0);
    if (number <= 0) {
        rollback();
        return 0;
    }
    return commit() ? number : 0;
}

bool JournalStore::appendResult(qint64 batchNumber, const QString &result)
{
    JournalEvent e = JournalResultEvent(batchNumber, result);
    e.time = JournalTimeText(QDateTime::currentDateTime());
    if (!isOpen())
        return fail(QStringLiteral("The journal database is not open"), QString());
    if (!begin(Lock::None))
        return false;
    // The event first: on a server, the import's lock on the events comes before the
    // catch-up's turn in every transaction, so that neither waits for the other.
    if (!insertEvent(e, m_station) || !catchUp() || !setResult(batchNumber, result)) {
        rollback();
        return false;
    }
    if (!commit())
        return false;
    // The log is copied into the database here, after a batch has its answer, rather than
    // inside the commit of a batch about to be sent; once it is, the next commit writes the
    // log from its start again, over blocks the file already has.
    if (m_backend == Backend::Sqlite && ++m_sinceCheckpoint >= CheckpointEvery) {
        m_sinceCheckpoint = 0;
        exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
        m_error.clear(); // a checkpoint left for later is not a failure of this result
    }
    return true;
}

bool JournalStore::appendFormat(const QString &link, const QString &name, qint64 bytes,
                                const QString &result)
{
    JournalEvent e = JournalTransferEvent(JournalKind::Format, link, name, bytes, result);
    e.time = JournalTimeText(QDateTime::currentDateTime());
    if (!isOpen())
        return fail(QStringLiteral("The journal database is not open"), QString());
    return insertEvent(e, m_station); // one statement: its own transaction
}

bool JournalStore::appendFile(const QString &link, const QString &name, qint64 bytes,
                              const QString &result)
{
    JournalEvent e = JournalTransferEvent(JournalKind::File, link, name, bytes, result);
    e.time = JournalTimeText(QDateTime::currentDateTime());
    if (!isOpen())
        return fail(QStringLiteral("The journal database is not open"), QString());
    return insertEvent(e, m_station);
}

bool JournalStore::newestBatch(JournalEvent *batch, const QString &station)
{
    // Read only, so that a resume works on a full disk: the batches journal_order does not
    // have yet (a few, after the last result) are looked at in the batch table itself.
    const qint64 upTo = orderedUpTo(false);
    if (upTo < 0)
        return false;
    QSqlQuery q(db());
    q.prepare(
        QStringLiteral("SELECT %1 FROM journal_batches b WHERE b.batch = (SELECT max(n) FROM "
                       "(SELECT max(batch) AS n FROM journal_order WHERE station = ? UNION ALL "
                       "SELECT max(batch) FROM journal_batches WHERE batch > ? AND station = ?) "
                       "AS newest)")
            .arg(QLatin1String(RowColumns)));
    const QVariant name = textOf(station.isEmpty() ? m_station : station);
    q.addBindValue(name);
    q.addBindValue(upTo);
    q.addBindValue(name);
    if (!q.exec())
        return fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
    if (!q.next())
        return false;
    *batch = rowOf(q).batch;
    return true;
}

bool JournalStore::lookup(const QString &hex, Conflict *hit)
{
    Key k;
    if (!parseKey(hex, &k))
        return false;
    Conflict found;
    m_error.clear();
    if (!findOverlap(keyText(k), keyText(k), &found))
        return false;
    if (hit)
        *hit = found;
    return true;
}

qint64 JournalStore::eventCount()
{
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM journal_events")) || !q.next()) {
        fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        return -1;
    }
    return q.value(0).toLongLong();
}

int JournalStore::stationCount()
{
    // The first and the last name in the station index: one, two or more is all the window
    // needs to know, without reading every row.
    QSqlQuery q(db());
    if (!q.exec(QStringLiteral("SELECT min(s), max(s) FROM (SELECT min(station) AS s FROM "
                               "journal_order UNION ALL SELECT max(station) FROM journal_order "
                               "UNION ALL SELECT station FROM journal_batches WHERE batch > "
                               "(SELECT CAST(value AS BIGINT) FROM journal_meta WHERE name = "
                               "'ordered')) AS t")) ||
        !q.next()) {
        fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        return 0;
    }
    if (q.value(0).isNull())
        return 0;
    return q.value(0).toString() == q.value(1).toString() ? 1 : 2;
}

JournalStore::Import JournalStore::importCsv(const QString &csvPath)
{
    Import result;
    m_error.clear(); // an error after this is the import's own
    if (!isOpen() || !QFile::exists(csvPath))
        return result;
    if (!begin(Lock::All))
        return result;
    const qint64 have = eventCount();
    if (have != 0) {
        rollback();
        return result;
    }
    // The highest number first, so that a number the file used twice gets a new one above all.
    qint64 highest = 0;
    ScanJournalRaw(csvPath, [&](const JournalRawLine &line) {
        if (line.kind() == JournalKind::Batch)
            highest = qMax(highest, qint64(std::stoll(line[JournalField::Batch])));
        return true;
    });
    QSet<qint64> used;
    QHash<qint64, qint64> renamed; // a number used again, to the number its batch now has
    bool ok = true;
    const JournalRead read = ScanJournal(csvPath, [&](const JournalEvent &event) {
        if (!ok)
            return;
        JournalEvent e = event;
        if (e.kind == JournalKind::Batch) {
            qint64 number = e.batch;
            if (used.contains(number)) {
                renamed.insert(e.batch, ++highest);
                number = highest;
                ++result.renumbered;
            } else {
                renamed.remove(e.batch);
            }
            used.insert(number);
            ok = insertBatch(e, m_station, number) > 0;
        } else {
            if (e.kind == JournalKind::Result)
                e.batch = renamed.value(e.batch, e.batch);
            ok = insertEvent(e, m_station) &&
                 (e.kind != JournalKind::Result || setResult(e.batch, e.result));
        }
        ++result.events;
    });
    if (!read.opened) {
        rollback();
        fail(QStringLiteral("Cannot read the old journal %1").arg(csvPath), read.error);
        Import unreadable;
        unreadable.unreadable = true;
        return unreadable;
    }
    if (ok)
        ok = catchUp();
    if (ok && m_backend == Backend::Postgresql && highest > 0)
        ok = exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('journal_batches', "
                                 "'batch'), %1)")
                      .arg(highest));
    if (!ok) {
        const QString e = m_error;
        rollback();
        m_error = e;
        return Import();
    }
    if (!commit())
        return Import();
    result.done = true;
    result.skipped = read.skipped;
    return result;
}

bool JournalStore::exportCsv(QIODevice *out)
{
    if (out->write(JournalHeader) != JournalHeader.size())
        return fail(QStringLiteral("Cannot write the export"), out->errorString());
    QByteArray chunk;
    bool written = true;
    const QString sql = QStringLiteral(
        "SELECT e.kind, e.batch, e.time, e.link, e.name, e.bytes, e.result, b.quantity, "
        "b.with_format, b.first_epc, b.last_epc, b.tag_uri, b.hr_text, b.next_entry FROM "
        "journal_events e LEFT JOIN journal_batches b ON e.kind = 'batch' AND b.batch = e.batch "
        "ORDER BY e.id");
    auto onRow = [&](const QSqlQuery &q) {
        JournalEvent e;
        e.kind = kindOf(q.value(0).toString());
        e.batch = q.value(1).toLongLong();
        e.time = q.value(2).toString();
        e.link = q.value(3).toString();
        e.name = q.value(4).toString();
        e.bytes = q.value(5).toLongLong();
        e.result = q.value(6).toString();
        e.quantity = q.value(7).toInt();
        e.withFormat = q.value(8).toInt() != 0;
        e.firstEpc = q.value(9).toString();
        e.lastEpc = q.value(10).toString();
        e.tagUri = q.value(11).toString();
        e.hrText = q.value(12).toString();
        e.nextEntry = q.value(13).toString();
        chunk.append(JournalLine(e));
        if (chunk.size() >= (1 << 20)) {
            written = out->write(chunk) == chunk.size();
            chunk.clear();
        }
        return written;
    };
    // Streamed: SQLite steps through the rows, the server hands them over through a cursor.
    if (m_backend == Backend::Sqlite) {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        if (!q.exec(sql))
            return fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        while (q.next() && onRow(q)) {
        }
    } else {
        if (!begin(Lock::None) ||
            !exec(QStringLiteral("DECLARE journal_export NO SCROLL CURSOR FOR ") + sql))
            return false;
        for (bool more = true; more && written;) {
            QSqlQuery q(db());
            q.setForwardOnly(true);
            if (!q.exec(QStringLiteral("FETCH %1 FROM journal_export").arg(StreamPiece))) {
                rollback();
                return fail(QStringLiteral("Cannot read the journal database"),
                            q.lastError().text());
            }
            int n = 0;
            while (q.next() && onRow(q))
                ++n;
            more = n == StreamPiece;
        }
        rollback(); // only read
    }
    if (written)
        written = out->write(chunk) == chunk.size();
    if (!written)
        return fail(QStringLiteral("Cannot write the export"), out->errorString());
    return true;
}

QString JournalStore::windowRows(const QString &columns, const QString &where,
                                 const QString &groupBy)
{
    // Read in one statement, so that a catch-up in between can neither hide nor double one.
    return QStringLiteral("SELECT %1 FROM journal_order%2%4 UNION ALL SELECT %1 FROM "
                          "journal_batches WHERE batch > (SELECT CAST(value AS BIGINT) FROM "
                          "journal_meta WHERE name = 'ordered')%3%4")
        .arg(columns, where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where,
             where.isEmpty() ? QString() : QStringLiteral(" AND ") + where, groupBy);
}

QString JournalStore::pageSql(const PageQuery &query, bool paged) const
{
    const int column = qBound(int(ColBatch), query.column, int(ColStation));
    const QString dir = query.descending ? QStringLiteral("DESC") : QStringLiteral("ASC");
    const int code = filterCode(query.filter);
    const auto order = [&](const QString &table) {
        return column == ColBatch ? QStringLiteral("%1batch %2").arg(table, dir)
                                  : QStringLiteral("%1%2 %3, %1batch %3")
                                        .arg(table, QLatin1String(SortColumns[column]), dir);
    };
    // The page is found in the indexes alone (two sorted parts merged); only its own rows are
    // read from the batch table then (a join inside would read every row an offset skips).
    QString inner =
        windowRows(QStringLiteral("batch") + (column == ColBatch
                                                  ? QString()
                                                  : QStringLiteral(", ") + SortColumns[column]),
                   code >= 0 ? QStringLiteral("outcome = %1").arg(code) : QString()) +
        QStringLiteral(" ORDER BY ") + order(QString());
    if (paged)
        inner += QStringLiteral(" LIMIT %1 OFFSET %2")
                     .arg(qMax(0, query.limit))
                     .arg(qMax(qint64(0), query.offset));
    return QStringLiteral("SELECT %1 FROM (%2) AS o JOIN journal_batches b ON b.batch = o.batch "
                          "ORDER BY %3")
        .arg(QLatin1String(RowColumns), inner, order(QStringLiteral("o.")));
}

QList<JournalStore::Row> JournalStore::page(const PageQuery &query)
{
    QList<Row> rows;
    QSqlQuery q(db());
    q.setForwardOnly(true);
    if (!q.exec(pageSql(query, true))) {
        fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        return rows;
    }
    while (q.next())
        rows.append(rowOf(q));
    return rows;
}

bool JournalStore::forEachRow(const PageQuery &query, const std::function<bool(const Row &)> &onRow)
{
    if (m_backend == Backend::Sqlite) {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        if (!q.exec(pageSql(query, false)))
            return fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        while (q.next())
            if (!onRow(rowOf(q)))
                break;
        return true;
    }
    if (!begin(Lock::None) ||
        !exec(QStringLiteral("DECLARE journal_rows NO SCROLL CURSOR FOR ") + pageSql(query, false)))
        return false;
    for (bool more = true; more;) {
        QSqlQuery q(db());
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("FETCH %1 FROM journal_rows").arg(StreamPiece))) {
            rollback();
            return fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        }
        int n = 0;
        while (more && q.next()) {
            ++n;
            more = onRow(rowOf(q));
        }
        more = more && n == StreamPiece;
    }
    rollback();
    return true;
}

JournalTotals JournalStore::totals(JournalFilter filter)
{
    JournalTotals t;
    const int code = filterCode(filter);
    QSqlQuery q(db());
    q.setForwardOnly(true);
    // Each part counted on its own (the copy through its index), then the two added.
    if (!q.exec(
            QStringLiteral("SELECT outcome, sum(n), sum(l) FROM (%1) AS t GROUP BY outcome")
                .arg(windowRows(QStringLiteral("outcome, count(*) AS n, sum(quantity) AS l"),
                                code >= 0 ? QStringLiteral("outcome = %1").arg(code) : QString(),
                                QStringLiteral(" GROUP BY outcome"))))) {
        fail(QStringLiteral("Cannot read the journal database"), q.lastError().text());
        return t;
    }
    while (q.next()) {
        const qint64 n = q.value(1).toLongLong();
        t.batches += n;
        t.labels += q.value(2).toLongLong();
        switch (JournalFilter(q.value(0).toInt())) {
        case JournalFilter::OperationOk:
            t.ok += n;
            break;
        case JournalFilter::EncodingFailed:
            t.failed += n;
            break;
        case JournalFilter::NoResponse:
            t.noResponse += n;
            break;
        default:
            t.others += n;
            break;
        }
    }
    return t;
}
