#pragma once

#include <QString>

#include "framework/data/field.h"

// Shorthands for the field lists that declare the records, which follow their layouts field by field:
//   AddFields({date("DTMOVICRED", "Data"), hidden(fixed(text("DEBCRED", 1))), amount("VRDESCONTO")})
namespace bco::fields {

inline FieldSpec text(const QString &name, int size, const QString &label = {}) {
    return FieldSpec{.name = name, .kind = FieldKind::Text, .size = size, .label = label};
}
inline FieldSpec number(const QString &name, const QString &label = {}) {
    return FieldSpec{.name = name, .kind = FieldKind::Float, .label = label};
}
// An amount shows with two decimals and the thousands separated.
inline FieldSpec amount(const QString &name, const QString &label = {}) {
    return FieldSpec{
        .name = name, .kind = FieldKind::Float, .label = label, .displayFormat = QStringLiteral("#,##0.00")};
}
inline FieldSpec date(const QString &name, const QString &label = {}) {
    return FieldSpec{.name = name, .kind = FieldKind::Date, .label = label};
}
// The row's mark (IDMARCADO, "S" marked), which the grids draw as a box.
inline FieldSpec mark() {
    return FieldSpec{.name = QStringLiteral("IDMARCADO"), .size = 1, .fixedWidth = true};
}

inline FieldSpec hidden(FieldSpec declared) {
    declared.hidden = true;
    return declared;
}
inline FieldSpec required(FieldSpec declared) {
    declared.required = true;
    return declared;
}
inline FieldSpec fixed(FieldSpec declared) {
    declared.fixedWidth = true;
    return declared;
}
inline FieldSpec calculated(FieldSpec declared) {
    declared.calculated = true;
    return declared;
}

} // namespace bco::fields
