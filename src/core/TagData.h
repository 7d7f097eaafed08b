#pragma once
// Tag values: layout templates, the conversions between field text and hex digits, the
// increment and the limit check. Pure text functions.
#include <QString>

// Every non-space character is one digit position; its value is the largest digit allowed
// there and tells how many bits the digit carries ("1" 1, "3" 2, "7" 3, "F" 4).
extern const QString Hex64Layout;   // "FFFFFFFFFFFFFFFF"
extern const QString Hex96Layout;   // "FFFFFFFFFFFFFFFFFFFFFFFF"
extern const QString Sgtin64Layout; // "3 7 3FFFFFFFF 1FFFFFF"
extern const QString Sgtin96Layout; // "FF 7 7FFFFFFFFFFF 3FFFFFFFFF"

// Field text to hex digits (16 for a 64-bit layout, 24 for 96). A text shorter than the
// layout is packed as if padded with "0".
QString PackTagFields(const QString &fieldText, const QString &layout);
// Hex digits to field text in the layout, spaces in place. Extra digits are ignored and
// missing ones count as "0".
QString UnpackTagFields(const QString &hexDigits, const QString &layout);
// Adds quantity to the text as one hex number across its fields, skipping spaces; a carry
// out of the first digit is dropped. Quantity 0 leaves the text as it is.
QString IncrementTagText(const QString &text, int quantity);
// The text filled up to the layout's length: "0" in digit positions, the layout's spaces
// in theirs. An entry's untyped tail counts as zeros for the check and the packing alike.
QString FillTagText(const QString &text, const QString &layout);
// The tag data after a batch of step labels, as the entry then shows it: an untyped tail went
// out as zeros, so the whole value is stepped. A step of 0 leaves the text as it is.
QString StepTagText(const QString &text, const QString &layout, int step);
// -1 when every digit position keeps its limit, else the index of the first that does not.
int FindLimitBreak(const QString &text, const QString &layout);

enum class TagDataFormat { Sgtin = 1, Hex = 2 };

struct TagFormatRow {
    int dataFormat; // 1 SGTIN, 2 hex
    int dataSize;   // 64 or 96
    QString layout;
    QString mask;    // "A" per digit, literal spaces
    QString caption; // heading shown above the entry
};

// The four rows: hex 64, hex 96, SGTIN 64, SGTIN 96.
extern const TagFormatRow TagFormatTable[4];
// The row for a format (1 SGTIN, anything else hex) and size (96, anything else 64).
const TagFormatRow &TagFormatFor(int dataFormat, int dataSize);
