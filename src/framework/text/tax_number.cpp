#include "framework/text/tax_number.h"

namespace Consiste {

QString PictPess(const QString &personKind) {
    const QString kind = personKind.trimmed();
    if (kind.compare(QLatin1String(PersonKindCompany), Qt::CaseInsensitive) == 0)
        return QStringLiteral("99.999.999/9999-99;0; ");
    if (kind.compare(QLatin1String(PersonKindIndividual), Qt::CaseInsensitive) == 0)
        return QStringLiteral("999.999.999-99;0; ");
    return QString();
}

QString Ajusta_Inscricao(QString &taxNumber) {
    QString digits;
    for (const QChar c : taxNumber) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
    }
    taxNumber = digits;
    if (digits.size() == 14)
        return QString::fromLatin1(PersonKindCompany);
    if (digits.size() == 11)
        return QString::fromLatin1(PersonKindIndividual);
    return QString();
}

} // namespace Consiste
