#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "server/storage/list_versions.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

// The insertion of entries (getInsert, getIncDebito) over the demo data, on every database of the suite.
class InsertionTest : public DemoServerTest {
protected:
    // Everything an insertion may write, so that a refusal can be shown to have written nothing.
    QList<qint64> written() {
        QList<qint64> counts;
        for (const char *table : {"MOVBANCARIO", "MOVCREDBANC", "MOVDEBIBANC", "LANCCONT", "LANCCONTITEM",
                                  "RATEIOCTB", "SALDODIARIO"})
            counts.append(number(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(table))));
        counts.append(number(QStringLiteral("SELECT SUM(VRCREDITO - VRDEBITO) FROM SALDODIARIO")));
        counts.append(number(QStringLiteral("SELECT SUM(NRULTIMO) FROM NUMERACAO WHERE IDTIPONUM = 'LC'")));
        return counts;
    }

    // The four packets of an insertion that must be answered.
    VariantList include(EntryRequest entry, const QString &token = {}) {
        const Insertion call = insertion(*server, entry, token);
        last = entry;
        const CallOutcome outcome =
            server->callAs(token.isEmpty() ? server->demoToken() : token, call.method, call.args);
        EXPECT_TRUE(outcome.ok()) << outcome.error.toStdString();
        return outcome.ok() ? outcome.result.array() : VariantList(4);
    }

    // Gives `calls` other connections the time to come to wait for a lock (on PostgreSQL, until they do; on
    // SQLite, whose writers wait for the database, a moment), up to five seconds.
    void letCallsWaitForALock(int calls) {
        for (int tries = 0;
             GetParam() == Backend::Postgresql && tries < 500 &&
             number(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event_type = "
                                   "'Lock' AND datname = current_database()")) < calls;
             ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    static qint64 cents(double amount) { return qRound64(amount * 100); }
    static qint64 sum(const DataPacket &rows, const char *fieldName) {
        qint64 total = 0;
        for (int row = 0; row < rows.rowCount(); ++row)
            total += cents(field(rows, row, fieldName).toFloat());
        return total;
    }

    EntryRequest last;
};

