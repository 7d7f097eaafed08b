#include "Gs1Epc.h"

#include <QStringList>

#include "TagData.h"

#include <cstring>

// Follows TDS 2.1. The 96-bit schemes have kept their layouts since TDS 1.x; their field widths
// and partition tables are those of the TDT 2.0 definitions.

namespace
{

using u64 = quint64;

enum class Id { Sgtin, Sscc, Sgln, Grai, Giai, Gsrn, Gsrnp, Gdti, Sgcn, Cpi, Gid, Usdod };
enum class SerialKind { None, Integer, Prepended };

struct Scheme {
    Id id;
    const char *tagName; // in the tag URI
    const char *idName;  // in the pure identity URI
    int header;
    int fieldBits;   // company prefix and reference together
    int fieldDigits; // the same in digits (the most, for a reference without fixed width)
    bool intRef;     // the reference is an integer without leading zeros, not fixed width
    const char *refName;
    SerialKind serial;
    int serialBits;
    const char *serialName;
    int zeroBits; // trailing bits that must be zero
};

// GID and USDOD have their own layouts; only header and names of their rows are used.
const Scheme Schemes[] = {
    {Id::Sgtin, "sgtin-96", "sgtin", 0x30, 44, 13, false, "indicator and item reference",
     SerialKind::Integer, 38, "serial", 0},
    {Id::Sscc, "sscc-96", "sscc", 0x31, 58, 17, false, "extension and serial reference",
     SerialKind::None, 0, "", 24},
    {Id::Sgln, "sgln-96", "sgln", 0x32, 41, 12, false, "location reference", SerialKind::Integer,
     41, "extension", 0},
    {Id::Grai, "grai-96", "grai", 0x33, 44, 12, false, "asset type", SerialKind::Integer, 38,
     "serial", 0},
    {Id::Giai, "giai-96", "giai", 0x34, 82, 25, true, "individual asset reference",
     SerialKind::None, 0, "", 0},
    {Id::Gsrn, "gsrn-96", "gsrn", 0x2D, 58, 17, false, "service reference", SerialKind::None, 0, "",
     24},
    {Id::Gsrnp, "gsrnp-96", "gsrnp", 0x2E, 58, 17, false, "service reference", SerialKind::None, 0,
     "", 24},
    {Id::Gdti, "gdti-96", "gdti", 0x2C, 41, 12, false, "document type", SerialKind::Integer, 41,
     "serial", 0},
    {Id::Sgcn, "sgcn-96", "sgcn", 0x3F, 41, 12, false, "coupon reference", SerialKind::Prepended,
     41, "serial component", 0},
    {Id::Cpi, "cpi-96", "cpi", 0x3C, 51, 15, true, "component/part reference", SerialKind::Integer,
     31, "serial", 0},
    {Id::Gid, "gid-96", "gid", 0x35, 0, 0, false, "", SerialKind::None, 0, "", 0},
    {Id::Usdod, "usdod-96", "usdod", 0x2F, 0, 0, false, "", SerialKind::None, 0, "", 0},
};

// Company prefix bits and digits by partition value (the same in every GS1 scheme).
constexpr int CpBits[7] = {40, 37, 34, 30, 27, 24, 20};
constexpr int CpDigits[7] = {12, 11, 10, 9, 8, 7, 6};

constexpr u64 Pow10[20] = {1ULL,
                           10ULL,
                           100ULL,
                           1000ULL,
                           10000ULL,
                           100000ULL,
                           1000000ULL,
                           10000000ULL,
                           100000000ULL,
                           1000000000ULL,
                           10000000000ULL,
                           100000000000ULL,
                           1000000000000ULL,
                           10000000000000ULL,
                           100000000000000ULL,
                           1000000000000000ULL,
                           10000000000000000ULL,
                           100000000000000000ULL,
                           1000000000000000000ULL,
                           10000000000000000000ULL};

const char HexUpper[] = "0123456789ABCDEF";

u64 maxOfBits(int bits)
{
    return bits >= 64 ? ~0ULL : (1ULL << bits) - 1;
}

// 96 bits, bit 0 the most significant.
struct Bits {
    quint8 b[12] = {};

