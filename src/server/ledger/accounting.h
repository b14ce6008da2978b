#pragma once

#include <map>
#include <optional>
#include <set>
#include <utility>

#include <QDate>
#include <QList>
#include <QString>

#include "framework/data/data_packet.h"
#include "server/ledger/entry_kinds.h"
#include "server/storage/database.h"

namespace bco::server {

// The accounting of a bank entry.
//
// An entry whose type is accounted (IDCTBLCRBANC / IDCTBLDBBANC 'S') becomes one accounting entry (LANCCONT)
// of the account's company, dated the entry's date, numbered in the company's series (NRLANCCONT: the
// company's code and ten digits), with the type's standard history, and two lines (LANCCONTITEM) of the
// entry's value:
//   1. the bank account's ledger account (CONTCORR.CDCONTCTBL): debited by a credit, since the money comes
//      into the bank, and credited by a debit;
//   2. the type's ledger account, on the other side. When that account is kept by customer ('C') or by
//      supplier ('F') (CONTCTBL.IDTIPOCOME), the line carries the entry's customer or supplier as its
//      commercial code.
// Line 2 is apportioned over branches and cost centres (RATEIOCTB): by the type's apportionment among the
// company's branches (RATEIOTPCRED / RATEIOTPDEBI) when it has one, each share its percentage of the value
// cut to the cent and the last share taking what is left, so that the shares add up to the value exactly;
// otherwise in one share, the entry's branch and cost centre. An entry of a type that is not accounted has
// no accounting entry and no apportionment.
//
// A draft is made and checked before anything is written. Each problem is an error of the draft, with the
// line it concerns (0: the whole entry), and an entry whose draft has errors is not written at all:
//   001  a ledger account of a line does not exist;
//   002  a ledger account of a line does not accept entries (IDACEITALANC 'N': a synthetic account);
//   003  a share names no cost centre while its line's account requires one (IDOBRIGCENTCUST 'S') or the
//        budgets are kept by cost centre (GERPARAMGERAL.IDTIPOORCA 'C');
//   004  the date lies outside an open accounting period of the company;
//   005  the type's apportionment among the company's branches misses 100 % by more than the hundredth of
//        a percent each share may have been rounded either way (a third is 33,33 % or 33,34 %), or its
//        shares before the last pass 100 %: the last share would take another share's part or a negative
//        amount.
//
// The forms see a draft as three packets (accountingRows, apportionmentRows, errorRows): the lines with
// VRLANCCTBTEMP positive for a debit and negative for a credit, so that the lines of an entry add up to
// zero; the shares of each line; the errors.

// What accounting needs to know of an entry.
struct EntryToAccount {
    const EntryKind *kind = nullptr;
    QString account;  // CDREDUCONT
    QString company;  // the account's company
    QString movement; // NRMOVBANC, for the accounting document
    QDate date;
    qint64 cents = 0;
    QString type;        // the credit or debit type
    QString branch;      // the branch of the record (CDFILIAL)
    QString costCentre;  // may be empty
    QString customer;    // may be empty
    QString supplier;    // may be empty
    QString description; // the entry's description
};

struct AccountingLine {
    int sequence = 0; // NRSEQCTB
    QString ledger;
    QString ledgerName;
    QString reducedCode;
    bool debit = false;
    qint64 cents = 0;
    QString commercialKind; // 'C' or 'F' when the line is kept for a customer or supplier
    QString commercialCode;
};

struct AccountingShare {
    int line = 0;     // the NRSEQCTB it apportions
    int sequence = 0; // NRSEQRAT within the line
    QString branch, branchName;
    QString costCentre, costCentreName;
    qint64 cents = 0;
};

struct AccountingError {
    QString code; // 001 ... 004, above
    int line = 0;
};

struct AccountingDraft {
    bool accounted = false;
    QString company, companyName;
    QDate date;
    QString history;     // CDHISTPADR
    QString historyText; // DSHISTCTB
    QString document;    // CDDOCUCONT: where the entry came from
    QList<AccountingLine> lines;
    QList<AccountingShare> shares;
    QList<AccountingError> errors;
};

// What the accounting of entries reads of the catalogues (types and their apportionment, ledger accounts,
// names, parameters, periods), each read once for the life of the object: a call that accounts many entries
// (an import) reads each type, account and branch once. Live it for one call: it does not see later changes.
class AccountingCatalogue {
public:
    explicit AccountingCatalogue(Sql &sql);

    // The draft of the accounting of `entry`, checked. Writes nothing.
    AccountingDraft draft(const EntryToAccount &entry);

private:
    struct Portion {
        QString branch, branchName, costCentre, costCentreName;
        qint64 hundredthsOfPercent = 0;
        QString company;
    };
    struct TypeInfo {
        bool accounted = false;
        QString ledger, history, historyText;
        QList<Portion> portions;
    };
    struct LedgerInfo {
        QString name, reducedCode;
        bool acceptsEntries = true;
        bool requiresCostCentre = false;
        QString commercialKind;
    };

