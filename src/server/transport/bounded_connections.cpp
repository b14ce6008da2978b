#include "server/transport/bounded_connections.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <httplib.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bco::server {

namespace {

using Clock = std::chrono::steady_clock;

bool waitFor(int socket, short events, std::chrono::milliseconds patience) {
    pollfd watched{socket, events, 0};
    const int milliseconds =
        static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(patience.count(), 0, INT_MAX));
    int ready = 0;
    do {
        ready = ::poll(&watched, 1, milliseconds);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && (watched.revents & (events | POLLHUP)) != 0;
}

void addressOf(int socket, bool peer, std::string &ip, int &port) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto *generic = reinterpret_cast<sockaddr *>(&address);
    if ((peer ? ::getpeername(socket, generic, &length) : ::getsockname(socket, generic, &length)) != 0)
        return;
    char host[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (::getnameinfo(generic, length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return;
    ip = host;
    port = std::atoi(service);
}

struct Timeouts {
    std::chrono::seconds read{0};
    std::chrono::seconds write{0};
    std::chrono::seconds keepAlive{0};
};

// One connection, read through a buffer of its own so that the library's byte-by-byte reading of lines costs
// no call to the system each, and counted: once the request under way has read its allowance, every read
// fails, which ends the request wherever the library was reading it.
// Whether the request the worker serves now was read whole by its route's handler.
thread_local bool readWhole = false;
// Whether the head of that request holds a line that readers read differently (see follow()).
thread_local bool headSuspect = false;

class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(int socket, Timeouts timeouts)
        : socket_(socket)
        , timeouts_(timeouts) {}

    // Waits the keep-alive time for the next request; false when none came, or, sooner, once `othersWait`
    // holds: an idle connection gives its worker back to a connection waiting for one.
    template <class OthersWait> bool awaitRequest(const OthersWait &othersWait) const {
        if (begin_ < end_ || pending())
            return true;
        constexpr std::chrono::milliseconds Slice{50};
        const auto deadline = Clock::now() + timeouts_.keepAlive;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            if (waitFor(socket_, POLLIN, std::min(left, Slice)))
                return true;
            // A request that came meanwhile is served rather than cut off by the close.
            if (othersWait())
                return waitFor(socket_, POLLIN, std::chrono::milliseconds(0));
        }
    }
    // The next request, whose first byte came, may read within `bounds` from now.
    void startRequest(const RequestBounds &bounds) {
        headDeadline_ = Clock::now() + bounds.headTime;
        inHead_ = true;
        lineLength_ = 0;
        line_.clear();
        requestLine_ = true;
        left_ = bounds.headBytes;
        bodyBytes_ = bounds.bodyBytes;
        bodyGrace_ = bounds.bodyGrace;
        bodyRate_ = bounds.bodyBytesPerSecond;
        answered_ = false;
        stalled_ = false;
    }
    bool overran() const { return overran_; }
    // Whether the request under way was answered after its body ran past its size (a 413, say). A body that
    // stalled or fell behind its rate is not waited for: its client is the one that takes its time.
    bool answeredCutBody() const { return overran_ && !inHead_ && answered_ && !stalled_; }

    // Reads and drops what the client still sends, for the read timeout at most, until it stops, falls quiet
    // for `quiet`, or `stopping` holds: a client writes its whole request before it reads the answer, and a
    // socket closed with bytes unread is reset, which would take the answer away from the client before it
    // read it.
    template <class Stopping> void drain(const Stopping &stopping, std::chrono::milliseconds quiet) {
        const auto deadline = Clock::now() + timeouts_.read;
        char scrap[4096];
        for (std::chrono::milliseconds left = timeouts_.read;
             !stopping() && left.count() > 0 && waitFor(socket_, POLLIN, std::min(left, quiet)) &&
             receive(scrap, sizeof scrap) > 0;
             left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())) {
        }
    }

