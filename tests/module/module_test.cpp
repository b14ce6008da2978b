#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSqlDatabase>
#include <QTemporaryDir>

#include "discount/discount_form.h"
#include "entries/entry_form.h"
#include "filter/filter_form.h"
#include "framework/data/database_url.h"
#include "framework/session/login_context.h"
#include "host/login.h"
#include "host/main_window.h"
#include "host/module_loader.h"
#include "import/import_form.h"
#include "reconciliation/reconciliation_form.h"
#include "report/report_form.h"
#include "server/server_process.h"
#include "support/form_test_environment.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_modal_forms.h"

using namespace bco;

namespace {

void releaseDeferred() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The module as the host loads it: the real library by path, its entry points resolved by name, its child
// forms shown in a host window's multi-document area, logged in to the real application server over a demo
// database that is also the shared database. (The suite also links the library, to read the units'
// variables: the loader hands back that same copy.)
class Module : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new QTemporaryDir;
        const QString url = QStringLiteral("sqlite:") + folder->filePath(QStringLiteral("demo.db"));
        server = new server::testing::ServerProcess(
            url, {QStringLiteral("--init-demo"), QStringLiteral("--demo-date"), QStringLiteral("2024-03-15"),
                  QStringLiteral("--demo-entries"), QStringLiteral("50")});
        openDatabase(DatabaseUrl::parse(url), QStringLiteral("adcGeral"));
        const host::LoginOutcome login =
            host::logIn(server->host(), server->port(), QStringLiteral("DEMO"), QStringLiteral("demo"));
        ASSERT_TRUE(login.ok()) << login.message.toStdString();
        context = new LoginContext;
        context->operatorCode = QStringLiteral("DEMO");
        context->processingBranch = QStringLiteral("0101");
        context->processingDate = QDate(2024, 3, 15);
        context->serverHost = server->host();
        context->serverPort = server->port();
        context->sessionToken = login.token;
        context->databaseConnection = QStringLiteral("adcGeral");
        Session::install(context);
        module = new host::LoadedModule(host::loadModule(QStringLiteral(BCO_MODULE_PATH)));
    }
    static void TearDownTestSuite() {
        delete module;
        Session::install(nullptr);
        delete context;
        QSqlDatabase::removeDatabase(QStringLiteral("adcGeral"));
        delete server;
        delete folder;
    }

    void SetUp() override { window.show(); }

    void TearDown() override {
        window.mdiArea()->closeAllSubWindows();
        delete Cli_bco11102::frmFiltroLancCont.data();
        releaseDeferred();
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "a creator left the hourglass on";
    }

    QList<QWidget *> childForms() const {
        QList<QWidget *> forms;
        for (QMdiSubWindow *sub : window.mdiArea()->subWindowList())
            forms << sub->widget();
        return forms;
    }

    static QTemporaryDir *folder;
    static server::testing::ServerProcess *server;
    static LoginContext *context;
    static host::LoadedModule *module;
    ScriptedDialogs dialogs;
    ScriptedModalForms modal;
    host::MainWindow window{QString()};
    ScopedHostFrame frame{window};
};

QTemporaryDir *Module::folder = nullptr;
server::testing::ServerProcess *Module::server = nullptr;
LoginContext *Module::context = nullptr;
host::LoadedModule *Module::module = nullptr;

} // namespace

TEST_F(Module, ExportsEveryEntryPointAndStartsWithItsUnitsAsTheModuleLoads) {
    EXPECT_TRUE(module->missing.isEmpty()) << module->missing.join(u',').toStdString();
    EXPECT_FALSE(Cli_bco11100::boStCriado);
    EXPECT_TRUE(Cli_bco11100::boValidaIdComp);
    EXPECT_FALSE(Cli_bco11100::boInclusao);
    EXPECT_FALSE(Cli_bco11100::boAltera);
    EXPECT_FALSE(Cli_bco11100::boAtualizaSaldo);
    EXPECT_TRUE(Cli_bco11100::frmLancCCorr.isNull());
    EXPECT_FALSE(Cli_bco11101::boIdCriado);
    EXPECT_TRUE(Cli_bco11102::frmFiltroLancCont.isNull());
    EXPECT_FALSE(Cli_bco11103::boStCriado);
    EXPECT_FALSE(Cli_bco11104::boIdCriado);
    EXPECT_FALSE(Cli_bco11105::boIdCriado);
}

