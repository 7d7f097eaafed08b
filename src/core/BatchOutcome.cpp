#include "core/BatchOutcome.h"

namespace
{
const QString OkText = QStringLiteral("Operation OK");
const QString FailedText = QStringLiteral("Label encoding failed");
const QString NoResponseText = QStringLiteral("No response");
const QString SentText = QStringLiteral("Sent");
const QString StoppedText = QStringLiteral("Stopped");
const QString RunEnded = QStringLiteral("Run ended before the result");
const QString ClosedHead = QStringLiteral("Connection closed after ");
const QString ClosedTail = QStringLiteral(" bytes, before the reply.");
} // namespace

QString BatchOutcomeText(BatchOutcome outcome, const QString &detail)
{
    switch (outcome) {
    case BatchOutcome::OperationOk:
        return OkText;
    case BatchOutcome::EncodingFailed:
        return FailedText + detail;
    case BatchOutcome::NoResponse:
        return detail.isEmpty() ? NoResponseText : detail;
    case BatchOutcome::Sent:
        return SentText;
    case BatchOutcome::Stopped:
        return detail.isEmpty() ? StoppedText : detail;
    case BatchOutcome::LinkFailure:
    case BatchOutcome::Pending:
        break;
    }
    return detail;
}

QString NoResponseLinkFailedText()
{
    return NoResponseText + QStringLiteral(" before the link failed");
}

QString NoResponseClosedText(qint64 bytesSent)
{
    return ClosedHead + QString::number(bytesSent) + ClosedTail;
}

QString RunEndedText()
{
    return RunEnded;
}

BatchOutcome BatchOutcomeOf(const QString &result)
{
    if (result.isEmpty())
        return BatchOutcome::Pending;
    if (result == OkText)
        return BatchOutcome::OperationOk;
    // The printer's reply follows the words.
    if (result.startsWith(FailedText))
        return BatchOutcome::EncodingFailed;
    if (result == NoResponseText || result == NoResponseLinkFailedText())
        return BatchOutcome::NoResponse;
    if (result.startsWith(ClosedHead) && result.endsWith(ClosedTail)) {
        bool number = false;
        result.mid(ClosedHead.size(), result.size() - ClosedHead.size() - ClosedTail.size())
            .toLongLong(&number);
        if (number)
            return BatchOutcome::NoResponse;
    }
    if (result == SentText)
        return BatchOutcome::Sent;
    if (result == StoppedText || result == RunEnded)
        return BatchOutcome::Stopped;
    return BatchOutcome::LinkFailure;
}
