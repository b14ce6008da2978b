#include "framework/remote/net_connection.h"

#include <algorithm>
#include <csignal>
#include <mutex>
#include <optional>
#include <utility>

#include <httplib.h>

#include "framework/remote/wire_codec.h"

namespace bco {

namespace {

// A LAN server answers a connection at once; a call may run long (a whole import in one transaction).
constexpr time_t ConnectTimeoutSeconds = 10;
constexpr time_t ReadTimeoutSeconds = 300;
constexpr time_t WriteTimeoutSeconds = 60;

// `tls`: whether the connection speaks TLS. A server that serves HTTPS closes a plain connection without a
// word, which reads as an answer that could not be read or a request that could not be sent.
// `suggestTls`: whether the failure may come of speaking plain HTTP to a server that speaks HTTPS, which no
// server that has answered in plain HTTP does.
QString describe(httplib::Error error, bool suggestTls) {
    const QString maybeTls =
        !suggestTls
            ? QString()
            : QStringLiteral(
                  "; se o servidor atende por HTTPS, conecte com --server-tls (tls=sim em [servidor])");
    switch (error) {
    case httplib::Error::Connection:
        return QStringLiteral("a conexão foi recusada ou o endereço não pode ser alcançado");
    case httplib::Error::ConnectionTimeout:
        return QStringLiteral("o tempo de espera pela conexão acabou");
    case httplib::Error::Read:
        return QStringLiteral(
                   "a resposta não pôde ser lida (a conexão foi fechada ou o tempo de espera acabou)") +
               maybeTls;
    case httplib::Error::Write:
    // The library cancels a request whose body the connection stopped taking (the server closed or reset it,
    // or stopped reading past the write timeout, while the body was sent): nothing here cancels otherwise.
    case httplib::Error::Canceled:
        return QStringLiteral(
                   "o pedido não pôde ser enviado (a conexão foi fechada ou o tempo de espera acabou "
                   "durante o envio)") +
               maybeTls;
    case httplib::Error::SSLConnection:
        return QStringLiteral("não foi possível abrir uma conexão TLS (o servidor atende por HTTPS?)");
    case httplib::Error::SSLServerVerification:
        return QStringLiteral(
            "o certificado do servidor não é confiável ou não é deste endereço (a autoridade "
            "que o assinou é dada por --server-ca, ou ca= na seção [servidor] da configuração)");
    default:
        return QStringLiteral("erro do cliente HTTP %1")
            .arg(QString::fromStdString(httplib::to_string(error)));
    }
}

// Whether a request that failed so may have reached the server whole: only then can it have run there.
bool mayHaveBeenSent(httplib::Error error) {
    switch (error) {
    case httplib::Error::Connection:
    case httplib::Error::ConnectionTimeout:
    case httplib::Error::Write:
    case httplib::Error::Canceled:
    case httplib::Error::SSLConnection:
    case httplib::Error::SSLServerVerification:
        return false;
    default:
        return true;
    }
}

QString statusMessage(int status, const QString &method) {
    switch (status) {
    case 400:
        return QStringLiteral("O servidor de aplicação recusou a chamada de %1 como malformada (HTTP 400)")
            .arg(method);
    case 404:
        return QStringLiteral("O servidor de aplicação não tem o método %1 (HTTP 404)").arg(method);
    case 413:
        return QStringLiteral("A chamada de %1 é maior do que o servidor de aplicação aceita (HTTP 413)")
            .arg(method);
    default:
        return QStringLiteral("O servidor de aplicação respondeu HTTP %1 à chamada de %2")
            .arg(status)
            .arg(method);
    }
}

// Method names go into the request's path as they are.
bool isMethodName(const QString &method) {
    if (method.isEmpty())
        return false;
    for (QChar c : method)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'_')
            return false;
    return true;
}

NetConnection::SessionRenewal &renewal() {
    static NetConnection::SessionRenewal installed;
    return installed;
}

} // namespace

NetConnection::SessionRenewal NetConnection::installSessionRenewal(SessionRenewal renewal) {
    return std::exchange(bco::renewal(), std::move(renewal));
}

// httplib connects at the first request; Open connects at once, so that an unreachable server shows when the
// form opens the connection, and the first request then goes over the socket opened here. Over TLS the
// library makes its handshake only within a request, so the first call connects and tells what failed (an
// untrusted certificate among the rest).
struct NetConnection::Client {
    struct Plain : httplib::ClientImpl {
        using httplib::ClientImpl::ClientImpl;

