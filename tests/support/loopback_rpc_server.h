#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <QString>

#include "framework/data/variant.h"

namespace httplib {
class Server;
}

namespace bco::test {

// A stand-in application server on 127.0.0.1 and a free port, answering POST /rpc/<server>/<method> the way
// the real one does (statuses and bodies), for the remote-call paths that the real server cannot be made to
// take. Methods are matched without regard to case. Stopped when destroyed.
class LoopbackRpcServer {
public:
    // Changes by-reference arguments in place and answers the method's result; a thrown std::exception
    // answers the method's failure with its message.
    using Handler = std::function<Variant(VariantList &args)>;

    // What one call carried, as the server saw it.
    struct Call {
        QString method;
        std::string authorization;
        int remotePort = 0;
    };

    explicit LoopbackRpcServer(const QString &serverName = QStringLiteral("BCO11100.rdmLancContCorr"));
    ~LoopbackRpcServer();
    LoopbackRpcServer(const LoopbackRpcServer &) = delete;
    LoopbackRpcServer &operator=(const LoopbackRpcServer &) = delete;

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return port_; }

    void on(const QString &method, Handler handler);
    // Answers every call of the method with these bytes, whatever it carries: for malformed answers.
    void answerRaw(const QString &method, int status, const std::string &contentType,
                   const std::string &body);
    // Refuses with 401 every call without "Authorization: Bearer <token>".
    void requireToken(const QString &token);
    // Refuses with 413 every request body longer than this.
    void limitBody(size_t bytes);
    // Passes every call it has no handler for on to a server on 127.0.0.1 and that port, and its answer back.
    void relayTo(int port);
    // Runs before each call relayed, on the server's thread, with the call's method.
    void beforeRelaying(std::function<void(const QString &method)> hook);
    // Passes the method's next call on, lets the server answer, then closes the connection without a byte
    // of the answer: a call that ran, its answer lost. The calls after it are relayed whole.
    void loseNextAnswerOf(const QString &method);

    std::vector<Call> calls() const;

private:
    struct Raw {
        int status;
        std::string contentType;
        std::string body;
    };

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    QString serverName_;
    mutable std::mutex mutex_;
    std::map<QString, Handler> handlers_;
    std::map<QString, Raw> raw_;
    std::string requiredAuthorization_;
    size_t bodyLimit_ = 0;
    int relayPort_ = 0;
    std::function<void(const QString &method)> beforeRelaying_;
    std::set<QString> answersLost_;
    std::vector<Call> calls_;
};

} // namespace bco::test
