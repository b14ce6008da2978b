#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>

#include "entry_form_fixture.h"
#include "import/import_form.h"
#include "support/qt_printers.h"

using namespace bco;
using namespace bco::testing;

// ---- the account bar ----

TEST_F(EntryForm, LeavingTheBarWithAGoodAccountShowsItAndListsItsEntries) {
    chooseAccount(QStringLiteral("50"));
    EXPECT_EQ(env.dialogs.texts(), QStringList());
    EXPECT_EQ(text("medCdRedu"), QStringLiteral("050")) << "a short code is brought to width";
    EXPECT_EQ(text("edtCdBanco"), QStringLiteral("101"));
    EXPECT_EQ(text("medCdAgencia"), QStringLiteral("1234-5")) << "through the bank's agency picture";
    EXPECT_EQ(text("edtConta"), QStringLiteral("12345678-9")) << "through the bank's account picture";
    EXPECT_EQ(text("edtNmConta"), QStringLiteral("Conta listada"));
    EXPECT_EQ(text("lblUltMov"), QStringLiteral("15/03/2024"));
    ASSERT_TRUE(list().Active());
    EXPECT_EQ(list().RecordCount(), 12);
    EXPECT_EQ(QApplication::focusWidget(), dbgPadrao());
}

TEST_F(EntryForm, AccountsThatCannotBeUsedAreRefusedAndKeepTheFocusInTheField) {
    struct Case {
        const char *name;
        QString operatorCode, code, message;
    };
    const Case cases[] = {
        {"an empty code", "DEMO", "", "Conta corrente deve ser informada."},
        {"an unknown code", "DEMO", "99", "Conta corrente não cadastrada."},
        {"another company's account", "RESTRITO", "004",
         "Operador não relacionado a empresa da conta corrente informada."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        closeForm();
        releaseDeferred();
        env.logInAs(c.operatorCode);
        open();
        env.dialogs.clearShown();
        chooseAccount(c.code);
        EXPECT_EQ(env.dialogs.errors(), QStringList({c.message}));
        EXPECT_EQ(QApplication::focusWidget(), medCdRedu());
        EXPECT_FALSE(list().Active()) << "the list is not loaded";
        EXPECT_EQ(toolBar(), QString()) << "the form stays without an account";
        EXPECT_FALSE(ShowAviActive());
    }
}

TEST_F(EntryForm, TabbingOutOfAnEmptyCodeInsideTheBarSaysNothing) {
    QTest::keyClick(medCdRedu(), Qt::Key_Tab);
    EXPECT_EQ(env.dialogs.texts(), QStringList());
    EXPECT_EQ(QApplication::focusWidget(), control("edtCdBanco"));
}

TEST_F(EntryForm, TheDaysBalanceShowsItsAbsoluteValueMarkedCreditOrDebit) {
    struct Case {
        const char *name;
        QString code;
        qint64 cents;
        QString shown;
    };
    const Case cases[] = {
        {"a positive balance", "060", 123456, "1.234,56 CR"},
        {"a negative balance", "061", -98765, "987,65 DB"},
        {"a zero balance after another account", "062", 0, "0,00"},
        {"a balance of fourteen digits, past what one entry holds", "063", 1000000005313265LL,
         "10.000.000.053.132,65 CR"},
    };
    for (const Case &c : cases)
        env.addAccount({.code = c.code, .number = "7" + c.code, .openingCents = c.cents});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        chooseAccount(c.code);
        const TNumberEdit *balance = control<TNumberEdit>("nedSaldo");
        EXPECT_EQ(balance->Text(), c.shown);
        EXPECT_LE(balance->fontMetrics().horizontalAdvance(c.shown), balance->contentsRect().width() - 4)
            << "every digit shows";
        EXPECT_EQ(env.dialogs.texts(), QStringList());
    }
}

