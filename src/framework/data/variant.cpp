#include "framework/data/variant.h"

#include <cmath>
#include <stdexcept>

namespace bco {

Variant::Variant(QDate value) {
    if (value.isValid())
        value_ = value;
}

Variant::Variant(VariantList values)
    : value_(std::make_shared<VariantList>(std::move(values))) {
}

const char *Variant::typeName(VariantType type) {
    switch (type) {
    case VariantType::Null:
        return "null";
    case VariantType::Bool:
        return "boolean";
    case VariantType::Int:
        return "integer";
    case VariantType::Float:
        return "float";
    case VariantType::Text:
        return "text";
    case VariantType::Date:
        return "date";
    case VariantType::Array:
        return "array";
    case VariantType::Packet:
        return "data packet";
    }
    return "unknown";
}

namespace {

[[noreturn]] void cannotConvert(VariantType from, const char *to) {
    throw std::invalid_argument(std::string("cannot read a ") + Variant::typeName(from) + " as " + to);
}

} // namespace

bool Variant::toBool() const {
    switch (type()) {
    case VariantType::Null:
        return false;
    case VariantType::Bool:
        return std::get<bool>(value_);
    case VariantType::Int:
        return std::get<qint64>(value_) != 0;
    case VariantType::Float:
        return std::get<double>(value_) != 0.0;
    case VariantType::Text: {
        const QString &text = std::get<QString>(value_);
        return text.compare(u"true", Qt::CaseInsensitive) == 0 || text == u"T" || text == u"S" ||
               text == u"1";
    }
    default:
        cannotConvert(type(), "a boolean");
    }
}

qint64 Variant::toInt() const {
    switch (type()) {
    case VariantType::Null:
        return 0;
    case VariantType::Bool:
        return std::get<bool>(value_) ? 1 : 0;
    case VariantType::Int:
        return std::get<qint64>(value_);
    case VariantType::Float: {
        const double value = std::get<double>(value_);
        if (!std::isfinite(value) || std::fabs(value) >= 9.2e18)
            throw std::invalid_argument("number out of the integer range");
        return static_cast<qint64>(std::llround(value));
    }
    case VariantType::Text: {
        const QString text = std::get<QString>(value_).trimmed();
        if (text.isEmpty())
            return 0;
        bool ok = false;
        const qint64 value = text.toLongLong(&ok);
        if (!ok)
            throw std::invalid_argument("not an integer: " + text.toStdString());
        return value;
    }
    default:
        cannotConvert(type(), "an integer");
    }
}

double Variant::toFloat() const {
    switch (type()) {
    case VariantType::Null:
        return 0.0;
    case VariantType::Bool:
        return std::get<bool>(value_) ? 1.0 : 0.0;
    case VariantType::Int:
        return static_cast<double>(std::get<qint64>(value_));
    case VariantType::Float:
        return std::get<double>(value_);
    case VariantType::Text: {
        const QString text = std::get<QString>(value_).trimmed();
        if (text.isEmpty())
            return 0.0;
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (!ok)
            throw std::invalid_argument("not a number: " + text.toStdString());
        return value;
    }
    default:
        cannotConvert(type(), "a number");
    }
}

QString Variant::toText() const {
    switch (type()) {
    case VariantType::Null:
        return {};
    case VariantType::Bool:
        return std::get<bool>(value_) ? QStringLiteral("True") : QStringLiteral("False");
    case VariantType::Int:
        return QString::number(std::get<qint64>(value_));
    case VariantType::Float:
        return QString::number(std::get<double>(value_), 'g', 15);
    case VariantType::Text:
        return std::get<QString>(value_);
    case VariantType::Date:
        return std::get<QDate>(value_).toString(QStringLiteral("dd/MM/yyyy"));
    default:
        cannotConvert(type(), "text");
    }
}

QDate Variant::toDate() const {
    switch (type()) {
    case VariantType::Null:
        return {};
    case VariantType::Date:
        return std::get<QDate>(value_);
    case VariantType::Text: {
        const QString text = std::get<QString>(value_).trimmed();
        if (text.isEmpty())
            return {};
        for (const QString &format : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("dd/MM/yyyy")}) {
            const QDate date = QDate::fromString(text, format);
            if (date.isValid())
                return date;
        }
        throw std::invalid_argument("not a date: " + text.toStdString());
    }
    default:
        cannotConvert(type(), "a date");
    }
}

const VariantList &Variant::array() const {
    if (!isArray())
        cannotConvert(type(), "an array");
    return *std::get<std::shared_ptr<VariantList>>(value_);
}

VariantList &Variant::array() {
    if (!isArray())
        cannotConvert(type(), "an array");
    auto &shared = std::get<std::shared_ptr<VariantList>>(value_);
    if (shared.use_count() > 1)
        shared = std::make_shared<VariantList>(*shared);
    return *shared;
}

const DataPacket &Variant::packet() const {
    if (!isPacket())
        cannotConvert(type(), "a data packet");
    return std::get<DataPacket>(value_);
}

bool operator==(const Variant &a, const Variant &b) {
    if (a.type() != b.type())
        return false;
    if (a.isArray())
        return a.array() == b.array();
    return a.value_ == b.value_;
}

QString describe(const Variant &value) {
    switch (value.type()) {
    case VariantType::Null:
        return QStringLiteral("null");
    case VariantType::Text:
        return u'"' + value.toText() + u'"';
    case VariantType::Date:
        return value.toDate().toString(Qt::ISODate);
    case VariantType::Array: {
        QStringList items;
        for (const auto &item : value.array())
            items << describe(item);
        return u'[' + items.join(u", ") + u']';
    }
    case VariantType::Packet:
        return QStringLiteral("packet(%1 fields, %2 rows)")
            .arg(value.packet().fields().size())
            .arg(value.packet().rowCount());
    default:
        return value.toText();
    }
}

} // namespace bco
