// bco-server: the application server of the bank current-account module.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <thread>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>

#include "framework/data/large_pages.h"
#include "framework/text/ini_file.h"
#include "framework/remote/net_connection.h"
#include "server/demo/demo_data.h"
#include "server/methods/all_methods.h"
#include "server/storage/migrations.h"
#include "server/transport/audit.h"
#include "server/transport/call_log.h"
#include "server/transport/dispatcher.h"
#include "server/transport/http_server.h"

using namespace bco;
using namespace bco::server;

namespace {

struct Listen {
    QString host;
    int port = 0;
};

// `source`: where the text was written, for the refusal (the option, or the file's key).
Listen parseListen(const QString &text, const std::string &source) {
    const qsizetype colon = text.lastIndexOf(u':');
    bool ok = false;
    const int port = colon < 0 ? -1 : text.mid(colon + 1).toInt(&ok);
    if (colon <= 0 || !ok || port < 0 || port > 65535)
        throw std::invalid_argument(source +
                                    " needs HOST:PORT, as in 127.0.0.1:8211 (port 0 picks a free one)");
    return {text.left(colon), port};
}

// SIGTERM and SIGINT are blocked in every thread (the mask is set before any thread starts) and taken by one
// thread that stops the server, so no work runs inside a signal handler.
const sigset_t &stopSignals() {
    static const sigset_t signals = [] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGINT);
        return set;
    }();
    return signals;
}

