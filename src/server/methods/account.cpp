#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <vector>

#include "framework/text/whole_characters.h"
#include "server/ledger/accounting.h"
#include "server/ledger/numbering.h"
#include "server/ledger/repeated_movements.h"
#include "server/ledger/bank_statements.h"
#include "server/methods/all_methods.h"
#include "server/storage/money.h"
#include "server/transport/access.h"
#include "server/transport/dispatcher.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

QDate requireDate(const Variant &value) {
    const QDate date = value.toDate();
    if (!date.isValid())
        throw Refusal(QStringLiteral("Data deve ser informada."));
    return date;
}

qint64 requireAmount(const Variant &value) {
    const auto cents = centsFromAmount(value.toFloat());
    if (!cents)
        throw Refusal(QStringLiteral("Valor inválido: %1.").arg(value.toFloat()));
    return *cents;
}

// getSaldoDia(account, date): the account's balance at the end of `date`: its opening balance plus the
// credits minus the debits of every movement up to and including that day. Refuses a missing date and an
// account the operator may not use.
Variant getSaldoDia(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const QDate date = requireDate(args[1]);
    return amountFromCents(booksBalanceAtEndOf(context.sql, account, date));
}

// getPesqMovBanc(account, date, document, value, history): the account's movements of that date, document
// number and value whose history is `history` as a movement stores it (its first 40 characters, blanks
// around it ignored), credits and debits alike: what the forms ask before inserting the same entry twice.
// The value is compared without its sign, as movements store it (the change form holds a debit's value
// negative). Beside the stored history, each row carries the whole of what it was made of (DSMOVIMENTO, the
// entry's description, and DSTIPO, its type's name), which the stored 40 characters may cut in a word.
// Refuses a missing date, an impossible value and an account the operator may not use.
Variant getPesqMovBanc(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const QDate date = requireDate(args[1]);
    // Documents are compared as repetitions compare them (documentKey); histories as sent, which the
    // statement's TRIM takes blanks alone from.
    const QString document = documentKey(args[2].toText());
    const qint64 cents = std::abs(requireAmount(args[3]));
    const QString history = trimBlanks(leftWholeCharacters(args[4].toText(), 40));
    return context.sql.packet(
        QStringLiteral(
            "SELECT M.CDREDUCONT, M.NRMOVBANC, M.DTMOVBANC, M.IDMOVBANC, M.NRDOCMBANC, M.DSHISMBANC, "
            "M.VRMOVBANC, COALESCE(C.DSMOVICRED, D.DSMOVIDEBI), COALESCE(TC.DSTPCREDBANC, TD.DSTPDEBIBANC) "
            "FROM MOVBANCARIO M "
            "LEFT JOIN MOVCREDBANC C ON C.CDREDUCONT = M.CDREDUCONT AND C.NRMOVBANC = M.NRMOVBANC "
            "LEFT JOIN TPCREDBANC TC ON TC.CDTPCREDBANC = C.CDTPCREDBANC "
            "LEFT JOIN MOVDEBIBANC D ON D.CDREDUCONT = M.CDREDUCONT AND D.NRMOVBANC = M.NRMOVBANC "
            "LEFT JOIN TPDEBIBANC TD ON TD.CDTPDEBIBANC = D.CDTPDEBIBANC "
            "WHERE M.CDREDUCONT = :conta AND M.DTMOVBANC = :data AND M.VRMOVBANC = :valor "
            "AND %1 = :documento AND TRIM(COALESCE(M.DSHISMBANC, '')) = :historico "
            "ORDER BY M.NRMOVBANC")
            .arg(documentKeyOf(QStringLiteral("M.NRDOCMBANC"))),
        {{QStringLiteral("conta"), account},
         {QStringLiteral("data"), date},
         {QStringLiteral("valor"), cents},
         {QStringLiteral("documento"), document},
         {QStringLiteral("historico"), history}},
        {{QStringLiteral("CDREDUCONT"), Kind::Text, 3},
         {QStringLiteral("NRMOVBANC"), Kind::Text, 10},
         {QStringLiteral("DTMOVBANC"), Kind::Date, 0},
         {QStringLiteral("IDMOVBANC"), Kind::Text, 1},
         {QStringLiteral("NRDOCMBANC"), Kind::Text, 10},
         {QStringLiteral("DSHISMBANC"), Kind::Text, 40},
         {QStringLiteral("VRMOVBANC"), Kind::Cents, 0},
         {QStringLiteral("DSMOVIMENTO"), Kind::Text, 40},
         {QStringLiteral("DSTIPO"), Kind::Text, 30}});
}

// getPesqMovBancLote(searches): many searches of getPesqMovBanc in one call, for a file of entries checked
// before import. `searches` is an array of at most MaxSearches arrays, each the five arguments of
// getPesqMovBanc and, optionally, a sixth: the kind "C" or "D" of the entry, which keeps the search to
// movements of that kind (a debit that reverses a credit repeats none); the answer is an array of as many
// texts, in their order: the number of the first movement (in the order of the numbers) that the search finds
// and no search before it in the call found, empty when it finds none: one movement stands for one row of a
// file, as it does when the file is imported. Each day of an account is read once, however many searches
// name it. Refuses the whole call for whatever getPesqMovBanc refuses of any search, and a kind that is
// neither, naming its position (1 for the first).
constexpr int MaxSearches = 10000;

// getPesqMovBanc as registered: what each search of getPesqMovBancLote must be.
const Method &searchMethod() {
    static const Method method{
        .name = QStringLiteral("getPesqMovBanc"),
        .args = {ArgKind::Text, ArgKind::Date, ArgKind::Text, ArgKind::Number, ArgKind::Text},
        .handler = getPesqMovBanc};
    return method;
}

