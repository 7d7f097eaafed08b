#include "widgets/TfmWarnIncHR.h"
#include "widgets/Controls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "widgets/Help.h"
#include "widgets/Prompt.h"

TfmWarnIncHR::TfmWarnIncHR(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmWarnIncHR"));
    setWindowTitle(QStringLiteral("Warning -- Incrementing Human-Readable Field"));

    laWarning = MakeLabel(this, "laWarning", QStringLiteral("Warning!"));
    QFont bold = laWarning->font();
    bold.setBold(true);
    laWarning->setFont(bold);
    laText1 = MakeLabel(this, "laText1", QStringLiteral("Using a Human-Readable field"));
    laText2 = MakeLabel(this, "laText2", QStringLiteral("with quanties greater than 1"));
    laText3 = MakeLabel(this, "laText3", QStringLiteral("can cause problems."));
    laText4 = MakeLabel(this, "laText4", QStringLiteral("Text fields do not increment in hex."));
    bbOK = MakeButton(this, "bbOK", QStringLiteral("OK"));
    bbCancel = MakeButton(this, "bbCancel", QStringLiteral("Cancel"));
    bbHelp = MakeButton(this, "bbHelp", QStringLiteral("&Help"));
    bbOK->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bbOK);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);
    auto *layout = new QVBoxLayout(this);
    for (QLabel *l : {laWarning, laText1, laText2, laText3, laText4})
        layout->addWidget(l);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(bbOK, &QPushButton::clicked, this, &TfmWarnIncHR::bbOKClick);
    connect(bbCancel, &QPushButton::clicked, this, &TfmWarnIncHR::bbCancelClick);
    connect(bbHelp, &QPushButton::clicked, this, &TfmWarnIncHR::bbHelpClick);
}

void TfmWarnIncHR::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && parentWidget()) {
        QRect r = rect();
        r.moveCenter(parentWidget()->geometry().center());
        move(r.topLeft());
    }
}

void TfmWarnIncHR::bbOKClick()
{
    done(ModalResult::OK);
}

void TfmWarnIncHR::bbCancelClick()
{
    done(ModalResult::Cancel);
}

void TfmWarnIncHR::bbHelpClick()
{
    HelpContents();
}
