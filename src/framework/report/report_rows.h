#pragma once

#include <vector>

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "framework/report/report_design.h"
#include "framework/report/report_params.h"

namespace bco {

// The rows a report's query gave, held as the database gave them (a row of values per query column), to be
// shown through the design's formats. The values are kept in blocks of a fixed size, filled in order and
// never moved: a 100,000-row report costs its values and no more, without the copy of every value that
// growing one array makes, nor the old and the new array held together while it grows.
class ReportRows {
public:
    ReportRows() = default;
    explicit ReportRows(QStringList fields)
        : fields_(std::move(fields)) {}

    const QStringList &Fields() const { return fields_; }
    // The column of that name (upper case), -1 when the query has none.
    int FieldIndex(const QString &name) const { return static_cast<int>(fields_.indexOf(name.toUpper())); }

    int RowCount() const { return fields_.isEmpty() ? 0 : static_cast<int>(count_ / fields_.size()); }
    const QVariant &Value(int row, int field) const {
        const std::size_t at = static_cast<std::size_t>(row) * static_cast<std::size_t>(fields_.size()) +
                               static_cast<std::size_t>(field);
        return blocks_[at / BlockValues][at % BlockValues];
    }
    // Adds a row; it must hold one value per field.
    void Append(std::vector<QVariant> &&row);

private:
    static constexpr std::size_t BlockValues = std::size_t{1} << 16;

    QStringList fields_;
    std::vector<std::vector<QVariant>> blocks_; // each of BlockValues values but the last
    std::size_t count_ = 0;
};

// Runs the design's query on `database` in the text of its dialect, with the parameters' values bound by
// name (never pasted into the text), and checks that the query gives every field the columns and groups
// show. Throws ReportDesignError with the database's message when the query fails, or naming a field the
// query lacks.
ReportRows RunReportQuery(const QSqlDatabase &database, const ReportDesign &design,
                          const ReportParams &params);

} // namespace bco
