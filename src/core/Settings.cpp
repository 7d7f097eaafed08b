#include "core/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <SimpleIni.h>

#include "core/Files.h"

#include <string>
#include <utility>
#include <vector>

namespace
{
const char Section[] = "EPC";
const char PortsSection[] = "PORTS";
const QByteArray ByteOrderMark("\xEF\xBB\xBF");

// Values are 8-bit text; Latin-1 keeps every byte as one character both ways.
QByteArray bytes(const QString &s)
{
    return s.toLatin1();
}

// The INI library reads its text only up to the first zero byte, and writes a section whose
// name is empty without its header, moving the section's keys to the top of the file. So the
// file's bytes are escaped on the way in and unescaped on the way out: a zero byte and the
// escape byte itself become two ordinary characters, and an empty section name gets a marker
// that stands for nothing. Every line then comes back as it was.
const char Escape = '\x01';
const char EscapedZero = '0';
const char EscapedEscape = '1';
const char EmptyName = '2';
// The library drops lines it cannot read (a bare word, "=value", a "[" without "]"), the
// indent of a comment, whatever follows "]" on a header line, and comments after the last
// entry. Such a line goes to it as a comment that carries the line; a header line as written
// goes in a comment just above the header it keeps; and a trailing comment block gets a section
// of its own to precede. The markers are taken out of its output again.
const char LineMark = '3';
const char HeaderMark = '4';
const char EndMark = '5';
const char EndSection[] = {Escape, EndMark, '\0'};

void appendEscaped(QByteArray &out, char c)
{
    if (c == '\0' || c == Escape)
        out.append(Escape).append(c == '\0' ? EscapedZero : EscapedEscape);
    else
        out.append(c);
}

QByteArray escaped(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text)
        appendEscaped(out, c);
    return out;
}

QByteArray unescaped(const char *text)
{
    QByteArray out;
    for (const char *p = text; *p; ++p) {
        if (*p != Escape || !p[1]) {
            out.append(*p);
            continue;
        }
        ++p;
        if (*p == EscapedZero)
            out.append('\0');
        else if (*p == EscapedEscape)
            out.append(Escape);
        else if (*p != EmptyName)
            out.append(Escape).append(*p);
    }
    return out;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isComment(char c)
{
    return c == ';' || c == '#';
}

QByteArray marked(char mark, const QByteArray &line)
{
    return QByteArray(";") + Escape + mark + line;
}

QByteArray endHeader()
{
    return QByteArray("[") + EndSection + ']';
}

// The header the library writes for a header line (its first "]" closes it).
QByteArray libraryHeader(const QByteArray &line, qsizetype open, qsizetype close)
{
    while (open + 1 < close && isBlank(line.at(open + 1)))
        ++open;
    while (close - 1 > open && isBlank(line.at(close - 1)))
        --close;
    const QByteArray name = line.mid(open + 1, close - open - 1);
    return '[' + (name.isEmpty() ? QByteArray(1, Escape) + EmptyName : name) + ']';
}

QByteArray libraryHeader(const QByteArray &line)
{
    const qsizetype open = line.indexOf('[');
    return libraryHeader(line, open, line.indexOf(']', open));
}

// One escaped line as the library is to see it; *comment tells whether it reads as one.
QByteArray forLibrary(const QByteArray &line, bool *comment)
{
    qsizetype start = 0;
    while (start < line.size() && isBlank(line.at(start)))
        ++start;
    *comment = start < line.size();
    if (start == line.size() || (start == 0 && isComment(line.at(0))))
        return line;
    const char first = line.at(start);
    if (first == '[') {
        const qsizetype close = line.indexOf(']', start);
        if (close >= 0) {
            *comment = false;
            const QByteArray header = libraryHeader(line, start, close);
            if (line == header || line == "[]")
                return header;
            return marked(HeaderMark, line) + '\n' + header;
        }
    } else if (!isComment(first) && line.indexOf('=', start) > start) {
        *comment = false;
        return line;
    }
    return marked(LineMark, line);
}

// The file's text as the library is to see it, line by line with the library's line breaks.
QByteArray forLibrary(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + 16);
    // The library keeps the comment lines at the very top apart and writes them first.
    bool fileComment = true;
    bool trailingComment = false;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i;
        while (end < text.size() && text.at(end) != '\r' && text.at(end) != '\n')
            ++end;
        qsizetype next = end;
        if (next < text.size())
            next += text.at(next) == '\r' && next + 1 < text.size() && text.at(next + 1) == '\n'
                        ? 2
                        : 1;
        bool comment = false;
        const QByteArray line = forLibrary(escaped(text.mid(i, end - i)), &comment);
        out.append(line).append(text.mid(end, next - end));
        i = next;
        fileComment = fileComment && comment && isComment(line.at(0));
        if (!line.trimmed().isEmpty())
            trailingComment = comment && !fileComment;
    }
    if (trailingComment) {
        if (!out.endsWith('\n') && !out.endsWith('\r'))
            out.append('\n');
        out.append(endHeader()).append('\n');
    }
    return out;
}