    u64 get(int pos, int n) const
    {
        // A byte's worth of bits at a time.
        u64 v = 0;
        for (int i = pos, end = pos + n; i < end;) {
            const int skip = i & 7, take = qMin(8 - skip, end - i);
            v = (v << take) | ((b[i >> 3] >> (8 - skip - take)) & ((1U << take) - 1));
            i += take;
        }
        return v;
    }
    void put(int pos, int n, u64 v)
    {
        for (int i = pos + n - 1; i >= pos; --i, v >>= 1) {
            const quint8 mask = quint8(0x80U >> (i & 7));
            b[i >> 3] = (v & 1U) ? quint8(b[i >> 3] | mask) : quint8(b[i >> 3] & ~mask);
        }
    }
    QString hex() const
    {
        QString out(24, Qt::Uninitialized);
        QChar *p = out.data();
        for (quint8 byte : b) {
            *p++ = QLatin1Char(HexUpper[byte >> 4]);
            *p++ = QLatin1Char(HexUpper[byte & 15]);
        }
        return out;
    }
};

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

bool allDigits(QStringView s)
{
    for (QChar c : s)
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    return true;
}

// Digits to a number; the caller keeps s within 19 digits.
u64 digitsValue(QStringView s)
{
    u64 v = 0;
    for (QChar c : s)
        v = v * 10 + u64(c.unicode() - '0');
    return v;
}

// The GS1 check digit of the digits before it: weights 3, 1, 3, ... from the right.
template <typename Digits> int checkDigit(const Digits &digits)
{
    int sum = 0;
    bool three = true;
    for (qsizetype i = digits.size() - 1; i >= 0; --i, three = !three)
        sum += (digits[i].unicode() - '0') * (three ? 3 : 1);
    return (10 - sum % 10) % 10;
}

// Text built in place and made a QString once: reading a value stays within a few allocations.
struct Text {
    char s[96];
    int n = 0;

