#pragma once
// The settings file: one section "EPC", written once at close. Section and key names match
// without regard to case, and every other line of a user's file survives a write.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>

// What the file holds, decoded. Start values are the defaults of a missing key.
struct StoredSettings {
    int comPort = 1; // "COM"; missing or negative gives 1 and sets firstRun
    bool firstRun = true;
    int baudRate = 9600; // "BAUD"
    int parity = 0;      // "PARITY" by first letter
    int dataBits = 8;    // "DATABITS"
    int stopBits = 1;    // "STOPBITS": 2 if 2, else 1
    int flowControl = 2; // "FLOWCTRL" by first letter
    int dataSize = 96;   // "DATASIZE": 96 if 96, else 64
    QString rfidData = QStringLiteral("0123456789ABCDEF00000000");
    QStringList recentFiles = QStringList(QVector<QString>(5)); // FILENAME1..5
    QString sendFileName;
    QString tcpIpAddr;
    QStringList initFiles = QStringList(QVector<QString>(10)); // INIFILE0..9
    QMap<int, QString> ports; // section "PORTS": COMn=device, read and written back unchanged
    bool stepSerial = false;  // "STEPSERIAL": 1 steps the GS1 serial field, not the whole value

    // Written at close, never read.
    int dataFormat = 2;
    int hrField = 0;
};

int DecodeParity(const QString &value);
QString EncodeParity(int parity);
int DecodeFlowControl(const QString &value);
QString EncodeFlowControl(int flowControl);

class SettingsFile
{
public:
    SettingsFile();
    ~SettingsFile();
    SettingsFile(const SettingsFile &) = delete;
    SettingsFile &operator=(const SettingsFile &) = delete;

    // A missing or unreadable file leaves the settings empty: every key reads as its default.
    void load(const QString &path);
    void loadBytes(const QByteArray &bytes);

    StoredSettings read() const;
    // Writes every key of the write list, in order. INIFILE keys at or above initFiles.size()
    // (capped at ten) are removed so that deleted entries do not come back.
    void write(const StoredSettings &s);

    QByteArray toBytes() const;
    // All or nothing: the old file stays whole when the new one cannot be written.
    bool save(const QString &path, QString *error = nullptr) const;

    QString value(const char *section, const char *key, const QString &def = QString()) const;
    int intValue(const char *section, const char *key, int def) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Where the settings live: the executable's path with ".INI" for its extension, or the same
// name in the user's configuration folder when that file is absent and the executable's folder
// is unwritable or part of an installation (a "bin" folder whose parent holds "share").
QString SettingsPathFor(const QString &executable, const QString &configFolder);
QString DefaultSettingsPath(); // for this executable, the folder made when missing