void logCall(const QString &method, double milliseconds, const QString &outcome) {
    static std::mutex mutex;
    const QByteArray line = callLogLine(method, milliseconds, outcome);
    const std::lock_guard lock(mutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
}

// The options, each from the command line or else from the configuration file's [server] section (the
// packaged service reads /etc/bco/bco-server.conf), or else its default.
class Settings {
public:
    // `fileOptions`: the options the file may set.
    Settings(const QCommandLineParser &parser, const QCommandLineOption &config,
             const QList<QCommandLineOption> &fileOptions)
        : parser_(parser) {
        if (!parser.isSet(config))
            return;
        const QString path = parser.value(config);
        try {
            file_ = IniFile::read(path);
        } catch (const IniFileError &error) {
            throw std::invalid_argument(problem(path, error).toStdString());
        }
        QStringList known, keys;
        for (const QCommandLineOption &option : fileOptions) {
            known.append(QStringLiteral("server/") + option.names().first());
            keys.append(option.names().first());
        }
        if (const auto unknown = file_->firstUnknown(known))
            throw std::invalid_argument(QStringLiteral("configuration file %1, line %2: %3 is no setting of "
                                                       "the server (its [server] keys: %4)")
                                            .arg(path)
                                            .arg(unknown->second)
                                            .arg(asWritten(unknown->first), keys.join(QStringLiteral(", ")))
                                            .toStdString());
        path_ = path;
    }

    // Where a setting's value came from, for a message that refuses it: the option, or the file's key.
    std::string source(const QCommandLineOption &option) const {
        const QString name = option.names().first();
        if (parser_.isSet(option) || !file_ || !file_->value(QStringLiteral("server/") + name))
            return "--" + name.toStdString();
        return (name + QStringLiteral("= in ") + path_).toStdString();
    }

    QString value(const QCommandLineOption &option) const {
        if (parser_.isSet(option) || !file_)
            return parser_.value(option);
        return file_->value(QStringLiteral("server/") + option.names().first())
            .value_or(parser_.value(option));
    }

private:
    QString path_;

    // "server/Threads" as the file writes it, "Threads"; a key of another section with its heading.
    static QString asWritten(const QString &key) {
        const QString section = key.section(u'/', 0, 0);
        const QString name = key.section(u'/', 1);
        return section == u"server" ? name : QStringLiteral("[%1] %2").arg(section, name);
    }

    static QString problem(const QString &path, const IniFileError &error) {
        const QString where = QStringLiteral("configuration file %1, line %2: ").arg(path).arg(error.line());
        switch (error.kind()) {
        case IniFileError::Kind::Unreadable:
            break;
        case IniFileError::Kind::BadSectionHeading:
            return where + QStringLiteral("a section heading is written [server]");
        case IniFileError::Kind::NoEquals:
            return where + QStringLiteral("expected key = value");
        case IniFileError::Kind::KeyBeforeSection:
            return where + QStringLiteral("%1 stands before the [server] heading").arg(error.key());
        case IniFileError::Kind::CommentAfterValue:
            return where + QStringLiteral("a comment after the value of %1: put the comment on a line of its "
                                          "own, or the value in double quotes")
                               .arg(error.key());
        }
        return QStringLiteral("cannot read the configuration file %1").arg(path);
    }

    const QCommandLineParser &parser_;
    std::optional<IniFile> file_;
};

// The durability test stops the server with SIGKILL in the middle of a writing call: with
// BCO_SERVER_HOLD_BEFORE_COMMIT naming a method, each call of it says so on standard error once its work is
// done but not committed, and waits there. Nothing else reads the variable; unset, this does nothing.
void holdBeforeCommitForTests(Dispatcher &dispatcher) {
    const QString method = qEnvironmentVariable("BCO_SERVER_HOLD_BEFORE_COMMIT");
    if (method.isEmpty())
        return;
    dispatcher.setBeforeCommit([method](const QString &name) {
        if (name.compare(method, Qt::CaseInsensitive) != 0)
            return;
        std::fprintf(stderr, "holding %s before its commit\n", qPrintable(name));
        std::fflush(stderr);
        std::this_thread::sleep_for(std::chrono::minutes(10));
    });
}

int run(QCoreApplication &app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Application server of BCO11100.rdmLancContCorr"));
    parser.addHelpOption();
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("sqlite:PATH or postgresql://... (default sqlite:bco.db)"),
                                QStringLiteral("address"), QStringLiteral("sqlite:bco.db"));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("HOST:PORT to accept calls on (default 127.0.0.1:8211)"),
                                    QStringLiteral("address"), QStringLiteral("127.0.0.1:8211"));
    const QCommandLineOption initDemo(
        QStringLiteral("init-demo"),
        QStringLiteral("fill the database with the demo data when it holds none"));
    const QCommandLineOption initOnly(QStringLiteral("init-only"),
                                      QStringLiteral("exit after preparing the database"));
    const QCommandLineOption demoDate(QStringLiteral("demo-date"),
                                      QStringLiteral("day the demo data is counted from (default today)"),
                                      QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption demoEntries(QStringLiteral("demo-entries"),
                                         QStringLiteral("number of demo entries (default 3000)"),
                                         QStringLiteral("count"), QStringLiteral("3000"));
    const QCommandLineOption bodyLimit(QStringLiteral("body-limit"),
                                       QStringLiteral("largest request body in bytes (default 64 MB)"),
                                       QStringLiteral("bytes"), QString::number(64 * 1024 * 1024));
    const QCommandLineOption threads(QStringLiteral("threads"),
                                     QStringLiteral("worker threads, one per client connection (default 32)"),
                                     QStringLiteral("count"), QStringLiteral("32"));
    const QCommandLineOption tlsCert(QStringLiteral("tls-cert"),
                                     QStringLiteral("PEM certificate (with its chain): serve HTTPS only; "
                                                    "required off loopback"),
                                     QStringLiteral("file"));
    const QCommandLineOption tlsKey(QStringLiteral("tls-key"),
                                    QStringLiteral("PEM private key of the certificate"),
                                    QStringLiteral("file"));
    const QCommandLineOption audit(QStringLiteral("audit"),
                                   QStringLiteral("list the writing calls on the account and exit"),
                                   QStringLiteral("account"));
    const QCommandLineOption auditFrom(QStringLiteral("from"),
                                       QStringLiteral("with --audit: from this day on (local time)"),
                                       QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption auditTo(QStringLiteral("to"),
                                     QStringLiteral("with --audit: up to this day (local time)"),
                                     QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption config(
        QStringLiteral("config"),
        QStringLiteral("INI file whose [server] keys (db, listen, tls-cert, tls-key, "
                       "threads, body-limit) stand where the option is not given"),
        QStringLiteral("file"));
    parser.addOptions({db, listen, initDemo, initOnly, demoDate, demoEntries, bodyLimit, threads, tlsCert,
                       tlsKey, audit, auditFrom, auditTo, config});
    parser.process(app);
    const Settings settings(parser, config, {db, listen, tlsCert, tlsKey, threads, bodyLimit});

    // Every option is read before the database is opened: a mistyped one would otherwise leave behind a
    // database made and migrated at the path given.
    const auto date = [&](const QCommandLineOption &option) {
        if (!parser.isSet(option))
            return QDate();
        const QDate parsed = QDate::fromString(parser.value(option), Qt::ISODate);
        if (!parsed.isValid())
            throw std::invalid_argument("--" + option.names().first().toStdString() +
                                        " needs a date as YYYY-MM-DD");
        return parsed;
    };
    const QDate auditFromDay = date(auditFrom), auditToDay = date(auditTo);
    DemoOptions demo;
    if (parser.isSet(initDemo)) {
        demo.processingDate = parser.isSet(demoDate) ? date(demoDate) : QDate::currentDate();
        bool entriesOk = false;
        demo.entries = parser.value(demoEntries).toInt(&entriesOk);
        if (!entriesOk || demo.entries < 0)
            throw std::invalid_argument("--demo-entries needs a number");
    }
    const bool serving = !parser.isSet(audit) && !parser.isSet(initOnly);
    HttpOptions http;
    if (serving) {
        const Listen address = parseListen(settings.value(listen), settings.source(listen));
        http.host = address.host;
        http.port = address.port;
        bool ok = false;
        http.bodyLimit = settings.value(bodyLimit).toULongLong(&ok);
        if (!ok || http.bodyLimit == 0)
            throw std::invalid_argument(settings.source(bodyLimit) + " needs a number of bytes");
        http.threads = settings.value(threads).toInt(&ok);
        if (!ok || http.threads < 1)
            throw std::invalid_argument(settings.source(threads) + " needs a positive number");
        http.tlsCertificate = settings.value(tlsCert);
        http.tlsKey = settings.value(tlsKey);
    }

    const DatabaseUrl url = DatabaseUrl::parse(settings.value(db));
    // Listing the audit of a database that is not there would make an empty one.
    if (parser.isSet(audit) && url.kind == DatabaseUrl::Kind::Sqlite && !QFileInfo::exists(url.path))
        throw std::invalid_argument("no database file " + url.path.toStdString());
    ConnectionPool pool(url); // opened on its first use
    SessionStore sessions;
    Dispatcher dispatcher(pool, sessions, allMethods());
    dispatcher.setLogger(logCall);
    holdBeforeCommitForTests(dispatcher);
    // The address is taken, with its certificate, before the database is opened: a server that cannot
    // listen leaves none behind. Nothing is accepted before serve().
    std::unique_ptr<HttpServer> server;
    int port = 0;
    if (serving) {
        server = std::make_unique<HttpServer>(dispatcher, http);
        port = server->bind();
    }
    migrate(pool.forThisThread());
    if (parser.isSet(audit)) {
        const QString listing = formatAudit(
            auditOf(pool.forThisThread(), parser.value(audit).trimmed(), auditFromDay, auditToDay));
        std::fputs(listing.toUtf8().constData(), stdout);
        return 0;
    }
    if (parser.isSet(initDemo)) {
        // A database that already holds data keeps it: running the demo twice serves the first one's data.
        const auto companies = pool.forThisThread().scalar(QStringLiteral("SELECT COUNT(*) FROM EMPRESA"));
        if (companies && companies->toLongLong() > 0)
            std::fprintf(stderr, "the database already holds data; the demo data was not loaded again\n");
        else {
            loadDemoData(pool.forThisThread(), demo);
            std::fprintf(stderr, "the demo data was loaded (processing date %s)\n",
                         qPrintable(demo.processingDate.toString(Qt::ISODate)));
        }
    }
    if (!serving)
        return 0;

    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals(), &signal);
        server->stop();
    });

    std::printf("listening on %s:%d%s\n", qPrintable(http.host), port, server->usesTls() ? " (TLS)" : "");
    std::fflush(stdout);
    server->serve();
    // serve() also returns when the server could not run; wake the stopper so it can be joined.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    std::fprintf(stderr, "stopped\n");
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    keepFreedMemoryForReuse();
    ignoreBrokenPipes();
    pthread_sigmask(SIG_BLOCK, &stopSignals(), nullptr);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("bco-server"));
    try {
        return run(app);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bco-server: %s\n", error.what());
        return 1;
    }
}
