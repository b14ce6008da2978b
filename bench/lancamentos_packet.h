#pragma once

#include <cstdint>

#include <QDate>
#include <QString>

#include "framework/data/variant.h"

// The entry list as the filter loads it: the 35 fields of cdsLancamentos and rows of realistic widths and
// mix (credits name a customer, debits a supplier, a third are reconciled, some debits carry a cheque). The
// same rows on every run, so that figures compare.
namespace bench {

inline bco::FieldDefs lancamentosFields() {
    using bco::FieldKind;
    const auto text = [](const char *name, int size) {
        return bco::FieldDef{name, FieldKind::Text, size};
    };
    const auto date = [](const char *name) {
        return bco::FieldDef{name, FieldKind::Date};
    };
    return {date("DTMOVICRED"),          text("TIPO", 30),
            text("DSMOVICRED", 40),      {"VRMOVICRED", FieldKind::Float},
            text("DEBCRED", 1),          text("NUMERO", 10),
            text("NRMOVBANC", 10),       text("CDCLASSFINA", 6),
            text("CDTIPO", 2),           text("CDFILIAL", 4),
            date("DTMOVBANC"),           text("NRDOCMBANC", 10),
            text("CDEMPRESA", 2),        date("DTMOVFLUXO"),
            text("IDMOVFLUXO", 1),       text("CDSEQUEXBA", 10),
            text("NRSEQMOVREBA", 10),    text("CDFILILANCA", 4),
            text("NMFILIAL", 30),        text("CDEMPLANCTB", 2),
            text("NMEMPRESA", 40),       text("CDCLIENTE", 21),
            text("CDFORNECED", 21),      text("NRINSJURCLIE", 20),
            text("NMRAZSOCCLIE", 50),    text("NRINSJURFORN", 20),
            text("NMRAZSOCFORN", 40),    text("NRCHEQUE", 6),
            text("NRSEQUENCIALEMP", 10), text("IDLANCCOMP", 1),
            text("CDCONTCTBL", 20),      text("CDHISTPADR", 4),
            text("NRLANCCONT", 12),      text("NRMOVBANCORIG", 10),
            text("CDCENTCUST", 4)};
}

inline bco::DataPacket lancamentosPacket(int rows) {
    static const char *const creditTypes[] = {"Depósito em conta", "Recebimento de cliente",
                                              "Resgate de aplicação", "Transferência recebida"};
    static const char *const debitTypes[] = {"Pagamento a fornecedor", "Tarifa bancária",
                                             "Folha de pagamento", "Impostos e taxas"};
    static const char *const customers[] = {"Comércio de Alimentos Boa Vista Ltda", "Padaria São João ME",
                                            "Distribuidora Ação e Cia"};
    static const char *const suppliers[] = {"Metalúrgica Três Irmãos S.A.", "Papelaria Central Ltda",
                                            "Transportes Rápido Sul"};
    std::uint32_t seed = 20240315;
    const auto next = [&seed](std::uint32_t range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    const auto number = [](qint64 value, int width) {
        return QString::number(value).rightJustified(width, u'0');
    };
    const QDate first(2023, 1, 2);

    bco::DataPacket packet(lancamentosFields());
    packet.reserve(rows);
    std::vector<bco::Variant> values;
    for (int i = 0; i < rows; ++i) {
        const bool credit = next(2) == 0;
        const bool reconciled = next(3) == 0;
        const bool cheque = !credit && next(5) == 0;
        const int party = static_cast<int>(next(3));
        const QDate day = first.addDays(i / 150);
        const QString type = QString::fromUtf8(credit ? creditTypes[next(4)] : debitTypes[next(4)]);
        const double amount = static_cast<double>(next(5'000'000) + 1) / 100.0;
        const bco::Variant none;
        values = {day,
                  type,
                  QStringLiteral("%1 ref. %2/%3").arg(type.left(20)).arg(next(900) + 100).arg(day.year()),
                  credit ? amount : -amount,
                  credit ? "C" : "D",
                  number(i + 1, 10),
                  number(i + 1, 10),
                  number(100000 + next(50), 6),
                  number(next(40) + 1, 2),
                  number(next(8) + 1, 4),
                  day,
                  number(next(1'000'000), 10),
                  "01",
                  day.addDays(static_cast<int>(next(3))),
                  "S",
                  reconciled ? bco::Variant(number(next(10'000), 10)) : none,
                  reconciled ? bco::Variant(number(next(100'000), 10)) : none,
                  number(next(8) + 1, 4),
                  QStringLiteral("Filial Centro %1").arg(next(8) + 1),
                  "01",
                  "Empresa Modelo de Comércio Ltda",
                  credit ? bco::Variant(number(next(90'000) + 1, 21)) : none,
                  credit ? none : bco::Variant(number(next(90'000) + 1, 21)),
                  credit ? bco::Variant(number(11'222'333'000'100LL + next(10'000), 14)) : none,
                  credit ? bco::Variant(QString::fromUtf8(customers[party])) : none,
                  credit ? none : bco::Variant(number(44'555'666'000'100LL + next(10'000), 14)),
                  credit ? none : bco::Variant(QString::fromUtf8(suppliers[party])),
                  cheque ? bco::Variant(number(next(999'999) + 1, 6)) : none,
                  none,
                  "N",
                  QStringLiteral("1.1.1.02.%1").arg(next(900) + 100),
                  number(next(60) + 1, 4),
                  number(i + 5'000'000, 12),
                  none,
                  number(next(30) + 1, 4)};
        packet.appendValues(values);
    }
    return packet;
}

} // namespace bench
