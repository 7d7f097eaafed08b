#include "widgets/TfmInit.h"
#include "widgets/Controls.h"

#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "widgets/Help.h"
#include "widgets/Prompt.h"

namespace
{
constexpr int CompactWidth = 210, CompactHeight = 168;
constexpr int DetailedWidth = 406, DetailedHeight = 372;

QToolButton *makeFlatButton(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setAutoRaise(true);
    return b;
}

QFrame *makeBevel(QWidget *parent, const char *name)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setFrameShape(QFrame::HLine);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}
} // namespace

TfmInit::TfmInit(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmInit"));
    setWindowTitle(QStringLiteral("Quilbo Initialization"));

    laInitQ = MakeLabel(this, "laInitQ", QStringLiteral("Initialize printer?"));
    QFont big = laInitQ->font();
    big.setBold(true);
    big.setPointSize(14);
    laInitQ->setFont(big);
    QPalette blue = laInitQ->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    laInitQ->setPalette(blue);
    laInitQ->setAlignment(Qt::AlignCenter);
    laInitQ->setGeometry(8, 12, 194, 32);

    bbYes = MakeButton(this, "bbYes", QStringLiteral("&Yes"));
    bbYes->setGeometry(16, 60, 82, 26);
    bbYes->setDefault(true);
    bbNo = MakeButton(this, "bbNo", QStringLiteral("&No"));
    bbNo->setGeometry(112, 60, 82, 26);
    bbHelp = MakeButton(this, "bbHelp", QStringLiteral("&Help"));
    bbHelp->setGeometry(16, 100, 82, 26);
    sbDetails = makeFlatButton(this, "sbDetails", QStringLiteral("Show Details"));
    sbDetails->setGeometry(112, 100, 82, 26);
    sbDetails->setProperty("tag", 0);

    bv1 = makeBevel(this, "bv1");
    bv1->setGeometry(8, 140, 390, 4);
    laProgCom = MakeLabel(this, "laProgCom", QStringLiteral("Current progran comm settings:"));
    laProgCom->setGeometry(16, 152, 280, 16);
    laCommSettings =
        MakeLabel(this, "laCommSettings", QStringLiteral("Port 1, 9600, N, 8, 1, None, DTR"));
    laCommSettings->setGeometry(16, 172, 290, 16);
    sbCommChange = makeFlatButton(this, "sbCommChange", QStringLiteral("Change"));
    sbCommChange->setGeometry(316, 166, 74, 26);
    bv2 = makeBevel(this, "bv2");
    bv2->setGeometry(8, 200, 390, 4);
    laFilesToLoad = MakeLabel(this, "laFilesToLoad", QStringLiteral("Files to load:"));
    laFilesToLoad->setGeometry(16, 210, 200, 16);
    lxFilesToSend = new QListWidget(this);
    lxFilesToSend->setObjectName(QStringLiteral("lxFilesToSend"));
    lxFilesToSend->setGeometry(16, 230, 290, 130);
    sbAddFile = makeFlatButton(this, "sbAddFile", QStringLiteral("Add"));
    sbAddFile->setGeometry(316, 230, 74, 26);
    sbDelete = makeFlatButton(this, "sbDelete", QStringLiteral("Delete"));
    sbDelete->setGeometry(316, 262, 74, 26);

    connect(bbYes, &QPushButton::clicked, this, [this] { done(ModalResult::Yes); });
    connect(bbNo, &QPushButton::clicked, this, [this] { done(ModalResult::No); });
    connect(bbHelp, &QPushButton::clicked, this, &TfmInit::bbHelpClick);
    connect(sbDetails, &QToolButton::clicked, this, &TfmInit::sbDetailsClick);
    connect(sbCommChange, &QToolButton::clicked, this, &TfmInit::sbCommChangeClick);
    connect(sbAddFile, &QToolButton::clicked, this, &TfmInit::sbAddFileClick);
    connect(sbDelete, &QToolButton::clicked, this, &TfmInit::sbDeleteClick);

    applyDetails();
}

void TfmInit::setFiles(const QStringList &files)
{
    FFiles = files;
    lxFilesToSend->clear();
    lxFilesToSend->addItems(files);
}

void TfmInit::setCommSummary(int port, const QString &ipAddress, const QStringList &lineTexts)
{
    FPort = port;
    FIPAddress = ipAddress;
    FLineTexts = lineTexts;
}

void TfmInit::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        emit showing();
        FormShow();
    }
}

void TfmInit::FormShow()
{
    SetHelpFile(QStringLiteral("Quilbo_HELP.hlp"));
    if (FFirstRun)
        HelpContents();
    ShowCommSettings();
}

void TfmInit::applyDetails()
{
    const bool detailed = FDetails != 0;
    for (QWidget *w :
         std::initializer_list<QWidget *>{bv1, bv2, laProgCom, laCommSettings, sbCommChange,
                                          laFilesToLoad, sbAddFile, sbDelete, lxFilesToSend})
        w->setVisible(detailed);
    if (detailed)
        setFixedSize(DetailedWidth, DetailedHeight);
    else
        setFixedSize(CompactWidth, CompactHeight);
}

void TfmInit::sbDetailsClick()
{
    FDetails = FDetails == 0 ? 1 : 0;
    sbDetails->setProperty("tag", FDetails);
    sbDetails->setText(FDetails ? QStringLiteral("Hide details") : QStringLiteral("Show details"));
    applyDetails();
}

void TfmInit::sbAddFileClick()
{
    const QString folder = FLastFile.isEmpty() ? QString() : QFileInfo(FLastFile).path();
    const QString path = prompt().openFile(this, QStringLiteral("Select Initialization File"),
                                           QLatin1String(PrinterFileFilter), folder, FLastFile);
    if (path.isEmpty())
        return;
    FLastFile = path;
    FFiles << path;
    lxFilesToSend->addItem(path);
    emit filesChanged(FFiles, FLastFile);
}

void TfmInit::sbDeleteClick()
{
    const int row = lxFilesToSend->currentRow();
    QListWidgetItem *item = lxFilesToSend->currentItem();
    if (row < 0 || !item || !item->isSelected())
        return;
    delete lxFilesToSend->takeItem(row);
    FFiles.removeAt(row);
    emit filesChanged(FFiles, FLastFile);
}

void TfmInit::sbCommChangeClick()
{
    emit commChangeRequested();
    ShowCommSettings();
}

void TfmInit::bbHelpClick()
{
    SetHelpFile(QLatin1String(HelpFileName));
    HelpContext(4);
}

void TfmInit::ShowCommSettings()
{
    emit commSummaryWanted();
    const int port = FPort;
    if (port == 0) {
        laCommSettings->setText(QStringLiteral("IP ") + FIPAddress);
    } else if (port == 1 || port == 2) {
        laCommSettings->setText(QStringLiteral("COM%1: ").arg(port) +
                                FLineTexts.join(QStringLiteral(", ")));
    } else {
        laCommSettings->setText(QStringLiteral("COM%1: USB").arg(port));
    }
}

void TfmInit::reject()
{
    done(ModalResult::Cancel);
}
