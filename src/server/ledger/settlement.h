#pragma once

#include <array>
#include <vector>

#include <QString>
#include <QStringList>

#include "framework/data/variant.h"
#include "server/ledger/accounting.h"
#include "server/ledger/open_items.h"
#include "server/storage/database.h"

namespace bco::server {

// The advances and returned invoices a new entry discounts, settled in the entry's own transaction.
//
// The entry form sends four selections (data packets of the discount form's rows, or null), one per kind of
// open item. A row is settled only when it is marked (IDMARCADO "S") and its discount (VRDESCONTO) is above
// zero; every other row is carried along by the forms and means nothing here. Rows that name one item twice
// add up.
struct Selection {
    const OpenItemKind *kind;
    const Variant *rows;
};

struct Settlement {
    struct Use {
        const OpenItemKind *kind;
        QStringList key; // values of kind->key
        qint64 cents = 0;
    };
    std::vector<Use> uses;
    // Set when an item was used up, or a discount is more than what is left of it: the catalogue key the
    // forms refuse the entry with. Nothing may then be written.
    QString refusedWith;
    // With it, what the forms show as its details: the item, what is left of it and what was asked.
    QStringList refusalDetails;
};

// Reads what `selections` would settle for `entry` before anything is written. Refuses (Refusal) what the
// forms could not have sent: a selection that is not a packet, a marked row without its item's key or with a
// discount that is no amount, an item that does not exist or is not of the entry's party and company, and
// discounts that add up to more than the entry's value: those of all four selections together, since every
// one of them discounts the same entry. Answers the uses, or the key that refuses the entry when an item has
// not enough left. On PostgreSQL the items read stay locked until the transaction ends (SQLite's writer holds
// the whole database), so that two entries cannot both take what is left; they are locked in one order, so
// that two entries never wait on each other.
Settlement checkedSettlement(Sql &sql, const std::array<Selection, 4> &selections,
                             const EntryToAccount &entry);

// Writes the uses, each tied to the entry's bank movement (which must be written already).
void writeSettlement(Sql &sql, const Settlement &settlement, const EntryToAccount &entry);

} // namespace bco::server
