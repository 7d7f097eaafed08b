#include "link/ReplyBuffer.h"

#include <cstring>

namespace
{
QByteArray withoutTrailingCR(QByteArray s)
{
    if (s.endsWith('\r'))
        s.chop(1);
    return s;
}
} // namespace

int ReplyBuffer::append(const QByteArray &bytes)
{
    int fell = 0;
    qsizetype pos = 0;
    m_received += bytes.size();
    if (m_skipLF && !bytes.isEmpty()) {
        m_skipLF = false;
        if (bytes.front() == '\n')
            pos = 1;
    }
    // A flood of short lines: only the last MaxLines of them can stay, so step over the rest.
    const qsizetype breaks = bytes.count('\n') - (pos == 1 ? 1 : 0);
    if (breaks > MaxLines) {
        const char *const begin = bytes.constData();
        const char *p = begin + pos;
        for (qsizetype i = breaks - MaxLines; i > 0; --i) {
            const char *nl =
                static_cast<const char *>(std::memchr(p, '\n', size_t(bytes.size() - (p - begin))));
            m_dropped += nl - p;
            p = nl + 1;
        }
        for (const QByteArray &line : std::as_const(m_lines))
            m_dropped += line.size();
        m_dropped += m_partial.size();
        fell += int(m_lines.size() + breaks - MaxLines);
        m_lines.clear();
        m_partial.clear();
        pos = p - begin;
    }
    while (pos < bytes.size()) {
        const qsizetype nl = bytes.indexOf('\n', pos);
        const qsizetype end = nl < 0 ? bytes.size() : nl;
        const qsizetype room = MaxLineLength - m_partial.size();
        const qsizetype take = qMin(room, end - pos);
        if (take > 0)
            m_partial.append(bytes.constData() + pos, take);
        m_dropped += (end - pos) - qMax<qsizetype>(take, 0);
        if (nl < 0)
            break;
        m_lines.append(withoutTrailingCR(m_partial));
        m_partial.clear();
        if (m_lines.size() > MaxLines) {
            m_dropped += m_lines.front().size();
            m_lines.removeFirst();
            ++fell;
        }
        pos = nl + 1;
    }
    return fell;
}

void ReplyBuffer::clear()
{
    m_lines.clear();
    m_partial.clear();
    m_skipLF = false;
    m_dropped = 0;
    m_received = 0;
}

int ReplyBuffer::takeLine(QByteArray &line)
{
    if (!m_lines.isEmpty()) {
        line = m_lines.takeFirst();
    } else if (!m_partial.isEmpty()) {
        line = m_partial;
        m_partial.clear();
        if (line.endsWith('\r')) {
            line.chop(1);
            m_skipLF = true;
        }
    } else {
        line.clear();
        return -1;
    }
    line.truncate(MaxReplyLength);
    return lineCount();
}

int ReplyBuffer::lineCount() const
{
    return int(m_lines.size()) + (m_partial.isEmpty() ? 0 : 1);
}

QByteArray ReplyBuffer::line(int index) const
{
    if (index < m_lines.size())
        return m_lines.at(index);
    return unfinished();
}

QByteArray ReplyBuffer::unfinished() const
{
    return withoutTrailingCR(m_partial);
}

QString ReplyBuffer::displayText(const QByteArray &line)
{
    QString text = QString::fromLatin1(line);
    for (QChar &c : text)
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7F)
            c = QChar::ReplacementCharacter;
    return text;
}
