// The entry an action works on: found again after every reload of the list, or named to the operator when
// it is gone or someone else changed it, so that no action ever falls on an entry the operator did not
// choose.
#include "entries/entry_form.h"

#include <algorithm>
#include <cmath>

#include <QLocale>
#include <QTabBar>
#include <QTabWidget>

#include "framework/checks/consiste.h"
#include "framework/ui/child_enabled.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

TfrmLancCCorr::ChosenEntry TfrmLancCCorr::CurrentEntry() const {
    const bco::ClientDataSet &list = records.cdsLancamentos;
    ChosenEntry entry;
    if (!list.Active() || list.IsEmpty())
        return entry;
    entry.company = ListValue(u"CDEMPRESA");
    entry.movement = ListValue(u"NRMOVBANC");
    entry.kind = ListValue(u"DEBCRED");
    entry.number = ListValue(u"NUMERO");
    entry.version = ListValue(u"NRVERSAO");
    entry.date = list.FieldByName(u"DTMOVICRED").AsDateTime();
    entry.value = list.FieldByName(u"VRMOVICRED").AsFloat();
    entry.description = ListValue(u"DSMOVICRED");
    entry.document = ListValue(u"NRDOCMBANC");
    entry.row = list.RecNo();
    return entry;
}

QString TfrmLancCCorr::DescribeEntry(const ChosenEntry &entry) {
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return QStringLiteral("%1 de %2%3: %4 %5")
        .arg(entry.kind == u"C" ? QStringLiteral("Crédito") : QStringLiteral("Débito"),
             entry.date.toString(u"dd/MM/yyyy"),
             entry.document.trimmed().isEmpty() ? QString()
                                                : QStringLiteral(", documento ") + entry.document.trimmed(),
             brazil.toString(std::abs(entry.value), 'f', 2), entry.description.trimmed());
}

void TfrmLancCCorr::RefuseStandIn(const ChosenEntry &chosen) {
    // Refused, the operator is left on the list, where the keys that pick an entry work.
    if (!chosen.movement.isEmpty() && listedAccount_ == landedOn_.account &&
        chosen.company == landedOn_.company && chosen.movement == landedOn_.movement) {
        FocaLista();
        Consiste::MensErro(Msg("Lanc_Escolher"), true, DescribeEntry(chosen));
    }
}

void TfrmLancCCorr::FindChosenAgain(const ChosenEntry &chosen, bool sameVersion) {
    RefuseStandIn(chosen);
    if (chosen.movement.isEmpty() || !LocateMovement(chosen.company, chosen.movement)) {
        StandInPlaceOf(chosen);
        FocaLista();
        Consiste::MensErro(Msg("Lanc_NaoEncontrado"), true, DescribeEntry(chosen));
    }
    if (sameVersion && ListValue(u"NRVERSAO") != chosen.version)
        Consiste::MensErro(Msg("Lanc_Alterado"), true, DescribeEntry(chosen));
}

bool TfrmLancCCorr::ReloadAfterRefusal(const ChosenEntry &chosen) {
    bco::ClientDataSet &list = records.cdsLancamentos;
    if (listLoader_.isStillCurrent(list))
        return false;
    if (Editing())
        BackToBrowsing();
    VerifyKeepingCurrentList();
    if (!LocateMovement(chosen.company, chosen.movement))
        StandInPlaceOf(chosen);
    return true;
}

void TfrmLancCCorr::StandInPlaceOf(const ChosenEntry &chosen) {
    bco::ClientDataSet &list = records.cdsLancamentos;
    if (!list.Active() || list.IsEmpty())
        return;
    list.SetRecNo(std::clamp(chosen.row, 1, list.RecordCount()));
    landedOn_ = {listedAccount_, ListValue(u"CDEMPRESA"), ListValue(u"NRMOVBANC")};
}

void TfrmLancCCorr::BackToBrowsing() {
    SetMode(Mode::Browsing);
    insertPending_ = false;
    HabilitaCampos(false);
    Habilita(NoAccount());
    HabilitaPagina(true);
    Consiste::SetChildEnabled(ui->panFiltro, true);
    SetActivePage(tshFolhaDados);
    previousKindIndex_ = ui->cbbTipo->currentIndex();
    RegraCheque();
    CheckPageItems();
    FocaLista();
}

void TfrmLancCCorr::FocaLista() {
    // The field that had the focus is closed now: without this the focus would be nowhere in the form and
    // its keys (Ctrl+T, Ctrl+I, ...) would not reach it.
    // A cancel may leave the form page shown, whose fields are all closed now: the pages' tabs take it then.
    if (ui->dbgPadrao->isEnabled() && ui->dbgPadrao->isVisible())
        ui->dbgPadrao->setFocus();
    else
        pgcPadrao->tabBar()->setFocus();
}

} // namespace Cli_bco11100
