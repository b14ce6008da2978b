#include "server/transport/http_server.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <httplib.h>
#include <arpa/inet.h>
#include <malloc.h>
#include <sys/socket.h>

#include "framework/remote/wire_codec.h"
#include "server/transport/batch_route.h"
#include "server/transport/bounded_connections.h"

namespace bco::server {

namespace {

const char *RpcPattern = R"(/rpc/BCO11100\.rdmLancContCorr/([^/]+))";
const char *BatchPattern = R"(/rpc-batch/BCO11100\.rdmLancContCorr)";

QString statusMessage(int status, std::size_t bodyLimit) {
    switch (status) {
    case 404:
        return QStringLiteral("no such path: calls go to /rpc/BCO11100.rdmLancContCorr/<method>");
    case 405:
        return QStringLiteral("calls are made with POST");
    case 413:
        return QStringLiteral("request body over the limit of %1 bytes").arg(bodyLimit);
    case 415:
        return QStringLiteral("a body is sent as it is, not compressed");
    // The library refuses a Range header it cannot read before any route sees the request, which would
    // otherwise have its whole answer: nothing ran.
    case 416:
        return QStringLiteral(
            "the request's Range header cannot be read: an answer is sent whole, send none");
    default:
        return QStringLiteral("HTTP status %1").arg(status);
    }
}

// The method a path names, or the path when it names none.
QString methodOfPath(const std::string &path) {
    const std::string prefix = "/rpc/BCO11100.rdmLancContCorr/";
    return QString::fromStdString(path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path);
}

// An answer is written from its own bytes, in the pieces it was encoded in: copying a long list into the
// library's string first would cost a good share of what encoding it did. A refusal goes in the library's
// string, where the error handler below looks for a body.
void sendBody(httplib::Response &response, const ByteChain &body) {
    if (response.status != 200 || body.isEmpty()) {
        response.set_content(body.joined().toStdString(), CborContentType);
        return;
    }
    response.set_content_provider(static_cast<std::size_t>(body.size()), CborContentType,
                                  [body](std::size_t offset, std::size_t length, httplib::DataSink &sink) {
                                      return body.writeFrom(
                                          static_cast<qsizetype>(offset), static_cast<qsizetype>(length),
                                          [&sink](const char *bytes, qsizetype run) {
                                              return sink.write(bytes, static_cast<std::size_t>(run));
                                          });
                                  });
}

// A call that sent this many bytes (an import, a statement) decoded them into several times as much, freed
// once it ran: the allocator would keep it for good, and a server that ran one import would stay that large
// until it stops. A long answer (an account's list) is kept: the next one reuses it, where fresh pages would
// cost a fault each.
constexpr qsizetype LargeRequestBytes = 4 * 1024 * 1024;

void giveBackWhatALargeRequestFreed(qsizetype requestBytes) {
    if (requestBytes >= LargeRequestBytes)
        malloc_trim(0);
}

// What a request may send besides its body: its line and headers, and apart from them a chunked body's
// framing.
constexpr std::size_t HeadBytes = 64 * 1024;
// How long a request's line and headers may take to come once they begin: a client sends them at once, and
// one that trickles them would hold a worker that other clients wait for.
constexpr std::chrono::seconds HeadTime{10};
// How slowly a body may come: at least 16 KiB a second on average (far below any office link, so that an
// import of many megabytes over a slow one still goes through), once it has had as long as a head to start.
// A client that sends a body a byte now and then would otherwise hold a worker for hours.
constexpr std::chrono::seconds BodyGrace = HeadTime;
constexpr std::size_t BodyBytesPerSecond = 16 * 1024;

// The body of a call, read into room taken once for the length the client declares, and refused past the
// limit whether declared or chunked (the library bounds only a declared length). Answers false, with the
// response's status set (the error handler gives it its text), when the body is refused or cannot be read.
// An answer to a request not read to its end: its connection closes after it (see requestReadWhole).
void answerUnread(httplib::Response &response, int status, const ByteChain &body) {
    response.status = status;
    response.set_header("Connection", "close");
    response.set_content(body.joined().toStdString(), CborContentType);
}

bool ambiguousLength(const httplib::Request &request) {
    const std::size_t lengths = request.get_header_value_count("Content-Length");
    const std::size_t codings = request.get_header_value_count("Transfer-Encoding");
    if (lengths > 1 || codings > 1 || (lengths == 1 && codings == 1))
        return true;
    if (lengths == 1) {
        const std::string length = request.get_header_value("Content-Length");
        return length.empty() ||
               !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    return codings == 1 && QByteArray::fromStdString(request.get_header_value("Transfer-Encoding"))
                                   .trimmed()
                                   .compare("chunked", Qt::CaseInsensitive) != 0;
}

// Whether the body comes compressed. The library would inflate it as it is read, to whatever size, before
// its length could be refused: two megabytes that inflate to gigabytes would hold a worker and a core for
// seconds, before any session was asked for. No client of the server compresses what it sends.
bool compressed(const httplib::Request &request) {
    const std::string encoding = request.get_header_value("Content-Encoding");
    return !encoding.empty() && encoding != "identity";
}

bool readBody(const httplib::Request &request, httplib::Response &response,
              const httplib::ContentReader &reader, std::size_t limit, QByteArray &body) {
    if (compressed(request)) {
        response.status = 415;
        return false;
    }
    const std::uint64_t declared = request.get_header_value<std::uint64_t>("Content-Length");
    if (declared > 0)
        body.reserve(static_cast<qsizetype>(std::min<std::uint64_t>(declared, limit)));
    bool overLimit = false;
    const bool read = reader([&](const char *data, std::size_t length) {
        // Past the limit the rest is read and dropped, so that the connection is left at the next request;
        // the connection's own bound cuts off a body that goes on.
        if (overLimit || length > limit - static_cast<std::size_t>(body.size())) {
            overLimit = true;
            body = QByteArray();
            return true;
        }
        body.append(data, static_cast<qsizetype>(length));
        return true;
    });
    if (read)
        requestReadWhole();
    if (read && !overLimit)
        return true;
    body = QByteArray();
    response.status = overLimit || response.status == 413 ? 413 : 400;
    return false;
}

} // namespace

bool isLoopback(const QString &host) {
    const QByteArray text = host.trimmed().toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.constData(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6);
    return host.trimmed().compare(u"localhost", Qt::CaseInsensitive) == 0;
}

HttpServer::HttpServer(Dispatcher &dispatcher, HttpOptions options)
    : dispatcher_(dispatcher)
    , options_(std::move(options))
    , server_(makeBoundedServer(
          options_.tlsCertificate, options_.tlsKey,
          {HeadBytes, HeadTime, options_.bodyLimit + HeadBytes, BodyGrace, BodyBytesPerSecond},
          static_cast<std::size_t>(options_.threads))) {
    server_->set_payload_max_length(options_.bodyLimit);
    // An answer goes out as headers and body in two writes; without this the body waits for the client's
    // delayed acknowledgement of the headers (some 40 ms on every call).
    server_->set_tcp_nodelay(true);
    // Kept to widen the queue of connections waiting to be accepted once the socket listens (bind()).
    server_->set_socket_options([this](socket_t socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        listeningSocket_ = static_cast<int>(socket);
    });
    server_->set_keep_alive_max_count(100000);
    // An idle keep-alive connection holds its worker until this runs out, and stopping waits for every
    // worker, so it is short; a client whose connection was closed while idle simply opens another.
    server_->set_keep_alive_timeout(2);
    server_->set_read_timeout(60, 0);
    // A client that stops reading its answer holds a worker until a write of it times out, for each of the
    // answer's writes: thirty such clients held every worker for two minutes. A client that reads frees room
    // for the next write within moments, however slow its link.
    server_->set_write_timeout(15, 0);

    // A request whose length could be read two ways (a Content-Length beside a chunked body, two lengths,
    // a length with a sign, a coding other than chunked), that names two sessions, or whose head holds a line
    // that readers read differently (requestHeadIsSuspect), is refused before anything of it is read, and its
    // connection closed: a proxy in front may read it the other way, and what one of them takes for the next
    // request would run as one.
    server_->set_pre_routing_handler([this](const httplib::Request &request, httplib::Response &response) {
        // An answer goes whole, whatever range of it a request asks for, as a server may answer one: the
        // library would send the bytes asked for under status 200 (an error's too), which no decoder can tell
        // from an answer cut short. The request is the library's own, not const; only its parsed ranges go.
        const_cast<httplib::Request &>(request).ranges.clear();
        const bool ambiguous = ambiguousLength(request);
        // Two sessions named: which one the call would run under depends on the reader.
        const bool twoSessions = request.get_header_value_count("Authorization") > 1;
        if (!ambiguous && !twoSessions && !requestHeadIsSuspect())
            return httplib::Server::HandlerResponse::Unhandled;
        const QString message = ambiguous     ? QStringLiteral("the request's length is given ambiguously")
                                : twoSessions ? QStringLiteral("the request names its session twice")
                                              : QStringLiteral("the request's head is written ambiguously");
        dispatcher_.logTransportRefusal(methodOfPath(request.path), 400, message);
        answerUnread(response, 400, encodeError(message));
        return httplib::Server::HandlerResponse::Handled;
    });

    const std::size_t limit = options_.bodyLimit;
    // A body is read here rather than by the library, which would hold it, grown by doubling, until the call
    // has run: the call keeps only what it decodes. A refused body gets its error from the handler below.
    server_->Post(RpcPattern, [this, limit](const httplib::Request &request, httplib::Response &response,
                                            const httplib::ContentReader &reader) {
        const QString method = QString::fromStdString(request.matches[1].str());
        if (const auto refusal = dispatcher_.refusalBeforeBody(
                method, QString::fromStdString(request.get_header_value("Authorization")))) {
            answerUnread(response, refusal->status, refusal->body);
            return;
        }
        QByteArray body;
        if (!readBody(request, response, reader, limit, body))
            return;
        if (request.get_header_value("Content-Type").rfind(CborContentType, 0) != 0) {
            const QString message =
                QStringLiteral("the body must be declared %1").arg(QString::fromLatin1(CborContentType));
            dispatcher_.logTransportRefusal(method, 400, message);
            response.status = 400;
            response.set_content(encodeError(message).toStdString(), CborContentType);
            return;
        }
        const qsizetype requestBytes = body.size();
        const RpcResponse answer = dispatcher_.handle(
            method, QString::fromStdString(request.get_header_value("Authorization")), std::move(body));
        giveBackWhatALargeRequestFreed(requestBytes);
        response.status = answer.status;
        sendBody(response, answer.body);
    });
    server_->Post(BatchPattern, [this, limit](const httplib::Request &request, httplib::Response &response,
                                              const httplib::ContentReader &reader) {
        if (const auto refusal = batchRefusalBeforeBody(
                dispatcher_, QString::fromStdString(request.get_header_value("Authorization")))) {
            answerUnread(response, refusal->status, refusal->body);
            return;
        }
        QByteArray body;
        if (!readBody(request, response, reader, limit, body))
            return;
        const RpcResponse answer =
            request.get_header_value("Content-Type").rfind(CborContentType, 0) != 0
                ? RpcResponse{400, encodeError(QStringLiteral("the body must be declared %1")
                                                   .arg(QString::fromLatin1(CborContentType)))}
                : handleBatch(dispatcher_, QString::fromStdString(request.get_header_value("Authorization")),
                              body);
        response.status = answer.status;
        sendBody(response, answer.body);
    });
    // Any other path, and any other method that carries a body, is refused without the body being kept.
    const auto refuseWith = [](int status) {
        return [status](const httplib::Request &request, httplib::Response &response,
                        const httplib::ContentReader &reader) {
            if (compressed(request))
                response.status = 415;
            else if (reader([](const char *, std::size_t) { return true; })) {
                requestReadWhole();
                response.status = status;
            } else if (response.status < 400)
                response.status = 400;
        };
    };
    server_->Post(".*", refuseWith(404));
    server_->Put(".*", refuseWith(405));
    server_->Patch(".*", refuseWith(405));
    server_->Delete(".*", refuseWith(405));
    // Statuses the library sets by itself (no route, body too large) still answer a CBOR error.
    server_->set_error_handler(httplib::Server::HandlerWithResponse(
        [this, limit](const httplib::Request &request, httplib::Response &response) {
            if (!requestWasReadWhole() && !response.has_header("Connection"))
                response.set_header("Connection", "close");
            if (!response.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            const QString message = statusMessage(response.status, limit);
            dispatcher_.logTransportRefusal(methodOfPath(request.path), response.status, message);
            response.set_content(encodeError(message).toStdString(), CborContentType);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server_->set_exception_handler([](const httplib::Request &, httplib::Response &response,
                                      std::exception_ptr) {
        response.status = 500;
        response.set_content(encodeError(QStringLiteral("internal error")).toStdString(), CborContentType);
    });
}

HttpServer::~HttpServer() = default;

int HttpServer::bind() {
    if (!usesTls() && !isLoopback(options_.host))
        throw std::runtime_error("refusing to listen on " + options_.host.toStdString() +
                                 " without TLS: off loopback the server needs --tls-cert and --tls-key");
    const std::string host = options_.host.toStdString();
    int port = options_.port;
    if (port == 0) {
        port = server_->bind_to_any_port(host);
    } else if (!server_->bind_to_port(host, port)) {
        port = -1;
    }
    if (port < 0)
        throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(options_.port));
    // The library listens with a queue of five, too few for a room of clients connecting at once: the
    // connections beyond it are dropped after their handshake and fail on their first call. Listening again
    // on the same socket only widens the queue.
    if (listeningSocket_ >= 0)
        ::listen(listeningSocket_, SOMAXCONN);
    return port;
}

void HttpServer::serve() {
    serving_ = true;
    if (!stopping_)
        server_->listen_after_bind();
    serving_ = false;
}

void HttpServer::stop() {
    stopping_ = true;
    // The library ignores a stop that comes before its loop runs (a signal right after "listening on"), so
    // this waits until the loop runs or serve() has given up.
    while (serving_ && !server_->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server_->stop();
}

} // namespace bco::server