TEST_F(EntryForm, EnteringTheBarAgainClosesTheListAndTheToolBar) {
    chooseAccount(listed.code);
    ASSERT_TRUE(list().Active());
    medCdRedu()->setFocus();
    EXPECT_FALSE(list().Active());
    EXPECT_EQ(toolBar(), QString());
    EXPECT_FALSE(form->PageEnabled(form->tshFormulario));
    QTest::keyClick(medCdRedu(), Qt::Key_End);
    QTest::keyClick(medCdRedu(), Qt::Key_Backspace);
    EXPECT_EQ(text("edtNmConta"), QString()) << "changing the code clears the account";
    EXPECT_EQ(control<TNumberEdit>("nedSaldo")->Text(), QStringLiteral("0,00"));
}

TEST_F(EntryForm, TheAccountLookUpListsEveryAccountAndWritesThePickedCode) {
    env.lookups.pickWhere(QStringLiteral("CDREDUCONT"), listed.code);
    control<QToolButton>("sbtCdRedu")->click();
    EXPECT_EQ(env.lookups.titles(), QStringList({"Conta Corrente"}));
    EXPECT_EQ(text("medCdRedu"), listed.code);
    EXPECT_EQ(form->records.qryConta.RecordCount(), 11) << "the demo's nine accounts and the test's two";
    EXPECT_EQ(QApplication::focusWidget(), medCdRedu());
}

// ---- modes ----

TEST_F(EntryForm, ToolBarPagesAndFieldsFollowTheFormsSituation) {
    struct Case {
        const char *situation;
        std::function<void()> reach;
        QString toolBar;
        bool gridPage, formPage, fields, accountBar, navigator;
    };
    const Case cases[] = {
        {"no account", [] {}, "", true, false, false, true, true},
        {"browsing a list with entries", [&] { chooseAccount(listed.code); },
         "Incluir Alterar Excluir Procurar Verificar Filtro Contab Importar", true, true, false, true, true},
        {"browsing an empty list", [&] { chooseAccount(unlisted.code); }, "Incluir Filtro Importar", true,
         false, false, true, true},
        {"including",
         [&] {
             chooseAccount(listed.code);
             control<QToolButton>("sbtIncluir")->click();
         },
         "Cancelar Confirmar", false, true, true, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.situation);
        reopen();
        c.reach();
        EXPECT_EQ(toolBar(), c.toolBar);
        EXPECT_EQ(form->PageEnabled(form->tshFolhaDados), c.gridPage);
        EXPECT_EQ(form->PageEnabled(form->tshFormulario), c.formPage);
        EXPECT_EQ(control<QAction>("mnuFolhaDados")->isEnabled(), c.gridPage);
        EXPECT_EQ(control<QAction>("mnuFormulario")->isEnabled(), c.formPage);
        for (const char *field : {"depDataMov", "cbbTipo", "medTpLanc", "nedLancamento", "medFilial",
                                  "medCentCust", "medNrDocBanc", "medInsClie", "medInsForn"})
            EXPECT_EQ(control(field)->isEnabled(), c.fields) << field;
        EXPECT_EQ(control("edtDsLancamento")->isEnabled(), c.fields) << "the description follows its group";
        EXPECT_EQ(medCdRedu()->isEnabled(), c.accountBar);
        EXPECT_EQ(form->dbnPadrao->isEnabled(), c.navigator);
        EXPECT_EQ(control<QAction>("mnuProximo")->isEnabled(), c.navigator);
        EXPECT_EQ(form->dbtNome->GetDataSource() != nullptr, c.navigator) << "the caption follows the list";
        EXPECT_EQ(Cli_bco11100::boInclusao, c.fields);
    }
}

TEST_F(EntryForm, IncludingClearsTheFieldsAndStartsTodayOnTheFormPage) {
    chooseAccount(listed.code);
    dbgPadrao()->setFocus();
    control<QToolButton>("sbtIncluir")->click();
    EXPECT_EQ(form->ActivePage(), form->tshFormulario);
    EXPECT_EQ(QApplication::focusWidget(), control("depDataMov"));
    EXPECT_EQ(control<TDateEditPlus>("depDataMov")->GetDate(), QDate::currentDate())
        << "the machine's date, not the processing date";
    for (const char *field : {"medTpLanc", "edtDsTipoLanc", "edtDsLancamento", "medCentCust", "edtCentCust",
                              "medNrDocBanc", "medInsClie", "edtNmClie", "medInsForn", "edtNmForn"})
        EXPECT_EQ(text(field), QString()) << field;
    EXPECT_EQ(control<TNumberEdit>("nedLancamento")->Value(), 0.0);
    EXPECT_EQ(cbbTipo()->currentText(), QStringLiteral("Crédito"));
    EXPECT_EQ(text("edtCdEmpresa"), QStringLiteral("01"));
    EXPECT_EQ(text("edtNmEmpresa"), QStringLiteral("Comercial Aurora Ltda"));
    EXPECT_TRUE(control<QAction>("mnuFormulario")->isChecked());
    EXPECT_TRUE(form->records.cdsAdiantaCred.Active() && form->records.cdsAdiantaCred.IsEmpty());
    EXPECT_TRUE(Cli_bco11100::boValidaIdComp);
}

