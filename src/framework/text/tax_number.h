#pragma once

#include <QString>

// The text rules of the customers' and suppliers' tax numbers: pure text, like the edit masks they give. They
// are checks routines the forms call by one name (`Consiste::PictPess`), which consiste.h brings in.
namespace Consiste {

// Person kinds of customers and suppliers (IDTPIJURCLIE, IDTPIJURFORN).
inline constexpr char PersonKindCompany[] = "J";    // a legal entity, 14-digit tax number
inline constexpr char PersonKindIndividual[] = "F"; // a natural person, 11-digit tax number

// The edit mask of a tax number for a person kind: a company "99.999.999/9999-99;0; ", an individual
// "999.999.999-99;0; ". Letters are matched without regard to case; any other kind has no mask, so its
// number shows as stored.
QString PictPess(const QString &personKind);

// Brings a typed tax number to its stored form, its digits only, and answers the person kind that its
// length implies (14 digits a company, 11 an individual, else empty: no mask), ready for PictPess.
QString Ajusta_Inscricao(QString &taxNumber);

} // namespace Consiste
