// The settings reader on arbitrary files, then a write and a second read that must agree, and
// further writes that must settle instead of growing.
#include <cstdlib>

#include "core/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SettingsFile file;
    file.loadBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const StoredSettings s = file.read();
    if (s.comPort < 0 || (s.stopBits != 1 && s.stopBits != 2) ||
        (s.dataSize != 64 && s.dataSize != 96) || s.parity < 0 || s.parity > 4 ||
        s.flowControl < 0 || s.flowControl > 3)
        std::abort();
    file.write(s);
    SettingsFile again;
    again.loadBytes(file.toBytes());
    const StoredSettings back = again.read();
    if (back.comPort != s.comPort || back.parity != s.parity || back.flowControl != s.flowControl ||
        back.dataSize != s.dataSize)
        std::abort();
    // Closing again and again without changes: the file settles (the library may tidy blank
    // lines once) and never grows run by run.
    again.write(back);
    SettingsFile third;
    third.loadBytes(again.toBytes());
    third.write(third.read());
    if (third.toBytes() != again.toBytes())
        std::abort();
    return 0;
}
