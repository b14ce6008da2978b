#include <functional>

#include <gtest/gtest.h>

#include <QApplication>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTest>

#include "entry_model/entry_list_loader.h"
#include "filter/filter_form.h"
#include "filter/radio_group.h"
#include "framework/ui/buttons.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/lookup_dialogs.h"
#include "framework/ui/number_edit.h"
#include "support/case_name.h"
#include "support/entry_form_stand_in.h"
#include "support/form_controls.h"
#include "support/form_test_environment.h"
#include "support/private_config_folder.h"
#include "support/qt_printers.h"

using namespace bco;
using namespace bco::testing;
using Cli_bco11102::TfrmFiltroLancCont;

namespace {

const QString dateFormat = QStringLiteral("dd/MM/yyyy");

QDate day(const char *text) {
    return QDate::fromString(QString::fromLatin1(text), dateFormat);
}

// The values of one field over every row of a data set.
QStringList column(const ClientDataSet &dataSet, const char *fieldName) {
    QStringList values;
    const Field &field = dataSet.FieldByName(QString::fromLatin1(fieldName));
    for (int row = 0; row < dataSet.RecordCount(); ++row) {
        const ClientDataSet::ActiveRowScope reading(dataSet, row);
        values << field.AsString();
    }
    return values;
}

// The saved criteria in one line, so that a comparison shows what differs.
QString describe(const Cli_bco11102::TFILTRO &filter) {
    return QStringLiteral("%1 to %2, values %3 to %4, kind %5, list %6 '%7'")
        .arg(filter.startDate.toString(dateFormat), filter.endDate.toString(dateFormat))
        .arg(filter.valueFrom)
        .arg(filter.valueTo)
        .arg(filter.entryKind)
        .arg(filter.types.listChosen)
        .arg(filter.types.typeList);
}

QStringList distinct(QStringList values) {
    values.removeDuplicates();
    values.sort();
    return values;
}

// The dialog's controls that the tests work, found by their names.
struct Controls {
    explicit Controls(const QWidget &dialog)
        : depDataIni(controlOf<TDateEditPlus>(dialog, "depDataIni"))
        , depDataFin(controlOf<TDateEditPlus>(dialog, "depDataFin"))
        , nedValorIni(controlOf<TNumberEdit>(dialog, "nedValorIni"))
        , nedValorFin(controlOf<TNumberEdit>(dialog, "nedValorFin"))
        , rgpLancamento(controlOf<Cli_bco11102::TRadioGroup>(dialog, "rgpLancamento"))
        , rbtTodosTipo(controlOf<QRadioButton>(dialog, "rbtTodosTipo"))
        , rbtListaTipo(controlOf<QRadioButton>(dialog, "rbtListaTipo"))
        , sbtListTipo(controlOf<TBtnPesquisa>(dialog, "sbtListTipo")) {}

    TDateEditPlus *depDataIni;
    TDateEditPlus *depDataFin;
    TNumberEdit *nedValorIni;
    TNumberEdit *nedValorFin;
    Cli_bco11102::TRadioGroup *rgpLancamento;
    QRadioButton *rbtTodosTipo;
    QRadioButton *rbtListaTipo;
    TBtnPesquisa *sbtListTipo;
};

Controls of(const QWidget &dialog) {
    return Controls(dialog);
}

QRadioButton *kindButton(TfrmFiltroLancCont &dialog, int item) {
    return of(dialog).rgpLancamento->findChildren<QRadioButton *>().at(item);
}

// A click on a radio button's mark, which is where it takes a click whatever room its caption leaves.
void click(QWidget *control) {
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, control->height() / 2));
}

// The criteria an operator sets in the dialog; the dialog's own values where a member is left out.
struct Criteria {
    QString startDate = QStringLiteral("keep");
    QString endDate = QStringLiteral("keep");
    double valueFrom = -1.0;
    double valueTo = -1.0;
    int kind = -1;
    bool typeListChosen = false;
    const char *typedValueTo = nullptr; // typed into its field, which keeps the focus
};

