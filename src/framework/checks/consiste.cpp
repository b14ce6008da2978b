#include "framework/checks/consiste.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include <QStringList>

#include "framework/text/decimal_rounding.h"
#include "framework/checks/dialogs.h"
#include "framework/text/typed_amount.h"

namespace Consiste {

bool EmptyString(const QString &text) {
    return text.trimmed().isEmpty();
}

QString AllTrim(const QString &text) {
    return text.trimmed();
}

QString Ajusta(const QString &text, int width) {
    QString code = text.trimmed();
    if (code.isEmpty() || width <= 0)
        return code;
    if (code.size() < width)
        return QString(width - code.size(), QLatin1Char('0')) + code;
    qsizetype zeros = 0;
    while (code.size() - zeros > width && code[zeros] == QLatin1Char('0'))
        ++zeros;
    return code.mid(zeros);
}

QString Replace(const QString &pattern, const QString &text, const QString &replacement, int flags) {
    if (pattern.isEmpty())
        return text;
    const Qt::CaseSensitivity cs = (flags & ReplaceIgnoreCase) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    QString result = text;
    if (flags & ReplaceFirstOnly) {
        const qsizetype at = result.indexOf(pattern, 0, cs);
        if (at >= 0)
            result.replace(at, pattern.size(), replacement);
        return result;
    }
    return result.replace(pattern, replacement, cs);
}

double RoundDec(double value, int places) {
    // Beyond these the rounding digit lies outside any double's shortest text.
    places = std::clamp(places, -400, 400);
    const auto rounded = bco::RoundShortestDecimal(value, places, bco::DecimalRounding::HalfAwayFromZero);
    if (!rounded)
        return value;
    if (rounded->isZero())
        return 0.0;
    const std::string text =
        (rounded->negative ? "-" : "") + rounded->digits + "e" + std::to_string(rounded->exponent);
    double result = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), result);
    return result;
}

bool MaxNumber(const QString &text, int intDigits, int decDigits, QChar key, int selStart, int selLength,
               const QLocale &locale) {
    if (key.unicode() < 0x20 || key.unicode() == 0x7f)
        return true;
    const bco::AmountNotation notation = bco::AmountNotation::of(locale);
    const bool isDigit = key >= QLatin1Char('0') && key <= QLatin1Char('9');
    const bool isDecimal = key == notation.decimal;
    if (!isDigit && !isDecimal && key != notation.group && key != QLatin1Char('-'))
        return false;
    if (isDecimal && decDigits <= 0)
        return false;

    const qsizetype start = std::clamp<qsizetype>(selStart, 0, text.size());
    const qsizetype length = std::clamp<qsizetype>(selLength, 0, text.size() - start);
    QString result = text;
    result.replace(start, length, key);
    const bco::TypedAmount typed = bco::ReadTypedAmount(result, notation);
    return typed.state != bco::AmountTextState::Invalid && typed.integerDigits <= intDigits &&
           typed.decimalDigits <= decDigits;
}

void MensErro(const QString &text, bool abort) {
    MensErro(text, abort, QString());
}

void MensErro(const QString &text, bool abort, const QString &details) {
    bco::Dialogs::messages().show(bco::MsgKind::Error, text, bco::MsgButton::Ok, QString(), details);
    if (abort)
        throw EAbort();
}

bco::Variant CheckResultServ(const bco::RemoteResult &result, bool abort, int) {
    if (result.ok())
        return result.payload();
    // A failure without a message would show the operator an empty box; say at least where it came from.
    const QString message =
        result.errorMessage().trimmed().isEmpty()
            ? QStringLiteral("O servidor de aplicação recusou a operação sem informar o motivo.")
            : result.errorMessage();
    MensErro(message, abort);
    return bco::Variant();
}

std::optional<QDate> TextToDate(const QString &text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('/'));
    if (parts.size() != 3)
        return std::nullopt;
    int values[3] = {0, 0, 0};
    const int maxLength[3] = {2, 2, 4};
    const int minLength[3] = {1, 1, 4};
    for (int i = 0; i < 3; ++i) {
        const QString part = parts[i].trimmed();
        if (part.size() < minLength[i] || part.size() > maxLength[i])
            return std::nullopt;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        values[i] = part.toInt();
    }
    const QDate date(values[2], values[1], values[0]);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

bool IsDateValid(const QString &text) {
    return TextToDate(text).has_value();
}

bool IsDateEmpty(const QString &text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c.isSpace() || c == QLatin1Char('/') || c == QLatin1Char('_'); });
}

QString DateToText(QDate date) {
    return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QString();
}

QDate DayZero() {
    return QDate(1899, 12, 30);
}

} // namespace Consiste