    Text &operator<<(char c)
    {
        if (n < int(sizeof s))
            s[n++] = c;
        return *this;
    }
    Text &operator<<(const char *t)
    {
        while (*t)
            *this << *t++;
        return *this;
    }
    Text &add(const Text &t, int from = 0)
    {
        for (int i = from; i < t.n; ++i)
            *this << t.s[i];
        return *this;
    }
    // v in decimal with leading zeros to width digits (nothing for width 0 and v 0).
    Text &number(u64 v, int width)
    {
        char tmp[24];
        int k = 0;
        for (; v > 0; v /= 10)
            tmp[k++] = char('0' + v % 10);
        while (k < width)
            tmp[k++] = '0';
        while (k > 0)
            *this << tmp[--k];
        return *this;
    }
    Text &integer(u64 v) { return v == 0 ? (*this << '0') : number(v, 0); }
    Text &withCheck() { return *this << char('0' + checkDigit(QLatin1String(s, n))); }
    QString str() const { return QString::fromLatin1(s, n); }
};

const Scheme *schemeByHeader(int header)
{
    for (const Scheme &s : Schemes)
        if (s.header == header)
            return &s;
    return nullptr;
}

const Scheme *schemeByTagName(QStringView name)
{
    for (const Scheme &s : Schemes)
        if (name == QLatin1String(s.tagName))
            return &s;
    return nullptr;
}

const Scheme &schemeById(Id id)
{
    for (const Scheme &s : Schemes)
        if (s.id == id)
            return s;
    Q_UNREACHABLE();
}

// The GS1 keys of a GS1 scheme's fields as element string and Digital Link.
void writeKeys(Id id, const Text &cp, const Text &ref, const Text &serial, Text &element,
               Text &link)
{
    auto key = [&](const char *ai, const Text &value) {
        element << '(' << ai << ')';
        element.add(value);
        link << '/' << ai << '/';
        link.add(value);
    };
    Text k;
    switch (id) {
    case Id::Sgtin:
    case Id::Sscc:
        // The indicator (or extension) digit goes in front of the company prefix.
        k << ref.s[0];
        k.add(cp).add(ref, 1).withCheck();
        key(id == Id::Sgtin ? "01" : "00", k);
        if (id == Id::Sgtin)
            key("21", serial);
        break;
    case Id::Sgln:
        k.add(cp).add(ref).withCheck();
        key("414", k);
        // Extension 0 stands for a GLN without extension.
        if (serial.n != 1 || serial.s[0] != '0')
            key("254", serial);
        break;
    case Id::Grai:
        k << '0';
        k.add(cp).add(ref).withCheck().add(serial);
        key("8003", k);
        break;
    case Id::Gsrn:
    case Id::Gsrnp:
        k.add(cp).add(ref).withCheck();
        key(id == Id::Gsrn ? "8018" : "8017", k);
        break;
    case Id::Gdti:
    case Id::Sgcn:
        k.add(cp).add(ref).withCheck().add(serial);
        key(id == Id::Gdti ? "253" : "255", k);
        break;
    case Id::Giai:
    case Id::Cpi:
        k.add(cp).add(ref);
        key(id == Id::Giai ? "8004" : "8010", k);
        if (id == Id::Cpi)
            key("8011", serial);
        break;
    case Id::Gid:
    case Id::Usdod:
        break;
    }
}

QString fieldProblem(const char *field, u64 value, int digits, int partition)
{
    return QStringLiteral("The %1 %2 has more digits than partition %3 allows (%4).")
        .arg(QLatin1String(field))
        .arg(value)
        .arg(partition)
        .arg(digits);
}

// Reads a GS1 scheme's fields into r; false with r.problem set when they break the scheme.
bool readGs1(const Scheme &s, const Bits &bits, EpcReading &r)
{
    const int filter = int(bits.get(8, 3));
    const int partition = int(bits.get(11, 3));
    if (partition == 7) {
        r.problem = QStringLiteral("The partition value 7 is reserved.");
        return false;
    }
    const int cpBits = CpBits[partition], cpDigits = CpDigits[partition];
    const int refBits = s.fieldBits - cpBits, refDigits = s.fieldDigits - cpDigits;
    const u64 cp = bits.get(14, cpBits);
    if (cp >= Pow10[cpDigits]) {
        r.problem = fieldProblem("company prefix", cp, cpDigits, partition);
        return false;
    }
    const u64 ref = bits.get(14 + cpBits, refBits);
    if (ref >= Pow10[refDigits]) {
        r.problem = fieldProblem(s.refName, ref, refDigits, partition);
        return false;
    }
    int pos = 14 + s.fieldBits;
    Text serial;
    if (s.serial != SerialKind::None) {
        serial.integer(bits.get(pos, s.serialBits));
        if (s.serial == SerialKind::Prepended) {
            // The digits behind a leading 1, so that leading zeros survive.
            if (serial.n < 2 || serial.s[0] != '1') {
                r.problem = QStringLiteral("The %1 is not a 1 followed by its digits.")
                                .arg(QLatin1String(s.serialName));
                return false;
            }
            std::memmove(serial.s, serial.s + 1, size_t(--serial.n));
        }
        pos += s.serialBits;
    }
    if (s.zeroBits > 0 && bits.get(pos, s.zeroBits) != 0) {
        r.problem = QStringLiteral("The last %1 bits must be zero.").arg(s.zeroBits);
        return false;
    }

    Text cpText, refText, fields;
    cpText.number(cp, cpDigits);
    if (s.intRef)
        refText.integer(ref);
    else
        refText.number(ref, refDigits);
    fields.add(cpText) << '.';
    fields.add(refText);
    if (s.serial != SerialKind::None) {
        fields << '.';
        fields.add(serial);
    }
    Text tag, pure, element, link;
    tag << "urn:epc:tag:" << s.tagName << ':' << char('0' + filter) << '.';
    tag.add(fields);
    pure << "urn:epc:id:" << s.idName << ':';
    pure.add(fields);
    link << "https://id.gs1.org";
    writeKeys(s.id, cpText, refText, serial, element, link);
    r.tagUri = tag.str();
    r.pureIdentityUri = pure.str();
    r.elementString = element.str();
    r.digitalLink = link.str();
    return true;
}

bool cageChar(QChar c)
{
    const char16_t u = c.unicode();
    // Digits and capitals without I and O.
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z' && u != 'I' && u != 'O');
}

bool readUsdod(const Bits &bits, EpcReading &r)
{
    Text fields;
    for (int i = 0; i < 6; ++i) {
        const char c = char(bits.get(12 + 8 * i, 8));
        // A five-character CAGE code is padded with one leading space.
        if (i == 0 && c == ' ')
            continue;
        if (!cageChar(QLatin1Char(c))) {
            r.problem = QStringLiteral("The CAGE or DoDAAC code holds a character (code %1) that "
                                       "is not allowed there.")
                            .arg(uchar(c));
            return false;
        }
        fields << c;
    }
    fields << '.';
    fields.integer(bits.get(60, 36));
    Text tag, pure;
    tag << "urn:epc:tag:usdod-96:";
    tag.integer(bits.get(8, 4)) << '.';
    tag.add(fields);
    pure << "urn:epc:id:usdod:";
    pure.add(fields);
    r.tagUri = tag.str();
    r.pureIdentityUri = pure.str();
    return true;
}

void readGid(const Bits &bits, EpcReading &r)
{
    Text fields, tag, pure;
    fields.integer(bits.get(8, 28)) << '.';
    fields.integer(bits.get(36, 24)) << '.';
    fields.integer(bits.get(60, 36));
    tag << "urn:epc:tag:gid-96:";
    tag.add(fields);
    pure << "urn:epc:id:gid:";
    pure.add(fields);
    r.tagUri = tag.str();
    r.pureIdentityUri = pure.str();
}

bool fail(QString *problem, const QString &text)
{
    if (problem)
        *problem = text;
    return false;
}

// A decimal integer as the 96-bit encodings hold it: digits only, no leading zero, at most max.
bool parseInteger(QStringView text, u64 max, const char *field, u64 *out, QString *problem)
{
    if (text.isEmpty() || !allDigits(text))
        return fail(problem, QStringLiteral("The %1 must be a number.").arg(QLatin1String(field)));
    if (text.size() > 1 && text.at(0) == QLatin1Char('0'))
        return fail(problem, QStringLiteral("The %1 %2 begins with 0, which a 96-bit EPC cannot "
                                            "keep.")
                                 .arg(QLatin1String(field), text.toString()));
    if (text.size() > 19 || digitsValue(text) > max)
        return fail(problem, QStringLiteral("The %1 %2 is larger than %3, the most a 96-bit EPC "
                                            "holds.")
                                 .arg(QLatin1String(field), text.toString())
                                 .arg(max));
    *out = digitsValue(text);
    return true;
}

// Writes a GS1 scheme's fields (company prefix and reference as text, as in the URIs).
QString encodeGs1(const Scheme &s, int filter, QStringView cp, QStringView ref, QStringView serial,
                  QString *problem)
{
    if (filter < 0 || filter > 7) {
        fail(problem, QStringLiteral("The filter must be a digit from 0 to 7."));
        return QString();
    }
    if (cp.size() < 6 || cp.size() > 12 || !allDigits(cp)) {
        fail(problem, QStringLiteral("The company prefix must be 6 to 12 digits."));
        return QString();
    }
    const int partition = 12 - int(cp.size());
    const int cpBits = CpBits[partition];
    const int refBits = s.fieldBits - cpBits, refDigits = s.fieldDigits - int(cp.size());
    u64 refValue = 0;
    if (s.intRef) {
        const u64 max = qMin(maxOfBits(refBits), Pow10[refDigits] - 1);
        if (!parseInteger(ref, max, s.refName, &refValue, problem))
            return QString();
    } else {
        if (ref.size() != refDigits || !allDigits(ref)) {
            fail(problem, QStringLiteral("The %1 must be %2 digits with a company prefix of %3.")
                              .arg(QLatin1String(s.refName))
                              .arg(refDigits)
                              .arg(cp.size()));
            return QString();
        }
        refValue = digitsValue(ref);
    }
    u64 serialValue = 0;
    if (s.serial == SerialKind::Integer) {
        if (!parseInteger(serial, maxOfBits(s.serialBits), s.serialName, &serialValue, problem))
            return QString();
    } else if (s.serial == SerialKind::Prepended) {
        if (serial.isEmpty() || serial.size() > 12 || !allDigits(serial)) {
            fail(problem,
                 QStringLiteral("The %1 must be 1 to 12 digits.").arg(QLatin1String(s.serialName)));
            return QString();
        }
        serialValue = Pow10[serial.size()] + digitsValue(serial);
    }

    Bits bits;
    bits.put(0, 8, u64(s.header));
    bits.put(8, 3, u64(filter));
    bits.put(11, 3, u64(partition));
    bits.put(14, cpBits, digitsValue(cp));
    bits.put(14 + cpBits, refBits, refValue);
    if (s.serial != SerialKind::None)
        bits.put(14 + s.fieldBits, s.serialBits, serialValue);
    if (problem)
        problem->clear();
    return bits.hex();
}

QString encodeGid(const QList<QStringView> &f, QString *problem)
{
    u64 manager = 0, objectClass = 0, serial = 0;
    if (f.size() != 3)
        fail(problem, QStringLiteral("A GID tag URI has three fields: manager, object class and "
                                     "serial."));
    else if (parseInteger(f[0], maxOfBits(28), "general manager number", &manager, problem) &&
             parseInteger(f[1], maxOfBits(24), "object class", &objectClass, problem) &&
             parseInteger(f[2], maxOfBits(36), "serial", &serial, problem)) {
        Bits bits;
        bits.put(0, 8, 0x35);
        bits.put(8, 28, manager);
        bits.put(36, 24, objectClass);
        bits.put(60, 36, serial);
        if (problem)
            problem->clear();
        return bits.hex();
    }
    return QString();
}

QString encodeUsdod(const QList<QStringView> &f, QString *problem)
{
    u64 filter = 0, serial = 0;
    if (f.size() != 3) {
        fail(problem, QStringLiteral("A USDOD tag URI has three fields: filter, CAGE or DoDAAC "
                                     "code and serial."));
        return QString();
    }
    if (!parseInteger(f[0], 15, "filter", &filter, problem))
        return QString();
    const QStringView cage = f[1];
    bool cageOk = cage.size() == 5 || cage.size() == 6;
    for (QChar c : cage)
        cageOk = cageOk && cageChar(c);
    if (!cageOk) {
        fail(problem, QStringLiteral("The CAGE or DoDAAC code must be 5 or 6 digits or capital "
                                     "letters other than I and O."));
        return QString();
    }
    if (!parseInteger(f[2], maxOfBits(36), "serial", &serial, problem))
        return QString();
    Bits bits;
    bits.put(0, 8, 0x2F);
    bits.put(8, 4, filter);
    int pos = 12;
    if (cage.size() == 5) {
        bits.put(pos, 8, ' ');
        pos += 8;
    }
    for (QChar c : cage) {
        bits.put(pos, 8, c.unicode());
        pos += 8;
    }
    bits.put(60, 36, serial);
    if (problem)
        problem->clear();
    return bits.hex();
}

} // namespace

