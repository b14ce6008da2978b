#pragma once

#include <vector>

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "framework/report/report_design.h"
#include "framework/report/report_params.h"

namespace bco {

// The rows a report's query gave, held as the database gave them (a value per row and query column), to be
// shown through the design's formats. Each column keeps its values compactly, by kind: a number or a date
// in eight bytes, a text as one string shared by the rows that follow with the same text (a report repeats
// its account's and company's texts on every row), anything else as it came. Value gives back what was
// appended: a 64-bit integer, a double, a text, a date or the value itself; a null as an invalid QVariant.
class ReportRows {
public:
    ReportRows() = default;
    explicit ReportRows(QStringList fields);

    const QStringList &Fields() const { return fields_; }
    // The column of that name (upper case), -1 when the query has none.
    int FieldIndex(const QString &name) const { return static_cast<int>(fields_.indexOf(name.toUpper())); }

    int RowCount() const { return rowCount_; }
    QVariant Value(int row, int field) const;
    bool IsNull(int row, int field) const;
    // The value as a number, as QVariant::toDouble reads it (0 for a null or a text that is none).
    double Number(int row, int field) const;
    // Whether two rows hold the same value in a field, as QVariant compares them.
    bool SameValue(int row, int other, int field) const;

    // Adds a row; it must hold one value per field.
    void Append(const std::vector<QVariant> &row);

private:
    enum class Kind : quint8 { Null, Integer, Real, Text, Date, Other };

    // Values added in order and never moved: a long report grows by a chunk at a time instead of copying
    // all it holds each time it outgrows it.
    template <class T> class Chunked {
    public:
        void push_back(T value) {
            if (chunks_.empty() || chunks_.back().size() == ChunkSize) {
                chunks_.emplace_back();
                chunks_.back().reserve(ChunkSize);
            }
            chunks_.back().push_back(value);
        }
        T operator[](std::size_t at) const { return chunks_[at / ChunkSize][at % ChunkSize]; }
        bool empty() const { return chunks_.empty(); }
        std::size_t size() const {
            return chunks_.empty() ? 0 : (chunks_.size() - 1) * ChunkSize + chunks_.back().size();
        }
        T back() const { return chunks_.back().back(); }

    private:
        static constexpr std::size_t ChunkSize = 8192;
        std::vector<std::vector<T>> chunks_;
    };

    struct Column {
        Chunked<Kind> kinds;
        // An integer, a real's bits, a date's Julian day, or the place of a text or another value.
        Chunked<qint64> values;
        std::vector<QString> texts;
        std::vector<QVariant> others;
    };

    void appendValue(Column &column, const QVariant &value);
    static void appendText(Column &column, QString text);

    friend class SqliteRowReader;

    QStringList fields_;
    std::vector<Column> columns_;
    int rowCount_ = 0;
};

// Runs the design's query on `database` in the text of its dialect, with the parameters' values bound by
// name (never pasted into the text), and checks that the query gives every field the columns and groups
// show. Throws ReportDesignError with the database's message when the query fails, or naming a field the
// query lacks. On SQLite the rows are read straight from the connection's handle, each value as SQLite
// holds it (integer, real, text, null), which is what Qt's driver would give.
// The query only reads: a design is text an operator writes and another may run, on the connection to the
// books, so it is refused (ReportDesignError, nothing run) when it holds more than one statement (a ';',
// outside literals and comments, followed by more than blanks and comments), and a statement that would write
// fails as the database refuses it: SQLite is asked to prepare reading alone, PostgreSQL runs it in a
// read-only transaction.
ReportRows RunReportQuery(const QSqlDatabase &database, const ReportDesign &design,
                          const ReportParams &params);

} // namespace bco
