#include "PrinterSim.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

PrinterSim::PrinterSim(QObject *parent) : QObject(parent)
{
    m_recordPath = m_dir.filePath(QStringLiteral("received.bin"));
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &PrinterSim::readOutput);
}

PrinterSim::~PrinterSim()
{
    stop();
}

bool PrinterSim::start(const QStringList &arguments, int timeoutMs)
{
    QFile::remove(m_recordPath);
    m_output.clear();
    m_port = 0;
    m_ptyPath.clear();
    const bool wantPty = arguments.contains(QStringLiteral("--pty"));
    QStringList args{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--record"),
                     m_recordPath, QStringLiteral("--exit-on-stdin-eof")};
    args += arguments;
    m_process.start(QStringLiteral(QUILBO_PRINTER_SIM), args);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = m_process.errorString();
        return false;
    }

    // The start-up lines: "listening 127.0.0.1:PORT", then "pty PATH" when asked for.
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        int eol;
        while ((eol = m_output.indexOf('\n')) >= 0) {
            const QByteArray line = m_output.left(eol).trimmed();
            m_output.remove(0, eol + 1);
            if (line.startsWith("listening ")) {
                m_port = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
            } else if (line.startsWith("pty ")) {
                m_ptyPath = QString::fromLocal8Bit(line.mid(4));
            }
        }
        if (m_port != 0 && (!wantPty || !m_ptyPath.isEmpty()))
            return true;
        if (m_process.state() != QProcess::Running || deadline.hasExpired() ||
            !m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            m_error = QStringLiteral("the emulator did not start (exit code %1)")
                          .arg(m_process.exitCode());
            stop();
            return false;
        }
    }
}

void PrinterSim::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void PrinterSim::readOutput()
{
    m_output += m_process.readAllStandardOutput();
}

QByteArray PrinterSim::received() const
{
    QFile f(m_recordPath);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

qint64 PrinterSim::receivedSize() const
{
    return QFileInfo(m_recordPath).size();
}

bool PrinterSim::waitForBytes(qint64 n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return receivedSize() >= n; }, timeoutMs);
}

bool PrinterSim::waitForOutput(const QByteArray &text, int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_output.contains(text); }, timeoutMs);
}
