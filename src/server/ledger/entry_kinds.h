#pragma once

#include <QChar>
#include <QString>

#include "server/ledger/numbering.h"

namespace bco::server {

// What differs between a credit and a debit on the server: their tables and columns are twins, named after
// the kind. Every method that reads or writes entries works through one of these two rows.
struct EntryKind {
    QChar letter;              // 'C' or 'D': IDMOVBANC and IDORIGMBANC of the movement, DEBCRED of the list
    const char *name;          // in messages: "crédito", "débito"
    const char *table;         // MOVCREDBANC / MOVDEBIBANC
    const char *number;        // NRMOVICRED / NRMOVIDEBI
    const char *type;          // CDTPCREDBANC / CDTPDEBIBANC
    const char *typeTable;     // TPCREDBANC / TPDEBIBANC
    const char *typeName;      // DSTPCREDBANC / DSTPDEBIBANC
    const char *typeAccounted; // IDCTBLCRBANC / IDCTBLDBBANC: "S" when an entry of the type is accounted
    const char *apportionmentTable; // RATEIOTPCRED / RATEIOTPDEBI
    const char *date;               // DTMOVICRED / DTMOVIDEBI
    const char *description;        // DSMOVICRED / DSMOVIDEBI
    const char *value;              // VRMOVICRED / VRMOVIDEBI
    const char *accountingCompany;  // CDECTBMCRED / CDECTBMDEB
    const char *typedBranch;        // CDFILILANCRE / CDFILILANDEB
    Series series;                  // the numbering of the records

    bool isCredit() const { return letter == u'C'; }
    // A column name of the kind as text, for building statements.
    static QString column(const char *name) { return QString::fromLatin1(name); }
};

extern const EntryKind creditKind;
extern const EntryKind debitKind;

} // namespace bco::server
