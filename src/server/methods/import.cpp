#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "server/ledger/new_entries.h"
#include "server/ledger/repeated_movements.h"
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
// that number means the number is taken. A number whose movement was deleted since was written by an
// earlier call too, and the deletion stands.
enum class Written { No, ThisEntry, ThenDeleted, Other };

// What the accounts of a call already hold under the numbers its movements and records carry, read in two
// statements per account (the numbers of a call are drawn together, so their range is narrow) instead of
// one per entry; the checks of the entries are handed the same reading.
class StoredNumbers {
public:
    StoredNumbers(Sql &sql, const EntryKind &kind, const InsertedRows &records, NewEntryChecks &checks)
        : kind_(kind) {
        struct Range {
            QString first, last;
            void widen(const QString &number) {
                if (first.isNull() || number < first)
                    first = number;
                if (last.isNull() || number > last)
                    last = number;
            }
        };
        std::map<QString, std::pair<Range, Range>> ranges; // by account: of the movements, of the records
        for (int row = 0; row < records.count(); ++row) {
            auto &[movementRange, recordRange] = ranges[records.code(row, "CDREDUCONT")];
            movementRange.widen(records.code(row, "NRMOVBANC"));
            recordRange.widen(records.code(row, kind.number));
        }
        for (const auto &byAccount : ranges) {
            // A named reference, not a structured binding: the lambdas below capture it.
            const QString &account = byAccount.first;
            const auto &[movementRange, recordRange] = byAccount.second;
            sql.forEach(QStringLiteral("SELECT NRMOVBANC, IDMOVBANC, DTMOVBANC, VRMOVBANC FROM MOVBANCARIO "
                                       "WHERE CDREDUCONT = :conta AND NRMOVBANC >= :primeiro AND "
                                       "NRMOVBANC <= :ultimo"),
                        {{QStringLiteral("conta"), account},
                         {QStringLiteral("primeiro"), movementRange.first},
                         {QStringLiteral("ultimo"), movementRange.last}},
                        [&](const SqlRow &row) {
                            movements_.emplace(MovementKey{account, row.text(0)},
                                               Movement{row.text(1).trimmed(), row.date(2), row.integer(3)});
                        });
            sql.forEach(QStringLiteral("SELECT %2, NRMOVBANC FROM %1 WHERE CDREDUCONT = :conta AND %2 >= "
                                       ":primeiro AND %2 <= :ultimo")
                            .arg(EntryKind::column(kind.table), EntryKind::column(kind.number)),
                        {{QStringLiteral("conta"), account},
                         {QStringLiteral("primeiro"), recordRange.first},
                         {QStringLiteral("ultimo"), recordRange.last}},
                        [&](const SqlRow &row) {
                            records_.emplace(MovementKey{account, row.text(0)}, row.text(1).trimmed());
                        });
            std::set<QString> deletedMovements =
                deletedNumbers(sql, "MOVBANCARIO", account, movementRange.first, movementRange.last);
            for (const QString &number : deletedMovements)
                deletedMovements_.insert({account, number});
            checks.takeNumbers("MOVBANCARIO", account, movementRange.first, movementRange.last,
                               numbersOf(movements_, account), std::move(deletedMovements));
            checks.takeNumbers(kind.table, account, recordRange.first, recordRange.last,
                               numbersOf(records_, account),
                               deletedNumbers(sql, kind.table, account, recordRange.first, recordRange.last));
        }
    }

    Written of(const InsertedRow &movement, const InsertedRow &record, const QString &account,
               const QString &movementNumber) const {
        const auto stored = movements_.find({account, movementNumber});
        if (stored == movements_.end())
            return deletedMovements_.contains({account, movementNumber}) ? Written::ThenDeleted : Written::No;
        const auto recordOf = records_.find({account, record.code(kind_.number)});
        const QString recordMovement = recordOf == records_.end() ? QString() : recordOf->second;
        const bool same = stored->second.letter == QString(kind_.letter) &&
                          stored->second.date == movement.date("DTMOVBANC") &&
                          std::optional<qint64>(stored->second.cents) == movement.cents("VRMOVBANC") &&
                          recordMovement == movementNumber;
        return same ? Written::ThisEntry : Written::Other;
    }

private:
    struct Movement {
        QString letter;
        QDate date;
        qint64 cents = 0;
    };

