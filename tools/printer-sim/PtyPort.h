#pragma once
// The serial side: a pseudo-terminal whose slave end the program opens as its serial port.
// Only POSIX systems have one; elsewhere open() fails with a message.
#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

class PtyPort : public QObject
{
    Q_OBJECT
public:
    explicit PtyPort(QObject *parent = nullptr);
    ~PtyPort() override;

    bool open(QString *error);
    QString slavePath() const { return m_slavePath; }

signals:
    void received(const QByteArray &bytes);

private:
    void readMaster();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
};
