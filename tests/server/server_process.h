#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace bco::server::testing {

// The real bco-server program, started on a free loopback port over the given database and stopped with
// SIGTERM when the object goes. Construction returns once the server prints "listening on HOST:PORT".
class ServerProcess {
public:
    explicit ServerProcess(const QString &databaseUrl, const QStringList &extraArguments = {},
                           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    QString host() const { return host_; }
    int port() const { return port_; }

    // Sends SIGTERM and waits; answers the exit code (-1 when it had to be killed).
    int stop();
    // Ends it at once with SIGKILL, as a power cut or the kernel would: nothing of its own runs after.
    void kill();
    // Everything the server wrote on standard error so far.
    QString log();
    // Waits until the log holds `text`; false when the time ran out or the server ended first.
    bool waitForLog(const QString &text, int milliseconds = 30000);

    // Runs the program to prepare a database (--init-only) and answers its exit code.
    static int prepare(const QString &databaseUrl, const QStringList &arguments,
                       QString *errorOutput = nullptr);
    // Runs the program with these arguments to its end (killed after `milliseconds`); answers its exit
    // code, -1 when it did not end by itself.
    static int runOnce(const QStringList &arguments, QString *output = nullptr,
                       QString *errorOutput = nullptr, int milliseconds = 300000);

private:
    QProcess process_;
    QString host_;
    int port_ = 0;
    QString log_;
};

// A socket connected to `port` on loopback that waits at most ten seconds to send or receive, or -1: for
// requests no HTTP client would send, or would send at once.
int connectToLoopback(int port);

} // namespace bco::server::testing
