#include <gtest/gtest.h>

#include <QSqlQuery>

#include "entries/tax_number_caret.h"
#include "entry_form_fixture.h"
#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "support/qt_printers.h"

using namespace bco;
using namespace bco::testing;

namespace {

// Changing and deleting entries of the demo data and of account 050, whose list covers the whole of the
// demo's history (200 days back).
class ChangingAndDeleting : public EntryForm {
protected:
    void SetUp() override {
        env.execute(QStringLiteral("UPDATE PARAMBCO SET QTDIAANTLANC = 200"));
        EntryForm::SetUp();
        env.context().loadScreen = [this](const QString &code, const Variant &parameters) {
            screens.push_back({code, parameters});
        };
        env.context().chequeSituation = [this](const QString &, const QString &, const QString &,
                                               const QString &cheque) {
            chequesAsked << cheque;
            return stopAtCheque;
        };
    }

    QString stored(const QString &sql) {
        QSqlQuery query(env.database());
        if (!query.exec(sql) || !query.next())
            return QString();
        return query.value(0).toString();
    }
    qint64 count(const QString &sql) { return stored(sql).toLongLong(); }

    // Puts the list on the movement `movement` of `account`.
    void goTo(const QString &account, const QString &movement) {
        if (text("medCdRedu") != account)
            chooseAccount(account);
        ASSERT_TRUE(list().Locate(QStringLiteral("NRMOVBANC"), movement)) << movement.toStdString();
    }
    // The first movement of the demo's accounts (not account 050) that meets `condition` (on M, the
    // movement).
    std::pair<QString, QString> movementWhere(const QString &condition) {
        const QString found =
            stored(QStringLiteral("SELECT M.CDREDUCONT || ' ' || M.NRMOVBANC FROM MOVBANCARIO M "
                                  "WHERE M.CDREDUCONT <> '050' AND %1 ORDER BY 1")
                       .arg(condition));
        EXPECT_FALSE(found.isEmpty()) << "the demo holds no movement where " << condition.toStdString();
        return {found.section(u' ', 0, 0), found.section(u' ', 1, 1)};
    }

    void click(const char *button) { control<QToolButton>(button)->click(); }

