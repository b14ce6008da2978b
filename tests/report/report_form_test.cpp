#include <functional>

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTableWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "framework/report/report_store.h"
#include "framework/ui/buttons.h"
#include "framework/ui/date_edit.h"
#include "framework/ui/report/report_dialogs.h"
#include "report/report_form.h"
#include "support/case_name.h"
#include "support/entry_form_stand_in.h"
#include "support/entry_requests.h"
#include "support/form_controls.h"
#include "support/form_test_environment.h"
#include "support/private_config_folder.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_report_dialogs.h"
#include "support/second_operator.h"

using namespace bco;
using namespace bco::testing;
using Cli_bco11101::TfrmRelLancCont;

namespace {

const QString entriesTitle = QStringLiteral("Lançamentos por conta e data");
const QString summaryTitle = QStringLiteral("Resumo por tipo");

// The text of a PDF file as a reader extracts it, its layout kept.
QString pdfText(const QString &file) {
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        ADD_FAILURE() << "pdftotext could not read " << file.toStdString() << ": "
                      << reader.readAllStandardError().toStdString();
    return QString::fromUtf8(reader.readAllStandardOutput());
}

// An amount in cents as the report shows it.
QString money(qint64 cents) {
    return QLocale().toString(static_cast<double>(cents) / 100.0, 'f', 2);
}

QRadioButton *radio(const QWidget &form, const char *name) {
    return controlOf<QRadioButton>(form, name);
}
TBtnPesquisa *pickButton(const QWidget &form, const char *name) {
    return controlOf<TBtnPesquisa>(form, name);
}
TDateEditPlus *dateEdit(const QWidget &form, const char *name) {
    return controlOf<TDateEditPlus>(form, name);
}

// The codes shown beside a "Lista".
QString shownChoice(TfrmRelLancCont &form, const char *label) {
    return controlOf<QLabel>(form, label)->text();
}

// A click on a radio button's mark, where it takes a click whatever room its caption leaves.
void click(QWidget *control) {
    QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, control->height() / 2));
}

class ReportForm : public ::testing::Test {
protected:
    void TearDown() override {
        delete Cli_bco11101::frmRelLancCont.data();
        releaseDeferred();
    }

    // The report opened from the host's menu: shown and made active as on the desktop, `action` works on
    // it, and a form the action leaves open is closed by its window.
    void open(const std::function<void(TfrmRelLancCont &)> &action,
              Cli_bco11100::EntryFormServices *entryForm = nullptr) {
        env.modalForms.then([action](QWidget &form) {
            form.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
            action(static_cast<TfrmRelLancCont &>(form));
            if (form.isVisible())
                form.close();
        });
        Cli_bco11101::CriaRelLancCont(entryForm);
    }

    // Chooses a design and a period.
    static void choose(TfrmRelLancCont &form, const QString &title, const char *start = "01/02/2024",
                       const char *end = "15/03/2024") {
        form.cbbReportNames->setCurrentText(title);
        dateEdit(form, "depDataIni")->SetText(QString::fromLatin1(start));
        dateEdit(form, "depDataFin")->SetText(QString::fromLatin1(end));
    }

    qint64 sum(const QString &sql) {
        QSqlQuery query(env.database());
        if (!query.exec(sql) || !query.next())
            ADD_FAILURE() << sql.toStdString();
        return query.value(0).toLongLong();
    }

    // The report's PDF as the operator gets it from the PDF button.
    QString pdfOf(const std::function<void(TfrmRelLancCont &)> &choices) {
        reports.pdfFile = folder.filePath(QStringLiteral("relatorio.pdf"));
        open([&](TfrmRelLancCont &form) {
            choices(form);
            form.sbtPdf->click();
        });
        return pdfText(reports.pdfFile);
    }

    PrivateConfigFolder config;
    FormTestEnvironment env{FormTestOptions{.demoEntries = 600}};
    ScriptedReportDialogs reports;
    QTemporaryDir folder;
};

TEST_F(ReportForm, ListsTheStoredDesignsOfItsCodeAndStartsWithEveryChoiceOpen) {
    open([](TfrmRelLancCont &form) {
        EXPECT_EQ(form.lblCodRel->text(), "BCO111");
        QStringList titles;
        for (int i = 0; i < form.cbbReportNames->count(); ++i)
            titles << form.cbbReportNames->itemText(i);
        EXPECT_EQ(titles, QStringList({entriesTitle, summaryTitle}));
        for (const char *all : {"rbtTodoEmp", "rbtTodoContCorr", "rbtTodos", "rbtTodosTipo", "rbtTodosFili"})
            EXPECT_TRUE(radio(form, all)->isChecked()) << all;
        for (const char *list : {"sbtListEmpresa", "sbtListContCorr", "sbtTipo", "sbtFilial"})
            EXPECT_FALSE(pickButton(form, list)->isEnabled()) << list;
        EXPECT_EQ(form.stEmpresaOper, "'01','02','03'");
        // The month of the working day, up to it.
        EXPECT_EQ(dateEdit(form, "depDataIni")->GetDate(), QDate(2024, 3, 1));
        EXPECT_EQ(dateEdit(form, "depDataFin")->GetDate(), formTestDate);
        for (const char *label : {"lblEscEmpresa", "lblEscContCorr", "lblEscTipo", "lblEscFilial"})
            EXPECT_EQ(shownChoice(form, label), QString()) << label;
        click(radio(form, "rbtListContCorr"));
        EXPECT_TRUE(pickButton(form, "sbtListContCorr")->isEnabled());
        click(radio(form, "rbtTodoContCorr"));
        EXPECT_FALSE(pickButton(form, "sbtListContCorr")->isEnabled());
        // Esc closes the dialog from wherever the focus is.
        QTest::keyClick(dateEdit(form, "depDataIni"), Qt::Key_Escape);
        EXPECT_FALSE(form.isVisible());
    });
}

