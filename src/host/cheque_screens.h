#pragma once

#include <QString>

namespace bco::host {

// The cheque status screen of the host's cheque library (Lib00901.CriaSituacaoCheque): tells the operator
// the cheque's number, date, value, payee and situation, as the shared database holds them, and asks
// whether the operation on the entry it pays may go on. Answers true when it must stop: the operator said
// No, or the account holds no such cheque (so that nothing is done to an entry whose cheque cannot be
// seen).
bool chequeSituationScreen(const QString &account, const QString &cheque);

} // namespace bco::host
