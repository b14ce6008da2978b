#pragma once

#include <optional>

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringView>

// The values both readers convert at the boundary of the file, each by one rule written here.
namespace bco::statements {

// An OFX amount in integer cents. Accepted: blanks around, an optional sign ("+" or "-"), digits, and at
// most one decimal mark, a point or a comma (the comma is what Brazilian banks write), followed by
// digits. Digits past the second decimal must be zeros, so that the conversion is exact and never rounds.
// No thousands separators: "1.234,56" or "1,234.56" is refused rather than guessed. At most 15 integer
// digits (the books hold NUMERIC(15,2)). Anything else: nullopt.
std::optional<qint64> ofxCents(QStringView text);

// The calendar day of an OFX date-time: "YYYYMMDD", optionally followed by "HHMM" or "HHMMSS", optionally
// ".XXX" (milliseconds), optionally a zone "[-3]", "[-3:BRT]", "[+5.30:IST]". The day is the one written:
// the zone says where that day is, so the date is never moved to another zone. Anything else, or a day
// that does not exist: an invalid date.
QDate ofxDay(QStringView text);

// A CNAB date "DDMMAAAA"; "00000000" (the layout's "no date") and anything else that is not a real day
// give an invalid date.
QDate cnabDay(QStringView text);

// Whether every character of `text` is an ASCII digit (true for an empty text).
bool allDigits(QStringView text);

// The file's text by the rule every statement follows, whatever the file declares: UTF-8 when the bytes are
// valid UTF-8 (Brazilian banks declare CP1252 over UTF-8 bodies), else piece by piece (a line, or an OFX
// element of a body on one line), each in UTF-8 when its bytes are valid UTF-8 and else in CP1252 (a line
// pasted in from another program). A file that declares
// ISO-8859-1 is read as CP1252 too, as browsers read it: its writers mean Windows's letters by the bytes
// ISO-8859-1 leaves to control characters (0x80-0x9F), and a bank's text holds no control characters.
QString decodeStatementText(QByteArrayView bytes);

// What tells apart the lines of a day that the bank gives no id: their kind, amount, document and
// description. Lines identical in all these are told apart by their occurrence (withOccurrence).
QString contentLineKey(const QDate &day, QChar kind, qint64 cents, const QString &document,
                       const QString &description);

// A line's id: its key and its occurrence among the lines of the file with that key, counted from 1.
QString withOccurrence(const QString &key, int occurrence);

} // namespace bco::statements
