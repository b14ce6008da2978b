#include <gtest/gtest.h>

#include <QRegularExpression>

#include "server_test_support.h"
#include "support/qt_printers.h"

namespace bco::server::testing {
namespace {

// An entry of the demo data as the entry list shows it.
struct Listed {
    QString kind; // "C" or "D"
    QString account, movement, number, company, type, description, accounting, statement, line, origin;
    QDate date;
    qint64 cents = 0;
    QString branch, typedBranch, costCentre, financialClass, customer, supplier;

    EntryRequest request() const {
        return {.kind = kind.at(0).toLatin1(),
                .account = account,
                .company = company,
                .date = date,
                .value = cents / 100.0,
                .type = type,
                .branch = branch,
                .typedBranch = typedBranch,
                .costCentre = costCentre,
                .description = description,
                .customer = customer,
                .supplier = supplier,
                .movement = movement,
                .number = number};
    }
};

// Changing and deleting entries of the demo data, on every database of the suite.
class ChangeDeletionTest : public DemoServerTest {
protected:
    // The first entry (by account and movement) whose movement M and record R meet `condition`.
    Listed find(const QString &condition) {
        Listed found;
        for (const char *kind : {"C", "D"}) {
            const bool credit = kind[0] == 'C';
            const QString sqlText =
                QStringLiteral(
                    "SELECT R.CDREDUCONT, R.NRMOVBANC, R.%1, R.CDEMPRESA, R.%2, R.%3, R.NRLANCCONT, "
                    "M.CDSEQUEXBA, M.NRSEQMOVREBA, M.NRMOVBANCORIG, R.%4, R.%5, R.CDFILIAL, R.%8, "
                    "R.CDCENTCUST, R.CDCLASSFINA, R.CDCLIENTE, R.CDFORNECED FROM %6 R JOIN MOVBANCARIO M "
                    "ON M.CDREDUCONT = R.CDREDUCONT AND M.NRMOVBANC = R.NRMOVBANC WHERE %7 "
                    "ORDER BY R.CDREDUCONT, R.NRMOVBANC")
                    .arg(credit ? "NRMOVICRED" : "NRMOVIDEBI", credit ? "CDTPCREDBANC" : "CDTPDEBIBANC",
                         credit ? "DSMOVICRED" : "DSMOVIDEBI", credit ? "DTMOVICRED" : "DTMOVIDEBI",
                         credit ? "VRMOVICRED" : "VRMOVIDEBI", credit ? "MOVCREDBANC" : "MOVDEBIBANC",
                         condition, credit ? "CDFILILANCRE" : "CDFILILANDEB");
            // Credits only may name a discounted slip, by their own number.
            if (!credit && condition.contains(u"NRMOVICRED"))
                continue;
            sql().forEach(sqlText, {}, [&](const SqlRow &row) {
                if (!found.account.isEmpty())
                    return;
                found = {QString::fromLatin1(kind),
                         row.text(0),
                         row.text(1),
                         row.text(2),
                         row.text(3),
                         row.text(4),
                         row.text(5),
                         row.text(6),
                         row.text(7),
                         row.text(8),
                         row.text(9),
                         row.date(10),
                         row.integer(11),
                         row.text(12),
                         row.text(13),
                         row.text(14),
                         row.text(15),
                         row.text(16),
                         row.text(17)};
            });
            if (!found.account.isEmpty())
                break;
        }
        EXPECT_FALSE(found.account.isEmpty()) << "the demo holds no entry where " << condition.toStdString();
        return found;
    }

    // An entry owned by nothing, accounted, in the open period.
    Listed plain(const char *kind = "C") {
        const bool credit = kind[0] == 'C';
        QString condition = QStringLiteral("M.IDMOVBANC = '%1' AND R.NRLANCCONT IS NOT NULL AND R.CDCENTCUST "
                                           "IS NOT NULL AND M.CDSEQUEXBA IS NULL AND "
                                           "M.NRSEQUENCIALEMP IS NULL AND M.NRCOMPENSACAO IS NULL AND "
                                           "M.NRMOVBANCORIG IS NULL AND M.DTMOVBANC >= "
                                           "'2024-03-01' AND NOT EXISTS (SELECT 1 FROM MOVBANCARIO O WHERE "
                                           "O.CDREDUCONT = M.CDREDUCONT AND "
                                           "O.NRMOVBANCORIG = M.NRMOVBANC) AND NOT EXISTS (SELECT 1 FROM "
                                           "NFDEVCLIUSO U WHERE U.CDREDUCONT = "
                                           "M.CDREDUCONT AND U.NRMOVBANC = M.NRMOVBANC)")
                                .arg(QString::fromLatin1(kind));
        if (credit)
            condition += QStringLiteral(
                " AND NOT EXISTS (SELECT 1 FROM BOLETODESC B WHERE B.CDREDUCONT = M.CDREDUCONT "
                "AND B.NRMOVICRED = R.NRMOVICRED)");
        return find(condition);
    }

    // Includes `entry` through the server, drawing its numbers into it; whether it was written.
    bool include(EntryRequest &entry) {
        const Insertion call = insertion(*server, entry);
        const Variant answer = server->answer(call.method, call.args);
        return answer.isArray() && field(answer.array().at(0).packet(), 0, "CDRESULT").toText() == u"OK";
    }

