#include "server/methods/all_methods.h"

namespace bco::server {

MethodRegistry allMethods() {
    MethodRegistry registry;
    addSessionMethods(registry);
    addParameterMethods(registry);
    addRegisterMethods(registry);
    addAccountMethods(registry);
    addEntryListMethods(registry);
    addListVersionMethods(registry);
    addInsertionMethods(registry);
    addChangeMethods(registry);
    addDeletionMethods(registry);
    addChequeMethods(registry);
    addImportMethods(registry);
    addAdvanceMethods(registry);
    addStatementMethods(registry);
    return registry;
}

} // namespace bco::server
