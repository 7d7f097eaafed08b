#include "link/BatchSession.h"

#include <algorithm>

#include "core/Gs1Epc.h"
#include "core/PacketText.h"
#include "core/Settings.h"
#include "core/TagData.h"
#include "link/FileSender.h"
#include "link/NetLink.h"
#include "link/ReplyBuffer.h"
#include "link/SendJournal.h"
#include "link/SerialLink.h"

BatchSession::BatchSession(QObject *parent) : QObject(parent)
{
    FComHandle = new SerialLink(this);
    FNetLink = new NetLink(this);
    FStatusCheck = new StatusCheck(FNetLink, this);
    FFileSender = new FileSender(FComHandle, FNetLink, this);
    FJournal = new SendJournal(FNetLink, FStatusCheck, this);
    connect(FNetLink, &NetLink::sendEnded, this, &BatchSession::sendEnded);
    connect(FStatusCheck, &StatusCheck::checked, this, &BatchSession::judged);
    connect(FStatusCheck, &StatusCheck::finished, this, &BatchSession::judged);
}

BatchSession::~BatchSession()
{
    // The journal's reader thread and the sender go before the links they watch.
    delete FJournal;
    delete FFileSender;
    delete FStatusCheck;
    delete FNetLink;
    delete FComHandle;
}

void BatchSession::TakeSettings(const StoredSettings &s)
{
    FComPort = s.comPort;
    FBaudRate = s.baudRate;
    FParity = s.parity;
    FDataBits = s.dataBits;
    FStopBits = s.stopBits;
    FFlowControl = s.flowControl;
    FDataFormat = 2;
    FHREnabled = false;
    FBatchQty = 1;
    FStepSerial = s.stepSerial;
}

void BatchSession::PutSettings(StoredSettings *s) const
{
    s->comPort = FComPort;
    s->baudRate = FBaudRate;
    s->parity = FParity;
    s->dataBits = FDataBits;
    s->stopBits = FStopBits;
    s->flowControl = FFlowControl;
    s->dataFormat = FDataFormat;
    s->dataSize = FDataSize;
    s->hrField = FHRField;
    s->stepSerial = FStepSerial;
}

void BatchSession::setPrinterAddress(const QString &host)
{
    FNetLink->setHost(host);
}

QString BatchSession::printerAddress() const
{
    return FNetLink->host();
}

CommSettings BatchSession::commSettings() const
{
    return {FComPort, FBaudRate, FParity, FDataBits, FStopBits, FFlowControl, printerAddress()};
}

void BatchSession::setCommSettings(const CommSettings &s)
{
    FComPort = s.port;
    FBaudRate = s.baudRate;
    FParity = s.parity;
    FDataBits = s.dataBits;
    FStopBits = s.stopBits;
    FFlowControl = s.flowControl;
    setPrinterAddress(s.ipAddress);
}

void BatchSession::OpenJournal(const QString &path, const QString &station, bool noRepeat,
                               const QString &importCsv)
{
    m_journalOn = true;
    FJournal->open(path, station, noRepeat, importCsv);
}

QString BatchSession::JournalLink() const
{
    if (FComPort != 0 && !FComDevice.isEmpty())
        return FComDevice;
    return JournalLinkText(FComPort, FNetLink->host().trimmed(),
                           FNetLink->portText().trimmed().toUShort());
}

QString BatchSession::currentLayout() const
{
    return TagFormatFor(FDataFormat, FDataSize).layout;
}

