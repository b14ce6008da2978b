#include <stdexcept>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QVBoxLayout>

#include "framework/checks/consiste.h"
#include "framework/data/client_data_set.h"
#include "framework/data/data_source.h"
#include "framework/ui/forms/filter_base_form.h"
#include "framework/ui/forms/import_export_form.h"
#include "framework/ui/forms/maintenance_form.h"
#include "framework/ui/forms/routine_form.h"
#include "support/private_config_folder.h"
#include "support/qt_printers.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_modal_forms.h"

using namespace bco;

namespace {

// Runs the releases the forms deferred.
void releaseDeferred() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A routine dialog that records its life cycle and can refuse to close or to be made.
class RecordingRoutine : public TfrmRotiGeral {
public:
    explicit RecordingRoutine(QStringList &log, bool failCreate = false)
        : log_(log)
        , failCreate_(failCreate) {}

    bool refuseClose = false;

protected:
    void FormCreate() override {
        log_ << "create";
        if (failCreate_)
            throw std::runtime_error("the server is unreachable");
    }
    void FormActivate() override { log_ << "activate"; }
    void FormClose(TCloseAction &action) override {
        log_ << "close";
        if (refuseClose)
            Consiste::MensErro(QStringLiteral("Ainda não."));
        TfrmRotiGeral::FormClose(action);
    }

private:
    QStringList &log_;
    bool failCreate_;
};

} // namespace

TEST(RoutineForm, ConfirmAndCancelAnswerTheModalCallAndReleaseTheFormOnlyAfterIt) {
    struct Case {
        const char *button;
        int result;
    };
    for (const Case c : {Case{"sbtConfirma", mrOk}, Case{"sbtCancela", mrCancel}}) {
        ScriptedModalForms modal;
        QStringList log;
        QPointer<RecordingRoutine> form = CreateForm<RecordingRoutine>(log);
        modal.then(
            [&](QWidget &shown) { shown.findChild<QToolButton *>(QString::fromLatin1(c.button))->click(); });
        EXPECT_EQ(form->ShowModal(), c.result) << c.button;
        // The caller still reads the form after the modal call returned...
        ASSERT_FALSE(form.isNull()) << c.button;
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(log, QStringList({"create", "close"}));
        // ...and the form goes once the event that closed it has ended.
        releaseDeferred();
        EXPECT_TRUE(form.isNull()) << c.button;
    }
}

TEST(RoutineForm, AFormThatFailsToBeMadeIsDestroyedAndTheFailureReachesTheCaller) {
    QStringList log;
    int before = QApplication::topLevelWidgets().size();
    EXPECT_THROW(CreateForm<RecordingRoutine>(log, true), std::runtime_error);
    EXPECT_EQ(log, QStringList({"create"}));
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
}

TEST(RoutineForm, ACloseHandlerThatAbortsKeepsTheFormOpen) {
    ScriptedDialogs dialogs;
    QStringList log;
    QPointer<RecordingRoutine> form = CreateForm<RecordingRoutine>(log);
    form->refuseClose = true;
    form->show();
    form->Close();
    releaseDeferred();
    ASSERT_FALSE(form.isNull());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(dialogs.errors(), QStringList({"Ainda não."}));
    form->refuseClose = false;
    form->Close();
    releaseDeferred();
    EXPECT_TRUE(form.isNull());
}

TEST(RoutineForm, IsActivatedWhenAnotherFormWasActiveBeforeOrWhenItIsShownAgain) {
    QStringList logA, logB;
    QPointer<RecordingRoutine> a = CreateForm<RecordingRoutine>(logA);
    QPointer<RecordingRoutine> b = CreateForm<RecordingRoutine>(logB);
    const auto activate = [](QWidget *form) {
        QEvent event(QEvent::WindowActivate);
        QApplication::sendEvent(form, &event);
    };
    activate(a);
    activate(b);
    activate(a);
    // Coming back to the active form from nowhere else (a message box, another program) is no activation.
    activate(a);
    EXPECT_EQ(logA, QStringList({"create", "activate", "activate"}));
    EXPECT_EQ(logB, QStringList({"create", "activate"}));
    // A form hidden and shown again (a dialog opened a second time) is activated again.
    a->show();
    a->hide();
    activate(a);
    EXPECT_EQ(logA, QStringList({"create", "activate", "activate", "activate"}));
    delete a;
    delete b;
}

