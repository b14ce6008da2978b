#pragma once

#include <QList>
#include <QString>

#include "framework/data/data_packet.h"
#include "statements/bank_statement.h"

// The packets of the statement methods, built in one place so that every client sends the fields the server
// reads, under the names and in the units it reads them.
namespace bco {

// What SetGravaExtrato takes besides the account: the statement's header (one row) and its lines (one row
// per line of the file, in the file's order).
struct StatementPackets {
    DataPacket header;
    DataPacket lines;
};

// The statement as read. The header: IDFORMATO ('O' OFX, 'C' CNAB 240), the account as the file names it
// (CDBANCO, CDAGENCIA and NRCONTA as written, DVAGENCIA and DVCONTA; empty when the file does not say),
// DTINIEXTR and DTFIMEXTR, each balance as VRSALD*, DTSALD* and IDSALD* ('I' stated by the file, 'C' worked
// out by the reader, 'A' absent: then the value and the day are null), CDCONTEUDO (the content key). The
// lines: IDBANCO, DTMOVEXTR, IDMOVEXTR, VRMOVEXTR (the amount in reais, exact to the cent), NRDOCEXTR,
// DSMOVEXTR, NRLINHAARQ. Nothing is checked or cut here: the server checks every field again.
StatementPackets statementPackets(const BankStatement &statement);

// One movement tied to (or released from) one statement line, with the versions the operator saw.
struct StatementPairing {
    QString statement; // CDSEQUEXBA
    QString line;      // NRSEQMOVREBA
    QString lineVersion;
    QString movement; // NRMOVBANC
    QString movementVersion;
};

// What SetConciliacao and SetDesfazConciliacao take besides the account: CDSEQUEXBA, NRSEQMOVREBA,
// NRVERSAOLINHA, NRMOVBANC and NRVERSAO, one row per pairing.
DataPacket pairingPacket(const QList<StatementPairing> &pairings);

} // namespace bco
