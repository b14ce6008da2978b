#include "server/ledger/new_entries.h"

#include <tuple>

#include "framework/text/whole_characters.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

const RecordField movementFields[] = {
    {"CDREDUCONT", FieldKind::Text, 3},  {"NRMOVBANC", FieldKind::Text, 10},
    {"DTMOVBANC", FieldKind::Date},      {"IDMOVBANC", FieldKind::Text, 1},
    {"NRDOCMBANC", FieldKind::Text, 10}, {"DSHISMBANC", FieldKind::Text, 40},
    {"VRMOVBANC", FieldKind::Float},     {"IDORIGMBANC", FieldKind::Text, 1},
    {"IDSTCONEXT", FieldKind::Text, 1},  {"DESCTIPO", FieldKind::Text, 40},
};

} // namespace

std::span<const RecordField> movementLayout() {
    return movementFields;
}

std::array<RecordField, 16> recordLayout(const EntryKind &kind) {
    return {{
        {"CDREDUCONT", FieldKind::Text, 3},
        {kind.number, FieldKind::Text, 10},
        {"CDCLASSFINA", FieldKind::Text, 6},
        {"CDEMPRESA", FieldKind::Text, 2},
        {"CDFILIAL", FieldKind::Text, 4},
        {"DTMOVFLUXO", FieldKind::Date},
        {"IDMOVFLUXO", FieldKind::Text, 1},
        {"NRMOVBANC", FieldKind::Text, 10},
        {kind.type, FieldKind::Text, 4},
        {kind.date, FieldKind::Date},
        {kind.description, FieldKind::Text, 40},
        {kind.value, FieldKind::Float},
        {kind.accountingCompany, FieldKind::Text, 2},
        {kind.typedBranch, FieldKind::Text, 4},
        {"CDCLIENTE", FieldKind::Text, 21},
        {"CDFORNECED", FieldKind::Text, 21},
    }};
}

std::set<QString> deletedNumbers(Sql &sql, const char *table, const QString &account, const QString &first,
                                 const QString &last) {
    std::set<QString> numbers;
    sql.forEach(QStringLiteral("SELECT NRNUMERO FROM NUMEROEXCLUIDO WHERE CDREDUCONT = :conta AND NMTABELA = "
                               ":tabela AND NRNUMERO >= :primeiro AND NRNUMERO <= :ultimo"),
                {{QStringLiteral("conta"), account},
                 {QStringLiteral("tabela"), QString::fromLatin1(table)},
                 {QStringLiteral("primeiro"), first},
                 {QStringLiteral("ultimo"), last}},
                [&](const SqlRow &row) { numbers.insert(row.text(0)); });
    return numbers;
}

NewEntryChecks::NewEntryChecks(CallContext &context)
    : context_(context) {
}

QString NewEntryChecks::accountCompany(const QString &account) {
    if (const auto found = accountCompanies_.find(account); found != accountCompanies_.end())
        return found->second;
    const QString company = requireAccount(context_, account);
    accountCompanies_.emplace(account, company);
    return company;
}

// Whether `query` (a SELECT 1 with the parameters :chave and, when given, :outra) finds a row.
bool NewEntryChecks::exists(const QString &query, const QString &key, const QString &secondKey) {
    const auto cacheKey = std::make_tuple(query, key, secondKey);
    if (const auto found = found_.find(cacheKey); found != found_.end())
        return found->second;
    SqlParams params{{QStringLiteral("chave"), key}};
    if (!secondKey.isNull())
        params.push_back({QStringLiteral("outra"), secondKey});
    const bool answer = context_.sql.scalar(query, params).has_value();
    found_.emplace(cacheKey, answer);
    return answer;
}

