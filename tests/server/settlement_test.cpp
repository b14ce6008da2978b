#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "server_test_support.h"

namespace bco::server::testing {
namespace {

using bco::testing::chosenRows;

// The customer and the supplier of company 01 whose open items the demo data knows, at known values.
const QString customer = QStringLiteral("CLI0005");
const QString supplier = QStringLiteral("FOR0005");

// The look-ups of open items and their settlement by new entries, on every database of the suite.
class SettlementTest : public DemoServerTest {
public:
    QString supplierTaxNumber() {
        return sql()
            .scalar(QStringLiteral("SELECT NRINSJURFORN FROM FORNECED WHERE CDFORNECED = :f"),
                    {{QStringLiteral("f"), supplier}})
            ->toString();
    }

    DataPacket listed(const char *method, const VariantList &args) {
        return server->answer(QString::fromLatin1(method), args).packet();
    }
    DataPacket customerAdvances() { return listed("GetContaAd", {customer, "01"}); }
    DataPacket customerReturns() { return listed("GetDevolucaoCLI", {"01", customer}); }
    DataPacket supplierAdvances() { return listed("GetContaAdFor", {supplier, "01", supplierTaxNumber()}); }
    DataPacket supplierReturns() { return listed("GetDevolucaoFOR", {"01", supplier}); }

    // What can be written by an insertion, uses included, so that a refusal can be shown to have written
    // nothing.
    QList<qint64> written() {
        QList<qint64> counts;
        for (const char *table :
             {"MOVBANCARIO", "ADIANTCLIUSO", "NFDEVCLIUSO", "ADIANTFORUSO", "NFDEVFORUSO"})
            counts.append(number(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(table))));
        return counts;
    }

    CallOutcome include(EntryRequest &entry) {
        const Insertion call = insertion(*server, entry);
        return server->call(call.method, call.args);
    }

