#include "discount/discount_form.h"

#include <algorithm>
#include <stdexcept>

#include "framework/checks/consiste.h"
#include "framework/remote/net_connection.h"
#include "framework/ui/control_color.h"
#include "framework/ui/db_grid.h"

#include "ui_discount_form.h"

// The mark glyphs are this library's resources; a static library's are registered by hand (outside any
// namespace, as Qt asks), before the form's grids draw them.
static void registerDiscountImages() {
    Q_INIT_RESOURCE(discount_images);
}

namespace Cli_bco11103 {

QPointer<TfrmDescAdia> frmDescAdia;
bool boStCriado = false;

namespace {

const char *const messages[] = {
    "Descontar|Descontar",
    "Adiantamento|Adiantamento",
    "Devolucao|Devolução",
    "TotalDe|Total de",
    "Cliente|Cliente",
    "Fornecedor|Fornecedor",
    "vrDesc_n_inf|Valor a descontar deve ser informado.",
    "VrADesc_dv<doPag|Valor a descontar deve ser menor ou igual ao valor do boleto.",
    "VrBol_Neg|Operação bloqueada. O valor a descontar não pode ser maior que o valor do lançamento.",
    "vrDesc_<_vrdisp|Valor do desconto deve ser menor ou igual que o valor disponível.",
    "vrDesc<0|Valor deve ser maior que zero.",
    "vrDesc_inf|Valor do desconto deve ser informado.",
};

} // namespace

TfrmDescAdia::TfrmDescAdia(Cli_bco11100::EntryFormServices &entryForm, QWidget *parent)
    : TfrmRotiGeral(DescendantLayout{}, parent)
    , dtsContaAd(&records.cdsContaAd)
    , dtsVenda(&records.cdsVenda)
    , dtsCompra(&records.cdsCompra)
    , dtsContaAdFor(&records.cdsContaAdFor)
    , entryForm_(entryForm)
    , ui(std::make_unique<Ui::frmDescAdia>())
    , page_(&PageOf(0)) {
    registerDiscountImages();
    for (const char *row : messages)
        msgPadrao.add(QString::fromUtf8(row));
    ui->setupUi(this);
    BindFrame();
    for (int index = 0; index < ui->ntbConsulta->count(); ++index) {
        const DiscountPage &page = PageOf(index);
        bco::TNewDBGrid *grid = GridOf(page);
        grid->SetDataSource(&SourceOf(page));
        // A returned invoice is told from its neighbours by the last digits of its number and its series,
        // which a column cut short hides ("00000090..." for 0000009002 and 0000009003): the document shows
        // whole in the font at hand.
        QList<bco::DataSetColumn> columns = page.columns;
        const int wholeDocument =
            grid->fontMetrics().horizontalAdvance(QStringLiteral("0000000000/000")) + 12;
        for (bco::DataSetColumn &column : columns)
            if (column.fieldName.startsWith(u"DOCUMENTO"))
                column.width = std::max(column.width, wholeDocument);
        grid->SetColumns(columns);
        grid->SetColor(bco::ControlColor::InfoTip);
        // Tab goes from the mark to the discount of a row, as the operator works.
        grid->setTabKeyNavigation(true);
    }
    // A company's tax number shows whole in the font at hand.
    const int taxNumberWidth = std::max(
        115, ui->dbeInscCli->fontMetrics().horizontalAdvance(QStringLiteral("99.999.999/9999-99")) + 12);
    for (bco::TDBEdit *taxNumber : {ui->dbeInscCli, ui->dbeInscForn})
        taxNumber->setFixedWidth(taxNumberWidth);
    bindRules();
}

TfrmDescAdia::~TfrmDescAdia() = default;

bco::ClientDataSet &TfrmDescAdia::DataOf(const DiscountPage &page) {
    return records.*page.data;
}

bco::DataSource &TfrmDescAdia::SourceOf(const DiscountPage &page) {
    bco::DataSource *const sources[] = {&dtsContaAd, &dtsVenda, &dtsCompra, &dtsContaAdFor};
    return *sources[page.index];
}

bco::TNewDBGrid *TfrmDescAdia::GridOf(const DiscountPage &page) const {
    bco::TNewDBGrid *const grids[] = {ui->dbgPadrao, ui->dbgDevolucao, ui->dbgDevolucaoFor, ui->dbgAdianFor};
    return grids[page.index];
}

bco::ClientDataSet &TfrmDescAdia::PageData() {
    return DataOf(Page());
}

void TfrmDescAdia::Abre(const Opening &opening) {
    opening_ = opening;
    // The party decides between its two pages; the entry form asks for pages 0 and 1 of a customer and 2
    // and 3 of a supplier.
    const int index = opening.customer ? (opening.page == 0 ? 0 : 1) : (opening.page == 3 ? 3 : 2);
    page_ = &PageOf(index);
    const DiscountPage &page = Page();
    ui->ntbConsulta->setCurrentIndex(page.index);

    const auto msg = [this](const char *key) {
        return msgPadrao.Msg(QString::fromLatin1(key));
    };
    ui->Label3->setText(msg(page.customer ? "Cliente" : "Fornecedor"));
    for (bco::TDBEdit *customerEdit : {ui->dbeInscCli, ui->dbeNmCliente})
        customerEdit->setVisible(page.customer);
    for (bco::TDBEdit *supplierEdit : {ui->dbeInscForn, ui->dbeNmFornecedor})
        supplierEdit->setVisible(!page.customer);
    bco::DataSource *source = &SourceOf(page);
    (page.customer ? ui->dbeInscCli : ui->dbeInscForn)->SetDataSource(source);
    (page.customer ? ui->dbeNmCliente : ui->dbeNmFornecedor)->SetDataSource(source);

    const QString item = msg(page.kind->itemKey);
    setWindowTitle(msg("Descontar") + u' ' + item);
    ui->Label1->setText(msg("TotalDe") + u' ' + item);

    bco::ClientDataSet &rows = DataOf(page);
    if (page.method != nullptr) {
        bco::VariantList args{opening.partyCode, opening.companyCode};
        if (!page.customer)
            args.push_back(opening.supplierTaxNumber);
        rows.SetData(Consiste::CheckResultServ(
            entryForm_.ServerConnection().Call(QString::fromLatin1(page.method), args), true, 0));
    } else {
        rows.SetData(page.customer ? entryForm_.CustomerReturns().Data()
                                   : entryForm_.SupplierReturns().Data());
    }
    rows.First();
    ui->nedTotalAdi->SetValue(TotalAvailable(rows, page));
    ui->nedVrADesc->SetValue(0.0);
}

void TfrmDescAdia::FormActivate() {
    repaint();
}

// Cancel hands back nothing to discount; so does the window's close, which runs none of the confirm's checks:
// rows it left marked could settle more than the entry's value or than is available.
void TfrmDescAdia::FormClose(bco::TCloseAction &action) {
    if (ModalResult() != bco::mrOk)
        DescartaEscolha();
    TfrmRotiGeral::FormClose(action);
    boStCriado = false;
}

void TfrmDescAdia::DescartaEscolha() {
    for (bco::ClientDataSet *dataSet :
         {&records.cdsVenda, &records.cdsContaAd, &records.cdsCompra, &records.cdsContaAdFor}) {
        if (dataSet->Active())
            dataSet->EmptyDataSet();
        else
            dataSet->CreateDataSet();
    }
}

std::optional<bco::DataPacket> CriaDescAdi(Cli_bco11100::EntryFormServices &entryForm, double entryAmount,
                                           const QString &partyCode, const QString &companyCode,
                                           const QString &pageIndex, const QString &partyKind,
                                           const QString &supplierTaxNumber) {
    bool isNumber = false;
    const int page = pageIndex.trimmed().toInt(&isNumber);
    if (!isNumber || page < 0 || page > 3)
        throw std::invalid_argument("página do desconto de adiantamentos inválida: " +
                                    pageIndex.toStdString());
    if (!boStCriado || frmDescAdia.isNull()) {
        frmDescAdia = bco::CreateForm<TfrmDescAdia>(entryForm);
        boStCriado = true;
    }
    try {
        frmDescAdia->Abre({.entryAmount = entryAmount,
                           .partyCode = partyCode,
                           .companyCode = companyCode,
                           .page = page,
                           .customer = partyKind == u"C",
                           .supplierTaxNumber = supplierTaxNumber});
    } catch (...) {
        // A form that could not open is not kept for the next call: it works for this entry form only.
        frmDescAdia->Release();
        frmDescAdia = nullptr;
        boStCriado = false;
        throw;
    }
    frmDescAdia->ShowModal();
    if (frmDescAdia.isNull())
        return std::nullopt;
    return frmDescAdia->PageData().Data();
}

} // namespace Cli_bco11103
