#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "server/ledger/bank_statements.h"
#include "server/ledger/statement_matching.h"
#include "server/methods/all_methods.h"
#include "server/storage/money.h"
#include "server/transport/access.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

// A field of a packet the client built, by name; a packet without it cannot be read (HTTP 400).
Variant fieldOf(const DataPacket &packet, int row, const char *name) {
    const int index = packet.fieldIndex(QString::fromLatin1(name));
    if (index < 0)
        throw std::invalid_argument(std::string("the packet has no field ") + name);
    return packet.value(row, index);
}

// A value of a statement's packet as its field's kind holds it: text, a date, a number (a whole one for a
// count), null where the value may be absent. Another kind (a boolean for an amount, a text of digits for a
// line's number) is no value of the file, and is not converted into one (HTTP 400).
Variant valueOf(const DataPacket &packet, int row, const char *name, FieldKind kind, bool required = false) {
    const Variant value = fieldOf(packet, row, name);
    if (value.isNull()) {
        if (required)
            throw std::invalid_argument(std::string("the field ") + name + " must hold a value");
        return value;
    }
    const VariantType type = value.type();
    const bool fits = kind == FieldKind::Text      ? type == VariantType::Text
                      : kind == FieldKind::Date    ? type == VariantType::Date
                      : kind == FieldKind::Integer ? type == VariantType::Int
                                                   : type == VariantType::Float || type == VariantType::Int;
    if (!fits)
        throw std::invalid_argument(std::string("the field ") + name + " holds a value of another kind");
    return value;
}

QChar letterOf(const Variant &value) {
    const QString text = value.toText().trimmed().toUpper();
    return text.size() == 1 ? text.at(0) : QChar(u'?');
}

// An amount of the file in cents, refused unless it is whole cents: a statement is never rounded.
qint64 centsOf(const Variant &value, const QString &where) {
    const double amount = value.toFloat();
    const auto cents = centsFromAmount(amount);
    if (!cents || std::abs(amountFromCents(*cents) - amount) > 1e-9 * std::max(1.0, std::abs(amount)))
        refuse(QStringLiteral("%1: valor inválido (%2).").arg(where).arg(amount, 0, 'f', 6));
    return *cents;
}

qint64 versionOf(const Variant &value, const char *what) {
    if (value.type() == VariantType::Int)
        return value.toInt();
    bool whole = false;
    const qint64 version = value.toText().trimmed().toLongLong(&whole);
    if (!whole || version < 0)
        throw std::invalid_argument(std::string("the version of the ") + what + " must be a whole number");
    return version;
}

ReceivedBalance balanceOf(const DataPacket &header, const char *value, const char *how, const char *date,
                          const QString &name) {
    ReceivedBalance balance;
    balance.how = letterOf(valueOf(header, 0, how, FieldKind::Text, true));
    if (balance.how == u'A')
        return balance;
    balance.cents = centsOf(valueOf(header, 0, value, FieldKind::Float, true),
                            QStringLiteral("Saldo %1 do extrato").arg(name));
    balance.date = valueOf(header, 0, date, FieldKind::Date).toDate();
    return balance;
}

