#include "link/TfmInit.h"
#include "common/Controls.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "about/Help.h"
#include "app/TfmMain.h"
#include "app/Windows.h"
#include "common/Globals.h"
#include "common/Prompt.h"
#include "link/TfmCommSet.h"

namespace
{
constexpr int CompactWidth = 210, CompactHeight = 168;
constexpr int DetailedWidth = 406, DetailedHeight = 372;

// The same choice of printer files as "Send File".
const char InitFileFilter[] =
    "CVPL files (*.txt,*.fmt,*.bat,*.gph,*.tfd,*.cfu,*.all)|*.txt;*.fmt;*.bat;*.gph;*.tfd;*.cfu;"
    "*.all|Format files (*.txt, *.fmt)|*.txt;*.fmt|Graphic files (*.gph)|*.gph|Font files "
    "(*.tfd)|*.tfd|QDK files (*.cfu, *.all)|*.cfu;*.all|All files (*.*)|*.*";

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

QStringList TfmInit::FileList() const
{
    QStringList out;
    for (int i = 0; i < lxFilesToSend->count(); ++i)
        out << lxFilesToSend->item(i)->text();
    return out;
}

void TfmInit::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfmInit::FormShow()
{
    SetHelpFile(QStringLiteral("Quilbo_HELP.hlp"));
    if (fmMain->FFirstRun)
        HelpContents();
    // The stored files join the list once: the list keeps what the operator changed since,
    // and taking the stored files again would send each of them twice.
    if (!FListLoaded) {
        for (int i = 0; i < InitFiles.size() && i < 10; ++i) {
            if (InitFiles[i].isEmpty())
                break;
            lxFilesToSend->addItem(InitFiles[i]);
        }
        FListLoaded = true;
    }
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
    const QString folder = LastInitFile.isEmpty() ? QString() : QFileInfo(LastInitFile).path();
    const QString path = prompt().openFile(this, QStringLiteral("Select Initialization File"),
                                           QLatin1String(InitFileFilter), folder, LastInitFile);
    if (path.isEmpty())
        return;
    LastInitFile = path;
    lxFilesToSend->addItem(path);
}

void TfmInit::sbDeleteClick()
{
    const int row = lxFilesToSend->currentRow();
    QListWidgetItem *item = lxFilesToSend->currentItem();
    if (row < 0 || !item || !item->isSelected())
        return;
    delete lxFilesToSend->takeItem(row);
}

void TfmInit::sbCommChangeClick()
{
    fmCommSet->exec();
    ShowCommSettings();
}

void TfmInit::bbHelpClick()
{
    SetHelpFile(QLatin1String(HelpFileName));
    HelpContext(4);
}

void TfmInit::ShowCommSettings()
{
    const int port = fmMain->FComPort;
    auto text = [](const char *name) {
        if (const auto *cx = fmCommSet->findChild<QComboBox *>(QLatin1String(name)))
            return cx->currentText();
        return QString();
    };
    if (port == 0) {
        const auto *ed = fmCommSet->findChild<QLineEdit *>(QStringLiteral("edIP"));
        laCommSettings->setText(QStringLiteral("IP ") + (ed ? ed->text() : QString()));
    } else if (port == 1 || port == 2) {
        const QStringList parts{text("cxBaud"), text("cxParity"), text("cxDBits"), text("cxSBits"),
                                text("cxFlow")};
        laCommSettings->setText(QStringLiteral("COM%1: ").arg(port) +
                                parts.join(QStringLiteral(", ")));
    } else {
        laCommSettings->setText(QStringLiteral("COM%1: USB").arg(port));
    }
}

void TfmInit::reject()
{
    done(ModalResult::Cancel);
}
