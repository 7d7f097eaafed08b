#include "Journal.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <queue>
#include <string>

#include "core/Files.h"
#include "core/Gs1Epc.h"
#include "core/TagData.h"

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

const QByteArray JournalHeader = "kind,batch,time,link,quantity,format,first_epc,last_epc,"
                                 "tag_uri,hr_text,next_entry,name,bytes,result\r\n";

namespace
{
constexpr int FieldCount = 14;
enum Column {
    CKind,
    CBatch,
    CTime,
    CLink,
    CQty,
    CFormat,
    CFirst,
    CLast,
    CUri,
    CHr,
    CNext,
    CName,
    CBytes,
    CResult
};
constexpr qsizetype ReadPiece = 4 << 20;
constexpr qsizetype MaxRecord = 1 << 20; // a longer "line" is garbage, not a journal line

const char *const KindNames[] = {"batch", "result", "format", "file"};

std::atomic<qint64> syncCount{0};

bool syncToDisk(int fd)
{
    if (fd < 0)
        return false;
#ifdef Q_OS_WIN
    const bool synced = ::_commit(fd) == 0;
#else
    const bool synced = ::fsync(fd) == 0;
#endif
    if (synced)
        ++syncCount;
    return synced;
}

using Fields = std::vector<std::string>;

enum class Parse { Ok, Bad, NeedMore };

// One RFC 4180 record from [p, end); *next is where the following one starts. A bare LF ends a
// record as CR LF does, so that a hand-edited journal still reads.
Parse parseRecord(const char *p, const char *end, Fields *fields, int *count, const char **next)
{
    *count = 0;
    const char *const start = p;
    for (;;) {
        if (*count >= int(fields->size()))
            fields->emplace_back();
        std::string &f = (*fields)[size_t(*count)];
        f.clear();
        ++*count;
        if (p < end && *p == '"') {
            ++p;
            for (;;) {
                if (p >= end)
                    return Parse::NeedMore;
                if (*p == '"') {
                    if (p + 1 >= end)
                        return Parse::NeedMore;
                    if (p[1] != '"') {
                        ++p;
                        break;
                    }
                    ++p;
                }
                f.push_back(*p++);
                if (p - start > MaxRecord)
                    return Parse::Bad;
            }
            if (p >= end)
                return Parse::NeedMore;
            if (*p == ',') {
                ++p;
                continue;
            }
            if (*p == '\r' && p + 1 < end && p[1] == '\n') {
                *next = p + 2;
                return Parse::Ok;
            }
            if (*p == '\r' && p + 1 >= end)
                return Parse::NeedMore;
            if (*p == '\n') {
                *next = p + 1;
                return Parse::Ok;
            }
            return Parse::Bad; // text after a closing quote
        }
        const char *q = p;
        while (q < end && *q != ',' && *q != '\n' && *q != '"')
            ++q;
        if (q >= end)
            return (q - start > MaxRecord) ? Parse::Bad : Parse::NeedMore;
        if (*q == '"')
            return Parse::Bad; // a quote inside an unquoted field
        const char *fe = q;
        if (*q == '\n' && fe > p && fe[-1] == '\r')
            --fe;
        f.assign(p, size_t(fe - p));
        if (*q == ',') {
            p = q + 1;
            continue;
        }
        *next = q + 1;
        return Parse::Ok;
    }
}

bool toInt(const std::string &s, qint64 *out)
{
    if (s.empty())
        return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), *out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool isHex(const std::string &s)
{
    if (s.size() != 16 && s.size() != 24)
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

// The kind of a well-formed line, or -1.
int checkRecord(const Fields &f, int count)
{
    if (count != FieldCount)
        return -1;
    int kind = -1;
    for (int k = 0; k < 4; ++k)
        if (f[CKind] == KindNames[k])
            kind = k;
    qint64 n = 0;
    switch (JournalKind(kind)) {
    case JournalKind::Batch:
        // A batch of quantity 0 goes to the printer too, and encodes nothing.
        if (!toInt(f[CBatch], &n) || n <= 0 || !toInt(f[CQty], &n) || n < 0 ||
            (f[CFormat] != "0" && f[CFormat] != "1") || f[CTime].empty() || !isHex(f[CFirst]) ||
            !isHex(f[CLast]) || f[CFirst].size() != f[CLast].size())
            return -1;
        return kind;
    case JournalKind::Result:
        return (toInt(f[CBatch], &n) && n > 0) ? kind : -1;
    case JournalKind::Format:
    case JournalKind::File:
        return (toInt(f[CBytes], &n) && n >= 0) ? kind : -1;
    }
    return -1;
}

// Reads the journal record by record; onRecord gets the good ones (kind, fields) and returns
// false to stop. cutTail: the unfinished line the file ends in, if any. progress: the bytes
// read, after each piece; false stops the scan there (a run of bad lines calls nothing else).
JournalRead scanRecords(const QString &path,
                        const std::function<bool(int, const Fields &)> &onRecord,
                        QByteArray *cutTail = nullptr,
                        const std::function<bool(qint64)> &progress = {})
{
    JournalRead read;
    QFile file(path);
    if (!file.exists()) {
        read.opened = true;
        return read;
    }
    // A pipe or a device would block the read or never end it.
    read.error = NotPlainFileReason(path);
    if (!read.error.isEmpty())
        return read;
    if (!file.open(QIODevice::ReadOnly)) {
        read.error = file.errorString();
        return read;
    }
    read.opened = true;
    QByteArray buf;
    qsizetype pos = 0;
    bool eof = false;
    bool first = true;
    Fields fields(FieldCount);
    auto fill = [&] {
        buf.remove(0, pos);
        pos = 0;
        const qsizetype have = buf.size();
        buf.resize(have + ReadPiece);
        const qint64 n = file.read(buf.data() + have, ReadPiece);
        buf.resize(have + qMax<qint64>(n, 0));
        if (n <= 0)
            eof = true;
        if (progress && !progress(file.pos())) {
            eof = true;
            buf.clear();
        }
    };
    fill();
    for (;;) {
        if (pos >= buf.size()) {
            if (eof)
                break;
            fill();
            continue;
        }
        const char *b = buf.constData();
        const char *next = nullptr;
        int count = 0;
        const Parse r = parseRecord(b + pos, b + buf.size(), &fields, &count, &next);
        if (r == Parse::NeedMore && !eof) {
            fill();
            continue;
        }
        if (r == Parse::NeedMore &&
            !std::memchr(b + pos, '\n',
                         size_t(buf.size() - pos))) { // the file ends inside this line: a cut line
            ++read.skipped;
            if (cutTail)
                *cutTail = buf.mid(pos);
            break;
        }
        // Bad, or an open quote that runs to the end over later lines: only this line is lost.
        if (r != Parse::Ok) { // go on after the physical line where the bad one began
            ++read.skipped;
            const char *nl =
                static_cast<const char *>(std::memchr(b + pos, '\n', size_t(buf.size() - pos)));
            while (!nl && !eof) { // drop what was searched, so that memory stays bounded
                pos = buf.size();
                fill();
                b = buf.constData();
                nl = static_cast<const char *>(std::memchr(b, '\n', size_t(buf.size())));
            }
            if (!nl) {
                if (cutTail)
                    *cutTail = buf.mid(pos);
                break;
            }
            pos = nl + 1 - b;
            first = false;
            continue;
        }
        pos = next - b;
        if (first) {
            first = false;
            if (count == FieldCount && fields[CKind] == "kind")
                continue; // the header
        }
        const int kind = checkRecord(fields, count);
        if (kind < 0)
            ++read.skipped;
        else if (!onRecord(kind, fields))
            break;
    }
    return read;
}

QString text(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

JournalEvent toEvent(int kind, const Fields &f)
{
    JournalEvent e;
    e.kind = JournalKind(kind);
    toInt(f[CBatch], &e.batch);
    e.time = text(f[CTime]);
    e.link = text(f[CLink]);
    qint64 n = 0;
    if (toInt(f[CQty], &n))
        e.quantity = int(qBound(qint64(0), n, qint64(INT_MAX)));
    e.withFormat = f[CFormat] == "1";
    e.firstEpc = text(f[CFirst]);
    e.lastEpc = text(f[CLast]);
    e.tagUri = text(f[CUri]);
    e.hrText = text(f[CHr]);
    e.nextEntry = text(f[CNext]);
    e.name = text(f[CName]);
    toInt(f[CBytes], &e.bytes);
    e.result = text(f[CResult]);
    return e;
}

SentIndex::Key keyOf(const char *hex, size_t len)
{
    SentIndex::Key k;
    quint64 top = 0;
    for (size_t i = 0; i < len; ++i) {
        const char c = hex[i];
        const quint64 d = quint64(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
        if (i + 16 < len)
            top = (top << 4) | d;
        else
            k.lo = (k.lo << 4) | d;
    }
    k.hi = (quint64(len * 4) << 32) | top;
    return k;
}

bool operator<(const SentIndex::Key &a, const SentIndex::Key &b)
{
    return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo;
}
bool operator==(const SentIndex::Key &a, const SentIndex::Key &b)
{
    return a.hi == b.hi && a.lo == b.lo;
}
SentIndex::Key plusOne(SentIndex::Key k)
{
    if (++k.lo == 0)
        ++k.hi;
    return k;
}
SentIndex::Key minusOne(SentIndex::Key k)
{
    if (k.lo-- == 0)
        --k.hi;
    return k;
}
SentIndex::Key maxOf(const SentIndex::Key &k)
{
    const quint64 bits = k.hi >> 32;
    return {(bits << 32) | (bits > 64 ? ((quint64(1) << (bits - 64)) - 1) : 0), ~quint64(0)};
}
} // namespace

void AppendCsvField(QByteArray *line, const QByteArray &value)
{
    if (value.contains(',') || value.contains('"') || value.contains('\r') ||
        value.contains('\n')) {
        line->append('"');
        for (char c : value) {
            if (c == '"')
                line->append('"');
            line->append(c);
        }
        line->append('"');
    } else {
        line->append(value);
    }
}

QString JournalPath(const QString &settingsPath)
{
    return QFileInfo(settingsPath).absoluteDir().filePath(QStringLiteral("quilbo-journal.csv"));
}

QString JournalLinkText(int comPort, const QString &host, quint16 port)
{
    if (comPort != 0)
        return QStringLiteral("COM%1").arg(comPort);
    return QStringLiteral("IP %1:%2").arg(host).arg(port);
}

QString JournalTimeText(const QDateTime &time)
{
    const int offset = time.offsetFromUtc() / 60;
    const int a = qAbs(offset);
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(a / 60, 2, 10, QLatin1Char('0'))
               .arg(a % 60, 2, 10, QLatin1Char('0'));
}

QString JournalLastEpc(const QString &firstHex, int quantity)
{
    if (quantity <= 1)
        return firstHex.toUpper();
    return IncrementTagText(firstHex.toUpper(), quantity - 1);
}

JournalEvent JournalResultEvent(qint64 batch, const QString &result)
{
    JournalEvent e;
    e.kind = JournalKind::Result;
    e.batch = batch;
    e.result = result;
    return e;
}

JournalEvent JournalTransferEvent(JournalKind kind, const QString &link, const QString &name,
                                  qint64 bytes, const QString &result)
{
    JournalEvent e;
    e.kind = kind;
    e.link = link;
    e.name = name;
    e.bytes = bytes;
    e.result = result;
    return e;
}

QByteArray JournalLine(const JournalEvent &e)
{
    const bool batch = e.kind == JournalKind::Batch;
    const bool numbered = batch || e.kind == JournalKind::Result;
    const bool transfer = e.kind == JournalKind::Format || e.kind == JournalKind::File;
    const QByteArray values[FieldCount] = {
        KindNames[int(e.kind)],
        numbered ? QByteArray::number(e.batch) : QByteArray(),
        e.time.toUtf8(),
        e.link.toUtf8(),
        batch ? QByteArray::number(e.quantity) : QByteArray(),
        batch ? QByteArray(e.withFormat ? "1" : "0") : QByteArray(),
        batch ? e.firstEpc.toUtf8() : QByteArray(),
        batch ? e.lastEpc.toUtf8() : QByteArray(),
        batch ? e.tagUri.toUtf8() : QByteArray(),
        batch ? e.hrText.toUtf8() : QByteArray(),
        batch ? e.nextEntry.toUtf8() : QByteArray(),
        transfer ? e.name.toUtf8() : QByteArray(),
        transfer ? QByteArray::number(e.bytes) : QByteArray(),
        batch ? QByteArray() : e.result.toUtf8(),
    };
    QByteArray line;
    for (int i = 0; i < FieldCount; ++i) {
        if (i)
            line.append(',');
        AppendCsvField(&line, values[i]);
    }
    line.append("\r\n");
    return line;
}

JournalRead ScanJournal(const QString &path,
                        const std::function<void(const JournalEvent &)> &onEvent)
{
    return scanRecords(path, [&](int kind, const Fields &f) {
        onEvent(toEvent(kind, f));
        return true;
    });
}

JournalRead ScanJournalRaw(const QString &path,
                           const std::function<bool(const JournalRawLine &)> &onLine,
                           const std::function<bool(qint64 done)> &progress)
{
    return scanRecords(
        path,
        [&](int kind, const Fields &f) { return onLine(JournalRawLine(JournalKind(kind), f)); },
        nullptr, progress);
}

JournalRead ReadJournal(const QString &path)
{
    QList<JournalEvent> events;
    JournalRead read = ScanJournal(path, [&](const JournalEvent &e) { events.append(e); });
    read.events = std::move(events);
    return read;
}

bool NewestJournalBatch(const QString &path, JournalEvent *batch)
{
    QFile file(path);
    if (!NotPlainFileReason(path).isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    // Results and transfers follow a batch line closely: a short tail nearly always holds it;
    // the window doubles until it does or the whole file has been read.
    for (qint64 tail = 64 * 1024;; tail *= 2) {
        const qint64 from = qMax<qint64>(0, file.size() - tail);
        if (!file.seek(from))
            return false;
        const QByteArray buf = file.read(file.size() - from);
        const char *const b = buf.constData();
        const char *p = b;
        const char *const end = b + buf.size();
        if (from > 0) { // the first line in the window may be the end of a longer one
            p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            p = p ? p + 1 : end;
        }
        Fields fields(FieldCount);
        bool found = false;
        while (p < end) {
            const char *next = nullptr;
            int count = 0;
            if (parseRecord(p, end, &fields, &count, &next) == Parse::Ok) {
                if (checkRecord(fields, count) == int(JournalKind::Batch)) {
                    *batch = toEvent(int(JournalKind::Batch), fields);
                    found = true;
                }
                p = next;
                continue;
            }
            const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            p = nl ? nl + 1 : end;
        }
        if (found || from == 0)
            return found;
    }
}

// JournalWriter

qint64 JournalSyncCount()
{
    return syncCount;
}

bool JournalWriter::open(const QString &path)
{
    m_file.close();
    m_error.clear();
    m_nextBatch = 1;
    m_skippedOnOpen = 0;
    // Opened before it is read: a journal that cannot be written is not read whole again at
    // every event that tries it. A pipe or device would block the open.
    m_error = NotPlainFileReason(path);
    if (!m_error.isEmpty())
        return false;
    m_file.setFileName(path);
    const bool existed = m_file.exists();
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return false;
    }
    // What was sent to whom is the user's own, whatever the umask.
    if (!existed && !m_file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        m_error = m_file.errorString();
        m_file.close();
        return false;
    }
    qint64 last = 0;
    QByteArray cutTail;
    const JournalRead read = scanRecords(
        path,
        [&](int, const Fields &f) {
            qint64 n = 0;
            if (toInt(f[CBatch], &n))
                last = qMax(last, n);
            return true;
        },
        &cutTail);
    if (!read.opened) {
        m_error = read.error;
        m_file.close();
        return false;
    }
    m_skippedOnOpen = read.skipped;
    m_nextBatch = last + 1;
    // A cut line must stay unreadable once a line break follows it: close it with a stray
    // quote or stray text, by whether it ends inside a quoted field.
    m_lineBreak.clear();
    if (!cutTail.isEmpty())
        m_lineBreak = cutTail.count('"') % 2 ? "\"x\r\n" : "x\"\r\n";
    if (m_file.size() == 0 && !writeLine(JournalHeader)) {
        m_file.close();
        return false;
    }
    return true;
}

bool JournalWriter::writeLine(const QByteArray &line)
{
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("The journal is not open.");
        return false;
    }
    // A cut line left by a crash stays as it is; the new line starts on a line of its own.
    const QByteArray data = m_lineBreak + line;
    const qint64 before = m_file.size();
    const bool whole = WriteAll(&m_file, data);
    if (whole && syncToDisk(m_file.handle())) {
        m_lineBreak.clear();
        return true;
    }
    m_error = whole ? qt_error_string(errno) : m_file.errorString();
    // Take a half line back so that the next one starts clean; if even that fails, the reader
    // skips the cut line and the next append starts on a new line.
    if (m_file.size() != before && !(m_file.resize(before) && syncToDisk(m_file.handle())))
        m_lineBreak = "\r\n"; // rare: the half line is then read as whatever it parses to
    return false;
}

bool JournalWriter::append(JournalEvent event)
{
    if (event.time.isEmpty())
        event.time = JournalTimeText(QDateTime::currentDateTime());
    return writeLine(JournalLine(event));
}

qint64 JournalWriter::appendBatch(JournalEvent batch)
{
    batch.kind = JournalKind::Batch;
    // The number is used up even when the line fails: the program still knows that batch by
    // it, and a later batch must not share it.
    batch.batch = m_nextBatch++;
    batch.firstEpc = batch.firstEpc.toUpper();
    if (batch.lastEpc.isEmpty())
        batch.lastEpc = JournalLastEpc(batch.firstEpc, batch.quantity);
    if (batch.tagUri.isEmpty())
        batch.tagUri = ReadEpc(batch.firstEpc).tagUri;
    return append(batch) ? batch.batch : 0;
}

bool JournalWriter::appendResult(qint64 batchNumber, const QString &result)
{
    return append(JournalResultEvent(batchNumber, result));
}

bool JournalWriter::appendFormat(const QString &link, const QString &name, qint64 bytes,
                                 const QString &result)
{
    return append(JournalTransferEvent(JournalKind::Format, link, name, bytes, result));
}

bool JournalWriter::appendFile(const QString &link, const QString &name, qint64 bytes,
                               const QString &result)
{
    return append(JournalTransferEvent(JournalKind::File, link, name, bytes, result));
}

// SentIndex

void SentIndex::clear()
{
    m_entries.clear();
    m_results.clear();
    m_segments.clear();
    m_order.clear();
    m_indexed = 0;
    m_sortedByBatch = true;
}

int SentIndex::resultIndex(const QString &result)
{
    // Few distinct texts: the newest first, as the same result tends to repeat.
    for (int i = int(m_results.size()) - 1; i >= 0; --i)
        if (m_results[i] == result)
            return i;
    if (m_results.size() > 4096) // a flood of distinct replies: stop sharing
        m_results.clear();
    m_results.append(result);
    return int(m_results.size()) - 1;
}

int SentIndex::findEntry(qint64 batch) const
{
    if (m_entries.empty())
        return -1;
    if (m_entries.back().batch == batch)
        return int(m_entries.size()) - 1;
    if (m_sortedByBatch) {
        auto it = std::lower_bound(m_entries.begin(), m_entries.end(), batch,
                                   [](const Entry &e, qint64 b) { return e.batch < b; });
        return (it != m_entries.end() && it->batch == batch) ? int(it - m_entries.begin()) : -1;
    }
    for (int i = int(m_entries.size()) - 1; i >= 0; --i)
        if (m_entries[size_t(i)].batch == batch)
            return i;
    return -1;
}

void SentIndex::addBatch(qint64 batch, const QString &time, const QString &firstHex,
                         const QString &lastHex)
{
    const QByteArray f = firstHex.toLatin1();
    const QByteArray l = lastHex.toLatin1();
    if (!isHex(f.toStdString()) || !isHex(l.toStdString()) || f.size() != l.size())
        return;
    Entry e;
    e.batch = batch;
    e.first = keyOf(f.constData(), size_t(f.size()));
    e.last = keyOf(l.constData(), size_t(l.size()));
    const QByteArray t = time.toUtf8().left(int(sizeof e.time) - 1);
    std::memcpy(e.time, t.constData(), size_t(t.size()));
    e.time[t.size()] = 0;
    e.result = -1;
    if (!m_entries.empty() && m_entries.back().batch >= batch)
        m_sortedByBatch = false;
    m_entries.push_back(e);
}

void SentIndex::setResult(qint64 batch, const QString &result)
{
    const int i = findEntry(batch);
    if (i >= 0)
        m_entries[size_t(i)].result = resultIndex(result);
}

bool SentIndex::load(const QString &path, int *skipped, QString *error)
{
    clear();
    const qint64 size = QFileInfo(path).size();
    // Untouched capacity costs no memory; it spares the copies of a growing vector.
    m_entries.reserve(size_t(qMax<qint64>(size / 100, 16)));
    QString lastResult;
    int lastResultIndex = -1;
    const JournalRead read = scanRecords(path, [&](int kind, const Fields &f) {
        qint64 batch = 0;
        toInt(f[CBatch], &batch);
        if (kind == int(JournalKind::Batch) && f[CQty] != "0") {
            Entry e;
            e.batch = batch;
            e.first = keyOf(f[CFirst].data(), f[CFirst].size());
            e.last = keyOf(f[CLast].data(), f[CLast].size());
            const size_t n = qMin(f[CTime].size(), sizeof e.time - 1);
            std::memcpy(e.time, f[CTime].data(), n);
            e.time[n] = 0;
            e.result = -1;
            if (!m_entries.empty() && m_entries.back().batch >= batch)
                m_sortedByBatch = false;
            m_entries.push_back(e);
        } else if (kind == int(JournalKind::Result)) {
            const int i = findEntry(batch);
            if (i < 0)
                return true;
            const QString r = text(f[CResult]);
            if (r != lastResult || lastResultIndex < 0) {
                lastResult = r;
                lastResultIndex = resultIndex(r);
            }
            m_entries[size_t(i)].result = lastResultIndex;
        }
        return true;
    });
    if (skipped)
        *skipped = read.skipped;
    if (error)
        *error = read.error;
    rebuild();
    return read.opened;
}

void SentIndex::rebuild() const
{
    // Disjoint segments, each owned by the newest entry covering it: a sweep over the ranges
    // sorted by start with a heap of the open ones, newest on top.
    std::vector<Segment>().swap(m_segments);
    std::vector<int>().swap(m_order);
    m_indexed = m_entries.size();
    const bool wraps = std::any_of(m_entries.begin(), m_entries.end(),
                                   [](const Entry &e) { return e.last < e.first; });
    if (!wraps) {
        std::vector<int> order(m_entries.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = int(i);
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
            return m_entries[size_t(a)].first < m_entries[size_t(b)].first;
        });
        bool disjoint = true;
        for (size_t i = 1; i < order.size() && disjoint; ++i)
            disjoint = m_entries[size_t(order[i - 1])].last < m_entries[size_t(order[i])].first;
        if (disjoint) {
            m_order = std::move(order);
            return;
        }
    }
    struct Range {
        Key start, end;
        int entry;
    };
    std::vector<Range> ranges;
    ranges.reserve(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry &e = m_entries[i];
        if (e.last < e.first) { // wrapped past the largest value
            ranges.push_back({e.first, maxOf(e.first), int(i)});
            ranges.push_back({Key{e.first.hi & ~quint64(0xFFFFFFFF), 0}, e.last, int(i)});
        } else {
            ranges.push_back({e.first, e.last, int(i)});
        }
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const Range &a, const Range &b) { return a.start < b.start; });
    m_segments.reserve(ranges.size());
    auto newer = [&](int a, int b) { return ranges[size_t(a)].entry < ranges[size_t(b)].entry; };
    std::priority_queue<int, std::vector<int>, decltype(newer)> open(newer);
    size_t i = 0;
    Key cur;
    while (i < ranges.size() || !open.empty()) {
        if (open.empty())
            cur = ranges[i].start;
        while (i < ranges.size() && ranges[i].start == cur)
            open.push(int(i++));
        while (!open.empty() && ranges[size_t(open.top())].end < cur)
            open.pop();
        if (open.empty())
            continue;
        const Range &top = ranges[size_t(open.top())];
        Key end = top.end;
        if (i < ranges.size() && ranges[i].start < plusOne(end))
            end = minusOne(ranges[i].start);
        if (!m_segments.empty() && m_segments.back().entry == top.entry &&
            plusOne(m_segments.back().end) == cur)
            m_segments.back().end = end;
        else
            m_segments.push_back({cur, end, top.entry});
        cur = plusOne(end);
    }
}

