#include "discount/discount_records.h"

#include <stdexcept>

#include "framework/checks/consiste.h"
#include "framework/checks/tax_number_text.h"
#include "framework/data/field_shorthands.h"

namespace Cli_bco11103 {

using namespace bco::fields;

namespace {

const ItemKind advances{true, "VRTOTDISP", false, "vrDesc<0", "Adiantamento"};
const ItemKind returnedInvoices{false, "VRDISPONIVEL", true, "vrDesc_inf", "Devolucao"};

bco::DataSetColumn column(const char *field, int width = 0, const QString &title = {}) {
    return {.fieldName = QString::fromLatin1(field), .title = title, .width = width};
}
// Value columns have their titles on the right, over the numbers.
bco::DataSetColumn value(const char *field, int width = 0, const QString &title = {}) {
    bco::DataSetColumn shown = column(field, width, title);
    shown.titleAlignment = Qt::AlignRight;
    return shown;
}

const DiscountPage pages[] = {
    {0,
     &advances,
     true,
     &DiscountRecords::cdsContaAd,
     "GetContaAd",
     false,
     {column("IDMARCADO", 22), column("DTATUAVENREC"), value("VRORIGINAL", 77), value("VRTOTDISP", 88),
      value("VRDESCONTO", 85)}},
    {1,
     &returnedInvoices,
     true,
     &DiscountRecords::cdsVenda,
     nullptr,
     false,
     {column("IDMARCADO", 17), column("DOCUMENTO", 87), column("DTEMISSAO", 78), value("VRNFDEVOL", 80),
      value("VRDISPONIVEL", 80), value("VRDESCONTO", 80)}},
    {2,
     &returnedInvoices,
     false,
     &DiscountRecords::cdsCompra,
     nullptr,
     false,
     {column("IDMARCADO", 16), column("DOCUMENTO", 110), column("DTEMISSAO"), value("VRNFDEVOL"),
      value("VRDISPONIVEL"), value("VRDESCONTO")}},
    {3,
     &advances,
     false,
     &DiscountRecords::cdsContaAdFor,
     "GetContaAdFor",
     true,
     {column("IDMARCADO", 22), column("DTATUAVENPAG", 0, QStringLiteral("Vencimento")),
      value("VRORIGINAL", 77, QStringLiteral("Vr. Original")), value("VRTOTDISP", 88),
      value("VRDESCONTO", 85)}},
};

} // namespace

DiscountRecords::DiscountRecords(QObject *parent)
    : QObject(parent) {
    cdsContaAd.setObjectName(QStringLiteral("cdsContaAd"));
    cdsContaAd.AddFields({
        mark(),
        date("DTATUAVENREC", "Vencimento"),
        hidden(text("NRSEQVENREC", 2)),
        hidden(text("NRPARCELAREC", 2)),
        hidden(text("CDFILIAL", 4)),
        amount("VRORIGINAL", "Vr. Original"),
        hidden(text("NRLANCTONF", 10)),
        amount("VRDESCONTO", "Vr. Desconto"),
        hidden(text("IDTPIJURCLIE", 1)),
        hidden(text("NMRAZSOCCLIE", 50)),
        hidden(text("NRINSJURCLIE", 20)),
        hidden(amount("VRTOTADIA")),
        calculated(amount("VRTOTDISP", "Vr.Disponível")),
    });
    // What is left of an advance: its full value less what was used of it.
    cdsContaAd.OnCalcFields = [](bco::ClientDataSet &rows) {
        rows.FieldByName(u"VRTOTDISP")
            .SetAsFloat(rows.FieldByName(u"VRORIGINAL").AsFloat() - rows.FieldByName(u"VRTOTADIA").AsFloat());
    };
    bco::ShowTaxNumberByPersonKind(cdsContaAd, QStringLiteral("NRINSJURCLIE"),
                                   QStringLiteral("IDTPIJURCLIE"));

    cdsVenda.setObjectName(QStringLiteral("cdsVenda"));
    cdsVenda.AddFields({
        mark(),
        text("DOCUMENTO", 26, "Doc/Série"),
        text("FILIDEVO", 4),
        text("NRNFDEVO", 10),
        date("DTEMISSAO", "Emissão"),
        date("DTENTRSAID", "Saída"),
        text("NRLANCTONF", 10),
        amount("VRDISPONIVEL", "Vr. Disponível"),
        amount("VRDESCONTO", "Vr. Desconto"),
        amount("VRNFDEVOL", "Vr. Original"),
        text("NRINSJURCLIE", 20),
        text("IDTPIJURCLIE", 1),
        text("NMRAZSOCCLIE", 40),
        text("FILIVENDA", 4),
        text("NRNFVENDA", 10),
    });
    bco::ShowTaxNumberByPersonKind(cdsVenda, QStringLiteral("NRINSJURCLIE"), QStringLiteral("IDTPIJURCLIE"));

    cdsCompra.setObjectName(QStringLiteral("cdsCompra"));
    cdsCompra.AddFields({
        mark(),
        text("DOCUMENTO", 26, "Doc/Série"),
        text("FILIDEVO", 4),
        text("NRNFDEVO", 10),
        date("DTEMISSAO", "Emissão"),
        amount("VRDISPONIVEL", "Vr. Disponível"),
        amount("VRDESCONTO", "Vr. Desconto"),
        amount("VRNFDEVOL", "Vr. Original"),
        text("NRINSJURFORN", 20),
        text("IDTPIJURFORN", 1),
        text("NMRAZSOCFORN", 40),
        text("DOCUMENTOORI", 26, "Doc/Série Origem"),
    });
    bco::ShowTaxNumberByPersonKind(cdsCompra, QStringLiteral("NRINSJURFORN"), QStringLiteral("IDTPIJURFORN"));

    cdsContaAdFor.setObjectName(QStringLiteral("cdsContaAdFor"));
    cdsContaAdFor.AddFields({
        mark(),
        date("DTATUAVENPAG"),
        text("NRSEQVENPAG", 2),
        text("NRPARCELAPAG", 2),
        text("CDFILIAL", 4),
        amount("VRORIGINAL"),
        text("NRLANCTONF", 10),
        amount("VRDESCONTO", "Vr. Desconto"),
        text("IDTPIJURFORN", 1),
        text("NMRAZSOCFORN", 40),
        text("NRINSJURFORN", 20),
        amount("VRTOTADIA"),
        amount("VRTOTDISP", "Vr. Disponível"),
    });
    bco::ShowTaxNumberByPersonKind(cdsContaAdFor, QStringLiteral("NRINSJURFORN"),
                                   QStringLiteral("IDTPIJURFORN"));
}

const DiscountPage &PageOf(int index) {
    for (const DiscountPage &page : pages) {
        if (page.index == index)
            return page;
    }
    throw std::invalid_argument("the discount form has no page " + std::to_string(index));
}

double TotalAvailable(const bco::ClientDataSet &rows, const DiscountPage &page) {
    const bco::Field &available = rows.FieldByName(QString::fromLatin1(page.kind->available));
    double total = 0.0;
    for (int row = 0; row < rows.RecordCount(); ++row) {
        const bco::ClientDataSet::ActiveRowScope reading(rows, row);
        total = page.totalRoundsEachTerm
                    ? Consiste::RoundDec(total, 2) + Consiste::RoundDec(available.AsFloat(), 2)
                    : total + available.AsFloat();
    }
    return total;
}

} // namespace Cli_bco11103