    static Insertion change(const Listed &entry, const QString &description) {
        return bco::testing::change(entry.request(), description);
    }
    static VariantList deletion(const Listed &entry) {
        return bco::testing::deletion(entry.request(), entry.accounting, entry.statement, entry.line);
    }

    // What a change or a deletion may write, so that a refusal can be shown to have written nothing.
    QList<qint64> written() {
        QList<qint64> counts;
        for (const char *table : {"MOVBANCARIO", "MOVCREDBANC", "MOVDEBIBANC", "LANCCONT", "LANCCONTITEM",
                                  "RATEIOCTB", "ADIANTCLIUSO", "NFDEVCLIUSO"})
            counts.append(number(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QString::fromLatin1(table))));
        counts.append(number(QStringLiteral("SELECT SUM(VRCREDITO - VRDEBITO) FROM SALDODIARIO")));
        counts.append(
            number(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDSEQUEXBA IS NOT NULL")));
        counts.append(number(QStringLiteral("SELECT SUM(LENGTH(DSHISMBANC)) FROM MOVBANCARIO")));
        return counts;
    }

    // Every account's balance on the demo's day is its opening plus its movements.
    void expectBalancesFollowTheMovements() {
        QStringList accounts;
        sql().forEach(QStringLiteral("SELECT CDREDUCONT FROM CONTCORR ORDER BY 1"), {},
                      [&](const SqlRow &row) { accounts << row.text(0); });
        for (const QString &account : accounts) {
            const qint64 expected = number(
                QStringLiteral(
                    "SELECT C.VRSALDINIC + COALESCE((SELECT SUM(CASE WHEN M.IDMOVBANC = 'C' THEN "
                    "M.VRMOVBANC ELSE -M.VRMOVBANC END) FROM MOVBANCARIO M WHERE M.CDREDUCONT = "
                    "C.CDREDUCONT AND M.DTMOVBANC <= '2024-12-31'), 0) FROM CONTCORR C WHERE C.CDREDUCONT "
                    "= :conta"),
                {{QStringLiteral("conta"), account}});
            const double balance =
                server->answer(QStringLiteral("getSaldoDia"), {account, QDate(2024, 12, 31)}).toFloat();
            EXPECT_EQ(qRound64(balance * 100), expected) << account.toStdString();
        }
    }

    static QString key(const Variant &result) {
        const DataPacket rows = result.array().at(0).packet();
        return rows.rowCount() == 0 ? QString() : field(rows, 0, "DSRESULT").toText();
    }
    static QStringList details(const Variant &result) {
        QStringList found;
        const DataPacket rows = result.array().at(0).packet();
        for (int row = 0; row < rows.rowCount(); ++row) {
            if (field(rows, row, "CDRESULT").toText() == u"DET")
                found << field(rows, row, "DSRESULT").toText();
        }
        return found;
    }
};

TEST_P(ChangeDeletionTest, AChangeRewritesTheMovementTheRecordAndTheAccountingUnderTheSameNumber) {
    for (const char *kind : {"C", "D"}) {
        SCOPED_TRACE(kind);
        const Listed entry = plain(kind);
        const Insertion call = change(entry, QStringLiteral("Descrição mudada"));
        const Variant answer = server->answer(call.method, call.args);
        EXPECT_EQ(answer.array().at(0).packet().rowCount(), 0) << "no row: nothing refused";
        const SqlParams movement{{QStringLiteral("conta"), entry.account},
                                 {QStringLiteral("movimento"), entry.movement}};
        const bool credit = kind[0] == 'C';
        const QString typeName = sql()
                                     .scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = :tipo")
                                                 .arg(credit ? "DSTPCREDBANC" : "DSTPDEBIBANC",
                                                      credit ? "TPCREDBANC" : "TPDEBIBANC",
                                                      credit ? "CDTPCREDBANC" : "CDTPDEBIBANC"),
                                             {{QStringLiteral("tipo"), entry.type}})
                                     ->toString();
        EXPECT_EQ(
            sql()
                .scalar(QStringLiteral(
                            "SELECT DSHISMBANC FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND NRMOVBANC "
                            "= :movimento"),
                        movement)
                ->toString(),
            (QStringLiteral("Descrição mudada(") + typeName + u')').left(40))
            << "the type's name as the catalogue has it, whatever the call says";
        const QString table = kind[0] == 'C' ? QStringLiteral("MOVCREDBANC") : QStringLiteral("MOVDEBIBANC");
        EXPECT_EQ(
            sql()
                .scalar(QStringLiteral("SELECT NRLANCCONT FROM %1 WHERE CDREDUCONT = :conta AND NRMOVBANC = "
                                       ":movimento")
                            .arg(table),
                        movement)
                ->toString(),
            entry.accounting)
            << "the accounting entry keeps its number";
        const SqlParams accounting{{QStringLiteral("numero"), entry.accounting}};
        EXPECT_EQ(number("SELECT COUNT(*) FROM LANCCONTITEM WHERE NRLANCCONT = :numero", accounting), 2);
        EXPECT_EQ(number("SELECT SUM(VRLANCCUST) FROM RATEIOCTB WHERE NRLANCCONT = :numero", accounting),
                  entry.cents);
        EXPECT_EQ(answer.array().at(1).packet().rowCount(), 2) << "the accounting preview";
    }
    expectBalancesFollowTheMovements();
}

TEST_P(ChangeDeletionTest, AnEntryAnotherProcessOwnsIsRefusedByItsKeyNamingTheOwnerAndNothingIsWritten) {
    struct Case {
        const char *name;
        QString where;
        QString changeKey, deleteKey;
        QString detail; // a text the details hold
    };
    const Case cases[] = {
        {"a loan's instalment", "M.NRSEQUENCIALEMP IS NOT NULL", "LancEmprAlt", "LancEmpr",
         "Empréstimo 0000000001"},
        {"a compensation's movement", "M.NRCOMPENSACAO IS NOT NULL", "AltLancComp", "ExcLancComp",
         "Compensação"},
        {"the credit of discounted slips",
         "EXISTS (SELECT 1 FROM BOLETODESC B WHERE B.CDREDUCONT = R.CDREDUCONT AND B.NRMOVICRED = "
         "R.NRMOVICRED)",
         "Oper_blo", "Oper_blo", "Boleto descontado"},
        {"a movement reconciled with others",
         "(SELECT COUNT(*) FROM MOVBANCARIO O WHERE O.CDREDUCONT = M.CDREDUCONT AND O.CDSEQUEXBA = "
         "M.CDSEQUEXBA AND "
         "O.NRSEQMOVREBA = M.NRSEQMOVREBA) > 1",
         "Alt_Nao_Permitida", "Excl_Nao_Permitida", "junto com o(s) movimento(s)"},
        {"a reversal of a reconciled movement",
         "EXISTS (SELECT 1 FROM MOVBANCARIO O WHERE O.CDREDUCONT = M.CDREDUCONT AND O.NRMOVBANC = "
         "M.NRMOVBANCORIG AND "
         "O.CDSEQUEXBA IS NOT NULL)",
         "MovBancOrig_Conc", "MovBancOrig_Conc", "Estorno do movimento"},
        {"a movement that settled a returned invoice",
         "EXISTS (SELECT 1 FROM NFDEVCLIUSO U WHERE U.CDREDUCONT = M.CDREDUCONT AND U.NRMOVBANC = "
         "M.NRMOVBANC)",
         "Devo_NAlter", "", "Nota fiscal de devolução"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Listed entry = find(c.where);
        const QList<qint64> before = written();
        const Insertion call = change(entry, QStringLiteral("Forjado"));
        const Variant changed = server->answer(call.method, call.args);
        EXPECT_EQ(key(changed), c.changeKey);
        ASSERT_FALSE(details(changed).isEmpty());
        EXPECT_TRUE(details(changed).join(u'\n').contains(c.detail))
            << details(changed).join(u'\n').toStdString();
        EXPECT_EQ(written(), before);
        if (c.deleteKey.isEmpty())
            continue;
        const Variant deleted = server->answer(QStringLiteral("GetDeletaLanc"), deletion(entry));
        EXPECT_EQ(key(deleted), c.deleteKey);
        EXPECT_EQ(written(), before);
    }
}

TEST_P(ChangeDeletionTest, ADeletionRemovesExactlyTheEntrysRowsAndGivesBackWhatItSettled) {
    const Listed entry =
        find(QStringLiteral("M.CDSEQUEXBA IS NULL AND M.NRSEQUENCIALEMP IS NULL AND M.NRCOMPENSACAO IS NULL "
                            "AND M.NRMOVBANCORIG IS NULL "
                            "AND R.NRLANCCONT IS NOT NULL AND M.DTMOVBANC >= '2024-02-01' AND EXISTS (SELECT "
                            "1 FROM ADIANTCLIUSO U "
                            "WHERE U.CDREDUCONT = M.CDREDUCONT AND U.NRMOVBANC = M.NRMOVBANC)"));
    const SqlParams movement{{QStringLiteral("conta"), entry.account},
                             {QStringLiteral("movimento"), entry.movement}};
    const qint64 uses = number(
        "SELECT COUNT(*) FROM ADIANTCLIUSO WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento", movement);
    const qint64 supplierUses = number(
        "SELECT COUNT(*) FROM ADIANTFORUSO WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento", movement);
    ASSERT_GT(uses, 0);
    // What the deletion gives back is what the form's question names.
    const DataPacket links = server
                                 ->answer(QStringLiteral("GetVinculosLanc"),
                                          {entry.account, entry.movement, entry.kind, entry.number})
                                 .packet();
    qint64 advances = 0;
    for (int row = 0; row < links.rowCount(); ++row)
        if (links.value(row, u"CDVINCULO").toText() == u"ADIANTAMENTO") {
            ++advances;
            // Named by number, sequence and instalment, which tell two instalments of one advance apart.
            const QString named = links.value(row, u"DSVINCULO").toText();
            EXPECT_TRUE(
                QRegularExpression(QStringLiteral("^Adiantamento \\d+/\\d+/\\d+ da filial \\d+, de "
                                                  "\\d\\d/\\d\\d/\\d{4}: o lançamento usou [\\d.,]+\\.$"))
                    .match(named)
                    .hasMatch())
                << named.toStdString();
        }
    EXPECT_EQ(advances, uses + supplierUses);
    const QList<qint64> before = written();
    const QString versionBefore =
        server->answer(QStringLiteral("GetVersaoLancamentos"), {entry.account}).toText();
    VariantList args = deletion(entry);
    const CallOutcome outcome = server->call(QStringLiteral("GetDeletaLanc"), args);
    ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
    EXPECT_EQ(key(outcome.result), QString());
    ASSERT_EQ(outcome.result.array().size(), 3u);
    EXPECT_EQ(outcome.result.array()[1].toText(), versionBefore) << "the list version before the deletion";
    EXPECT_EQ(outcome.result.array()[2].toText(),
              server->answer(QStringLiteral("GetVersaoLancamentos"), {entry.account}).toText());
    EXPECT_GT(outcome.result.array()[2].toText().toLongLong(), versionBefore.toLongLong());
    const QList<qint64> after = written();
    EXPECT_EQ(after[0], before[0] - 1) << "the movement";
    EXPECT_EQ(after[1] + after[2], before[1] + before[2] - 1) << "its record";
    EXPECT_EQ(after[3], before[3] - 1) << "its accounting entry";
    EXPECT_EQ(after[4], before[4] - 2) << "the two lines of it";
    EXPECT_EQ(after[6], before[6] - uses) << "the advances it settled are available again";
    EXPECT_EQ(number("SELECT COUNT(*) FROM LANCCONT WHERE NRLANCCONT = :numero",
                     {{QStringLiteral("numero"), entry.accounting}}),
              0);
    for (size_t i = 12; i < 20; ++i)
        EXPECT_EQ(outcome.args[i], args[i]) << "the filter's value " << i << " comes back as sent";
    expectBalancesFollowTheMovements();
}

// Whoever writes an account's entries (this server or another program on the database) raises that
// account's list version and no other; what writes no entry raises none.
TEST_P(ChangeDeletionTest, EveryWriteOfAnAccountsEntriesRaisesItsListVersionWhoeverWritesIt) {
    const Listed credit = plain("C");
    const Listed debit = plain("D");
    const auto writeAs = [this](const QString &statement, const Listed &entry) {
        return [this, statement, entry] {
            sql().execute(statement, {{QStringLiteral("conta"), entry.account},
                                      {QStringLiteral("movimento"), entry.movement}});
        };
    };
    const struct Case {
        const char *name;
        std::function<void()> write;
        QString account;
        bool raises;
    } cases[] = {
        {"a movement's history changed",
         writeAs(QStringLiteral("UPDATE MOVBANCARIO SET DSHISMBANC = 'outro' WHERE CDREDUCONT = :conta AND "
                                "NRMOVBANC = :movimento"),
                 credit),
         credit.account, true},
        {"a credit rewritten by another module",
         writeAs(
             QStringLiteral("UPDATE MOVCREDBANC SET CDCLASSFINA = CDCLASSFINA WHERE CDREDUCONT = :conta AND "
                            "NRMOVBANC = :movimento"),
             credit),
         credit.account, true},
        {"a debit deleted by another program",
         writeAs(
             QStringLiteral("DELETE FROM MOVDEBIBANC WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento"),
             debit),
         debit.account, true},
        {"movements inserted by another program, many in one statement",
         writeAs(
             QStringLiteral("INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, "
                            "VRMOVBANC, IDORIGMBANC) SELECT CDREDUCONT, '9' || SUBSTR(NRMOVBANC, 2), "
                            "DTMOVBANC, IDMOVBANC, VRMOVBANC, 'C' FROM MOVBANCARIO WHERE CDREDUCONT = :conta "
                            "AND NRMOVBANC <> :movimento"),
             credit),
         credit.account, true},
        {"an entry included through this server",
         [this] {
             EntryRequest entry;
             const Insertion call = insertion(*server, entry);
             server->answer(call.method, call.args);
         },
         QStringLiteral("001"), true},
        {"a number drawn",
         [this] {
             server->answer(QStringLiteral("getPrxMovBancario"), {"001", "1"});
         },
         QStringLiteral("001"), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QMap<QString, QString> before;
        for (const char *account : {"001", "002", "003", "004"})
            before[QString::fromLatin1(account)] =
                server->answer(QStringLiteral("GetVersaoLancamentos"), {account}).toText();
        ASSERT_TRUE(before.contains(c.account)) << c.account.toStdString();
        c.write();
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            const qint64 now =
                server->answer(QStringLiteral("GetVersaoLancamentos"), {it.key()}).toText().toLongLong();
            if (c.raises && it.key() == c.account)
                EXPECT_GT(now, it.value().toLongLong()) << it.key().toStdString();
            else
                EXPECT_EQ(now, it.value().toLongLong()) << it.key().toStdString();
        }
    }
}

// Others may pass a budget after a debit was written (the demo's history does): sending that debit again
// (a new description, its cheque) takes no more of it and goes through.
TEST_P(ChangeDeletionTest, ADebitOfAPassedBudgetMayStillChangeItsDescription) {
    // The demo leaves company 01's taxes on cost centre 0001 50.00 short of this month's budget.
    EntryRequest debit{.kind = 'D', .value = 50.00, .type = "0006", .costCentre = "0001"};
    const Insertion included = insertion(*server, debit);
    server->answer(included.method, included.args);
    sql().execute(
        QStringLiteral("UPDATE ORCATPDEBI SET VRORCADO = VRORCADO - 1 WHERE CDEMPRESA = '01' AND "
                       "CDTPDEBIBANC = '0006' AND CDCENTCUST = '0001' AND NRANO = 2024 AND NRMES = 3"));
    const Insertion described = bco::testing::change(debit, QStringLiteral("Impostos de março"));
    EXPECT_EQ(key(server->answer(described.method, described.args)), QString());
}

// The rows of an entry: its movement, its record, its cheques, its accounting entry with its lines and
// shares, each row without the fields named in `changing`.
QStringList rowsOfEntry(Sql &sql, const EntryRequest &entry, const QString &accounting,
                        const QStringList &changing = {}) {
    const bool credit = entry.kind == 'C';
    const SqlParams key{{QStringLiteral("conta"), entry.account},
                        {QStringLiteral("movimento"), entry.movement},
                        {QStringLiteral("numero"), entry.number},
                        {QStringLiteral("contabil"), accounting}};
    QStringList rows;
    for (const QString &query :
         {QStringLiteral("SELECT * FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento"),
          QStringLiteral("SELECT * FROM %1 WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento")
              .arg(credit ? "MOVCREDBANC" : "MOVDEBIBANC"),
          credit ? QStringLiteral("SELECT * FROM CHEQUE WHERE 1 = 0")
                 : QStringLiteral("SELECT * FROM CHEQUE WHERE CDREDUCONT = :conta AND NRMOVIDEBI = :numero"),
          QStringLiteral("SELECT * FROM LANCCONT WHERE NRLANCCONT = :contabil"),
          QStringLiteral("SELECT * FROM LANCCONTITEM WHERE NRLANCCONT = :contabil ORDER BY NRSEQCTB"),
          QStringLiteral(
              "SELECT * FROM RATEIOCTB WHERE NRLANCCONT = :contabil ORDER BY NRSEQCTB, NRSEQRAT")}) {
        for (const QString &row : rowsOf(sql, query, key)) {
            QStringList fields = row.split(u'|');
            fields.removeIf([&](const QString &f) { return changing.contains(f.section(u'=', 0, 0)); });
            rows.append(fields.join(u'|'));
        }
    }
    return rows;
}

// The forms open only the description of a stored entry; the cheque screen sends the debit again. Whatever
// else the call carries, only the description and what follows from it are written.
TEST_P(ChangeDeletionTest, AChangeWritesTheDescriptionAndKeepsEverythingElseToTheField) {
    struct Case {
        const char *name;
        EntryRequest entry;
        QString typeName; // as the catalogue has it
        bool cheque;
    };
    const Case cases[] = {
        {"a customer's credit of a typed branch",
         {.kind = 'C',
          .type = "0002",
          .typedBranch = "0101",
          .costCentre = "0002",
          .document = "DOC-C",
          .customer = "CLI0003"},
         "Recebimento de cliente",
         false},
        {"a supplier's debit apportioned over two branches, with its cheque",
         {.kind = 'D',
          .type = "0001",
          .typedBranch = "0101",
          .costCentre = "0005",
          .document = "DOC-D",
          .supplier = "FOR0001"},
         "Tarifa bancária",
         true},
    };
    const QStringList changing{"DSHISMBANC", "NRVERSAO", "DSMOVICRED", "DSMOVIDEBI", "DSHISTCTB"};
    // Budgets are not what this is about.
    sql().execute(QStringLiteral("DELETE FROM ORCATPDEBI"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EntryRequest entry = c.entry;
        ASSERT_TRUE(include(entry));
        if (c.cheque) {
            ASSERT_TRUE(server
                            ->call(QStringLiteral("SetEmiteCheque"), {entry.account, entry.number, "4321",
                                                                      entry.date, entry.value, "Papelaria"})
                            .ok());
        }
        const QString accounting =
            sql()
                .scalar(
                    QStringLiteral("SELECT NRLANCCONT FROM %1 WHERE CDREDUCONT = :conta AND NRMOVBANC = :m")
                        .arg(entry.kind == 'C' ? "MOVCREDBANC" : "MOVDEBIBANC"),
                    {{QStringLiteral("conta"), entry.account}, {QStringLiteral("m"), entry.movement}})
                ->toString();
        ASSERT_FALSE(accounting.isEmpty());
        const QStringList before = rowsOfEntry(sql(), entry, accounting, changing);
        ASSERT_GE(before.size(), 5);
        // The type's standard history changes after the entry was posted: the posted one stays.
        const QString posted =
            sql()
                .scalar(
                    QStringLiteral("SELECT H.DSHISTPADR FROM LANCCONT L JOIN HISTPADR H ON H.CDHISTPADR = "
                                   "L.CDHISTPADR WHERE L.NRLANCCONT = :n"),
                    {{QStringLiteral("n"), accounting}})
                ->toString();
        sql().execute(QStringLiteral("UPDATE %1 SET CDHISTPADR = (SELECT MAX(CDHISTPADR) FROM HISTPADR WHERE "
                                     "DSHISTPADR <> :posted) WHERE %2 = :tipo")
                          .arg(entry.kind == 'C' ? "TPCREDBANC" : "TPDEBIBANC",
                               entry.kind == 'C' ? "CDTPCREDBANC" : "CDTPDEBIBANC"),
                      {{QStringLiteral("posted"), posted}, {QStringLiteral("tipo"), entry.type}});

        // The form's copy of everything else, all of it different: none of it may be written.
        EntryRequest sent = entry;
        sent.branch = sent.typedBranch = QStringLiteral("0102");
        sent.costCentre = QStringLiteral("0004");
        std::swap(sent.customer, sent.supplier);
        sent.document = QStringLiteral("OUTRO");
        sent.typeName = QStringLiteral("Nome que o cliente mostra");
        const Insertion call = bco::testing::change(sent, QStringLiteral("Só a descrição muda"));
        const CallOutcome outcome = server->call(call.method, call.args);
        ASSERT_TRUE(outcome.ok()) << outcome.error.toStdString();
        EXPECT_EQ(key(outcome.result), QString());

        EXPECT_EQ(differences(before, rowsOfEntry(sql(), entry, accounting, changing)), QStringList());
        const QStringList after = rowsOfEntry(sql(), entry, accounting);
        EXPECT_TRUE(after[0].contains(QStringLiteral("DSHISMBANC=") +
                                      (QStringLiteral("Só a descrição muda(") + c.typeName + u')').left(40) +
                                      u'|'))
            << after[0].toStdString();
        EXPECT_TRUE(after[1].contains(u"=Só a descrição muda|")) << after[1].toStdString();
        EXPECT_TRUE(after.join(u'\n').contains(QStringLiteral("DSHISTCTB=") + posted))
            << "the accounting history follows it";
        EXPECT_TRUE(after.join(u'\n').contains(u"Só a descrição muda")) << after.join(u'\n').toStdString();
    }
}

TEST_P(ChangeDeletionTest, AChangeOfTheDateValueOrTypeIsRefusedAndWritesNothing) {
    EntryRequest credit{.kind = 'C'};
    ASSERT_TRUE(include(credit));
    EntryRequest debit{.kind = 'D', .type = "0002", .supplier = "FOR0001"};
    ASSERT_TRUE(include(debit));
    const struct Case {
        const char *name;
        const EntryRequest &entry;
        size_t position;
        Variant shown;
    } cases[] = {
        {"another date shown", credit, 4, credit.date.addDays(1)},
        {"another value shown", credit, 6, credit.value + 0.01},
        {"another type", credit, 11, "0004"},
        {"another date in one of the places the debit repeats it", debit, 19, debit.date.addDays(-1)},
        {"another value in one of the places the debit repeats it", debit, 25, debit.value * 2},
        {"another type of debit", debit, 8, "0001"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Insertion call = bco::testing::change(c.entry, QStringLiteral("Mudou também outra coisa"));
        call.args[c.position] = c.shown;
        const QList<qint64> before = written();
        const QStringList entryBefore = rowsOfEntry(sql(), c.entry, QString());
        const CallOutcome outcome = server->call(call.method, call.args);
        EXPECT_EQ(outcome.status, CallOutcome::Status::Refused);
        EXPECT_EQ(outcome.error, QStringLiteral("Só a descrição de um lançamento pode ser alterada."));
        EXPECT_EQ(written(), before);
        EXPECT_EQ(differences(entryBefore, rowsOfEntry(sql(), c.entry, QString())), QStringList());
    }
    // Nor is a description longer than its field cut to fit and answered as written, nor one emptied taken.
    const QList<qint64> before = written();
    const struct {
        QString description;
        const char *refusal;
    } descriptions[] = {
        {QString(41, u'x'), "A descrição do lançamento passa de 40 caracteres."},
        {QStringLiteral("   "), "Descrição deve ser informada."},
        {QStringLiteral("troca\r\nde linha"),
         "A descrição não pode ter quebras de linha, tabulações ou outros caracteres de controle."}};
    for (const auto &d : descriptions) {
        const Insertion call = bco::testing::change(credit, d.description);
        EXPECT_EQ(server->call(call.method, call.args).error, QString::fromUtf8(d.refusal));
    }
    EXPECT_EQ(written(), before);
}

// A day the forms refuse before they call, one the blocked-date rule closes or one outside the company's open
// accounting period, is refused by the server too, whatever writes on it and whether its entry is accounted
// or not; an operator the rule releases writes on a blocked day.
TEST_P(ChangeDeletionTest, AWriteOnADayTheFormsRefuseIsRefusedAndWritesNothing) {
    const Listed credit = plain();
    const Listed debit = find(QStringLiteral(
        "M.IDMOVBANC = 'D' AND R.NRCHEQUE IS NULL AND M.CDSEQUEXBA IS NULL AND M.NRSEQUENCIALEMP IS NULL AND "
        "M.NRCOMPENSACAO IS NULL AND M.DTMOVBANC >= '2024-03-01'"));
    const QString blocked =
        QStringLiteral("Operação bloqueada! Data deve ser maior ou igual a data de processamento.");
    const QString closed = QStringLiteral("Data do lançamento fora do período contábil.");
    const QString blockEveryDay = QStringLiteral("UPDATE PARAMGERAL SET DTBLOQATE = '2024-12-31'");
    const QString closeEveryPeriod = QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'F'");
    using Write = std::function<CallOutcome()>;
    const Write changeIt = [&] {
        const Insertion call = change(credit, QStringLiteral("Descrição nova"));
        return server->call(call.method, call.args);
    };
    const Write deleteIt = [&] {
        return server->call(QStringLiteral("GetDeletaLanc"), deletion(credit));
    };
    const Write chequeIt = [&] {
        return server->call(QStringLiteral("SetEmiteCheque"),
                            {debit.account, debit.number, QStringLiteral("777001"), debit.date,
                             debit.cents / 100.0, QStringLiteral("Favorecido")});
    };
    const Write includeUnaccounted = [&] {
        EntryRequest entry{.kind = 'C', .date = QDate(2024, 3, 14), .type = QStringLiteral("0005")};
        const Insertion call = insertion(*server, entry);
        return server->call(call.method, call.args);
    };
    struct Case {
        const char *name;
        QString day;
        const Write &write;
        QString error;
    } cases[] = {
        {"a change on a blocked day", blockEveryDay, changeIt, blocked},
        {"a deletion on a blocked day", blockEveryDay, deleteIt, blocked},
        {"a cheque on a blocked day", blockEveryDay, chequeIt, blocked},
        {"an include of an unaccounted type on a blocked day", blockEveryDay, includeUnaccounted, blocked},
        {"a change outside the period", closeEveryPeriod, changeIt, closed},
        {"a deletion outside the period", closeEveryPeriod, deleteIt, closed},
        {"a cheque outside the period", closeEveryPeriod, chequeIt, closed},
        {"an include of an unaccounted type outside the period", closeEveryPeriod, includeUnaccounted,
         closed},
    };
    const QString cheques = QStringLiteral("SELECT COUNT(*) FROM CHEQUE");
    const QVariant blockedUpTo =
        sql()
            .scalar(QStringLiteral("SELECT DTBLOQATE FROM PARAMGERAL WHERE TRIM(CDMODULO) = 'BCO_'"))
            .value();
    QList<std::pair<QString, QDate>> openPeriods;
    sql().forEach(QStringLiteral("SELECT CDEMPRESA, DTINIPERI FROM PERIODOCTB WHERE IDSITUPERI = 'A'"), {},
                  [&](const SqlRow &row) {
                      openPeriods.append({row.text(0), row.date(1)});
                  });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sql().execute(c.day);
        const QList<qint64> before = written();
        const qint64 chequesBefore = number(cheques);
        EXPECT_EQ(c.write().error, c.error);
        EXPECT_EQ(written(), before);
        EXPECT_EQ(number(cheques), chequesBefore);
        sql().execute(QStringLiteral("UPDATE PARAMGERAL SET DTBLOQATE = :dia WHERE TRIM(CDMODULO) = 'BCO_'"),
                      {{QStringLiteral("dia"), blockedUpTo}});
        for (const auto &[company, start] : openPeriods)
            sql().execute(
                QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'A' WHERE CDEMPRESA = :empresa AND "
                               "DTINIPERI = :inicio"),
                {{QStringLiteral("empresa"), company}, {QStringLiteral("inicio"), start}});
    }
    sql().execute(blockEveryDay);
    sql().execute(QStringLiteral("UPDATE OPERADOR SET IDLIBBLOQ = 'S' WHERE CDOPERADOR = 'DEMO'"));
    const CallOutcome released = changeIt();
    EXPECT_TRUE(released.ok()) << released.error.toStdString();
}

TEST_P(ChangeDeletionTest, ChangingOrDeletingAnEntryByADateValueOrCompanyItDoesNotHoldIsRefused) {
    Listed entry = plain();
    entry.cents += 1;
    const QString message = QStringLiteral(
        "A data e o valor enviados não são os do lançamento gravado: nada foi gravado. Atualize a lista e "
        "tente de novo.");
    const Insertion call = change(entry, QStringLiteral("Tarde demais"));
    EXPECT_EQ(server->call(call.method, call.args).error, message);
    EXPECT_EQ(server->call(QStringLiteral("GetDeletaLanc"), deletion(entry)).error, message);

    // Nor by another company than its account's, which a change refuses alike.
    entry.cents -= 1;
    const QString company = entry.company;
    entry.company = company == u"02" ? QStringLiteral("01") : QStringLiteral("02");
    const QList<qint64> before = written();
    const QString wrongCompany =
        QStringLiteral("A empresa do %1 deve ser a da conta corrente (%2).")
            .arg(entry.kind == u"C" ? QStringLiteral("crédito") : QStringLiteral("débito"), company);
    EXPECT_EQ(server->call(QStringLiteral("GetDeletaLanc"), deletion(entry)).error, wrongCompany);
    const Insertion wrong = change(entry, QStringLiteral("Outra empresa"));
    EXPECT_EQ(server->call(wrong.method, wrong.args).error, wrongCompany);
    EXPECT_EQ(written(), before);
}

// A movement the account never held (never drawn, or drawn and never written) was deleted by no one, whatever
// version the call names.
TEST_P(ChangeDeletionTest, ChangingOrDeletingAMovementTheAccountNeverHeldIsNotFound) {
    Listed entry = plain();
    entry.movement = QStringLiteral("9999999990");
    const QString message = QStringLiteral("Lançamento não encontrado: movimento 9999999990");
    Insertion call = change(entry, QStringLiteral("Nunca houve"));
    call.args.push_back(QStringLiteral("1"));
    VariantList deleting = deletion(entry);
    deleting.push_back(QStringLiteral("1"));
    const QList<qint64> before = written();
    for (const CallOutcome &outcome :
         {server->call(call.method, call.args), server->call(QStringLiteral("GetDeletaLanc"), deleting)})
        EXPECT_TRUE(outcome.error.startsWith(message)) << outcome.error.toStdString();
    EXPECT_EQ(written(), before);
}

// The pairing stands on the date, value and document, which a change does not touch: undoing it would undo
// what the operator did not ask to undo.
TEST_P(ChangeDeletionTest, AChangeKeepsTheReconciliationOfAMovementReconciledAloneAndTheChecksWriteNothing) {
    const Listed entry = find(QStringLiteral("M.CDSEQUEXBA IS NOT NULL AND M.NRSEQUENCIALEMP IS NULL AND "
                                             "M.NRCOMPENSACAO IS NULL AND M.NRMOVBANCORIG IS "
                                             "NULL AND M.DTMOVBANC >= '2024-01-01' AND R.NRLANCCONT IS NULL "
                                             "AND (SELECT COUNT(*) FROM MOVBANCARIO O WHERE "
                                             "O.CDREDUCONT = M.CDREDUCONT AND O.CDSEQUEXBA = M.CDSEQUEXBA "
                                             "AND O.NRSEQMOVREBA = M.NRSEQMOVREBA) = 1"));
    const DataPacket searched =
        server->answer(QStringLiteral("GetPesqConciliacao"), {entry.account, entry.line, entry.statement, ""})
            .array()[1]
            .packet();
    EXPECT_EQ(field(searched, 0, "QTCONCILIADO").toFloat(), 0.0) << "no other movement on its line";
    const QList<qint64> before = written();
    server->answer(QStringLiteral("GetAltMoviReal"), {entry.account, entry.line, entry.statement});
    server->answer(QStringLiteral("GetDelMovBanc"), {entry.account, entry.movement});
    EXPECT_EQ(written(), before) << "the checks release nothing";

    const Insertion call = change(entry, QStringLiteral("Conciliado e mudado"));
    server->answer(call.method, call.args);
    EXPECT_EQ(
        number("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND NRMOVBANC = :movimento AND "
               "CDSEQUEXBA = :extrato AND NRSEQMOVREBA = :linha AND IDSTCONEXT = '1' AND DSHISMBANC LIKE "
               "'Conciliado e mudado%'",
               {{QStringLiteral("conta"), entry.account},
                {QStringLiteral("movimento"), entry.movement},
                {QStringLiteral("extrato"), entry.statement},
                {QStringLiteral("linha"), entry.line}}),
        1)
        << "the confirmed change keeps it";
}

TEST_P(ChangeDeletionTest, TheReconciliationSearchAnswersTheOriginsReconciliationAndTheSharedCount) {
    const Listed shared = find(QStringLiteral("(SELECT COUNT(*) FROM MOVBANCARIO O WHERE O.CDREDUCONT = "
                                              "M.CDREDUCONT AND O.CDSEQUEXBA = M.CDSEQUEXBA AND "
                                              "O.NRSEQMOVREBA = M.NRSEQMOVREBA) > 1"));
    const VariantList found = server
                                  ->answer(QStringLiteral("GetPesqConciliacao"),
                                           {shared.account, shared.line, shared.statement, ""})
                                  .array();
    EXPECT_EQ(found[0].packet().rowCount(), 0) << "no origin asked";
    EXPECT_GE(field(found[1].packet(), 0, "QTCONCILIADO").toFloat(), 1.0);
    EXPECT_EQ(server->call(QStringLiteral("GetAltMoviReal"), {shared.account, shared.line, shared.statement})
                  .status,
              CallOutcome::Status::Refused);

    const Listed reversal = find(QStringLiteral("EXISTS (SELECT 1 FROM MOVBANCARIO O WHERE O.CDREDUCONT = "
                                                "M.CDREDUCONT AND O.NRMOVBANC = M.NRMOVBANCORIG AND "
                                                "O.CDSEQUEXBA IS NOT NULL)"));
    const DataPacket origin =
        server->answer(QStringLiteral("GetPesqConciliacao"), {reversal.account, "", "", reversal.origin})
            .array()[0]
            .packet();
    ASSERT_EQ(origin.rowCount(), 1);
    EXPECT_FALSE(field(origin, 0, "CDSEQUEXBA").toText().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Databases, ChangeDeletionTest, ::testing::ValuesIn(availableBackends()),
                         backendName);

} // namespace
} // namespace bco::server::testing
