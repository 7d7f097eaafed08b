#pragma once
// Runs the printer emulator for a test: a free loopback port, a record of every byte it got,
// and its console lines. The process ends with this object (and with the test, should the
// test die first: it watches its standard input).
#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class PrinterSim : public QObject
{
    Q_OBJECT
public:
    explicit PrinterSim(QObject *parent = nullptr);
    ~PrinterSim() override;

    // Starts the emulator with these extra arguments (--reply fail, --slow, --pty ...);
    // --port 0, --record and --exit-on-stdin-eof are added. Waits for its start-up lines.
    bool start(const QStringList &arguments = QStringList(), int timeoutMs = 10000);
    void stop();

    quint16 port() const { return m_port; }
    QString ptyPath() const { return m_ptyPath; }
    QString errorString() const { return m_error; }

    QByteArray received() const; // every byte received so far, in order
    qint64 receivedSize() const;
    // Runs the event loop until at least n bytes have arrived; false on timeout.
    bool waitForBytes(qint64 n, int timeoutMs = 10000);

    QByteArray output() const { return m_output; } // console lines after the start-up ones
    bool waitForOutput(const QByteArray &text, int timeoutMs = 10000);

private:
    void readOutput();

    QProcess m_process;
    QTemporaryDir m_dir;
    QString m_recordPath;
    QByteArray m_output;
    quint16 m_port = 0;
    QString m_ptyPath;
    QString m_error;
};