void set(TfrmFiltroLancCont &dialog, const Criteria &criteria) {
    if (criteria.startDate != u"keep")
        of(dialog).depDataIni->SetText(criteria.startDate);
    if (criteria.endDate != u"keep")
        of(dialog).depDataFin->SetText(criteria.endDate);
    if (criteria.valueFrom >= 0.0)
        of(dialog).nedValorIni->SetValue(criteria.valueFrom);
    if (criteria.valueTo >= 0.0)
        of(dialog).nedValorFin->SetValue(criteria.valueTo);
    if (criteria.kind >= 0)
        click(kindButton(dialog, criteria.kind));
    if (criteria.typeListChosen)
        click(of(dialog).rbtListaTipo);
    if (criteria.typedValueTo != nullptr) {
        of(dialog).nedValorFin->setFocus();
        of(dialog).nedValorFin->selectAll();
        QTest::keyClicks(of(dialog).nedValorFin, QString::fromUtf8(criteria.typedValueTo));
    }
}

// The dialog as the entry form makes it, over the entry form's services.
class FilterDialog : public ::testing::Test {
protected:
    void TearDown() override {
        delete Cli_bco11102::frmFiltroLancCont.data();
        releaseDeferred();
    }

    bco::testing::PrivateConfigFolder config;

    // The silent reload the entry form runs whenever it needs its list.
    void reload(const QString &account = QStringLiteral("001")) {
        Cli_bco11102::CriaFiltroLancCont(entryForm, Cli_bco11102::frmFiltroLancCont, nullptr,
                                         QStringLiteral("ESCONDE_FILTRO"), account);
    }

    // The filter button: the dialog is shown and made active as on the desktop, `action` works on it, and
    // a dialog the action leaves open is closed by its window, as the operator would.
    void open(const std::function<void(TfrmFiltroLancCont &)> &action,
              const QString &account = QStringLiteral("001")) {
        env.modalForms.then([action](QWidget &form) {
            form.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
            action(static_cast<TfrmFiltroLancCont &>(form));
            if (form.isVisible())
                form.close();
        });
        Cli_bco11102::CriaFiltroLancCont(entryForm, Cli_bco11102::frmFiltroLancCont, nullptr,
                                         QStringLiteral("BOTAO_FILTRO"), account);
    }

    // Sets the criteria and confirms them.
    void confirm(const Criteria &criteria, const QStringList &pickedTypes = {}) {
        open([&](TfrmFiltroLancCont &dialog) {
            set(dialog, criteria);
            if (!pickedTypes.isEmpty()) {
                env.lookups.markKeys(pickedTypes);
                of(dialog).sbtListTipo->click();
            }
            dialog.sbtConfirma->click();
        });
    }

    TfrmFiltroLancCont &dialog() { return *Cli_bco11102::frmFiltroLancCont; }
    ClientDataSet &list() { return entryForm.EntryList(); }
    // What the last confirm sent, as the entry form keeps it for the deletion.
    const Cli_bco11102::TLancQuery &sent() const { return entryForm.query; }

    qint64 count(const QString &sql) {
        QSqlQuery query(env.database());
        if (!query.exec(sql) || !query.next())
            ADD_FAILURE() << sql.toStdString();
        return query.value(0).toLongLong();
    }

    // Enough entries that every account has entries of most types within any of the periods below.
    FormTestEnvironment env{FormTestOptions{.demoEntries = 3000}};
    EntryFormStandIn entryForm;
};

