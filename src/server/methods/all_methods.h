#pragma once

#include <QStringList>

#include "server/storage/database.h"
#include "server/transport/method_registry.h"

namespace bco::server {

// Every method the server answers.
MethodRegistry allMethods();

// The areas, one file each.
void addSessionMethods(MethodRegistry &registry);
void addParameterMethods(MethodRegistry &registry);
void addRegisterMethods(MethodRegistry &registry);
void addAccountMethods(MethodRegistry &registry);
void addEntryListMethods(MethodRegistry &registry);
void addListVersionMethods(MethodRegistry &registry);
void addInsertionMethods(MethodRegistry &registry);
void addChangeMethods(MethodRegistry &registry);
void addDeletionMethods(MethodRegistry &registry);
void addChequeMethods(MethodRegistry &registry);
void addImportMethods(MethodRegistry &registry);
void addAdvanceMethods(MethodRegistry &registry);
void addStatementMethods(MethodRegistry &registry);

// The statements GetLancamentos runs on a database of `dialect` for one account (:conta) over a period
// (:inicio, :fim) with every value and type: the credits', the debits', and, where the bank movements are
// read apart from the entries, the movements' (numbered from :primeiro to :ultimo). The benchmarks select the
// same rows through the database's own library alone, the floor the method is measured against.
QStringList entryListStatements(Dialect dialect);

} // namespace bco::server
