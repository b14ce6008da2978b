#include <algorithm>
#include <functional>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "framework/remote/net_connection.h"
#include "server/ledger/numbering.h"
#include "server_process.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

void pointAt(NetConnection &connection, const ServerProcess &server, const QString &token = {}) {
    connection.SetHost(server.host());
    connection.SetPort(server.port());
    connection.SetBearerToken(token);
}

// Several bco-server programs on one database, as a group of branches runs them on one PostgreSQL (and as two
// programs may share one SQLite file on one machine): whatever keeps writers apart must hold between them.
class ClusterTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        database = std::make_unique<TestDatabase>(GetParam(), true, 300);
        for (int i = 0; i < 2; ++i)
            servers.push_back(std::make_unique<ServerProcess>(database->urlText()));
    }

    static QString logIn(const ServerProcess &server) {
        NetConnection connection;
        pointAt(connection, server);
        const RemoteResult answer = connection.Call(QStringLiteral("Login"), {"DEMO", "demo"});
        EXPECT_TRUE(answer.ok()) << answer.errorMessage().toStdString();
        return answer.payload().toText();
    }

    // What a call answers on `server` with `token`: "ok" or its error.
    static QString outcomeOf(const ServerProcess &server, const QString &token) {
        NetConnection connection;
        pointAt(connection, server, token);
        const RemoteResult answer = connection.Call(QStringLiteral("getSaldoDia"), {"001", demoDate});
        return answer.ok() ? QStringLiteral("ok") : answer.errorMessage();
    }

    qint64 count(const QString &query, const SqlParams &params = {}) {
        const auto value = database->sql().scalar(query, params);
        return value ? value->toLongLong() : -1;
    }

    std::unique_ptr<TestDatabase> database;
    std::vector<std::unique_ptr<ServerProcess>> servers;
};

const QString refused =
    QStringLiteral("A sessão do operador no servidor de aplicação terminou (expirou ou foi "
                   "encerrada): getSaldoDia não foi executado. Entre novamente no sistema.");

TEST_P(ClusterTest, ASessionOpensTheCallsOfEveryServerAndEndsOnAllAtOnce) {
    ServerProcess &first = *servers[0];
    ServerProcess &second = *servers[1];
    const QString token = logIn(first);
    EXPECT_EQ(outcomeOf(second, token), u"ok") << "a token from one server is taken by the other";

    second.stop();
    servers[1] = std::make_unique<ServerProcess>(database->urlText());
    EXPECT_EQ(outcomeOf(*servers[1], token), u"ok") << "a session outlives a restart";

    NetConnection leaving;
    pointAt(leaving, *servers[1], token);
    EXPECT_TRUE(leaving.Call(QStringLiteral("Logout")).ok());
    EXPECT_EQ(outcomeOf(first, token), refused) << "a logout on one server holds on the other";

    const QString expiring = logIn(first);
    EXPECT_EQ(outcomeOf(*servers[1], expiring), u"ok");
    database->sql().execute(QStringLiteral("UPDATE SESSAO SET DTHRVALIDADE = :agora"),
                            {{QStringLiteral("agora"), SessionStore::now()}});
    EXPECT_EQ(outcomeOf(first, expiring), refused);
    EXPECT_EQ(outcomeOf(*servers[1], expiring), refused);
}

// Clients spread over both servers, all calling at once: client c talks to server c % 2 over its own
// connection, and `step` makes its calls of one round, keeping what they answered in `kept` (one list per
// client, so that no step waits for another); a step that fails throws. Answers the failures.
using Step = std::function<void(NetConnection &connection, int client, int round, QStringList &kept)>;

