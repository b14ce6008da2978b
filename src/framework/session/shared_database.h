#pragma once

#include <QSqlDatabase>

// The host's shared database connection (`dtmDBGeral.adcGeral`), over which the local queries and the
// operator look-ups run. The host opens it with bco::openDatabase at start and names it in the login
// context; a test opens a seeded database and installs a context naming it.
namespace dtmDBGeral {

// The open connection. Throws bco::NoLoginContext without a login context, and std::runtime_error when the
// context names no connection or one that is not open.
QSqlDatabase adcGeral();

// Opens the shared database at `url` (sqlite:PATH or postgresql://...) under the connection `name`, as the
// host and the command-line programs do: a client never creates it, so that a path mistyped is told as such
// rather than met later as a table missing from an empty file. Throws std::runtime_error with the operator's
// message, naming the address without its password.
void openShared(const QString &url, const QString &name);

} // namespace dtmDBGeral
