#include <cstdint>

#include "import/workbook_table.h"

// Untrusted bytes as a workbook of any format: each either reads within the limits or throws WorkbookError;
// any other exception, a crash, a hang or a sanitizer report is a fault. What reads is then read whole, each
// cell as text and as a date, as the import would. The limits are small so that the fuzzer runs fast.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    bco::WorkbookSelection selection;
    selection.headings = {QStringLiteral("Data"), QStringLiteral("Valor"), QStringLiteral("Descrição")};
    bco::WorkbookLimits limits;
    limits.maxPartBytes = 16 * 1024 * 1024;
    limits.maxCells = 100'000;
    try {
        const bco::WorkbookTable table = bco::WorkbookTable::fromBytes(
            QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)), selection,
            limits);
        for (int row = 0; row < table.rowCount(); ++row) {
            for (int column = 0; column < table.headings().size(); ++column) {
                (void)table.text(row, column);
                try {
                    (void)table.date(row, column);
                } catch (const bco::WorkbookError &) {
                }
            }
        }
    } catch (const bco::WorkbookError &) {
    }
    return 0;
}
