#include "widgets/TfmEPCField.h"
#include "widgets/Controls.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QWhatsThis>

#include "widgets/Help.h"
#include "widgets/Hints.h"
#include "widgets/Prompt.h"

TfmEPCField::TfmEPCField(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmEPCField"));
    setWindowTitle(QStringLiteral("Human-Readable Field"));

    laPrimary = MakeLabel(this, "laPrimary", QStringLiteral("X-Field:"));
    laXField = MakeLabel(this, "laXField", QStringLiteral("0"));
    laHRField = MakeLabel(this, "laHRField", QStringLiteral("HR Field:"));
    edHRField = new QLineEdit(QStringLiteral("0"), this);
    edHRField->setObjectName(QStringLiteral("edHRField"));
    edHRField->setToolTip(QStringLiteral("Optional Human-Readable Field #"));
    ckUseHR = new QCheckBox(QStringLiteral("Use Human-Readable"), this);
    ckUseHR->setObjectName(QStringLiteral("ckUseHR"));
    ckUseHR->setToolTip(QStringLiteral("Enable Human-Readable field"));
    laHelp = MakeLabel(this, "laHelp", QStringLiteral("See the Help file fore more information."));
    bbOK = MakeButton(this, "bbOK", QStringLiteral("OK"), QStringLiteral("Accept changes"));
    bbCancel =
        MakeButton(this, "bbCancel", QStringLiteral("Cancel"), QStringLiteral("Ignore changes"));
    bbHelp = MakeButton(this, "bbHelp", QStringLiteral("&Help"));
    bbOK->setDefault(true);

    auto *fields = new QGridLayout;
    fields->addWidget(laPrimary, 0, 0);
    fields->addWidget(laXField, 0, 1);
    fields->addWidget(laHRField, 1, 0);
    fields->addWidget(edHRField, 1, 1);
    fields->addWidget(ckUseHR, 2, 0, 1, 2);
    fields->addWidget(laHelp, 3, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bbOK);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(bbOK, &QPushButton::clicked, this, &TfmEPCField::bbOKClick);
    connect(bbCancel, &QPushButton::clicked, this, &TfmEPCField::bbCancelClick);
    connect(bbHelp, &QPushButton::clicked, this, &TfmEPCField::bbHelpClick);
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    f1->setObjectName(QStringLiteral("scHelp"));
    connect(f1, &QShortcut::activated, this, &TfmEPCField::bbHelpClick);
}

void TfmEPCField::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        emit showing();
        FormShow();
    }
}

void TfmEPCField::setValues(int epcField, int hrField, bool hrEnabled, bool showHints)
{
    FEPCField = epcField;
    FHRField = hrField;
    FHREnabled = hrEnabled;
    FShowHints = showHints;
}

void TfmEPCField::FormShow()
{
    laXField->setText(FEPCField == 0 ? QStringLiteral("None") : QString::number(FEPCField));
    edHRField->setText(QString::number(FHRField));
    ckUseHR->setChecked(FHREnabled);
    SetShowHint(this, FShowHints);
    if (parentWidget()) {
        QRect r = rect();
        r.moveCenter(parentWidget()->geometry().center());
        move(r.topLeft());
    }
}

void TfmEPCField::bbOKClick()
{
    bool ok = false;
    const int field = edHRField->text().trimmed().toInt(&ok);
    if (!ok) {
        ShowWarning(this, QStringLiteral("Human-Readable Field"),
                    QStringLiteral("'%1' is not a valid integer value.").arg(edHRField->text()));
        edHRField->setFocus();
        edHRField->selectAll();
        return;
    }
    FHRField = field;
    FHREnabled = ckUseHR->isChecked();
    emit hrChosen(FHRField, FHREnabled);
    done(ModalResult::OK);
}

void TfmEPCField::bbCancelClick()
{
    done(ModalResult::Cancel);
}

void TfmEPCField::bbHelpClick()
{
    SetHelpFile(QLatin1String(HelpFileName));
    HelpContext(HelpContextId);
}

bool TfmEPCField::event(QEvent *event)
{
    // The title bar's help button asks every window to enter what's-this mode; this dialog
    // answers with its help page instead, and only while it is the one on screen.
    if (event->type() == QEvent::EnterWhatsThisMode && isVisible()) {
        if (QWhatsThis::inWhatsThisMode())
            QWhatsThis::leaveWhatsThisMode();
        bbHelpClick();
        return true;
    }
    return QDialog::event(event);
}