bool SentIndex::lookup(const QString &hex, Hit *hit) const
{
    const QByteArray h = hex.toLatin1();
    if (!isHex(h.toStdString()))
        return false;
    const Key k = keyOf(h.constData(), size_t(h.size()));
    if (m_entries.size() - m_indexed > 4096)
        rebuild();
    int found = -1;
    auto holds = [&k](const Key &first, const Key &last) {
        return last < first ? !(k < first) || (!(last < k) && (k.hi >> 32) == (first.hi >> 32))
                            : !(k < first) && !(last < k);
    };
    // Batches added since the last rebuild are newer than any indexed one.
    for (size_t i = m_entries.size(); i-- > m_indexed;) {
        const Entry &e = m_entries[i];
        if (holds(e.first, e.last) && (k.hi >> 32) == (e.first.hi >> 32)) {
            found = int(i);
            break;
        }
    }
    if (found < 0 && !m_order.empty()) {
        auto it =
            std::upper_bound(m_order.begin(), m_order.end(), k, [this](const Key &key, int i) {
                return key < m_entries[size_t(i)].first;
            });
        if (it != m_order.begin() && !(m_entries[size_t(*--it)].last < k))
            found = *it;
    } else if (found < 0) {
        auto it = std::upper_bound(m_segments.begin(), m_segments.end(), k,
                                   [](const Key &key, const Segment &s) { return key < s.start; });
        if (it != m_segments.begin() && !((--it)->end < k))
            found = it->entry;
    }
    if (found < 0)
        return false;
    const Entry &e = m_entries[size_t(found)];
    if (hit) {
        hit->batch = e.batch;
        hit->time = QString::fromUtf8(e.time);
        hit->result =
            e.result >= 0 && e.result < m_results.size() ? m_results[e.result] : QString();
    }
    return true;
}

QString SentIndex::describe(const Hit &hit)
{
    const QDateTime t = QDateTime::fromString(hit.time, Qt::ISODate);
    const QString when =
        t.isValid() ? QLocale::c().toString(t, QStringLiteral("dd MMM HH:mm")) : hit.time;
    return QStringLiteral("sent %1, %2")
        .arg(when, hit.result.isEmpty() ? QStringLiteral("no result yet") : hit.result);
}
