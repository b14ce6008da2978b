#pragma once

#include <future>
#include <map>
#include <set>
#include <vector>

#include <QDate>
#include <QString>
#include <QStringList>

#include "framework/checks/messages.h"
#include "framework/remote/net_connection.h"
#include "import/import_records.h"
#include "import/workbook_cell.h"
#include "import/workbook_table.h"

namespace Cli_bco11104 {

// What a validation pass tells whoever watches it: the form moves its progress bar and shows the hourglass;
// the command line shows nothing.
class ImportProgress {
public:
    virtual ~ImportProgress() = default;
    // The pass starts over `rows` selected rows.
    virtual void Started(int rows) = 0;
    // `done` rows have been checked.
    virtual void Advanced(int done) = 0;
    // The pass ended, or stopped on a failure.
    virtual void Finished() = 0;
};

// One row of the workbook as the pass reads it before anything is sent: its values converted once, and the
// problems that need nothing of the server, by the step that finds them.
struct PreRecord {
    int line = 0;
    int sheetRow = 0;         // the row as the spreadsheet program numbers it, which skipped rows move apart
    QDate date;               // null when the Data cell holds no date
    QString account;          // brought to 3 characters
    QString company;          // empty when the account is not registered or not the operator's to use
    bco::WorkbookCell branch; // as stored: compared without any change
    QString branchText;
    QChar letter;            // 'C' or 'D'; null when Forma is neither
    QString type;            // brought to 4 characters
    QString descriptionCell; // the Descrição cell's own text
    QString description;     // or the type's name when that is empty
    QString financialClass;
    bool amountIsNumber = true;  // the Valor cell holds one amount (not a text read two ways)
    double amount = 0.0;         // rounded to the cent
    bool amountTooLarge = false; // one amount, beyond what the books hold
    QStringList amountReadings;  // a text read two ways: the text, as thousands, as decimals
    QString amountPastTheCent;   // a text of decimals past the cent
    QString document;
    QString customerText, supplierText;
    QString customer, supplier; // the codes the look-ups found

    // The problems found, each a catalogue key (with the values its text names, %1 and on) and the step
    // that found it, so that a row's lines are listed in the order of the checks.
    struct Problem {
        int step;
        QString key;
        QStringList values;
    };
    std::vector<Problem> problems;
    void refuse(int step, const char *key, const QStringList &values = {}) {
        problems.push_back({step, QString::fromLatin1(key), values});
    }
};

// The validation pass of the import (PreparaImport): reads every selected row of sheet Plan1 of a workbook,
// checks each row field by field, writes one line into the error list for every problem found, and, when no
// problem has been found in the whole file, turns each row into a bank movement and a credit or debit record
// ready for submission. Every row is checked whatever the earlier ones gave, so that the list shows every
// problem of the file; a file with any problem builds no record and draws no number.
//
// The checks of a row, in order, each problem one line with the row's line number (2 for the first row read,
// one more for each next one; the heading row is 1) and its row in the sheet:
//   the date (Data_Inv when the Data cell holds no date);
//   1 the account (ContCorr_NCAD; ContCorr_Nr when its company is not one of the operator's), 2 its
//   company's branch (Filial_Inv, only for an account the operator may use), 3 the kind C or D in either
//   case (Forma_Inv), 4 the type of that kind (TpCred_Inv, TpDeb_Inv; only for a valid kind), 5 the amount
//   (Valor_Inv when it is not a number, Valor_Amb quoting a text that reads as thousands or as decimals
//   (AmountReading), Valor_Inf when it is not above zero), 6 the document (Doc_Inv beyond 10 characters),
//   7 not both customer and supplier (Clie_Forn_Inv), 8 the supplier, else the customer, looked up
//   (Fornecedor_n_cad, Cliente_NCAD), 9 the description's own text (Desc_Inv beyond 40 characters), 10 the
//   same movement already on the server (Lanc_Ja_Cad; asked for every row whose account, date and amount
//   can be asked about).
//
// The server is asked for an account's branches the first time the account is met, for a customer or
// supplier the first time a row names it, and for the duplicates of every row (getPesqMovBancLote: the
// searches of every row of an account's day in one call, the first time a row of that day is checked, so that
// each movement the server holds is found by one row only: of two equal rows meeting one, the first is its
// repetition and the second is new); these calls travel together in batches of BatchRows rows, in the order
// the rows need them. Once every row is checked and the file is clean, the numbers of the movements and
// records are drawn in a few calls (runs of consecutive numbers) and the records built. A failure the server
// reports is shown through CheckResultServ and stops the pass. The operator's companies are read from the
// shared database (Dbgeral::ListaEmpresaOper) as the pass starts, so that an account the server would refuse
// to talk about is that row's problem, not the end of the pass. The sheet and the columns an import reads
// from a workbook.
bco::WorkbookSelection ImportSelection();

class ImportPass {
public:
    // `catalogue` holds the import's messages (AddImportMessages); the records' queries are open.
    ImportPass(bco::NetConnection &server, const bco::TMessages &catalogue, ImportRecords &records);

    // What a pass is for: an import builds the records to send, drawing their numbers from the server; a
    // check only tells the errors and leaves the account's numbers alone, building nothing.
    enum class Purpose { Import, Check };

    // Runs the pass over the workbook at `path`. Throws bco::WorkbookError (with the operator's message) when
    // the workbook cannot be read or lacks the sheet or a heading, and Consiste::EAbort after a server
    // failure was shown. Either way the error lines written so far stay and the records cannot be sent.
    // With `onlyKind` 'C' or 'D', the rows of the other kind are left out, neither checked nor built: what
    // sends the debits of a file whose credits are in already (their rows would be repetitions).
    void Run(const QString &path, ImportProgress &progress, Purpose purpose = Purpose::Import,
             QChar onlyKind = QChar());

