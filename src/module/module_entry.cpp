#include "module/pkg_bco11100.h"

#include <stdexcept>

#include <QPointer>
#include <QString>

#include "discount/discount_form.h"
#include "entries/entry_form.h"
#include "filter/filter_form.h"
#include "framework/ui/event_guard.h"
#include "import/import_form.h"
#include "reconciliation/reconciliation_form.h"
#include "report/report_form.h"

namespace {

QString text(const char *utf8) {
    return utf8 != nullptr ? QString::fromUtf8(utf8) : QString();
}

// The dialogs that a host opens by their creators work for the open entry form, whose services they are
// given; a host that asks for one without it has made a mistake, which `refusal` tells.
Cli_bco11100::EntryFormServices &openEntryForm(const char *refusal) {
    if (Cli_bco11100::frmLancCCorr.isNull())
        throw std::logic_error(refusal);
    return *Cli_bco11100::frmLancCCorr;
}

} // namespace

extern "C" {

void IniProc(void) {
    CriaLancamento();
}

void CriaLancamento(void) {
    bco::runGuarded([] { Cli_bco11100::CriaLancamento(); });
}

void CriaRelLancCont(void) {
    bco::runGuarded([] { Cli_bco11101::CriaRelLancCont(Cli_bco11100::frmLancCCorr.data()); });
}

void CriaImportacao(void) {
    bco::runGuarded([] { Cli_bco11104::CriaImportacao(Cli_bco11100::OpenEntryFormFinder()); });
}

void CriaConciliacao(void) {
    bco::runGuarded([] {
        Cli_bco11105::CriaConciliacao(
            [](const Cli_bco11100::EntryDraft &draft) {
                Cli_bco11100::CriaLancamento();
                Cli_bco11100::frmLancCCorr->IniciaInclusao(draft);
            },
            Cli_bco11100::OpenEntryFormFinder());
    });
}

void CriaFiltroLancCont(void **formVariable, void *dataSource, const char *operation,
                        const char *accountCode) {
    bco::runGuarded([&] {
        using Cli_bco11102::TfrmFiltroLancCont;
        Cli_bco11100::EntryFormServices &entryForm =
            openEntryForm("O filtro de lançamentos só funciona com a tela de lançamentos aberta.");
        if (formVariable == nullptr) {
            Cli_bco11102::CriaFiltroLancCont(entryForm, Cli_bco11102::frmFiltroLancCont,
                                             static_cast<bco::DataSource *>(dataSource), text(operation),
                                             text(accountCode));
            return;
        }
        QPointer<TfrmFiltroLancCont> form(static_cast<TfrmFiltroLancCont *>(*formVariable));
        // Whatever happens in the call, the host's variable ends up naming the dialog that exists.
        struct WriteBack {
            void **variable;
            QPointer<TfrmFiltroLancCont> &form;
            ~WriteBack() { *variable = form.data(); }
        } writeBack{formVariable, form};
        Cli_bco11102::CriaFiltroLancCont(entryForm, form, static_cast<bco::DataSource *>(dataSource),
                                         text(operation), text(accountCode));
    });
}

void CriaDescAdi(double entryAmount, const char *partyCode, const char *companyCode, const char *pageIndex,
                 const char *partyKind, const char *supplierTaxNumber) {
    bco::runGuarded([&] {
        Cli_bco11103::CriaDescAdi(
            openEntryForm("O desconto de adiantamentos só funciona com a tela de lançamentos aberta."),
            entryAmount, text(partyCode), text(companyCode), text(pageIndex), text(partyKind),
            text(supplierTaxNumber));
    });
}

} // extern "C"