        bool connectNow(httplib::Error &error) {
            std::lock_guard<std::mutex> guard(socket_mutex_);
            return socket_.is_open() || create_and_connect_socket(socket_, error);
        }
    };

    std::unique_ptr<httplib::ClientImpl> http;

    Client(const std::string &host, int port, const TransportSecurity &security) {
        if (!security.tls) {
            http = std::make_unique<Plain>(host, port);
            return;
        }
        auto tls = std::make_unique<httplib::SSLClient>(host, port);
        tls->enable_server_certificate_verification(true);
        if (!security.caFile.isEmpty())
            tls->set_ca_cert_path(security.caFile.toLocal8Bit().toStdString());
        http = std::move(tls);
    }

    bool connectNow(httplib::Error &error) {
        auto *plain = dynamic_cast<Plain *>(http.get());
        return plain == nullptr || plain->connectNow(error);
    }
};

NetConnection::NetConnection() = default;
NetConnection::~NetConnection() = default;

QString NetConnection::address() const {
    return QStringLiteral("%1:%2").arg(host_).arg(port_);
}

RemoteResult NetConnection::failure(const QString &message) const {
    if (throwException_)
        throw RemoteCallError(message.toStdString());
    return RemoteResult::failure(message);
}

RemoteResult NetConnection::unsure(const QString &message) const {
    if (throwException_)
        throw RemoteCallError(message.toStdString());
    return RemoteResult::unsure(message);
}

void NetConnection::SetServerOf(const NetConnection &other) {
    const bool elsewhere = host_ != other.host_ || port_ != other.port_ ||
                           security_.tls != other.security_.tls || security_.caFile != other.security_.caFile;
    host_ = other.host_;
    port_ = other.port_;
    security_ = other.security_;
    bearerToken_ = other.bearerToken_;
    if (elsewhere)
        Close();
}

void NetConnection::Open() {
    if (client_)
        return;
    pendingFailure_.clear();
    answered_ = false;
    if (beforeConnect_)
        beforeConnect_(*this);
    QString problem;
    if (host_.trimmed().isEmpty() || port_ <= 0 || port_ > 65535) {
        problem =
            QStringLiteral("Endereço do servidor de aplicação não informado (endereço \"%1\", porta %2)")
                .arg(host_)
                .arg(port_);
    } else {
        auto client = std::make_unique<Client>(host_.toStdString(), port_, security_);
        client->http->set_keep_alive(true);
        // A request goes out in two writes (head, body); with Nagle's algorithm the body would wait for the
        // server's delayed acknowledgement, some 40 ms a call.
        client->http->set_tcp_nodelay(true);
        client->http->set_connection_timeout(ConnectTimeoutSeconds);
        client->http->set_read_timeout(ReadTimeoutSeconds);
        client->http->set_write_timeout(WriteTimeoutSeconds);
        httplib::Error error = httplib::Error::Success;
        if (client->connectNow(error)) {
            client_ = std::move(client);
            return;
        }
        problem = QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1: %2")
                      .arg(address(), describe(error, !security_.tls));
    }
    if (throwException_)
        throw RemoteCallError(problem.toStdString());
    pendingFailure_ = problem;
}

void NetConnection::Close() {
    client_.reset();
    pendingFailure_.clear();
}

bool NetConnection::Connected() const {
    return client_ != nullptr;
}

RemoteResult NetConnection::Call(const QString &method, VariantList &&args) {
    return Call(method, args);
}

RemoteResult NetConnection::Call(const QString &method, const VariantList &args) {
    VariantList copy = args;
    return Call(method, copy);
}

