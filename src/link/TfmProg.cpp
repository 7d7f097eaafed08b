#include "link/TfmProg.h"
#include "common/Controls.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <limits>

#include "app/TfmMain.h"
#include "app/Windows.h"
#include "common/Globals.h"
#include "common/Prompt.h"
#include "link/SerialLink.h"
#include "link/TfmNet.h"

namespace
{
// While the driver still holds the end of a file, how often to look whether it has gone.
constexpr int DrainPollMs = 10;
} // namespace

TfmProg::TfmProg(QWidget *parent) : QDialog(parent), FBlock(QueueAhead, '\0')
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

    m_blockTimer = new QTimer(this);
    m_blockTimer->setObjectName(QStringLiteral("tiBlock"));
    m_blockTimer->setSingleShot(true);
    m_blockTimer->setInterval(0);
    connect(m_blockTimer, &QTimer::timeout, this, &TfmProg::sendSerialSlice);
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
    m_blockTimer->stop();
    if (m_serialActive) {
        m_serialActive = false;
        disconnect(fmMain->FComHandle, nullptr, this, nullptr);
        const qint64 sent = fmMain->FComHandle->abandon();
        fmMain->ClosePort();
        // The printer holds part of a file: say so, and let the start-up sequence stop.
        m_cancelledPartway = sent > 0;
        if (m_cancelledPartway)
            fmMain->SetStatus(QStringLiteral("File transfer cancelled: %1 of %2 bytes sent.")
                                  .arg(sent)
                                  .arg(FFileSize),
                              TfmMain::Red);
    }
    if (m_netActive) {
        m_netActive = false;
        // A stream cut short must not be followed by later data on the same connection (the
        // printer would take it as the rest of the file), and a send still waiting must not
        // read the file once it is closed.
        disconnect(fmNet, nullptr, this, nullptr);
        fmNet->WithdrawSource(&FFileHandle);
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
    {
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
        fmMain->ClosePort();
        ShowWarning(nullptr, QStringLiteral("File Error"),
                    QStringLiteral("Could not open file:\n") + SendFileName);
        return;
    }

    if (fmMain->FComPort != 0)
        tiMsgDelay->start();
    else
        SendIPFile();
}

void TfmProg::tiMsgDelayTimer()
{
    tiMsgDelay->stop();
    if (!FFileHandle.isOpen() || busy())
        return;
    if (fmMain->FComPort == 0) {
        SendIPFile();
        return;
    }
    if (!fmMain->portOpen())
        fmMain->OpenPort();
    if (!fmMain->portOpen()) {
        FFileHandle.close();
        return;
    }
    m_read = 0;
    m_blocksSent = 0;
    m_readFailed = false;
    m_serialActive = true;
    SerialLink *link = fmMain->FComHandle;
    // The port's own signals only wake the pump; it runs from the timer, so that no message
    // box opens inside a signal of the port.
    connect(link, &SerialLink::progressed, this, [this] {
        if (!m_blockTimer->isActive())
            m_blockTimer->start(0);
    });
    connect(link, &SerialLink::failed, this, &TfmProg::serialFailed, Qt::QueuedConnection);
    sendSerialSlice();
}

void TfmProg::sendSerialSlice()
{
    SerialLink *link = fmMain->FComHandle;
    if (!m_serialActive || !link->isOpen())
        return; // a failure is on its way
    const qint64 ahead = FSliceMs > 0 ? QueueAhead : BlockSize;
    QElapsedTimer slice;
    slice.start();
    // Within its slice the run waits for the port as a plain blocking write would; past it,
    // the window gets its turn and the port's progress brings the run back.
    do {
        // Whole blocks, as many as fit ahead of the port, in one read; not before half the
        // room is free, so that reads stay large.
        const qint64 room = FSliceMs == 0 ? BlockSize : ahead - link->pending();
        const qint64 want = qMin(FFileSize - m_read, room - room % BlockSize);
        if (!m_readFailed && want > 0 && (room >= ahead / 2 || want == FFileSize - m_read)) {
            const qint64 got = FFileHandle.read(FBlock.data(), want);
            // A short read fails its block; the whole blocks before it still go out.
            const qint64 whole = got == want ? got : qMax<qint64>(got, 0) / BlockSize * BlockSize;
            m_readFailed = got != want;
            link->send(FBlock.constData(), whole);
            m_read += whole;
        }
        link->push(int(qMax<qint64>(FSliceMs - slice.elapsed(), 0)));
        reportTaken();
        if (!m_serialActive || !link->isOpen())
            return;
    } while ((link->pending() > 0 || (!m_readFailed && m_read < FFileSize)) &&
             slice.elapsed() < FSliceMs);
    // Once a slice: the bar repaints at once on every visible step. The last, partial block
    // takes it one past its maximum: show it full.
    pbFile->setValue(qMin(m_blocksSent, pbFile->maximum()));
    if (!m_readFailed && m_read < FFileSize) {
        if (link->pending() < ahead)
            m_blockTimer->start(0);
        return; // otherwise the port taking bytes brings us back
    }
    if (link->pending() > 0)
        return;
    if (!link->drained()) {
        m_blockTimer->start(DrainPollMs); // the driver still holds the tail
        return;
    }
    finishSerial();
}

