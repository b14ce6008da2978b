#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "server/ledger/new_entries.h"
#include "server/ledger/result_rows.h"
#include "server/methods/all_methods.h"
#include "server/storage/list_versions.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

// The two calls of the spreadsheet import differ only by the kind of the records they write.
struct ImportCall {
    const char *method;
    const EntryKind *kind;
};

const ImportCall creditImport{"setInsertImportCred", &creditKind};
const ImportCall debitImport{"setInsertImportDeb", &debitKind};

using MovementKey = std::pair<QString, QString>; // account, movement number

// A movement an earlier call of the same import already wrote: it is the entry sent again when it is of the
// same kind, date and value and its record, under the number sent, belongs to it. Any other movement under
// that number means the number is taken.
enum class Written { No, ThisEntry, Other };

Written alreadyWritten(Sql &sql, const EntryKind &kind, const InsertedRow &movement,
                       const InsertedRow &record, const QString &account, const QString &movementNumber) {
    std::optional<std::tuple<QString, QDate, qint64, QString>> stored;
    sql.forEach(QStringLiteral("SELECT M.IDMOVBANC, M.DTMOVBANC, M.VRMOVBANC, R.NRMOVBANC FROM MOVBANCARIO M "
                               "LEFT JOIN %1 R ON R.CDREDUCONT = M.CDREDUCONT AND R.%2 = :numero "
                               "WHERE M.CDREDUCONT = :conta AND M.NRMOVBANC = :movimento")
                    .arg(EntryKind::column(kind.table), EntryKind::column(kind.number)),
                {{QStringLiteral("conta"), account},
                 {QStringLiteral("movimento"), movementNumber},
                 {QStringLiteral("numero"), record.code(kind.number)}},
                [&stored](const SqlRow &row) {
                    stored = std::make_tuple(row.text(0).trimmed(), row.date(1), row.integer(2),
                                             row.isNull(3) ? QString() : row.text(3).trimmed());
                });
    if (!stored)
        return Written::No;
    const auto &[letter, date, cents, recordMovement] = *stored;
    const bool same = letter == QString(kind.letter) && date == movement.date("DTMOVBANC") &&
                      std::optional<qint64>(cents) == movement.cents("VRMOVBANC") &&
                      recordMovement == movementNumber;
    return same ? Written::ThisEntry : Written::Other;
}

// The movements of the database that an import's entries would repeat, found as getPesqMovBanc finds them:
// of one account, day and value, with the same document and history (its first 40 characters) once their
// outer blanks are set aside, credits and debits alike. Movements of the import itself (`own`: every
// movement of its log, whichever call wrote or writes it) are no repetition, so that two equal rows of one
// file are both written. What an account holds on a day is read once, the first time the day is met: the
// call holds the account's list version (lockListVersion) before, so that nobody else writes it meanwhile,
// and what the call writes itself is its own.
class RepeatedMovements {
public:
    RepeatedMovements(Sql &sql, const InsertedRows &log)
        : sql_(sql) {
        // By account, the numbers as integers, sorted: an import holds tens of thousands of them.
        for (int row = 0; row < log.count(); ++row) {
            bool number = false;
            const qint64 movement = log.code(row, "NRMOVBANC").toLongLong(&number);
            if (number)
                own_[log.code(row, "CDREDUCONT")].push_back(movement);
        }
        for (auto &[account, movements] : own_)
            std::sort(movements.begin(), movements.end());
    }

    // The number of a movement of another that `movement` of `account` repeats; empty when there is none.
    QString of(const QString &account, const InsertedRow &movement) {
        const QDate date = movement.date("DTMOVBANC");
        const auto cents = movement.cents("VRMOVBANC");
        if (!date.isValid() || !cents)
            return {};
        auto day = days_.find({account, date});
        if (day == days_.end())
            day = days_.emplace(std::make_pair(account, date), read(account, date)).first;
        if (day->second.empty())
            return {};
        const auto found = day->second.find(
            {*cents, movement.code("NRDOCMBANC"), movement.text("DSHISMBANC").left(40).trimmed()});
        return found == day->second.end() ? QString() : found->second;
    }

private:
    using Movement = std::tuple<qint64, QString, QString>; // value, document, history

