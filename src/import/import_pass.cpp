#include "import/import_pass.h"

#include <stdexcept>

#include "entry_model/entry_kind.h"
#include "framework/checks/consiste.h"
#include "framework/remote/net_connection.h"
#include "framework/session/login_context.h"
#include "framework/session/operator_lookups.h"
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

QString cut(const QString &value, int width) {
    return value.left(width);
}

// The amount of a Valor cell: a number cell as it is, a text in either convention; rounded to the cent,
// since amounts are stored in cents and a fraction of a cent would reach the server as a different value.
bco::AmountReading amountOf(const bco::WorkbookCell &cell) {
    bco::AmountReading reading;
    switch (cell.kind()) {
    case bco::CellKind::Number:
        reading.outcome = bco::AmountReading::Outcome::Amount;
        reading.value = cell.number();
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

bool ImportPass::Importable() const {
    return building_ && Clean() && !records_.entry.cdsMovBanc.IsEmpty();
}

int ImportPass::LineOfMovement(const QString &movement) const {
    const auto found = lineOfMovement_.find(movement.trimmed());
    return found == lineOfMovement_.end() ? 0 : found->second;
}

void ImportPass::Start() {
    askedAccounts_.clear();
    branchesOfCompany_.clear();
    lineOfMovement_.clear();
    credits_ = debits_ = 0;
    creditTotal_ = debitTotal_ = 0.0;
    clean_ = true;
    completed_ = false;
    operatorCompanies_.clear();
    Dbgeral::ListaEmpresaOper(Ondrima::Operador(), operatorCompanies_);
    Cli_bco11100::EntryRecords &entry = records_.entry;
    for (bco::ClientDataSet *fresh :
         {&entry.cdsFilial, &records_.cdsErro, &entry.cdsMovBanc, &entry.cdsCredito, &entry.cdsDebito}) {
        fresh->Close();
        fresh->CreateDataSet();
    }
}

void ImportPass::Run(const QString &path, ImportProgress &progress, Purpose purpose) {
    Start();
    building_ = purpose == Purpose::Import;
    struct Finish {
        ImportProgress &progress;
        ~Finish() { progress.Finished(); }
    } finish{progress};

    std::vector<PreRecord> rows = ReadRows(path);
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

    // The server answers the questions of the next rows and draws the numbers of these while the records of
    // the rows before are built here: each batch goes out on a worker as soon as it is known, the questions
    // on the form's connection and the numbers on a second one, and is read back here in row order.
    numbers_.SetServerOf(server_);
    const auto chunkEnd = [&rows](size_t first) {
        return std::min(rows.size(), first + BatchRows);
    };
    Questions questions = Ask(rows, 0, chunkEnd(0));
    std::future<Answers> asked = Send(server_, std::move(questions.calls));
    std::future<Answers> drawn;
    size_t drawnFirst = 0, drawnEnd = 0;
    for (size_t first = 0; first < rows.size(); first += BatchRows) {
        const size_t end = chunkEnd(first);
        const Answers answers = asked.get();
        const Questions current = std::move(questions);
        if (end < rows.size()) {
            questions = Ask(rows, end, chunkEnd(end));
            asked = Send(server_, std::move(questions.calls));
        }
        ReadAnswers(rows, first, end, current, answers);
        size_t cleanEnd = first;
        for (size_t i = first; i < end; ++i) {
            std::stable_sort(rows[i].problems.begin(), rows[i].problems.end(),
                             [](const auto &a, const auto &b) { return a.step < b.step; });
            if (clean_ && rows[i].problems.empty())
                cleanEnd = i + 1;
            else
                clean_ = false;
        }
        for (size_t i = first; i < end; ++i) {
            if (rows[i].letter == u'C') {
                ++credits_;
                creditTotal_ += rows[i].amount;
            } else if (rows[i].letter == u'D') {
                ++debits_;
                debitTotal_ += rows[i].amount;
            }
        }
        std::future<Answers> drawing;
        if (building_ && cleanEnd > first)
            drawing = Send(numbers_, NumberCalls(rows, first, cleanEnd));
        if (drawn.valid())
            Build(rows, drawnFirst, drawnEnd, drawn.get());
        drawn = std::move(drawing);
        drawnFirst = first;
        drawnEnd = cleanEnd;
        for (size_t i = first; i < end; ++i)
            WriteErrors(rows[i]);
        progress.Advanced(static_cast<int>(end));
    }
    if (drawn.valid())
        Build(rows, drawnFirst, drawnEnd, drawn.get());
    completed_ = true;
}

std::vector<PreRecord> ImportPass::ReadRows(const QString &path) {
    bco::WorkbookSelection selection;
    selection.headings = headings;
    const bco::WorkbookTable table = bco::WorkbookTable::read(path, selection);
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
        const QString letter = table.text(r, Forma).toUpper();
        if (letter == u"C" || letter == u"D")
            row.letter = letter.front();
        row.type = Consiste::Ajusta(table.text(r, Tipo), 4);
        row.descriptionCell = table.text(r, Descricao);
        const bco::WorkbookCell &valor = table.cell(r, Valor);
        const bco::AmountReading amount = amountOf(valor);
        row.amountIsNumber = amount.outcome == bco::AmountReading::Outcome::Amount;
        row.amount = amount.value;
        if (amount.outcome == bco::AmountReading::Outcome::Ambiguous)
            row.amountReadings = {valor.textValue().trimmed(), amount.asThousands, amount.asDecimals};
        row.document = table.text(r, Documento);
        row.customerText = table.text(r, Cliente);
        row.supplierText = table.text(r, Fornecedor);
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
        } else {
            row.refuse(TypeStep, kind.isCredit() ? "TpCred_Inv" : "TpDeb_Inv");
        }
    }
    if (!row.amountReadings.isEmpty())
        row.refuse(AmountStep, "Valor_Amb", row.amountReadings);
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
        return connection.CallBatch(calls);
    });
}