    template <typename Value>
    static std::set<QString> numbersOf(const std::map<MovementKey, Value> &stored, const QString &account) {
        std::set<QString> numbers;
        for (auto found = stored.lower_bound({account, QString()});
             found != stored.end() && found->first.first == account; ++found)
            numbers.insert(found->first.second);
        return numbers;
    }

    const EntryKind &kind_;
    std::map<MovementKey, Movement> movements_;
    std::map<MovementKey, QString> records_; // a record's number: the movement it belongs to
    std::set<MovementKey> deletedMovements_;
};

// The movements of an import itself (every movement of its log, whichever call wrote or writes it), which
// are no repetition of another, so that two equal rows of one file are both written. The call holds the
// account's list version (lockListVersion) before it searches, so that nobody else writes it meanwhile, and
// what the call writes itself is its own.
class OwnMovements {
public:
    explicit OwnMovements(const InsertedRows &log) {
        // By account, the numbers as integers, sorted: an import holds tens of thousands of them.
        for (int row = 0; row < log.count(); ++row) {
            bool number = false;
            const qint64 movement = log.code(row, "NRMOVBANC").toLongLong(&number);
            if (number)
                numbers_[log.code(row, "CDREDUCONT")].push_back(movement);
        }
        for (auto &[account, movements] : numbers_)
            std::sort(movements.begin(), movements.end());
    }

    bool contains(const QString &account, const QString &movement) const {
        bool number = false;
        const qint64 value = movement.toLongLong(&number);
        const auto own = numbers_.find(account);
        return number && own != numbers_.end() &&
               std::binary_search(own->second.begin(), own->second.end(), value);
    }

private:
    std::map<QString, std::vector<qint64>> numbers_;
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
    if (code == u"005")
        return QStringLiteral("rateio do tipo entre as filiais não soma 100%");
    return QStringLiteral("erro contábil %1").arg(code);
}

// The accounting entries' numbers of one call, in the order the entries are written, without a statement
// each: the next number of each company's series is read (its row locked for the rest of the transaction)
// when the company is first met, and the numbers used are drawn at the end.
class AccountingNumbers {
public:
    explicit AccountingNumbers(Sql &sql)
        : sql_(sql) {}

    // Holds the series of these companies now, in the order of their codes, as every call that holds more
    // than one takes them.
    void hold(const std::set<QString> &companies) {
        for (const QString &company : companies)
            blockOf(company);
    }

    QString next(const QString &company) {
        Block &block = blockOf(company);
        return accountingNumber(company, block.first + block.used++);
    }

