#include "LinkFixture.h"

#include <QDebug>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

bool LinkFixture::start(const QStringList &arguments)
{
    if (!sim.start(arguments)) {
        qWarning() << "emulator:" << sim.errorString();
        return false;
    }
    link.setHost(QStringLiteral("127.0.0.1"));
    link.setPortText(QString::number(sim.port()));
    return true;
}

bool LinkFixture::connectWaitingSend()
{
    if (!link.FAwaitConnect || !link.tiNetConnected->isActive())
        return false;
    link.tiNetConnected->stop();
    if (!QTest::qWaitFor([this] { return link.csNet->state() == QAbstractSocket::ConnectedState; },
                         10000))
        return false;
    link.tiNetConnectedTimer();
    return !link.FAwaitConnect;
}

bool LinkFixture::sendChecked(const QByteArray &text, int lines)
{
    link.SendWithStatus(text);
    if (!connectWaitingSend() || !sim.waitForBytes(text.size() + NetLink::StatusRequest.size()))
        return false;
    return QTest::qWaitFor([&] { return link.tiCheck->isActive(); }, 10000) &&
           QTest::qWaitFor([&] { return link.replies().lineCount() >= lines; }, 10000) &&
           link.replies().lineCount() == lines;
}
