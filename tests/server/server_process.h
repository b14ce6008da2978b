#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace bco::server::testing {

// The real bco-server program, started on a free loopback port over the given database and stopped with
// SIGTERM when the object goes. Construction returns once the server prints "listening on HOST:PORT".
class ServerProcess {
public:
    explicit ServerProcess(const QString &databaseUrl, const QStringList &extraArguments = {});
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    QString host() const { return host_; }
    int port() const { return port_; }

    // Sends SIGTERM and waits; answers the exit code (-1 when it had to be killed).
    int stop();
    // Everything the server wrote on standard error so far.
    QString log();

    // Runs the program to prepare a database (--init-only) and answers its exit code.
    static int prepare(const QString &databaseUrl, const QStringList &arguments,
                       QString *errorOutput = nullptr);

private:
    QProcess process_;
    QString host_;
    int port_ = 0;
    QString log_;
};

} // namespace bco::server::testing