TEST_F(EntryForm, CancellingAnIncludeAsksAndOnlyYesGoesBackToTheList) {
    chooseAccount(listed.code);
    list().Locate(QStringLiteral("DSMOVICRED"), QStringLiteral("Débito 6"));
    const QString movement = list().FieldByName(u"NRMOVBANC").AsString();
    control<QToolButton>("sbtIncluir")->click();
    QTest::keyClicks(control("edtDsLancamento"), QStringLiteral("Tarifa de marco"));
    QTest::keyClicks(control("medNrDocBanc"), QStringLiteral("4321"));

    env.dialogs.answer(QStringLiteral("Canc"), MsgButton::No);
    control<QToolButton>("sbtCancelar")->click();
    EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Tarifa de marco"));
    EXPECT_EQ(text("medNrDocBanc"), QStringLiteral("4321"));
    EXPECT_TRUE(Cli_bco11100::boInclusao);
    EXPECT_EQ(toolBar(), QStringLiteral("Cancelar Confirmar"));

    env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
    control<QToolButton>("sbtCancelar")->click();
    EXPECT_FALSE(Cli_bco11100::boInclusao);
    EXPECT_EQ(toolBar(),
              QStringLiteral("Incluir Alterar Excluir Procurar Verificar Filtro Contab EmitirCheque "
                             "Importar"))
        << "browsing again, on a debit (whose cheque may be emitted)";
    EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), movement) << "back on the entry it was on";
    EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Débito 6")) << "the form page shows that entry again";
    EXPECT_FALSE(control("depDataMov")->isEnabled());
    EXPECT_FALSE(control("edtDsLancamento")->isEnabled());
    EXPECT_TRUE(medCdRedu()->isEnabled());
    EXPECT_TRUE(form->PageEnabled(form->tshFolhaDados));
    EXPECT_EQ(control<TNumberEdit>("nedSaldo")->Text(), QStringLiteral("1.010,66 CR"))
        << "the account is checked again, with its balance";
    EXPECT_EQ(env.dialogs.errors(), QStringList());
}

TEST_F(EntryForm, ADebitShownFirstOffersItsChequeAsSoonAsTheListIsLoaded) {
    env.addEntries(
        {.account = unlisted.code, .count = 3, .firstDate = QDate(2024, 3, 1), .firstNumber = 700000});
    env.execute(QStringLiteral("DELETE FROM MOVCREDBANC WHERE CDREDUCONT = '051'"));
    env.execute(QStringLiteral("DELETE FROM MOVBANCARIO WHERE CDREDUCONT = '051' AND IDMOVBANC = 'C'"));
    chooseAccount(unlisted.code);
    ASSERT_EQ(list().RecordCount(), 1);
    EXPECT_EQ(
        toolBar(),
        QStringLiteral("Incluir Alterar Excluir Procurar Verificar Filtro Contab EmitirCheque Importar"));
}

TEST_F(EntryForm, CancellingAnIncludeOnAnEmptyListShowsTheGridPageDisabled) {
    chooseAccount(unlisted.code);
    control<QToolButton>("sbtIncluir")->click();
    env.dialogs.answer(QStringLiteral("Canc"), MsgButton::Yes);
    control<QToolButton>("sbtCancelar")->click();
    EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
    EXPECT_FALSE(form->PageEnabled(form->tshFolhaDados));
    EXPECT_FALSE(control<QAction>("mnuFolhaDados")->isEnabled());
    EXPECT_EQ(toolBar(), QStringLiteral("Incluir Filtro Importar"));
    EXPECT_TRUE(list().Active()) << "the account stays chosen";
}

