#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <QString>

#include "framework/data/variant.h"
#include "framework/remote/remote_result.h"
#include "framework/remote/wire_codec.h"

namespace bco {

// Raised instead of a failure value when the connection's ThrowException is set.
class RemoteCallError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a connection reaches the server: plain HTTP (loopback), or HTTPS that verifies the server's
// certificate and name against the system's certificate authorities, or against `caFile` alone when one is
// named (a company's private authority, PEM).
struct TransportSecurity {
    bool tls = false;
    QString caFile;
};

// The connection to the application server's remote data module: calls its methods by name with positional
// arguments over HTTP (see wire_codec.h), one keep-alive connection per NetConnection, reopened by itself
// when the server dropped it.
//
// Every failure (the server unreachable, a refusal by status, a malformed answer, the method's own failure)
// comes back as RemoteResult::failure with a message naming what failed (a failure of the server itself,
// HTTP 500, as such with the incident number under which the server logged it); with ThrowException set it is
// thrown as RemoteCallError instead. A failure to connect in Open() is kept, not thrown, and is the failure
// of the first call after it; the call after that tries to connect again.
class NetConnection {
public:
    NetConnection();
    ~NetConnection();
    NetConnection(const NetConnection &) = delete;
    NetConnection &operator=(const NetConnection &) = delete;

    const QString &ServerName() const { return serverName_; }
    void SetServerName(const QString &name) { serverName_ = name; }
    const QString &ServerGUID() const { return serverGuid_; }
    void SetServerGUID(const QString &guid) { serverGuid_ = guid; }
    bool ThrowException() const { return throwException_; }
    void SetThrowException(bool on) { throwException_ = on; }

    const QString &Host() const { return host_; }
    void SetHost(const QString &host) { host_ = host; }
    int Port() const { return port_; }
    void SetPort(int port) { port_ = port; }
    const TransportSecurity &Security() const { return security_; }
    void SetSecurity(TransportSecurity security) { security_ = std::move(security); }

    // Runs before every attempt to connect, so that its owner can set host and port there (the forms take
    // them from the login context).
    void SetBeforeConnect(std::function<void(NetConnection &)> handler) {
        beforeConnect_ = std::move(handler);
    }

    // The session token that the login answered, sent as "Authorization: Bearer <token>"; empty sends none.
    const QString &BearerToken() const { return bearerToken_; }
    void SetBearerToken(const QString &token) { bearerToken_ = token; }
    // What every connection does when the server refuses the session it carried (HTTP 401: expired, ended by
    // a logout, unknown): the renewal is handed the refused token and answers the one to carry instead, and
    // the call, which did not run, is sent once more with it; an empty answer, or none installed, fails the
    // call saying the session ended. The host installs one that asks the operator for the password again.
    // Installed before any call is made; answers the one it replaces.
    using SessionRenewal = std::function<QString(const QString &refusedToken)>;
    static SessionRenewal installSessionRenewal(SessionRenewal renewal);

    // Aims this connection where `other` goes, in the same session: its host, port, transport security and
    // token, so that a second connection of one session (a worker's) travels exactly as the first does. A
    // connection open to another place is closed, to open again where it is now aimed.
    void SetServerOf(const NetConnection &other);

    void Open();
    void Close();
    bool Connected() const;

    // Calls the method; on success `args` becomes the arguments as the server left them (by-reference
    // arguments changed). On failure `args` is left as it was.
    RemoteResult Call(const QString &method, VariantList &args);
    // For calls without by-reference arguments.
    RemoteResult Call(const QString &method, VariantList &&args = {});
    RemoteResult Call(const QString &method, const VariantList &args);

    // Several calls sent together in one request and answered in their order, each still a call of its own
    // on the server (its own transaction and its own failure): what saves the trips of a long run of calls.
    // Answers one result per call; each call's `args` becomes what its answer carried. A failure of the
    // request itself is every call's failure.
    struct BatchCall {
        QString method;
        VariantList args;
    };
    std::vector<RemoteResult> CallBatch(std::vector<BatchCall> &calls);

private:
    struct Client;

    RemoteResult failure(const QString &message) const;
    // A failure whose call may have run (RemoteResult::unsure).
    RemoteResult unsure(const QString &message) const;
    // Takes the request's body, which it lets go once its last byte is sent: an import's body is tens of
    // megabytes, of no use while the server works on it. A call sent again under a renewed session has its
    // body made anew by `encodeAgain`.
    std::optional<std::string> exchange(const QByteArray &path, QByteArray body,
                                        const std::function<QByteArray()> &encodeAgain, const QString &what,
                                        RemoteResult &failed);
    RemoteResult answered(const QString &method, WireAnswer &answer, VariantList &args) const;
    QString address() const;

    QString serverName_ = QStringLiteral("BCO11100.rdmLancContCorr");
    QString serverGuid_ = QStringLiteral("{4973D249-7B67-44FB-8187-D9422D4E7082}");
    bool throwException_ = false;
    QString host_;
    int port_ = 0;
    TransportSecurity security_;
    std::function<void(NetConnection &)> beforeConnect_;
    QString bearerToken_;
    std::unique_ptr<Client> client_;
    QString pendingFailure_;
    // Whether the server has answered a call of this connection, which tells it speaks the protocol asked.
    bool answered_ = false;
};

// A write to a connection that its peer reset raises SIGPIPE, which ends the process unless ignored. Sockets
// written here and by the server's plain connections pass MSG_NOSIGNAL, but OpenSSL and the HTTP library's
// own writes do not. The programs that speak HTTP (the host, the server, the command-line tools and the test
// programs) ignore the signal from their start and take the write's error instead; a module loaded by
// another host leaves the process's signals to that host.
void ignoreBrokenPipes();

} // namespace bco
