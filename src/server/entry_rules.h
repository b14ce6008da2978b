#pragma once

#include <QString>

#include "server/accounting.h"
#include "server/database.h"

namespace bco::server {

// The rules a new or changed entry must keep whatever wrote it: codes that the catalogues hold, and the
// monthly budget of a debit's type.

// Refuses (Refusal, with the forms' own texts where they have one) a branch that does not exist, a typed
// branch of another company than the account's, an unknown type of the kind, an unknown financial class or
// cost centre, an unknown customer or supplier, and a customer together with a supplier.
void refuseUnknownCodes(Sql &sql, const EntryToAccount &entry, const QString &typedBranch,
                        const QString &financialClass);

// Whether the debit `entry` would take the month's debits of its type beyond the type's budget for the
// company (and the entry's cost centre, when budgets are kept by cost centre). `replacedDebit` names the
// account's debit being changed, whose value before the change no longer counts. A type without a budget row
// has no limit.
// On PostgreSQL the budget row is locked for the rest of the transaction, so that two debits of one budget
// cannot both read what was spent before either wrote.
bool overBudget(Sql &sql, const EntryToAccount &entry, const QString &replacedDebit = QString());

} // namespace bco::server