// Printing checks the choices in an order set by where the focus is, stops at the first refusal, puts the
// focus where the operator mends it, and prints nothing.
struct Refusal {
    const char *name;
    const char *focus; // control focused before printing
    const char *start;
    const char *end;
    const char *listChosen; // a "Lista" radio checked with nothing picked, or ""
    const char *message;
    const char *focusAfter;
};

const Refusal refusals[] = {
    {"the end date first with the focus on it", "depDataFin", "", "", "", "Período final deve ser informado.",
     "depDataFin"},
    {"the start date first with the focus on it", "depDataIni", "", "", "",
     "Período inicial deve ser informado.", "depDataIni"},
    {"the companies first with the focus elsewhere", "rbtTodos", "", "", "rbtListBanc",
     "Empresa deve ser informada.", "rbtListBanc"},
    {"the focused date before the companies", "depDataIni", "", "15/03/2024", "rbtListBanc",
     "Período inicial deve ser informado.", "depDataIni"},
    {"the accounts before the dates", "rbtTodos", "", "", "rbtListContCorr",
     "Conta corrente deve ser informada.", "rbtListContCorr"},
    {"a date that is no date", "rbtTodos", "31/02/2024", "15/03/2024", "",
     "'31/02/2024' não é uma data válida.", "depDataIni"},
    {"a reversed period", "rbtTodos", "16/03/2024", "15/03/2024", "",
     "Período inicial deve ser menor ou igual ao período final.", "depDataIni"},
    {"types chosen but none picked", "rbtTodos", "01/03/2024", "15/03/2024", "rbtListaTipo",
     "Tipo deve ser informado.", "rbtListaTipo"},
    {"branches chosen but none picked", "rbtTodos", "01/03/2024", "15/03/2024", "rbtListaFili",
     "Filial deve ser informada.", "rbtTodos"},
};

class PrintRefusal : public ReportForm, public ::testing::WithParamInterface<Refusal> {};

TEST_P(PrintRefusal, ShowsItsMessageAndPrintsNothing) {
    const Refusal &refusal = GetParam();
    reports.printTo = folder.filePath(QStringLiteral("impresso.pdf"));
    open([&](TfrmRelLancCont &form) {
        choose(form, entriesTitle, refusal.start, refusal.end);
        if (*refusal.listChosen != '\0')
            click(radio(form, refusal.listChosen));
        controlOf(form, refusal.focus)->setFocus();
        env.dialogs.clearShown();
        form.sbtPrint->click();
        ASSERT_NE(form.focusWidget(), nullptr);
        EXPECT_EQ(form.focusWidget()->objectName(), refusal.focusAfter);
    });
    EXPECT_EQ(env.dialogs.errors(), QStringList{QString::fromUtf8(refusal.message)});
    EXPECT_TRUE(reports.asked.isEmpty()) << reports.asked.join(u',').toStdString();
}

INSTANTIATE_TEST_SUITE_P(ReportForm, PrintRefusal, ::testing::ValuesIn(refusals), CaseName());

TEST_F(ReportForm, StartAndEndOnTheSameDayPrintAndEditingNeedsNoPeriod) {
    reports.printTo = folder.filePath(QStringLiteral("impresso.pdf"));
    open([&](TfrmRelLancCont &form) {
        choose(form, summaryTitle, "15/03/2024", "15/03/2024");
        form.sbtPrint->click();
        choose(form, summaryTitle, "", "");
        env.modalForms.then([](QWidget &editor) { editor.close(); });
        form.sbtReportEdit->click();
    });
    EXPECT_TRUE(env.dialogs.errors().isEmpty()) << env.dialogs.errors().join(u'\n').toStdString();
    EXPECT_EQ(reports.renderings.size(), 1U);
    EXPECT_TRUE(pdfText(reports.printTo).contains(u"Período: 15/03/2024 a 15/03/2024"));
}

// The parameters each choice gives the design's query, as it names them.
struct ParamCase {
    const char *name;
    std::function<void(TfrmRelLancCont &)> choose;
    std::vector<std::pair<const char *, Variant>> expected;
};