    std::vector<OpenedScreen> screens;
    QStringList chequesAsked;
    bool stopAtCheque = false;
};

TEST_F(ChangingAndDeleting, AChangedDescriptionIsRewrittenWithEverythingElseAsStored) {
    chooseAccount(listed.code);
    for (const char *entry : {"Crédito 1", "Débito 3"}) {
        SCOPED_TRACE(entry);
        ASSERT_TRUE(list().Locate(QStringLiteral("DSMOVICRED"), QString::fromUtf8(entry)));
        const QString movement = list().FieldByName(u"NRMOVBANC").AsString();
        const QString before =
            stored(QStringLiteral("SELECT DTMOVBANC || VRMOVBANC || COALESCE(NRDOCMBANC, '') FROM "
                                  "MOVBANCARIO WHERE CDREDUCONT = '050' AND NRMOVBANC = '%1'")
                       .arg(movement));
        click("sbtAlterar");
        ASSERT_TRUE(Cli_bco11100::boAltera);
        EXPECT_EQ(form->ActivePage(), form->tshFormulario);
        EXPECT_EQ(QApplication::focusWidget(), control("edtDsLancamento"));
        EXPECT_FALSE(control("nedLancamento")->isEnabled()) << "only the description is open";
        EXPECT_TRUE(control("edtDsLancamento")->isEnabled());
        control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Mudado"));
        click("sbtConfirmar");
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_FALSE(Cli_bco11100::boAltera);
        EXPECT_EQ(
            stored(QStringLiteral(
                       "SELECT DSHISMBANC FROM MOVBANCARIO WHERE CDREDUCONT = '050' AND NRMOVBANC = '%1'")
                       .arg(movement))
                .left(7),
            QStringLiteral("Mudado("));
        EXPECT_EQ(stored(QStringLiteral(
                             "SELECT DTMOVBANC || VRMOVBANC || COALESCE(NRDOCMBANC, '') FROM MOVBANCARIO "
                             "WHERE CDREDUCONT = '050' AND NRMOVBANC = '%1'")
                             .arg(movement)),
                  before)
            << "date, value and document as stored";
        EXPECT_EQ(list().FieldByName(u"DSMOVICRED").AsString(), QStringLiteral("Mudado"))
            << "the list shows it";
    }
}

// Each owner refuses a change and a deletion with its own message, names itself in the details and leaves the
// form browsing with nothing written.
TEST_F(ChangingAndDeleting, AnEntryAnotherProcessOwnsIsRefusedNamingTheOwner) {
    // Two movements of one statement line: reconciled together.
    const auto [account, movement] = movementWhere(QStringLiteral(
        "M.CDSEQUEXBA IS NOT NULL AND M.IDMOVBANC = 'C' AND M.NRSEQUENCIALEMP IS NULL AND "
        "M.NRCOMPENSACAO IS NULL AND M.NRMOVBANCORIG IS NULL AND M.DTMOVBANC >= '2023-10-01'"));
    const QString partner =
        stored(QStringLiteral("SELECT MIN(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '%1' AND "
                              "NRMOVBANC > '%2' AND CDSEQUEXBA IS NULL AND NRMOVBANCORIG IS NULL AND "
                              "NRSEQUENCIALEMP IS NULL AND NRCOMPENSACAO IS NULL")
                   .arg(account, movement));
    env.execute(QStringLiteral(
                    "UPDATE MOVBANCARIO SET (CDSEQUEXBA, NRSEQMOVREBA, IDSTCONEXT) = (SELECT CDSEQUEXBA, "
                    "NRSEQMOVREBA, '1' FROM MOVBANCARIO WHERE CDREDUCONT = '%1' AND NRMOVBANC = '%2') WHERE "
                    "CDREDUCONT = '%1' AND NRMOVBANC = '%3'")
                    .arg(account, movement, partner));
    struct Case {
        const char *name;
        QString where;
        QString changeMessage, deleteMessage; // an empty one: the operation is not refused by it
        QString owner;
    };
    const Case cases[] = {
        {"a loan's instalment", "M.NRSEQUENCIALEMP IS NOT NULL",
         "Operação bloqueada! Não é possível alterar lançamentos originados de empréstimo ou leasing.",
         "Operação bloqueada! Não é possível excluir lançamentos originados de empréstimo ou leasing.",
         "Empréstimo"},
        {"a compensation's movement", "M.NRCOMPENSACAO IS NOT NULL",
         "Lançamento ligado a uma compensação não pode ser alterado.",
         "Lançamento ligado a uma compensação não pode ser excluído.", "Compensação"},
        {"the credit of discounted slips",
         "EXISTS (SELECT 1 FROM BOLETODESC B JOIN MOVCREDBANC R ON R.CDREDUCONT = B.CDREDUCONT AND "
         "R.NRMOVICRED = "
         "B.NRMOVICRED WHERE R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANC = M.NRMOVBANC)",
         "Operação Bloqueada! Lançamento em conta corrente de um boleto descontado não pode ser modificado.",
         "Operação Bloqueada! Lançamento em conta corrente de um boleto descontado não pode ser modificado.",
         "Boleto descontado"},
        {"a movement reconciled with another",
         QStringLiteral("M.NRMOVBANC = '%1' AND M.CDREDUCONT = '%2'").arg(partner, account),
         "Alteração não permitida! Movimento bancário do lançamento foi conciliado junto com outros "
         "movimentos "
         "bancários.\n",
         "Exclusão não permitida! Movimento bancário do lançamento foi conciliado junto com outros "
         "movimentos "
         "bancários.\n",
         "junto com o(s) movimento(s) " + movement},
        {"a reversal of a reconciled movement",
         "EXISTS (SELECT 1 FROM MOVBANCARIO O WHERE O.CDREDUCONT = M.CDREDUCONT AND O.NRMOVBANC = "
         "M.NRMOVBANCORIG AND "
         "O.CDSEQUEXBA IS NOT NULL)",
         "Operação Bloqueada. A movimentação de origem deste estorno (a baixa a pagar) está conciliada.",
         "Operação Bloqueada. A movimentação de origem deste estorno (a baixa a pagar) está conciliada.",
         "Estorno do movimento"},
        {"a movement that settled a returned invoice",
         "EXISTS (SELECT 1 FROM NFDEVCLIUSO U WHERE U.CDREDUCONT = M.CDREDUCONT AND U.NRMOVBANC = "
         "M.NRMOVBANC)",
         "Nota fiscal de devolução não pode ser alterado.", "", "Nota fiscal de devolução"},
    };
    const qint64 movements = count(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto [entryAccount, entryMovement] = movementWhere(c.where);
        goTo(entryAccount, entryMovement);
        for (const auto &[button, message] :
             {std::pair{"sbtAlterar", c.changeMessage}, std::pair{"sbtExcluir", c.deleteMessage}}) {
            if (message.isEmpty())
                continue;
            env.dialogs.clearShown();
            click(button);
            ASSERT_EQ(env.dialogs.errors(), QStringList{message}) << button;
            EXPECT_TRUE(env.dialogs.shown().back().details.contains(c.owner))
                << env.dialogs.shown().back().details.toStdString();
            EXPECT_FALSE(Cli_bco11100::boAltera) << "the form stays browsing";
            EXPECT_EQ(toolBar().left(7), QStringLiteral("Incluir"));
        }
    }
    EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO")), movements);
}

// A reconciliation goes only with its entry, and the deletion's question says so; answered No, cancelled, or
// a change of the description (which the pairing does not stand on) leave it.
TEST_F(ChangingAndDeleting, AReconciliationStaysWhenTheOperatorAnswersNoCancelsOrChangesTheDescription) {
    const auto [account, movement] = movementWhere(QStringLiteral(
        "M.CDSEQUEXBA IS NOT NULL AND M.NRSEQUENCIALEMP IS NULL AND M.NRCOMPENSACAO IS NULL AND "
        "M.NRMOVBANCORIG IS NULL "
        "AND M.DTMOVBANC >= '2024-01-01' AND (SELECT COUNT(*) FROM MOVBANCARIO O WHERE O.CDREDUCONT = "
        "M.CDREDUCONT "
        "AND O.CDSEQUEXBA = M.CDSEQUEXBA AND O.NRSEQMOVREBA = M.NRSEQMOVREBA) = 1 AND NOT EXISTS (SELECT 1 "
        "FROM "
        "BOLETODESC B JOIN MOVCREDBANC R ON R.CDREDUCONT = B.CDREDUCONT AND R.NRMOVICRED = B.NRMOVICRED "
        "WHERE "
        "R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANC = M.NRMOVBANC) AND NOT EXISTS (SELECT 1 FROM "
        "MOVDEBIBANC D WHERE "
        "D.CDREDUCONT = M.CDREDUCONT AND D.NRMOVBANC = M.NRMOVBANC AND D.NRCHEQUE IS NOT NULL)"));
    const QString reconciled =
        QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '%1' AND NRMOVBANC = "
                       "'%2' AND CDSEQUEXBA IS NOT NULL")
            .arg(account, movement);
    goTo(account, movement);
    env.dialogs.answer(QStringLiteral("Excl"), MsgButton::No);
    click("sbtExcluir");
    EXPECT_EQ(count(reconciled), 1) << "No to the deletion";
    EXPECT_TRUE(
        env.dialogs.shown().back().details.contains(QStringLiteral("a exclusão desfaz a conciliação")))
        << env.dialogs.shown().back().details.toStdString();
    goTo(account, movement);
    click("sbtAlterar");
    ASSERT_TRUE(Cli_bco11100::boAltera);
    env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
    click("sbtCancelar");
    EXPECT_EQ(count(reconciled), 1) << "the change cancelled";
    env.execute(QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'A'"));
    goTo(account, movement);
    click("sbtAlterar");
    ASSERT_TRUE(Cli_bco11100::boAltera);
    control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Conciliado e mudado"));
    click("sbtConfirmar");
    EXPECT_FALSE(Cli_bco11100::boAltera);
    EXPECT_EQ(count(reconciled + QStringLiteral(" AND DSHISMBANC LIKE 'Conciliado e mudado%'")), 1)
        << "the description changed, the reconciliation kept";
    EXPECT_EQ(env.dialogs.errors(), QStringList());
}

// What a deletion gives back is said in the question that asks for it; answered No, all stays used.
TEST_F(ChangingAndDeleting, TheDeletionsQuestionNamesTheAdvancesAndReturnedInvoicesItGivesBack) {
    // Named, not bound: the lambda below captures them.
    const auto found = movementWhere(QStringLiteral(
        "M.CDSEQUEXBA IS NULL AND M.NRSEQUENCIALEMP IS NULL AND M.NRCOMPENSACAO IS NULL AND M.DTMOVBANC >= "
        "'2024-03-01' AND EXISTS (SELECT 1 FROM ADIANTCLIUSO U WHERE U.CDREDUCONT = M.CDREDUCONT AND "
        "U.NRMOVBANC = M.NRMOVBANC) AND EXISTS (SELECT 1 FROM NFDEVCLIUSO U WHERE U.CDREDUCONT = "
        "M.CDREDUCONT AND U.NRMOVBANC = M.NRMOVBANC)"));
    const QString &account = found.first, &movement = found.second;
    const auto uses = [&](std::initializer_list<const char *> tables) {
        qint64 total = 0;
        for (const char *table : tables)
            total +=
                count(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE CDREDUCONT = '%2' AND NRMOVBANC = '%3'")
                          .arg(QLatin1String(table), account, movement));
        return total;
    };
    const qint64 advances = uses({"ADIANTCLIUSO", "ADIANTFORUSO"});
    const qint64 returns = uses({"NFDEVCLIUSO", "NFDEVFORUSO"});
    goTo(account, movement);
    env.dialogs.clearShown();
    env.dialogs.answer(QStringLiteral("Excl"), MsgButton::No);
    click("sbtExcluir");
    ASSERT_EQ(env.dialogs.errors(), QStringList());
    const QString details = env.dialogs.shown().back().details;
    EXPECT_TRUE(details.contains(QStringLiteral("A exclusão devolve o que o lançamento usou")))
        << details.toStdString();
    EXPECT_EQ(details.count(QStringLiteral("Adiantamento ")), advances) << details.toStdString();
    EXPECT_EQ(details.count(QStringLiteral("Nota fiscal de devolução ")), returns) << details.toStdString();
    EXPECT_EQ(details.count(QStringLiteral(": o lançamento usou ")), advances + returns);
    EXPECT_EQ(uses({"ADIANTCLIUSO", "ADIANTFORUSO"}), advances);
    EXPECT_EQ(uses({"NFDEVCLIUSO", "NFDEVFORUSO"}), returns);
}

// The list after a deletion is the one the server would give, whether the form kept its own list less the
// entry (nothing else written) or had to load it again (another program wrote to the account meanwhile);
// either way it stands on the entry that followed.
TEST_F(ChangingAndDeleting, ADeletionRemovesTheEntryAndTheBalanceFollows) {
    for (const bool writtenElsewhere : {false, true}) {
        SCOPED_TRACE(writtenElsewhere ? "another program wrote meanwhile" : "nothing else written");
        chooseAccount(listed.code);
        const QString deleted = writtenElsewhere ? QStringLiteral("Crédito 5") : QStringLiteral("Crédito 4");
        ASSERT_TRUE(list().Locate(QStringLiteral("DSMOVICRED"), deleted));
        list().Next();
        const QString follower = list().FieldByName(u"NRMOVBANC").AsString();
        list().Locate(QStringLiteral("DSMOVICRED"), deleted);
        const int before = list().RecordCount();
        const double value = list().FieldByName(u"VRMOVICRED").AsFloat();
        const QString balanceBefore = control<TNumberEdit>("nedSaldo")->Text();
        if (writtenElsewhere)
            env.addEntries(
                {.account = listed.code, .count = 1, .firstDate = QDate(2024, 3, 2), .firstNumber = 700000});
        env.dialogs.answer(QStringLiteral("Excl"), MsgButton::Yes);
        click("sbtExcluir");
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(list().RecordCount(), before - 1 + (writtenElsewhere ? 1 : 0));
        EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), follower);
        EXPECT_FALSE(list().Locate(QStringLiteral("DSMOVICRED"), deleted));
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '050' AND "
                                       "DSMOVICRED = '%1'")
                            .arg(deleted)),
                  0);
        const DataPacket kept = list().Data();
        click("sbtVerificar");
        EXPECT_EQ(list().Data(), kept) << "the list is the server's";
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        const double balance = brazil.toDouble(balanceBefore.section(u' ', 0, 0));
        const double added =
            stored(QStringLiteral("SELECT SUM(CASE WHEN IDMOVBANC = 'C' THEN VRMOVBANC ELSE "
                                  "-VRMOVBANC END) FROM MOVBANCARIO WHERE CDREDUCONT = '050' "
                                  "AND NRMOVBANC >= '0000700000' AND NRMOVBANC < '0000800000'"))
                .toDouble() /
            100;
        EXPECT_EQ(control<TNumberEdit>("nedSaldo")->Text(),
                  brazil.toString(balance + added - value, 'f', 2) + QStringLiteral(" CR"));
        EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
    }
}

