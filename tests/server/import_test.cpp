#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "framework/text/whole_characters.h"
#include "server_test_support.h"

namespace bco::server::testing {
namespace {

// The change logs of an import: every movement in one log, the credits and the debits each in theirs.
struct ImportLogs {
    DataPacket movements, credits, debits;
};

void appendInserted(DataPacket &into, const Variant &log) {
    const DataPacket &row = log.packet();
    if (into.fields().isEmpty())
        into = DataPacket(row.fields());
    into.appendRow(row.row(0).values, RowState::Inserted);
}

// The spreadsheet import's two calls (setInsertImportCred, setInsertImportDeb) over the demo data.
class ImportTest : public DemoServerTest {
protected:
    // Everything an import may write.
    QList<qint64> written() {
        QList<qint64> counts;
        for (const char *table :
             {"MOVBANCARIO", "MOVCREDBANC", "MOVDEBIBANC", "LANCCONT", "LANCCONTITEM", "RATEIOCTB"})
            counts.append(number(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(table))));
        return counts;
    }

    // The logs of these entries, their numbers drawn as the validation pass draws them.
    ImportLogs logsOf(std::vector<EntryRequest> entries, const QString &token = {}) {
        ImportLogs logs;
        for (EntryRequest &entry : entries) {
            const Insertion call = insertion(*server, entry, token);
            appendInserted(logs.movements, call.args[8]);
            appendInserted(entry.kind == 'C' ? logs.credits : logs.debits, call.args[9]);
        }
        return logs;
    }

    CallOutcome send(const char *method, const ImportLogs &logs, const DataPacket &records,
                     const QString &operatorCode = QStringLiteral("DEMO")) {
        return server->callAs(server->demoToken(), QString::fromLatin1(method),
                              {logs.movements, records, operatorCode});
    }

    // Every field of what the entry of movement `movement` of account 001 wrote (its movement, its record,
    // its accounting entry with the lines and their shares), but the numbers that name those rows (the
    // accounting entry's document names the movement).
    QStringList fieldsOf(const QString &movement) {
        const QString accounting = QStringLiteral(
            "(SELECT NRLANCCONT FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND NRMOVBANC = :movimento "
            "UNION ALL SELECT NRLANCCONT FROM MOVDEBIBANC WHERE CDREDUCONT = '001' AND NRMOVBANC = "
            ":movimento)");
        const QString record = QStringLiteral("CDCLASSFINA, CDEMPRESA, CDFILIAL, DTMOVFLUXO, IDMOVFLUXO, %1, "
                                              "CDCENTCUST, CDCLIENTE, CDFORNECED, "
                                              "NRCHEQUE, CDOPERADOR");
        const struct {
            QString columns, from;
        } reads[] = {
            {QStringLiteral(
                 "DTMOVBANC, IDMOVBANC, NRDOCMBANC, DSHISMBANC, VRMOVBANC, IDORIGMBANC, IDSTCONEXT, "
                 "CDSEQUEXBA, CDOPERADOR, NRVERSAO"),
             QStringLiteral("MOVBANCARIO WHERE CDREDUCONT = '001' AND NRMOVBANC = :movimento")},
            {record.arg(QStringLiteral(
                 "CDTPCREDBANC, DTMOVICRED, DSMOVICRED, VRMOVICRED, CDECTBMCRED, CDFILILANCRE")),
             QStringLiteral("MOVCREDBANC WHERE CDREDUCONT = '001' AND NRMOVBANC = :movimento")},
            {record.arg(QStringLiteral(
                 "CDTPDEBIBANC, DTMOVIDEBI, DSMOVIDEBI, VRMOVIDEBI, CDECTBMDEB, CDFILILANDEB")),
             QStringLiteral("MOVDEBIBANC WHERE CDREDUCONT = '001' AND NRMOVBANC = :movimento")},
            {QStringLiteral("CDEMPRESA, DTLANCCONT, CDHISTPADR, DSHISTCTB, CDDOCUCONT, CDOPERADOR"),
             QStringLiteral("LANCCONT WHERE NRLANCCONT = ") + accounting},
            {QStringLiteral("NRSEQCTB, CDCONTCTBL, IDDEBCRED, VRLANCCTB, IDLANCCTBCOME, CDLANCCTBCOME"),
             QStringLiteral("LANCCONTITEM WHERE NRLANCCONT = ") + accounting +
                 QStringLiteral(" ORDER BY NRSEQCTB")},
            {QStringLiteral("NRSEQCTB, NRSEQRAT, CDFILIAL, CDCENTCUST, VRLANCCUST"),
             QStringLiteral("RATEIOCTB WHERE NRLANCCONT = ") + accounting +
                 QStringLiteral(" ORDER BY NRSEQCTB, NRSEQRAT")},
        };
        QStringList fields;
        for (const auto &read : reads) {
            const int columns = static_cast<int>(read.columns.count(u',')) + 1;
            sql().forEach(QStringLiteral("SELECT %1 FROM %2").arg(read.columns, read.from),
                          {{QStringLiteral("movimento"), movement}}, [&](const SqlRow &row) {
                              for (int c = 0; c < columns; ++c)
                                  fields
                                      << (row.isNull(c)
                                              ? QStringLiteral("<null>")
                                              : row.text(c).replace(movement, QStringLiteral("<movimento>")));
                          });
            fields << QStringLiteral("|");
        }
        return fields;
    }

