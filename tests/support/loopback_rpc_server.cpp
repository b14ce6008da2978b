#include "support/loopback_rpc_server.h"

#include <chrono>
#include <stdexcept>

#include <httplib.h>

#include "framework/remote/wire_codec.h"

namespace bco::test {

namespace {

void answer(httplib::Response &response, int status, const QByteArray &body) {
    response.status = status;
    response.set_content(body.constData(), static_cast<size_t>(body.size()), CborContentType);
}

// The request as it came, to the server at `port`, and its answer back; with `loseAnswer`, the headers go
// out and the connection closes where the body should follow.
void relay(const httplib::Request &request, httplib::Response &response, int port, bool loseAnswer) {
    httplib::Client server("127.0.0.1", port);
    server.set_read_timeout(std::chrono::minutes(5));
    httplib::Headers headers;
    if (request.has_header("Authorization"))
        headers.emplace("Authorization", request.get_header_value("Authorization"));
    const auto relayed =
        server.Post(request.path, headers, request.body, request.get_header_value("Content-Type"));
    if (!relayed)
        return answer(response, 502, encodeError(QStringLiteral("the relayed server did not answer")));
    if (loseAnswer) {
        response.set_content_provider(relayed->body.size(), CborContentType,
                                      [](size_t, size_t, httplib::DataSink &) { return false; });
        return;
    }
    response.status = relayed->status;
    response.set_content(relayed->body, relayed->get_header_value("Content-Type").c_str());
}

} // namespace

LoopbackRpcServer::LoopbackRpcServer(const QString &serverName)
    : server_(std::make_unique<httplib::Server>())
    , serverName_(serverName) {
    server_->Post(R"(/rpc/([^/]+)/([^/]+))", [this](const httplib::Request &request,
                                                    httplib::Response &response) {
        const QString server = QString::fromStdString(request.matches[1]);
        const QString method = QString::fromStdString(request.matches[2]);
        Handler handler;
        Raw raw;
        bool isRaw = false;
        int relayPort = 0;
        bool loseAnswer = false;
        std::function<void(const QString &)> beforeRelaying;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            calls_.push_back({method, request.get_header_value("Authorization"), request.remote_port});
            if (!requiredAuthorization_.empty() &&
                request.get_header_value("Authorization") != requiredAuthorization_)
                return answer(response, 401, encodeError(QStringLiteral("no valid session token")));
            if (bodyLimit_ > 0 && request.body.size() > bodyLimit_)
                return answer(response, 413,
                              encodeError(QStringLiteral("request body over %1 bytes").arg(bodyLimit_)));
            if (const auto found = raw_.find(method.toUpper()); found != raw_.end()) {
                raw = found->second;
                isRaw = true;
            } else if (const auto known = handlers_.find(method.toUpper());
                       server.compare(serverName_, Qt::CaseInsensitive) == 0 && known != handlers_.end()) {
                handler = known->second;
            }
            relayPort = relayPort_;
            loseAnswer = answersLost_.erase(method.toUpper()) > 0;
            beforeRelaying = beforeRelaying_;
        }
        if (!handler && !isRaw && relayPort > 0) {
            if (beforeRelaying)
                beforeRelaying(method);
            return relay(request, response, relayPort, loseAnswer);
        }
        if (isRaw) {
            response.status = raw.status;
            response.set_content(raw.body, raw.contentType.c_str());
            return;
        }
        if (!handler)
            return answer(response, 404, encodeError(QStringLiteral("unknown method %1").arg(method)));
        VariantList args;
        try {
            args = decodeRequest(
                QByteArrayView(request.body.data(), static_cast<qsizetype>(request.body.size())));
        } catch (const DecodeError &error) {
            return answer(response, 400, encodeError(QString::fromUtf8(error.what())));
        }
        try {
            const Variant result = handler(args);
            answer(response, 200, encodeAnswer(result, args));
        } catch (const std::exception &error) {
            answer(response, 200, encodeError(QString::fromUtf8(error.what())));
        }
    });
    server_->Post(R"(/rpc-batch/.*)", [this](const httplib::Request &request, httplib::Response &response) {
        int relayPort = 0;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            calls_.push_back(
                {QStringLiteral("batch"), request.get_header_value("Authorization"), request.remote_port});
            relayPort = relayPort_;
        }
        if (relayPort == 0)
            return answer(response, 404, encodeError(QStringLiteral("no batches here")));
        relay(request, response, relayPort, false);
    });
    server_->set_tcp_nodelay(true);
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0)
        throw std::runtime_error("the loopback server could not bind a port on 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() does nothing to a server that is not running yet, which would leave the thread in accept().
    while (!server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackRpcServer::~LoopbackRpcServer() {
    server_->stop();
    thread_.join();
}

void LoopbackRpcServer::on(const QString &method, Handler handler) {
    std::lock_guard<std::mutex> guard(mutex_);
    handlers_[method.toUpper()] = std::move(handler);
}

void LoopbackRpcServer::answerRaw(const QString &method, int status, const std::string &contentType,
                                  const std::string &body) {
    std::lock_guard<std::mutex> guard(mutex_);
    raw_[method.toUpper()] = Raw{status, contentType, body};
}

void LoopbackRpcServer::requireToken(const QString &token) {
    std::lock_guard<std::mutex> guard(mutex_);
    requiredAuthorization_ = "Bearer " + token.toStdString();
}

void LoopbackRpcServer::limitBody(size_t bytes) {
    std::lock_guard<std::mutex> guard(mutex_);
    bodyLimit_ = bytes;
}

void LoopbackRpcServer::relayTo(int port) {
    std::lock_guard<std::mutex> guard(mutex_);
    relayPort_ = port;
}

void LoopbackRpcServer::beforeRelaying(std::function<void(const QString &method)> hook) {
    std::lock_guard<std::mutex> guard(mutex_);
    beforeRelaying_ = std::move(hook);
}

void LoopbackRpcServer::loseNextAnswerOf(const QString &method) {
    std::lock_guard<std::mutex> guard(mutex_);
    answersLost_.insert(method.toUpper());
}

std::vector<LoopbackRpcServer::Call> LoopbackRpcServer::calls() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return calls_;
}

} // namespace bco::test
