// The GS1 EPC codec on arbitrary input: no crash, and every value it accepts reads back as
// written.
#include <cctype>
#include <cstdlib>

#include "FuzzInput.h"
#include "core/Gs1Epc.h"

static void check(bool ok)
{
    if (!ok)
        std::abort();
}

// A reading either decodes and its tag URI writes the same bits, or it is raw and so does that.
static void checkReading(const QString &hex)
{
    const EpcReading r = ReadEpc(hex);
    bool isHex = hex.size() == 24 || hex.size() == 16;
    for (QChar c : hex)
        isHex = isHex && c.unicode() < 128 && std::isxdigit(c.unicode());
    if (!isHex) {
        check(!r.problem.isEmpty() && r.tagUri.isEmpty() && r.scheme.isEmpty());
        return;
    }
    if (!r.problem.isEmpty()) {
        check(!r.scheme.isEmpty() && r.tagUri.startsWith(QLatin1String("urn:epc:raw:")));
        check(r.pureIdentityUri.isEmpty() && r.elementString.isEmpty());
    }
    if (r.problem.isEmpty() && !r.pureIdentityUri.isEmpty())
        check(!r.scheme.isEmpty());
    if (hex.size() == 24 && !r.tagUri.isEmpty())
        check(EpcFromTagUri(r.tagUri) == hex.toUpper());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int pick = in.nextInt();
    const QString text = in.nextText();
    switch (unsigned(pick) % 4) {
    case 0:
        checkReading(text);
        break;
    case 1: {
        // The text's bytes as the bits of a 96-bit value.
        const QByteArray bytes = text.toLatin1().leftJustified(12, '\0', true);
        checkReading(QString::fromLatin1(bytes.toHex().toUpper()));
        break;
    }
    case 2: {
        QString problem;
        const QString hex = EpcFromTagUri(text, &problem);
        check(hex.isEmpty() != problem.isEmpty());
        if (!hex.isEmpty() && !text.startsWith(QLatin1String("urn:epc:raw:"))) {
            // Only the one canonical URI of a value is accepted.
            const EpcReading r = ReadEpc(hex);
            check(r.problem.isEmpty() && r.tagUri == text);
        }
        break;
    }
    default: {
        const int prefixDigits = (pick >> 8) & 15;
        const int filter = (pick >> 16) & 15;
        QString problem;
        const QString hex = EpcFromElementString(text, prefixDigits, filter, &problem);
        check(hex.isEmpty() != problem.isEmpty());
        if (!hex.isEmpty()) {
            const EpcReading r = ReadEpc(hex);
            check(r.problem.isEmpty());
            check(EpcFromElementString(r.elementString, prefixDigits, filter) == hex);
        }
        break;
    }
    }
    return 0;
}
