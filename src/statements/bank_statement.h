#pragma once

#include <optional>
#include <stdexcept>

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>

// Bank statements as the banks send them, read into one model whatever the format: OFX 1.x (SGML) and 2.x
// (XML) from internet banking, and the FEBRABAN CNAB 240 statement for bank reconciliation from the bank's
// file exchange. Reading writes nothing anywhere: it answers the statement or a StatementError.
//
// OFX is read by our own reader, not by libofx (0.10.9, the one Debian ships), because libofx
// - turns every date into a time_t in the process's time zone, so a line posted at 23:00 [-3:BRT] lands on
//   the next day whenever the process does not run at -3, and a date without a time moves by the zone too;
//   a statement line's date is the bank's day and must not move;
// - decodes the body by the header's charset only: the CP1252 header over a UTF-8 body that Brazilian banks
//   send comes out as "PÃ£o" (and OpenSP reports every such byte as a non-SGML character);
// - takes about 3 s for a 10,000-line statement (it writes temporary files and runs OpenSP over the whole
//   OFX grammar), where the import must take at most 0.2 s;
// - reads only files by name, reports through process-wide callbacks and globals and prints to standard
//   error on its own, none of which suits a library that a server calls from several threads.
// Debian's `ofxdump` (libofx's own reader) still checks, in the tests, that the OFX files they start from
// are valid.

namespace bco {

enum class StatementFormat { Ofx, Cnab240 };

// The account as the file names it. Every text is empty when the file does not say it (an OFX without
// BANKACCTFROM); the operator then chooses the account.
struct StatementAccount {
    QString bankCode;      // the bank's interbank code as written ("341", "0341"); CNAB: always given
    QString agency;        // as written, with its check digit when the file gives one ("1234-5")
    QString agencyDigits;  // the digits of `agency` only ("12345")
    QString account;       // as written ("12345-6")
    QString accountDigits; // the digits of `account` only ("123456")
    QString agencyCheck;   // the agency's check digit when the file tells it apart (CNAB's field, or the
                           // part after the last '-' in OFX), else empty
    QString accountCheck;  // likewise for the account

    bool isEmpty() const { return agencyDigits.isEmpty() && accountDigits.isEmpty(); }

    // Whether the account registered as bank `bank`, agency `agency` and number `account` (CONTCORR's
    // CDBANCO, CDAGENCIA, CDCONTCORR, written in any way) is this one. Digits only are compared, leading
    // zeros aside; the registered agency and account may be written with or without their check digit.
    // An empty bank code or agency in the file matches any bank or agency (OFX makes the branch optional).
    bool matches(QStringView bank, QStringView agency, QStringView account) const;
    // Whether the bank registered as `bank` may be the file's: the same, or the file names none (a code
    // written without digits names none of the installation's banks).
    bool namesBank(QStringView bank) const;
};

// A balance in integer cents (negative when the account is overdrawn). `date` is the day it stands for:
// an opening balance is the balance before the statement's first line (at the start of that day), a
// closing balance the balance after its last line (at the end of that day).
struct StatementBalance {
    qint64 cents = 0;
    QDate date;
    // False when the file does not state the balance and it was worked out from what it does state (OFX
    // has no opening balance: it is the closing balance less the lines, when the closing balance is that
    // of the statement's last day).
    bool stated = true;
};

// One movement of the statement.
struct StatementLine {
    // The bank's own id of the line, unique within the statement and the same in every file the bank
    // sends that holds the line, so that a second import of an overlapping file adds only the new lines;
    // at most 255 characters. OFX: FITID as written. A FITID that the file repeats (some banks give every
    // line of a day one FITID) becomes, on each of its lines, the FITID, the day and the line's occurrence
    // among that day's lines of that FITID ("0001 20240315 #2"). CNAB, and an OFX line without FITID: the
    // line's content (day, kind, amount, document, description) and its occurrence among identical lines
    // of that day, since the bank gives no id and the sequence number of a line changes with the file's
    // first day. Days are whole in the files banks send, so a day's occurrences agree between files.
    QString bankId;
    QDate date;          // the bank's posting day, as the file writes it (never moved to another time zone)
    QChar kind;          // 'C' credit, 'D' debit
    qint64 cents = 0;    // the amount, never negative: `kind` gives the direction
    QString document;    // OFX CHECKNUM, else REFNUM; CNAB the document field; may be empty
    QString description; // OFX NAME and MEMO; CNAB the history text and its code
    int fileLine = 0;    // the line of the file where the movement starts (counted from 1), for messages
};

struct BankStatement {
    StatementFormat format = StatementFormat::Ofx;
    StatementAccount account;
    QString currency; // ISO 4217 as written ("BRL"); empty when the file does not say
    // The period: the first and last day the file says it covers, widened to its lines and balances.
    // Invalid only for a file with no date at all (an OFX without lines, period and balance).
    QDate firstDay;
    QDate lastDay;
    std::optional<StatementBalance> opening;
    std::optional<StatementBalance> closing;
    QList<StatementLine> lines; // in the order of the file
    // Identifies the file by its content, whatever its name: the SHA-256 (hex) of the bytes with line ends
    // made LF (CR LF, a CR alone, a run of CRs before LF), a final end-of-file mark (0x1A) and trailing
    // blanks taken out, so that a copy whose line ends a transfer changed is the same file.
    QByteArray contentKey;
};

// Why a file is not a statement we can read, in the words the operator reads (Brazilian Portuguese),
// naming what is wrong and where (the line of the file, the field). what() holds the same text in UTF-8.
class StatementError : public std::runtime_error {
public:
    explicit StatementError(const QString &message);
    const QString &message() const { return message_; }

private:
    QString message_;
};

// The most a statement file may hold; larger files are refused before anything is read.
inline constexpr qsizetype MaxStatementBytes = 32 * 1024 * 1024;

// Reads a statement from the file's bytes, telling the format from the content (OFX 1.x by its key:value
// header, OFX 2.x by its <?OFX ...?> instruction, an OFX without header by its <OFX> element, CNAB 240 by
// its 240-column lines whose first is a file header), after a UTF-8 byte order mark if any. Text is read as
// UTF-8 when its bytes are valid UTF-8, whatever the file declares; else in the charset an OFX header
// declares (CP1252, ISO-8859-1); else as CP1252 (Latin-1 with the printable characters Windows puts at
// 0x80-0x9F). Throws StatementError for anything else; never crashes nor hangs, and needs memory in
// proportion to the file on any input.
BankStatement readStatement(QByteArrayView content);

// Reads the statement in the file at `path`. Refuses, naming the file: a path that is no regular file (a
// folder; a pipe, which would wait for a writer without end; a device such as /dev/zero, which never ends),
// one that cannot be opened, and one past MaxStatementBytes, of which no more is read however the file grows
// meanwhile; then whatever readStatement refuses.
BankStatement readStatementFile(const QString &path);

// The digits of an agency or account number as written ("1234-5" gives "12345"), to compare them.
QString digitsOnly(QStringView text);

// A line's bank id without the day and occurrence that the reader (for an id the file repeats) or the server
// (for an id another movement holds) may have added to it: "0001 20240313 #2" of 13/03/2024 is "0001". The
// lines of one bare id and day are one family, across files: a bank may list them in another order. The id
// is added to after its first BareIdLength characters, so that the whole keeps within 255: a bare id is
// those characters at most, the same whether the id it comes from was added to or not.
inline constexpr qsizetype BareIdLength = 230;
QString bareBankId(const QString &bankId, QDate date);

} // namespace bco
