#pragma once

#include <QByteArrayView>
#include <QString>

#include "statements/bank_statement.h"

namespace bco::statements {

// Whether the first line starts as a CNAB 240 file header: bank code, batch "0000", record type 0. The
// width is not looked at here, so that a file of the wrong width is told so by the reader.
bool looksLikeCnab240(QByteArrayView bytes);

// Whether the file is a CNAB 400 return (400-column lines starting with its header record), which is
// refused by name rather than as an unknown file.
bool looksLikeCnab400(QByteArrayView bytes);

// Reads a CNAB 240 statement for bank reconciliation (cnab240_layout.h): the file header, one or more
// batches of service 04 of one account (batch header with the opening balance, segment E details, batch
// trailer with the closing balance and the totals, which must agree with the details), the file trailer.
// Lines end in LF or CRLF; empty lines and an end-of-file mark (0x1A) at the end are passed over. The
// opening balance is the first batch's, the closing balance the last's. Throws StatementError; the
// content key is left to the caller.
BankStatement readCnab240(const QString &text);

} // namespace bco::statements
