#include "core/BatchAssembly.h"

#include "core/PacketText.h"
#include "core/TagData.h"

namespace
{
BatchAssembly finish(BatchAssembly result, const QStringList &lines)
{
    const int bad = FindUnsendableLine(lines);
    if (bad >= 0) {
        result.stop = BatchStop::UnsendableText;
        result.line = lines.at(bad);
        return result;
    }
    result.text = PrinterText(lines);
    return result;
}
} // namespace

BatchAssembly AssembleBatch(const BatchPackets &packets, const BatchRequest &request)
{
    BatchAssembly result;
    result.batchLines = packets.batchLines;
    result.hrLine = packets.hrLine;
    QStringList &lines = result.batchLines;
    if (lines.isEmpty()) {
        result.stop = BatchStop::NoBatchPacket;
        return result;
    }

    lines[0] = SetBatchQuantity(lines[0], request.quantity);
    const QString layout = TagFormatFor(request.dataFormat, request.dataSize).layout;
    if (packets.epcLine > 0 && packets.epcLine < lines.size())
        lines[packets.epcLine] =
            BatchDataLine(packets.epcField, PackTagFields(request.entryText, layout));

    if (packets.hrEnabled) {
        if (packets.hrChanged) {
            int bad = 0;
            result.hrLine = FindBatchFieldLine(lines, packets.hrField, &bad);
            if (bad > 0) {
                result.hrLine = 0;
                result.stop = BatchStop::BadFieldNumber;
                result.line = lines.at(bad);
                return result;
            }
        }
        if (result.hrLine <= 0 || result.hrLine >= lines.size()) {
            result.stop = BatchStop::HRLineMissing;
            return result;
        }
        lines[result.hrLine] = BatchDataLine(packets.hrField, request.entryText);
    }

    if (FindLimitBreak(request.entryText, layout) >= 0) {
        result.stop = BatchStop::DataError;
        result.layout = layout;
        return result;
    }
    return finish(result, request.sendFormat ? packets.formatLines + lines : lines);
}

BatchAssembly AssembleFormat(const QStringList &formatLines)
{
    return finish(BatchAssembly(), formatLines);
}

BatchStopText BatchStopMessage(const BatchAssembly &batch)
{
    switch (batch.stop) {
    case BatchStop::None:
    case BatchStop::HRLineMissing:
        break;
    case BatchStop::NoBatchPacket:
        return {QStringLiteral("Send Error"),
                QStringLiteral("Batch quantity is zero.\nNothing sent.")};
    case BatchStop::BadFieldNumber:
        return {QStringLiteral("Send Error"),
                QStringLiteral("The field number of this batch line is not a whole number:\n"
                               "%1\nNothing sent.")
                    .arg(batch.line)};
    case BatchStop::DataError:
        return {QStringLiteral("Data Error"),
                QStringLiteral("Format (max data):  ") + batch.layout};
    case BatchStop::UnsendableText:
        // 8-bit text would carry such a character as "?", and a zero would end the text
        // there: say so instead of sending a wrong or a cut label.
        return {QStringLiteral("Send Error"),
                QStringLiteral("This line holds characters the printer cannot take:\n%1\n"
                               "Nothing sent.")
                    .arg(batch.line)};
    }
    return {};
}
