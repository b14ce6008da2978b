#include <cstdint>
#include <cstdlib>

#include "statements/bank_statement.h"

// Untrusted bytes as a bank statement: each either reads or throws StatementError; any other exception, a
// crash, a hang or a sanitizer report is a fault, and so is a statement that breaks the model's promises.
// One target per format (ofx_reader_fuzz, cnab240_reader_fuzz), told apart by their seeds.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    try {
        const bco::BankStatement statement = bco::readStatement(
            QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
        for (const bco::StatementLine &line : statement.lines) {
            const bool kept = line.date.isValid() && (line.kind == u'C' || line.kind == u'D') &&
                              line.cents >= 0 && !line.bankId.isEmpty() && line.bankId.size() <= 255;
            if (!kept)
                std::abort();
        }
        if (statement.contentKey.size() != 64)
            std::abort();
    } catch (const bco::StatementError &) {
    }
    return 0;
}
