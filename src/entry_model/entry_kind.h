#pragma once

#include <QChar>
#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

namespace bco {
class ClientDataSet;
}

namespace Cli_bco11100 {

// What follows the two change logs in an insertion call: the credit's carries the operator's code, and the
// two calls order the selections of advances and returns differently.
enum class InsertionTail { Operator, DevoluCredFor, DevoluDebCli, AdiantaCredFor, AdiantaCred };

// What differs between a credit and a debit where the module builds or sends an entry: one row for each,
// read by the routines that serve both.
struct EntryKind {
    QChar letter;             // 'C' or 'D': IDMOVBANC and IDORIGMBANC
    int kindIndex;            // the item of cbbTipo: 0 "Crédito", 1 "Débito"
    const char *numberMethod; // getPrxMovCredBanc or getPrxMovDebBanc
    const char *insertMethod; // getInsert or getIncDebito
    QStringList refusingKeys; // result keys (CDRESULT "MSG") that refuse the insertion
    std::vector<InsertionTail> tail;
    // The record's own column names.
    const char *number, *type, *date, *description, *value, *accountingCompany, *typedBranch;

    bool isCredit() const { return letter == u'C'; }
};

const EntryKind &CreditKind();
const EntryKind &DebitKind();
// The kind of the item of cbbTipo (0 a credit, anything else a debit).
const EntryKind &KindOfIndex(int kindIndex);

// The values of a new entry, from which its bank movement and its credit or debit record are built.
struct NewEntryValues {
    QString account;  // CDREDUCONT
    QString movement; // NRMOVBANC, drawn for the account
    QString number;   // NRMOVICRED / NRMOVIDEBI, drawn for the account
    QDate date;
    double value = 0.0;
    QString document;       // NRDOCMBANC
    QString history;        // DSHISMBANC: description and type name, cut to 40
    QString type, typeName; // the type's code and name
    QString description;
    QString company;        // the account's company
    QString typedBranch;    // the branch typed, or empty
    QString entryBranch;    // the typed branch, else the processing branch
    QString financialClass; // the type's
    QString customer, supplier;
};

// The movement's history: the description followed by the type's name in brackets, run together and cut to
// the 40 characters of DSHISMBANC (so a long description loses the bracket).
QString MovementHistory(const QString &description, const QString &typeName);

// Appends and posts one row to `movements` (the layout of cdsMovBanc) and one to `record` (the layout of the
// kind's record), as a new entry is sent.
void AppendNewEntry(bco::ClientDataSet &movements, bco::ClientDataSet &record, const EntryKind &kind,
                    const NewEntryValues &entry);

} // namespace Cli_bco11100
