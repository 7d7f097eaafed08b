#pragma once
// The encoding status check: after a checked send the printer answers the status request
// with one line, which says whether the label's tag was written. The check looks for that
// line once a poll (the caller's timer drives the polls) and tells what it found.
#include <QObject>
#include <QString>

class NetLink;

class StatusCheck : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Polling,        // no reply yet; poll is the count so far
        OperationOk,    // the reply said every field is empty
        EncodingFailed, // any other reply, in reply
        NoResponse      // MaxPolls polls found nothing
    };
    struct Result {
        Outcome outcome = Outcome::Polling;
        int poll = 0;
        QString reply;
        bool pollAgain = false; // the caller's timer goes on
    };

    static constexpr int MaxPolls = 26;
    static const QString SuccessReply; // {J,"","","",""}

    // Counts polls from 0 again whenever the link makes a checked send.
    explicit StatusCheck(NetLink *link, QObject *parent = nullptr);

    // A reply is due. pollingOn: a check for an earlier request still polls, and goes on to
    // take this reply too.
    void begin(bool pollingOn);
    // One look at what the printer sent.
    Result poll();

    int FStatusPolls = 0;
    int FRepliesDue = 0; // status requests the running check still takes a reply for

signals:
    void checked(const StatusCheck::Result &result); // every poll's result

private:
    NetLink *m_link;
};