// The library's output with the markers taken out, then unescaped.
QByteArray fromLibrary(const QByteArray &text)
{
    QByteArray out;
    QByteArray header;
    QByteArray held;
    const QByteArray lineMark = marked(LineMark, {});
    const QByteArray headerMark = marked(HeaderMark, {});
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = text.indexOf('\n', i);
        if (end < 0)
            end = text.size();
        QByteArray line = text.mid(i, end - i);
        const QByteArray eol = text.mid(end, 1);
        i = end + 1;
        if (line.startsWith(lineMark)) {
            line.remove(0, lineMark.size());
        } else if (line.startsWith(headerMark)) {
            header = line.mid(headerMark.size());
            continue;
        } else if (line == endHeader()) {
            continue;
        } else if (!header.isEmpty() && line.isEmpty()) {
            // The library parts a file's top comments from what follows; a header line that
            // stood right under them comes back there.
            held.append(eol);
            continue;
        } else if (!header.isEmpty()) {
            if (line == libraryHeader(header))
                line = header;
            else
                out.append(held);
            header.clear();
            held.clear();
        }
        out.append(line).append(eol);
    }
    return unescaped(out.constData());
}

// Changes the first line of a key, as the key is read from there; later lines of the same key
// keep their values and comments, and the key keeps the file's spelling.
void setFirst(CSimpleIniA &ini, const char *section, const char *key, const QByteArray &value)
{
    CSimpleIniA::TNamesDepend lines;
    ini.GetAllValues(section, key, lines);
    std::string name = key;
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(section, keys);
    const CSimpleIniA::Entry::KeyOrder less;
    for (const auto &k : keys) {
        if (!less(k, CSimpleIniA::Entry(key)) && !less(CSimpleIniA::Entry(key), k))
            name = k.pItem;
    }
    std::vector<std::pair<std::string, std::string>> later;
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        if (it != lines.begin())
            later.emplace_back(it->pItem, it->pComment ? it->pComment : "");
    }
    ini.SetValue(section, name.c_str(), value.constData(), nullptr, true);
    for (const auto &[v, comment] : later)
        ini.SetValue(section, name.c_str(), v.c_str(), comment.empty() ? nullptr : comment.c_str());
}

bool parseInt(const QString &text, int *out)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (ok)
        *out = v;
    return ok;
}
} // namespace

struct SettingsFile::Impl {
    // Keys may stand twice: the first is the one read and written, the others stay.
    CSimpleIniA ini{false, true, false};
    // The library reads past a UTF-8 byte order mark and writes none.
    bool byteOrderMark = false;
};

SettingsFile::SettingsFile() : d(std::make_unique<Impl>())
{
    d->ini.SetSpaces(false);
}

SettingsFile::~SettingsFile() = default;

