#pragma once
// What the printer has sent back, split into lines. A line ends at CR LF or a lone LF; the
// text after the last break is a line too, as soon as it has a byte.
//
// Bounds, whatever the printer sends:
// - a line keeps its first MaxLineLength bytes; the rest of it is dropped up to its break;
// - at most MaxLines finished lines are kept; beyond that the oldest are dropped.
// So the buffer holds about 1 MiB at most. Zero bytes are kept like any other byte.
#include <QByteArray>
#include <QList>
#include <QString>

class ReplyBuffer
{
public:
    static constexpr int MaxReplyLength = 127; // what takeLine hands out
    static constexpr int MaxLineLength = 1024;
    static constexpr int MaxLines = 1024;

    // Adds bytes in order of arrival. Returns how many finished lines fell off the front.
    int append(const QByteArray &bytes);
    void clear();

    // -1 when there is no line; else the first line without its break, cut to
    // MaxReplyLength bytes and removed, and the result is the number of lines left.
    int takeLine(QByteArray &line);

    // Finished lines plus the unfinished one when it has any text.
    int lineCount() const;
    int finishedLines() const { return int(m_lines.size()); }
    bool isEmpty() const { return lineCount() == 0; }
    QByteArray line(int index) const; // index < lineCount(); the whole kept line
    QByteArray unfinished() const;    // text after the last break (without a trailing CR)

    // Line text cut or fallen off since clear() (line breaks are not counted).
    qint64 droppedBytes() const { return m_dropped; }
    qint64 bytesReceived() const { return m_received; } // appended since clear()

    // A line as the receive area shows it: control characters become U+FFFD.
    static QString displayText(const QByteArray &line);

private:
    QList<QByteArray> m_lines;
    QByteArray m_partial;  // may end in the CR of a break whose LF is still to come
    bool m_skipLF = false; // a taken line ended in CR: its LF is no new line
    qint64 m_dropped = 0;
    qint64 m_received = 0;
};
