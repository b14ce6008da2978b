#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

#include <QString>

namespace httplib {
class Server;
}

namespace bco::server {

// What one request may send: its line and headers, up to the blank line that ends them, then its body with
// any chunked framing.
struct RequestBounds {
    std::size_t headBytes = 0;
    std::size_t bodyBytes = 0;
};

// An HTTP server, HTTPS when given a certificate and its key, whose connections are read by streams of its
// own that let no request read past its bounds. The library's own streams read a line until it ends, however
// long, and a chunked body until its last chunk, whatever the body limit, so that any client, before it has
// a session, could have the server hold all it cares to send. A request that reaches a bound gets what the
// library answers a request cut short (a declared body over the limit still gets its 413), and its
// connection is closed once that answer is read, since the rest of what it sent cannot be read as the next
// request. Timeouts and keep-alive are the server's own settings, applied as the library applies them.
// Throws std::runtime_error when the certificate or the key cannot be used.
std::unique_ptr<httplib::Server> makeBoundedServer(const QString &certificate, const QString &key,
                                                   RequestBounds bounds);

} // namespace bco::server
