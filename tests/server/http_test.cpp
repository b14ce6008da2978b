#include <chrono>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCborStreamWriter>
#include <QRegularExpression>

#include "framework/remote/wire_codec.h"
#include "server/transport/batch_route.h"
#include "server_process.h"
#include "server_test_support.h"
#include "statement_model/statement_packets.h"

namespace bco::server::testing {
namespace {

struct HttpAnswer {
    int status = 0;
    WireAnswer answer;
};

// The bco-server program over a database of its own, with the demo data it creates itself, and a client.
class HttpTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (!IsSkipped())
            start({});
    }

    void start(const QStringList &arguments) {
        database = std::make_unique<TestDatabase>(GetParam(), false);
        QString errors;
        ASSERT_EQ(ServerProcess::prepare(
                      database->urlText(),
                      {"--init-demo", "--demo-date", "2024-03-15", "--demo-entries", "300"}, &errors),
                  0)
            << errors.toStdString();
        server = std::make_unique<ServerProcess>(database->urlText(), arguments);
        client = std::make_unique<httplib::Client>(server->host().toStdString(), server->port());
        client->set_keep_alive(true);
        client->set_tcp_nodelay(true);
        // A refusal of a request of megabytes comes once the server has read its allowance of it, which an
        // instrumented build takes longer than the client's default of five seconds to do.
        client->set_read_timeout(60, 0);
    }

    HttpAnswer send(const std::string &path, const std::string &body, const QString &token,
                    const char *contentType = CborContentType) {
        httplib::Headers headers;
        if (!token.isEmpty())
            headers.emplace("Authorization", "Bearer " + token.toStdString());
        const auto result = client->Post(path, headers, body, contentType);
        HttpAnswer answer;
        if (!result)
            return answer;
        answer.status = result->status;
        try {
            answer.answer = decodeAnswer(
                QByteArrayView(result->body.data(), static_cast<qsizetype>(result->body.size())));
        } catch (const DecodeError &error) {
            answer.answer.error = QStringLiteral("undecodable answer: ") + QString::fromUtf8(error.what());
        }
        return answer;
    }

    HttpAnswer call(const char *method, const VariantList &args, const QString &token) {
        return send(rpcPath(u"BCO11100.rdmLancContCorr", QString::fromLatin1(method)).toStdString(),
                    encodeRequest(args).toStdString(), token);
    }

    QString login(const char *operatorCode) {
        const HttpAnswer answer = call("Login", {operatorCode, "demo"}, QString());
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(answer.answer.ok) << answer.answer.error.toStdString();
        return answer.answer.result.toText();
    }

    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<httplib::Client> client;
};

// An administrator reads the error output of a server that starts over its database again: what is there is
// a fault, never the database's notice that the schema is in place.
TEST_P(HttpTest, StartingOverAPreparedDatabaseWritesNothingOnTheErrorOutput) {
    QString errors;
    EXPECT_EQ(ServerProcess::prepare(database->urlText(), {}, &errors), 0);
    EXPECT_TRUE(errors.isEmpty()) << errors.toStdString();
}

