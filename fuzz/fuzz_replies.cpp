// Reply handling on arbitrary byte streams cut into arbitrary pieces: the bounds always hold
// and no byte outside a cut line is lost.
#include <cstdlib>

#include "link/ReplyBuffer.h"

static void check(bool ok)
{
    if (!ok)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ReplyBuffer buffer;
    size_t pos = 0;
    qint64 appended = 0;
    while (pos < size) {
        // The first byte of each piece says how long the piece is and whether to take a line.
        const uint8_t control = data[pos++];
        const size_t length = std::min<size_t>(size - pos, control & 0x3F);
        const QByteArray piece(reinterpret_cast<const char *>(data + pos), qsizetype(length));
        pos += length;
        buffer.append(piece);
        appended += qsizetype(length);
        if (control & 0x40) {
            QByteArray line;
            const int left = buffer.takeLine(line);
            check(left >= -1 && line.size() <= ReplyBuffer::MaxReplyLength);
            check(left < 0 ? line.isEmpty() : !line.contains('\n'));
        }
        if (control & 0x80)
            ReplyBuffer::displayText(buffer.unfinished());
        check(buffer.finishedLines() <= ReplyBuffer::MaxLines);
        for (int i = 0; i < buffer.lineCount(); ++i)
            check(buffer.line(i).size() <= ReplyBuffer::MaxLineLength);
        check(buffer.bytesReceived() == appended);
    }
    return 0;
}
