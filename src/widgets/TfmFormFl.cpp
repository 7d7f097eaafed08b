#include "widgets/TfmFormFl.h"

#include <QLabel>
#include <QProgressBar>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>

#include "widgets/Prompt.h"

// Decimal codes of: { , " | } ~ ^
const char TfmFormFl::SetPunctuation[] = "{I,E,\"~123~044~034~124~125~126~094\"|}";
const char TfmFormFl::FormatFlash[] = "^FF1";

namespace
{
QToolButton *makeButton(QWidget *parent, const char *name, const QString &text, int x)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setAutoRaise(true);
    b->setGeometry(x, 98, 72, 28);
    return b;
}
} // namespace

TfmFormFl::TfmFormFl(const FlashLink &link, QWidget *parent) : QDialog(parent), m_link(link)
{
    setObjectName(QStringLiteral("fmFormFl"));
    setWindowTitle(QStringLiteral("Flash Memory"));
    // A dialog border without title-bar buttons: the answer comes from the three buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(278, 138);

    laMsg1 = new QLabel(QStringLiteral("Format Flash Memory?"), this);
    laMsg1->setObjectName(QStringLiteral("laMsg1"));
    laMsg1->setAlignment(Qt::AlignCenter);
    laMsg1->setGeometry(8, 16, 262, 24);

    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setTextVisible(false);
    pbProgress->setRange(0, 100);
    pbProgress->setGeometry(16, 56, 246, 18);
    pbProgress->setVisible(false);

    sbYes = makeButton(this, "sbYes", QStringLiteral("Yes"), 16);
    sbNo = makeButton(this, "sbNo", QStringLiteral("No"), 103);
    sbCancel = makeButton(this, "sbCancel", QStringLiteral("Cancel"), 190);
    connect(sbYes, &QToolButton::clicked, this, &TfmFormFl::sbYesClick);
    connect(sbNo, &QToolButton::clicked, this, &TfmFormFl::sbNoClick);
    connect(sbCancel, &QToolButton::clicked, this, &TfmFormFl::sbCancelClick);

    tiWait = new QTimer(this);
    tiWait->setObjectName(QStringLiteral("tiWait"));
    tiWait->setInterval(3000);
    connect(tiWait, &QTimer::timeout, this, &TfmFormFl::tiWaitTimer);
}

void TfmFormFl::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfmFormFl::FormShow()
{
    // The window lives for the whole run: every showing starts from the question.
    tiWait->stop();
    tiWait->setInterval(3000);
    laMsg1->setText(QStringLiteral("Format Flash Memory?"));
    sbYes->setEnabled(true);
    sbNo->setEnabled(true);
    pbProgress->setVisible(false);
    pbProgress->setRange(0, 100);
    pbProgress->setValue(0);
    FTicks = 0;
    FTickLimit = m_link.serial() ? 40 : 120;
    FResult = ModalResult::Cancel;
}

void TfmFormFl::sbYesClick()
{
    sbYes->setEnabled(false);
    sbNo->setEnabled(false);
    pbProgress->setVisible(true);
    laMsg1->setText(QStringLiteral("Please wait ..."));
    m_link.send(QByteArray(SetPunctuation));
    FTicks = 0;
    pbProgress->setRange(0, FTickLimit);
    pbProgress->setValue(0);
    tiWait->setInterval(500);
    tiWait->start();
}

void TfmFormFl::sbNoClick()
{
    FResult = ModalResult::No;
    done(FResult);
}

void TfmFormFl::sbCancelClick()
{
    FResult = ModalResult::Cancel;
    done(FResult);
}

void TfmFormFl::tiWaitTimer()
{
    tiWait->stop();
    if (FTicks == 2) {
        m_link.send(QByteArray(FormatFlash));
    } else if (FTicks >= FTickLimit) {
        // The printer gives no sign when it is done: the wait is the format's whole length.
        m_link.release();
        FResult = ModalResult::Yes;
        done(FResult);
        return;
    }
    ++FTicks;
    pbProgress->setValue(FTicks);
    tiWait->start();
}

void TfmFormFl::reject()
{
    // Escape and the window's close both answer with what has been decided so far.
    done(FResult);
}

void TfmFormFl::done(int result)
{
    tiWait->stop();
    QDialog::done(result);
}