TEST_P(HttpTest, EveryMethodAnswersTheDemoOperator) {
    const QString token = login("DEMO");
    const auto draw = [&](const QString &method, const QString &account) {
        return call(method.toLatin1().constData(), {account, "1"}, token).answer.result.toText();
    };
    // Entries to include, then change (the credit and one debit) or delete (the other debit).
    EntryRequest credit{.kind = 'C'};
    EntryRequest debit{.kind = 'D', .value = 1.0};
    EntryRequest deleted{.kind = 'D', .value = 2.0};
    EntryRequest importedCredit{.kind = 'C', .description = QStringLiteral("Importado")};
    EntryRequest importedDebit{.kind = 'D', .value = 3.0, .description = QStringLiteral("Importado")};
    std::vector<Insertion> insertions{insertion(credit, draw), insertion(debit, draw),
                                      insertion(deleted, draw)};
    // An import sends the records an insertion would, in its own two calls.
    const Insertion credits = insertion(importedCredit, draw);
    const Insertion debits = insertion(importedDebit, draw);
    DataPacket movements(credits.args[8].packet().fields());
    for (const Insertion *imported : {&credits, &debits})
        movements.appendRow(imported->args[8].packet().row(0).values, RowState::Inserted);
    insertions.push_back({QStringLiteral("setInsertImportCred"), {movements, credits.args[9], "DEMO"}});
    insertions.push_back({QStringLiteral("setInsertImportDeb"), {movements, debits.args[9], "DEMO"}});
    for (const Insertion &entry : insertions) {
        SCOPED_TRACE(entry.method.toStdString());
        const HttpAnswer answer = call(entry.method.toLatin1().constData(), entry.args, token);
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(answer.answer.ok) << answer.answer.error.toStdString();
    }
    // A movement reconciled alone, whose reconciliation may be released.
    QStringList reconciled;
    QString reconciledMovement;
    database->sql().forEach(
        QStringLiteral(
            "SELECT CDREDUCONT, NRSEQMOVREBA, CDSEQUEXBA, NRMOVBANC FROM MOVBANCARIO M WHERE CDSEQUEXBA IS "
            "NOT NULL "
            "AND (SELECT COUNT(*) FROM MOVBANCARIO O WHERE O.CDREDUCONT = M.CDREDUCONT AND O.CDSEQUEXBA = "
            "M.CDSEQUEXBA AND O.NRSEQMOVREBA = M.NRSEQMOVREBA) = 1 ORDER BY 1, 2, 3"),
        {}, [&](const SqlRow &row) {
            if (reconciled.isEmpty()) {
                reconciled = {row.text(0), row.text(1), row.text(2)};
                reconciledMovement = row.text(3);
            }
        });
    ASSERT_EQ(reconciled.size(), 3);
    const Insertion creditChange = change(credit, QStringLiteral("Crédito mudado"));
    const Insertion debitChange = change(debit, QStringLiteral("Débito mudado"));
    const struct {
        const char *method;
        VariantList args;
    } calls[] = {
        {"GetParamGeral", {}},
        {"getGeral_bco", {}},
        {"getSaldoDia", {"001", demoDate}},
        {"getFilial", {"01", ""}},
        {"getCliente", {"", "T"}},
        {"getFornecedor", {"", "T"}},
        {"GetVdPeriodoContabil", {"01", demoDate}},
        {"getPesqMovBanc", {"001", demoDate, "", 10.0, "Depósito"}},
        {"getPesqMovBancLote",
         {Variant(VariantList{Variant(VariantList{"001", demoDate, "", 10.0, "Depósito"})})}},
        {"getCentCustFilial", {"0101"}},
        {"getEmpresa", {"01"}},
        {"getPrxMovBancario", {"001", "1"}},
        {"getPrxMovCredBanc", {"001", "1"}},
        {"getPrxMovDebBanc", {"001", "1"}},
        {"getLancto", {}},
        {"GetLancamentos", {"001", demoDate.addDays(-30), demoDate, -0.001, 0.001, "T", "T", "", "T"}},
        {"GetVersaoLancamentos", {"001"}},
        {"GetDiaFechado", {"01", demoDate}},
        {"GetFilialRel", {"'01','02'", "T", false}},
        {"GetVeri_Bol", {"001", credit.number}},
        {"GetVeriDevolu", {"001", credit.number, "0"}},
        {"GetPesqConciliacao", {reconciled[0], reconciled[1], reconciled[2], ""}},
        {"GetAltMoviReal", {reconciled[0], reconciled[1], reconciled[2]}},
        {"GetDelMovBanc", {"001", credit.movement}},
        {"GetVinculosLanc", {"001", credit.movement, "C", credit.number}},
        {"getAlteraCred", creditChange.args},
        {"getAlterDebito", debitChange.args},
        {"GetDeletaLanc", deletion(deleted)},
        {"GetAdiantamentoCLI", {"01", "CLI0005"}},
        {"GetContaAd", {"CLI0005", "01"}},
        {"GetDevolucaoCLI", {"01", "CLI0005"}},
        {"GetAdiantamentoFOR", {"01", "FOR0005", ""}},
        {"GetContaAdFor", {"FOR0005", "01", ""}},
        {"GetDevolucaoFOR", {"01", "FOR0005"}},
        {"SetEmiteCheque", {"001", debit.number, "900001", debit.date, debit.value, "Favorecido"}},
        {"GetExtratos", {reconciled[0]}},
        {"GetLinhasExtrato", {reconciled[0], reconciled[2]}},
        {"GetSugestoesConciliacao", {reconciled[0], reconciled[2], 3.0}},
    };
    TestServer local(Backend::Sqlite, false);
    EXPECT_EQ(local.dispatcher().methods().names().size(), std::size(calls) + 4 + 2 + 3)
        << "a method without a call here (the insertions and imports are called above, the statement's "
           "writes "
           "below; Login and Logout have tests of their own)";
    for (const auto &c : calls) {
        SCOPED_TRACE(c.method);
        const HttpAnswer answer = call(c.method, c.args, token);
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(answer.answer.ok) << answer.answer.error.toStdString();
        EXPECT_EQ(answer.answer.args.size(), c.args.size());
    }
    // The writes of the statements: a statement stored, and the movement reconciled alone released from its
    // line and reconciled with it again, at the versions the database holds.
    BankStatement statement{.format = StatementFormat::Cnab240,
                            .account = {},
                            .currency = {},
                            .firstDay = demoDate,
                            .lastDay = demoDate,
                            .opening = StatementBalance{.cents = 1000, .date = demoDate},
                            .closing = StatementBalance{.cents = 2250, .date = demoDate, .stated = false},
                            .lines = {},
                            .contentKey = QByteArray(64, '7')};
    statement.lines.append({.bankId = QStringLiteral("HTTP-1"),
                            .date = demoDate,
                            .kind = u'C',
                            .cents = 1250,
                            .document = {},
                            .description = QStringLiteral("DEPOSITO"),
                            .fileLine = 3});
    const auto [header, lines] = statementPackets(statement);
    const HttpAnswer stored = call("SetGravaExtrato", {"001", header, lines}, token);
    EXPECT_TRUE(stored.answer.ok) << stored.answer.error.toStdString();
    for (const char *method : {"SetDesfazConciliacao", "SetConciliacao"}) {
        SCOPED_TRACE(method);
        QList<StatementPairing> pairing;
        const SqlParams line{{QStringLiteral("conta"), reconciled[0]},
                             {QStringLiteral("linha"), reconciled[1]},
                             {QStringLiteral("extrato"), reconciled[2]}};
        database->sql().forEach(
            QStringLiteral(
                "SELECT L.NRVERSAO, M.NRMOVBANC, M.NRVERSAO FROM MOVEXTRATO L JOIN MOVBANCARIO M ON "
                "M.CDREDUCONT = L.CDREDUCONT WHERE "
                "L.CDREDUCONT = :conta AND L.CDSEQUEXBA = :extrato AND L.NRSEQMOVREBA = :linha AND "
                "M.NRMOVBANC = :movimento"),
            {line[0], line[1], line[2], {QStringLiteral("movimento"), reconciledMovement}},
            [&](const SqlRow &row) {
                pairing.append({reconciled[2], reconciled[1], QString::number(row.integer(0)), row.text(1),
                                QString::number(row.integer(2))});
            });
        const HttpAnswer answer = call(method, {reconciled[0], pairingPacket(pairing)}, token);
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(answer.answer.ok) << answer.answer.error.toStdString();
    }
    const HttpAnswer entries =
        call("GetLancamentos", {"001", QDate(), QDate(), 0.0, 0.0, "T", "T", "", "T"}, token);
    EXPECT_GT(entries.answer.result.packet().rowCount(), 0);
}