QStringList runAtOnce(const std::vector<std::unique_ptr<ServerProcess>> &servers, const QString &token,
                      int clients, int rounds, const Step &step, std::vector<QStringList> &kept) {
    kept.assign(static_cast<size_t>(clients), {});
    std::vector<QString> failures(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            const ServerProcess &server = *servers[static_cast<size_t>(c) % servers.size()];
            NetConnection connection;
            pointAt(connection, server, token);
            try {
                for (int round = 0; round < rounds; ++round)
                    step(connection, c, round, kept[static_cast<size_t>(c)]);
            } catch (const std::exception &error) {
                failures[static_cast<size_t>(c)] = QStringLiteral("client %1: %2").arg(c).arg(error.what());
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QStringList found;
    for (const QString &failure : failures)
        if (!failure.isEmpty())
            found.append(failure);
    return found;
}

// A call that must succeed; answers its payload as text.
QString mustCall(NetConnection &connection, const char *method, VariantList args) {
    const RemoteResult answer = connection.Call(QString::fromLatin1(method), args);
    if (!answer.ok())
        throw std::runtime_error(std::string(method) + ": " + answer.errorMessage().toStdString());
    return answer.payload().toText();
}

// The numbering methods of every series, each client drawing from all three in turn on two accounts.
TEST_P(ClusterTest, ClientsOfBothServersWritingAtOnceKeepEveryRule) {
    const QString token = logIn(*servers[0]);
    const struct Series {
        const char *method, *kind;
    } series[] = {{"getPrxMovBancario", "MB"}, {"getPrxMovCredBanc", "MC"}, {"getPrxMovDebBanc", "MD"}};
    const char *accounts[] = {"001", "002"};
    constexpr int clients = 8;
    constexpr int rounds = 12;
    std::vector<QStringList> kept;
    const QStringList failures = runAtOnce(
        servers, token, clients, rounds,
        [&](NetConnection &connection, int client, int round, QStringList &drawn) {
            const Series &one = series[(client + round) % 3];
            const char *account = accounts[round % 2];
            drawn.append(QStringLiteral("%1 %2 %3")
                             .arg(QLatin1StringView(one.kind), QLatin1StringView(account),
                                  mustCall(connection, one.method, {account, "1"})));
        },
        kept);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();

    std::map<QString, std::set<qint64>> numbers; // by series and account
    int calls = 0;
    for (const QStringList &drawn : kept) {
        for (const QString &entry : drawn) {
            const QStringList parts = entry.split(u' ');
            numbers[parts[0] + u' ' + parts[1]].insert(parts[2].toLongLong());
            ++calls;
        }
    }
    EXPECT_EQ(calls, clients * rounds);
    int distinct = 0;
    for (const auto &[key, drawn] : numbers) {
        SCOPED_TRACE(key.toStdString());
        distinct += static_cast<int>(drawn.size());
        const QStringList parts = key.split(u' ');
        EXPECT_EQ(*drawn.rbegin() - *drawn.begin() + 1, qint64(drawn.size())) << "no number skipped";
        EXPECT_EQ(count(QStringLiteral(
                            "SELECT NRULTIMO FROM NUMERACAO WHERE IDTIPONUM = :tipo AND CDCHAVE = :conta"),
                        {{QStringLiteral("tipo"), parts[0]}, {QStringLiteral("conta"), parts[1]}}),
                  *drawn.rbegin());
    }
    EXPECT_EQ(distinct, calls) << "no number answered twice";
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA")), calls) << "one audit row per call";
    EXPECT_EQ(keptSums(database->sql(), false), sumsOfMovements(database->sql(), false));
    EXPECT_EQ(keptSums(database->sql(), true), sumsOfMovements(database->sql(), true));
}

// Entries included and deleted through both servers at once: every one kept is whole, every one deleted is
// gone with its accounting, and the balances still sum the movements.
TEST_P(ClusterTest, EntriesIncludedAndDeletedThroughBothServersAtOnceKeepEveryRule) {
    const QString token = logIn(*servers[0]);
    constexpr int clients = 6;
    constexpr int rounds = 6;
    const qint64 balanceBefore = count(QStringLiteral("SELECT SUM(VRCREDITO - VRDEBITO) FROM SALDODIARIO"));
    const QString orphanAccounting = QStringLiteral(
        "SELECT COUNT(*) FROM LANCCONT L WHERE NOT EXISTS (SELECT 1 FROM MOVCREDBANC C WHERE C.NRLANCCONT = "
        "L.NRLANCCONT) AND NOT EXISTS (SELECT 1 FROM MOVDEBIBANC D WHERE D.NRLANCCONT = L.NRLANCCONT)");
    const qint64 orphansBefore = count(orphanAccounting);
    std::vector<QStringList> kept;
    const QStringList failures = runAtOnce(
        servers, token, clients, rounds,
        [](NetConnection &connection, int client, int round, QStringList &written) {
            const auto draw = [&connection](const QString &method, const QString &account) {
                return mustCall(connection, method.toLatin1().constData(), {account, "1"});
            };
            EntryRequest entry{.kind = round % 2 ? 'D' : 'C', .value = 10.0 + client, .costCentre = "0005"};
            const Insertion call = bco::testing::insertion(entry, draw);
            const RemoteResult included = connection.Call(call.method, call.args);
            if (!included.ok() || included.payload().array()[0].packet().value(0, 0).toText() != u"OK")
                throw std::runtime_error("inclusion refused: " + included.errorMessage().toStdString());
            // Every third entry is deleted again at once, while the others keep including.
            const bool deleted = round % 3 == 2;
            if (deleted) {
                const RemoteResult answer =
                    connection.Call(QStringLiteral("GetDeletaLanc"), bco::testing::deletion(entry));
                if (!answer.ok() || answer.payload().array()[0].packet().rowCount() != 0)
                    throw std::runtime_error("deletion refused: " + answer.errorMessage().toStdString());
            }
            const qint64 signedCents = (entry.kind == 'C' ? 1 : -1) * qint64(entry.value * 100);
            written.append(QStringLiteral("%1 %2 %3").arg(entry.movement).arg(deleted).arg(signedCents));
        },
        kept);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();

    qint64 keptCents = 0;
    int entries = 0;
    for (const QStringList &written : kept) {
        for (const QString &line : written) {
            const QStringList parts = line.split(u' ');
            const bool deleted = parts[1] == u"1";
            const SqlParams movement{{QStringLiteral("movimento"), parts[0]}};
            EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND "
                                           "NRMOVBANC = :movimento"),
                            movement),
                      deleted ? 0 : 1)
                << line.toStdString();
            EXPECT_EQ(
                count(QStringLiteral("SELECT (SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '001' "
                                     "AND NRMOVBANC = :movimento) + (SELECT COUNT(*) FROM MOVDEBIBANC "
                                     "WHERE CDREDUCONT = '001' AND NRMOVBANC = :movimento)"),
                      movement),
                deleted ? 0 : 1)
                << line.toStdString();
            if (!deleted)
                keptCents += parts[2].toLongLong();
            ++entries;
        }
    }
    EXPECT_EQ(entries, clients * rounds);
    EXPECT_EQ(count(QStringLiteral("SELECT SUM(VRCREDITO - VRDEBITO) FROM SALDODIARIO")),
              balanceBefore + keptCents);
    EXPECT_EQ(count(orphanAccounting), orphansBefore) << "no accounting entry outlives its record";
    EXPECT_EQ(keptSums(database->sql(), false), sumsOfMovements(database->sql(), false));
    EXPECT_EQ(keptSums(database->sql(), true), sumsOfMovements(database->sql(), true));
}

