#include "report/report_parameters_text.h"

#include <QRegularExpression>

#include "report/entries_report_parameters.h"

namespace Cli_bco11101 {

namespace {

const QString dateFormat = QStringLiteral("dd/MM/yyyy");

bool looksLikeDate(const QString &text) {
    static const QRegularExpression date(QStringLiteral("^\\d{1,2}/\\d{1,2}/\\d{4}$"));
    return date.match(text.trimmed()).hasMatch();
}

QDate dateOf(const QString &name, const QString &text) {
    const QDate date = QDate::fromString(text.trimmed(), dateFormat);
    if (!date.isValid())
        throw ReportParameterError(
            QStringLiteral("O parâmetro %1 não é uma data válida: \"%2\" (use dd/mm/aaaa).").arg(name, text));
    return date;
}

// The flag beside a list parameter: P_CDREDUCONT has P_TCDREDUCONT.
QString flagOf(const QString &list) {
    return QStringLiteral("P_T") + list.mid(2);
}

// Codes typed as 001,002 (or already quoted) as a list of chosen codes.
QString codeList(const QString &text) {
    QStringList codes;
    for (QString code : text.split(u',', Qt::SkipEmptyParts)) {
        code = code.trimmed();
        if (code.size() >= 2 && code.startsWith(u'\'') && code.endsWith(u'\''))
            code = code.mid(1, code.size() - 2);
        if (code.contains(u'\''))
            throw ReportParameterError(QStringLiteral("Um código não pode conter aspas: %1").arg(code));
        if (!code.isEmpty())
            codes << QLatin1Char('\'') + code + QLatin1Char('\'');
    }
    return codes.join(u',');
}

} // namespace

ParameterValues ParseParameterValues(const QStringList &texts) {
    ParameterValues values;
    for (const QString &text : texts) {
        const qsizetype equals = text.indexOf(u'=');
        const QString name = text.left(equals).trimmed().toUpper();
        if (equals < 0 || name.isEmpty())
            throw ReportParameterError(
                QStringLiteral("Parâmetro sem nome ou sem valor: \"%1\" (use NOME=VALOR).").arg(text));
        values.insert(name.startsWith(u':') ? name.mid(1) : name, text.mid(equals + 1));
    }
    return values;
}

void FillReportParameters(const QString &reportCode, const ParameterValues &given,
                          const QString &operatorCompanies, bco::ReportParams &params,
                          const QLocale &locale) {
    for (auto it = given.cbegin(); it != given.cend(); ++it)
        if (!bco::ExistParam(params, it.key()))
            throw ReportParameterError(
                QStringLiteral("O relatório não tem o parâmetro %1; os que ele tem: %2.")
                    .arg(it.key(), params.Names().join(QStringLiteral(", "))));

    // Its "T" would have the report read every company's entries, whichever the operator may use.
    if (given.contains(QStringLiteral("P_TCDEMPRESA")))
        throw ReportParameterError(
            QStringLiteral("O parâmetro P_TCDEMPRESA não pode ser dado: as empresas do relatório são as de "
                           "P_CDEMPRESA, entre "
                           "as que o operador pode usar (todas elas quando P_CDEMPRESA não é dado)."));

    if (reportCode == u"BCO111") {
        EntriesReportChoices choices;
        choices.operatorCompanies = operatorCompanies;
        if (given.contains(QStringLiteral("P_DATAINI")))
            choices.start = dateOf(QStringLiteral("P_DATAINI"), given.value(QStringLiteral("P_DATAINI")));
        if (given.contains(QStringLiteral("P_DATAFIM")))
            choices.end = dateOf(QStringLiteral("P_DATAFIM"), given.value(QStringLiteral("P_DATAFIM")));
        // As the report's screen refuses it: a period that ends before it starts holds nothing to print.
        if (choices.start.isValid() && choices.end.isValid() && choices.end < choices.start)
            throw ReportParameterError(QStringLiteral(
                "Período inicial deve ser menor ou igual ao período final (P_DATAINI e P_DATAFIM)."));
        // The codes given are the choice the page's captions name.
        if (given.contains(QStringLiteral("P_CDEMPRESA"))) {
            choices.allCompanies = false;
            choices.companies = codeList(given.value(QStringLiteral("P_CDEMPRESA")));
        }
        if (given.contains(QStringLiteral("P_CDREDUCONT"))) {
            choices.allAccounts = false;
            choices.accounts = codeList(given.value(QStringLiteral("P_CDREDUCONT")));
        }
        FillEntriesReportParams(choices, params, locale);
    }

    for (auto it = given.cbegin(); it != given.cend(); ++it) {
        const QString &name = it.key();
        const QString flag = flagOf(name);
        if (name.startsWith(u"P_CD") && bco::ExistParam(params, flag)) {
            params.SetValue(name, codeList(it.value()));
            if (!given.contains(flag))
                params.SetValue(flag, QString());
        } else if (looksLikeDate(it.value())) {
            params.SetValue(name, dateOf(name, it.value()));
        } else {
            params.SetValue(name, it.value());
        }
    }

    if (bco::ExistParam(params, QStringLiteral("P_CDEMPRESA")) &&
        given.contains(QStringLiteral("P_CDEMPRESA"))) {
        const QStringList allowed = operatorCompanies.split(u',', Qt::SkipEmptyParts);
        for (const QString &company :
             params.Value(QStringLiteral("P_CDEMPRESA")).toText().split(u',', Qt::SkipEmptyParts))
            if (!allowed.contains(company))
                throw ReportParameterError(QStringLiteral("O operador não pode usar a empresa %1.")
                                               .arg(QString(company).remove(u'\'')));
    }

    // Without a date the entries report's screen gives no period either.
    for (const QString &name : params.Names()) {
        const bco::Variant value = params.Value(name);
        const bool missing = !params.HasValue(name) || value.isNull() ||
                             (value.type() == bco::VariantType::Date && !value.toDate().isValid()) ||
                             ((name == u"P_DTPERIINI" || name == u"P_DTPERIFIM") && value.toText().isEmpty());
        if (missing)
            throw ReportParameterError(QStringLiteral("Falta o parâmetro %1.").arg(name));
    }
}
} // namespace Cli_bco11101