EpcReading ReadEpc(const QString &hexDigits)
{
    EpcReading r;
    const qsizetype n = hexDigits.size();
    Bits bits;
    bool hex = n == 16 || n == 24;
    for (qsizetype i = 0; hex && i < n; ++i) {
        const int v = hexValue(hexDigits.at(i));
        hex = v >= 0;
        if (hex && i < 24)
            bits.b[i / 2] = quint8(bits.b[i / 2] | (v << ((i & 1) ? 0 : 4)));
    }
    if (!hex) {
        r.problem = QStringLiteral("An EPC value is 16 or 24 hex digits.");
        return r;
    }
    auto raw = [&] {
        Text t;
        t << (n == 24 ? "urn:epc:raw:96.x" : "urn:epc:raw:64.x");
        for (int i = 0; i < n; ++i)
            t << HexUpper[(bits.b[i / 2] >> ((i & 1) ? 0 : 4)) & 15];
        return t.str();
    };
    const Scheme *s = n == 24 ? schemeByHeader(bits.b[0]) : nullptr;
    if (!s) {
        r.tagUri = raw();
        return r;
    }
    r.scheme = QLatin1String(s->tagName);
    bool ok = true;
    if (s->id == Id::Gid)
        readGid(bits, r);
    else if (s->id == Id::Usdod)
        ok = readUsdod(bits, r);
    else
        ok = readGs1(*s, bits, r);
    if (!ok)
        r.tagUri = raw();
    return r;
}