// SetGravaExtrato(account, statement, lines): stores the statement the client read from a bank's file for
// the account. `statement`: one row with IDFORMATO ('O' OFX, 'C' CNAB 240), CDBANCO, CDAGENCIA, DVAGENCIA,
// NRCONTA, DVCONTA (the account as the file names it; empty when it does not), DTINIEXTR, DTFIMEXTR,
// VRSALDINIC, IDSALDINIC, DTSALDINIC, VRSALDFINA, IDSALDFINA, DTSALDFINA (IDSALD*: 'I' stated, 'C' worked
// out, 'A' absent) and CDCONTEUDO (the file's content key). `lines`: one row per line of the file, in its
// order, with IDBANCO, DTMOVEXTR, IDMOVEXTR, VRMOVEXTR (not negative), NRDOCEXTR, DSMOVEXTR, NRLINHAARQ.
// Answers one row: CDSEQUEXBA, IDSITUACAO ('N' stored, 'R' the file was imported before, 'S' no line of it
// is new: nothing stored), QTNOVAS, QTJAEXISTENTES and DSMENSAGEM, what the operator reads. Refuses,
// writing nothing, what storeStatement and checkStatement refuse and an account the operator may not use.
Variant setGravaExtrato(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const DataPacket &header = args[1].packet();
    const DataPacket &rows = args[2].packet();
    if (header.rowCount() != 1)
        refuse(QStringLiteral("O cabeçalho do extrato deve ter uma linha."));
    ReceivedStatement statement;
    statement.format = letterOf(valueOf(header, 0, "IDFORMATO", FieldKind::Text, true));
    statement.bank = valueOf(header, 0, "CDBANCO", FieldKind::Text).toText();
    statement.agency = valueOf(header, 0, "CDAGENCIA", FieldKind::Text).toText();
    statement.agencyCheck = valueOf(header, 0, "DVAGENCIA", FieldKind::Text).toText();
    statement.accountNumber = valueOf(header, 0, "NRCONTA", FieldKind::Text).toText();
    statement.accountCheck = valueOf(header, 0, "DVCONTA", FieldKind::Text).toText();
    statement.firstDay = valueOf(header, 0, "DTINIEXTR", FieldKind::Date).toDate();
    statement.lastDay = valueOf(header, 0, "DTFIMEXTR", FieldKind::Date).toDate();
    statement.opening =
        balanceOf(header, "VRSALDINIC", "IDSALDINIC", "DTSALDINIC", QStringLiteral("inicial"));
    statement.closing = balanceOf(header, "VRSALDFINA", "IDSALDFINA", "DTSALDFINA", QStringLiteral("final"));
    statement.contentKey =
        valueOf(header, 0, "CDCONTEUDO", FieldKind::Text, true).toText().trimmed().toLower();
    statement.lines.reserve(rows.rowCount());
    for (int row = 0; row < rows.rowCount(); ++row) {
        ReceivedLine line;
        // The line the operator is sent to in the file: one past any file's end, or cut to fit, would send
        // them elsewhere.
        const qint64 fileLine = valueOf(rows, row, "NRLINHAARQ", FieldKind::Integer, true).toInt();
        if (fileLine < 1 || fileLine > std::numeric_limits<int>::max())
            refuse(QStringLiteral("A linha %1 do extrato diz estar na linha %2 do arquivo, que não existe.")
                       .arg(row + 1)
                       .arg(fileLine));
        line.fileLine = static_cast<int>(fileLine);
        line.bankId = valueOf(rows, row, "IDBANCO", FieldKind::Text, true).toText();
        line.date = valueOf(rows, row, "DTMOVEXTR", FieldKind::Date, true).toDate();
        line.kind = letterOf(valueOf(rows, row, "IDMOVEXTR", FieldKind::Text, true));
        line.cents = centsOf(valueOf(rows, row, "VRMOVEXTR", FieldKind::Float, true),
                             QStringLiteral("Linha %1 do arquivo").arg(line.fileLine));
        line.document = valueOf(rows, row, "NRDOCEXTR", FieldKind::Text).toText();
        line.description = valueOf(rows, row, "DSMOVEXTR", FieldKind::Text).toText();
        statement.lines.append(line);
    }
    const StoredStatement stored = storeStatement(context, account, statement);
    DataPacket answer(fieldsOf({{QStringLiteral("CDSEQUEXBA"), Kind::Text, 10},
                                {QStringLiteral("IDSITUACAO"), Kind::Text, 1},
                                {QStringLiteral("QTNOVAS"), Kind::Integer, 0},
                                {QStringLiteral("QTJAEXISTENTES"), Kind::Integer, 0},
                                {QStringLiteral("DSMENSAGEM"), Kind::Text, 300}}));
    const char *situation = stored.outcome == StoredStatement::Outcome::Stored     ? "N"
                            : stored.outcome == StoredStatement::Outcome::SameFile ? "R"
                                                                                   : "S";
    answer.appendValues({stored.statement.isEmpty() ? Variant() : Variant(stored.statement), situation,
                         static_cast<qint64>(stored.newLines), static_cast<qint64>(stored.knownLines),
                         stored.message});
    return answer;
}

