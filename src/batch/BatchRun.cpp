#include "batch/BatchRun.h"

#include <QDir>
#include <QFileDevice>
#include <QTimer>

#include "core/FormatFile.h"
#include "core/PacketText.h"
#include "link/NetLink.h"
#include "link/ReplyBuffer.h"
#include "link/SerialLink.h"
#include "core/Gs1Epc.h"
#include "core/TagData.h"

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
    : QObject(parent), m_options(options), m_out(out), m_err(err)
{
    m_ticker = new QTimer(this);
    m_ticker->setInterval(1000);
    connect(m_ticker, &QTimer::timeout, this, &BatchRun::showProgress);
    m_connectWait = new QTimer(this);
    m_connectWait->setSingleShot(true);
    connect(m_connectWait, &QTimer::timeout, this, &BatchRun::connectTimedOut);
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
    const SplitPackets split = SplitFormatLines(lines);
    m_packets.formatLines = split.formatLines;
    m_packets.batchLines = split.batchLines;
    m_packets.epcField = FindEPCFieldNumber(split.formatLines);
    int bad = 0;
    m_packets.epcLine = FindBatchFieldLine(split.batchLines, m_packets.epcField, &bad);
    if (bad > 0) {
        BatchAssembly stop;
        stop.stop = BatchStop::BadFieldNumber;
        stop.line = split.batchLines.at(bad);
        writeErr(stopText(stop));
        return false;
    }
    m_layout = TagFormatFor(HexFormat, m_options.dataSize).layout;
    m_entry = m_options.epc;
    const BatchAssembly first = assemble(m_options.sendFormat);
    if (first.stop != BatchStop::None) {
        writeErr(stopText(first));
        return false;
    }
    if (m_packets.epcLine == 0)
        writeErr(QStringLiteral("Warning: the batch packet has no data line for the RFID field "
                                "%1; every batch carries the tag data the format text holds.")
                     .arg(m_packets.epcField));

    if (!m_options.journalPath.isEmpty()) {
        if (!m_journal.open(m_options.journalPath)) {
            writeErr(QStringLiteral("Journal Error: %1\n%2")
                         .arg(QDir::toNativeSeparators(m_options.journalPath), m_journal.error()));
            return false;
        }
        if (m_journal.skippedOnOpen() > 0)
            writeErr(QStringLiteral("Warning: the journal has %1 unreadable lines; new lines go "
                                    "after them.")
                         .arg(m_journal.skippedOnOpen()));
        m_journalOn = true;
    }
    return true;
}

