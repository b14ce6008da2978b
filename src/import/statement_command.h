#pragma once

#include <cstdio>

#include <QCommandLineParser>
#include <QString>

namespace bco {
// One line of the program's output, in UTF-8 whatever the locale: both of bco-import's commands print with
// it.
void writeLine(std::FILE *stream, const QString &text);
} // namespace bco

// bco-import --statement FILE [--reconcile] [--account CODE]: stores a bank statement and, when asked,
// reconciles what the server proposes without doubt, then prints the lines left and the closing balances'
// difference. Answers the program's exit status: 0 nothing left and the balances agree, 1 lines left or the
// balances differ (or the file states no closing balance), 2 the file cannot be read, the account cannot be
// told, the session cannot be opened or the server refused to store the statement.
int importStatement(const QCommandLineParser &parser, const QString &path, bool reconcile,
                    const QString &account);
