#pragma once

#include <QString>

#include "server/storage/database.h"

namespace bco::server {

// The version of each account's entry list (table VERSAOLISTA): a number that the database's own triggers
// raise whenever a row of the account's movements, credits or debits is inserted, changed or deleted, by
// this server or by any other program, in the writer's transaction. A form that read the version before it
// loaded a list knows, by asking for the version alone, that nothing of the list's entries changed while
// the version stays the same. An account never written is at version 0.

qint64 listVersion(Sql &sql, const QString &account);

// The account's version at the start of a writing call, held until its commit, so that the versions before
// and after the call's own writes tell a form that nothing else was written in between. On SQLite the
// writing transaction holds the database already; on PostgreSQL the version's row is locked.
//
// On PostgreSQL the calls that write an account's entries take their locks in one order, so that no two of
// them wait on each other: an existing entry's movement (read for writing), then this version, then the
// entry's record, the open items it settles, the budget it takes from, the numbers it draws, and the
// balances (which the database's triggers take) last. A call that holds nothing of an existing entry takes
// this version first.
qint64 lockListVersion(Sql &sql, const QString &account);

} // namespace bco::server
