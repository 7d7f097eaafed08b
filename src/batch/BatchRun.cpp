#include "batch/BatchRun.h"

#include <QDir>
#include <QFileDevice>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

#include "core/FormatFile.h"
#include "core/TagData.h"
#include "link/BatchSession.h"
#include "link/JournalStore.h"
#include "link/NetLink.h"
#include "link/ReplyBuffer.h"
#include "link/SendJournal.h"

namespace
{
const QString Name = QStringLiteral("quilbo-batch: ");
constexpr int HexFormat = int(TagDataFormat::Hex);
// As long as the link itself waits for a connection.
constexpr int ConnectWaitMs = 3750;

QString stopText(const BatchAssembly &batch)
{
    const BatchStopText message = BatchStopMessage(batch);
    return message.caption + QStringLiteral(": ") + message.text;
}
} // namespace

BatchRun::BatchRun(const BatchOptions &options, QIODevice *out, QIODevice *err, QObject *parent)
    : QObject(parent), m_options(options), m_out(out), m_err(err),
      m_session(std::make_unique<BatchSession>())
{
    m_ticker = new QTimer(this);
    m_ticker->setInterval(1000);
    connect(m_ticker, &QTimer::timeout, this, &BatchRun::showProgress);
    m_connectWait = new QTimer(this);
    m_connectWait->setSingleShot(true);
    connect(m_connectWait, &QTimer::timeout, this, &BatchRun::connectTimedOut);

    BatchSession &s = *m_session;
    s.FDataFormat = HexFormat;
    s.FDataSize = m_options.dataSize;
    s.FBatchQty = m_options.quantity;
    s.FAutoInc = true; // the window's default: stepped on at once, whatever the printer answers
    s.FStepSerial = m_options.stepSerial;
    if (serial()) {
        s.FComPort = 1;
        s.FComDevice = m_options.serialDevice;
        s.FLineSettings = m_options.baud > 0;
        s.FBaudRate = m_options.baud > 0 ? m_options.baud : 9600;
        s.FParity = 0;
        s.FDataBits = 8;
        s.FStopBits = 1;
        s.FFlowControl = 3; // none
    } else {
        s.FComPort = 0;
        s.setPrinterAddress(m_options.host);
        s.FNetLink->setPortText(QString::number(m_options.port));
        s.FStatusCheck->setMaxPolls(m_options.polls);
    }
    connect(&s, &BatchSession::batchEnded, this, &BatchRun::batchEnded);
    connect(&s, &BatchSession::warning, this,
            [this](const QString &caption, const QString &) { m_serialCaption = caption; });
    // An unattended run says it once, where it happens.
    connect(&s, &BatchSession::stepWarning, this, [this](qint64, const QString &why) {
        writeErr(QStringLiteral("Warning after batch %1: %2").arg(m_number).arg(why));
    });
    connect(s.FJournal, &SendJournal::journalFailed, this, [this](const QString &text) {
        writeErr(QStringLiteral("Warning: %1; the run goes on.").arg(text));
    });
}

BatchRun::~BatchRun() = default;

bool BatchRun::prepare()
{
    QStringList lines;
    QString error;
    if (!ReadFormatFile(m_options.formatPath, &lines, &error)) {
        writeErr(QStringLiteral("File Error: %1\n%2")
                     .arg(QDir::toNativeSeparators(m_options.formatPath), error));
        return false;
    }
    const BatchAssembly split = m_session->SplitFormatText(lines);
    if (split.stop != BatchStop::None) {
        writeErr(stopText(split));
        return false;
    }
    m_entry = m_options.epc;
    const BatchAssembly first = m_session->PrepareBatch(m_entry, m_options.sendFormat, false);
    if (first.stop != BatchStop::None) {
        writeErr(stopText(first));
        return false;
    }
    if (m_session->FEPCLine == 0)
        writeErr(QStringLiteral("Warning: the batch packet has no data line for the RFID field "
                                "%1; every batch carries the tag data the format text holds.")
                     .arg(m_session->FEPCField));

    if (!m_options.journalPath.isEmpty() && !usesCsvJournal()) {
        // Said before anything is sent; the session then opens its own connection.
        JournalStore check;
        const QString error = SendJournal::openStoreAt(&check, m_options.journalPath, station());
        if (!error.isEmpty()) {
            const QString where = JournalStore::isServerLocation(m_options.journalPath)
                                      ? QUrl(m_options.journalPath).toString(QUrl::RemovePassword)
                                      : QDir::toNativeSeparators(m_options.journalPath);
            writeErr(QStringLiteral("Journal Error: %1\n%2").arg(where, error));
            return false;
        }
    } else if (!m_options.journalPath.isEmpty()) {
        // Said before anything is sent; the session's journal then appends after it.
        JournalWriter check;
        if (!check.open(m_options.journalPath)) {
            writeErr(QStringLiteral("Journal Error: %1\n%2")
                         .arg(QDir::toNativeSeparators(m_options.journalPath), check.error()));
            return false;
        }
        if (check.skippedOnOpen() > 0)
            writeErr(QStringLiteral("Warning: the journal has %1 unreadable lines; new lines go "
                                    "after them.")
                         .arg(check.skippedOnOpen()));
    }
    return true;
}