    // The result rows of an answer, as "CODE text".
    static QStringList resultRows(const CallOutcome &outcome) {
        QStringList rows;
        const DataPacket &result = outcome.result.array().at(0).packet();
        for (int row = 0; row < result.rowCount(); ++row)
            rows << field(result, row, "CDRESULT").toText() + u' ' + field(result, row, "DSRESULT").toText();
        return rows;
    }
};

const EntryRequest credit{.kind = 'C', .value = 100.0, .type = "0001", .description = "Importado"};
const EntryRequest customerCredit{
    .kind = 'C', .value = 250.5, .type = "0002", .description = "Recebido", .customer = "CLI0003"};
// Of a branch without a default cost centre, whose company's default the branch does not list.
const EntryRequest debit{.kind = 'D',
                         .value = 80.0,
                         .type = "0002",
                         .branch = "0102",
                         .description = "Pago",
                         .supplier = "FOR0001"};

TEST_P(ImportTest, EachCallWritesEveryEntryOfItsKindInOneGo) {
    const QList<qint64> before = written();
    const ImportLogs logs = logsOf({credit, debit, customerCredit});
    const CallOutcome credits = send("setInsertImportCred", logs, logs.credits);
    ASSERT_TRUE(credits.ok()) << credits.error.toStdString();
    EXPECT_EQ(resultRows(credits),
              QStringList{"OK 2 lançamento(s) de crédito incluído(s); 0 já incluído(s) antes."});
    EXPECT_EQ(credits.result.array().at(3).packet().rowCount(), 0);
    EXPECT_EQ(credits.result.array().at(1).packet().rowCount(), 4) << "two lines of accounting per entry";
    const CallOutcome debits = send("setInsertImportDeb", logs, logs.debits);
    ASSERT_TRUE(debits.ok()) << debits.error.toStdString();
    const QList<qint64> after = written();
    EXPECT_EQ(after[0] - before[0], 3);
    EXPECT_EQ(after[1] - before[1], 2);
    EXPECT_EQ(after[2] - before[2], 1);
    EXPECT_EQ(after[3] - before[3], 3);
    EXPECT_EQ(
        number("SELECT COUNT(*) FROM MOVCREDBANC WHERE DSMOVICRED = 'Recebido' AND CDCLIENTE = 'CLI0003' "
               "AND CDCENTCUST = '0001'"),
        1)
        << "an imported entry takes the branch's default cost centre";
    EXPECT_EQ(number("SELECT COUNT(*) FROM MOVDEBIBANC WHERE DSMOVIDEBI = 'Pago' AND CDFILIAL = '0102' AND "
                     "CDCENTCUST = '0001'"),
              1)
        << "or its company's";
    EXPECT_EQ(number("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'setInsertImportDeb' AND CDREDUCONT IS "
                     "NOT NULL AND DSNUMEROS LIKE '%, %'"),
              1)
        << "the audit trail names the account and the numbers of what the import wrote";
}

// The import writes many entries at a time, the entry form one: the same entries written both ways hold the
// same values in every field, whatever their texts hold, but for the movement's history, which tells each
// writer apart and which the server writes whatever the client sent.
TEST_P(ImportTest, WritesEveryFieldAsTheEntryFormWritesIt) {
    EntryRequest quoted = customerCredit;
    quoted.description = QStringLiteral("Recebido \"à vista\" \\ 50% {x} 'y'");
    quoted.document = QStringLiteral("NF\\\"1'");
    EntryRequest plain = credit;
    plain.description = QStringLiteral("Crédito “€” ½ — 漢字 ☃");
    const std::vector<EntryRequest> entries{quoted, debit, plain};
    // The import first: it would skip the entries the form wrote before as their repetitions.
    const ImportLogs logs = logsOf(entries);
    ASSERT_TRUE(send("setInsertImportCred", logs, logs.credits).ok());
    ASSERT_TRUE(send("setInsertImportDeb", logs, logs.debits).ok());
    QStringList typed;
    for (EntryRequest entry : entries) {
        // A client's history and financial class of its own are not what is written.
        Insertion call = insertion(*server, entry);
        const auto forge = [&call](size_t argument, const char16_t *name, const QString &value) {
            const DataPacket sent = call.args[argument].packet();
            std::vector<std::pair<QString, Variant>> row;
            for (int i = 0; i < sent.fields().size(); ++i)
                row.emplace_back(sent.fields()[i].name,
                                 sent.fields()[i].name == name ? Variant(value) : sent.value(0, i));
            call.args[argument] = insertedRow(row);
        };
        forge(8, u"DSHISMBANC", QStringLiteral("Histórico de outro"));
        forge(9, u"CDCLASSFINA", QStringLiteral("040101"));
        const CallOutcome outcome = server->callAs(server->demoToken(), call.method, call.args);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        typed << call.args[8].packet().value(0, u"NRMOVBANC").toText();
    }
    for (int row = 0; row < logs.movements.rowCount(); ++row) {
        const QString imported = logs.movements.value(row, u"NRMOVBANC").toText();
        SCOPED_TRACE(imported.toStdString());
        QStringList fields = fieldsOf(imported);
        QStringList typedFields = fieldsOf(typed[row]);
        EXPECT_GT(fields.size(), 40) << fields.join(u' ').toStdString();
        const EntryRequest &entry = entries[static_cast<size_t>(row)];
        const QString description = entry.description;
        const QString typeName =
            sql()
                .scalar(entry.kind == 'C'
                            ? QStringLiteral("SELECT DSTPCREDBANC FROM TPCREDBANC WHERE CDTPCREDBANC = :t")
                            : QStringLiteral("SELECT DSTPDEBIBANC FROM TPDEBIBANC WHERE CDTPDEBIBANC = :t"),
                        {{QStringLiteral("t"), entry.type}})
                ->toString();
        EXPECT_EQ(fields.takeAt(3),
                  leftWholeCharacters(description + QStringLiteral(" (Importação via xls)"), 40));
        EXPECT_EQ(typedFields.takeAt(3), leftWholeCharacters(description + u'(' + typeName + u')', 40));
        EXPECT_EQ(fields.join(u';').toStdString(), typedFields.join(u';').toStdString());
    }
}

TEST_P(ImportTest, OneRefusedRecordWritesNothingAtAll) {
    struct Case {
        const char *name;
        std::function<void(ImportLogs &)> spoil;
        const char *method;
        QString error;
        QString operatorCode = QStringLiteral("DEMO");
    };
    const Case cases[] = {
        {"a record of an unknown type",
         [](ImportLogs &logs) {
             DataPacket spoilt(logs.credits.fields());
             for (int row = 0; row < logs.credits.rowCount(); ++row)
                 spoilt.appendRow(row == 1
                                      ? logs.credits.row(row).values.with(
                                            logs.credits.fieldIndex(u"CDTPCREDBANC"), FieldKind::Text, "0099")
                                      : logs.credits.row(row).values,
                                  RowState::Inserted);
             logs.credits = spoilt;
         },
         "setInsertImportCred", "Tipo de crédito bancário não cadastrado."},
        {"a movement no record names",
         [](ImportLogs &logs) {
             DataPacket fewer(logs.credits.fields());
             fewer.appendRow(logs.credits.row(0).values, RowState::Inserted);
             logs.credits = fewer;
         },
         "setInsertImportCred", "não tem crédito"},
        {"another operator's code", [](ImportLogs &) {}, "setInsertImportCred", "operador da sessão",
         QStringLiteral("SUPERV")},
        {"a record of a customer's type without its customer",
         [](ImportLogs &logs) {
             DataPacket spoilt(logs.credits.fields());
             for (int row = 0; row < logs.credits.rowCount(); ++row)
                 spoilt.appendRow(row == 1
                                      ? logs.credits.row(row).values.with(
                                            logs.credits.fieldIndex(u"CDCLIENTE"), FieldKind::Text, Variant())
                                      : logs.credits.row(row).values,
                                  RowState::Inserted);
             logs.credits = spoilt;
         },
         "setInsertImportCred", "Cliente deve ser informado para contabilização correta do documento."},
        {"two records of one call under one number",
         [](ImportLogs &logs) {
             DataPacket spoilt(logs.credits.fields());
             const int number = logs.credits.fieldIndex(u"NRMOVICRED");
             for (int row = 0; row < logs.credits.rowCount(); ++row)
                 spoilt.appendRow(logs.credits.row(row).values.with(number, FieldKind::Text,
                                                                    logs.credits.value(0, u"NRMOVICRED")),
                                  RowState::Inserted);
             logs.credits = spoilt;
         },
         "setInsertImportCred", "já foi usado"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImportLogs logs = logsOf({credit, customerCredit});
        c.spoil(logs);
        const QList<qint64> before = written();
        const CallOutcome outcome = send(c.method, logs, logs.credits, c.operatorCode);
        EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
        EXPECT_TRUE(outcome.error.contains(c.error)) << outcome.error.toStdString();
        EXPECT_EQ(written(), before);
    }
}

// As an entry typed: a day closed to the operator, or outside the company's open period, refuses the entry
// whether its type is accounted or not, and the call writes none of the file.
TEST_P(ImportTest, AnEntryOnADayClosedToTheOperatorOrOutsideAnOpenPeriodWritesNothingAtAll) {
    const struct Case {
        const char *name;
        EntryRequest entry;
        QString blockedUpTo; // of the module's blocked-date rule, when not the demo's
        const char *error;
    } cases[] = {
        {"not accounted, in a closed period and a blocked day",
         {.kind = 'C', .date = QDate(2023, 10, 10), .type = "0005", .description = "Transferência"},
         {},
         "Operação bloqueada! Data deve ser maior ou igual a data de processamento."},
        {"not accounted, where no period is open",
         {.kind = 'C', .date = QDate(2024, 6, 3), .type = "0005", .description = "Transferência"},
         {},
         "Data do lançamento fora do período contábil."},
        // Told as the closed day it is (another operator closed it after the check), not as an accounting
        // error to mend in the file.
        {"accounted, where no period is open",
         {.kind = 'C', .date = QDate(2024, 6, 3), .type = "0001", .description = "Depósito"},
         {},
         "Data do lançamento fora do período contábil."},
        {"accounted, in an open period on a day blocked to the operator",
         {.kind = 'C', .date = QDate(2024, 3, 5), .type = "0001", .description = "Depósito"},
         QStringLiteral("2024-03-10"),
         "Operação bloqueada! Data deve ser maior ou igual a data de processamento."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.blockedUpTo.isEmpty())
            sql().execute(
                QStringLiteral("UPDATE PARAMGERAL SET DTBLOQATE = :dia WHERE TRIM(CDMODULO) = 'BCO_'"),
                {{QStringLiteral("dia"), QDate::fromString(c.blockedUpTo, Qt::ISODate)}});
        const ImportLogs logs = logsOf({credit, c.entry});
        const QList<qint64> before = written();
        const QList<qint64> balances = {number(QStringLiteral("SELECT COUNT(*) FROM SALDODIARIO")),
                                        number(QStringLiteral("SELECT SUM(VRCREDITO) FROM SALDOMENSAL"))};
        const CallOutcome outcome = send("setInsertImportCred", logs, logs.credits);
        EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
        EXPECT_EQ(outcome.error,
                  QStringLiteral("Movimento %1 da conta corrente 001: %2")
                      .arg(field(logs.movements, 1, "NRMOVBANC").toText(), QString::fromUtf8(c.error)));
        EXPECT_EQ(written(), before);
        EXPECT_EQ(balances,
                  (QList<qint64>{number(QStringLiteral("SELECT COUNT(*) FROM SALDODIARIO")),
                                 number(QStringLiteral("SELECT SUM(VRCREDITO) FROM SALDOMENSAL"))}));
        sql().execute(
            QStringLiteral("UPDATE PARAMGERAL SET DTBLOQATE = '2023-12-31' WHERE TRIM(CDMODULO) = 'BCO_'"));
    }
}

// Company 03 and its branch 0301 have no default cost centre for an imported entry to take.
TEST_P(ImportTest, AnEntryWithNoCostCentreToTakeIsWrittenOnlyWhereBudgetsAreNotKeptByCostCentre) {
    const struct Case {
        const char *name;
        const char *budgetsKeptBy;
        char kind;
        const char *type;
        bool written;
    } cases[] = {
        {"an unaccounted debit, budgets by cost centre", "C", 'D', "0005", false},
        {"an accounted debit, budgets by cost centre", "C", 'D', "0001", false},
        {"an unaccounted credit, budgets by cost centre", "C", 'C', "0005", false},
        {"an unaccounted debit, budgets by company", "E", 'D', "0005", true},
    };
    double value = 40.0; // one of its own for each case, which no case's entry then repeats
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        value += 1.0;
        sql().execute(QStringLiteral("UPDATE GERPARAMGERAL SET IDTIPOORCA = :tipo"),
                      {{QStringLiteral("tipo"), QString::fromLatin1(c.budgetsKeptBy)}});
        const EntryRequest entry{.kind = c.kind,
                                 .account = "007",
                                 .company = "03",
                                 .value = value,
                                 .type = QString::fromLatin1(c.type),
                                 .branch = "0301",
                                 .costCentre = {},
                                 .description = "Sem centro de custo"};
        const ImportLogs logs = logsOf({entry});
        const QString movement = logs.movements.value(0, u"NRMOVBANC").toText();
        const QList<qint64> before = written();
        const CallOutcome outcome = c.kind == 'C' ? send("setInsertImportCred", logs, logs.credits)
                                                  : send("setInsertImportDeb", logs, logs.debits);
        if (!c.written) {
            EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
            EXPECT_EQ(outcome.error,
                      QStringLiteral(
                          "Movimento %1 da conta corrente 007: Centro de Custo deve ser informado. Nem a "
                          "filial 0301 nem a empresa 03 têm um centro de custo padrão "
                          "para o lançamento importado.")
                          .arg(movement));
            EXPECT_EQ(written(), before);
            continue;
        }
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        EXPECT_EQ(
            number("SELECT COUNT(*) FROM MOVDEBIBANC WHERE CDREDUCONT = '007' AND NRMOVBANC = :movimento "
                   "AND CDCENTCUST IS NULL",
                   {{QStringLiteral("movimento"), movement}}),
            1);
    }
}

// An import whose rows meet two budgets in the order opposite to their keys, while another operator includes
// a debit of the second budget on another account of the same company: the include holds that budget and
// then wants the company's accounting numbers. An import that took the numbers before the second budget
// would wait for the include while the include waited for it, and PostgreSQL would fail one of the two.
// (On SQLite writers take turns, and nothing can cross.)
TEST_P(ImportTest, AnImportAndAnInsertionMeetingTheSameBudgetsBothWrite) {
    if (GetParam() == Backend::Sqlite)
        GTEST_SKIP() << "SQLite's writers take turns";
    // Budgets of types 0006 and 0001 for the demo's month, cost centre 0001 (branch 0101's).
    const auto budgetOf = [](const char *type) {
        return EntryRequest{.kind = 'D',
                            .date = demoDate,
                            .value = 1.0,
                            .type = QString::fromLatin1(type),
                            .description = QStringLiteral("Orçado")};
    };
    ASSERT_EQ(number("SELECT COUNT(*) FROM ORCATPDEBI WHERE CDEMPRESA = '01' AND CDCENTCUST = '0001' AND "
                     "CDTPDEBIBANC IN ('0001', '0006') AND NRANO = 2024 AND NRMES = 3"),
              2);
    const ImportLogs logs = logsOf({budgetOf("0006"), budgetOf("0001")});
    EntryRequest theirs = budgetOf("0001");
    theirs.account = QStringLiteral("002");
    theirs.description = QStringLiteral("Do outro operador");
    const Insertion included = insertion(*server, theirs, server->restrictedToken());

    // A third connection holds the include's budget until both calls wait for it, the include first.
    Sql &holder = sql();
    holder.begin(true);
    holder.scalar(
        QStringLiteral("SELECT VRORCADO FROM ORCATPDEBI WHERE CDEMPRESA = '01' AND CDCENTCUST = "
                       "'0001' AND CDTPDEBIBANC = '0001' AND NRANO = 2024 AND NRMES = 3 FOR UPDATE"));
    CallOutcome insertionOutcome, importOutcome;
    {
        std::jthread other([&] {
            insertionOutcome = server->callAs(server->restrictedToken(), included.method, included.args);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::jthread importing([&] { importOutcome = send("setInsertImportDeb", logs, logs.debits); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        holder.commit();
    }
    EXPECT_TRUE(insertionOutcome.ok()) << insertionOutcome.error.toStdString();
    ASSERT_TRUE(importOutcome.ok()) << importOutcome.error.toStdString();
    EXPECT_EQ(resultRows(importOutcome),
              QStringList{"OK 2 lançamento(s) de débito incluído(s); 0 já incluído(s) antes."});
    EXPECT_EQ(number("SELECT COUNT(*) FROM MOVDEBIBANC WHERE DSMOVIDEBI IN ('Orçado', 'Do outro operador')"),
              3);
}

// Two operators import the same file at once: each checked it before the other wrote anything, so the check
// pass found no row of it already there. The one that writes second skips every movement the first wrote,
// while two equal rows of the file itself are both written.
TEST_P(ImportTest, OfTwoImportsOfOneFileAtOnceOnlyTheFirstWritesItsRows) {
    EntryRequest twice = customerCredit;
    twice.document = QStringLiteral("NF-1");
    const std::vector<EntryRequest> file{credit, twice, twice};
    std::vector<ImportLogs> imports{logsOf(file), logsOf(file)};
    const QList<qint64> before = written();
    std::vector<CallOutcome> outcomes(imports.size());
    {
        std::vector<std::jthread> operators;
        for (size_t i = 0; i < imports.size(); ++i)
            operators.emplace_back(
                [&, i] { outcomes[i] = send("setInsertImportCred", imports[i], imports[i].credits); });
    }
    QStringList answers;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        ASSERT_TRUE(outcomes[i].ok()) << outcomes[i].error.toStdString();
        answers << resultRows(outcomes[i]).join(u'\n');
    }
    const size_t second = answers[0].startsWith(u"OK 3") ? 1 : 0;
    EXPECT_EQ(answers[1 - second],
              QStringLiteral("OK 3 lançamento(s) de crédito incluído(s); 0 já incluído(s) antes."));
    QStringList skipped{QStringLiteral("OK 0 lançamento(s) de crédito incluído(s); 3 já incluído(s) antes.")};
    for (int row = 0; row < 3; ++row)
        skipped << QStringLiteral("IGN Movimento %1 já incluído como movimento ")
                       .arg(imports[second].movements.value(row, u"NRMOVBANC").toText());
    const QStringList lines = answers[second].split(u'\n');
    ASSERT_EQ(lines.size(), skipped.size()) << answers[second].toStdString();
    EXPECT_EQ(lines[0], skipped[0]);
    for (int row = 1; row < skipped.size(); ++row)
        EXPECT_TRUE(lines[row].startsWith(skipped[row])) << lines[row].toStdString();
    const QList<qint64> after = written();
    EXPECT_EQ(after[0] - before[0], 3) << "the file's rows once, its two equal rows both";
    EXPECT_EQ(number("SELECT COUNT(*) FROM MOVBANCARIO WHERE NRDOCMBANC = 'NF-1'"), 2);

    // The same import sent a third time, one after the other, is skipped whole as well.
    const ImportLogs late = logsOf(file);
    const CallOutcome third = send("setInsertImportCred", late, late.credits);
    ASSERT_TRUE(third.ok()) << third.error.toStdString();
    EXPECT_TRUE(resultRows(third).at(0).startsWith(u"OK 0 ")) << resultRows(third).join(u'\n').toStdString();
    EXPECT_EQ(written(), after);
}

// A bank's day holds two equal fees. Another operator imports the day's file, holding one of them, after this
// operator checked the week's file, holding both: the week's import finds that one fee written and writes
// the other, since one stored movement stands for one row of a file.
TEST_P(ImportTest, OneMovementWrittenMeanwhileStandsForOneOfTwoEqualRowsOnly) {
    EntryRequest fee = customerCredit;
    fee.document = QStringLiteral("TAR-9");
    const ImportLogs week = logsOf({fee, fee});
    const ImportLogs day = logsOf({fee});
    ASSERT_TRUE(send("setInsertImportCred", day, day.credits).ok());
    const QString dayMovement = day.movements.value(0, u"NRMOVBANC").toText();

    const CallOutcome outcome = send("setInsertImportCred", week, week.credits);
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_EQ(resultRows(outcome),
              (QStringList{
                  QStringLiteral("OK 1 lançamento(s) de crédito incluído(s); 1 já incluído(s) antes."),
                  QStringLiteral("IGN Movimento %1 já incluído como movimento %2: não foi gravado de novo.")
                      .arg(week.movements.value(0, u"NRMOVBANC").toText(), dayMovement)}));
    EXPECT_EQ(number("SELECT COUNT(*) FROM MOVBANCARIO WHERE NRDOCMBANC = 'TAR-9'"), 2);
    EXPECT_EQ(number(QStringLiteral("SELECT COUNT(*) FROM MOVCREDBANC WHERE NRMOVBANC = '%1'")
                         .arg(week.movements.value(1, u"NRMOVBANC").toText())),
              1);
}

// A debit that reverses a credit of the same day, value, document and description repeats none: the credit
// another operator imported meanwhile leaves the debit to be written.
TEST_P(ImportTest, ACreditWrittenMeanwhileIsNoRepetitionOfTheDebitThatReversesIt) {
    EntryRequest original = credit;
    original.document = QStringLiteral("EST-1");
    EntryRequest reversal = original;
    reversal.kind = 'D';
    const ImportLogs debits = logsOf({reversal});
    const ImportLogs credits = logsOf({original});
    ASSERT_TRUE(send("setInsertImportCred", credits, credits.credits).ok());
    const CallOutcome outcome = send("setInsertImportDeb", debits, debits.debits);
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_EQ(resultRows(outcome),
              QStringList{"OK 1 lançamento(s) de débito incluído(s); 0 já incluído(s) antes."});
    EXPECT_EQ(number("SELECT COUNT(*) FROM MOVBANCARIO WHERE NRDOCMBANC = 'EST-1'"), 2);
}

// An import of more rows than one statement writes, the last of them written by statements of three sizes,
// over six weeks of two months, while another operator includes an entry of the same account between the
// check and the import: every row is written, the other entry stays as it was, and the day's and month's sums
// and the account's list version follow every movement.
TEST_P(ImportTest, ALongImportKeepsTheBooksInStepBesideAnotherOperatorsEntry) {
    constexpr int Rows = 523;
    std::vector<EntryRequest> file;
    for (int row = 0; row < Rows; ++row) {
        EntryRequest entry = credit;
        entry.value = 100.0 + row / 100.0;
        entry.date = QDate(2024, 3, 15).addDays(-(row % 42));
        file.push_back(entry);
    }
    const ImportLogs logs = logsOf(file);

    EntryRequest theirs = credit;
    theirs.value = 1.0;
    theirs.description = QStringLiteral("Do outro operador");
    const Insertion included = insertion(*server, theirs, server->restrictedToken());
    const CallOutcome other = server->callAs(server->restrictedToken(), included.method, included.args);
    ASSERT_TRUE(other.ok()) << other.error.toStdString();
    const QStringList theirFields = fieldsOf(theirs.movement);
    const auto version = [this] {
        return server->answer(QStringLiteral("GetVersaoLancamentos"), {QStringLiteral("001")})
            .toText()
            .toLongLong();
    };
    const qint64 versionBefore = version();
    const QList<qint64> before = written();

    const CallOutcome outcome = send("setInsertImportCred", logs, logs.credits);
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_EQ(
        resultRows(outcome),
        QStringList{
            QStringLiteral("OK %1 lançamento(s) de crédito incluído(s); 0 já incluído(s) antes.").arg(Rows)});
    const QList<qint64> after = written();
    EXPECT_EQ(after[0] - before[0], Rows);
    EXPECT_EQ(after[1] - before[1], Rows);
    EXPECT_EQ(fieldsOf(theirs.movement), theirFields);
    EXPECT_EQ(keptSums(sql(), false), sumsOfMovements(sql(), false));
    EXPECT_EQ(keptSums(sql(), true), sumsOfMovements(sql(), true));
    EXPECT_GT(version(), versionBefore);
}

// Another operator includes an entry of the same account after the file was checked; the import's undoing
// leaves that entry and its audit row as they were.
TEST_P(ImportTest, AnEntryThatCannotBeAccountedStopsTheCallAndIsNamed) {
    EntryRequest synthetic = credit;
    synthetic.type = QStringLiteral("0011");
    const ImportLogs logs = logsOf({credit, synthetic});
    EntryRequest theirs = credit;
    theirs.description = QStringLiteral("Do outro operador");
    const Insertion included = insertion(*server, theirs, server->restrictedToken());
    ASSERT_TRUE(server->callAs(server->restrictedToken(), included.method, included.args).ok());
    const QStringList theirFields = fieldsOf(theirs.movement);
    const QList<qint64> before = written();
    const CallOutcome outcome = send("setInsertImportCred", logs, logs.credits);
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_GT(outcome.result.array().at(3).packet().rowCount(), 0);
    const QString movement = logs.movements.value(1, u"NRMOVBANC").toText();
    EXPECT_EQ(resultRows(outcome),
              QStringList{QStringLiteral(
                              "CTB Movimento %1 da conta corrente 001: lançamento não pode ser contabilizado "
                              "(conta contábil "
                              "não aceita lançamentos).")
                              .arg(movement)});
    EXPECT_EQ(written(), before);
    // The first entry was written before the second failed and was undone with it: the call's audit row
    // names no account and no number.
    EXPECT_EQ(number("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'setInsertImportCred' AND "
                     "(CDREDUCONT IS NOT NULL OR DSNUMEROS IS NOT NULL)"),
              0);
    EXPECT_EQ(number("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'setInsertImportCred'"), 1);
    EXPECT_EQ(fieldsOf(theirs.movement), theirFields);
    EXPECT_EQ(number("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = :metodo AND CDREDUCONT = '001' AND "
                     "DSNUMEROS LIKE :numeros",
                     {{QStringLiteral("metodo"), included.method},
                      {QStringLiteral("numeros"), theirs.movement + QStringLiteral("%")}}),
              1);
}

// The credits were written, the debits answered accounting errors; once the accounting is mended the
// operator imports again and the form sends every record once more.
TEST_P(ImportTest, SendingTheImportAgainSkipsWhatTheFirstCallWrote) {
    const ImportLogs logs = logsOf({credit, debit, customerCredit});
    ASSERT_TRUE(send("setInsertImportCred", logs, logs.credits).ok());
    sql().execute(QStringLiteral("UPDATE CONTCTBL SET IDACEITALANC = 'N' WHERE CDCONTCTBL = '2110100000'"));
    const CallOutcome refused = send("setInsertImportDeb", logs, logs.debits);
    ASSERT_TRUE(refused.ok()) << refused.error.toStdString();
    EXPECT_GT(refused.result.array().at(3).packet().rowCount(), 0);
    sql().execute(QStringLiteral("UPDATE CONTCTBL SET IDACEITALANC = 'S' WHERE CDCONTCTBL = '2110100000'"));

    const QList<qint64> before = written();
    const CallOutcome again = send("setInsertImportCred", logs, logs.credits);
    ASSERT_TRUE(again.ok()) << again.error.toStdString();
    EXPECT_EQ(resultRows(again),
              (QStringList{"OK 0 lançamento(s) de crédito incluído(s); 2 já incluído(s) antes.",
                           QStringLiteral("IGN Movimento %1 já incluído: não foi gravado de novo.")
                               .arg(logs.movements.value(0, u"NRMOVBANC").toText()),
                           QStringLiteral("IGN Movimento %1 já incluído: não foi gravado de novo.")
                               .arg(logs.movements.value(2, u"NRMOVBANC").toText())}));
    EXPECT_EQ(written(), before) << "no movement is written twice";
    ASSERT_TRUE(send("setInsertImportDeb", logs, logs.debits).ok());
    EXPECT_EQ(written()[2] - before[2], 1);

    // A movement under that number that is not the entry sent is no reason to skip: the number is taken.
    DataPacket changed(logs.credits.fields());
    changed.appendRow(
        logs.credits.row(0).values.with(logs.credits.fieldIndex(u"VRMOVICRED"), FieldKind::Float, 1.0),
        RowState::Inserted);
    changed.appendRow(logs.credits.row(1).values, RowState::Inserted);
    DataPacket movements(logs.movements.fields());
    for (int row = 0; row < logs.movements.rowCount(); ++row)
        movements.appendRow(row == 0 ? logs.movements.row(row).values.with(
                                           logs.movements.fieldIndex(u"VRMOVBANC"), FieldKind::Float, 1.0)
                                     : logs.movements.row(row).values,
                            RowState::Inserted);
    const CallOutcome taken = server->callAs(server->demoToken(), QStringLiteral("setInsertImportCred"),
                                             {movements, changed, QStringLiteral("DEMO")});
    EXPECT_EQ(taken.status, CallOutcome::Status::Refused);
    EXPECT_TRUE(taken.error.contains(u"já foi usado")) << taken.error.toStdString();
}

// Another operator deletes an imported credit before the import is sent again (its answer was lost): the
// credit stays deleted, and the rest is found already there.
TEST_P(ImportTest, ACreditDeletedSinceItsImportIsNotWrittenAgainWhenTheImportIsSentAgain) {
    const ImportLogs logs = logsOf({credit, customerCredit});
    ASSERT_TRUE(send("setInsertImportCred", logs, logs.credits).ok());
    EntryRequest deleted = credit;
    deleted.movement = logs.movements.value(0, u"NRMOVBANC").toText();
    deleted.number = logs.credits.value(0, u"NRMOVICRED").toText();
    const QString accounting = sql()
                                   .scalar(QStringLiteral("SELECT NRLANCCONT FROM MOVCREDBANC WHERE "
                                                          "CDREDUCONT = '001' AND NRMOVICRED = :numero"),
                                           {{QStringLiteral("numero"), deleted.number}})
                                   ->toString();
    const CallOutcome deletion = server->callAs(server->restrictedToken(), QStringLiteral("GetDeletaLanc"),
                                                bco::testing::deletion(deleted, accounting));
    ASSERT_TRUE(deletion.ok()) << deletion.error.toStdString();

    const QList<qint64> before = written();
    const CallOutcome again = send("setInsertImportCred", logs, logs.credits);
    ASSERT_TRUE(again.ok()) << again.error.toStdString();
    EXPECT_EQ(resultRows(again),
              (QStringList{"OK 0 lançamento(s) de crédito incluído(s); 2 já incluído(s) antes.",
                           QStringLiteral("IGN Movimento %1 foi incluído e depois excluído: não foi gravado "
                                          "de novo.")
                               .arg(deleted.movement),
                           QStringLiteral("IGN Movimento %1 já incluído: não foi gravado de novo.")
                               .arg(logs.movements.value(1, u"NRMOVBANC").toText())}));
    EXPECT_EQ(written(), before);
}

INSTANTIATE_TEST_SUITE_P(Databases, ImportTest, ::testing::ValuesIn(availableBackends()), backendName);

} // namespace
} // namespace bco::server::testing