    // The key that refused an answered insertion ("OK" when it was written).
    static QString resultOf(const CallOutcome &outcome) {
        const DataPacket result = outcome.result.array().at(0).packet();
        const QString code = field(result, 0, "CDRESULT").toText();
        return code == u"MSG" ? field(result, 0, "DSRESULT").toText() : code;
    }
};

// Each listed item as its last key column and what is left of it.
QStringList describe(const DataPacket &rows) {
    QStringList items;
    const bool returned = rows.fieldIndex(u"NRNFDEVO") >= 0;
    for (int row = 0; row < rows.rowCount(); ++row) {
        QString key;
        double left = 0.0;
        if (returned) {
            key = field(rows, row, "NRNFDEVO").toText();
            left = field(rows, row, "VRDISPONIVEL").toFloat();
        } else {
            key = (rows.fieldIndex(u"NRPARCELAREC") >= 0 ? field(rows, row, "NRPARCELAREC")
                                                         : field(rows, row, "NRPARCELAPAG"))
                      .toText();
            left = field(rows, row, "VRORIGINAL").toFloat() - field(rows, row, "VRTOTADIA").toFloat();
        }
        EXPECT_EQ(field(rows, row, "IDMARCADO").toText(), u"N");
        EXPECT_EQ(field(rows, row, "VRDESCONTO").toFloat(), 0.0);
        items << QStringLiteral("%1 %2").arg(key).arg(left, 0, 'f', 2);
    }
    return items;
}

TEST_P(SettlementTest, TheLookUpsListWhatIsLeftOfEachOpenItemByDate) {
    const QString taxNumber = supplierTaxNumber();
    struct Case {
        const char *name, *method;
        VariantList args;
        QStringList items;
    };
    const QStringList advances{"03 1200.00", "01 1500.00", "02 500.00"};
    const QStringList supplierItems{"01 2000.00", "02 550.00"};
    const Case cases[] = {
        {"the customer's advances for the discount form", "GetContaAd", {customer, "01"}, advances},
        {"the customer's advances for the question", "GetAdiantamentoCLI", {"01", customer}, advances},
        {"the customer's returned invoices",
         "GetDevolucaoCLI",
         {"01", customer},
         {"0000009002 450.00", "0000009003 500.00"}},
        {"the supplier's advances for the discount form",
         "GetContaAdFor",
         {supplier, "01", taxNumber},
         supplierItems},
        {"the supplier's advances for the question",
         "GetAdiantamentoFOR",
         {"01", supplier, taxNumber},
         supplierItems},
        {"the supplier's advances without a tax number",
         "GetAdiantamentoFOR",
         {"01", supplier, ""},
         supplierItems},
        {"the supplier's advances under another's tax number",
         "GetContaAdFor",
         {supplier, "01", "11111111111"},
         {}},
        {"the supplier's returned invoices",
         "GetDevolucaoFOR",
         {"01", supplier},
         {"0000009005 380.00", "0000009006 450.00"}},
        {"another company of the customer", "GetContaAd", {customer, "02"}, {}},
        {"an unknown company", "GetDevolucaoCLI", {"99", customer}, {}},
        {"no party", "GetAdiantamentoCLI", {"01", ""}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(describe(listed(c.method, c.args)), c.items);
    }
    const CallOutcome restricted =
        server->callAs(server->restrictedToken(), QStringLiteral("GetContaAd"), {customer, "02"});
    EXPECT_EQ(restricted.error, QStringLiteral("Operador RESTRITO não relacionado à empresa 02."));
}

TEST_P(SettlementTest, AnEntrySettlesExactlyWhatItsMarkedRowsDiscount) {
    struct Case {
        const char *name;
        std::function<EntryRequest(SettlementTest &)> entry;
        std::function<DataPacket(SettlementTest &)> advancesAfter, returnsAfter;
        QStringList advancesLeft, returnsLeft;
    };
    const Case cases[] = {
        {"a customer's credit: part of an advance and a whole return",
         [](SettlementTest &t) {
             return EntryRequest{
                 .value = 700.00,
                 .type = "0002",
                 .customer = customer,
                 .customerAdvances = chosenRows(t.customerAdvances(), {{2, 200.10}}),
                 // An unmarked row means nothing, whatever discount it carries.
                 .customerReturns = chosenRows(t.customerReturns(), {{0, 450.00}}, {{1, 100.00}}),
             };
         },
         &SettlementTest::customerAdvances,
         &SettlementTest::customerReturns,
         {"03 1200.00", "01 1500.00", "02 299.90"},
         {"0000009003 500.00"}},
        {"a supplier's debit: a whole advance and part of a return",
         [](SettlementTest &t) {
             return EntryRequest{
                 .kind = 'D',
                 .value = 650.01,
                 .type = "0002",
                 .supplier = supplier,
                 .supplierAdvances = chosenRows(t.supplierAdvances(), {{1, 550.00}}),
                 .supplierReturns = chosenRows(t.supplierReturns(), {{1, 100.01}}),
             };
         },
         &SettlementTest::supplierAdvances,
         &SettlementTest::supplierReturns,
         {"01 2000.00"},
         {"0000009005 380.00", "0000009006 349.99"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EntryRequest entry = c.entry(*this);
        const QList<qint64> before = written();
        const CallOutcome outcome = include(entry);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        EXPECT_EQ(resultOf(outcome), u"OK");
        EXPECT_EQ(describe(c.advancesAfter(*this)), c.advancesLeft);
        EXPECT_EQ(describe(c.returnsAfter(*this)), c.returnsLeft);
        EXPECT_EQ(written()[0], before[0] + 1);
        EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE NRMOVBANC = :m")
                             .arg(entry.kind == 'C' ? "ADIANTCLIUSO" : "ADIANTFORUSO"),
                         {{QStringLiteral("m"), entry.movement}}),
                  1)
            << "the use is tied to the entry's movement";
    }

    // What is left is all that can be taken: a second entry for more than the 299.90 left is refused.
    EntryRequest again{.value = 300.00,
                       .type = "0002",
                       .customer = customer,
                       .customerAdvances = chosenRows(customerAdvances(), {{2, 300.00}})};
    const QList<qint64> before = written();
    EXPECT_EQ(resultOf(include(again)), u"Adianta_Ja_Util");
    EXPECT_EQ(written(), before);
}

// The rows of a selection without one of its columns.
DataPacket withoutColumn(const DataPacket &rows, QStringView column) {
    const int dropped = rows.fieldIndex(column);
    FieldDefs fields = rows.fields();
    fields.erase(fields.begin() + dropped);
    DataPacket kept(fields);
    for (int row = 0; row < rows.rowCount(); ++row) {
        std::vector<Variant> values;
        for (int field = 0; field < static_cast<int>(rows.fields().size()); ++field)
            if (field != dropped)
                values.push_back(rows.value(row, field));
        kept.appendValues(values);
    }
    return kept;
}

TEST_P(SettlementTest, RefusesWhatTheDiscountFormCouldNotHaveSentAndWritesNothing) {
    const QString overValue = QStringLiteral(
        "Operação bloqueada. O valor a descontar não pode ser maior que o valor do lançamento: os "
        "adiantamentos e as devoluções marcados somam mais que 1.000,00.");
    // A credit of 1,000.00 for the customer, each case changing one thing.
    struct Case {
        const char *name;
        std::function<void(SettlementTest &, EntryRequest &)> change;
        QString key;     // the answer's refusing key, or empty
        QString message; // the call's refusal, or the details of the refusing key
    };
    const QString usedSince =
        QStringLiteral(". Nada foi gravado: confirme de novo para escolher do que resta agora.");
    const Case cases[] = {
        {"an advance discounted beyond what is left",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerAdvances = chosenRows(t.customerAdvances(), {{2, 500.01}});
         },
         "Adianta_Ja_Util",
         "Adiantamento 0101/9000000001/01/02 de 24/04/2024 do cliente CLI0005: restam 500,00, e o lançamento "
         "descontaria "
         "500,01" +
             usedSince},
        {"a return discounted beyond what is left",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerReturns = chosenRows(t.customerReturns(), {{1, 600.00}});
         },
         "Devolucao_Ja_Util",
         "Nota fiscal de devolução 0101/0000009003 de 05/03/2024 do cliente CLI0005: restam 500,00, e o "
         "lançamento "
         "descontaria 600,00" +
             usedSince},
        {"one advance named twice for more than is left",
         [](SettlementTest &t, EntryRequest &e) {
             DataPacket rows = chosenRows(t.customerAdvances(), {{2, 300.00}});
             rows.appendRow(rows.row(2).values);
             e.customerAdvances = rows;
         },
         "Adianta_Ja_Util",
         "Adiantamento 0101/9000000001/01/02 de 24/04/2024 do cliente CLI0005: restam 500,00, e o lançamento "
         "descontaria "
         "600,00" +
             usedSince},
        {"an advance of another customer",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerAdvances = chosenRows(t.customerAdvances(), {{0, 10.00}});
             e.customer = "CLI0001";
         },
         "",
         "Não existe adiantamento 0101/9000000001/01/03 do cliente CLI0001 na empresa 01. Nada foi gravado: "
         "confirme de novo para escolher entre o que está disponível agora."},
        {"a customer's advance on a supplier's entry",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerAdvances = chosenRows(t.customerAdvances(), {{0, 10.00}});
             e.customer.clear();
             e.supplier = supplier;
             e.type = "0001";
         },
         "", "Um lançamento sem cliente não pode descontar adiantamento de cliente."},
        {"a marked row without its document",
         [](SettlementTest &t, EntryRequest &e) {
             const DataPacket rows = chosenRows(t.customerAdvances(), {{0, 10.00}});
             DataPacket forged(rows.fields());
             std::vector<Variant> values;
             for (int f = 0; f < rows.fields().size(); ++f)
                 values.push_back(rows.fields()[f].name == u"NRLANCTONF" ? Variant() : rows.value(0, f));
             forged.appendValues(values);
             e.customerAdvances = forged;
         },
         "", "Seleção de adiantamento do cliente inválida: falta NRLANCTONF."},
        {"advances above the entry's value",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerAdvances = chosenRows(t.customerAdvances(), {{0, 800.00}, {1, 200.01}});
         },
         "", overValue},
        {"advances and returns above the entry's value together, each kind within it",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerAdvances = chosenRows(t.customerAdvances(), {{0, 600.00}});
             e.customerReturns = chosenRows(t.customerReturns(), {{0, 400.01}});
         },
         "", overValue},
        {"marked rows without the column of their mark",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerAdvances = withoutColumn(chosenRows(t.customerAdvances(), {{0, 10.00}}), u"IDMARCADO");
         },
         "", "Seleção de adiantamento do cliente inválida: falta IDMARCADO."},
        {"marked rows without the column of their discount",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerReturns = withoutColumn(chosenRows(t.customerReturns(), {{0, 10.00}}), u"VRDESCONTO");
         },
         "", "Seleção de nota fiscal de devolução do cliente inválida: falta VRDESCONTO."},
        {"a marked row discounting less than nothing",
         [](SettlementTest &t, EntryRequest &e) {
             e.customerAdvances = chosenRows(t.customerAdvances(), {{0, -10.00}});
         },
         "", "Seleção de adiantamento do cliente inválida: valor a descontar -10."},
        {"a selection that is no data packet",
         [](SettlementTest &, EntryRequest &e) { e.customerAdvances = QStringLiteral("S"); }, "",
         "Seleção de adiantamento do cliente inválida."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EntryRequest entry{.value = 1000.00, .type = "0002", .customer = customer};
        c.change(*this, entry);
        const QList<qint64> before = written();
        const CallOutcome outcome = include(entry);
        if (c.key.isEmpty()) {
            EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
            EXPECT_EQ(outcome.error, c.message);
        } else {
            ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
            EXPECT_EQ(resultOf(outcome), c.key);
            const DataPacket result = outcome.result.array().at(0).packet();
            EXPECT_EQ(result.rowCount(), 2);
            EXPECT_EQ(field(result, 1, "CDRESULT").toText() + u' ' + field(result, 1, "DSRESULT").toText(),
                      QStringLiteral("DET ") + c.message);
        }
        EXPECT_EQ(written(), before);
    }
}

