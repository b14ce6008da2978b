#pragma once

#include <array>
#include <map>
#include <optional>
#include <set>
#include <span>

#include <QDate>
#include <QString>

#include "server/ledger/accounting.h"
#include "server/ledger/change_log.h"
#include "server/ledger/entry_kinds.h"
#include "server/transport/method_registry.h"

namespace bco::server {

// What every method that writes new entries shares (the entry form's insertion, the spreadsheet import):
// the layouts of the records the forms send, the checks of one bank movement and its credit or debit record,
// the budget of debits, and the writing of an entry.

// The bank movement of a new entry, as the forms build it.
std::span<const RecordField> movementLayout();
// The credit or debit record of a new entry: twins, field for field.
std::array<RecordField, 16> recordLayout(const EntryKind &kind);

// A new entry after every check of what the client sent: what is written.
struct NewEntry {
    EntryToAccount accounting;
    QString movement, number;
    QString document, history;
    QString financialClass;
    QDate flowDate;
    QString flowIndicator;
    QString accountingCompany;
    QString typedBranch;
};

// The numbers of `table` (MOVBANCARIO's movements, a record table's numbers) between `first` and `last`
// that entries of `account` deleted since had: the database keeps them (NUMEROEXCLUIDO), whoever deleted, so
// that no new entry takes them. A call sent for the deleted entry names it by those numbers and by its
// version, which a new entry under them would start again.
std::set<QString> deletedNumbers(Sql &sql, const char *table, const QString &account, const QString &first,
                                 const QString &last);

// What wrote a new entry, which its movement's history tells: the entry form ("(" and the type's name and ")"
// after the description) or the import of a workbook (" (Importação via xls)").
enum class EntryOrigin { Form, Import };

// The history the server writes for a new entry's movement: the description followed by "(type name)" or
// by the import's " (Importação via xls)", cut to the column's 40 characters.
QString newMovementHistory(EntryOrigin origin, const QString &description, const QString &typeName);

// The checks of new entries for one call. What they read of the catalogues (an account's company and the
// operator's right to it, branches, types, classes, cost centres, customers, suppliers, the last number
// each series drew) is read once per code for the life of the object, so that a call of many entries reads
// each once: live it for one call, inside its transaction.
class NewEntryChecks {
public:
    explicit NewEntryChecks(CallContext &context);

    // Refuses whatever the forms could not have sent in a movement and its record of `kind`, or the
    // catalogues do not hold: an account the operator may not use, records of different accounts, a
    // movement of the other kind or already reconciled, a number its series did not draw or that is taken,
    // a missing date, a value that is not positive, records that disagree with each other, a company that
    // is not the account's, unknown branches, type, class, customer or supplier, both a customer and a
    // supplier, and an entry without the party its accounting needs (checkParty). The entry answered has no
    // cost centre yet: its caller settles it, and checks one the client sent with checkCostCentre.
    //
    // The movement's history and the record's financial class are the server's to write, whatever the client
    // sent: the type's class, and the history newMovementHistory gives for `origin`, as the forms and the
    // import build them. Taken as sent, they would let a client file an entry under another class than its
    // type's, and hand the duplicate searches any history.
    NewEntry check(const EntryKind &kind, const InsertedRow &movement, const InsertedRow &record,
                   EntryOrigin origin);

    // Refuses (with the forms' own texts where they have one) a branch that does not exist, a typed branch
    // of another company than the account's, a record's branch that is not the typed one (or, none typed, of
    // a company the operator is not related to), an unknown type of the kind, an unknown financial class, an
    // unknown customer or supplier, and a customer together with a supplier: the rules of the codes of a
    // new entry, whatever wrote it.
    void checkCodes(const EntryToAccount &entry, const QString &typedBranch, const QString &financialClass);
    // Refuses, with the forms' texts, an entry of an accounted type whose ledger account is kept by customer
    // (CONTCTBL.IDTIPOCOME 'C') without a customer, or kept by supplier ('F') without a supplier: its
    // accounting line would name nobody.
    void checkParty(const EntryToAccount &entry);
    // Refuses a cost centre the catalogue does not hold, and one that is not among the cost centres of the
    // entry's branch (CENTCUSTFIL, "Centro de Custo não cadastrado para a filial informada.") unless it is
    // the default of that branch or of the account's company: the forms put that default on an entry typed
    // without a cost centre, and the import on every entry, whatever the branch's list holds. An empty one
    // is refused while budgets are kept by cost centre (GERPARAMGERAL.IDTIPOORCA 'C'), as the forms refuse
    // it, and accepted otherwise.
    void checkCostCentre(const EntryToAccount &entry);

