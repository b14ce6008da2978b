// The list as the operator sees it, written to a workbook or a CSV file, or copied for a spreadsheet.
#include "entries/entry_form.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QSaveFile>
#include <QStandardPaths>

#include "framework/checks/consiste.h"
#include "framework/ui/file_dialogs.h"
#include "import/sheet_export.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

namespace {

bco::ExportedTable shownList(const bco::TNewDBGrid &grid) {
    bco::TNewDBGrid::ShownTable shown = grid.ShownContents();
    return {std::move(shown.titles), std::move(shown.rows)};
}

} // namespace

void TfrmLancCCorr::addExportMessages() {
    for (const char *row : {
             "Exporta_Tit|Exportar Lista",
             "Exporta_Tipos|Planilha (*.xlsx);;Texto separado por ponto e vírgula (*.csv)",
             "Exporta_Arq|lancamentos-%1",
             "Exporta_Plan|Lançamentos",
             "Exporta_Erro|Não foi possível gravar a lista em %1: %2",
         })
        msgPadrao.add(QString::fromUtf8(row));
}

// What the operator takes out of the list is the books as they stand: a list another operator's writing made
// stale is loaded again first, on the row it stood on.
void TfrmLancCCorr::ReloadListIfStale() {
    if (records.cdsLancamentos.Active() && !listLoader_.isStillCurrent(records.cdsLancamentos))
        VerifyKeepingCurrentList();
}

void TfrmLancCCorr::ExportaLista() {
    // The documents folder, or the home folder on a desktop that has none.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QDir(folder).exists())
        folder = QDir::homePath();
    const QString proposed = QDir(folder).filePath(Msg("Exporta_Arq").arg(ui->medCdRedu->Text().trimmed()) +
                                                   QStringLiteral(".xlsx"));
    const std::optional<QString> path =
        bco::Dialogs::files().saveFile(Msg("Exporta_Tit"), proposed, Msg("Exporta_Tipos"));
    if (!path)
        return;
    ReloadListIfStale();
    const bco::ExportedTable table = shownList(*ui->dbgPadrao);
    // Whatever else the name ends in, the file is a workbook: only a name ending in .csv asks for text.
    const bool csv = QFileInfo(*path).suffix().compare(u"csv", Qt::CaseInsensitive) == 0;
    const QByteArray bytes = csv ? bco::writeCsv(table) : bco::writeXlsx(table, Msg("Exporta_Plan"));
    // A file that cannot be written whole is not left behind half written.
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        Consiste::MensErro(Msg("Exporta_Erro").arg(QDir::toNativeSeparators(*path), file.errorString()));
}

void TfrmLancCCorr::CopiaLista() {
    ReloadListIfStale();
    const bco::ExportedTable table = shownList(*ui->dbgPadrao);
    auto *copied = new QMimeData;
    copied->setText(bco::tabSeparatedText(table));
    copied->setHtml(bco::htmlTable(table));
    QApplication::clipboard()->setMimeData(copied);
}

} // namespace Cli_bco11100
