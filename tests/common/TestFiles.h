#pragma once
// What many tests share: the editor's default format text as the printer gets it, and whole
// files written and read in one call. Header only, so that tests without windows use it too.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

// The editor's text before any file is opened (a format packet, an empty line, a batch
// packet), written out here so that a change of the program's copy shows in the tests.
inline const QStringList &DefaultFormatText()
{
    static const QStringList lines = {
        QStringLiteral("{F,1,A,R,E,100,400,\"1epc4x1\"|"),
        QStringLiteral("X,1,24|"),
        QStringLiteral("R,60|"),
        QStringLiteral("T,2,24,V,15,70,0,50,14,12,A,L,0,0,1|"),
        QStringLiteral("R,4,1,1,24,1,1|"),
        QStringLiteral("C,45,80,0,50,13,13,O,L,0,0,\"Velmo Corvane RFID\",1|"),
        QStringLiteral("C,15,20,0,50,14,14,O,L,0,0,\"EPC\",1|"),
        QStringLiteral("R,61|"),
        QStringLiteral("G,91,7,330,0,0|"),
        QStringLiteral("R,61|"),
        QStringLiteral("}"),
        QString(),
        QStringLiteral("{B,1,N,1|E,0,0,1,1,0,1|"),
        QStringLiteral("1,\"1234567890ABCDEF00000000\"|"),
        QStringLiteral("}"),
    };
    return lines;
}

// Lines as the printer gets them: each followed by CR LF.
inline QByteArray CrLfLines(const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines)
        out += line.toLatin1() + "\r\n";
    return out;
}

// The format packet of the default text (its first eleven lines) as sent.
inline QByteArray DefaultFormatBytes()
{
    return CrLfLines(DefaultFormatText().mid(0, 11));
}

// The status text of a send a printer's close cut short after it had taken `taken` bytes:
// what the program handed on may be more (buffers), never less, and never all of it.
inline bool ClosedAfter(const QString &status, qint64 taken, qint64 total)
{
    const QString head = QStringLiteral("Connection closed: ");
    const QString tail = QStringLiteral(" of %1 bytes sent.").arg(total);
    if (!status.startsWith(head) || !status.endsWith(tail))
        return false;
    bool number = false;
    const qint64 went =
        status.mid(head.size(), status.size() - head.size() - tail.size()).toLongLong(&number);
    return number && went >= taken && went < total;
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

#ifdef Q_OS_UNIX
// While it lives, files take no more than `room` bytes each, and a write beyond fails as on a
// full disk (for any user, without a file system of its own to fill).
class FullDisk
{
public:
    explicit FullDisk(rlim_t room = 0)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        const rlimit full{room, m_old.rlim_max};
        m_on = setrlimit(RLIMIT_FSIZE, &full) == 0;
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &m_old); }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;
    bool on() const { return m_on; }

private:
    rlimit m_old{};
    bool m_on = false;
};
#endif
