#pragma once

#include <initializer_list>
#include <memory>

#include <QPointer>

#include "entry_model/entry_kind.h"
#include "entry_model/entry_list_loader.h"
#include "entry_model/entry_records.h"
#include "entry_model/entry_services.h"
#include "framework/data/data_source.h"
#include "framework/remote/net_connection.h"
#include "framework/ui/forms/maintenance_form.h"

class QLineEdit;

namespace Ui {
class frmLancCCorr;
}

namespace bco {
class TMaskEdit;
}

// The entry form's unit: the form, its module-wide variables and its creator.
namespace Cli_bco11100 {

struct OpenItemsOffer;

// The entries of one current account (screen BCO11100), a child window of the host.
//
// The operator chooses the account in the account bar panFiltro: leaving the bar checks the account, shows
// its bank, agency, number and day's balance, and loads its entries through the filter dialog, which is the
// one way the list is ever loaded (silently with its last criteria, or shown by the filter button). The form
// lends the dialogs it opens its services (EntryFormServices): its connection, its list and the loader and
// query of its list, which it owns. The form is always in one of four situations, and the tool bar, the pages
// and the entry fields follow them:
//   - no account: the focus is in the account bar, or the account was not accepted; nothing but the bar;
//   - browsing: include, filter and import, and, when the list has entries, change, delete, find, verify
//     and accounting; each entry shows on the form page;
//   - including (boInclusao) and changing (boAltera): confirm and cancel only, the form page alone, the
//     account bar closed.
// Controls are found by the object names of entry_form.ui.
class TfrmLancCCorr : public bco::TfrmPadrao, public EntryFormServices {
    Q_OBJECT
public:
    explicit TfrmLancCCorr(QWidget *parent = nullptr);
    ~TfrmLancCCorr() override;

    // The connection to the application server; the dialogs call through it too.
    bco::NetConnection netLancContCorr;
    // The form's data sets and local queries; the filter dialog loads the entry list (cdsLancamentos).
    EntryRecords records;
    bco::DataSource dtsLancamentos;
    bco::DataSource dtsConta;
    bco::DataSource dtsLancCred;
    bco::DataSource dtsLancDeb;
    bco::DataSource dtsCentCustFil;
    bco::DataSource dtsFilial;
    bco::DataSource dtsCliente;
    bco::DataSource dtsFornecedor;

    bco::NetConnection &ServerConnection() override { return netLancContCorr; }
    bco::ClientDataSet &EntryList() override { return records.cdsLancamentos; }
    Cli_bco11102::EntryListLoader &ListLoader() override { return listLoader_; }
    Cli_bco11102::TLancQuery &ListQuery() override { return listQuery_; }
    void RefreshEntryList() override;
    const bco::ClientDataSet &CustomerReturns() const override;
    const bco::ClientDataSet &SupplierReturns() const override;

    void sbtIncluirClick() override;
    void sbtProcurarClick() override;
    // Loads the list again and stands on the same entry; a list loaded anew brings the day's balance anew.
    void sbtVerificarClick() override;
    void sbtCancelarClick() override;
    void sbtConfirmarClick() override;
    void sbtAlterarClick() override;
    void sbtExcluirClick() override;
    void sbtImprimirClick() override;
    void sbtContabClick();
    void sbtEmitirChequeClick();
    void sbtFiltroClick();
    // Starts the include of `draft` as if the operator had chosen its account and typed its values: the
    // account bar is checked and its list loaded, and the fields are filled, the focus on the date. Refused
    // (a message, then EAbort) while another entry is included or changed.
    void IniciaInclusao(const EntryDraft &draft);

    // What the form is doing with an entry. The mode lives here alone: boInclusao and boAltera mirror it
    // for the host, and the enabling routines read it.
    enum class Mode { Browsing, Including, Changing };
    Mode CurrentMode() const { return mode_; }