TEST_F(ReportForm, GivesEachParameterTheQueryHasFromTheChoices) {
    const QStringList names = {"P_CDEMPRESA",    "P_TCDEMPRESA",    "P_CDREDUCONT",   "P_TCDREDUCONT",
                               "P_CDTPCREDBANC", "P_TCDTPCREDBANC", "P_CDTPDEBIBANC", "P_TCDTPDEBIBANC",
                               "P_CDFILIAL",     "P_TCDFILIAL",     "P_DATAINI",      "P_DATAFIM",
                               "P_DTPERIINI",    "P_DTPERIFIM",     "P_TIPO"};
    const ParamCase cases[] = {
        {"every choice open",
         [](TfrmRelLancCont &) {},
         {{"P_CDEMPRESA", "'01','02','03'"},
          {"P_TCDEMPRESA", ""},
          {"P_CDREDUCONT", ""},
          {"P_TCDREDUCONT", "T"},
          {"P_CDTPCREDBANC", ""},
          {"P_TCDTPCREDBANC", "T"},
          {"P_CDTPDEBIBANC", ""},
          {"P_TCDTPDEBIBANC", "T"},
          {"P_CDFILIAL", ""},
          {"P_TCDFILIAL", "T"},
          {"P_DATAINI", QDate(2024, 2, 1)},
          {"P_DATAFIM", QDate(2024, 3, 15)},
          {"P_DTPERIINI", "01/02/2024"},
          {"P_DTPERIFIM", "15/03/2024"},
          {"P_TIPO", "T"}}},
        {"lists picked",
         [this](TfrmRelLancCont &form) {
             click(radio(form, "rbtListBanc"));
             env.lookups.markKeys({"02"});
             pickButton(form, "sbtListEmpresa")->click();
             click(radio(form, "rbtListContCorr"));
             env.lookups.markKeys({"004"});
             pickButton(form, "sbtListContCorr")->click();
             click(radio(form, "rbtDebito"));
             click(radio(form, "rbtListaTipo"));
             env.lookups.markKeys({"D0001"});
             pickButton(form, "sbtTipo")->click();
             click(radio(form, "rbtListaFili"));
             env.lookups.markKeys({"0201"});
             pickButton(form, "sbtFilial")->click();
         },
         {{"P_CDEMPRESA", "'02'"},
          {"P_TCDEMPRESA", ""},
          {"P_CDREDUCONT", "'004'"},
          {"P_TCDREDUCONT", ""},
          {"P_CDTPCREDBANC", "'D0001'"},
          {"P_TCDTPCREDBANC", ""},
          {"P_CDTPDEBIBANC", "'D0001'"},
          {"P_TCDTPDEBIBANC", ""},
          {"P_CDFILIAL", "'0201'"},
          {"P_TCDFILIAL", ""},
          {"P_TIPO", "D"}}},
    };
    for (const ParamCase &c : cases) {
        SCOPED_TRACE(c.name);
        open([&](TfrmRelLancCont &form) {
            choose(form, entriesTitle);
            c.choose(form);
            ReportParams params(names);
            form.rpddPadraoBeforeGetQueryParams(params);
            for (const auto &[name, value] : c.expected)
                EXPECT_EQ(describe(params.Value(QString::fromLatin1(name))), describe(value)) << name;

            // A design whose query has none of them receives none; one with a list alone gets no flag.
            ReportParams other(QStringList{QStringLiteral("P_CDREDUCONT"), QStringLiteral("P_OUTRO")});
            form.rpddPadraoBeforeGetQueryParams(other);
            EXPECT_FALSE(other.HasValue(QStringLiteral("P_OUTRO")));
            EXPECT_TRUE(other.HasValue(QStringLiteral("P_CDREDUCONT")));
        });
    }
}

// Another operator includes an entry in the period while the printer dialog is open: the pages hold the
// books as they stand when printed.
TEST_F(ReportForm, WhatIsPrintedIsReadOnceThePrinterIsChosen) {
    SecondOperator other(env.server());
    EntryRequest entry{.value = 12.34, .description = QStringLiteral("Incluído por SUPERV")};
    reports.printTo = folder.filePath(QStringLiteral("impresso.pdf"));
    reports.whileChoosingPrinter = [&] {
        const Insertion call = insertion(entry, [&](const QString &method, const QString &account) {
            return other.call(method, {account, QStringLiteral("1")}).toText();
        });
        other.call(call.method, call.args);
    };
    open([&](TfrmRelLancCont &form) {
        choose(form, entriesTitle);
        form.sbtPrint->click();
    });
    EXPECT_TRUE(env.dialogs.errors().isEmpty()) << env.dialogs.errors().join(u'\n').toStdString();
    const QString text = pdfText(reports.printTo);
    EXPECT_TRUE(text.contains(u"Incluído por SUPERV")) << text.left(3000).toStdString();
}

TEST_F(ReportForm, ThePdfOfTheEntriesTotalsWhatTheLedgerHoldsForTheChoices) {
    const QString text = pdfOf([](TfrmRelLancCont &form) { choose(form, entriesTitle); });
    const qint64 credits = sum(QStringLiteral(
        "SELECT SUM(VRMOVICRED) FROM MOVCREDBANC WHERE DTMOVICRED BETWEEN '2024-02-01' AND '2024-03-15'"));
    const qint64 debits = sum(QStringLiteral(
        "SELECT SUM(VRMOVIDEBI) FROM MOVDEBIBANC WHERE DTMOVIDEBI BETWEEN '2024-02-01' AND '2024-03-15'"));
    const qint64 count = sum(QStringLiteral(
        "SELECT (SELECT COUNT(*) FROM MOVCREDBANC WHERE DTMOVICRED BETWEEN '2024-02-01' AND '2024-03-15') + "
        "(SELECT COUNT(*) FROM MOVDEBIBANC WHERE DTMOVIDEBI BETWEEN '2024-02-01' AND '2024-03-15')"));
    const QString total = QStringLiteral("Total geral (%1 lançamentos)").arg(QLocale().toString(count));
    const qsizetype at = text.indexOf(total);
    ASSERT_GE(at, 0) << text.right(2000).toStdString();
    const QString totalLine = text.mid(at, text.indexOf(u'\n', at) - at).simplified();
    EXPECT_EQ(totalLine, total + u' ' + money(credits) + u' ' + money(debits));

    // Each account closes on its balance at the end of the period, which the server also answers.
    const qint64 balance001 = sum(QStringLiteral("SELECT C.VRSALDINIC + COALESCE((SELECT SUM(CASE WHEN "
                                                 "IDMOVBANC = 'C' THEN VRMOVBANC ELSE -VRMOVBANC END) "
                                                 "FROM MOVBANCARIO M WHERE M.CDREDUCONT = C.CDREDUCONT AND "
                                                 "DTMOVBANC <= '2024-03-15'), 0) FROM CONTCORR C "
                                                 "WHERE CDREDUCONT = '001'"));
    const qsizetype account = text.indexOf(QStringLiteral("Total da conta 001"));
    ASSERT_GE(account, 0);
    EXPECT_TRUE(text.mid(account, text.indexOf(u'\n', account) - account)
                    .simplified()
                    .contains(QStringLiteral("saldo da conta em 15/03/2024: ") + money(balance001)));

    for (const char *caption :
         {"Lançamentos por conta e data", "Descrição do tipo", "Histórico", "Crédito", "Débito",
          "Saldo anterior:", "Período: 01/02/2024 a 15/03/2024", "Página 1 de "})
        EXPECT_TRUE(text.contains(QString::fromUtf8(caption))) << caption;
}

