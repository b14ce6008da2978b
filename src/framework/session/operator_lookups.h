#pragma once

#include <QDate>
#include <QString>

#include "framework/data/variant.h"

// What the operator may do, read from the shared database (`Dbgeral.*`). Each runs one query over
// dtmDBGeral::adcGeral() and throws std::runtime_error with the driver's message when it cannot.
namespace Dbgeral {

// Whether `operatorCode` may use the current account `account`: the account's company is one of the
// operator's companies. An unknown account or operator answers false.
bool AcessoOperContCorr(const QString &operatorCode, const QString &account);

// Whether `date` is closed to `operatorCode` for the module whose prefix is `modulePrefix` ("BCO_"), by the
// blocked-date rule in `parameters`: the first packet of GetParamGeral, one row per module (CDMODULO,
// IDBLOQDATA, QTDIATOLE, DTBLOQATE). The rule of the module's row, when it has one and IDBLOQDATA is "S",
// closes a date earlier than the processing date of the processing branch minus QTDIATOLE days, and any
// date up to DTBLOQATE (a closed day, whatever the processing date). An operator released from the rule
// (OPERADOR.IDLIBBLOQ "S") is never blocked; an operator the database does not know is not released. A
// module without a row, a rule with IDBLOQDATA "N" and a null date block nothing. Throws
// std::invalid_argument when `parameters` is not a packet with those fields.
bool DtProcBloq(const QString &modulePrefix, const QString &operatorCode, QDate date,
                const bco::Variant &parameters);

// The companies `operatorCode` may use, by code, as a list of chosen codes: each between single quotes,
// separated by commas ("'01','02'"); empty when the operator has none.
void ListaEmpresaOper(const QString &operatorCode, QString &list);

} // namespace Dbgeral
