// The advances and returned invoices of the entry's customer or supplier, offered while a new entry is
// confirmed: for each kind the party holds, a question, and on Yes the discount form, whose choice the
// insertion sends for the server to settle with the entry.
#include "entries/entry_form.h"

#include "discount/discount_form.h"
#include "framework/checks/consiste.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

// What differs between the four offers: Adiantamento_Cliente, Devolucao_Cliente, Adiantamento_Fornecedor
// and Devolucao_Fornecedor.
struct OpenItemsOffer {
    const char *method;                       // the look-up of the party's open items
    bco::ClientDataSet EntryRecords::*lookup; // what it answered; only its emptiness is read
    const char *questionKey;
    const char *page;                            // the discount form's page
    const char *partyKind;                       // "C" a customer, "F" a supplier
    bool sendsTaxNumber;                         // to the look-up and to the discount form
    bco::ClientDataSet EntryRecords::*selection; // what the insertion sends
};

namespace {

using Offer = OpenItemsOffer;

const Offer customerAdvances{
    "GetAdiantamentoCLI",         &EntryRecords::cdsAdiantamentoCLI, "Cli_Adian", "0", "C", false,
    &EntryRecords::cdsAdiantaCred};
const Offer customerReturns{"GetDevolucaoCLI",
                            &EntryRecords::cdsDevolucaoCLI,
                            "Cli_Devo",
                            "1",
                            "C",
                            false,
                            &EntryRecords::cdsDevoluDebCli};
const Offer supplierReturns{"GetDevolucaoFOR",
                            &EntryRecords::cdsDevolucaoFOR,
                            "NF_DEV",
                            "2",
                            "F",
                            false,
                            &EntryRecords::cdsDevoluCredFor};
const Offer supplierAdvances{"GetAdiantamentoFOR",
                             &EntryRecords::cdsAdiantamentoFOR,
                             "For_Adian",
                             "3",
                             "F",
                             true,
                             &EntryRecords::cdsAdiantaCredFor};

const char *const openItemMessages[] = {
    "Cli_Adian|Atenção! Cliente possui crédito de adiantamento. Deseja utilizá-lo? ",
    "Cli_Devo|Atenção! Cliente possui nota fiscal de devolução. Deseja utilizá-la?",
    "For_Adian|Atenção! Fornecedor possui crédito de adiantamento. Deseja utilizá-lo? ",
    "NF_DEV|Atenção! Fornecedor possui nota fiscal de devolução. Deseja utilizá-la?",
};

} // namespace

void TfrmLancCCorr::addOpenItemMessages() {
    for (const char *row : openItemMessages)
        msgPadrao.add(QString::fromUtf8(row));
}

const bco::ClientDataSet &TfrmLancCCorr::CustomerReturns() const {
    return records.cdsDevolucaoCLI;
}

const bco::ClientDataSet &TfrmLancCCorr::SupplierReturns() const {
    return records.cdsDevolucaoFOR;
}

// The customer's advances and then its returns; else the supplier's; nothing for an entry of neither. What
// was chosen for another party (named before a confirm that did not go through) is dropped first: the
// selections go with the entry, and those of another party would only make the server refuse it.
void TfrmLancCCorr::OfereceEmAberto() {
    const QString company = ui->edtCdEmpresa->text();
    const bool forCustomer = !ui->medInsClie->IsEmpty();
    const bool forSupplier = !forCustomer && !ui->medInsForn->IsEmpty();
    const QString code = forCustomer   ? records.cdsCliente.FieldByName(u"CDCLIENTE").AsString()
                         : forSupplier ? records.cdsFornecedor.FieldByName(u"CDFORNECED").AsString()
                                       : QString();
    const QString party = forCustomer ? u'C' + code : forSupplier ? u'F' + code : QString();
    if (party != openItemsParty_) {
        for (bco::ClientDataSet *chosen : {&records.cdsAdiantaCred, &records.cdsAdiantaCredFor,
                                           &records.cdsDevoluDebCli, &records.cdsDevoluCredFor})
            if (chosen->Active())
                chosen->EmptyDataSet();
        openItemsParty_ = party;
    }
    if (forCustomer) {
        Adiantamento_Cliente(company, code);
        Devolucao_Cliente(company, code);
    } else if (forSupplier) {
        Adiantamento_Fornecedor(company, code, records.cdsFornecedor.FieldByName(u"NRINSJURFORN").AsString());
        Devolucao_Fornecedor(company, code);
    }
}

void TfrmLancCCorr::Adiantamento_Cliente(const QString &company, const QString &customer) {
    UsaEmAberto(customerAdvances, company, customer, QString());
}

void TfrmLancCCorr::Devolucao_Cliente(const QString &company, const QString &customer) {
    UsaEmAberto(customerReturns, company, customer, QString());
}

void TfrmLancCCorr::Adiantamento_Fornecedor(const QString &company, const QString &supplier,
                                            const QString &taxNumber) {
    UsaEmAberto(supplierAdvances, company, supplier, taxNumber);
}

void TfrmLancCCorr::Devolucao_Fornecedor(const QString &company, const QString &supplier) {
    UsaEmAberto(supplierReturns, company, supplier, QString());
}

// Asks whether to use the party's open items of one kind and, on Yes, takes the rows of the discount form's
// page as it hands them back, chosen or (after a cancel) none; on No, or for a party without open items of
// the kind, the selection is empty.
void TfrmLancCCorr::UsaEmAberto(const OpenItemsOffer &offer, const QString &company, const QString &party,
                                const QString &taxNumber) {
    bco::VariantList args{company, party};
    if (offer.sendsTaxNumber)
        args.push_back(taxNumber);
    bco::ClientDataSet &lookup = records.*offer.lookup;
    lookup.SetData(
        Consiste::CheckResultServ(netLancContCorr.Call(QString::fromLatin1(offer.method), args), true, 0));
    bco::ClientDataSet &selection = records.*offer.selection;
    if (lookup.IsEmpty()) {
        if (!selection.Active())
            selection.CreateDataSet();
        selection.EmptyDataSet();
        return;
    }
    // A "Não" uses none of them, whatever an earlier confirm of this include had chosen.
    if (msgPadrao.ShowMsg(QString::fromLatin1(offer.questionKey), bco::MsgKind::Information,
                          bco::MsgButtons(bco::MsgButton::Yes) | bco::MsgButton::No,
                          0) != bco::MsgButton::Yes) {
        if (!selection.Active())
            selection.CreateDataSet();
        selection.EmptyDataSet();
        return;
    }
    const std::optional<bco::DataPacket> chosen = Cli_bco11103::CriaDescAdi(
        *this, ui->nedLancamento->Value(), party, company, QString::fromLatin1(offer.page),
        QString::fromLatin1(offer.partyKind), offer.sendsTaxNumber ? taxNumber : QString());
    if (chosen)
        selection.SetData(*chosen);
    else
        selection.EmptyDataSet();
}

} // namespace Cli_bco11100
