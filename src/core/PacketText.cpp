#include "core/PacketText.h"

#include <climits>

namespace
{

// Tabs and CR count as blanks too, so that indented text and CR LF files split alike.
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\n');
}

QString trimBlanks(const QString &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line.at(begin)))
        ++begin;
    while (end > begin && isBlank(line.at(end - 1)))
        --end;
    return line.mid(begin, end - begin);
}

bool isDecimalDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Whole decimal number made of digits only; false when empty, not digits, or beyond an int.
bool parseWholeNumber(const QString &text, int *value)
{
    if (text.isEmpty())
        return false;
    qint64 n = 0;
    for (const QChar c : text) {
        if (!isDecimalDigit(c))
            return false;
        n = n * 10 + (c.unicode() - '0');
        if (n > INT_MAX)
            return false;
    }
    *value = int(n);
    return true;
}

bool opensBatchPacket(const QString &line)
{
    if (line.size() < 2)
        return false;
    if (line.at(1) == QLatin1Char('B'))
        return true;
    return line.size() >= 3 && line.at(1) == QLatin1Char(' ') && line.at(2) == QLatin1Char('B');
}

} // namespace

QStringList DefaultFormatLines()
{
    return {
        QStringLiteral("{F,1,A,R,E,100,400,\"1epc4x1\"|"),
        QStringLiteral("X,1,24|"),
        QStringLiteral("R,60|"),
        QStringLiteral("T,2,24,V,15,70,0,50,14,12,A,L,0,0,1|"),
        QStringLiteral("R,4,1,1,24,1,1|"),
        QStringLiteral("C,45,80,0,50,13,13,O,L,0,0,\"Velmo Corvane RFID\",1|"),
        QStringLiteral("C,15,20,0,50,14,14,O,L,0,0,\"EPC\",1|"),
        QStringLiteral("R,61|"),
        QStringLiteral("G,91,7,330,0,0|"),
        QStringLiteral("R,61|"),
        QStringLiteral("}"),
        QString(),
        QStringLiteral("{B,1,N,1|E,0,0,1,1,0,1|"),
        QStringLiteral("1,\"1234567890ABCDEF00000000\"|"),
        QStringLiteral("}"),
    };
}

SplitPackets SplitFormatLines(const QStringList &editorLines)
{
    SplitPackets split;
    const qsizetype count = editorLines.size();
    qsizetype i = 0;
    while (i < count) {
        QString line = trimBlanks(editorLines.at(i++));
        if (line.isEmpty() || line.at(0) != QLatin1Char('{'))
            continue;
        QStringList *target = opensBatchPacket(line) ? &split.batchLines : &split.formatLines;
        for (;;) {
            if (!line.isEmpty()) {
                target->append(line);
                if (line.endsWith(QLatin1Char('}')))
                    break;
            }
            if (i >= count)
                break;
            line = trimBlanks(editorLines.at(i++));
        }
    }
    return split;
}

int FindEPCFieldNumber(const QStringList &formatLines)
{
    int result = 0;
    const qsizetype count = formatLines.size();
    qsizetype i = 0;
    while (i < count) {
        const QString &header = formatLines.at(i++);
        if (header.size() < 4 || !header.startsWith(QLatin1String("{F")))
            continue;
        // The header itself is never an "X" line.
        for (;;) {
            if (i >= count)
                return result;
            const QString &line = formatLines.at(i++);
            if (line.startsWith(QLatin1Char('X'))) {
                result = 0;
                for (qsizetype k = 2; k < line.size() && isDecimalDigit(line.at(k)); ++k) {
                    const int digit = line.at(k).unicode() - '0';
                    // An absurdly long number sticks at the largest int rather than wrapping.
                    result = result > (INT_MAX - digit) / 10 ? INT_MAX : result * 10 + digit;
                }
            }
            if (line.endsWith(QLatin1Char('}')))
                break;
        }
    }
    return result;
}

int FindBatchFieldLine(const QStringList &batchLines, int field, int *badLine)
{
    if (badLine)
        *badLine = 0;
    for (qsizetype i = 1; i < batchLines.size(); ++i) {
        const QString &line = batchLines.at(i);
        if (line.size() < 4 || !isDecimalDigit(line.at(0)))
            continue;
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;
        // Skipping "1a,..." would let the batch go out with the file's data in place of the
        // operator's: the search stops there instead.
        int number = 0;
        if (!parseWholeNumber(line.left(comma), &number)) {
            if (badLine)
                *badLine = int(i);
            return 0;
        }
        if (number == field)
            return int(i);
    }
    return 0;
}

QString SetBatchQuantity(const QString &header, int quantity)
{
    const qsizetype bar = header.indexOf(QLatin1Char('|'));
    if (bar < 0)
        return header;
    // lastIndexOf with -1 would search from the end, so a leading "|" is handled apart.
    const qsizetype comma = bar > 0 ? header.lastIndexOf(QLatin1Char(','), bar - 1) : -1;
    return header.left(comma + 1) + QString::number(quantity) + header.mid(bar);
}

QString BatchDataLine(int field, const QString &data)
{
    return QString::number(field) + QLatin1String(",\"") + data + QLatin1String("\"|");
}

QByteArray PrinterText(const QStringList &lines)
{
    QByteArray text;
    for (const QString &line : lines) {
        text += line.toLatin1();
        text += "\r\n";
    }
    return text;
}

int FindUnsendableLine(const QStringList &lines)
{
    for (qsizetype i = 0; i < lines.size(); ++i)
        for (const QChar c : lines.at(i))
            if (c.unicode() > 0xFF || c.unicode() == 0)
                return int(i);
    return -1;
}
