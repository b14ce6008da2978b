#include <gtest/gtest.h>

#include "entry_form_fixture.h"
#include "support/discount_form_driver.h"
#include "support/qt_printers.h"

using namespace bco;
using namespace bco::testing;

namespace {

const QString customerAdvanceQuestion =
    QStringLiteral("Atenção! Cliente possui crédito de adiantamento. Deseja utilizá-lo? ");
const QString customerReturnQuestion =
    QStringLiteral("Atenção! Cliente possui nota fiscal de devolução. Deseja utilizá-la?");

// A new entry of account 050 (company 01) for the demo data's customer (CLI0005) or supplier (FOR0005) with
// open advances and returned invoices, as the operator types it.
struct NewEntry {
    bool debit = false;
    QString type = QStringLiteral("2");
    double value = 700.00;
    const char *partyField = "medInsClie";
    QString party = QStringLiteral("CLI0005");
};

class IncludingWithOpenItems : public EntryForm {
protected:
    void SetUp() override {
        EntryForm::SetUp();
        chooseAccount(listed.code);
    }

    // Includes the entry and confirms it; the questions and the discount form go as the test scripted them.
    void include(const NewEntry &entry) {
        control<QToolButton>("sbtIncluir")->click();
        cbbTipo()->setFocus();
        QTest::keyClick(cbbTipo(), entry.debit ? Qt::Key_Down : Qt::Key_Up);
        const std::pair<const char *, QString> typed[] = {{"depDataMov", "15032024"},
                                                          {"medTpLanc", entry.type},
                                                          {"medFilial", "0101"},
                                                          {"medCentCust", "0001"},
                                                          {entry.partyField, entry.party}};
        for (const auto &[name, text] : typed) {
            auto *edit = control<EditControl>(name);
            edit->setFocus();
            edit->selectAll();
            QTest::keyClick(edit, Qt::Key_Delete);
            QTest::keyClicks(edit, text);
        }
        control<TNumberEdit>("nedLancamento")->setFocus();
        control<TNumberEdit>("nedLancamento")->SetValue(entry.value);
        control("edtDsLancamento")->setFocus();
        control<QToolButton>("sbtConfirmar")->click();
    }