// A client that writes its own request cannot take more of an advance than is left: the program answers the
// refusing key and writes nothing.
TEST_P(HttpTest, ASettlementForgedOverTheWireIsRefused) {
    const QString token = login("DEMO");
    const DataPacket advances = call("GetContaAd", {"CLI0005", "01"}, token).answer.result.packet();
    ASSERT_EQ(advances.rowCount(), 3);
    const auto draw = [&](const QString &method, const QString &account) {
        return call(method.toLatin1().constData(), {account, "1"}, token).answer.result.toText();
    };
    EntryRequest forged{.value = 2000.00,
                        .type = "0002",
                        .customer = "CLI0005",
                        .customerAdvances = bco::testing::chosenRows(advances, {{0, 1200.01}})};
    const Insertion request = insertion(forged, draw);
    const auto movements = [&] {
        return database->sql().scalar(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO"))->toLongLong();
    };
    const qint64 before = movements();
    const HttpAnswer answer = call("getInsert", request.args, token);
    ASSERT_TRUE(answer.answer.ok) << answer.answer.error.toStdString();
    const DataPacket result = answer.answer.result.array().at(0).packet();
    EXPECT_EQ(field(result, 0, "CDRESULT").toText(), u"MSG");
    EXPECT_EQ(field(result, 0, "DSRESULT").toText(), u"Adianta_Ja_Util");
    EXPECT_EQ(movements(), before);
}

TEST_P(HttpTest, RefusesWithAClearErrorAndTheRightStatus) {
    const QString demo = login("DEMO");
    const QString restricted = login("RESTRITO");
    const std::string path = rpcPath(u"BCO11100.rdmLancContCorr", u"getSaldoDia").toStdString();
    const std::string goodBody = encodeRequest({"004", demoDate}).toStdString();
    // A Login, which needs no session, whose packet of a few megabytes of null rows would take gigabytes.
    QByteArray nullRows;
    {
        QCborStreamWriter w(&nullRows);
        w.startArray(2);
        w.append(QCborTag(PacketTag));
        w.startMap(2);
        w.append(QLatin1StringView("fields"));
        w.startArray(1);
        w.startArray(4);
        w.append(QLatin1StringView("X"));
        w.append(QLatin1StringView("text"));
        w.append(1);
        w.append(false);
        w.endArray();
        w.endArray();
        w.append(QLatin1StringView("rows"));
        w.startArray(1'700'000);
        for (int row = 0; row < 1'700'000; ++row) {
            w.startArray(2);
            w.append(0);
            w.append(QCborSimpleType::Null);
            w.endArray();
        }
        w.endArray();
        w.endMap();
        w.append(QCborSimpleType::Null);
        w.endArray();
    }
    const std::string bomb = nullRows.toStdString();
    struct Case {
        const char *name;
        std::string path, body;
        QString token;
        const char *contentType;
        int status;
        QString error;
    } cases[] = {
        {"no token", path, goodBody, QString(), CborContentType, 401, "no session: call Login first"},
        {"a wrong token", path, goodBody, QStringLiteral("00ff"), CborContentType, 401,
         "the session is not valid (unknown or expired)"},
        {"an account of another company", path, goodBody, restricted, CborContentType, 200,
         "Operador RESTRITO não relacionado à empresa 02 da conta corrente 004."},
        {"an unknown method", rpcPath(u"BCO11100.rdmLancContCorr", u"getNada").toStdString(), goodBody, demo,
         CborContentType, 404, "unknown method getNada of BCO11100.rdmLancContCorr"},
        {"another remote module", "/rpc/OUTRO.rdm/getSaldoDia", goodBody, demo, CborContentType, 404,
         "no such path: calls go to /rpc/BCO11100.rdmLancContCorr/<method>"},
        {"a body that is not CBOR", path, "{\"a\": 1}", demo, CborContentType, 400, ""},
        {"a truncated body", path, goodBody.substr(0, goodBody.size() - 2), demo, CborContentType, 400, ""},
        {"a map instead of the argument array", path, encodeAnswer(1, {}).toStdString(), demo,
         CborContentType, 400, ""},
        {"a body declared as something else", path, goodBody, demo, "application/json", 400,
         "the body must be declared application/cbor"},
        {"too few arguments", path, encodeRequest({"004"}).toStdString(), demo, CborContentType, 400,
         "getSaldoDia takes 2 arguments, not 1"},
        {"a packet of null rows that would grow a thousandfold",
         rpcPath(u"BCO11100.rdmLancContCorr", u"Login").toStdString(), bomb, QString(), CborContentType, 400,
         ""},
        {"a text holding NUL", path,
         encodeRequest({QStringLiteral("004") + QChar(0), demoDate}).toStdString(), demo, CborContentType,
         400, "malformed request body: text holds the character NUL (at byte 6)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const HttpAnswer answer = send(c.path, c.body, c.token, c.contentType);
        EXPECT_EQ(answer.status, c.status);
        EXPECT_FALSE(answer.answer.ok);
        if (c.error.isEmpty()) {
            EXPECT_TRUE(answer.answer.error.startsWith(u"malformed request body: "))
                << answer.answer.error.toStdString();
        } else {
            EXPECT_EQ(answer.answer.error, c.error);
        }
    }
}

TEST_P(HttpTest, ABatchRunsEachCallAsIfItCameAloneInOrder) {
    const QString token = login("DEMO");
    const std::string path = batchPath(u"BCO11100.rdmLancContCorr").toStdString();
    const auto post = [&](const std::string &body, const QString &as) {
        httplib::Headers headers;
        if (!as.isEmpty())
            headers.emplace("Authorization", "Bearer " + as.toStdString());
        return client->Post(path, headers, body, CborContentType);
    };
    const std::string body = encodeBatchRequest({{QStringLiteral("getPrxMovBancario"), {"001", "1"}},
                                                 {QStringLiteral("getSaldoDia"), {"004", QDate()}},
                                                 {QStringLiteral("getPrxMovBancario"), {"001", "1"}}})
                                 .toStdString();
    const auto answered = post(body, token);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->status, 200);
    const std::vector<WireAnswer> answers = decodeBatchAnswer(
        QByteArrayView(answered->body.data(), static_cast<qsizetype>(answered->body.size())));
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_TRUE(answers[0].ok);
    EXPECT_FALSE(answers[1].ok) << "a refused call does not stop the others";
    EXPECT_EQ(answers[1].error, QStringLiteral("Data deve ser informada."));
    ASSERT_TRUE(answers[2].ok);
    EXPECT_EQ(answers[2].result.toText().toLongLong(), answers[0].result.toText().toLongLong() + 1)
        << "the calls ran in their order, each committed";

    // More calls than a batch may hold, the one past them not even a call: it is refused for their number
    // before anything after them is read.
    std::string overfull = "\x99\x27\x11"; // an array of 10001
    for (int i = 0; i < MaxBatchCalls; ++i)
        overfull += "\x82\x6BgetSaldoDia\x80";
    overfull += "\x07";
    const struct {
        const char *name;
        std::string body;
        QString token;
        int status;
        QString error{};
    } refused[] = {
        {"no session", body, QString(), 401},
        {"a body that is not a batch", encodeRequest({"001", "1"}).toStdString(), token, 400},
        {"more calls than a batch holds", overfull, token, 400,
         QStringLiteral("malformed batch: the batch holds more than 10000 calls (at byte 140003)")},
    };
    for (const auto &r : refused) {
        SCOPED_TRACE(r.name);
        const auto answer = post(r.body, r.token);
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, r.status);
        if (!r.error.isEmpty()) {
            EXPECT_EQ(decodeAnswer(QByteArrayView(answer->body.data(), qsizetype(answer->body.size())))
                          .error.toStdString(),
                      r.error.toStdString());
        }
    }
}