void BatchRun::start()
{
    m_clock.start();
    if (!m_options.journalPath.isEmpty())
        m_session->OpenJournal(m_options.journalPath, station(), m_options.noRepeat);
    if (serial()) {
        sendNext();
        return;
    }
    NetLink *net = m_session->FNetLink;
    connect(net, &NetLink::transferFinished, this, &BatchRun::transferFinished);
    connect(net, &NetLink::received, this, &BatchRun::repliesArrived);
    connect(net, &NetLink::connected, this, &BatchRun::connected);
    connect(net, &NetLink::peerClosed, this, &BatchRun::linkClosed);
    connect(net, &NetLink::connectFailed, this, &BatchRun::connectFailed);
    connect(net, &NetLink::connectTimedOut, this, [this] {
        m_failureText = QStringLiteral("Could not connect to %1.").arg(printerAddress());
    });
    // A port text that is no port: the link says so in a message box.
    connect(net, &NetLink::warning, this,
            [this](const QString &, const QString &text) { m_failureText = text; });
    connect(net, &NetLink::statusText, this, [this](const QString &text, NetLink::Tone tone) {
        if (tone == NetLink::Tone::Failure)
            m_failureText = text;
    });
    // Connected before the first send, which then goes at once instead of at the link's
    // first look at the connection a quarter second later.
    m_state = State::Connecting;
    m_connectWait->start(ConnectWaitMs);
    net->NetConnect();
}

void BatchRun::connected()
{
    if (m_state != State::Connecting)
        return;
    m_connectWait->stop();
    m_state = State::Idle;
    sendNext();
}

void BatchRun::connectTimedOut()
{
    if (m_state == State::Connecting)
        end(Unreachable, QStringLiteral("Could not connect to %1.").arg(printerAddress()));
}

void BatchRun::requestStop()
{
    if (m_stopAsked || m_state == State::Done)
        return;
    m_stopAsked = true;
    // A reply can take half a minute: say at once that the request was seen.
    writeErr(m_number == 0
                 ? QStringLiteral("Stopping before the first batch; Ctrl-C again stops at once.")
                 : QStringLiteral("Stopping after batch %1 has its answer; Ctrl-C again stops "
                                  "at once.")
                       .arg(m_number));
    showProgress();
}

void BatchRun::stopNow()
{
    if (m_state == State::Done)
        return;
    const bool unsettled = m_state == State::Awaiting || m_state == State::Sending;
    end(NotAllOk,
        unsettled ? QStringLiteral("Stopped at once during batch %1; its result is \"Stopped\".")
                        .arg(m_number)
                  : QStringLiteral("Stopped at once after batch %1.").arg(m_number),
        QStringLiteral("Stopped"));
}

QString BatchRun::printerAddress() const
{
    return QStringLiteral("%1:%2").arg(m_options.host).arg(m_options.port);
}