// Clients of both servers taking all that is left of one advance at once: one entry settles it, the others
// are refused, and the advance is never used beyond its value.
TEST_P(ClusterTest, OneAdvanceTakenThroughBothServersAtOnceIsSettledOnce) {
    const QString token = logIn(*servers[0]);
    NetConnection preparing;
    pointAt(preparing, *servers[0], token);
    const RemoteResult listed = preparing.Call(QStringLiteral("GetContaAd"), {"CLI0005", "01"});
    ASSERT_TRUE(listed.ok()) << listed.errorMessage().toStdString();
    constexpr int clients = 6;
    // Built and numbered first, so that only the insertions meet.
    std::vector<Insertion> calls;
    for (int c = 0; c < clients; ++c) {
        EntryRequest entry{.value = 500.00,
                           .type = "0002",
                           .customer = "CLI0005",
                           .customerAdvances =
                               bco::testing::chosenRows(listed.payload().packet(), {{2, 500.00}})};
        calls.push_back(
            bco::testing::insertion(entry, [&preparing](const QString &method, const QString &account) {
                return mustCall(preparing, method.toLatin1().constData(), {account, "1"});
            }));
    }
    std::vector<QString> results(clients);
    {
        std::vector<std::jthread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                NetConnection connection;
                pointAt(connection, *servers[static_cast<size_t>(c) % servers.size()], token);
                const RemoteResult answer =
                    connection.Call(calls[static_cast<size_t>(c)].method, calls[static_cast<size_t>(c)].args);
                if (!answer.ok()) {
                    results[static_cast<size_t>(c)] = answer.errorMessage();
                    return;
                }
                const DataPacket result = answer.payload().array().at(0).packet();
                const QString code = result.value(0, u"CDRESULT").toText();
                results[static_cast<size_t>(c)] =
                    code == u"MSG" ? result.value(0, u"DSRESULT").toText() : code;
            });
        }
    }
    QStringList expected(clients - 1, QStringLiteral("Adianta_Ja_Util"));
    expected.prepend(QStringLiteral("OK"));
    QStringList got(results.begin(), results.end());
    std::sort(got.begin(), got.end(),
              [](const QString &a, const QString &b) { return a == u"OK" && b != u"OK"; });
    EXPECT_EQ(got, expected);
    EXPECT_EQ(
        count(QStringLiteral("SELECT SUM(VRUTILIZADO) FROM ADIANTCLIUSO WHERE NRLANCTONF = '9000000001' AND "
                             "NRPARCELAREC = '02'")),
        80000)
        << "the advance is used up, not more";
}

