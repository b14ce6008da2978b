#pragma once

#include <memory>

#include <QDeadlineTimer>
#include <QPointer>

#include "entry_model/entry_services.h"
#include "framework/remote/net_connection.h"
#include "framework/ui/forms/import_export_form.h"
#include "reconciliation/reconciliation_board.h"

namespace Ui {
class frmConciliacao;
}

class QAction;
class QChartView;

// The bank reconciliation's unit.
namespace Cli_bco11105 {

// The bank reconciliation (a child window of the host). The operator names an account, imports a bank's
// statement file into it or chooses one of its statements, and sees the statement's lines beside the
// account's open movements of the period, each line with the server's best proposal. Accepted proposals and
// the lines paired by hand are reconciled in one call; a reconciled line is undone in one call. The server
// refuses, writing nothing, a line or movement that someone changed or reconciled since it was listed: the
// operator reads its words and the screen lists everything again.
class TfrmConciliacao : public bco::TfrmPadrImportExport {
    Q_OBJECT
public:
    explicit TfrmConciliacao(QWidget *parent = nullptr);
    ~TfrmConciliacao() override;

    // The form's own connection to the application server.
    bco::NetConnection netLancContCorr;

    // "Importar extrato...": the file dialog, the reading of the file and its storing in the account.
    void sbtImportExportClick() override;

    // How "Incluir lançamento" opens the entry form's include.
    void SetIncludeStarter(Cli_bco11100::EntryDraftStarter starter) { includeStarter_ = std::move(starter); }
    // The entry form open, if any, which lists again what a reconciliation or its undoing wrote.
    void SetEntryFormFinder(Cli_bco11100::EntryFormFinder finder) { findEntryForm_ = std::move(finder); }

    const bco::ReconciliationBoard &board() const { return board_; }
    // The lines' grid row of each open movement listed, in the movements' grid order.
    const QList<int> &listedMovements() const { return listedMovements_; }
    // The balances the chart shows.
    const QList<bco::DailyBalance> &balances() const { return balances_; }

protected:
    void FormCreate() override;
    // Coming back from another form (the entry form, where a fee became an entry), lists the statement
    // again, unless it holds pairs accepted but not yet reconciled: those are the operator's work.
    void FormActivate() override;
    bool FormCloseQuery() override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void FormClose(bco::TCloseAction &action) override;

private:
    // Checks the account typed: one of the operator's companies'. Lists its statements, the last chosen.
    void Vd_CdRedu();
    void ListaExtratos(const QString &chosen);
    void PreencheExtratos();
    // The item of the statement numbered so in the statements' list; -1 when there is none.
    int indexOfStatement(const QString &statement) const;
    void EscolheExtrato();
    void ChoiceOnShownStatement();
    bool MayDropAcceptedPairs(const QString &key) const;
    void CarregaExtrato();
    void MostraQuadro();
    // The books' daily balance against the bank's over the statement's period, the days that differ marked.
    void MostraGrafico();

    void AceitarClick();
    void RejeitarClick();
    void ParearClick();
    void ConciliarClick();
    void DesfazerClick();
    // Opens the entry form's include filled from the chosen line, one that matches nothing.
    void IncluirLancClick();
    // Why the statement's line no longer wants an entry, as the server holds it now: reconciled or proposed
    // a movement since, or gone; empty while it still wants one.
    QString LineTakenSince(const QString &account, const QString &statement, const QString &number,
                           QDate from, QDate to);
    int selectedLine() const;
    // Shows the server's words and lists everything again.
    void Recusa(const QString &message);

    std::unique_ptr<Ui::frmConciliacao> ui;
    bco::ReconciliationBoard board_;
    QList<int> listedMovements_;
    QStringList shownLines_;     // the lines listed, by statement and line, in their rows
    QStringList shownMovements_; // the movements listed, by number, in their rows
    QList<bco::DailyBalance> balances_;
    QChartView *chart_ = nullptr;
    QString account_;
    // Until then, clicks on the lists are dropped: listed again as the window came back, their rows moved
    // under the pointer, and the click that brought the window back would land on another row than the one
    // the operator saw.
    QDeadlineTimer rowsMovedUnderThePointer_;
    // The statement the lists show.
    QString shownStatement_;
    int carried_ = 0; // the acceptances the last listing took over from the one before
    Cli_bco11100::EntryDraftStarter includeStarter_;
    Cli_bco11100::EntryFormFinder findEntryForm_;
    void RefreshEntryForm();
};

extern QPointer<TfrmConciliacao> frmConciliacao;
extern bool boIdCriado;

// Opens the reconciliation: made once, then put in its normal state and shown (a child window of the host).
// "Incluir lançamento" opens the entry form's include through `includeStarter`.
void CriaConciliacao(Cli_bco11100::EntryDraftStarter includeStarter = {},
                     Cli_bco11100::EntryFormFinder findEntryForm = {});

} // namespace Cli_bco11105
