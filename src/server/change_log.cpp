#include "server/change_log.h"

#include "server/method_registry.h"
#include "server/money.h"

namespace bco::server {

namespace {

bool fitsKind(const Variant &value, FieldKind kind) {
    if (value.isNull())
        return true;
    switch (kind) {
    case FieldKind::Text:
        return value.type() == VariantType::Text;
    case FieldKind::Date:
        return value.type() == VariantType::Date;
    case FieldKind::Float:
    case FieldKind::Integer:
        return value.type() == VariantType::Float || value.type() == VariantType::Int;
    case FieldKind::Boolean:
        return value.type() == VariantType::Bool;
    }
    return false;
}

} // namespace

InsertedRecord::InsertedRecord(const Variant &log, std::span<const RecordField> layout, const QString &what) {
    const auto refuse = [&what](const QString &why) {
        throw Refusal(QStringLiteral("Registro de %1 inválido: %2.").arg(what, why));
    };
    if (!log.isPacket())
        refuse(QStringLiteral("não veio como registro de alterações"));
    const DataPacket &packet = log.packet();
    if (packet.rowCount() != 1)
        refuse(QStringLiteral("deve incluir exatamente uma linha, não %1").arg(packet.rowCount()));
    if (packet.row(0).state != RowState::Inserted)
        refuse(QStringLiteral("a linha deve ser uma inclusão"));
    if (packet.fields().size() != static_cast<qsizetype>(layout.size()))
        refuse(QStringLiteral("deve ter %1 campos, não %2").arg(layout.size()).arg(packet.fields().size()));
    for (const RecordField &field : layout) {
        const QString name = QString::fromLatin1(field.name);
        const int index = packet.fieldIndex(name);
        if (index < 0)
            refuse(QStringLiteral("falta o campo %1").arg(name));
        const Variant value = packet.value(0, index);
        if (!fitsKind(value, field.kind))
            refuse(QStringLiteral("o campo %1 não é %2")
                       .arg(name, QString::fromLatin1(fieldKindName(field.kind))));
        if (field.kind == FieldKind::Text && field.width > 0 && value.toText().size() > field.width)
            refuse(QStringLiteral("o campo %1 passa de %2 caracteres").arg(name).arg(field.width));
        values_.emplace_back(name, value);
    }
}

const Variant &InsertedRecord::value(const char *field) const {
    const QString name = QString::fromLatin1(field);
    for (const auto &[fieldName, value] : values_) {
        if (fieldName == name)
            return value;
    }
    throw std::logic_error("field outside the record's layout: " + name.toStdString());
}

QString InsertedRecord::code(const char *field) const {
    return value(field).toText().trimmed();
}

QString InsertedRecord::text(const char *field) const {
    return value(field).toText();
}

QDate InsertedRecord::date(const char *field) const {
    return value(field).toDate();
}

std::optional<qint64> InsertedRecord::cents(const char *field) const {
    const Variant &amount = value(field);
    if (amount.isNull())
        return std::nullopt;
    return centsFromAmount(amount.toFloat());
}

} // namespace bco::server
