#include "reconciliation/reconciliation_board.h"

#include <cmath>

#include <QHash>
#include <QLocale>
#include <QSet>

#include "framework/data/variant.h"
#include "statement_model/statement_calls.h"

namespace bco {

namespace {

// The days either way the server proposes movements from their line, by default.
constexpr int proposalWindow = 3;

// An amount as it travels (reais, two decimals) in cents, not negative: the kind says which way.
qint64 centsOf(const Variant &amount) {
    return std::llabs(std::llround(amount.toFloat() * 100.0));
}

QChar kindOf(const Variant &letter) {
    const QString text = letter.toText().trimmed().toUpper();
    return text.isEmpty() ? QChar() : text.at(0);
}

Variant called(NetConnection &server, const QString &method, VariantList args) {
    const RemoteResult answer = server.Call(method, args);
    if (!answer.ok())
        throw StatementCallError(answer.errorMessage());
    return answer.payload();
}

DataPacket packetOf(const Variant &answer, const QString &method) {
    if (!answer.isPacket())
        throw StatementCallError(QStringLiteral("O servidor não respondeu %1 com uma tabela.").arg(method));
    return answer.packet();
}

} // namespace

ReconciliationBoard::ReconciliationBoard(const QString &account, const QString &statement,
                                         const DataPacket &lines, const DataPacket &entries,
                                         const DataPacket &proposals)
    : account_(account) {
    QHash<QString, int> lineAt; // statement/line -> index
    for (int row = 0; row < lines.rowCount(); ++row) {
        const auto field = [&](const char *name) {
            return lines.value(row, QString::fromLatin1(name));
        };
        BoardLine line{.statement = statement,
                       .line = field("NRSEQMOVREBA").toText(),
                       .version = field("NRVERSAO").toText(),
                       .date = field("DTMOVEXTR").toDate(),
                       .kind = kindOf(field("IDMOVEXTR")),
                       .cents = centsOf(field("VRMOVEXTR")),
                       .document = field("NRDOCEXTR").toText(),
                       .description = field("DSMOVEXTR").toText(),
                       .reconciled = field("IDSTCONEXT").toText() == u"1"};
        lineAt.insert(line.line, static_cast<int>(lines_.size()));
        lines_.append(line);
    }
    for (int row = 0; row < entries.rowCount(); ++row) {
        const auto field = [&](const char *name) {
            return entries.value(row, QString::fromLatin1(name));
        };
        movements_.append({.number = field("NRMOVBANC").toText(),
                           .version = field("NRVERSAO").toText(),
                           .date = field("DTMOVBANC").toDate(),
                           .kind = kindOf(field("DEBCRED")),
                           .cents = centsOf(field("VRMOVICRED")),
                           .document = field("NRDOCMBANC").toText(),
                           .description = field("DSMOVICRED").toText(),
                           .statement = field("CDSEQUEXBA").toText().trimmed(),
                           .line = field("NRSEQMOVREBA").toText().trimmed()});
    }
    // Only each line's best proposal is shown: the operator pairs by hand when it is not the right one.
    for (int row = 0; row < proposals.rowCount(); ++row) {
        const auto field = [&](const char *name) {
            return proposals.value(row, QString::fromLatin1(name));
        };
        const auto line = lineAt.constFind(field("NRSEQMOVREBA").toText());
        if (line == lineAt.constEnd() || field("NRPROPOSTA").toInt() != 1)
            continue;
        BoardProposal &proposal = proposals_[*line];
        proposal.movements.append(field("NRMOVBANC").toText());
        proposal.decided = field("IDDECIDIDA").toText() == u"S";
    }
}

int ReconciliationBoard::movementIndex(const QString &number) const {
    for (int i = 0; i < movements_.size(); ++i)
        if (movements_[i].number == number)
            return i;
    return -1;
}

QList<int> ReconciliationBoard::openMovements() const {
    QSet<QString> taken;
    for (const QStringList &movements : accepted_)
        for (const QString &movement : movements)
            taken.insert(movement);
    QList<int> open;
    for (int i = 0; i < movements_.size(); ++i)
        if (movements_[i].open() && !taken.contains(movements_[i].number))
            open.append(i);
    return open;
}

const BoardProposal *ReconciliationBoard::proposal(int line) const {
    const auto found = proposals_.constFind(line);
    return found == proposals_.constEnd() ? nullptr : &*found;
}

QString ReconciliationBoard::accept(int line) {
    const BoardProposal *proposed = proposal(line);
    if (proposed == nullptr)
        return QStringLiteral("A linha não tem proposta de conciliação.");
    QList<int> movements;
    for (const QString &number : proposed->movements)
        movements.append(movementIndex(number));
    return pair(line, movements);
}

int ReconciliationBoard::acceptDecided() {
    int accepted = 0;
    for (auto proposed = proposals_.constBegin(); proposed != proposals_.constEnd(); ++proposed)
        if (proposed->decided && !accepted_.contains(proposed.key()) && accept(proposed.key()).isEmpty())
            ++accepted;
    return accepted;
}

int ReconciliationBoard::decidedToAccept() const {
    int decided = 0;
    for (auto proposed = proposals_.constBegin(); proposed != proposals_.constEnd(); ++proposed)
        if (proposed->decided && !accepted_.contains(proposed.key()) && !lines_[proposed.key()].reconciled)
            ++decided;
    return decided;
}

void ReconciliationBoard::reject(int line) {
    accepted_.remove(line);
    proposals_.remove(line);
    rejected_.insert(line);
}

int ReconciliationBoard::carryDecisions(const ReconciliationBoard &earlier) {
    if (earlier.account_ != account_)
        return 0;
    // Looked up by key rather than searched: a statement may hold thousands of lines, all of them accepted.
    QHash<QString, int> lineAt, movementAt, earlierMovementAt;
    for (int i = 0; i < lines_.size(); ++i)
        lineAt.insert(lines_[i].statement + u'/' + lines_[i].line, i);
    for (int i = 0; i < movements_.size(); ++i)
        movementAt.insert(movements_[i].number, i);
    for (int i = 0; i < earlier.movements_.size(); ++i)
        earlierMovementAt.insert(earlier.movements_[i].number, i);
    // The line `earlier` held at `index`, when this board holds it at the same version; else -1.
    const auto sameLine = [&](int index) {
        const BoardLine &was = earlier.lines_[index];
        const int line = lineAt.value(was.statement + u'/' + was.line, -1);
        return line >= 0 && lines_[line].version == was.version ? line : -1;
    };

    for (int rejected : earlier.rejected_)
        if (const int line = sameLine(rejected); line >= 0)
            reject(line);
    int carried = 0;
    for (auto accepted = earlier.accepted_.constBegin(); accepted != earlier.accepted_.constEnd();
         ++accepted) {
        const int line = sameLine(accepted.key());
        if (line < 0)
            continue;
        QList<int> movements;
        bool unchanged = true;
        for (const QString &number : *accepted) {
            const int index = movementAt.value(number, -1);
            unchanged =
                unchanged && index >= 0 &&
                movements_[index].version == earlier.movements_[earlierMovementAt.value(number)].version;
            movements.append(index);
        }
        if (unchanged && pair(line, movements).isEmpty())
            ++carried;
    }
    return carried;
}

QString ReconciliationBoard::pair(int line, const QList<int> &movements) {
    if (line < 0 || line >= lines_.size())
        return QStringLiteral("Selecione uma linha do extrato.");
    const BoardLine &held = lines_[line];
    if (held.reconciled)
        return QStringLiteral("A linha já está conciliada.");
    if (movements.isEmpty())
        return QStringLiteral("Selecione os lançamentos da linha.");
    QSet<QString> taken;
    for (auto other = accepted_.constBegin(); other != accepted_.constEnd(); ++other)
        if (other.key() != line)
            for (const QString &movement : *other)
                taken.insert(movement);
    qint64 sum = 0;
    QStringList numbers;
    for (int index : movements) {
        if (index < 0 || index >= movements_.size() || !movements_[index].open())
            return QStringLiteral("Um dos lançamentos já está conciliado.");
        const BoardMovement &movement = movements_[index];
        if (taken.contains(movement.number) || numbers.contains(movement.number))
            return QStringLiteral("O lançamento %1 já foi aceito para outra linha.").arg(movement.number);
        if (movement.kind != held.kind)
            return QStringLiteral("O lançamento %1 não é da mesma natureza da linha.").arg(movement.number);
        sum += movement.cents;
        numbers.append(movement.number);
    }
    if (sum != held.cents)
        return QStringLiteral("A soma dos lançamentos (%1) difere do valor da linha (%2).")
            .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(sum / 100.0, 'f', 2),
                 QLocale(QLocale::Portuguese, QLocale::Brazil).toString(held.cents / 100.0, 'f', 2));
    accepted_.insert(line, numbers);
    return QString();
}

