#include "jobs/TfmHRError.h"

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

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption,
                        const QString &hint)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    return b;
}
} // namespace

TfmHRError::TfmHRError(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmHRError"));
    setWindowTitle(QStringLiteral("Human-Readable Field Error"));

    laText1 = makeLabel(this, "laText1", QStringLiteral("The specified human-readable"));
    laText2 = makeLabel(this, "laText2", QStringLiteral("field was not found:"));
    laHRFieldVal = makeLabel(this, "laHRFieldVal", QStringLiteral("0"));
    QFont bold = laHRFieldVal->font();
    bold.setBold(true);
    laHRFieldVal->setFont(bold);
    bnCancel = makeButton(this, "bnCancel", QStringLiteral("Cancel"),
                          QStringLiteral("Cancel print request"));
    bnIgnore =
        makeButton(this, "bnIgnore", QStringLiteral("Ignore"), QStringLiteral("Ignore HR field"));
    bnDisable = makeButton(this, "bnDisable", QStringLiteral("Disable"),
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
    if (!event->spontaneous())
        FormShow();
}

void TfmHRError::FormShow()
{
    if (!fmMain)
        return;
    laHRFieldVal->setText(QString::number(fmMain->FHRField));
    QRect r = rect();
    r.moveCenter(fmMain->geometry().center());
    move(r.topLeft());
}

void TfmHRError::bnCancelClick()
{
    fmMain->FHRAbort = true;
    done(ModalResult::Cancel);
}

void TfmHRError::bnIgnoreClick()
{
    fmMain->FHRAbort = false;
    done(ModalResult::OK);
}

void TfmHRError::bnDisableClick()
{
    fmMain->FHRAbort = false;
    fmMain->FHREnabled = false;
    done(ModalResult::OK);
}