    // The tool bar for the mode: confirm and cancel only while an entry is included or changed; nothing
    // but the account bar while `blocked` (no account chosen).
    void Habilita(bool blocked);
    // The pages: the form page only with `on`, an open list, and an entry to show or one being edited.
    void HabilitaPagina(bool on);
    // The entry fields (the description follows its group box instead).
    void HabilitaCampos(bool on);

protected:
    void FormCreate() override;
    void FormActivate() override;
    // While an entry is included or changed, asks the cancel's question first; "Não" refuses the close.
    bool FormCloseQuery() override;
    void FormClose(bco::TCloseAction &action) override;
    void pgcPadraoChanging(bool &AllowChange) override;
    void pgcPadraoChange() override;
    bool focusNextPrevChild(bool next) override;

private:
    // The wait animation of a server call that writes.
    static constexpr int WorkAnimation = 1;

    void bindHandlers();
    void medCdReduEnter();
    void medCdReduChange();
    void panFiltroEnter();
    void panFiltroExit();
    void Vd_CdRedu(bool mandatory);
    void SaldoDia();
    // The day's balance stands under the list: once the list was loaded again, it follows when the list now
    // holds what it did not hold at `shown` (its content generation then), as others may have written.
    void BalanceFollowsList(quint64 shown);
    // Loads the list through the filter dialog: "ESCONDE_FILTRO" reruns its last criteria unseen,
    // "BOTAO_FILTRO" shows it.
    void CarregaLista(const QString &operation);
    // Moves the list to the movement of that company and answers true when it holds it; else leaves it where
    // it is and answers false.
    bool LocateMovement(const QString &company, const QString &movement);
    // Shows over the list the criteria it was loaded with, marked when they leave entries of the period out.
    void MostraFiltro();
    void dtsLancamentosDataChange();
    void dtsLancamentosStateChange();
    void cbbTipoEnter();
    void cbbTipoChange();
    void RegraCheque();
    void CheckPageItems();
    void SetMode(Mode mode);
    bool Editing() const { return mode_ != Mode::Browsing; }
    bool NoAccount() const;
    // Browsing the list of a chosen account: what the tool bar offers then (include, filter, import).
    bool BrowsingAccount() const { return !Editing() && !NoAccount(); }
    // Browsing a list that holds entries: the commands on the entry shown apply (change, delete, cheque).
    bool BrowsingEntries() const { return BrowsingAccount() && !records.cdsLancamentos.IsEmpty(); }
    QString Msg(const char *key) const;
    // Shows the text of `key` as an error and aborts: the failure of a check.
    [[noreturn]] void Refuse(const char *key) const;

    // ---- the entry fields' checks (entry_checks.cpp) ----
    enum class Party { Customer, Supplier };
    // Customer and supplier: the controls and data of each, so that one routine checks both.
    struct PartyControls {
        bco::TMaskEdit *taxNumber;
        QLineEdit *name;
        QWidget *lookupButton;
        QWidget *label;
        bco::ClientDataSet *lookup;
        const char *method;   // getCliente / getFornecedor
        const char *notFound; // the catalogue key when the server knows no such party
        const char *missing;  // the catalogue key when an accounted type needs the party
        const char *taxNumberField, *legalNameField;
        Party other;
    };

    PartyControls PartyOf(Party party);
    void bindFieldChecks();
    void depDataMovExit();
    void medTpLancExit();
    void DescriptionFromType();
    void nedLancamentoKeyPress(QChar &key);
    void btpTipoLancClick();
    void PointTypeLookUp();
    void Vd_TipoLanc(bool mandatory);
    void Vd_Filial(bool mandatory);
    void Vd_CentCust(bool mandatory);
    void Vd_ClieForn(Party party);
    void Vd_Cliente() { Vd_ClieForn(Party::Customer); }
    void Vd_Fornecedor() { Vd_ClieForn(Party::Supplier); }
    void Vd_ClieForn();
    void Data();
    void Verifica_Acesso_Sistema(QDate date);
    bool Vd_PeriodoContabil(const QString &company, QDate date);
    void CentCustFil(const QString &costCentre, bool all);