QList<StatementPairing> ReconciliationBoard::pendingPairings() const {
    QList<StatementPairing> pairings;
    for (auto accepted = accepted_.constBegin(); accepted != accepted_.constEnd(); ++accepted) {
        const BoardLine &line = lines_[accepted.key()];
        for (const QString &number : *accepted)
            pairings.append(
                {line.statement, line.line, line.version, number, movements_[movementIndex(number)].version});
    }
    return pairings;
}

QList<StatementPairing> ReconciliationBoard::undoPairings(int line) const {
    QList<StatementPairing> pairings;
    if (line < 0 || line >= lines_.size() || !lines_[line].reconciled)
        return pairings;
    const BoardLine &held = lines_[line];
    for (const BoardMovement &movement : movements_)
        if (movement.statement == held.statement && movement.line == held.line)
            pairings.append({held.statement, held.line, held.version, movement.number, movement.version});
    return pairings;
}

QList<DailyBalance> dailyBalances(const ReconciliationBoard &board, const QDate &from, const QDate &to,
                                  std::optional<qint64> bankOpening, std::optional<qint64> bankClosing,
                                  qint64 booksOpening, const QMap<QDate, qint64> &storedElsewhere) {
    const auto signedCents = [](QChar kind, qint64 cents) {
        return kind == u'D' ? -cents : cents;
    };
    QMap<QDate, qint64> bankMoves, booksMoves;
    qint64 bankTotal = 0;
    for (const BoardLine &line : board.lines()) {
        bankMoves[line.date] += signedCents(line.kind, line.cents);
        bankTotal += signedCents(line.kind, line.cents);
    }
    for (auto day = storedElsewhere.constBegin(); day != storedElsewhere.constEnd(); ++day)
        if (day.key() >= from && day.key() <= to) {
            bankMoves[day.key()] += day.value();
            bankTotal += day.value();
        }
    for (const BoardMovement &movement : board.movements())
        if (movement.date >= from && movement.date <= to)
            booksMoves[movement.date] += signedCents(movement.kind, movement.cents);
    std::optional<qint64> bank = bankOpening;
    if (!bank && bankClosing)
        bank = *bankClosing - bankTotal;
    qint64 books = booksOpening;
    QList<DailyBalance> days;
    for (QDate day = from; day.isValid() && day <= to; day = day.addDays(1)) {
        if (bank)
            *bank += bankMoves.value(day);
        books += booksMoves.value(day);
        days.append({day, bank, books});
    }
    return days;
}