QString NewEntryChecks::numberChecked(Series series, const QString &account, const QString &number,
                                      const QString &what, const char *table, const char *column) {
    const auto seriesKey = std::make_pair(static_cast<int>(series), account);
    auto last = lastDrawn_.find(seriesKey);
    if (last == lastDrawn_.end())
        last = lastDrawn_.emplace(seriesKey, lastNumberDrawn(context_.sql, series, account)).first;
    if (!isDrawnNumber(number, last->second))
        refuse(QStringLiteral("O número %1 de %2 não foi gerado para a conta corrente %3.")
                   .arg(number, what, account));
    const auto known = taken_.find({QString::fromLatin1(table), account});
    const bool inRange =
        known != taken_.end() && known->second.first <= number && number <= known->second.last;
    const bool taken =
        inRange ? known->second.numbers.contains(number)
                : context_.sql
                      .scalar(QStringLiteral("SELECT 1 FROM %1 WHERE CDREDUCONT = :conta AND %2 = :numero")
                                  .arg(QString::fromLatin1(table), QString::fromLatin1(column)),
                              {{QStringLiteral("conta"), account}, {QStringLiteral("numero"), number}})
                      .has_value();
    if (taken)
        refuse(QStringLiteral("O número %1 de %2 já foi usado na conta corrente %3.")
                   .arg(number, what, account));
    const bool deleted = inRange ? known->second.deleted.contains(number)
                                 : !deletedNumbers(context_.sql, table, account, number, number).empty();
    if (deleted)
        refuse(
            QStringLiteral("O número %1 de %2 já foi usado na conta corrente %3, por um lançamento que foi "
                           "excluído depois.")
                .arg(number, what, account));
    return number;
}

std::pair<QString, QString> NewEntryChecks::numbersChecked(const EntryKind &kind, const QString &account,
                                                           const QString &movement, const QString &number) {
    return {
        numberChecked(Series::BankMovement, account, movement, QStringLiteral("movimento bancário"),
                      "MOVBANCARIO", "NRMOVBANC"),
        numberChecked(kind.series, account, number, QString::fromUtf8(kind.name), kind.table, kind.number)};
}

void NewEntryChecks::refuseNumbersTakenSince(const EntryKind &kind, const NewEntry &entry) {
    numbersChecked(kind, entry.accounting.account, entry.movement, entry.number);
}

void NewEntryChecks::takeNumbers(const char *table, const QString &account, const QString &first,
                                 const QString &last, std::set<QString> numbers, std::set<QString> deleted) {
    taken_[{QString::fromLatin1(table), account}] =
        TakenNumbers{first, last, std::move(numbers), std::move(deleted)};
}

void NewEntryChecks::written(const NewEntry &entry) {
    const EntryToAccount &accounting = entry.accounting;
    const std::pair<const char *, const QString &> numbers[] = {{"MOVBANCARIO", entry.movement},
                                                                {accounting.kind->table, entry.number}};
    for (const auto &[table, number] : numbers) {
        const auto known = taken_.find({QString::fromLatin1(table), accounting.account});
        if (known != taken_.end())
            known->second.numbers.insert(number);
    }
}

