#include "core/JournalModel.h"

#include <QFileInfo>
#include <QHash>
#include <QIODevice>

#include <algorithm>
#include <charconv>
#include <climits>
#include <new>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "core/Gs1Epc.h"

namespace
{
const char *const Headers[JournalModel::ColumnCount] = {
    "Batch", "Time", "Link", "Quantity", "First EPC", "Last EPC", "Tag URI", "Result"};

// Texts that repeat from line to line (links, results, the fixed part of tag URIs) kept once.
class TextPool
{
public:
    quint32 intern(std::string_view bytes)
    {
        if (!m_texts.empty() && bytes == m_lastBytes)
            return m_last;
        const std::string key(bytes);
        auto it = m_index.find(key);
        if (it == m_index.end()) {
            it = m_index.emplace(key, quint32(m_texts.size())).first;
            m_texts.push_back(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
            m_bytes.push_back(&it->first); // the map's nodes stay where they are
            m_ranks.clear();
        }
        m_lastBytes = key;
        m_last = it->second;
        return m_last;
    }
    const QString &text(quint32 i) const { return m_texts[i]; }
    std::string_view bytes(quint32 i) const { return *m_bytes[i]; }
    // Each text's place in alphabetical order, for sorting by it.
    const std::vector<quint32> &ranks() const
    {
        if (m_ranks.size() != m_texts.size()) {
            std::vector<quint32> byText(m_texts.size());
            for (size_t i = 0; i < byText.size(); ++i)
                byText[i] = quint32(i);
            std::sort(byText.begin(), byText.end(),
                      [this](quint32 a, quint32 b) { return m_texts[a] < m_texts[b]; });
            m_ranks.assign(m_texts.size(), 0);
            for (size_t i = 0; i < byText.size(); ++i)
                m_ranks[byText[i]] = quint32(i);
        }
        return m_ranks;
    }

private:
    std::vector<QString> m_texts;
    std::vector<const std::string *> m_bytes; // the same texts as UTF-8
    std::unordered_map<std::string, quint32> m_index;
    std::string m_lastBytes;
    quint32 m_last = 0;
    mutable std::vector<quint32> m_ranks;
};

qint64 toNumber(std::string_view s)
{
    qint64 n = 0;
    std::from_chars(s.data(), s.data() + s.size(), n);
    return n; // the reader has checked it
}

// 16 or 24 hex digits as (bits, top 32 bits, low 64 bits); false for anything else.
bool parseEpc(std::string_view hex, quint8 *bits, quint32 *hi, quint64 *lo)
{
    if (hex.size() != 16 && hex.size() != 24)
        return false;
    quint64 top = 0, low = 0;
    for (size_t i = 0; i < hex.size(); ++i) {
        const char c = hex[i];
        quint64 d;
        if (c >= '0' && c <= '9')
            d = quint64(c - '0');
        else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            d = quint64((c | 0x20) - 'a' + 10);
        else
            return false;
        if (i + 16 < hex.size())
            top = (top << 4) | d;
        else
            low = (low << 4) | d;
    }
    *bits = quint8(hex.size() * 4);
    *hi = quint32(top);
    *lo = low;
    return true;
}

// A time as written ("2026-12-08T10:42:05+01:00") in seconds since 1970 UTC, so that times
// with other offsets (summer time) sort as they happened; others sort first.
qint64 utcSeconds(std::string_view s)
{
    int v[8] = {};
    const int at[8] = {0, 5, 8, 11, 14, 17, 20, 23};
    const char sep[] = "--T::_:"; // what follows each number but the last; _: the offset's sign
    if (s.size() != 25 || (s[19] != '+' && s[19] != '-'))
        return LLONG_MIN;
    for (int i = 0; i < 8; ++i) {
        const int digits = i ? 2 : 4;
        for (int k = at[i]; k < at[i] + digits; ++k) {
            if (s[size_t(k)] < '0' || s[size_t(k)] > '9')
                return LLONG_MIN;
            v[i] = v[i] * 10 + (s[size_t(k)] - '0');
        }
        if (i < 7 && sep[i] != '_' && s[size_t(at[i] + digits)] != sep[i])
            return LLONG_MIN;
    }
    // Days from the civil date (March-based years, so that leap days come last).
    const int y = v[0] - (v[1] <= 2);
    const int era = y / 400, yoe = y % 400;
    const int doy = (153 * (v[1] + (v[1] > 2 ? -3 : 9)) + 2) / 5 + v[2] - 1;
    const qint64 days = qint64(era) * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    const int offset = (v[6] * 60 + v[7]) * 60 * (s[19] == '-' ? -1 : 1);
    return days * 86400 + v[3] * 3600 + v[4] * 60 + v[5] - offset;
}

void appendEpc(QByteArray *out, quint8 bits, quint32 hi, quint64 lo)
{
    static const char Digits[] = "0123456789ABCDEF";
    for (int shift = bits - 68; shift >= 0; shift -= 4)
        out->append(Digits[(hi >> shift) & 15]);
    if (bits)
        for (int shift = 60; shift >= 0; shift -= 4)
            out->append(Digits[(lo >> shift) & 15]);
}

template <typename T> int compare(const T &a, const T &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

struct JournalTable {
    struct Row {
        qint64 batch;
        quint64 firstLo, lastLo;
        quint32 firstHi, lastHi;
        quint32 link;    // into links
        quint32 uriHead; // into uriHeads: the tag URI up to its last dot
        quint32 text;    // into arena: the time, then the rest of the tag URI
        quint16 timeSize, uriTailSize;
        qint32 quantity;
        qint32 result; // into results; -1 while there is none
        quint8 bits;   // 64 or 96; 0 when the EPC is not one
    };
    std::vector<Row> rows;
    std::string arena;
    TextPool links, uriHeads, results;
    std::vector<BatchOutcome> outcomes; // of each result text
    bool ascending = true;              // batch numbers only grow from row to row
    QHash<qint64, int> rowOfBatch;      // kept only once they do not
    int skipped = 0;
    QString error;

    int findRow(qint64 batch) const
    {
        if (rows.empty())
            return -1;
        if (rows.back().batch == batch)
            return int(rows.size()) - 1;
        if (!ascending)
            return rowOfBatch.value(batch, -1);
        auto it = std::lower_bound(rows.begin(), rows.end(), batch,
                                   [](const Row &r, qint64 b) { return r.batch < b; });
        return it != rows.end() && it->batch == batch ? int(it - rows.begin()) : -1;
    }

    quint16 store(std::string_view bytes)
    {
        // Offsets are 32 bits: past 4 GiB of text the rest shows empty rather than wrong.
        const size_t n = std::min<size_t>(bytes.size(), 0xFFFF);
        if (arena.size() + n > 0xFFFFFFFFu)
            return 0;
        arena.append(bytes.data(), n);
        return quint16(n);
    }

    // Returns the new row, or -1 when onlyNew and its batch number is there already.
    int addBatch(bool onlyNew, qint64 batch, std::string_view time, std::string_view link,
                 qint64 quantity, std::string_view first, std::string_view last,
                 std::string_view uri)
    {
        // The usual journal counts up: a number above the last one is new.
        const bool above = rows.empty() || batch > rows.back().batch;
        if (onlyNew && !above && findRow(batch) >= 0)
            return -1;
        Row r{};
        r.batch = batch;
        quint8 lastBits = 0;
        if (!parseEpc(first, &r.bits, &r.firstHi, &r.firstLo) ||
            !parseEpc(last, &lastBits, &r.lastHi, &r.lastLo) || lastBits != r.bits)
            r.bits = 0;
        r.quantity = int(std::clamp<qint64>(quantity, 0, INT_MAX));
        r.link = links.intern(link);
        const size_t dot = uri.rfind('.');
        const size_t headSize = dot == std::string_view::npos ? 0 : dot + 1;
        r.uriHead = uriHeads.intern(uri.substr(0, headSize));
        r.text = quint32(std::min<size_t>(arena.size(), 0xFFFFFFFFu));
        r.timeSize = store(time);
        r.uriTailSize = store(uri.substr(headSize));
        r.result = -1;
        if (ascending && !above) {
            ascending = false;
            rowOfBatch.reserve(qsizetype(rows.size()));
            for (size_t i = 0; i < rows.size(); ++i)
                rowOfBatch.insert(rows[i].batch, int(i));
        }
        if (!ascending)
            rowOfBatch.insert(batch, int(rows.size()));
        rows.push_back(r);
        return int(rows.size()) - 1;
    }

    // Returns the row whose result this is, or -1 when no batch has its number.
    int setResult(qint64 batch, std::string_view result)
    {
        const int row = findRow(batch);
        if (row < 0)
            return -1;
        const quint32 i = results.intern(result);
        if (i >= outcomes.size())
            outcomes.push_back(BatchOutcomeOf(results.text(i)));
        rows[size_t(row)].result = qint32(i);
        return row;
    }

    BatchOutcome outcome(int row) const
    {
        const qint32 r = rows[size_t(row)].result;
        return r < 0 ? BatchOutcome::Pending : outcomes[size_t(r)];
    }

    // The times as instants, for sorting by time; made when first needed.
    std::vector<qint64> timeKeys;
    void makeTimeKeys()
    {
        timeKeys.reserve(rows.size());
        for (size_t i = timeKeys.size(); i < rows.size(); ++i)
            timeKeys.push_back(utcSeconds(time(rows[i])));
    }

    std::string_view time(const Row &r) const
    {
        return std::string_view(arena.data() + r.text, r.timeSize);
    }
    std::string_view uriTail(const Row &r) const
    {
        return std::string_view(arena.data() + r.text + r.timeSize, r.uriTailSize);
    }
};

JournalModel::JournalModel(QObject *parent)
    : QAbstractTableModel(parent), m_table(std::make_shared<JournalTable>())
{
}

JournalModel::~JournalModel()
{
    stopLoader();
}

void JournalModel::stopLoader()
{
    if (m_cancel)
        m_cancel->store(true);
    if (m_loader.joinable())
        m_loader.join();
}

void JournalModel::load(const QString &path)
{
    stopLoader();
    m_loading = true;
    const unsigned generation = ++m_generation;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancel;
    m_loader = std::thread([this, path, generation, cancel] {
        auto table = std::make_shared<JournalTable>();
        try {
            const qint64 size = QFileInfo(path).size();
            // Untouched capacity costs no memory; it spares the copies of growing storage.
            table->rows.reserve(size_t(std::clamp<qint64>(size / 120, 16, 1 << 22)));
            table->arena.reserve(size_t(std::clamp<qint64>(size / 4, 16, 1 << 28)));
            auto field = [](const JournalRawLine &line, JournalField f) {
                return std::string_view(line[f]);
            };
            const JournalRead read = ScanJournalRaw(
                path,
                [&](const JournalRawLine &line) {
                    if (cancel->load(std::memory_order_relaxed))
                        return false;
                    const qint64 batch = toNumber(field(line, JournalField::Batch));
                    if (line.kind() == JournalKind::Batch) {
                        // A number used twice (journals joined by hand) still gives two rows.
                        table->addBatch(false, batch, field(line, JournalField::Time),
                                        field(line, JournalField::Link),
                                        toNumber(field(line, JournalField::Quantity)),
                                        field(line, JournalField::FirstEpc),
                                        field(line, JournalField::LastEpc),
                                        field(line, JournalField::TagUri));
                    } else if (line.kind() == JournalKind::Result) {
                        table->setResult(batch, field(line, JournalField::Result));
                    }
                    return true;
                },
                [&](qint64 done) {
                    const int permille = size > 0 ? int(qMin<qint64>(done * 1000 / size, 1000)) : 0;
                    QMetaObject::invokeMethod(
                        this,
                        [this, generation, permille] {
                            if (generation == m_generation && m_loading)
                                emit loadProgress(permille);
                        },
                        Qt::QueuedConnection);
                    return !cancel->load(std::memory_order_relaxed);
                });
            table->skipped = read.skipped;
            table->error = read.opened ? QString() : read.error;
        } catch (const std::bad_alloc &) { // a journal too large for this machine
            table = std::make_shared<JournalTable>();
            table->error = QStringLiteral("there is not enough memory to show it");
        }
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this, [this, generation, table] { finishLoad(generation, table); },
            Qt::QueuedConnection);
    });
}

void JournalModel::finishLoad(unsigned generation, std::shared_ptr<JournalTable> table)
{
    if (generation != m_generation)
        return;
    if (m_loader.joinable())
        m_loader.join();
    m_loading = false;
    m_skipped = table->skipped;
    m_error = table->error;
    beginResetModel();
    m_table = std::move(table);
    // Lines written while the file was read may be in it already: a batch number that is
    // there is not added twice, and a result only sets what the newest result says anyway.
    for (const JournalEvent &event : m_pending)
        apply(event, true);
    m_pending.clear();
    rebuildOrder();
    endResetModel();
    emit totalsChanged();
    emit loadFinished();
}

void JournalModel::append(const JournalEvent &event)
{
    if ((event.kind != JournalKind::Batch && event.kind != JournalKind::Result) || event.batch <= 0)
        return;
    if (m_loading)
        m_pending.push_back(event);
    else
        apply(event, false);
}

void JournalModel::apply(const JournalEvent &event, bool quiet)
{
    JournalTable &t = *m_table;
    if (event.kind == JournalKind::Batch) {
        const QString first = event.firstEpc.toUpper();
        const QString last =
            event.lastEpc.isEmpty() ? JournalLastEpc(first, event.quantity) : event.lastEpc;
        const QString uri = event.tagUri.isEmpty() ? ReadEpc(first).tagUri : event.tagUri;
        const QString time =
            event.time.isEmpty() ? JournalTimeText(QDateTime::currentDateTime()) : event.time;
        const int row = t.addBatch(true, event.batch, time.toUtf8().toStdString(),
                                   event.link.toUtf8().toStdString(), event.quantity,
                                   first.toLatin1().toStdString(), last.toLatin1().toStdString(),
                                   uri.toUtf8().toStdString());
        if (quiet || row < 0 || !shown(row))
            return;
        insertShown(row);
        emit totalsChanged();
        return;
    }
    const int row = t.findRow(event.batch);
    if (row < 0)
        return;
    if (quiet) {
        t.setResult(event.batch, event.result.toUtf8().toStdString());
        return;
    }
    const bool wasShown = shown(row);
    int pos = -1;
    if (wasShown) {
        pos = int(std::find(m_order.begin(), m_order.end(), row) - m_order.begin());
        count(row, -1);
    }
    t.setResult(event.batch, event.result.toUtf8().toStdString());
    const bool nowShown = shown(row);
    if (wasShown && nowShown && m_sortColumn != ColResult) {
        count(row, 1);
        emit dataChanged(index(pos, ColResult), index(pos, ColResult));
        emit totalsChanged();
        return;
    }
    if (wasShown) {
        beginRemoveRows(QModelIndex(), pos, pos);
        m_order.erase(m_order.begin() + pos);
        endRemoveRows();
    }
    if (nowShown)
        insertShown(row);
    emit totalsChanged();
}

void JournalModel::insertShown(int row)
{
    if (m_sortColumn == ColTime)
        m_table->makeTimeKeys();
    const int at = int(std::upper_bound(m_order.begin(), m_order.end(), row,
                                        [this](int a, int b) { return before(a, b); }) -
                       m_order.begin());
    beginInsertRows(QModelIndex(), at, at);
    m_order.insert(m_order.begin() + at, row);
    count(row, 1);
    endInsertRows();
}

JournalFilter JournalFilterOf(BatchOutcome outcome)
{
    switch (outcome) {
    case BatchOutcome::OperationOk:
        return JournalFilter::OperationOk;
    case BatchOutcome::EncodingFailed:
        return JournalFilter::EncodingFailed;
    case BatchOutcome::NoResponse:
        return JournalFilter::NoResponse;
    case BatchOutcome::Sent:
        return JournalFilter::Sent;
    case BatchOutcome::LinkFailure:
    case BatchOutcome::Stopped:
    case BatchOutcome::Pending:
        break;
    }
    return JournalFilter::Other;
}

bool JournalModel::shown(int row) const
{
    return m_filter == JournalFilter::All || JournalFilterOf(m_table->outcome(row)) == m_filter;
}

void JournalModel::count(int row, int sign)
{
    const JournalTable::Row &r = m_table->rows[size_t(row)];
    m_totals.batches += sign;
    m_totals.labels += sign * qint64(r.quantity);
    switch (m_table->outcome(row)) {
    case BatchOutcome::OperationOk:
        m_totals.ok += sign;
        break;
    case BatchOutcome::EncodingFailed:
        m_totals.failed += sign;
        break;
    case BatchOutcome::NoResponse:
        m_totals.noResponse += sign;
        break;
    default:
        m_totals.others += sign;
        break;
    }
}

bool JournalModel::before(int a, int b) const
{
    if (m_sortOrder == Qt::DescendingOrder)
        std::swap(a, b);
    const JournalTable &t = *m_table;
    const JournalTable::Row &ra = t.rows[size_t(a)];
    const JournalTable::Row &rb = t.rows[size_t(b)];
    int c = 0;
    switch (m_sortColumn) {
    case ColBatch:
        c = compare(ra.batch, rb.batch);
        break;
    case ColTime:
        c = compare(t.timeKeys[size_t(a)], t.timeKeys[size_t(b)]);
        if (c == 0)
            c = t.time(ra).compare(t.time(rb));
        break;
    case ColLink: {
        const auto &rank = t.links.ranks();
        c = compare(rank[ra.link], rank[rb.link]);
        break;
    }
    case ColQuantity:
        c = compare(ra.quantity, rb.quantity);
        break;
    case ColFirstEpc:
        c = compare(std::make_tuple(ra.bits, ra.firstHi, ra.firstLo),
                    std::make_tuple(rb.bits, rb.firstHi, rb.firstLo));
        break;
    case ColLastEpc:
        c = compare(std::make_tuple(ra.bits, ra.lastHi, ra.lastLo),
                    std::make_tuple(rb.bits, rb.lastHi, rb.lastLo));
        break;
    case ColTagUri: {
        const auto &rank = t.uriHeads.ranks();
        c = compare(rank[ra.uriHead], rank[rb.uriHead]);
        if (c == 0)
            c = t.uriTail(ra).compare(t.uriTail(rb));
        break;
    }
    case ColResult: {
        const auto &rank = t.results.ranks();
        c = compare(ra.result < 0 ? -1 : qint64(rank[size_t(ra.result)]),
                    rb.result < 0 ? -1 : qint64(rank[size_t(rb.result)]));
        break;
    }
    }
    return c != 0 ? c < 0 : a < b;
}

void JournalModel::sortShown()
{
    if (m_sortColumn == ColTime)
        m_table->makeTimeKeys();
    std::sort(m_order.begin(), m_order.end(), [this](int a, int b) { return before(a, b); });
}

void JournalModel::rebuildOrder()
{
    const int n = int(m_table->rows.size());
    m_order.clear();
    m_order.reserve(size_t(n));
    m_totals = JournalTotals();
    for (int i = 0; i < n; ++i)
        if (shown(i)) {
            m_order.push_back(i);
            count(i, 1);
        }
    // Newest first is the file's order backwards: no sort needed.
    if (m_sortColumn == ColBatch && m_sortOrder == Qt::DescendingOrder && m_table->ascending)
        std::reverse(m_order.begin(), m_order.end());
    else
        sortShown();
}

void JournalModel::setFilter(JournalFilter filter)
{
    if (filter == m_filter)
        return;
    beginResetModel();
    m_filter = filter;
    rebuildOrder();
    endResetModel();
    emit totalsChanged();
}

void JournalModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    if (column == m_sortColumn && order == m_sortOrder)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<int> rowsBefore;
    rowsBefore.reserve(size_t(persistent.size()));
    for (const QModelIndex &i : persistent)
        rowsBefore.push_back(m_order[size_t(i.row())]);
    m_sortColumn = column;
    m_sortOrder = order;
    if (column == ColBatch && m_table->ascending)
        std::sort(m_order.begin(), m_order.end(),
                  [order](int a, int b) { return order == Qt::AscendingOrder ? a < b : b < a; });
    else
        sortShown();
    if (!persistent.isEmpty()) { // selection and current cell follow their rows
        QModelIndexList after;
        std::vector<int> positionOf(m_table->rows.size(), -1);
        for (size_t i = 0; i < m_order.size(); ++i)
            positionOf[size_t(m_order[i])] = int(i);
        for (qsizetype i = 0; i < persistent.size(); ++i)
            after.append(index(positionOf[size_t(rowsBefore[size_t(i)])], persistent[i].column()));
        changePersistentIndexList(persistent, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int JournalModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_order.size());
}

int JournalModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

void JournalModel::appendCell(QByteArray *out, int row, int column) const
{
    if (row < 0 || row >= int(m_order.size()))
        return;
    const JournalTable &t = *m_table;
    const JournalTable::Row &r = t.rows[size_t(m_order[size_t(row)])];
    auto append = [out](std::string_view s) { out->append(s.data(), qsizetype(s.size())); };
    switch (column) {
    case ColBatch:
        out->append(QByteArray::number(r.batch));
        break;
    case ColTime:
        append(t.time(r));
        break;
    case ColLink:
        append(t.links.bytes(r.link));
        break;
    case ColQuantity:
        out->append(QByteArray::number(r.quantity));
        break;
    case ColFirstEpc:
        appendEpc(out, r.bits, r.firstHi, r.firstLo);
        break;
    case ColLastEpc:
        appendEpc(out, r.bits, r.lastHi, r.lastLo);
        break;
    case ColTagUri:
        append(t.uriHeads.bytes(r.uriHead));
        append(t.uriTail(r));
        break;
    case ColResult:
        if (r.result >= 0)
            append(t.results.bytes(quint32(r.result)));
        break;
    }
}

QString JournalModel::text(int row, int column) const
{
    QByteArray bytes;
    appendCell(&bytes, row, column);
    return QString::fromUtf8(bytes);
}

QVariant JournalModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole)
        return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole &&
        (index.column() == ColBatch || index.column() == ColQuantity))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    // The whole text of the cells that are cut to fit: the printer's reply, the serial.
    if (role == Qt::ToolTipRole && (index.column() == ColResult || index.column() == ColTagUri))
        return text(index.row(), index.column());
    return QVariant();
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return QString::fromLatin1(Headers[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool JournalModel::writeCsv(QIODevice *out) const
{
    QByteArray chunk;
    QByteArray field;
    for (int c = 0; c < ColumnCount; ++c) {
        if (c)
            chunk.append(',');
        AppendCsvField(&chunk, QByteArray(Headers[c]));
    }
    chunk.append("\r\n");
    for (int row = 0; row < int(m_order.size()); ++row) {
        for (int c = 0; c < ColumnCount; ++c) {
            if (c)
                chunk.append(',');
            field.clear();
            appendCell(&field, row, c);
            AppendCsvField(&chunk, field);
        }
        chunk.append("\r\n");
        if (chunk.size() >= (1 << 20)) {
            if (out->write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return out->write(chunk) == chunk.size();
}