void SettingsFile::load(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        loadBytes(QByteArray());
        return;
    }
    loadBytes(f.readAll());
}

void SettingsFile::loadBytes(const QByteArray &data)
{
    d->ini.Reset();
    d->ini.SetSpaces(false);
    d->byteOrderMark = data.startsWith(ByteOrderMark);
    const QByteArray text = forLibrary(d->byteOrderMark ? data.mid(3) : data);
    if (d->ini.LoadData(text.constData(), size_t(text.size())) < 0)
        d->ini.Reset();
}

QString SettingsFile::value(const char *section, const char *key, const QString &def) const
{
    const char *v = d->ini.GetValue(section, key, nullptr);
    return v ? QString::fromLatin1(unescaped(v)) : def;
}

int SettingsFile::intValue(const char *section, const char *key, int def) const
{
    int v = def;
    const QString text = value(section, key);
    return parseInt(text, &v) ? v : def;
}

int DecodeParity(const QString &value)
{
    if (value.isEmpty())
        return 0;
    switch (value.at(0).toUpper().unicode()) {
    case 'E':
        return 2;
    case 'M':
        return 3;
    case 'O':
        return 1;
    case 'S':
        return 4;
    default:
        return 0;
    }
}

QString EncodeParity(int parity)
{
    static const char *names[] = {"None", "Odd", "Even", "Mark", "Space"};
    return QString::fromLatin1(parity >= 0 && parity <= 4 ? names[parity] : names[0]);
}

int DecodeFlowControl(const QString &value)
{
    if (value.isEmpty())
        return 2;
    switch (value.at(0).toUpper().unicode()) {
    case 'C':
        return 3;
    case 'N':
        return 0;
    case 'X':
        return 1;
    default:
        return 2;
    }
}

QString EncodeFlowControl(int flowControl)
{
    // The file's own labels: they name other handshakes than the numbers select, but stored
    // files rely on them decoding back to the same numbers.
    static const char *names[] = {"None", "XOn/XOff", "DTR/DSR", "CTS/RTS"};
    return QString::fromLatin1(flowControl >= 0 && flowControl <= 3 ? names[flowControl]
                                                                    : names[3]);
}

StoredSettings SettingsFile::read() const
{
    StoredSettings s;
    const int com = intValue(Section, "COM", -1);
    s.firstRun = com < 0;
    s.comPort = com < 0 ? 1 : com;
    s.baudRate = intValue(Section, "BAUD", 9600);
    s.parity = DecodeParity(value(Section, "PARITY", QStringLiteral("N")));
    s.dataBits = intValue(Section, "DATABITS", 8);
    s.stopBits = intValue(Section, "STOPBITS", 1) == 2 ? 2 : 1;
    s.flowControl = DecodeFlowControl(value(Section, "FLOWCTRL", QStringLiteral("D")));
    s.dataSize = intValue(Section, "DATASIZE", 96) == 96 ? 96 : 64;
    s.rfidData = value(Section, "RFIDDATA", QStringLiteral("0123456789ABCDEF00000000"));
    for (int i = 0; i < 5; ++i)
        s.recentFiles[i] = value(Section, QByteArray("FILENAME" + QByteArray::number(i + 1)));
    s.sendFileName = value(Section, "SENDFILENAME");
    s.tcpIpAddr = value(Section, "TCPIPADDR");
    for (int i = 0; i < 10; ++i)
        s.initFiles[i] = value(Section, QByteArray("INIFILE" + QByteArray::number(i)));
    s.stepSerial = intValue(Section, "STEPSERIAL", 0) != 0;

    CSimpleIniA::TNamesDepend keys;
    d->ini.GetAllKeys(PortsSection, keys);
    for (const auto &key : keys) {
        const QString name = QString::fromLatin1(unescaped(key.pItem)).trimmed();
        int n = 0;
        if (name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) &&
            parseInt(name.mid(3), &n) && n >= 1 && n <= 255)
            s.ports.insert(n, value(PortsSection, key.pItem).trimmed());
    }
    return s;
}