TEST_F(EntryForm, PagesCannotBeSwitchedWhileAnEntryIsIncludedAndTheOperatorIsToldWhy) {
    chooseAccount(listed.code);
    control<QToolButton>("sbtIncluir")->click();
    // From the page menu, and from the page's tab.
    form->ChangePage(form->tshFolhaDados);
    form->pgcPadrao->setCurrentWidget(form->tshFolhaDados);
    EXPECT_EQ(form->ActivePage(), form->tshFormulario);
    EXPECT_EQ(env.dialogs.errors(), QStringList(2, "É necessário confirmar ou cancelar a transação."));
    EXPECT_TRUE(Cli_bco11100::boInclusao) << "the refusal does not end the include";
}

// ---- the list ----

TEST_F(EntryForm, TheFormPageShowsTheCurrentEntry) {
    chooseAccount(listed.code);
    struct Case {
        const char *description, *kind, *type;
        double value;
        const char *branch, *branchName;
    };
    const Case cases[] = {
        {"Crédito 1", "Crédito", "Depósito em dinheiro", 1.37, "0101", "Aurora Matriz"},
        {"Débito 3", "Débito", "Tarifa bancária", -2.11, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        ASSERT_TRUE(list().Locate(QStringLiteral("DSMOVICRED"), QString::fromUtf8(c.description)));
        form->ChangePage(form->tshFormulario);
        EXPECT_EQ(form->ActivePage(), form->tshFormulario);
        EXPECT_EQ(text("edtDsLancamento"), QString::fromUtf8(c.description));
        EXPECT_EQ(cbbTipo()->currentText(), QString::fromUtf8(c.kind));
        EXPECT_EQ(text("medTpLanc"), QStringLiteral("0001"));
        EXPECT_EQ(text("edtDsTipoLanc"), QString::fromUtf8(c.type));
        EXPECT_EQ(control<TNumberEdit>("nedLancamento")->Value(), c.value);
        EXPECT_EQ(text("medFilial"), QString::fromUtf8(c.branch)) << "the branch typed on the entry";
        EXPECT_EQ(text("edtNmFilial"), QString::fromUtf8(c.branchName));
        EXPECT_EQ(text("medCentCust"), QStringLiteral("0001"));
        EXPECT_EQ(text("edtCentCust"), QStringLiteral("Administração"));
        EXPECT_EQ(text("edtCdEmpresa"), QStringLiteral("01"));
        EXPECT_EQ(control<TDateEditPlus>("depDataMov")->GetDate(),
                  list().FieldByName(u"DTMOVICRED").AsDateTime());
        form->ChangePage(form->tshFolhaDados);
    }
    EXPECT_EQ(env.dialogs.texts(), QStringList());
}

TEST_F(EntryForm, VerifyReloadsTheListAndKeepsTheEntryItWasOn) {
    chooseAccount(listed.code);
    list().Locate(QStringLiteral("DSMOVICRED"), QStringLiteral("Crédito 8"));
    env.addEntries(
        {.account = listed.code, .count = 3, .firstDate = QDate(2024, 2, 20), .firstNumber = 800000});
    control<QToolButton>("sbtVerificar")->click();
    EXPECT_EQ(list().RecordCount(), 15) << "entries made elsewhere appear";
    EXPECT_EQ(list().FieldByName(u"DSMOVICRED").AsString(), QStringLiteral("Crédito 8"));
    EXPECT_EQ(dbgPadrao()->currentIndex().row(), list().RecNo() - 1) << "the grid follows";
}

TEST_F(EntryForm, FindMovesToTheFirstEntryShowingTheTypedText) {
    chooseAccount(listed.code);
    env.lookups.typeFind(QStringLiteral("débito 9"), QStringLiteral("DSMOVICRED"));
    control<QToolButton>("sbtProcurar")->click();
    EXPECT_EQ(list().FieldByName(u"DSMOVICRED").AsString(), QStringLiteral("Débito 9"));
}

TEST_F(EntryForm, SwitchingCreditAndDebitClearsTheTypeAndADescriptionThatWasItsName) {
    chooseAccount(listed.code);
    control<QToolButton>("sbtIncluir")->click();
    struct Case {
        const char *name;
        QString description;
        bool leaveBetweenSwitches;
        bool typeCleared, descriptionKept;
    };
    const Case cases[] = {
        {"a description that was the type's name", "Depósito em dinheiro", true, true, false},
        {"a description of the operator's own", "Depósito do caixa", true, true, true},
        {"switching back without leaving the combo", "Depósito em dinheiro", false, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        cbbTipo()->setFocus();
        QTest::keyClick(cbbTipo(), Qt::Key_Up);
        ASSERT_EQ(cbbTipo()->currentText(), QStringLiteral("Crédito"));
        control<TMaskEdit>("medTpLanc")->SetText(QStringLiteral("0001"));
        control<QLineEdit>("edtDsTipoLanc")->setText(QStringLiteral("Depósito em dinheiro"));
        control<QLineEdit>("edtDsLancamento")->setText(c.description);
        if (c.leaveBetweenSwitches) {
            control("nedLancamento")->setFocus();
            cbbTipo()->setFocus();
        }
        QTest::keyClick(cbbTipo(), Qt::Key_Down);
        ASSERT_EQ(cbbTipo()->currentText(), QStringLiteral("Débito"));
        EXPECT_EQ(text("medTpLanc"), c.typeCleared ? QString() : QStringLiteral("0001"));
        EXPECT_EQ(text("edtDsTipoLanc"), c.typeCleared ? QString() : QStringLiteral("Depósito em dinheiro"));
        EXPECT_EQ(text("edtDsLancamento"), c.descriptionKept ? c.description : QString());
        control("nedLancamento")->setFocus();
    }
}

TEST_F(EntryForm, TheFilterButtonShowsTheDialogAndItsConfirmReloadsTheList) {
    chooseAccount(listed.code);
    form->ChangePage(form->tshFormulario);
    env.modalForms.then([](QWidget &dialog) {
        dialog.findChild<TDateEditPlus *>(QStringLiteral("depDataIni"))->SetDate(QDate(2024, 3, 4));
        dialog.findChild<QToolButton *>(QStringLiteral("sbtConfirma"))->click();
    });
    control<QAction>("mnuFiltro")->trigger();
    EXPECT_EQ(env.modalForms.shown(), QStringList({"frmFiltroLancCont"}));
    EXPECT_EQ(list().RecordCount(), 6) << "the entries of 04/03 on";
    EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
    EXPECT_EQ(toolBar(), QStringLiteral("Incluir Alterar Excluir Procurar Verificar Filtro Contab Importar"));

    // Leaving the bar again reloads with the criteria the operator confirmed.
    medCdRedu()->setFocus();
    dbgPadrao()->setFocus();
    EXPECT_EQ(list().RecordCount(), 6);
    EXPECT_EQ(env.dialogs.texts(), QStringList());
}

TEST_F(EntryForm, ComingBackToTheFormDuringAnIncludeKeepsItsFieldsOpen) {
    chooseAccount(listed.code);
    control<QToolButton>("sbtIncluir")->click();
    QWidget other;
    for (QWidget *window : {&other, static_cast<QWidget *>(form.data())}) {
        QEvent activation(QEvent::WindowActivate);
        QApplication::sendEvent(window, &activation);
    }
    EXPECT_TRUE(control("depDataMov")->isEnabled());
    EXPECT_TRUE(control("medTpLanc")->isEnabled());
}

TEST_F(EntryForm, ACodeChangedWhileTheListIsShownOffersNothingUntilTheAccountIsChecked) {
    chooseAccount(listed.code);
    // The focus reaches the code without entering the bar (it had been lost to a closed field).
    QApplication::focusWidget()->clearFocus();
    medCdRedu()->setFocus();
    QTest::keyClick(medCdRedu(), Qt::Key_End);
    QTest::keyClick(medCdRedu(), Qt::Key_Backspace);
    QTest::keyClicks(medCdRedu(), QStringLiteral("1"));
    EXPECT_FALSE(list().Active());
    EXPECT_EQ(toolBar(), QString());
    dbgPadrao()->setFocus();
    EXPECT_EQ(text("edtNmConta"), unlisted.description);
    EXPECT_EQ(toolBar(), QStringLiteral("Incluir Filtro Importar"));
}

// An import beside the form finds it through the finder the import button gives, and reloads the list and
// the balance while an account's list is browsed; an entry being typed stays as it is.
TEST_F(EntryForm, AnImportBesideTheFormReloadsTheListOnlyWhileItIsBrowsed) {
    chooseAccount(listed.code);
    control<QToolButton>("sbtImportar")->click();
    QPointer<Cli_bco11104::TfrmImportLanc> import = Cli_bco11104::frmImportLanc;
    ASSERT_FALSE(import.isNull());
    EXPECT_EQ(Cli_bco11100::OpenEntryFormFinder()(),
              static_cast<Cli_bco11100::EntryFormServices *>(form.data()));

    env.addEntries({.account = listed.code,
                    .count = 2,
                    .perDay = 2,
                    .firstDate = QDate(2024, 3, 14),
                    .firstNumber = 900100});
    form->RefreshEntryList();
    EXPECT_EQ(list().RecordCount(), 14);

    control<QToolButton>("sbtIncluir")->click();
    env.addEntries({.account = listed.code,
                    .count = 2,
                    .perDay = 2,
                    .firstDate = QDate(2024, 3, 15),
                    .firstNumber = 900200});
    form->RefreshEntryList();
    EXPECT_EQ(list().RecordCount(), 14);
    EXPECT_TRUE(control("depDataMov")->isEnabled());
    EXPECT_EQ(toolBar(), QStringLiteral("Cancelar Confirmar"));
    import->Close();
}

TEST_F(EntryForm, ClosingTheFormEndsItsModesAndDestroysTheFilterDialog) {
    chooseAccount(listed.code);
    ASSERT_FALSE(Cli_bco11102::frmFiltroLancCont.isNull()) << "the silent reload made the dialog";
    control<QToolButton>("sbtIncluir")->click();
    closeForm();
    releaseDeferred();
    EXPECT_TRUE(form.isNull());
    EXPECT_FALSE(Cli_bco11100::boStCriado);
    EXPECT_FALSE(Cli_bco11100::boInclusao);
    EXPECT_TRUE(Cli_bco11102::frmFiltroLancCont.isNull());
}

TEST_F(EntryForm, TheDescriptionTakesTheFreeWidthAndEachOperatorFindsTheWidthsTheySet) {
    const auto widths = [this] {
        QHeaderView *header = dbgPadrao()->horizontalHeader();
        return QList<int>{header->sectionSize(0), header->sectionSize(1), header->sectionSize(3)};
    };
    QList<int> defaults;
    struct Step {
        const char *name;
        const char *operatorCode;
        std::function<void()> act;        // on the form opened for the operator, before it is closed
        std::function<QList<int>()> seen; // Data, Tipo and Valor on opening
    };
    const Step steps[] = {
        {"the first opening shows the stated widths", "DEMO",
         [&] {
             defaults = widths();
             dbgPadrao()->setColumnWidth(0, 140);
             dbgPadrao()->setColumnWidth(1, 90);
         },
         [&] {
             return widths();
         }},
        {"the operator finds the widths they set", "DEMO", [] {},
         [] {
             return QList<int>{140, 90, 0};
         }},
        {"another operator starts from the stated widths", "RESTRITO",
         [&] { dbgPadrao()->setColumnWidth(3, 200); },
         [&] {
             return defaults;
         }},
        {"each keeps their own", "DEMO", [] {},
         [&] {
             return QList<int>{140, 90, defaults[2]};
         }},
        {"and the other theirs", "RESTRITO", [] {},
         [&] {
             return QList<int>{defaults[0], defaults[1], 200};
         }},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        closeForm();
        releaseDeferred();
        env.logInAs(QString::fromLatin1(step.operatorCode));
        open();
        form->resize(900, 600);
        // The list loaded resets the grid's columns: the widths stay.
        chooseAccount(listed.code);
        ASSERT_GT(list().RecordCount(), 0);
        QApplication::processEvents();
        QList<int> expected = step.seen();
        if (expected[2] == 0)
            expected[2] = widths()[2];
        EXPECT_EQ(widths(), expected);
        // Whatever the others take, the description fills the rest of the grid, growing with the window.
        QHeaderView *header = dbgPadrao()->horizontalHeader();
        EXPECT_EQ(header->length(), dbgPadrao()->viewport()->width());
        const int description = header->sectionSize(2);
        const int room = dbgPadrao()->viewport()->width();
        form->resize(1100, 600);
        QApplication::processEvents();
        ASSERT_GT(dbgPadrao()->viewport()->width(), room);
        EXPECT_EQ(header->sectionSize(2), description + dbgPadrao()->viewport()->width() - room);
        step.act();
    }
}

TEST_F(EntryForm, AWidthThatWouldHideAColumnIsNotRestored) {
    const int stated = dbgPadrao()->columnWidth(0);
    closeForm();
    releaseDeferred();
    for (const int stored : {0, 3, -40}) {
        SCOPED_TRACE(stored);
        {
            QSettings file(Session::current().layoutFile, QSettings::IniFormat);
            file.setValue(QStringLiteral("DEMO/BCO11100/dbgPadrao/DTMOVICRED"), stored);
            file.setValue(QStringLiteral("DEMO/BCO11100/dbgPadrao/TIPO"), QStringLiteral("largo"));
        }
        open();
        EXPECT_EQ(dbgPadrao()->columnWidth(0), stated);
        closeForm();
        releaseDeferred();
    }
    open();
}

TEST_F(EntryForm, TheListSaysWhichFilterIsInForceAndTheFilterHowToUndoIt) {
    auto *caption = control<QLabel>("lblFiltroAtivo");
    EXPECT_TRUE(
        control<QToolButton>("sbtFiltro")
            ->toolTip()
            .endsWith(QStringLiteral(
                "Para desfazer o filtro: Filtrar (Ctrl+L), \"Todos\" em Lançamento e em Tipo, valores "
                "zerados e Confirmar.")));
    struct Step {
        const char *name;
        std::function<void()> act;
        QString shown;
        bool marked;
    };
    const auto filter = [this](QDate start, int kind, double to) {
        env.modalForms.then([=](QWidget &dialog) {
            dialog.findChild<TDateEditPlus *>(QStringLiteral("depDataIni"))->SetDate(start);
            dialog.findChild<TNumberEdit *>(QStringLiteral("nedValorFin"))->SetValue(to);
            dialog.findChild<QWidget *>(QStringLiteral("rgpLancamento"))
                ->findChildren<QRadioButton *>()
                .at(kind)
                ->click();
            dialog.findChild<QToolButton *>(QStringLiteral("sbtConfirma"))->click();
        });
        control<QAction>("mnuFiltro")->trigger();
    };
    const Step steps[] = {
        {"no account, no list", [] {}, QString(), false},
        {"the account's list in its period", [this] { chooseAccount(listed.code); },
         QStringLiteral("Período: 14/02/2024 a 20/03/2024"), false},
        {"another period alone narrows nothing within it", [&] { filter(QDate(2024, 3, 4), 0, 0.0); },
         QStringLiteral("Período: 04/03/2024 a 20/03/2024"), false},
        {"debits up to a value are a filter in force", [&] { filter(QDate(2024, 3, 4), 2, 500.0); },
         QStringLiteral(
             "Filtro em uso: Período: 04/03/2024 a 20/03/2024 · só débitos · valor de 0,00 a 500,00"),
         true},
        {"undone as the hint says", [&] { filter(QDate(2024, 3, 4), 0, 0.0); },
         QStringLiteral("Período: 04/03/2024 a 20/03/2024"), false},
        {"the account bar entered again closes the list", [this] { medCdRedu()->setFocus(); }, QString(),
         false},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(caption->text(), step.shown);
        EXPECT_EQ(caption->font().bold(), step.marked);
        EXPECT_EQ(caption->toolTip().isEmpty(), !step.marked);
    }
}
