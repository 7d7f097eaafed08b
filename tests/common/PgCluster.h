#pragma once
// A throw-away PostgreSQL cluster for tests and benchmarks: Debian's server binaries make it in
// a temporary folder, it listens on a Unix socket in that folder only, and it is stopped when
// this object goes. As root the server runs as "nobody" (root cannot run it).
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class PgCluster
{
public:
    PgCluster() = default;
    ~PgCluster();
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    // durable: keep the server's fsync (for timings); tests run without it.
    bool start(bool durable = false);
    void stop();
    // Why start() failed; missing() says the server binaries are not installed.
    QString error() const { return m_error; }
    bool missing() const { return m_missing; }
    // A new empty database and its address in libpq's URI form.
    QString createDatabase(const QString &name);

private:
    bool run(const QString &program, const QStringList &args);

    QTemporaryDir m_dir;
    QString m_bin;
    QString m_error;
    bool m_missing = false;
    bool m_running = false;
};
