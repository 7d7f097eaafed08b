#pragma once
// EPC binary encodings of the GS1 EPC Tag Data Standard (TDS 2.1, with the field and partition
// tables of Tag Data Translation 2.0): the twelve 96-bit schemes, read into their URIs, GS1
// element string and Digital Link, and written from a tag URI or an element string.
#include <QString>

struct EpcReading {
    QString scheme;          // "sgtin-96", "sscc-96", ...; empty when no scheme's header matches
    QString tagUri;          // "urn:epc:tag:sgtin-96:3.0614141.812345.6789", or the raw URI
                             // "urn:epc:raw:96.x3074257BF7194E4000001A85" when no scheme decodes it
    QString pureIdentityUri; // "urn:epc:id:sgtin:0614141.812345.6789"; empty when none
    QString elementString;   // "(01)80614141123458(21)6789"; empty when the scheme has none
    QString digitalLink;     // "https://id.gs1.org/01/80614141123458/21/6789"; empty when none
    QString problem;         // empty for a valid value; otherwise one sentence saying why not
};

// 16 or 24 hex digits (either case). A 64-bit value, or one whose header no 96-bit scheme
// claims, reads as its raw URI with no problem.
EpcReading ReadEpc(const QString &hexDigits);
// A tag URI of a 96-bit scheme (or a 96-bit raw URI) to 24 hex digits; "" and a problem when
// it cannot be encoded.
QString EpcFromTagUri(const QString &tagUri, QString *problem = nullptr);
// A GS1 element string with parentheses around each AI, e.g. "(01)80614141123458(21)6789", to
// 24 hex digits; the company prefix length (6 to 12) and filter (0 to 7) are not in the string.
// Check digits are verified. "" and a problem when it cannot be encoded.
QString EpcFromElementString(const QString &elementString, int companyPrefixDigits, int filter,
                             QString *problem = nullptr);
// The increment after a batch adds the quantity to the whole value, so a carry out of the
// scheme's last field (the serial, or its like) changes the item or breaks the scheme. One
// sentence when adding quantity to these 24 hex digits would do that; empty when it would not,
// for quantity 0 and for values of no scheme or already invalid.
QString IncrementWarning(const QString &hexDigits, int quantity);

// Stepping a batch by the serial field of the value's scheme instead of the whole value.
struct SerialStep {
    bool scheme = false; // the value is of a scheme with a serial field; false: step it whole
    bool ok = false;     // a batch of the quantity from this value stays within the field
    // The field is the value's lowest bits, so the printer's stepping of each following label
    // in a batch by one whole number steps the field alone. When false, batches of one only.
    bool batchesAllowed = false;
    QString schemeName; // "sgtin-96"; empty with scheme false
    QString field;      // "SGTIN serial", "SSCC serial reference", ...
    QString lastHex;    // the batch's last label: the field plus quantity - 1
    QString nextHex;    // the value after the batch; empty when the batch ends on the field's
                        // largest value, and usedUp says so
    QString usedUp;     // one sentence when nothing can follow this batch
    QString failure;    // why the batch cannot go (ok false): the field runs out, the quantity
                        // is above 1 where only batches of one work, or the value is invalid
};
// The step of a batch of quantity labels beginning with these 16 or 24 hex digits: the serial
// field (or its like) of the value's scheme goes up by the quantity as a number within its own
// range and digits; every other field is kept. scheme false for a value of no scheme.
SerialStep StepGs1Serial(const QString &hexDigits, int quantity);
// A short text of what stepping by the serial does with this value, for the meaning line:
// "steps the SGTIN serial", "no EPC scheme: steps the whole value", ...
QString SerialStepMeaning(const QString &hexDigits);
