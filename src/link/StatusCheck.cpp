#include "link/StatusCheck.h"

#include "link/NetLink.h"

const QString StatusCheck::SuccessReply = QStringLiteral("{J,\"\",\"\",\"\",\"\"}");

StatusCheck::StatusCheck(NetLink *link, QObject *parent) : QObject(parent), m_link(link)
{
    connect(link, &NetLink::statusRequested, this, [this] { FStatusPolls = 0; });
}

void StatusCheck::begin(bool pollingOn)
{
    FRepliesDue = pollingOn ? FRepliesDue + 1 : 1;
    FStatusPolls = 0;
}

StatusCheck::Result StatusCheck::poll()
{
    Result result;
    QString reply;
    if (m_link->TakeReply(reply) < 0) {
        const int old = FStatusPolls++;
        result.poll = FStatusPolls;
        if (old >= MaxPolls - 1) {
            FRepliesDue = 0;
            result.outcome = Outcome::NoResponse;
        } else {
            result.pollAgain = true;
        }
        emit checked(result);
        return result;
    }
    // The reply is Latin-1, one character a byte: equal strings are equal bytes.
    result.outcome = reply == SuccessReply ? Outcome::OperationOk : Outcome::EncodingFailed;
    result.reply = reply;
    result.poll = FStatusPolls;
    // Each request has its own reply: one that came while this check polled is still due.
    result.pollAgain = FRepliesDue > 0 && --FRepliesDue > 0;
    emit checked(result);
    return result;
}
