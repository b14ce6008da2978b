// What the entry form writes while another operator works on the same account through the server: between
// the list the operator sees and what the operator does, the other one deletes, changes, or records a cheque,
// and the database is read back field by field.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "entry_form_fixture.h"
#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/ui/db_navigator.h"
#include "support/qt_printers.h"
#include "support/scripted_file_dialogs.h"
#include "support/second_operator.h"

using namespace bco;
using namespace bco::testing;

namespace {

const QString notListed = QStringLiteral("O lançamento escolhido não está mais na lista: foi excluído ou "
                                         "alterado por outro operador. Nada foi feito.");
const QString notChosen = QStringLiteral(
    "O lançamento marcado na lista ficou no lugar do escolhido, que não está mais nela: nada foi feito. "
    "Escolha na lista (com o mouse ou as setas) o lançamento em que quer agir e repita a operação.");
const QString changedMeanwhile = QStringLiteral(
    "O lançamento escolhido foi gravado por outro operador (alterado, conciliado, com a conciliação desfeita "
    "ou com um cheque emitido). Confira-o na lista atualizada e repita a operação.");

class SecondOperatorAtWork : public EntryForm {
protected:
    explicit SecondOperatorAtWork(FormTestOptions options = {})
        : EntryForm(std::move(options)) {}

    void SetUp() override {
        // The list covers the demo's whole history.
        env.execute(QStringLiteral("UPDATE PARAMBCO SET QTDIAANTLANC = 200"));
        // The demo's older entries are not closed to the operator.
        env.execute(QStringLiteral("UPDATE PARAMGERAL SET IDBLOQDATA = 'N'"));
        EntryForm::SetUp();
        other = std::make_unique<SecondOperator>(env.server());
        env.context().loadScreen = [](const QString &code, const Variant &parameters) {
            ADD_FAILURE() << "the screen " << code.toStdString() << " opened: "
                          << parameters.array().at(4).packet().value(0, u"CDERROTEMP").toText().toStdString();
        };
        env.context().restartHost = [](const QString &message) {
            ADD_FAILURE() << "the system restarts: " << message.toStdString();
            throw Consiste::EAbort();
        };
        env.context().chequeSituation = [](const QString &, const QString &, const QString &,
                                           const QString &) {
            return false;
        };
        // The host's cheque screen: records the cheque on the debit through the server, carrying what the
        // form listed, then prints it.
        env.context().emitCheque = [this](const ChequeRequest &request) {
            chequeRequests.push_back(request);
            if (beforeRecording)
                beforeRecording();
            NetConnection server;
            Ondrima::PrepareConnection(server);
            VariantList args{request.account, request.debit, QStringLiteral("000555"),
                             request.date,    request.value, QStringLiteral("Favorecido")};
            if (!request.entryVersion.isEmpty())
                args.push_back(request.entryVersion);
            const RemoteResult answer = server.Call(QStringLiteral("SetEmiteCheque"), args);
            if (!answer.ok())
                chequeRefusals << answer.errorMessage();
        };
    }

    void click(const char *button) { control<QToolButton>(button)->click(); }

    // Every row of a query, one line each ("COLUMN=value;..."), without the columns named in `ignored`.
    QString rows(const QString &sql, const QStringList &ignored = {}) const {
        QSqlQuery query(env.database());
        if (!query.exec(sql))
            ADD_FAILURE() << sql.toStdString();
        QStringList lines;
        while (query.next()) {
            QStringList fields;
            const QSqlRecord record = query.record();
            for (int i = 0; i < record.count(); ++i) {
                if (!ignored.contains(record.fieldName(i), Qt::CaseInsensitive))
                    fields << record.fieldName(i).toUpper() + u'=' + query.value(i).toString();
            }
            lines << fields.join(u';');
        }
        return lines.join(u'\n');
    }
    QString value(const QString &sql) const { return env.value(sql).toString(); }

    // Everything stored of an entry: its movement, its record, its cheques, its accounting lines and their
    // apportionment, the advances and returns it settled.
    QString storedEntry(const QString &account, const QString &movement,
                        const QStringList &ignored = {}) const {
        const QString key = QStringLiteral("CDREDUCONT = '%1' AND NRMOVBANC = '%2'").arg(account, movement);
        const QString accounting =
            QStringLiteral("(SELECT NRLANCCONT FROM MOVCREDBANC WHERE %1 UNION SELECT NRLANCCONT FROM "
                           "MOVDEBIBANC WHERE %1)")
                .arg(key);
        QStringList parts;
        parts << rows(QStringLiteral("SELECT * FROM MOVBANCARIO WHERE %1").arg(key), ignored)
              << rows(QStringLiteral("SELECT * FROM MOVCREDBANC WHERE %1").arg(key), ignored)
              << rows(QStringLiteral("SELECT * FROM MOVDEBIBANC WHERE %1").arg(key), ignored)
              << rows(QStringLiteral(
                          "SELECT C.* FROM CHEQUE C JOIN MOVDEBIBANC D ON D.CDREDUCONT = C.CDREDUCONT "
                          "AND D.NRMOVIDEBI = C.NRMOVIDEBI WHERE D.%1 ORDER BY C.NRCHEQUE")
                          .arg(key),
                      ignored)
              << rows(QStringLiteral("SELECT * FROM LANCCONTITEM WHERE NRLANCCONT IN %1 ORDER BY NRSEQCTB")
                          .arg(accounting),
                      ignored)
              << rows(QStringLiteral(
                          "SELECT * FROM RATEIOCTB WHERE NRLANCCONT IN %1 ORDER BY NRSEQCTB, NRSEQRAT")
                          .arg(accounting),
                      ignored);
        for (const char *uses : {"ADIANTCLIUSO", "ADIANTFORUSO", "NFDEVCLIUSO", "NFDEVFORUSO"})
            parts << rows(
                QStringLiteral("SELECT * FROM %1 WHERE %2 ORDER BY 1, 2").arg(QLatin1String(uses), key),
                ignored);
        return parts.join(QStringLiteral("\n--\n"));
    }
    // Every movement, record and cheque of an account, with their accounting.
    QString storedAccount(const QString &account) const {
        QStringList entries;
        QSqlQuery query(env.database());
        query.exec(QStringLiteral("SELECT NRMOVBANC FROM MOVBANCARIO WHERE CDREDUCONT = '%1' ORDER BY 1")
                       .arg(account));
        while (query.next())
            entries << storedEntry(account, query.value(0).toString());
        return entries.join(QStringLiteral("\n==\n"));
    }