Variant centsOrNull(bool present, qint64 cents) {
    return present ? Variant(amountFromCents(cents)) : Variant();
}

// GetExtratos(account): the account's statements, oldest first: CDSEQUEXBA, IDFORMATO, DTINIEXTR,
// DTFIMEXTR, VRSALDINIC, IDSALDINIC, VRSALDFINA, IDSALDFINA (an absent balance is null), VRLIVROINIC and
// VRLIVROFINA (the books' balance at the start of the opening balance's day and at the end of the closing
// one's), VRDIFERENCA (the bank's closing balance less the books'; null when the file states none),
// QTLINHAS and QTCONCILIADAS. Refuses an account the operator may not use.
Variant getExtratos(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    struct Row {
        QString statement, format, openingHow, closingHow;
        QDate first, last, openingDay, closingDay;
        qint64 opening, closing;
    };
    QList<Row> found;
    context.sql.forEach(
        QStringLiteral(
            "SELECT CDSEQUEXBA, IDFORMATO, DTINIEXTR, DTFIMEXTR, VRSALDINIC, IDSALDINIC, VRSALDFINA, "
            "IDSALDFINA, DTSALDINIC, DTSALDFINA FROM EXTRATOBANC WHERE CDREDUCONT = :conta ORDER BY "
            "DTINIEXTR, CDSEQUEXBA"),
        {{QStringLiteral("conta"), account}}, [&](const SqlRow &row) {
            Row r{row.text(0),
                  row.isNull(1) ? QString() : row.text(1),
                  row.text(5),
                  row.text(7),
                  row.date(2),
                  row.date(3),
                  row.isNull(8) ? row.date(2) : row.date(8),
                  row.isNull(9) ? row.date(3) : row.date(9),
                  row.integer(4),
                  row.integer(6)};
            found.append(r);
        });
    DataPacket answer(fieldsOf({{QStringLiteral("CDSEQUEXBA"), Kind::Text, 10},
                                {QStringLiteral("IDFORMATO"), Kind::Text, 1},
                                {QStringLiteral("DTINIEXTR"), Kind::Date, 0},
                                {QStringLiteral("DTFIMEXTR"), Kind::Date, 0},
                                {QStringLiteral("VRSALDINIC"), Kind::Float, 0},
                                {QStringLiteral("IDSALDINIC"), Kind::Text, 1},
                                {QStringLiteral("VRSALDFINA"), Kind::Float, 0},
                                {QStringLiteral("IDSALDFINA"), Kind::Text, 1},
                                {QStringLiteral("VRLIVROINIC"), Kind::Float, 0},
                                {QStringLiteral("VRLIVROFINA"), Kind::Float, 0},
                                {QStringLiteral("VRDIFERENCA"), Kind::Float, 0},
                                {QStringLiteral("QTLINHAS"), Kind::Integer, 0},
                                {QStringLiteral("QTCONCILIADAS"), Kind::Integer, 0}}));
    for (const Row &r : found) {
        const qint64 booksOpening = booksBalanceAtEndOf(context.sql, account, r.openingDay.addDays(-1));
        const qint64 booksClosing = booksBalanceAtEndOf(context.sql, account, r.closingDay);
        const SqlParams params{{QStringLiteral("conta"), account}, {QStringLiteral("extrato"), r.statement}};
        const auto lines = context.sql.scalar(
            QStringLiteral(
                "SELECT COUNT(*) FROM MOVEXTRATO WHERE CDREDUCONT = :conta AND CDSEQUEXBA = :extrato"),
            params);
        const auto reconciled = context.sql.scalar(
            QStringLiteral(
                "SELECT COUNT(*) FROM MOVEXTRATO L WHERE L.CDREDUCONT = :conta AND L.CDSEQUEXBA = "
                ":extrato AND EXISTS (SELECT 1 FROM MOVBANCARIO M WHERE M.CDREDUCONT = L.CDREDUCONT "
                "AND M.CDSEQUEXBA = L.CDSEQUEXBA AND M.NRSEQMOVREBA = L.NRSEQMOVREBA)"),
            params);
        const bool hasOpening = r.openingHow != u"A", hasClosing = r.closingHow != u"A";
        answer.appendValues({r.statement, r.format, r.first, r.last, centsOrNull(hasOpening, r.opening),
                             r.openingHow, centsOrNull(hasClosing, r.closing), r.closingHow,
                             amountFromCents(booksOpening), amountFromCents(booksClosing),
                             centsOrNull(hasClosing, r.closing - booksClosing),
                             lines ? lines->toLongLong() : 0, reconciled ? reconciled->toLongLong() : 0});
    }
    return answer;
}