TEST_F(FilterDialog, StartsFromThePeriodAroundTheProcessingDateThatTheBankParametersGive) {
    reload();
    EXPECT_EQ(dialog().SavedFilter().startDate, day("14/02/2024"));
    EXPECT_EQ(dialog().SavedFilter().endDate, day("20/03/2024"));
    const qint64 expected =
        count("SELECT (SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND DTMOVICRED BETWEEN "
              "'2024-02-14' AND '2024-03-20') + (SELECT COUNT(*) FROM MOVDEBIBANC WHERE CDREDUCONT = '001' "
              "AND DTMOVIDEBI BETWEEN '2024-02-14' AND '2024-03-20')");
    ASSERT_GT(expected, 0);
    EXPECT_EQ(list().RecordCount(), expected);

    open([](TfrmFiltroLancCont &shown) {
        EXPECT_EQ(of(shown).depDataIni->Text(), "14/02/2024");
        EXPECT_EQ(of(shown).depDataFin->Text(), "20/03/2024");
        EXPECT_EQ(of(shown).nedValorIni->Value(), 0.0);
        EXPECT_TRUE(of(shown).rbtTodosTipo->isChecked());
        EXPECT_FALSE(of(shown).sbtListTipo->isEnabled());
        EXPECT_EQ(of(shown).rgpLancamento->ItemIndex(), 0);
    });
}

TEST_F(FilterDialog, WithoutBankParametersThePeriodIsTheProcessingDateAlone) {
    env.execute(QStringLiteral("DELETE FROM PARAMBCO"));
    reload();
    EXPECT_EQ(dialog().SavedFilter().startDate, day("15/03/2024"));
    EXPECT_EQ(dialog().SavedFilter().endDate, day("15/03/2024"));
}

// The confirm refuses criteria in a fixed order, each with its message and the focus on the field to mend.
struct Refusal {
    const char *name;
    Criteria criteria;
    const char *message;
    const char *focus;
};

class ConfirmRefusal : public FilterDialog, public ::testing::WithParamInterface<Refusal> {};

const Refusal refusals[] = {
    {"a start date that is no date",
     {.startDate = "31/02/2024"},
     "'31/02/2024' não é uma data válida.",
     "depDataIni"},
    {"an end date before day zero",
     {.endDate = "01/01/1899"},
     "'01/01/1899' não é uma data válida.",
     "depDataFin"},
    {"a start date without an end date", {.endDate = ""}, "Data final deve ser informada.", "depDataFin"},
    {"an end date without a start date", {.startDate = ""}, "Data inicial deve ser informada.", "depDataIni"},
    {"an end date before the start date",
     {.startDate = "10/03/2024", .endDate = "09/03/2024"},
     "Data final deve ser maior ou igual à data inicial.",
     "depDataFin"},
    {"a value from without a value to",
     {.valueFrom = 50.0, .valueTo = 0.0},
     "Valor final deve ser informado.",
     "nedValorFin"},
    {"a value to below the value from",
     {.valueFrom = 100.0, .valueTo = 99.99},
     "Valor final deve ser maior ou igual ao valor inicial.",
     "nedValorFin"},
    {"a value to typed halfway, not read as the one it replaces",
     {.valueFrom = 1.0, .valueTo = 300.0, .typedValueTo = "2.5"},
     "'2.5' não é um valor completo: escreva-o como 1.234,56 ou 1234,56.",
     "nedValorFin"},
    {"a type list chosen with no type picked",
     {.typeListChosen = true},
     "Tipo deve ser informado.",
     "rbtListaTipo"},
    {"the dates before the values",
     {.endDate = "", .valueFrom = 50.0, .valueTo = 0.0, .typeListChosen = true},
     "Data final deve ser informada.",
     "depDataFin"},
    {"the values before the types",
     {.valueFrom = 50.0, .valueTo = 10.0, .typeListChosen = true},
     "Valor final deve ser maior ou igual ao valor inicial.",
     "nedValorFin"},
};

TEST_P(ConfirmRefusal, ShowsItsMessageFocusesTheFieldAndKeepsTheListAndTheSavedCriteria) {
    const Refusal &refusal = GetParam();
    reload();
    const int listed = list().RecordCount();
    const QString saved = describe(dialog().SavedFilter());
    env.dialogs.clearShown();
    open([&](TfrmFiltroLancCont &shown) {
        set(shown, refusal.criteria);
        shown.sbtConfirma->click();
        EXPECT_TRUE(shown.isVisible());
        ASSERT_NE(shown.focusWidget(), nullptr);
        EXPECT_EQ(shown.focusWidget()->objectName(), refusal.focus);
    });
    EXPECT_EQ(env.dialogs.errors(), QStringList{QString::fromUtf8(refusal.message)});
    EXPECT_EQ(list().RecordCount(), listed);
    EXPECT_EQ(describe(dialog().SavedFilter()), saved);
}

