#pragma once

#include <QByteArrayView>

#include "statements/bank_statement.h"

namespace bco::statements {

// Whether the bytes start as an OFX file: a key:value header (possibly inside a comment, as some
// converters write it), an XML declaration or <?OFX?> instruction, or the <OFX> element itself.
bool looksLikeOfx(QByteArrayView bytes);

// Reads an OFX 1.x (SGML: closing tags of values optional) or 2.x (XML) bank statement response. What is
// read: the account (BANKACCTFROM), the currency (CURDEF), the period (BANKTRANLIST's DTSTART and DTEND),
// each STMTTRN and the closing balance (LEDGERBAL). Elements it does not know are passed over, whatever
// they hold. Several statements in one file must be of one account; their lines are joined.
// Throws StatementError; the content key is left to the caller.
BankStatement readOfx(QByteArrayView bytes);

} // namespace bco::statements