void requireStatement(CallContext &context, const QString &account, const QString &statement) {
    if (!context.sql.scalar(
            QStringLiteral("SELECT 1 FROM EXTRATOBANC WHERE CDREDUCONT = :conta AND CDSEQUEXBA = :extrato"),
            {{QStringLiteral("conta"), account}, {QStringLiteral("extrato"), statement}}))
        refuse(QStringLiteral("Extrato %1 não encontrado na conta corrente %2.").arg(statement, account));
}

// GetLinhasExtrato(account, statement): the statement's lines in their order: NRSEQMOVREBA, IDBANCO,
// DTMOVEXTR, IDMOVEXTR, VRMOVEXTR, NRDOCEXTR, DSMOVEXTR, NRLINHAARQ, IDSTCONEXT ('1' reconciled, '0' not),
// DSMOVIMENTOS (the movements reconciled on it, separated by ", ") and NRVERSAO (what a reconciliation or
// its undoing sends back). Refuses an account the operator may not use and a statement it does not hold.
Variant getLinhasExtrato(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const QString statement = code(args[1]);
    requireStatement(context, account, statement);
    const SqlParams params{{QStringLiteral("conta"), account}, {QStringLiteral("extrato"), statement}};
    std::map<QString, QStringList> reconciled;
    context.sql.forEach(QStringLiteral("SELECT NRSEQMOVREBA, NRMOVBANC FROM MOVBANCARIO WHERE CDREDUCONT = "
                                       ":conta AND CDSEQUEXBA = :extrato ORDER BY NRMOVBANC"),
                        params, [&](const SqlRow &row) { reconciled[row.text(0)].append(row.text(1)); });
    DataPacket answer(fieldsOf({{QStringLiteral("NRSEQMOVREBA"), Kind::Text, 10},
                                {QStringLiteral("IDBANCO"), Kind::Text, MaxBankId},
                                {QStringLiteral("DTMOVEXTR"), Kind::Date, 0},
                                {QStringLiteral("IDMOVEXTR"), Kind::Text, 1},
                                {QStringLiteral("VRMOVEXTR"), Kind::Float, 0},
                                {QStringLiteral("NRDOCEXTR"), Kind::Text, MaxDocument},
                                {QStringLiteral("DSMOVEXTR"), Kind::Text, MaxDescription},
                                {QStringLiteral("NRLINHAARQ"), Kind::Integer, 0},
                                {QStringLiteral("IDSTCONEXT"), Kind::Text, 1},
                                {QStringLiteral("DSMOVIMENTOS"), Kind::Text, 200},
                                {QStringLiteral("NRVERSAO"), Kind::Text, 20}}));
    context.sql.forEach(
        QStringLiteral(
            "SELECT NRSEQMOVREBA, IDBANCO, DTMOVEXTR, IDMOVEXTR, VRMOVEXTR, NRDOCEXTR, DSMOVEXTR, "
            "NRLINHAARQ, NRVERSAO FROM MOVEXTRATO WHERE CDREDUCONT = :conta AND CDSEQUEXBA = :extrato "
            "ORDER BY NRSEQMOVREBA"),
        params, [&](const SqlRow &row) {
            const auto movements = reconciled.find(row.text(0));
            const bool done = movements != reconciled.end();
            const auto text = [&](int column) {
                return row.isNull(column) ? Variant() : Variant(row.text(column));
            };
            answer.appendValues({row.text(0), text(1), row.date(2), row.text(3),
                                 amountFromCents(row.integer(4)), text(5), text(6),
                                 row.isNull(7) ? Variant() : Variant(row.integer(7)), done ? "1" : "0",
                                 done ? Variant(movements->second.join(QStringLiteral(", "))) : Variant(),
                                 QString::number(row.integer(8))});
        });
    return answer;
}

