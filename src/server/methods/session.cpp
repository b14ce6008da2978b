#include "server/methods/all_methods.h"
#include "server/transport/access.h"
#include "server/transport/passwords.h"
#include "server/transport/sessions.h"

namespace bco::server {

namespace {

// Login(operator, password): a new session token for an active operator whose password matches. Any other
// pair is refused with one message, so that a caller cannot tell an unknown operator from a wrong password;
// an unknown operator costs the same hashing time as a known one, and its wrong tries are counted and held
// back alike, for the same reason. The hold comes before the verdict, so that a caller who stops waiting
// early learns nothing; the right operator waits it out once and finds the count cleared.
Variant login(CallContext &context, VariantList &args) {
    const QString operatorCode = code(args[0]).toUpper();
    const QString password = args[1].toText();
    // A call's arguments go back with its answer: the password is not among them.
    args[1] = Variant();
    Sql &sql = context.sql;
    const SessionStore::LoginHold hold = context.sessions.loginHold(sql, operatorCode);
    if (!context.sessions.waitOut(hold, operatorCode)) {
        context.logNote = QStringLiteral("operator %1: %2 wrong in a row, not held: as many held already")
                              .arg(operatorCode.left(40))
                              .arg(hold.failures);
        throw Refusal(QStringLiteral("Há muitas entradas com senha errada em espera. Tente de novo em alguns "
                                     "segundos."));
    }

    StoredPassword stored;
    bool active = false;
    sql.forEach(QStringLiteral("SELECT S.DSSALSENHA, S.DSHASHSENHA, S.NRITERSENHA, O.IDATIVO "
                               "FROM OPERADOR O JOIN OPERSENHA S ON S.CDOPERADOR = O.CDOPERADOR "
                               "WHERE O.CDOPERADOR = :operador"),
                {{QStringLiteral("operador"), operatorCode}}, [&](const SqlRow &row) {
                    stored.salt = QByteArray::fromHex(row.utf8(0).toByteArray());
                    stored.hash = QByteArray::fromHex(row.utf8(1).toByteArray());
                    stored.iterations = static_cast<int>(row.integer(2));
                    active = row.text(3) == u"S";
                });
    bool right = false;
    if (stored.iterations <= 0) {
        stored.salt = QByteArray(16, '\0');
        stored.iterations = DefaultPasswordIterations;
        stored.hash = QByteArray(32, '\0');
        passwordMatches(password, stored);
    } else {
        right = passwordMatches(password, stored) && active;
    }

    const QString held =
        hold.delay.count() > 0 ? QStringLiteral(", held %1 ms").arg(hold.delay.count()) : QString();
    sql.begin(true);
    if (!right) {
        context.sessions.recordLoginFailure(sql, operatorCode);
        sql.commit();
        context.logNote = QStringLiteral("operator %1: %2 wrong in a row%3")
                              .arg(operatorCode.left(40))
                              .arg(hold.failures + 1)
                              .arg(held);
        throw Refusal(QStringLiteral("Operador ou senha inválidos."));
    }
    if (hold.failures > 0) {
        context.sessions.clearLoginFailures(sql, operatorCode);
        context.logNote =
            QStringLiteral("operator %1 after %2 wrong%3").arg(operatorCode).arg(hold.failures).arg(held);
    }
    const QString token = context.sessions.open(sql, operatorCode);
    sql.commit();
    return token;
}

// Logout(): ends the caller's session, on every server at once.
Variant logout(CallContext &context, VariantList &) {
    context.sessions.close(context.sql, context.token);
    return true;
}

} // namespace

void addSessionMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("Login"),
                  .args = {ArgKind::Text, ArgKind::Text},
                  .needsSession = false,
                  .handler = login,
                  .ownsTransactions = true});
    registry.add({.name = QStringLiteral("Logout"), .handler = logout, .ownsTransactions = true});
}

} // namespace bco::server
