#include <QThread>

#include "server/access.h"
#include "server/method_registry.h"
#include "server/passwords.h"
#include "server/sessions.h"

namespace bco::server {

namespace {

// Login(operator, password): a new session token for an active operator whose password matches. Any other
// pair is refused with one message, so that a caller cannot tell an unknown operator from a wrong password;
// an unknown operator costs the same hashing time as a known one for the same reason.
Variant login(CallContext &context, VariantList &args) {
    const QString operatorCode = code(args[0]).toUpper();
    const QString password = args[1].toText();
    StoredPassword stored;
    bool active = false;
    context.sql.forEach(QStringLiteral("SELECT S.DSSALSENHA, S.DSHASHSENHA, S.NRITERSENHA, O.IDATIVO "
                                       "FROM OPERADOR O JOIN OPERSENHA S ON S.CDOPERADOR = O.CDOPERADOR "
                                       "WHERE O.CDOPERADOR = :operador"),
                        {{QStringLiteral("operador"), operatorCode}}, [&](const SqlRow &row) {
                            stored.salt = QByteArray::fromHex(row.utf8(0).toByteArray());
                            stored.hash = QByteArray::fromHex(row.utf8(1).toByteArray());
                            stored.iterations = static_cast<int>(row.integer(2));
                            active = row.text(3) == u"S";
                        });
    if (stored.iterations <= 0) {
        stored.salt = QByteArray(16, '\0');
        stored.iterations = DefaultPasswordIterations;
        stored.hash = QByteArray(32, '\0');
        passwordMatches(password, stored);
        throw Refusal(QStringLiteral("Operador ou senha inválidos."));
    }
    if (!passwordMatches(password, stored) || !active)
        throw Refusal(QStringLiteral("Operador ou senha inválidos."));
    return context.sessions.open(operatorCode);
}

} // namespace

void addSessionMethods(MethodRegistry &registry) {
    registry.add({QStringLiteral("Login"), {ArgKind::Text, ArgKind::Text}, false, false, login});
}

} // namespace bco::server