// GetSugestoesConciliacao(account, statement[, window]): the proposals for the statement's lines not
// reconciled (every statement of the account's when `statement` is empty), by proposeMatches' rule, with
// movements up to `window` days (default 3, at most 31) from their line. Every open line of the account
// takes part, whichever statement is asked for: a line of another statement that wants the same movement
// leaves it to the operator. One row per movement of a
// proposal: CDSEQUEXBA, NRSEQMOVREBA, NRVERSAOLINHA, NRPROPOSTA (1 the best of its line; a group's
// movements share it), IDDECIDIDA ('S': the one proposal of its line that may be reconciled without an
// operator), IDDOCUMENTO ('S': the document agrees), NRDIAS (the group's largest distance in days), then the
// movement: NRMOVBANC, NRVERSAO, DTMOVBANC, IDMOVBANC, VRMOVBANC, NRDOCMBANC, DSHISMBANC. Lines without a
// proposal have no row. The rows name what SetConciliacao takes.
Variant getSugestoesConciliacao(CallContext &context, VariantList &args) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    const QString statement = code(args[1]);
    if (!statement.isEmpty())
        requireStatement(context, account, statement);
    MatchRules rules;
    if (args.size() > 2 && !args[2].isNull()) {
        const double window = args[2].toFloat();
        if (window < 0 || window > 31 || window != std::floor(window))
            refuse(QStringLiteral("A janela de datas deve ser de 0 a 31 dias."));
        rules.windowDays = static_cast<int>(window);
    }
    const QList<OpenLine> lines = openLines(context.sql, account, QString());
    QList<OpenMovement> movements;
    if (!lines.isEmpty()) {
        QDate first = lines.first().date, last = first;
        for (const OpenLine &line : lines) {
            first = std::min(first, line.date);
            last = std::max(last, line.date);
        }
        movements =
            openMovements(context.sql, account, std::max(first.addDays(-rules.windowDays), firstCalendarDay),
                          std::min(last.addDays(rules.windowDays), lastCalendarDay));
    }
    const QList<Proposal> proposals = proposeMatches(lines, movements, rules);
    DataPacket answer(fieldsOf({{QStringLiteral("CDSEQUEXBA"), Kind::Text, 10},
                                {QStringLiteral("NRSEQMOVREBA"), Kind::Text, 10},
                                {QStringLiteral("NRVERSAOLINHA"), Kind::Text, 20},
                                {QStringLiteral("NRPROPOSTA"), Kind::Integer, 0},
                                {QStringLiteral("IDDECIDIDA"), Kind::Text, 1},
                                {QStringLiteral("IDDOCUMENTO"), Kind::Text, 1},
                                {QStringLiteral("NRDIAS"), Kind::Integer, 0},
                                {QStringLiteral("NRMOVBANC"), Kind::Text, 10},
                                {QStringLiteral("NRVERSAO"), Kind::Text, 20},
                                {QStringLiteral("DTMOVBANC"), Kind::Date, 0},
                                {QStringLiteral("IDMOVBANC"), Kind::Text, 1},
                                {QStringLiteral("VRMOVBANC"), Kind::Float, 0},
                                {QStringLiteral("NRDOCMBANC"), Kind::Text, 10},
                                {QStringLiteral("DSHISMBANC"), Kind::Text, 40}}));
    answer.reserve(static_cast<int>(proposals.size()));
    for (const Proposal &p : proposals) {
        const OpenLine &line = lines[p.line];
        if (!statement.isEmpty() && line.statement != statement)
            continue;
        for (const int index : p.movements) {
            const OpenMovement &m = movements[index];
            answer.appendValues(
                {line.statement, line.line, QString::number(line.version), static_cast<qint64>(p.rank),
                 p.decided ? "S" : "N", p.documentAgrees ? "S" : "N", static_cast<qint64>(p.days), m.number,
                 QString::number(m.version), m.date, QString(m.kind), amountFromCents(m.cents),
                 m.document.isEmpty() ? Variant() : Variant(m.document),
                 m.description.isEmpty() ? Variant() : Variant(m.description)});
        }
    }
    return answer;
}

