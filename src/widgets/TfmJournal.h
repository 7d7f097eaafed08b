#pragma once
// The batch journal window: every batch with its result, newest first, sortable by any column,
// filtered by result, with totals of what is shown and an export of it. Modeless: it shows
// the batches sent while it is open without reading the file again.
#include <QDialog>
#include <QString>

#include "core/Journal.h"

class JournalModel;
class JournalPageModel;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

class TfmJournal : public QDialog
{
    Q_OBJECT
public:
    explicit TfmJournal(QWidget *parent = nullptr);

    void setJournalPath(const QString &path); // the file to show
    // A journal database instead: the table pages from it (reload opens it).
    void setJournalStore(const QString &location);
    JournalPageModel *pageModel() const { return FPages; }
    QString journalPath() const { return FJournalPath; }
    void reload(); // (re)load it in the background
    // A line the program just wrote, with its batch number as the writer gave it; Format and
    // File lines are not rows.
    void journalAppended(const JournalEvent &event);
    JournalModel *model() const { return FModel; }

    QTableView *lvJournal = nullptr;
    QComboBox *cxResult = nullptr; // item data: the JournalFilter value
    QLabel *laTotals = nullptr;
    QLabel *laNote = nullptr; // loading, lines skipped, or why the file could not be read
    QProgressBar *pbLoad = nullptr;
    QPushButton *sbExport = nullptr;
    QPushButton *bbClose = nullptr;

    void cxResultChange(int index);
    void sbExportClick();
    void bbCloseClick();

private:
    void ModelLoadProgress(int permille);
    void ModelLoadFinished();
    void UpdateTotals();

    JournalModel *FModel = nullptr;
    JournalPageModel *FPages = nullptr; // with a database, the model shown
    QString FStoreLocation;
    QString FJournalPath;
};