void TfmProg::reportTaken()
{
    const qint64 taken = fmMain->FComHandle->taken();
    for (;;) {
        const qint64 start = qint64(m_blocksSent) * BlockSize;
        const int size = int(qMin<qint64>(BlockSize, FFileSize - start));
        if (size <= 0 || start + size > taken)
            break;
        ++m_blocksSent;
        emit blockWritten(size);
    }
}

void TfmProg::serialFailed()
{
    if (!m_serialActive)
        return;
    m_serialActive = false;
    m_blockTimer->stop();
    disconnect(fmMain->FComHandle, nullptr, this, nullptr);
    fmMain->ClosePort(); // the link has released it already; the box comes after
    FFileHandle.close();
    ShowWarning(this, QStringLiteral("tiMsgDelayTimer"),
                QStringLiteral("Error writing data to printer."));
    done(ModalResult::Cancel);
}

void TfmProg::finishSerial()
{
    m_serialActive = false;
    m_blockTimer->stop();
    disconnect(fmMain->FComHandle, nullptr, this, nullptr);
    fmMain->ClosePort();
    FFileHandle.close();
    if (m_readFailed)
        ShowWarning(this, QStringLiteral("tiMsgDelayTimer"),
                    QStringLiteral("Error reading data from file."));
    done(m_readFailed ? ModalResult::Cancel : ModalResult::OK);
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
    // Streamed from the open file in pieces as the socket takes them: memory stays bounded
    // whatever the file's size, and every byte goes exactly once.
    m_netActive = true;
    setBarRange(FFileSize);
    pbFile->setValue(0);
    // The network window reports every send it makes, in order; those queued ahead of this
    // file are not ours to show.
    m_netAhead = fmNet->queuedSends() + ((fmNet->transferring() || fmNet->FAwaitConnect) ? 1 : 0);
    connect(fmNet, &TfmNet::transferProgress, this, &TfmProg::netProgress, Qt::UniqueConnection);
    connect(fmNet, &TfmNet::transferFinished, this, &TfmProg::netFinished, Qt::UniqueConnection);
    fmNet->SendFileWithStatus(&FFileHandle, FFileSize);
}

void TfmProg::netProgress(qint64 sent, qint64 total)
{
    if (!m_netActive || m_netAhead > 0)
        return;
    if (pbFile->maximum() != qMax(1, int(total >> m_barShift)))
        setBarRange(total);
    pbFile->setValue(int(qMin<qint64>(sent >> m_barShift, pbFile->maximum())));
}

void TfmProg::netFinished(bool ok)
{
    if (!m_netActive)
        return;
    if (m_netAhead > 0) {
        --m_netAhead;
        return;
    }
    m_netActive = false;
    disconnect(fmNet, nullptr, this, nullptr);
    // The network window reads the file; a piece it could not get means the file failed or
    // ended before its measured size. Link failures it reports itself.
    const bool readFailed = FFileHandle.error() != QFileDevice::NoError ||
                            (FFileHandle.atEnd() && FFileHandle.pos() < FFileSize);
    FFileHandle.close();
    if (!ok && readFailed) {
        // Part of the file may have gone: end the connection so that the printer does not
        // take the next send as the rest of it.
        fmNet->NetDisconnect();
        ShowWarning(this, QStringLiteral("SendIPFile"),
                    QStringLiteral("Error reading data from file."));
    }
    done(ok ? ModalResult::OK : ModalResult::Cancel);
}