TagMeaning BatchSession::Meaning(const QString &entry, bool autoInc) const
{
    const QString layout = currentLayout();
    TagMeaning m;
    QStringList tip;
    const int bad = FindLimitBreak(entry, layout);
    if (bad >= 0) {
        m.shown = QStringLiteral("Not a tag value: position %1 breaks its limit.").arg(bad + 1);
        m.tip = QStringLiteral("Format (max data):  ") + layout;
        return m;
    }
    const QString hex = PackTagFields(entry, layout);
    const EpcReading r = ReadEpc(hex);
    // Stepping by the serial, its refusal replaces the warning about the whole value's carry.
    const SerialStep step = FStepSerial ? StepGs1Serial(hex, FBatchQty) : SerialStep();
    QString next;
    if (step.scheme && FBatchQty > 0)
        next = !step.ok ? step.failure : autoInc ? step.usedUp : QString();
    else if (autoInc)
        next = IncrementWarning(hex, FBatchQty);
    if (step.scheme && hex == m_usedUpHex)
        next = m_usedUpText;
    const QString stepping = FStepSerial ? SerialStepMeaning(hex) : QString();
    const QString sent = FJournal->sentNote(hex);
    // What is wrong, or already done, comes first: a raw URI is long and the end of the line
    // is cut.
    for (const QString &why : {r.problem, next, sent})
        if (!why.isEmpty())
            m.shown += why + QStringLiteral(" - ");
    m.shown += r.tagUri;
    if (!stepping.isEmpty())
        m.shown += QStringLiteral(" - ") + stepping;
    for (const QString &line : {sent, r.problem, next, r.elementString, r.digitalLink, stepping})
        if (!line.isEmpty())
            tip << line;
    m.tip = tip.join(QLatin1Char('\n'));
    m.warn = !r.problem.isEmpty() || !next.isEmpty();
    m.seen = !sent.isEmpty();
    return m;
}

BatchAssembly BatchSession::SplitFormatText(const QStringList &lines)
{
    const SplitPackets packets = SplitFormatLines(lines);
    FFormatLines = packets.formatLines;
    FBatchLines = packets.batchLines;
    FFormatChanged = false;
    FEPCField = FindEPCFieldNumber(FFormatLines);
    BatchAssembly result;
    int bad = 0;
    FHRLine = 0;
    FEPCLine = FindBatchFieldLine(FBatchLines, FEPCField, &bad);
    if (bad == 0 && FHREnabled)
        FHRLine = FindBatchFieldLine(FBatchLines, FHRField, &bad);
    if (bad != 0) {
        FEPCLine = qMax(FEPCLine, 0);
        FHRLine = qMax(FHRLine, 0);
        result.stop = BatchStop::BadFieldNumber;
        result.line = FBatchLines.at(bad);
    }
    return result;
}

BatchAssembly BatchSession::PrepareBatch(const QString &entry, bool sendFormat, bool hrEnabled)
{
    const BatchPackets packets{FFormatLines, FBatchLines, FEPCField, FEPCLine,
                               FHRField,     FHRLine,     hrEnabled, FHRChanged};
    const BatchRequest request{FBatchQty, entry, FDataFormat, FDataSize, sendFormat};
    BatchAssembly batch = AssembleBatch(packets, request);
    if (batch.stop != BatchStop::NoBatchPacket) {
        FBatchLines = batch.batchLines;
        FHRLine = batch.hrLine;
    }
    m_hrInBatch = hrEnabled;
    return batch;
}

QString BatchSession::StepWarning(const QString &sentHex, const QString &nextHex, int quantity)
{
    QString why = sentHex.size() == 24 ? IncrementWarning(sentHex, quantity) : QString();
    if (why.isEmpty() && nextHex < sentHex) // same length, upper case: compares as numbers
        why = QStringLiteral("the tag data wraps past its largest value to %1.").arg(nextHex);
    return why;
}

QString BatchSession::SerialRefusal(const QString &entry) const
{
    const QString layout = currentLayout();
    if (!FStepSerial || FBatchQty < 1 || FindLimitBreak(entry, layout) >= 0)
        return QString();
    const QString hex = PackTagFields(entry, layout);
    if (hex == m_usedUpHex)
        return m_usedUpText;
    const SerialStep step = StepGs1Serial(hex, FBatchQty);
    return step.scheme && !step.ok ? step.failure : QString();
}

void BatchSession::RestoreUsedUp(const JournalEvent &newest)
{
    if (newest.batch == 0 || !newest.nextEntry.isEmpty())
        return;
    const SerialStep step = StepGs1Serial(newest.firstEpc, newest.quantity);
    if (step.scheme && step.ok && step.nextHex.isEmpty()) {
        m_usedUpHex = newest.firstEpc.toUpper();
        m_usedUpText = step.usedUp;
    }
}

