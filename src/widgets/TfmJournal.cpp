#include "widgets/TfmJournal.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include "core/BatchOutcome.h"
#include "core/Files.h"
#include "core/JournalModel.h"
#include "link/JournalStore.h"
#include "widgets/Controls.h"
#include "widgets/JournalPageModel.h"
#include "widgets/Prompt.h"

namespace
{
const char ExportFilter[] = "CSV files (*.csv)|*.csv|All files (*.*)|*.*";
// With its frame, the window fits a screen 1280 pixels wide.
constexpr int DefaultWidth = 1264;

// Failed and unanswered batches stand out from the rows that went well; a tag URI is cut in
// the middle, so that its serial stays in sight.
class RowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == JournalModel::ColTagUri)
            option->textElideMode = Qt::ElideMiddle;
        const QString result = index.siblingAtColumn(JournalModel::ColResult).data().toString();
        switch (BatchOutcomeOf(result)) {
        case BatchOutcome::EncodingFailed:
            option->palette.setColor(QPalette::Text, QColor(0xC0, 0x00, 0x00));
            break;
        case BatchOutcome::NoResponse:
        case BatchOutcome::LinkFailure: // no answer either
        case BatchOutcome::Stopped:
            option->palette.setColor(QPalette::Text, QColor(0xB0, 0x50, 0x00));
            break;
        default:
            break;
        }
    }
};
} // namespace