    // Puts the list on the entry of account 050 with that description and answers its movement.
    QString standOn(const QString &description) {
        if (text("medCdRedu") != listed.code)
            chooseAccount(listed.code);
        EXPECT_TRUE(list().Locate(QStringLiteral("DSMOVICRED"), description)) << description.toStdString();
        return list().FieldByName(u"NRMOVBANC").AsString();
    }
    // A movement of the demo's accounts (not 050) that meets `condition` on M, its movement, and is free of
    // what owns entries (but for a reconciliation when `reconciled`); the list is put on it.
    QString standOnDemo(const QString &condition, QString &account, bool reconciled = false) {
        const QString found = value(
            QStringLiteral(
                "SELECT M.CDREDUCONT || ' ' || M.NRMOVBANC FROM MOVBANCARIO M WHERE M.CDREDUCONT <> '050' "
                "AND M.CDSEQUEXBA IS %2 AND M.NRSEQUENCIALEMP IS NULL AND M.NRCOMPENSACAO IS NULL AND "
                "M.NRMOVBANCORIG IS NULL AND M.DTMOVBANC >= '2023-09-01' AND NOT EXISTS (SELECT 1 FROM "
                "MOVBANCARIO R WHERE R.CDREDUCONT = M.CDREDUCONT AND R.NRMOVBANCORIG = M.NRMOVBANC) AND %1 "
                "ORDER BY 1")
                .arg(condition, reconciled ? QStringLiteral("NOT NULL") : QStringLiteral("NULL")));
        EXPECT_FALSE(found.isEmpty()) << "the demo holds no movement where " << condition.toStdString();
        account = found.section(u' ', 0, 0);
        const QString movement = found.section(u' ', 1, 1);
        if (text("medCdRedu") != account)
            chooseAccount(account);
        EXPECT_TRUE(list().Locate(QStringLiteral("NRMOVBANC"), movement)) << movement.toStdString();
        return movement;
    }

    bool browsing() const { return !Cli_bco11100::boAltera && !Cli_bco11100::boInclusao; }

    // The other operator includes `entry` through the server, its numbers drawn anew; answers its movement.
    QString includeAsTheOther(EntryRequest entry) {
        entry.movement.clear();
        entry.number.clear();
        const Insertion call = insertion(entry, [this](const QString &method, const QString &account) {
            return other->call(method, {account, QStringLiteral("1")}).toText();
        });
        other->call(call.method, call.args);
        return entry.movement;
    }
    // The other operator includes a copy of the stored entry, another description given or not.
    QString includeCopyAsTheOther(const QString &movement, const QString &description = QString()) {
        EntryRequest copy = other->entry(listed.code, movement);
        if (!description.isEmpty())
            copy.description = description;
        return includeAsTheOther(copy);
    }

    std::unique_ptr<SecondOperator> other;
    std::vector<ChequeRequest> chequeRequests;
    QStringList chequeRefusals;
    std::function<void()> beforeRecording;
};

// The list the operator acts from is stale: another operator deleted or changed the entry since it was
// listed. Whatever the operator presses, the form finds the entry again or says why not, and nothing else is
// asked or written: not the entry that now stands in its place, not the changed entry.
TEST_F(SecondOperatorAtWork, AnEntryDeletedOrChangedSinceItWasListedIsNamedAndNothingIsDone) {
    enum class Meanwhile { Deletes, Changes };
    struct Case {
        const char *name;
        const char *button;
        QString entry;
        Meanwhile meanwhile;
    };
    const Case cases[] = {
        {"deleting an entry the other deleted", "sbtExcluir", QStringLiteral("Crédito 1"),
         Meanwhile::Deletes},
        {"deleting an entry the other changed", "sbtExcluir", QStringLiteral("Crédito 2"),
         Meanwhile::Changes},
        {"changing an entry the other deleted", "sbtAlterar", QStringLiteral("Crédito 4"),
         Meanwhile::Deletes},
        {"changing an entry the other changed", "sbtAlterar", QStringLiteral("Crédito 5"),
         Meanwhile::Changes},
        {"a cheque for a debit the other deleted", "sbtEmitirCheque", QStringLiteral("Débito 3"),
         Meanwhile::Deletes},
        {"a cheque for a debit the other changed", "sbtEmitirCheque", QStringLiteral("Débito 6"),
         Meanwhile::Changes},
        {"the accounting of an entry the other deleted", "sbtContab", QStringLiteral("Crédito 7"),
         Meanwhile::Deletes},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString movement = standOn(c.entry);
        const int row = list().RecNo();
        if (c.meanwhile == Meanwhile::Deletes)
            other->deleteEntry(listed.code, movement);
        else
            other->changeDescription(listed.code, movement, QStringLiteral("Mudado pelo outro"));
        const QString afterTheOther = storedAccount(listed.code);
        env.dialogs.clearShown();
        chequeRequests.clear();
        // An earlier cheque screen lost its printer: this refusal is not that, and restarts nothing.
        Lib00900::boErroCriatela = true;

        click(c.button);

        ASSERT_EQ(env.dialogs.errors(),
                  QStringList{c.meanwhile == Meanwhile::Deletes ? notListed : changedMeanwhile});
        EXPECT_TRUE(env.dialogs.shown().back().details.contains(c.entry))
            << "the details name the entry: " << env.dialogs.shown().back().details.toStdString();
        EXPECT_EQ(env.dialogs.shown().size(), 1u) << "nothing is asked";
        EXPECT_TRUE(chequeRequests.empty()) << "no cheque screen";
        EXPECT_EQ(storedAccount(listed.code), afterTheOther) << "nothing written";
        EXPECT_TRUE(browsing());
        EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
        const double balance =
            other->call(QStringLiteral("getSaldoDia"), VariantList{listed.code, env.options().processingDate})
                .toFloat();
        EXPECT_EQ(control<TNumberEdit>("nedSaldo")->Value(), std::abs(balance))
            << "the balance the books hold";
        if (c.meanwhile == Meanwhile::Deletes) {
            EXPECT_FALSE(list().Locate(QStringLiteral("NRMOVBANC"), movement)) << "the list is the server's";
            EXPECT_EQ(list().RecNo(), std::min(row, list().RecordCount())) << "where the operator was";
            // The entry standing there now is no choice of the operator's: pressed again, the button does
            // nothing to it, until the operator picks it in the list.
            env.dialogs.clearShown();
            click(c.button);
            // (A cheque's button is closed on a credit.)
            if (control<QToolButton>(c.button)->isEnabled()) {
                EXPECT_EQ(env.dialogs.errors(), QStringList{notChosen});
            }
            EXPECT_EQ(storedAccount(listed.code), afterTheOther) << "nothing written";
            EXPECT_TRUE(chequeRequests.empty()) << "no cheque screen";
            auto *grid = control<TNewDBGrid>("dbgPadrao");
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->currentIndex()).center());
            env.dialogs.clearShown();
            if (QLatin1String(c.button) == QLatin1String("sbtExcluir")) {
                env.dialogs.answer(QStringLiteral("Excl"), MsgButton::No);
                click(c.button);
                EXPECT_TRUE(env.dialogs.errors().isEmpty()) << env.dialogs.errors().join(u'\n').toStdString();
            }
        } else {
            EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), movement) << "on the changed entry";
            EXPECT_EQ(list().FieldByName(u"DSMOVICRED").AsString(), QStringLiteral("Mudado pelo outro"));
        }
    }
}