    // The last pass ran to its end and the file is free of errors and has at least one row.
    bool Clean() const;
    // The last pass ran to its end over a file without a row to import (and so without errors).
    bool FoundNoEntries() const;
    // How many credits and debits the file's rows make (of the last pass, when Clean).
    int Credits() const { return credits_; }
    int Debits() const { return debits_; }
    // What the credits and the debits add up to (of the last pass, when Clean).
    double CreditTotal() const { return creditTotal_; }
    double DebitTotal() const { return debitTotal_; }
    // The last pass was an import that is Clean: its records can be sent.
    bool Importable() const;
    // The line of each movement the pass built, for telling a problem the server finds later by line (the
    // server names a movement by its number alone); 0 for a number the pass drew for rows of two accounts,
    // which each draw their own.
    int LineOfMovement(const QString &account, const QString &movement) const;

    // How many rows travel in one batch of calls.
    static constexpr int BatchRows = 500;
    // The most errors listed: a file of a million wrong rows would list millions, in gigabytes, and nobody
    // reads past the first few thousand; the rest are counted in one last row.
    static constexpr int MostListedErrors = 10000;
    // The most searches the server answers in one call of getPesqMovBancLote.
    static constexpr int MostSearchesPerCall = 10000;
    // The most searches one request of calls carries (each search takes some seven of the million items the
    // server reads in a request).
    static constexpr int MostSearchesPerRequest = 4 * MostSearchesPerCall;
    // The most numbers of one series the server hands out in one call.
    static constexpr int MostNumbersPerDraw = 100000;

private:
    using Answers = std::vector<bco::RemoteResult>;
    enum class Asked { Branches, Party, Duplicates, Day };
    // The calls that ask the server about some rows, and which row and what each asks (the duplicate
    // searches: which of `searchedRows`).
    struct Questions {
        std::vector<bco::NetConnection::BatchCall> calls;
        std::vector<std::pair<size_t, Asked>> asked;
        std::vector<size_t> partyRows; // the rows that name a customer or a supplier
        // For each call of duplicate searches, the rows it searches, in their order.
        std::vector<std::vector<size_t>> searchedRows;
    };
    using AccountDay = std::pair<QString, QDate>;

    void Start();
    std::vector<PreRecord> ReadRows(const QString &path);
    void CheckLocally(PreRecord &row);
    static bool Searchable(const PreRecord &row);
    void AskDuplicates(const std::vector<PreRecord> &rows, size_t first, size_t end, Questions &questions);
    // The rows of a day (given in the order of the file) that may repeat one stored movement, as groups in
    // the order of their first rows, each in the order of the file: rows of one amount, document and
    // history.
    static std::vector<std::vector<size_t>> RowsThatMayRepeatOneMovement(const std::vector<PreRecord> &rows,
                                                                         const std::vector<size_t> &day);
    Questions Ask(const std::vector<PreRecord> &rows, size_t first, size_t end);
    void ReadAnswers(std::vector<PreRecord> &rows, size_t first, size_t end, const Questions &questions,
                     const Answers &answers);
    static std::vector<bco::NetConnection::BatchCall> NumberCalls(const std::vector<PreRecord> &rows);
    void Build(const std::vector<PreRecord> &rows, const Answers &answers);
    // Sends the calls together on a worker; the connection serves nothing else until the answers are read.
    static std::future<Answers> Send(bco::NetConnection &connection,
                                     std::vector<bco::NetConnection::BatchCall> calls);
    static void ReadDuplicates(std::vector<PreRecord> &rows, const std::vector<size_t> &searched,
                               const bco::Variant &answer);
    void AddBranches(const QString &company, const bco::Variant &packet);
    void WriteErrors(const PreRecord &row);
    void AppendError(int line, int sheetRow, const QString &text);

    bco::NetConnection &server_;
    // The accounts whose branches have been asked for.
    std::set<QString> askedAccounts_;
    // The rows whose duplicates are searched, by account and day in the order of the file, and the days
    // whose searches have been asked.
    std::map<AccountDay, std::vector<size_t>> searchedDays_;
    std::set<AccountDay> askedDays_;
    // The customers and suppliers asked about, by look-up method and text as the rows name them, and the
    // codes the answers gave (empty for one nobody registered): each is asked once a pass.
    std::set<std::pair<QString, QString>> askedParties_;
    std::map<std::pair<QString, QString>, QString> partyCodes_;
    // Why the server would refuse an entry of each company and day asked about (empty: the day is open),
    // so that a file checked clean is not refused by the import for its days.
    using CompanyDay = std::pair<QString, QDate>;
    std::set<CompanyDay> askedCompanyDays_;
    std::map<CompanyDay, QString> closedDays_;
    const bco::TMessages &catalogue_;
    ImportRecords &records_;
    // The branches fetched for each company.
    std::map<QString, std::set<QString>> branchesOfCompany_;
    // The file's line of each movement drawn, by account and number (0 for a number drawn twice).
    std::map<std::pair<QString, QString>, int> lineOfMovement_;
    // The operator's companies, as a list of chosen codes ("'01','02'").
    QString operatorCompanies_;
    int credits_ = 0, debits_ = 0;
    double creditTotal_ = 0.0, debitTotal_ = 0.0;
    bool building_ = true;
    bool clean_ = true;
    // The errors past the most a list shows (MostListedErrors), told in one row at the end, and the line of
    // the first of them.
    qint64 unlistedErrors_ = 0;
    int firstUnlistedLine_ = 0;
    // The last pass read the whole file: a pass stopped by a failure leaves nothing to send.
    bool completed_ = false;
};

} // namespace Cli_bco11104
