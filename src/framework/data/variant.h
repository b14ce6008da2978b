#pragma once

#include <concepts>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include <QDate>
#include <QString>

#include "framework/data/data_packet.h"

namespace bco {

class Variant;
using VariantList = std::vector<Variant>;

enum class VariantType : std::uint8_t { Null, Bool, Int, Float, Text, Date, Array, Packet };

// The value that crosses every boundary of the client: a remote call's arguments and result, a field's
// value, a query parameter. Arrays and packets are shared on copy and copied only when one holder changes
// them, so handing a 100,000-row packet around costs a pointer.
class Variant {
public:
    Variant() = default;
    Variant(bool value)
        : value_(value) {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) Variant(T value)
        : value_(static_cast<qint64>(value)) {}
    Variant(double value)
        : value_(value) {}
    Variant(const QString &value)
        : value_(value) {}
    Variant(const char *value)
        : value_(QString::fromUtf8(value)) {}
    Variant(QDate value);
    Variant(VariantList values);
    Variant(DataPacket packet)
        : value_(std::move(packet)) {}

    VariantType type() const { return static_cast<VariantType>(value_.index()); }
    bool isNull() const { return type() == VariantType::Null; }
    bool isArray() const { return type() == VariantType::Array; }
    bool isPacket() const { return type() == VariantType::Packet; }

    // Conversions follow the forms' expectations: null reads as false, 0, empty text or a null date;
    // numbers and text convert both ways; anything else is a programming error and throws.
    bool toBool() const;
    qint64 toInt() const;
    double toFloat() const;
    QString toText() const;
    QDate toDate() const;

    // Throws std::logic_error unless the variant holds that kind.
    const VariantList &array() const;
    VariantList &array();
    const DataPacket &packet() const;

    friend bool operator==(const Variant &a, const Variant &b);

    static const char *typeName(VariantType type);

private:
    std::variant<std::monostate, bool, qint64, double, QString, QDate, std::shared_ptr<VariantList>,
                 DataPacket>
        value_;
};

// A readable form of a variant, for messages and test failures.
QString describe(const Variant &value);

} // namespace bco