// Steps 2, 8 and 10 for the rows [first, end): the branches of accounts met for the first time, the
// customer or supplier, the duplicate search.
ImportPass::Questions ImportPass::Ask(const std::vector<PreRecord> &rows, size_t first, size_t end) {
    Questions questions;
    for (size_t i = first; i < end; ++i) {
        const PreRecord &row = rows[i];
        if (!row.company.isEmpty() && askedAccounts_.insert(row.account).second) {
            questions.calls.push_back({QStringLiteral("getFilial"), {row.company, QString()}});
            questions.asked.push_back({i, Asked::Branches});
        }
        if (row.customerText.isEmpty() || row.supplierText.isEmpty()) {
            if (!row.supplierText.isEmpty()) {
                questions.calls.push_back({QStringLiteral("getFornecedor"), {row.supplierText, QString()}});
                questions.asked.push_back({i, Asked::Supplier});
            } else if (!Consiste::EmptyString(row.customerText)) {
                questions.calls.push_back({QStringLiteral("getCliente"), {row.customerText, QString()}});
                questions.asked.push_back({i, Asked::Customer});
            }
        }
        // The server can tell a duplicate only of a registered account, a date and an amount.
        if (!row.company.isEmpty() && row.date.isValid() && row.amountIsNumber) {
            questions.calls.push_back(
                {QStringLiteral("getPesqMovBanc"),
                 {row.account, row.date, row.document, row.amount, row.description + historySuffix}});
            questions.asked.push_back({i, Asked::Duplicate});
        }
    }
    return questions;
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
        PreRecord &row = rows[at];
        const bco::Variant payload = Consiste::CheckResultServ(answers[q], true, 0);
        switch (asked) {
        case Asked::Branches:
            AddBranches(row.company, payload);
            checkBranchesUpTo(at + 1);
            break;
        case Asked::Supplier:
            entry.cdsFornecedor.SetData(payload);
            if (entry.cdsFornecedor.IsEmpty())
                row.refuse(PartyStep, "Fornecedor_n_cad");
            else
                row.supplier = entry.cdsFornecedor.FieldByName(u"CDFORNECED").AsString();
            break;
        case Asked::Customer:
            entry.cdsCliente.SetData(payload);
            if (entry.cdsCliente.IsEmpty())
                row.refuse(PartyStep, "Cliente_NCAD");
            else
                row.customer = entry.cdsCliente.FieldByName(u"CDCLIENTE").AsString();
            break;
        case Asked::Duplicate:
            // Only whether the search found anything matters; its packet is not kept.
            if (payload.isPacket() && payload.packet().rowCount() > 0)
                row.refuse(DuplicateStep, "Lanc_Ja_Cad");
            break;
        }
    }
    checkBranchesUpTo(end);
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