    void draw() {
        for (const auto &[company, block] : series_) {
            if (block.used > 0 && drawNumbers(sql_, Series::Accounting, company, block.used) != block.first)
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
    Block &blockOf(const QString &company) {
        auto found = series_.find(company);
        if (found == series_.end())
            found = series_.emplace(company, Block{nextNumber(sql_, Series::Accounting, company), 0}).first;
        return found->second;
    }
    Sql &sql_;
    std::map<QString, Block> series_;
};

// Rows of one table written many at a time: a statement per row costs an import of 60,000 entries half a
// million round trips to PostgreSQL, and on SQLite a statement journal per row. The rows go in the order they
// were added and fire the table's triggers row by row, as single insertions would.
//
// PostgreSQL takes them through COPY, which reads each value once by its column's position, with no JSON for
// the server to write and no key to find each value by (an import's calls took some 5% less than through
// json_populate_recordset; the foreign keys' checks, which both pay per row, take most of the rest).
// SQLite takes them as the rows of a VALUES list with a parameter per value: its JSON functions (as of 3.40)
// parse a row's object again for each column taken from it, which cost the import three times what its
// insertions do.
class BatchedRows {
public:
    BatchedRows(Sql &sql, const char *table, std::initializer_list<const char *> columns)
        : sql_(sql)
        , table_(QString::fromLatin1(table)) {
        for (const char *column : columns)
            columns_.append(QString::fromLatin1(column));
        into_ = QStringLiteral("INSERT INTO %1 (%2) ").arg(table_, columns_.join(QStringLiteral(", ")));
    }

    // One row, its values in the order of the columns, as they would be bound to a statement of their own.
    void add(std::initializer_list<QVariant> values) {
        for (const QVariant &value : values)
            values_.append(value);
    }

    void flush() {
        if (values_.isEmpty())
            return;
        if (sql_.dialect() == Dialect::Sqlite)
            flushInStatementsOfPowersOfTwo();
        else
            sql_.copyRows(
                table_, columns_,
                std::span<const QVariant>(values_.constData(), static_cast<size_t>(values_.size())));
        values_.clear();
    }

private:
    // SQLite binds at most 32,766 parameters to a statement, and keeps each text it prepared for the
    // connection's life. The rows go in statements of a power of two of rows under that bound, the largest
    // first, so that a connection prepares a few texts per table however the imports' sizes vary.
    void flushInStatementsOfPowersOfTwo() {
        constexpr qsizetype MostParameters = 32766;
        const qsizetype width = columns_.size();
        const qsizetype rows = values_.size() / width;
        qsizetype most = 1;
        while (most * 2 * width <= MostParameters)
            most *= 2;
        qsizetype written = 0;
        for (qsizetype size = most; size > 0; size /= 2) {
            while (rows - written >= size) {
                sql_.executeInOrder(sqliteStatement(size),
                                    std::span<const QVariant>(values_.constData() + written * width,
                                                              static_cast<size_t>(size * width)));
                written += size;
            }
        }
    }

    QString sqliteStatement(qsizetype rows) const {
        QString row = QStringLiteral("(?");
        row += QStringLiteral(", ?").repeated(columns_.size() - 1);
        row += u')';
        QStringList all(rows, row);
        return into_ + QStringLiteral("VALUES ") + all.join(QStringLiteral(", "));
    }

    Sql &sql_;
    QString table_;
    QStringList columns_;
    QString into_;
    QVariantList values_; // row after row
};

// What an import's call writes, by table, in the order that lets each row name the rows it refers to: the
// accounting entries, their lines and shares, the movements, then the credit or debit records.
class ImportWrites {
public:
    ImportWrites(CallContext &context, const EntryKind &kind)
        : sql_(context.sql)
        , operatorCode_(context.operatorCode)
        , accounting_(context.sql, "LANCCONT",
                      {"NRLANCCONT", "CDEMPRESA", "DTLANCCONT", "CDHISTPADR", "DSHISTCTB", "CDDOCUCONT",
                       "CDOPERADOR"})
        , lines_(context.sql, "LANCCONTITEM",
                 {"NRLANCCONT", "NRSEQCTB", "CDCONTCTBL", "IDDEBCRED", "VRLANCCTB", "IDLANCCTBCOME",
                  "CDLANCCTBCOME"})
        , shares_(context.sql, "RATEIOCTB",
                  {"NRLANCCONT", "NRSEQCTB", "NRSEQRAT", "CDFILIAL", "CDCENTCUST", "VRLANCCUST"})
        , movements_(context.sql, "MOVBANCARIO",
                     {"CDREDUCONT", "NRMOVBANC", "DTMOVBANC", "IDMOVBANC", "NRDOCMBANC", "DSHISMBANC",
                      "VRMOVBANC", "IDORIGMBANC", "IDSTCONEXT", "CDOPERADOR"})
        , records_(context.sql, kind.table,
                   {"CDREDUCONT", kind.number, "NRMOVBANC", "CDCLASSFINA", "CDEMPRESA", "CDFILIAL",
                    "DTMOVFLUXO", "IDMOVFLUXO", kind.type, kind.date, kind.description, kind.value,
                    kind.accountingCompany, kind.typedBranch, "CDCENTCUST", "CDCLIENTE", "CDFORNECED",
                    "NRLANCCONT", "CDOPERADOR"}) {}

    // The same rows as postAccountingAs and writeEntry write, in their columns.
    void add(const NewEntry &entry, const AccountingDraft &draft, const QString &number) {
        const EntryToAccount &accounting = entry.accounting;
        if (draft.accounted) {
            accounting_.add({number, draft.company, draft.date, orNull(draft.history), draft.historyText,
                             draft.document, operatorCode_});
            for (const AccountingLine &line : draft.lines)
                lines_.add({number, line.sequence, line.ledger,
                            line.debit ? QStringLiteral("D") : QStringLiteral("C"), line.cents,
                            orNull(line.commercialKind), orNull(line.commercialCode)});
            for (const AccountingShare &share : draft.shares)
                shares_.add({number, share.line, share.sequence, share.branch, orNull(share.costCentre),
                             share.cents});
        }
        const QString letter(accounting.kind->letter);
        movements_.add({accounting.account, entry.movement, accounting.date, letter, orNull(entry.document),
                        orNull(entry.history), accounting.cents, letter, QStringLiteral("0"), operatorCode_});
        records_.add({accounting.account, entry.number, entry.movement, orNull(entry.financialClass),
                      accounting.company, accounting.branch, entry.flowDate, orNull(entry.flowIndicator),
                      accounting.type, accounting.date, orNull(accounting.description), accounting.cents,
                      entry.accountingCompany, orNull(entry.typedBranch), orNull(accounting.costCentre),
                      orNull(accounting.customer), orNull(accounting.supplier), orNull(number),
                      operatorCode_});
        // Every table is written at once, in order, so that each row finds the rows it refers to.
        if (++pending_ == EntriesPerStatement)
            flush();
    }

    void flush() {
        for (BatchedRows *rows : {&accounting_, &lines_, &shares_, &movements_, &records_})
            rows->flush();
        pending_ = 0;
        replanWhenTheTablesDoubled();
    }

private:
    // A power of two: SQLite then writes a batch's movements, records and accounting entries in one
    // statement each (BatchedRows).
    static constexpr int EntriesPerStatement = 256;

    // PostgreSQL checks each foreign key with a plan it makes once per connection and keeps until the
    // statistics of the table change, which this transaction's rows cannot do. A plan made when the import's
    // first rows made most of a young table looks their account up by any index that starts with it, and
    // each check then reads every movement of the account written so far: sixty thousand credits took over
    // twenty seconds. Having the plans made again each time the import has doubled what it wrote keeps them
    // made for a table of about the size they run on, at eight replannings for sixty thousand entries.
    void replanWhenTheTablesDoubled() {
        if (sql_.dialect() != Dialect::Postgresql)
            return;
        ++flushes_;
        if ((flushes_ & (flushes_ - 1)) == 0)
            sql_.executeScript(QStringLiteral("DISCARD PLANS"));
    }

    static QVariant orNull(const QString &value) { return value.isEmpty() ? QVariant() : QVariant(value); }

    Sql &sql_;
    QString operatorCode_;
    BatchedRows accounting_, lines_, shares_, movements_, records_;
    int pending_ = 0;
    int flushes_ = 0;
};

// While an import writes, its SQLite connection keeps up to 8 MB of the database's pages instead of the
// default 2 MB: each page the cache must drop is written to the log before the commit, and read back for the
// next row that lands on it. Sixty thousand entries were written no faster with 64 MB, which the import then
// held at its peak beside everything else (28 MB more); with 2 MB the drops began to show. Afterwards the
// cache goes back to its size, which lets the pages go, so that the server's many connections do not each
// keep that much.
class LargerCacheWhileImporting {
public:
    explicit LargerCacheWhileImporting(Sql &sql)
        : sql_(sql) {
        if (sql.dialect() != Dialect::Sqlite)
            return;
        previous_ = sql.scalar(QStringLiteral("PRAGMA cache_size")).value_or(QVariant()).toLongLong();
        sql.executeScript(QStringLiteral("PRAGMA cache_size = -8192"));
    }
    ~LargerCacheWhileImporting() {
        if (!previous_)
            return;
        try {
            sql_.executeScript(QStringLiteral("PRAGMA cache_size = %1").arg(*previous_));
        } catch (const DatabaseError &) {
            // The connection is broken, and the pool drops it with its cache.
        }
    }
    LargerCacheWhileImporting(const LargerCacheWhileImporting &) = delete;
    LargerCacheWhileImporting &operator=(const LargerCacheWhileImporting &) = delete;

private:
    Sql &sql_;
    std::optional<qint64> previous_;
};

// setInsertImportCred(movements, credits, operator) and setInsertImportDeb(movements, debits, operator):
// writes the entries of a spreadsheet import, in one transaction: for each record of the call's kind, its
// bank movement, the record and, for an accounted type, its accounting entry with the apportionment of its
// value, as an entry of the entry form is written (the cost centre is the branch's default, else the
// company's; an entry with neither is refused while budgets are kept by cost centre, as the form refuses it).
// `movements` is the change log of every movement of the import, credits' and debits' alike; each record
// names its own by account and NRMOVBANC, and every movement of the call's kind must be named by exactly one
// record. `operator` must be the session's operator (or empty).
//
// A movement that an earlier call already wrote for the same record (the import sent again after the other
// call reported accounting errors) is skipped, not written twice; so is a movement that repeats one another
// import or anyone else wrote since the client checked the file (RepeatedMovements: the duplicate search of
// the check pass, run again in this transaction; a movement stored stands for one row, so that of two equal
// rows meeting one stored movement the other is written). The answer says so in a result row "IGN" for each,
// and counts them in its "OK" row. An entry that cannot be accounted is named by a result row "CTB"
// ("Movimento <number> da conta corrente <account>: ..."). Answers the four packets of an insertion: the
// result rows (first "OK" with what was written), the accounting lines, the apportionment shares and the
// accounting errors. Refuses (and writes nothing) what getInsert refuses of any record (naming its movement;
// its day closed to the operator or outside the open period among it, accounted or not), a debit that would
// pass its type's budget, and records and movements that do not pair; writes nothing and answers the lines,
// shares and errors of the entries that cannot be accounted when there is any.
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
    std::map<QString, QString> companyOf; // by account
    for (const auto &[key, row] : movementRows) {
        if (!companyOf.contains(key.first)) {
            companyOf.emplace(key.first, checks.accountCompany(key.first));
            lockListVersion(context.sql, key.first);
        }
    }
    StoredNumbers stored(context.sql, kind, records, checks);
    ImportWrites writes(context, kind);
    const OwnMovements own(movements);
    RepeatedMovements repeated(context.sql, [&own](const QString &account, const QString &movement) {
        return own.contains(account, movement);
    });
    {
        std::map<QString, std::set<QDate>> days; // by account
        for (const auto &[key, row] : movementRows)
            days[key.first].insert(InsertedRow(movements, row).date("DTMOVBANC"));
        for (const auto &[account, dates] : days)
            repeated.readAhead(account, dates);
    }
    AccountingCatalogue catalogue(context.sql);
    DebitBudget budget(context.sql);
    DefaultCostCentres costCentres(context.sql);
    AccountingNumbers accountingNumbers(context.sql);
    ClosedDays closedDays(context.sql, context.operatorCode);
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
    // Then what the rows take from, as every writer takes it: the budgets, then the companies' accounting
    // numbers, each in the order of its keys. Taken in the file's order as the rows met them, two imports,
    // or an import and an insertion, could each hold what the other waits for, which PostgreSQL ends by
    // failing one of them.
    if (!kind.isCredit()) {
        std::vector<EntryToAccount> debits;
        for (int row = 0; row < records.count(); ++row) {
            const InsertedRow record(records, row);
            const auto found = movementRows.find({record.code("CDREDUCONT"), record.code("NRMOVBANC")});
            if (found == movementRows.end())
                continue; // refused below
            EntryToAccount debit;
            debit.company = companyOf.at(found->first.first);
            debit.type = record.code(kind.type);
            debit.date = InsertedRow(movements, found->second).date("DTMOVBANC");
            debit.costCentre = costCentres.of(record.code("CDFILIAL"), debit.company);
            if (debit.date.isValid())
                debits.push_back(std::move(debit));
        }
        budget.hold(debits);
    }
    {
        std::set<QString> companies;
        for (const auto &[account, company] : companyOf)
            companies.insert(company);
        accountingNumbers.hold(companies);
    }
    const LargerCacheWhileImporting cache(context.sql);
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
        switch (stored.of(movement, record, key.first, key.second)) {
        case Written::ThisEntry:
            skipped.append(
                QStringLiteral("Movimento %1 já incluído: não foi gravado de novo.").arg(key.second));
            continue;
        case Written::ThenDeleted:
            skipped.append(
                QStringLiteral("Movimento %1 foi incluído e depois excluído: não foi gravado de novo.")
                    .arg(key.second));
            continue;
        case Written::Other:
        case Written::No:
            break;
        }
        const auto cents = movement.cents("VRMOVBANC");
        // Compared by the history the server writes, whatever the client sent.
        const QString original =
            cents ? repeated.take(key.first, movement.date("DTMOVBANC"), *cents, movement.code("NRDOCMBANC"),
                                  newMovementHistory(EntryOrigin::Import, record.text(kind.description), {}),
                                  kind.letter)
                  : QString();
        if (!original.isEmpty()) {
            skipped.append(
                QStringLiteral("Movimento %1 já incluído como movimento %2: não foi gravado de novo.")
                    .arg(key.second, original));
            continue;
        }
        // Named with its account: each account draws its own numbers, so that two rows of a file may share
        // one.
        const QString movementNamed =
            QStringLiteral("Movimento %1 da conta corrente %2").arg(key.second, key.first);
        NewEntry entry;
        try {
            entry = checks.check(kind, movement, record, EntryOrigin::Import);
        } catch (const Refusal &refusal) {
            refuse(QStringLiteral("%1: %2").arg(movementNamed, refusal.message()));
        }
        // The default of the branch or of the company; where neither has one, budgets kept by cost centre
        // refuse the entry, as they refuse it typed. The file has no cost centre to mend: the message says
        // where one is missing.
        entry.accounting.costCentre = costCentres.of(entry.accounting.branch, entry.accounting.company);
        try {
            checks.checkCostCentre(entry.accounting);
        } catch (const Refusal &refusal) {
            if (!entry.accounting.costCentre.isEmpty())
                refuse(QStringLiteral("%1: %2").arg(movementNamed, refusal.message()));
            refuse(QStringLiteral("%1: %2 Nem a filial %3 nem a empresa %4 têm um centro de custo "
                                  "padrão para o lançamento importado.")
                       .arg(movementNamed, refusal.message(), entry.accounting.branch,
                            entry.accounting.company));
        }
        // As an entry typed is refused on a day closed to the operator or outside the company's period,
        // accounted or not (an entry of a type that is not accounted meets no period in its draft), and
        // before its draft is: a day another operator closed after the file was checked is no accounting
        // error to mend in the file, and is told as what it is, on its line.
        try {
            closedDays.refuseIfClosed(entry.accounting.company, entry.accounting.date);
        } catch (const Refusal &refusal) {
            refuse(QStringLiteral("%1: %2").arg(movementNamed, refusal.message()));
        }
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
                            QStringLiteral("%1: lançamento não pode ser contabilizado (%2).")
                                .arg(movementNamed, problems.join(QStringLiteral("; "))));
            appendAccountingRows(lines, draft, QString());
            appendApportionmentRows(shares, draft, QString());
            appendErrorRows(errors, draft);
            continue;
        }
        if (accountingErrors)
            continue;
        if (!kind.isCredit() && !budget.admit(entry.accounting))
            refuse(QStringLiteral("%1: Lançamento não foi incluído pois supera o valor orçado.")
                       .arg(movementNamed));
        QString number;
        if (draft.accounted)
            number = accountingNumbers.next(draft.company);
        writes.add(entry, draft, number);
        checks.written(entry);
        context.reportWrite(entry.accounting.account, {entry.movement, entry.number});
        appendAccountingRows(lines, draft, number);
        appendApportionmentRows(shares, draft, number);
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
        // The rows not written yet are dropped with the writer, and the audit names none of those undone.
        context.sql.executeScript(QStringLiteral("ROLLBACK TO SAVEPOINT IMPORTACAO"));
        context.written.clear();
        return VariantList{result, lines, shares, errors};
    }
    writes.flush();
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

// GetDiaFechado(company, date): why an entry of the company on that day would be refused to the session's
// operator (a day the blocked-date rule closes to them, or one outside the company's open accounting period),
// in the words the import's write refuses it with; empty when the day is open. A company the operator is not
// related to is refused. Read only: the import's check asks it for each day of the file, so that a file
// checked clean is not refused by the import for its days.
Variant closedDay(CallContext &context, VariantList &args) {
    const QString company = code(args[0]);
    if (!allowCompany(context, company))
        refuse(QStringLiteral("Empresa %1 não cadastrada.").arg(company.left(20)));
    if (!args[1].toDate().isValid())
        refuse(QStringLiteral("Data inválida."));
    try {
        refuseClosedDay(context.sql, context.operatorCode, company, args[1].toDate());
    } catch (const Refusal &refusal) {
        return refusal.message();
    }
    return QString();
}

} // namespace

void addImportMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("GetDiaFechado"),
                  .args = {ArgKind::Text, ArgKind::Date},
                  .handler = closedDay});
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
