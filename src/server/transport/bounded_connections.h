#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include <QString>

namespace httplib {
class Server;
}

namespace bco::server {

// What one request may send: its line and headers, up to the blank line that ends them, within `headTime`
// of their first byte, then its body with any chunked framing, at no less than `bodyBytesPerSecond` on
// average once `bodyGrace` has passed since the head ended (so a body of n bytes may take bodyGrace +
// n / bodyBytesPerSecond; a rate of 0 sets no floor).
struct RequestBounds {
    std::size_t headBytes = 0;
    std::chrono::milliseconds headTime{0};
    std::size_t bodyBytes = 0;
    std::chrono::milliseconds bodyGrace{0};
    std::size_t bodyBytesPerSecond = 0;
};

// An HTTP server, HTTPS when given a certificate and its key, whose connections are read by streams of its
// own that let no request read past its bounds. The library's own streams read a line until it ends, however
// long, and a chunked body until its last chunk, whatever the body limit, so that any client, before it has
// a session, could have the server hold all it cares to send, or hold a worker by sending a byte now and
// then, in its head or in its body. A request that reaches a bound gets what the library answers a request
// cut short, and its connection is closed, since the rest of what it sent cannot be read as the next
// request: at once for a head or a body that falls behind its rate; for a body over its size (a declared
// length over the limit gets its 413) once the client stops sending, within the read timeout, so that it can
// read the answer. Timeouts and keep-alive are the server's own settings, applied as
// the library applies them, with one exception: while an accepted connection waits for one of the `workers`,
// a connection kept alive is closed after its answer, or at once when idle, so that clients that keep
// sending cannot hold every worker. Throws std::runtime_error when the certificate or the key cannot be used.
std::unique_ptr<httplib::Server> makeBoundedServer(const QString &certificate, const QString &key,
                                                   RequestBounds bounds, std::size_t workers);

// Said by every route's handler, on the worker serving the request, once it has read the request to its end.
// A request the library answers by itself (a line it cannot parse or that runs too long, a method it does
// not know) was not read to its end, since the library reads no body for it: its connection is closed after
// the answer, since what follows on it is the rest of that request and no request of its own.
void requestReadWhole();
// Whether the route said so of the request being answered on this worker: an answer without it says
// "Connection: close", so that the client opens a new connection for its next request rather than send it
// on one about to close.
bool requestWasReadWhole();
// Whether the head of the request being answered on this worker holds a line that readers read differently
// (a header folded onto the line before, a name with blanks before its colon, a length or coding in percent
// escapes): a route refuses such a request unread, since a proxy in front may read it another way.
bool requestHeadIsSuspect();

} // namespace bco::server