// A writing call whose server dies in its middle (SIGKILL once its work is done and before its commit) must
// leave nothing, and its retry must then succeed once. `footprint` reads everything the call may write;
// `args` makes the call's arguments, drawing through `draw` the numbers they need.
struct InterruptedCall {
    const char *name, *method;
    std::function<VariantList(const NumberDrawer &draw)> args;
    const char *footprint;
};

const InterruptedCall interruptedCalls[] = {
    {"a number drawn", "getPrxMovCredBanc",
     [](const NumberDrawer &) {
         return VariantList{"001", "5"};
     },
     "SELECT (SELECT COALESCE(MAX(NRULTIMO), 0) FROM NUMERACAO WHERE IDTIPONUM = 'MC' AND CDCHAVE = '001') "
     "* 1000 + (SELECT COUNT(*) FROM AUDITORIA)"},
    {"a credit included", "getInsert",
     [](const NumberDrawer &draw) {
         EntryRequest entry{.kind = 'C', .value = 77.0};
         return bco::testing::insertion(entry, draw).args;
     },
     "SELECT (SELECT COUNT(*) FROM MOVBANCARIO) * 1000000 + (SELECT COUNT(*) FROM MOVCREDBANC) * 1000 + "
     "(SELECT COUNT(*) FROM LANCCONT)"},
    {"an import of credits submitted", "setInsertImportCred",
     [](const NumberDrawer &draw) {
         // The movements and records of three credits, sent as the import sends them: in one call.
         DataPacket movements, credits;
         for (int i = 0; i < 3; ++i) {
             EntryRequest entry{.kind = 'C', .value = 10.0 + i, .description = QStringLiteral("Importado")};
             const Insertion one = bco::testing::insertion(entry, draw);
             if (i == 0) {
                 movements = DataPacket(one.args[8].packet().fields());
                 credits = DataPacket(one.args[9].packet().fields());
             }
             movements.appendRow(one.args[8].packet().row(0).values, RowState::Inserted);
             credits.appendRow(one.args[9].packet().row(0).values, RowState::Inserted);
         }
         return VariantList{movements, credits, "DEMO"};
     },
     "SELECT (SELECT COUNT(*) FROM MOVBANCARIO) * 1000000 + (SELECT COUNT(*) FROM MOVCREDBANC) * 1000 + "
     "(SELECT COUNT(*) FROM LANCCONT)"},
};

