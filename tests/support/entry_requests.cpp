#include "support/entry_requests.h"

namespace bco::testing {

DataPacket insertedRow(const std::vector<std::pair<QString, Variant>> &fields) {
    FieldDefs definitions;
    std::vector<Variant> values;
    for (const auto &[name, value] : fields) {
        FieldDef definition;
        definition.name = name;
        definition.kind = value.type() == VariantType::Date    ? FieldKind::Date
                          : value.type() == VariantType::Float ? FieldKind::Float
                                                               : FieldKind::Text;
        definitions.append(definition);
        values.push_back(value);
    }
    DataPacket packet(definitions);
    packet.appendValues(values, RowState::Inserted);
    return packet;
}

DataPacket chosenRows(const DataPacket &listed, const std::map<int, double> &discounts,
                      const std::map<int, double> &unmarked) {
    DataPacket packet(listed.fields());
    const auto mark = static_cast<size_t>(listed.fieldIndex(u"IDMARCADO"));
    const auto discount = static_cast<size_t>(listed.fieldIndex(u"VRDESCONTO"));
    for (int row = 0; row < listed.rowCount(); ++row) {
        std::vector<Variant> values;
        for (int field = 0; field < listed.fields().size(); ++field)
            values.push_back(listed.value(row, field));
        if (const auto chosen = discounts.find(row); chosen != discounts.end()) {
            values[mark] = QStringLiteral("S");
            values[discount] = chosen->second;
        } else if (const auto typed = unmarked.find(row); typed != unmarked.end()) {
            values[discount] = typed->second;
        }
        packet.appendValues(values);
    }
    return packet;
}

Insertion insertion(EntryRequest &entry, const NumberDrawer &draw) {
    const bool credit = entry.kind == 'C';
    if (entry.movement.isEmpty())
        entry.movement = draw(QStringLiteral("getPrxMovBancario"), entry.account);
    if (entry.number.isEmpty())
        entry.number = draw(credit ? QStringLiteral("getPrxMovCredBanc") : QStringLiteral("getPrxMovDebBanc"),
                            entry.account);
    const QString letter = QString(QChar::fromLatin1(entry.kind));
    const QString history = (entry.description + u'(' + entry.typeName + u')').left(40);
    const DataPacket movement = insertedRow({
        {"CDREDUCONT", entry.account},
        {"NRMOVBANC", entry.movement},
        {"DTMOVBANC", entry.date},
        {"IDMOVBANC", letter},
        {"NRDOCMBANC", entry.document},
        {"DSHISMBANC", history},
        {"VRMOVBANC", entry.value},
        {"IDORIGMBANC", letter},
        {"IDSTCONEXT", "0"},
        {"DESCTIPO", entry.typeName},
    });
    const DataPacket record = insertedRow({
        {"CDREDUCONT", entry.account},
        {credit ? "NRMOVICRED" : "NRMOVIDEBI", entry.number},
        {"CDCLASSFINA", Variant()},
        {"CDEMPRESA", entry.company},
        {"CDFILIAL", entry.branch},
        {"DTMOVFLUXO", entry.date},
        {"IDMOVFLUXO", "R"},
        {"NRMOVBANC", entry.movement},
        {credit ? "CDTPCREDBANC" : "CDTPDEBIBANC", entry.type},
        {credit ? "DTMOVICRED" : "DTMOVIDEBI", entry.date},
        {credit ? "DSMOVICRED" : "DSMOVIDEBI", entry.description},
        {credit ? "VRMOVICRED" : "VRMOVIDEBI", entry.value},
        {credit ? "CDECTBMCRED" : "CDECTBMDEB", entry.company},
        {credit ? "CDFILILANCRE" : "CDFILILANDEB", entry.typedBranch},
        {"CDCLIENTE", entry.customer},
        {"CDFORNECED", entry.supplier},
    });
    const QString party = entry.customer.isEmpty() ? QStringLiteral("F") : QStringLiteral("C");
    VariantList args{entry.typedBranch, "C",        entry.document, QString(), entry.costCentre,
                     QString(),         entry.date, entry.value,    movement,  record};
    if (credit)
        args.insert(args.end(), {"DEMO", entry.supplierReturns, entry.customerReturns, entry.supplierAdvances,
                                 entry.customerAdvances, party});
    else
        args.insert(args.end(), {entry.customerReturns, entry.supplierReturns, entry.supplierAdvances,
                                 entry.customerAdvances, party});
    return {credit ? QStringLiteral("getInsert") : QStringLiteral("getIncDebito"), args};
}

Insertion change(const EntryRequest &entry, const QString &description) {
    const Variant date = entry.date;
    const double value = entry.value;
    const QString &typed = entry.typedBranch;
    const QString none;
    if (entry.kind == 'C')
        return {QStringLiteral("getAlteraCred"),
                {none,         description,   entry.typeName, entry.document, date,
                 none,         value,         entry.account,  typed,          entry.costCentre,
                 none,         entry.type,    typed,          entry.movement, entry.number,
                 entry.number, entry.company, none,           entry.branch,   "C",
                 "C",          "DEMO",        entry.customer, entry.supplier, value,
                 date,         none}};
    return {QStringLiteral("getAlterDebito"),
            {entry.account,
             entry.movement,
             date,
             entry.typeName,
             value,
             entry.document,
             entry.number,
             entry.number,
             entry.type,
             date,
             description,
             value,
             entry.company,
             typed,
             typed,
             "C",
             none,
             entry.company,
             entry.branch,
             date,
             "D",
             none,
             entry.costCentre,
             typed,
             date,
             value,
             none,
             entry.customer,
             entry.supplier,
             none,
             value,
             date,
             none}};
}

VariantList deletion(const EntryRequest &entry, const QString &accountingNumber, const QString &statement,
                     const QString &line, QDate processingDate) {
    const double signedValue = entry.kind == 'C' ? entry.value : -entry.value;
    return {entry.account,
            entry.date,
            signedValue,
            entry.company,
            QString(QChar::fromLatin1(entry.kind)),
            entry.number,
            line,
            statement,
            entry.movement,
            entry.company,
            QString(),
            processingDate.toString(QStringLiteral("dd/MM/yyyy")),
            QString(),
            QString(),
            -0.001,
            0.001,
            "T",
            "T",
            QString(),
            "T",
            accountingNumber};
}

} // namespace bco::testing
