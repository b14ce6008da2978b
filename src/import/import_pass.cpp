#include "import/import_pass.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

#include <deque>
#include <map>
#include <stdexcept>
#include <tuple>

#include "entry_model/entry_kind.h"
#include "framework/checks/consiste.h"
#include "framework/remote/net_connection.h"
#include "framework/session/login_context.h"
#include "framework/session/operator_lookups.h"
#include "framework/text/document_key.h"
#include "framework/text/whole_characters.h"
#include "import/amount_text.h"
#include "import/workbook_table.h"

namespace Cli_bco11104 {

using Cli_bco11100::CreditKind;
using Cli_bco11100::DebitKind;
using Cli_bco11100::EntryKind;

namespace {

// What an imported movement's history adds to its description.
const QString historySuffix = QStringLiteral(" (Importação via xls)");

// The steps of the checks, for ordering a row's lines.
enum Step {
    DateStep = 0,
    AccountStep = 1,
    BranchStep = 2,
    KindStep = 3,
    TypeStep = 4,
    AmountStep = 5,
    DocumentStep = 6,
    PartiesStep = 7,
    PartyStep = 8,
    DescriptionStep = 9,
    DuplicateStep = 10,
};

const QStringList headings = {
    QStringLiteral("Data"),       QStringLiteral("Conta Corrente"), QStringLiteral("Filial"),
    QStringLiteral("Forma"),      QStringLiteral("Tipo"),           QStringLiteral("Descrição"),
    QStringLiteral("Valor"),      QStringLiteral("Documento"),      QStringLiteral("Cliente"),
    QStringLiteral("Fornecedor"),
};
enum Column { Data, ContaCorrente, Filial, Forma, Tipo, Descricao, Valor, Documento, Cliente, Fornecedor };
// The step that checks each column, by which its problems are listed.
constexpr int stepOfColumn[] = {DateStep,        AccountStep, BranchStep,   KindStep,  TypeStep,
                                DescriptionStep, AmountStep,  DocumentStep, PartyStep, PartyStep};

QString cut(const QString &value, int width) {
    return bco::leftWholeCharacters(value, width);
}

// The decimals of a number as a spreadsheet program shows it at most: fifteen significant digits, past which
// what the binary fraction holds is no digit of the sheet's (0.1 + 0.2 shows 0.3, 1/3 shows fifteen 3s).
int decimalsShown(double number) {
    const QString shown = bco::numberText(number);
    const qsizetype exponentAt = shown.indexOf(u'E');
    const QString mantissa = exponentAt < 0 ? shown : shown.left(exponentAt);
    const qsizetype point = mantissa.indexOf(u',');
    const int fraction = point < 0 ? 0 : static_cast<int>(mantissa.size() - point - 1);
    const int exponent = exponentAt < 0 ? 0 : shown.mid(exponentAt + 1).toInt();
    return std::max(0, fraction - exponent);
}

// Whether a number is whole cents but for what binary arithmetic leaves: a difference of two amounts
// (12345,67 - 12300) carries its residue into the fifteen digits shown, 45,6700000000001, though the sheet
// shows 45,67 in any format of two decimals.
bool arithmeticResidue(double number) {
    const double cents = number * 100.0;
    return std::fabs(cents - std::round(cents)) <= 1e-6;
}

// The amount of a Valor cell: a number cell as it is, a text in either convention; rounded to the cent,
// since amounts are stored in cents. A number past the cent (12.3456, the value of =1/3) is refused as the
// same text is: three rows of =1/3 sum to 1,00 in the sheet and would to 0,99 in the books. What binary
// fractions leave past the cent (0.1 + 0.2) is no fraction of one.
bco::AmountReading amountOf(const bco::WorkbookCell &cell) {
    bco::AmountReading reading;
    switch (cell.kind()) {
    case bco::CellKind::Number:
        reading.value = cell.number();
        reading.outcome = !std::isfinite(reading.value) || arithmeticResidue(reading.value) ||
                                  decimalsShown(reading.value) <= 2
                              ? bco::AmountReading::Outcome::Amount
                              : bco::AmountReading::Outcome::FractionOfACent;
        break;
    case bco::CellKind::Empty:
        reading.outcome = bco::AmountReading::Outcome::Amount;
        break;
    case bco::CellKind::Text:
        if (cell.isBlank())
            reading.outcome = bco::AmountReading::Outcome::Amount;
        else
            reading = bco::readAmountText(cell.textValue());
        break;
    case bco::CellKind::Date:
    case bco::CellKind::Boolean:
    case bco::CellKind::Error:
        break;
    }
    reading.value = Consiste::RoundDec(reading.value, 2);
    return reading;
}

} // namespace

ImportPass::ImportPass(bco::NetConnection &server, const bco::TMessages &catalogue, ImportRecords &records)
    : server_(server)
    , catalogue_(catalogue)
    , records_(records) {
}

bool ImportPass::Clean() const {
    return completed_ && records_.cdsErro.IsEmpty() && credits_ + debits_ > 0;
}

bool ImportPass::FoundNoEntries() const {
    return completed_ && records_.cdsErro.IsEmpty() && credits_ + debits_ == 0;
}

bool ImportPass::Importable() const {
    return building_ && Clean() && !records_.entry.cdsMovBanc.IsEmpty();
}

int ImportPass::LineOfMovement(const QString &account, const QString &movement) const {
    const auto found = lineOfMovement_.find({account.trimmed(), movement.trimmed()});
    return found == lineOfMovement_.end() ? 0 : found->second;
}

void ImportPass::Start() {
    askedAccounts_.clear();
    askedParties_.clear();
    searchedDays_.clear();
    askedDays_.clear();
    partyCodes_.clear();
    branchesOfCompany_.clear();
    lineOfMovement_.clear();
    askedCompanyDays_.clear();
    closedDays_.clear();
    credits_ = debits_ = 0;
    creditTotal_ = debitTotal_ = 0.0;
    clean_ = true;
    unlistedErrors_ = 0;
    firstUnlistedLine_ = 0;
    completed_ = false;
    records_.answered.clear();
    operatorCompanies_.clear();
    Dbgeral::ListaEmpresaOper(Ondrima::Operador(), operatorCompanies_);
    Cli_bco11100::EntryRecords &entry = records_.entry;
    for (bco::ClientDataSet *fresh :
         {&entry.cdsFilial, &records_.cdsErro, &entry.cdsMovBanc, &entry.cdsCredito, &entry.cdsDebito}) {
        fresh->Close();
        fresh->CreateDataSet();
    }
}

void ImportPass::Run(const QString &path, ImportProgress &progress, Purpose purpose, QChar onlyKind) {
    Start();
    building_ = purpose == Purpose::Import;
    struct Finish {
        ImportProgress &progress;
        ~Finish() { progress.Finished(); }
    } finish{progress};

    std::vector<PreRecord> rows = ReadRows(path);
    // A row whose kind cannot be told stays, to be told as the error it is.
    if (!onlyKind.isNull())
        std::erase_if(rows, [onlyKind](const PreRecord &row) {
            return !row.letter.isNull() && row.letter != onlyKind;
        });
    for (size_t i = 0; i < rows.size(); ++i)
        if (Searchable(rows[i]))
            searchedDays_[{rows[i].account, rows[i].date}].push_back(i);
    progress.Started(static_cast<int>(rows.size()));
    Cli_bco11100::EntryRecords &entry = records_.entry;
    for (bco::ClientDataSet *quiet :
         {&records_.cdsErro, &entry.cdsMovBanc, &entry.cdsCredito, &entry.cdsDebito})
        quiet->DisableControls();
    struct Enable {
        std::vector<bco::ClientDataSet *> sets;
        ~Enable() {
            for (bco::ClientDataSet *set : sets)
                set->EnableControls();
        }
    } enable{{&records_.cdsErro, &entry.cdsMovBanc, &entry.cdsCredito, &entry.cdsDebito}};

    // The server answers the questions of the next rows while the answers of these are read here: each batch
    // goes out on a worker as soon as it is known and is read back here in row order.
    const auto chunkEnd = [&rows](size_t first) {
        return std::min(rows.size(), first + BatchRows);
    };
    Questions questions = Ask(rows, 0, chunkEnd(0));
    std::future<Answers> asked = Send(server_, std::move(questions.calls));
    for (size_t first = 0; first < rows.size(); first += BatchRows) {
        const size_t end = chunkEnd(first);
        const Answers answers = asked.get();
        const Questions current = std::move(questions);
        if (end < rows.size()) {
            questions = Ask(rows, end, chunkEnd(end));
            asked = Send(server_, std::move(questions.calls));
        }
        ReadAnswers(rows, first, end, current, answers);
        for (size_t i = first; i < end; ++i) {
            PreRecord &row = rows[i];
            std::stable_sort(row.problems.begin(), row.problems.end(),
                             [](const auto &a, const auto &b) { return a.step < b.step; });
            clean_ = clean_ && row.problems.empty();
            if (row.letter == u'C') {
                ++credits_;
                creditTotal_ += row.amount;
            } else if (row.letter == u'D') {
                ++debits_;
                debitTotal_ += row.amount;
            }
            WriteErrors(row);
        }
        progress.Advanced(static_cast<int>(end));
    }
    if (unlistedErrors_ > 0)
        AppendError(firstUnlistedLine_, 0,
                    catalogue_.Msg(QStringLiteral("Erros_NaoListados"))
                        .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(unlistedErrors_)));
    // Numbers are drawn once the whole file is known to be clean, a few calls for all its rows: a file with a
    // problem anywhere takes none.
    if (building_ && clean_ && !rows.empty()) {
        std::vector<bco::NetConnection::BatchCall> draws = NumberCalls(rows);
        Build(rows, server_.CallBatch(draws));
    }
    completed_ = true;
}