// A call is refused once the body is in when its session ended while the body came, though its head came
// before: a logout holds from the moment it is answered, and the operator could not see what the call did.
TEST_P(HttpTest, ACallWhoseSessionEndsWhileItsBodyComesIsRefused) {
    const QString token = login("DEMO");
    const std::string body = encodeRequest({"001", demoDate}).toStdString();
    const std::string head =
        "POST " + rpcPath(u"BCO11100.rdmLancContCorr", u"getSaldoDia").toStdString() +
        " HTTP/1.1\r\nHost: x\r\nContent-Type: application/cbor\r\nAuthorization: Bearer " +
        token.toStdString() + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
        body.substr(0, 1);
    const int socket = connectToLoopback(server->port());
    ASSERT_GE(socket, 0);
    ASSERT_EQ(::send(socket, head.data(), head.size(), MSG_NOSIGNAL), static_cast<ssize_t>(head.size()));
    // The head is judged while the body has yet to come; the session ends meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(call("Logout", {}, token).answer.ok);
    const std::string rest = body.substr(1);
    ASSERT_EQ(::send(socket, rest.data(), rest.size(), MSG_NOSIGNAL), static_cast<ssize_t>(rest.size()));
    char answer[64] = {};
    const ssize_t received = ::recv(socket, answer, sizeof answer - 1, 0);
    ::close(socket);
    ASSERT_GT(received, 0);
    EXPECT_TRUE(std::string(answer).starts_with("HTTP/1.1 401")) << answer;
}

