#include "report/entries_report_parameters.h"

namespace Cli_bco11101 {

void FillEntriesReportParams(const EntriesReportChoices &choices, bco::ReportParams &params,
                             const QLocale &locale) {
    struct ListChoice {
        const char *list;
        const char *flag;
        bool all;
        QString codes;
    };
    const ListChoice lists[] = {
        {"P_CDEMPRESA", "P_TCDEMPRESA", false,
         choices.allCompanies ? choices.operatorCompanies : choices.companies},
        {"P_CDREDUCONT", "P_TCDREDUCONT", choices.allAccounts, choices.accounts},
        {"P_CDTPCREDBANC", "P_TCDTPCREDBANC", choices.allTypes, choices.types},
        {"P_CDTPDEBIBANC", "P_TCDTPDEBIBANC", choices.allTypes, choices.types},
        {"P_CDFILIAL", "P_TCDFILIAL", choices.allBranches, choices.branches},
    };
    for (const ListChoice &choice : lists) {
        const QString list = QString::fromLatin1(choice.list);
        if (!bco::ExistParam(params, list))
            continue;
        params.SetValue(list, choice.all ? QString() : choice.codes);
        const QString flag = QString::fromLatin1(choice.flag);
        if (bco::ExistParam(params, flag))
            params.SetValue(flag, choice.all ? QStringLiteral("T") : QString());
    }

    const auto set = [&params](const char *name, const bco::Variant &value) {
        if (bco::ExistParam(params, QString::fromLatin1(name)))
            params.SetValue(QString::fromLatin1(name), value);
    };
    set("P_DATAINI", choices.start);
    set("P_DATAFIM", choices.end);
    set("P_DTPERIINI", locale.toString(choices.start, QLocale::ShortFormat));
    set("P_DTPERIFIM", locale.toString(choices.end, QLocale::ShortFormat));
    set("P_TIPO", QString(choices.kind));
    // A list of chosen codes ('01','02') as a caption reads it.
    const auto shown = [](QString codes) {
        return codes.remove(u'\'').replace(u',', QStringLiteral(", "));
    };
    set("P_DSEMPRESAS", shown(choices.allCompanies ? choices.operatorCompanies : choices.companies));
    set("P_DSCONTAS", choices.allAccounts ? QStringLiteral("todas") : shown(choices.accounts));
}

} // namespace Cli_bco11101