bco::WorkbookSelection ImportSelection() {
    bco::WorkbookSelection selection;
    selection.headings = headings;
    selection.entryHeadings = {headings[Descricao], headings[Documento], headings[Cliente],
                               headings[Fornecedor]};
    return selection;
}

std::vector<PreRecord> ImportPass::ReadRows(const QString &path) {
    const bco::WorkbookTable table = bco::WorkbookTable::read(path, ImportSelection());
    std::vector<PreRecord> rows(static_cast<size_t>(table.rowCount()));
    for (int r = 0; r < table.rowCount(); ++r) {
        PreRecord &row = rows[static_cast<size_t>(r)];
        row.line = r + 2;
        row.sheetRow = table.sheetRow(r);
        try {
            row.date = table.date(r, Data);
        } catch (const bco::WorkbookError &) {
            row.refuse(DateStep, "Data_Inv");
        }
        row.account = Consiste::Ajusta(table.text(r, ContaCorrente), 3);
        row.branch = table.cell(r, Filial);
        row.branchText = table.text(r, Filial);
        const QString letter = table.text(r, Forma).trimmed().toUpper();
        if (letter == u"C" || letter == u"D")
            row.letter = letter.front();
        row.type = Consiste::Ajusta(table.text(r, Tipo), 4);
        // Text pasted from some programs spells an accent as a letter and a combining mark: stored as typed,
        // "Lançamento" would count 11 characters against the 40 the description holds, and compare unlike
        // the same word typed.
        // A cell's text may run over lines (a break typed in the cell): the entry's fields hold one line,
        // as the spreadsheet shows it wrapped.
        row.descriptionCell =
            bco::asOneLineField(table.text(r, Descricao).normalized(QString::NormalizationForm_C));
        const bco::WorkbookCell &valor = table.cell(r, Valor);
        const bco::AmountReading amount = amountOf(valor);
        row.amountIsNumber = amount.outcome == bco::AmountReading::Outcome::Amount;
        row.amount = amount.value;
        // The books hold amounts below 10^13 (fifteen digits with the cents): a larger one is its row's
        // error, and is not sent to the duplicate search, which would refuse the whole file for it.
        row.amountTooLarge = row.amountIsNumber && !(std::fabs(row.amount) < 1e13);
        if (row.amountTooLarge)
            row.amountIsNumber = false;
        if (amount.outcome == bco::AmountReading::Outcome::Ambiguous)
            row.amountReadings = {valor.textValue().trimmed(), amount.asThousands, amount.asDecimals};
        if (amount.outcome == bco::AmountReading::Outcome::FractionOfACent)
            row.amountPastTheCent =
                valor.kind() == bco::CellKind::Number
                    ? QLocale(QLocale::Portuguese, QLocale::Brazil).toString(valor.number(), 'g', 15)
                    : valor.textValue().trimmed();
        row.document = bco::asOneLineField(table.text(r, Documento));
        // A party of blanks alone names nobody, in either column, however the sheet came to hold them.
        row.customerText = table.text(r, Cliente).trimmed();
        row.supplierText = table.text(r, Fornecedor).trimmed();
        // A formula's error would be read as the text of its code: a description "#N/A", say. Data and
        // Valor refuse it as no date and no number already.
        for (int column = ContaCorrente; column <= Fornecedor; ++column)
            if (column != Valor && table.cell(r, column).kind() == bco::CellKind::Error)
                row.refuse(stepOfColumn[column], "Celula_Erro", {headings[column], table.text(r, column)});
        CheckLocally(row);
    }
    return rows;
}

