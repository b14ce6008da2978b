#include <gtest/gtest.h>

#include <QSqlQuery>
#include <QTimer>

#include "entry_form_fixture.h"
#include "framework/checks/consiste.h"
#include "support/qt_printers.h"

using namespace bco;
using namespace bco::testing;

namespace {

// Including an entry on account 050 (company 01) of the entry form's fixture.
class Including : public EntryForm {
protected:
    void SetUp() override {
        EntryForm::SetUp();
        env.context().loadScreen = [this](const QString &code, const Variant &parameters) {
            screens.push_back({code, parameters});
        };
        chooseAccount(listed.code);
        control<QToolButton>("sbtIncluir")->click();
    }

    void confirm() { control<QToolButton>("sbtConfirmar")->click(); }

    qint64 count(const QString &sql) {
        QSqlQuery query(env.database());
        if (!query.exec(sql) || !query.next())
            ADD_FAILURE() << sql.toStdString();
        return query.value(0).toLongLong();
    }
    qint64 movements() {
        return count(QStringLiteral("SELECT COUNT(*) FROM MOVBANCARIO WHERE CDREDUCONT = '050'"));
    }
    QString stored(const QString &sql) {
        QSqlQuery query(env.database());
        if (!query.exec(sql) || !query.next())
            return QString();
        return query.value(0).toString();
    }

