#pragma once

#include <cstdint>

#include <QDate>
#include <QString>

namespace bco {

enum class CellKind : std::uint8_t { Empty, Text, Number, Date, Boolean, Error };

// One cell of a workbook as its writer stored it: its raw value. A number cell whose format shows a date
// is a Date (the time of day dropped); an error cell (#DIV/0!, #N/A) is an Error whose text is its code, so
// that a row holding one is refused instead of dropped or imported with the code; a formula is its cached
// result.
class WorkbookCell {
public:
    WorkbookCell() = default;
    static WorkbookCell fromText(QString text);
    // A NaN or an infinity (only a damaged file holds one) becomes the error "#NUM!".
    static WorkbookCell fromNumber(double number);
    static WorkbookCell fromDate(QDate date);
    static WorkbookCell fromBoolean(bool value);
    static WorkbookCell fromError(QString code);
    // A cell typed as a number or a date whose value is not there (a writer's fault): an error, so that its
    // row is refused, not skipped as a row without a date.
    static WorkbookCell unreadable() { return fromError(QStringLiteral("#VALOR!")); }
    // A formula whose stored result is an empty text: what a spreadsheet computes for ="" and what some
    // libraries store for every formula they leave for a spreadsheet to compute. Empty, as the first.
    static WorkbookCell fromEmptyFormula();
    // A formula's text result: one of blanks only is an empty formula's, so that a row's date computed as
    // " " is told apart from a date left empty as ="" is.
    static WorkbookCell fromFormulaText(QString text);

    CellKind kind() const { return kind_; }
    // No value, or a text of blanks only: such a cell counts as empty when rows are selected.
    bool isBlank() const;
    bool isEmptyFormula() const { return emptyFormula_; }

    // The value of its own kind (an error's code is its text); the others answer 0, false, an empty text or
    // a null date.
    const QString &textValue() const { return text_; }
    double number() const { return kind_ == CellKind::Number ? number_ : 0.0; }
    QDate date() const { return kind_ == CellKind::Date ? QDate::fromJulianDay(julianDay_) : QDate(); }
    bool boolean() const { return kind_ == CellKind::Boolean && boolean_; }

    // The cell as text: a text as stored; a number as numberText writes it ("1234,5", "-0,25", "100", "0,3"
    // for 0,1 + 0,2); a date as dd/mm/yyyy; a boolean as "VERDADEIRO" or "FALSO", as the spreadsheet shows
    // it; an error as its code; an empty cell as "".
    QString toText() const;

    friend bool operator==(const WorkbookCell &a, const WorkbookCell &b);

private:
    QString text_;
    union {
        double number_ = 0.0;
        qint64 julianDay_;
        bool boolean_;
    };
    CellKind kind_ = CellKind::Empty;
    bool emptyFormula_ = false;
};

// How many significant digits of a number a spreadsheet program shows at most.
inline constexpr int SignificantDigits = 15;

// A number as a sheet shows it in its general format (SignificantDigits digits, the decimal comma), as
// toText() writes it.
QString numberText(double number);

// The letters a spreadsheet program names the column by ("A", "Z", "AA"); `column` counts from 0.
QString columnLetters(qint64 column);

} // namespace bco