// Sends one request body to `path` and answers the answer's body, or the failure (already a RemoteResult,
// or thrown with ThrowException) naming `what` was called.
std::optional<std::string> NetConnection::exchange(const QByteArray &path, QByteArray body,
                                                   const std::function<QByteArray()> &encodeAgain,
                                                   const QString &what, RemoteResult &failed) {
    if (!client_) {
        if (!pendingFailure_.isEmpty()) {
            failed = failure(std::exchange(pendingFailure_, {}));
            return std::nullopt;
        }
        Open();
        if (!client_) {
            failed = failure(std::exchange(pendingFailure_, {}));
            return std::nullopt;
        }
    }
    // The answer is gathered here, in room taken once for the length the server announces: the library's
    // own body grows by doubling, which copies a 20 MiB entry list some twice over into fresh memory. The
    // announcement is the server's word, so the room taken on it stays within what a decoder accepts.
    std::string received;
    httplib::Response response;
    const auto send = [&] {
        httplib::Request request;
        request.method = "POST";
        request.path = path.toStdString();
        if (!bearerToken_.isEmpty())
            request.headers.emplace("Authorization", "Bearer " + bearerToken_.toStdString());
        request.headers.emplace("Content-Type", CborContentType);
        // The body goes out from its own bytes. Given as the request's body, the library would copy it with
        // the request twice, to send it and to keep it for a redirection: twice 11 MiB for an import of
        // 60,000 entries. The library's own Post with a provider of the body would not take the answer's
        // receiver below.
        request.content_length_ = static_cast<size_t>(body.size());
        request.content_provider_ = [&body](size_t offset, size_t length, httplib::DataSink &sink) {
            const auto size = static_cast<size_t>(body.size());
            if (offset + length > size || !sink.write(body.constData() + offset, length))
                return false;
            if (offset + length == size)
                body = QByteArray();
            return true;
        };
        request.content_receiver = [&received](const char *data, size_t length, uint64_t offset,
                                               uint64_t total) {
            if (offset == 0 && total > 0)
                received.reserve(static_cast<size_t>(
                    std::min<uint64_t>(total, static_cast<uint64_t>(DecodeLimits().maxBytes))));
            received.append(data, length);
            return true;
        };
        received.clear();
        response = httplib::Response();
        httplib::Error error = httplib::Error::Success;
        if (client_->http->send(request, response, error)) {
            answered_ = true;
            return true;
        }
        const QString message = QStringLiteral("A chamada de %1 ao servidor de aplicação em %2 falhou: %3")
                                    .arg(what, address(), describe(error, !security_.tls && !answered_));
        failed = mayHaveBeenSent(error) ? unsure(message) : failure(message);
        return false;
    };
    if (!send())
        return std::nullopt;
    // A session the server no longer knows (expired, or ended by a logout) stopped the call before it ran,
    // so it is sent once more under the session that the renewal gives, if it gives one.
    if (response.status == 401 && !bearerToken_.isEmpty() && renewal()) {
        const QString renewed = renewal()(bearerToken_);
        if (!renewed.isEmpty() && renewed != bearerToken_) {
            bearerToken_ = renewed;
            body = encodeAgain();
            if (!send())
                return std::nullopt;
        }
    }
    const std::string contentType = response.get_header_value("Content-Type");
    const bool cbor = contentType.rfind(CborContentType, 0) == 0;
    if (response.status == 200 && cbor)
        return received;
    // A refusal by status still carries the server's message when it is one of ours; a failure of the
    // server carries only the number of its incident, which the server's log explains.
    std::optional<WireAnswer> answer;
    if (cbor) {
        try {
            answer = decodeAnswer(QByteArrayView(received.data(), static_cast<qsizetype>(received.size())));
        } catch (const DecodeError &) {
        }
    }
    // A failure of the server rolls its transaction back, but for one after the commit (the answer could not
    // be encoded): the call may have written.
    if (response.status == 500)
        failed = unsure(answer && !answer->incident.isEmpty()
                            ? QStringLiteral("O servidor de aplicação falhou ao executar %1 (ocorrência %2). "
                                             "Informe o número da ocorrência ao responsável pelo sistema.")
                                  .arg(what, answer->incident)
                            : QStringLiteral("O servidor de aplicação falhou ao executar %1.").arg(what));
    else if (response.status == 401)
        failed =
            failure(QStringLiteral("A sessão do operador no servidor de aplicação terminou (expirou ou foi "
                                   "encerrada): %1 não foi executado. Entre novamente no sistema.")
                        .arg(what));
    else if (response.status == 503 && answer && !answer->ok && !answer->error.isEmpty())
        // The server's own words to the operator: its database is busy, try again.
        failed = failure(answer->error);
    else if (response.status != 200)
        // What the server says of a request it refuses as such (its size, its form, a method it does not
        // know) is for the one who wrote the client, in the protocol's words, and is in the server's log.
        failed = failure(statusMessage(response.status, what));
    else
        failed =
            unsure(QStringLiteral("O servidor de aplicação enviou uma resposta malformada à chamada de %1: "
                                  "o tipo do conteúdo é \"%2\"")
                       .arg(what, QString::fromStdString(contentType)));
    return std::nullopt;
}