// Steps 1, 3 to 7 and 9: what the account and type queries and the row itself tell.
void ImportPass::CheckLocally(PreRecord &row) {
    const auto ignoringCase = bco::LocateOptions(bco::LocateOption::CaseInsensitive);
    if (!records_.qryContCorr.Locate(QStringLiteral("CDREDUCONT"), row.account, ignoringCase)) {
        row.refuse(AccountStep, "ContCorr_NCAD");
    } else {
        const QString company = records_.qryContCorr.FieldByName(u"CDEMPRESA").AsString();
        if (operatorCompanies_.contains(u'\'' + company + u'\''))
            row.company = company;
        else
            row.refuse(AccountStep, "ContCorr_Nr");
    }

    if (row.letter.isNull()) {
        row.refuse(KindStep, "Forma_Inv");
    } else {
        const EntryKind &kind = row.letter == u'C' ? CreditKind() : DebitKind();
        bco::LocalQuery &types = kind.isCredit() ? records_.entry.qryLancCred : records_.entry.qryLancDeb;
        if (types.Locate(QString::fromLatin1(kind.type), row.type, ignoringCase)) {
            row.financialClass = types.FieldByName(u"CDCLASSFINA").AsString();
            row.description = row.descriptionCell;
            if (Consiste::EmptyString(row.description))
                row.description =
                    types.FieldByName(kind.isCredit() ? u"DSTPCREDBANC" : u"DSTPDEBIBANC").AsString();
            // As the entry form and the server's write refuse it: an accounted type whose ledger account is
            // kept by customer or by supplier needs one named, or the import would write half the file.
            const bool accounted =
                types.FieldByName(kind.isCredit() ? u"IDCTBLCRBANC" : u"IDCTBLDBBANC").AsString().trimmed() ==
                u"S";
            const QString keptBy = types.FieldByName(u"IDTIPOCOME").AsString().trimmed();
            if (accounted && keptBy == u"C" && row.customerText.isEmpty())
                row.refuse(PartyStep, "CLIE_N_INF");
            if (accounted && keptBy == u"F" && row.supplierText.isEmpty())
                row.refuse(PartyStep, "FORN_N_INF");
        } else {
            row.refuse(TypeStep, kind.isCredit() ? "TpCred_Inv" : "TpDeb_Inv");
        }
    }
    if (row.amountTooLarge)
        row.refuse(AmountStep, "Valor_Grande");
    else if (!row.amountReadings.isEmpty())
        row.refuse(AmountStep, "Valor_Amb", row.amountReadings);
    else if (!row.amountPastTheCent.isEmpty())
        row.refuse(AmountStep, "Valor_Centavo", {row.amountPastTheCent});
    else if (!row.amountIsNumber)
        row.refuse(AmountStep, "Valor_Inv");
    else if (!(row.amount > 0.0))
        row.refuse(AmountStep, "Valor_Inf");
    if (row.document.size() > 10)
        row.refuse(DocumentStep, "Doc_Inv");
    if (!row.customerText.isEmpty() && !row.supplierText.isEmpty())
        row.refuse(PartiesStep, "Clie_Forn_Inv");
    if (row.descriptionCell.size() > 40)
        row.refuse(DescriptionStep, "Desc_Inv");
}

