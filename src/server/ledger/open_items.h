#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace bco::server {

// What a customer or a supplier holds in its favour and an entry may discount: an advance (one instalment of
// an advance document) or an invoice of goods returned. The four kinds are twins over their own tables: an
// item's full value, less the uses that entries made of it (each use tied to the bank movement that made it),
// is what is still available. Every method that reads or settles open items works through one of these rows.
struct OpenItemKind {
    const char *name;              // in messages: "adiantamento", "nota fiscal de devolução"
    const char *table;             // ADIANTCLI, NFDEVCLI, ADIANTFOR, NFDEVFOR (alias A in the statements)
    const char *useTable;          // the same with USO
    std::vector<const char *> key; // the columns that identify an item, named alike in the forms' rows
    const char *value;             // the full value in cents: VRORIGINAL or VRNFDEVOL
    const char *date;              // the date the forms list the items by
    const char *partyTable;        // CLIENTE or FORNECED (alias P in the statements)
    const char *party;             // CDCLIENTE or CDFORNECED
    const char *partyName;         // in messages: "cliente", "fornecedor"
    const char *usedKey;           // the catalogue key that refuses an item used already
    bool customer;

    static QString column(const char *name) { return QString::fromLatin1(name); }
    QStringList keyColumns() const;
};

extern const OpenItemKind customerAdvances;
extern const OpenItemKind customerReturns;
extern const OpenItemKind supplierAdvances;
extern const OpenItemKind supplierReturns;

// The FROM clause over the items of `kind` (A), their party (P) and what each has used (U.USADO, cents; null
// when nothing), for a statement that lists or reads items.
QString openItemsFrom(const OpenItemKind &kind);

// The cents still available of an item read through openItemsFrom.
QString availableCents(const OpenItemKind &kind);

} // namespace bco::server