void BatchRun::sendNext()
{
    if (m_state == State::Done)
        return;
    // A printer that closes the connection after the last reply has not cut the run short.
    const bool allSent = m_number >= m_options.batches;
    if (!m_fault.isEmpty() && !(allSent && m_closedOnly)) {
        end(Unreachable, m_fault);
        return;
    }
    if (allSent) {
        end(m_counts.failed + m_counts.noResponse > 0 ? NotAllOk : AllOk);
        return;
    }
    if (m_stopAsked) {
        end(NotAllOk, QStringLiteral("Stopped on request after batch %1.").arg(m_number));
        return;
    }
    // The serial field cannot hold this batch, or the last one used it up.
    const QString refusal = m_session->SerialRefusal(m_entry);
    if (!refusal.isEmpty()) {
        end(UnusableInput, QStringLiteral("Data Error: %1\nBatch %2 was not sent.")
                               .arg(refusal)
                               .arg(m_number + 1));
        return;
    }
    ++m_number;
    const bool withFormat = m_options.sendFormat && m_number == 1;
    const BatchAssembly batch = m_session->PrepareBatch(m_entry, withFormat, false);
    if (batch.stop != BatchStop::None) {
        end(UnusableInput, stopText(batch));
        return;
    }
    m_sentEpc = PackTagFields(m_entry, m_session->currentLayout());
    m_state = State::Sending;
    m_failureText.clear();
    // Serial: batchEnded has come by the time this returns.
    m_entry = m_session->SendBatch(batch, m_entry, withFormat);
    if (m_session->refused()) {
        --m_number;
        m_state = State::Idle;
        const JournalStore::Conflict &c = m_session->FJournal->refusal();
        end(c.batch != 0 ? Repeat : NotAllOk, QStringLiteral("Batch %1 not sent: %2")
                                                  .arg(m_number + 1)
                                                  .arg(m_session->FJournal->refusalText()));
    }
}

bool BatchRun::usesCsvJournal() const
{
    return !JournalStore::isServerLocation(m_options.journalPath) &&
           m_options.journalPath.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
}

QString BatchRun::station() const
{
    // Not the window's (its settings folder): a resume there must not take this run's batches.
    return QStringLiteral("%1:quilbo-batch %2")
        .arg(QSysInfo::machineHostName(), serial() ? m_options.serialDevice : printerAddress());
}

void BatchRun::transferFinished(bool allSent)
{
    // A send that failed has ended as its batch (batchEnded).
    if (m_state != State::Sending || !allSent)
        return;
    ++m_counts.batches;
    m_counts.labels += m_options.quantity;
    m_state = State::Awaiting;
    m_waitClock.start();
    m_session->FStatusCheck->watch();
    if (!m_fault.isEmpty())
        m_session->FStatusCheck->expire(); // no reply can come any more: judge what is there
    else if (m_progress)
        m_ticker->start();
}

void BatchRun::batchEnded(qint64, BatchOutcome outcome, const QString &detail)
{
    if (m_state != State::Sending && m_state != State::Awaiting)
        return;
    if (outcome == BatchOutcome::LinkFailure) {
        if (serial()) {
            const bool written = m_serialCaption != QLatin1String("SendSerialBlock");
            end(Unreachable, QStringLiteral("%1: %2 (%3)\nBatch %4 was not sent%5")
                                 .arg(m_serialCaption, detail, m_options.serialDevice)
                                 .arg(m_number)
                                 .arg(written ? QStringLiteral(".") : QStringLiteral(" whole.")));
            return;
        }
        const QString text = m_failureText.isEmpty()
                                 ? QStringLiteral("Connection closed, data not sent.")
                                 : m_failureText;
        const QString why = m_fault.isEmpty() ? text : m_fault;
        end(Unreachable, QStringLiteral("%1\nBatch %2 was not sent.").arg(why).arg(m_number));
        return;
    }
    m_ticker->stop();
    if (serial()) {
        ++m_counts.batches;
        m_counts.labels += m_options.quantity;
    }
    // A close that left this batch without its reply has cut the run short.
    if (outcome == BatchOutcome::NoResponse)
        m_closedOnly = m_closedOnly && m_fault.isEmpty();
    const QString result = BatchOutcomeText(outcome, detail);
    m_counts.add(result);
    if (!m_options.quiet) {
        const int width = int(QString::number(m_options.batches).size());
        clearProgress();
        writeOut(QStringLiteral("%1  %2  %3\n")
                     .arg(QString::number(m_number).rightJustified(width), m_sentEpc, result));
        showProgress();
    }
    m_state = State::Idle;
    // Through the event loop: not from inside the socket's read event that brought the reply,
    // and so that a stop request is seen between batches.
    QMetaObject::invokeMethod(this, &BatchRun::sendNext, Qt::QueuedConnection);
}

void BatchRun::linkClosed()
{
    if (m_state == State::Done)
        return;
    if (m_fault.isEmpty()) {
        m_fault = QStringLiteral("The printer closed the connection.");
        m_closedOnly = true;
    }
    // Sending: the link fails the transfer itself. Idle: the next batch sees the fault.
    if (m_state == State::Awaiting)
        m_session->FStatusCheck->expire();
}

