#pragma once

#include <stdexcept>

#include <QLocale>
#include <QMap>
#include <QString>
#include <QStringList>

#include "framework/report/report_params.h"

namespace Cli_bco11101 {

// Parameters given that a report cannot take, with the message for whoever scheduled it.
class ReportParameterError : public std::runtime_error {
public:
    explicit ReportParameterError(const QString &message)
        : std::runtime_error(message.toStdString()) {}
};

// Parameter values typed as NAME=VALUE, by upper-case name.
using ParameterValues = QMap<QString, QString>;

// Reads NAME=VALUE texts; refuses one without a name or a '='.
ParameterValues ParseParameterValues(const QStringList &texts);

// Gives a report's parameters the values typed and, for the entries report (BCO111), what its screen gives
// with every "Todas"/"Todos" choice checked for those not typed. A value dd/mm/yyyy is a date; a list of
// codes (a parameter with its "T" flag beside it, P_CDREDUCONT and P_TCDREDUCONT) is typed as codes parted
// by commas, and typing it chooses the list. Refuses (ReportParameterError) a parameter the report does not
// have, a company the operator may not use, the companies' flag P_TCDEMPRESA (which would open every
// company), a date that is no date, and a parameter left without a value.
void FillReportParameters(const QString &reportCode, const ParameterValues &given,
                          const QString &operatorCompanies, bco::ReportParams &params, const QLocale &locale);

} // namespace Cli_bco11101
