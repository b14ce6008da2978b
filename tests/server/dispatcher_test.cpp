#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "framework/remote/wire_codec.h"
#include "server/methods/all_methods.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

using Status = CallOutcome::Status;

class DispatcherTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (!IsSkipped())
            server = std::make_unique<TestServer>(GetParam());
    }
    std::unique_ptr<TestServer> server;
};

TEST_P(DispatcherTest, LoginAnswersATokenThatOpensTheOtherMethods) {
    const CallOutcome login = server->callAs(QString(), QStringLiteral("Login"), {"demo", "demo"});
    ASSERT_TRUE(login.ok()) << login.error.toStdString();
    const QString token = login.result.toText();
    EXPECT_EQ(token.size(), 64);
    ASSERT_EQ(login.args.size(), 2u);
    EXPECT_TRUE(login.args[1].isNull()) << "the password goes back in no answer";
    EXPECT_TRUE(server->callAs(token, QStringLiteral("getSaldoDia"), {"004", demoDate}).ok());

    // An operator made inactive meanwhile is let in no longer through the session it holds.
    server->database().sql().execute(
        QStringLiteral("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = 'DEMO'"));
    EXPECT_EQ(server->callAs(token, QStringLiteral("getSaldoDia"), {"004", demoDate}).status,
              Status::Unauthorized);
}

TEST_P(DispatcherTest, LoginRefusesAWrongPasswordAndAnUnknownOperatorAlike) {
    server->database().sql().execute(
        QStringLiteral("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = 'SUPERV'"));
    for (const auto &[operatorCode, password] : {std::pair{"DEMO", "Demo"}, std::pair{"NINGUEM", "demo"},
                                                 std::pair{"SUPERV", "demo"}, std::pair{"", ""}}) {
        SCOPED_TRACE(operatorCode);
        const CallOutcome login =
            server->callAs(QString(), QStringLiteral("Login"), {operatorCode, password});
        EXPECT_EQ(login.status, Status::Refused);
        EXPECT_EQ(login.error, QStringLiteral("Operador ou senha inválidos."));
    }
}

TEST_P(DispatcherTest, EveryOtherMethodNeedsALiveSession) {
    for (const QString &token : {QString(), QStringLiteral("0123456789abcdef"), server->demoToken() + u'0'}) {
        for (const QString &method : server->dispatcher().methods().names()) {
            if (method == u"Login")
                continue;
            SCOPED_TRACE(method.toStdString());
            EXPECT_EQ(server->callAs(token, method, {}).status, Status::Unauthorized);
        }
    }
}

TEST_P(DispatcherTest, AnExpiredSessionIsRefused) {
    SessionStore shortLived(SessionStore::Options{.idleLimit = std::chrono::milliseconds(0)});
    Dispatcher dispatcher(server->database().pool(), shortLived, allMethods());
    const QString token = shortLived.open(server->database().sql(), QStringLiteral("DEMO"));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(dispatcher.call(QStringLiteral("getGeral_bco"), {}, token).status, Status::Unauthorized);
}

