#include "server/demo/demo_data.h"

#include <algorithm>
#include <map>
#include <span>
#include <vector>

#include <QStringList>

#include "server/ledger/accounting.h"
#include "server/ledger/numbering.h"

namespace bco::server {

namespace {

// splitmix64: a tiny generator whose sequence is fixed by its seed on every platform (the standard library's
// distributions are not).
class Random {
public:
    explicit Random(quint64 seed)
        : state_(seed) {}

    quint64 next() {
        quint64 z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // A whole number in [low, high].
    qint64 between(qint64 low, qint64 high) {
        return low + static_cast<qint64>(next() % quint64(high - low + 1));
    }
    bool chance(int percent) { return between(1, 100) <= percent; }
    template <typename T> const T &pick(const std::vector<T> &items) {
        return items[static_cast<size_t>(between(0, static_cast<qint64>(items.size()) - 1))];
    }

private:
    quint64 state_;
};

QString digits(Random &random, int count) {
    QString text;
    for (int i = 0; i < count; ++i)
        text.append(QChar(u'0' + static_cast<char16_t>(random.between(0, 9))));
    return text;
}

// Brazilian tax numbers with valid check digits: 11 digits for an individual, 14 for a company.
QString withCheckDigits(QString base, const std::vector<int> &firstWeights,
                        const std::vector<int> &secondWeights) {
    for (const auto *weights : {&firstWeights, &secondWeights}) {
        int sum = 0;
        for (size_t i = 0; i < weights->size(); ++i)
            sum += (base[static_cast<qsizetype>(i)].unicode() - u'0') * (*weights)[i];
        const int rest = sum % 11;
        base.append(QChar(u'0' + static_cast<char16_t>(rest < 2 ? 0 : 11 - rest)));
    }
    return base;
}

QString individualTaxNumber(Random &random) {
    return withCheckDigits(digits(random, 9), {10, 9, 8, 7, 6, 5, 4, 3, 2}, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2});
}

QString companyTaxNumber(Random &random) {
    return withCheckDigits(digits(random, 8) + QStringLiteral("0001"), {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2},
                           {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
}

QString padded(qint64 number, int width) {
    return QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0'));
}

QVariant textOrNull(const QString &text) {
    return text.isEmpty() ? QVariant() : QVariant(text);
}

// INSERT INTO table (columns) VALUES (:columns): the column names are the parameter names.
void insert(Sql &sql, const char *table, const SqlParams &values) {
    QStringList columns, placeholders;
    for (const auto &value : values) {
        columns.append(value.first);
        placeholders.append(u':' + value.first);
    }
    sql.execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(QString::fromLatin1(table), columns.join(u", "), placeholders.join(u", ")),
                values);
}

// The catalogues
// -------------------------------------------------------------------------------------------------

struct CompanyData {
    const char *code, *name, *costCentre;
};
const CompanyData companies[] = {
    {"01", "Comercial Aurora Ltda", "0001"},
    {"02", "Indústria Serra Azul S.A.", "0003"},
    {"03", "Distribuidora Horizonte Ltda", ""}, // no default cost centre: the entry may end with none
};

struct BranchData {
    const char *code, *company, *name, *costCentre;
    std::vector<const char *> costCentres;
};
const BranchData branches[] = {
    {"0101", "01", "Aurora Matriz", "0001", {"0001", "0002", "0005"}},
    {"0102", "01", "Aurora Centro", "", {"0002", "0004"}},
    {"0201", "02", "Serra Azul Fábrica", "0003", {"0003", "0004", "0006"}},
    {"0202", "02", "Serra Azul Escritório", "0001", {"0001", "0002", "0005"}},
    {"0301", "03", "Horizonte Matriz", "", {"0001", "0004"}},
    {"0302", "03", "Horizonte Depósito", "0004", {"0004"}},
};

struct BankData {
    const char *code, *name, *accountPicture, *agencyPicture, *interbankCode;
};
// The pictures differ in length and in their literals, so every way of showing an account is met.
const BankData banks[] = {
    {"101", "Banco Pátria", "99999999-9", "9999-9", "101"},
    {"202", "Banco Bandeirante", "9999999-9", "9999-9", "202"},
    {"303", "Banco Itapema", "99999-9", "9999", "303"},
    {"404", "Caixa Cooperativa", "999.999999-9", "9999", "404"},
};

// A ledger account: its code, name, reduced code, commercial kind, and whether it takes entries (a synthetic
// account does not) and requires a cost centre on every share.
struct LedgerData {
    const char *code, *name, *reduced, *commercialKind, *acceptsEntries, *requiresCostCentre;
};
const LedgerData ledgerAccounts[] = {
    {"1100000000", "Ativo circulante", "10100", "N", "N", "N"},
    {"1110300000", "Transferências entre contas", "10130", "N", "S", "N"},
    {"1120100000", "Clientes", "10201", "C", "S", "N"},
    {"1120300000", "Adiantamentos a fornecedores", "10203", "F", "S", "N"},
    {"2110100000", "Fornecedores", "20101", "F", "S", "N"},
    {"2110300000", "Adiantamentos de clientes", "20103", "C", "S", "N"},
    {"2120100000", "Empréstimos e financiamentos", "20201", "N", "S", "N"},
    {"3110100000", "Receita de vendas", "30101", "N", "S", "N"},
    {"3120100000", "Receitas financeiras", "30201", "N", "S", "N"},
    {"4110100000", "Despesas bancárias", "40101", "N", "S", "S"},
    {"4120100000", "Salários e encargos", "40201", "N", "S", "S"},
    {"4130100000", "Impostos e taxas", "40301", "N", "S", "S"},
};

struct CodeName {
    const char *code, *name;
};
const CodeName costCentres[] = {{"0001", "Administração"}, {"0002", "Comercial"},  {"0003", "Produção"},
                                {"0004", "Logística"},     {"0005", "Financeiro"}, {"0006", "Manutenção"}};
const CodeName financialClasses[] = {{"010101", "Receitas operacionais"},
                                     {"010201", "Receitas financeiras"},
                                     {"020101", "Despesas administrativas"},
                                     {"020201", "Despesas financeiras"},
                                     {"020301", "Despesas com pessoal"},
                                     {"030101", "Transferências"},
                                     {"040101", "Empréstimos"}};
const CodeName histories[] = {{"0001", "Depósito em conta"},
                              {"0002", "Recebimento de cliente"},
                              {"0003", "Pagamento a fornecedor"},
                              {"0004", "Tarifa bancária"},
                              {"0005", "Transferência entre contas"},
                              {"0006", "Folha de pagamento"},
                              {"0007", "Recolhimento de impostos"},
                              {"0008", "Rendimento de aplicação"},
                              {"0009", "Empréstimo"},
                              {"0010", "Desconto de duplicatas"},
                              {"0011", "Devolução"},
                              {"0012", "Estorno"}};

struct AccountData {
    const char *code, *company, *bank, *description, *kind;
    qint64 openingCents;
};
const AccountData accounts[] = {
    {"001", "01", "101", "Movimento Aurora", "C", 8500000},
    {"002", "01", "202", "Cobrança Aurora", "C", 3200000},
    {"003", "01", "303", "Aplicação Aurora", "A", 15000000},
    {"004", "02", "101", "Movimento Serra", "C", 12000000},
    {"005", "02", "404", "Fornecedores Serra", "C", -150000},
    {"006", "02", "202", "Folha Serra", "C", 6000000},
    {"007", "03", "303", "Movimento Horizonte", "C", 4500000},
    {"008", "03", "404", "Cobrança Horizonte", "C", 900000},
    {"009", "03", "101", "Aplicação Horizonte", "A", 7000000},
};

// An entry type: its kind letter, code, name, class, history, ledger account, accounted flag, how often the
// generator picks it, and the range of its values in reais.
struct TypeData {
    char kind;
    const char *code, *name, *financialClass, *history, *ledger, *accounted;
    int weight;
    qint64 lowest, highest;
};
const TypeData types[] = {
    {'C', "0001", "Depósito em dinheiro", "010101", "0001", "3110100000", "S", 20, 200, 15000},
    {'C', "0002", "Recebimento de cliente", "010101", "0002", "1120100000", "S", 35, 300, 25000},
    {'C', "0003", "Devolução de fornecedor", "010101", "0011", "2110100000", "S", 5, 100, 3000},
    {'C', "0004", "Rendimento de aplicação", "010201", "0008", "3120100000", "S", 8, 10, 800},
    {'C', "0005", "Transferência recebida", "030101", "0005", "1110300000", "N", 10, 1000, 30000},
    {'C', "0006", "Empréstimo recebido", "040101", "0009", "2120100000", "S", 0, 0, 0},
    {'C', "0007", "Desconto de duplicatas", "010201", "0010", "1120100000", "S", 0, 0, 0},
    {'C', "0008", "Estorno de débito", "030101", "0012", "1110300000", "N", 0, 0, 0},
    {'C', "0009", "Adiantamento de cliente", "010101", "0002", "2110300000", "S", 4, 500, 8000},
    {'C', "0010", "Outros créditos", "010101", "0001", "1120100000", "N", 5, 50, 2000},
    // Posts to a synthetic account: an entry of it cannot be accounted until its account is mended.
    {'C', "0011", "Crédito a classificar", "010101", "0001", "1100000000", "S", 0, 0, 0},
    {'D', "0001", "Tarifa bancária", "020201", "0004", "4110100000", "S", 30, 5, 120},
    {'D', "0002", "Pagamento a fornecedor", "020101", "0003", "2110100000", "S", 35, 200, 20000},
    {'D', "0003", "Devolução a cliente", "010101", "0011", "1120100000", "S", 4, 100, 3000},
    {'D', "0004", "Folha de pagamento", "020301", "0006", "4120100000", "S", 4, 8000, 40000},
    {'D', "0005", "Transferência enviada", "030101", "0005", "1110300000", "N", 8, 1000, 30000},
    {'D', "0006", "Impostos e taxas", "020101", "0007", "4130100000", "S", 12, 300, 9000},
    {'D', "0007", "Parcela de empréstimo", "040101", "0009", "2120100000", "S", 0, 0, 0},
    {'D', "0008", "Estorno de crédito", "030101", "0012", "1110300000", "N", 0, 0, 0},
    {'D', "0009", "Adiantamento a fornecedor", "020101", "0003", "1120300000", "S", 4, 500, 8000},
    {'D', "0010", "Outros débitos", "020101", "0003", "2110100000", "N", 5, 50, 2000},
};

// Shares of a type over a company's branches and cost centres, in hundredths of a percent.
struct ApportionmentData {
    char kind;
    const char *type, *branch, *costCentre;
    int share;
};
const ApportionmentData apportionments[] = {
    {'D', "0001", "0101", "0005", 6000},  {'D', "0001", "0102", "0002", 4000},
    {'D', "0004", "0201", "0003", 7000},  {'D', "0004", "0202", "0001", 3000},
    {'C', "0004", "0101", "0005", 10000}, {'C', "0004", "0301", "0001", 10000},
};

const char *customerNames[][2] = {
    {"Mercado Bom Preço Ltda", "Bom Preço"},       {"Ana Paula Ribeiro", "Ana Paula"},
    {"Construtora Vale Verde S.A.", "Vale Verde"}, {"Carlos Eduardo Moraes", "Carlos Moraes"},
    {"Padaria Pão Dourado Ltda", "Pão Dourado"},   {"Farmácia Saúde Mais Ltda", "Saúde Mais"},
    {"Juliana Ferreira Lima", "Juliana Lima"},     {"Auto Peças Estrada Ltda", "Estrada Peças"},
    {"Roberto Carlos Nunes", "Roberto Nunes"},     {"Hotel Mirante do Sol Ltda", "Mirante do Sol"},
    {"Marina Souza Teixeira", "Marina Teixeira"},  {"Escola Primeiros Passos Ltda", "Primeiros Passos"},
};
const char *supplierNames[][2] = {
    {"Metalúrgica Forja Nova Ltda", "Forja Nova"},
    {"Papelaria Central Ltda", "Papelaria Central"},
    {"José Antônio Pereira", "José Pereira"},
    {"Transportes Rota Sul Ltda", "Rota Sul"},
    {"Energia Limpa Distribuidora S.A.", "Energia Limpa"},
    {"Fernanda Castro Alves", "Fernanda Alves"},
    {"Embalagens Caixa Forte Ltda", "Caixa Forte"},
    {"Informática Byte Certo Ltda", "Byte Certo"},
    {"Marcos Vinícius Rocha", "Marcos Rocha"},
    {"Química Cristal Ltda", "Química Cristal"},
};

// Parties of company 01 with several advances and returned invoices open, some partly used, at known values
// in cents (an item's day is counted from the processing date: its due date or its issue).
struct KnownOpenItems {
    struct Item {
        qint64 cents, usedCents;
        int days;
    };
    bool customer;
    const char *party;
    std::vector<Item> advances, returns;
};
const KnownOpenItems knownParties[] = {
    {true,
     "CLI0005",
     {{150000, 0, 10}, {80000, 30000, 40}, {120000, 0, -5}},
     {{45000, 0, -20}, {62000, 12000, -10}}},
    {false, "FOR0005", {{200000, 0, 15}, {95000, 40000, 45}}, {{38000, 0, -25}, {70000, 25000, -12}}},
};

// The generator's working data
// -----------------------------------------------------------------------------------

struct Party {
    QString code, name, fantasyName, taxNumber;
    bool company;
};

// One entry before it is written: a bank movement and its credit or debit.
struct Entry {
    int order = 0; // order of creation, to keep the sort stable
    QString account, company;
    char kind = 'C';
    const TypeData *type = nullptr;
    QDate date;
    qint64 cents = 0;
    QString branch, typedBranch, costCentre;
    QString customer, supplier;
    QString document, description;
    QString cheque;
    QString loan, compensation;
    int reverses = -1; // index of the entry this one reverses
    bool reconcile = false;
    bool reconcileWithNext = false;
    // Filled when written.
    QString movement, number, statement, statementLine;
};

class DemoBuilder {
public:
    DemoBuilder(Sql &sql, const DemoOptions &options)
        : sql_(sql)
        , options_(options)
        , random_(options.seed)
        , accounting_(sql) {}

    void build() {
        catalogues();
        operators();
        parameters();
        parties();
        entries();
        loans();
        compensations();
        slips();
        reversals();
        write();
        advances();
        returns();
        knownOpenItems();
        budgets();
        numbering();
    }

private:
    QDate today() const { return options_.processingDate; }

    const TypeData *type(char kind, const char *code) const {
        for (const TypeData &t : types) {
            if (t.kind == kind && qstrcmp(t.code, code) == 0)
                return &t;
        }
        throw std::logic_error("demo type missing");
    }

    const AccountData &account(const QString &code) const {
        for (const AccountData &a : accounts) {
            if (code == QLatin1String(a.code))
                return a;
        }
        throw std::logic_error("demo account missing");
    }

    QString ledgerKind(const char *ledger) const {
        for (const LedgerData &l : ledgerAccounts) {
            if (qstrcmp(l.code, ledger) == 0)
                return QString::fromLatin1(l.commercialKind);
        }
        return QStringLiteral("N");
    }

    std::vector<const BranchData *> branchesOf(const QString &company) const {
        std::vector<const BranchData *> found;
        for (const BranchData &b : branches) {
            if (company == QLatin1String(b.company))
                found.push_back(&b);
        }
        return found;
    }

    void catalogues() {
        for (const CodeName &c : costCentres)
            insert(sql_, "CENTCUST", {{"CDCENTCUST", c.code}, {"NMCENTCUST", QString::fromUtf8(c.name)}});
        for (const CompanyData &c : companies) {
            insert(sql_, "EMPRESA",
                   {{"CDEMPRESA", c.code},
                    {"NMEMPRESA", QString::fromUtf8(c.name)},
                    {"NRINSJUREMPR", companyTaxNumber(random_)},
                    {"CDCENTCUST", textOrNull(QString::fromLatin1(c.costCentre))}});
        }
        for (const BranchData &b : branches) {
            insert(sql_, "FILIAL",
                   {{"CDFILIAL", b.code},
                    {"CDEMPRESA", b.company},
                    {"NMFILIAL", QString::fromUtf8(b.name)},
                    {"CDCENTCUST", textOrNull(QString::fromLatin1(b.costCentre))}});
            for (const char *costCentre : b.costCentres)
                insert(sql_, "CENTCUSTFIL", {{"CDFILIAL", b.code}, {"CDCENTCUST", costCentre}});
        }
        for (const BankData &b : banks) {
            insert(sql_, "BANCO",
                   {{"CDBANCO", b.code},
                    {"NMBANCO", QString::fromUtf8(b.name)},
                    {"CDPICTCONT", b.accountPicture},
                    {"CDPICTAGEN", b.agencyPicture},
                    {"CDBANCCNAB", b.interbankCode}});
        }
        for (const LedgerData &l : ledgerAccounts) {
            insert(sql_, "CONTCTBL",
                   {{"CDCONTCTBL", l.code},
                    {"NMCONTCTBL", QString::fromUtf8(l.name)},
                    {"CDCONTREDU", l.reduced},
                    {"IDTIPOCOME", l.commercialKind},
                    {"IDACEITALANC", l.acceptsEntries},
                    {"IDOBRIGCENTCUST", l.requiresCostCentre}});
        }
        for (const CodeName &c : financialClasses)
            insert(sql_, "CLASSFINA", {{"CDCLASSFINA", c.code}, {"DSCLASSFINA", QString::fromUtf8(c.name)}});
        for (const CodeName &h : histories)
            insert(sql_, "HISTPADR", {{"CDHISTPADR", h.code}, {"DSHISTPADR", QString::fromUtf8(h.name)}});
        int reduced = 10200;
        for (const AccountData &a : accounts) {
            // Each account posts to its own ledger account.
            const QString ledger =
                QStringLiteral("11102%1").arg(QString::fromLatin1(a.code), 5, QLatin1Char('0'));
            insert(sql_, "CONTCTBL",
                   {{"CDCONTCTBL", ledger},
                    {"NMCONTCTBL", QStringLiteral("Banco conta %1 - %2")
                                       .arg(QString::fromLatin1(a.code), QString::fromUtf8(a.description))},
                    {"CDCONTREDU", QString::number(++reduced)},
                    {"IDTIPOCOME", "N"}});
            const BankData *bank = nullptr;
            for (const BankData &b : banks) {
                if (qstrcmp(b.code, a.bank) == 0)
                    bank = &b;
            }
            const auto digitCount = [](const char *picture) {
                return static_cast<int>(std::count(picture, picture + qstrlen(picture), '9'));
            };
            insert(sql_, "CONTCORR",
                   {{"CDREDUCONT", a.code},
                    {"CDEMPRESA", a.company},
                    {"CDBANCO", a.bank},
                    {"CDAGENCIA", digits(random_, digitCount(bank->agencyPicture))},
                    {"CDCONTCORR", digits(random_, digitCount(bank->accountPicture))},
                    {"DSCONTCORR", QString::fromUtf8(a.description)},
                    {"CDCONTCTBL", ledger},
                    {"IDTIPOCCORR", a.kind},
                    {"DTSALDINIC", today().addDays(-200)},
                    {"VRSALDINIC", a.openingCents}});
        }
        for (const TypeData &t : types) {
            const bool credit = t.kind == 'C';
            insert(sql_, credit ? "TPCREDBANC" : "TPDEBIBANC",
                   {{credit ? "CDTPCREDBANC" : "CDTPDEBIBANC", t.code},
                    {credit ? "DSTPCREDBANC" : "DSTPDEBIBANC", QString::fromUtf8(t.name)},
                    {"CDCLASSFINA", t.financialClass},
                    {"CDHISTPADR", t.history},
                    {"CDCONTCTBL", t.ledger},
                    {credit ? "IDCTBLCRBANC" : "IDCTBLDBBANC", t.accounted}});
        }
        for (const ApportionmentData &a : apportionments) {
            const bool credit = a.kind == 'C';
            insert(sql_, credit ? "RATEIOTPCRED" : "RATEIOTPDEBI",
                   {{credit ? "CDTPCREDBANC" : "CDTPDEBIBANC", a.type},
                    {"CDFILIAL", a.branch},
                    {"CDCENTCUST", a.costCentre},
                    {"PCRATEIO", a.share}});
        }
    }

    void operators() {
        struct OperatorData {
            const char *code, *name, *freeOfBlock;
            std::vector<const char *> companies;
        };
        const OperatorData operators[] = {
            {"DEMO", "Operador de demonstração", "N", {"01", "02", "03"}},
            {"RESTRITO", "Operador restrito à empresa 01", "N", {"01"}},
            {"SUPERV", "Supervisor", "S", {"01", "02", "03"}},
        };
        for (const OperatorData &o : operators) {
            insert(sql_, "OPERADOR",
                   {{"CDOPERADOR", o.code},
                    {"NMOPERADOR", QString::fromUtf8(o.name)},
                    {"IDATIVO", "S"},
                    {"IDLIBBLOQ", o.freeOfBlock}});
            const StoredPassword password = hashPassword(QStringLiteral("demo"), options_.passwordIterations);
            insert(sql_, "OPERSENHA",
                   {{"CDOPERADOR", o.code},
                    {"DSSALSENHA", QString::fromLatin1(password.salt.toHex())},
                    {"DSHASHSENHA", QString::fromLatin1(password.hash.toHex())},
                    {"NRITERSENHA", password.iterations}});
            for (const char *company : o.companies)
                insert(sql_, "OPEREMPR", {{"CDOPERADOR", o.code}, {"CDEMPRESA", company}});
        }
    }

    void parameters() {
        const QDate month(today().year(), today().month(), 1);
        // Dates up to the end of the month three months back are closed; beyond 120 days back everything is.
        insert(sql_, "PARAMGERAL",
               {{"CDMODULO", "BCO_"},
                {"IDBLOQDATA", "S"},
                {"QTDIATOLE", 120},
                {"DTBLOQATE", month.addMonths(-2).addDays(-1)}});
        insert(sql_, "GERPARAMGERAL", {{"CDPARAM", 1}, {"IDTIPOORCA", "C"}});
        insert(sql_, "PARAMBCO", {{"CDPARAM", 1}, {"QTDIAANTLANC", 30}, {"QTDIAAPOLANC", 5}});
        // Monthly periods from seven months back to two ahead; the older ones are closed, and company 01 has
        // closed the month before last too.
        for (const CompanyData &c : companies) {
            for (int offset = -7; offset <= 2; ++offset) {
                const QDate start = month.addMonths(offset);
                const bool closed = offset <= -3 || (offset == -2 && qstrcmp(c.code, "01") == 0);
                insert(sql_, "PERIODOCTB",
                       {{"CDEMPRESA", c.code},
                        {"DTINIPERI", start},
                        {"DTFIMPERI", start.addMonths(1).addDays(-1)},
                        {"IDSITUPERI", closed ? "F" : "A"}});
            }
        }
    }

    // Customers and suppliers are twins: one routine over the table of their differences.
    struct PartyKind {
        std::span<const char *const[2]> names;
        const char *codePrefix, *table, *code, *taxNumber, *personKind, *fantasyName, *legalName, *titleKind;
        const char *ledgerAccount;
        std::vector<Party> *parties;
    };

    void parties() {
        const PartyKind kinds[] = {
            {customerNames, "CLI", "CLIENTE", "CDCLIENTE", "NRINSJURCLIE", "IDTPIJURCLIE", "NMFANTCLIE",
             "NMRAZSOCCLIE", "CDTPCTRECEB", "1120100000", &customers_},
            {supplierNames, "FOR", "FORNECED", "CDFORNECED", "NRINSJURFORN", "IDTPIJURFORN", "NMFANTFORN",
             "NMRAZSOCFORN", "CDTPCTPAGAR", "2110100000", &suppliers_},
        };
        for (const PartyKind &kind : kinds) {
            int index = 0;
            for (const auto &names : kind.names) {
                Party party;
                party.code = QStringLiteral("%1%2")
                                 .arg(QLatin1StringView(kind.codePrefix))
                                 .arg(++index, 4, 10, QLatin1Char('0'));
                party.name = QString::fromUtf8(names[0]);
                party.fantasyName = QString::fromUtf8(names[1]);
                party.company = party.name.endsWith(u"Ltda") || party.name.endsWith(u"S.A.");
                party.taxNumber = party.company ? companyTaxNumber(random_) : individualTaxNumber(random_);
                insert(sql_, kind.table,
                       {{QLatin1StringView(kind.code), party.code},
                        {QLatin1StringView(kind.taxNumber), party.taxNumber},
                        {QLatin1StringView(kind.personKind), party.company ? "J" : "F"},
                        {QLatin1StringView(kind.fantasyName), party.fantasyName},
                        {QLatin1StringView(kind.legalName), party.name},
                        {QStringLiteral("CDCONTCTBL"), kind.ledgerAccount},
                        {QLatin1StringView(kind.titleKind), "000001"}});
                kind.parties->push_back(party);
            }
        }
    }

    // An entry of the account with the branch, cost centre, party, document and description a person would
    // have typed.
    Entry makeEntry(const QString &accountCode, const TypeData *entryType, QDate date, qint64 cents) {
        Entry entry;
        entry.order = static_cast<int>(entries_.size());
        entry.account = accountCode;
        entry.company = QString::fromLatin1(account(accountCode).company);
        entry.kind = entryType->kind;
        entry.type = entryType;
        entry.date = date;
        entry.cents = cents;
        const auto companyBranches = branchesOf(entry.company);
        const BranchData *branch = random_.chance(75) ? random_.pick(companyBranches) : nullptr;
        // Without a typed branch the record carries the processing branch, the company's first.
        entry.branch = QString::fromLatin1((branch != nullptr ? branch : companyBranches.front())->code);
        entry.typedBranch = branch != nullptr ? entry.branch : QString();
        const BranchData *costBranch = branch != nullptr ? branch : companyBranches.front();
        if (random_.chance(90))
            entry.costCentre = QString::fromLatin1(random_.pick(costBranch->costCentres));
        const QString kind = ledgerKind(entryType->ledger);
        if (kind == u"C" || (kind == u"N" && random_.chance(8)))
            entry.customer = random_.pick(customers_).code;
        else if (kind == u"F" || (kind == u"N" && random_.chance(8)))
            entry.supplier = random_.pick(suppliers_).code;
        if (random_.chance(60))
            entry.document = padded(random_.between(1000, 999999), 10);
        entry.description = QString::fromUtf8(entryType->name);
        const Party *party = partyOf(entry);
        if (party != nullptr)
            entry.description = (entry.description + QStringLiteral(" - ") + party->fantasyName).left(40);
        return entry;
    }

    const Party *partyOf(const Entry &entry) const {
        for (const auto &list : {&customers_, &suppliers_}) {
            for (const Party &party : *list) {
                if (party.code == entry.customer || party.code == entry.supplier)
                    return &party;
            }
        }
        return nullptr;
    }

    void entries() {
        std::vector<const TypeData *> credits, debits;
        for (const TypeData &t : types) {
            for (int i = 0; i < t.weight; ++i)
                (t.kind == 'C' ? credits : debits).push_back(&t);
        }
        std::vector<QString> accountCodes;
        for (const AccountData &a : accounts)
            accountCodes.push_back(QString::fromLatin1(a.code));
        for (int i = 0; i < options_.entries; ++i) {
            const QString accountCode = random_.pick(accountCodes);
            const TypeData *entryType = random_.chance(45) ? random_.pick(credits) : random_.pick(debits);
            QDate date = today().addDays(-random_.between(0, 180));
            if (date.dayOfWeek() > 5)
                date = date.addDays(5 - date.dayOfWeek()); // weekends move to the Friday before
            const qint64 cents = random_.between(entryType->lowest * 100, entryType->highest * 100);
            Entry entry = makeEntry(accountCode, entryType, date, cents);
            if (entry.kind == 'D' &&
                (qstrcmp(entryType->code, "0002") == 0 || qstrcmp(entryType->code, "0010") == 0) &&
                random_.chance(20))
                entry.cheque = QStringLiteral("pending");
            if (entry.kind == 'C' && qstrcmp(entryType->code, "0001") == 0 && random_.chance(15))
                entry.cheque = digits(random_, 6); // a customer's cheque deposited
            entries_.push_back(entry);
        }
    }

    // A loan received in account 001 and paid monthly, and a leasing paid from account 005.
    void loans() {
        struct LoanData {
            const char *number, *company, *account, *kind, *description;
            int startDaysBack;
            qint64 contractCents, instalmentCents;
            int instalments;
            bool credited;
        };
        const LoanData loans[] = {
            {"0000000001", "01", "001", "E", "Capital de giro Banco Pátria", 170, 12000000, 1085000, 12,
             true},
            {"0000000002", "02", "005", "L", "Arrendamento de empilhadeiras", 150, 6000000, 280000, 24,
             false},
        };
        for (const LoanData &loan : loans) {
            const QDate contract = today().addDays(-loan.startDaysBack);
            insert(sql_, "EMPRESTIMO",
                   {{"NRSEQUENCIALEMP", loan.number},
                    {"CDEMPRESA", loan.company},
                    {"CDREDUCONT", loan.account},
                    {"IDTIPOEMPR", loan.kind},
                    {"DSEMPRESTIMO", QString::fromUtf8(loan.description)},
                    {"DTCONTRATO", contract},
                    {"VRCONTRATO", loan.contractCents},
                    {"QTPARCELAS", loan.instalments}});
            if (loan.credited) {
                Entry entry = makeEntry(QString::fromLatin1(loan.account), type('C', "0006"), contract,
                                        loan.contractCents);
                entry.loan = QString::fromLatin1(loan.number);
                entry.description = QString::fromUtf8(loan.description).left(40);
                entries_.push_back(entry);
            }
            for (QDate due = contract.addMonths(1); due <= today(); due = due.addMonths(1)) {
                Entry entry = makeEntry(QString::fromLatin1(loan.account), type('D', "0007"), due,
                                        loan.instalmentCents);
                entry.loan = QString::fromLatin1(loan.number);
                entry.customer.clear();
                entry.supplier.clear();
                entry.description =
                    QStringLiteral("Parcela %1").arg(QString::fromUtf8(loan.description)).left(40);
                entries_.push_back(entry);
            }
        }
    }

    // Two compensations, each settling a debit against a credit of the same day.
    void compensations() {
        const struct {
            const char *number, *company, *account;
            int daysBack;
            qint64 cents;
        } compensations[] = {{"0000000001", "01", "002", 40, 455000},
                             {"0000000002", "03", "007", 25, 1230000}};
        for (const auto &c : compensations) {
            const QDate date = today().addDays(-c.daysBack);
            insert(sql_, "COMPENSACAO",
                   {{"NRCOMPENSACAO", c.number},
                    {"CDEMPRESA", c.company},
                    {"DTCOMPENSACAO", date},
                    {"DSCOMPENSACAO",
                     QStringLiteral("Encontro de contas %1").arg(QString::fromLatin1(c.number).right(1))},
                    {"VRCOMPENSACAO", c.cents}});
            for (char kind : {'D', 'C'}) {
                Entry entry = makeEntry(QString::fromLatin1(c.account), type(kind, "0005"), date, c.cents);
                entry.compensation = QString::fromLatin1(c.number);
                entries_.push_back(entry);
            }
        }
    }

    // Credits of discounted slips; their slips are written once the credits exist.
    void slips() {
        for (int i = 0; i < 8; ++i) {
            const QString accountCode =
                QString::fromLatin1(accounts[static_cast<size_t>(i) % std::size(accounts)].code);
            Entry entry =
                makeEntry(accountCode, type('C', "0007"), today().addDays(-random_.between(5, 150)), 0);
            entry.cents = 0; // the sum of its slips, below
            slipEntries_.push_back(static_cast<int>(entries_.size()));
            entries_.push_back(entry);
        }
    }

    // Payments to suppliers reversed a few days later; half of the reversed payments are reconciled.
    void reversals() {
        std::vector<int> payments;
        for (const Entry &entry : entries_) {
            if (entry.kind == 'D' && qstrcmp(entry.type->code, "0002") == 0 &&
                entry.date <= today().addDays(-20) && entry.cheque.isEmpty())
                payments.push_back(entry.order);
        }
        for (int i = 0; i < 12 && i < static_cast<int>(payments.size()); ++i) {
            const int origin = payments[static_cast<size_t>(i) * payments.size() / 12];
            Entry reversal =
                makeEntry(entries_[static_cast<size_t>(origin)].account, type('C', "0008"),
                          entries_[static_cast<size_t>(origin)].date.addDays(random_.between(1, 5)),
                          entries_[static_cast<size_t>(origin)].cents);
            reversal.customer.clear();
            reversal.supplier = entries_[static_cast<size_t>(origin)].supplier;
            reversal.description =
                (QStringLiteral("Estorno ") + entries_[static_cast<size_t>(origin)].description).left(40);
            reversal.reverses = origin;
            entries_.push_back(reversal);
            reversedOrigins_.push_back(origin);
        }
    }

    void decideReconciliation(std::vector<Entry *> &ordered) {
        // Older movements are mostly reconciled; now and then two or three of one account, day and kind
        // were reconciled together with a single statement line.
        for (size_t i = 0; i < ordered.size(); ++i) {
            Entry &entry = *ordered[i];
            entry.reconcile = entry.date <= today().addDays(-15) && random_.chance(75);
        }
        for (size_t half = 0; half < reversedOrigins_.size(); ++half) {
            Entry &origin = entries_[static_cast<size_t>(reversedOrigins_[half])];
            origin.reconcile = half % 2 == 0;
        }
        for (size_t i = 0; i + 1 < ordered.size(); ++i) {
            Entry &entry = *ordered[i];
            Entry &next = *ordered[i + 1];
            if (entry.reconcile && next.reconcile && entry.account == next.account &&
                entry.date == next.date && entry.kind == next.kind && entry.reverses < 0 &&
                next.reverses < 0 && random_.chance(40))
                entry.reconcileWithNext = true;
        }
    }

    // Writes every entry in date order: statements and their lines first, then per entry its accounting,
    // movement and credit or debit, then cheques and slips.
    void write() {
        for (int index : slipEntries_) {
            Entry &entry = entries_[static_cast<size_t>(index)];
            const int count = static_cast<int>(random_.between(2, 4));
            for (int s = 0; s < count; ++s) {
                const qint64 cents = random_.between(50000, 600000);
                slipValues_[index].push_back(cents);
                entry.cents += cents;
            }
        }
        std::vector<Entry *> ordered;
        for (Entry &entry : entries_)
            ordered.push_back(&entry);
        std::stable_sort(ordered.begin(), ordered.end(), [](const Entry *a, const Entry *b) {
            return a->account != b->account ? a->account < b->account
                                            : (a->date != b->date ? a->date < b->date : a->order < b->order);
        });
        std::map<QString, int> movementNumber, creditNumber, debitNumber, chequeNumber;
        for (Entry *entry : ordered) {
            entry->movement = formatNumber(++movementNumber[entry->account]);
            entry->number = formatNumber(entry->kind == 'C' ? ++creditNumber[entry->account]
                                                            : ++debitNumber[entry->account]);
            if (entry->cheque == u"pending")
                entry->cheque = padded(100 + ++chequeNumber[entry->account], 6);
        }
        decideReconciliation(ordered);
        statements(ordered);
        for (Entry *entry : ordered)
            writeEntry(*entry);
        for (Entry *entry : ordered) {
            if (entry->kind == 'D' && !entry->cheque.isEmpty()) {
                const Party *party = partyOf(*entry);
                insert(sql_, "CHEQUE",
                       {{"CDREDUCONT", entry->account},
                        {"NRCHEQUE", entry->cheque},
                        {"DTEMISSAO", entry->date},
                        {"VRCHEQUE", entry->cents},
                        {"NMFAVORECIDO", party != nullptr ? party->name : QStringLiteral("Diversos")},
                        {"IDSITUCHEQ", entry->date < today().addDays(-10) ? "D" : "E"},
                        {"NRMOVIDEBI", entry->number}});
            }
        }
        int slip = 0;
        for (int index : slipEntries_) {
            const Entry &entry = entries_[static_cast<size_t>(index)];
            for (qint64 cents : slipValues_[index]) {
                insert(sql_, "BOLETODESC",
                       {{"CDFILIAL", entry.branch},
                        {"NRLANBOLREC", formatNumber(++slip)},
                        {"CDCLIENTE", entry.customer},
                        {"DTVENCBOLE", entry.date.addDays(random_.between(20, 90))},
                        {"VRBOLETO", cents},
                        {"DTDESCONTO", entry.date},
                        {"CDREDUCONT", entry.account},
                        {"NRMOVICRED", entry.number}});
            }
        }
    }

    // A statement per account and month in which the bank cleared movements, with one line per reconciled
    // movement (or group of movements). Its balances are the bank's: the account's opening balance moved by
    // the lines of the statements before it, and by its own at its end. Each statement then adds up and
    // takes over where the one before left off; what no statement holds is what the books still wait for.
    void statements(const std::vector<Entry *> &ordered) {
        std::map<QString, qint64> bank;
        for (const AccountData &a : accounts)
            bank[QString::fromLatin1(a.code)] = a.openingCents;
        std::map<QString, int> statementCount;
        QString currentAccount;
        QDate currentMonth;
        QString statement; // empty until the month's first line
        int line = 0;
        qint64 opening = 0;
        const auto closeStatement = [&] {
            if (statement.isEmpty())
                return;
            insert(sql_, "EXTRATOBANC",
                   {{"CDREDUCONT", currentAccount},
                    {"CDSEQUEXBA", statement},
                    {"DTINIEXTR", currentMonth},
                    {"DTFIMEXTR", currentMonth.addMonths(1).addDays(-1)},
                    {"VRSALDINIC", opening},
                    {"VRSALDFINA", bank[currentAccount]}});
            for (const auto &pending : pendingLines_)
                insert(sql_, "MOVEXTRATO", pending);
            pendingLines_.clear();
            statement.clear();
        };
        for (size_t i = 0; i < ordered.size(); ++i) {
            Entry &entry = *ordered[i];
            const QDate month(entry.date.year(), entry.date.month(), 1);
            if (entry.account != currentAccount || month != currentMonth) {
                closeStatement();
                currentAccount = entry.account;
                currentMonth = month;
                line = 0;
            }
            if (!entry.reconcile || !entry.statementLine.isEmpty())
                continue;
            if (statement.isEmpty()) {
                statement = formatNumber(++statementCount[currentAccount]);
                opening = bank[currentAccount];
            }
            const QString lineNumber = formatNumber(++line);
            qint64 cents = 0;
            for (size_t j = i; j < ordered.size(); ++j) {
                ordered[j]->statement = statement;
                ordered[j]->statementLine = lineNumber;
                cents += ordered[j]->cents;
                if (!ordered[j]->reconcileWithNext)
                    break;
            }
            bank[entry.account] += entry.kind == 'C' ? cents : -cents;
            pendingLines_.push_back({{"CDREDUCONT", entry.account},
                                     {"CDSEQUEXBA", statement},
                                     {"NRSEQMOVREBA", lineNumber},
                                     {"DTMOVEXTR", entry.date},
                                     {"NRDOCEXTR", textOrNull(entry.document)},
                                     {"DSMOVEXTR", QString::fromUtf8(entry.type->name).toUpper()},
                                     {"IDMOVEXTR", QString(QChar::fromLatin1(entry.kind))},
                                     {"VRMOVEXTR", cents}});
        }
        closeStatement();
    }

    void writeEntry(const Entry &entry) {
        const bool credit = entry.kind == 'C';
        const QString typeName = QString::fromUtf8(entry.type->name);
        const QString accounting = postAccounting(entry);
        QVariant origin;
        if (entry.reverses >= 0)
            origin = entries_[static_cast<size_t>(entry.reverses)].movement;
        insert(sql_, "MOVBANCARIO",
               {{"CDREDUCONT", entry.account},
                {"NRMOVBANC", entry.movement},
                {"DTMOVBANC", entry.date},
                {"IDMOVBANC", QString(QChar::fromLatin1(entry.kind))},
                {"NRDOCMBANC", textOrNull(entry.document)},
                {"DSHISMBANC", (entry.description + u'(' + typeName + u')').left(40)},
                {"VRMOVBANC", entry.cents},
                {"IDORIGMBANC", QString(QChar::fromLatin1(entry.kind))},
                {"IDSTCONEXT", entry.statement.isEmpty() ? "0" : "1"},
                {"CDSEQUEXBA", textOrNull(entry.statement)},
                {"NRSEQMOVREBA", textOrNull(entry.statementLine)},
                {"NRMOVBANCORIG", origin},
                {"NRSEQUENCIALEMP", textOrNull(entry.loan)},
                {"NRCOMPENSACAO", textOrNull(entry.compensation)},
                {"CDOPERADOR", "DEMO"}});
        insert(sql_, credit ? "MOVCREDBANC" : "MOVDEBIBANC",
               {{"CDREDUCONT", entry.account},
                {credit ? "NRMOVICRED" : "NRMOVIDEBI", entry.number},
                {"NRMOVBANC", entry.movement},
                {"CDCLASSFINA", entry.type->financialClass},
                {"CDEMPRESA", entry.company},
                {"CDFILIAL", entry.branch},
                {"DTMOVFLUXO", entry.date},
                {"IDMOVFLUXO", "R"},
                {credit ? "CDTPCREDBANC" : "CDTPDEBIBANC", entry.type->code},
                {credit ? "DTMOVICRED" : "DTMOVIDEBI", entry.date},
                {credit ? "DSMOVICRED" : "DSMOVIDEBI", entry.description},
                {credit ? "VRMOVICRED" : "VRMOVIDEBI", entry.cents},
                {credit ? "CDECTBMCRED" : "CDECTBMDEB", entry.company},
                {credit ? "CDFILILANCRE" : "CDFILILANDEB", textOrNull(entry.typedBranch)},
                {"CDCENTCUST", textOrNull(entry.costCentre)},
                {"CDCLIENTE", textOrNull(entry.customer)},
                {"CDFORNECED", textOrNull(entry.supplier)},
                {"NRCHEQUE", textOrNull(entry.cheque)},
                {"NRLANCCONT", textOrNull(accounting)},
                {"CDOPERADOR", "DEMO"}});
    }

    // The accounting of an entry, as the server writes it for a new one. The demo's history predates the
    // rules its drafts may break today (periods closed since, cost centres not kept then), so every accounted
    // entry is written whatever its draft says of them.
    QString postAccounting(const Entry &entry) {
        const EntryToAccount toAccount{entry.kind == 'C' ? &creditKind : &debitKind,
                                       entry.account,
                                       entry.company,
                                       entry.movement,
                                       entry.date,
                                       entry.cents,
                                       QString::fromLatin1(entry.type->code),
                                       entry.branch,
                                       entry.costCentre,
                                       entry.customer,
                                       entry.supplier,
                                       entry.description};
        const AccountingDraft draft = accounting_.draft(toAccount);
        return draft.accounted ? server::postAccounting(sql_, draft, QStringLiteral("DEMO")) : QString();
    }

    // The entries of a party in a company, for tying uses of advances and returns to real movements.
    std::vector<const Entry *> entriesOf(const QString &company, const QString &party) const {
        std::vector<const Entry *> found;
        for (const Entry &entry : entries_) {
            if (entry.company == company && (entry.customer == party || entry.supplier == party))
                found.push_back(&entry);
        }
        return found;
    }

    // One advance instalment of a party (a customer's receivable or a supplier's payable); answers its key.
    SqlParams advance(bool customer, const QString &company, const QString &branch, const QString &party,
                      const QString &document, int instalment, QDate due, qint64 original) {
        SqlParams key = customer ? SqlParams{{"CDFILIAL", branch},
                                             {"NRLANCTONF", document},
                                             {"NRSEQVENREC", "01"},
                                             {"NRPARCELAREC", padded(instalment, 2)}}
                                 : SqlParams{{"CDFILIAL", branch},
                                             {"NRLANCTONF", document},
                                             {"NRSEQVENPAG", "01"},
                                             {"NRPARCELAPAG", padded(instalment, 2)}};
        SqlParams row = key;
        row.push_back({"CDEMPRESA", company});
        row.push_back({customer ? "CDCLIENTE" : "CDFORNECED", party});
        row.push_back({customer ? "DTATUAVENREC" : "DTATUAVENPAG", due});
        row.push_back({"VRORIGINAL", original});
        insert(sql_, customer ? "ADIANTCLI" : "ADIANTFOR", row);
        return key;
    }

    // A returned invoice of a party: `reference` is the sale it returns (a customer's) or the supplier's
    // document of origin. Answers its key.
    SqlParams returnedInvoice(bool customer, const QString &company, const QString &branch,
                              const QString &party, int invoice, QDate issued, qint64 value,
                              const QString &reference) {
        const SqlParams key{{"FILIDEVO", branch}, {"NRNFDEVO", formatNumber(invoice)}};
        SqlParams row = key;
        row.insert(row.end(), {{"CDSERIE", "1"},
                               {"CDEMPRESA", company},
                               {customer ? "CDCLIENTE" : "CDFORNECED", party},
                               {"DTEMISSAO", issued},
                               {"NRLANCTONF", formatNumber(invoice + 5000)},
                               {"VRNFDEVOL", value}});
        if (customer) {
            row.push_back({"DTENTRSAID", issued});
            row.push_back({"FILIVENDA", branch});
            row.push_back({"NRNFVENDA", reference});
        } else {
            row.push_back({"DOCUMENTOORI", reference});
        }
        insert(sql_, customer ? "NFDEVCLI" : "NFDEVFOR", row);
        return key;
    }

    // What an entry discounted of an advance or a returned invoice.
    void use(const char *table, SqlParams key, const Entry &entry, qint64 cents) {
        key.push_back({"CDREDUCONT", entry.account});
        key.push_back({"NRMOVBANC", entry.movement});
        key.push_back({"VRUTILIZADO", cents});
        insert(sql_, table, key);
    }

    // The customers or suppliers the generator gives advances and returned invoices to: all but those whose
    // open items are known (knownParties), so that theirs are exactly the known ones.
    std::vector<const Party *> unknownParties(bool customer) const {
        std::vector<const Party *> found;
        for (const Party &party : customer ? customers_ : suppliers_) {
            const bool known =
                std::any_of(std::begin(knownParties), std::end(knownParties), [&](const auto &k) {
                    return k.customer == customer && party.code == QLatin1String(k.party);
                });
            if (!known)
                found.push_back(&party);
        }
        return found;
    }

    // Open advances of customers and suppliers in each company: some untouched, some partly used by an
    // entry, some used up.
    void advances() {
        int document = 0;
        for (const CompanyData &c : companies) {
            const QString company = QString::fromLatin1(c.code);
            const QString branch = QString::fromLatin1(branchesOf(company).front()->code);
            for (bool customer : {true, false}) {
                const auto parties = unknownParties(customer);
                for (int p = 0; p < 4; ++p) {
                    const Party &party = *random_.pick(parties);
                    const QString nrDocument = formatNumber(++document);
                    const int instalments = static_cast<int>(random_.between(1, 3));
                    for (int i = 1; i <= instalments; ++i) {
                        const qint64 original = random_.between(500, 5000) * 100;
                        const QDate due = today().addDays(random_.between(-90, 30));
                        const SqlParams key =
                            advance(customer, company, branch, party.code, nrDocument, i, due, original);
                        const auto used = entriesOf(company, party.code);
                        const int usage =
                            static_cast<int>(random_.between(0, 2)); // 0 open, 1 partly used, 2 used up
                        if (usage == 0 || used.empty())
                            continue;
                        const Entry *entry = used[static_cast<size_t>(
                            random_.between(0, static_cast<qint64>(used.size()) - 1))];
                        use(customer ? "ADIANTCLIUSO" : "ADIANTFORUSO", key, *entry,
                            usage == 2 ? original : original * random_.between(20, 80) / 100);
                    }
                }
            }
        }
    }

    // Returned invoices of customers and to suppliers in each company, some partly used.
    void returns() {
        int invoice = 0;
        for (const CompanyData &c : companies) {
            const QString company = QString::fromLatin1(c.code);
            for (bool customer : {true, false}) {
                const auto parties = unknownParties(customer);
                for (int r = 0; r < 3; ++r) {
                    const Party &party = *random_.pick(parties);
                    const QString branch = QString::fromLatin1(random_.pick(branchesOf(company))->code);
                    const qint64 value = random_.between(200, 4000) * 100;
                    const QDate issued = today().addDays(-random_.between(1, 60));
                    const QString reference =
                        customer ? padded(random_.between(1000, 99999), 10)
                                 : QStringLiteral("NF %1/1").arg(random_.between(1000, 99999));
                    const SqlParams key = returnedInvoice(customer, company, branch, party.code, ++invoice,
                                                          issued, value, reference);
                    const auto used = entriesOf(company, party.code);
                    if (used.empty() || !random_.chance(40))
                        continue;
                    const Entry *entry =
                        used[static_cast<size_t>(random_.between(0, static_cast<qint64>(used.size()) - 1))];
                    use(customer ? "NFDEVCLIUSO" : "NFDEVFORUSO", key, *entry,
                        value * random_.between(20, 80) / 100);
                }
            }
        }
    }

    // The entry that used the known parties' items: the company's latest entry that stands alone (not
    // reconciled, nor tied to a loan, a compensation, a reversal, a discounted slip or a cheque) and was
    // accounted, so that changing or deleting it gives back what it used; else the company's first entry.
    const Entry *userOf(const QString &company) const {
        const Entry *first = nullptr;
        const Entry *user = nullptr;
        for (int index = 0; index < static_cast<int>(entries_.size()); ++index) {
            const Entry &entry = entries_[static_cast<size_t>(index)];
            if (entry.company != company)
                continue;
            if (first == nullptr)
                first = &entry;
            const auto tied = [index](const std::vector<int> &indexes) {
                return std::find(indexes.begin(), indexes.end(), index) != indexes.end();
            };
            const bool alone = entry.statement.isEmpty() && entry.loan.isEmpty() &&
                               entry.compensation.isEmpty() && entry.cheque.isEmpty() && entry.reverses < 0 &&
                               !tied(reversedOrigins_) && !tied(slipEntries_);
            if (alone && qstrcmp(entry.type->accounted, "S") == 0 &&
                (user == nullptr || entry.date >= user->date))
                user = &entry;
        }
        return user != nullptr ? user : first;
    }

    // The parties whose advances and returned invoices the operator is told of (README): each holds several,
    // open or partly used, in company 01, besides whatever the generator gave it.
    void knownOpenItems() {
        const QString company = QStringLiteral("01");
        const QString branch = QStringLiteral("0101");
        const Entry *user = userOf(company);
        int number = 0;
        for (const KnownOpenItems &known : knownParties) {
            const QString party = QString::fromLatin1(known.party);
            const QString document = QStringLiteral("90000000%1").arg(++number, 2, 10, QLatin1Char('0'));
            int instalment = 0;
            for (const KnownOpenItems::Item &item : known.advances) {
                const SqlParams key = advance(known.customer, company, branch, party, document, ++instalment,
                                              today().addDays(item.days), item.cents);
                if (item.usedCents > 0)
                    use(known.customer ? "ADIANTCLIUSO" : "ADIANTFORUSO", key, *user, item.usedCents);
            }
            for (const KnownOpenItems::Item &item : known.returns) {
                const SqlParams key = returnedInvoice(
                    known.customer, company, branch, party, 9000 + ++number, today().addDays(item.days),
                    item.cents, known.customer ? QStringLiteral("0000012345") : QStringLiteral("NF 4321/1"));
                if (item.usedCents > 0)
                    use(known.customer ? "NFDEVCLIUSO" : "NFDEVFORUSO", key, *user, item.usedCents);
            }
        }
    }

    // Monthly budgets of the bank fees and the taxes, per cost centre; company 01's taxes on cost centre
    // 0001 this month are 50.00 short of exhausted.
    void budgets() {
        const QDate month(today().year(), today().month(), 1);
        std::map<QString, qint64> spent;
        for (const Entry &entry : entries_) {
            if (entry.kind == 'D' && entry.date >= month)
                spent[entry.company + entry.type->code + entry.costCentre] += entry.cents;
        }
        for (const CompanyData &c : companies) {
            QStringList centres;
            for (const BranchData *b : branchesOf(QString::fromLatin1(c.code))) {
                for (const char *centre : b->costCentres) {
                    if (!centres.contains(QLatin1String(centre)))
                        centres.append(QString::fromLatin1(centre));
                }
            }
            for (int offset = -6; offset <= 2; ++offset) {
                const QDate start = month.addMonths(offset);
                for (const QString &centre : centres) {
                    for (const auto &[debitType, cents] :
                         {std::pair{"0001", qint64(50000)}, std::pair{"0006", qint64(2000000)}}) {
                        qint64 budget = cents;
                        if (offset == 0 && qstrcmp(c.code, "01") == 0 && qstrcmp(debitType, "0006") == 0 &&
                            centre == u"0001")
                            budget = spent[QStringLiteral("01") + QLatin1String(debitType) + centre] + 5000;
                        insert(sql_, "ORCATPDEBI",
                               {{"CDEMPRESA", c.code},
                                {"CDTPDEBIBANC", debitType},
                                {"CDCENTCUST", centre},
                                {"NRANO", start.year()},
                                {"NRMES", start.month()},
                                {"VRORCADO", budget}});
                    }
                }
            }
        }
    }

    // The account series continue after the demo's numbers (the accounting series were drawn as they went).
    void numbering() {
        std::map<std::pair<QString, QString>, qint64> last;
        for (const Entry &entry : entries_) {
            auto &movement = last[{QStringLiteral("MB"), entry.account}];
            movement = std::max(movement, entry.movement.toLongLong());
            auto &number =
                last[{entry.kind == 'C' ? QStringLiteral("MC") : QStringLiteral("MD"), entry.account}];
            number = std::max(number, entry.number.toLongLong());
        }
        for (const auto &[key, number] : last)
            insert(sql_, "NUMERACAO",
                   {{"IDTIPONUM", key.first}, {"CDCHAVE", key.second}, {"NRULTIMO", number}});
    }

    Sql &sql_;
    const DemoOptions &options_;
    Random random_;
    // Read by the entries' accounting once the catalogues are written, never before.
    AccountingCatalogue accounting_;
    std::vector<Party> customers_, suppliers_;
    std::vector<Entry> entries_;
    std::vector<int> slipEntries_;
    std::map<int, std::vector<qint64>> slipValues_;
    std::vector<int> reversedOrigins_;
    std::vector<SqlParams> pendingLines_;
};

} // namespace

void loadDemoData(Sql &sql, const DemoOptions &options) {
    if (!options.processingDate.isValid())
        throw std::invalid_argument("the demo data needs a processing date");
    sql.begin(true);
    try {
        const auto existing = sql.scalar(QStringLiteral("SELECT COUNT(*) FROM EMPRESA"));
        if (existing && existing->toLongLong() > 0)
            throw std::runtime_error(
                "the database already holds data; the demo data goes only into an empty one");
        DemoBuilder(sql, options).build();
        sql.commit();
    } catch (...) {
        sql.rollback();
        throw;
    }
}

} // namespace bco::server