    std::vector<OpenedScreen> screens;
};

TEST_F(Including, ACreditOrADebitIsWrittenAndTheFormGoesBackToTheRefreshedList) {
    struct Case {
        const char *name;
        Typed typed;
        const char *table, *typeColumn;
        QString balance;
    };
    const Case cases[] = {
        {"a customer's payment",
         {.type = "2", .value = 1234.56, .customer = "CLI0001"},
         "MOVCREDBANC",
         "CDTPCREDBANC",
         "2.245,22 CR"},
        {"a bank fee",
         {.debit = true, .type = "1", .value = 10.01, .costCentre = "0005"},
         "MOVDEBIBANC",
         "CDTPDEBIBANC",
         "2.235,21 CR"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const qint64 before = movements();
        const int listed = list().RecordCount();
        if (!Cli_bco11100::boInclusao)
            control<QToolButton>("sbtIncluir")->click();
        fill(c.typed);
        confirm();
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(movements(), before + 1);
        EXPECT_EQ(list().RecordCount(), listed + 1) << "the list shows the new entry";
        EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(),
                  stored(QStringLiteral("SELECT MAX(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '050'")))
            << "and stands on it";
        EXPECT_EQ(control<TNumberEdit>("nedSaldo")->Text(), c.balance);
        EXPECT_EQ(stored(QStringLiteral("SELECT %1 FROM %2 WHERE CDREDUCONT = '050' ORDER BY NRMOVBANC DESC")
                             .arg(QString::fromLatin1(c.typeColumn), QString::fromLatin1(c.table))),
                  Consiste::Ajusta(c.typed.type, 4));
        EXPECT_FALSE(Cli_bco11100::boInclusao);
        EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
        EXPECT_FALSE(control("depDataMov")->isEnabled());
        EXPECT_TRUE(medCdRedu()->isEnabled()) << "the account bar is open again";
    }
}

TEST_F(Including, EachFieldIsCheckedWhenItIsLeft) {
    struct Case {
        const char *name;
        const char *field;
        QString typed;
        QString error;     // empty: accepted
        const char *shows; // the field itself afterwards
        QString shown;
        const char *display = nullptr; // the name shown beside it
        QString displayed{};
    };
    const Case cases[] = {
        {"a short type code", "medTpLanc", "1", "", "medTpLanc", "0001", "edtDsTipoLanc",
         "Depósito em dinheiro"},
        {"an unknown credit type", "medTpLanc", "99", "Tipo de crédito bancário não cadastrado.", "medTpLanc",
         "0099"},
        {"a branch of the account's company", "medFilial", "102", "", "medFilial", "0102", "edtNmFilial",
         "Aurora Centro"},
        {"a branch of another company", "medFilial", "0201", "Filial não cadastrada para empresa informada.",
         "medFilial", "0201"},
        {"a cost centre of the branch", "medCentCust", "5", "", "medCentCust", "0005", "edtCentCust",
         "Financeiro"},
        {"a cost centre the branch does not have", "medCentCust", "0003",
         "Centro de Custo não cadastrado para a filial informada.", "medCentCust", ""},
        {"an unknown customer", "medInsClie", "11111111111", "Cliente não cadastrado.", "medInsClie",
         "11111111111"},
        {"a day its month lacks", "depDataMov", "31022024", "'31/02/2024' não é uma data válida.",
         "depDataMov", "31/02/2024"},
        {"a value written with a decimal point", "nedLancamento", "12.50",
         "'12.50' não é um valor completo: escreva-o como 1.234,56 ou 1234,56.", "nedLancamento", "12.50"},
        {"a value written with its thousands", "nedLancamento", "1.234,56", "", "nedLancamento", "1.234,56"},
        {"a date the operator may no longer post on", "depDataMov", "01112023",
         "Operação bloqueada! Data deve ser maior ou igual a data de processamento.", "depDataMov",
         "01/11/2023"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        typeInto("medFilial", QStringLiteral("0101"));
        env.dialogs.clearShown();
        typeInto(c.field, c.typed);
        control("edtDsLancamento")->setFocus();
        EXPECT_EQ(env.dialogs.errors(), c.error.isEmpty() ? QStringList() : QStringList{c.error});
        EXPECT_EQ(QApplication::focusWidget(),
                  c.error.isEmpty() ? control("edtDsLancamento") : control(c.field));
        EXPECT_EQ(text(c.shows), c.shown);
        if (c.display != nullptr) {
            EXPECT_EQ(text(c.display), c.displayed);
        }
        control(c.field)->setFocus();
        typeInto(c.field, QString());
        control("edtDsLancamento")->setFocus();
    }
}

// The value typed as a Brazilian operator types it, thousands point and all, reaches the books whole.
TEST_F(Including, AValueTypedWithItsThousandsIsStoredToTheCent) {
    fill({.description = QStringLiteral("Depósito digitado")});
    typeInto("nedLancamento", QStringLiteral("1.234,56"));
    control("edtDsLancamento")->setFocus();
    EXPECT_EQ(text("nedLancamento"), QStringLiteral("1.234,56"));
    confirm();
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    const QString movement =
        stored(QStringLiteral("SELECT MAX(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '050'"));
    QSqlQuery query(env.database());
    ASSERT_TRUE(
        query.exec(QStringLiteral("SELECT M.VRMOVBANC, M.IDMOVBANC, M.DTMOVBANC, M.DSHISMBANC, "
                                  "C.VRMOVICRED, C.CDTPCREDBANC, C.DTMOVICRED, C.DSMOVICRED, C.CDFILIAL "
                                  "FROM MOVBANCARIO M JOIN MOVCREDBANC C ON C.CDREDUCONT = "
                                  "M.CDREDUCONT AND C.NRMOVBANC = M.NRMOVBANC WHERE M.CDREDUCONT = "
                                  "'050' AND M.NRMOVBANC = '%1'")
                       .arg(movement)));
    ASSERT_TRUE(query.next());
    QStringList row;
    for (int column = 0; column < 9; ++column)
        row << query.value(column).toString();
    EXPECT_EQ(row, QStringList({"123456", "C", "2024-03-15", "Depósito digitado(Depósito em dinheiro)",
                                "123456", "0001", "2024-03-15", "Depósito digitado", "0101"}));
}

// An entry the list in force leaves out is written all the same: the operator, seeing no new row, is told
// so, and does not type it again; an entry the list shows is not told.
TEST_F(Including, AnEntryTheFilterLeavesOutIsToldAsWritten) {
    const auto include = [this](const QString &description) {
        const qint64 before = movements();
        fill({.description = description});
        env.dialogs.clearShown();
        confirm();
        EXPECT_EQ(movements(), before + 1);
        return env.dialogs.keys().contains(QStringLiteral("Lanc_ForaDaLista"));
    };
    EXPECT_FALSE(include(QStringLiteral("Depósito na lista")));
    filterToKind(2); // debits only
    list().SetRecNo(2);
    const QString chosen = list().FieldByName(u"NRMOVBANC").AsString();
    control<QToolButton>("sbtIncluir")->click();
    EXPECT_TRUE(include(QStringLiteral("Depósito fora do filtro")));
    EXPECT_TRUE(env.dialogs.shown().back().details.contains(QStringLiteral("Depósito fora do filtro")))
        << env.dialogs.shown().back().details.toStdString();
    EXPECT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(list().FieldByName(u"NRMOVBANC").AsString(), chosen) << "back on the entry chosen before";
}

TEST_F(Including, TheTypesNameDescribesAnEntryWhoseDescriptionWasLeftEmpty) {
    typeInto("medTpLanc", QStringLiteral("2"));
    control("edtDsLancamento")->setFocus();
    EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Recebimento de cliente"));
    control<QLineEdit>("edtDsLancamento")->setText(QStringLiteral("Meu texto"));
    typeInto("medTpLanc", QStringLiteral("1"));
    control("edtDsLancamento")->setFocus();
    EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Meu texto")) << "a description typed is kept";
}

TEST_F(Including, ANamedPartyClearsTheOther) {
    const QString customer =
        stored(QStringLiteral("SELECT NRINSJURCLIE FROM CLIENTE WHERE CDCLIENTE = 'CLI0001'"));
    const QString supplier =
        stored(QStringLiteral("SELECT NRINSJURFORN FROM FORNECED WHERE CDFORNECED = 'FOR0001'"));
    typeInto("medInsForn", supplier);
    typeInto("medInsClie", customer);
    control("edtDsLancamento")->setFocus();
    EXPECT_EQ(text("edtNmClie"),
              stored(QStringLiteral("SELECT NMRAZSOCCLIE FROM CLIENTE WHERE CDCLIENTE = 'CLI0001'")));
    EXPECT_EQ(text("medInsForn"), QString()) << "the supplier is cleared";
    EXPECT_EQ(text("edtNmForn"), QString());
    EXPECT_NE(control<TMaskEdit>("medInsClie")->EditMask(), QString())
        << "shown through its person kind's mask";
}

// A tax number typed or pasted as it is printed, with its punctuation, names its party, shows through its
// mask and is written with the entry.
TEST_F(Including, ATaxNumberTypedWithItsPunctuationNamesItsParty) {
    const auto punctuated = [](const QString &digits) {
        return digits.size() == 14
                   ? QStringLiteral("%1.%2.%3/%4-%5")
                         .arg(digits.left(2), digits.mid(2, 3), digits.mid(5, 3), digits.mid(8, 4),
                              digits.mid(12))
                   : QStringLiteral("%1.%2.%3-%4")
                         .arg(digits.left(3), digits.mid(3, 3), digits.mid(6, 3), digits.mid(9));
    };
    struct Case {
        const char *name;
        bool debit;
        const char *type, *field, *table, *column, *party;
        QString taxNumber;
    };
    const Case cases[] = {
        {"a customer's credit", false, "2", "medInsClie", "MOVCREDBANC", "CDCLIENTE", "CLI0001",
         stored(QStringLiteral("SELECT NRINSJURCLIE FROM CLIENTE WHERE CDCLIENTE = 'CLI0001'"))},
        {"a supplier's debit", true, "2", "medInsForn", "MOVDEBIBANC", "CDFORNECED", "FOR0001",
         stored(QStringLiteral("SELECT NRINSJURFORN FROM FORNECED WHERE CDFORNECED = 'FOR0001'"))},
    };
    double value = 500.00;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.taxNumber.size() == 11 || c.taxNumber.size() == 14) << c.taxNumber.toStdString();
        if (!Cli_bco11100::boInclusao)
            control<QToolButton>("sbtIncluir")->click();
        fill({.debit = c.debit, .type = QString::fromLatin1(c.type), .value = value += 1});
        typeInto(c.field, punctuated(c.taxNumber));
        control("edtDsLancamento")->setFocus();
        EXPECT_EQ(text(c.field), c.taxNumber) << "held as its digits";
        env.dialogs.clearShown();
        if (c.debit)
            env.dialogs.answer(QStringLiteral("NF_DEV"), MsgButton::No);
        confirm();
        EXPECT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(stored(QStringLiteral("SELECT %1 FROM %2 WHERE CDREDUCONT = '050' AND NRMOVBANC = (SELECT "
                                        "MAX(NRMOVBANC) FROM MOVBANCARIO WHERE CDREDUCONT = '050')")
                             .arg(QLatin1String(c.column), QLatin1String(c.table))),
                  QString::fromLatin1(c.party));
    }
}