    // ---- the entry an action works on (entry_chosen.cpp) ----
    // The entry of the list the operator chose for a change, a deletion or a cheque: its keys find it again
    // after the list is reloaded, its version tells whether anyone wrote it since it was listed (the server
    // refuses a write that carries an older one), and the rest names it to the operator.
    struct ChosenEntry {
        QString company, movement, kind, number, version;
        QDate date;
        double value = 0.0; // as listed: a debit's is negative
        QString description, document;
        int row = 0; // its place in the list, where the form stands when it is gone
    };
    ChosenEntry CurrentEntry() const;
    // Whether the account still holds `chosen` (asked of the server for its day, whatever the list's
    // criteria): one the operator's own criteria left out, not one someone removed.
    bool AccountStillHolds(const ChosenEntry &chosen);
    // The server's refusal in cdsResult, when its first row is "MSG": the catalogue's text of its key, with
    // the rows "DET" that follow as its details; nothing when it wrote. `shown` limits the keys told here.
    void TellRefusal(const QStringList &shown = {});
    // Whether the server refused the last include or change for a repetition written since the question.
    bool RefusedForARepetition() const;
    // One line for the operator: kind, date, document, value and description.
    static QString DescribeEntry(const ChosenEntry &entry);
    // After a reload: stands on the chosen entry, or refuses naming it when the list no longer holds it or
    // (with `sameVersion`) holds it changed by someone else (the reload showed the balance as others' writes
    // moved it). Nothing else is asked or sent for an entry the operator did not choose.
    void FindChosenAgain(const ChosenEntry &chosen, bool sameVersion = true);
    // Refuses (Lanc_Escolher) `chosen` when it is the entry the list stands on in place of one that is gone,
    // which the operator has not picked since (StandInPlaceOf).
    void RefuseStandIn(const ChosenEntry &chosen);
    // Puts the list where the chosen entry stood when it is gone. The entry there (which may look just like
    // the one gone) is no choice of the operator's: actions on it are refused until the operator picks a row
    // of the list.
    void StandInPlaceOf(const ChosenEntry &chosen);
    // After the server refused a write on the chosen entry: when someone else wrote to the account since the
    // list was loaded, loads it again (and the day's balance with it), ends a change and stands where the
    // operator was; answers whether it did. A refusal that nothing written by others explains leaves the form
    // as it is.
    bool ReloadAfterRefusal(const ChosenEntry &chosen);
    // Leaves an include or a change for browsing the list, as a cancel does, without asking.
    void BackToBrowsing();
    // Puts the focus on the list (or, with the form page shown, on the pages' tabs) when an include or a
    // change has ended, so that the form's keys go on working.
    void FocaLista();

    // ---- the list for a spreadsheet (entry_export.cpp) ----
    void addExportMessages();
    // Writes the list as it is shown (the grid's columns in their order, the rows the filter let in) to the
    // file the operator names: a workbook, or semicolon-separated text when the name ends in .csv. A file
    // that cannot be written is told, and nothing of it is left.
    void ExportaLista();
    // Puts the list as it is shown on the clipboard, as tab-separated rows and as an HTML table.
    void CopiaLista();

    // ---- changing and deleting (entry_change.cpp) ----
    enum class Operation { Change, Deletion };
    // Refuses with the catalogue text of `key`, naming as details what owns the entry (the owners of kind
    // `linkCode` that the server lists for it).
    [[noreturn]] void RefuseOwned(const char *key, const char *linkCode);
    // What the server says of the listed entry's links of these kinds (GetVinculosLanc's CDVINCULO: what
    // owns it, or what a deletion gives back), each as it describes it; none when it cannot tell.
    QStringList LinksOfListedEntry(std::initializer_list<const char *> linkCodes);
    void Verifica_Conciliacao(Operation operation);
    // `writtenBefore`: what was written before this call, told ahead of any refusal of it, so that a refusal
    // saying nothing was written is not read as undoing it.
    void AlteraLancamento(const EntryKind &kind, const QString &writtenBefore = {});
    void DeletaLanc();
    // ---- cheques (entry_cheque.cpp) ----
    void Atu_Cheque();
    // The verify button's reload inside a deletion: a list that nothing changed since it was loaded stays.
    void VerifyKeepingCurrentList();
    void ReloadListIfStale();
    QString Retorna_Clie_Forn(const QString &kind);
    QString ListValue(const char16_t *field) const;

