// The accounting and print actions, and the customer and supplier tax numbers, which show through their
// person kind's mask until the operator starts typing over them.
#include "entries/entry_form.h"

#include "framework/checks/consiste.h"
#include "framework/session/login_context.h"
#include "report/report_form.h"

#include "ui_entry_form.h"

namespace Cli_bco11100 {

namespace {

int nonDigits(QStringView text) {
    int count = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            ++count;
    }
    return count;
}

} // namespace

int CalculaRecuoSelecao(const QString &text, int position) {
    const int start = std::clamp(position, 0, static_cast<int>(text.size()));
    return start - nonDigits(QStringView(text).left(start));
}

void CalculaNovoTamanhoSel(const QString &selected, int &length) {
    const int counted = std::clamp(length, 0, static_cast<int>(selected.size()));
    length -= nonDigits(QStringView(selected).left(counted));
}

void TfrmLancCCorr::sbtContabClick() {
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

void TfrmLancCCorr::sbtImprimirClick() {
    TfrmPadrao::sbtImprimirClick();
    Cli_bco11101::CriaRelLancCont();
    repaint();
}

void TfrmLancCCorr::TaxNumberKeyPress(Party party, QChar &key) {
    if (key != QChar(8))
        UnmaskForTyping(party);
}

void TfrmLancCCorr::TaxNumberKeyDown(Party party, int &key) {
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete)
        UnmaskForTyping(party);
}

// The first key that edits a masked tax number shows the plain digits, keeping the caret and the selection
// on the digits they were on, so that the key acts where the operator saw it act.
void TfrmLancCCorr::UnmaskForTyping(Party party) {
    bco::TMaskEdit *field = PartyOf(party).taxNumber;
    if (!field->HasMask())
        return;
    const QString shown = field->EditText();
    const int start = field->SelStart();
    int length = field->SelLength();
    const int newStart = CalculaRecuoSelecao(shown, start);
    CalculaNovoTamanhoSel(shown.mid(start, length), length);
    field->SetEditMask(QString());
    field->SetSelStart(newStart);
    field->SetSelLength(length);
}

} // namespace Cli_bco11100