RemoteResult NetConnection::answered(const QString &method, WireAnswer &answer, VariantList &args) const {
    if (!answer.ok && !answer.error.isEmpty())
        return failure(answer.error);
    if (!answer.ok)
        return failure(!answer.incident.isEmpty()
                           ? QStringLiteral("O servidor de aplicação falhou ao executar %1 (ocorrência %2). "
                                            "Informe o número da ocorrência ao responsável pelo sistema.")
                                 .arg(method, answer.incident)
                           : QStringLiteral("O método %1 falhou sem mensagem").arg(method));
    // A shorter or longer list would shift every by-reference argument the caller reads back.
    if (answer.args.size() != args.size())
        return unsure(
            QStringLiteral("O servidor de aplicação respondeu %1 argumentos à chamada de %2, que tem %3")
                .arg(answer.args.size())
                .arg(method)
                .arg(args.size()));
    args = std::move(answer.args);
    return RemoteResult::success(std::move(answer.result));
}

RemoteResult NetConnection::Call(const QString &method, VariantList &args) {
    if (!isMethodName(method))
        return failure(QStringLiteral("\"%1\" não é nome de método.").arg(method));
    QByteArray body;
    try {
        body = encodeRequest(args);
    } catch (const std::invalid_argument &error) {
        return failure(QStringLiteral("Os argumentos de %1 não podem ser enviados: %2")
                           .arg(method, QString::fromUtf8(error.what())));
    }
    RemoteResult failed = RemoteResult::failure({});
    const std::optional<std::string> reply = exchange(
        rpcPath(serverName_, method), std::move(body), [&args] { return encodeRequest(args); }, method,
        failed);
    if (!reply)
        return failed;
    WireAnswer answer;
    try {
        answer = decodeAnswer(QByteArrayView(reply->data(), static_cast<qsizetype>(reply->size())));
    } catch (const DecodeError &error) {
        return unsure(
            QStringLiteral("O servidor de aplicação enviou uma resposta malformada à chamada de %1: %2")
                .arg(method, QString::fromStdString(error.what())));
    }
    return answered(method, answer, args);
}

std::vector<RemoteResult> NetConnection::CallBatch(std::vector<BatchCall> &calls) {
    std::vector<RemoteResult> results;
    results.reserve(calls.size());
    const auto allFail = [&](const RemoteResult &failed) {
        results.assign(calls.size(), failed);
        return results;
    };
    if (calls.empty())
        return results;
    std::vector<WireCall> wire;
    wire.reserve(calls.size());
    for (const BatchCall &call : calls) {
        if (!isMethodName(call.method))
            return allFail(failure(QStringLiteral("\"%1\" não é nome de método.").arg(call.method)));
        wire.push_back({call.method, call.args});
    }
    const QString what =
        QStringLiteral("%1 (e mais %2 chamadas)").arg(calls.front().method).arg(calls.size() - 1);
    QByteArray body;
    try {
        body = encodeBatchRequest(wire);
    } catch (const std::invalid_argument &error) {
        return allFail(failure(QStringLiteral("Os argumentos de %1 não podem ser enviados: %2")
                                   .arg(what, QString::fromUtf8(error.what()))));
    }
    RemoteResult failed = RemoteResult::failure({});
    const std::optional<std::string> reply = exchange(
        batchPath(serverName_), std::move(body), [&wire] { return encodeBatchRequest(wire); }, what, failed);
    if (!reply)
        return allFail(failed);
    std::vector<WireAnswer> answers;
    try {
        answers = decodeBatchAnswer(QByteArrayView(reply->data(), static_cast<qsizetype>(reply->size())));
    } catch (const DecodeError &error) {
        return allFail(failure(
            QStringLiteral("O servidor de aplicação enviou uma resposta malformada à chamada de %1: %2")
                .arg(what, QString::fromStdString(error.what()))));
    }
    if (answers.size() != calls.size())
        return allFail(failure(QStringLiteral("O servidor de aplicação respondeu %1 das %2 chamadas de %3")
                                   .arg(answers.size())
                                   .arg(calls.size())
                                   .arg(what)));
    for (size_t i = 0; i < calls.size(); ++i)
        results.push_back(answered(calls[i].method, answers[i], calls[i].args));
    return results;
}

void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace bco