std::future<ImportPass::Answers> ImportPass::Send(bco::NetConnection &connection,
                                                  std::vector<bco::NetConnection::BatchCall> calls) {
    return std::async(std::launch::async, [&connection, calls = std::move(calls)]() mutable {
        // A day of many rows carries its searches in several calls, which go in requests of a size the
        // server reads: it refuses a request of more than a million items as malformed.
        Answers answers;
        std::vector<bco::NetConnection::BatchCall> request;
        size_t searches = 0;
        const auto sendRequest = [&] {
            if (request.empty())
                return;
            Answers answered = connection.CallBatch(request);
            std::move(answered.begin(), answered.end(), std::back_inserter(answers));
            request.clear();
            searches = 0;
        };
        for (bco::NetConnection::BatchCall &call : calls) {
            const size_t carried =
                call.args.size() == 1 && call.args[0].isArray() ? call.args[0].array().size() : 0;
            if (searches + carried > static_cast<size_t>(MostSearchesPerRequest))
                sendRequest();
            searches += carried;
            request.push_back(std::move(call));
        }
        sendRequest();
        return answers;
    });
}

namespace {

// The look-up of a row's customer or supplier: twins that differ by the method, the record the answer fills,
// its code field and the problem of a code nobody registered.
struct PartyLookup {
    const char *method;
    bco::ClientDataSet Cli_bco11100::EntryRecords::*record;
    const char *codeField;
    const char *unknown;
    QString PreRecord::*text;
    QString PreRecord::*code;
};

const PartyLookup supplierLookup{"getFornecedor",
                                 &Cli_bco11100::EntryRecords::cdsFornecedor,
                                 "CDFORNECED",
                                 "Fornecedor_n_cad",
                                 &PreRecord::supplierText,
                                 &PreRecord::supplier};
const PartyLookup customerLookup{"getCliente",
                                 &Cli_bco11100::EntryRecords::cdsCliente,
                                 "CDCLIENTE",
                                 "Cliente_NCAD",
                                 &PreRecord::customerText,
                                 &PreRecord::customer};

// Whom a row names: the supplier, else the customer; nobody when it names both (a problem of its own) or
// neither.
const PartyLookup *partyOf(const PreRecord &row) {
    if (!row.customerText.isEmpty() && !row.supplierText.isEmpty())
        return nullptr;
    if (!row.supplierText.isEmpty())
        return &supplierLookup;
    if (!row.customerText.isEmpty())
        return &customerLookup;
    return nullptr;
}

} // namespace

