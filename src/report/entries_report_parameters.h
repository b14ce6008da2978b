#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include "framework/report/report_params.h"

namespace Cli_bco11101 {

// What the entries report is asked for. A list-or-all choice is a flag and the codes picked (a list of
// chosen codes, '001','002'); the entry types are keys of a kind letter and a type code ('C0001','D0002'),
// one list serving credits and debits.
struct EntriesReportChoices {
    bool allCompanies = true;
    QString companies;
    // The companies the operator may use: what "all companies" means.
    QString operatorCompanies;
    bool allAccounts = true;
    QString accounts;
    bool allTypes = true;
    QString types;
    bool allBranches = true;
    QString branches;
    QDate start;
    QDate end;
    QChar kind = u'T'; // T all, C credits, D debits
};

// Gives the report's parameters their values from the choices, each only when the design has it
// (ExistParam), so that a design without them receives none:
//   P_CDEMPRESA / P_TCDEMPRESA      the operator's companies, or those picked; the flag always empty, so
//                                   that "all" never reaches a company the operator may not use
//   P_CDREDUCONT / P_TCDREDUCONT,   empty and "T" for all, else the codes picked and an empty flag
//   P_CDTPCREDBANC / P_TCDTPCREDBANC, P_CDTPDEBIBANC / P_TCDTPDEBIBANC (the same type list),
//   P_CDFILIAL / P_TCDFILIAL
//   P_DATAINI, P_DATAFIM            the dates; P_DTPERIINI, P_DTPERIFIM the same as text in the locale's
//                                   short format
//   P_TIPO                          T, C or D
//   P_DSEMPRESAS, P_DSCONTAS        for the page's captions: the companies covered ("01, 02": those picked,
//                                   else the operator's) and the accounts ("todas", or those picked)
// A companion flag is set only with its list, as the list's partner.
void FillEntriesReportParams(const EntriesReportChoices &choices, bco::ReportParams &params,
                             const QLocale &locale);

} // namespace Cli_bco11101
