#include <functional>

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>

#include "discount/discount_form.h"
#include "framework/checks/consiste.h"
#include "support/discount_form_driver.h"
#include "support/entry_form_stand_in.h"
#include "support/form_test_environment.h"
#include "support/qt_printers.h"

using namespace bco;
using namespace bco::testing;
using Cli_bco11103::DiscountRecords;
using Cli_bco11103::PageOf;

namespace {

// The customer and the supplier of company 01 whose open items the demo data knows.
const QString customer = QStringLiteral("CLI0005");
const QString supplier = QStringLiteral("FOR0005");

// A company's tax number as the operator knows it: 12.345.678/0001-95.
QString companyTaxNumber(const QString &digits) {
    return QStringLiteral("%1.%2.%3/%4-%5")
        .arg(digits.mid(0, 2), digits.mid(2, 3), digits.mid(5, 3), digits.mid(8, 4), digits.mid(12, 2));
}

// The discount form opened by CriaDescAdi as the confirm of an entry opens it, over the entry form's services
// on the test's server, with the demo data's customer (pages 0 and 1) or supplier (pages 2 and 3).
class DiscountForm : public ::testing::Test {
protected:
    void TearDown() override {
        releaseDeferred();
        EXPECT_TRUE(Cli_bco11103::frmDescAdia.isNull()) << "the discount form outlived its showing";
    }

    Cli_bco11100::EntryRecords &entry() { return entryForm.records; }

    QString supplierTaxNumber() {
        return env
            .value(QStringLiteral("SELECT NRINSJURFORN FROM FORNECED WHERE CDFORNECED = '%1'").arg(supplier))
            .toString();
    }

    // The returned invoices the confirm of the entry form loads before it opens pages 1 and 2.
    void loadReturns(bool ofCustomer) {
        const QString method =
            ofCustomer ? QStringLiteral("GetDevolucaoCLI") : QStringLiteral("GetDevolucaoFOR");
        (ofCustomer ? entry().cdsDevolucaoCLI : entry().cdsDevolucaoFOR)
            .SetData(Consiste::CheckResultServ(
                entryForm.connection.Call(method, VariantList{"01", ofCustomer ? customer : supplier}), true,
                0));
    }

    // Customer returned invoices of these available values (and as much more of original value), unmarked.
    void customerReturns(const std::vector<double> &available) {
        ClientDataSet &rows = entry().cdsDevolucaoCLI;
        if (rows.Active())
            rows.EmptyDataSet();
        else
            rows.CreateDataSet();
        int number = 0;
        for (const double value : available) {
            rows.Append();
            rows.FieldByName(u"IDMARCADO").SetAsString(QStringLiteral("N"));
            rows.FieldByName(u"FILIDEVO").SetAsString(QStringLiteral("0101"));
            rows.FieldByName(u"NRNFDEVO").SetAsString(QString::number(++number));
            rows.FieldByName(u"DOCUMENTO").SetAsString(QStringLiteral("%1/1").arg(number));
            rows.FieldByName(u"VRDISPONIVEL").SetAsFloat(value);
            rows.FieldByName(u"VRNFDEVOL").SetAsFloat(value + 100.0);
            rows.FieldByName(u"VRDESCONTO").SetAsFloat(0.0);
            rows.Post();
        }
    }

    // Opens page `page` for an entry of `amount`; `action` works the form while it is shown, and a form it
    // leaves open is closed by its window.
    void open(int page, const std::function<void(DiscountFormDriver &)> &action, double amount = 10000.0) {
        env.modalForms.then([action](QWidget &shown) {
            DiscountFormDriver driver(shown);
            action(driver);
            if (shown.isVisible())
                shown.close();
        });
        const bool ofCustomer = page < 2;
        answered = Cli_bco11103::CriaDescAdi(entryForm, amount, ofCustomer ? customer : supplier,
                                             QStringLiteral("01"), QString::number(page),
                                             ofCustomer ? QStringLiteral("C") : QStringLiteral("F"),
                                             page == 3 ? supplierTaxNumber() : QString());
    }

    // A page's data set as the form left it when the modal call returned.
    ClientDataSet &handedBack(int page) { return Cli_bco11103::frmDescAdia->records.*PageOf(page).data; }
    // The rows the creator answered, as the entry form takes them into the insertion.
    QStringList answeredRows() {
        if (!answered)
            return {QStringLiteral("no rows answered")};
        ClientDataSet rows;
        rows.SetData(*answered);
        return DiscountFormDriver::describe(rows);
    }