void SettingsFile::write(const StoredSettings &s)
{
    auto set = [this](const QByteArray &key, const QString &v) {
        setFirst(d->ini, Section, key.constData(), escaped(bytes(v)));
    };
    set("COM", QString::number(s.comPort));
    set("BAUD", QString::number(s.baudRate));
    set("PARITY", EncodeParity(s.parity));
    set("DATABITS", QString::number(s.dataBits));
    set("STOPBITS", QString::number(s.stopBits));
    set("FLOWCTRL", EncodeFlowControl(s.flowControl));
    set("DATAFORMAT", QString::number(s.dataFormat));
    set("DATASIZE", QString::number(s.dataSize));
    set("HRFIELD", QString::number(s.hrField));
    for (int i = 0; i < 5; ++i)
        set("FILENAME" + QByteArray::number(i + 1), s.recentFiles.value(i));
    set("SENDFILENAME", s.sendFileName);
    set("TCPIPADDR", s.tcpIpAddr);
    set("RFIDDATA", s.rfidData);
    set("STEPSERIAL", QString::number(int(s.stepSerial)));
    const int count = std::min<int>(int(s.initFiles.size()), 10);
    for (int i = 0; i < 10; ++i) {
        const QByteArray key = "INIFILE" + QByteArray::number(i);
        if (i < count)
            set(key, s.initFiles[i]);
        else
            d->ini.Delete(Section, key.constData());
    }
    // A trailing comment block stays at the end, after any section the write added.
    CSimpleIniA::TNamesDepend sections;
    d->ini.GetAllSections(sections);
    for (const auto &section : sections) {
        if (QByteArray(section.pItem) != EndSection)
            continue;
        const std::string comment = section.pComment ? section.pComment : "";
        d->ini.Delete(EndSection, nullptr);
        d->ini.SetValue(EndSection, nullptr, nullptr, comment.empty() ? nullptr : comment.c_str());
        break;
    }
}

QByteArray SettingsFile::toBytes() const
{
    std::string out;
    d->ini.Save(out);
    const QByteArray text = fromLibrary(QByteArray::fromStdString(out));
    return d->byteOrderMark ? ByteOrderMark + text : text;
}

bool SettingsFile::save(const QString &path, QString *error) const
{
    // A file marked read-only stays as it is even for a user the system lets write anyway
    // (root): replacing it would also drop the mark.
    const QFileInfo existing(path);
    if (existing.isFile() && !existing.permissions().testFlag(QFileDevice::WriteOwner)) {
        if (error)
            *error = QStringLiteral("The file is read-only");
        return false;
    }
    // A settings file in a folder we may not create files in (an installed copy) is still
    // written, in place. A new one is the user's alone: it names their files and printers.
    WholeFileOptions options;
    options.inPlaceFallback = true;
    options.ownerOnly = true;
    return WriteWholeFile(path, toBytes(), error, options);
}

QString SettingsPathFor(const QString &executable, const QString &configFolder)
{
    const QFileInfo exe(executable);
    const QString name = exe.completeBaseName() + QStringLiteral(".INI");
    const QString beside = exe.absoluteDir().filePath(name);
    // An installed copy (bin/ beside share/) belongs to every user: whoever may write its
    // folder (root) must not leave a file there that the others then read and cannot write.
    QDir prefix = exe.absoluteDir();
    const bool installed = prefix.dirName() == QLatin1String("bin") && prefix.cdUp() &&
                           QFileInfo(prefix.filePath(QStringLiteral("share"))).isDir();
    if (QFileInfo::exists(beside) || (!installed && QFileInfo(exe.absolutePath()).isWritable()))
        return beside;
    return QDir(configFolder).filePath(name);
}

QString DefaultSettingsPath()
{
    const QString path =
        SettingsPathFor(QCoreApplication::applicationFilePath(),
                        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}
