// Marking rows and discounting them: the grids' mark glyphs, keys and editing rule, the checks of each save
// and the running total, and the confirm.
#include "discount/discount_form.h"

#include <QAction>
#include <QPainter>

#include "framework/checks/consiste.h"
#include "framework/ui/db_grid.h"
#include "framework/ui/focus_tracker.h"

#include "ui_discount_form.h"

namespace Cli_bco11103 {

namespace {

const QString markField = QStringLiteral("IDMARCADO");
const QString discountField = QStringLiteral("VRDESCONTO");

bool isDiscount(const bco::Field *field) {
    return field != nullptr && field->FieldName().compare(discountField, Qt::CaseInsensitive) == 0;
}

// A row takes part in the checks and opens its discount to typing only when it holds "S"; its glyph and its
// toggle take it as unmarked only when it holds "N".
bool marked(const bco::ClientDataSet &rows) {
    return rows.FieldByName(markField).AsString() == u"S";
}

} // namespace

void TfrmDescAdia::bindRules() {
    for (int index = 0; index < ui->ntbConsulta->count(); ++index)
        bindGrid(PageOf(index));

    // Ctrl+Enter confirms from anywhere on the form, an open cell editor included.
    auto *confirm = new QAction(this);
    confirm->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    confirm->setShortcutContext(Qt::WindowShortcut);
    addAction(confirm);
    OnClick(confirm, [this] { sbtConfirmaClick(); });
}

void TfrmDescAdia::bindGrid(const DiscountPage &page) {
    bco::TNewDBGrid *grid = GridOf(page);
    grid->SetCellEditable([](const bco::Field &field) { return isDiscount(&field); });
    grid->OnDrawColumnCell = [this, &page](const QRect &rect, const bco::Field &field, QStyle::State state) {
        GridDrawCell(page, rect, field, state);
    };
    grid->OnDblClick = [this, &page] {
        Marca(page);
    };
    grid->OnKeyDown = [this, &page](int &key, Qt::KeyboardModifiers modifiers) {
        GridKeyDown(page, key, modifiers);
    };
    grid->OnKeyPress = [this, &page](QChar &key) {
        GridKeyPress(page, key);
    };
    grid->OnColEnter = [this] {
        RegraEdicao();
    };
    // Enter saves the row typed into, through the save's checks, so that the total to discount shows what
    // was typed: left for the move to another row, it went on showing the row's old discount, and a page of
    // one row has no other row to move to.
    grid->OnEditorSubmitted = [this, &page] {
        bco::ClientDataSet &rows = DataOf(page);
        if (rows.State() == bco::DataSetState::Edit)
            rows.Post();
    };
    bco::FocusTracker::instance().setEnterHandler(grid, [this] { RegraEdicao(); });

    bco::ClientDataSet &rows = DataOf(page);
    rows.BeforeInsert = [](bco::ClientDataSet &) {
        throw Consiste::EAbort();
    };
    rows.BeforeEdit = [this, &page](bco::ClientDataSet &) {
        BeforeEdit(page);
    };
    rows.BeforePost = [this, &page](bco::ClientDataSet &) {
        BeforePost(page);
    };
    // On every page, so that the discount of an unmarked row is never left open to typing after a move.
    rows.AfterScroll = [this](bco::ClientDataSet &) {
        RegraEdicao();
    };
}

double &TfrmDescAdia::DiscountBeforeEdit(const DiscountPage &page) {
    return page.kind->advance ? advanceDiscountBeforeEdit_ : returnDiscountBeforeEdit_;
}

void TfrmDescAdia::Refuse(const char *key) const {
    Consiste::MensErro(msgPadrao.Msg(QString::fromLatin1(key)), true);
    throw Consiste::EAbort();
}

// Draws the row's mark from the form's two images over the cell's background.
void TfrmDescAdia::GridDrawCell(const DiscountPage &page, const QRect &rect, const bco::Field &field,
                                QStyle::State state) {
    bco::TNewDBGrid *grid = GridOf(page);
    if (!bco::TNewDBGrid::IsMarkField(&field) || DataOf(page).IsEmpty())
        return;
    grid->Canvas()->fillRect(rect, state.testFlag(QStyle::State_Selected) ? grid->palette().highlight()
                                                                          : grid->palette().base());
    const QPixmap image = (field.AsString() == u"N" ? ui->imguncheck : ui->imgCheck)->pixmap();
    bco::InsereImagem(grid, rect, image, bco::MarkGlyphBackground());
}

// A marked row becomes unmarked with nothing to discount; any other becomes marked with all its available
// value to discount. The save checks the result.
void TfrmDescAdia::Marca(const DiscountPage &page) {
    if (!bco::TNewDBGrid::IsMarkField(GridOf(page)->SelectedField()))
        return;
    bco::ClientDataSet &rows = DataOf(page);
    rows.Edit();
    bco::Field &mark = rows.FieldByName(markField);
    bco::Field &discount = rows.FieldByName(discountField);
    if (mark.AsString() == u"N") {
        mark.SetAsString(QStringLiteral("S"));
        discount.SetAsFloat(rows.FieldByName(QString::fromLatin1(page.kind->available)).AsFloat());
    } else {
        mark.SetAsString(QStringLiteral("N"));
        discount.SetAsFloat(0.0);
    }
    rows.Post();
}

void TfrmDescAdia::GridKeyDown(const DiscountPage &page, int &key, Qt::KeyboardModifiers modifiers) {
    if (key == Qt::Key_Space && modifiers == Qt::NoModifier) {
        Marca(page);
    } else if (key == Qt::Key_Delete && modifiers.testFlag(Qt::ControlModifier)) {
        key = 0;
    } else if (key == Qt::Key_Escape) {
        // Leaves a row whose save was refused as it was before the edit.
        bco::ClientDataSet &rows = DataOf(page);
        if (rows.State() == bco::DataSetState::Edit)
            rows.Cancel();
    }
}

void TfrmDescAdia::GridKeyPress(const DiscountPage &page, QChar &key) {
    bco::ClientDataSet &rows = DataOf(page);
    if (rows.State() != bco::DataSetState::Edit && rows.State() != bco::DataSetState::Insert)
        rows.Edit();
    if (key == u'-' && isDiscount(GridOf(page)->SelectedField()))
        key = QChar();
}

// The discount of the current row is open to typing only when that row is marked and the discount column is
// the one selected.
void TfrmDescAdia::RegraEdicao() {
    bco::TNewDBGrid *grid = GridOf(Page());
    const bco::ClientDataSet &rows = PageData();
    grid->SetEditing(isDiscount(grid->SelectedField()) && rows.Active() && !rows.IsEmpty() && marked(rows));
}

void TfrmDescAdia::BeforeEdit(const DiscountPage &page) {
    DiscountBeforeEdit(page) = Consiste::RoundDec(DataOf(page).FieldByName(discountField).AsFloat(), 2);
}

// A save passes its checks (refused, the row stays in edit with what was refused) and then replaces the
// row's share of the running total by its new discount.
void TfrmDescAdia::BeforePost(const DiscountPage &page) {
    const bco::ClientDataSet &rows = DataOf(page);
    const ItemKind &kind = *page.kind;
    const bool isMarked = marked(rows);
    const double discount = rows.FieldByName(discountField).AsFloat();
    // Compared to the cent, as both are shown: what is left of a partly used advance is a difference of
    // amounts, which the floating point leaves a hair below the cents typed back.
    if ((isMarked || !kind.availableCheckedOnlyWhenMarked) &&
        Consiste::RoundDec(rows.FieldByName(QString::fromLatin1(kind.available)).AsFloat(), 2) <
            Consiste::RoundDec(discount, 2))
        Refuse("vrDesc_<_vrdisp");
    if (isMarked && discount <= 0.0)
        Refuse(kind.nothingToDiscount);
    RegraEdicao();
    double running = Consiste::RoundDec(ui->nedVrADesc->Value() - DiscountBeforeEdit(page), 2);
    running = Consiste::RoundDec(running + discount, 2);
    ui->nedVrADesc->SetValue(running);
}

void TfrmDescAdia::sbtConfirmaClick() {
    if (!GridOf(Page())->CommitEdit())
        throw Consiste::EAbort();
    bco::ClientDataSet &rows = PageData();
    if (rows.Active() && rows.State() != bco::DataSetState::Browse)
        rows.Post();
    const double running = ui->nedVrADesc->Value();
    if (running <= 0.0)
        Refuse("vrDesc_n_inf");
    if (ui->nedTotalAdi->Value() < running)
        Refuse("VrADesc_dv<doPag");
    if (running > opening_.entryAmount)
        Refuse("VrBol_Neg");
    TfrmRotiGeral::sbtConfirmaClick();
}

} // namespace Cli_bco11103
