#include <vector>

#include <gtest/gtest.h>

#include "support/case_name.h"

#include "framework/report/report_rows.h"

namespace bco {
namespace {

// The values are kept in blocks of 65,536: rows that end a block, start one, or have their values on
// both sides of the seam read back as they were added.
struct RowsCase {
    const char *name;
    int fields;
    int rows;
};

const RowsCase rowsCases[] = {
    {"none", 2, 0},
    {"exactly one block", 1, 65536},
    {"one value into the second block", 1, 65537},
    {"a row across the seam", 3, 30000},
    {"several blocks", 7, 40000},
};

class ReportRowsBlocks : public ::testing::TestWithParam<RowsCase> {};

TEST_P(ReportRowsBlocks, giveBackEveryValueAtItsRowAndField) {
    const RowsCase &c = GetParam();
    QStringList fields;
    for (int field = 0; field < c.fields; ++field)
        fields << QStringLiteral("F%1").arg(field);
    ReportRows rows(fields);
    for (int row = 0; row < c.rows; ++row) {
        std::vector<QVariant> values;
        for (int field = 0; field < c.fields; ++field)
            values.emplace_back(row * c.fields + field);
        rows.Append(std::move(values));
    }
    ASSERT_EQ(rows.RowCount(), c.rows);
    for (int row = 0; row < c.rows; ++row)
        for (int field = 0; field < c.fields; ++field)
            ASSERT_EQ(rows.Value(row, field).toInt(), row * c.fields + field) << row << ' ' << field;
}

INSTANTIATE_TEST_SUITE_P(Cases, ReportRowsBlocks, ::testing::ValuesIn(rowsCases), CaseName());

} // namespace
} // namespace bco
