#include "support/form_test_server.h"

#include <map>
#include <stdexcept>
#include <thread>
#include <utility>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "framework/remote/net_connection.h"
#include "server/demo/demo_data.h"
#include "server/methods/all_methods.h"
#include "server/storage/migrations.h"
#include "server/transport/dispatcher.h"
#include "server/transport/http_server.h"
#include "server/transport/sessions.h"

namespace bco::testing {

namespace {

using server::ConnectionPool;

// Demo databases by day and number of entries, each built once. CTest runs every test in a process of its
// own, so a database built by one process is kept for the next ones in the build's cache folder, under a
// name that changes whenever the test program (which holds the demo's code) does.
class DemoTemplates {
public:
    QString pathFor(QDate processingDate, int entries) {
        const std::pair key{processingDate.toJulianDay(), entries};
        if (const auto found = built_.find(key); found != built_.end())
            return found->second;
        const QString name = QStringLiteral("demo-%1-%2-%3.db")
                                 .arg(processingDate.toString(Qt::ISODate))
                                 .arg(entries)
                                 .arg(programStamp());
        const QString cached = QDir(QStringLiteral(BCO_TEST_CACHE_DIR)).filePath(name);
        if (QFile::exists(cached)) {
            built_.emplace(key, cached);
            return cached;
        }
        if (!folder_.isValid())
            throw std::runtime_error("no temporary folder for the demo databases");
        const QString path = folder_.filePath(name);
        {
            ConnectionPool pool(DatabaseUrl::parse(QStringLiteral("sqlite:") + path));
            buildDemoDatabase(pool, processingDate, entries);
        }
        // The pool is gone, so the write-ahead log has been folded into the file: the file alone is the
        // database. It reaches the cache whole or not at all, whatever other tests do at the same time.
        built_.emplace(key, path);
        QDir().mkpath(QStringLiteral(BCO_TEST_CACHE_DIR));
        const QString partial = cached + QStringLiteral(".%1").arg(QCoreApplication::applicationPid());
        if (QFile::copy(path, partial) && !QFile::rename(partial, cached))
            QFile::remove(partial);
        return path;
    }

private:
    // Names the build of the running test program.
    static QString programStamp() {
        const QFileInfo program(QCoreApplication::applicationFilePath());
        const QByteArray identity = program.absoluteFilePath().toUtf8() + '@' +
                                    QByteArray::number(program.lastModified().toMSecsSinceEpoch()) + '@' +
                                    QByteArray::number(server::latestSchemaVersion());
        return QString::fromLatin1(
            QCryptographicHash::hash(identity, QCryptographicHash::Sha1).toHex().left(16));
    }

