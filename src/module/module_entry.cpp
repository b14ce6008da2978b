#include "module/pkg_bco11100.h"

#include <QPointer>
#include <QString>

#include "discount/discount_form.h"
#include "entries/entry_form.h"
#include "filter/filter_form.h"
#include "framework/ui/event_guard.h"
#include "import/import_form.h"
#include "report/report_form.h"

namespace {

QString text(const char *utf8) {
    return utf8 != nullptr ? QString::fromUtf8(utf8) : QString();
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
    bco::runGuarded([] { Cli_bco11101::CriaRelLancCont(); });
}

void CriaImportacao(void) {
    bco::runGuarded([] { Cli_bco11104::CriaImportacao(); });
}

void CriaFiltroLancCont(void **formVariable, void *dataSource, const char *operation,
                        const char *accountCode) {
    bco::runGuarded([&] {
        using Cli_bco11102::TfrmFiltroLancCont;
        if (formVariable == nullptr) {
            Cli_bco11102::CriaFiltroLancCont(Cli_bco11102::frmFiltroLancCont,
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
        Cli_bco11102::CriaFiltroLancCont(form, static_cast<bco::DataSource *>(dataSource), text(operation),
                                         text(accountCode));
    });
}

void CriaDescAdi(double entryAmount, const char *partyCode, const char *companyCode, const char *pageIndex,
                 const char *partyKind, const char *supplierTaxNumber) {
    bco::runGuarded([&] {
        Cli_bco11103::CriaDescAdi(entryAmount, text(partyCode), text(companyCode), text(pageIndex),
                                  text(partyKind), text(supplierTaxNumber));
    });
}

} // extern "C"
