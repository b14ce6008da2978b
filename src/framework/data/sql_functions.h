#pragma once

#include <QSqlDatabase>
#include <QString>

namespace bco {

// The helper functions that the generic texts of the local queries use, so that one text runs on SQLite and
// PostgreSQL alike:
//   PARAM(x)      a one-row table whose column PARAM holds x (a query joins it to test an optional parameter
//                 once: `FROM ..., PARAM(:P_X) P_X WHERE C.X = NVLSTR(P_X.PARAM, C.X)`);
//   NVLSTR(a, b)  b when a is null or empty text, else a;
//   INSTR(s, t)   1-based position of t in s, 0 when absent (PostgreSQL only; SQLite has it built in).
// On SQLite they live on the connection: register them on each connection after it opens. On PostgreSQL they
// live in the database: run the script once (the server's first migration does).
void registerSqliteFunctions(const QSqlDatabase &database);

// CREATE OR REPLACE statements for PostgreSQL, one per element.
QStringList postgresqlHelperFunctions();

} // namespace bco
