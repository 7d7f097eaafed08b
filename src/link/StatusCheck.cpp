#include "link/StatusCheck.h"

#include <QTimer>

#include "core/BatchOutcome.h"
#include "link/NetLink.h"
#include "link/ReplyBuffer.h"

const QString StatusCheck::SuccessReply = QStringLiteral("{J,\"\",\"\",\"\",\"\"}");

StatusCheck::StatusCheck(NetLink *link, QObject *parent)
    : QObject(parent), m_link(link), m_deadline(new QTimer(this))
{
    m_deadline->setSingleShot(true);
    connect(link, &NetLink::statusRequested, this, [this] {
        FStatusPolls = 0;
        m_closed = false;
    });
    // Before anyone else looks at what arrived: a late reply must not be seen as a new one.
    connect(link, &NetLink::received, this, &StatusCheck::lookForWholeLine);
    connect(link, &NetLink::connectionClosed, this, &StatusCheck::linkDown);
    connect(m_deadline, &QTimer::timeout, this, &StatusCheck::expire);
}

void StatusCheck::setMaxPolls(int polls)
{
    m_maxPolls = qMax(0, polls);
}

void StatusCheck::begin(bool pollingOn)
{
    FRepliesDue = pollingOn ? FRepliesDue + 1 : 1;
    FStatusPolls = 0;
}

void StatusCheck::linkDown()
{
    // Replies owed on a closed connection never come.
    m_late = 0;
    m_closed = true;
    if (FRepliesDue > 0 || m_link->checkPending())
        emit closedBeforeReply();
}

void StatusCheck::giveUp()
{
    // A printer that lost the request would never send what is owed, and the next reply
    // would be dropped in its place, and so on: on a new connection nothing is owed.
    m_link->DropOwedReplies();
}

void StatusCheck::dropLateReplies()
{
    QString reply;
    while (m_late > 0 && m_link->replies().finishedLines() > 0) {
        m_link->TakeReply(reply);
        --m_late;
    }
}

bool StatusCheck::takeReply(QString &reply)
{
    dropLateReplies();
    // An unfinished line then is the start of a late reply.
    return m_late == 0 && m_link->TakeReply(reply) >= 0;
}

StatusCheck::Result StatusCheck::poll()
{
    QString reply;
    if (!takeReply(reply)) {
        Result result;
        const int old = FStatusPolls++;
        result.poll = FStatusPolls;
        if (m_closed) {
            FRepliesDue = 0;
            result.outcome = Outcome::LinkClosed;
            result.bytes = m_link->lastCheckedBytes();
        } else if (old >= m_maxPolls - 1) {
            m_late += FRepliesDue;
            FRepliesDue = 0;
            result.outcome = Outcome::NoResponse;
            giveUp();
        } else {
            result.pollAgain = true;
        }
        emit checked(result);
        return result;
    }
    Result result = judge(reply);
    // Each request has its own reply: one that came while this check polled is still due.
    result.pollAgain = FRepliesDue > 0 && --FRepliesDue > 0;
    emit checked(result);
    return result;
}

StatusCheck::Result StatusCheck::judge(const QString &reply)
{
    Result result;
    // The reply is Latin-1, one character a byte: equal strings are equal bytes.
    result.outcome = reply == SuccessReply ? Outcome::OperationOk : Outcome::EncodingFailed;
    result.reply = reply;
    result.poll = FStatusPolls;
    return result;
}

void StatusCheck::watch()
{
    m_link->cancelCheckDelay();
    m_watching = true;
    FStatusPolls = 0;
    m_deadline->start(deadlineMs(m_maxPolls));
    // The reply may have come before the transfer's end was reported.
    QMetaObject::invokeMethod(this, &StatusCheck::lookForWholeLine, Qt::QueuedConnection);
}

void StatusCheck::stopWatching()
{
    m_watching = false;
    m_deadline->stop();
}

void StatusCheck::lookForWholeLine()
{
    dropLateReplies();
    if (!watching() || m_late > 0 || m_link->replies().finishedLines() == 0)
        return;
    QString reply;
    m_link->TakeReply(reply);
    finishWatch(judge(reply));
}

void StatusCheck::expire()
{
    if (!watching())
        return;
    QString reply;
    if (takeReply(reply)) {
        finishWatch(judge(reply));
        return;
    }
    Result result;
    result.outcome = m_closed ? Outcome::LinkClosed : Outcome::NoResponse;
    result.poll = m_maxPolls;
    if (m_closed) {
        result.bytes = m_link->lastCheckedBytes();
    } else {
        ++m_late;
        giveUp();
    }
    finishWatch(result);
}

void StatusCheck::finishWatch(const Result &result)
{
    stopWatching();
    emit finished(result);
}

QString StatusCheck::resultText(const Result &result)
{
    switch (result.outcome) {
    case Outcome::OperationOk:
        return BatchOutcomeText(BatchOutcome::OperationOk);
    case Outcome::EncodingFailed:
        return BatchOutcomeText(BatchOutcome::EncodingFailed,
                                ReplyBuffer::displayText(result.reply.toLatin1()));
    case Outcome::NoResponse:
        return BatchOutcomeText(BatchOutcome::NoResponse);
    case Outcome::LinkClosed:
        return BatchOutcomeText(BatchOutcome::NoResponse, NoResponseClosedText(result.bytes));
    case Outcome::Polling:
        break;
    }
    return QString();
}