// Stored texts the report's face cannot show as they are: each still gives its row, on one line, in a report
// that is whole to its last total.
struct UnusualHistory {
    const char *name;
    QString history;
    QStringList shown; // in the order the row shows them
};

const UnusualHistory unusualHistories[] = {
    {"line breaks and a tab, as a workbook's cell holds them",
     QStringLiteral("Linha um\nLinha dois\r\n\tfim"),
     {QStringLiteral("Linha um Linha dois fim")}},
    {"a script the report's face lacks",
     QStringLiteral("Loja 東京 aberta"),
     {QStringLiteral("Loja"), QStringLiteral("aberta")}},
    {"right-to-left words, which a reader finds in their own order",
     QStringLiteral("Doação שלום עולם ok"),
     {QStringLiteral("Doação"), QStringLiteral("שלום"), QStringLiteral("עולם"), QStringLiteral("ok")}},
    {"a text that starts with right-to-left words, run from the left as the screens show it: the number of "
     "the "
     "right-to-left run before its words",
     QStringLiteral("שלום 123 abc"),
     {QStringLiteral("123"), QStringLiteral("שלום"), QStringLiteral("abc")}},
    {"an emoji the face holds, which a reader finds again",
     QString::fromUcs4(U"Sorriso \U0001F600 fim"),
     {QStringLiteral("Sorriso"), QString::fromUcs4(U"\U0001F600"), QStringLiteral("fim")}},
    {"forty of the widest letters, drawn smaller but whole", QString(40, u'W'), {QString(40, u'W')}},
    {"as many emoji as a description holds, each measured whole",
     QString::fromUcs4(U"\U0001F600").repeated(20),
     {QString::fromUcs4(U"\U0001F600").repeated(20)}},
};

class UnusualHistoryReport : public ReportForm, public ::testing::WithParamInterface<UnusualHistory> {};

TEST_P(UnusualHistoryReport, ShowsTheRowOnOneLineInAWholeReport) {
    const UnusualHistory &c = GetParam();
    QSqlQuery update(env.database());
    update.prepare(
        QStringLiteral("UPDATE MOVCREDBANC SET DSMOVICRED = ? WHERE CDREDUCONT = '001' AND NRMOVBANC = "
                       "(SELECT MIN(NRMOVBANC) FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND "
                       "DTMOVICRED BETWEEN '2024-02-01' AND '2024-03-15')"));
    update.addBindValue(c.history);
    ASSERT_TRUE(update.exec()) << update.lastError().text().toStdString();
    ASSERT_EQ(update.numRowsAffected(), 1);

    const QString text = pdfOf([](TfrmRelLancCont &form) { choose(form, entriesTitle); });
    const qsizetype at = text.indexOf(c.shown.first());
    ASSERT_GE(at, 0) << text.left(3000).toStdString();
    const QString row = text.mid(at, text.indexOf(u'\n', at) - at);
    qsizetype from = 0;
    for (const QString &part : c.shown) {
        from = row.indexOf(part, from);
        EXPECT_GE(from, 0) << part.toStdString() << " in " << row.toStdString();
    }
    EXPECT_FALSE(row.contains(QChar::ReplacementCharacter))
        << "no character cut in half: " << row.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Total geral"))) << text.right(1000).toStdString();
}

// An amount wider than its column is drawn smaller, whole: cut, it would read as another amount.
TEST_F(ReportForm, AnAmountWiderThanItsColumnShowsWhole) {
    QSqlQuery update(env.database());
    for (const char *statement :
         {"UPDATE MOVBANCARIO SET VRMOVBANC = 999999999999999 WHERE CDREDUCONT = '001' AND NRMOVBANC = "
          "(SELECT MIN(NRMOVBANC) FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND DTMOVICRED BETWEEN "
          "'2024-02-01' AND '2024-03-15')",
          "UPDATE MOVCREDBANC SET VRMOVICRED = 999999999999999 WHERE CDREDUCONT = '001' AND NRMOVBANC = "
          "(SELECT MIN(NRMOVBANC) FROM MOVCREDBANC WHERE CDREDUCONT = '001' AND DTMOVICRED BETWEEN "
          "'2024-02-01' AND '2024-03-15')"})
        ASSERT_TRUE(update.exec(QString::fromLatin1(statement))) << update.lastError().text().toStdString();
    const QString text = pdfOf([](TfrmRelLancCont &form) { choose(form, entriesTitle); });
    EXPECT_TRUE(text.contains(QStringLiteral("9.999.999.999.999,99"))) << text.left(3000).toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("9.999.999.999.…"))) << text.left(3000).toStdString();
}

INSTANTIATE_TEST_SUITE_P(ReportForm, UnusualHistoryReport, ::testing::ValuesIn(unusualHistories), CaseName());

// The company that heads each page of a PDF, and the companies its account groups name.
struct PageCompanies {
    QString heading;
    QStringList named;
};

std::vector<PageCompanies> pageCompanies(const QString &text) {
    static const QRegularExpression group(
        QStringLiteral("Empresa \\d\\d - (.+?)(?: \\(continuação\\))?\\s*$"),
        QRegularExpression::MultilineOption);
    std::vector<PageCompanies> pages;
    for (const QString &page : text.split(u'\f', Qt::SkipEmptyParts)) {
        const QStringList lines = page.split(u'\n', Qt::SkipEmptyParts);
        if (lines.isEmpty())
            continue;
        PageCompanies shown;
        // The heading's line holds the company, many blanks, then the time of emission.
        shown.heading = lines.first().trimmed().section(QStringLiteral("  "), 0, 0);
        for (const QRegularExpressionMatch &match : group.globalMatch(page))
            shown.named << match.captured(1).trimmed();
        pages.push_back(shown);
    }
    return pages;
}

