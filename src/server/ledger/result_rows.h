#pragma once

#include <QString>
#include <QStringList>

#include "framework/data/data_packet.h"

namespace bco::server {

// The result packet the writing methods answer first (the forms' cdsResult: CDRESULT, DSRESULT,
// IDTPRESULT, DTVENC, NMFORN, VRBOLET). The forms read its first row in IDTPRESULT order: when CDRESULT is
// "MSG", DSRESULT holds a key of their catalogue that refuses the operation. Rows "DET" that follow it
// describe what the refusal is about (in DSRESULT), for the operator to see; "OK" says what was written.

DataPacket emptyResult();
// A refusal by catalogue key, with a "DET" row for each detail.
DataPacket refusalResult(const QString &key, const QStringList &details = {});
// What a successful call wrote.
DataPacket doneResult(const QString &text);
// Appends a row of any code (the import's "CTB" and "IGN" among them); only "MSG" refuses.
void appendResultRow(DataPacket &result, const QString &code, const QString &text);

} // namespace bco::server