TEST_P(DispatcherTest, MethodNamesAreMatchedWithoutRegardToCase) {
    for (const char *name : {"getSaldoDia", "GETSALDODIA", "getsaldodia"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(server->call(QString::fromLatin1(name), {"004", demoDate}).ok());
    }
    const CallOutcome unknown = server->call(QStringLiteral("getSaldoMes"), {"004", demoDate});
    EXPECT_EQ(unknown.status, Status::UnknownMethod);
    EXPECT_EQ(unknown.error, QStringLiteral("unknown method getSaldoMes of BCO11100.rdmLancContCorr"));
}

TEST_P(DispatcherTest, RefusesArgumentsOfTheWrongNumberOrKind) {
    struct Case {
        const char *name, *method;
        VariantList args;
        QString message;
    } cases[] = {
        {"too few", "getSaldoDia", {"004"}, QStringLiteral("getSaldoDia takes 2 arguments, not 1")},
        {"too many", "getGeral_bco", {1}, QStringLiteral("getGeral_bco takes 0 arguments, not 1")},
        {"a number for a date",
         "getSaldoDia",
         {"004", 45000},
         QStringLiteral("argument 2 of getSaldoDia must be date, not integer")},
        {"a date for a text",
         "getSaldoDia",
         {demoDate, demoDate},
         QStringLiteral("argument 1 of getSaldoDia must be text, not date")},
        {"text for a number",
         "getPesqMovBanc",
         {"004", demoDate, "", "10,00", ""},
         QStringLiteral("argument 4 of getPesqMovBanc must be number, not text")},
        {"a packet for a flag",
         "GetFilialRel",
         {"", "T", DataPacket()},
         QStringLiteral("argument 3 of GetFilialRel must be boolean, not data packet")},
        {"more than the optional version",
         "SetEmiteCheque",
         {"001", "0000000001", "1", demoDate, 1.0, "", "1", "1"},
         QStringLiteral("SetEmiteCheque takes 6 to 7 arguments, not 8")},
        {"fewer than the required ones",
         "SetEmiteCheque",
         {"001", "0000000001", "1", demoDate, 1.0},
         QStringLiteral("SetEmiteCheque takes 6 to 7 arguments, not 5")},
        {"a version that is not digits",
         "SetEmiteCheque",
         {"001", "0000000001", "1", demoDate, 1.0, "", "12a"},
         QStringLiteral("argument 7 of SetEmiteCheque must be a whole number (digits), not text")},
        {"a negative version",
         "SetEmiteCheque",
         {"001", "0000000001", "1", demoDate, 1.0, "", -1},
         QStringLiteral("argument 7 of SetEmiteCheque must be a whole number (digits), not integer")},
        {"a version as a fraction",
         "SetEmiteCheque",
         {"001", "0000000001", "1", demoDate, 1.0, "", 1.5},
         QStringLiteral("argument 7 of SetEmiteCheque must be a whole number (digits), not float")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CallOutcome outcome = server->call(QString::fromLatin1(c.method), c.args);
        EXPECT_EQ(outcome.status, Status::BadArguments);
        EXPECT_EQ(outcome.error, c.message);
    }
}

TEST_P(DispatcherTest, TakesNullForAnEmptyTextOrDate) {
    EXPECT_TRUE(server
                    ->call(QStringLiteral("GetLancamentos"),
                           {"004", Variant(), Variant(), 0, 0, "T", "T", Variant(), "T"})
                    .ok());
}

// A call writes all or nothing: whatever a method wrote before it refused or failed is gone.
class FailingMethodsTest : public DispatcherTest {
protected:
    void SetUp() override {
        DispatcherTest::SetUp();
        if (IsSkipped())
            return;
        MethodRegistry methods;
        const auto writeThen = [](std::function<void(Sql &)> fail) {
            return [fail](CallContext &context, VariantList &) -> Variant {
                context.sql.execute(
                    QStringLiteral("INSERT INTO CENTCUST (CDCENTCUST, NMCENTCUST) VALUES ('9999', 'x')"));
                fail(context.sql);
                return true;
            };
        };
        methods.add({.name = QStringLiteral("refuses"),
                     .writes = true,
                     .handler = writeThen([](Sql &) { throw Refusal(QStringLiteral("não")); })});
        methods.add({.name = QStringLiteral("fails"),
                     .writes = true,
                     .handler = writeThen(
                         [](Sql &sql) { sql.execute(QStringLiteral("INSERT INTO NOTABLE VALUES (1)")); })});
        methods.add({.name = QStringLiteral("misreads"),
                     .writes = true,
                     .handler = writeThen([](Sql &) { throw std::invalid_argument("bad"); })});
        methods.add({.name = QStringLiteral("breaks"),
                     .writes = true,
                     .handler = writeThen(
                         [](Sql &) { throw std::logic_error("CENTCUST row 9999 lost its company"); })});
        dispatcher =
            std::make_unique<Dispatcher>(server->database().pool(), server->sessions(), std::move(methods));
        dispatcher->setLogger([this](const QString &method, double, const QString &outcome) {
            log.append(method + u' ' + outcome);
        });
    }

    std::unique_ptr<Dispatcher> dispatcher;
    QStringList log;
};

TEST_P(FailingMethodsTest, ARefusedOrFailedCallLeavesNothingWritten) {
    const std::pair<const char *, Status> cases[] = {{"refuses", Status::Refused},
                                                     {"fails", Status::DatabaseFailed},
                                                     {"misreads", Status::BadArguments},
                                                     {"breaks", Status::Failed}};
    for (const auto &[method, status] : cases) {
        SCOPED_TRACE(method);
        EXPECT_EQ(dispatcher->call(QString::fromLatin1(method), {}, server->demoToken()).status, status);
        EXPECT_FALSE(server->database().sql().scalar(
            QStringLiteral("SELECT 1 FROM CENTCUST WHERE CDCENTCUST = '9999'")));
    }
}

// A fault of the server tells the caller only that it happened and under which incident; the table, the
// statement and the driver's words go to the log under that number. Refusals and bad arguments keep their
// own answers.
TEST_P(FailingMethodsTest, AFaultAnswers500WithAnIncidentNumberAndNothingOfTheServersInsides) {
    const struct Case {
        const char *method;
        int status;
        const char *logged; // what the log line holds besides the incident
    } cases[] = {
        {"fails", 500, "NOTABLE"},
        {"breaks", 500, "CENTCUST row 9999 lost its company"},
        {"refuses", 200, "refused: não"},
        {"misreads", 400, "bad arguments: misreads failed: bad"},
    };
    const QRegularExpression generic(
        QStringLiteral("^Falha interna do servidor de aplicação \\(ocorrência ([0-9A-F]{8})\\)\\.$"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.method);
        log.clear();
        const RpcResponse response =
            dispatcher->handle(QString::fromLatin1(c.method), QStringLiteral("Bearer ") + server->demoToken(),
                               encodeRequest({}));
        EXPECT_EQ(response.status, c.status);
        const WireAnswer answer = decodeAnswer(response.body.joined());
        ASSERT_EQ(log.size(), 1);
        EXPECT_TRUE(log[0].contains(QString::fromUtf8(c.logged))) << log[0].toStdString();
        const auto match = generic.match(answer.error);
        if (c.status != 500) {
            EXPECT_FALSE(match.hasMatch());
            EXPECT_EQ(answer.incident, QString());
            continue;
        }
        ASSERT_TRUE(match.hasMatch()) << answer.error.toStdString();
        EXPECT_EQ(answer.incident, match.captured(1));
        EXPECT_TRUE(log[0].contains(QStringLiteral("incident ") + answer.incident)) << log[0].toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, FailingMethodsTest, ::testing::ValuesIn(availableBackends()),
                         backendName);

// A connection the database server dropped while it sat idle (here: its backend ended by an administrator,
// as a restart of the server ends them all) is replaced before the next call meets it.
TEST_P(DispatcherTest, ReplacesAConnectionTheDatabaseDropped) {
    if (GetParam() != Backend::Postgresql)
        GTEST_SKIP() << "only a database server can drop a connection";
    const auto backend = server->database().sql().scalar(QStringLiteral("SELECT pg_backend_pid()"));
    terminateBackend(backend->toLongLong());
    EXPECT_TRUE(server->call(QStringLiteral("getGeral_bco")).ok());
    EXPECT_NE(server->database().sql().scalar(QStringLiteral("SELECT pg_backend_pid()"))->toLongLong(),
              backend->toLongLong());
}

// Another writer holds the database past what a call waits (another program on the SQLite file, a lock
// taken from psql): the call says so in words the operator can act on, writes nothing, and the same call
// goes through once the other writer is done.
TEST_P(DispatcherTest, ACallThatWaitedTooLongForAnotherWriterSaysSoAndWritesNothing) {
    const QString drawn = QStringLiteral("SELECT SUM(NRULTIMO) FROM NUMERACAO");
    const QVariant before = server->database().sql().scalar(drawn).value_or(QVariant());
    ConnectionPool otherWriter(server->database().url());
    Sql &holder = otherWriter.forThisThread();
    holder.begin(true);
    // On PostgreSQL the calls of this thread wait a moment here, not the minute they wait in service; on
    // SQLite a writing call waits its ten seconds on the writers' thread.
    if (GetParam() == Backend::Postgresql) {
        holder.executeScript(QStringLiteral("LOCK TABLE NUMERACAO IN ACCESS EXCLUSIVE MODE"));
        server->database().sql().executeScript(QStringLiteral("SET lock_timeout = '200ms'"));
    }
    const CallOutcome held = server->call(QStringLiteral("getPrxMovBancario"), {"001", "1"});
    EXPECT_EQ(held.status, Status::Busy);
    EXPECT_EQ(held.error,
              QStringLiteral("O banco de dados está ocupado por outra operação, que não terminou a "
                             "tempo: nada foi gravado. Tente novamente em instantes."));
    holder.rollback();
    EXPECT_EQ(server->database().sql().scalar(drawn).value_or(QVariant()), before);
    EXPECT_TRUE(server->call(QStringLiteral("getPrxMovBancario"), {"001", "1"}).ok());
}

// The SQLite file moved away under the running server (a careless copy, a cleanup): a write is refused
// rather than made to a file no one will read again, and no empty database is made in its place; another
// file put at the path is not opened either (the log the old one left beside it would be read into it), and
// is left as it was put there; once the file itself is back, the calls go through.
TEST_P(DispatcherTest, AWriteToADatabaseFileMovedAwayIsRefusedAndNoOtherFileTakesItsPlace) {
    if (GetParam() != Backend::Sqlite)
        GTEST_SKIP() << "only SQLite keeps the books in a file of the server's";
    ASSERT_TRUE(server->call(QStringLiteral("getPrxMovBancario"), {"001", "1"}).ok());
    const QString path = server->database().url().path;
    const QString aside = path + QStringLiteral(".fora");
    const auto contents = [](const QString &file) {
        QFile read(file);
        return read.open(QIODevice::ReadOnly) ? read.readAll() : QByteArray();
    };
    ASSERT_TRUE(QFile::rename(path, aside));
    for (const char *attempt : {"on the connection opened before", "on a connection opened after"}) {
        SCOPED_TRACE(attempt);
        EXPECT_EQ(server->call(QStringLiteral("getPrxMovBancario"), {"001", "1"}).status,
                  Status::DatabaseFailed);
        EXPECT_FALSE(QFile::exists(path));
    }
    ASSERT_TRUE(QFile::copy(aside, path));
    const QByteArray copied = contents(path);
    for (int attempt = 0; attempt < 2; ++attempt)
        EXPECT_EQ(server->call(QStringLiteral("getPrxMovBancario"), {"001", "1"}).status,
                  Status::DatabaseFailed);
    EXPECT_EQ(contents(path), copied) << "the copy put at the path is as it was put there";
    EXPECT_EQ(QFileInfo(path + QStringLiteral("-wal")).size(), 0)
        << "the old file's log is emptied into it, so that nothing opened at the path later reads it";
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::rename(aside, path));
    EXPECT_TRUE(server->call(QStringLiteral("getPrxMovBancario"), {"001", "1"}).ok());
}

// Wrong passwords in a row slow the next answers for that code, known or not, ever more up to the limit and
// whether the next password is right or wrong; the right one still gets in, and clears the count.
TEST_P(DispatcherTest, WrongPasswordsInARowAreAnsweredEverMoreSlowly) {
    using std::chrono::milliseconds;
    SessionStore sessions(SessionStore::Options{.idleLimit = std::chrono::hours(1),
                                                .loginDelayStep = milliseconds(40),
                                                .loginDelayLimit = milliseconds(120),
                                                .failureMemory = std::chrono::minutes(1)});
    Dispatcher dispatcher(server->database().pool(), sessions, allMethods());
    QStringList log;
    dispatcher.setLogger([&](const QString &, double, const QString &outcome) { log.append(outcome); });
    const auto tryLogin = [&](const char *operatorCode, const char *password, qint64 *elapsed) {
        QElapsedTimer timer;
        timer.start();
        const CallOutcome outcome =
            dispatcher.call(QStringLiteral("Login"), {operatorCode, password}, QString());
        *elapsed = timer.elapsed();
        return outcome;
    };
    for (const char *operatorCode : {"DEMO", "NINGUEM"}) {
        SCOPED_TRACE(operatorCode);
        const qint64 holds[] = {0, 40, 80, 120, 120};
        for (size_t i = 0; i < std::size(holds); ++i) {
            SCOPED_TRACE(i);
            qint64 elapsed = 0;
            const CallOutcome outcome = tryLogin(operatorCode, "errada", &elapsed);
            EXPECT_EQ(outcome.error, QStringLiteral("Operador ou senha inválidos."));
            EXPECT_GE(elapsed, holds[i]);
            EXPECT_TRUE(log.last().endsWith(
                QStringLiteral("%1 wrong in a row%2)")
                    .arg(i + 1)
                    .arg(holds[i] > 0 ? QStringLiteral(", held %1 ms").arg(holds[i]) : QString())))
                << log.last().toStdString();
        }
    }
    qint64 elapsed = 0;
    EXPECT_TRUE(tryLogin("DEMO", "demo", &elapsed).ok());
    EXPECT_GE(elapsed, 120);
    EXPECT_EQ(sessions.loginHold(server->database().sql(), QStringLiteral("DEMO")).failures, 0);
    EXPECT_EQ(sessions.loginHold(server->database().sql(), QStringLiteral("NINGUEM")).failures, 5);
}

// A held answer keeps a worker waiting: beyond the most held at once, or beyond half of them for one code, a
// login is refused at once and uncounted, so that wrong logins side by side cannot hold every worker; and
// wrong logins sent for one operator leave another, who mistyped once, room to be held and let in.
TEST_P(DispatcherTest, NoMoreLoginsThanTheMostAreHeldAtOnce) {
    using std::chrono::milliseconds;
    SessionStore sessions(SessionStore::Options{.idleLimit = std::chrono::hours(1),
                                                .loginDelayStep = milliseconds(1500),
                                                .loginDelayLimit = milliseconds(1500),
                                                .failureMemory = std::chrono::minutes(1),
                                                .mostHeldLogins = 4});
    Dispatcher dispatcher(server->database().pool(), sessions, allMethods());
    const auto login = [&](const char *operatorCode, const char *password) {
        return dispatcher.call(QStringLiteral("Login"), {operatorCode, password}, QString());
    };
    const QString wrong = QStringLiteral("Operador ou senha inválidos.");
    const QString tooMany =
        QStringLiteral("Há muitas entradas com senha errada em espera. Tente de novo em alguns segundos.");
    EXPECT_EQ(login("NINGUEM", "errada").error, wrong);
    EXPECT_EQ(login("DEMO", "errada").error, wrong);

    // Four wrong logins for one code at once: two are held, two refused.
    std::vector<CallOutcome> floodOutcomes(4);
    std::vector<std::thread> flood;
    for (CallOutcome &outcome : floodOutcomes)
        flood.emplace_back([&] { outcome = login("NINGUEM", "errada"); });
    QElapsedTimer waited;
    waited.start();
    while (sessions.heldLogins() < 2 && waited.elapsed() < 10000)
        std::this_thread::sleep_for(milliseconds(5));
    ASSERT_EQ(sessions.heldLogins(), 2);
    EXPECT_EQ(login("NINGUEM", "errada").error, tooMany);
    EXPECT_TRUE(login("DEMO", "demo").ok()) << "held beside them, and let in";
    EXPECT_TRUE(login("SUPERV", "demo").ok()) << "nobody holds a login without wrong ones";
    for (std::thread &thread : flood)
        thread.join();
    EXPECT_EQ(std::count_if(floodOutcomes.begin(), floodOutcomes.end(),
                            [&](const CallOutcome &o) { return o.error == wrong; }),
              2);
    EXPECT_EQ(std::count_if(floodOutcomes.begin(), floodOutcomes.end(),
                            [&](const CallOutcome &o) { return o.error == tooMany; }),
              2);
    EXPECT_EQ(sessions.heldLogins(), 0);
    EXPECT_EQ(sessions.loginHold(server->database().sql(), QStringLiteral("NINGUEM")).failures, 3);
}

// Codes tried once and never again leave no row behind once their count is past its memory.
TEST_P(DispatcherTest, AWrongLoginDropsTheCountsPastTheirMemory) {
    Sql &sql = server->database().sql();
    sql.execute(
        QStringLiteral("INSERT INTO LOGINFALHA (CDOPERADOR, NRFALHAS, DTHRULTFALHA) VALUES ('VELHO', 9, "
                       ":quando)"),
        {{QStringLiteral("quando"), SessionStore::now() - 16 * 60 * 1000}});
    EXPECT_EQ(server->callAs(QString(), QStringLiteral("Login"), {"NOVO", "errada"}).error,
              QStringLiteral("Operador ou senha inválidos."));
    EXPECT_EQ(
        sql.scalar(QStringLiteral("SELECT COUNT(*) FROM LOGINFALHA WHERE CDOPERADOR = 'VELHO'"))->toInt(), 0);
    EXPECT_EQ(
        sql.scalar(QStringLiteral("SELECT NRFALHAS FROM LOGINFALHA WHERE CDOPERADOR = 'NOVO'"))->toInt(), 1);
}

TEST_P(DispatcherTest, LogsOneLinePerCallWithItsOutcome) {
    QStringList lines;
    server->dispatcher().setLogger([&](const QString &method, double milliseconds, const QString &outcome) {
        EXPECT_GE(milliseconds, 0.0);
        lines.append(method + u' ' + outcome);
    });
    server->call(QStringLiteral("getsaldodia"), {"004", demoDate});
    server->call(QStringLiteral("getSaldoDia"), {"004", QDate()});
    server->callAs(QString(), QStringLiteral("getSaldoDia"), {"004", demoDate});
    EXPECT_EQ(lines, (QStringList{QStringLiteral("getSaldoDia ok"),
                                  QStringLiteral("getSaldoDia refused: Data deve ser informada."),
                                  QStringLiteral("getSaldoDia unauthorized: no session: call Login first")}));
}

INSTANTIATE_TEST_SUITE_P(Databases, DispatcherTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