    FormTestEnvironment env;
    EntryFormStandIn entryForm;
    std::optional<DataPacket> answered;
};

TEST_F(DiscountForm, EachPageShowsItsPartysItemsAndWhatIsAvailableOfThem) {
    struct Case {
        int page;
        QString caption, totalLabel, partyLabel;
        int rows;
        double total;
    };
    const Case cases[] = {
        {0, "Descontar Adiantamento", "Total de Adiantamento", "Cliente", 3, 3200.00},
        {1, "Descontar Devolução", "Total de Devolução", "Cliente", 2, 950.00},
        {2, "Descontar Devolução", "Total de Devolução", "Fornecedor", 2, 830.00},
        {3, "Descontar Adiantamento", "Total de Adiantamento", "Fornecedor", 2, 2550.00},
    };
    const QString customerTax = companyTaxNumber(
        env.value(QStringLiteral("SELECT NRINSJURCLIE FROM CLIENTE WHERE CDCLIENTE = '%1'").arg(customer))
            .toString());
    const QString supplierTax = companyTaxNumber(supplierTaxNumber());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.page);
        if (c.page == 1 || c.page == 2)
            loadReturns(c.page == 1);
        open(c.page, [&](DiscountFormDriver &shown) {
            Cli_bco11103::TfrmDescAdia &form = shown.form();
            EXPECT_EQ(form.windowTitle(), c.caption);
            EXPECT_EQ(form.findChild<QLabel *>(QStringLiteral("Label1"))->text(), c.totalLabel);
            EXPECT_EQ(form.findChild<QLabel *>(QStringLiteral("Label3"))->text(), c.partyLabel);
            EXPECT_EQ(shown.rows().RecordCount(), c.rows);
            EXPECT_EQ(shown.totalAvailable(), c.total);
            EXPECT_EQ(shown.runningTotal(), 0.0);
            const bool ofCustomer = c.page < 2;
            const auto edit = [&form](const char *name) {
                return form.findChild<QLineEdit *>(QString::fromLatin1(name));
            };
            EXPECT_EQ(edit("dbeInscCli")->isVisible(), ofCustomer);
            EXPECT_EQ(edit("dbeInscForn")->isVisible(), !ofCustomer);
            EXPECT_EQ(edit(ofCustomer ? "dbeInscCli" : "dbeInscForn")->text(),
                      ofCustomer ? customerTax : supplierTax)
                << "the first row's tax number through its person kind's mask";
            EXPECT_FALSE(edit(ofCustomer ? "dbeNmCliente" : "dbeNmFornecedor")->text().isEmpty());
            // Every heading whole ("Vr. Disponível" among them), whatever width the page states.
            const QHeaderView *header = shown.grid()->horizontalHeader();
            for (int column = 0; column < header->count(); ++column)
                EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column))
                    << shown.grid()->Model()->headerData(column, Qt::Horizontal).toString().toStdString();
            // And every returned invoice's document whole, which tells it from its neighbours.
            for (int column = 0; column < header->count(); ++column)
                if (shown.grid()->Model()->headerData(column, Qt::Horizontal).toString() == u"Doc/Série") {
                    EXPECT_GT(header->sectionSize(column),
                              shown.grid()->fontMetrics().horizontalAdvance(QStringLiteral("0000009002/1")));
                }
            shown.cancel();
        });
    }
}

// Supplier advances add each value rounded to the cent, customer advances the values as they are.
TEST_F(DiscountForm, TheTotalOfSupplierAdvancesRoundsEachTerm) {
    DiscountRecords records;
    for (ClientDataSet *rows : {&records.cdsContaAd, &records.cdsContaAdFor}) {
        rows->CreateDataSet();
        for (int i = 0; i < 2; ++i) {
            rows->Append();
            rows->FieldByName(u"VRORIGINAL").SetAsFloat(1.004);
            rows->FieldByName(u"VRTOTADIA").SetAsFloat(0.0);
            if (rows == &records.cdsContaAdFor)
                rows->FieldByName(u"VRTOTDISP").SetAsFloat(1.004);
            rows->Post();
        }
    }
    EXPECT_DOUBLE_EQ(Cli_bco11103::TotalAvailable(records.cdsContaAd, PageOf(0)), 2.008);
    EXPECT_DOUBLE_EQ(Cli_bco11103::TotalAvailable(records.cdsContaAdFor, PageOf(3)), 2.00);
}

TEST_F(DiscountForm, MarkingARowDiscountsAllThatIsAvailableOfItAndUnmarkingNothing) {
    customerReturns({150.00, 75.50});
    open(1, [](DiscountFormDriver &shown) {
        shown.toggle(0);
        EXPECT_EQ(shown.marks(), QStringList({"S 150.00", "N 0.00"}));
        EXPECT_EQ(shown.runningTotal(), 150.00);
        shown.click(1, "IDMARCADO");
        shown.key(Qt::Key_Space);
        EXPECT_EQ(shown.runningTotal(), 225.50) << "space on the mark toggles too";
        shown.toggle(0);
        EXPECT_EQ(shown.marks(), QStringList({"N 0.00", "S 75.50"}));
        EXPECT_EQ(shown.runningTotal(), 75.50);
        shown.click(1, "VRDESCONTO");
        shown.key(Qt::Key_Space);
        EXPECT_EQ(shown.marks(), QStringList({"N 0.00", "S 75.50"})) << "space elsewhere does not toggle";
        shown.cancel();
    });
}

