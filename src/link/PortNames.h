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

// A device's current line settings as its driver has them.
struct DeviceLineSettings {
    int baudRate = 9600;
    int dataBits = 8;
    char parity = 'N'; // N, O, E, M or S
    int stopBits = 1;
    int flowControl = 0; // 0 none, 1 XON/XOFF, 2 RTS/CTS
};
// Reads them without changing anything; empty where the platform cannot tell.
bool ReadDeviceLineSettings(const QString &device, DeviceLineSettings *out);
// Waits until the bytes the driver holds for an open port (handle) have left the wire, at most
// timeoutMs; when they cannot, discards them and returns false. True where the platform has
// no such queue to watch.
bool DrainPortOutput(qintptr handle, qint64 timeoutMs);