    std::map<Movement, QString> read(const QString &account, QDate date) {
        std::map<Movement, QString> movements;
        sql_.forEach(
            QStringLiteral("SELECT NRMOVBANC, VRMOVBANC, TRIM(COALESCE(NRDOCMBANC, '')), "
                           "TRIM(COALESCE(DSHISMBANC, '')) FROM MOVBANCARIO WHERE CDREDUCONT = :conta AND "
                           "DTMOVBANC = :data ORDER BY NRMOVBANC"),
            {{QStringLiteral("conta"), account}, {QStringLiteral("data"), date}}, [&](const SqlRow &row) {
                if (!isOwn(account, row.text(0)))
                    movements.emplace(Movement{row.integer(1), row.text(2), row.text(3)}, row.text(0));
            });
        return movements;
    }

    bool isOwn(const QString &account, const QString &movement) const {
        bool number = false;
        const qint64 value = movement.toLongLong(&number);
        const auto own = own_.find(account);
        return number && own != own_.end() &&
               std::binary_search(own->second.begin(), own->second.end(), value);
    }

    Sql &sql_;
    std::map<QString, std::vector<qint64>> own_;
    std::map<std::pair<QString, QDate>, std::map<Movement, QString>> days_;
};

// The cost centre of an imported entry, which names none: the branch's default, else the company's, as the
// entry form settles an entry typed without one. Each branch is read once per call.
class DefaultCostCentres {
public:
    explicit DefaultCostCentres(Sql &sql)
        : sql_(sql) {}

    QString of(const QString &branch, const QString &company) {
        const auto key = std::make_pair(branch, company);
        if (const auto found = known_.find(key); found != known_.end())
            return found->second;
        const auto read = [this](const QString &sql, const QString &code) {
            const auto value = sql_.scalar(sql, {{QStringLiteral("codigo"), code}});
            return value && !value->isNull() ? value->toString().trimmed() : QString();
        };
        QString costCentre =
            read(QStringLiteral("SELECT CDCENTCUST FROM FILIAL WHERE CDFILIAL = :codigo"), branch);
        if (costCentre.isEmpty())
            costCentre =
                read(QStringLiteral("SELECT CDCENTCUST FROM EMPRESA WHERE CDEMPRESA = :codigo"), company);
        known_.emplace(key, costCentre);
        return costCentre;
    }

private:
    Sql &sql_;
    std::map<std::pair<QString, QString>, QString> known_;
};

// What an accounting error says, for the result row that names its entry.
QString accountingErrorText(const AccountingError &error) {
    const QString code = error.code.trimmed();
    if (code == u"001")
        return QStringLiteral("conta contábil não cadastrada");
    if (code == u"002")
        return QStringLiteral("conta contábil não aceita lançamentos");
    if (code == u"003")
        return QStringLiteral("centro de custo não informado");
    if (code == u"004")
        return QStringLiteral("data fora do período contábil aberto");
    return QStringLiteral("erro contábil %1").arg(code);
}

// The accounting entries' numbers of one call, in the order the entries are written, without a statement
// each: the next number of each company's series is read (its row locked for the rest of the transaction)
// when the company is first met, and the numbers used are drawn at the end.
class AccountingNumbers {
public:
    explicit AccountingNumbers(Sql &sql)
        : sql_(sql) {}

    QString next(const QString &company) {
        auto found = series_.find(company);
        if (found == series_.end())
            found = series_.emplace(company, Block{nextNumber(sql_, Series::Accounting, company), 0}).first;
        return accountingNumber(company, found->second.first + found->second.used++);
    }

    void draw() {
        for (const auto &[company, block] : series_) {
            if (drawNumbers(sql_, Series::Accounting, company, block.used) != block.first)
                throw DatabaseError(
                    "the accounting numbers of a company moved while its entries were written");
        }
    }

private:
    // The first number of a company's block and how many of it are used.
    struct Block {
        qint64 first;
        int used;
    };
    Sql &sql_;
    std::map<QString, Block> series_;
};

void appendRows(DataPacket &into, const DataPacket &rows) {
    for (int row = 0; row < rows.rowCount(); ++row)
        into.appendRow(rows.row(row).values);
}

