#include "link/PortNames.h"

#include <QFileInfo>

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