// Steps 2, 8 and 10 for the rows [first, end): the branches of accounts met for the first time, the
// customers and suppliers not asked about before in this pass, the duplicate searches of the days met for the
// first time.
ImportPass::Questions ImportPass::Ask(const std::vector<PreRecord> &rows, size_t first, size_t end) {
    Questions questions;
    for (size_t i = first; i < end; ++i) {
        const PreRecord &row = rows[i];
        if (!row.company.isEmpty() && askedAccounts_.insert(row.account).second) {
            questions.calls.push_back({QStringLiteral("getFilial"), {row.company, QString()}});
            questions.asked.push_back({i, Asked::Branches});
        }
        if (!row.company.isEmpty() && row.date.isValid() &&
            askedCompanyDays_.insert({row.company, row.date}).second) {
            questions.calls.push_back({QStringLiteral("GetDiaFechado"), {row.company, row.date}});
            questions.asked.push_back({i, Asked::Day});
        }
        if (const PartyLookup *party = partyOf(row)) {
            questions.partyRows.push_back(i);
            const QString &text = row.*party->text;
            if (askedParties_.insert({QString::fromLatin1(party->method), text}).second) {
                questions.calls.push_back({QString::fromLatin1(party->method), {text, QString()}});
                questions.asked.push_back({i, Asked::Party});
            }
        }
    }
    AskDuplicates(rows, first, end, questions);
    return questions;
}

// The server can tell a duplicate only of a registered account, a date and an amount.
bool ImportPass::Searchable(const PreRecord &row) {
    return !row.company.isEmpty() && row.date.isValid() && row.amountIsNumber;
}

