#include "widgets/TfmQty.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include "widgets/Prompt.h"

TfmQty::TfmQty(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmQty"));
    setWindowTitle(QStringLiteral("Batch Quantity"));

    laQuantity = new QLabel(QStringLiteral("Number of labels in batch?"), this);
    laQuantity->setObjectName(QStringLiteral("laQuantity"));
    QFont labelFont = laQuantity->font();
    labelFont.setBold(true);
    labelFont.setPointSize(14);
    laQuantity->setFont(labelFont);

    udQuantity = new QSpinBox(this);
    udQuantity->setObjectName(QStringLiteral("udQuantity"));
    udQuantity->setRange(MinQuantity, MaxQuantity);
    udQuantity->setWrapping(false);
    udQuantity->setValue(1);
    QFont editFont = udQuantity->font();
    editFont.setBold(true);
    editFont.setPointSize(12);
    udQuantity->setFont(editFont);
    edQuantity = udQuantity->findChild<QLineEdit *>();
    edQuantity->setObjectName(QStringLiteral("edQuantity"));

    bbOk = new QPushButton(QStringLiteral("OK"), this);
    bbOk->setObjectName(QStringLiteral("bbOk"));
    bbOk->setDefault(true);
    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(laQuantity);
    layout->addWidget(udQuantity, 0, Qt::AlignHCenter);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(bbOk, &QPushButton::clicked, this, &TfmQty::bbOkClick);
    connect(bbCancel, &QPushButton::clicked, this, &TfmQty::bbCancelClick);
}

void TfmQty::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        emit showing();
        FormShow();
    }
}

void TfmQty::FormShow()
{
    udQuantity->setValue(qBound(MinQuantity, FQuantity, MaxQuantity));
    udQuantity->setFocus();
    udQuantity->selectAll();
    if (parentWidget()) {
        QRect r = rect();
        r.moveCenter(parentWidget()->geometry().center());
        move(r.topLeft());
    }
}

void TfmQty::bbOkClick()
{
    // value() is the last accepted entry: a half-typed or refused text does not count.
    FQuantity = udQuantity->value();
    emit quantityChosen(FQuantity);
    done(ModalResult::OK);
}

void TfmQty::bbCancelClick()
{
    done(ModalResult::Cancel);
}