TEST_P(InsertionTest, ACreditOrADebitWritesOneMovementOneRecordAndBalancedAccounting) {
    struct Case {
        const char *name;
        EntryRequest entry;
        const char *recordTable, *numberColumn;
        qint64 balanceChange;
        QString commercialCode; // of the type's line
        int shares;
    };
    const Case cases[] = {
        {"a customer's payment",
         {.kind = 'C', .value = 1234.56, .type = "0002", .customer = "CLI0003"},
         "MOVCREDBANC",
         "NRMOVICRED",
         123456,
         "CLI0003",
         1},
        {"a bank fee apportioned over two branches",
         {.kind = 'D', .value = 10.01, .type = "0001", .costCentre = "0005"},
         "MOVDEBIBANC",
         "NRMOVIDEBI",
         -1001,
         "",
         2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<qint64> before = written();
        const qint64 balanceBefore =
            cents(server->answer(QStringLiteral("getSaldoDia"), {"001", demoDate}).toFloat());
        const VariantList answer = include(c.entry);
        ASSERT_EQ(answer.size(), 4u);
        EXPECT_EQ(field(answer[0].packet(), 0, "CDRESULT").toText(), u"OK");
        EXPECT_EQ(answer[3].packet().rowCount(), 0) << "no accounting error";

        const SqlParams key{{QStringLiteral("conta"), QStringLiteral("001")},
                            {QStringLiteral("movimento"), last.movement}};
        EXPECT_EQ(
            number("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento",
                   key),
            1);
        EXPECT_EQ(number(QStringLiteral(
                             "SELECT COUNT(*) FROM %1 WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento")
                             .arg(QString::fromLatin1(c.recordTable)),
                         key),
                  1);
        EXPECT_EQ(written()[0], before[0] + 1) << "one movement";
        EXPECT_EQ(written()[1] + written()[2], before[1] + before[2] + 1) << "one record";
        EXPECT_EQ(cents(server->answer(QStringLiteral("getSaldoDia"), {"001", demoDate}).toFloat()),
                  balanceBefore + c.balanceChange);

        // The accounting entry the record names: debits equal credits, the type's line apportioned whole.
        const QString accounting =
            sql()
                .scalar(QStringLiteral("SELECT NRLANCCONT FROM %1 WHERE CDREDUCONT = :conta AND "
                                       "NRMOVBANC = :movimento")
                            .arg(QString::fromLatin1(c.recordTable)),
                        key)
                ->toString();
        ASSERT_FALSE(accounting.isEmpty());
        const SqlParams entryKey{{QStringLiteral("numero"), accounting}};
        EXPECT_EQ(
            number("SELECT SUM(VRLANCCTB) FROM LANCCONTITEM WHERE NRLANCCONT = :numero AND IDDEBCRED = 'D'",
                   entryKey),
            number("SELECT SUM(VRLANCCTB) FROM LANCCONTITEM WHERE NRLANCCONT = :numero AND IDDEBCRED = 'C'",
                   entryKey));
        EXPECT_EQ(number("SELECT SUM(VRLANCCUST) FROM RATEIOCTB WHERE NRLANCCONT = :numero", entryKey),
                  std::abs(c.balanceChange));
        EXPECT_EQ(number("SELECT COUNT(*) FROM RATEIOCTB WHERE NRLANCCONT = :numero", entryKey), c.shares);

        // What the form is answered says the same.
        const DataPacket lines = answer[1].packet();
        ASSERT_EQ(lines.rowCount(), 2);
        EXPECT_EQ(sum(lines, "VRLANCCTBTEMP"), 0) << "debits positive, credits negative";
        EXPECT_EQ(field(lines, 0, "NRLANCCTBTEMP").toText(), accounting);
        EXPECT_EQ(field(lines, 1, "CDLANCCTBCOME").toText(), c.commercialCode);
        EXPECT_EQ(sum(answer[2].packet(), "VRLANCCUST"), std::abs(c.balanceChange));
    }
}

TEST_P(InsertionTest, AnApportionmentAddsUpToTheValueToTheCent) {
    struct Portion {
        const char *branch, *costCentre;
        int share;
    };
    const QList<Portion> thirds{{"0101", "0001", 3333}, {"0101", "0002", 3333}, {"0102", "0002", 3334}};
    // Rounded up, the catalogue's thirds pass 100 % by their rounding: the last share takes what is left.
    const QList<Portion> thirdsUp{{"0101", "0001", 3334}, {"0101", "0002", 3334}, {"0102", "0002", 3334}};
    // The largest value the server admits, in a share whose cents times its percentage pass 64 bits.
    const QList<Portion> nearlyAll{{"0101", "0001", 9999}, {"0102", "0002", 1}};
    struct Case {
        const QList<Portion> &portions;
        double value;
        QList<qint64> shares;
    };
    for (const Case &c : {Case{thirds, 100.00, {3333, 3333, 3334}}, Case{thirds, 0.01, {0, 0, 1}},
                          Case{thirds, 0.05, {1, 1, 3}}, Case{thirdsUp, 100.00, {3334, 3334, 3332}},
                          Case{nearlyAll, 9999999999999.99, {999899999999999, 100000000000}}}) {
        SCOPED_TRACE(c.value);
        sql().execute(QStringLiteral("DELETE FROM RATEIOTPCRED WHERE CDTPCREDBANC = '0001'"));
        for (const Portion &portion : c.portions)
            sql().execute(
                QStringLiteral("INSERT INTO RATEIOTPCRED (CDTPCREDBANC, CDFILIAL, CDCENTCUST, PCRATEIO) "
                               "VALUES ('0001', :filial, :centro, :parte)"),
                {{QStringLiteral("filial"), QString::fromLatin1(portion.branch)},
                 {QStringLiteral("centro"), QString::fromLatin1(portion.costCentre)},
                 {QStringLiteral("parte"), portion.share}});
        const VariantList answer = include({.value = c.value, .type = "0001"});
        const DataPacket shares = answer[2].packet();
        QList<qint64> got;
        for (int row = 0; row < shares.rowCount(); ++row)
            got.append(cents(field(shares, row, "VRLANCCUST").toFloat()));
        EXPECT_EQ(got, c.shares);
    }
}

TEST_P(InsertionTest, RefusesWhatTheFormCouldNotHaveSentAndWritesNothing) {
    // Each case forges one thing of a good credit of account 001.
    struct Case {
        const char *name;
        std::function<void(EntryRequest &)> entry;
        std::function<void(Insertion &)> call;
        QString message;
        bool restricted = false;
    };
    const auto none = [](auto &) {
    };
    const auto replaceRow = [](Insertion &call, int argument, const char *name, const Variant &value) {
        const DataPacket packet = call.args[static_cast<size_t>(argument)].packet();
        std::vector<std::pair<QString, Variant>> fields;
        for (int i = 0; i < packet.fields().size(); ++i)
            fields.emplace_back(packet.fields()[i].name,
                                packet.fields()[i].name == QLatin1String(name) ? value : packet.value(0, i));
        call.args[static_cast<size_t>(argument)] = insertedRow(fields);
    };
    const Case cases[] = {
        {"a log of two rows", none,
         [](Insertion &call) {
             DataPacket packet = call.args[8].packet();
             packet.appendRow(packet.row(0).values, RowState::Inserted);
             call.args[8] = packet;
         },
         "Registro de movimento bancário inválido: deve incluir exatamente uma linha, não 2."},
        {"a changed row instead of a new one", none,
         [](Insertion &call) {
             const DataPacket inserted = call.args[9].packet();
             DataPacket modified(inserted.fields());
             modified.appendRow(inserted.row(0).values, RowState::Modified, inserted.row(0).values);
             call.args[9] = modified;
         },
         "Registro de crédito inválido: a linha deve ser uma inclusão."},
        {"a record without its type", none,
         [](Insertion &call) {
             const DataPacket packet = call.args[9].packet();
             std::vector<std::pair<QString, Variant>> fields;
             for (int i = 0; i < packet.fields().size(); ++i) {
                 if (packet.fields()[i].name != u"CDTPCREDBANC")
                     fields.emplace_back(packet.fields()[i].name, packet.value(0, i));
             }
             call.args[9] = insertedRow(fields);
         },
         "Registro de crédito inválido: deve ter 16 campos, não 15."},
        {"an account of a company the operator may not use",
         [](EntryRequest &e) {
             e.account = "004";
             e.company = "02";
             e.branch = "0201";
         },
         none, "Operador RESTRITO não relacionado à empresa 02 da conta corrente 004.", true},
        {"a negative value", [](EntryRequest &e) { e.value = -10.0; }, none,
         "Valor deve ser maior que zero."},
        {"a value of zero", [](EntryRequest &e) { e.value = 0.0; }, none, "Valor deve ser maior que zero."},
        {"a value past the largest an entry holds", [](EntryRequest &e) { e.value = 1e13; }, none,
         "Valor maior que o maior valor de um lançamento (9.999.999.999.999,99)."},
        {"a value that rounds past the largest", [](EntryRequest &e) { e.value = 9999999999999.996; }, none,
         "Valor maior que o maior valor de um lançamento (9.999.999.999.999,99)."},
        {"a record worth more than its movement", none,
         [&](Insertion &call) { replaceRow(call, 9, "VRMOVICRED", 200.0); },
         "O valor do crédito difere do valor do movimento bancário."},
        {"a movement number nobody drew", [](EntryRequest &e) { e.movement = "0099999999"; }, none,
         "O número 0099999999 de movimento bancário não foi gerado para a conta corrente 001."},
        {"a credit number taken already", [](EntryRequest &e) { e.number = "0000000001"; }, none,
         "O número 0000000001 de crédito já foi usado na conta corrente 001."},
        {"a movement that claims to be a debit", none,
         [&](Insertion &call) { replaceRow(call, 8, "IDMOVBANC", "D"); },
         "O movimento bancário de um crédito deve ter direção e origem \"C\"."},
        {"a cash flow of another day", none,
         [&](Insertion &call) { replaceRow(call, 9, "DTMOVFLUXO", QDate(1900, 1, 1)); },
         "O fluxo de um lançamento novo é o do seu dia, realizado (\"R\")."},
        {"a cash flow foreseen rather than realised", none,
         [&](Insertion &call) { replaceRow(call, 9, "IDMOVFLUXO", "X"); },
         "O fluxo de um lançamento novo é o do seu dia, realizado (\"R\")."},
        {"a movement born reconciled", none, [&](Insertion &call) { replaceRow(call, 8, "IDSTCONEXT", "1"); },
         "Um movimento bancário novo não pode estar conciliado."},
        {"a typed branch of another company", [](EntryRequest &e) { e.typedBranch = "0201"; }, none,
         "Filial não cadastrada para empresa informada."},
        // The apportionment and the budget go by the record's branch.
        {"a record's branch, of another company, beside the branch typed",
         [](EntryRequest &e) {
             e.typedBranch = "0101";
             e.branch = "0201";
             e.costCentre = "0003";
         },
         none, "A filial 0201 do crédito difere da filial informada 0101."},
        {"a description of blanks", [](EntryRequest &e) { e.description = QStringLiteral("  "); }, none,
         "Descrição deve ser informada."},
        {"a description of two lines",
         [](EntryRequest &e) { e.description = QStringLiteral("linha1\nlinha2"); }, none,
         "A descrição e o documento não podem ter quebras de linha, tabulações ou outros caracteres de "
         "controle."},
        {"a document with a tab and a carriage return",
         [](EntryRequest &e) { e.document = QStringLiteral("doc\t1\r"); }, none,
         "A descrição e o documento não podem ter quebras de linha, tabulações ou outros caracteres de "
         "controle."},
        {"none typed, a record's branch of a company the operator may not use",
         [](EntryRequest &e) {
             e.branch = "0201";
             e.costCentre = "0003";
         },
         none, "Operador RESTRITO não relacionado à empresa 02.", true},
        {"an unknown type", [](EntryRequest &e) { e.type = "0999"; }, none,
         "Tipo de crédito bancário não cadastrado."},
        {"a customer and a supplier",
         [](EntryRequest &e) {
             e.customer = "CLI0001";
             e.supplier = "FOR0001";
         },
         none, "O cliente e o fornecedor não podem ser informados no mesmo lançamento."},
        {"no cost centre while budgets are kept by cost centre",
         [](EntryRequest &e) { e.costCentre.clear(); }, none, "Centro de Custo deve ser informado."},
        {"a cost centre another branch uses", [](EntryRequest &e) { e.costCentre = "0004"; }, none,
         "Centro de Custo não cadastrado para a filial informada."},
        {"the default cost centre of another branch",
         [](EntryRequest &e) {
             e.branch = e.typedBranch = "0102";
             e.costCentre = "0003";
         },
         none, "Centro de Custo não cadastrado para a filial informada."},
        {"a customer's type without a customer", [](EntryRequest &e) { e.type = "0002"; }, none,
         "Cliente deve ser informado para contabilização correta do documento."},
        {"a customer's type with a supplier instead",
         [](EntryRequest &e) {
             e.type = "0002";
             e.supplier = "FOR0001";
         },
         none, "Cliente deve ser informado para contabilização correta do documento."},
        {"a supplier's type of debit without a supplier",
         [](EntryRequest &e) {
             e.kind = 'D';
             e.type = "0002";
         },
         none, "Fornecedor deve ser informado para contabilização correta do documento."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EntryRequest entry;
        c.entry(entry);
        const QString token = c.restricted ? server->restrictedToken() : server->demoToken();
        Insertion call = insertion(*server, entry, server->demoToken());
        c.call(call);
        const QList<qint64> before = written();
        const CallOutcome outcome = server->callAs(token, call.method, call.args);
        EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
        EXPECT_EQ(outcome.error, c.message);
        EXPECT_EQ(written(), before);
    }
}

// What the entry form sends for an entry typed without a cost centre (the branch's default, else the
// company's) is the entry's whatever the branch's list holds; a type that is not accounted needs no party.
TEST_P(InsertionTest, TakesTheDefaultCostCentresAndATypeNotAccountedWithoutItsParty) {
    const struct Case {
        const char *name;
        EntryRequest entry;
    } cases[] = {
        {"the branch's default", {.branch = "0101", .costCentre = "0001"}},
        {"the company's default, which the branch does not list",
         {.branch = "0102", .typedBranch = "0102", .costCentre = "0001"}},
        {"one of the branch's own", {.branch = "0102", .typedBranch = "0102", .costCentre = "0004"}},
        {"a type of customer kind that is not accounted", {.type = "0010"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const VariantList answer = include(c.entry);
        EXPECT_EQ(field(answer[0].packet(), 0, "CDRESULT").toText(), u"OK");
    }
}

// Credit type 0001 apportioned between branches 0101 and 0102 of company 01 at these hundredths of a percent.
std::function<void(Sql &)> apportionedAs(const QList<int> &hundredths) {
    return [hundredths](Sql &sql) {
        sql.execute(QStringLiteral("DELETE FROM RATEIOTPCRED WHERE CDTPCREDBANC = '0001'"));
        const char *branches[] = {"0101", "0102"};
        for (qsizetype i = 0; i < hundredths.size(); ++i)
            sql.execute(
                QStringLiteral("INSERT INTO RATEIOTPCRED (CDTPCREDBANC, CDFILIAL, CDCENTCUST, PCRATEIO) "
                               "VALUES ('0001', :filial, '0002', :parte)"),
                {{QStringLiteral("filial"), QString::fromLatin1(branches[i])},
                 {QStringLiteral("parte"), hundredths[i]}});
    };
}

TEST_P(InsertionTest, AnEntryThatCannotBeAccountedIsAnsweredWithItsErrorsAndWritesNothing) {
    struct Case {
        const char *name;
        EntryRequest entry;
        QStringList errors; // code and line
        std::function<void(Sql &)> prepare = [](Sql &) {
        };
    };
    const Case cases[] = {
        {"a type that posts to a synthetic account", {.type = "0011"}, {"002/2"}},
        {"a date of a closed period", {.date = QDate(2024, 1, 10)}, {"004/0"}},
        {"no cost centre on an account kept by cost centre",
         {.kind = 'D', .type = "0006", .costCentre = ""},
         {"003/2"},
         [](Sql &sql) {
             sql.execute(QStringLiteral("UPDATE GERPARAMGERAL SET IDTIPOORCA = 'E'"));
         }},
        // The last share would take -10 % of the value, or the 50 % the type gives the first.
        {"a type whose apportionment passes 100 %", {.type = "0001"}, {"005/2"}, apportionedAs({6000, 5000})},
        {"a type whose apportionment falls short of 100 %",
         {.type = "0001"},
         {"005/2"},
         apportionedAs({5000, 1000})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare(sql());
        const QList<qint64> before = written();
        const VariantList answer = include(c.entry);
        QStringList errors;
        const DataPacket rows = answer[3].packet();
        for (int row = 0; row < rows.rowCount(); ++row)
            errors << field(rows, row, "CDERROTEMP").toText() + u'/' +
                          field(rows, row, "NRSEQCTBTEMP").toText();
        EXPECT_EQ(errors, c.errors);
        EXPECT_EQ(answer[1].packet().rowCount(), 2) << "the lines that could not be written are shown";
        EXPECT_EQ(written(), before);
    }
}

TEST_P(InsertionTest, ADebitBeyondItsTypesBudgetIsRefusedByItsKey) {
    // The demo leaves company 01's taxes on cost centre 0001 50.00 short of this month's budget.
    EntryRequest over{.kind = 'D', .value = 50.01, .type = "0006", .costCentre = "0001"};
    const QList<qint64> before = written();
    VariantList answer = include(over);
    EXPECT_EQ(field(answer[0].packet(), 0, "CDRESULT").toText(), u"MSG");
    EXPECT_EQ(field(answer[0].packet(), 0, "DSRESULT").toText(), u"N_Pode_Lanc_Orca");
    EXPECT_EQ(written(), before);

    answer = include({.kind = 'D', .value = 50.00, .type = "0006", .costCentre = "0001"});
    EXPECT_EQ(field(answer[0].packet(), 0, "CDRESULT").toText(), u"OK") << "the budget itself may be reached";
}

// A client that sends its include again when the first answer is slow: both calls reach the server while
// another writer holds the account, and both have checked the numbers before either writes. The second
// is refused as a retry after the first's commit is, alike on every database, where PostgreSQL failed it
// inside on the movement's key. (SQLite lets a call check only once it holds the database, so only
// PostgreSQL meets the race itself.)
TEST_P(InsertionTest, TheSameIncludeSentTwiceAtOnceWritesOnceAndRefusesTheOther) {
    for (const char kind : {'C', 'D'}) {
        SCOPED_TRACE(kind);
        EntryRequest entry{.kind = kind, .value = 12.34, .type = "0001", .description = "Enviado duas vezes"};
        if (kind == 'D') {
            entry.type = QStringLiteral("0002");
            entry.supplier = QStringLiteral("FOR0001");
        }
        const Insertion call = insertion(*server, entry);
        const QList<qint64> before = written();

        ConnectionPool otherWriter(server->database().url());
        Sql &holder = otherWriter.forThisThread();
        holder.begin(true);
        lockListVersion(holder, QStringLiteral("001"));
        CallOutcome outcomes[2];
        std::thread senders[2];
        for (int i = 0; i < 2; ++i)
            senders[i] = std::thread([&, i] { outcomes[i] = server->call(call.method, call.args); });
        // Both calls check while the account is held: on PostgreSQL they wait at its version, on SQLite at
        // the database.
        letCallsWaitForALock(2);
        holder.commit();
        for (std::thread &sender : senders)
            sender.join();

        const int done = static_cast<int>(outcomes[0].ok()) + static_cast<int>(outcomes[1].ok());
        EXPECT_EQ(done, 1);
        const CallOutcome &refused = outcomes[0].ok() ? outcomes[1] : outcomes[0];
        EXPECT_EQ(refused.status, CallOutcome::Status::Refused);
        EXPECT_EQ(refused.error, QStringLiteral("O número %1 de movimento bancário já foi usado na conta "
                                                "corrente 001.")
                                     .arg(entry.movement));
        EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND "
                                        "NRMOVBANC = :movimento"),
                         {{QStringLiteral("movimento"), entry.movement}}),
                  1);
        EXPECT_EQ(written()[0], before[0] + 1);
    }
}

// The form asks whether an entry repeats one the account holds and sends, with the include or the change,
// the repetitions the operator was shown; another client writes one more between the question and the call.
// The call is refused naming it and writes nothing; sent again beside it, it is written.
TEST_P(InsertionTest, AWriteThatRepeatsOneWrittenSinceTheQuestionIsRefusedAndWritesNothing) {
    for (const char kind : {'C', 'D'}) {
        SCOPED_TRACE(kind);
        EntryRequest entry{
            .kind = kind, .value = 45.67, .type = "0001", .description = "Repetido", .document = "REP-1"};
        if (kind == 'D') {
            entry.type = QStringLiteral("0002");
            entry.supplier = QStringLiteral("FOR0001");
        }
        Insertion call = insertion(*server, entry);
        call.args.push_back(QString()); // the question found none
        EntryRequest same = entry;
        same.movement.clear();
        same.number.clear();
        include(same); // the other client, meanwhile
        const QString theOthers = last.movement;
        const QList<qint64> before = written();
        CallOutcome outcome = server->call(call.method, call.args);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        const DataPacket result = outcome.result.array()[0].packet();
        EXPECT_EQ(field(result, 0, "DSRESULT").toText(), u"LANCA_JA_CAD_OUTRO");
        EXPECT_EQ(field(result, 1, "DSRESULT").toText(), QStringLiteral("Movimento %1").arg(theOthers));
        EXPECT_EQ(written(), before) << "nothing written, no number used";

        call.args.back() = theOthers; // asked again, the operator confirms beside it
        outcome = server->call(call.method, call.args);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        EXPECT_EQ(field(outcome.result.array()[0].packet(), 0, "CDRESULT").toText(), u"OK");
        EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND "
                                        "DSHISMBANC LIKE 'Repetido%' AND IDMOVBANC = :kind"),
                         {{QStringLiteral("kind"), QString(QChar::fromLatin1(kind))}}),
                  2);
    }

    // A change of description that makes an entry repeat one the other client wrote after the question.
    EntryRequest changed{.value = 78.9, .type = "0001", .description = "Antes", .document = "REP-2"};
    include(changed);
    changed = last;
    Insertion call = change(changed, QStringLiteral("Depois"));
    call.args.push_back(QString::number(
        number(QStringLiteral("SELECT NRVERSAO FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND NRMOVBANC = :m"),
               {{QStringLiteral("m"), changed.movement}})));
    call.args.push_back(QString()); // the question found none
    EntryRequest other = changed;
    other.movement.clear();
    other.number.clear();
    other.description = QStringLiteral("Depois");
    include(other);
    const QList<qint64> before = written();
    const CallOutcome outcome = server->call(call.method, call.args);
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_EQ(field(outcome.result.array()[0].packet(), 0, "DSRESULT").toText(), u"LANCA_JA_CAD_OUTRO");
    EXPECT_EQ(written(), before);
    EXPECT_EQ(
        number(QStringLiteral("SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND NRMOVBANC = "
                              ":m AND DSMOVICRED = 'Antes'"),
               {{QStringLiteral("m"), changed.movement}}),
        1)
        << "the description as it was";
}

