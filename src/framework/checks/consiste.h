#pragma once

#include <exception>
#include <optional>

#include <QChar>
#include <QDate>
#include <QLocale>
#include <QString>

#include "framework/data/variant.h"
#include "framework/remote/remote_result.h"
#include "framework/text/tax_number.h"

// The checks routines every form calls (`Consiste::Ajusta`, `Consiste::MensErro`, ...). Like the forms'
// own units it is a namespace of routines, outside `bco`, so the forms call it by the one name they use.
namespace Consiste {

// The silent abort: ends the running action without a further message, because whoever raised it has
// already told the operator why. The event guard swallows it; handlers that put the focus back catch it
// and raise it again.
class EAbort : public std::exception {
public:
    const char *what() const noexcept override { return "operation aborted"; }
};

// The text holds nothing but white space.
bool EmptyString(const QString &text);
// The text without white space at either end.
QString AllTrim(const QString &text);

// A code brought to the fixed width of its field: trimmed, then padded on the left with zeros
// ("1" -> "001" for width 3); an empty code stays empty. A longer code loses leading zeros down to the
// width ("0001" -> "001"); one that is still longer is returned trimmed but not cut, so that a look-up
// of it fails visibly instead of matching another code that shares its first or last characters.
QString Ajusta(const QString &text, int width);

enum ReplaceFlag {
    ReplaceAll = 0,        // every occurrence, letter case significant
    ReplaceFirstOnly = 1,  // only the first occurrence
    ReplaceIgnoreCase = 2, // match without regard to letter case
};
// The text with the pattern replaced as the flags say; an empty pattern leaves the text as it is.
QString Replace(const QString &pattern, const QString &text, const QString &replacement, int flags = 0);

// The value rounded to `places` decimal places, half away from zero, on the value as written in decimal:
// the shortest decimal text that reads back as the same double is rounded, so 1.005 gives 1.01 and 2.675
// gives 2.68 although their binary values lie just below. The result is the double nearest to the
// rounded decimal; infinities and NaN come back unchanged and a result of zero is never negative.
double RoundDec(double value, int places);

// Whether a key typed into a number edit keeps the number within `intDigits` integer and `decDigits`
// decimal digits, given the caret (selection start) and the selection the key replaces. Digits, the
// locale's decimal separator (only when decimals are allowed), its thousands separator and a leading
// minus are judged by the text they would give, which must stay on the way to an amount in the locale's
// notation (ReadTypedAmount: "1.234,56" in pt-BR; a point after four digits or after the decimal comma is
// refused) and in which only digits count; control characters (backspace, enter, clipboard shortcuts)
// always pass; any other key is refused. A keypad's decimal key is the widget's to translate into the
// locale's decimal separator. Answers false when the key must be dropped.
bool MaxNumber(const QString &text, int intDigits, int decDigits, QChar key, int selStart, int selLength,
               const QLocale &locale = QLocale());

// Shows the text as an error through the dialogs service; with `abort` it then raises EAbort.
void MensErro(const QString &text, bool abort = true);
// The same, with `details` the operator may open below the text (what a refusal is about).
void MensErro(const QString &text, bool abort, const QString &details);

// Unwraps a remote call's answer: on success the payload; on a failure it shows the failure's message as
// an error and, with `abort`, raises EAbort, else answers a null variant. The help context is accepted
// for the forms' sake and ignored.
bco::Variant CheckResultServ(const bco::RemoteResult &result, bool abort = true, int helpContext = 0);

// Dates as the operator types them: "dd/mm/yyyy", day and month of one or two digits, four-digit year,
// blanks around each part ignored. 31/02/2024 is not a date.
std::optional<QDate> TextToDate(const QString &text);
bool IsDateValid(const QString &text);
// Nothing typed: only blanks and the separators a date mask leaves.
bool IsDateEmpty(const QString &text);
QString DateToText(QDate date);
// Day 0 of the date scale; the forms refuse dates before it.
QDate DayZero();

} // namespace Consiste