TEST_P(HttpTest, RefusesABodyOverTheLimit) {
    client.reset();
    server.reset();
    start({"--body-limit", "4096"});
    const QString token = login("DEMO");
    const HttpAnswer tooLarge =
        call("getPesqMovBanc", {"001", demoDate, "", 1.0, QString(5000, u'x')}, token);
    EXPECT_EQ(tooLarge.status, 413);
    EXPECT_EQ(tooLarge.answer.error, QStringLiteral("request body over the limit of 4096 bytes"));
    EXPECT_EQ(call("getPesqMovBanc", {"001", demoDate, "", 1.0, QString(100, u'x')}, token).status, 200);
}

TEST_P(HttpTest, StopsCleanlyOnSigtermAfterLoggingEachCall) {
    const QString token = login("DEMO");
    call("getSaldoDia", {"001", demoDate}, token);
    call("getSaldoDia", {"004", QDate()}, token);
    send(rpcPath(u"BCO11100.rdmLancContCorr", u"getSaldoDia").toStdString(), "{}", token, "application/json");
    client.reset();
    EXPECT_EQ(server->stop(), 0);
    const QStringList lines = server->log().split(u'\n', Qt::SkipEmptyParts);
    const QRegularExpression line(QStringLiteral("^(\\w+) (\\d+\\.\\d) ms (.*)$"));
    QStringList calls;
    for (const QString &text : lines) {
        const auto match = line.match(text);
        if (match.hasMatch())
            calls.append(match.captured(1) + u' ' + match.captured(3));
    }
    EXPECT_EQ(calls,
              (QStringList{QStringLiteral("Login ok"), QStringLiteral("getSaldoDia ok"),
                           QStringLiteral("getSaldoDia refused: Data deve ser informada."),
                           QStringLiteral("getSaldoDia refused by the transport (400): the body must be "
                                          "declared application/cbor")}));
    EXPECT_EQ(lines.last(), QStringLiteral("stopped"));
}