// Another program closes the entry's accounting period, or blocks its day, while the include is on its way:
// the include waits for it and is refused, rather than writing into a period closed under it.
TEST_P(InsertionTest, AnIncludeMeetingAPeriodBeingClosedOrADayBeingBlockedWaitsAndIsRefused) {
    const struct Case {
        const char *what;
        const char *closing;
        QString refusal; // empty: answered with the accounting's errors
    } cases[] = {
        {"the period closed",
         "UPDATE PERIODOCTB SET IDSITUPERI = 'F' WHERE CDEMPRESA = '01' AND DTINIPERI <= "
         ":dia AND DTFIMPERI >= :dia",
         QString()},
        {"the day blocked",
         "UPDATE PARAMGERAL SET IDBLOQDATA = 'S', DTBLOQATE = :dia WHERE CDMODULO = 'BCO_'",
         QStringLiteral("Operação bloqueada! Data deve ser maior ou igual a data de processamento.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sql().execute(QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'A' WHERE CDEMPRESA = '01'"));
        sql().execute(QStringLiteral("UPDATE PARAMGERAL SET IDBLOQDATA = 'N' WHERE CDMODULO = 'BCO_'"));
        EntryRequest entry{.description = "Durante o fechamento"};
        const Insertion call = insertion(*server, entry);
        const QList<qint64> before = written();

        ConnectionPool otherProgram(server->database().url());
        Sql &closer = otherProgram.forThisThread();
        closer.begin(true);
        closer.execute(QString::fromLatin1(c.closing), {{QStringLiteral("dia"), entry.date}});
        CallOutcome outcome;
        std::thread sender([&] { outcome = server->call(call.method, call.args); });
        letCallsWaitForALock(1);
        closer.commit();
        sender.join();

        // The period closed is told as the accounting's error, as the form shows it; the day blocked as a
        // refusal.
        if (c.refusal.isEmpty()) {
            ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
            EXPECT_GT(outcome.result.array().at(3).packet().rowCount(), 0) << "the accounting's errors";
        } else {
            EXPECT_EQ(outcome.status, CallOutcome::Status::Refused) << outcome.error.toStdString();
            EXPECT_EQ(outcome.error, c.refusal);
        }
        EXPECT_EQ(written(), before);
    }
}