// The pairings of a SetConciliacao or SetDesfazConciliacao: a packet with (at least) CDSEQUEXBA,
// NRSEQMOVREBA, NRVERSAOLINHA, NRMOVBANC and NRVERSAO, one row per movement.
QList<Pairing> pairingsOf(const DataPacket &packet) {
    QList<Pairing> pairings;
    for (int row = 0; row < packet.rowCount(); ++row) {
        pairings.append({code(fieldOf(packet, row, "CDSEQUEXBA")), code(fieldOf(packet, row, "NRSEQMOVREBA")),
                         versionOf(fieldOf(packet, row, "NRVERSAOLINHA"), "line"),
                         code(fieldOf(packet, row, "NRMOVBANC")),
                         versionOf(fieldOf(packet, row, "NRVERSAO"), "entry")});
    }
    return pairings;
}

// SetConciliacao(account, pairings) and SetDesfazConciliacao(account, pairings): reconcile the pairings'
// lines with their movements, or release them, all in one go; answer how many lines. Refuse, writing
// nothing, what applyPairings refuses and an account the operator may not use.
Variant pairingCall(CallContext &context, VariantList &args, PairingAction action) {
    const QString account = code(args[0]);
    requireAccount(context, account);
    return static_cast<qint64>(applyPairings(context, account, pairingsOf(args[1].packet()), action));
}

} // namespace

void addStatementMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("SetGravaExtrato"),
                  .args = {ArgKind::Text, ArgKind::Any, ArgKind::Any},
                  .writes = true,
                  .handler = setGravaExtrato});
    registry.add({.name = QStringLiteral("GetExtratos"), .args = {ArgKind::Text}, .handler = getExtratos});
    registry.add({.name = QStringLiteral("GetLinhasExtrato"),
                  .args = {ArgKind::Text, ArgKind::Text},
                  .handler = getLinhasExtrato});
    registry.add({.name = QStringLiteral("GetSugestoesConciliacao"),
                  .args = {ArgKind::Text, ArgKind::Text, ArgKind::Number},
                  .handler = getSugestoesConciliacao,
                  .optionalTrailing = 1});
    registry.add({.name = QStringLiteral("SetConciliacao"),
                  .args = {ArgKind::Text, ArgKind::Any},
                  .writes = true,
                  .handler = [](CallContext &c, VariantList &a) {
                      return pairingCall(c, a, PairingAction::Reconcile);
                  }});
    registry.add({.name = QStringLiteral("SetDesfazConciliacao"),
                  .args = {ArgKind::Text, ArgKind::Any},
                  .writes = true,
                  .handler = [](CallContext &c, VariantList &a) {
                      return pairingCall(c, a, PairingAction::Undo);
                  }});
}

} // namespace bco::server
