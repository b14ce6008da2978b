#include "server_process.h"

#include <stdexcept>

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bco::server::testing {

ServerProcess::ServerProcess(const QString &databaseUrl, const QStringList &extraArguments,
                             const QProcessEnvironment &environment) {
    process_.setProgram(QStringLiteral(BCO_SERVER_PATH));
    process_.setProcessEnvironment(environment);
    process_.setArguments(QStringList{QStringLiteral("--db"), databaseUrl, QStringLiteral("--listen"),
                                      QStringLiteral("127.0.0.1:0")} +
                          extraArguments);
    process_.start();
    if (!process_.waitForStarted(10000))
        throw std::runtime_error("cannot start bco-server: " + process_.errorString().toStdString());
    const QRegularExpression listening(
        QStringLiteral("^listening on (127\\.0\\.0\\.1):(\\d+)( \\(TLS\\))?$"));
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (!process_.canReadLine() &&
            !process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (process_.state() != QProcess::Running)
                break;
            continue;
        }
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        const auto match = listening.match(line);
        if (match.hasMatch()) {
            host_ = match.captured(1);
            port_ = match.captured(2).toInt();
            return;
        }
    }
    const QString errors = QString::fromUtf8(process_.readAllStandardError());
    process_.kill();
    process_.waitForFinished();
    throw std::runtime_error("bco-server did not start listening: " + errors.toStdString());
}

ServerProcess::~ServerProcess() {
    stop();
}

int ServerProcess::stop() {
    if (process_.state() == QProcess::NotRunning)
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(30000)) {
        process_.kill();
        process_.waitForFinished();
        return -1;
    }
    log();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void ServerProcess::kill() {
    if (process_.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
    process_.waitForFinished(30000);
    log();
}

QString ServerProcess::log() {
    log_ += QString::fromUtf8(process_.readAllStandardError());
    return log_;
}

bool ServerProcess::waitForLog(const QString &text, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!log().contains(text)) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running)
            return false;
        process_.waitForReadyRead(50);
    }
    return true;
}

int ServerProcess::prepare(const QString &databaseUrl, const QStringList &arguments, QString *errorOutput) {
    return runOnce(QStringList{QStringLiteral("--db"), databaseUrl, QStringLiteral("--init-only")} +
                       arguments,
                   nullptr, errorOutput);
}

int ServerProcess::runOnce(const QStringList &arguments, QString *output, QString *errorOutput,
                           int milliseconds) {
    QProcess process;
    process.start(QStringLiteral(BCO_SERVER_PATH), arguments);
    if (!process.waitForFinished(milliseconds)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output != nullptr)
        *output = QString::fromUtf8(process.readAllStandardOutput());
    if (errorOutput != nullptr)
        *errorOutput = QString::fromUtf8(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

int connectToLoopback(int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket);
        return -1;
    }
    const timeval patience{10, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    return socket;
}

} // namespace bco::server::testing