INSTANTIATE_TEST_SUITE_P(FilterDialog, ConfirmRefusal, ::testing::ValuesIn(refusals), CaseName());

// What the entry form keeps of the criteria (its query, which a deletion sends, and the caption's) are those
// of the rows it shows: criteria whose list the server did not give, or that the operator dropped, are not.
TEST_F(FilterDialog, CriteriaWhoseListWasNotLoadedLeaveTheQueryAndTheCaptionAsTheRowsShown) {
    reload();
    const int listed = list().RecordCount();
    const QString saved = describe(dialog().SavedFilter());
    const auto query = [this] {
        return QStringList{QString::number(sent().valueFrom),
                           QString::number(sent().valueTo),
                           sent().allValues,
                           sent().entryKind,
                           sent().typeList,
                           sent().allTypes};
    };
    const QStringList queried = query();
    const struct Case {
        const char *name;
        std::function<void(TfrmFiltroLancCont &)> work;
        int errors;
    } cases[] = {
        {"the list not loaded",
         [&](TfrmFiltroLancCont &shown) {
             set(shown, {.valueFrom = 1.0, .valueTo = 300.0, .kind = 2});
             env.execute(QStringLiteral("DELETE FROM SESSAO"));
             shown.sbtConfirma->click();
             EXPECT_TRUE(shown.isVisible());
         },
         1},
        {"types picked, then the dialog closed",
         [&](TfrmFiltroLancCont &shown) {
             set(shown, {.kind = 2, .typeListChosen = true});
             env.lookups.markKeys({QStringLiteral("D0001")});
             of(shown).sbtListTipo->click();
         },
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        env.dialogs.clearShown();
        open(c.work);
        EXPECT_EQ(env.dialogs.errors().size(), c.errors) << env.dialogs.texts().join(u'|').toStdString();
        EXPECT_EQ(list().RecordCount(), listed);
        EXPECT_EQ(describe(dialog().SavedFilter()), saved);
        EXPECT_EQ(query(), queried);
    }
}

// Both value fields 0 lift the value limit; otherwise the limits themselves are inside the range sent.
struct ValueRange {
    const char *name;
    double from, to;
    const char *allValues;
    double queryFrom, queryTo;
    const char *described; // the list's caption, after the period
};

class ConfirmedValues : public FilterDialog, public ::testing::WithParamInterface<ValueRange> {};

const ValueRange valueRanges[] = {
    {"no values set no limit", 0.0, 0.0, "T", -0.001, 0.001, ""},
    {"equal values keep that value", 100.0, 100.0, "", 99.999, 100.001, " · valor de 100,00 a 100,00"},
    {"a value to alone is an upper limit", 0.0, 50.0, "", -0.001, 50.001, " · valor de 0,00 a 50,00"},
    {"cents count at both ends", 5.5, 120.25, "", 5.499, 120.251, " · valor de 5,50 a 120,25"},
};

TEST_P(ConfirmedValues, AreSentWithTheMarginAndTheAllValuesFlagAndNarrowTheList) {
    const ValueRange &range = GetParam();
    reload();
    confirm({.valueFrom = range.from, .valueTo = range.to});
    const Cli_bco11102::TLancQuery &query = sent();
    EXPECT_EQ(query.allValues, QString::fromLatin1(range.allValues));
    EXPECT_DOUBLE_EQ(query.valueFrom, range.queryFrom);
    EXPECT_DOUBLE_EQ(query.valueTo, range.queryTo);
    EXPECT_EQ(Cli_bco11102::DescribeFilter(dialog().SavedFilter()),
              "Período: 14/02/2024 a 20/03/2024" + QString::fromUtf8(range.described));
    EXPECT_EQ(Cli_bco11102::FilterNarrows(dialog().SavedFilter()), *range.described != '\0');

    const auto limit = [&](const char *valueColumn) {
        if (query.allValues == u"T")
            return QString();
        return QStringLiteral(" AND %1 BETWEEN %2 AND %3")
            .arg(QString::fromLatin1(valueColumn))
            .arg(qRound64(range.from * 100))
            .arg(qRound64(range.to * 100));
    };
    const qint64 expected =
        count(QStringLiteral(
                  "SELECT (SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND DTMOVICRED BETWEEN "
                  "'2024-02-14' AND '2024-03-20'%1) + (SELECT COUNT(*) FROM MOVDEBIBANC WHERE CDREDUCONT = "
                  "'001' AND DTMOVIDEBI BETWEEN '2024-02-14' AND '2024-03-20'%2)")
                  .arg(limit("VRMOVICRED"), limit("VRMOVIDEBI")));
    EXPECT_EQ(list().RecordCount(), expected);
}

INSTANTIATE_TEST_SUITE_P(FilterDialog, ConfirmedValues, ::testing::ValuesIn(valueRanges), CaseName());

// Typed as a Brazilian operator types them, with the thousands point, the limits are those amounts.
TEST_F(FilterDialog, ValuesTypedWithTheirThousandsFilterOnThoseAmounts) {
    reload();
    open([](TfrmFiltroLancCont &shown) {
        for (auto [edit, typed] :
             {std::pair{of(shown).nedValorIni, "1.000,00"}, std::pair{of(shown).nedValorFin, "2.500"}}) {
            edit->setFocus();
            QTest::keyClicks(edit, QString::fromLatin1(typed));
        }
        shown.sbtConfirma->click();
    });
    EXPECT_EQ(dialog().SavedFilter().valueFrom, 1000.0);
    EXPECT_EQ(dialog().SavedFilter().valueTo, 2500.0);
    EXPECT_DOUBLE_EQ(sent().valueFrom, 999.999);
    const qint64 expected = count("SELECT (SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND "
                                  "DTMOVICRED BETWEEN '2024-02-14' "
                                  "AND '2024-03-20' AND VRMOVICRED BETWEEN 100000 AND 250000) + (SELECT "
                                  "COUNT(*) FROM MOVDEBIBANC WHERE "
                                  "CDREDUCONT = '001' AND DTMOVIDEBI BETWEEN '2024-02-14' AND '2024-03-20' "
                                  "AND VRMOVIDEBI BETWEEN 100000 "
                                  "AND 250000)");
    ASSERT_GT(expected, 0);
    EXPECT_EQ(list().RecordCount(), expected);
}

// The entry kind and the picked types narrow the list to what they name; a type's whole key (kind letter
// and four-character code) reaches the server.
struct Narrowing {
    const char *name;
    int kind;
    QStringList picked;
    const char *pickListTitle;
    QStringList kinds;
    QStringList types;     // empty: any
    const char *described; // the list's caption, after the period
};

class ConfirmedKindAndTypes : public FilterDialog, public ::testing::WithParamInterface<Narrowing> {};

const Narrowing narrowings[] = {
    {"credits", 1, {}, "", {"C"}, {}, " · só créditos"},
    {"debits", 2, {}, "", {"D"}, {}, " · só débitos"},
    {"picked credit types",
     1,
     {"C0002"},
     "Tipo de Crédito Bancário",
     {"C"},
     {"0002"},
     " · só créditos · tipos C0002"},
    {"picked debit types",
     2,
     {"D0001", "D0002"},
     "Tipo de Débito Bancário",
     {"D"},
     {"0001", "0002"},
     " · só débitos · tipos D0001, D0002"},
    {"picked types of both kinds",
     0,
     {"C0001", "D0001"},
     "Tipo",
     {"C", "D"},
     {"0001"},
     " · tipos C0001, D0001"},
};

TEST_P(ConfirmedKindAndTypes, ListOnlyTheEntriesTheyName) {
    const Narrowing &narrowing = GetParam();
    reload();
    const int everything = list().RecordCount();
    confirm({.kind = narrowing.kind, .typeListChosen = !narrowing.picked.isEmpty()}, narrowing.picked);
    ASSERT_GT(list().RecordCount(), 0);
    EXPECT_LT(list().RecordCount(), everything);
    EXPECT_EQ(distinct(column(list(), "DEBCRED")), narrowing.kinds);
    if (!narrowing.types.isEmpty()) {
        EXPECT_EQ(distinct(column(list(), "CDTIPO")), narrowing.types);
        EXPECT_EQ(env.lookups.titles(), QStringList{QString::fromUtf8(narrowing.pickListTitle)});
        EXPECT_EQ(sent().allTypes, "");
        EXPECT_EQ(sent().typeList, CodeListText(narrowing.picked));
    } else {
        EXPECT_EQ(sent().allTypes, "T");
        EXPECT_EQ(sent().typeList, "");
    }
    EXPECT_EQ(Cli_bco11102::DescribeFilter(dialog().SavedFilter()),
              "Período: 14/02/2024 a 20/03/2024" + QString::fromUtf8(narrowing.described));
    EXPECT_TRUE(Cli_bco11102::FilterNarrows(dialog().SavedFilter()));
}

INSTANTIATE_TEST_SUITE_P(FilterDialog, ConfirmedKindAndTypes, ::testing::ValuesIn(narrowings), CaseName());

TEST_F(FilterDialog, ChangingTheKindDropsTheTypesPickedForTheOldOne) {
    reload();
    open([&](TfrmFiltroLancCont &shown) {
        click(kindButton(shown, 1));
        click(of(shown).rbtListaTipo);
        EXPECT_TRUE(of(shown).sbtListTipo->isEnabled());
        env.lookups.markKeys({"C0001"});
        of(shown).sbtListTipo->click();
        EXPECT_EQ(shown.PickedTypes(), "'C0001'");

        click(kindButton(shown, 1));
        EXPECT_TRUE(of(shown).rbtListaTipo->isChecked()) << "the same kind again keeps the types";
        EXPECT_EQ(shown.PickedTypes(), "'C0001'");

        click(kindButton(shown, 2));
        EXPECT_TRUE(of(shown).rbtTodosTipo->isChecked());
        EXPECT_FALSE(of(shown).sbtListTipo->isEnabled());
        EXPECT_EQ(shown.PickedTypes(), "T");
    });
}

TEST_F(FilterDialog, SavedOptionsComeBackWithThePickedTypes) {
    reload();
    open([&](TfrmFiltroLancCont &shown) {
        set(shown, {.startDate = "01/02/2024",
                    .endDate = "10/03/2024",
                    .valueFrom = 10.0,
                    .valueTo = 50000.0,
                    .kind = 2,
                    .typeListChosen = true});
        env.lookups.markKeys({"D0002"});
        of(shown).sbtListTipo->click();
        shown.btfSaveOpc->click();

        set(shown, {.startDate = "02/02/2024",
                    .endDate = "03/02/2024",
                    .valueFrom = 0.0,
                    .valueTo = 0.0,
                    .kind = 0});
        ASSERT_TRUE(of(shown).rbtTodosTipo->isChecked());
        shown.btfLoadOpc->click();
        EXPECT_EQ(of(shown).depDataIni->Text(), "01/02/2024");
        EXPECT_EQ(of(shown).depDataFin->Text(), "10/03/2024");
        EXPECT_EQ(of(shown).nedValorIni->Value(), 10.0);
        EXPECT_EQ(of(shown).nedValorFin->Value(), 50000.0);
        EXPECT_EQ(of(shown).rgpLancamento->ItemIndex(), 2);
        EXPECT_TRUE(of(shown).rbtListaTipo->isChecked());
        EXPECT_TRUE(of(shown).sbtListTipo->isEnabled());
        EXPECT_EQ(shown.PickedTypes(), "'D0002'");
        shown.sbtConfirma->click();
    });
    ASSERT_GT(list().RecordCount(), 0);
    EXPECT_EQ(distinct(column(list(), "CDTIPO")), QStringList{"0002"});
    EXPECT_EQ(distinct(column(list(), "DEBCRED")), QStringList{"D"});
}

// A value typed halfway is no value to save: refused as the confirm refuses it, the options saved before
// stay.
TEST_F(FilterDialog, SavingTheOptionsRefusesAValueTypedHalfway) {
    reload();
    open([&](TfrmFiltroLancCont &shown) {
        set(shown, {.valueFrom = 10.0, .valueTo = 50000.0});
        shown.btfSaveOpc->click();
        env.dialogs.clearShown();
        set(shown, {.valueFrom = 1.0, .valueTo = 300.0, .typedValueTo = "2.5"});
        shown.btfSaveOpc->click();
        EXPECT_EQ(env.dialogs.errors(),
                  QStringList{"'2.5' não é um valor completo: escreva-o como 1.234,56 ou 1234,56."});
        shown.btfLoadOpc->click();
        EXPECT_EQ(of(shown).nedValorFin->Value(), 50000.0);
        shown.sbtConfirma->click();
    });
}

TEST_F(FilterDialog, ASilentReloadRunsTheLastConfirmedCriteriaForTheAccountItIsGiven) {
    reload();
    QPointer<TfrmFiltroLancCont> made = Cli_bco11102::frmFiltroLancCont;
    confirm({.startDate = "01/03/2024", .endDate = "15/03/2024", .kind = 1, .typeListChosen = true},
            {"C0002"});
    const QString confirmed = describe(dialog().SavedFilter());

    // Changed and closed by its window without confirming: only hidden, the criteria kept.
    open([](TfrmFiltroLancCont &shown) {
        set(shown, {.startDate = "01/01/2024", .valueFrom = 1.0, .valueTo = 2.0, .kind = 2});
        shown.close();
    });
    releaseDeferred();
    ASSERT_EQ(Cli_bco11102::frmFiltroLancCont, made);
    EXPECT_FALSE(made->isVisible());
    EXPECT_EQ(describe(dialog().SavedFilter()), confirmed);

    reload(QStringLiteral("0025"));
    EXPECT_EQ(Cli_bco11102::stCdReduCont, "002");
    EXPECT_EQ(sent().entryKind, "C");
    EXPECT_EQ(sent().typeList, "'C0002'");
    EXPECT_EQ(sent().allValues, "T");
    const qint64 expected = count(QStringLiteral(
        "SELECT COUNT(*) FROM MOVCREDBANC WHERE CDREDUCONT = '002' AND CDTPCREDBANC = '0002' AND "
        "DTMOVICRED BETWEEN '2024-03-01' AND '2024-03-15'"));
    ASSERT_GT(expected, 0);
    EXPECT_EQ(list().RecordCount(), expected);

    open([this](TfrmFiltroLancCont &shown) {
        EXPECT_EQ(of(shown).depDataIni->Text(), "01/03/2024");
        EXPECT_EQ(of(shown).nedValorFin->Value(), 0.0);
        EXPECT_EQ(of(shown).rgpLancamento->ItemIndex(), 1);
        EXPECT_TRUE(of(shown).rbtListaTipo->isChecked());
        EXPECT_EQ(sent().typeList, "'C0002'");
    });
}

// Leaving a date field that holds no date keeps the focus there and quotes what was typed.
struct DateExit {
    const char *name;
    const char *typed;
    const char *message; // none: the field is left
};

class LeavingADate : public FilterDialog, public ::testing::WithParamInterface<DateExit> {};

const DateExit dateExits[] = {
    {"a day its month lacks", "31022024", "'31/02/2024' não é uma data válida."},
    {"the 29th of february of a common year", "29022023", "'29/02/2023' não é uma data válida."},
    {"a date before day zero", "01011800", "'01/01/1800' não é uma data válida."},
    {"a leap day", "29022024", nullptr},
    {"nothing", "", nullptr},
};

TEST_P(LeavingADate, RefusesOnlyWhatIsNoDate) {
    const DateExit &exit = GetParam();
    reload();
    env.dialogs.clearShown();
    open([&](TfrmFiltroLancCont &shown) {
        of(shown).depDataIni->setFocus();
        of(shown).depDataIni->Clear();
        of(shown).depDataIni->home(false);
        QTest::keyClicks(of(shown).depDataIni, QString::fromLatin1(exit.typed));
        QTest::keyClick(of(shown).depDataIni, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), exit.message ? of(shown).depDataIni : of(shown).depDataFin);
    });
    EXPECT_EQ(env.dialogs.errors(),
              exit.message ? QStringList{QString::fromUtf8(exit.message)} : QStringList());
}

