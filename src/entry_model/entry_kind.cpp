#include "entry_model/entry_kind.h"

#include "framework/data/client_data_set.h"
#include "framework/text/whole_characters.h"

namespace Cli_bco11100 {

const EntryKind &CreditKind() {
    static const EntryKind kind{u'C',
                                0,
                                "getPrxMovCredBanc",
                                "getInsert",
                                {QStringLiteral("Adianta_Ja_Util"), QStringLiteral("Devolucao_Ja_Util"),
                                 QStringLiteral("LANCA_JA_CAD_OUTRO")},
                                {InsertionTail::Operator, InsertionTail::DevoluCredFor,
                                 InsertionTail::DevoluDebCli, InsertionTail::AdiantaCredFor,
                                 InsertionTail::AdiantaCred},
                                "NRMOVICRED",
                                "CDTPCREDBANC",
                                "DTMOVICRED",
                                "DSMOVICRED",
                                "VRMOVICRED",
                                "CDECTBMCRED",
                                "CDFILILANCRE"};
    return kind;
}

const EntryKind &DebitKind() {
    static const EntryKind kind{u'D',
                                1,
                                "getPrxMovDebBanc",
                                "getIncDebito",
                                {QStringLiteral("Adianta_Ja_Util"), QStringLiteral("Devolucao_Ja_Util"),
                                 QStringLiteral("N_Pode_Lanc_Orca"), QStringLiteral("LANCA_JA_CAD_OUTRO")},
                                {InsertionTail::DevoluDebCli, InsertionTail::DevoluCredFor,
                                 InsertionTail::AdiantaCredFor, InsertionTail::AdiantaCred},
                                "NRMOVIDEBI",
                                "CDTPDEBIBANC",
                                "DTMOVIDEBI",
                                "DSMOVIDEBI",
                                "VRMOVIDEBI",
                                "CDECTBMDEB",
                                "CDFILILANDEB"};
    return kind;
}

const EntryKind &KindOfIndex(int kindIndex) {
    return kindIndex == 0 ? CreditKind() : DebitKind();
}

QString MovementHistory(const QString &description, const QString &typeName) {
    return bco::leftWholeCharacters(description + u'(' + typeName + u')', 40);
}

void AppendNewEntry(bco::ClientDataSet &movements, bco::ClientDataSet &record, const EntryKind &kind,
                    const NewEntryValues &entry) {
    // Each row is filled at once: an import appends tens of thousands.
    const auto append = [](bco::ClientDataSet &dataSet,
                           std::initializer_list<std::pair<const char *, bco::Variant>> values) {
        std::vector<std::pair<bco::Field *, bco::Variant>> fields;
        fields.reserve(values.size());
        for (const auto &[name, value] : values)
            fields.emplace_back(&dataSet.FieldByName(QString::fromLatin1(name)), value);
        dataSet.Append();
        dataSet.SetValues(fields);
        dataSet.Post();
    };
    const QString letter(kind.letter);
    append(movements, {{"CDREDUCONT", entry.account},
                       {"NRMOVBANC", entry.movement},
                       {"DTMOVBANC", entry.date},
                       {"IDMOVBANC", letter},
                       {"DSHISMBANC", entry.history},
                       {"VRMOVBANC", entry.value},
                       {"IDORIGMBANC", letter},
                       {"IDSTCONEXT", QStringLiteral("0")},
                       {"NRDOCMBANC", entry.document},
                       {"DESCTIPO", entry.typeName}});
    append(record, {{"CDREDUCONT", entry.account},
                    {kind.number, entry.number},
                    {"NRMOVBANC", entry.movement},
                    {kind.type, entry.type},
                    {kind.date, entry.date},
                    {kind.description, entry.description},
                    {kind.value, entry.value},
                    {kind.accountingCompany, entry.company},
                    {kind.typedBranch, entry.typedBranch},
                    {"CDCLASSFINA", entry.financialClass},
                    {"CDEMPRESA", entry.company},
                    {"CDFILIAL", entry.entryBranch},
                    {"DTMOVFLUXO", entry.date},
                    {"IDMOVFLUXO", QStringLiteral("R")},
                    {"CDCLIENTE", entry.customer},
                    {"CDFORNECED", entry.supplier}});
}

} // namespace Cli_bco11100