QString EpcFromTagUri(const QString &tagUri, QString *problem)
{
    const QLatin1String rawPrefix("urn:epc:raw:96.x");
    if (tagUri.startsWith(rawPrefix)) {
        const QStringView digits = QStringView(tagUri).mid(rawPrefix.size());
        bool ok = digits.size() == 24;
        for (QChar c : digits)
            ok = ok && hexValue(c) >= 0;
        if (!ok) {
            fail(problem, QStringLiteral("A 96-bit raw URI ends in 24 hex digits."));
            return QString();
        }
        if (problem)
            problem->clear();
        return digits.toString().toUpper();
    }
    const QLatin1String tagPrefix("urn:epc:tag:");
    const qsizetype colon = tagUri.indexOf(QLatin1Char(':'), tagPrefix.size());
    if (!tagUri.startsWith(tagPrefix) || colon < 0) {
        fail(problem, QStringLiteral("This is not an EPC tag URI (urn:epc:tag:...)."));
        return QString();
    }
    const QStringView name = QStringView(tagUri).mid(tagPrefix.size(), colon - tagPrefix.size());
    const Scheme *s = schemeByTagName(name);
    if (!s) {
        fail(problem, QStringLiteral("The scheme %1 is not one of the 96-bit EPC encodings.")
                          .arg(name.toString()));
        return QString();
    }
    const QList<QStringView> f = QStringView(tagUri).mid(colon + 1).split(QLatin1Char('.'));
    if (s->id == Id::Gid)
        return encodeGid(f, problem);
    if (s->id == Id::Usdod)
        return encodeUsdod(f, problem);
    const int want = s->serial == SerialKind::None ? 3 : 4;
    if (f.size() != want) {
        fail(problem, QStringLiteral("A %1 tag URI has %2 fields after the scheme.")
                          .arg(QLatin1String(s->tagName))
                          .arg(want));
        return QString();
    }
    if (f[0].size() != 1 || f[0][0] < QLatin1Char('0') || f[0][0] > QLatin1Char('7')) {
        fail(problem, QStringLiteral("The filter must be a digit from 0 to 7."));
        return QString();
    }
    return encodeGs1(*s, f[0][0].unicode() - '0', f[1], f[2], want == 4 ? f[3] : QStringView(),
                     problem);
}

