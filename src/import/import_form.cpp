#include "import/import_form.h"

#include <algorithm>

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMdiSubWindow>

#include "entry_model/entry_services.h"
#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"
#include "framework/ui/event_guard.h"
#include "framework/ui/file_dialogs.h"
#include "framework/ui/focus_tracker.h"
#include "framework/ui/host_frame.h"
#include "framework/ui/wait_animation.h"
#include "import/import_messages.h"
#include "import/import_submission.h"
#include "import/workbook_error.h"

#include "ui_import_form.h"

namespace Cli_bco11104 {

QPointer<TfrmImportLanc> frmImportLanc;
bool boIdCriado = false;

namespace {

// The wait animation of a server call that writes.
constexpr int WorkAnimation = 1;

// Every kind the reader opens, and each alone.
const QString workbookFilter = QStringLiteral("Planilhas (*.xls *.xlsx *.ods);;Excel 97-2003 (*.xls);;"
                                              "Excel (*.xlsx);;OpenDocument (*.ods)");

} // namespace

TfrmImportLanc::TfrmImportLanc(QWidget *parent)
    : TfrmPadrImportExport(DescendantLayout{}, parent)
    , records([] { return dtmDBGeral::adcGeral(); })
    , ui(std::make_unique<Ui::frmImportLanc>())
    , pass_(netLancContCorr, msgPadrao, records) {
    AddImportMessages(msgPadrao);
    ui->setupUi(this);
    BindFrame();
    setWindowTitle(QStringLiteral("Importação de Lançamento em Conta Corrente"));
    ui->medArqOrig->SetColor(bco::ControlColor::InfoTip);
    ui->btpArqOrig->SetHint(QStringLiteral("Pesquisar"));
    ui->btpArqOrig->SetAssociate(ui->medArqOrig);
    ui->btpArqOrig->OnClick = [this] {
        btpArqOrigClick();
    };

    dtsErro.SetDataSet(&records.cdsErro);
    ui->dgbErros->SetColor(bco::ControlColor::InfoTip);
    ui->dgbErros->SetDataSource(&dtsErro);
    ui->dgbErros->SetColumns({{.fieldName = QStringLiteral("NRLINHA")},
                              {.fieldName = QStringLiteral("NRLINHAPLAN")},
                              {.fieldName = QStringLiteral("DSERRO"), .width = 419}});
    // The list is the operator's to read: no line of it is ever deleted.
    ui->dgbErros->OnKeyDown = [](int &key, Qt::KeyboardModifiers modifiers) {
        if (key == Qt::Key_Delete && modifiers.testFlag(Qt::ControlModifier))
            key = 0;
    };

    bco::FocusTracker::instance().setExitHandler(ui->panFiltro, [this] { panFiltroExit(); });
    bco::connectGuarded(ui->medArqOrig, &bco::EditControl::Changed, this, [this] { medArqOrigChange(); });
}

TfrmImportLanc::~TfrmImportLanc() = default;

void TfrmImportLanc::FormCreate() {
    TfrmPadrImportExport::FormCreate();
    netLancContCorr.SetBeforeConnect(
        [](bco::NetConnection &connection) { Ondrima::PrepareConnection(connection); });
    netLancContCorr.Open();
    records.Open();
    // Nothing can be imported before a workbook has passed its checks.
    sbtImportExport->setEnabled(false);
    ui->dgbErros->setEnabled(false);
}

void TfrmImportLanc::FormClose(bco::TCloseAction &action) {
    boIdCriado = false;
    records.qryContCorr.Close();
    netLancContCorr.Close();
    TfrmPadrImportExport::FormClose(action);
}

bool TfrmImportLanc::focusNextPrevChild(bool next) {
    // The error list opens only after a pass, so the file's field would be the one stop of the form and Tab
    // would never leave the panel: the list opens to take the focus, whose move runs the pass as any exit of
    // the panel does. A pass refused keeps the focus in the field and the list closed.
    if (next && QApplication::focusWidget() == ui->medArqOrig && !ui->dgbErros->isEnabled()) {
        ui->dgbErros->setEnabled(true);
        ui->dgbErros->setFocus(Qt::TabFocusReason);
        if (QApplication::focusWidget() != ui->dgbErros)
            ui->dgbErros->setEnabled(false);
        return true;
    }
    return TfrmPadrImportExport::focusNextPrevChild(next);
}

void TfrmImportLanc::btpArqOrigClick() {
    ui->medArqOrig->setFocus();
    const QString folder = QFileInfo(ui->medArqOrig->Text().trimmed()).absolutePath();
    if (const std::optional<QString> chosen = bco::Dialogs::files().openFile(
            QStringLiteral("Arquivo Origem"), ui->medArqOrig->Text().trimmed().isEmpty() ? QString() : folder,
            workbookFilter))
        ui->medArqOrig->SetText(QDir::toNativeSeparators(*chosen));
    Vd_ArqExcel(true);
    ui->dgbErros->setEnabled(true);
    ui->dgbErros->setFocus();
}

QByteArray TfrmImportLanc::contentsOf(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

void TfrmImportLanc::Vd_ArqExcel(bool required) {
    const QString path = ui->medArqOrig->Text();
    try {
        if (Consiste::EmptyString(path)) {
            if (required)
                Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Arq_NI")), true);
            return;
        }
        if (!QDir::setCurrent(QFileInfo(path.trimmed()).absolutePath()))
            Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Dir_N_Existe")), true);
        if (const QFileInfo file(path); !file.isFile())
            Consiste::MensErro(
                msgPadrao.Msg(QString::fromLatin1(file.exists() ? "Arq_N_Arquivo" : "Arq_N_Existe")), true);
    } catch (const Consiste::EAbort &) {
        ui->medArqOrig->setFocus();
        throw;
    }
}

void TfrmImportLanc::medArqOrigChange() {
    records.cdsErro.EmptyDataSet();
    ui->lblResumo->clear();
    sbtImportExport->setEnabled(false);
}

void TfrmImportLanc::panFiltroExit() {
    Vd_ArqExcel(true);
    // Checked again, the credits just written would be errors, repetitions of themselves, and the debits
    // could no longer be sent: the same file keeps what the form knows of it.
    if (DebitsPending() && contentsOf(ui->medArqOrig->Text()) == checkedContents_)
        return;
    PreparaImport();
}

bool TfrmImportLanc::DebitsPending() const {
    return sbtImportExport->isEnabled() && !records.answered.empty();
}

bool TfrmImportLanc::FormCloseQuery() {
    return !DebitsPending() ||
           bco::Dialogs::messages().show(bco::MsgKind::Confirmation,
                                         msgPadrao.Msg(QStringLiteral("Debitos_Pendentes")),
                                         bco::MsgButton::Yes | bco::MsgButton::No,
                                         QStringLiteral("Debitos_Pendentes")) == bco::MsgButton::Yes;
}

void TfrmImportLanc::PreparaImport() {
    sbtImportExport->setEnabled(false);
    ui->lblResumo->clear();
    // The list is read from its first line, however the pass ended.
    struct FromTheTop {
        bco::ClientDataSet &errors;
        ~FromTheTop() {
            if (errors.Active())
                errors.First();
        }
    } fromTheTop{records.cdsErro};
    checkedContents_ = contentsOf(ui->medArqOrig->Text());
    try {
        pass_.Run(ui->medArqOrig->Text(), *this);
    } catch (const bco::WorkbookError &error) {
        // The file cannot be read as a workbook: the operator is told why, and nothing can be imported.
        Consiste::MensErro(error.message(), true);
    }
    if (pass_.FoundNoEntries())
        Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Arq_Sem_Lanc")), true);
    if (pass_.Importable()) {
        sbtImportExport->setEnabled(true);
        const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
        ui->lblResumo->setText(msgPadrao.Msg(QStringLiteral("Resumo_Imp"))
                                   .arg(pass_.Credits())
                                   .arg(brazil.toString(pass_.CreditTotal(), 'f', 2))
                                   .arg(pass_.Debits())
                                   .arg(brazil.toString(pass_.DebitTotal(), 'f', 2)));
        msgPadrao.ShowMsg(QStringLiteral("ARQ_OK"), bco::MsgKind::Confirmation, bco::MsgButton::Ok, 0);
    }
}

void TfrmImportLanc::Started(int rows) {
    hourglass_ = std::make_unique<bco::HourglassCursor>();
    // A range of 0 to 0 is drawn as work going on without end: a file of no rows is one step, done.
    pgbProgresso->setRange(0, std::max(rows, 1));
    pgbProgresso->setValue(0);
    pgbProgresso->setFormat(rows == 0 ? QStringLiteral("nenhuma linha") : QStringLiteral("%v de %m linhas"));
    pgbProgresso->setTextVisible(true);
}

void TfrmImportLanc::Advanced(int done) {
    pgbProgresso->setValue(done);
    // The bar and the count are seen moving while the pass runs on the operator's thread.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmImportLanc::Finished() {
    hourglass_.reset();
}

void TfrmImportLanc::sbtImportExportClick() {
    bco::ActiveShowAvi(this, WorkAnimation);
    SubmissionOutcome outcome;
    // Whether the line beside the list says how the import ended: a failure that leaves it saying what the
    // import would write says there that nothing was, and asks for a new check.
    bool told = false;
    try {
        Vd_ArqExcel(true);
        // Another program (or operator) saved the file since it was checked: what was checked is not what
        // the file now says.
        if (contentsOf(ui->medArqOrig->Text()) != checkedContents_) {
            sbtImportExport->setEnabled(false);
            ui->lblResumo->clear();
            told = true;
            Consiste::MensErro(msgPadrao.Msg(QStringLiteral("Arq_Mudou")), true);
        }
        outcome = SubmitImport(
            netLancContCorr, records, Ondrima::Operador(),
            [this](const QString &account, const QString &movement) {
                return pass_.LineOfMovement(account, movement);
            },
            [this] { bco::ActiveShowAvi(this, WorkAnimation); }, [] { bco::DeactiveShowAvi(); });
        if (!outcome.imported() && outcome.unsure) {
            // Whatever the call wrote is in the books, and the list shows it; sent again, it is skipped.
            told = true;
            const int written = outcome.credits - outcome.skippedCredits;
            ui->lblResumo->setText(
                outcome.credits > 0
                    ? msgPadrao.Msg(QStringLiteral("Resumo_DebitosIncertos")).arg(written)
                    : msgPadrao.Msg(QStringLiteral("Resumo_Incerto")).arg(outcome.refusedKindsName()));
            RefreshEntryForm();
            const QString failure = outcome.refusal.endsWith(u'.') ? outcome.refusal : outcome.refusal + u'.';
            Consiste::MensErro(failure + u' ' + ui->lblResumo->text(), true);
        }
        if (!outcome.imported()) {
            // The credits' call was answered before the debits' met accounting errors or were refused:
            // those credits are in the books, and the operator learns it here rather than keying them again.
            told = true;
            if (outcome.credits == 0 && outcome.refusal.isEmpty())
                ui->lblResumo->setText(msgPadrao.Msg(QStringLiteral("Resumo_NadaContabil")));
            if (outcome.credits > 0) {
                const int written = outcome.credits - outcome.skippedCredits;
                ui->lblResumo->setText(outcome.refusal.isEmpty()
                                           ? msgPadrao.Msg(QStringLiteral("Resumo_SoCreditos")).arg(written)
                                           : msgPadrao.Msg(QStringLiteral("Resumo_DebitosFalharam"))
                                                 .arg(written)
                                                 .arg(outcome.refusal));
            }
            if (outcome.credits > 0)
                RefreshEntryForm();
            // The box says what the line does: the credits are in the books, and the debits are not.
            if (!outcome.refusal.isEmpty())
                Consiste::MensErro(outcome.credits > 0 ? ui->lblResumo->text() : outcome.refusal, true);
            Cli_bco11100::EntryRecords &entry = records.entry;
            Ondrima::LoadBPL(QStringLiteral("CTB10200"),
                             bco::VariantList{outcome.company, QString(), entry.cdsLancContTemp.Data(),
                                              entry.cdsRateio.Data(), entry.cdsErrosTemp.Data()});
            throw Consiste::EAbort();
        }
        bco::DeactiveShowAvi();
    } catch (...) {
        bco::DeactiveShowAvi();
        if (!told) {
            ui->lblResumo->setText(msgPadrao.Msg(QStringLiteral("Resumo_Nada")));
            sbtImportExport->setEnabled(false);
        }
        throw;
    }
    // Entries another import wrote meanwhile are in the books but were not written by this one.
    QString summary = msgPadrao.Msg(QStringLiteral("Resumo_Feito"))
                          .arg(outcome.credits - outcome.skippedCredits)
                          .arg(outcome.debits - outcome.skippedDebits);
    if (outcome.skippedCredits + outcome.skippedDebits > 0)
        summary += u' ' + msgPadrao.Msg(QStringLiteral("Resumo_Ignorados"))
                              .arg(outcome.skippedCredits)
                              .arg(outcome.skippedDebits);
    ui->lblResumo->setText(summary);
    // Every entry of the file in the books already (another operator imported it meanwhile) is no success of
    // this import's.
    const bool wroteAny =
        outcome.credits - outcome.skippedCredits + outcome.debits - outcome.skippedDebits > 0;
    pgbProgresso->setValue(0);
    sbtImportExport->setEnabled(false);
    RefreshEntryForm();
    msgPadrao.ShowMsg(wroteAny ? QStringLiteral("Importacao_OK") : QStringLiteral("Importacao_Nada"),
                      bco::MsgKind::Information, bco::MsgButton::Ok, 0);
}

// Told what was written before, whatever happens to the list's reload: a failure of it (the server out of
// reach) is shown as such and ends nothing of the import's telling.
void TfrmImportLanc::RefreshEntryForm() {
    if (Cli_bco11100::EntryFormServices *entryForm = findEntryForm_ ? findEntryForm_() : nullptr)
        bco::runGuarded([entryForm] { entryForm->RefreshEntryList(); });
}

void CriaImportacao(Cli_bco11100::EntryFormFinder findEntryForm) {
    bco::HourglassCursor hourglass;
    if (!boIdCriado || frmImportLanc.isNull()) {
        frmImportLanc = bco::CreateForm<TfrmImportLanc>();
        boIdCriado = true;
    }
    frmImportLanc->SetEntryFormFinder(std::move(findEntryForm));
    if (QMdiSubWindow *window = frmImportLanc->MdiWindow())
        window->showNormal();
    bco::Host::frame().showChild(*frmImportLanc);
}

} // namespace Cli_bco11104
