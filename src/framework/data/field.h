#pragma once

#include <functional>
#include <stdexcept>

#include <QDate>
#include <QLocale>
#include <QString>

#include "framework/data/data_packet.h"
#include "framework/data/variant.h"

namespace bco {

class ClientDataSet;
class Field;

// A data-set operation that cannot be done as asked: the data set is closed or empty, a field does not
// exist, a value is assigned outside insert or edit, a required field is left empty, a value does not
// convert to its field's kind. The message names the data set and the field.
class DataSetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a field is declared, in the order the forms list a field's properties:
//   {.name = "VRMOVICRED", .kind = FieldKind::Float, .label = "Valor", .displayFormat = "#,##0.00"}
// Members left out take their defaults. `size` is a text field's width in characters (0: 20). A calculated
// field is never stored: the data set's OnCalcFields fills it on every row.
struct FieldSpec {
    QString name;
    FieldKind kind = FieldKind::Text;
    int size = 0;
    bool required = false;
    QString label{};
    bool hidden = false;
    bool fixedWidth = false;
    QString editMask{};
    QString displayFormat{};
    bool calculated = false;
    int displayWidth = 0;
};

// Replaces the field's own text: `displayText` is true for what a grid or a display shows, false for the
// text an edit starts from.
using FieldTextHandler = std::function<QString(const Field &field, bool displayText)>;

// One column of a data set, read and written on the data set's current row (or on the row that a display or
// the calculation is reading, see ClientDataSet::ActiveRowScope).
//
// Values: a text field reads empty text and null alike (assigning empty text stores null), so a form may
// test either way. Text is cut to the field's width, counted in characters, when it is assigned; it is never
// padded, fixed width or not: the forms compare one-letter marks and codes that are already brought to
// width, and a padded empty mark would no longer read as empty. Dates have no time.
//
// Assigning is allowed in insert and edit state (a calculated field also while the data set calculates);
// anywhere else it throws DataSetError. Assigning a value that does not convert to the field's kind
// throws DataSetError and leaves the field as it was.
class Field {
public:
    Field(const Field &) = delete;
    Field &operator=(const Field &) = delete;

    const QString &FieldName() const { return spec_.name; }
    FieldKind Kind() const { return spec_.kind; }
    // Width of a text field in characters; 0 for other kinds.
    int Size() const;
    bool Required() const { return spec_.required; }
    bool Calculated() const { return spec_.calculated; }
    bool FixedWidth() const { return spec_.fixedWidth; }
    // Position among the data set's fields.
    int Index() const { return index_; }
    ClientDataSet &DataSet() const { return *dataSet_; }

    // Column title; the field's name when no label was given.
    QString DisplayLabel() const;
    void SetDisplayLabel(const QString &label) { spec_.label = label; }
    bool Visible() const { return !spec_.hidden; }
    void SetVisible(bool visible) { spec_.hidden = !visible; }
    const QString &EditMask() const { return spec_.editMask; }
    void SetEditMask(const QString &mask) { spec_.editMask = mask; }
    const QString &DisplayFormat() const { return spec_.displayFormat; }
    void SetDisplayFormat(const QString &format) { spec_.displayFormat = format; }
    // Characters a grid column gives the field: the declared display width, else the text width.
    int DisplayWidth() const;
    void SetDisplayWidth(int characters) { spec_.displayWidth = characters; }
    const FieldTextHandler &OnGetText() const { return onGetText_; }
    void SetOnGetText(FieldTextHandler handler) { onGetText_ = std::move(handler); }

    Variant Value() const;
    bool IsNull() const;
    QString AsString() const;
    double AsFloat() const;
    qint64 AsInteger() const;
    QDate AsDateTime() const;
    // The value the row had when it was loaded (or last merged): null on a row inserted since.
    Variant OldValue() const;

    void SetValue(const Variant &value);
    void SetAsString(const QString &value) { SetValue(value); }
    void SetAsFloat(double value) { SetValue(value); }
    void SetAsInteger(qint64 value) { SetValue(value); }
    void SetAsDateTime(QDate value) { SetValue(value); }
    void Clear() { SetValue(Variant()); }

    // What a grid or a display shows: the text handler's answer when there is one; else a number through
    // its display format with the locale's separators, a date as dd/MM/yyyy, text through its edit mask.
    QString DisplayText(const QLocale &locale) const;
    // The text an edit starts from: the handler's answer, else the plain value (numbers with the locale's
    // decimal point and no separators, text without its mask).
    QString Text(const QLocale &locale) const;

private:
    friend class ClientDataSet;
    Field(ClientDataSet *dataSet, FieldSpec declared, int index);

    ClientDataSet *dataSet_;
    FieldSpec spec_;
    int index_;
    int slot_ = -1; // position in the row's stored values, or in its calculated values
    FieldTextHandler onGetText_;
};

} // namespace bco