// The searches of every day met first in the rows [first, end), each day's whole in one call where it fits:
// the server lets each movement it holds be found once a call. A day of more rows than a call takes is
// searched over several calls, rows that can repeat one movement in the same call as far as they fit.
void ImportPass::AskDuplicates(const std::vector<PreRecord> &rows, size_t first, size_t end,
                               Questions &questions) {
    bco::VariantList searches;
    std::vector<size_t> searched;
    const auto send = [&] {
        if (searches.empty())
            return;
        questions.calls.push_back(
            {QStringLiteral("getPesqMovBancLote"), {bco::Variant(std::move(searches))}});
        questions.asked.push_back({questions.searchedRows.size(), Asked::Duplicates});
        questions.searchedRows.push_back(std::move(searched));
        searches.clear();
        searched.clear();
    };
    const auto fits = [&searches](size_t more) {
        return searches.size() + more <= static_cast<size_t>(MostSearchesPerCall);
    };
    for (size_t i = first; i < end; ++i) {
        const PreRecord &row = rows[i];
        if (!Searchable(row) || !askedDays_.insert({row.account, row.date}).second)
            continue;
        const std::vector<size_t> &day = searchedDays_.at({row.account, row.date});
        if (!fits(day.size()))
            send();
        for (const std::vector<size_t> &equal : RowsThatMayRepeatOneMovement(rows, day)) {
            if (!fits(equal.size()))
                send();
            for (const size_t at : equal) {
                if (!fits(1))
                    send();
                const PreRecord &searchedRow = rows[at];
                bco::VariantList search{searchedRow.account, searchedRow.date, searchedRow.document,
                                        searchedRow.amount, searchedRow.description + historySuffix};
                // A debit that reverses a credit of the same values repeats no entry.
                if (!searchedRow.letter.isNull())
                    search.push_back(QString(searchedRow.letter));
                searches.push_back(std::move(search));
                searched.push_back(at);
            }
        }
    }
    send();
}

std::vector<std::vector<size_t>> ImportPass::RowsThatMayRepeatOneMovement(const std::vector<PreRecord> &rows,
                                                                          const std::vector<size_t> &day) {
    std::vector<std::vector<size_t>> groups;
    std::map<std::tuple<qint64, QString, QString>, size_t> groupOf;
    for (const size_t at : day) {
        const PreRecord &row = rows[at];
        // As the server compares a row with the movements it holds, kind aside (a row of no kind meets
        // either): the amount to the cent, the document as repetitions compare it and the history's first
        // 40 characters, its outer blanks set aside.
        const auto key =
            std::tuple(std::llround(std::abs(row.amount) * 100), bco::documentKey(row.document),
                       bco::trimBlanks(bco::leftWholeCharacters(row.description + historySuffix, 40)));
        const auto [found, isNew] = groupOf.try_emplace(key, groups.size());
        if (isNew)
            groups.emplace_back();
        groups[found->second].push_back(at);
    }
    return groups;
}

