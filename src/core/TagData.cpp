#include "core/TagData.h"

const QString Hex64Layout = QStringLiteral("FFFFFFFFFFFFFFFF");
const QString Hex96Layout = QStringLiteral("FFFFFFFFFFFFFFFFFFFFFFFF");
const QString Sgtin64Layout = QStringLiteral("3 7 3FFFFFFFF 1FFFFFF");
const QString Sgtin96Layout = QStringLiteral("FF 7 7FFFFFFFFFFF 3FFFFFFFFF");

namespace
{

const char HexDigits[] = "0123456789ABCDEF";

// Bits carried by one template character; 0 for a field separator.
int layoutBits(QChar t)
{
    switch (t.unicode()) {
    case '1':
        return 1;
    case '3':
        return 2;
    case '7':
        return 3;
    case 'F':
        return 4;
    default:
        return 0;
    }
}

int layoutBitCount(const QString &layout)
{
    int bits = 0;
    for (const QChar t : layout)
        bits += layoutBits(t);
    return bits;
}

// The colon-to-at-sign gap counts as 0 like the entry always did; every other non-digit
// (lower case, beyond "F", non-ASCII, the entry's blank marker) also counts as 0 so that
// a stray character can only lose its own digit, never spill into its neighbours.
unsigned digitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return 0;
}

QString spaces(int n)
{
    return QString(n, QLatin1Char(' '));
}

} // namespace

QString PackTagFields(const QString &fieldText, const QString &layout)
{
    QString result;
    result.reserve(layoutBitCount(layout) / 4);
    // Unsigned so that the bits pushed out at the top simply fall away.
    quint32 acc = 0;
    int pending = 0;
    for (qsizetype k = 0; k < layout.size(); ++k) {
        const int w = layoutBits(layout.at(k));
        if (w == 0)
            continue;
        const QChar c = k < fieldText.size() ? fieldText.at(k) : QLatin1Char('0');
        // Not masked to w bits: an oversized digit adds into the bits on its left.
        acc = (acc << w) + digitValue(c);
        pending += w;
        while (pending >= 4) {
            result += QLatin1Char(HexDigits[(acc >> (pending - 4)) & 15u]);
            pending -= 4;
        }
    }
    return result;
}

QString UnpackTagFields(const QString &hexDigits, const QString &layout)
{
    QString result;
    result.reserve(layout.size());
    quint32 acc = 0;
    int pending = 0;
    qsizetype p = 0;

    // Emits template positions while enough bits are pending; separators copy through.
    auto drain = [&]() {
        while (p < layout.size()) {
            const QChar t = layout.at(p);
            const int w = layoutBits(t);
            if (w == 0) {
                result += t;
            } else if (pending >= w) {
                result += QLatin1Char(HexDigits[(acc >> (pending - w)) & ((1u << w) - 1u)]);
                pending -= w;
                acc &= (1u << pending) - 1u;
            } else {
                break;
            }
            ++p;
        }
    };

    const int digits = (layoutBitCount(layout) + 3) / 4;
    for (int i = 0; i < digits; ++i) {
        const QChar h = i < hexDigits.size() ? hexDigits.at(i) : QLatin1Char('0');
        acc = (acc << 4) + digitValue(h);
        pending += 4;
        drain();
    }
    drain();
    return result;
}

QString IncrementTagText(const QString &text, int quantity)
{
    // A batch never counts backwards; a negative step is taken as no step at all.
    if (quantity <= 0)
        return text;
    QString result = text;
    quint64 carry = quint64(quantity);
    for (qsizetype i = result.size() - 1; i >= 0 && carry != 0; --i) {
        const QChar c = result.at(i);
        if (c == QLatin1Char(' '))
            continue;
        const char16_t u = c.unicode();
        quint64 d = 16;
        if (u >= '0' && u <= '9')
            d = u - '0';
        else if (u >= 'A' && u <= 'F')
            d = u - 'A' + 10;
        carry += d;
        result[i] = QLatin1Char(HexDigits[carry & 15u]);
        carry >>= 4;
    }
    return result;
}

QString StepTagText(const QString &text, const QString &layout, int step)
{
    return step == 0 ? text : IncrementTagText(FillTagText(text, layout), step);
}

QString FillTagText(const QString &text, const QString &layout)
{
    QString filled = text;
    for (qsizetype i = text.size(); i < layout.size(); ++i)
        filled += layout.at(i) == QLatin1Char(' ') ? QLatin1Char(' ') : QLatin1Char('0');
    return filled;
}

int FindLimitBreak(const QString &text, const QString &layout)
{
    for (qsizetype i = 0; i < layout.size(); ++i) {
        const char16_t limit = layout.at(i).unicode();
        if (limit == ' ')
            continue;
        const char16_t c = i < text.size() ? text.at(i).unicode() : char16_t('0');
        // Anything beyond 7-bit ASCII is refused outright.
        if (c >= 128 || c < '0' || (c > '9' && c < 'A') || c > limit)
            return int(i);
    }
    return -1;
}

const TagFormatRow TagFormatTable[4] = {
    {2, 64, Hex64Layout, QStringLiteral("AAAAAAAAAAAAAAAA"), QStringLiteral("64-bit Hex Data")},
    {2, 96, Hex96Layout, QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAA"),
     QStringLiteral("96-bit Hex Data")},
    {1, 64, Sgtin64Layout, QStringLiteral("A A AAAAAAAAA AAAAAAA"),
     QStringLiteral("Hdr.") + spaces(5) + QStringLiteral("Filter") + spaces(7) +
         QStringLiteral("Company Info.") + spaces(40) + QStringLiteral("Serial Number")},
    {1, 96, Sgtin96Layout, QStringLiteral("AA A AAAAAAAAAAAA AAAAAAAAAA"),
     QStringLiteral("Header") + spaces(6) + QStringLiteral("Filter") + spaces(8) +
         QStringLiteral("Company Info.") + spaces(59) + QStringLiteral("Serial Number")},
};

const TagFormatRow &TagFormatFor(int dataFormat, int dataSize)
{
    const int sizeIndex = dataSize == 96 ? 1 : 0;
    const int formatIndex = dataFormat == int(TagDataFormat::Sgtin) ? 2 : 0;
    return TagFormatTable[formatIndex + sizeIndex];
}