// A signal that came before the accepting loop ran used to be lost, and the server ran on.
TEST_P(HttpTest, StopsOnASignalThatArrivesAsSoonAsItListens) {
    client.reset();
    EXPECT_EQ(server->stop(), 0);
}

TEST_P(HttpTest, ClientsDrawingNumbersAtOnceGetDistinctNumbers) {
    const QString token = login("DEMO");
    constexpr int clients = 8;
    constexpr int drawsEach = 15;
    std::vector<std::vector<QString>> drawn(clients);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            httplib::Client own(server->host().toStdString(), server->port());
            own.set_keep_alive(true);
            own.set_tcp_nodelay(true);
            const httplib::Headers headers{{"Authorization", "Bearer " + token.toStdString()}};
            const std::string path = rpcPath(u"BCO11100.rdmLancContCorr", u"getPrxMovDebBanc").toStdString();
            const std::string body = encodeRequest({"002", "1"}).toStdString();
            for (int i = 0; i < drawsEach; ++i) {
                const auto result = own.Post(path, headers, body, CborContentType);
                if (!result || result->status != 200)
                    return;
                drawn[static_cast<size_t>(c)].push_back(
                    decodeAnswer(
                        QByteArrayView(result->body.data(), static_cast<qsizetype>(result->body.size())))
                        .result.toText());
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    std::set<QString> distinct;
    size_t total = 0;
    for (const auto &numbers : drawn) {
        total += numbers.size();
        distinct.insert(numbers.begin(), numbers.end());
    }
    EXPECT_EQ(total, size_t(clients * drawsEach));
    EXPECT_EQ(distinct.size(), total);
}

// The audit trail of an account as bco-server --audit lists it, kept to the days asked for.
TEST_P(HttpTest, ListsTheAuditTrailOfAnAccount) {
    const QString token = login("DEMO");
    const QString first = call("getPrxMovCredBanc", {"001", "2"}, token).answer.result.toText();
    call("getPrxMovDebBanc", {"002", "1"}, token);
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString tomorrow = QDate::currentDate().addDays(1).toString(Qt::ISODate);
    const auto listing = [&](const QStringList &days) {
        QString output;
        EXPECT_EQ(ServerProcess::runOnce(QStringList{"--db", database->urlText(), "--audit", "001"} + days,
                                         &output),
                  0);
        return output;
    };
    const QString second = QStringLiteral("%1").arg(first.toLongLong() + 1, 10, 10, QLatin1Char('0'));
    const QRegularExpression line(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  DEMO "
                                                 "{8}getPrxMovCredBanc {5}001  %1-%2\\n$")
                                      .arg(first, second));
    EXPECT_TRUE(line.match(listing({"--from", today, "--to", today})).hasMatch())
        << listing({}).toStdString();
    EXPECT_EQ(listing({"--from", tomorrow}), QString());
}

INSTANTIATE_TEST_SUITE_P(Databases, HttpTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