// Another program holds the entry's period (closing it, say) and then asks for the account's list version,
// which the include holds while it waits for the period: PostgreSQL ends the include to break the deadlock,
// and the include runs again and is written, once.
TEST_P(InsertionTest, AnIncludeEndedToBreakADeadlockRunsAgainAndIsWrittenOnce) {
    if (GetParam() == Backend::Sqlite)
        GTEST_SKIP() << "SQLite's writers take turns";
    EntryRequest entry{.description = "Depois do impasse"};
    const Insertion call = insertion(*server, entry);
    const QList<qint64> before = written();

    ConnectionPool otherProgram(server->database().url());
    Sql &other = otherProgram.forThisThread();
    other.begin(true);
    other.execute(QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = IDSITUPERI WHERE CDEMPRESA = '01' AND "
                                 "DTINIPERI <= :dia AND DTFIMPERI >= :dia"),
                  {{QStringLiteral("dia"), entry.date}});
    CallOutcome outcome;
    std::thread sender([&] { outcome = server->call(call.method, call.args); });
    letCallsWaitForALock(1);
    // Waits for the include, which waits for this: the include, waiting first, is ended.
    other.execute(QStringLiteral("SELECT NRVERSAO FROM VERSAOLISTA WHERE CDREDUCONT = '001' FOR UPDATE"));
    other.commit();
    sender.join();

    EXPECT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_TRUE(outcome.note.contains(u"deadlock")) << "the server's log says it ran again";
    EXPECT_EQ(written()[0], before[0] + 1);
    EXPECT_EQ(
        number(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '001' AND NRMOVBANC = "
                              ":movimento"),
               {{QStringLiteral("movimento"), entry.movement}}),
        1);
}