namespace
{

struct ElementPair {
    QString ai;
    QString value;
};

// "(01)...(21)..." into its pairs; false when the text is not made of parenthesised AIs.
bool splitElementString(const QString &text, QList<ElementPair> *pairs)
{
    QString s = text;
    s.remove(QLatin1Char(' '));
    qsizetype i = 0;
    while (i < s.size()) {
        if (s.at(i) != QLatin1Char('('))
            return false;
        const qsizetype close = s.indexOf(QLatin1Char(')'), i + 1);
        if (close < 0)
            return false;
        const QString ai = s.mid(i + 1, close - i - 1);
        if (ai.size() < 2 || ai.size() > 4 || !allDigits(ai))
            return false;
        qsizetype next = s.indexOf(QLatin1Char('('), close + 1);
        if (next < 0)
            next = s.size();
        pairs->append({ai, s.mid(close + 1, next - close - 1)});
        i = next;
    }
    return !pairs->isEmpty();
}

// Checks a key of digits whose last digit is a check digit.
bool checkKey(QStringView key, const char *what, QString *problem)
{
    if (!allDigits(key))
        return fail(problem,
                    QStringLiteral("The %1 must be digits only.").arg(QLatin1String(what)));
    const int want = checkDigit(key.chopped(1));
    if (key.back().unicode() - '0' != want)
        return fail(problem, QStringLiteral("The check digit of the %1 is %2; the right one is %3.")
                                 .arg(QLatin1String(what))
                                 .arg(key.back())
                                 .arg(want));
    return true;
}

} // namespace

