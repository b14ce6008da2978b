#pragma once

#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "entries/entry_form.h"
#include "filter/filter_form.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/mask_edit.h"
#include "framework/ui/number_edit.h"
#include "framework/ui/wait_animation.h"
#include "support/form_controls.h"
#include "support/form_test_environment.h"

namespace bco::testing {

using Cli_bco11100::TfrmLancCCorr;

// Accounts the tests add to the demo data: one with entries in the filter's default period
// (14/02/2024 to 20/03/2024), one without any, and three whose balances differ only in sign.
inline const rows::Account listed{.code = QStringLiteral("050"),
                                  .agency = QStringLiteral("12345"),
                                  .number = QStringLiteral("123456789"),
                                  .description = QStringLiteral("Conta listada"),
                                  .openingCents = 100000};
inline const rows::Account unlisted{.code = QStringLiteral("051"),
                                    .description = QStringLiteral("Conta vazia")};

// A screen of another module the form opened, with what it was handed.
struct OpenedScreen {
    QString code;
    Variant parameters;
};

// What the operator types on the form page while including, field by field; an empty description is
// filled with the type's name. Every field is left for the next, so that its exit runs as on the desktop.
struct Typed {
    QString date = QStringLiteral("15032024");
    bool debit = false;
    QString type = QStringLiteral("1");
    QString description{};
    double value = 150.25;
    QString branch = QStringLiteral("0101");
    QString costCentre = QStringLiteral("0001");
    QString document{};
    QString customer{};
    QString supplier{};
};

// The entry form opened as the host opens it, against the real server, with the focus in its account bar.
class EntryForm : public ::testing::Test {
protected:
    explicit EntryForm(FormTestOptions options = {})
        : env(std::move(options)) {}

    void SetUp() override {
        env.addAccount(listed);
        env.addEntries({.account = listed.code, .count = 12, .perDay = 2, .firstDate = QDate(2024, 3, 1)});
        env.addAccount(unlisted);
        open();
    }

    void TearDown() override {
        if (!form.isNull())
            closeForm();
        releaseDeferred();
        EXPECT_TRUE(Cli_bco11102::frmFiltroLancCont.isNull()) << "the filter dialog outlived its entry form";
        EXPECT_FALSE(ShowAviActive()) << "the wait animation was left on";
    }

    void open() {
        Cli_bco11100::CriaLancamento();
        form = Cli_bco11100::frmLancCCorr;
        ASSERT_FALSE(form.isNull());
        QApplication::setActiveWindow(form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form));
        medCdRedu()->setFocus();
    }

    // Closes the form and opens it again, as a case of a table that starts from a fresh form.
    void reopen() {
        closeForm();
        releaseDeferred();
        open();
    }

    // Closes the form; in the middle of an include or a change the operator answers the cancel's question
    // Yes.
    void closeForm() {
        if (form->CurrentMode() != TfrmLancCCorr::Mode::Browsing)
            env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
        form->Close();
    }

    template <class Widget = QWidget> Widget *control(const char *name) const {
        return controlOf<Widget>(*form, name);
    }
    TMaskEdit *medCdRedu() const { return control<TMaskEdit>("medCdRedu"); }
    TNewDBGrid *dbgPadrao() const { return control<TNewDBGrid>("dbgPadrao"); }
    QComboBox *cbbTipo() const { return control<QComboBox>("cbbTipo"); }
    ClientDataSet &list() const { return form->records.cdsLancamentos; }
    QString text(const char *name) const {
        QWidget *widget = control(name);
        if (auto *masked = qobject_cast<TMaskEdit *>(widget))
            return masked->Text();
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            return edit->text();
        return qobject_cast<QLabel *>(widget)->text();
    }

    // The operator types an account code in the bar and leaves it for the list.
    void chooseAccount(const QString &code) {
        medCdRedu()->setFocus();
        medCdRedu()->selectAll();
        QTest::keyClick(medCdRedu(), Qt::Key_Delete);
        QTest::keyClicks(medCdRedu(), code);
        dbgPadrao()->setFocus(Qt::MouseFocusReason);
    }

    // The operator confirms the filter with one kind chosen (0 every kind, 1 credits, 2 debits), or with the
    // criteria as they stand.
    void filterToKind(std::optional<int> kind) {
        env.modalForms.then([kind](QWidget &dialog) {
            if (kind)
                dialog.findChild<QWidget *>(QStringLiteral("rgpLancamento"))
                    ->findChildren<QRadioButton *>()
                    .at(*kind)
                    ->click();
            dialog.findChild<QToolButton *>(QStringLiteral("sbtConfirma"))->click();
        });
        control<QAction>("mnuFiltro")->trigger();
    }

    // The tool bar's enabled buttons, in its order.
    QString toolBar() const {
        QStringList on;
        for (const char *name :
             {"sbtIncluir", "sbtAlterar", "sbtExcluir", "sbtProcurar", "sbtVerificar", "sbtFiltro",
              "sbtCancelar", "sbtConfirmar", "sbtContab", "sbtEmitirCheque", "sbtImportar"})
            if (control<QToolButton>(name)->isEnabled())
                on << QString::fromLatin1(name).mid(3);
        return on.join(u' ');
    }

    void typeInto(const char *name, const QString &text) {
        auto *edit = control<EditControl>(name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    void fill(const Typed &typed) {
        typeInto("depDataMov", typed.date);
        cbbTipo()->setFocus();
        QTest::keyClick(cbbTipo(), typed.debit ? Qt::Key_Down : Qt::Key_Up);
        typeInto("medTpLanc", typed.type);
        auto *description = control<QLineEdit>("edtDsLancamento");
        description->setFocus();
        description->setText(typed.description);
        control<TNumberEdit>("nedLancamento")->setFocus();
        control<TNumberEdit>("nedLancamento")->SetValue(typed.value);
        typeInto("medFilial", typed.branch);
        typeInto("medCentCust", typed.costCentre);
        typeInto("medNrDocBanc", typed.document);
        if (!typed.customer.isEmpty())
            typeInto("medInsClie", typed.customer);
        if (!typed.supplier.isEmpty())
            typeInto("medInsForn", typed.supplier);
        description->setFocus();
    }

    FormTestEnvironment env;
    QPointer<TfrmLancCCorr> form;
};

} // namespace bco::testing