void BatchRun::start()
{
    m_clock.start();
    if (!m_options.serialDevice.isEmpty()) {
        m_serial = std::make_unique<SerialLink>();
    } else {
        m_net = std::make_unique<NetLink>();
        m_check = std::make_unique<StatusCheck>(m_net.get());
        m_check->setMaxPolls(m_options.polls);
        m_net->setHost(m_options.host);
        m_net->setPortText(QString::number(m_options.port));
        NetLink *net = m_net.get();
        connect(net, &NetLink::transferFinished, this, &BatchRun::transferFinished);
        connect(m_check.get(), &StatusCheck::finished, this, &BatchRun::replyJudged);
        connect(net, &NetLink::received, this, &BatchRun::repliesArrived);
        connect(net, &NetLink::connected, this, &BatchRun::connected);
        connect(net, &NetLink::connectionClosed, this, &BatchRun::linkClosed);
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
        return;
    }
    sendNext();
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
    writeErr(QStringLiteral("Stopping after batch %1 has its answer; Ctrl-C again stops at once.")
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

BatchAssembly BatchRun::assemble(bool withFormat) const
{
    const BatchRequest request{m_options.quantity, m_entry, HexFormat, m_options.dataSize,
                               withFormat};
    return AssembleBatch(m_packets, request);
}

QString BatchRun::linkText() const
{
    if (!m_options.serialDevice.isEmpty())
        return m_options.serialDevice;
    return JournalLinkText(0, m_options.host, m_options.port);
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
    ++m_number;
    const bool withFormat = m_options.sendFormat && m_number == 1;
    const BatchAssembly batch = assemble(withFormat);
    if (batch.stop != BatchStop::None) {
        end(UnusableInput, stopText(batch));
        return;
    }
    m_sentEpc = PackTagFields(m_entry, m_layout);
    // The window steps the tag data on at once, whatever the printer answers.
    const QString next = StepTagText(m_entry, m_layout, m_options.quantity);
    // The window says so on its meaning line; an unattended run says it once, where it happens.
    if (!m_stepWarned) {
        QString why =
            m_sentEpc.size() == 24 ? IncrementWarning(m_sentEpc, m_options.quantity) : QString();
        const QString nextEpc = PackTagFields(next, m_layout);
        if (why.isEmpty() && nextEpc < m_sentEpc) // same length, upper case: compares as numbers
            why = QStringLiteral("the tag data wraps past its largest value to %1.").arg(nextEpc);
        if (!why.isEmpty()) {
            writeErr(QStringLiteral("Warning after batch %1: %2").arg(m_number).arg(why));
            m_stepWarned = true;
        }
    }
    if (m_journalOn) {
        JournalEvent event;
        event.link = linkText();
        event.quantity = m_options.quantity;
        event.withFormat = withFormat;
        event.firstEpc = m_sentEpc;
        event.nextEntry = next;
        m_journalBatch = m_journal.appendBatch(event);
        if (m_journalBatch == 0) {
            writeErr(QStringLiteral("Warning: the journal cannot be written (%1); the run goes "
                                    "on without it.")
                         .arg(m_journal.error()));
            m_journalOn = false;
        }
    }
    m_entry = next;
    m_state = State::Sending;
    if (m_serial) {
        sendSerial(batch);
        return;
    }
    m_failureText.clear();
    m_net->SendWithStatus(batch.text);
}

void BatchRun::sendSerial(const BatchAssembly &batch)
{
    SerialSettings settings;
    settings.device = m_options.serialDevice;
    settings.lineSettings = m_options.baud > 0;
    settings.baudRate = m_options.baud > 0 ? m_options.baud : 9600;
    settings.parity = 0;
    settings.dataBits = 8;
    settings.stopBits = 1;
    settings.flowControl = 3; // none
    // Opened for each batch and closed after it, as the window does.
    const SerialLink::OpenResult opened = m_serial->open(settings);
    if (opened != SerialLink::OpenResult::Ok) {
        m_serial->close();
        const QString text = SerialLink::messageFor(opened);
        journalResult(text);
        end(Unreachable, QStringLiteral("Comm Error: %1 (%2)\nBatch %3 was not sent.")
                             .arg(text, m_options.serialDevice)
                             .arg(m_number));
        return;
    }
    const bool written = m_serial->write(batch.text);
    m_serial->close();
    if (!written) {
        const QString text = QStringLiteral("Error writing data to printer.");
        journalResult(text);
        end(Unreachable, QStringLiteral("SendSerialBlock: %1 (%2)\nBatch %3 was not sent whole.")
                             .arg(text, m_options.serialDevice)
                             .arg(m_number));
        return;
    }
    ++m_counts.batches;
    m_counts.labels += m_options.quantity;
    batchDone(BatchOutcome::Sent);
    m_state = State::Idle;
    // Through the event loop, so that a stop request is seen between batches.
    QMetaObject::invokeMethod(this, &BatchRun::sendNext, Qt::QueuedConnection);
}

void BatchRun::transferFinished(bool allSent)
{
    if (m_state != State::Sending)
        return;
    if (!allSent) {
        const QString text = m_failureText.isEmpty()
                                 ? QStringLiteral("Connection closed, data not sent.")
                                 : m_failureText;
        journalResult(text);
        const QString why = m_fault.isEmpty() ? text : m_fault;
        end(Unreachable, QStringLiteral("%1\nBatch %2 was not sent.").arg(why).arg(m_number));
        return;
    }
    ++m_counts.batches;
    m_counts.labels += m_options.quantity;
    m_state = State::Awaiting;
    m_waitClock.start();
    m_check->watch();
    if (!m_fault.isEmpty())
        m_check->expire(); // no reply can come any more: judge what is there
    else if (m_progress)
        m_ticker->start();
}

void BatchRun::replyJudged(const StatusCheck::Result &result)
{
    if (m_state != State::Awaiting)
        return;
    m_ticker->stop();
    switch (result.outcome) {
    case StatusCheck::Outcome::Polling:
        return;
    case StatusCheck::Outcome::OperationOk:
        batchDone(BatchOutcome::OperationOk);
        break;
    case StatusCheck::Outcome::EncodingFailed:
        batchDone(BatchOutcome::EncodingFailed, ReplyBuffer::displayText(result.reply.toLatin1()));
        break;
    case StatusCheck::Outcome::NoResponse:
    case StatusCheck::Outcome::LinkClosed:
        // A close that left this batch without its reply has cut the run short.
        m_closedOnly = m_closedOnly && m_fault.isEmpty();
        batchDone(BatchOutcome::NoResponse,
                  m_fault.isEmpty() ? QString() : NoResponseLinkFailedText());
        break;
    }
    m_state = State::Idle;
    // Not from inside the socket's read event that brought the reply.
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
        m_check->expire();
}

void BatchRun::repliesArrived(int fellOff)
{
    if (m_state == State::Done)
        return;
    const ReplyBuffer &replies = m_net->replies();
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
    if (m_state == State::Awaiting)
        m_check->expire();
}

void BatchRun::connectFailed(const QString &why)
{
    // A connection that cannot be made now will not be made in the link's next seconds either.
    if (m_state != State::Connecting && m_state != State::Sending)
        return;
    const QString text = QStringLiteral("Could not connect to %1: %2").arg(printerAddress(), why);
    journalResult(text);
    end(Unreachable, text);
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

void BatchRun::batchDone(BatchOutcome outcome, const QString &detail)
{
    const QString result = BatchOutcomeText(outcome, detail);
    m_counts.add(result);
    journalResult(result);
    if (m_options.quiet)
        return;
    const int width = int(QString::number(m_options.batches).size());
    clearProgress();
    writeOut(QStringLiteral("%1  %2  %3\n")
                 .arg(QString::number(m_number).rightJustified(width), m_sentEpc, result));
    showProgress();
}

void BatchRun::journalResult(const QString &result)
{
    if (!m_journalOn || m_journalBatch == 0)
        return;
    if (!m_journal.appendResult(m_journalBatch, result)) {
        writeErr(QStringLiteral("Warning: the journal cannot be written (%1); the run goes on "
                                "without it.")
                     .arg(m_journal.error()));
        m_journalOn = false;
    }
    m_journalBatch = 0;
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
        journalResult(unsettledResult);
    if (m_net) {
        m_check->stopWatching();
        m_net->disconnect(this);
        m_net->Shutdown();
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
    if (m_serial) {
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
