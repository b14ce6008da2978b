// The accounting action: the host's accounting screen for the entry shown.
#include "entries/entry_form.h"

#include "framework/session/login_context.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

void TfrmLancCCorr::sbtContabClick() {
    // The accounting of the entry as the books hold it now: one another operator deleted has none to show,
    // and is named; one changed meanwhile shows its accounting as it now stands.
    const ChosenEntry chosen = CurrentEntry();
    VerifyKeepingCurrentList();
    FindChosenAgain(chosen, false);
    Verifica_Acesso_Sistema(ui->depDataMov->GetDate());
    // Only the sets that were ever loaded are emptied; the others go as they are.
    for (bco::ClientDataSet *rows : {&records.cdsLancContTemp, &records.cdsRateio, &records.cdsErrosTemp}) {
        if (rows->Active())
            rows->EmptyDataSet();
    }
    const auto packet = [](const bco::ClientDataSet &rows) {
        return rows.Active() ? bco::Variant(rows.Data()) : bco::Variant();
    };
    Ondrima::LoadBPL(QStringLiteral("CTB10200"),
                     bco::VariantList{ListValue(u"CDEMPRESA"), ListValue(u"NRLANCCONT"),
                                      packet(records.cdsLancContTemp), packet(records.cdsRateio),
                                      packet(records.cdsErrosTemp)});
}

} // namespace Cli_bco11100
