#include "statement_model/statement_packets.h"

#include "framework/data/variant.h"
#include "framework/text/whole_characters.h"

namespace bco {

namespace {

FieldDef text(const char *name, int size) {
    return FieldDef{QString::fromLatin1(name), FieldKind::Text, size, false};
}
FieldDef of(const char *name, FieldKind kind) {
    return FieldDef{QString::fromLatin1(name), kind, 0, false};
}

// Cents travel as reais, as every amount does; a double holds any statement amount exactly to the cent
// (15 integer digits at most), and the server converts it back to cents refusing anything between.
double reais(qint64 cents) {
    return static_cast<double>(cents) / 100.0;
}

void appendBalance(std::vector<Variant> &row, const std::optional<StatementBalance> &balance) {
    if (!balance) {
        row.insert(row.end(), {Variant(), "A", Variant()});
        return;
    }
    row.insert(row.end(), {reais(balance->cents), balance->stated ? "I" : "C", balance->date});
}

} // namespace

StatementPackets statementPackets(const BankStatement &statement) {
    StatementPackets packets{
        DataPacket({text("IDFORMATO", 1), text("CDBANCO", 10), text("CDAGENCIA", 20), text("DVAGENCIA", 2),
                    text("NRCONTA", 30), text("DVCONTA", 2), of("DTINIEXTR", FieldKind::Date),
                    of("DTFIMEXTR", FieldKind::Date), of("VRSALDINIC", FieldKind::Float),
                    text("IDSALDINIC", 1), of("DTSALDINIC", FieldKind::Date),
                    of("VRSALDFINA", FieldKind::Float), text("IDSALDFINA", 1),
                    of("DTSALDFINA", FieldKind::Date), text("CDCONTEUDO", 64)}),
        DataPacket({text("IDBANCO", 255), of("DTMOVEXTR", FieldKind::Date), text("IDMOVEXTR", 1),
                    of("VRMOVEXTR", FieldKind::Float), text("NRDOCEXTR", 40), text("DSMOVEXTR", 400),
                    of("NRLINHAARQ", FieldKind::Integer)})};
    const StatementAccount &account = statement.account;
    std::vector<Variant> header{statement.format == StatementFormat::Ofx ? "O" : "C",
                                account.bankCode,
                                account.agency,
                                account.agencyCheck,
                                account.account,
                                account.accountCheck,
                                statement.firstDay,
                                statement.lastDay};
    appendBalance(header, statement.opening);
    appendBalance(header, statement.closing);
    header.push_back(QString::fromLatin1(statement.contentKey));
    packets.header.appendValues(header);

    packets.lines.reserve(static_cast<int>(statement.lines.size()));
    for (const StatementLine &line : statement.lines)
        // A bank's file may hold a control character in a text (one left by a charset converted twice):
        // it is sent as a blank, as the server takes a text only on one line. The id goes as the file gave
        // it, since lines are known again by it.
        packets.lines.appendValues({line.bankId, line.date, QString(line.kind), reais(line.cents),
                                    asOneLine(line.document), asOneLine(line.description), line.fileLine});
    return packets;
}

DataPacket pairingPacket(const QList<StatementPairing> &pairings) {
    DataPacket packet({text("CDSEQUEXBA", 10), text("NRSEQMOVREBA", 10), text("NRVERSAOLINHA", 20),
                       text("NRMOVBANC", 10), text("NRVERSAO", 20)});
    packet.reserve(static_cast<int>(pairings.size()));
    for (const StatementPairing &p : pairings)
        packet.appendValues({p.statement, p.line, p.lineVersion, p.movement, p.movementVersion});
    return packet;
}

} // namespace bco
