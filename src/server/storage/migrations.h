#pragma once

#include <QList>

#include "server/storage/database.h"

namespace bco::server {

// Brings the database's schema to the newest version: applies, in order, each migration that the table
// schema_version does not list, each in its own transaction (a migration that fails leaves the database at
// the previous version). Answers the version reached. Throws DatabaseError.
int migrate(Sql &sql);

// The newest schema version this server knows, and all of them in order.
int latestSchemaVersion();
QList<int> knownSchemaVersions();

} // namespace bco::server