// setInsertImportCred(movements, credits, operator) and setInsertImportDeb(movements, debits, operator):
// writes the entries of a spreadsheet import, in one transaction: for each record of the call's kind, its
// bank movement, the record and, for an accounted type, its accounting entry with the apportionment of its
// value, as an entry of the entry form is written (the cost centre is the branch's default, else the
// company's). `movements` is the change log of every movement of the import, credits' and debits' alike;
// each record names its own by account and NRMOVBANC, and every movement of the call's kind must be named by
// exactly one record. `operator` must be the session's operator (or empty).
//
// A movement that an earlier call already wrote for the same record (the import sent again after the other
// call reported accounting errors) is skipped, not written twice; so is a movement that repeats one another
// import or anyone else wrote since the client checked the file (RepeatedMovements: the duplicate search of
// the check pass, run again in this transaction). The answer says so in a result row "IGN" for each, and
// counts them in its "OK" row. An entry that cannot be accounted is named by a result row "CTB" ("Movimento
// <number>: ..."). Answers the four packets of an insertion: the result rows (first "OK" with what was
// written), the accounting lines, the apportionment shares and the accounting errors. Refuses (and writes
// nothing) what getInsert refuses of any record (naming its movement), a debit that would pass its type's
// budget, and records and movements that do not pair; writes nothing and answers the lines, shares and
// errors of the entries that cannot be accounted when there is any.
Variant importEntries(const ImportCall &call, CallContext &context, VariantList &args) {
    const EntryKind &kind = *call.kind;
    const QString kindName = QString::fromUtf8(kind.name);
    const InsertedRows movements(args[0], movementLayout(), QStringLiteral("movimento bancário"));
    const auto layout = recordLayout(kind);
    const InsertedRows records(args[1], layout, kindName);
    const QString operatorCode = code(args[2]);
    if (!operatorCode.isEmpty() && operatorCode.compare(context.operatorCode, Qt::CaseInsensitive) != 0)
        refuse(QStringLiteral("A importação deve ser enviada pelo operador da sessão (%1), não por %2.")
                   .arg(context.operatorCode, operatorCode));

    std::map<MovementKey, int> movementRows;
    for (int row = 0; row < movements.count(); ++row) {
        if (movements.code(row, "IDMOVBANC") != QString(kind.letter))
            continue;
        const MovementKey key{movements.code(row, "CDREDUCONT"), movements.code(row, "NRMOVBANC")};
        if (!movementRows.emplace(key, row).second)
            refuse(QStringLiteral("O movimento bancário %1 da conta corrente %2 foi enviado duas vezes.")
                       .arg(key.second, key.first));
    }

    // The logs are read; handing them back would double the answer for nothing.
    args[0] = Variant();
    args[1] = Variant();

    NewEntryChecks checks(context);
    // Every account of the call is held before anything is read for writing, in the order of their codes,
    // so that two imports over the same accounts wait for each other instead of both missing the other's
    // entries.
    QString lastAccount;
    for (const auto &[key, row] : movementRows) {
        if (key.first != std::exchange(lastAccount, key.first)) {
            checks.accountCompany(key.first);
            lockListVersion(context.sql, key.first);
        }
    }
    RepeatedMovements repeated(context.sql, movements);
    AccountingCatalogue catalogue(context.sql);
    DebitBudget budget(context.sql);
    DefaultCostCentres costCentres(context.sql);
    AccountingNumbers accountingNumbers(context.sql);
    DataPacket result = emptyResult();
    DataPacket lines = accountingRows(AccountingDraft(), QString());
    DataPacket shares = apportionmentRows(AccountingDraft(), QString());
    DataPacket errors = errorRows(AccountingDraft());
    QStringList skipped; // the text of each "IGN" row
    std::set<MovementKey> named;
    int written = 0;
    bool accountingErrors = false;
    // Entries are written as they are checked; when one cannot be accounted, the rest are only checked, for
    // their errors, and what was written is undone.
    context.sql.executeScript(QStringLiteral("SAVEPOINT IMPORTACAO"));
    for (int row = 0; row < records.count(); ++row) {
        const InsertedRow record(records, row);
        const MovementKey key{record.code("CDREDUCONT"), record.code("NRMOVBANC")};
        const auto found = movementRows.find(key);
        if (found == movementRows.end())
            refuse(
                QStringLiteral("O %1 %2 pertence ao movimento bancário %3 da conta corrente %4, que não foi "
                               "enviado.")
                    .arg(kindName, record.code(kind.number), key.second, key.first));
        if (!named.insert(key).second)
            refuse(QStringLiteral("O movimento bancário %1 da conta corrente %2 pertence a mais de um %3.")
                       .arg(key.second, key.first, kindName));
        const InsertedRow movement(movements, found->second);
        checks.accountCompany(key.first);
        switch (alreadyWritten(context.sql, kind, movement, record, key.first, key.second)) {
        case Written::ThisEntry:
            skipped.append(
                QStringLiteral("Movimento %1 já incluído: não foi gravado de novo.").arg(key.second));
            continue;
        case Written::Other:
        case Written::No:
            break;
        }
        if (const QString original = repeated.of(key.first, movement); !original.isEmpty()) {
            skipped.append(
                QStringLiteral("Movimento %1 já incluído como movimento %2: não foi gravado de novo.")
                    .arg(key.second, original));
            continue;
        }
        NewEntry entry;
        try {
            entry = checks.check(kind, movement, record);
        } catch (const Refusal &refusal) {
            refuse(QStringLiteral("Movimento %1: %2").arg(key.second, refusal.message()));
        }
        // A default of the branch or of the company, which checkCostCentre always takes.
        entry.accounting.costCentre = costCentres.of(entry.accounting.branch, entry.accounting.company);
        const AccountingDraft draft = catalogue.draft(entry.accounting);
        if (!draft.errors.isEmpty()) {
            if (!accountingErrors) {
                lines = accountingRows(AccountingDraft(), QString());
                shares = apportionmentRows(AccountingDraft(), QString());
            }
            accountingErrors = true;
            QStringList problems;
            for (const AccountingError &error : draft.errors)
                problems.append(accountingErrorText(error));
            problems.removeDuplicates();
            appendResultRow(result, QStringLiteral("CTB"),
                            QStringLiteral("Movimento %1: lançamento não pode ser contabilizado (%2).")
                                .arg(entry.movement, problems.join(QStringLiteral("; "))));
            appendRows(lines, accountingRows(draft, QString()));
            appendRows(shares, apportionmentRows(draft, QString()));
            appendRows(errors, errorRows(draft));
            continue;
        }
        if (accountingErrors)
            continue;
        if (!kind.isCredit() && !budget.admit(entry.accounting))
            refuse(QStringLiteral(
                       "Lançamento não foi incluído pois supera o valor orçado: débito %1 do movimento "
                       "%2 da conta corrente %3.")
                       .arg(entry.number, entry.movement, entry.accounting.account));
        QString number;
        if (draft.accounted) {
            number = accountingNumbers.next(draft.company);
            postAccountingAs(context.sql, draft, context.operatorCode, number);
        }
        writeEntry(context, entry, number);
        context.reportWrite(entry.accounting.account, {entry.movement, entry.number});
        appendRows(lines, accountingRows(draft, number));
        appendRows(shares, apportionmentRows(draft, number));
        ++written;
    }
    if (named.size() != movementRows.size()) {
        for (const auto &[key, row] : movementRows) {
            if (!named.contains(key))
                refuse(QStringLiteral("O movimento bancário %1 da conta corrente %2 não tem %3.")
                           .arg(key.second, key.first, kindName));
        }
    }
    if (accountingErrors) {
        context.sql.executeScript(QStringLiteral("ROLLBACK TO SAVEPOINT IMPORTACAO"));
        return VariantList{result, lines, shares, errors};
    }
    accountingNumbers.draw();
    context.sql.executeScript(QStringLiteral("RELEASE SAVEPOINT IMPORTACAO"));
    DataPacket answered = emptyResult();
    appendResultRow(answered, QStringLiteral("OK"),
                    QStringLiteral("%1 lançamento(s) de %2 incluído(s); %3 já incluído(s) antes.")
                        .arg(written)
                        .arg(kindName)
                        .arg(skipped.size()));
    for (const QString &text : skipped)
        appendResultRow(answered, QStringLiteral("IGN"), text);
    return VariantList{answered, lines, shares, errors};
}

} // namespace

void addImportMethods(MethodRegistry &registry) {
    for (const ImportCall *call : {&creditImport, &debitImport}) {
        registry.add({.name = QString::fromLatin1(call->method),
                      .args = {ArgKind::Any, ArgKind::Any, ArgKind::Text},
                      .writes = true,
                      .handler = [call](CallContext &context, VariantList &args) {
                          return importEntries(*call, context, args);
                      }});
    }
}

} // namespace bco::server