    qint64 number(const QString &sql) { return env.value(sql).toLongLong(); }
    qint64 movements() {
        return number(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '050'"));
    }
    QString lastMovement() {
        return env.value(QStringLiteral("SELECT MAX(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '050'"))
            .toString();
    }
    // What is left of an item, in cents: its value less every use of it.
    qint64 left(const char *table, const char *value, const char *useTable, const QString &key) {
        return number(QStringLiteral("SELECT %1 FROM %2 WHERE %3")
                          .arg(QLatin1String(value), QLatin1String(table), key)) -
               number(QStringLiteral("SELECT COALESCE(SUM(VRUTILIZADO), 0) FROM %1 WHERE %2")
                          .arg(QLatin1String(useTable), key));
    }
    qint64 advanceLeft(const char *instalment) {
        return left("ADIANTCLI", "VRORIGINAL", "ADIANTCLIUSO",
                    QStringLiteral("NRLANCTONF = '9000000001' AND NRPARCELAREC = '%1'")
                        .arg(QLatin1String(instalment)));
    }
    qint64 returnLeft(const char *invoice) {
        return left("NFDEVCLI", "VRNFDEVOL", "NFDEVCLIUSO",
                    QStringLiteral("NRNFDEVO = '%1'").arg(QLatin1String(invoice)));
    }
};

TEST_F(IncludingWithOpenItems, ACustomersCreditSettlesWhatWasDiscountedAndTheNextShowsWhatIsLeft) {
    env.dialogs.answer(QStringLiteral("Cli_Adian"), MsgButton::Yes)
        .answer(QStringLiteral("Cli_Devo"), MsgButton::Yes);
    env.modalForms
        .then([](QWidget &discount) {
            DiscountFormDriver shown(discount);
            // By due date: instalments 03 (1,200.00), 01 (1,500.00) and 02 (500.00 of 800.00 left).
            shown.toggle(2);
            shown.typeDiscount(2, QStringLiteral("200,10"));
            shown.confirm();
        })
        .then([](QWidget &discount) {
            DiscountFormDriver shown(discount);
            shown.toggle(0);
            shown.confirm();
        });
    const qint64 before = movements();
    include({});
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(env.dialogs.texts(), QStringList({customerAdvanceQuestion, customerReturnQuestion}))
        << "advances first";
    ASSERT_EQ(movements(), before + 1);
    const QString movement = lastMovement();
    EXPECT_EQ(
        number(
            QStringLiteral("SELECT SUM(VRUTILIZADO) FROM ADIANTCLIUSO WHERE NRMOVBANC = '%1'").arg(movement)),
        20010);
    EXPECT_EQ(advanceLeft("02"), 29990);
    EXPECT_EQ(advanceLeft("01"), 150000);
    EXPECT_EQ(returnLeft("0000009002"), 0);
    EXPECT_EQ(returnLeft("0000009003"), 50000);

    // The next entry sees what is left: a No to the advances still asks about the returns.
    env.dialogs.clearShown();
    env.dialogs.answer(QStringLiteral("Cli_Adian"), MsgButton::No)
        .answer(QStringLiteral("Cli_Devo"), MsgButton::Yes);
    env.modalForms.then([](QWidget &discount) {
        DiscountFormDriver shown(discount);
        EXPECT_EQ(shown.rows().RecordCount(), 1) << "the return used up is no longer offered";
        EXPECT_EQ(shown.totalAvailable(), 500.00);
        shown.cancel();
    });
    include({.value = 10.00});
    EXPECT_EQ(env.dialogs.texts(), QStringList({customerAdvanceQuestion, customerReturnQuestion}));
    EXPECT_EQ(movements(), before + 2) << "written with nothing discounted";
    EXPECT_EQ(returnLeft("0000009003"), 50000);
}

// An advance taken meanwhile by another entry refuses the include. Confirmed again with "Não" to the advance
// question, for the same customer or for another one, the entry goes without the advance chosen before.
TEST_F(IncludingWithOpenItems, AnAdvanceTakenMeanwhileRefusesTheIncludeAndANoThenGoesWithoutIt) {
    // Another customer with an advance of its own, which the operator declines.
    env.execute(QStringLiteral(
        "INSERT INTO ADIANTCLI (CDFILIAL, NRLANCTONF, NRSEQVENREC, NRPARCELAREC, CDEMPRESA, CDCLIENTE, "
        "DTATUAVENREC, VRORIGINAL) VALUES ('0101', '9000000077', '01', '01', '01', 'CLI0001', '2024-03-01', "
        "5000)"));
    struct Case {
        const char *name;
        const char *taken;    // the movement of account 001 whose entry takes 100.00 of the advance meanwhile
        const char *customer; // named before the second confirm; null: the same
        QStringList asked;
        double value;
    };
    const Case cases[] = {
        {"the same customer", "MIN", nullptr, {"Cli_Adian", "Cli_Devo"}, 1500.00},
        {"another customer", "MAX", "CLI0001", {"Cli_Adian"}, 1400.00},
    };
    qint64 left = advanceLeft("03");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        env.dialogs.clearShown();
        env.dialogs.answer(QStringLiteral("Cli_Adian"), MsgButton::Yes)
            .answer(QStringLiteral("Cli_Devo"), MsgButton::No);
        env.modalForms.then([this, &c](QWidget &discount) {
            DiscountFormDriver shown(discount);
            shown.toggle(0);
            env.execute(
                QStringLiteral("INSERT INTO ADIANTCLIUSO (CDFILIAL, NRLANCTONF, NRSEQVENREC, NRPARCELAREC, "
                               "CDREDUCONT, NRMOVBANC, VRUTILIZADO) SELECT '0101', '9000000001', '01', "
                               "'03', CDREDUCONT, %1(NRMOVBANC), 10000 FROM MOVBANCARIO WHERE CDREDUCONT "
                               "= '001' GROUP BY CDREDUCONT")
                    .arg(QLatin1String(c.taken)));
            shown.confirm();
        });
        const qint64 before = movements();
        include({.value = c.value});
        EXPECT_EQ(env.dialogs.errors(), QStringList{"Operação Bloqueada. Adiantamento já foi utilizado."});
        const QString details = env.dialogs.shown().back().details;
        EXPECT_TRUE(details.startsWith(u"Adiantamento 0101/9000000001/01/03 de ") &&
                    details.contains(u" do cliente CLI0005: restam "))
            << details.toStdString();
        EXPECT_EQ(movements(), before);
        EXPECT_EQ(advanceLeft("03"), left -= 10000);
        ASSERT_TRUE(Cli_bco11100::boInclusao) << "the operator may choose again or cancel";

        env.dialogs.clearShown();
        for (const QString &question : c.asked)
            env.dialogs.answer(question, MsgButton::No);
        if (c.customer != nullptr) {
            auto *customer = control<EditControl>("medInsClie");
            customer->setFocus();
            customer->selectAll();
            QTest::keyClick(customer, Qt::Key_Delete);
            QTest::keyClicks(customer, QString::fromLatin1(c.customer));
            control("edtDsLancamento")->setFocus();
        }
        control<QToolButton>("sbtConfirmar")->click();
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        ASSERT_EQ(movements(), before + 1);
        EXPECT_EQ(
            number(QStringLiteral(
                       "SELECT COUNT(*) FROM ADIANTCLIUSO WHERE CDREDUCONT = '050' AND NRMOVBANC = '%1'")
                       .arg(lastMovement())),
            0);
        EXPECT_EQ(advanceLeft("03"), left);
    }
}

TEST_F(IncludingWithOpenItems, ASuppliersDebitOffersItsAdvancesAndThenItsReturns) {
    env.dialogs.answer(QStringLiteral("For_Adian"), MsgButton::Yes)
        .answer(QStringLiteral("NF_DEV"), MsgButton::Yes);
    env.modalForms
        .then([](QWidget &discount) {
            DiscountFormDriver shown(discount);
            EXPECT_EQ(shown.form().windowTitle(), QStringLiteral("Descontar Adiantamento"));
            EXPECT_EQ(shown.totalAvailable(), 2550.00) << "the supplier's advances under its tax number";
            shown.cancel();
        })
        .then([](QWidget &discount) {
            DiscountFormDriver shown(discount);
            EXPECT_EQ(shown.form().windowTitle(), QStringLiteral("Descontar Devolução"));
            shown.toggle(1);
            shown.typeDiscount(1, QStringLiteral("100"));
            shown.confirm();
        });
    include({.debit = true, .value = 100.00, .partyField = "medInsForn", .party = QStringLiteral("FOR0005")});
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(env.dialogs.keys(), QStringList({"For_Adian", "NF_DEV"}));
    EXPECT_EQ(number(QStringLiteral("SELECT SUM(VRUTILIZADO) FROM NFDEVFORUSO WHERE NRMOVBANC = '%1'")
                         .arg(lastMovement())),
              10000);
    EXPECT_EQ(
        number(
            QStringLiteral("SELECT COUNT(*) FROM ADIANTFORUSO WHERE NRMOVBANC = '%1'").arg(lastMovement())),
        0)
        << "the advances' cancel discounted nothing";
}

} // namespace
