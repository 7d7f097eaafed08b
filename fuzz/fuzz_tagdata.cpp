// Tag value conversions on arbitrary text and layouts: no crash, and the invariants that hold
// for every input (lengths, round trips within limits).
#include <cstdlib>

#include "FuzzInput.h"
#include "core/TagData.h"

static void check(bool ok)
{
    if (!ok)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int pick = in.nextInt();
    const QString text = in.nextText();
    const QString ownLayout = in.nextText().left(64);
    const QString layouts[] = {Hex64Layout, Hex96Layout, Sgtin64Layout, Sgtin96Layout, ownLayout};
    const QString &layout = layouts[unsigned(pick) % 5];

    const QString hex = PackTagFields(text, layout);
    const QString fields = UnpackTagFields(text, layout);
    check(fields.size() == layout.size());
    const int bad = FindLimitBreak(text, layout);
    check(bad >= -1 && bad < layout.size());
    const QString stepped = IncrementTagText(text, pick & 0xFFFF);
    check(stepped.size() == text.size());

    if (unsigned(pick) % 5 < 4) {
        check(hex.size() == (layout.size() == 16 || layout.size() == 21 ? 16 : 24));
        // A value within its limits survives both conversions (separators are not read, so
        // compare the digit positions only).
        if (bad < 0 && text.size() >= layout.size()) {
            QString expected = text.left(layout.size());
            for (qsizetype i = 0; i < layout.size(); ++i)
                if (layout.at(i) == QLatin1Char(' '))
                    expected[i] = QLatin1Char(' ');
            check(UnpackTagFields(hex, layout) == expected);
        }
        check(PackTagFields(UnpackTagFields(hex, layout), layout) == hex);
    }
    return 0;
}
