#pragma once
// The journal window's table over a journal database: the rows come a page at a time from the
// store, sorted and filtered by the database, and the totals too, so that a million batches
// cost the window no more than the page on screen. Columns as JournalModel's, with the station
// after them when more than one station wrote.
#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

#include "core/JournalModel.h"
#include "link/JournalStore.h"

class QIODevice;

class JournalPageModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum { ColStation = JournalStore::ColStation };

    explicit JournalPageModel(QObject *parent = nullptr);

    // Its own connection to the store the program writes to.
    bool open(const QString &location);
    QString error() const { return m_store.error(); }
    // Counts and pages read again; appended events ask for it once the event loop is free.
    void refresh();
    void append(const JournalEvent &event);

    void setFilter(JournalFilter filter);
    JournalTotals totals() const { return m_totals; }
    // The rows shown, in the order shown, in JournalModel's CSV (no station column).
    bool writeCsv(QIODevice *out);
    QString text(int row, int column) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

signals:
    void totalsChanged();

private:
    static QString cell(const JournalStore::Row &row, int column);

    mutable JournalStore m_store;
    JournalStore::PageQuery m_query;
    JournalTotals m_totals;
    bool m_stations = false; // more than one wrote: the station column shows
    bool m_refreshAsked = false;
    QStringList m_headers;
    mutable QList<JournalStore::Row> m_page;
    mutable qint64 m_pageStart = -1;
};
