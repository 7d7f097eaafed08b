#include "PgCluster.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace
{
constexpr const char *User = "quilbo";

bool asRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}
} // namespace

PgCluster::~PgCluster()
{
    stop();
}

bool PgCluster::run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (asRoot())
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                            m_bin + QLatin1Char('/') + program} +
                    args);
    else
        p.start(m_bin + QLatin1Char('/') + program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(p.readAll()));
        return false;
    }
    return true;
}

bool PgCluster::start(bool durable)
{
    QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versions.begin(), versions.end(),
              [](const QString &a, const QString &b) { return a.toDouble() > b.toDouble(); });
    for (const QString &v : versions) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(v);
        if (QFile::exists(bin + QStringLiteral("/initdb")) &&
            QFile::exists(bin + QStringLiteral("/pg_ctl"))) {
            m_bin = bin;
            break;
        }
    }
    if (m_bin.isEmpty()) {
        m_missing = true;
        m_error = QStringLiteral("no PostgreSQL server binaries (install the package postgresql)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
#ifdef Q_OS_UNIX
    if (asRoot()) {
        const passwd *pw = ::getpwnam("nobody");
        if (!pw || ::chown(QFile::encodeName(m_dir.path()).constData(), pw->pw_uid, pw->pw_gid)) {
            m_error = QStringLiteral("cannot give the cluster folder to nobody");
            return false;
        }
    }
#endif
    const QString data = m_dir.filePath(QStringLiteral("data"));
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), data, QStringLiteral("-U"), QLatin1String(User),
              QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")}))
        return false;
    QFile conf(data + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append)) {
        m_error = conf.errorString();
        return false;
    }
    conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\n%2")
                   .arg(m_dir.path(), durable ? QString()
                                              : QStringLiteral("fsync = off\n"
                                                               "synchronous_commit = off\n"))
                   .toUtf8());
    conf.close();
    if (!run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data, QStringLiteral("-l"),
                                        m_dir.filePath(QStringLiteral("log")), QStringLiteral("-w"),
                                        QStringLiteral("start")}))
        return false;
    m_running = true;
    return true;
}

void PgCluster::stop()
{
    if (!m_running)
        return;
    m_running = false;
    run(QStringLiteral("pg_ctl"),
        {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
         QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
}

QString PgCluster::createDatabase(const QString &name)
{
    const QString connection = QStringLiteral("pgcluster-admin");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(m_dir.path());
        db.setUserName(QLatin1String(User));
        db.setDatabaseName(QStringLiteral("postgres"));
        if (db.open()) {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
            if (!ok)
                m_error = q.lastError().text();
        } else {
            m_error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    if (!ok)
        return QString();
    return QStringLiteral("postgresql:///%1?host=%2&user=%3")
        .arg(name, QString::fromUtf8(QUrl::toPercentEncoding(m_dir.path())), QLatin1String(User));
}
