#include "server/ledger/change_log.h"

#include "server/storage/money.h"
#include "server/transport/method_registry.h"

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

[[noreturn]] void refuseLog(const QString &what, const QString &why) {
    throw Refusal(QStringLiteral("Registro de %1 inválido: %2.").arg(what, why));
}

} // namespace

InsertedRows::InsertedRows(const Variant &log, std::span<const RecordField> layout, const QString &what)
    : layout_(layout) {
    if (!log.isPacket())
        refuseLog(what, QStringLiteral("não veio como registro de alterações"));
    packet_ = log.packet();
    if (packet_.fields().size() != static_cast<qsizetype>(layout.size()))
        refuseLog(
            what,
            QStringLiteral("deve ter %1 campos, não %2").arg(layout.size()).arg(packet_.fields().size()));
    for (const RecordField &field : layout) {
        const QString name = QString::fromLatin1(field.name);
        const int index = packet_.fieldIndex(name);
        if (index < 0)
            refuseLog(what, QStringLiteral("falta o campo %1").arg(name));
        columns_.push_back(index);
    }
    for (int row = 0; row < packet_.rowCount(); ++row) {
        if (packet_.row(row).state != RowState::Inserted)
            refuseLog(what, QStringLiteral("a linha deve ser uma inclusão"));
        for (size_t i = 0; i < layout.size(); ++i) {
            const RecordField &field = layout[i];
            const Variant value = packet_.value(row, columns_[i]);
            if (!fitsKind(value, field.kind))
                refuseLog(what, QStringLiteral("o campo %1 não é %2")
                                    .arg(QString::fromLatin1(field.name),
                                         QString::fromLatin1(fieldKindName(field.kind))));
            if (field.kind == FieldKind::Text && field.width > 0 && value.toText().size() > field.width)
                refuseLog(what, QStringLiteral("o campo %1 passa de %2 caracteres")
                                    .arg(QString::fromLatin1(field.name))
                                    .arg(field.width));
        }
    }
}

Variant InsertedRows::value(int row, const char *field) const {
    for (size_t i = 0; i < layout_.size(); ++i) {
        if (qstrcmp(layout_[i].name, field) == 0)
            return packet_.value(row, columns_[i]);
    }
    throw std::logic_error(std::string("field outside the record's layout: ") + field);
}

QString InsertedRows::code(int row, const char *field) const {
    return value(row, field).toText().trimmed();
}

QString InsertedRows::text(int row, const char *field) const {
    return value(row, field).toText();
}

QDate InsertedRows::date(int row, const char *field) const {
    return value(row, field).toDate();
}

std::optional<qint64> InsertedRows::cents(int row, const char *field) const {
    const Variant amount = value(row, field);
    if (amount.isNull())
        return std::nullopt;
    return centsFromAmount(amount.toFloat());
}

bool InsertedRows::pastLargestAmount(int row, const char *field) const {
    const Variant amount = value(row, field);
    return !amount.isNull() && amount.toFloat() > 0 && server::pastLargestAmount(amount.toFloat());
}

namespace {

// The one row is counted before anything else is read of the log, as a single entry's methods always did.
std::unique_ptr<InsertedRows> oneRow(const Variant &log, std::span<const RecordField> layout,
                                     const QString &what) {
    if (log.isPacket() && log.packet().rowCount() != 1)
        refuseLog(what,
                  QStringLiteral("deve incluir exatamente uma linha, não %1").arg(log.packet().rowCount()));
    return std::make_unique<InsertedRows>(log, layout, what);
}

} // namespace

InsertedRecord::InsertedRecord(const Variant &log, std::span<const RecordField> layout, const QString &what)
    : InsertedRecord(oneRow(log, layout, what)) {
}

InsertedRecord::InsertedRecord(std::unique_ptr<InsertedRows> rows)
    : InsertedRow(*rows, 0)
    , rows_(std::move(rows)) {
}

} // namespace bco::server