QString BatchSession::SendBatch(const BatchAssembly &batch, const QString &entry, bool withFormat)
{
    const QString layout = currentLayout();
    const QString sentHex = PackTagFields(entry, layout);
    // A value of no scheme, and a quantity of 0, step as the whole value does.
    const SerialStep step =
        FStepSerial && FBatchQty > 0 ? StepGs1Serial(sentHex, FBatchQty) : SerialStep();
    const bool bySerial = step.scheme && step.ok;
    QString next = entry;
    if (FAutoInc && bySerial && !step.nextHex.isEmpty())
        next = UnpackTagFields(step.nextHex, layout);
    else if (FAutoInc && !bySerial)
        next = StepTagText(entry, layout, FBatchQty);
    // Used up: the entry keeps the value just sent, and no batch may go from it again.
    const bool usedUp = FAutoInc && bySerial && step.nextHex.isEmpty();
    // On disk before the printer can have it, so that a crash cannot hide a sent batch.
    m_refused = false;
    qint64 number = m_ownNumber + 1;
    if (m_journalOn) {
        JournalEvent e;
        e.link = JournalLink();
        e.quantity = FBatchQty;
        e.withFormat = withFormat;
        e.firstEpc = sentHex;
        if (bySerial)
            e.lastEpc = step.lastHex;
        if (m_hrInBatch && batch.hrLine > 0)
            e.hrText = entry;
        e.nextEntry = usedUp ? QString() : next; // nothing to resume from
        number = FJournal->batchHanded(e, 0);
        if (number == 0) {
            m_refused = true;
            return entry;
        }
    }
    // Only a batch that goes uses the field up.
    m_usedUpHex = usedUp ? sentHex : QString();
    m_usedUpText = usedUp ? step.usedUp : QString();
    ++m_ownNumber;
    m_lastBatch = number;
    // Said once, where it happens: the meaning line shows it before the send as well.
    if (!m_stepWarned && FAutoInc) {
        const QString why =
            bySerial ? step.usedUp : StepWarning(sentHex, PackTagFields(next, layout), FBatchQty);
        if (!why.isEmpty()) {
            m_stepWarned = true;
            emit stepWarning(number, why);
        }
    }
    if (FComPort == 0) {
        m_netBatches.insert(FNetLink->nextSend(), number);
        SendToPrinter(batch.text);
    } else {
        const QString failure = SendToPrinter(batch.text);
        ended(number, failure.isEmpty() ? BatchOutcome::Sent : BatchOutcome::LinkFailure, failure);
    }
    return next;
}

void BatchSession::SendFormat(const QByteArray &text, const QString &name)
{
    const bool net = FComPort == 0;
    if (m_journalOn && net)
        FJournal->formatHanded(JournalLink(), name, text.size(), FNetLink->nextSend());
    const QString failure = SendToPrinter(text);
    if (m_journalOn && !net)
        FJournal->formatHanded(JournalLink(), name, text.size(), 0,
                               failure.isEmpty() ? BatchOutcomeText(BatchOutcome::Sent) : failure);
}

QString BatchSession::SendToPrinter(const QByteArray &text)
{
    // Printer text ends at its first zero byte; whole files go through the file transfer.
    const int zero = text.indexOf('\0');
    const QByteArray data = zero < 0 ? text : text.left(zero);
    if (FComPort != 0)
        return SendSerialBlock(data);
    FNetLink->SendWithStatus(data);
    return QString();
}

bool BatchSession::portOpen() const
{
    return FComHandle->isOpen();
}

bool BatchSession::OpenPort(QString *failure)
{
    SerialSettings s;
    s.port = FComPort;
    s.baudRate = FBaudRate;
    s.parity = FParity;
    s.dataBits = FDataBits;
    s.stopBits = FStopBits;
    s.flowControl = FFlowControl;
    s.device = FComDevice;
    s.lineSettings = FLineSettings;
    const SerialLink::OpenResult result = FComHandle->open(s);
    if (result == SerialLink::OpenResult::Ok)
        return true;
    FComHandle->close();
    if (failure)
        *failure = SerialLink::messageFor(result);
    emit warning(QStringLiteral("Comm Error"), FComHandle->openFailureText(result));
    return false;
}

void BatchSession::ClosePort()
{
    FComHandle->close();
}

