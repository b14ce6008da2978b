#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

#include <QString>

#include "server/transport/dispatcher.h"

namespace httplib {
class Server;
}

namespace bco::server {

struct HttpOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 0; // 0: any free port
    std::size_t bodyLimit = 64 * 1024 * 1024;
    // Each keep-alive connection holds a worker while it is open, so there must be one per client expected
    // at once (the forms keep one connection each).
    int threads = 32;
    // PEM files of the certificate (with its chain) and of its private key. With them the server speaks only
    // HTTPS; without them only plain HTTP, which it accepts to do on loopback alone (bind() refuses another
    // address), since sessions, passwords and the company's data would otherwise cross the network readable.
    QString tlsCertificate;
    QString tlsKey;
};

// 127.0.0.0/8, ::1 and "localhost".
bool isLoopback(const QString &host);

// The HTTP face of the dispatcher: POST /rpc/BCO11100.rdmLancContCorr/<method> with a CBOR body, answered
// with the dispatcher's status and CBOR body. Every other path is 404, PUT, PATCH and DELETE 405, a body over
// the limit 413, a body that is not declared application/cbor 400, and each of these still carries a CBOR
// `error`. What a request may send, and for how long, is bounded as bounded_connections.h says.
class HttpServer {
public:
    HttpServer(Dispatcher &dispatcher, HttpOptions options);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    bool usesTls() const { return !options_.tlsCertificate.isEmpty(); }

    // Binds the address; answers the port (the one picked when the options asked for 0). Throws
    // std::runtime_error when the address cannot be bound, or is not loopback and the server has no TLS.
    int bind();
    // Accepts calls until stop(); call after bind().
    void serve();
    // Safe from any thread, before or while serve() runs; serve() returns once running calls end.
    void stop();

private:
    Dispatcher &dispatcher_;
    HttpOptions options_;
    std::unique_ptr<httplib::Server> server_;
    int listeningSocket_ = -1;
    std::atomic<bool> serving_{false};
    std::atomic<bool> stopping_{false};
};

} // namespace bco::server