// The list is loaded again (verify, the filter confirmed as it stands) after the other operator deleted the
// entry the operator stood on: the entry now in its place, which may look just like it, is no choice of the
// operator's, until the operator picks it, with the keys (the refusal leaves the focus on the list), the
// navigator's buttons or the search, or loads the list afresh from the account bar.
TEST_F(SecondOperatorAtWork, AnEntryInPlaceOfOneTheOtherDeletedIsActedOnOnlyOncePicked) {
    const auto filterAsItStands = [this] {
        filterToKind(std::nullopt);
    };
    // New criteria, which would still hold the entry the other deleted.
    const auto filterToCredits = [this] {
        filterToKind(1);
    };
    auto *navigator = form->findChild<TDBNavigator *>(QStringLiteral("dbnPadrao"));
    ASSERT_NE(navigator, nullptr);
    const auto awayAndBack = [this, navigator] {
        const bool last = list().RecNo() == list().RecordCount();
        navigator->ButtonOf(last ? TDBNavigator::Button::Prior : TDBNavigator::Button::Next)->click();
        navigator->ButtonOf(last ? TDBNavigator::Button::Next : TDBNavigator::Button::Prior)->click();
    };
    // The refusal leaves the focus on the list, where the keys pick the entry.
    const auto withTheKeys = [this] {
        auto *grid = control<TNewDBGrid>("dbgPadrao");
        ASSERT_EQ(QApplication::focusWidget(), grid);
        const bool last = list().RecNo() == list().RecordCount();
        QTest::keyClick(grid, last ? Qt::Key_Up : Qt::Key_Down);
        QTest::keyClick(grid, last ? Qt::Key_Down : Qt::Key_Up);
    };
    const auto withTheSearch = [this] {
        env.lookups.typeFind(list().FieldByName(u"DSMOVICRED").AsString(), QStringLiteral("DSMOVICRED"));
        click("sbtProcurar");
    };
    // Loaded afresh, the list stands on its first row, where the one deleted was.
    const auto anotherAccountAndBack = [this] {
        chooseAccount(unlisted.code);
        chooseAccount(listed.code);
    };
    const auto verify = [this] {
        click("sbtVerificar");
    };
    const struct {
        const char *name;
        const char *entry; // nullptr: the list's first row
        std::function<void()> reload;
        std::function<void()> pick;
    } cases[] = {
        {"verify", "Crédito 1", verify, awayAndBack},
        {"the filter confirmed as it stands", "Crédito 2", filterAsItStands, withTheKeys},
        {"verify, then the search", "Crédito 4", verify, withTheSearch},
        {"verify, then the account bar", nullptr, verify, anotherAccountAndBack},
        {"the filter narrowed to credits", "Crédito 7", filterToCredits, withTheKeys},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString movement;
        if (c.entry != nullptr) {
            movement = standOn(QString::fromUtf8(c.entry));
        } else {
            list().First();
            movement = list().FieldByName(u"NRMOVBANC").AsString();
        }
        other->deleteEntry(listed.code, movement);
        c.reload();
        const QString standing = list().FieldByName(u"NRMOVBANC").AsString();
        ASSERT_NE(standing, movement);
        const QString before = storedAccount(listed.code);
        // Where leaving the account bar puts the focus: the pages' tabs.
        control<QTabWidget>("pgcPadrao")->tabBar()->setFocus();
        env.dialogs.clearShown();
        click("sbtExcluir");
        EXPECT_EQ(env.dialogs.errors(), QStringList{notChosen});
        EXPECT_EQ(storedAccount(listed.code), before) << "nothing deleted";

        c.pick();
        ASSERT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), standing);
        env.dialogs.clearShown();
        env.dialogs.answer(QStringLiteral("Excl"), MsgButton::No);
        click("sbtExcluir");
        EXPECT_EQ(env.dialogs.errors(), QStringList()) << "picked";
        EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("Excl")});
    }
}

// The entry standing in place of one the other deleted is no choice of the operator's: neither a row key that
// moves nowhere nor a search for nothing (blanks, an accent alone) picks it, and a change asks nothing about
// it (what owns it would name an entry nobody chose).
TEST_F(SecondOperatorAtWork, NeitherAKeyThatMovesNowhereNorAnEmptySearchNorTheChangesOwnersTakeTheStandIn) {
    chooseAccount(listed.code);
    list().First();
    other->deleteEntry(listed.code, list().FieldByName(u"NRMOVBANC").AsString());
    click("sbtVerificar");
    const QString standing = list().FieldByName(u"NRMOVBANC").AsString();
    ASSERT_EQ(list().RecNo(), 1);
    env.execute(
        QStringLiteral("INSERT INTO NFDEVCLIUSO (FILIDEVO, NRNFDEVO, CDREDUCONT, NRMOVBANC, VRUTILIZADO) "
                       "SELECT FILIDEVO, NRNFDEVO, '%1', '%2', 1 FROM NFDEVCLI ORDER BY 1, 2 LIMIT 1")
            .arg(listed.code, standing));
    auto *grid = control<TNewDBGrid>("dbgPadrao");
    grid->setFocus();
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Home, Qt::Key_PageUp})
        QTest::keyClick(grid, key);
    for (const QString &typed : {QStringLiteral("  "), QStringLiteral("´"), QStringLiteral("\u0301")}) {
        env.lookups.typeFind(typed, QStringLiteral("DSMOVICRED"));
        click("sbtProcurar");
    }
    EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), standing) << "nothing moved";
    for (const char *button : {"sbtExcluir", "sbtAlterar"}) {
        SCOPED_TRACE(button);
        env.dialogs.clearShown();
        click(button);
        EXPECT_EQ(env.dialogs.errors(), QStringList{notChosen});
        EXPECT_FALSE(Cli_bco11100::boAltera);
    }
}

// Criteria of the operator's own that leave the chosen entry out make a new list: nobody removed the entry,
// and the row the list stands on is acted on as on any list loaded afresh.
TEST_F(SecondOperatorAtWork, AFilterThatLeavesTheChosenEntryOutMakesANewListActedOnAsItStands) {
    const struct {
        const char *name;
        const char *entry;
        std::function<void()> meanwhile;
    } cases[] = {
        {"nothing written meanwhile", "Crédito 1",
         [] {
         }},
        {"the other changing another entry meanwhile", "Crédito 2",
         [this] {
             other->changeDescription(
                 listed.code,
                 value(QStringLiteral("SELECT NRMOVBANC FROM MOVCREDBANC WHERE CDREDUCONT = "
                                      "'050' AND DSMOVICRED = 'Crédito 4'")),
                 QStringLiteral("Mudado pelo outro"));
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (&c != &cases[0])
            filterToKind(0); // every kind again
        standOn(QString::fromUtf8(c.entry));
        c.meanwhile();
        filterToKind(2);
        ASSERT_EQ(list().FieldByName(u"DEBCRED").AsString(), QStringLiteral("D")) << "debits only";
        env.dialogs.clearShown();
        env.dialogs.answer(QStringLiteral("Excl"), MsgButton::No);
        click("sbtExcluir");
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("Excl")});
    }
}

