#include "support/second_operator.h"

#include <cmath>
#include <stdexcept>

namespace bco::testing {

SecondOperator::SecondOperator(const InProcessServer &server, const QString &operatorCode)
    : SecondOperator(server.host(), server.port(), server.logIn(operatorCode, QStringLiteral("demo")),
                     QDate(2024, 3, 15)) {
}

SecondOperator::SecondOperator(const QString &host, int port, const QString &sessionToken,
                               QDate processingDate)
    : processingDate_(processingDate) {
    connection_.SetHost(host);
    connection_.SetPort(port);
    connection_.SetBearerToken(sessionToken);
}

Variant SecondOperator::call(const QString &method, const VariantList &args) {
    const RemoteResult answer = connection_.Call(method, args);
    if (!answer.ok())
        throw std::runtime_error(method.toStdString() +
                                 " was refused: " + answer.errorMessage().toStdString());
    return answer.payload();
}

EntryRequest SecondOperator::entry(const QString &account, const QString &movement) {
    const DataPacket listed =
        call(QStringLiteral("GetLancamentos"),
             VariantList{account, Variant(), Variant(), 0.0, 0.0, "T", "T", QString(), "T"})
            .packet();
    for (int row = 0; row < listed.rowCount(); ++row) {
        const auto text = [&](const char16_t *field) {
            return listed.value(row, field).toText().trimmed();
        };
        if (text(u"NRMOVBANC") != movement)
            continue;
        EntryRequest entry;
        entry.kind = text(u"DEBCRED") == u"C" ? 'C' : 'D';
        entry.account = account;
        entry.company = text(u"CDEMPRESA");
        entry.date = listed.value(row, u"DTMOVICRED").toDate();
        entry.value = std::abs(listed.value(row, u"VRMOVICRED").toFloat());
        entry.type = text(u"CDTIPO");
        entry.branch = text(u"CDFILIAL");
        entry.typedBranch = text(u"CDFILILANCA");
        entry.costCentre = text(u"CDCENTCUST");
        entry.description = text(u"DSMOVICRED");
        entry.typeName = text(u"TIPO");
        entry.document = text(u"NRDOCMBANC");
        entry.customer = text(u"CDCLIENTE");
        entry.supplier = text(u"CDFORNECED");
        entry.movement = movement;
        entry.number = text(u"NUMERO");
        return entry;
    }
    throw std::runtime_error("the account " + account.toStdString() + " lists no movement " +
                             movement.toStdString());
}

void SecondOperator::changeDescription(const QString &account, const QString &movement,
                                       const QString &description) {
    const Insertion changed = change(entry(account, movement), description);
    const Variant answer = call(changed.method, changed.args);
    if (answer.isArray() && answer.array().at(0).isPacket() && answer.array().at(0).packet().rowCount() > 0)
        throw std::runtime_error("the change was refused: " +
                                 answer.array().at(0).packet().value(0, u"DSRESULT").toText().toStdString());
}

void SecondOperator::deleteEntry(const QString &account, const QString &movement) {
    const DataPacket listed =
        call(QStringLiteral("GetLancamentos"),
             VariantList{account, Variant(), Variant(), 0.0, 0.0, "T", "T", QString(), "T"})
            .packet();
    for (int row = 0; row < listed.rowCount(); ++row) {
        if (listed.value(row, u"NRMOVBANC").toText().trimmed() != movement)
            continue;
        const Variant answer =
            call(QStringLiteral("GetDeletaLanc"),
                 deletion(entry(account, movement), listed.value(row, u"NRLANCCONT").toText().trimmed(),
                          listed.value(row, u"CDSEQUEXBA").toText().trimmed(),
                          listed.value(row, u"NRSEQMOVREBA").toText().trimmed(), processingDate_));
        if (answer.array().at(0).packet().rowCount() > 0)
            throw std::runtime_error(
                "the deletion was refused: " +
                answer.array().at(0).packet().value(0, u"DSRESULT").toText().toStdString());
        return;
    }
    throw std::runtime_error("nothing to delete");
}

void SecondOperator::recordCheque(const QString &account, const QString &movement, const QString &cheque) {
    const EntryRequest debit = entry(account, movement);
    call(QStringLiteral("SetEmiteCheque"), VariantList{account, debit.number, cheque, debit.date, debit.value,
                                                       QStringLiteral("Outro favorecido")});
}

} // namespace bco::testing