    // A head has its own time, from when its first byte came, and a body a least rate: a client that sends
    // one byte now and then would otherwise hold its worker as long as it likes, each byte within the read
    // timeout.
    bool is_readable() const override {
        if (begin_ < end_ || pending())
            return true;
        const std::optional<Clock::time_point> deadline = readDeadline();
        if (!deadline)
            return waitFor(socket_, POLLIN, timeouts_.read);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
        return left.count() > 0 &&
               waitFor(socket_, POLLIN, std::min<std::chrono::milliseconds>(left, timeouts_.read));
    }
    bool is_writable() const override { return waitFor(socket_, POLLOUT, timeouts_.write); }

    ssize_t read(char *into, std::size_t size) override {
        if (size == 0)
            return 0;
        if (left_ == 0) {
            overran_ = true;
            return -1;
        }
        // The library reads a head a byte at a time, and reading it so here too shows where it ends.
        size = inHead_ ? 1 : std::min(size, left_);
        if (begin_ == end_) {
            if (!is_readable()) {
                // A request that stalls, or whose body falls behind its rate, leaves no telling where the
                // next one would begin.
                overran_ = true;
                stalled_ = true;
                return -1;
            }
            // A large read goes straight into the caller's room, as the library's body reads do.
            if (size >= sizeof buffer_)
                return counted(receive(into, size));
            const ssize_t received = receive(buffer_, sizeof buffer_);
            if (received <= 0)
                return received;
            begin_ = 0;
            end_ = static_cast<std::size_t>(received);
        }
        const std::size_t taken = std::min(size, end_ - begin_);
        std::memcpy(into, buffer_ + begin_, taken);
        begin_ += taken;
        if (inHead_)
            follow(*into);
        return counted(static_cast<ssize_t>(taken));
    }

    ssize_t write(const char *from, std::size_t size) override {
        if (!is_writable())
            return -1;
        answered_ = true;
        return send(from, size);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override {
        addressOf(socket_, true, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override {
        addressOf(socket_, false, ip, port);
    }
    socket_t socket() const override { return socket_; }

protected:
    // Both are called when the socket is ready, and block at most the socket's own timeouts.
    virtual ssize_t receive(char *into, std::size_t size) = 0;
    virtual ssize_t send(const char *from, std::size_t size) = 0;
    // Whether bytes already came that the socket no longer shows (decrypted and held by TLS).
    virtual bool pending() const { return false; }

private:
    ssize_t counted(ssize_t received) {
        if (received > 0) {
            left_ -= static_cast<std::size_t>(received);
            if (!inHead_)
                bodyRead_ += static_cast<std::size_t>(received);
        }
        return received;
    }

    // When the next byte must have come: the head's end for a head; for a body, the moment its bytes so far
    // fall below its least rate. None for a body without a rate.
    std::optional<Clock::time_point> readDeadline() const {
        if (inHead_)
            return headDeadline_;
        if (bodyRate_ == 0)
            return std::nullopt;
        const auto earned = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(bodyRead_) / static_cast<double>(bodyRate_)));
        return bodyStart_ + bodyGrace_ + earned;
    }

    void follow(char byte) {
        if (byte == '\n') {
            if (lineLength_ == 0) {
                inHead_ = false;
                // The blank line was counted against the head; the body's allowance starts after it.
                left_ = bodyBytes_ + 1;
                bodyStart_ = Clock::now();
                bodyRead_ = 0;
            } else if (!requestLine_) {
                weighHeaderLine();
            }
            requestLine_ = false;
            lineLength_ = 0;
            line_.clear();
        } else if (byte != '\r') {
            ++lineLength_;
            if (line_.size() < MaxLineWeighed)
                line_ += byte;
        }
    }

    // A header line that readers read differently: one folded onto the line before (the library drops
    // it, a proxy may join it), a name with blanks before its colon, a length or coding written in percent
    // escapes (the library decodes them, a proxy may not). The library reads the rest of the head as it is.
    void weighHeaderLine() {
        if (line_.front() == ' ' || line_.front() == '\t') {
            headSuspect = true;
            return;
        }
        const std::size_t colon = line_.find(':');
        if (colon == std::string::npos || colon == 0)
            return;
        const std::string_view name(line_.data(), colon);
        if (name.back() == ' ' || name.back() == '\t') {
            headSuspect = true;
            return;
        }
        const auto named = [&](std::string_view wanted) {
            return name.size() == wanted.size() &&
                   std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
                       return std::tolower(static_cast<unsigned char>(a)) == b;
                   });
        };
        if ((named("content-length") || named("transfer-encoding")) &&
            line_.find('%', colon) != std::string::npos)
            headSuspect = true;
    }

    int socket_;
    Timeouts timeouts_;
    char buffer_[4096];
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool inHead_ = true;
    Clock::time_point headDeadline_;
    std::size_t lineLength_ = 0;
    // The start of the head's line being read, as much of it as a header that matters here takes.
    static constexpr std::size_t MaxLineWeighed = 256;
    std::string line_;
    bool requestLine_ = true;
    std::size_t left_ = 0;
    std::size_t bodyBytes_ = 0;
    Clock::time_point bodyStart_;
    std::chrono::milliseconds bodyGrace_{0};
    std::size_t bodyRate_ = 0;
    std::size_t bodyRead_ = 0;
    bool overran_ = false;
    bool stalled_ = false;
    bool answered_ = false;
};