TfmJournal::TfmJournal(QWidget *parent) : QDialog(parent, Qt::Window)
{
    setObjectName(QStringLiteral("fmJournal"));
    setWindowTitle(QStringLiteral("Batch Journal"));
    setModal(false);
    setSizeGripEnabled(true);

    FModel = new JournalModel(this);
    lvJournal = new QTableView(this);
    lvJournal->setObjectName(QStringLiteral("lvJournal"));
    lvJournal->setModel(FModel);
    lvJournal->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvJournal->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvJournal->setWordWrap(false);
    lvJournal->verticalHeader()->hide();
    // A million rows: every row the same height, columns sized once, not from their contents.
    lvJournal->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvJournal->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lvJournal->horizontalHeader()->setStretchLastSection(true);
    lvJournal->horizontalHeader()->setSortIndicator(JournalModel::ColBatch, Qt::DescendingOrder);
    lvJournal->setSortingEnabled(true);
    // The result is what the window is opened for: it comes right after the batch number.
    // Only the view moves it; the model's columns, and so the export's, keep their order.
    lvJournal->horizontalHeader()->moveSection(
        lvJournal->horizontalHeader()->visualIndex(JournalModel::ColResult), 1);
    lvJournal->setItemDelegate(new RowDelegate(lvJournal));
    // Wide enough for a typical value in the table's font, whatever that font is; the tag URI,
    // last on screen, takes the room that is left in a window that fits a 1280-pixel screen.
    const char *const samples[JournalModel::ColumnCount] = {
        "000000",
        "2026-12-08T10:42:05+01:00",
        "IP 192.168.1.100:9100",
        "000",
        "0123456789ABCDEF01234567",
        "0123456789ABCDEF01234567",
        "urn:epc:tag:sgtin-96:3.0614141.812345.6789",
        "Label encoding failed"};
    const QFontMetrics metrics(lvJournal->font());
    int used = 0;
    for (int c = 0; c < JournalModel::ColumnCount; ++c) {
        const QString header = FModel->headerData(c, Qt::Horizontal).toString();
        const int width = qMax(metrics.horizontalAdvance(QLatin1String(samples[c])),
                               metrics.horizontalAdvance(header) + 12) +
                          16; // the delegate's margins and the grid line
        // The result is the column that must never be cut: room for the glyphs' overhang.
        lvJournal->setColumnWidth(c, c == JournalModel::ColResult ? width + 16 : width);
        if (c != JournalModel::ColTagUri)
            used += lvJournal->columnWidth(c);
    }
    // Besides the columns: the window's margins, the table's frame and its scroll bar.
    const int overhead = 2 * style()->pixelMetric(QStyle::PM_LayoutLeftMargin) +
                         2 * lvJournal->frameWidth() +
                         style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
    const int uriRoom = DefaultWidth - used - overhead;
    lvJournal->setColumnWidth(
        JournalModel::ColTagUri,
        qBound(metrics.horizontalAdvance(QStringLiteral("urn:epc:\u2026812345.6789")) + 16, uriRoom,
               lvJournal->columnWidth(JournalModel::ColTagUri)));
    resize(qMin(DefaultWidth, used + lvJournal->columnWidth(JournalModel::ColTagUri) + overhead),
           520);

    cxResult = new QComboBox(this);
    cxResult->setObjectName(QStringLiteral("cxResult"));
    const std::pair<QString, JournalFilter> choices[] = {
        {QStringLiteral("All"), JournalFilter::All},
        {BatchOutcomeText(BatchOutcome::OperationOk), JournalFilter::OperationOk},
        {BatchOutcomeText(BatchOutcome::EncodingFailed), JournalFilter::EncodingFailed},
        {BatchOutcomeText(BatchOutcome::NoResponse), JournalFilter::NoResponse},
        {BatchOutcomeText(BatchOutcome::Sent), JournalFilter::Sent},
        {QStringLiteral("Other"), JournalFilter::Other},
    };
    for (const auto &choice : choices)
        cxResult->addItem(choice.first, int(choice.second));
    cxResult->setToolTip(QStringLiteral("Show the batches with this result; Other holds the "
                                        "link's failures and batches with no result yet"));
    auto *laResult = MakeLabel(this, "laResult", QStringLiteral("&Result:"));
    laResult->setBuddy(cxResult);

    laTotals = MakeLabel(this, "laTotals", QString());
    laTotals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    laNote = MakeLabel(this, "laNote", QString());
    pbLoad = new QProgressBar(this);
    pbLoad->setObjectName(QStringLiteral("pbLoad"));
    pbLoad->setRange(0, 1000);
    pbLoad->setTextVisible(false);
    pbLoad->setMaximumWidth(160);
    pbLoad->hide();

    sbExport = MakeButton(this, "sbExport", QStringLiteral("Export..."),
                          QStringLiteral("Write the rows shown, in the order shown, as CSV"));
    bbClose = MakeButton(this, "bbClose", QStringLiteral("Close"));

    auto *top = new QHBoxLayout;
    top->addWidget(laResult);
    top->addWidget(cxResult);
    top->addStretch();
    top->addWidget(laNote);
    top->addWidget(pbLoad);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(laTotals, 1);
    bottom->addWidget(sbExport);
    bottom->addWidget(bbClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lvJournal, 1);
    layout->addLayout(bottom);

    connect(cxResult, &QComboBox::currentIndexChanged, this, &TfmJournal::cxResultChange);
    connect(sbExport, &QPushButton::clicked, this, &TfmJournal::sbExportClick);
    connect(bbClose, &QPushButton::clicked, this, &TfmJournal::bbCloseClick);
    connect(FModel, &JournalModel::loadProgress, this, &TfmJournal::ModelLoadProgress);
    connect(FModel, &JournalModel::loadFinished, this, &TfmJournal::ModelLoadFinished);
    connect(FModel, &JournalModel::totalsChanged, this, &TfmJournal::UpdateTotals);
    UpdateTotals();
}

void TfmJournal::setJournalPath(const QString &path)
{
    FJournalPath = path;
}

