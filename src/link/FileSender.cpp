#include "link/FileSender.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include "link/NetLink.h"
#include "link/SerialLink.h"

namespace
{
// While the driver still holds the end of a file, how often to look whether it has gone.
constexpr int DrainPollMs = 10;
} // namespace

FileSender::FileSender(SerialLink *serial, NetLink *net, QObject *parent)
    : QObject(parent), m_serial(serial), m_net(net), m_block(QueueAhead, '\0')
{
    tiBlock = new QTimer(this);
    tiBlock->setObjectName(QStringLiteral("tiBlock"));
    tiBlock->setSingleShot(true);
    tiBlock->setInterval(0);
    connect(tiBlock, &QTimer::timeout, this, &FileSender::sendSerialSlice);
}

FileSender::~FileSender() = default;

void FileSender::startSerial(QFile *file, qint64 size)
{
    m_file = file;
    m_size = size;
    m_read = 0;
    m_blocksSent = 0;
    m_readFailed = false;
    m_serialActive = true;
    // The port's own signals only wake the pump; it runs from the timer, so that no message
    // box opens inside a signal of the port.
    connect(m_serial, &SerialLink::progressed, this, [this] {
        if (!tiBlock->isActive())
            tiBlock->start(0);
    });
    connect(m_serial, &SerialLink::failed, this, &FileSender::serialFailed, Qt::QueuedConnection);
    sendSerialSlice();
}

qint64 FileSender::cancel()
{
    tiBlock->stop();
    qint64 sent = 0;
    if (m_serialActive) {
        m_serialActive = false;
        disconnect(m_serial, nullptr, this, nullptr);
        sent = m_serial->abandon();
    }
    if (m_netActive) {
        m_netActive = false;
        // A stream cut short must not be followed by later data on the same connection (the
        // printer would take it as the rest of the file), and a send still waiting must not
        // read the file once it is closed.
        disconnect(m_net, nullptr, this, nullptr);
        m_net->WithdrawSource(m_file);
    }
    return sent;
}

void FileSender::sendSerialSlice()
{
    SerialLink *link = m_serial;
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
        const qint64 want = qMin(m_size - m_read, room - room % BlockSize);
        if (!m_readFailed && want > 0 && (room >= ahead / 2 || want == m_size - m_read)) {
            const qint64 got = m_file->read(m_block.data(), want);
            // A short read fails its block; the whole blocks before it still go out.
            const qint64 whole = got == want ? got : qMax<qint64>(got, 0) / BlockSize * BlockSize;
            m_readFailed = got != want;
            link->send(m_block.constData(), whole);
            m_read += whole;
        }
        link->push(int(qMax<qint64>(FSliceMs - slice.elapsed(), 0)));
        reportTaken();
        if (!m_serialActive || !link->isOpen())
            return;
    } while ((link->pending() > 0 || (!m_readFailed && m_read < m_size)) &&
             slice.elapsed() < FSliceMs);
    emit blocksSent(m_blocksSent);
    if (!m_readFailed && m_read < m_size) {
        if (link->pending() < ahead)
            tiBlock->start(0);
        return; // otherwise the port taking bytes brings us back
    }
    if (link->pending() > 0)
        return;
    if (!link->drained()) {
        tiBlock->start(DrainPollMs); // the driver still holds the tail
        return;
    }
    finishSerial();
}

void FileSender::reportTaken()
{
    const qint64 taken = m_serial->taken();
    for (;;) {
        const qint64 start = qint64(m_blocksSent) * BlockSize;
        const int size = int(qMin<qint64>(BlockSize, m_size - start));
        if (size <= 0 || start + size > taken)
            break;
        ++m_blocksSent;
        emit blockWritten(size);
    }
}

void FileSender::serialFailed()
{
    if (!m_serialActive)
        return;
    m_serialActive = false;
    tiBlock->stop();
    disconnect(m_serial, nullptr, this, nullptr);
    emit finished(Outcome::WriteFailed);
}

void FileSender::finishSerial()
{
    m_serialActive = false;
    tiBlock->stop();
    disconnect(m_serial, nullptr, this, nullptr);
    emit finished(m_readFailed ? Outcome::ReadFailed : Outcome::Sent);
}

void FileSender::startNet(QFile *file, qint64 size)
{
    // Streamed from the open file in pieces as the socket takes them: memory stays bounded
    // whatever the file's size, and every byte goes exactly once.
    m_file = file;
    m_size = size;
    m_netActive = true;
    // The link reports every send it makes, in order; those queued ahead of this file are
    // not ours to show.
    m_netAhead = m_net->sendsAhead();
    connect(m_net, &NetLink::transferProgress, this, &FileSender::netProgressed,
            Qt::UniqueConnection);
    connect(m_net, &NetLink::transferFinished, this, &FileSender::netFinished,
            Qt::UniqueConnection);
    m_net->SendFileWithStatus(file, size);
}

void FileSender::netProgressed(qint64 sent, qint64 total)
{
    if (!m_netActive || m_netAhead > 0)
        return;
    emit netProgress(sent, total);
}

void FileSender::netFinished(bool ok)
{
    if (!m_netActive)
        return;
    if (m_netAhead > 0) {
        --m_netAhead;
        return;
    }
    m_netActive = false;
    disconnect(m_net, nullptr, this, nullptr);
    // The link reads the file; a piece it could not get means the file failed or ended
    // before its measured size. Link failures it reports itself.
    const bool readFailed =
        m_file->error() != QFileDevice::NoError || (m_file->atEnd() && m_file->pos() < m_size);
    if (!ok && readFailed) {
        // Part of the file may have gone: end the connection so that the printer does not
        // take the next send as the rest of it.
        m_net->NetDisconnect();
        emit finished(Outcome::ReadFailed);
        return;
    }
    emit finished(ok ? Outcome::Sent : Outcome::LinkFailed);
}
