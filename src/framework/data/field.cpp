#include "framework/data/field.h"

#include "framework/text/edit_mask.h"
#include "framework/data/client_data_set.h"
#include "framework/data/display_format.h"

namespace bco {

namespace {

QString plainText(const Field &field, const Variant &value, const QLocale &locale) {
    switch (field.Kind()) {
    case FieldKind::Float:
        return FormatFloat(QString(), value.toFloat(), locale);
    case FieldKind::Date:
        return value.toDate().toString(QStringLiteral("dd/MM/yyyy"));
    default:
        return value.toText();
    }
}

} // namespace

Field::Field(ClientDataSet *dataSet, FieldSpec declared, int index)
    : dataSet_(dataSet)
    , spec_(std::move(declared))
    , index_(index) {
}

int Field::Size() const {
    if (spec_.kind != FieldKind::Text)
        return 0;
    return spec_.size > 0 ? spec_.size : DefaultTextWidth;
}

QString Field::DisplayLabel() const {
    return spec_.label.isEmpty() ? spec_.name : spec_.label;
}

int Field::DisplayWidth() const {
    if (spec_.displayWidth > 0)
        return spec_.displayWidth;
    switch (spec_.kind) {
    case FieldKind::Text:
        return Size();
    case FieldKind::Date:
        return 10;
    case FieldKind::Boolean:
        return 5;
    case FieldKind::Integer:
    case FieldKind::Float:
        return 15;
    }
    return 10;
}

Variant Field::Value() const {
    return dataSet_->readValue(*this);
}

bool Field::IsNull() const {
    return Value().isNull();
}

QString Field::AsString() const {
    return Value().toText();
}

double Field::AsFloat() const {
    const Variant value = Value();
    try {
        return value.toFloat();
    } catch (const std::exception &) {
        throw DataSetError(QStringLiteral("%1 in field '%2' is not a number")
                               .arg(describe(value), spec_.name)
                               .toStdString());
    }
}

qint64 Field::AsInteger() const {
    const Variant value = Value();
    try {
        return value.toInt();
    } catch (const std::exception &) {
        throw DataSetError(QStringLiteral("%1 in field '%2' is not an integer")
                               .arg(describe(value), spec_.name)
                               .toStdString());
    }
}

QDate Field::AsDateTime() const {
    const Variant value = Value();
    try {
        return value.toDate();
    } catch (const std::exception &) {
        throw DataSetError(
            QStringLiteral("%1 in field '%2' is not a date").arg(describe(value), spec_.name).toStdString());
    }
}

Variant Field::OldValue() const {
    return dataSet_->readOldValue(*this);
}

void Field::SetValue(const Variant &value) {
    dataSet_->writeValue(*this, value);
}

QString Field::DisplayText(const QLocale &locale) const {
    if (onGetText_)
        return onGetText_(*this, true);
    const Variant value = Value();
    if (value.isNull())
        return {};
    switch (spec_.kind) {
    case FieldKind::Float:
    case FieldKind::Integer:
        if (!spec_.displayFormat.isEmpty())
            return FormatFloat(spec_.displayFormat, value.toFloat(), locale);
        break;
    case FieldKind::Text:
        if (!spec_.editMask.isEmpty())
            return FormatMaskText(spec_.editMask, value.toText());
        break;
    default:
        break;
    }
    return plainText(*this, value, locale);
}

QString Field::Text(const QLocale &locale) const {
    if (onGetText_)
        return onGetText_(*this, false);
    const Variant value = Value();
    return value.isNull() ? QString() : plainText(*this, value, locale);
}

} // namespace bco
