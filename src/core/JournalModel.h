#pragma once
// The batch journal as a table: one row per batch with the newest result of its batch number.
// A journal of a million batches is loaded on a thread of its own into a compact form (numbers
// as numbers, repeated texts shared), and filtered and sorted here through an index of rows,
// so that the view never waits on the file or on a million string compares.
#include <QAbstractTableModel>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "core/BatchOutcome.h"
#include "core/Journal.h"

class QIODevice;

// The filter's choices. Other holds the link's failures, stopped runs and batches with no
// result yet.
enum class JournalFilter { All, OperationOk, EncodingFailed, NoResponse, Sent, Other };
// The one choice of the filter (never All) that shows a batch with this outcome.
JournalFilter JournalFilterOf(BatchOutcome outcome);

struct JournalTotals {
    qint64 batches = 0;
    qint64 labels = 0;
    qint64 ok = 0;
    qint64 failed = 0;
    qint64 noResponse = 0;
    qint64 others = 0; // "Sent", the link's failures, no result yet
};

struct JournalTable; // the rows in their compact form

class JournalModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        ColBatch,
        ColTime,
        ColLink,
        ColQuantity,
        ColFirstEpc,
        ColLastEpc,
        ColTagUri,
        ColResult,
        ColumnCount
    };

    explicit JournalModel(QObject *parent = nullptr);
    ~JournalModel() override;

    // Reads path in the background; the rows shown until then stay. Events handed to append()
    // meanwhile are applied once the file is in, each once.
    void load(const QString &path);
    bool isLoading() const { return m_loading; }
    // Of the last finished load: the lines it skipped, and why the file could not be read.
    int skipped() const { return m_skipped; }
    QString error() const { return m_error; }

    // A line the program has just written: a batch becomes a row, a result updates its row.
    // Events without a batch number (a batch whose line could not be written) are not rows.
    void append(const JournalEvent &event);

    void setFilter(JournalFilter filter);
    JournalFilter filter() const { return m_filter; }
    JournalTotals totals() const { return m_totals; } // of the rows shown

    // The rows shown, in the order shown, as CSV (RFC 4180, UTF-8, a header line).
    bool writeCsv(QIODevice *out) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Newest first is ColBatch, Qt::DescendingOrder (the order after a load).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // One cell as text, by position in the shown order.
    QString text(int row, int column) const;

signals:
    void loadProgress(int permille);
    void loadFinished();
    void totalsChanged();

private:
    void appendCell(QByteArray *out, int row, int column) const; // as UTF-8
    void finishLoad(unsigned generation, std::shared_ptr<JournalTable> table);
    void stopLoader();
    void apply(const JournalEvent &event, bool quiet); // quiet: no signals, no order kept
    void rebuildOrder();
    void sortShown(); // m_order by the sort column and order
    bool shown(int row) const;
    bool before(int a, int b) const; // a comes first in the shown order
    void count(int row, int sign);
    void insertShown(int row); // into the order at its place, with its totals

    std::shared_ptr<JournalTable> m_table;
    std::vector<int> m_order; // the rows shown, in the order shown
    JournalFilter m_filter = JournalFilter::All;
    int m_sortColumn = ColBatch;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    JournalTotals m_totals;

    bool m_loading = false;
    int m_skipped = 0;
    QString m_error;
    std::vector<JournalEvent> m_pending; // appended while a load runs
    std::thread m_loader;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    unsigned m_generation = 0;
};