TEST_F(Module, ChildFormsAreMadeOnceShownAgainAndMadeAnewAfterTheyClose) {
    struct Case {
        const char *creator;
        BcoCreator call;
        const char *formName, *screenCode;
        bool *created;
    };
    const Case cases[] = {
        {"CriaLancamento", module->CriaLancamento, "frmLancCCorr", "BCO11100", &Cli_bco11100::boStCriado},
        {"IniProc", module->IniProc, "frmLancCCorr", "BCO11100", &Cli_bco11100::boStCriado},
        {"CriaImportacao", module->CriaImportacao, "frmImportLanc", "BCO11104", &Cli_bco11104::boIdCriado},
        {"CriaConciliacao", module->CriaConciliacao, "frmConciliacao", "BCO11105", &Cli_bco11105::boIdCriado},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.creator);
        c.call();
        c.call();
        ASSERT_EQ(childForms().size(), 1);
        QPointer<QWidget> first = childForms().first();
        EXPECT_EQ(first->objectName(), c.formName);
        EXPECT_EQ(first->findChild<QLabel *>(QStringLiteral("lblCodTela"))->text(), c.screenCode);
        EXPECT_TRUE(first->isVisible());
        EXPECT_TRUE(*c.created);

        window.mdiArea()->subWindowList().first()->showMinimized();
        c.call();
        EXPECT_FALSE(window.mdiArea()->subWindowList().first()->isMinimized())
            << "shown again in its normal state";

        window.mdiArea()->subWindowList().first()->close();
        EXPECT_FALSE(*c.created);
        releaseDeferred();
        EXPECT_TRUE(first.isNull());
        c.call();
        ASSERT_EQ(childForms().size(), 1);
        EXPECT_NE(childForms().first(), first.data());
        window.mdiArea()->closeAllSubWindows();
        releaseDeferred();
    }
}

TEST_F(Module, IniProcAndCriaLancamentoOpenTheSameEntryForm) {
    module->IniProc();
    QPointer<QWidget> form = childForms().value(0);
    module->CriaLancamento();
    module->IniProc();
    EXPECT_EQ(childForms(), QList<QWidget *>({form.data()}));
    EXPECT_EQ(Cli_bco11100::frmLancCCorr.data(), form.data());
}

TEST_F(Module, TheReportReturnsOnlyWhenTheOperatorHasClosedIt) {
    for (int opening = 0; opening < 2; ++opening) {
        bool returned = false;
        QPointer<QWidget> shown;
        modal.then([&](QWidget &form) {
            EXPECT_FALSE(returned);
            EXPECT_EQ(form.objectName(), "frmRelLancCont");
            EXPECT_EQ(form.findChild<QLabel *>(QStringLiteral("lblCodTela"))->text(), "BCO11101");
            EXPECT_EQ(form.findChild<QLabel *>(QStringLiteral("lblCodRel"))->text(), "BCO111");
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor)
                << "the operator works without the hourglass";
            EXPECT_TRUE(Cli_bco11101::boIdCriado);
            shown = &form;
            form.findChild<QToolButton *>(QStringLiteral("sbtFechar"))->click();
        });
        module->CriaRelLancCont();
        returned = true;
        EXPECT_FALSE(Cli_bco11101::boIdCriado);
        ASSERT_FALSE(shown.isNull()) << "released only after the call that showed it returned";
        releaseDeferred();
        EXPECT_TRUE(shown.isNull());
    }
    EXPECT_EQ(modal.shown(), QStringList({"frmRelLancCont", "frmRelLancCont"}));
}

