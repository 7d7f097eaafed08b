#include "BatchScanner.h"

#include <cstring>

#include "core/Gs1Epc.h"

namespace
{

QList<QByteArray> splitOutsideQuotes(const QByteArray &text, char sep)
{
    QList<QByteArray> parts;
    QByteArray cur;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == sep && !quoted) {
            parts.append(cur);
            cur.clear();
        } else {
            cur.append(c);
        }
    }
    parts.append(cur);
    return parts;
}

bool allDigits(const QByteArray &s)
{
    if (s.isEmpty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// Keeps the console line printable whatever the packet holds.
QByteArray printable(const QByteArray &s)
{
    QByteArray out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.append(char(c));
        } else if (c == '\\') {
            out.append("\\\\");
        } else {
            out.append("\\x");
            out.append(QByteArray::number(c, 16).rightJustified(2, '0'));
        }
    }
    return out;
}

} // namespace

QList<Batch> BatchScanner::feed(const QByteArray &bytes)
{
    QList<Batch> done;
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    for (; p < end; ++p) {
        const char c = *p;
        switch (m_state) {
        case Idle: {
            const void *brace = std::memchr(p, '{', size_t(end - p));
            if (!brace)
                return done;
            p = static_cast<const char *>(brace);
            m_state = Brace;
            break;
        }
        case Brace:
            // A blank between the brace and the kind letter is allowed.
            if (c == 'B') {
                m_state = Packet;
                m_packet = "{B";
                m_inQuote = false;
            } else if (c != ' ' && c != '{') {
                m_state = Idle;
            }
            break;
        case Packet:
            if (c == '"')
                m_inQuote = !m_inQuote;
            if (!m_inQuote && c == '{') {
                // Packets do not nest: the open one was never closed.
                m_packet.clear();
                m_state = Brace;
                break;
            }
            m_packet.append(c);
            if (!m_inQuote && c == '}') {
                done.append(parse(m_packet));
                m_packet.clear();
                m_state = Idle;
            } else if (m_packet.size() > MaxPacket) {
                m_packet.clear();
                m_packet.squeeze();
                ++m_skipped;
                m_state = Skip;
            }
            break;
        case Skip:
            if (c == '}')
                m_state = Idle;
            break;
        }
    }
    return done;
}

Batch BatchScanner::parse(const QByteArray &packet)
{
    Batch batch;
    QByteArray body = packet;
    if (body.startsWith("{B"))
        body.remove(0, 2);
    if (body.endsWith('}'))
        body.chop(1);
    const QList<QByteArray> records = splitOutsideQuotes(body, '|');
    if (records.isEmpty())
        return batch;
    const QList<QByteArray> header = splitOutsideQuotes(records.first(), ',');
    batch.quantity = header.last().trimmed();
    for (int i = 1; i < records.size(); ++i) {
        const QByteArray record = records[i].trimmed();
        const int comma = record.indexOf(',');
        if (comma < 0)
            continue;
        const QByteArray number = record.left(comma).trimmed();
        const QByteArray value = record.mid(comma + 1).trimmed();
        if (!allDigits(number) || value.size() < 2 || !value.startsWith('"') ||
            !value.endsWith('"'))
            continue;
        batch.fields.append({number, value.mid(1, value.size() - 2)});
    }
    return batch;
}

QByteArray BatchScanner::describe(const Batch &batch)
{
    QByteArray line = "batch quantity=" + printable(batch.quantity);
    for (const BatchField &f : batch.fields) {
        line += " field " + f.number + "=\"" + printable(f.data) + '"';
        // Tag data shows what it would mean on the tag.
        if (f.data.size() == 16 || f.data.size() == 24) {
            const EpcReading r = ReadEpc(QString::fromLatin1(f.data));
            if (!r.tagUri.isEmpty())
                line += " uri=" + r.tagUri.toLatin1();
            if (!r.scheme.isEmpty() && !r.problem.isEmpty())
                line += " problem=\"" + r.problem.toLatin1() + '"';
        }
    }
    return line;
}
