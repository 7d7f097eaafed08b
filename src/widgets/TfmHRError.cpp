#include "widgets/TfmHRError.h"
#include "widgets/Controls.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "widgets/Prompt.h"

TfmHRError::TfmHRError(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmHRError"));
    setWindowTitle(QStringLiteral("Human-Readable Field Error"));

    laText1 = MakeLabel(this, "laText1", QStringLiteral("The specified human-readable"));
    laText2 = MakeLabel(this, "laText2", QStringLiteral("field was not found:"));
    laHRFieldVal = MakeLabel(this, "laHRFieldVal", QStringLiteral("0"));
    QFont bold = laHRFieldVal->font();
    bold.setBold(true);
    laHRFieldVal->setFont(bold);
    bnCancel = MakeButton(this, "bnCancel", QStringLiteral("Cancel"),
                          QStringLiteral("Cancel print request"));
    bnIgnore =
        MakeButton(this, "bnIgnore", QStringLiteral("Ignore"), QStringLiteral("Ignore HR field"));
    bnDisable = MakeButton(this, "bnDisable", QStringLiteral("Disable"),
                           QStringLiteral("Disable HR field"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bnCancel);
    buttons->addWidget(bnIgnore);
    buttons->addWidget(bnDisable);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(laText1);
    layout->addWidget(laText2);
    layout->addWidget(laHRFieldVal);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(bnCancel, &QPushButton::clicked, this, &TfmHRError::bnCancelClick);
    connect(bnIgnore, &QPushButton::clicked, this, &TfmHRError::bnIgnoreClick);
    connect(bnDisable, &QPushButton::clicked, this, &TfmHRError::bnDisableClick);
}

void TfmHRError::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        FChoice = Choice::None;
        emit showing();
        FormShow();
    }
}

void TfmHRError::FormShow()
{
    laHRFieldVal->setText(QString::number(FField));
    if (parentWidget()) {
        QRect r = rect();
        r.moveCenter(parentWidget()->geometry().center());
        move(r.topLeft());
    }
}

void TfmHRError::bnCancelClick()
{
    FChoice = Choice::Cancel;
    emit answered(FChoice);
    done(ModalResult::Cancel);
}

void TfmHRError::bnIgnoreClick()
{
    FChoice = Choice::Ignore;
    emit answered(FChoice);
    done(ModalResult::OK);
}

void TfmHRError::bnDisableClick()
{
    FChoice = Choice::Disable;
    emit answered(FChoice);
    done(ModalResult::OK);
}
