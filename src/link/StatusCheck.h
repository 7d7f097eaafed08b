#pragma once
// The encoding status check: after a checked send the printer answers the status request
// with one line, which says whether the label's tag was written. The check looks for that
// line once a poll (the caller's timer drives the polls) and tells what it found; or, for a
// caller without a timer, it watches the link and judges the reply as soon as it is whole.
#include <QObject>
#include <QString>

class NetLink;
class QTimer;

class StatusCheck : public QObject
{
    Q_OBJECT
public:
    enum class Outcome {
        Polling,        // no reply yet; poll is the count so far
        OperationOk,    // the reply said every field is empty
        EncodingFailed, // any other reply, in reply
        NoResponse,     // maxPolls() polls found nothing
        LinkClosed      // the connection closed before the reply; bytes tells what had gone
    };
    struct Result {
        Outcome outcome = Outcome::Polling;
        int poll = 0;
        QString reply;
        bool pollAgain = false; // the caller's timer goes on
        qint64 bytes = 0;       // LinkClosed: bytes of the last checked send that left
    };

    static constexpr int MaxPolls = 26;
    static constexpr int FirstPollDelayMs = 500; // from the end of the transfer
    static constexpr int PollIntervalMs = 1000;
    static const QString SuccessReply; // {J,"","","",""}
    // A final outcome as the journal and the batch runner put it: "Operation OK", "Label
    // encoding failed" and the reply (control characters shown as U+FFFD), "No response".
    static QString resultText(const Result &result);

    // Counts polls from 0 again whenever the link makes a checked send.
    explicit StatusCheck(NetLink *link, QObject *parent = nullptr);

    // Polls without a reply before "No response"; 0 gives a watch the first half second only.
    void setMaxPolls(int polls);
    int maxPolls() const { return m_maxPolls; }

    // A reply is due. pollingOn: a check for an earlier request still polls, and goes on to
    // take this reply too.
    void begin(bool pollingOn);
    // One look at what the printer sent.
    Result poll();

    // Instead of begin() and polls, once the checked send has gone: finished() comes as soon
    // as a whole line is in, or at the time the last poll would have come with whatever is
    // there then (an unfinished line too), or NoResponse. The link's own wait for the first
    // poll is stopped: nobody polls.
    void watch();
    void stopWatching();
    // Ends a watched check at once with what is there, as at its deadline: the printer can
    // send nothing more.
    void expire();
    bool watching() const { return m_watching; }
    // From the end of the transfer to the last poll.
    static int deadlineMs(int polls) { return FirstPollDelayMs + polls * PollIntervalMs; }

    // Replies the printer still owes for requests given up as "No response". Replies come
    // in the order of the requests and carry no mark of which one they answer, so the next
    // lines to arrive are those late ones: they are dropped, never taken for a later reply.
    int lateReplies() const { return m_late; }

    int FStatusPolls = 0;
    int FRepliesDue = 0; // status requests the running check still takes a reply for

signals:
    void checked(const StatusCheck::Result &result);  // every poll's result
    void finished(const StatusCheck::Result &result); // a watched check's end
    // The connection closed while a reply was due: a poll now tells LinkClosed.
    void closedBeforeReply();

private:
    Result judge(const QString &reply);
    bool takeReply(QString &reply); // false while the buffer holds only late replies
    void dropLateReplies();
    void giveUp();
    void linkDown();
    void lookForWholeLine();
    void finishWatch(const Result &result);

    NetLink *m_link;
    QTimer *m_deadline;
    int m_maxPolls = MaxPolls;
    bool m_watching = false;
    int m_late = 0;
    bool m_closed = false; // since the last checked send
};