// The operator has the list loaded again after the other operator deleted an entry, by verify, by the filter
// or from the account bar: the list and the day's balance under it are what the books hold now, not the
// balance of the list before.
TEST_F(SecondOperatorAtWork, AListLoadedAgainBringsItsBalanceAsTheOtherLeftIt) {
    struct Case {
        const char *name;
        const char *entry;
        std::function<void()> reload;
        // What the operator does before the other's write, when anything.
        std::function<void()> before = {};
    };
    const Case cases[] = {
        {"verify", "Crédito 1",
         [this] {
             click("sbtVerificar");
         }},
        {"the filter confirmed as it stands", "Crédito 2",
         [this] {
             env.modalForms.then([](QWidget &dialog) {
                 dialog.findChild<QToolButton *>(QStringLiteral("sbtConfirma"))->click();
             });
             control<QAction>("mnuFiltro")->trigger();
         }},
        // The account's own exit showed the balance when the operator went on to the agency field, before the
        // other's write.
        {"the bar left from its agency field", "Crédito 4",
         [this] { dbgPadrao()->setFocus(Qt::MouseFocusReason); },
         [this] {
             medCdRedu()->setFocus();
             control("medCdAgencia")->setFocus();
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString movement = standOn(QString::fromUtf8(c.entry));
        const QString shownBefore = control<TNumberEdit>("nedSaldo")->Text();
        if (c.before)
            c.before();
        other->deleteEntry(listed.code, movement);

        c.reload();

        EXPECT_FALSE(list().Locate(QStringLiteral("NRMOVBANC"), movement));
        const double balance =
            other->call(QStringLiteral("getSaldoDia"), VariantList{listed.code, env.options().processingDate})
                .toFloat();
        EXPECT_EQ(control<TNumberEdit>("nedSaldo")->Value(), std::abs(balance));
        EXPECT_NE(control<TNumberEdit>("nedSaldo")->Text(), shownBefore) << "the deletion moved the balance";
    }
}

// The other operator deleted one entry and changed another since the list was loaded: what the operator
// exports or copies is the books as they now stand, and the list shows it too.
TEST_F(SecondOperatorAtWork, WhatIsExportedOrCopiedIsTheListAsTheOtherLeftIt) {
    QTemporaryDir folder;
    ScriptedFileDialogs files;
    const QString path = folder.filePath(QStringLiteral("lista.csv"));
    struct Case {
        const char *name;
        const char *deleted, *changed;
        std::function<QString()> takeOut;
    };
    const Case cases[] = {
        {"Exportar Lista", "Crédito 4", "Crédito 5",
         [&] {
             files.choose(path);
             control<QAction>("actExportarLista")->trigger();
             QFile written(path);
             return written.open(QIODevice::ReadOnly) ? QString::fromUtf8(written.readAll()) : QString();
         }},
        {"Copiar Lista", "Crédito 7", "Crédito 8",
         [&] {
             control<QAction>("actCopiarLista")->trigger();
             return QApplication::clipboard()->text();
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString deleted = QString::fromUtf8(c.deleted), changed = QString::fromUtf8(c.changed);
        const QString changedMovement = standOn(changed);
        other->deleteEntry(listed.code, standOn(deleted));
        other->changeDescription(listed.code, changedMovement, QStringLiteral("Mudado por SUPERV"));

        const QString taken = c.takeOut();

        EXPECT_FALSE(taken.contains(deleted + u';') || taken.contains(deleted + u'\t'))
            << taken.toStdString();
        EXPECT_FALSE(taken.contains(changed + u';') || taken.contains(changed + u'\t'));
        EXPECT_TRUE(taken.contains(QStringLiteral("Mudado por SUPERV")));
        EXPECT_FALSE(list().Locate(QStringLiteral("DSMOVICRED"), deleted));
        EXPECT_EQ(taken.split(u'\n', Qt::SkipEmptyParts).size(), list().RecordCount() + 1)
            << "a line for each entry listed, and the headings";
        EXPECT_EQ(env.dialogs.errors(), QStringList());
    }
}

// The other operator writes while the operator answers the deletion question, types a change, or stands
// before the cheque screen: the server refuses the operator's write, the form says so, loads the list again
// and stands on the entry, and the entry holds what the other one wrote, to the field.
TEST_F(SecondOperatorAtWork, AWriteOfTheOtherOperatorBetweenTheQuestionAndTheAnswerWins) {
    // A deletion confirmed after the other one changed the entry.
    QString movement = standOn(QStringLiteral("Crédito 7"));
    env.dialogs.answer(QStringLiteral("Excl"), MsgButton::Yes, [&] {
        other->changeDescription(listed.code, movement, QStringLiteral("Mudado durante a pergunta"));
    });
    click("sbtExcluir");
    ASSERT_EQ(env.dialogs.errors().size(), 1);
    EXPECT_TRUE(env.dialogs.errors()[0].contains(QStringLiteral("por outro operador")))
        << env.dialogs.errors()[0].toStdString();
    EXPECT_EQ(value(QStringLiteral(
                        "SELECT DSMOVICRED FROM MOVCREDBANC WHERE CDREDUCONT = '050' AND NRMOVBANC = '%1'")
                        .arg(movement)),
              QStringLiteral("Mudado durante a pergunta"))
        << "not deleted";
    EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), movement) << "the form stands on it";
    EXPECT_EQ(list().FieldByName(u"DSMOVICRED").AsString(), QStringLiteral("Mudado durante a pergunta"));

    // A change confirmed after the other one recorded a cheque on the debit.
    movement = standOn(QStringLiteral("Débito 9"));
    click("sbtAlterar");
    ASSERT_TRUE(Cli_bco11100::boAltera);
    control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Descrição do operador"));
    other->recordCheque(listed.code, movement, QStringLiteral("000321"));
    const QString withCheque = storedEntry(listed.code, movement);
    env.dialogs.clearShown();
    click("sbtConfirmar");
    ASSERT_EQ(env.dialogs.errors().size(), 1);
    EXPECT_TRUE(env.dialogs.errors()[0].contains(QStringLiteral("por outro operador")));
    EXPECT_EQ(storedEntry(listed.code, movement), withCheque) << "the cheque stays; nothing written";
    EXPECT_TRUE(browsing()) << "the change ended";
    EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), movement);
    EXPECT_EQ(list().FieldByName(u"NRCHEQUE").AsString(), QStringLiteral("000321"));

    // A cheque recorded after the other one changed the debit: the screen's recording is refused.
    movement = standOn(QStringLiteral("Débito 12"));
    beforeRecording = [&] {
        other->changeDescription(listed.code, movement, QStringLiteral("Mudado antes do cheque"));
    };
    click("sbtEmitirCheque");
    ASSERT_EQ(chequeRefusals.size(), 1);
    EXPECT_TRUE(chequeRefusals[0].contains(QStringLiteral("por outro operador")));
    EXPECT_EQ(
        value(QStringLiteral("SELECT COALESCE(NRCHEQUE, '') FROM MOVDEBIBANC WHERE CDREDUCONT = '050' AND "
                             "NRMOVBANC = '%1'")
                  .arg(movement)),
        QString());
    EXPECT_EQ(
        value(QStringLiteral("SELECT COUNT(*) FROM CHEQUE WHERE CDREDUCONT = '050' AND NRCHEQUE = '000555'")),
        QStringLiteral("0"));
    EXPECT_EQ(list().FieldByName(u"DSMOVICRED").AsString(), QStringLiteral("Mudado antes do cheque"));

    // The other one changes the debit once its cheque is recorded, while the form asks about a debit alike
    // before it sends the debit again: the refusal of that sending is told as coming after the cheque, which
    // stays recorded.
    movement = standOn(QStringLiteral("Débito 6"));
    includeCopyAsTheOther(movement);
    env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::Yes, [&] {
        other->changeDescription(listed.code, movement, QStringLiteral("Mudado depois do cheque"));
    });
    beforeRecording = nullptr;
    env.dialogs.clearShown();
    click("sbtEmitirCheque");
    ASSERT_EQ(env.dialogs.errors().size(), 1);
    const QString debit = value(
        QStringLiteral("SELECT NRMOVIDEBI FROM MOVDEBIBANC WHERE CDREDUCONT = '050' AND NRMOVBANC = '%1'")
            .arg(movement));
    EXPECT_TRUE(env.dialogs.errors()[0].startsWith(
        QStringLiteral("O cheque 000555 foi emitido e registrado no débito %1. O lançamento").arg(debit)))
        << env.dialogs.errors()[0].toStdString();
    EXPECT_EQ(
        rows(QStringLiteral("SELECT D.NRCHEQUE, D.DSMOVIDEBI, C.NRMOVIDEBI, C.IDSITUCHEQ FROM MOVDEBIBANC D "
                            "JOIN CHEQUE C ON C.CDREDUCONT = D.CDREDUCONT AND C.NRCHEQUE = D.NRCHEQUE "
                            "WHERE D.CDREDUCONT = '050' AND D.NRMOVBANC = '%1'")
                 .arg(movement)),
        QStringLiteral("NRCHEQUE=000555;DSMOVIDEBI=Mudado depois do cheque;NRMOVIDEBI=%1;IDSITUCHEQ=E")
            .arg(debit));
    EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), movement) << "the form stands on it";
}