INSTANTIATE_TEST_SUITE_P(FilterDialog, LeavingADate, ::testing::ValuesIn(dateExits), CaseName());

} // namespace

TEST(FilterCaption, NamesThePeriodAndOnlyWhatNarrowsTheList) {
    struct Case {
        const char *name;
        std::function<void(Cli_bco11102::TFILTRO &)> set;
        const char *described;
    };
    const Case cases[] = {
        {"no dates: the whole history", [](Cli_bco11102::TFILTRO &) {}, "Período: todos"},
        {"amounts with thousands",
         [](Cli_bco11102::TFILTRO &filter) {
             filter.startDate = QDate(2024, 1, 1);
             filter.endDate = QDate(2024, 12, 31);
             filter.valueFrom = 1234.5;
             filter.valueTo = 1234567.89;
         },
         "Período: 01/01/2024 a 31/12/2024 · valor de 1.234,50 a 1.234.567,89"},
        {"a list of one type",
         [](Cli_bco11102::TFILTRO &filter) {
             filter.startDate = filter.endDate = QDate(2024, 3, 1);
             filter.types = {true, QStringLiteral("'D0006'")};
             filter.entryKind = 2;
         },
         "Período: 01/03/2024 a 01/03/2024 · só débitos · tipos D0006"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Cli_bco11102::TFILTRO filter;
        c.set(filter);
        EXPECT_EQ(Cli_bco11102::DescribeFilter(filter), QString::fromUtf8(c.described));
    }
}

TEST_F(FilterDialog, CtrlEnterConfirmsFromWhereverTheFocusIs) {
    reload();
    const int everything = list().RecordCount();
    open([&](TfrmFiltroLancCont &dialog) {
        EXPECT_EQ(dialog.sbtConfirma->toolTip(), QStringLiteral("Confirmar (Ctrl+Enter)"));
        click(kindButton(dialog, 2));
        of(dialog).nedValorFin->setFocus();
        QTest::keyClick(of(dialog).nedValorFin, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_FALSE(dialog.isVisible()) << "confirmed and closed";
    });
    EXPECT_LT(list().RecordCount(), everything);
    EXPECT_EQ(distinct(column(list(), "DEBCRED")), QStringList{"D"});
}

TEST_F(FilterDialog, EscLeavesWithoutConfirmingFromWhereverTheFocusIs) {
    reload();
    const int everything = list().RecordCount();
    const Cli_bco11102::TLancQuery before = sent();
    open([&](TfrmFiltroLancCont &dialog) {
        click(kindButton(dialog, 2));
        of(dialog).nedValorFin->setFocus();
        QTest::keyClicks(of(dialog).nedValorFin, QStringLiteral("5"));
        QTest::keyClick(of(dialog).nedValorFin, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible()) << "left";
    });
    EXPECT_EQ(list().RecordCount(), everything);
    EXPECT_EQ(sent().entryKind, before.entryKind);
    EXPECT_EQ(sent().valueTo, before.valueTo);
}
