#pragma once

#include <QString>

#include "statements/bank_statement.h"

// Every message the statement readers answer, in one place so that their wording stays consistent.
// Lines are counted from 1, as an editor shows them; CNAB positions from 1, as the layout numbers them.
namespace bco::statements::messages {

StatementError notAFile(const QString &path);
StatementError cannotOpen(const QString &path, const QString &reason);
StatementError empty();
StatementError tooLarge(qsizetype bytes);
StatementError notRecognised();
StatementError binary(int line);
StatementError cnab400();
StatementError twoAccounts(const QString &first, const QString &second);
StatementError otherCurrency(const QString &currency);

StatementError ofxTruncated(const QString &element, int openedAt);
StatementError ofxBadMarkup(int line, const QString &markup);
StatementError ofxTooDeep(int line, int limit);
StatementError ofxNoStatement();
StatementError ofxMissing(int line, const QString &element);
StatementError ofxBadDate(int line, const QString &element, const QString &text);
StatementError ofxBadAmount(int line, const QString &element, const QString &text);
StatementError ofxIdTooLong(int line, qsizetype length);
StatementError ofxStatementWithoutAccount(int line);

StatementError cnabWidth(int line, qsizetype width);
// `expected` says what the field must hold ("um número", "uma data DDMMAAAA").
StatementError cnabField(int line, const char *field, int start, int length, const QString &text,
                         const char *expected);
StatementError cnabUnexpected(int line, const QString &what);
StatementError cnabService(int line, const QString &service);
StatementError cnabSegment(int line, const QString &segment);
StatementError cnabTruncated();
StatementError cnabTotal(int line, const char *total, const QString &stated, const QString &counted);

} // namespace bco::statements::messages