void ImportPass::ReadAnswers(std::vector<PreRecord> &rows, size_t first, size_t end,
                             const Questions &questions, const Answers &answers) {
    Cli_bco11100::EntryRecords &entry = records_.entry;
    size_t branchesChecked = first;
    // A row's branch is checked once the branches of every account before it and of its own are known.
    const auto checkBranchesUpTo = [&](size_t upTo) {
        for (; branchesChecked < upTo; ++branchesChecked) {
            PreRecord &row = rows[branchesChecked];
            if (row.company.isEmpty())
                continue;
            const auto &branches = branchesOfCompany_[row.company];
            if (!branches.contains(row.branch.toText().toUpper()))
                row.refuse(BranchStep, "Filial_Inv");
        }
    };
    for (size_t q = 0; q < questions.asked.size(); ++q) {
        const auto &[at, asked] = questions.asked[q];
        const bco::Variant payload = Consiste::CheckResultServ(answers[q], true, 0);
        switch (asked) {
        case Asked::Branches:
            AddBranches(rows[at].company, payload);
            checkBranchesUpTo(at + 1);
            break;
        case Asked::Party: {
            const PreRecord &row = rows[at];
            const PartyLookup &party = *partyOf(row);
            bco::ClientDataSet &record = entry.*party.record;
            record.SetData(payload);
            partyCodes_[{QString::fromLatin1(party.method), row.*party.text}] =
                record.IsEmpty() ? QString()
                                 : record.FieldByName(QString::fromLatin1(party.codeField)).AsString();
            break;
        }
        case Asked::Duplicates:
            ReadDuplicates(rows, questions.searchedRows[at], payload);
            break;
        case Asked::Day:
            closedDays_[{rows[at].company, rows[at].date}] = payload.toText();
            break;
        }
    }
    checkBranchesUpTo(end);
    // Every day of these rows was asked about with them or with rows before, whose answers are read.
    for (size_t i = first; i < end; ++i) {
        PreRecord &row = rows[i];
        if (row.company.isEmpty() || !row.date.isValid())
            continue;
        if (const QString &closed = closedDays_.at({row.company, row.date}); !closed.isEmpty())
            row.refuse(DateStep, "Dia_Fechado", {closed});
    }
    // Every party of these rows was asked about with them or with rows before, whose answers are read.
    for (const size_t at : questions.partyRows) {
        PreRecord &row = rows[at];
        const PartyLookup &party = *partyOf(row);
        const QString &code = partyCodes_.at({QString::fromLatin1(party.method), row.*party.text});
        if (code.isEmpty())
            row.refuse(PartyStep, party.unknown);
        else
            row.*party.code = code;
    }
}

// The answer of the duplicate searches: for each searched row, the movement it repeats (empty when none). The
// rows of a day checked later are told here too.
void ImportPass::ReadDuplicates(std::vector<PreRecord> &rows, const std::vector<size_t> &searched,
                                const bco::Variant &answer) {
    if (!answer.isArray() || answer.array().size() != searched.size())
        throw std::runtime_error(
            QStringLiteral("O servidor respondeu %1 à pesquisa de %2 movimentos já incluídos.")
                .arg(bco::describe(answer).left(40))
                .arg(searched.size())
                .toStdString());
    const bco::VariantList &found = answer.array();
    for (size_t i = 0; i < searched.size(); ++i) {
        if (!found[i].toText().isEmpty())
            rows[searched[i]].refuse(DuplicateStep, "Lanc_Ja_Cad");
    }
}

void ImportPass::AddBranches(const QString &company, const bco::Variant &packet) {
    records_.cdsFilialAux.SetData(packet);
    bco::ClientDataSet &branches = records_.entry.cdsFilial;
    std::set<QString> &ofCompany = branchesOfCompany_[company];
    for (records_.cdsFilialAux.First(); !records_.cdsFilialAux.Eof(); records_.cdsFilialAux.Next()) {
        const QString code = records_.cdsFilialAux.FieldByName(u"CDFILIAL").AsString();
        ofCompany.insert(code.toUpper());
        branches.Append();
        branches.FieldByName(u"CDFILIAL").SetAsString(code);
        branches.FieldByName(u"NMFILIAL")
            .SetAsString(records_.cdsFilialAux.FieldByName(u"NMFILIAL").AsString());
        branches.FieldByName(u"CDCENTCUST")
            .SetAsString(records_.cdsFilialAux.FieldByName(u"CDCENTCUST").AsString());
        branches.Post();
    }
}

namespace {

// The numbers the rows need: for each account and series, in the order the rows first ask for them, the
// method that draws them and how many, in runs of at most MostNumbersPerDraw. Each run is drawn in one call
// (the server hands out consecutive numbers), so that a file costs a few commits instead of two a row.
struct NumberRun {
    QString method;
    QString account;
    int count = 0;
};

std::vector<NumberRun> numberRuns(const std::vector<PreRecord> &rows) {
    std::vector<NumberRun> runs;
    std::map<std::pair<QString, QString>, size_t> open; // the run of each method and account still filling
    const auto add = [&](const QString &method, const QString &account) {
        const auto [found, first] = open.try_emplace({method, account}, runs.size());
        if (first || runs[found->second].count == ImportPass::MostNumbersPerDraw) {
            found->second = runs.size();
            runs.push_back({method, account, 0});
        }
        ++runs[found->second].count;
    };
    for (const PreRecord &row : rows) {
        const EntryKind &kind = row.letter == u'C' ? CreditKind() : DebitKind();
        add(QStringLiteral("getPrxMovBancario"), row.account);
        add(QString::fromLatin1(kind.numberMethod), row.account);
    }
    return runs;
}

} // namespace

