#include "link/PortNames.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
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
int baudOf(speed_t speed)
{
    static const struct {
        speed_t code;
        int baud;
    } table[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},   {B9600, 9600},
                 {B19200, 19200},   {B38400, 38400},   {B57600, 57600}, {B115200, 115200},
                 {B230400, 230400}, {B460800, 460800}, {B600, 600},     {B300, 300}};
    for (const auto &row : table)
        if (row.code == speed)
            return row.baud;
    return 0;
}
} // namespace
#endif

bool ReadDeviceLineSettings(const QString &device, DeviceLineSettings *out)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    termios t{};
    const bool ok = ::tcgetattr(fd, &t) == 0;
    ::close(fd);
    const int baud = ok ? baudOf(cfgetospeed(&t)) : 0;
    if (!ok || baud == 0)
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
#ifdef CMSPAR
        if (t.c_cflag & CMSPAR)
            out->parity = (t.c_cflag & PARODD) ? 'M' : 'S';
        else
#endif
            out->parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    }
    out->stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
#ifdef CRTSCTS
    if (t.c_cflag & CRTSCTS)
        out->flowControl = 2;
    else
#endif
        out->flowControl = (t.c_iflag & IXON) ? 1 : 0;
    return true;
#else
    Q_UNUSED(device);
    Q_UNUSED(out);
    return false;
#endif
}

bool DrainPortOutput(qintptr handle, qint64 timeoutMs)
{
#if defined(Q_OS_UNIX) && defined(TIOCOUTQ)
    const QDeadlineTimer deadline(qMax<qint64>(timeoutMs, 0));
    for (;;) {
        int queued = 0;
        if (::ioctl(int(handle), TIOCOUTQ, &queued) != 0 || queued == 0)
            return true;
        if (deadline.hasExpired()) {
            ::tcflush(int(handle), TCOFLUSH);
            return false;
        }
        QThread::msleep(2);
    }
#else
    Q_UNUSED(handle);
    Q_UNUSED(timeoutMs);
    return true;
#endif
}
