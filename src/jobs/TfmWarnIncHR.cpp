#include "jobs/TfmWarnIncHR.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/Prompt.h"
#include "app/TfmMain.h"
#include "app/Windows.h"

namespace
{
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(Qt::AlignHCenter);
    return l;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}
} // namespace

TfmWarnIncHR::TfmWarnIncHR(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmWarnIncHR"));
    setWindowTitle(QStringLiteral("Warning -- Incrementing Human-Readable Field"));

    laWarning = makeLabel(this, "laWarning", QStringLiteral("Warning!"));
    QFont bold = laWarning->font();
    bold.setBold(true);
    laWarning->setFont(bold);
    laText1 = makeLabel(this, "laText1", QStringLiteral("Using a Human-Readable field"));
    laText2 = makeLabel(this, "laText2", QStringLiteral("with quanties greater than 1"));
    laText3 = makeLabel(this, "laText3", QStringLiteral("can cause problems."));
    laText4 = makeLabel(this, "laText4", QStringLiteral("Text fields do not increment in hex."));
    bbOK = makeButton(this, "bbOK", QStringLiteral("OK"));
    bbCancel = makeButton(this, "bbCancel", QStringLiteral("Cancel"));
    bbHelp = makeButton(this, "bbHelp", QStringLiteral("&Help"));
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
    if (!event->spontaneous() && fmMain) {
        QRect r = rect();
        r.moveCenter(fmMain->geometry().center());
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
    fmMain->miHelpClick();
}
