#include "server/methods/all_methods.h"

namespace bco::server {

namespace {

using Kind = Column::Kind;

// GetParamGeral(): the general parameters, as two packets. Element 0 is the blocked-date rule of every module
// (PARAMGERAL: the client checks a date against the row of its module prefix, "BCO_" for this one); element
// 1 is the system's general row, whose IDTIPOORCA "C" makes an entry's cost centre mandatory.
Variant getParamGeral(CallContext &context, VariantList &) {
    const DataPacket rules = context.sql.packet(
        QStringLiteral("SELECT CDMODULO, IDBLOQDATA, QTDIATOLE, DTBLOQATE FROM PARAMGERAL ORDER BY CDMODULO"),
        {},
        {{QStringLiteral("CDMODULO"), Kind::Text, 4},
         {QStringLiteral("IDBLOQDATA"), Kind::Text, 1},
         {QStringLiteral("QTDIATOLE"), Kind::Integer, 0},
         {QStringLiteral("DTBLOQATE"), Kind::Date, 0}});
    const DataPacket general = context.sql.packet(QStringLiteral("SELECT IDTIPOORCA FROM GERPARAMGERAL"), {},
                                                  {{QStringLiteral("IDTIPOORCA"), Kind::Text, 1}});
    return VariantList{rules, general};
}

// getGeral_bco(): the bank module's parameters: the default period of the entry list, in days before and
// after the processing date. No row means no days on either side.
Variant getGeralBco(CallContext &context, VariantList &) {
    return context.sql.packet(
        QStringLiteral("SELECT QTDIAANTLANC, QTDIAAPOLANC FROM PARAMBCO"), {},
        {{QStringLiteral("QTDIAANTLANC"), Kind::Float, 0}, {QStringLiteral("QTDIAAPOLANC"), Kind::Float, 0}});
}

} // namespace

void addParameterMethods(MethodRegistry &registry) {
    registry.add({.name = QStringLiteral("GetParamGeral"), .handler = getParamGeral});
    registry.add({.name = QStringLiteral("getGeral_bco"), .handler = getGeralBco});
}

} // namespace bco::server
