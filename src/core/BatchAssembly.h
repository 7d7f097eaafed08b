#pragma once
// What a batch send puts on the wire, worked out from the split format text and the values the
// operator chose, without any window: either the text for the printer or why nothing goes.
#include <QByteArray>
#include <QString>
#include <QStringList>

// The format text as split, with the positions of the fields a batch fills in.
struct BatchPackets {
    QStringList formatLines;
    QStringList batchLines; // line 0 is the header
    int epcField = 0;       // the RFID field's number
    int epcLine = 0;        // its data line in batchLines; 0 when there is none
    int hrField = 0;        // the human-readable field's number
    int hrLine = 0;         // its data line in batchLines; 0 when there is none
    bool hrEnabled = false;
    bool hrChanged = false; // look the human-readable line up again before filling it
};

struct BatchRequest {
    int quantity = 1;
    QString entryText; // the tag data as the entry shows it
    int dataFormat = 2;
    int dataSize = 96;
    bool sendFormat = false; // the format packet goes in front of the batch packet
};

enum class BatchStop {
    None,
    NoBatchPacket,  // the format text holds no batch packet
    BadFieldNumber, // a batch line's text before its first comma is no whole number: line
    HRLineMissing,  // the human-readable field has no data line
    DataError,      // the tag data breaks a limit of layout
    UnsendableText, // line holds a character 8-bit printer text cannot carry, or a zero
};

struct BatchAssembly {
    BatchStop stop = BatchStop::None;
    QStringList batchLines; // rewritten as far as the assembly got; they stay rewritten
    int hrLine = 0;         // the human-readable line as last looked up
    QByteArray text;        // for the printer, each line followed by CR LF (stop None only)
    QString layout;         // DataError: the layout template of the data format and size
    QString line;           // BadFieldNumber, UnsendableText: the line at fault
};

// Quantity into the header, tag data in hex into the RFID line, the entry text as shown into
// the human-readable line, then the limit check and the check for unsendable text.
BatchAssembly AssembleBatch(const BatchPackets &packets, const BatchRequest &request);
// "Send Format": the format packet alone (stop None or UnsendableText).
BatchAssembly AssembleFormat(const QStringList &formatLines);

// What the operator is told when a send stops (caption, text); empty for None and
// HRLineMissing, which the caller settles with the operator.
struct BatchStopText {
    QString caption;
    QString text;
};
BatchStopText BatchStopMessage(const BatchAssembly &batch);