TEST_F(DiscountForm, ARowWithNothingAvailableCannotBeSaved) {
    struct Case {
        const char *name;
        int page;
        double original, used; // a return's available value is original - used
        const char *mark;      // as the row was listed
        QString error;
    };
    const Case cases[] = {
        {"marking an advance used up", 0, 100.00, 100.00, "N", "Valor deve ser maior que zero."},
        {"marking a return used up", 1, 100.00, 100.00, "N", "Valor do desconto deve ser informado."},
        {"unmarking an advance used beyond its value", 0, 100.00, 100.01, "S",
         "Valor do desconto deve ser menor ou igual que o valor disponível."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        customerReturns({c.original - c.used});
        env.dialogs.clearShown();
        open(c.page, [&](DiscountFormDriver &shown) {
            if (c.page == 0) {
                // The server lists no such advance: the row is one a stale list would hold.
                const DataPacket listed = shown.rows().Data();
                DataPacket stale(listed.fields());
                std::vector<Variant> values;
                for (int f = 0; f < listed.fields().size(); ++f) {
                    const QString name = listed.fields()[f].name;
                    values.push_back(name == u"VRORIGINAL"  ? Variant(c.original)
                                     : name == u"VRTOTADIA" ? Variant(c.used)
                                     : name == u"IDMARCADO" ? Variant(QString::fromLatin1(c.mark))
                                                            : listed.value(0, f));
                }
                stale.appendValues(values);
                shown.rows().SetData(stale);
            }
            shown.toggle(0);
            EXPECT_EQ(env.dialogs.errors(), QStringList{c.error});
            EXPECT_EQ(shown.runningTotal(), 0.0);
            EXPECT_EQ(shown.rows().State(), DataSetState::Edit) << "the refused row stays in edit";
            shown.key(Qt::Key_Escape);
            EXPECT_EQ(shown.marks(), QStringList{QString::fromLatin1(c.mark) + QStringLiteral(" 0.00")})
                << "Escape gives the row back as it was";
            shown.cancel();
        });
    }
}

TEST_F(DiscountForm, TheDiscountOfAMarkedRowIsLoweredByTypingWithinWhatIsAvailable) {
    customerReturns({150.00, 40.00});
    open(1, [&](DiscountFormDriver &shown) {
        shown.toggle(0);
        // Enter saves the row: the total shows what was typed without a move to another row.
        shown.typeDiscount(0, QStringLiteral("80"));
        EXPECT_EQ(shown.marks(), QStringList({"S 80.00", "N 0.00"}));
        EXPECT_EQ(shown.runningTotal(), 80.00) << "the row's share replaced, not added";

        shown.typeDiscount(0, QStringLiteral("200"));
        EXPECT_EQ(env.dialogs.errors(),
                  QStringList{"Valor do desconto deve ser menor ou igual que o valor disponível."});
        EXPECT_EQ(shown.runningTotal(), 80.00);
        shown.key(Qt::Key_Escape);

        shown.typeDiscount(0, QStringLiteral("-7"));
        shown.click(1, "DOCUMENTO");
        EXPECT_EQ(shown.marks(), QStringList({"S 7.00", "N 0.00"})) << "no minus sign in the discount";

        shown.click(0, "VRDESCONTO");
        EXPECT_TRUE(shown.grid()->Editing());
        shown.key(Qt::Key_Down);
        EXPECT_FALSE(shown.grid()->Editing()) << "an unmarked row's discount is not open to typing";
        shown.cancel();
    });
}

// What is available of a partly used advance, typed back as it is shown, is within what is available.
TEST_F(DiscountForm, TheAvailableOfAPartlyUsedAdvanceTypedBackIsTaken) {
    env.execute(
        QStringLiteral("INSERT INTO ADIANTCLI (CDFILIAL, NRLANCTONF, NRSEQVENREC, NRPARCELAREC, CDEMPRESA, "
                       "CDCLIENTE, DTATUAVENREC, VRORIGINAL) VALUES ('0101', '9000000088', '01', '01', "
                       "'01', '%1', '2024-03-01', 10010)")
            .arg(customer));
    env.execute(QStringLiteral(
        "INSERT INTO ADIANTCLIUSO (CDFILIAL, NRLANCTONF, NRSEQVENREC, NRPARCELAREC, CDREDUCONT, NRMOVBANC, "
        "VRUTILIZADO) SELECT '0101', '9000000088', '01', '01', CDREDUCONT, MIN(NRMOVBANC), 20 FROM "
        "MOVBANCARIO "
        "WHERE CDREDUCONT = '001' GROUP BY CDREDUCONT"));
    open(0, [&](DiscountFormDriver &shown) {
        int row = 0;
        for (ClientDataSet &rows = shown.rows(); row < rows.RecordCount(); ++row) {
            rows.SetRecNo(row + 1);
            if (rows.FieldByName(u"NRLANCTONF").AsString() == u"9000000088")
                break;
        }
        ASSERT_LT(row, shown.rows().RecordCount());
        shown.toggle(row);
        shown.typeDiscount(row, QStringLiteral("99,90"));
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(shown.runningTotal(), 99.90);
        shown.cancel();
    });
}

TEST_F(DiscountForm, TheConfirmChecksTheTotalAndHandsBackTheRowsAsSaved) {
    struct Case {
        const char *name;
        std::vector<double> available;
        double amount;
        std::function<void(DiscountFormDriver &)> work;
        QStringList errors;
        QStringList handedBack; // empty: the form stays open
        bool byKeys = false;    // Ctrl+Enter where the focus is, rather than the button
    };
    const auto markBoth = [](DiscountFormDriver &shown) {
        shown.toggle(0);
        shown.toggle(1);
    };
    const Case cases[] = {
        {"nothing marked",
         {150.00, 20.00},
         1000.00,
         [](DiscountFormDriver &) {},
         {"Valor a descontar deve ser informado."},
         {}},
        {"more than the entry's value",
         {150.00, 20.00},
         100.00,
         [](DiscountFormDriver &shown) { shown.toggle(0); },
         {"Operação bloqueada. O valor a descontar não pode ser maior que o valor do lançamento."},
         {}},
        // Each save rounds the running total to the cent, the total available is their plain sum.
        {"more than the total available",
         {0.005, 0.005},
         1000.00,
         markBoth,
         {"Valor a descontar deve ser menor ou igual ao valor do boleto."},
         {}},
        {"a discount still being typed in its cell",
         {150.00, 20.00},
         1000.00,
         [](DiscountFormDriver &shown) {
             shown.toggle(1);
             shown.click(1, "VRDESCONTO");
             QTest::keyClick(shown.grid(), '3');
         },
         {},
         {"N 0.00", "S 3.00"},
         true},
        {"the entry's value exactly", {150.00, 20.00}, 170.00, markBoth, {}, {"S 150.00", "S 20.00"}},
    };
    // A discount typed the wrong way is refused where it stands, by the button or the keys: the row keeps
    // all that is available of it, which must not be handed back in place of what the cell shows.
    std::vector<Case> allCases(std::begin(cases), std::end(cases));
    for (const bool byKeys : {false, true})
        allCases.push_back({"a discount typed with a point for its decimals",
                            {150.00, 20.00},
                            1000.00,
                            [](DiscountFormDriver &shown) {
                                shown.toggle(0);
                                shown.click(0, "VRDESCONTO");
                                QTest::keyClick(shown.grid(), '1'); // opens the cell's editor
                                QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("2.50"));
                            },
                            {"'12.50' não é um valor válido: escreva-o como 1.234,56 ou 1234,56."},
                            {},
                            byKeys});
    for (const Case &c : allCases) {
        SCOPED_TRACE(c.name);
        customerReturns(c.available);
        env.dialogs.clearShown();
        bool stillOpen = false;
        open(
            1,
            [&](DiscountFormDriver &shown) {
                c.work(shown);
                if (c.byKeys)
                    shown.key(Qt::Key_Return, Qt::ControlModifier);
                else
                    shown.confirm();
                EXPECT_EQ(env.dialogs.errors(), c.errors);
                stillOpen = shown.form().isVisible();
                if (stillOpen)
                    shown.cancel();
            },
            c.amount);
        EXPECT_EQ(stillOpen, c.handedBack.isEmpty());
        if (!stillOpen) {
            EXPECT_EQ(answeredRows(), c.handedBack);
        }
    }
}

TEST_F(DiscountForm, CancelAndTheWindowsCloseHandBackNothing) {
    for (const bool byWindow : {false, true}) {
        SCOPED_TRACE(byWindow ? "the window's close" : "cancel");
        customerReturns({150.00});
        open(1, [&](DiscountFormDriver &shown) {
            shown.toggle(0);
            EXPECT_EQ(shown.runningTotal(), 150.00);
            if (byWindow)
                shown.form().close();
            else
                shown.cancel();
        });
        for (int page = 0; page < 4; ++page) {
            EXPECT_TRUE(handedBack(page).Active());
            EXPECT_TRUE(handedBack(page).IsEmpty()) << "page " << page;
        }
        EXPECT_EQ(answeredRows(), QStringList());
        releaseDeferred();
    }
}

} // namespace