// A frame makes its child window active again when the program is active again, even while a dialog above
// it is the active window: the dialog, active again, is no form activated after another.
TEST(RoutineForm, AChildWindowMadeActiveUnderAnActiveDialogActivatesNeither) {
    QMdiArea area;
    QStringList logChild, logDialog;
    QPointer<RecordingRoutine> child = CreateForm<RecordingRoutine>(logChild);
    QPointer<RecordingRoutine> dialog = CreateForm<RecordingRoutine>(logDialog);
    QMdiSubWindow *window = area.addSubWindow(child);
    area.addSubWindow(new QWidget)->show();
    window->show();
    area.show();
    dialog->show();
    QApplication::setActiveWindow(dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    logChild.clear();
    logDialog.clear();

    area.activateNextSubWindow();
    area.setActiveSubWindow(window);
    QEvent event(QEvent::WindowActivate);
    QApplication::sendEvent(dialog, &event);
    EXPECT_EQ(logChild, QStringList());
    EXPECT_EQ(logDialog, QStringList());
    delete dialog;
}

TEST(RoutineForm, ShowsItsModalFormWithTheOrdinaryCursorWhateverTheCallerShowed) {
    ScriptedModalForms modal;
    QStringList log;
    RecordingRoutine *form = CreateForm<RecordingRoutine>(log);
    Qt::CursorShape during = Qt::BlankCursor;
    modal.then([&](QWidget &shown) {
        during = QApplication::overrideCursor()->shape();
        static_cast<RecordingRoutine &>(shown).sbtCancelaClick();
    });
    {
        HourglassCursor hourglass;
        form->ShowModal();
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(during, Qt::ArrowCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    releaseDeferred();
}

TEST(Forms, AChildWindowClosedByItsFormGoesWithItsWindow) {
    QMdiArea area;
    QStringList log;
    QPointer<RecordingRoutine> form = CreateForm<RecordingRoutine>(log);
    QPointer<QMdiSubWindow> window = area.addSubWindow(form);
    window->show();
    form->Close();
    releaseDeferred();
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(log, QStringList({"create", "close"}));
}

TEST(Forms, ALayoutWithoutABaseFormsControlIsRefusedNamingIt) {
    struct Incomplete : TfrmRotiGeral {
        Incomplete()
            : TfrmRotiGeral(DescendantLayout{}, nullptr) {
            setObjectName(QStringLiteral("frmIncompleto"));
            auto *layout = new QVBoxLayout(this);
            auto *label = new QLabel(this);
            label->setObjectName(QStringLiteral("lblCodTela"));
            auto *panel = new QWidget(this);
            panel->setObjectName(QStringLiteral("panMenu"));
            layout->addWidget(label);
            layout->addWidget(panel);
            BindFrame();
        }
    };
    try {
        Incomplete form;
        ADD_FAILURE() << "a layout without sbtConfirma was accepted";
    } catch (const std::logic_error &error) {
        EXPECT_STREQ(error.what(), "the layout of frmIncompleto lacks the control sbtConfirma");
    }
}

TEST(ImportExportForm, ClosesFromItsToolBarAndOffersNoHelp) {
    QPointer<TfrmPadrImportExport> form = CreateForm<TfrmPadrImportExport>();
    form->show();
    EXPECT_FALSE(form->sbtAjuda->isEnabled());
    EXPECT_EQ(form->sbtImportExport->focusPolicy(), Qt::NoFocus);
    form->sbtFechar->click();
    releaseDeferred();
    EXPECT_TRUE(form.isNull());
}

namespace {

// A filter with one control of each kind in its group box, and an entry of its own in the options.
class SampleFilter : public TfrmFiltroPadrao {
public:
    SampleFilter() {
        lblCodTela->setText(QStringLiteral("TST00001"));
        auto *layout = new QVBoxLayout(grbFiltro);
        edtTexto = add<QLineEdit>("edtTexto");
        chkAtivo = add<QCheckBox>("chkAtivo");
        rbtTodos = add<QRadioButton>("rbtTodos");
        rbtLista = add<QRadioButton>("rbtLista");
        cbbForma = add<QComboBox>("cbbForma");
        cbbForma->addItems({QStringLiteral("Crédito"), QStringLiteral("Débito")});
        rbtTodos->setChecked(true);
        for (QWidget *control : grbFiltro->findChildren<QWidget *>())
            layout->addWidget(control);
    }

    QString typeList;
    QLineEdit *edtTexto;
    QCheckBox *chkAtivo;
    QRadioButton *rbtTodos;
    QRadioButton *rbtLista;
    QComboBox *cbbForma;

    void btfSaveOpcClick() override {
        TfrmFiltroPadrao::btfSaveOpcClick();
        Opcoes.SetValues(QStringLiteral("stTipo"), typeList);
    }
    void btfLoadOpcClick() override {
        TfrmFiltroPadrao::btfLoadOpcClick();
        typeList = Opcoes.Values(QStringLiteral("stTipo"));
    }

private:
    template <class Widget> Widget *add(const char *name) {
        auto *widget = new Widget(grbFiltro);
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    }
};

class FilterOptions : public ::testing::Test {
protected:
    bco::testing::PrivateConfigFolder config;
};

} // namespace

TEST_F(FilterOptions, SavedCriteriaComeBackWithTheDescendantsOwnEntries) {
    SampleFilter saved;
    saved.edtTexto->setText(QStringLiteral("linha 1\nlinha 2 \\ fim"));
    saved.chkAtivo->setChecked(true);
    saved.rbtLista->setChecked(true);
    saved.cbbForma->setCurrentIndex(1);
    saved.typeList = QStringLiteral("'C0001','D0002'");
    saved.btfSaveOpc->click();
    EXPECT_TRUE(saved.OptionsFile().endsWith(QStringLiteral("/opcoes/TST00001.opcoes")))
        << saved.OptionsFile().toStdString();
    ASSERT_TRUE(QFile::exists(saved.OptionsFile()));

    SampleFilter loaded;
    loaded.btfLoadOpc->click();
    EXPECT_EQ(loaded.edtTexto->text(), "linha 1\nlinha 2 \\ fim");
    EXPECT_TRUE(loaded.chkAtivo->isChecked());
    EXPECT_TRUE(loaded.rbtLista->isChecked());
    EXPECT_FALSE(loaded.rbtTodos->isChecked());
    EXPECT_EQ(loaded.cbbForma->currentIndex(), 1);
    EXPECT_EQ(loaded.typeList, "'C0001','D0002'");
}

TEST_F(FilterOptions, LoadingBeforeAnySaveLeavesTheControlsAsTheyAre) {
    SampleFilter filter;
    filter.edtTexto->setText(QStringLiteral("digitado"));
    filter.typeList = QStringLiteral("T");
    filter.btfLoadOpc->click();
    EXPECT_EQ(filter.edtTexto->text(), "digitado");
    EXPECT_EQ(filter.typeList, "");
    EXPECT_EQ(filter.Opcoes.Count(), 0);
}

TEST(OptionList, KeepsNamesInOrderMatchedWithoutCase) {
    TOptionList options;
    options.SetValues(QStringLiteral("depDataIni"), QStringLiteral("01/03/2024"));
    options.SetValues(QStringLiteral("stTipo"), QStringLiteral("T"));
    options.SetValues(QStringLiteral("STTIPO"), QStringLiteral("'C0001'"));
    EXPECT_EQ(options.Names(), QStringList({"depDataIni", "stTipo"}));
    EXPECT_EQ(options.Values(QStringLiteral("sttipo")), "'C0001'");
    EXPECT_EQ(options.Values(QStringLiteral("ausente")), "");
    TOptionList copy;
    copy.SetText(options.Text() + QStringLiteral("linha sem igual\n=sem nome\n"));
    EXPECT_EQ(copy.Names(), options.Names());
    EXPECT_EQ(copy.Values(QStringLiteral("depDataIni")), "01/03/2024");
}

namespace {

// A maintenance form over a three-row data set, logging its page handlers.
class MaintenanceForm : public ::testing::Test {
protected:
    class Form : public TfrmPadrao {
    public:
        QStringList log;
        bool refuse = false;

    protected:
        void pgcPadraoChanging(bool &AllowChange) override {
            log << "changing";
            AllowChange = !refuse;
        }
        void pgcPadraoChange() override {
            log << "change";
            TfrmPadrao::pgcPadraoChange();
        }
    };

    void SetUp() override {
        dataSet.AddFields({{QStringLiteral("CODIGO"), FieldKind::Text, 4}});
        dataSet.CreateDataSet();
        for (const char *code : {"A", "B", "C"}) {
            dataSet.Append();
            dataSet.FieldByName(u"CODIGO").SetAsString(QString::fromLatin1(code));
            dataSet.Post();
        }
        dataSet.First();
        source.SetDataSet(&dataSet);
        form = CreateForm<Form>();
        form->dbnPadrao->SetDataSource(&source);
        form->show();
    }

    void TearDown() override {
        delete form;
        releaseDeferred();
    }

    QString current() const { return dataSet.FieldByName(u"CODIGO").AsString(); }

    ClientDataSet dataSet;
    DataSource source;
    Form *form = nullptr;
};

} // namespace

TEST_F(MaintenanceForm, AsksTheCancelAndDeleteQuestionsOfItsOwnCatalogue) {
    ScriptedDialogs dialogs;
    dialogs.answer(QStringLiteral("Canc"), MsgButton::No)
        .answer(QStringLiteral("Canc"), MsgButton::Yes)
        .answer(QStringLiteral("Excl"), MsgButton::No)
        .answer(QStringLiteral("Excl"), MsgButton::Yes);
    EXPECT_FALSE(form->ConfirmaCancelamento());
    EXPECT_TRUE(form->ConfirmaCancelamento());
    EXPECT_FALSE(form->ConfirmaExclusao());
    EXPECT_TRUE(form->ConfirmaExclusao());
    ASSERT_EQ(dialogs.shown().size(), 4u);
    EXPECT_EQ(dialogs.shown()[0].text, "Deseja cancelar a operação?");
    EXPECT_EQ(dialogs.shown()[2].text, "Confirma a exclusão do registro?");
    for (const ScriptedDialogs::Shown &shown : dialogs.shown()) {
        EXPECT_EQ(shown.kind, MsgKind::Confirmation);
        EXPECT_EQ(shown.buttons, MsgButtons(MsgButton::Yes) | MsgButton::No);
    }
}

TEST_F(MaintenanceForm, ItsCancelDropsTheRecordBeingInsertedAndKeepsAPostedOne) {
    dataSet.Append();
    dataSet.FieldByName(u"CODIGO").SetAsString(QStringLiteral("D"));
    form->sbtCancelar->click();
    EXPECT_EQ(dataSet.State(), DataSetState::Browse);
    EXPECT_EQ(dataSet.RecordCount(), 3);
    form->sbtCancelar->click();
    EXPECT_EQ(dataSet.RecordCount(), 3);
}

TEST_F(MaintenanceForm, TheNavigationMenuMovesTheListOnlyWhileTheNavigatorIsEnabled) {
    form->mnuUltimo->trigger();
    EXPECT_EQ(current(), "C");
    form->mnuAnterior->trigger();
    EXPECT_EQ(current(), "B");
    form->mnuPrimeiro->trigger();
    EXPECT_EQ(current(), "A");
    form->dbnPadrao->setEnabled(false);
    form->mnuProximo->trigger();
    EXPECT_EQ(current(), "A");
    form->dbnPadrao->setEnabled(true);
    form->mnuProximo->trigger();
    EXPECT_EQ(current(), "B");
}

TEST_F(MaintenanceForm, AnOperatorsPageChangeRunsTheChangingThenTheChangeHandler) {
    form->pgcPadrao->tabBar()->setCurrentIndex(1);
    EXPECT_EQ(form->ActivePage(), form->tshFormulario);
    EXPECT_EQ(form->log, QStringList({"changing", "change"}));
    EXPECT_TRUE(form->mnuFormulario->isChecked());
    EXPECT_FALSE(form->mnuFolhaDados->isChecked());
    form->mnuFolhaDados->trigger();
    EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
    EXPECT_TRUE(form->mnuFolhaDados->isChecked());
    EXPECT_FALSE(form->mnuFormulario->isChecked());
}

TEST_F(MaintenanceForm, ARefusedPageChangeKeepsThePageAndItsMenuItem) {
    form->refuse = true;
    form->mnuFormulario->trigger();
    form->pgcPadrao->setCurrentIndex(1);
    EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
    EXPECT_EQ(form->log, QStringList({"changing", "changing"}));
    EXPECT_TRUE(form->mnuFolhaDados->isChecked());
    EXPECT_FALSE(form->mnuFormulario->isChecked());
}

TEST_F(MaintenanceForm, TheProgramsPageChangeRunsNoHandlerAndMayShowADisabledPage) {
    form->SetPageEnabled(form->tshFolhaDados, false);
    form->SetActivePage(form->tshFormulario);
    form->SetActivePage(form->tshFolhaDados);
    EXPECT_EQ(form->ActivePage(), form->tshFolhaDados);
    EXPECT_FALSE(form->tshFolhaDados->isEnabled());
    EXPECT_TRUE(form->log.isEmpty());
    // The operator cannot go back to a disabled page; the form's handler is asked first, so that it can
    // say why.
    form->SetActivePage(form->tshFormulario);
    form->ChangePage(form->tshFolhaDados);
    EXPECT_EQ(form->ActivePage(), form->tshFormulario);
    EXPECT_EQ(form->log, QStringList({"changing"}));
}

TEST_F(MaintenanceForm, ToolButtonsTakeNoFocusAndTheMaintenanceMenuHoldsTheirItems) {
    for (QToolButton *button : form->panMenu->findChildren<QToolButton *>())
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->objectName().toStdString();
    QStringList items;
    for (QAction *action : form->mnuManutencao->actions())
        if (!action->isSeparator())
            items << action->objectName();
    EXPECT_EQ(items, QStringList({"mnuIncluir", "mnuAlterar", "mnuExcluir", "mnuProcurar", "mnuVerificar",
                                  "mnuConfirmar", "mnuCancelar", "mnuListagem", "mnuFechar"}));
}