NewEntry NewEntryChecks::check(const EntryKind &kind, const InsertedRow &movement, const InsertedRow &record,
                               EntryOrigin origin) {
    const QString kindName = QString::fromUtf8(kind.name);
    NewEntry entry;
    EntryToAccount &accounting = entry.accounting;
    accounting.kind = &kind;
    accounting.account = movement.code("CDREDUCONT");
    accounting.company = accountCompany(accounting.account);
    if (record.code("CDREDUCONT") != accounting.account)
        refuse(QStringLiteral("O movimento e o %1 devem ser da mesma conta corrente.").arg(kindName));

    const QString letter(kind.letter);
    if (movement.code("IDMOVBANC") != letter || movement.code("IDORIGMBANC") != letter)
        refuse(QStringLiteral("O movimento bancário de um %1 deve ter direção e origem \"%2\".")
                   .arg(kindName, letter));
    if (movement.code("IDSTCONEXT") != u"0")
        refuse(QStringLiteral("Um movimento bancário novo não pode estar conciliado."));

    std::tie(entry.movement, entry.number) =
        numbersChecked(kind, accounting.account, movement.code("NRMOVBANC"), record.code(kind.number));
    if (record.code("NRMOVBANC") != entry.movement)
        refuse(QStringLiteral("O %1 deve pertencer ao movimento %2.").arg(kindName, entry.movement));
    accounting.movement = entry.movement;

    accounting.date = movement.date("DTMOVBANC");
    if (!accounting.date.isValid())
        refuse(QStringLiteral("Data deve ser informada."));
    if (record.date(kind.date) != accounting.date)
        refuse(QStringLiteral("A data do %1 difere da data do movimento bancário.").arg(kindName));
    const auto cents = movement.cents("VRMOVBANC");
    if (!cents && movement.pastLargestAmount("VRMOVBANC"))
        refuse(QStringLiteral("Valor maior que o maior valor de um lançamento (9.999.999.999.999,99)."));
    if (!cents || *cents <= 0)
        refuse(QStringLiteral("Valor deve ser maior que zero."));
    if (record.cents(kind.value) != cents)
        refuse(QStringLiteral("O valor do %1 difere do valor do movimento bancário.").arg(kindName));
    accounting.cents = *cents;

    entry.accountingCompany = record.code(kind.accountingCompany);
    if (record.code("CDEMPRESA") != accounting.company || entry.accountingCompany != accounting.company)
        refuse(QStringLiteral("A empresa do %1 deve ser a da conta corrente (%2).")
                   .arg(kindName, accounting.company));

    accounting.branch = record.code("CDFILIAL");
    entry.typedBranch = record.code(kind.typedBranch);
    accounting.type = record.code(kind.type);
    accounting.customer = record.code("CDCLIENTE");
    accounting.supplier = record.code("CDFORNECED");
    checkCodes(accounting, entry.typedBranch, record.code("CDCLASSFINA"));
    const TypeNaming &type = typeNaming(kind, accounting.type);
    entry.financialClass = type.financialClass;
    checkParty(accounting);

    accounting.description = record.text(kind.description);
    // The form refuses an entry without a description, and the import gives one the type's name.
    if (accounting.description.trimmed().isEmpty())
        refuse(QStringLiteral("Descrição deve ser informada."));
    entry.document = movement.code("NRDOCMBANC");
    // Each is shown on one line of the lists, the reports and the exports, where a line break or a tab would
    // read as another row or column; the forms and the import send them so.
    if (!isOneLine(accounting.description) || !isOneLine(entry.document))
        refuse(
            QStringLiteral("A descrição e o documento não podem ter quebras de linha, tabulações ou outros "
                           "caracteres de controle."));
    entry.history = newMovementHistory(origin, accounting.description, type.name);
    // What the forms and the import write of the cash flow: the entry's day, realised.
    entry.flowDate = record.date("DTMOVFLUXO");
    entry.flowIndicator = record.code("IDMOVFLUXO");
    if (entry.flowDate != accounting.date || entry.flowIndicator != u"R")
        refuse(QStringLiteral("O fluxo de um lançamento novo é o do seu dia, realizado (\"R\")."));
    return entry;
}

QString newMovementHistory(EntryOrigin origin, const QString &description, const QString &typeName) {
    return leftWholeCharacters(description + (origin == EntryOrigin::Form
                                                  ? u'(' + typeName + u')'
                                                  : QStringLiteral(" (Importação via xls)")),
                               40);
}

const NewEntryChecks::TypeNaming &NewEntryChecks::typeNaming(const EntryKind &kind, const QString &type) {
    const std::pair<QChar, QString> key{QChar(kind.letter), type};
    if (const auto found = typeNamings_.find(key); found != typeNamings_.end())
        return found->second;
    TypeNaming naming;
    context_.sql.forEach(QStringLiteral("SELECT %1, CDCLASSFINA FROM %2 WHERE %3 = :tipo")
                             .arg(EntryKind::column(kind.typeName), EntryKind::column(kind.typeTable),
                                  EntryKind::column(kind.type)),
                         {{QStringLiteral("tipo"), type}}, [&](const SqlRow &row) {
                             // The name as the forms read it, blanks and all: the history they send
                             // to the duplicate search is built from it.
                             naming = {row.isNull(0) ? QString() : row.text(0),
                                       row.isNull(1) ? QString() : row.text(1).trimmed()};
                         });
    return typeNamings_.emplace(key, naming).first->second;
}

QString NewEntryChecks::branchCompany(const QString &branch) {
    if (const auto found = branchCompanies_.find(branch); found != branchCompanies_.end())
        return found->second;
    const QString company =
        context_.sql
            .scalar(QStringLiteral("SELECT CDEMPRESA FROM FILIAL WHERE CDFILIAL = :filial"),
                    {{QStringLiteral("filial"), branch}})
            .value_or(QVariant())
            .toString();
    branchCompanies_.emplace(branch, company);
    return company;
}