void TfmJournal::setJournalStore(const QString &location)
{
    FStoreLocation = location;
    if (!FPages) {
        FPages = new JournalPageModel(this);
        connect(FPages, &JournalPageModel::totalsChanged, this, &TfmJournal::UpdateTotals);
    }
    // The columns keep the widths and the order made for them.
    QHeaderView *header = lvJournal->horizontalHeader();
    QList<int> widths;
    for (int c = 0; c < JournalModel::ColumnCount; ++c)
        widths << lvJournal->columnWidth(c);
    lvJournal->setModel(FPages);
    for (int c = 0; c < JournalModel::ColumnCount; ++c)
        lvJournal->setColumnWidth(c, widths.at(c));
    header->moveSection(header->visualIndex(JournalModel::ColResult), 1);
    FPages->sort(lvJournal->horizontalHeader()->sortIndicatorSection(),
                 lvJournal->horizontalHeader()->sortIndicatorOrder());
}

void TfmJournal::reload()
{
    if (FPages) {
        if (!FPages->open(FStoreLocation))
            laNote->setText(
                QStringLiteral("The journal could not be read: %1").arg(FPages->error()));
        else
            laNote->clear();
        return;
    }
    if (FJournalPath.isEmpty())
        return;
    laNote->setText(QStringLiteral("Loading..."));
    pbLoad->setValue(0);
    pbLoad->show();
    sbExport->setEnabled(false); // the rows shown are about to change
    FModel->load(FJournalPath);
}

void TfmJournal::journalAppended(const JournalEvent &event)
{
    if (FPages)
        FPages->append(event);
    else
        FModel->append(event);
}

void TfmJournal::ModelLoadProgress(int permille)
{
    pbLoad->setValue(permille);
}

void TfmJournal::ModelLoadFinished()
{
    pbLoad->hide();
    sbExport->setEnabled(true);
    if (!FModel->error().isEmpty())
        laNote->setText(QStringLiteral("The journal could not be read: %1").arg(FModel->error()));
    else if (FModel->skipped() == 1)
        laNote->setText(QStringLiteral("1 damaged line skipped"));
    else if (FModel->skipped() > 1)
        laNote->setText(QStringLiteral("%1 damaged lines skipped").arg(FModel->skipped()));
    else
        laNote->clear();
}

void TfmJournal::UpdateTotals()
{
    const JournalTotals t = FPages ? FPages->totals() : FModel->totals();
    laTotals->setText(QStringLiteral("%1 batches, %2 labels: %3 Operation OK, %4 failed, "
                                     "%5 no response, %6 others")
                          .arg(t.batches)
                          .arg(t.labels)
                          .arg(t.ok)
                          .arg(t.failed)
                          .arg(t.noResponse)
                          .arg(t.others));
}

void TfmJournal::cxResultChange(int index)
{
    const JournalFilter filter = JournalFilter(cxResult->itemData(index).toInt());
    if (FPages)
        FPages->setFilter(filter);
    else
        FModel->setFilter(filter);
}

void TfmJournal::sbExportClick()
{
    const QString shown = FPages ? FStoreLocation : FJournalPath;
    const QString folder = shown.isEmpty() || JournalStore::isServerLocation(shown)
                               ? QString()
                               : QFileInfo(shown).absolutePath();
    const QString path =
        prompt().saveFile(this, QStringLiteral("Export Batch Journal"), QLatin1String(ExportFilter),
                          folder, QStringLiteral("batches.csv"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    // Never over the journal itself: it is only ever appended to.
    if (!shown.isEmpty() && QFileInfo(path) == QFileInfo(shown)) {
        ShowWarning(this, QStringLiteral("Write Error"),
                    QStringLiteral("%1\nThis is the journal itself; choose another file.")
                        .arg(QDir::toNativeSeparators(path)));
        return;
    }
    QString error;
    if (!WriteWholeFile(
            path,
            [this](QIODevice *out) {
                return FPages ? FPages->writeCsv(out) : FModel->writeCsv(out);
            },
            &error))
        ShowWarning(this, QStringLiteral("Write Error"),
                    QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), error));
}

void TfmJournal::bbCloseClick()
{
    close();
}