TEST_F(Module, TheFilterDialogOnlyHidesAndLivesUntilTheEntryFormCloses) {
    // The filter serves the entry form, which is open whenever it is used.
    module->CriaLancamento();
    void *variable = nullptr;
    modal.then([](QWidget &form) { form.close(); }).then([](QWidget &form) { form.close(); });
    module->CriaFiltroLancCont(&variable, nullptr, "BOTAO_FILTRO", "12345");
    ASSERT_NE(variable, nullptr);
    QPointer<Cli_bco11102::TfrmFiltroLancCont> dialog =
        static_cast<Cli_bco11102::TfrmFiltroLancCont *>(variable);
    EXPECT_EQ(Cli_bco11102::stCdReduCont, "123");
    releaseDeferred();
    ASSERT_FALSE(dialog.isNull());
    EXPECT_FALSE(dialog->isVisible());
    module->CriaFiltroLancCont(&variable, nullptr, "BOTAO_FILTRO", "7");
    EXPECT_EQ(variable, dialog.data());
    EXPECT_EQ(Cli_bco11102::stCdReduCont, "7");
    // The silent rerun shows nothing (no modal showing was scripted for it) and keeps the dialog.
    module->CriaFiltroLancCont(&variable, nullptr, "ESCONDE_FILTRO", "001");
    module->CriaFiltroLancCont(&variable, nullptr, "OUTRA", "002");
    releaseDeferred();
    EXPECT_EQ(variable, dialog.data());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Cli_bco11102::stCdReduCont, "002");
    delete dialog.data();

    // The entry form's own dialog (a null variable) goes when the entry form closes.
    module->CriaFiltroLancCont(nullptr, nullptr, "ESCONDE_FILTRO", "001");
    QPointer<Cli_bco11102::TfrmFiltroLancCont> own = Cli_bco11102::frmFiltroLancCont;
    ASSERT_FALSE(own.isNull());
    window.mdiArea()->closeAllSubWindows();
    EXPECT_TRUE(own.isNull());
    EXPECT_TRUE(Cli_bco11102::frmFiltroLancCont.isNull());
}

// The filter and the discount form work for the open entry form, whose services the creators hand them: a
// host that asks for either with none open is told so, and nothing is made.
TEST_F(Module, TheEntryFormsDialogsAreRefusedWithoutAnEntryForm) {
    void *variable = nullptr;
    module->CriaFiltroLancCont(&variable, nullptr, "BOTAO_FILTRO", "001");
    module->CriaFiltroLancCont(nullptr, nullptr, "ESCONDE_FILTRO", "001");
    module->CriaDescAdi(150.25, "CLI0005", "01", "0", "C", nullptr);
    EXPECT_EQ(dialogs.errors(),
              QStringList({"O filtro de lançamentos só funciona com a tela de lançamentos aberta.",
                           "O filtro de lançamentos só funciona com a tela de lançamentos aberta.",
                           "O desconto de adiantamentos só funciona com a tela de lançamentos aberta."}));
    EXPECT_EQ(variable, nullptr);
    EXPECT_TRUE(Cli_bco11102::frmFiltroLancCont.isNull());
    EXPECT_TRUE(Cli_bco11103::frmDescAdia.isNull());
    EXPECT_EQ(modal.shown(), QStringList());
}

TEST_F(Module, TheDiscountFormIsReadableWhenItsModalCallReturnsAndIsThenReleased) {
    // The discount form is opened while the entry form confirms an entry.
    module->CriaLancamento();
    for (const bool byWindow : {false, true}) {
        SCOPED_TRACE(byWindow ? "closed by its window" : "cancelled");
        modal.then([&](QWidget &form) {
            auto &discount = static_cast<Cli_bco11103::TfrmDescAdia &>(form);
            EXPECT_EQ(discount.windowTitle(), "Descontar Adiantamento");
            EXPECT_EQ(discount.lblCodTela->text(), "BCO11103");
            if (byWindow)
                form.close();
            else
                form.findChild<QToolButton *>(QStringLiteral("sbtCancela"))->click();
        });
        module->CriaDescAdi(150.25, "000000000000000000042", "01", "3", "F", "12345678000195");
        ASSERT_FALSE(Cli_bco11103::frmDescAdia.isNull());
        EXPECT_FALSE(Cli_bco11103::boStCriado);
        EXPECT_TRUE(Cli_bco11103::frmDescAdia->PageData().Active());
        releaseDeferred();
        EXPECT_TRUE(Cli_bco11103::frmDescAdia.isNull());
    }
}

TEST_F(Module, AFailureInsideACreatorIsShownAndEndsOnlyThatCall) {
    ModalForms *scripted = Dialogs::installModalForms(nullptr);
    module->CriaRelLancCont();
    Dialogs::installModalForms(scripted);
    ASSERT_EQ(dialogs.errors().size(), 1);
    EXPECT_TRUE(dialogs.errors().first().startsWith(u"no dialogs service is installed"))
        << dialogs.errors().first().toStdString();
    // The form was made before the failure and serves the next call.
    QPointer<Cli_bco11101::TfrmRelLancCont> made = Cli_bco11101::frmRelLancCont;
    ASSERT_FALSE(made.isNull());
    modal.then([&](QWidget &form) {
        EXPECT_EQ(&form, made.data());
        static_cast<Cli_bco11101::TfrmRelLancCont &>(form).Close();
    });
    module->CriaRelLancCont();
}