QString EpcFromElementString(const QString &elementString, int companyPrefixDigits, int filter,
                             QString *problem)
{
    QList<ElementPair> pairs;
    if (!splitElementString(elementString, &pairs)) {
        fail(problem, QStringLiteral("This is not a GS1 element string with its AIs in "
                                     "parentheses, such as (01)...(21)...."));
        return QString();
    }
    const int L = companyPrefixDigits;
    if (L < 6 || L > 12) {
        fail(problem, QStringLiteral("The company prefix length must be from 6 to 12."));
        return QString();
    }
    const QString first = pairs.at(0).ai;
    QString value = pairs.at(0).value;
    const bool hasSecond = pairs.size() > 1;
    const QString extra = pairs.size() > 1 ? pairs.at(1).value : QString();
    // The pairs beyond the first: none, or secondAi (which may be required).
    auto only = [&](const char *secondAi, bool secondRequired) {
        for (qsizetype i = 1; i < pairs.size(); ++i)
            if (i > 1 || !secondAi || pairs.at(i).ai != QLatin1String(secondAi))
                return fail(problem, QStringLiteral("The AI (%1) has no place beside (%2) in a "
                                                    "96-bit EPC.")
                                         .arg(pairs.at(i).ai, first));
        if (secondRequired && pairs.size() < 2)
            return fail(problem, QStringLiteral("(%1) needs (%2) beside it for a 96-bit EPC.")
                                     .arg(first, QLatin1String(secondAi)));
        return true;
    };
    // A key of n digits with its check digit at the end, and what follows it.
    auto keyWithCheck = [&](int n, const char *what) {
        if (value.size() < n)
            return fail(
                problem,
                QStringLiteral("The %1 must have %2 digits.").arg(QLatin1String(what)).arg(n));
        return checkKey(QStringView(value).left(n), what, problem);
    };

    if (first == QLatin1String("01")) {
        if (!only("21", true))
            return QString();
        // GTIN-8, -12 and -13 are GTIN-14s with leading zeros.
        if (value.size() != 8 && value.size() != 12 && value.size() != 13 && value.size() != 14) {
            fail(problem, QStringLiteral("A GTIN has 8, 12, 13 or 14 digits."));
            return QString();
        }
        value = value.rightJustified(14, QLatin1Char('0'));
        if (!checkKey(value, "GTIN", problem))
            return QString();
        return encodeGs1(schemeById(Id::Sgtin), filter, QStringView(value).mid(1, L),
                         QString(value.at(0) + value.mid(1 + L, 12 - L)), extra, problem);
    }
    if (first == QLatin1String("00")) {
        if (!only(nullptr, false))
            return QString();
        if (value.size() != 18) {
            fail(problem, QStringLiteral("An SSCC has 18 digits."));
            return QString();
        }
        if (!checkKey(value, "SSCC", problem))
            return QString();
        return encodeGs1(schemeById(Id::Sscc), filter, QStringView(value).mid(1, L),
                         QString(value.at(0) + value.mid(1 + L, 16 - L)), QStringView(), problem);
    }
    if (first == QLatin1String("414")) {
        if (!only("254", false))
            return QString();
        if (value.size() != 13) {
            fail(problem, QStringLiteral("A GLN has 13 digits."));
            return QString();
        }
        if (!checkKey(value, "GLN", problem))
            return QString();
        return encodeGs1(schemeById(Id::Sgln), filter, QStringView(value).left(L),
                         QStringView(value).mid(L, 12 - L),
                         !hasSecond ? QStringLiteral("0") : extra, problem);
    }
    if (first == QLatin1String("8003")) {
        if (!only(nullptr, false) || !keyWithCheck(14, "GRAI"))
            return QString();
        if (value.at(0) != QLatin1Char('0')) {
            fail(problem, QStringLiteral("A GRAI begins with the digit 0."));
            return QString();
        }
        return encodeGs1(schemeById(Id::Grai), filter, QStringView(value).mid(1, L),
                         QStringView(value).mid(1 + L, 12 - L), QStringView(value).mid(14),
                         problem);
    }
    if (first == QLatin1String("8018") || first == QLatin1String("8017")) {
        const bool provider = first == QLatin1String("8017");
        if (!only(nullptr, false))
            return QString();
        if (value.size() != 18) {
            fail(problem, QStringLiteral("A GSRN has 18 digits."));
            return QString();
        }
        if (!checkKey(value, "GSRN", problem))
            return QString();
        return encodeGs1(schemeById(provider ? Id::Gsrnp : Id::Gsrn), filter,
                         QStringView(value).left(L), QStringView(value).mid(L, 17 - L),
                         QStringView(), problem);
    }
    if (first == QLatin1String("253") || first == QLatin1String("255")) {
        const bool coupon = first == QLatin1String("255");
        if (!only(nullptr, false) || !keyWithCheck(13, coupon ? "GCN" : "GDTI"))
            return QString();
        return encodeGs1(schemeById(coupon ? Id::Sgcn : Id::Gdti), filter,
                         QStringView(value).left(L), QStringView(value).mid(L, 12 - L),
                         QStringView(value).mid(13), problem);
    }
    if (first == QLatin1String("8004") || first == QLatin1String("8010")) {
        const bool component = first == QLatin1String("8010");
        if (!only(component ? "8011" : nullptr, component))
            return QString();
        if (value.size() <= L) {
            fail(problem, QStringLiteral("The value of (%1) is no longer than its company prefix.")
                              .arg(first));
            return QString();
        }
        return encodeGs1(schemeById(component ? Id::Cpi : Id::Giai), filter,
                         QStringView(value).left(L), QStringView(value).mid(L), extra, problem);
    }
    fail(problem, QStringLiteral("The AI (%1) has no 96-bit EPC encoding.").arg(first));
    return QString();
}

QString IncrementWarning(const QString &hexDigits, int quantity)
{
    if (quantity <= 0)
        return QString();
    const EpcReading before = ReadEpc(hexDigits);
    if (before.scheme.isEmpty() || !before.problem.isEmpty())
        return QString();
    const EpcReading after = ReadEpc(IncrementTagText(hexDigits.toUpper(), quantity));
    const QString by = QString::number(quantity);
    if (after.scheme != before.scheme)
        return QStringLiteral("Incrementing by %1 carries into the header: the value is no "
                              "longer %2.")
            .arg(by, before.scheme);
    if (!after.problem.isEmpty())
        return QStringLiteral("Incrementing by %1 makes the %2 value invalid: %3")
            .arg(by, before.scheme, after.problem);
    // Every field before the last one must stay as it was.
    const auto head = [](const QString &uri) {
        return uri.left(uri.lastIndexOf(QLatin1Char('.')));
    };
    if (head(after.tagUri) != head(before.tagUri))
        return QStringLiteral("Incrementing by %1 runs past the serial and changes the other "
                              "fields: %2")
            .arg(by, after.tagUri);
    return QString();
}

