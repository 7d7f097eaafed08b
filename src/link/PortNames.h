#pragma once
// COM port numbers to device names. The one place that knows the platform's naming.
#include <QByteArray>
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
    int baudRate = 9600; // any speed the driver runs, not only the usual ones
    int dataBits = 8;
    char parity = 'N'; // N, O, E, M or S
    int stopBits = 1;
    int flowControl = 0; // 0 none, 1 XON/XOFF, 2 RTS/CTS
    QByteArray record;   // the driver's own settings record, to put back exactly
};
// Reads them without changing anything; false where the platform cannot tell.
bool ReadDeviceLineSettings(const QString &device, DeviceLineSettings *out);
// Puts the line part of what was read (speed, character size, parity, stop bits, handshake
// and its characters) back on an open port (handle) whose open replaced it.
bool RestoreDeviceLineSettings(qintptr handle, const DeviceLineSettings &settings);
// Sets the characters of XON/XOFF flow control on an open port; true where the platform sets
// them itself.
bool SetFlowControlCharacters(qintptr handle, char xon, char xoff);
// Bytes the driver of an open port still holds for the line; 0 where the platform cannot tell.
qint64 PortOutputQueued(qintptr handle);
// Bytes a connected TCP socket has sent that its peer has not acknowledged yet; 0 where the
// platform cannot tell.
qint64 SocketUnacknowledged(qintptr socket);

// Whether standard output goes to a terminal (progress lines are for a person, not a file).
bool StandardOutputIsTerminal();