void BatchRun::repliesArrived(int fellOff)
{
    if (m_state == State::Done)
        return;
    const ReplyBuffer &replies = m_session->FNetLink->replies();
    // Bounded as the buffer is, a flood would only ever give cut or lost replies.
    if (fellOff > 0) {
        m_fault = QStringLiteral("The printer sent more than %1 lines without being asked; "
                                 "the link is no longer usable.")
                      .arg(ReplyBuffer::MaxLines);
    } else if (replies.unfinished().size() >= ReplyBuffer::MaxLineLength) {
        m_fault = QStringLiteral("The printer sent more than %1 bytes without a line break; "
                                 "the link is no longer usable.")
                      .arg(ReplyBuffer::MaxLineLength);
    } else {
        return;
    }
    m_closedOnly = false;
    m_session->setLinkFault(true);
    if (m_state == State::Awaiting)
        m_session->FStatusCheck->expire();
}

void BatchRun::connectFailed(const QString &why)
{
    // A connection that cannot be made now will not be made in the link's next seconds either.
    if (m_state != State::Connecting && m_state != State::Sending)
        return;
    const QString text = QStringLiteral("Could not connect to %1: %2").arg(printerAddress(), why);
    end(Unreachable, text, text);
}

void BatchRun::Counts::add(const QString &result)
{
    switch (BatchOutcomeOf(result)) {
    case BatchOutcome::OperationOk:
        ++ok;
        break;
    case BatchOutcome::EncodingFailed:
        ++failed;
        break;
    case BatchOutcome::NoResponse:
        ++noResponse;
        break;
    case BatchOutcome::Sent:
        ++sent;
        break;
    case BatchOutcome::Pending:
    case BatchOutcome::LinkFailure:
    case BatchOutcome::Stopped:
        break;
    }
}

void BatchRun::end(int status, const QString &message, const QString &unsettledResult)
{
    if (m_state == State::Done)
        return;
    const bool unsettled = m_state == State::Awaiting || m_state == State::Sending;
    m_state = State::Done;
    m_ticker->stop();
    m_connectWait->stop();
    clearProgress();
    if (unsettled)
        m_session->EndOpenBatches(BatchOutcome::Stopped, unsettledResult);
    if (!serial()) {
        m_session->FStatusCheck->stopWatching();
        m_session->FNetLink->disconnect(this);
        m_session->FNetLink->Shutdown();
    }
    if (!message.isEmpty())
        writeErr(message);

    const double seconds = double(m_clock.nsecsElapsed()) / 1e9;
    QString summary;
    const auto row = [&summary](const char *label, const QString &value) {
        summary += QStringLiteral("%1 %2\n").arg(QLatin1String(label), -13).arg(value);
    };
    row("Batches:", QString::number(m_counts.batches));
    row("Labels:", QString::number(m_counts.labels));
    if (serial()) {
        row("Sent:", QString::number(m_counts.sent));
    } else {
        row("Operation OK:", QString::number(m_counts.ok));
        row("Failed:", QString::number(m_counts.failed));
        row("No response:", QString::number(m_counts.noResponse));
    }
    row("Time:", QStringLiteral("%1 s").arg(seconds, 0, 'f', 3));
    row("Batches/s:",
        QString::number(seconds > 0 ? double(m_counts.batches) / seconds : 0.0, 'f', 1));
    writeOut(summary);
    emit finished(status);
}

void BatchRun::writeOut(const QString &text)
{
    m_out->write(text.toLocal8Bit());
    if (auto *file = qobject_cast<QFileDevice *>(m_out))
        file->flush();
}

void BatchRun::writeErr(const QString &text)
{
    clearProgress();
    m_err->write((Name + text + QLatin1Char('\n')).toLocal8Bit());
    if (auto *file = qobject_cast<QFileDevice *>(m_err))
        file->flush();
}

void BatchRun::showProgress()
{
    if (!m_progress || m_options.quiet || m_state == State::Done)
        return;
    QString text = QStringLiteral("[%1/%2]").arg(m_number).arg(m_options.batches);
    if (m_state == State::Awaiting)
        text += QStringLiteral(" waiting for the reply, %1 s").arg(m_waitClock.elapsed() / 1000);
    if (m_stopAsked)
        text += QStringLiteral(" (stopping after this batch)");
    const int width = int(text.size());
    writeOut(QLatin1Char('\r') + text.leftJustified(m_progressWidth));
    m_progressWidth = width;
}

void BatchRun::clearProgress()
{
    if (m_progressWidth == 0)
        return;
    const int width = m_progressWidth;
    m_progressWidth = 0;
    writeOut(QLatin1Char('\r') + QString(width, QLatin1Char(' ')) + QLatin1Char('\r'));
}