QMap<QDate, qint64> linesOfOtherStatements(NetConnection &server, const QString &account,
                                           const QStringList &others, const QDate &from, const QDate &to) {
    QMap<QDate, qint64> moves;
    for (const QString &statement : others) {
        const DataPacket lines =
            packetOf(called(server, QStringLiteral("GetLinhasExtrato"), {account, statement}),
                     QStringLiteral("GetLinhasExtrato"));
        for (int row = 0; row < lines.rowCount(); ++row) {
            const QDate day = lines.value(row, u"DTMOVEXTR").toDate();
            if (day < from || day > to)
                continue;
            const qint64 cents = centsOf(lines.value(row, u"VRMOVEXTR"));
            moves[day] += kindOf(lines.value(row, u"IDMOVEXTR")) == u'D' ? -cents : cents;
        }
    }
    return moves;
}

ReconciliationBoard loadBoard(NetConnection &server, const QString &account, const QString &statement,
                              const QDate &from, const QDate &to) {
    const DataPacket lines =
        packetOf(called(server, QStringLiteral("GetLinhasExtrato"), {account, statement}),
                 QStringLiteral("GetLinhasExtrato"));
    // Every movement of the period, reconciled ones too: undoing a line sends its movements' versions.
    const DataPacket entries =
        packetOf(called(server, QStringLiteral("GetLancamentos"),
                        {account, from.addDays(-proposalWindow), to.addDays(proposalWindow), 0.0, 0.0,
                         QStringLiteral("T"), QStringLiteral("T"), QString(), QStringLiteral("T")}),
                 QStringLiteral("GetLancamentos"));
    const DataPacket proposals =
        packetOf(called(server, QStringLiteral("GetSugestoesConciliacao"), {account, statement}),
                 QStringLiteral("GetSugestoesConciliacao"));
    return ReconciliationBoard(account, statement, lines, entries, proposals);
}

} // namespace bco
