#include "jobs/BatchAssembly.h"

#include "jobs/PacketText.h"
#include "tagdata/TagData.h"

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
