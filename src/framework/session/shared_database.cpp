#include "framework/session/shared_database.h"

#include <stdexcept>

#include "framework/session/login_context.h"

namespace dtmDBGeral {

QSqlDatabase adcGeral() {
    const QString name = bco::Session::current().databaseConnection;
    if (name.isEmpty())
        throw std::runtime_error("the login context names no shared database connection");
    QSqlDatabase database = QSqlDatabase::database(name, false);
    if (!database.isValid() || !database.isOpen())
        throw std::runtime_error("the shared database connection " + name.toStdString() + " is not open");
    return database;
}

} // namespace dtmDBGeral