// The cheque sends the debit again to carry its number: the debit keeps its customer or supplier, its branch,
// its cost centre and its accounting, whatever an earlier include left in the form's look-ups.
TEST_F(SecondOperatorAtWork, AChequeSendsTheDebitAgainWithEverythingElseAsStored) {
    // A supplier with nothing open in company 01, so that the include asks nothing.
    const QString supplierTaxNumber =
        value(QStringLiteral("SELECT NRINSJURFORN FROM FORNECED WHERE CDFORNECED = 'FOR0007'"));
    struct Case {
        const char *name;
        QString condition;
        bool afterAnInclude;
    };
    const auto debitOf = [](const char *party) {
        return QStringLiteral(
                   "M.IDMOVBANC = 'D' AND EXISTS (SELECT 1 FROM MOVDEBIBANC D WHERE D.CDREDUCONT = "
                   "M.CDREDUCONT AND D.NRMOVBANC = M.NRMOVBANC AND D.NRCHEQUE IS NULL AND %1)")
            .arg(QLatin1String(party));
    };
    // The demo's older debits lie in closed accounting periods.
    env.execute(QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'A'"));
    const Case cases[] = {
        {"a supplier's debit, right after logging in", debitOf("D.CDFORNECED = 'FOR0001'"), false},
        {"a customer's debit", debitOf("D.CDCLIENTE = 'CLI0009'"), false},
        {"a supplier's debit after an include for another supplier",
         debitOf("D.CDFORNECED IS NOT NULL AND D.CDFORNECED <> 'FOR0007'"), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString account;
        if (c.afterAnInclude) {
            standOn(QStringLiteral("Crédito 1"));
            click("sbtIncluir");
            fill({.debit = true, .supplier = supplierTaxNumber});
            click("sbtConfirmar");
            ASSERT_EQ(env.dialogs.errors(), QStringList());
        }
        const QString movement = standOnDemo(c.condition, account);
        // The other operator works on the same account meanwhile: the list reloads; the debit stays as it
        // was.
        other->changeDescription(
            account,
            value(
                QStringLiteral(
                    "SELECT MAX(M.NRMOVBANC) FROM MOVBANCARIO M JOIN MOVCREDBANC R ON R.CDREDUCONT = "
                    "M.CDREDUCONT AND R.NRMOVBANC = M.NRMOVBANC WHERE M.CDREDUCONT = '%1' AND "
                    "M.CDSEQUEXBA IS NULL AND M.NRSEQUENCIALEMP IS NULL AND M.NRCOMPENSACAO IS NULL "
                    "AND M.NRMOVBANCORIG IS NULL AND NOT EXISTS (SELECT 1 FROM BOLETODESC B WHERE "
                    "B.CDREDUCONT = R.CDREDUCONT AND B.NRMOVICRED = R.NRMOVICRED) AND NOT EXISTS (SELECT 1 "
                    "FROM NFDEVCLIUSO U WHERE U.CDREDUCONT = M.CDREDUCONT AND U.NRMOVBANC = M.NRMOVBANC) AND "
                    "NOT EXISTS (SELECT 1 FROM NFDEVFORUSO U WHERE U.CDREDUCONT = M.CDREDUCONT AND "
                    "U.NRMOVBANC = M.NRMOVBANC)")
                    .arg(account)),
            QStringLiteral("Mudado pelo outro"));
        const QString before = storedEntry(account, movement, {"NRVERSAO", "NRCHEQUE", "CDOPERADOR"});
        click("sbtEmitirCheque");
        ASSERT_EQ(chequeRefusals, QStringList());
        ASSERT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(storedEntry(account, movement, {"NRVERSAO", "NRCHEQUE", "CDOPERADOR"})
                      .section(QStringLiteral("\n--\n"), 0, 2),
                  before.section(QStringLiteral("\n--\n"), 0, 2))
            << "movement and record as they were but for the cheque";
        EXPECT_EQ(
            storedEntry(account, movement, {"NRVERSAO", "CDOPERADOR"}).section(QStringLiteral("\n--\n"), 4),
            before.section(QStringLiteral("\n--\n"), 4))
            << "the accounting lines with their party, the apportionment, the settlement";
        EXPECT_EQ(value(QStringLiteral(
                            "SELECT NRCHEQUE FROM MOVDEBIBANC WHERE CDREDUCONT = '%1' AND NRMOVBANC = '%2'")
                            .arg(account, movement)),
                  QStringLiteral("000555"));
        const qsizetype audited =
            value(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'getAlterDebito'"))
                .toLongLong();
        EXPECT_EQ(audited, 1) << "the debit was sent again";
        env.execute(QStringLiteral("DELETE FROM AUDITORIA"));
        chequeRequests.clear();
        // The next case draws its cheque under the same number: give the account its own.
        env.execute(QStringLiteral(
            "UPDATE CHEQUE SET NRCHEQUE = '9' || SUBSTR(NRCHEQUE, 2) WHERE NRCHEQUE = '000555'"));
        env.execute(QStringLiteral(
            "UPDATE MOVDEBIBANC SET NRCHEQUE = '9' || SUBSTR(NRCHEQUE, 2) WHERE NRCHEQUE = '000555'"));
    }
}

// The debit sent again to carry its cheque changes nothing a statement line was matched on: a reconciled
// debit keeps its reconciliation, alone on its line or with other movements, and nothing is refused.
// The other operator deletes the debit while its cheque screen is open: the cheque is refused, and the debit
// that now stands in its place is no choice of the operator's, for a cheque either.
TEST_F(SecondOperatorAtWork, AChequeRefusedForADeletedDebitLeavesNoDebitChosen) {
    // Two copies of a debit, one after the other in the list: once the first is gone the second takes its
    // row, and looks just like it.
    const QString original = standOn(QStringLiteral("Débito 6"));
    const QStringList twins{includeCopyAsTheOther(original), includeCopyAsTheOther(original)};
    chooseAccount(listed.code);
    ASSERT_TRUE(list().Locate(QStringLiteral("NRMOVBANC"), twins[0]));
    const QString movement = twins[0];
    beforeRecording = [&] {
        other->deleteEntry(listed.code, movement);
    };
    click("sbtEmitirCheque");
    ASSERT_EQ(chequeRefusals.size(), 1u);
    beforeRecording = nullptr;
    chequeRequests.clear();
    const QString before = storedAccount(listed.code);
    env.dialogs.clearShown();
    ASSERT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), twins[1]) << "on the other copy";
    click("sbtEmitirCheque");
    EXPECT_EQ(env.dialogs.errors(), QStringList{notChosen});
    EXPECT_TRUE(chequeRequests.empty()) << "no cheque screen for a debit nobody chose";
    EXPECT_EQ(storedAccount(listed.code), before);
}

TEST_F(SecondOperatorAtWork, AChequeOnAReconciledDebitKeepsItsReconciliation) {
    env.execute(QStringLiteral("UPDATE PERIODOCTB SET IDSITUPERI = 'A'"));
    const QString debitWithoutCheque = QStringLiteral(
        "M.IDMOVBANC = 'D' AND EXISTS (SELECT 1 FROM MOVDEBIBANC D WHERE D.CDREDUCONT = M.CDREDUCONT AND "
        "D.NRMOVBANC = M.NRMOVBANC AND D.NRCHEQUE IS NULL) AND (SELECT COUNT(*) FROM MOVBANCARIO O WHERE "
        "O.CDREDUCONT = M.CDREDUCONT AND O.CDSEQUEXBA = M.CDSEQUEXBA AND O.NRSEQMOVREBA = M.NRSEQMOVREBA) = "
        "1");
    struct Case {
        const char *name;
        bool shared;
    };
    const Case cases[] = {{"alone on its statement line", false}, {"with other movements on its line", true}};
    const auto section = [](const QString &entry, int first, int last) {
        return entry.section(QStringLiteral("\n--\n"), first, last);
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString account;
        const QString movement = standOnDemo(debitWithoutCheque, account, true);
        if (c.shared)
            env.execute(
                QStringLiteral(
                    "UPDATE MOVBANCARIO SET IDSTCONEXT = '1', CDSEQUEXBA = (SELECT CDSEQUEXBA FROM "
                    "MOVBANCARIO WHERE CDREDUCONT = '%1' AND NRMOVBANC = '%2'), NRSEQMOVREBA = (SELECT "
                    "NRSEQMOVREBA FROM MOVBANCARIO WHERE CDREDUCONT = '%1' AND NRMOVBANC = '%2') WHERE "
                    "CDREDUCONT = '%1' AND NRMOVBANC = (SELECT MAX(NRMOVBANC) FROM MOVBANCARIO WHERE "
                    "CDREDUCONT = '%1' AND CDSEQUEXBA IS NULL)")
                    .arg(account, movement));
        const QStringList unread{"NRVERSAO", "NRCHEQUE", "CDOPERADOR"};
        const QString before = storedEntry(account, movement, unread);
        ASSERT_TRUE(before.contains(QStringLiteral("IDSTCONEXT=1"))) << before.toStdString();
        click("sbtEmitirCheque");
        EXPECT_EQ(chequeRefusals, QStringList());
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        const QString after = storedEntry(account, movement, unread);
        EXPECT_EQ(section(after, 0, 2), section(before, 0, 2))
            << "movement and record, reconciliation included";
        EXPECT_EQ(section(after, 4, -1), section(before, 4, -1)) << "the accounting and the settlement";
        EXPECT_EQ(value(QStringLiteral(
                            "SELECT NRCHEQUE FROM MOVDEBIBANC WHERE CDREDUCONT = '%1' AND NRMOVBANC = '%2'")
                            .arg(account, movement)),
                  QStringLiteral("000555"));
        // The next case draws its cheque under the same number.
        const QString renumbered = c.shared ? QStringLiteral("800555") : QStringLiteral("700555");
        for (const char *table : {"CHEQUE", "MOVDEBIBANC"})
            env.execute(QStringLiteral("UPDATE %1 SET NRCHEQUE = '%2' WHERE NRCHEQUE = '000555'")
                            .arg(QLatin1String(table), renumbered));
    }
}

// A change opens the description alone: with the processing branch elsewhere and another operator at work
// on the account, the entry keeps its branches, cost centre, party and apportionment to the field.
class SecondOperatorOnAnotherBranch : public SecondOperatorAtWork {
protected:
    SecondOperatorOnAnotherBranch()
        : SecondOperatorAtWork({.processingBranch = QStringLiteral("0102")}) {}
};

TEST_F(SecondOperatorOnAnotherBranch, AChangedDescriptionIsAllThatIsWritten) {
    // Stored on branch 0101 with no branch typed; one without a cost centre, one for a customer.
    env.execute(QStringLiteral(
        "UPDATE MOVCREDBANC SET CDFILILANCRE = NULL, CDCENTCUST = NULL WHERE CDREDUCONT = '050' "
        "AND DSMOVICRED = 'Crédito 8'"));
    env.execute(QStringLiteral("UPDATE MOVDEBIBANC SET CDFILILANDEB = NULL, CDCLIENTE = 'CLI0001' WHERE "
                               "CDREDUCONT = '050' AND DSMOVIDEBI = 'Débito 12'"));
    // Another entry of the account, which the other operator changes meanwhile.
    const QString otherEntry = value(QStringLiteral(
        "SELECT NRMOVBANC FROM MOVCREDBANC WHERE CDREDUCONT = '050' AND DSMOVICRED = 'Crédito 10'"));
    for (const char *entry : {"Crédito 8", "Débito 12"}) {
        SCOPED_TRACE(entry);
        const QString movement = standOn(QString::fromUtf8(entry));
        const QStringList written{"DSHISMBANC", "DSMOVICRED", "DSMOVIDEBI", "NRVERSAO", "CDOPERADOR"};
        const QString before = storedEntry(listed.code, movement, written);
        click("sbtAlterar");
        ASSERT_TRUE(Cli_bco11100::boAltera);
        control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Só a descrição"));
        other->changeDescription(listed.code, otherEntry, QStringLiteral("Outro lançamento"));
        click("sbtConfirmar");
        ASSERT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(storedEntry(listed.code, movement, written), before);
        EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), movement) << "the form stands on it";
        EXPECT_EQ(
            value(QStringLiteral(
                      "SELECT DSHISMBANC FROM MOVBANCARIO WHERE CDREDUCONT = '050' AND NRMOVBANC = '%1'")
                      .arg(movement))
                .left(15),
            QStringLiteral("Só a descrição("));
    }
}

