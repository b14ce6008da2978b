#pragma once

#include <QString>
#include <QStringList>

#include "server/transport/method_registry.h"

namespace bco::server {

// Who may touch what. An operator works on the companies OPEREMPR relates them to; an account belongs to one
// company and is usable by that company's operators. Every method that names an account or a company asks
// here first, so the rule and its messages are the same everywhere.

// The company of `account`, after refusing an account that does not exist ("Conta corrente ... não
// cadastrada.") and one of a company the operator is not related to.
QString requireAccount(CallContext &context, const QString &account);

// Refuses a company that exists and that the operator is not related to. Answers false for a company that
// does not exist (the caller answers "nothing found"), true when the operator may use it.
bool allowCompany(CallContext &context, const QString &company);

// The companies of the operator, ordered by code.
QStringList operatorCompanies(CallContext &context);

// Codes arrive as the forms bring them to width; blanks around them are not part of the code.
QString code(const Variant &value);

} // namespace bco::server
