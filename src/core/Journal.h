#pragma once
// The batch journal: an append-only CSV log (RFC 4180, UTF-8, one header line) beside the
// settings file. Every event is written and flushed to disk when it happens, so that a crash
// loses nothing that reached the printer. Reading goes as far as the file goes and counts what
// it had to skip; nothing here ever rewrites what is already there.
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class JournalKind {
    Batch,  // a batch handed to the link
    Result, // the outcome of an earlier batch, by its number
    Format, // "Send Format" (the format packet alone)
    File,   // a file transfer
};

// One line of the journal. Which fields a kind uses: Batch all of time..nextEntry; Result
// batch, time, result; Format and File time, link, name, bytes, result.
struct JournalEvent {
    JournalKind kind = JournalKind::Batch;
    qint64 batch = 0;        // Batch, Result: the batch number (grows across runs)
    QString time;            // ISO 8601 local time with its UTC offset, "2026-12-08T10:42:05+01:00"
    QString link;            // "IP host:port" or "COMn"
    int quantity = 0;        // Batch
    bool withFormat = false; // Batch: the format packet went in front
    QString firstEpc;        // Batch: hex digits as sent (16 or 24)
    QString lastEpc;         // Batch: first + quantity - 1 in the tag's bits
    QString tagUri;          // Batch: the tag URI of the first EPC
    QString hrText;          // Batch: the human-readable text, empty when not used
    QString nextEntry;       // Batch: the entry text to use next
    QString name;            // Format: the format's name; File: the file's path
    qint64 bytes = 0;        // Format, File
    QString result;          // Result, Format, File: "Operation OK", "Sent", the link's failure...
};

// The journal's name in the settings file's folder.
QString JournalPath(const QString &settingsPath);
// "IP host:port" for the network link (comPort 0), "COMn" otherwise.
QString JournalLinkText(int comPort, const QString &host, quint16 port);
// The time as written: local time with its UTC offset, to the second.
QString JournalTimeText(const QDateTime &time);
// first + quantity - 1 in as many bits as first has hex digits (wrapping like the increment);
// first itself for a quantity of 0 or 1.
QString JournalLastEpc(const QString &firstHex, int quantity);
// A "Send Format" (kind Format) or file transfer (kind File) line; time is filled when written.
JournalEvent JournalTransferEvent(JournalKind kind, const QString &link, const QString &name,
                                  qint64 bytes, const QString &result);
// The result line of a batch; time is filled when written.
JournalEvent JournalResultEvent(qint64 batch, const QString &result);
// One event as one CSV line, CR LF included.
QByteArray JournalLine(const JournalEvent &event);
extern const QByteArray JournalHeader; // with its CR LF
// One CSV field as RFC 4180 writes it: quoted when it holds a comma, a quote or a line break.
void AppendCsvField(QByteArray *line, const QByteArray &value);

struct JournalRead {
    QList<JournalEvent> events;
    int skipped = 0;     // lines that were cut, garbage, of the wrong field count or bad numbers
    bool opened = false; // false only when an existing file could not be read; a missing file
                         // reads as empty
    QString error;
};

// The whole journal as events. For large journals use ScanJournal or SentIndex.
JournalRead ReadJournal(const QString &path);
// Streams the good lines in order to onEvent; returns what ReadJournal would, without events.
JournalRead ScanJournal(const QString &path,
                        const std::function<void(const JournalEvent &)> &onEvent);

// The last good batch line of the journal, read from its end (the start-up resume needs no
// more than that). False when there is none, or the file cannot be read.
bool NewestJournalBatch(const QString &path, JournalEvent *batch);

// A good line's fields as read (quotes undone, UTF-8 bytes), for readers that keep their own
// compact form of a large journal instead of one JournalEvent per line.
enum class JournalField {
    Kind,
    Batch,
    Time,
    Link,
    Quantity,
    Format,
    FirstEpc,
    LastEpc,
    TagUri,
    HrText,
    NextEntry,
    Name,
    Bytes,
    Result
};
class JournalRawLine
{
public:
    JournalRawLine(JournalKind kind, const std::vector<std::string> &fields)
        : m_kind(kind), m_fields(fields)
    {
    }
    JournalKind kind() const { return m_kind; }
    const std::string &operator[](JournalField field) const { return m_fields[size_t(field)]; }

private:
    JournalKind m_kind;
    const std::vector<std::string> &m_fields;
};

