#pragma once

#include <QString>
#include <QStringList>

namespace bco::server {

// A list of chosen codes as the pick lists write it: each code between single quotes, separated by commas,
// blanks allowed around the separators ('C0001','D0002'). An empty or blank text is an empty list. Throws
// Refusal, naming `what`, for any other text (an unquoted code, a stray quote, a missing comma).
QStringList parseCodeList(const QString &text, const QString &what);

} // namespace bco::server