TEST_P(SettlementTest, OfTwoEntriesTakingAllThatIsLeftOfOneAdvanceAtOnceOneIsRefused) {
    // Both are built (and their numbers drawn) first, so that only the insertions meet.
    std::vector<Insertion> calls;
    std::vector<EntryRequest> entries(2);
    for (EntryRequest &entry : entries) {
        entry = {.value = 500.00,
                 .type = "0002",
                 .customer = customer,
                 .customerAdvances = chosenRows(customerAdvances(), {{2, 500.00}})};
        calls.push_back(insertion(*server, entry));
    }
    std::vector<CallOutcome> outcomes(2);
    {
        std::vector<std::jthread> clients;
        for (size_t i = 0; i < calls.size(); ++i)
            clients.emplace_back([&, i] { outcomes[i] = server->call(calls[i].method, calls[i].args); });
    }
    QStringList results;
    for (const CallOutcome &outcome : outcomes) {
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        results << resultOf(outcome);
    }
    results.sort();
    EXPECT_EQ(results, QStringList({"Adianta_Ja_Util", "OK"}));
    EXPECT_EQ(
        number(QStringLiteral("SELECT SUM(VRUTILIZADO) FROM ADIANTCLIUSO WHERE NRLANCTONF = '9000000001' "
                              "AND NRPARCELAREC = '02'")),
        80000)
        << "the advance is used up, not more";
}

INSTANTIATE_TEST_SUITE_P(Databases, SettlementTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