    QTemporaryDir folder_;
    std::map<std::pair<qint64, int>, QString> built_;
};

DemoTemplates &demoTemplates() {
    static DemoTemplates templates;
    return templates;
}

} // namespace

void buildDemoDatabase(ConnectionPool &pool, QDate processingDate, int demoEntries) {
    server::migrate(pool.forThisThread());
    if (demoEntries < 0)
        return;
    server::DemoOptions options;
    options.processingDate = processingDate;
    options.entries = demoEntries;
    options.passwordIterations = 50;
    server::loadDemoData(pool.forThisThread(), options);
}

void createDatabase(const QString &path, QDate processingDate, int demoEntries) {
    QFile::remove(path);
    if (demoEntries < 0) {
        ConnectionPool pool(DatabaseUrl::parse(QStringLiteral("sqlite:") + path));
        buildDemoDatabase(pool, processingDate, demoEntries);
        return;
    }
    if (!QFile::copy(demoTemplates().pathFor(processingDate, demoEntries), path))
        throw std::runtime_error("cannot copy the demo database to " + path.toStdString());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

struct InProcessServer::Running {
    Running(const DatabaseUrl &database, ServedTls served)
        : tls(std::move(served))
        , pool(database)
        , dispatcher(pool, sessions, server::allMethods())
        , http(dispatcher, server::HttpOptions{.host = QStringLiteral("127.0.0.1"),
                                               .port = 0,
                                               .threads = 8,
                                               .tlsCertificate = tls.certificate,
                                               .tlsKey = tls.key}) {
        port = http.bind();
        serving = std::thread([this] { http.serve(); });
    }
    ~Running() {
        http.stop();
        serving.join();
    }

    ServedTls tls;
    ConnectionPool pool;
    server::SessionStore sessions;
    server::Dispatcher dispatcher;
    server::HttpServer http;
    int port = 0;
    std::thread serving;
};

InProcessServer::InProcessServer(const DatabaseUrl &database, ServedTls tls)
    : running_(std::make_unique<Running>(database, std::move(tls))) {
}

InProcessServer::~InProcessServer() = default;

int InProcessServer::port() const {
    return running_->port;
}

TransportSecurity InProcessServer::clientSecurity() const {
    const ServedTls &tls = running_->tls;
    return {.tls = !tls.certificate.isEmpty(), .caFile = tls.authority};
}

QString InProcessServer::logIn(const QString &operatorCode, const QString &password) const {
    NetConnection connection;
    connection.SetHost(host());
    connection.SetPort(port());
    connection.SetSecurity(clientSecurity());
    const RemoteResult answer = connection.Call(QStringLiteral("Login"), VariantList{operatorCode, password});
    if (!answer.ok())
        throw std::runtime_error("the server refused the login of " + operatorCode.toStdString() + ": " +
                                 answer.errorMessage().toStdString());
    return answer.payload().toText();
}

LoginContext demoLoginContext(const InProcessServer &server, const QString &databaseConnection) {
    LoginContext context;
    context.operatorCode = QStringLiteral("DEMO");
    context.processingBranch = QStringLiteral("0101");
    context.processingDate = formTestDate;
    context.serverHost = server.host();
    context.serverPort = server.port();
    context.serverSecurity = server.clientSecurity();
    context.sessionToken = server.logIn(QStringLiteral("DEMO"), QStringLiteral("demo"));
    context.databaseConnection = databaseConnection;
    return context;
}

namespace rows {

void execute(QSqlDatabase database, const QString &sql) {
    QSqlQuery query(database);
    if (!query.exec(sql))
        throw std::runtime_error(query.lastError().text().toStdString() + " in: " + sql.toStdString());
}

QVariant value(QSqlDatabase database, const QString &sql) {
    QSqlQuery query(database);
    if (!query.exec(sql))
        throw std::runtime_error(query.lastError().text().toStdString() + " in: " + sql.toStdString());
    return query.next() ? query.value(0) : QVariant();
}

QString reconciliationOf(QSqlDatabase database, const QString &movement) {
    QSqlQuery query(database);
    query.prepare(QStringLiteral("SELECT IDSTCONEXT, CDSEQUEXBA, NRSEQMOVREBA FROM MOVBANCARIO WHERE "
                                 "CDREDUCONT = '001' AND NRMOVBANC = ?"));
    query.addBindValue(movement);
    if (!query.exec())
        throw std::runtime_error(query.lastError().text().toStdString());
    if (!query.next())
        return QStringLiteral("<none>");
    return QStringLiteral("%1 %2 %3")
        .arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
}

void addAccount(QSqlDatabase database, const Account &account) {
    const QString ledger = QStringLiteral("11109%1").arg(account.code, 5, QLatin1Char('0'));
    const QString number =
        account.number.isEmpty() ? QStringLiteral("9%1").arg(account.code) : account.number;
    QSqlQuery query(database);
    query.prepare(QStringLiteral("INSERT INTO CONTCTBL (CDCONTCTBL, NMCONTCTBL, IDTIPOCOME) "
                                 "VALUES (:ledger, :name, 'N')"));
    query.bindValue(QStringLiteral(":ledger"), ledger);
    query.bindValue(QStringLiteral(":name"), QStringLiteral("Banco conta ") + account.code);
    if (!query.exec())
        throw std::runtime_error(query.lastError().text().toStdString());
    query.prepare(QStringLiteral("INSERT INTO CONTCORR (CDREDUCONT, CDEMPRESA, CDBANCO, CDAGENCIA, "
                                 "CDCONTCORR, DSCONTCORR, CDCONTCTBL, "
                                 "IDTIPOCCORR, DTSALDINIC, VRSALDINIC) VALUES (:code, :company, :bank, "
                                 ":agency, :number, :description, "
                                 ":ledger, 'C', :openingDate, :opening)"));
    query.bindValue(QStringLiteral(":code"), account.code);
    query.bindValue(QStringLiteral(":company"), account.company);
    query.bindValue(QStringLiteral(":bank"), account.bank);
    query.bindValue(QStringLiteral(":agency"), account.agency);
    query.bindValue(QStringLiteral(":number"), number);
    query.bindValue(QStringLiteral(":description"), account.description);
    query.bindValue(QStringLiteral(":ledger"), ledger);
    query.bindValue(QStringLiteral(":openingDate"), account.openingDate.toString(Qt::ISODate));
    query.bindValue(QStringLiteral(":opening"), account.openingCents);
    if (!query.exec())
        throw std::runtime_error(query.lastError().text().toStdString());
}

void addEntries(QSqlDatabase database, const Entries &entries) {
    // Numbers and dates are made by the query from the row's index i (1 to count).
    const QString series = QStringLiteral("WITH RECURSIVE N(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM N "
                                          "WHERE i < %1) ")
                               .arg(entries.count);
    const QString number =
        QStringLiteral("substr('0000000000' || (i + %1), -10, 10)").arg(entries.firstNumber);
    const QString date = QStringLiteral("date('%1', '+' || ((i - 1) / %2) || ' days')")
                             .arg(entries.firstDate.toString(Qt::ISODate))
                             .arg(entries.perDay);
    const QString value = QStringLiteral("100 + (i * 37) % 100000");
    const QString account = QStringLiteral("'%1'").arg(entries.account);
    const QString company = QStringLiteral("'%1'").arg(entries.company);
    QSqlDatabase db = database;
    if (!db.transaction())
        throw std::runtime_error(db.lastError().text().toStdString());
    try {
        execute(db, series + QStringLiteral("INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, "
                                            "IDMOVBANC, NRDOCMBANC, DSHISMBANC, VRMOVBANC, IDORIGMBANC) "
                                            "SELECT %1, %2, %3, CASE WHEN i % 3 = 0 THEN 'D' ELSE 'C' END, "
                                            "%2, 'Lançamento ' || i, %4, CASE WHEN i % 3 = 0 THEN 'D' ELSE "
                                            "'C' END FROM N")
                                 .arg(account, number, date, value));
        execute(db, series + QStringLiteral("INSERT INTO MOVCREDBANC (CDREDUCONT, NRMOVICRED, NRMOVBANC, "
                                            "CDEMPRESA, CDFILIAL, DTMOVFLUXO, IDMOVFLUXO, CDTPCREDBANC, "
                                            "DTMOVICRED, DSMOVICRED, VRMOVICRED, CDECTBMCRED, CDFILILANCRE, "
                                            "CDCENTCUST) SELECT %1, %2, %2, %5, '0101', %3, 'R', '0001', %3, "
                                            "'Crédito ' || i, %4, %5, '0101', '0001' FROM N WHERE i % 3 <> 0")
                                 .arg(account, number, date, value, company));
        execute(db, series + QStringLiteral("INSERT INTO MOVDEBIBANC (CDREDUCONT, NRMOVIDEBI, NRMOVBANC, "
                                            "CDEMPRESA, CDFILIAL, DTMOVFLUXO, IDMOVFLUXO, CDTPDEBIBANC, "
                                            "DTMOVIDEBI, DSMOVIDEBI, VRMOVIDEBI, CDECTBMDEB, CDCENTCUST) "
                                            "SELECT %1, %2, %2, %5, '0101', %3, 'R', '0001', %3, 'Débito ' "
                                            "|| i, %4, %5, '0001' FROM N WHERE i % 3 = 0")
                                 .arg(account, number, date, value, company));
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw std::runtime_error(db.lastError().text().toStdString());
}

} // namespace rows

} // namespace bco::testing