Variant getPesqMovBancLote(CallContext &context, VariantList &args) {
    if (!args[0].isArray())
        throw Refusal(QStringLiteral("As pesquisas devem ser enviadas numa lista."));
    const VariantList &searches = args[0].array();
    if (searches.size() > static_cast<size_t>(MaxSearches))
        throw Refusal(QStringLiteral("Uma chamada pesquisa no máximo %1 movimentos.").arg(MaxSearches));
    struct Search {
        QString account;
        QDate date;
        qint64 cents;
        QString document, history;
        QChar kind;
    };
    std::vector<Search> checked;
    checked.reserve(searches.size());
    std::map<QString, std::set<QDate>> days; // by account
    for (size_t i = 0; i < searches.size(); ++i) {
        try {
            if (!searches[i].isArray())
                throw std::invalid_argument(
                    QStringLiteral("search %1 must be an array of the arguments of getPesqMovBanc")
                        .arg(i + 1)
                        .toStdString());
            const VariantList &given = searches[i].array();
            const VariantList search(given.begin(), given.begin() + std::min<size_t>(given.size(), 5));
            if (const QString problem = checkArguments(searchMethod(), given.size() == 6 ? search : given);
                !problem.isEmpty())
                throw std::invalid_argument(
                    QStringLiteral("search %1: %2").arg(i + 1).arg(problem).toStdString());
            const QString kind = given.size() == 6 ? code(given[5]).toUpper() : QString();
            if (given.size() == 6 && kind != u"C" && kind != u"D")
                throw Refusal(QStringLiteral("Tipo de lançamento inválido: \"%1\" (use C ou D).").arg(kind));
            const QString account = code(search[0]);
            const auto [known, first] = days.try_emplace(account);
            if (first)
                requireAccount(context, account);
            const QDate date = requireDate(search[1]);
            known->second.insert(date);
            checked.push_back({account, date, std::abs(requireAmount(search[3])), search[2].toText(),
                               search[4].toText(), kind.isEmpty() ? QChar() : kind.front()});
        } catch (const Refusal &refusal) {
            throw Refusal(QStringLiteral("Pesquisa %1: %2").arg(i + 1).arg(refusal.message()));
        }
    }
    RepeatedMovements stored(context.sql);
    for (const auto &[account, dates] : days)
        stored.readAhead(account, dates);
    VariantList found;
    found.reserve(checked.size());
    for (const Search &search : checked)
        found.emplace_back(stored.take(search.account, search.date, search.cents, search.document,
                                       search.history, search.kind));
    return Variant(std::move(found));
}

// GetVdPeriodoContabil(company, date): true when the date lies in an open accounting period of the company;
// false when it lies in a closed one or in none, when the date is missing, or the company unknown. Refuses
// a company the operator is not related to. Both arguments come back as they were sent.
Variant getVdPeriodoContabil(CallContext &context, VariantList &args) {
    const QString company = code(args[0]);
    const QDate date = args[1].toDate();
    if (company.isEmpty() || !date.isValid() || !allowCompany(context, company))
        return false;
    return isOpenPeriod(context.sql, company, date);
}

// getPrxMovBancario, getPrxMovCredBanc, getPrxMovDebBanc(account, quantity): the next number of the account's
// bank movements, credits or debits, as ten digits. `quantity` (the forms send "1") reserves that many
// consecutive numbers and the first is answered. A number once answered is never answered again, whatever
// the concurrency and whether or not the caller uses it. Refuses an account the operator may not use, a
// quantity that is not a whole number from 1 to MostNumbersPerDraw, and one past the operator's allowance of
// the day, moving no series.
// As many as the rows of a large import need in one call; beyond it a caller asks again.
constexpr int MostNumbersPerDraw = 100000;

Variant nextNumber(Series series, CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    bool whole = false;
    const QString quantityText = args[1].toText().trimmed();
    const int quantity = quantityText.isEmpty() ? 1 : quantityText.toInt(&whole);
    if (!quantityText.isEmpty() && (!whole || quantity < 1 || quantity > MostNumbersPerDraw))
        throw Refusal(QStringLiteral("Quantidade de números inválida: %1.").arg(quantityText));
    takeFromDailyAllowance(context.sql, series, account, context.operatorCode, quantity);
    const qint64 first = drawNumbers(context.sql, series, account, quantity);
    context.reportWrite(account,
                        {quantity == 1 ? formatNumber(first)
                                       : formatNumber(first) + u'-' + formatNumber(first + quantity - 1)});
    return formatNumber(first);
}

} // namespace

void addAccountMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("getSaldoDia"),
                  .args = {ArgKind::Text, ArgKind::Date},
                  .handler = getSaldoDia});
    registry.add(searchMethod());
    registry.add({.name = QStringLiteral("getPesqMovBancLote"),
                  .args = {ArgKind::Any},
                  .handler = getPesqMovBancLote});
    registry.add({.name = QStringLiteral("GetVdPeriodoContabil"),
                  .args = {ArgKind::Text, ArgKind::Date},
                  .handler = getVdPeriodoContabil});
    const std::pair<const char *, Series> numbering[] = {
        {"getPrxMovBancario", Series::BankMovement},
        {"getPrxMovCredBanc", Series::Credit},
        {"getPrxMovDebBanc", Series::Debit},
    };
    for (const auto &method : numbering) {
        const Series series = method.second;
        registry.add({.name = QString::fromLatin1(method.first),
                      .args = {ArgKind::Text, ArgKind::Text},
                      .writes = true,
                      .handler = [series](CallContext &context, VariantList &args) {
                          return nextNumber(series, context, args);
                      }});
    }
}

} // namespace bco::server