    const TypeInfo &type(const EntryKind &kind, const QString &code);
    const std::optional<LedgerInfo> &ledger(const QString &code);
    QString lookUp(std::map<QString, QString> &cache, const QString &sql, const QString &key);
    bool budgetsByCostCentre();
    bool openPeriod(const QString &company, QDate date);
    void describe(AccountingLine &line, AccountingDraft &draft, bool &requiresCostCentre);
    QList<AccountingShare> apportion(const EntryToAccount &entry, const TypeInfo &type, int line,
                                     AccountingDraft &draft);

    Sql &sql_;
    std::map<std::pair<QChar, QString>, TypeInfo> types_;
    std::map<QString, std::optional<LedgerInfo>> ledgers_;
    std::map<QString, QString> branchNames_, costCentreNames_, companyNames_, bankLedgers_;
    std::optional<bool> budgetsByCostCentre_;
    std::map<std::pair<QString, qint64>, bool> periods_;
};

// The draft of the accounting of one entry, checked. Writes nothing.
AccountingDraft draftAccounting(Sql &sql, const EntryToAccount &entry);

// Writes an accounted draft under `number` (an entry being rewritten keeps its number), or else under a new
// number of the company's series, and answers the number. The caller has refused a draft with errors, or
// knows why it writes it anyway (demo data of closed periods).
QString postAccounting(Sql &sql, const AccountingDraft &draft, const QString &operatorCode,
                       const QString &number = QString());
// The same under a number the caller drew (drawNumbers of Series::Accounting for the draft's company), for a
// call that posts many entries and draws their numbers at once.
void postAccountingAs(Sql &sql, const AccountingDraft &draft, const QString &operatorCode,
                      const QString &number);
// The number of an accounting entry: the company's code and the number drawn in its series.
QString accountingNumber(const QString &company, qint64 drawn);

// Removes the accounting entry `number` with its lines and apportionment; an empty number removes nothing.
void removeAccounting(Sql &sql, const QString &number);

// The history text of an entry's accounting (DSHISTCTB): the type's standard history, " - ", the entry's
// description; the description alone for a type without one. At most 200 characters.
QString accountingHistoryText(const QString &typeHistoryText, const QString &description);

// The accounting entry `number` as it is stored, with the names of its accounts, branches, cost centres and
// company, read as a draft: what a call that keeps an entry's accounting answers the forms. An empty number,
// or one that is not stored, answers an empty draft.
AccountingDraft storedAccounting(Sql &sql, const QString &number);

// Gives the accounting entry `number` the history of an entry whose description changed: the standard
// history it was posted with (LANCCONT.CDHISTPADR) and the new description; its lines and apportionment stay
// as they are. An empty number writes nothing.
void rewriteAccountingHistory(Sql &sql, const QString &number, const QString &description);

// The draft as the forms read it, `number` naming the accounting entry (empty before it is written).
DataPacket accountingRows(const AccountingDraft &draft, const QString &number);
DataPacket apportionmentRows(const AccountingDraft &draft, const QString &number);
DataPacket errorRows(const AccountingDraft &draft);
// The same rows added to packets of those fields, which gather the drafts of many entries (an import's).
void appendAccountingRows(DataPacket &rows, const AccountingDraft &draft, const QString &number);
void appendApportionmentRows(DataPacket &rows, const AccountingDraft &draft, const QString &number);
void appendErrorRows(DataPacket &rows, const AccountingDraft &draft);

// Whether `date` lies inside an open accounting period of `company`.
bool isOpenPeriod(Sql &sql, const QString &company, QDate date);

// Refuse, with the forms' own words, a write that the forms refuse before they call, for the day of the
// entry: refuseBlockedDay a day the module's blocked-date rule closes to `operatorCode` whatever the
// processing date (PARAMGERAL "BCO_" with IDBLOQDATA "S" and the day on or before DTBLOQATE, the operator not
// released by OPERADOR.IDLIBBLOQ "S"); refuseClosedDay that, and a day outside `company`'s open accounting
// period, accounted entry or not. The part of the rule counted back from the processing date stays the
// forms': the server does not know the operator's processing day.
void refuseBlockedDay(Sql &sql, const QString &operatorCode, QDate date);
void refuseClosedDay(Sql &sql, const QString &operatorCode, const QString &company, QDate date);

// refuseClosedDay for the many entries of one call, each company's day read once.
class ClosedDays {
public:
    ClosedDays(Sql &sql, QString operatorCode);

    void refuseIfClosed(const QString &company, QDate date);

private:
    Sql &sql_;
    QString operatorCode_;
    std::set<std::pair<QString, QDate>> open_;
};

} // namespace bco::server
