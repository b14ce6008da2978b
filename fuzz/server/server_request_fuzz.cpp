#include <cstdint>
#include <cstdlib>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "framework/remote/wire_codec.h"
#include "server/demo/demo_data.h"
#include "server/methods/all_methods.h"
#include "server/storage/migrations.h"
#include "server/transport/dispatcher.h"

// Untrusted requests through the server's decoder and dispatcher, down to the handlers and the database.
// An input is one byte choosing the method (the registered ones in order, then an unknown name), one byte of
// flags (bit 0: send the session's token; bit 1: send it with a lower-case scheme), and the request body.
// Whatever comes in, handle() must answer a status the transport knows with a body that decodes as an
// answer; an internal error (500), an exception, a crash or a sanitizer report is a fault.
namespace {

struct Server {
    QTemporaryDir folder;
    bco::server::ConnectionPool pool{
        bco::DatabaseUrl::parse(QStringLiteral("sqlite:") + folder.filePath(QStringLiteral("fuzz.db")))};
    // Wrong passwords are many here: the logins are not held back, or the fuzzer would mostly wait.
    bco::server::SessionStore sessions{[] {
        bco::server::SessionStore::Options options;
        options.loginDelayStep = std::chrono::milliseconds(0);
        return options;
    }()};
    bco::server::Dispatcher dispatcher{pool, sessions, bco::server::allMethods()};
    QString token;
    // Logout would end the session the other inputs call with.
    QStringList methods = [this] {
        QStringList names = dispatcher.methods().names();
        names.removeAll(QStringLiteral("Logout"));
        return names;
    }();

    Server() {
        bco::server::migrate(pool.forThisThread());
        bco::server::DemoOptions options;
        options.processingDate = QDate(2024, 3, 15);
        options.entries = 40;
        options.passwordIterations = 10;
        bco::server::loadDemoData(pool.forThisThread(), options);
        token = sessions.open(pool.forThisThread(), QStringLiteral("DEMO"));
    }
};

Server *server = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    // Kept for the life of the process: the fuzzer ends it without unwinding.
    new QCoreApplication(*argc, *argv);
    server = new Server;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const int choice = data[0] % (static_cast<int>(server->methods.size()) + 1);
    const QString method =
        choice < server->methods.size() ? server->methods[choice] : QStringLiteral("getNada");
    QString authorization;
    if ((data[1] & 1) != 0)
        authorization =
            ((data[1] & 2) != 0 ? QStringLiteral("bearer ") : QStringLiteral("Bearer ")) + server->token;
    const QByteArrayView body(reinterpret_cast<const char *>(data + 2), static_cast<qsizetype>(size - 2));
    const bco::server::RpcResponse response =
        server->dispatcher.handle(method, authorization, body.toByteArray());
    switch (response.status) {
    case 200:
    case 400:
    case 401:
    case 404:
        break;
    default:
        std::abort();
    }
    bco::decodeAnswer(response.body.joined());
    return 0;
}