TEST_F(ChangingAndDeleting, TheChequeScreenOfADebitDecidesWhetherItIsDeleted) {
    const auto [account, movement] = movementWhere(
        QStringLiteral("EXISTS (SELECT 1 FROM MOVDEBIBANC D WHERE D.CDREDUCONT = M.CDREDUCONT AND "
                       "D.NRMOVBANC = M.NRMOVBANC AND "
                       "D.NRCHEQUE IS NOT NULL) AND M.CDSEQUEXBA IS NULL AND M.DTMOVBANC >= '2024-02-01'"));
    const QString exists =
        QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '%1' AND NRMOVBANC = '%2'")
            .arg(account, movement);
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "the screen stops it" : "the screen lets it go");
        stopAtCheque = stop;
        goTo(account, movement);
        env.dialogs.answer(QStringLiteral("Excl"), MsgButton::Yes);
        click("sbtExcluir");
        EXPECT_EQ(chequesAsked.size(), 1);
        chequesAsked.clear();
        EXPECT_EQ(count(exists), stop ? 1 : 0);
        EXPECT_EQ(form->ActivePage(), form->tshFolhaDados) << "refreshed either way";
    }
}

// The cheque screen decides: a cheque it printed (recording its number through the server, as the host's
// does) sends the debit again carrying it; no cheque, nothing sent; a lost printer restarts the system.
TEST_F(ChangingAndDeleting, AChequeEmittedForADebitSendsTheDebitAgainWithItsNumber) {
    enum class Screen { Prints, PrintsNothing, LosesThePrinter };
    const struct Case {
        const char *name;
        Screen screen;
        QString cheque;
        int resent;
    } cases[] = {
        {"a cheque printed", Screen::Prints, QStringLiteral("000777"), 1},
        {"the screen closed without printing", Screen::PrintsNothing, QString(), 0},
        {"the printer is gone", Screen::LosesThePrinter, QString(), 0},
    };
    chooseAccount(listed.code);
    const QString resent = QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'getAlterDebito'");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const qint64 resentBefore = count(resent);
        std::vector<ChequeRequest> requests;
        QString restartedWith;
        env.context().emitCheque = [&](const ChequeRequest &request) {
            requests.push_back(request);
            if (c.screen == Screen::LosesThePrinter) {
                Lib00900::boErroCriatela = true;
                throw std::runtime_error("A impressora sumiu.");
            }
            if (c.screen == Screen::Prints) {
                NetConnection server;
                Ondrima::PrepareConnection(server);
                ASSERT_TRUE(server
                                .Call(QStringLiteral("SetEmiteCheque"),
                                      VariantList{request.account, request.debit, c.cheque, request.date,
                                                  request.value, QStringLiteral("Favorecido")})
                                .ok());
            }
        };
        env.context().restartHost = [&](const QString &message) {
            restartedWith = message;
            throw Consiste::EAbort();
        };
        const QString debit =
            c.screen == Screen::Prints ? QStringLiteral("Débito 3") : QStringLiteral("Débito 6");
        ASSERT_TRUE(list().Locate(QStringLiteral("DSMOVICRED"), debit));
        const QString number = list().FieldByName(u"NUMERO").AsString();
        const int entries = list().RecordCount();
        env.dialogs.clearShown();
        ASSERT_TRUE(control<QToolButton>("sbtEmitirCheque")->isEnabled());
        click("sbtEmitirCheque");

        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].account, listed.code);
        EXPECT_EQ(requests[0].debit, number);
        EXPECT_EQ(requests[0].origin, QStringLiteral("L"));
        EXPECT_EQ(requests[0].cheque, QString());
        EXPECT_EQ(count(resent), resentBefore + c.resent) << "the debit sent again, or not";
        EXPECT_EQ(list().RecordCount(), entries) << "the entry is listed once";
        EXPECT_EQ(list().FieldByName(u"NUMERO").AsString(), number) << "the list stays on the entry";
        EXPECT_EQ(list().FieldByName(u"NRCHEQUE").AsString(), c.cheque);
        if (c.screen == Screen::LosesThePrinter) {
            EXPECT_EQ(
                env.dialogs.texts(),
                QStringList{QStringLiteral(
                    "Impressora foi desinstalada, o sistema será fechado para aplicação das alterações.")});
            EXPECT_EQ(restartedWith, QStringLiteral("Sistema Finalizado."));
        } else {
            EXPECT_EQ(env.dialogs.texts(), QStringList()) << "no question about the entry itself";
            EXPECT_EQ(restartedWith, QString());
        }
    }
}