// The confirm checks in a fixed order; each refusal keeps the form including, with what was typed.
TEST_F(Including, TheConfirmRefusesInOrderAndKeepsWhatWasTyped) {
    struct Case {
        const char *name;
        Typed typed;
        QString error;
        const char *focus; // null: where it was
    };
    const Case cases[] = {
        {"no date", {.date = ""}, "Data deve ser informada.", "depDataMov"},
        {"a value of zero", {.value = 0.0}, "Valor deve ser diferente de zero.", "nedLancamento"},
        {"no type", {.type = ""}, "Tipo deve ser informado.", "medTpLanc"},
        {"an accounted type kept by customer, without one",
         {.type = "2", .description = "Recebimento"},
         "Cliente deve ser informado para contabilização correta do documento.",
         "medInsClie"},
        {"a description of blanks only",
         {.type = "5", .description = "   "},
         "Descrição deve ser informada.",
         "edtDsLancamento"},
        {"no branch", {.branch = ""}, "Filial deve ser informada.", "medFilial"},
        {"no cost centre while budgets are kept by cost centre",
         {.costCentre = ""},
         "Centro de Custo deve ser informado.",
         "medCentCust"},
        {"a date outside the accounting period",
         {.date = "10012024"},
         "Data do lançamento fora do período contábil.",
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fill(c.typed);
        env.dialogs.clearShown();
        const qint64 before = movements();
        confirm();
        EXPECT_EQ(env.dialogs.errors(), QStringList{c.error});
        if (c.focus != nullptr) {
            EXPECT_EQ(QApplication::focusWidget(), control(c.focus));
        }
        EXPECT_EQ(movements(), before);
        EXPECT_TRUE(Cli_bco11100::boInclusao);
        EXPECT_TRUE(control("depDataMov")->isEnabled()) << "the fields stay open";
        EXPECT_EQ(form->ActivePage(), form->tshFormulario);
    }
}

// The field's exit has not run when the confirm is pressed from it: the confirm reads what it holds itself.
TEST_F(Including, ConfirmPressedFromAFieldChecksWhatItHolds) {
    struct Case {
        const char *name;
        const char *field, *typed;
        QString error;
        // The field loses the focus to the confirm button's click, as it does at the screen.
        bool leftByTheClick = false;
        // The text reaches the field behind its keys, as the platform's paste of a selection would put it.
        bool behindTheKeys = false;
    };
    const QString halfway =
        QStringLiteral("'2.5' não é um valor completo: escreva-o como 1.234,56 ou 1234,56.");
    const Case cases[] = {
        {"a branch of another company", "medFilial", "0201", "Filial não cadastrada para empresa informada."},
        // Not the 150,25 the field held before: what it shows is no amount yet.
        {"a value typed halfway", "nedLancamento", "2.5", halfway},
        {"a value typed halfway, left by the click", "nedLancamento", "2.5", halfway, true},
        // Neither rounded to 12,35 nor cut to 12,34.
        {"a value with a third decimal", "nedLancamento", "12,345",
         "'12,345' tem mais algarismos do que o campo aceita: nada foi arredondado nem cortado; escreva o "
         "valor de novo.",
         true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fill({});
        if (c.behindTheKeys) {
            control(c.field)->setFocus(Qt::TabFocusReason);
            qobject_cast<QLineEdit *>(control(c.field))->setText(QString::fromUtf8(c.typed));
        } else {
            typeInto(c.field, QString::fromUtf8(c.typed));
        }
        if (c.leftByTheClick) {
            QFocusEvent left(QEvent::FocusOut, Qt::MouseFocusReason);
            QApplication::sendEvent(control(c.field), &left);
        }
        const qint64 before = movements();
        env.dialogs.clearShown();
        confirm();
        EXPECT_EQ(env.dialogs.errors(), QStringList{c.error});
        EXPECT_EQ(QApplication::focusWidget(), control(c.field));
        EXPECT_EQ(text(c.field), QString::fromUtf8(c.typed)) << "what was typed stays";
        EXPECT_EQ(movements(), before);
        EXPECT_TRUE(Cli_bco11100::boInclusao);
    }
}

TEST_F(Including, TheDuplicateQuestionShowsTheMovementAndOnlyYesWritesItAgain) {
    // The description fills its field, so that the stored history (40 characters) ends in a word.
    const Typed typed{
        .description = "Depósito do caixa da loja do centro, dia", .value = 321.00, .document = "778899"};
    fill(typed);
    confirm();
    ASSERT_EQ(env.dialogs.errors(), QStringList());
    const qint64 once = movements();
    // Stored as a workbook's import stores it, without the zeros the form brings it to its width with.
    env.execute(
        QStringLiteral("UPDATE MOVBANCARIO SET NRDOCMBANC = '778899' WHERE NRDOCMBANC = '0000778899'"));

    control<QToolButton>("sbtIncluir")->click();
    fill(typed);
    env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::No);
    confirm();
    ASSERT_EQ(env.dialogs.shown().size(), 1u);
    const ScriptedDialogs::Shown &question = env.dialogs.shown().front();
    EXPECT_EQ(question.text,
              QStringLiteral("Lançamento em conta corrente já cadastrado. Confirma operação?"));
    EXPECT_TRUE(question.details.contains(QStringLiteral("de 15/03/2024, documento 778899: 321,00 "
                                                         "Depósito do caixa da loja do centro, dia"
                                                         "(Depósito em dinheiro)")))
        << question.details.toStdString();
    EXPECT_EQ(movements(), once);
    EXPECT_TRUE(Cli_bco11100::boInclusao) << "still including: confirm or cancel";
    EXPECT_EQ(toolBar(), QStringLiteral("Cancelar Confirmar"));
    EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
    EXPECT_FALSE(control("depDataMov")->isEnabled());

    env.dialogs.answer(QStringLiteral("LANCA_JA_CAD"), MsgButton::Yes);
    confirm();
    EXPECT_EQ(movements(), once + 1);
    EXPECT_FALSE(Cli_bco11100::boInclusao);
}

// The form repaints while the confirm writes; a command given then (a second click on Confirm, a Cancel)
// does not start inside it: the entry is written once, nothing is asked, and the form is back on the list.
TEST_F(Including, ACommandGivenWhileTheConfirmWritesIsNotStartedInsideIt) {
    const char *const commands[] = {"sbtConfirmar", "sbtCancelar"};
    double value = 410.00;
    for (const char *command : commands) {
        SCOPED_TRACE(command);
        if (!Cli_bco11100::boInclusao)
            control<QToolButton>("sbtIncluir")->click();
        fill({.description = QStringLiteral("Clicado de novo"), .value = value += 1});
        const qint64 before = movements();
        env.dialogs.clearShown();
        bool given = false;
        QTimer::singleShot(0, form, [this, command, &given] {
            given = Cli_bco11100::boInclusao;
            control<QToolButton>(command)->click();
        });
        confirm();
        EXPECT_TRUE(given) << "the command was not given while the confirm ran";
        EXPECT_EQ(movements(), before + 1);
        EXPECT_TRUE(env.dialogs.shown().empty()) << env.dialogs.shown().front().text.toStdString();
        EXPECT_FALSE(Cli_bco11100::boInclusao);
    }
}

// What the server answers instead of writing: the form stays including with everything typed.
TEST_F(Including, AnEntryTheServerCannotWriteLeavesTheFormIncluding) {
    struct Case {
        const char *name;
        Typed typed;
        QStringList errors;
        int screens;
    };
    const Case cases[] = {
        {"a type posting to a synthetic account", {.type = "11", .description = "A classificar"}, {}, 1},
        {"a debit beyond its type's budget",
         {.debit = true, .type = "6", .description = "Impostos", .value = 50.01},
         {"Lançamento não foi incluído pois supera o valor orçado."},
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fill(c.typed);
        env.dialogs.clearShown();
        screens.clear();
        const qint64 before = movements();
        confirm();
        EXPECT_EQ(env.dialogs.errors(), c.errors);
        ASSERT_EQ(static_cast<int>(screens.size()), c.screens);
        if (c.screens > 0) {
            EXPECT_EQ(screens[0].code, QStringLiteral("CTB10200"));
            const VariantList &handed = screens[0].parameters.array();
            ASSERT_EQ(handed.size(), 5u);
            EXPECT_EQ(handed[0].toText(), QStringLiteral("01"));
            EXPECT_EQ(handed[1].toText(), QString());
            EXPECT_EQ(handed[2].packet().rowCount(), 2) << "the lines that could not be written";
            EXPECT_EQ(handed[4].packet().value(0, u"CDERROTEMP").toText(), QStringLiteral("002"));
        }
        EXPECT_EQ(movements(), before);
        EXPECT_TRUE(Cli_bco11100::boInclusao);
        EXPECT_EQ(text("edtDsLancamento"), c.typed.description);
        EXPECT_TRUE(control("depDataMov")->isEnabled());
    }
}

TEST_F(Including, TheEntryTakesTheCostCentreTypedElseTheBranchsElseTheCompanys) {
    // Budgets kept by company: the cost centre is not mandatory.
    env.execute(QStringLiteral("UPDATE GERPARAMGERAL SET IDTIPOORCA = 'E'"));
    reopen();
    env.context().loadScreen = [this](const QString &code, const Variant &parameters) {
        screens.push_back({code, parameters});
    };
    chooseAccount(listed.code);
    struct Case {
        const char *name;
        QString branch, costCentre, stored;
    };
    const Case cases[] = {
        {"typed", "0101", "0005", "0005"},
        {"the default of the branch", "0101", "", "0001"},
        {"no branch default, the company default", "0102", "", "0001"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        control<QToolButton>("sbtIncluir")->click();
        fill({.type = "5", .description = c.name, .branch = c.branch, .costCentre = c.costCentre});
        confirm();
        ASSERT_EQ(env.dialogs.errors(), QStringList());
        EXPECT_EQ(stored(QStringLiteral("SELECT CDCENTCUST FROM MOVCREDBANC WHERE CDREDUCONT = '050' AND "
                                        "DSMOVICRED = '%1'")
                             .arg(QString::fromUtf8(c.name))),
                  c.stored);
    }
}

TEST_F(Including, TheHistoryIsTheDescriptionAndTheTypesNameCutAt40) {
    fill({.description = QStringLiteral("Depósito em dinheiro feito no caixa 12")});
    confirm();
    ASSERT_EQ(env.dialogs.errors(), QStringList());
    EXPECT_EQ(stored(QStringLiteral(
                  "SELECT DSHISMBANC FROM MOVBANCARIO WHERE CDREDUCONT = '050' ORDER BY NRMOVBANC "
                  "DESC")),
              QStringLiteral("Depósito em dinheiro feito no caixa 12(D"));
}

TEST_F(Including, TheLookUpsFillTheirFieldsAndKeepTheInclude) {
    env.lookups.pickWhere(QStringLiteral("CDTPCREDBANC"), QStringLiteral("0002"))
        .pickWhere(QStringLiteral("CDFILIAL"), QStringLiteral("0102"))
        .pickWhere(QStringLiteral("CDCENTCUST"), QStringLiteral("0004"))
        .pickWhere(QStringLiteral("CDCLIENTE"), QStringLiteral("CLI0002"));
    // A look-up opens by its button, or by F9 in its field.
    control<QToolButton>("btpTipoLanc")->click();
    control<QToolButton>("btnFilial")->click();
    for (const char *field : {"medCentCust", "medInsClie"}) {
        QWidget *edit = control(field);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_F9);
    }
    EXPECT_EQ(env.lookups.titles(),
              QStringList({"Tipo de Crédito Bancário", "Filial", "Centro de Custo ", "Cliente"}));
    EXPECT_EQ(text("medTpLanc"), QStringLiteral("0002"));
    EXPECT_EQ(text("edtDsLancamento"), QStringLiteral("Recebimento de cliente"));
    EXPECT_EQ(text("edtNmFilial"), QStringLiteral("Aurora Centro"));
    EXPECT_EQ(text("edtCentCust"), QStringLiteral("Logística"));
    EXPECT_EQ(text("edtNmClie"),
              stored(QStringLiteral("SELECT NMRAZSOCCLIE FROM CLIENTE WHERE CDCLIENTE = 'CLI0002'")));
    EXPECT_TRUE(Cli_bco11100::boInclusao) << "a pick never starts a change";
}

TEST_F(Including, TheValueTakesNoMinusSignAndNineIntegerDigits) {
    auto *value = control<TNumberEdit>("nedLancamento");
    value->setFocus();
    value->selectAll();
    QTest::keyClicks(value, QStringLiteral("-123"));
    EXPECT_EQ(value->Value(), 123.0)
        << "a minus refused before anything was typed leaves what is typed after";
    QTest::keyClicks(value, QStringLiteral("4567890"));
    EXPECT_EQ(value->Text(), QStringLiteral("123456789"));
    EXPECT_TRUE(value->Unfinished()) << "the tenth digit refused: 123456789 is not what was typed";
}

} // namespace
