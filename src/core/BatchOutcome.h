#pragma once
// How a batch (or a format or file sent on its own) ended, and the words the status line, the
// journal and quilbo-batch use for it. The texts are made here and read back here, so that
// every count and filter of results agrees with what was written.
#include <QString>

enum class BatchOutcome {
    Pending,        // no result yet
    OperationOk,    // the printer's reply said every field is empty
    EncodingFailed, // any other reply; the detail is the reply
    NoResponse,     // the status request was never answered; the detail says why, if known
    Sent,           // went out whole on a link that gives no answer to judge
    LinkFailure,    // the link failed; the detail is its text
    Stopped,        // the run ended before the batch's result; the detail is the text
};

// The result text: the outcome's words, with the detail after them (EncodingFailed) or
// instead of them (the others, when a detail is given).
QString BatchOutcomeText(BatchOutcome outcome, const QString &detail = QString());

// The texts of a status request that was never answered because the link went away.
QString NoResponseLinkFailedText();
QString NoResponseClosedText(qint64 bytesSent);
// The result of a batch under way when the run ended for another reason than a stop.
QString RunEndedText();

// What a stored result text says; Pending for an empty one.
BatchOutcome BatchOutcomeOf(const QString &result);