    // Refuses, as check does, the numbers of a checked entry that were taken since: on a database that shows
    // a call only what is committed, the same entry sent twice at once passes check in both calls. Run it
    // once the account's list version is held, which the writer of those numbers holds until its commit.
    void refuseNumbersTakenSince(const EntryKind &kind, const NewEntry &entry);

    // The company of an account the operator may use (refusing any other).
    QString accountCompany(const QString &account);

    // For a call that writes many entries: `numbers`, what `account` holds of `table`'s numbers
    // (MOVBANCARIO's movements, a record table's numbers) between `first` and `last`, read by the caller in
    // one statement, and `deleted`, those of them that belonged to deleted entries (deletedNumbers), so that
    // check() looks a number of that range up here instead of asking the database once per entry. The caller
    // then names each entry it writes with written(), whose numbers are taken from then on.
    void takeNumbers(const char *table, const QString &account, const QString &first, const QString &last,
                     std::set<QString> numbers, std::set<QString> deleted);
    void written(const NewEntry &entry);

private:
    // The numbers of one table and account handed to takeNumbers, and the range they cover.
    struct TakenNumbers {
        QString first, last;
        std::set<QString> numbers, deleted;
    };

    bool exists(const QString &query, const QString &key, const QString &secondKey = QString());
    // The company of an existing branch.
    QString branchCompany(const QString &branch);
    // An existing type's name and financial class.
    struct TypeNaming {
        QString name, financialClass;
    };
    const TypeNaming &typeNaming(const EntryKind &kind, const QString &type);
    QString numberChecked(Series series, const QString &account, const QString &number, const QString &what,
                          const char *table, const char *column);
    // The movement's and the record's numbers, each checked by numberChecked.
    std::pair<QString, QString> numbersChecked(const EntryKind &kind, const QString &account,
                                               const QString &movement, const QString &number);

    CallContext &context_;
    std::map<QString, QString> accountCompanies_;
    std::map<QString, QString> branchCompanies_;
    std::map<std::pair<QChar, QString>, TypeNaming> typeNamings_;
    // By kind and type: the party an accounted type's ledger account is kept by ("C", "F"), or empty.
    std::map<std::pair<QChar, QString>, QString> partyOfType_;
    std::map<std::pair<int, QString>, std::optional<qint64>> lastDrawn_;
    std::map<std::tuple<QString, QString, QString>, bool> found_;
    std::map<std::pair<QString, QString>, TakenNumbers> taken_; // by table and account
    std::optional<bool> budgetsByCostCentre_;
};

// The budget of debits for one call: a debit may not take the month's debits of its type beyond the type's
// budget for the company (and the entry's cost centre, when budgets are kept by cost centre). A type without
// a budget row has no limit. What was spent is read once per budget and grows by each debit admitted, so
// that the debits of one call count against each other.
class DebitBudget {
public:
    explicit DebitBudget(Sql &sql);

    // Holds, for the rest of the transaction, the budget rows of all these debits, in the order of their
    // keys (company, type, cost centre, year, month), which is the order every call that holds more than
    // one takes them in: a call that met them in its own order could wait for another one forever.
    void hold(const std::vector<EntryToAccount> &entries);
    // Whether the debit fits its budget; when it does it is counted as spent.
    bool admit(const EntryToAccount &entry);

private:
    struct Budget {
        std::optional<qint64> limit;
        qint64 spent = 0;
    };
    using Key = std::tuple<QString, QString, QString, int, int>;
    Key keyOf(const EntryToAccount &entry);
    // The debit's budget, its row held and what was spent read when it is first met.
    Budget &budgetOf(const EntryToAccount &entry);

    Sql &sql_;
    std::optional<bool> byCostCentre_;
    std::map<Key, Budget> budgets_;
};

// Writes the entry's bank movement and its credit or debit record, `accountingNumber` naming its accounting
// entry (empty when the type is not accounted).
void writeEntry(CallContext &context, const NewEntry &entry, const QString &accountingNumber);

} // namespace bco::server