// A change of the description keeps the accounting as it was posted, even when today's rules would not post
// it (its ledger account closed to entries since): only the accounting's history takes the new description.
TEST_F(ChangingAndDeleting, AChangedDescriptionKeepsThePostedAccounting) {
    const auto [account, movement] = movementWhere(QStringLiteral(
        "M.DTMOVBANC >= '2024-02-01' AND M.CDSEQUEXBA IS NULL AND M.NRSEQUENCIALEMP IS NULL AND "
        "M.NRCOMPENSACAO IS NULL AND M.NRMOVBANCORIG IS NULL AND EXISTS (SELECT 1 FROM MOVCREDBANC R WHERE "
        "R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANC = M.NRMOVBANC AND R.NRLANCCONT IS NOT NULL) AND NOT "
        "EXISTS "
        "(SELECT 1 FROM BOLETODESC B JOIN MOVCREDBANC R ON R.CDREDUCONT = B.CDREDUCONT AND R.NRMOVICRED = "
        "B.NRMOVICRED WHERE R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANC = M.NRMOVBANC) AND NOT EXISTS "
        "(SELECT 1 "
        "FROM NFDEVCLIUSO U WHERE U.CDREDUCONT = M.CDREDUCONT AND U.NRMOVBANC = M.NRMOVBANC)"));
    const QString number = stored(
        QStringLiteral("SELECT NRLANCCONT FROM MOVCREDBANC WHERE CDREDUCONT = '%1' AND NRMOVBANC = '%2'")
            .arg(account, movement));
    const QString posted =
        QStringLiteral("SELECT GROUP_CONCAT(NRSEQCTB || CDCONTCTBL || IDDEBCRED || VRLANCCTB || "
                       "COALESCE(CDLANCCTBCOME, '') || (SELECT GROUP_CONCAT(CDFILIAL || "
                       "COALESCE(CDCENTCUST, '') || VRLANCCUST, '/') FROM RATEIOCTB R WHERE "
                       "R.NRLANCCONT = I.NRLANCCONT AND R.NRSEQCTB = I.NRSEQCTB), ';') FROM LANCCONTITEM "
                       "I WHERE NRLANCCONT = '%1'")
            .arg(number);
    const QString before = stored(posted);
    ASSERT_FALSE(before.isEmpty());
    env.execute(QStringLiteral("UPDATE CONTCTBL SET IDACEITALANC = 'N'"));
    goTo(account, movement);
    click("sbtAlterar");
    control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Nova descrição"));
    click("sbtConfirmar");
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_TRUE(screens.empty()) << "nothing to show on the accounting screen";
    EXPECT_FALSE(Cli_bco11100::boAltera);
    EXPECT_EQ(stored(posted), before) << "lines and apportionment as posted";
    EXPECT_TRUE(stored(QStringLiteral("SELECT DSHISTCTB FROM LANCCONT WHERE NRLANCCONT = '%1'").arg(number))
                    .endsWith(QStringLiteral("Nova descrição")));
}

