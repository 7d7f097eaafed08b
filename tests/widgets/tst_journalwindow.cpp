// The batch journal window: its controls by name, loading, the filter with its totals, batches
// shown as they are sent, and the export through the prompt.
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QtTest>

#include "FakePrompt.h"
#include "core/JournalModel.h"
#include "link/JournalStore.h"
#include "widgets/JournalPageModel.h"
#include "widgets/TfmJournal.h"

namespace
{
JournalEvent batch(qint64 number, const QString &first, const QString &result = QString())
{
    JournalEvent e;
    e.kind = result.isEmpty() ? JournalKind::Batch : JournalKind::Result;
    e.batch = number;
    e.time = QStringLiteral("2026-12-08T10:42:05+01:00");
    e.link = QStringLiteral("COM3");
    e.quantity = 3;
    e.firstEpc = first;
    e.result = result;
    return e;
}
} // namespace

class TestJournalWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void resultInSight();
    void loadFilterAndAppend();
    void exportCsv_data();
    void exportCsv();
    void reloadSaysWhatItSkipped();
    void pagesFromTheDatabase();

private:
    template <typename T> T *control(const char *name)
    {
        T *c = m_window->findChild<T *>(QLatin1String(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<TfmJournal> m_window;
};

void TestJournalWindow::initTestCase()
{
    m_path = m_dir.filePath(QStringLiteral("quilbo-journal.csv"));
    JournalWriter w;
    QVERIFY(w.open(m_path));
    QCOMPARE(w.appendBatch(batch(0, QStringLiteral("0000000000000001"))), 1);
    QVERIFY(w.appendResult(1, QStringLiteral("Operation OK")));
    QCOMPARE(w.appendBatch(batch(0, QStringLiteral("0000000000000004"))), 2);
    QVERIFY(w.appendResult(2, QStringLiteral("No response")));
    m_window = std::make_unique<TfmJournal>();
    QCOMPARE(m_window->objectName(), QStringLiteral("fmJournal"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Batch Journal"));
    QVERIFY(!m_window->isModal());
    m_window->setJournalPath(m_path);
    m_window->show();
    m_window->reload();
    QVERIFY(control<QProgressBar>("pbLoad")->isVisible());
    QTRY_VERIFY(!m_window->model()->isLoading());
    QVERIFY(!control<QProgressBar>("pbLoad")->isVisible());
}

void TestJournalWindow::resultInSight()
{
    auto *view = control<QTableView>("lvJournal");
    QCOMPARE(view->horizontalHeader()->visualIndex(JournalModel::ColResult), 1);
    // Every column in the window at its first size, on a screen 1280 pixels wide.
    QVERIFY(m_window->frameGeometry().width() <= 1280);
    QVERIFY(view->horizontalHeader()->length() <= view->viewport()->width());
    QVERIFY(view->columnWidth(JournalModel::ColResult) >
            view->fontMetrics().horizontalAdvance(QStringLiteral("Label encoding failed")));
    QCOMPARE(view->model()->index(0, JournalModel::ColResult).data(Qt::ToolTipRole),
             QVariant("No response"));
    // The unanswered batch (row 0) is drawn in a colour, the one that went well (row 1) not.
    const auto coloured = [view](int row) {
        const QModelIndex cell = view->model()->index(row, JournalModel::ColResult);
        QImage image(view->visualRect(cell).size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.initFrom(view);
        option.rect = image.rect();
        view->itemDelegateForIndex(cell)->paint(&painter, option, cell);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qRed(image.pixel(x, y)) > qGreen(image.pixel(x, y)) + 60)
                    return true;
        return false;
    };
    QVERIFY(coloured(0));
    QVERIFY(!coloured(1));
}

void TestJournalWindow::loadFilterAndAppend()
{
    auto *view = control<QTableView>("lvJournal");
    auto *filter = control<QComboBox>("cxResult");
    auto *totals = control<QLabel>("laTotals");
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(view->model()->index(0, JournalModel::ColResult).data(), QVariant("No response"));
    QCOMPARE(totals->text(),
             QStringLiteral("2 batches, 6 labels: 1 Operation OK, 0 failed, 1 no response, "
                            "0 others"));

    filter->setCurrentIndex(filter->findData(int(JournalFilter::OperationOk)));
    QCOMPARE(view->model()->rowCount(), 1);
    QCOMPARE(totals->text(),
             QStringLiteral("1 batches, 3 labels: 1 Operation OK, 0 failed, 0 no response, "
                            "0 others"));
    // Sent now: the batch has no result yet, then gets one that passes the filter.
    m_window->journalAppended(batch(3, QStringLiteral("0000000000000007")));
    QCOMPARE(view->model()->rowCount(), 1);
    m_window->journalAppended(batch(3, QString(), QStringLiteral("Operation OK")));
    QCOMPARE(view->model()->rowCount(), 2);
    QCOMPARE(view->model()->index(0, JournalModel::ColLastEpc).data(),
             QVariant("0000000000000009"));
    QCOMPARE(totals->text(),
             QStringLiteral("2 batches, 6 labels: 2 Operation OK, 0 failed, 0 no response, "
                            "0 others"));
    filter->setCurrentIndex(filter->findData(int(JournalFilter::All)));
    QCOMPARE(view->model()->rowCount(), 3);
}

void TestJournalWindow::exportCsv_data()
{
    QTest::addColumn<QString>("path"); // empty: cancelled
    QTest::addColumn<QString>("warning");
    QTest::newRow("written") << m_dir.filePath(QStringLiteral("out.csv")) << QString();
    QTest::newRow("cancelled") << QString() << QString();
    QTest::newRow("no such folder")
        << m_dir.filePath(QStringLiteral("none/out.csv")) << QStringLiteral("Write Error: ");
    QTest::newRow("the journal itself")
        << m_path
        << QStringLiteral("Write Error: %1\nThis is the journal itself")
               .arg(QDir::toNativeSeparators(m_path));
}

void TestJournalWindow::exportCsv()
{
    QFETCH(QString, path);
    QFETCH(QString, warning);
    FakePrompt fake;
    fake.paths.enqueue(path);
    QFile journal(m_path);
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QByteArray before = journal.readAll();
    journal.close();
    control<QPushButton>("sbExport")->click();
    QCOMPARE(fake.asked.size(), warning.isEmpty() ? 1 : 2);
    QCOMPARE(fake.asked[0].kind, PromptQuestion::Save);
    QCOMPARE(fake.asked[0].folder, m_dir.path());
    if (!warning.isEmpty())
        QVERIFY2(fake.messages().value(0).startsWith(warning),
                 qPrintable(fake.messages().value(0)));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    QCOMPARE(journal.readAll(), before);
    if (path.isEmpty() || !warning.isEmpty())
        return;
    QFile out(path);
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = out.readAll().split('\n');
    QCOMPARE(lines.size(), 5); // header, three rows, nothing after the last CR LF
    QCOMPARE(lines[0], "Batch,Time,Link,Quantity,First EPC,Last EPC,Tag URI,Result\r");
    QVERIFY2(lines[1].startsWith("3,2026-12-08T10:42:05+01:00,COM3,3,0000000000000007,"),
             lines[1].constData());
}

void TestJournalWindow::reloadSaysWhatItSkipped()
{
    QFile journal(m_path);
    QVERIFY(journal.open(QIODevice::Append));
    journal.write("garbage\r\nbatch,9,cut");
    journal.close();
    m_window->reload();
    QCOMPARE(control<QLabel>("laNote")->text(), QStringLiteral("Loading..."));
    QTRY_VERIFY(!m_window->model()->isLoading());
    QCOMPARE(control<QLabel>("laNote")->text(), QStringLiteral("2 damaged lines skipped"));
    // Batch 3 was only ever shown, never written: the file is what counts.
    QCOMPARE(control<QTableView>("lvJournal")->model()->rowCount(), 2);
}

void TestJournalWindow::pagesFromTheDatabase()
{
    // More than two pages, from two stations; every third batch failed.
    const QString db = m_dir.filePath(QStringLiteral("pages.sqlite"));
    JournalStore stores[2];
    QVERIFY(stores[0].open(db, QStringLiteral("line 1")) &&
            stores[1].open(db, QStringLiteral("line 2")));
    for (int i = 0; i < 450; ++i) {
        JournalEvent e = batch(0, QStringLiteral("%1").arg(1000 - i, 16, 10, QLatin1Char('0')));
        const qint64 n = stores[i % 2].appendBatch(e);
        QVERIFY(stores[0].appendResult(n, i % 3 ? QStringLiteral("Operation OK")
                                                : QStringLiteral("Label encoding failed")));
    }
    TfmJournal window;
    window.setJournalStore(db);
    window.reload();
    JournalPageModel *m = window.pageModel();
    QCOMPARE(m->rowCount(), 450);
    QCOMPARE(m->headerData(JournalPageModel::ColStation, Qt::Horizontal).toString(), "Station");
    QCOMPARE(m->text(0, JournalModel::ColBatch), "450"); // newest first
    QCOMPARE(m->text(449, JournalPageModel::ColStation), "line 1");
    window.lvJournal->sortByColumn(JournalModel::ColFirstEpc, Qt::AscendingOrder);
    QCOMPARE(m->text(0, JournalModel::ColBatch), "450");
    QCOMPARE(m->text(449, JournalModel::ColFirstEpc), "0000000000001000");
    window.cxResult->setCurrentIndex(2); // Label encoding failed
    QCOMPARE(m->rowCount(), 150);
    QCOMPARE(m->totals().failed, 150);
    QVERIFY(window.laTotals->text().startsWith("150 batches, 450 labels"));

    // The export is what the file journal's window writes for the same rows.
    QBuffer paged, file;
    QVERIFY(paged.open(QIODevice::WriteOnly) && m->writeCsv(&paged));
    const QString csv = m_dir.filePath(QStringLiteral("pages.csv"));
    QFile out(csv);
    QVERIFY(out.open(QIODevice::WriteOnly) && stores[0].exportCsv(&out));
    out.close();
    JournalModel model;
    model.load(csv);
    QTRY_VERIFY(!model.isLoading());
    model.setFilter(JournalFilter::EncodingFailed);
    model.sort(JournalModel::ColFirstEpc, Qt::AscendingOrder);
    QVERIFY(file.open(QIODevice::WriteOnly) && model.writeCsv(&file));
    QCOMPARE(paged.data(), file.data());

    // Kept current by what the program writes.
    JournalEvent e = batch(0, QStringLiteral("0000000000000001"));
    e.batch = stores[0].appendBatch(e);
    QVERIFY(stores[0].appendResult(e.batch, QStringLiteral("Label encoding failed")));
    window.journalAppended(e);
    QTRY_COMPARE(m->rowCount(), 151);
    QCOMPARE(m->text(0, JournalModel::ColFirstEpc), "0000000000000001");
}

QTEST_MAIN(TestJournalWindow)
#include "tst_journalwindow.moc"