namespace
{

// The field a serial step adds to, where it lies in the bits and how far it may go.
struct StepField {
    const char *name = "serial";
    int pos = 0, bits = 0;
    u64 value = 0, max = 0;
    u64 base = 0;  // in the bits ahead of the value: 10^width for digits behind a leading 1
    int width = 0; // digits written, leading zeros included; 0 for an integer
};

// The field of a valid value of scheme s.
StepField stepField(const Scheme &s, const Bits &bits)
{
    StepField f;
    if (s.id == Id::Gid || s.id == Id::Usdod) {
        f.pos = 60;
        f.bits = 36;
        f.max = maxOfBits(36);
    } else if (s.serial != SerialKind::None) {
        f.name = s.serialName;
        f.pos = 14 + s.fieldBits;
        f.bits = s.serialBits;
        f.max = maxOfBits(f.bits);
        if (s.serial == SerialKind::Prepended) {
            // 10^width plus the digits: their count, leading zeros and all, must stay.
            const u64 raw = bits.get(f.pos, f.bits);
            while (f.width < 19 && Pow10[f.width + 1] <= raw)
                ++f.width;
            f.base = Pow10[f.width];
            f.max = f.base - 1;
        }
    } else {
        // The reference is the serial of these schemes; its digits depend on the partition.
        const int partition = int(bits.get(11, 3));
        const int refDigits = s.fieldDigits - CpDigits[partition];
        f.name = s.id == Id::Sscc ? "serial reference" : s.refName;
        f.pos = 14 + CpBits[partition];
        f.bits = s.fieldBits - CpBits[partition];
        f.max = qMin(maxOfBits(f.bits), Pow10[refDigits] - 1);
        f.width = s.intRef ? 0 : refDigits;
    }
    f.value = bits.get(f.pos, f.bits) - f.base;
    return f;
}

QString stepFieldText(const StepField &f, u64 v)
{
    Text t;
    if (f.width > 0)
        t.number(v, f.width);
    else
        t.integer(v);
    return t.str();
}

} // namespace

SerialStep StepGs1Serial(const QString &hexDigits, int quantity)
{
    SerialStep step;
    const EpcReading r = ReadEpc(hexDigits);
    const Scheme *s = schemeByTagName(r.scheme);
    if (r.scheme.isEmpty() || !s)
        return step;
    step.scheme = true;
    step.schemeName = r.scheme;
    if (!r.problem.isEmpty()) {
        step.failure =
            QStringLiteral("The %1 value is invalid, so its serial cannot be stepped: %2")
                .arg(r.scheme, r.problem);
        return step;
    }
    Bits bits;
    for (int i = 0; i < 24; ++i)
        bits.b[i / 2] = quint8(bits.b[i / 2] | (hexValue(hexDigits.at(i)) << ((i & 1) ? 0 : 4)));
    const StepField f = stepField(*s, bits);
    step.field = r.scheme.chopped(3).toUpper() + QLatin1Char(' ') + QLatin1String(f.name);
    const int below = 96 - f.pos - f.bits;
    step.batchesAllowed = below == 0;
    if (quantity < 1) {
        step.failure = QStringLiteral("A batch has at least one label.");
        return step;
    }
    if (quantity > 1 && !step.batchesAllowed) {
        step.failure =
            QStringLiteral("The %1 sits above %2 reserved bits, and the printer steps each "
                           "following label of a batch as one whole number, which would fill "
                           "those bits instead: in batches of %3 the labels would be invalid. "
                           "Batches of one work.")
                .arg(step.field)
                .arg(below)
                .arg(quantity);
        return step;
    }
    const u64 more = u64(quantity) - 1;
    if (f.max - f.value < more) {
        step.failure = QStringLiteral("The %1 %2 would pass its largest value %3 in a batch of %4.")
                           .arg(step.field, stepFieldText(f, f.value), stepFieldText(f, f.max))
                           .arg(quantity);
        return step;
    }
    step.ok = true;
    bits.put(f.pos, f.bits, f.base + f.value + more);
    step.lastHex = bits.hex();
    if (f.max - f.value == more)
        step.usedUp = QStringLiteral("The %1 reaches its largest value %2 with this batch: no "
                                     "label can follow it.")
                          .arg(step.field, stepFieldText(f, f.max));
    else {
        bits.put(f.pos, f.bits, f.base + f.value + more + 1);
        step.nextHex = bits.hex();
    }
    return step;
}

QString SerialStepMeaning(const QString &hexDigits)
{
    const SerialStep step = StepGs1Serial(hexDigits, 1);
    if (!step.scheme)
        return QStringLiteral("of no EPC scheme: steps the whole value");
    if (step.field.isEmpty())
        return QStringLiteral("an invalid %1 value: its serial cannot be stepped")
            .arg(step.schemeName);
    if (!step.batchesAllowed)
        return QStringLiteral("steps the %1, in batches of one").arg(step.field);
    return QStringLiteral("steps the %1").arg(step.field);
}
