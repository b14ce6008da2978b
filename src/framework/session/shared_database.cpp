#include "framework/session/shared_database.h"

#include <stdexcept>

#include <QFileInfo>
#include <QUrl>

#include "framework/data/database_url.h"
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

namespace {

// The address as a message may show it: a password goes to logs and screens otherwise.
QString withoutPassword(const QString &url) {
    if (url.startsWith(u"sqlite:"))
        return url;
    QUrl parsed(url);
    if (!parsed.isValid())
        return url.section(u'@', -1);
    parsed.setPassword(QString());
    return parsed.toString();
}

// Why the database at `url` cannot be opened under `name`, empty when it was.
QString openedOrWhyNot(const QString &url, const QString &name) {
    try {
        const bco::DatabaseUrl parsed = bco::DatabaseUrl::parse(url);
        if (parsed.kind == bco::DatabaseUrl::Kind::Sqlite && !QFileInfo(parsed.path).isFile())
            return QStringLiteral("o arquivo %1 não existe.").arg(parsed.path);
        bco::openDatabase(parsed, name, bco::OpenMode::MustExist);
        return {};
    } catch (const std::invalid_argument &) {
        return QStringLiteral(
            "o endereço não é válido. Use sqlite:ARQUIVO ou "
            "postgresql://usuário:senha@máquina:porta/banco, com os caracteres especiais do "
            "usuário e da senha escritos como %XX (# como %23, @ como %40, / como %2F).");
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
}

} // namespace

void openShared(const QString &url, const QString &name) {
    if (const QString why = openedOrWhyNot(url, name); !why.isEmpty())
        throw std::runtime_error(
            QStringLiteral("Não foi possível abrir o banco de dados compartilhado %1: %2")
                .arg(withoutPassword(url), why)
                .toStdString());
}

} // namespace dtmDBGeral
