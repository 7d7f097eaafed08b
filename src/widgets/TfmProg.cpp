#include "widgets/TfmProg.h"

#include "core/Files.h"
#include "widgets/Controls.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <limits>

#include "core/BatchOutcome.h"
#include "core/Globals.h"
#include "widgets/Prompt.h"

TfmProg::TfmProg(FileSender *sender, const TransferHost &host, QWidget *parent)
    : QDialog(parent), FSliceMs(sender->FSliceMs), m_sender(sender), m_host(host)
{
    setObjectName(QStringLiteral("fmProg"));
    setWindowTitle(QStringLiteral("File Transfer Progress"));
    setFixedSize(294, 100);

    laFileName = MakeLabel(this, "laFileName", QStringLiteral("Filename"));
    laFileName->setGeometry(8, 8, 278, 16);
    laFileName->setTextFormat(Qt::PlainText);

    pbFile = new QProgressBar(this);
    pbFile->setObjectName(QStringLiteral("pbFile"));
    pbFile->setTextVisible(false);
    pbFile->setRange(0, 100);
    pbFile->setGeometry(8, 30, 278, 16);

    laFileSizeL = MakeLabel(this, "laFileSizeL", QStringLiteral("File Size"));
    laFileSizeL->setGeometry(8, 56, 60, 16);
    laFileSize = MakeLabel(this, "laFileSize", QStringLiteral("0"));
    laFileSize->setGeometry(72, 56, 110, 16);

    bbCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bbCancel->setObjectName(QStringLiteral("bbCancel"));
    bbCancel->setGeometry(206, 66, 80, 26);
    connect(bbCancel, &QPushButton::clicked, this, &TfmProg::bbCancelClick);

    tiDelay = new QTimer(this);
    tiDelay->setObjectName(QStringLiteral("tiDelay"));
    tiDelay->setInterval(100);
    connect(tiDelay, &QTimer::timeout, this, &TfmProg::tiDelayTimer);

    tiMsgDelay = new QTimer(this);
    tiMsgDelay->setObjectName(QStringLiteral("tiMsgDelay"));
    tiMsgDelay->setInterval(200);
    connect(tiMsgDelay, &QTimer::timeout, this, &TfmProg::tiMsgDelayTimer);

    connect(sender, &FileSender::blockWritten, this, &TfmProg::blockWritten);
    connect(sender, &FileSender::blocksSent, this, [this](int blocks) {
        // Once a slice: the bar repaints at once on every visible step. The last, partial
        // block takes it one past its maximum: show it full.
        if (m_serialSend)
            pbFile->setValue(qMin(blocks, pbFile->maximum()));
    });
    connect(sender, &FileSender::netProgress, this, &TfmProg::netProgress);
    connect(sender, &FileSender::finished, this, &TfmProg::finished);
}

TfmProg::~TfmProg() = default;

QString TfmProg::LocalPath(const QString &path)
{
    if (!path.startsWith(QLatin1String(".\\")))
        return path;
    QString rest = path.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::current().filePath(rest);
}

void TfmProg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfmProg::FormShow()
{
    // Every showing is a new transfer of SendFileName.
    laFileName->setText(SendFileName);
    laFileSize->setText(QStringLiteral("0"));
    pbFile->setRange(0, 100);
    pbFile->setValue(0);
    m_cancelledPartway = false;
    m_outcome = QStringLiteral("Cancelled");
    m_linkFailed = false;
    tiDelay->start();
}

void TfmProg::tiDelayTimer()
{
    tiDelay->stop();
    StartTransfer();
}

void TfmProg::bbCancelClick()
{
    done(ModalResult::Cancel);
}

void TfmProg::reject()
{
    done(ModalResult::Cancel);
}

void TfmProg::done(int result)
{
    // Closing by any way stops whatever is pending or running; a step still queued must not
    // send to the printer once the operator has been told the window is gone.
    stopTransfer();
    QDialog::done(result);
}

void TfmProg::stopTransfer()
{
    tiDelay->stop();
    tiMsgDelay->stop();
    const bool serial = m_sender->serialActive();
    const qint64 sent = m_sender->cancel();
    if (serial) {
        m_host.closePort();
        // The printer holds part of a file: say so, and let the start-up sequence stop.
        m_cancelledPartway = sent > 0;
        if (m_cancelledPartway) {
            m_outcome = QStringLiteral("File transfer cancelled: %1 of %2 bytes sent.")
                            .arg(sent)
                            .arg(FFileSize);
            m_host.reportFailure(m_outcome);
        }
    }
    FFileHandle.close();
}

