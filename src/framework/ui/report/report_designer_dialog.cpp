#include "framework/ui/report/report_designer_dialog.h"

#include <QDir>
#include <QPrinter>
#include <QSqlQuery>

#include "framework/checks/consiste.h"
#include "framework/checks/messages.h"
#include "framework/report/report_store.h"
#include "framework/session/login_context.h"
#include "framework/session/shared_database.h"
#include "framework/ui/modal_forms.h"
#include "framework/ui/report/report_design_editor.h"
#include "framework/ui/report/report_dialogs.h"
#include "framework/ui/report/report_painter.h"

namespace bco {

namespace {

// The longest title MODELOREL keeps.
constexpr int longestTitle = 60;

ReportStore store() {
    return ReportStore(dtmDBGeral::adcGeral());
}

} // namespace

ReportContext SessionReportContext() {
    ReportContext context;
    context.operatorCode = Ondrima::Operador();
    context.emitted = QDateTime::currentDateTime();
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.prepare(QStringLiteral(
        "SELECT E.NMEMPRESA FROM FILIAL F JOIN EMPRESA E ON E.CDEMPRESA = F.CDEMPRESA WHERE F.CDFILIAL = ?"));
    query.addBindValue(Ondrima::FiliProc());
    if (query.exec() && query.next())
        context.company = query.value(0).toString();
    return context;
}

QStringList TReportDesignerDialog::Titles() const {
    return store().Titles(ReportCode);
}

ReportDesign TReportDesignerDialog::Design(const QString &title) const {
    return store().Load(ReportCode, title);
}

ReportDocument TReportDesignerDialog::Run(const QString &title, const ReportDesign &design) const {
    const QSqlDatabase database = dtmDBGeral::adcGeral();
    ReportParams params(design.parameterNames(dialectForDriver(database.driverName())));
    if (BeforeGetQueryParams)
        BeforeGetQueryParams(params);
    ReportRows rows = RunReportQuery(database, design, params);
    return ReportDocument(design, title, std::move(rows), std::move(params), SessionReportContext());
}

void TReportDesignerDialog::Print(const QString &title) const {
    const ReportDesign design = Design(title);
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(design, title, printer);
    ReportDialogs &dialogs = Dialogs::reports();
    if (!dialogs.choosePrinter(printer))
        return;
    // Read once the printer is chosen: the operator may take a while at its dialog, and the pages must hold
    // the books as they stand when they are printed, not as they stood when the dialog opened.
    const ReportDocument document = Run(title, design);
    PrintReport(document, printer, *dialogs.progress(title));
}

// The preview's own print button prints the pages shown, which bear the moment they were read.
void TReportDesignerDialog::Preview(const QString &title) const {
    const ReportDocument document = Run(title);
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(document.Design(), title, printer);
    ReportDialogs &dialogs = Dialogs::reports();
    dialogs.preview(printer, [&](QPrinter &target) {
        // The preview paints on its own printer; stopping keeps the pages painted so far.
        PrintReport(document, target, *dialogs.progress(title), false);
    });
}

void TReportDesignerDialog::ExportPdf(const QString &title) const {
    ReportDialogs &dialogs = Dialogs::reports();
    const std::optional<QString> file =
        dialogs.pdfFileName(QDir::home().filePath(title + QStringLiteral(".pdf")));
    if (!file)
        return;
    const ReportDocument document = Run(title);
    WriteReportPdf(document, *file, *dialogs.progress(title));
}

std::optional<QString> TReportDesignerDialog::SaveAs(const QString &title, const QString &offered,
                                                     const ReportDesign &design, bool edited,
                                                     const TMessages &messages) const {
    QString suggestion = offered;
    for (;;) {
        const std::optional<QString> answer =
            Dialogs::reports().askText(messages.Msg(QStringLiteral("NovoCaption")),
                                       messages.Msg(QStringLiteral("NovoPrompt")), suggestion);
        if (!answer)
            return std::nullopt;
        const QString newTitle = answer->trimmed();
        if (newTitle.isEmpty())
            continue;
        suggestion = newTitle;
        if (newTitle == title) {
            if (!edited)
                return std::nullopt; // the design stands there already
            continue;
        }
        if (newTitle.size() > longestTitle) {
            Consiste::MensErro(messages.Msg(QStringLiteral("Rel_Titulo_Longo")).arg(longestTitle), false);
            continue;
        }
        // The design the operator agrees to replace is the one standing when asked.
        const std::optional<DesignSaved> standing = store().LastSaved(ReportCode, newTitle);
        if (standing && Dialogs::messages().show(
                            MsgKind::Confirmation, messages.Msg(QStringLiteral("Rel_Existe")).arg(newTitle),
                            MsgButton::Yes | MsgButton::No, QStringLiteral("Rel_Existe")) != MsgButton::Yes)
            continue;
        if (!SaveOverAsking(newTitle, design, standing ? standing->text : QString(), messages))
            continue;
        return newTitle;
    }
}

bool TReportDesignerDialog::SaveOverAsking(const QString &title, const ReportDesign &design, QString read,
                                           const TMessages &messages) const {
    const QString operatorCode = Ondrima::Operador();
    const QDate day = Ondrima::DataProc(Ondrima::FiliProc());
    while (!store().SaveOver(ReportCode, title, design, read, operatorCode, day)) {
        const std::optional<DesignSaved> saved = store().LastSaved(ReportCode, title);
        if (!saved)
            continue; // removed meanwhile: the next save stores it anew
        const QString text =
            messages.Msg(QStringLiteral("Rel_Alterado"))
                .arg(title, saved->operatorCode, saved->date.toString(QStringLiteral("dd/MM/yyyy")));
        if (Dialogs::messages().show(MsgKind::Confirmation, text, MsgButton::Yes | MsgButton::No,
                                     QStringLiteral("Rel_Alterado")) != MsgButton::Yes)
            return false;
        read = saved->text;
    }
    return true;
}

std::optional<QString> TReportDesignerDialog::Edit(const QString &title, const TMessages &messages) const {
    const StoredDesign read = store().Read(ReportCode, title);
    ReportDesignEditor editor(title, read.design, [this, title](const ReportDesign &design, int width) {
        return RenderReportPage(Run(title, design), 0, width);
    });
    Dialogs::modalForms().showModal(editor);
    if (!editor.Saved())
        return std::nullopt;
    const ReportDesign edited = editor.EditedDesign();
    // Another operator's design may stand under the title by then: replacing it is the operator's call, asked
    // again when yet another is saved while the question is open.
    if (!SaveOverAsking(title, edited, read.text, messages)) {
        // The title offered is the operator's own, so that accepting it keeps the design.
        const QString mine = QStringLiteral(" (%1)").arg(Ondrima::Operador());
        return SaveAs(title, title.left(longestTitle - mine.size()) + mine, edited, true, messages);
    }
    return title;
}

void TReportDesignerDialog::Save(const QString &title, const ReportDesign &design) const {
    store().Save(ReportCode, title, design, Ondrima::Operador(), Ondrima::DataProc(Ondrima::FiliProc()));
}

} // namespace bco
