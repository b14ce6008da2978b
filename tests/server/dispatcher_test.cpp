#include <gtest/gtest.h>

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
    EXPECT_TRUE(server->callAs(token, QStringLiteral("getSaldoDia"), {"004", demoDate}).ok());
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
TEST_P(DispatcherTest, ARefusedOrFailedCallLeavesNothingWritten) {
    MethodRegistry methods;
    const auto writeThen = [](std::function<void(Sql &)> fail) {
        return [fail](CallContext &context, VariantList &) -> Variant {
            context.sql.execute(
                QStringLiteral("INSERT INTO CENTCUST (CDCENTCUST, NMCENTCUST) VALUES ('9999', 'x')"));
            fail(context.sql);
            return true;
        };
    };
    methods.add({QStringLiteral("refuses"), {}, true, true, writeThen([](Sql &) {
                     throw Refusal(QStringLiteral("não"));
                 })});
    methods.add({QStringLiteral("fails"), {}, true, true, writeThen([](Sql &sql) {
                     sql.execute(QStringLiteral("INSERT INTO NOTABLE VALUES (1)"));
                 })});
    methods.add({QStringLiteral("throws"), {}, true, true, writeThen([](Sql &) {
                     throw std::invalid_argument("bad");
                 })});
    Dispatcher dispatcher(server->database().pool(), server->sessions(), std::move(methods));
    const std::pair<const char *, Status> cases[] = {
        {"refuses", Status::Refused}, {"fails", Status::DatabaseFailed}, {"throws", Status::BadArguments}};
    for (const auto &[method, status] : cases) {
        SCOPED_TRACE(method);
        EXPECT_EQ(dispatcher.call(QString::fromLatin1(method), {}, server->demoToken()).status, status);
        EXPECT_FALSE(server->database().sql().scalar(
            QStringLiteral("SELECT 1 FROM CENTCUST WHERE CDCENTCUST = '9999'")));
    }
}

// A connection the database server dropped (here: its backend ended by an administrator) fails the call that
// meets it and is replaced for the next one, instead of failing every later call of its thread.
TEST_P(DispatcherTest, ReplacesAConnectionTheDatabaseDropped) {
    if (GetParam() != Backend::Postgresql)
        GTEST_SKIP() << "only a database server can drop a connection";
    const auto backend = server->database().sql().scalar(QStringLiteral("SELECT pg_backend_pid()"));
    terminateBackend(backend->toLongLong());
    EXPECT_EQ(server->call(QStringLiteral("getGeral_bco")).status, Status::DatabaseFailed);
    EXPECT_TRUE(server->call(QStringLiteral("getGeral_bco")).ok());
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
