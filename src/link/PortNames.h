#pragma once
// COM port numbers to device names. The one place that knows the platform's naming.
#include <QMap>
#include <QString>

// Overrides from the settings file's "PORTS" section (COM7=/dev/ttyACM0), set at start.
extern QMap<int, QString> PortOverrides;

// Device for COMn: an override when one is set; otherwise "COMn" on Windows, and on other
// systems /dev/ttyS0 and /dev/ttyS1 for COM1 and COM2, /dev/ttyUSB0 upward from COM3.
QString PortDeviceName(int port);
// Cheap check used before trying to open a port: false when the device surely does not exist.
bool PortDeviceMayExist(int port);
