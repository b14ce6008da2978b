#include "entry_model/entry_kind.h"

#include "framework/data/client_data_set.h"

namespace Cli_bco11100 {

const EntryKind &CreditKind() {
    static const EntryKind kind{u'C',
                                0,
                                "getPrxMovCredBanc",
                                "getInsert",
                                {QStringLiteral("Adianta_Ja_Util"), QStringLiteral("Devolucao_Ja_Util")},
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
                                 QStringLiteral("N_Pode_Lanc_Orca")},
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
    return (description + u'(' + typeName + u')').left(40);
}

void AppendNewEntry(bco::ClientDataSet &movements, bco::ClientDataSet &record, const EntryKind &kind,
                    const NewEntryValues &entry) {
    const auto set = [](bco::ClientDataSet &dataSet, const char *field, const bco::Variant &value) {
        dataSet.FieldByName(QString::fromLatin1(field)).SetValue(value);
    };
    const QString letter(kind.letter);
    movements.Append();
    set(movements, "CDREDUCONT", entry.account);
    set(movements, "NRMOVBANC", entry.movement);
    set(movements, "DTMOVBANC", entry.date);
    set(movements, "IDMOVBANC", letter);
    set(movements, "DSHISMBANC", entry.history);
    set(movements, "VRMOVBANC", entry.value);
    set(movements, "IDORIGMBANC", letter);
    set(movements, "IDSTCONEXT", QStringLiteral("0"));
    set(movements, "NRDOCMBANC", entry.document);
    set(movements, "DESCTIPO", entry.typeName);
    movements.Post();

    record.Append();
    set(record, "CDREDUCONT", entry.account);
    set(record, kind.number, entry.number);
    set(record, "NRMOVBANC", entry.movement);
    set(record, kind.type, entry.type);
    set(record, kind.date, entry.date);
    set(record, kind.description, entry.description);
    set(record, kind.value, entry.value);
    set(record, kind.accountingCompany, entry.company);
    set(record, kind.typedBranch, entry.typedBranch);
    set(record, "CDCLASSFINA", entry.financialClass);
    set(record, "CDEMPRESA", entry.company);
    set(record, "CDFILIAL", entry.entryBranch);
    set(record, "DTMOVFLUXO", entry.date);
    set(record, "IDMOVFLUXO", QStringLiteral("R"));
    set(record, "CDCLIENTE", entry.customer);
    set(record, "CDFORNECED", entry.supplier);
    record.Post();
}

} // namespace Cli_bco11100
