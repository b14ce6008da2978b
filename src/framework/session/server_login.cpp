#include "framework/session/server_login.h"

#include "framework/remote/net_connection.h"

namespace bco {

LoginOutcome logIn(const QString &serverHost, int serverPort, const QString &operatorCode,
                   const QString &password, const TransportSecurity &security) {
    if (operatorCode.trimmed().isEmpty())
        return {{}, QStringLiteral("Informe o operador.")};
    if (password.isEmpty())
        return {{}, QStringLiteral("Informe a senha.")};
    NetConnection connection;
    connection.SetHost(serverHost);
    connection.SetPort(serverPort);
    connection.SetSecurity(security);
    connection.Open();
    if (!connection.Connected())
        return {{},
                QStringLiteral(
                    "Não foi possível conectar ao servidor de aplicação em %1:%2. Verifique se ele está em "
                    "execução e se o endereço e a porta estão corretos.")
                    .arg(serverHost)
                    .arg(serverPort)};
    const RemoteResult result =
        connection.Call(QStringLiteral("Login"), {operatorCode.trimmed().toUpper(), password});
    if (!result.ok())
        return {{}, result.errorMessage()};
    const QString token = result.payload().toText();
    if (token.isEmpty())
        return {{}, QStringLiteral("O servidor de aplicação não devolveu uma sessão.")};
    return {token, {}};
}

} // namespace bco