// A day's credits summed past what the database's integers hold are refused on either database, rather than
// kept inexact for good.
TEST_P(InsertionTest, ASumPastWhatTheDatabaseHoldsIsRefusedAndWritesNothing) {
    include({.value = 1.00});
    const qint64 nearTheEnd = std::numeric_limits<qint64>::max() - 50;
    const QString day =
        QStringLiteral("SELECT VRCREDITO FROM SALDODIARIO WHERE CDREDUCONT = '001' AND DTSALDO = :dia");
    const SqlParams today{{QStringLiteral("dia"), QDate(2024, 3, 15)}};
    sql().execute(
        QStringLiteral("UPDATE SALDODIARIO SET VRCREDITO = :valor WHERE CDREDUCONT = '001' AND DTSALDO = "
                       ":dia"),
        {{QStringLiteral("valor"), nearTheEnd}, {QStringLiteral("dia"), QDate(2024, 3, 15)}});
    const qint64 movements = number(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO"));
    EntryRequest more{.value = 1.00};
    const Insertion call = insertion(*server, more);
    const CallOutcome outcome = server->call(call.method, call.args);
    EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
    EXPECT_EQ(outcome.error,
              QStringLiteral("A soma dos movimentos de um dia ou de um mês da conta passaria do "
                             "maior valor que o banco de dados guarda: nada foi gravado."));
    EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO")), movements);
    EXPECT_EQ(number(day, today), nearTheEnd);
}

// Each month's sums fit in an integer, the balance over them does not: every database answers the same
// refusal, where SQLite summed past the integers into an inexact number and PostgreSQL failed inside.
TEST_P(InsertionTest, ABalancePastWhatAnIntegerHoldsIsRefusedAlikeOnEveryDatabase) {
    const qint64 overHalf = std::numeric_limits<qint64>::max() / 2 + 1;
    for (const QDate month : {QDate(2020, 1, 1), QDate(2020, 2, 1)})
        sql().execute(
            QStringLiteral("INSERT INTO SALDOMENSAL (CDREDUCONT, DTMES, VRCREDITO, VRDEBITO) VALUES "
                           "('009', :mes, :valor, 0)"),
            {{QStringLiteral("mes"), month}, {QStringLiteral("valor"), overHalf}});
    const CallOutcome january =
        server->call(QStringLiteral("getSaldoDia"), {QStringLiteral("009"), QDate(2020, 1, 31)});
    EXPECT_TRUE(january.ok()) << january.error.toStdString();
    const CallOutcome march =
        server->call(QStringLiteral("getSaldoDia"), {QStringLiteral("009"), QDate(2020, 3, 1)});
    EXPECT_EQ(march.status, CallOutcome::Status::Refused);
    EXPECT_EQ(march.error, QStringLiteral("O saldo da conta corrente 009 em 01/03/2020 passa do maior valor "
                                          "que o banco de dados guarda."));
}

INSTANTIATE_TEST_SUITE_P(Databases, InsertionTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
