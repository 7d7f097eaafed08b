#include "widgets/JournalPageModel.h"

#include <QIODevice>
#include <QTimer>

namespace
{
constexpr int PageRows = 200;
}

JournalPageModel::JournalPageModel(QObject *parent) : QAbstractTableModel(parent)
{
    const JournalModel columns;
    for (int c = 0; c < JournalModel::ColumnCount; ++c)
        m_headers << columns.headerData(c, Qt::Horizontal).toString();
    m_headers << QStringLiteral("Station");
    m_query.limit = PageRows;
}

bool JournalPageModel::open(const QString &location)
{
    beginResetModel();
    const bool opened = m_store.open(location, QString());
    m_pageStart = -1;
    endResetModel();
    refresh();
    return opened;
}

void JournalPageModel::refresh()
{
    m_refreshAsked = false;
    m_pageStart = -1;
    m_page.clear();
    const JournalTotals totals =
        m_store.isOpen() ? m_store.totals(m_query.filter) : JournalTotals();
    const bool stations = m_store.isOpen() && m_store.stationCount() > 1;
    // Rows added or taken at the end and the rest repainted, not a reset: the view keeps its
    // column widths, order and scroll position.
    const int before = rowCount();
    const int after = int(qMin<qint64>(totals.batches, INT_MAX));
    if (stations != m_stations) {
        beginResetModel();
        m_totals = totals;
        m_stations = stations;
        endResetModel();
    } else if (after > before) {
        beginInsertRows(QModelIndex(), before, after - 1);
        m_totals = totals;
        endInsertRows();
    } else if (after < before) {
        beginRemoveRows(QModelIndex(), after, before - 1);
        m_totals = totals;
        endRemoveRows();
    }
    m_totals = totals;
    if (after > 0)
        emit dataChanged(index(0, 0), index(after - 1, columnCount() - 1));
    emit totalsChanged();
}

void JournalPageModel::append(const JournalEvent &event)
{
    // Only batches and their results change rows; a run's events come in one refresh.
    if (event.batch == 0 || m_refreshAsked ||
        (event.kind != JournalKind::Batch && event.kind != JournalKind::Result))
        return;
    m_refreshAsked = true;
    QTimer::singleShot(0, this, &JournalPageModel::refresh);
}

void JournalPageModel::setFilter(JournalFilter filter)
{
    m_query.filter = filter;
    refresh();
}

void JournalPageModel::sort(int column, Qt::SortOrder order)
{
    m_query.column = column;
    m_query.descending = order == Qt::DescendingOrder;
    refresh();
}

QString JournalPageModel::cell(const JournalStore::Row &row, int column)
{
    const JournalEvent &b = row.batch;
    switch (column) {
    case JournalModel::ColBatch:
        return QString::number(b.batch);
    case JournalModel::ColTime:
        return b.time;
    case JournalModel::ColLink:
        return b.link;
    case JournalModel::ColQuantity:
        return QString::number(b.quantity);
    case JournalModel::ColFirstEpc:
        return b.firstEpc;
    case JournalModel::ColLastEpc:
        return b.lastEpc;
    case JournalModel::ColTagUri:
        return b.tagUri;
    case JournalModel::ColResult:
        return b.result;
    case ColStation:
        return row.station;
    }
    return QString();
}

QString JournalPageModel::text(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    const qint64 start = qint64(row) / PageRows * PageRows;
    if (start != m_pageStart) {
        JournalStore::PageQuery query = m_query;
        query.offset = start;
        m_page = m_store.page(query);
        m_pageStart = start;
    }
    const qint64 at = row - m_pageStart;
    return at < m_page.size() ? cell(m_page.at(at), column) : QString();
}

bool JournalPageModel::writeCsv(QIODevice *out)
{
    QByteArray chunk;
    for (int c = 0; c < JournalModel::ColumnCount; ++c) {
        if (c)
            chunk.append(',');
        AppendCsvField(&chunk, m_headers.at(c).toUtf8());
    }
    chunk.append("\r\n");
    bool written = true;
    const bool read = m_store.forEachRow(m_query, [&](const JournalStore::Row &row) {
        for (int c = 0; c < JournalModel::ColumnCount; ++c) {
            if (c)
                chunk.append(',');
            AppendCsvField(&chunk, cell(row, c).toUtf8());
        }
        chunk.append("\r\n");
        if (chunk.size() >= (1 << 20)) {
            written = out->write(chunk) == chunk.size();
            chunk.clear();
        }
        return written;
    });
    return read && written && out->write(chunk) == chunk.size();
}

int JournalPageModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(qMin<qint64>(m_totals.batches, INT_MAX));
}

int JournalPageModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : JournalModel::ColumnCount + (m_stations ? 1 : 0);
}

QVariant JournalPageModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (role == Qt::DisplayRole)
        return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole &&
        (index.column() == JournalModel::ColBatch || index.column() == JournalModel::ColQuantity))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole &&
        (index.column() == JournalModel::ColResult || index.column() == JournalModel::ColTagUri))
        return text(index.row(), index.column());
    return QVariant();
}

QVariant JournalPageModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_headers.size())
        return m_headers.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