class PlainStream final : public ConnectionStream {
public:
    using ConnectionStream::ConnectionStream;

private:
    ssize_t receive(char *into, std::size_t size) override {
        ssize_t received = 0;
        do {
            received = ::recv(socket(), into, size, 0);
        } while (received < 0 && errno == EINTR);
        return received;
    }
    ssize_t send(const char *from, std::size_t size) override {
        ssize_t sent = 0;
        do {
            sent = ::send(socket(), from, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent;
    }
};

class TlsStream final : public ConnectionStream {
public:
    TlsStream(int socket, Timeouts timeouts, SSL *ssl)
        : ConnectionStream(socket, timeouts)
        , ssl_(ssl) {}

private:
    ssize_t receive(char *into, std::size_t size) override {
        const int received = SSL_read(ssl_, into, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
        if (received > 0)
            return received;
        return SSL_get_error(ssl_, received) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    ssize_t send(const char *from, std::size_t size) override {
        const int sent = SSL_write(ssl_, from, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
        return sent > 0 ? sent : -1;
    }
    bool pending() const override { return SSL_pending(ssl_) > 0; }

    SSL *ssl_;
};

// The library's pool of workers, counting the connections accepted and not yet taken by a worker.
class CountingPool final : public httplib::TaskQueue {
public:
    CountingPool(std::size_t workers, std::shared_ptr<std::atomic<int>> waiting)
        : pool_(workers)
        , waiting_(std::move(waiting)) {}

    void enqueue(std::function<void()> job) override {
        ++*waiting_;
        pool_.enqueue([job = std::move(job), waiting = waiting_] {
            --*waiting;
            job();
        });
    }
    void shutdown() override { pool_.shutdown(); }

private:
    httplib::ThreadPool pool_;
    std::shared_ptr<std::atomic<int>> waiting_;
};

// The library's server with its connections served here. The settings it keeps for its own connections
// (timeouts, keep-alive, whether it is stopping) are read from it.
template <class Base> class BoundedServer final : public Base {
public:
    template <class... Arguments>
    explicit BoundedServer(RequestBounds bounds, std::size_t workers, Arguments &&...arguments)
        : Base(std::forward<Arguments>(arguments)...)
        , bounds_(bounds) {
        this->new_task_queue = [workers, waiting = waiting_] {
            return new CountingPool(workers, waiting);
        };
    }

private:
    bool process_and_close_socket(socket_t socket) override {
        // A reply or a read that stalls fails after the server's timeouts instead of holding its worker.
        setTimeout(socket, SO_RCVTIMEO, this->read_timeout_sec_);
        setTimeout(socket, SO_SNDTIMEO, this->write_timeout_sec_);
        const Timeouts timeouts{std::chrono::seconds(this->read_timeout_sec_),
                                std::chrono::seconds(this->write_timeout_sec_),
                                std::chrono::seconds(this->keep_alive_timeout_sec_)};
        bool served = false;
        if constexpr (std::is_same_v<Base, httplib::SSLServer>) {
            // The handshake comes before any request, and is bounded as a head is: under the read timeout
            // alone, a client that connects and says nothing would hold its worker a minute.
            const auto headSeconds = std::max<time_t>(
                1, static_cast<time_t>(std::chrono::ceil<std::chrono::seconds>(bounds_.headTime).count()));
            setTimeout(socket, SO_RCVTIMEO, headSeconds);
            SSL *ssl = SSL_new(this->ssl_context());
            const bool accepted = ssl != nullptr && SSL_set_fd(ssl, socket) == 1 && SSL_accept(ssl) == 1;
            setTimeout(socket, SO_RCVTIMEO, this->read_timeout_sec_);
            if (accepted) {
                TlsStream stream(socket, timeouts, ssl);
                served = serve(stream);
                SSL_shutdown(ssl);
            }
            SSL_free(ssl);
        } else {
            PlainStream stream(socket, timeouts);
            served = serve(stream);
        }
        ::shutdown(socket, SHUT_RDWR);
        ::close(socket);
        return served;
    }

    bool serve(ConnectionStream &stream) {
        bool served = false;
        bool unreadAnswered = false;
        const auto othersWait = [this] {
            return waiting_->load() > 0;
        };
        for (std::size_t left = this->keep_alive_max_count_;
             left > 0 && this->svr_sock_ != INVALID_SOCKET && stream.awaitRequest(othersWait); --left) {
            stream.startRequest(bounds_);
            bool closed = false;
            readWhole = false;
            headSuspect = false;
            // A connection kept alive holds its worker: one that keeps sending would hold it for good, and
            // as many such as there are workers would leave every other connection waiting. So it is
            // closed after its answer while another waits, and its client opens it anew, behind the others.
            served = this->process_request(stream, left == 1 || othersWait(), closed, nullptr);
            if (served && !readWhole && !stream.overran())
                unreadAnswered = true;
            if (!served || closed || stream.overran() || unreadAnswered)
                break;
        }
        // A head cut off is not worth the wait: its answer only says it was malformed. A body over its size
        // is taken and dropped while it comes; so is the rest of a request answered unread, which came with
        // it or just after, and which a client that keeps its connection open has no more of.
        const auto stopping = [this] {
            return this->svr_sock_ == INVALID_SOCKET;
        };
        if (stream.answeredCutBody() || unreadAnswered) {
            ::shutdown(stream.socket(), SHUT_WR);
            stream.drain(stopping, unreadAnswered ? std::chrono::milliseconds(200)
                                                  : std::chrono::milliseconds(
                                                        std::chrono::seconds(this->read_timeout_sec_)));
        }
        return served;
    }

    static void setTimeout(int socket, int option, time_t seconds) {
        const timeval timeout{seconds, 0};
        ::setsockopt(socket, SOL_SOCKET, option, &timeout, sizeof timeout);
    }

    RequestBounds bounds_;
    std::shared_ptr<std::atomic<int>> waiting_ = std::make_shared<std::atomic<int>>(0);
};

} // namespace

void requestReadWhole() {
    readWhole = true;
}

bool requestWasReadWhole() {
    return readWhole;
}

bool requestHeadIsSuspect() {
    return headSuspect;
}

std::unique_ptr<httplib::Server> makeBoundedServer(const QString &certificate, const QString &key,
                                                   RequestBounds bounds, std::size_t workers) {
    if (certificate.isEmpty() != key.isEmpty())
        throw std::runtime_error("TLS needs both the certificate (--tls-cert) and its key (--tls-key)");
    if (certificate.isEmpty())
        return std::make_unique<BoundedServer<httplib::Server>>(bounds, workers);
    auto server = std::make_unique<BoundedServer<httplib::SSLServer>>(
        bounds, workers, certificate.toLocal8Bit().constData(), key.toLocal8Bit().constData());
    if (!server->is_valid())
        throw std::runtime_error("cannot use the TLS certificate " + certificate.toStdString() +
                                 " with the key " + key.toStdString() +
                                 " (unreadable, not PEM, or not a pair)");
    return server;
}

} // namespace bco::server