TEST_F(ReportForm, EachPageIsHeadedByTheCompanyOfTheAccountsItLists) {
    const QString text = pdfOf([](TfrmRelLancCont &form) { choose(form, entriesTitle); });
    const std::vector<PageCompanies> pages = pageCompanies(text);
    QStringList headings;
    for (const PageCompanies &page : pages) {
        SCOPED_TRACE(page.heading.toStdString());
        for (const QString &named : page.named)
            EXPECT_EQ(named, page.heading);
        if (!headings.contains(page.heading))
            headings << page.heading;
    }
    EXPECT_EQ(headings, QStringList({"Comercial Aurora Ltda", "Indústria Serra Azul S.A.",
                                     "Distribuidora Horizonte Ltda"}));
}

TEST_F(ReportForm, TheReportOfAnAccountOfCompany02IsHeadedByItAndShowsTheBanksPictures) {
    const QString text = pdfOf([this](TfrmRelLancCont &form) {
        choose(form, entriesTitle);
        click(radio(form, "rbtListContCorr"));
        env.lookups.markKeys({"004"});
        pickButton(form, "sbtListContCorr")->click();
    });
    const std::vector<PageCompanies> pages = pageCompanies(text);
    ASSERT_FALSE(pages.empty()) << text.toStdString();
    for (const PageCompanies &page : pages)
        EXPECT_EQ(page.heading, QStringLiteral("Indústria Serra Azul S.A."));
    EXPECT_FALSE(text.contains(u"Comercial Aurora")) << "the session's company heads nothing";
    QSqlQuery account(env.database());
    ASSERT_TRUE(
        account.exec(QStringLiteral("SELECT CDAGENCIA, CDCONTCORR FROM CONTCORR WHERE CDREDUCONT = '004'")));
    ASSERT_TRUE(account.next());
    // Bank 101 keeps agencies as 9999-9 and accounts as 99999999-9.
    const QString agency = account.value(0).toString(), number = account.value(1).toString();
    EXPECT_TRUE(
        text.simplified().contains(QStringLiteral("Agência %1-%2 Conta corrente %3-%4")
                                       .arg(agency.left(4), agency.mid(4), number.left(8), number.mid(8))))
        << text.left(1500).toStdString();
}

TEST_F(ReportForm, TheSummaryOfSeveralCompaniesGivesEachItsPages) {
    const QString text = pdfOf([](TfrmRelLancCont &form) { choose(form, summaryTitle); });
    const QStringList pages = text.split(u'\f', Qt::SkipEmptyParts).filter(QStringLiteral("Resumo por tipo"));
    QStringList headings;
    for (qsizetype at = 0; at < pages.size(); ++at) {
        const QString &page = pages[at];
        headings << page.trimmed().section(u'\n', 0, 0).trimmed().section(QStringLiteral("  "), 0, 0);
        EXPECT_TRUE(page.contains(QStringLiteral("Total da empresa 0%1").arg(at + 1))) << page.toStdString();
    }
    EXPECT_EQ(headings, QStringList({"Comercial Aurora Ltda", "Indústria Serra Azul S.A.",
                                     "Distribuidora Horizonte Ltda"}));
}