// Step 11: the numbers of every row...
std::vector<bco::NetConnection::BatchCall> ImportPass::NumberCalls(const std::vector<PreRecord> &rows) {
    std::vector<bco::NetConnection::BatchCall> calls;
    for (const NumberRun &run : numberRuns(rows))
        calls.push_back({run.method, {run.account, QString::number(run.count)}});
    return calls;
}

// ...then their records.
void ImportPass::Build(const std::vector<PreRecord> &rows, const Answers &answers) {
    Cli_bco11100::EntryRecords &entry = records_.entry;
    // Where each method and account stands: the runs drawn for it, in order, and the next number of each.
    struct Drawn {
        qint64 next;
        int left;
    };
    std::map<std::pair<QString, QString>, std::deque<Drawn>> drawn;
    const std::vector<NumberRun> runs = numberRuns(rows);
    for (size_t r = 0; r < runs.size(); ++r) {
        // A number that could not be drawn must not be sent as one: the failure is the server's to tell.
        const QString number = Consiste::CheckResultServ(answers.at(r), true, 0).toText();
        bool ok = false;
        const qint64 first = number.toLongLong(&ok);
        if (!ok)
            throw std::runtime_error(QStringLiteral("O servidor respondeu \"%1\" como número de %2.")
                                         .arg(number.left(20), runs[r].method)
                                         .toStdString());
        drawn[{runs[r].method, runs[r].account}].push_back({first, runs[r].count});
    }
    const auto take = [&](const QString &method, const QString &account) {
        std::deque<Drawn> &blocks = drawn.at({method, account});
        const qint64 number = blocks.front().next++;
        if (--blocks.front().left == 0)
            blocks.pop_front();
        return QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0'));
    };
    for (const PreRecord &row : rows) {
        const EntryKind &kind = row.letter == u'C' ? CreditKind() : DebitKind();
        Cli_bco11100::NewEntryValues values;
        values.account = row.account;
        values.movement = take(QStringLiteral("getPrxMovBancario"), row.account);
        values.number = take(QString::fromLatin1(kind.numberMethod), row.account);
        values.date = row.date;
        values.value = row.amount;
        values.document = row.document;
        values.history = cut(row.description + historySuffix, 40);
        values.type = row.type;
        values.typeName = row.description;
        values.description = row.description;
        values.company = row.company;
        values.typedBranch = row.branchText;
        values.entryBranch = row.branchText;
        values.financialClass = row.financialClass;
        values.customer = row.customer;
        values.supplier = row.supplier;
        Cli_bco11100::AppendNewEntry(entry.cdsMovBanc, kind.isCredit() ? entry.cdsCredito : entry.cdsDebito,
                                     kind, values);
        // Each account draws its own numbers; a number drawn twice for one account names neither row.
        const auto [at, first] = lineOfMovement_.try_emplace({values.account, values.movement}, row.line);
        if (!first)
            at->second = 0;
    }
}

void ImportPass::WriteErrors(const PreRecord &row) {
    for (const PreRecord::Problem &problem : row.problems) {
        if (records_.cdsErro.RecordCount() >= MostListedErrors) {
            if (unlistedErrors_++ == 0)
                firstUnlistedLine_ = row.line;
            continue;
        }
        QString text = catalogue_.Msg(problem.key);
        for (const QString &value : problem.values)
            text = text.arg(value);
        AppendError(row.line, row.sheetRow, text);
    }
}

void ImportPass::AppendError(int line, int sheetRow, const QString &text) {
    bco::ClientDataSet &errors = records_.cdsErro;
    errors.Append();
    errors.FieldByName(u"NRLINHA").SetValue(line);
    if (sheetRow > 0)
        errors.FieldByName(u"NRLINHAPLAN").SetValue(sheetRow);
    errors.FieldByName(u"DSERRO").SetAsString(text);
    errors.Post();
}

} // namespace Cli_bco11104
