#include "framework/report/report_rows.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include "framework/data/local_query.h"
#include "framework/data/sql_text.h"

namespace bco {

void ReportRows::Append(std::vector<QVariant> &&row) {
    for (QVariant &value : row) {
        if (blocks_.empty() || blocks_.back().size() == BlockValues) {
            blocks_.emplace_back();
            blocks_.back().reserve(BlockValues);
        }
        blocks_.back().push_back(std::move(value));
        ++count_;
    }
}

ReportRows RunReportQuery(const QSqlDatabase &database, const ReportDesign &design,
                          const ReportParams &params) {
    const PositionalSql positional = toPositional(design.queryText(dialectForDriver(database.driverName())));
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const auto failed = [&query] {
        return ReportDesignError(
            QStringLiteral("A consulta do relatório falhou: %1").arg(query.lastError().text()));
    };
    if (!query.prepare(positional.text))
        throw failed();
    for (int i = 0; i < positional.parameterNames.size(); ++i)
        query.bindValue(i, toSqlValue(params.Value(positional.parameterNames[i])));
    if (!query.exec())
        throw failed();

    const QSqlRecord record = query.record();
    QStringList fields;
    for (int i = 0; i < record.count(); ++i)
        fields << record.fieldName(i).toUpper();
    ReportRows rows(fields);
    const auto requireField = [&rows](const QString &field) {
        if (rows.FieldIndex(field) < 0)
            throw ReportDesignError(QStringLiteral("A consulta do relatório não tem o campo %1.").arg(field));
    };
    for (const ReportColumn &column : design.columns)
        requireField(column.field);
    for (const ReportGroup &group : design.groups)
        requireField(group.field);

    const int width = static_cast<int>(fields.size());
    while (query.next()) {
        std::vector<QVariant> row;
        row.reserve(static_cast<std::size_t>(width));
        for (int i = 0; i < width; ++i)
            row.push_back(query.value(i));
        rows.Append(std::move(row));
    }
    if (query.lastError().isValid())
        throw failed();
    return rows;
}

} // namespace bco
