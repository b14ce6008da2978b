#include "statement_model/statement_calls.h"

#include <cmath>
#include <set>

#include <QHash>
#include <QSet>

#include "framework/data/variant.h"
#include "framework/text/edit_mask.h"
#include "statement_model/statement_packets.h"

namespace bco {

namespace {

Variant called(NetConnection &server, const char *method, const VariantList &args) {
    const RemoteResult answer = server.Call(QString::fromLatin1(method), args);
    if (!answer.ok())
        throw StatementCallError(answer.errorMessage());
    return answer.payload();
}

const DataPacket &packetOf(const Variant &answer, const char *method) {
    if (!answer.isPacket())
        throw StatementCallError(
            QStringLiteral("O servidor não respondeu %1 com uma tabela.").arg(QString::fromLatin1(method)));
    return answer.packet();
}

// An amount as it travels (reais, two decimals) in cents.
qint64 centsOf(const Variant &amount) {
    return std::llround(amount.toFloat() * 100.0);
}

struct Columns {
    const DataPacket &packet;
    Variant operator()(int row, const char *name) const {
        return packet.value(row, QString::fromLatin1(name));
    }
};

} // namespace

QList<RegisteredAccount> operatorAccounts(const LocalQuery::ConnectionProvider &database,
                                          const QString &operatorCode) {
    LocalQuery query;
    query.SetConnection(database);
    query.SQL =
        QStringList{"SELECT C.CDREDUCONT, C.CDBANCO, C.CDAGENCIA, C.CDCONTCORR, B.CDPICTAGEN, B.CDPICTCONT, "
                    "B.CDBANCCNAB",
                    "FROM CONTCORR C JOIN OPEREMPR O ON O.CDEMPRESA = C.CDEMPRESA",
                    "LEFT JOIN BANCO B ON B.CDBANCO = C.CDBANCO", "WHERE O.CDOPERADOR = :P_CDOPERADOR",
                    "ORDER BY C.CDREDUCONT"};
    query.ParamByName(QStringLiteral("P_CDOPERADOR")).SetAsString(operatorCode);
    query.Open();
    QList<RegisteredAccount> accounts;
    for (query.First(); !query.Eof(); query.Next()) {
        const QString agency = query.FieldByName(u"CDAGENCIA").AsString();
        const QString number = query.FieldByName(u"CDCONTCORR").AsString();
        accounts.append({query.FieldByName(u"CDREDUCONT").AsString(),
                         query.FieldByName(u"CDBANCO").AsString(), agency, number,
                         FormatThroughPicture(query.FieldByName(u"CDPICTAGEN").AsString(), agency),
                         FormatThroughPicture(query.FieldByName(u"CDPICTCONT").AsString(), number),
                         query.FieldByName(u"CDBANCCNAB").AsString().trimmed()});
    }
    query.Close();
    return accounts;
}

QStringList accountsNamedBy(const StatementAccount &named, const QList<RegisteredAccount> &accounts) {
    QStringList codes;
    if (named.isEmpty())
        return codes;
    for (const RegisteredAccount &account : accounts)
        if (named.matches(account.bank, account.agency, account.number) ||
            (!account.interbankBank.isEmpty() &&
             named.matches(account.interbankBank, account.agency, account.number)))
            codes.append(account.code);
    return codes;
}

StoreOutcome storeStatement(NetConnection &server, const QString &account, const BankStatement &statement) {
    const StatementPackets sent = statementPackets(statement);
    const Variant answer = called(server, "SetGravaExtrato", {account, sent.header, sent.lines});
    const Columns row{packetOf(answer, "SetGravaExtrato")};
    if (row.packet.rowCount() != 1)
        throw StatementCallError(QStringLiteral("O servidor não respondeu SetGravaExtrato com uma linha."));
    StoreOutcome outcome;
    const QString situation = row(0, "IDSITUACAO").toText();
    outcome.situation = situation == u"R"   ? StoreOutcome::Situation::SameFile
                        : situation == u"S" ? StoreOutcome::Situation::NoNewLines
                                            : StoreOutcome::Situation::Stored;
    outcome.statement = row(0, "CDSEQUEXBA").toText();
    outcome.newLines = static_cast<int>(row(0, "QTNOVAS").toInt());
    outcome.knownLines = static_cast<int>(row(0, "QTJAEXISTENTES").toInt());
    outcome.message = row(0, "DSMENSAGEM").toText();
    return outcome;
}

namespace {

// What finds a line of the file among the lines the server holds: its id without the day and occurrence
// that the server, or the reader for an id the file repeats, may have added to it ("0001 20240313 #1" is
// "0001" of that day), and its day, kind and amount. The server stores a line whose id another line of
// another day holds under such an id.
QString heldLineKey(const QString &bankId, QDate date, QChar kind, qint64 cents) {
    return bareBankId(bankId, date) + u'\n' + date.toString(Qt::ISODate) + kind + QString::number(cents);
}

} // namespace

QList<HeldLine> linesOfFile(NetConnection &server, const QString &account, const BankStatement &statement) {
    QMultiHash<QString, int> order; // key -> positions in the file, later ones first
    for (int i = 0; i < statement.lines.size(); ++i) {
        const StatementLine &line = statement.lines[i];
        order.insert(heldLineKey(line.bankId, line.date, line.kind, line.cents), i);
    }
    QList<std::optional<HeldLine>> found(statement.lines.size());
    const Variant listed = called(server, "GetExtratos", {account});
    const Columns statements{packetOf(listed, "GetExtratos")};
    for (int s = 0; s < statements.packet.rowCount(); ++s) {
        // Lines keep their day, so a statement whose period misses the file's holds none of its lines.
        if (statements(s, "DTFIMEXTR").toDate() < statement.firstDay ||
            statements(s, "DTINIEXTR").toDate() > statement.lastDay)
            continue;
        const QString number = statements(s, "CDSEQUEXBA").toText();
        const Variant answer = called(server, "GetLinhasExtrato", {account, number});
        const Columns lines{packetOf(answer, "GetLinhasExtrato")};
        for (int l = 0; l < lines.packet.rowCount(); ++l) {
            const QString kind = lines(l, "IDMOVEXTR").toText();
            const auto position = order.find(
                heldLineKey(lines(l, "IDBANCO").toText(), lines(l, "DTMOVEXTR").toDate(),
                            kind.isEmpty() ? QChar() : kind.at(0), centsOf(lines(l, "VRMOVEXTR"))));
            if (position == order.end())
                continue;
            const int at = *position;
            order.erase(position); // two alike lines of a day are two lines of the file
            found[at] = HeldLine{.statement = number,
                                 .line = lines(l, "NRSEQMOVREBA").toText(),
                                 .version = lines(l, "NRVERSAO").toText(),
                                 .bankId = lines(l, "IDBANCO").toText(),
                                 .date = lines(l, "DTMOVEXTR").toDate(),
                                 .kind = kind.isEmpty() ? QChar() : kind.at(0),
                                 .cents = centsOf(lines(l, "VRMOVEXTR")),
                                 .document = lines(l, "NRDOCEXTR").toText(),
                                 .description = lines(l, "DSMOVEXTR").toText(),
                                 .fileLine = statement.lines[at].fileLine,
                                 .reconciled = lines(l, "IDSTCONEXT").toText() == u"1",
                                 .movements = lines(l, "DSMOVIMENTOS").toText()};
        }
    }
    QList<HeldLine> held;
    for (const auto &line : found)
        if (line)
            held.append(*line);
    return held;
}

ReconcileOutcome reconcileDecided(NetConnection &server, const QString &account, const QList<HeldLine> &open,
                                  int attempts) {
    std::set<std::pair<QString, QString>> wanted;
    for (const HeldLine &line : open)
        if (!line.reconciled)
            wanted.insert({line.statement, line.line});
    ReconcileOutcome outcome;
    for (int attempt = 0; attempt < attempts && !wanted.empty(); ++attempt) {
        const Variant answer = called(server, "GetSugestoesConciliacao", {account, QString()});
        const Columns proposals{packetOf(answer, "GetSugestoesConciliacao")};
        QList<StatementPairing> pairings;
        QSet<QString> lines;
        for (int row = 0; row < proposals.packet.rowCount(); ++row) {
            const QString statement = proposals(row, "CDSEQUEXBA").toText();
            const QString line = proposals(row, "NRSEQMOVREBA").toText();
            if (proposals(row, "IDDECIDIDA").toText() != u"S" || !wanted.count({statement, line}))
                continue;
            pairings.append({statement, line, proposals(row, "NRVERSAOLINHA").toText(),
                             proposals(row, "NRMOVBANC").toText(), proposals(row, "NRVERSAO").toText()});
            lines.insert(statement + u'/' + line);
        }
        if (pairings.isEmpty())
            break;
        const RemoteResult done =
            server.Call(QStringLiteral("SetConciliacao"), {account, pairingPacket(pairings)});
        if (done.ok()) {
            outcome.lines = static_cast<int>(lines.size());
            outcome.refusal.clear();
            outcome.unsure = false;
            break;
        }
        outcome.refusal = done.errorMessage();
        // A call that may have run is not undone by a later one refused.
        outcome.unsure = outcome.unsure || done.mayHaveRun();
    }
    return outcome;
}

qint64 booksBalanceAt(NetConnection &server, const QString &account, const QDate &day) {
    return centsOf(called(server, "getSaldoDia", {account, day}));
}

} // namespace bco
