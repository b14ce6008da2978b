#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "server/storage/money.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

// One entry of an account as the tables hold it, read without the method's query.
struct Stored {
    QDate date;
    QString movement, number, type;
    QChar kind;
    qint64 cents;
};

class EntryListTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped())
            return;
        server = std::make_unique<TestServer>(GetParam());
        for (const bool credit : {true, false}) {
            const QString sql =
                credit ? QStringLiteral(
                             "SELECT DTMOVICRED, NRMOVBANC, NRMOVICRED, CDTPCREDBANC, VRMOVICRED FROM "
                             "MOVCREDBANC WHERE CDREDUCONT = '001'")
                       : QStringLiteral(
                             "SELECT DTMOVIDEBI, NRMOVBANC, NRMOVIDEBI, CDTPDEBIBANC, VRMOVIDEBI FROM "
                             "MOVDEBIBANC WHERE CDREDUCONT = '001'");
            server->database().sql().forEach(sql, {}, [&](const SqlRow &row) {
                stored.push_back({row.date(0), row.text(1), row.text(2), row.text(3), credit ? u'C' : u'D',
                                  row.integer(4)});
            });
        }
        std::sort(stored.begin(), stored.end(), [](const Stored &a, const Stored &b) {
            return a.date != b.date ? a.date < b.date : a.movement < b.movement;
        });
    }

    // The numbers of the stored entries that pass `keep`, in the list's order.
    QStringList expected(const std::function<bool(const Stored &)> &keep) const {
        QStringList numbers;
        for (const Stored &entry : stored) {
            if (keep(entry))
                numbers.append(entry.kind + entry.number);
        }
        return numbers;
    }

    static QStringList listed(const DataPacket &list) {
        QStringList numbers;
        for (int row = 0; row < list.rowCount(); ++row)
            numbers.append(field(list, row, "DEBCRED").toText() + field(list, row, "NUMERO").toText());
        return numbers;
    }

    CallOutcome list(QDate from, QDate to, double minimum, double maximum, const char *allValues,
                     const char *kind, const char *types, const char *allTypes) {
        return server->call(QStringLiteral("GetLancamentos"),
                            {"001", from, to, minimum, maximum, allValues, kind, types, allTypes});
    }

    std::unique_ptr<TestServer> server;
    std::vector<Stored> stored;
};