void NewEntryChecks::checkCodes(const EntryToAccount &entry, const QString &typedBranch,
                                const QString &financialClass) {
    if (!exists(QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = :chave"), entry.branch))
        refuse(QStringLiteral("Filial %1 não cadastrada.").arg(entry.branch));
    if (!typedBranch.isEmpty() &&
        !exists(QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = :chave AND CDEMPRESA = :outra"),
                typedBranch, entry.company))
        refuse(QStringLiteral("Filial não cadastrada para empresa informada."));
    // The record's branch is the one the apportionment, the cost centre and the budget go by: the branch
    // typed, or without one the branch the operator works at, of one of the operator's companies.
    if (!typedBranch.isEmpty() && entry.branch != typedBranch)
        refuse(QStringLiteral("A filial %1 do %2 difere da filial informada %3.")
                   .arg(entry.branch, QString::fromUtf8(entry.kind->name), typedBranch));
    if (typedBranch.isEmpty())
        allowCompany(context_, branchCompany(entry.branch));
    const EntryKind &kind = *entry.kind;
    if (!exists(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = :chave")
                    .arg(EntryKind::column(kind.typeTable), EntryKind::column(kind.type)),
                entry.type))
        refuse(kind.isCredit() ? QStringLiteral("Tipo de crédito bancário não cadastrado.")
                               : QStringLiteral("Tipo de débito bancário não cadastrado."));
    if (!financialClass.isEmpty() &&
        !exists(QStringLiteral("SELECT 1 FROM CLASSFINA WHERE CDCLASSFINA = :chave"), financialClass))
        refuse(QStringLiteral("Classe financeira %1 não cadastrada.").arg(financialClass));
    if (!entry.customer.isEmpty() && !entry.supplier.isEmpty())
        refuse(QStringLiteral("O cliente e o fornecedor não podem ser informados no mesmo lançamento."));
    if (!entry.customer.isEmpty() &&
        !exists(QStringLiteral("SELECT 1 FROM CLIENTE WHERE CDCLIENTE = :chave"), entry.customer))
        refuse(QStringLiteral("Cliente não cadastrado."));
    if (!entry.supplier.isEmpty() &&
        !exists(QStringLiteral("SELECT 1 FROM FORNECED WHERE CDFORNECED = :chave"), entry.supplier))
        refuse(QStringLiteral("Fornecedor não cadastrado."));
}

void NewEntryChecks::checkParty(const EntryToAccount &entry) {
    const EntryKind &kind = *entry.kind;
    auto party = partyOfType_.find({kind.letter, entry.type});
    if (party == partyOfType_.end()) {
        const auto keptBy = context_.sql.scalar(
            QStringLiteral(
                "SELECT C.IDTIPOCOME FROM %1 T JOIN CONTCTBL C ON C.CDCONTCTBL = T.CDCONTCTBL WHERE "
                "T.%2 = :tipo AND T.%3 = 'S'")
                .arg(EntryKind::column(kind.typeTable), EntryKind::column(kind.type),
                     EntryKind::column(kind.typeAccounted)),
            {{QStringLiteral("tipo"), entry.type}});
        party = partyOfType_
                    .emplace(std::make_pair(kind.letter, entry.type),
                             keptBy && !keptBy->isNull() ? keptBy->toString().trimmed() : QString())
                    .first;
    }
    if (party->second == u"C" && entry.customer.isEmpty())
        refuse(QStringLiteral("Cliente deve ser informado para contabilização correta do documento."));
    if (party->second == u"F" && entry.supplier.isEmpty())
        refuse(QStringLiteral("Fornecedor deve ser informado para contabilização correta do documento."));
}

void NewEntryChecks::checkCostCentre(const EntryToAccount &entry) {
    const QString &costCentre = entry.costCentre;
    if (costCentre.isEmpty()) {
        // Budgets kept by cost centre hold a debit to the budget of its own: one without a cost centre
        // would answer to none. The forms never send one then.
        if (!budgetsByCostCentre_)
            budgetsByCostCentre_ =
                context_.sql
                    .scalar(
                        QStringLiteral("SELECT 1 FROM GERPARAMGERAL WHERE CDPARAM = 1 AND IDTIPOORCA = 'C'"))
                    .has_value();
        if (*budgetsByCostCentre_)
            refuse(QStringLiteral("Centro de Custo deve ser informado."));
        return;
    }
    if (!exists(QStringLiteral("SELECT 1 FROM CENTCUST WHERE CDCENTCUST = :chave"), costCentre))
        refuse(QStringLiteral("Centro de Custo %1 não cadastrado.").arg(costCentre));
    const bool ofBranch =
        exists(QStringLiteral("SELECT 1 FROM CENTCUSTFIL WHERE CDFILIAL = :chave AND CDCENTCUST = :outra"),
               entry.branch, costCentre) ||
        exists(QStringLiteral("SELECT 1 FROM FILIAL WHERE CDFILIAL = :chave AND CDCENTCUST = :outra"),
               entry.branch, costCentre) ||
        exists(QStringLiteral("SELECT 1 FROM EMPRESA WHERE CDEMPRESA = :chave AND CDCENTCUST = :outra"),
               entry.company, costCentre);
    if (!ofBranch)
        refuse(QStringLiteral("Centro de Custo não cadastrado para a filial informada."));
}

DebitBudget::DebitBudget(Sql &sql)
    : sql_(sql) {
}

DebitBudget::Key DebitBudget::keyOf(const EntryToAccount &entry) {
    if (!byCostCentre_)
        byCostCentre_ =
            sql_.scalar(QStringLiteral("SELECT 1 FROM GERPARAMGERAL WHERE CDPARAM = 1 AND IDTIPOORCA = 'C'"))
                .has_value();
    const QString costCentre = *byCostCentre_ ? entry.costCentre : QString();
    return std::make_tuple(entry.company, entry.type, costCentre, entry.date.year(), entry.date.month());
}

DebitBudget::Budget &DebitBudget::budgetOf(const EntryToAccount &entry) {
    const Key key = keyOf(entry);
    auto budget = budgets_.find(key);
    if (budget != budgets_.end())
        return budget->second;
    const auto &[company, type, costCentre, year, month] = key;
    Budget read;
    // Two debits of one budget would both read what was spent before either wrote: the row of the budget
    // is held for the rest of the transaction.
    if (const auto limit =
            sql_.scalar(QStringLiteral("SELECT VRORCADO FROM ORCATPDEBI WHERE CDEMPRESA = :empresa "
                                       "AND CDTPDEBIBANC = :tipo AND CDCENTCUST = :centro AND NRANO = :ano "
                                       "AND NRMES = :mes") +
                            sql_.forUpdate(),
                        {{QStringLiteral("empresa"), company},
                         {QStringLiteral("tipo"), type},
                         {QStringLiteral("centro"), costCentre},
                         {QStringLiteral("ano"), year},
                         {QStringLiteral("mes"), month}})) {
        read.limit = limit->toLongLong();
        const QDate first(year, month, 1);
        QString spentSql =
            QStringLiteral("SELECT COALESCE(SUM(VRMOVIDEBI), 0) FROM MOVDEBIBANC WHERE CDEMPRESA = :empresa "
                           "AND CDTPDEBIBANC = :tipo AND DTMOVIDEBI >= :inicio AND DTMOVIDEBI <= :fim");
        SqlParams params{{QStringLiteral("empresa"), company},
                         {QStringLiteral("tipo"), type},
                         {QStringLiteral("inicio"), first},
                         {QStringLiteral("fim"), first.addMonths(1).addDays(-1)}};
        if (*byCostCentre_) {
            spentSql += QStringLiteral(" AND CDCENTCUST = :centro");
            params.push_back({QStringLiteral("centro"), costCentre});
        }
        read.spent = sql_.scalar(spentSql, params)->toLongLong();
    }
    return budgets_.emplace(key, read).first->second;
}

void DebitBudget::hold(const std::vector<EntryToAccount> &entries) {
    std::map<Key, const EntryToAccount *> inKeyOrder;
    for (const EntryToAccount &entry : entries)
        inKeyOrder.emplace(keyOf(entry), &entry);
    for (const auto &[key, entry] : inKeyOrder)
        budgetOf(*entry);
}

bool DebitBudget::admit(const EntryToAccount &entry) {
    Budget &budget = budgetOf(entry);
    // Without a budget nothing is counted: a large import of large debits would count past what a sum holds.
    if (!budget.limit)
        return true;
    if (budget.spent + entry.cents > *budget.limit)
        return false;
    budget.spent += entry.cents;
    return true;
}

namespace {

// The statement that writes a record of the kind, made once: an import writes thousands.
const QString &recordInsertion(const EntryKind &kind) {
    const auto make = [](const EntryKind &k) {
        return QStringLiteral(
                   "INSERT INTO %1 (CDREDUCONT, %2, NRMOVBANC, CDCLASSFINA, CDEMPRESA, CDFILIAL, DTMOVFLUXO, "
                   "IDMOVFLUXO, %3, %4, %5, %6, %7, %8, CDCENTCUST, CDCLIENTE, CDFORNECED, NRLANCCONT, "
                   "CDOPERADOR) VALUES (:conta, :numero, :movimento, :classe, :empresa, :filial, :fluxo, "
                   ":idfluxo, "
                   ":tipo, :data, :descricao, :valor, :empresactb, :filiallanc, :centro, :cliente, "
                   ":fornecedor, "
                   ":contabil, :operador)")
            .arg(EntryKind::column(k.table), EntryKind::column(k.number), EntryKind::column(k.type),
                 EntryKind::column(k.date), EntryKind::column(k.description), EntryKind::column(k.value),
                 EntryKind::column(k.accountingCompany), EntryKind::column(k.typedBranch));
    };
    static const QString credit = make(creditKind);
    static const QString debit = make(debitKind);
    return kind.isCredit() ? credit : debit;
}

} // namespace

void writeEntry(CallContext &context, const NewEntry &entry, const QString &accountingNumber) {
    const EntryToAccount &accounting = entry.accounting;
    const EntryKind &kind = *accounting.kind;
    const auto orNull = [](const QString &value) {
        return value.isEmpty() ? QVariant() : QVariant(value);
    };
    context.sql.execute(
        QStringLiteral(
            "INSERT INTO MOVBANCARIO (CDREDUCONT, NRMOVBANC, DTMOVBANC, IDMOVBANC, NRDOCMBANC, DSHISMBANC, "
            "VRMOVBANC, IDORIGMBANC, IDSTCONEXT, CDOPERADOR) VALUES (:conta, :movimento, :data, :letra, "
            ":documento, :historico, :valor, :letra, '0', :operador)"),
        {{QStringLiteral("conta"), accounting.account},
         {QStringLiteral("movimento"), entry.movement},
         {QStringLiteral("data"), accounting.date},
         {QStringLiteral("letra"), QString(kind.letter)},
         {QStringLiteral("documento"), orNull(entry.document)},
         {QStringLiteral("historico"), orNull(entry.history)},
         {QStringLiteral("valor"), accounting.cents},
         {QStringLiteral("operador"), context.operatorCode}});
    context.sql.execute(recordInsertion(kind), {{QStringLiteral("conta"), accounting.account},
                                                {QStringLiteral("numero"), entry.number},
                                                {QStringLiteral("movimento"), entry.movement},
                                                {QStringLiteral("classe"), orNull(entry.financialClass)},
                                                {QStringLiteral("empresa"), accounting.company},
                                                {QStringLiteral("filial"), accounting.branch},
                                                {QStringLiteral("fluxo"), entry.flowDate},
                                                {QStringLiteral("idfluxo"), orNull(entry.flowIndicator)},
                                                {QStringLiteral("tipo"), accounting.type},
                                                {QStringLiteral("data"), accounting.date},
                                                {QStringLiteral("descricao"), orNull(accounting.description)},
                                                {QStringLiteral("valor"), accounting.cents},
                                                {QStringLiteral("empresactb"), entry.accountingCompany},
                                                {QStringLiteral("filiallanc"), orNull(entry.typedBranch)},
                                                {QStringLiteral("centro"), orNull(accounting.costCentre)},
                                                {QStringLiteral("cliente"), orNull(accounting.customer)},
                                                {QStringLiteral("fornecedor"), orNull(accounting.supplier)},
                                                {QStringLiteral("contabil"), orNull(accountingNumber)},
                                                {QStringLiteral("operador"), context.operatorCode}});
}

} // namespace bco::server
