#include "server/ledger/result_rows.h"

#include "framework/data/variant.h"
#include "server/storage/database.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

const Columns resultColumns = {
    {QStringLiteral("CDRESULT"), Kind::Text, 3},   {QStringLiteral("DSRESULT"), Kind::Text, 250},
    {QStringLiteral("IDTPRESULT"), Kind::Text, 2}, {QStringLiteral("DTVENC"), Kind::Text, 15},
    {QStringLiteral("NMFORN"), Kind::Text, 60},    {QStringLiteral("VRBOLET"), Kind::Text, 20},
};

void append(DataPacket &rows, const char *code, const QString &text, const char *order) {
    rows.appendValues({QString::fromLatin1(code), text.left(250), QString::fromLatin1(order), Variant(),
                       Variant(), Variant()});
}

} // namespace

DataPacket emptyResult() {
    return DataPacket(fieldsOf(resultColumns));
}

DataPacket refusalResult(const QString &key, const QStringList &details) {
    DataPacket rows = emptyResult();
    append(rows, "MSG", key, "00");
    for (const QString &detail : details)
        append(rows, "DET", detail, "01");
    return rows;
}

DataPacket doneResult(const QString &text) {
    DataPacket rows = emptyResult();
    append(rows, "OK", text, "01");
    return rows;
}

void appendResultRow(DataPacket &result, const QString &code, const QString &text) {
    result.appendValues({code, text.left(250), code == u"MSG" ? QStringLiteral("00") : QStringLiteral("01"),
                         Variant(), Variant(), Variant()});
}

} // namespace bco::server