TEST_P(EntryListTest, HoldsTheEntriesThatMeetEveryCriterion) {
    const QDate monthAgo = demoDate.addDays(-30);
    struct Case {
        const char *name;
        QDate from, to;
        double minimum, maximum;
        const char *allValues, *kind, *types, *allTypes;
        std::function<bool(const Stored &)> keep;
    } cases[] = {
        {"no dates mean no limit",
         {},
         {},
         -0.001,
         0.001,
         "T",
         "T",
         "",
         "T",
         [](const Stored &) {
             return true;
         }},
        {"a period", monthAgo, demoDate, -0.001, 0.001, "T", "T", "", "T",
         [&](const Stored &e) {
             return e.date >= monthAgo && e.date <= demoDate;
         }},
        {"a period open at its end",
         monthAgo,
         {},
         -0.001,
         0.001,
         "T",
         "T",
         "",
         "T",
         [&](const Stored &e) {
             return e.date >= monthAgo;
         }},
        {"a period open at its start",
         {},
         monthAgo,
         -0.001,
         0.001,
         "T",
         "T",
         "",
         "T",
         [&](const Stored &e) {
             return e.date <= monthAgo;
         }},
        {"a value range as the filter widens it",
         {},
         {},
         99.999,
         500.001,
         "",
         "T",
         "",
         "T",
         [](const Stored &e) {
             return e.cents >= 10000 && e.cents <= 50000;
         }},
        {"a range with only an upper limit",
         {},
         {},
         -0.001,
         50.001,
         "",
         "T",
         "",
         "T",
         [](const Stored &e) {
             return e.cents <= 5000;
         }},
        {"credits only",
         {},
         {},
         0,
         0,
         "T",
         "C",
         "",
         "T",
         [](const Stored &e) {
             return e.kind == u'C';
         }},
        {"debits only",
         {},
         {},
         0,
         0,
         "T",
         "D",
         "",
         "T",
         [](const Stored &e) {
             return e.kind == u'D';
         }},
        {"listed types of both kinds",
         {},
         {},
         0,
         0,
         "T",
         "T",
         "'C0002','D0001'",
         "",
         [](const Stored &e) {
             return (e.kind == u'C' && e.type == u"0002") || (e.kind == u'D' && e.type == u"0001");
         }},
        {"listed types of the other kind do not widen a kind",
         {},
         {},
         0,
         0,
         "T",
         "C",
         "'C0002','D0001'",
         "",
         [](const Stored &e) {
             return e.kind == u'C' && e.type == u"0002";
         }},
        {"a list of only the other kind leaves nothing",
         {},
         {},
         0,
         0,
         "T",
         "C",
         "'D0001'",
         "",
         [](const Stored &) {
             return false;
         }},
        {"the all-types flag ignores the list",
         {},
         {},
         0,
         0,
         "T",
         "D",
         "'C0002'",
         "T",
         [](const Stored &e) {
             return e.kind == u'D';
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CallOutcome outcome =
            list(c.from, c.to, c.minimum, c.maximum, c.allValues, c.kind, c.types, c.allTypes);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        EXPECT_EQ(listed(outcome.result.packet()), expected(c.keep));
    }
}

TEST_P(EntryListTest, ListsDebitsNegativeWithTheirTypeAndPartyNames) {
    const DataPacket entries = list({}, {}, 0, 0, "T", "T", "", "T").result.packet();
    ASSERT_EQ(entries.fields().size(), 36);
    const auto debit =
        std::find_if(stored.begin(), stored.end(), [](const Stored &e) { return e.kind == u'D'; });
    const int row = static_cast<int>(debit - stored.begin());
    EXPECT_DOUBLE_EQ(field(entries, row, "VRMOVICRED").toFloat(), -debit->cents / 100.0);
    EXPECT_EQ(field(entries, row, "CDTIPO").toText(), debit->type);
    const auto typeName = server->database().sql().scalar(
        QStringLiteral("SELECT DSTPDEBIBANC FROM TPDEBIBANC WHERE CDTPDEBIBANC = :tipo"),
        {{QStringLiteral("tipo"), debit->type}});
    EXPECT_EQ(field(entries, row, "TIPO").toText(), typeName->toString());
    for (int i = 0; i < entries.rowCount(); ++i) {
        if (!field(entries, i, "CDCLIENTE").isNull()) {
            EXPECT_FALSE(field(entries, i, "NMRAZSOCCLIE").isNull());
            EXPECT_GE(field(entries, i, "NRINSJURCLIE").toText().size(), 11);
        }
        if (!field(entries, i, "CDFILILANCA").isNull()) {
            EXPECT_FALSE(field(entries, i, "NMFILIAL").isNull());
        }
        EXPECT_EQ(field(entries, i, "NMEMPRESA").toText(), u"Comercial Aurora Ltda");
    }
}

// The names the list takes from the catalogues of types, branches and companies are those a join of each
// entry with them gives, a missing branch giving none.
TEST_P(EntryListTest, NamesEachEntryAsAJoinWithItsCataloguesWould) {
    Sql &sql = server->database().sql();
    sql.execute(
        QStringLiteral("UPDATE MOVCREDBANC SET CDFILILANCRE = NULL WHERE CDREDUCONT = '001' AND "
                       "NRMOVICRED = (SELECT MIN(NRMOVICRED) FROM MOVCREDBANC WHERE CDREDUCONT = '001')"));
    sql.execute(QStringLiteral("UPDATE TPDEBIBANC SET CDHISTPADR = NULL WHERE CDTPDEBIBANC = (SELECT MIN("
                               "CDTPDEBIBANC) FROM MOVDEBIBANC WHERE CDREDUCONT = '001')"));
    const char *names[] = {"TIPO", "NMFILIAL", "NMEMPRESA", "CDCONTCTBL", "CDHISTPADR"};
    std::map<QString, std::vector<Variant>> joined;
    for (const char *half :
         {"SELECT 'C' || R.NRMOVICRED, T.DSTPCREDBANC, F.NMFILIAL, E.NMEMPRESA, T.CDCONTCTBL, T.CDHISTPADR "
          "FROM MOVCREDBANC R JOIN TPCREDBANC T ON T.CDTPCREDBANC = R.CDTPCREDBANC LEFT JOIN FILIAL F ON "
          "F.CDFILIAL = R.CDFILILANCRE LEFT JOIN EMPRESA E ON E.CDEMPRESA = R.CDEMPRESA WHERE R.CDREDUCONT = "
          "'001'",
          "SELECT 'D' || R.NRMOVIDEBI, T.DSTPDEBIBANC, F.NMFILIAL, E.NMEMPRESA, T.CDCONTCTBL, T.CDHISTPADR "
          "FROM MOVDEBIBANC R JOIN TPDEBIBANC T ON T.CDTPDEBIBANC = R.CDTPDEBIBANC LEFT JOIN FILIAL F ON "
          "F.CDFILIAL = R.CDFILILANDEB LEFT JOIN EMPRESA E ON E.CDEMPRESA = R.CDEMPRESA WHERE R.CDREDUCONT = "
          "'001'"}) {
        sql.forEach(QString::fromLatin1(half), {}, [&](const SqlRow &row) {
            std::vector<Variant> &values = joined[row.text(0)];
            for (int column = 1; column <= 5; ++column)
                values.push_back(row.isNull(column) ? Variant() : Variant(row.text(column)));
        });
    }
    const DataPacket entries = list({}, {}, 0, 0, "T", "T", "", "T").result.packet();
    ASSERT_EQ(static_cast<size_t>(entries.rowCount()), joined.size());
    int withoutBranch = 0, withoutStandardText = 0;
    for (int row = 0; row < entries.rowCount(); ++row) {
        const QString entry =
            field(entries, row, "DEBCRED").toText() + field(entries, row, "NUMERO").toText();
        SCOPED_TRACE(entry.toStdString());
        ASSERT_EQ(joined.count(entry), 1u);
        for (size_t name = 0; name < std::size(names); ++name)
            EXPECT_EQ(field(entries, row, names[name]), joined[entry][name]) << names[name];
        withoutBranch += field(entries, row, "NMFILIAL").isNull() ? 1 : 0;
        withoutStandardText += field(entries, row, "CDHISTPADR").isNull() ? 1 : 0;
    }
    EXPECT_GE(withoutBranch, 1);
    EXPECT_GE(withoutStandardText, 1);
}

// Every field of every listed entry is what one statement joining the entry with its movement, type, branch,
// company, customer and supplier gives, whatever the criteria leave in the list: the list reads some of these
// apart from the entries, and a movement, a customer or a supplier taken from the wrong entry shows here.
TEST_P(EntryListTest, GivesEveryFieldAsOneJoinOfItsTablesWould) {
    Sql &sql = server->database().sql();
    // Entries whose links the demo leaves empty: a missing branch and a supplier on a credit.
    sql.execute(QStringLiteral(
        "UPDATE MOVCREDBANC SET CDFILILANCRE = NULL, CDFORNECED = (SELECT MIN(CDFORNECED) FROM "
        "FORNECED) WHERE CDREDUCONT = '001' AND NRMOVICRED = (SELECT MIN(NRMOVICRED) FROM "
        "MOVCREDBANC WHERE CDREDUCONT = '001')"));
    const char *join =
        "SELECT R.%date, T.%typeName, R.%description, R.%value, '%letter', R.%number, R.NRMOVBANC, "
        "R.CDCLASSFINA, R.%type, R.CDFILIAL, M.DTMOVBANC, M.NRDOCMBANC, R.CDEMPRESA, R.DTMOVFLUXO, "
        "R.IDMOVFLUXO, M.CDSEQUEXBA, M.NRSEQMOVREBA, R.%typedBranch, F.NMFILIAL, R.%accountingCompany, "
        "E.NMEMPRESA, R.CDCLIENTE, R.CDFORNECED, CL.NRINSJURCLIE, CL.NMRAZSOCCLIE, FO.NRINSJURFORN, "
        "FO.NMRAZSOCFORN, R.NRCHEQUE, M.NRSEQUENCIALEMP, CASE WHEN M.NRCOMPENSACAO IS NULL THEN 'N' ELSE 'S' "
        "END, T.CDCONTCTBL, T.CDHISTPADR, R.NRLANCCONT, M.NRMOVBANCORIG, R.CDCENTCUST, M.NRVERSAO "
        "FROM %table R JOIN MOVBANCARIO M ON M.CDREDUCONT = R.CDREDUCONT AND M.NRMOVBANC = R.NRMOVBANC "
        "JOIN %typeTable T ON T.%type = R.%type LEFT JOIN FILIAL F ON F.CDFILIAL = R.%typedBranch "
        "LEFT JOIN EMPRESA E ON E.CDEMPRESA = R.CDEMPRESA LEFT JOIN CLIENTE CL ON CL.CDCLIENTE = R.CDCLIENTE "
        "LEFT JOIN FORNECED FO ON FO.CDFORNECED = R.CDFORNECED WHERE R.CDREDUCONT = '001'";
    const QStringList credit{"DTMOVICRED",  "DSTPCREDBANC", "DSMOVICRED",   "VRMOVICRED",
                             "C",           "NRMOVICRED",   "CDTPCREDBANC", "CDFILILANCRE",
                             "CDECTBMCRED", "MOVCREDBANC",  "TPCREDBANC"};
    const QStringList debit{"DTMOVIDEBI", "DSTPDEBIBANC", "DSMOVIDEBI",   "VRMOVIDEBI",
                            "D",          "NRMOVIDEBI",   "CDTPDEBIBANC", "CDFILILANDEB",
                            "CDECTBMDEB", "MOVDEBIBANC",  "TPDEBIBANC"};
    const QStringList placeholders{
        "%date", "%typeName",    "%description",       "%value", "%letter",   "%number",
        "%type", "%typedBranch", "%accountingCompany", "%table", "%typeTable"};
    std::map<QString, std::vector<Variant>> joined;
    DataPacket shape = list({}, {}, 0, 0, "T", "T", "", "T").result.packet();
    const FieldDefs &fields = shape.fields();
    for (const QStringList &kind : {credit, debit}) {
        QString statement = QString::fromLatin1(join);
        // Longest first, so that %type does not eat %typeName and %typeTable.
        std::vector<int> order(static_cast<size_t>(placeholders.size()));
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [&](int a, int b) { return placeholders[a].size() > placeholders[b].size(); });
        for (const int p : order)
            statement.replace(placeholders[p], kind[p]);
        sql.forEach(statement, {}, [&](const SqlRow &row) {
            std::vector<Variant> values;
            for (int f = 0; f < fields.size(); ++f) {
                if (row.isNull(f))
                    values.emplace_back();
                else if (fields[f].kind == FieldKind::Date)
                    values.emplace_back(row.date(f));
                else if (fields[f].kind == FieldKind::Float)
                    values.emplace_back((kind == credit ? 1 : -1) * amountFromCents(row.integer(f)));
                else
                    values.emplace_back(row.text(f));
            }
            joined[kind[4] + row.text(5)] = std::move(values);
        });
    }
    ASSERT_EQ(static_cast<size_t>(shape.rowCount()), joined.size());

    const QDate monthAgo = demoDate.addDays(-30);
    struct Case {
        const char *name;
        QDate from, to;
        double minimum, maximum;
        const char *allValues, *kind, *types, *allTypes;
    } cases[] = {
        {"the whole account", {}, {}, 0, 0, "T", "T", "", "T"},
        {"a month", monthAgo, demoDate, 0, 0, "T", "T", "", "T"},
        {"debits of a value range", {}, {}, 10.0, 1000.0, "", "D", "", "T"},
        {"credits of one type", monthAgo, {}, 0, 0, "T", "C", "'C0002'", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CallOutcome outcome =
            list(c.from, c.to, c.minimum, c.maximum, c.allValues, c.kind, c.types, c.allTypes);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        const DataPacket entries = outcome.result.packet();
        EXPECT_GT(entries.rowCount(), 0);
        for (int row = 0; row < entries.rowCount(); ++row) {
            const QString entry =
                field(entries, row, "DEBCRED").toText() + field(entries, row, "NUMERO").toText();
            SCOPED_TRACE(entry.toStdString());
            ASSERT_EQ(joined.count(entry), 1u);
            for (int f = 0; f < fields.size(); ++f)
                EXPECT_EQ(entries.value(row, f), joined[entry][static_cast<size_t>(f)])
                    << fields[f].name.toStdString();
        }
    }
}

// Each of the links the entry form reads to refuse a change shows in the list.
TEST_P(EntryListTest, ShowsTheLinksThatOtherProcessesHoldOnAnEntry) {
    struct Case {
        const char *name, *account, *condition, *fieldName;
        Variant value; // null: any value that is not null
    } cases[] = {
        {"a compensated entry", "002", "NRCOMPENSACAO IS NOT NULL", "IDLANCCOMP", "S"},
        {"an entry of a loan", "001", "NRSEQUENCIALEMP IS NOT NULL", "NRSEQUENCIALEMP", "0000000001"},
        {"a reversal names its origin", "", "NRMOVBANCORIG IS NOT NULL", "NRMOVBANCORIG", Variant()},
        {"a reconciled entry names its statement line", "", "NRSEQMOVREBA IS NOT NULL", "NRSEQMOVREBA",
         Variant()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString account = QString::fromLatin1(c.account), movement;
        server->database().sql().forEach(
            QStringLiteral(
                "SELECT CDREDUCONT, NRMOVBANC FROM MOVBANCARIO WHERE %1 ORDER BY CDREDUCONT, NRMOVBANC")
                .arg(QString::fromLatin1(c.condition)),
            {}, [&](const SqlRow &row) {
                if (movement.isEmpty() && (account.isEmpty() || account == row.text(0))) {
                    account = row.text(0);
                    movement = row.text(1);
                }
            });
        ASSERT_FALSE(movement.isEmpty());
        const DataPacket entries = server
                                       ->answer(QStringLiteral("GetLancamentos"),
                                                {account, QDate(), QDate(), 0.0, 0.0, "T", "T", "", "T"})
                                       .packet();
        bool found = false;
        for (int row = 0; row < entries.rowCount(); ++row) {
            if (field(entries, row, "NRMOVBANC").toText() != movement)
                continue;
            found = true;
            if (c.value.isNull()) {
                EXPECT_FALSE(field(entries, row, c.fieldName).isNull());
            } else {
                EXPECT_EQ(field(entries, row, c.fieldName), c.value);
            }
        }
        EXPECT_TRUE(found);
    }
}

TEST_P(EntryListTest, GivesTheCriteriaBackAsTheyWereSent) {
    const VariantList sent{"001", demoDate.addDays(-10), demoDate, 99.999, 100.001, "", "D", "'D0001'", ""};
    const CallOutcome outcome = server->call(QStringLiteral("GetLancamentos"), sent);
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(outcome.args, sent);
}

TEST_P(EntryListTest, RefusesCriteriaItCannotRead) {
    struct Case {
        const char *name;
        const char *kind, *types, *allTypes;
        double minimum;
        QString message;
    } cases[] = {
        {"another kind", "X", "", "T", 0,
         QStringLiteral("Tipo de lançamento inválido: \"X\" (use T, C ou D).")},
        {"an unquoted type list", "T", "C0001", "", 0, QStringLiteral("Lista de tipos inválida: C0001")},
        {"a type of no kind", "T", "'X0001'", "", 0,
         QStringLiteral("Tipo de lançamento inválido na lista: \"X0001\".")},
        {"a value that is not a number", "T", "", "T", std::numeric_limits<double>::quiet_NaN(),
         QStringLiteral("Faixa de valores inválida.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CallOutcome outcome =
            list({}, {}, c.minimum, 10.0, c.minimum == 0 ? "T" : "", c.kind, c.types, c.allTypes);
        EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
        EXPECT_EQ(outcome.error, c.message);
    }
}

// A second operator's work that rewrites the account's credits and debits in one transaction shows in a list
// whole or not at all: the list reads both kinds in one snapshot, whether a companion reads the debits at
// once or, while a writer holds the database, the call reads both itself. The writer acts from this server
// and from another process (which the server's own queue of writers does not see).
TEST_P(EntryListTest, ShowsAnotherOperatorsWorkOnCreditsAndDebitsWholeOrNotAtAll) {
    for (const bool sameServer : {true, false}) {
        SCOPED_TRACE(sameServer ? "a writer of this server" : "a writer of another process");
        std::atomic<bool> stop{false};
        std::atomic<int> rounds{0}, committed{0};
        std::thread secondOperator([&] {
            std::unique_ptr<ConnectionPool> otherServer;
            if (!sameServer)
                otherServer = std::make_unique<ConnectionPool>(server->database().url());
            Sql &sql = sameServer ? server->database().pool().forThisThread() : otherServer->forThisThread();
            while (!stop) {
                const SqlParams text{{QStringLiteral("texto"), QStringLiteral("RODADA %1").arg(++rounds)}};
                sql.begin(true);
                sql.execute(
                    QStringLiteral("UPDATE MOVCREDBANC SET DSMOVICRED = :texto WHERE CDREDUCONT = '001'"),
                    text);
                sql.execute(
                    QStringLiteral("UPDATE MOVDEBIBANC SET DSMOVIDEBI = :texto WHERE CDREDUCONT = '001'"),
                    text);
                sql.commit();
                ++committed;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        while (committed == 0)
            std::this_thread::yield();
        for (int attempt = 0; attempt < 40 || committed < 3; ++attempt) {
            const CallOutcome outcome = list({}, {}, 0, 0, "T", "T", "", "T");
            ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
            const DataPacket &entries = outcome.result.packet();
            ASSERT_EQ(entries.rowCount(), static_cast<int>(stored.size()));
            std::set<QString> descriptions;
            for (int row = 0; row < entries.rowCount(); ++row)
                descriptions.insert(field(entries, row, "DSMOVICRED").toText());
            EXPECT_EQ(descriptions.size(), 1U) << "attempt " << attempt;
        }
        stop = true;
        secondOperator.join();
    }
}

INSTANTIATE_TEST_SUITE_P(Databases, EntryListTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