// The numbers the clean rows [first, end) need: for each account and series, in the order the rows first ask
// for them, the method that draws them and how many. Each run is drawn in one call (the server hands out
// consecutive numbers), so that a batch costs a few commits instead of two a row.
struct NumberRun {
    QString method;
    QString account;
    int count = 0;
};

std::vector<NumberRun> numberRuns(const std::vector<PreRecord> &rows, size_t first, size_t end) {
    std::vector<NumberRun> runs;
    const auto add = [&runs](const QString &method, const QString &account) {
        for (NumberRun &run : runs) {
            if (run.method == method && run.account == account) {
                ++run.count;
                return;
            }
        }
        runs.push_back({method, account, 1});
    };
    for (size_t i = first; i < end; ++i) {
        const EntryKind &kind = rows[i].letter == u'C' ? CreditKind() : DebitKind();
        add(QStringLiteral("getPrxMovBancario"), rows[i].account);
        add(QString::fromLatin1(kind.numberMethod), rows[i].account);
    }
    return runs;
}

} // namespace

// Step 11 for the clean rows [first, end): their numbers...
std::vector<bco::NetConnection::BatchCall> ImportPass::NumberCalls(const std::vector<PreRecord> &rows,
                                                                   size_t first, size_t end) {
    std::vector<bco::NetConnection::BatchCall> calls;
    for (const NumberRun &run : numberRuns(rows, first, end))
        calls.push_back({run.method, {run.account, QString::number(run.count)}});
    return calls;
}

// ...then their records.
void ImportPass::Build(const std::vector<PreRecord> &rows, size_t first, size_t end, const Answers &answers) {
    Cli_bco11100::EntryRecords &entry = records_.entry;
    // Where each run stands: the next number it hands to a row.
    const std::vector<NumberRun> runs = numberRuns(rows, first, end);
    std::vector<qint64> next;
    for (size_t r = 0; r < runs.size(); ++r) {
        // A number that could not be drawn must not be sent as one: the failure is the server's to tell.
        const QString drawn = Consiste::CheckResultServ(answers[r], true, 0).toText();
        bool ok = false;
        next.push_back(drawn.toLongLong(&ok));
        if (!ok)
            throw std::runtime_error(QStringLiteral("O servidor respondeu \"%1\" como número de %2.")
                                         .arg(drawn.left(20), runs[r].method)
                                         .toStdString());
    }
    const auto take = [&](const QString &method, const QString &account) {
        for (size_t r = 0; r < runs.size(); ++r) {
            if (runs[r].method == method && runs[r].account == account)
                return QStringLiteral("%1").arg(next[r]++, 10, 10, QLatin1Char('0'));
        }
        return QString();
    };
    for (size_t i = first; i < end; ++i) {
        const PreRecord &row = rows[i];
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
        lineOfMovement_[values.movement] = row.line;
    }
}

void ImportPass::WriteErrors(const PreRecord &row) {
    bco::ClientDataSet &errors = records_.cdsErro;
    for (const PreRecord::Problem &problem : row.problems) {
        QString text = catalogue_.Msg(problem.key);
        for (const QString &value : problem.values)
            text = text.arg(value);
        errors.Append();
        errors.FieldByName(u"NRLINHA").SetValue(row.line);
        errors.FieldByName(u"NRLINHAPLAN").SetValue(row.sheetRow);
        errors.FieldByName(u"DSERRO").SetAsString(text);
        errors.Post();
    }
}

} // namespace Cli_bco11104
