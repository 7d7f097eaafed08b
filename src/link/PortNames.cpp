#include "link/PortNames.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

#if defined(Q_OS_LINUX)
// The kernel's own record carries any speed as a number; it cannot share a unit with
// <termios.h>, whose record of the same name lacks that.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <unistd.h>
#elif defined(Q_OS_UNIX)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <cstdio>
#include <io.h>
#endif

QMap<int, QString> PortOverrides;

QString PortDeviceName(int port)
{
    const auto it = PortOverrides.constFind(port);
    if (it != PortOverrides.constEnd() && !it->isEmpty())
        return *it;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    if (port == 1 || port == 2)
        return QStringLiteral("/dev/ttyS%1").arg(port - 1);
    return QStringLiteral("/dev/ttyUSB%1").arg(port - 3);
#endif
}

bool PortDeviceMayExist(int port)
{
#ifdef Q_OS_WIN
    Q_UNUSED(port);
    return true; // Windows names are not files; the open itself is the probe
#else
    return QFileInfo::exists(PortDeviceName(port));
#endif
}

#ifdef Q_OS_UNIX
namespace
{
#if defined(Q_OS_LINUX)
using LineRecord = struct termios2;
bool getRecord(int fd, LineRecord *t)
{
    return ::ioctl(fd, TCGETS2, t) == 0;
}
bool setRecord(int fd, const LineRecord &t)
{
    return ::ioctl(fd, TCSETS2, &t) == 0;
}
int speedOf(const LineRecord &t)
{
    return int(t.c_ospeed); // the number, also for the usual speeds
}
constexpr tcflag_t SpeedBits = CBAUD | (CBAUD << IBSHIFT);
#else
using LineRecord = struct termios;
bool getRecord(int fd, LineRecord *t)
{
    return ::tcgetattr(fd, t) == 0;
}
bool setRecord(int fd, const LineRecord &t)
{
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}
int speedOf(const LineRecord &t)
{
    return int(::cfgetospeed(&t)); // these systems give the speed as a number
}
constexpr tcflag_t SpeedBits = 0;
#endif

#ifdef CMSPAR
constexpr tcflag_t MarkSpaceBit = CMSPAR;
#else
constexpr tcflag_t MarkSpaceBit = 0;
#endif
#ifdef CRTSCTS
constexpr tcflag_t HardwareFlowBit = CRTSCTS;
#else
constexpr tcflag_t HardwareFlowBit = 0;
#endif
constexpr tcflag_t LineBits =
    SpeedBits | CSIZE | CSTOPB | PARENB | PARODD | MarkSpaceBit | HardwareFlowBit;
constexpr tcflag_t SoftwareFlowBits = IXON | IXOFF | IXANY;
} // namespace
#endif

bool ReadDeviceLineSettings(const QString &device, DeviceLineSettings *out)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    LineRecord t{};
    const bool ok = getRecord(fd, &t);
    ::close(fd);
    const int baud = ok ? speedOf(t) : 0;
    if (!ok || baud <= 0)
        return false;
    out->baudRate = baud;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        out->dataBits = 5;
        break;
    case CS6:
        out->dataBits = 6;
        break;
    case CS7:
        out->dataBits = 7;
        break;
    default:
        out->dataBits = 8;
        break;
    }
    out->parity = 'N';
    if (t.c_cflag & PARENB) {
        if (t.c_cflag & MarkSpaceBit)
            out->parity = (t.c_cflag & PARODD) ? 'M' : 'S';
        else
            out->parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    }
    out->stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    if (t.c_cflag & HardwareFlowBit)
        out->flowControl = 2;
    else
        out->flowControl = (t.c_iflag & IXON) ? 1 : 0;
    out->record = QByteArray(reinterpret_cast<const char *>(&t), sizeof t);
    return true;
#else
    Q_UNUSED(device);
    Q_UNUSED(out);
    return false;
#endif
}

bool RestoreDeviceLineSettings(qintptr handle, const DeviceLineSettings &settings)
{
#ifdef Q_OS_UNIX
    LineRecord driver{}, now{};
    if (settings.record.size() != int(sizeof driver) || !getRecord(int(handle), &now))
        return false;
    std::memcpy(&driver, settings.record.constData(), sizeof driver);
    // The rest of the open's raw mode stays: every byte goes out unchanged.
    now.c_cflag = (now.c_cflag & ~LineBits) | (driver.c_cflag & LineBits);
    now.c_iflag = (now.c_iflag & ~SoftwareFlowBits) | (driver.c_iflag & SoftwareFlowBits);
    now.c_cc[VSTART] = driver.c_cc[VSTART];
    now.c_cc[VSTOP] = driver.c_cc[VSTOP];
#if defined(Q_OS_LINUX)
    now.c_ispeed = driver.c_ispeed;
    now.c_ospeed = driver.c_ospeed;
#else
    ::cfsetispeed(&now, ::cfgetispeed(&driver));
    ::cfsetospeed(&now, ::cfgetospeed(&driver));
#endif
    return setRecord(int(handle), now);
#else
    Q_UNUSED(handle);
    Q_UNUSED(settings);
    return true;
#endif
}

bool SetFlowControlCharacters(qintptr handle, char xon, char xoff)
{
#ifdef Q_OS_UNIX
    LineRecord t{};
    if (!getRecord(int(handle), &t))
        return false;
    t.c_cc[VSTART] = cc_t(xon);
    t.c_cc[VSTOP] = cc_t(xoff);
    return setRecord(int(handle), t);
#else
    // Qt writes DC1 and DC3 into the port's settings itself.
    Q_UNUSED(handle);
    Q_UNUSED(xon);
    Q_UNUSED(xoff);
    return true;
#endif
}

qint64 PortOutputQueued(qintptr handle)
{
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    int queued = 0;
    if (::ioctl(int(handle), TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
#else
    Q_UNUSED(handle);
    return 0;
#endif
}

qint64 SocketUnacknowledged(qintptr socket)
{
#if defined(Q_OS_LINUX) && defined(SIOCOUTQ)
    int queued = 0;
    if (::ioctl(int(socket), SIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
#else
    Q_UNUSED(socket);
    return 0;
#endif
}

bool StandardOutputIsTerminal()
{
#if defined(Q_OS_UNIX)
    return ::isatty(STDOUT_FILENO) == 1;
#elif defined(Q_OS_WIN)
    return _isatty(_fileno(stdout)) != 0;
#else
    return false;
#endif
}