TEST_P(ClusterTest, ACallCutOffBeforeItsCommitLeavesNothingAndItsRetrySucceedsOnce) {
    for (const InterruptedCall &c : interruptedCalls) {
        SCOPED_TRACE(c.name);
        const QString token = logIn(*servers[0]);
        const QString footprint = QString::fromLatin1(c.footprint);
        NetConnection drawing;
        pointAt(drawing, *servers[0], token);
        const VariantList args = c.args([&drawing](const QString &method, const QString &account) {
            return mustCall(drawing, method.toLatin1().constData(), {account, "1"});
        });
        const qint64 before = count(footprint);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BCO_SERVER_HOLD_BEFORE_COMMIT"), QString::fromLatin1(c.method));
        auto held = std::make_unique<ServerProcess>(database->urlText(), QStringList(), environment);
        RemoteResult cut = RemoteResult::success({});
        std::thread caller([&] {
            NetConnection connection;
            pointAt(connection, *held, token);
            cut = connection.Call(QString::fromLatin1(c.method), args);
        });
        const bool reached = held->waitForLog(QStringLiteral("holding %1 before its commit").arg(c.method));
        held->kill();
        caller.join();
        ASSERT_TRUE(reached) << held->log().toStdString();
        EXPECT_FALSE(cut.ok());
        EXPECT_EQ(count(footprint), before) << "nothing of the cut call is left";

        held = std::make_unique<ServerProcess>(database->urlText());
        NetConnection retry;
        pointAt(retry, *held, token);
        const RemoteResult answer = retry.Call(QString::fromLatin1(c.method), args);
        EXPECT_TRUE(answer.ok()) << answer.errorMessage().toStdString();
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = :metodo"),
                        {{QStringLiteral("metodo"), QString::fromLatin1(c.method)}}),
                  1);
        EXPECT_NE(count(footprint), before);
    }
}

// Two servers of one database whose days differ (time zones half a world apart): each would count a day of
// its own, and the one ahead purge what the other counts today. The day is the database's.
TEST_P(ClusterTest, ServersInOtherTimeZonesShareOneDailyAllowanceOfNumbers) {
    const auto inZone = [this](const char *zone) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The program's zone, and the zone its PostgreSQL sessions take from the environment.
        environment.insert(QStringLiteral("TZ"), QString::fromLatin1(zone));
        environment.insert(QStringLiteral("PGTZ"), QString::fromLatin1(zone));
        return std::make_unique<ServerProcess>(database->urlText(), QStringList(), environment);
    };
    servers.clear();
    servers.push_back(inZone("Etc/GMT+12"));
    servers.push_back(inZone("Etc/GMT-14"));
    const QString token = logIn(*servers[0]);
    NetConnection behind, ahead;
    pointAt(behind, *servers[0], token);
    pointAt(ahead, *servers[1], token);
    constexpr int Largest = 100000;
    for (int draw = 0; draw < NumbersPerOperatorPerDay / Largest; ++draw) {
        NetConnection &connection = draw == 0 ? ahead : behind;
        const RemoteResult drawn =
            connection.Call(QStringLiteral("getPrxMovCredBanc"), {"009", QString::number(Largest)});
        ASSERT_TRUE(drawn.ok()) << draw << ": " << drawn.errorMessage().toStdString();
    }
    for (NetConnection *connection : {&ahead, &behind}) {
        const RemoteResult past = connection->Call(QStringLiteral("getPrxMovCredBanc"), {"009", "1"});
        EXPECT_TRUE(past.errorMessage().contains(QStringLiteral("passariam do limite")))
            << past.errorMessage().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, ClusterTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