// The duplicate question compares values without their sign and never finds the entry itself: a debit
// changed into a copy of another (which the other operator made a copy meanwhile) asks, as a credit does.
TEST_F(SecondOperatorAtWork, AChangeIntoACopyOfAnotherEntryAsksTheDuplicateQuestion) {
    for (const char *kind : {"Crédito", "Débito"}) {
        SCOPED_TRACE(kind);
        const QString table = QString::fromUtf8(kind) == u"Crédito" ? QStringLiteral("MOVCREDBANC")
                                                                    : QStringLiteral("MOVDEBIBANC");
        const QString description =
            table == u"MOVCREDBANC" ? QStringLiteral("DSMOVICRED") : QStringLiteral("DSMOVIDEBI");
        const QString first =
            value(QStringLiteral("SELECT MIN(NRMOVBANC) FROM %1 WHERE CDREDUCONT = '050'").arg(table));
        const QString second =
            value(QStringLiteral("SELECT MAX(NRMOVBANC) FROM %1 WHERE CDREDUCONT = '050'").arg(table));
        // The two movements alike in date, value and document.
        env.execute(
            QStringLiteral("UPDATE MOVBANCARIO SET (DTMOVBANC, VRMOVBANC, NRDOCMBANC) = (SELECT DTMOVBANC, "
                           "VRMOVBANC, NRDOCMBANC FROM MOVBANCARIO WHERE CDREDUCONT = '050' AND NRMOVBANC = "
                           "'%1') WHERE CDREDUCONT = '050' AND NRMOVBANC = '%2'")
                .arg(first, second));
        // The debits' document as a workbook's import stores it, without the zeros the form writes.
        if (table == u"MOVDEBIBANC") {
            env.execute(QStringLiteral("UPDATE MOVBANCARIO SET NRDOCMBANC = LTRIM(NRDOCMBANC, '0') WHERE "
                                       "CDREDUCONT = '050' AND NRMOVBANC IN ('%1', '%2')")
                            .arg(first, second));
            ASSERT_FALSE(
                value(QStringLiteral("SELECT NRDOCMBANC FROM MOVBANCARIO WHERE CDREDUCONT = '050' AND "
                                     "NRMOVBANC = '%1'")
                          .arg(first))
                    .startsWith(u'0'));
        }
        const QString date =
            table == u"MOVCREDBANC" ? QStringLiteral("DTMOVICRED") : QStringLiteral("DTMOVIDEBI");
        const QString amount =
            table == u"MOVCREDBANC" ? QStringLiteral("VRMOVICRED") : QStringLiteral("VRMOVIDEBI");
        env.execute(
            QStringLiteral("UPDATE %1 SET (%2, %3) = (SELECT %2, %3 FROM %1 WHERE CDREDUCONT = '050' AND "
                           "NRMOVBANC = '%4') WHERE CDREDUCONT = '050' AND NRMOVBANC = '%5'")
                .arg(table, date, amount, first, second));
        chooseAccount(listed.code);

        // Its own description confirmed as it is: the entry does not find itself.
        ASSERT_TRUE(list().Locate(QStringLiteral("NRMOVBANC"), first));
        click("sbtAlterar");
        env.dialogs.clearShown();
        click("sbtConfirmar");
        EXPECT_EQ(env.dialogs.keys(), QStringList()) << "no question";
        ASSERT_TRUE(browsing());

        ASSERT_TRUE(list().Locate(QStringLiteral("NRMOVBANC"), second));
        click("sbtAlterar");
        control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Cópia"));
        other->changeDescription(listed.code, first, QStringLiteral("Cópia"));
        const QString before = storedEntry(listed.code, second);
        env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::No);
        click("sbtConfirmar");
        ASSERT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("LANCA_JA_CAD")});
        EXPECT_TRUE(env.dialogs.shown().back().details.contains(first)) << "it names the other movement";
        EXPECT_EQ(storedEntry(listed.code, second), before) << "No writes nothing";
        env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
        click("sbtCancelar");
        EXPECT_EQ(value(QStringLiteral("SELECT %1 FROM %2 WHERE CDREDUCONT = '050' AND NRMOVBANC = '%3'")
                            .arg(description, table, first)),
                  QStringLiteral("Cópia"));
    }
}

