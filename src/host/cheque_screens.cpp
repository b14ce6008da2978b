#include "host/cheque_screens.h"

#include <QDate>
#include <QLocale>
#include <QSqlQuery>

#include "framework/checks/dialogs.h"
#include "framework/session/shared_database.h"

namespace bco::host {

namespace {

QString situationName(const QString &code) {
    if (code == u"E")
        return QStringLiteral("emitido");
    if (code == u"C")
        return QStringLiteral("cancelado");
    if (code == u"D")
        return QStringLiteral("compensado");
    return code;
}

} // namespace

bool chequeSituationScreen(const QString &account, const QString &cheque) {
    QSqlQuery query(dtmDBGeral::adcGeral());
    query.prepare(QStringLiteral("SELECT DTEMISSAO, VRCHEQUE, NMFAVORECIDO, IDSITUCHEQ FROM CHEQUE "
                                 "WHERE CDREDUCONT = ? AND NRCHEQUE = ?"));
    query.addBindValue(account);
    query.addBindValue(cheque);
    if (!query.exec() || !query.next()) {
        Dialogs::messages().show(
            MsgKind::Warning,
            QStringLiteral("O cheque %1 não foi encontrado na conta corrente %2: a operação não "
                           "será feita.")
                .arg(cheque, account),
            MsgButton::Ok, QString());
        return true;
    }
    const QLocale brazilian(QLocale::Portuguese, QLocale::Brazil);
    const QString text =
        QStringLiteral(
            "Cheque %1 da conta corrente %2, emitido em %3, valor %4, favorecido %5: %6.\n\nDeseja "
            "prosseguir com a operação sobre o lançamento deste cheque?")
            .arg(cheque, account, query.value(0).toDate().toString(QStringLiteral("dd/MM/yyyy")),
                 brazilian.toString(query.value(1).toLongLong() / 100.0, 'f', 2), query.value(2).toString(),
                 situationName(query.value(3).toString()));
    return Dialogs::messages().show(MsgKind::Confirmation, text, MsgButtons(MsgButton::Yes) | MsgButton::No,
                                    QStringLiteral("SituacaoCheque")) != MsgButton::Yes;
}

} // namespace bco::host