QString BatchSession::SendSerialBlock(const QByteArray &text)
{
    QString failure;
    if (!portOpen())
        OpenPort(&failure);
    if (!portOpen())
        return failure.isEmpty() ? QStringLiteral("Could not open the port") : failure;
    if (!FComHandle->write(text)) {
        failure = QStringLiteral("Error writing data to printer.");
        emit warning(QStringLiteral("SendSerialBlock"), failure);
    }
    ClosePort();
    emit serialSent();
    return failure;
}

void BatchSession::sendEnded(quint64 send, bool allSent, bool checked, const QString &failure)
{
    if (!allSent) {
        const auto it = m_netBatches.constFind(send);
        if (it != m_netBatches.constEnd()) {
            const qint64 batch = *it;
            m_netBatches.erase(it);
            ended(batch, BatchOutcome::LinkFailure, failure);
        }
    } else if (checked) {
        m_replyOrder.enqueue(send); // its outcome is the status check's
    } else if (m_netBatches.contains(send)) {
        ended(m_netBatches.take(send), BatchOutcome::Sent);
    }
}

void BatchSession::judged(const StatusCheck::Result &result)
{
    BatchOutcome outcome = BatchOutcome::NoResponse;
    QString detail;
    switch (result.outcome) {
    case StatusCheck::Outcome::Polling:
        return;
    case StatusCheck::Outcome::OperationOk:
        outcome = BatchOutcome::OperationOk;
        break;
    case StatusCheck::Outcome::EncodingFailed:
        outcome = BatchOutcome::EncodingFailed;
        detail = ReplyBuffer::displayText(result.reply.toLatin1());
        break;
    case StatusCheck::Outcome::NoResponse:
        detail = m_linkFault ? NoResponseLinkFailedText() : QString();
        break;
    case StatusCheck::Outcome::LinkClosed:
        detail = NoResponseClosedText(result.bytes);
        break;
    }
    // A check that gives up does so for every reply it was still waiting for.
    const bool all = outcome == BatchOutcome::NoResponse;
    while (!m_replyOrder.isEmpty()) {
        const quint64 send = m_replyOrder.dequeue();
        if (m_netBatches.contains(send))
            ended(m_netBatches.take(send), outcome, detail);
        if (!all)
            break;
    }
}

void BatchSession::EndOpenBatches(BatchOutcome outcome, const QString &detail)
{
    QList<qint64> open = m_netBatches.values();
    std::sort(open.begin(), open.end());
    m_netBatches.clear();
    m_replyOrder.clear();
    for (const qint64 batch : open)
        ended(batch, outcome, detail);
}

void BatchSession::ended(qint64 batch, BatchOutcome outcome, const QString &detail)
{
    if (m_journalOn)
        FJournal->batchResult(batch, BatchOutcomeText(outcome, detail));
    emit batchEnded(batch, outcome, detail);
}

QString ResumeFromJournal(const JournalEvent &newest, const ResumeCheck &now)
{
    // The entry starts in hex; the batch may have been typed as SGTIN fields (the layouts with
    // blanks) or in the other size.
    const int bits = int(newest.firstEpc.size()) * 4;
    const QString nextLayout =
        TagFormatFor(newest.nextEntry.contains(QLatin1Char(' ')) ? 1 : 2, bits).layout;
    const bool usable = (bits == 64 || bits == 96) && !newest.nextEntry.isEmpty() &&
                        FindLimitBreak(newest.nextEntry, nextLayout) < 0;
    if (!usable || now.batchSent || now.dataFormat != 2 || now.entry != now.storedEntry)
        return QString();
    const QString nextHex = PackTagFields(newest.nextEntry, nextLayout);
    const QString storedHex =
        PackTagFields(now.storedEntry, TagFormatFor(now.dataFormat, now.dataSize).layout);
    if (bits == now.dataSize && nextHex == storedHex)
        return QString();
    // Journal times are whole seconds: a batch in the second of the close counts as newer
    // (a clean close has stored what that batch left, so nothing changes then).
    const QDateTime &t = now.settingsTime;
    if (t.isValid() &&
        QDateTime::fromString(newest.time, Qt::ISODate) < t.addMSecs(-t.time().msec()))
        return QString();
    return nextHex;
}