// Streams the good lines in order; onLine returns false to stop early. progress, when given,
// gets the bytes read so far after each piece it reads, and returns false to stop too.
JournalRead ScanJournalRaw(const QString &path,
                           const std::function<bool(const JournalRawLine &)> &onLine,
                           const std::function<bool(qint64 done)> &progress = {});

// The syncs to disk all writers have made so far: a line is safe from a crash only once its
// own sync is done, so tests count one per appended line.
qint64 JournalSyncCount();

class JournalWriter
{
public:
    JournalWriter() = default;
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    // Creates the file with its header when it is missing or empty; otherwise reads it for the
    // last batch number and appends after it. False and error() when it cannot be written.
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    QString error() const { return m_error; }
    // Lines open() had to skip in the journal it found.
    int skippedOnOpen() const { return m_skippedOnOpen; }
    qint64 nextBatchNumber() const { return m_nextBatch; }
    // Numbers up to next are used up elsewhere (batches whose line could not be written).
    void skipTo(qint64 next) { m_nextBatch = qMax(m_nextBatch, next); }

    // Each writes one line and flushes it to disk; false and error() on failure, and then the
    // file holds no part of the line. appendBatch numbers the batch (returned, or 0 on
    // failure; the number is used up either way), fills time when empty, lastEpc and tagUri when
    // empty.
    qint64 appendBatch(JournalEvent batch);
    bool appendResult(qint64 batchNumber, const QString &result);
    bool appendFormat(const QString &link, const QString &name, qint64 bytes,
                      const QString &result);
    bool appendFile(const QString &link, const QString &name, qint64 bytes, const QString &result);
    bool append(JournalEvent event); // any kind, as given (time filled when empty)

private:
    bool writeLine(const QByteArray &line);

    QFile m_file;
    QString m_error;
    qint64 m_nextBatch = 1;
    int m_skippedOnOpen = 0;
    QByteArray m_lineBreak; // ends a cut line the file ends in, before the next line
};

// The EPC ranges already sent, each with the newest result of its batch, for "this value was
// sent before". Ranges of 64- and 96-bit values never meet.
class SentIndex
{
public:
    struct Hit {
        qint64 batch = 0;
        QString time;   // as written
        QString result; // empty while none is known
    };

    // From a journal on disk (streaming). skipped: the journal's skipped lines.
    bool load(const QString &path, int *skipped = nullptr, QString *error = nullptr);
    void clear();
    // A batch sent now; a later result for it through setResult.
    void addBatch(qint64 batch, const QString &time, const QString &firstHex,
                  const QString &lastHex);
    void setResult(qint64 batch, const QString &result);
    // The newest batch whose range holds the value (hex digits, 16 or 24), or false.
    bool lookup(const QString &hex, Hit *hit) const;
    qint64 size() const { return qint64(m_entries.size()); }

    // The meaning line's words: "sent 08 Dec 10:42, Operation OK".
    static QString describe(const Hit &hit);

    struct Key { // bit count, top 32 bits, low 64 bits: one ordering for both sizes
        quint64 hi = 0;
        quint64 lo = 0;
    };

private:
    struct Entry {
        qint64 batch;
        Key first, last;
        char time[26]; // NUL-terminated; an ISO time with its offset takes 25
        int result;    // index into m_results; -1 none
    };
    struct Segment {
        Key start;
        Key end;
        int entry; // newest entry covering start..end
    };
    void rebuild() const;
    int resultIndex(const QString &result);
    int findEntry(qint64 batch) const;

    std::vector<Entry> m_entries;
    QList<QString> m_results;
    bool m_sortedByBatch = true;
    mutable std::vector<Segment> m_segments;
    // The usual journal counts up without overlaps: then the entries in the order of their
    // first value are the segments, and a tenth of the memory.
    mutable std::vector<int> m_order;
    // Entries covered by m_segments or m_order; newer ones are searched one by one.
    mutable size_t m_indexed = 0;
};