// A dialog that closes gives the focus back to the form's first control, the account code, without entering
// the account bar; the include pressed next starts at once, on the first click, even with the other operator
// writing to the account meanwhile.
// The form asks whether an entry repeats one the account holds; while the question is on the screen the other
// operator includes the same entry again. The operator's yes was to the one shown: the include is refused and
// told, and confirmed again it asks about both.
TEST_F(SecondOperatorAtWork, AnEntryTheOtherIncludesWhileTheDuplicateQuestionIsOnIsAskedAbout) {
    chooseAccount(listed.code);
    const Typed typed{.description = QStringLiteral("Depósito em dobro"),
                      .value = 321.45,
                      .document = QStringLiteral("DUP-1")};
    const auto copies = [this] {
        return value(QStringLiteral("SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '050' AND "
                                    "DSMOVICRED = 'Depósito em dobro'"))
            .toInt();
    };
    click("sbtIncluir");
    fill(typed);
    click("sbtConfirmar");
    ASSERT_EQ(copies(), 1);
    const QString first =
        value(QStringLiteral("SELECT NRMOVBANC FROM MOVCREDBANC WHERE CDREDUCONT = '050' AND "
                             "DSMOVICRED = 'Depósito em dobro'"));

    click("sbtIncluir");
    fill(typed);
    env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::Yes, [&] { includeCopyAsTheOther(first); });
    env.dialogs.clearShown();
    click("sbtConfirmar");
    EXPECT_EQ(copies(), 2) << "the other's only";
    ASSERT_EQ(env.dialogs.errors().size(), 1u);
    EXPECT_TRUE(env.dialogs.errors()[0].contains(QStringLiteral("Nada foi gravado")))
        << env.dialogs.errors()[0].toStdString();
    EXPECT_TRUE(Cli_bco11100::boInclusao) << "what was typed stays, to be confirmed again";

    env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::Yes);
    env.dialogs.clearShown();
    click("sbtConfirmar");
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(env.dialogs.shown().front().details.count(u'\n'), 1)
        << "both are shown: " << env.dialogs.shown().front().details.toStdString();
    EXPECT_EQ(copies(), 3);
}

