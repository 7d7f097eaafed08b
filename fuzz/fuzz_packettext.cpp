// Splitting arbitrary format text and rewriting its batch header: no crash, indices in range.
#include <cstdlib>

#include "FuzzInput.h"
#include "core/PacketText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int quantity = in.nextInt();
    const QStringList lines = QString::fromLatin1(in.rest()).split(QLatin1Char('\n'));
    const SplitPackets packets = SplitFormatLines(lines);
    if (packets.formatLines.size() + packets.batchLines.size() > lines.size())
        std::abort();
    const int field = FindEPCFieldNumber(packets.formatLines);
    const int line = FindBatchFieldLine(packets.batchLines, field);
    if (line < 0 || (line > 0 && line >= packets.batchLines.size()))
        std::abort();
    if (!packets.batchLines.isEmpty())
        SetBatchQuantity(packets.batchLines.first(), quantity);
    for (const QString &l : lines)
        SetBatchQuantity(l, quantity);
    PrinterText(packets.batchLines);
    return 0;
}