    // ---- customer and supplier tax numbers (entry_checks.cpp) ----
    void TaxNumberKeyPress(Party party, QChar &key);
    void TaxNumberKeyDown(Party party, int &key);
    void UnmaskForTyping(Party party);

    // ---- advances and returned invoices offered to a new entry (entry_advances.cpp) ----
    void addOpenItemMessages();
    void OfereceEmAberto();
    void Adiantamento_Cliente(const QString &company, const QString &customer);
    void Devolucao_Cliente(const QString &company, const QString &customer);
    void Adiantamento_Fornecedor(const QString &company, const QString &supplier, const QString &taxNumber);
    void Devolucao_Fornecedor(const QString &company, const QString &supplier);
    void UsaEmAberto(const OpenItemsOffer &offer, const QString &company, const QString &party,
                     const QString &taxNumber);

    // ---- confirming (entry_confirm.cpp) ----
    // Asks whether to go on when the account holds a movement like the entry's other than `ownMovement`.
    bool ConfirmaDuplicidade(const QString &ownMovement = QString());
    void CentroCustoLancamento();
    void IncluiLancamento(const EntryKind &kind);
    void EndConfirm();
    QString AccountCompany() const;

    std::unique_ptr<Ui::frmLancCCorr> ui;
    Mode mode_ = Mode::Browsing;
    Cli_bco11102::EntryListLoader listLoader_;
    Cli_bco11102::TLancQuery listQuery_;

    // Working values kept between operations; texts are cut to their widths (WorkingWidth).
    QString typeAccount_;
    QString typeCommercialKind_;
    QString typeAccountingFlag_;
    QString typeClass_;
    QString typeHistory_;
    QString entryBranch_;
    QString entryCostCentre_;
    QString partyLetter_;
    // The movements the last duplicate question showed (ConfirmaDuplicidade), which the operator confirmed
    // the entry beside: the server refuses the include when another has come since.
    QStringList shownDuplicates_;
    QString accountLedgerAccount_;
    QString accountKind_;
    // The payload of the last insertion, change or deletion.
    bco::Variant lastServerResult_;
    int previousKindIndex_ = 0;
    bool filling_ = false;
    bool insertPending_ = false;
    // The draft's question, for an include started from one (IniciaInclusao); empty for one typed.
    std::function<QString()> draftStillWanted_;
    std::function<void()> draftIncluded_;
    // Counts the list's state changes, so that a reload that kept the list open can be told apart.
    int listStateChanges_ = 0;
    // The account the open list was loaded for: leaving the account bar with the same account loads nothing.
    QString listedAccount_;
    // Set while a command moves the focus to start an include: the list's state change, which an exit
    // handler on the way may cause, does not end it.
    bool commandStarting_ = false;
    // The entry the list was put on in place of a chosen one that was gone (StandInPlaceOf), until the
    // operator picks a row.
    struct {
        QString account, company, movement;
    } landedOn_;
    // The entry being changed, as it was when the change started.
    ChosenEntry changing_;
    // The party ("C" or "F" and its code; empty for none) whose advances and returns the include's selections
    // were chosen for.
    QString openItemsParty_;
};

// The one live entry form; null while there is none.
extern QPointer<TfrmLancCCorr> frmLancCCorr;
// Finds the live entry form when asked, for the windows that work beside it without being its dialogs.
EntryFormFinder OpenEntryFormFinder();
// True from the creation of the form until its close.
extern bool boStCriado;
// The form's modes for the host: an entry is being included, or changed (written by the form's mode only).
extern bool boInclusao;
extern bool boAltera;
// For the host; the module neither reads nor writes it.
extern bool boAtualizaSaldo;
// Read by the change action; True from the module's load.
extern bool boValidaIdComp;

// Opens the entry form: made once, then shown (a child window of the host, in its normal state) each time.
void CriaLancamento();

} // namespace Cli_bco11100