TEST_F(ReportForm, TheSummaryNamesTheCompaniesAndTheAccountsItCovers) {
    struct Case {
        const char *name;
        const char *operatorCode;
        QStringList companies, accounts; // picked; empty: "Todas"
        QString named;
    };
    const Case cases[] = {
        {"every company of the operator and every account",
         "DEMO",
         {},
         {},
         "Empresas: 01, 02, 03 Contas: todas"},
        {"the restricted operator's one company", "RESTRITO", {}, {}, "Empresas: 01 Contas: todas"},
        {"the companies and accounts picked",
         "DEMO",
         {"01"},
         {"001", "003"},
         "Empresas: 01 Contas: 001, 003"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        env.logInAs(QString::fromLatin1(c.operatorCode));
        const QString text = pdfOf([&](TfrmRelLancCont &form) {
            choose(form, summaryTitle);
            if (!c.companies.isEmpty()) {
                click(radio(form, "rbtListBanc"));
                env.lookups.markKeys(c.companies);
                pickButton(form, "sbtListEmpresa")->click();
            }
            if (!c.accounts.isEmpty()) {
                click(radio(form, "rbtListContCorr"));
                env.lookups.markKeys(c.accounts);
                pickButton(form, "sbtListContCorr")->click();
            }
        });
        const QStringList pages = text.split(u'\f', Qt::SkipEmptyParts);
        ASSERT_FALSE(pages.isEmpty());
        for (const QString &page : pages)
            EXPECT_TRUE(page.simplified().contains(c.named)) << page.left(600).toStdString();
        delete Cli_bco11101::frmRelLancCont.data();
        releaseDeferred();
    }
}

TEST_F(ReportForm, TheSummaryByTypeOfTheRestrictedOperatorHoldsItsCompanyAlone) {
    env.logInAs(QStringLiteral("RESTRITO"));
    const QString text = pdfOf([](TfrmRelLancCont &form) {
        choose(form, summaryTitle);
        click(radio(form, "rbtCredito"));
    });
    const qint64 credits = sum(QStringLiteral(
        "SELECT SUM(M.VRMOVICRED) FROM MOVCREDBANC M JOIN CONTCORR C ON C.CDREDUCONT = M.CDREDUCONT "
        "WHERE C.CDEMPRESA = '01' AND M.DTMOVICRED BETWEEN '2024-02-01' AND '2024-03-15'"));
    ASSERT_GT(credits, 0);
    const qsizetype at = text.indexOf(QStringLiteral("Total geral"));
    ASSERT_GE(at, 0) << text.toStdString();
    EXPECT_EQ(
        text.mid(at, text.indexOf(u'\n', at) - at).simplified(),
        QStringLiteral("Total geral %1 %2")
            .arg(QLocale().toString(sum(QStringLiteral(
                     "SELECT COUNT(*) FROM MOVCREDBANC M JOIN CONTCORR C ON C.CDREDUCONT = M.CDREDUCONT "
                     "WHERE C.CDEMPRESA = '01' AND M.DTMOVICRED BETWEEN '2024-02-01' AND '2024-03-15'"))),
                 money(credits)));
    EXPECT_TRUE(text.contains(u"Créditos"));
    EXPECT_FALSE(text.contains(u"Débitos"));
}

TEST_F(ReportForm, TheCompanyListHoldsOnlyTheOperatorsCompanies) {
    env.logInAs(QStringLiteral("RESTRITO"));
    open([&](TfrmRelLancCont &form) {
        click(radio(form, "rbtListBanc"));
        env.lookups.markKeys({"01"});
        pickButton(form, "sbtListEmpresa")->click();
        EXPECT_EQ(form.qryEmpresa.RecordCount(), 1);
        EXPECT_EQ(form.stListEmpresa, "'01'");
    });
}

TEST_F(ReportForm, ChoosingTheCompaniesAgainEmptiesThePickedBranchesAndFetchesThoseOfTheNewChoice) {
    open([&](TfrmRelLancCont &form) {
        click(radio(form, "rbtListBanc"));
        env.lookups.markKeys({"01"});
        pickButton(form, "sbtListEmpresa")->click();
        click(radio(form, "rbtListaFili"));
        env.lookups.markKeys({"0101"});
        pickButton(form, "sbtFilial")->click();
        const int branchesOf01 = form.cdsFilial.RecordCount();
        EXPECT_EQ(form.stListFilial, "'0101'");
        EXPECT_EQ(shownChoice(form, "lblEscEmpresa"), "01");
        EXPECT_EQ(shownChoice(form, "lblEscFilial"), "0101");

        env.lookups.markKeys({"02"});
        pickButton(form, "sbtListEmpresa")->click();
        EXPECT_EQ(form.stListFilial, "");
        EXPECT_EQ(shownChoice(form, "lblEscEmpresa"), "02");
        EXPECT_EQ(shownChoice(form, "lblEscFilial"), "") << "the branches of 01 are gone with it";
        env.lookups.markKeys({"0201"});
        pickButton(form, "sbtFilial")->click();
        EXPECT_EQ(form.stListFilial, "'0201'");
        EXPECT_GT(branchesOf01, 0);
        EXPECT_TRUE(form.cdsFilial.Locate(QStringLiteral("CDFILIAL"), QStringLiteral("0201")));
        EXPECT_FALSE(form.cdsFilial.Locate(QStringLiteral("CDFILIAL"), QStringLiteral("0101")));
    });
}

TEST_F(ReportForm, TheTypesOfEveryKindComeFromTheServerWithTheirWholeCodes) {
    open([&](TfrmRelLancCont &form) {
        click(radio(form, "rbtListaTipo"));
        env.lookups.markKeys({"C0001", "D0002"});
        pickButton(form, "sbtTipo")->click();
        EXPECT_EQ(form.stListTipo, "'C0001','D0002'");
        EXPECT_EQ(shownChoice(form, "lblEscTipo"), "C0001, D0002");
        click(radio(form, "rbtTodosTipo"));
        EXPECT_EQ(shownChoice(form, "lblEscTipo"), "") << "\"Todos\" is what the report takes";
        click(radio(form, "rbtListaTipo"));
        EXPECT_EQ(shownChoice(form, "lblEscTipo"), "C0001, D0002");
        ASSERT_TRUE(form.cdsLancto.Locate(QStringLiteral("TIPCOD"), QStringLiteral("D0002")));
        EXPECT_EQ(form.cdsLancto.FieldByName(u"CODIGO").AsString(), "0002");
        EXPECT_EQ(form.cdsLancto.FieldByName(u"TIPO").DisplayText(QLocale()), "Débito");
        click(radio(form, "rbtCredito"));
        EXPECT_EQ(form.stListTipo, "") << "a type list holds the types of one kind";
        EXPECT_EQ(shownChoice(form, "lblEscTipo"), "");
    });
    EXPECT_EQ(env.lookups.titles(), QStringList{"Tipo"});
}

// Opened for an entry form, the report calls the server through that form's connection, not one of its own:
// with the form's session token refused by the server, the types cannot be fetched.
TEST_F(ReportForm, OpenedForAnEntryFormItCallsTheServerThroughTheFormsConnection) {
    EntryFormStandIn entryForm;
    entryForm.connection.SetBearerToken(QStringLiteral("not-a-session"));
    open(
        [&](TfrmRelLancCont &form) {
            click(radio(form, "rbtListaTipo"));
            pickButton(form, "sbtTipo")->click();
            EXPECT_EQ(form.stListTipo, "");
        },
        &entryForm);
    EXPECT_EQ(
        env.dialogs.errors(),
        QStringList{QStringLiteral("A sessão do operador no servidor de aplicação terminou (expirou ou foi "
                                   "encerrada): getLancto não foi executado. Entre novamente no sistema.")});
    EXPECT_TRUE(env.lookups.titles().isEmpty());
}

TEST_F(ReportForm, WithoutADesignForItsCodeEveryReportActionRefuses) {
    env.execute(QStringLiteral("DELETE FROM MODELOREL"));
    open([&](TfrmRelLancCont &form) {
        EXPECT_EQ(form.cbbReportNames->count(), 0);
        choose(form, QString());
        for (QToolButton *button :
             {form.sbtPrint, form.sbtPreview, form.sbtPdf, form.sbtSalvarComo, form.sbtReportEdit})
            button->click();
    });
    EXPECT_EQ(env.dialogs.errors(),
              QStringList(5, QStringLiteral("Não há relatório cadastrado com o código BCO111.")));
    EXPECT_TRUE(reports.asked.isEmpty());
}

TEST_F(ReportForm, StoppingThePdfLeavesNoFile) {
    reports.stopAfter = 1;
    reports.pdfFile = folder.filePath(QStringLiteral("relatorio.pdf"));
    open([&](TfrmRelLancCont &form) {
        choose(form, entriesTitle);
        form.sbtPdf->click();
    });
    ASSERT_EQ(reports.renderings.size(), 1U);
    EXPECT_GT(reports.renderings[0], 1);
    EXPECT_EQ(reports.pagesDone, 1);
    EXPECT_FALSE(QFile::exists(reports.pdfFile));
}

TEST_F(ReportForm, SavedUnderANewTitleTheDesignIsListedAndChosen) {
    reports.titles = {QStringLiteral("Resumo do mês"), QStringLiteral("Resumo do mês")};
    env.dialogs.answer(QStringLiteral("Rel_Existe"), MsgButton::No);
    open([&](TfrmRelLancCont &form) {
        choose(form, summaryTitle);
        form.sbtSalvarComo->click();
        EXPECT_EQ(form.cbbReportNames->currentText(), "Resumo do mês");
        EXPECT_EQ(form.cbbReportNames->count(), 3);
        form.cbbReportNames->setCurrentText(entriesTitle);
        form.sbtSalvarComo->click();
        EXPECT_EQ(form.cbbReportNames->currentText(), entriesTitle) << "kept where it was";
        reports.titles = {entriesTitle, QStringLiteral("Nunca perguntado")};
        form.sbtSalvarComo->click();
        EXPECT_EQ(reports.titles.size(), 1) << "its own title stores nothing and ends the question";
    });
    EXPECT_EQ(reports.asked.first(), "Título do relatório|Informe o título do relatório:");
    EXPECT_TRUE(env.dialogs.texts().contains(
        QStringLiteral("Já existe um relatório com o título \"Resumo do mês\". Deseja substituí-lo?")));
    const ReportStore store(env.database());
    EXPECT_EQ(store.Titles(QStringLiteral("BCO111")).size(), 3);
    EXPECT_EQ(store.Load(QStringLiteral("BCO111"), QStringLiteral("Resumo do mês")).toJson(),
              store.Load(QStringLiteral("BCO111"), summaryTitle).toJson());
}

// "Salvar como" onto a title that holds a design replaces it only as the operator saw it when asked: a save
// by another operator while the question is open is asked about again, and "Não" keeps that one.
TEST_F(ReportForm, SavedAsOverADesignAnotherOperatorSavesWhileAskedAsksAgain) {
    const QString code = QStringLiteral("BCO111");
    const ReportStore store(env.database());
    for (const MsgButton answer : {MsgButton::No, MsgButton::Yes}) {
        const bool replaced = answer == MsgButton::Yes;
        SCOPED_TRACE(replaced ? "replaced" : "kept");
        env.dialogs.clearShown();
        env.dialogs.answer(QStringLiteral("Rel_Existe"), MsgButton::Yes, [&] {
            ReportDesign other = store.Load(code, entriesTitle);
            other.totalCaption = replaced ? QStringLiteral("Deles de novo") : QStringLiteral("Deles");
            store.Save(code, entriesTitle, other, QStringLiteral("SUPERV"), QDate(2024, 3, 14));
        });
        env.dialogs.answer(QStringLiteral("Rel_Alterado"), answer);
        reports.titles = {entriesTitle};
        open([&](TfrmRelLancCont &form) {
            choose(form, summaryTitle);
            form.sbtSalvarComo->click();
        });
        EXPECT_EQ(env.dialogs.texts().size(), 2) << env.dialogs.texts().join(u'|').toStdString();
        EXPECT_EQ(store.LastSaved(code, entriesTitle)->operatorCode,
                  replaced ? QStringLiteral("DEMO") : QStringLiteral("SUPERV"));
        EXPECT_EQ(store.Load(code, entriesTitle).toJson() == store.Load(code, summaryTitle).toJson(),
                  replaced);
    }
}

TEST_F(ReportForm, TheEditorChangesTheStoredDesignAndPreviewsItsFirstPage) {
    open([&](TfrmRelLancCont &form) {
        choose(form, summaryTitle);
        env.modalForms.then([](QWidget &shown) {
            controlOf<QTableWidget>(shown, "tblColunas")
                ->item(1, 1)
                ->setText(QStringLiteral("Descrição do tipo"));
            controlOf<QLineEdit>(shown, "edtTotal")->setText(QStringLiteral("Soma de tudo"));
            controlOf<QPushButton>(shown, "btnVisualizar")->click();
            const QPixmap preview = controlOf<QLabel>(shown, "lblPrevia")->pixmap();
            EXPECT_GT(preview.width(), 300);
            EXPECT_GT(preview.height(), preview.width()) << "an upright page";
            controlOf<QPushButton>(shown, "btnSalvar")->click();
        });
        form.sbtReportEdit->click();
    });
    const ReportDesign design = ReportStore(env.database()).Load(QStringLiteral("BCO111"), summaryTitle);
    EXPECT_EQ(design.columns[1].caption, "Descrição do tipo");
    EXPECT_EQ(design.totalCaption, "Soma de tudo");
    EXPECT_EQ(design.columns.size(), 5U);
}

// Another operator saves the design while this one edits it: this operator's save says so and asks; Yes
// replaces the other's design, No keeps it and stores this one's under the title typed next, or nowhere when
// none is typed. Each case is checked in the shared database, title by title, with who saved each.
TEST_F(ReportForm, AnEditSavedOverAnotherOperatorsSaveAsksAndLosesNeitherUnasked) {
    const QString code = QStringLiteral("BCO111");
    const ReportStore store(env.database());
    const struct Case {
        const char *name;
        MsgButton answer;
        QStringList titles;           // typed when asked for a new one
        const char *underTitle;       // whose total caption the edited title holds after
        const char *newTitle;         // where this operator's design went instead, if anywhere
        bool thirdWhileAsked = false; // CAIXA saves too while the question is open: it is asked again
    } cases[] = {
        {"replaced", MsgButton::Yes, {}, "Nosso 0", nullptr},
        {"kept under a new title", MsgButton::No, {QStringLiteral("Resumo meu")}, "Deles 1", "Resumo meu"},
        {"given no new title", MsgButton::No, {}, "Deles 2", nullptr},
        {"replaced after a third save while asked", MsgButton::Yes, {}, "Nosso 3", nullptr, true},
        {"kept under the title offered",
         MsgButton::No,
         {summaryTitle + QStringLiteral(" (DEMO)")},
         "Deles 4",
         "Resumo por tipo (DEMO)"},
        // Neither the design's own title, nor a blank one, nor one too long, nor one whose design the
        // operator keeps ends the question: the edit would be lost.
        {"kept under a title asked again",
         MsgButton::No,
         {summaryTitle, QStringLiteral(" "), QString(61, u'R'), entriesTitle, QStringLiteral("Resumo meu 5")},
         "Deles 5",
         "Resumo meu 5"},
    };
    int round = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString ours = QStringLiteral("Nosso %1").arg(round);
        const QString theirs = QStringLiteral("Deles %1").arg(round);
        ++round;
        const int titlesBefore = store.Titles(code).size();
        env.dialogs.clearShown();
        env.dialogs.answer(QStringLiteral("Rel_Alterado"), c.answer, [&] {
            if (!c.thirdWhileAsked)
                return;
            ReportDesign third = store.Load(code, summaryTitle);
            third.totalCaption = QStringLiteral("Do caixa");
            store.Save(code, summaryTitle, third, QStringLiteral("CAIXA"), QDate(2024, 3, 15));
        });
        if (c.thirdWhileAsked)
            env.dialogs.answer(QStringLiteral("Rel_Alterado"), c.answer);
        if (c.titles.contains(entriesTitle))
            env.dialogs.answer(QStringLiteral("Rel_Existe"), MsgButton::No);
        reports.titles = c.titles;
        const qsizetype suggestedBefore = reports.suggested.size();
        open([&](TfrmRelLancCont &form) {
            choose(form, summaryTitle);
            env.modalForms.then([&](QWidget &editor) {
                ReportDesign other = store.Load(code, summaryTitle);
                other.totalCaption = theirs;
                store.Save(code, summaryTitle, other, QStringLiteral("SUPERV"), QDate(2024, 3, 14));
                controlOf<QLineEdit>(editor, "edtTotal")->setText(ours);
                controlOf<QPushButton>(editor, "btnSalvar")->click();
            });
            form.sbtReportEdit->click();
            EXPECT_EQ(form.cbbReportNames->currentText(),
                      c.newTitle ? QString::fromUtf8(c.newTitle) : summaryTitle);
        });
        const auto question = [&](const char *by, const char *on) {
            return QStringLiteral(
                       "O relatório \"%1\" foi salvo por %2 em %3 depois que você começou a "
                       "editá-lo. Deseja substituí-lo pelo seu? Não: salvar o seu com outro título.")
                .arg(summaryTitle, QString::fromLatin1(by), QString::fromLatin1(on));
        };
        QStringList questions{question("SUPERV", "14/03/2024")};
        if (c.thirdWhileAsked)
            questions << question("CAIXA", "15/03/2024");
        for (const QString &typed : c.titles) {
            if (typed.size() > 60)
                questions << QStringLiteral("O título do relatório deve ter no máximo 60 caracteres.");
            if (typed == entriesTitle)
                questions << QStringLiteral(
                                 "Já existe um relatório com o título \"%1\". Deseja substituí-lo?")
                                 .arg(entriesTitle);
        }
        EXPECT_EQ(env.dialogs.texts(), questions);
        EXPECT_EQ(store.Load(code, summaryTitle).totalCaption, QString::fromUtf8(c.underTitle));
        EXPECT_EQ(store.LastSaved(code, summaryTitle)->operatorCode,
                  c.answer == MsgButton::Yes ? QStringLiteral("DEMO") : QStringLiteral("SUPERV"));
        EXPECT_EQ(store.Titles(code).size(), titlesBefore + (c.newTitle ? 1 : 0));
        if (c.answer == MsgButton::No) {
            ASSERT_GT(reports.suggested.size(), suggestedBefore);
            EXPECT_EQ(reports.suggested[suggestedBefore], summaryTitle + QStringLiteral(" (DEMO)"));
        }
        if (c.newTitle) {
            EXPECT_EQ(store.Load(code, QString::fromUtf8(c.newTitle)).totalCaption, ours);
            EXPECT_EQ(store.LastSaved(code, QString::fromUtf8(c.newTitle))->operatorCode, "DEMO");
        }
    }
}

// The preview asks for its pages from its own event loop: a page that cannot be painted is told to the
// operator there, and the preview closes as it would after any other page.
TEST(QtReportDialogsPreview, APageThatCannotBePaintedIsToldAndThePreviewClosesAsUsual) {
    ScriptedDialogs dialogs;
    QtReportDialogs reports;
    QPrinter printer;
    int asked = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget *preview = QApplication::activeModalWidget())
            preview->close();
    });
    closer.start(200);
    reports.preview(printer, [&asked](QPrinter &) {
        ++asked;
        throw std::runtime_error("A impressora recusou a página.");
    });
    EXPECT_GT(asked, 0);
    EXPECT_FALSE(dialogs.errors().isEmpty());
    for (const QString &error : dialogs.errors())
        EXPECT_EQ(error, QStringLiteral("A impressora recusou a página."));
}

} // namespace
