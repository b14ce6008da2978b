#include "import/workbook_cell.h"

#include <charconv>
#include <cmath>

namespace bco {

WorkbookCell WorkbookCell::fromEmptyFormula() {
    WorkbookCell cell;
    cell.emptyFormula_ = true;
    return cell;
}

WorkbookCell WorkbookCell::fromFormulaText(QString text) {
    WorkbookCell cell = fromText(std::move(text));
    return cell.isBlank() ? fromEmptyFormula() : cell;
}

WorkbookCell WorkbookCell::fromText(QString text) {
    WorkbookCell cell;
    cell.kind_ = CellKind::Text;
    cell.text_ = std::move(text);
    return cell;
}

WorkbookCell WorkbookCell::fromError(QString code) {
    WorkbookCell cell;
    cell.kind_ = CellKind::Error;
    cell.text_ = std::move(code);
    return cell;
}

WorkbookCell WorkbookCell::fromNumber(double number) {
    if (!std::isfinite(number))
        return fromError(QStringLiteral("#NUM!"));
    WorkbookCell cell;
    cell.kind_ = CellKind::Number;
    cell.number_ = number;
    return cell;
}

WorkbookCell WorkbookCell::fromDate(QDate date) {
    WorkbookCell cell;
    if (!date.isValid())
        return cell;
    cell.kind_ = CellKind::Date;
    cell.julianDay_ = date.toJulianDay();
    return cell;
}

WorkbookCell WorkbookCell::fromBoolean(bool value) {
    WorkbookCell cell;
    cell.kind_ = CellKind::Boolean;
    cell.boolean_ = value;
    return cell;
}

bool WorkbookCell::isBlank() const {
    if (kind_ == CellKind::Empty)
        return true;
    if (kind_ != CellKind::Text)
        return false;
    for (const QChar c : text_)
        if (!c.isSpace())
            return false;
    return true;
}

QString WorkbookCell::toText() const {
    switch (kind_) {
    case CellKind::Empty:
        return QString();
    case CellKind::Text:
    case CellKind::Error:
        return text_;
    case CellKind::Number:
        return numberText(number_);
    case CellKind::Date:
        return date().toString(QStringLiteral("dd/MM/yyyy"));
    case CellKind::Boolean:
        return boolean_ ? QStringLiteral("VERDADEIRO") : QStringLiteral("FALSO");
    }
    return QString();
}

bool operator==(const WorkbookCell &a, const WorkbookCell &b) {
    if (a.kind_ != b.kind_ || a.emptyFormula_ != b.emptyFormula_)
        return false;
    switch (a.kind_) {
    case CellKind::Empty:
        return true;
    case CellKind::Text:
    case CellKind::Error:
        return a.text_ == b.text_;
    case CellKind::Number:
        return a.number_ == b.number_;
    case CellKind::Date:
        return a.julianDay_ == b.julianDay_;
    case CellKind::Boolean:
        return a.boolean_ == b.boolean_;
    }
    return false;
}

QString numberText(double number) {
    if (number == 0.0)
        return QStringLiteral("0"); // negative zero too
    // As a sheet shows a number in its general format, to fifteen significant digits (what binary arithmetic
    // leaves past them is no digit the operator sees: =0,1+0,2 shows 0,3), with the decimal comma.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, SignificantDigits);
    return QString::fromLatin1(buffer, result.ptr - buffer).replace(u'.', u',').replace(u'e', u'E');
}

QString columnLetters(qint64 column) {
    QString letters;
    for (qint64 n = column + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(static_cast<char16_t>(u'A' + (n - 1) % 26)));
    return letters;
}

} // namespace bco
