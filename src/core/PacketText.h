#pragma once
// The format text as packets: splitting the editor's lines, finding the RFID field and the
// data lines of the batch packet, and the quantity in the batch header.
#include <QString>
#include <QStringList>

struct SplitPackets {
    QStringList formatLines; // lines of every packet but the batch packet, trimmed
    QStringList batchLines;  // lines of the batch packet(s); line 0 is the header
};

// The editor's text before any file is opened: a format packet, an empty line, a batch packet.
QStringList DefaultFormatLines();

SplitPackets SplitFormatLines(const QStringList &editorLines);
// Number of the last "X" line in any "{F" packet; 0 when there is none. A number too large
// for an int is taken as the largest int.
int FindEPCFieldNumber(const QStringList &formatLines);
// Index (1 upward) of the first data line whose leading number is field; 0 when none.
// A data line met on the way whose text before its first comma is not a whole number
// ("1a," or "1 ,") stops the search: 0, and that line's index in *badLine (else 0 there).
int FindBatchFieldLine(const QStringList &batchLines, int field, int *badLine = nullptr);
// The header with its quantity (the last value before the first "|") replaced; without a
// comma there the whole text before the "|" is replaced. A header without "|" is returned
// unchanged.
QString SetBatchQuantity(const QString &header, int quantity);
// field,"data"| : a data line of the batch packet.
QString BatchDataLine(int field, const QString &data);
// Index of the first line holding a character that 8-bit text cannot carry, or a zero byte
// (printer text ends at its first zero); -1 when none.
int FindUnsendableLine(const QStringList &lines);
// Lines joined for the printer, each followed by CR LF, as 8-bit text.
QByteArray PrinterText(const QStringList &lines);