void TfmProg::StartTransfer()
{
    if (busy())
        return;
    laFileName->setText(SendFileName);
    const QString path = LocalPath(SendFileName);
    FFileHandle.close();

    // The first open only measures the file; the second is the one the transfer reads.
    // (Other systems can lock the file against writers for the second open; here both are
    // plain read-only opens, so a file changed in between shows up as a short read.)
    bool opened = false;
    // A pipe or a device would hold the open, or the transfer, for good.
    const QString notFile = NotPlainFileReason(path);
    if (notFile.isEmpty()) {
        QFile probe(path);
        if (probe.open(QIODevice::ReadOnly)) {
            FFileSize = probe.size();
            laFileSize->setText(QString::number(FFileSize));
            pbFile->setRange(
                0, int(qMin<qint64>(FFileSize / BlockSize, std::numeric_limits<int>::max())));
            // Qt draws an empty range as a busy indicator; a file under one block still gets
            // a bar that ends full.
            if (pbFile->maximum() == 0)
                pbFile->setMaximum(1);
            pbFile->setValue(0);
            probe.close();
            FFileHandle.setFileName(path);
            opened = FFileHandle.open(QIODevice::ReadOnly);
        }
    }
    if (!opened) {
        FFileHandle.close();
        m_host.closePort();
        m_outcome = QStringLiteral("Could not open file");
        ShowWarning(nullptr, QStringLiteral("File Error"),
                    QStringLiteral("Could not open file:\n") + SendFileName +
                        (notFile.isEmpty() ? QString() : QLatin1Char('\n') + notFile));
        return;
    }

    if (m_host.serial())
        tiMsgDelay->start();
    else
        SendIPFile();
}

void TfmProg::tiMsgDelayTimer()
{
    tiMsgDelay->stop();
    if (!FFileHandle.isOpen() || busy())
        return;
    if (!m_host.serial()) {
        SendIPFile();
        return;
    }
    if (!m_host.openPort()) {
        FFileHandle.close();
        return;
    }
    m_serialSend = true;
    m_sender->startSerial(&FFileHandle, FFileSize);
}

void TfmProg::finished(FileSender::Outcome outcome)
{
    if (m_serialSend)
        m_host.closePort(); // on a failure the link has released it already; the box comes after
    FFileHandle.close();
    switch (outcome) {
    case FileSender::Outcome::Sent:
        m_outcome = BatchOutcomeText(BatchOutcome::Sent);
        done(ModalResult::OK);
        return;
    case FileSender::Outcome::WriteFailed:
        m_outcome = QStringLiteral("Error writing data to printer.");
        ShowWarning(this, QStringLiteral("tiMsgDelayTimer"), m_outcome);
        break;
    case FileSender::Outcome::ReadFailed:
        m_outcome = QStringLiteral("Error reading data from file.");
        ShowWarning(this,
                    m_serialSend ? QStringLiteral("tiMsgDelayTimer") : QStringLiteral("SendIPFile"),
                    m_outcome);
        break;
    case FileSender::Outcome::LinkFailed:
        m_outcome = QStringLiteral("Send failed");
        m_linkFailed = true;
        break;
    }
    done(ModalResult::Cancel);
}

void TfmProg::setBarRange(qint64 total)
{
    m_barShift = 0;
    while ((total >> m_barShift) > std::numeric_limits<int>::max())
        ++m_barShift;
    pbFile->setRange(0, qMax(1, int(total >> m_barShift)));
}

void TfmProg::SendIPFile()
{
    m_serialSend = false;
    setBarRange(FFileSize);
    pbFile->setValue(0);
    m_sender->startNet(&FFileHandle, FFileSize);
}

void TfmProg::netProgress(qint64 sent, qint64 total)
{
    if (pbFile->maximum() != qMax(1, int(total >> m_barShift)))
        setBarRange(total);
    pbFile->setValue(int(qMin<qint64>(sent >> m_barShift, pbFile->maximum())));
}