// A change of description that makes the entry repeat another is asked about; while the question is on the
// screen the other operator includes one more such entry. The operator's yes was to the one shown: the change
// is refused and told, and the entry keeps its description.
TEST_F(SecondOperatorAtWork, AChangeIntoAnEntryTheOtherIncludesWhileTheQuestionIsOnIsAskedAbout) {
    const QString movement = standOn(QStringLiteral("Crédito 5"));
    const QString description = QStringLiteral("Igual a outro");
    const auto includeCopy = [&] {
        includeCopyAsTheOther(movement, description);
    };
    includeCopy();
    const QString before = storedEntry(listed.code, movement);
    standOn(QStringLiteral("Crédito 5"));
    click("sbtAlterar");
    ASSERT_TRUE(Cli_bco11100::boAltera);
    control<QLineEdit>("edtDsLancamento")->setText(description);
    env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::Yes, includeCopy);
    env.dialogs.clearShown();
    click("sbtConfirmar");
    ASSERT_EQ(env.dialogs.errors().size(), 1u);
    EXPECT_TRUE(env.dialogs.errors()[0].contains(QStringLiteral("Nada foi gravado")))
        << env.dialogs.errors()[0].toStdString();
    EXPECT_EQ(storedEntry(listed.code, movement), before) << "nothing written";
    // Confirmed again, as the message says, the change asks about both repetitions and is written.
    ASSERT_TRUE(Cli_bco11100::boAltera) << "the change is still open";
    EXPECT_EQ(control<QLineEdit>("edtDsLancamento")->text(), description) << "with what was typed";
    env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::Yes);
    env.dialogs.clearShown();
    click("sbtConfirmar");
    EXPECT_EQ(env.dialogs.keys(), QStringList{QStringLiteral("LANCA_JA_CAD")});
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(
        value(QStringLiteral("SELECT DSMOVICRED FROM MOVCREDBANC WHERE CDREDUCONT = '%1' AND NRMOVBANC = "
                             "'%2'")
                  .arg(listed.code, movement)),
        description);
}

TEST_F(SecondOperatorAtWork, IncludeStartsOnTheFirstClickWhereverADialogLeftTheFocus) {
    chooseAccount(listed.code);
    const int listedEntries = list().RecordCount();
    // A dialog has the focus; the form, inactive, holds the account code as the control Qt gives the focus
    // back to; the dialog closes.
    QLineEdit dialogField;
    dialogField.show();
    QApplication::setActiveWindow(&dialogField);
    dialogField.setFocus();
    medCdRedu()->setFocus();
    other->changeDescription(
        listed.code,
        value(QStringLiteral(
            "SELECT NRMOVBANC FROM MOVCREDBANC WHERE CDREDUCONT = '050' AND DSMOVICRED = 'Crédito 2'")),
        QStringLiteral("Mudado pelo outro"));
    QApplication::setActiveWindow(form->window());
    dialogField.hide();
    ASSERT_EQ(QApplication::focusWidget(), medCdRedu());
    ASSERT_TRUE(list().Active()) << "the account bar was not entered";

    click("sbtIncluir");

    EXPECT_TRUE(Cli_bco11100::boInclusao);
    EXPECT_EQ(QApplication::focusWidget(), control("depDataMov"));
    EXPECT_TRUE(control("depDataMov")->isEnabled());
    EXPECT_EQ(toolBar(), QStringLiteral("Cancelar Confirmar"));
    EXPECT_EQ(list().RecordCount(), listedEntries);
    fill({.value = 42.0});
    click("sbtConfirmar");
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_TRUE(browsing());
    EXPECT_EQ(list().RecordCount(), listedEntries + 1);
}

// The other operator deletes every entry of the list; "Verificar" brings the empty list, and the commands are
// those of an empty list, not of the rows it held.
TEST_F(SecondOperatorAtWork, AVerifyAfterTheOtherEmptiedTheListOffersWhatAnEmptyListAllows) {
    standOn(QStringLiteral("Crédito 1"));
    QStringList movements;
    for (int row = 1; row <= list().RecordCount(); ++row) {
        list().SetRecNo(row);
        movements << list().FieldByName(u"NRMOVBANC").AsString();
    }
    for (const QString &movement : movements)
        other->deleteEntry(listed.code, movement);
    click("sbtVerificar");
    EXPECT_EQ(list().RecordCount(), 0);
    EXPECT_EQ(toolBar(), QStringLiteral("Incluir Filtro Importar"));
}

// While a debit is being changed the cheque command waits: neither its button nor its shortcut prints a
// cheque in the middle of the change, which would end it and lose what was typed.
TEST_F(SecondOperatorAtWork, TheChequeWaitsForTheChangeOfADebitToEnd) {
    standOn(QStringLiteral("Débito 3"));
    click("sbtAlterar");
    auto *description = control<QLineEdit>("edtDsLancamento");
    description->setFocus();
    description->selectAll();
    QTest::keyClicks(description, QStringLiteral("Nova descricao"));
    EXPECT_EQ(toolBar(), QStringLiteral("Cancelar Confirmar"));
    QTest::keySequence(control("edtDsLancamento"), QKeySequence(Qt::CTRL | Qt::Key_E));
    EXPECT_TRUE(chequeRequests.empty()) << "no cheque screen";
    EXPECT_TRUE(Cli_bco11100::boAltera) << "still changing";
    EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Nova descricao"));
}

// An import beside the form reloads its list: the operator comes back to the entry left, which another
// operator's entry written meanwhile moved down the list.
TEST_F(SecondOperatorAtWork, AListReloadedByAnImportBesideStaysOnTheEntryLeft) {
    const QString movement = standOn(QStringLiteral("Crédito 8"));
    includeAsTheOther({.account = listed.code, .date = QDate(2024, 2, 20), .value = 3.0});
    form->RefreshEntryList();
    EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), movement);
}

} // namespace