TEST_F(ChangingAndDeleting, TheAccountingButtonOpensTheAccountingOfTheCurrentEntry) {
    const auto [account, movement] = movementWhere(QStringLiteral(
        "EXISTS (SELECT 1 FROM MOVCREDBANC R WHERE R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANC = "
        "M.NRMOVBANC AND R.NRLANCCONT IS NOT NULL) AND M.DTMOVBANC >= '2024-02-01'"));
    goTo(account, movement);
    control<QAction>("mnuContab")->trigger();
    ASSERT_EQ(screens.size(), 1u);
    const VariantList &handed = screens[0].parameters.array();
    ASSERT_EQ(handed.size(), 5u);
    EXPECT_EQ(handed[0].toText(), list().FieldByName(u"CDEMPRESA").AsString());
    EXPECT_EQ(handed[1].toText(), list().FieldByName(u"NRLANCCONT").AsString());
    EXPECT_FALSE(handed[1].toText().isEmpty());
    for (size_t i = 2; i < 5; ++i)
        EXPECT_TRUE(handed[i].isNull()) << "sets never loaded go as they are";
}

TEST(TaxNumberMaskSwitch, KeepsTheCaretAndTheSelectionOnTheSameDigits) {
    struct Case {
        const char *name;
        QString shown;
        int start, length, newStart, newLength;
    };
    const Case cases[] = {
        {"before the sixth digit, after two points", "12.345.678/0001-95", 7, 0, 5, 0},
        {"a point, three digits, the slash and a digit", "12.345.678/0001-95", 6, 6, 5, 4},
        {"the caret at the start", "12.345.678/0001-95", 0, 0, 0, 0},
        {"a selection of literals only", "123.456.789-09", 11, 1, 9, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int length = c.length;
        Cli_bco11100::CalculaNovoTamanhoSel(c.shown.mid(c.start, c.length), length);
        EXPECT_EQ(Cli_bco11100::CalculaRecuoSelecao(c.shown, c.start), c.newStart);
        EXPECT_EQ(length, c.newLength);
    }
}

TEST_F(ChangingAndDeleting, TypingOverAMaskedTaxNumberEditsItsPlainDigits) {
    chooseAccount(listed.code);
    click("sbtIncluir");
    const QString customer =
        stored(QStringLiteral("SELECT NRINSJURCLIE FROM CLIENTE WHERE IDTPIJURCLIE = 'J' ORDER BY 1"));
    auto *field = control<TMaskEdit>("medInsClie");
    field->setFocus();
    QTest::keyClicks(field, customer);
    control("edtDsLancamento")->setFocus();
    ASSERT_TRUE(field->HasMask());
    field->setFocus();
    field->SetSelStart(7);
    field->SetSelLength(0);
    QTest::keyClick(field, Qt::Key_Delete);
    EXPECT_FALSE(field->HasMask());
    EXPECT_EQ(field->Text(), customer.left(5) + customer.mid(6)) << "the sixth digit went";
    EXPECT_EQ(text("edtNmClie"), QString()) << "the name belonged to the old number";
}

} // namespace
