#include "server/storage/database.h"

namespace bco::server {

FieldDefs fieldsOf(const Columns &columns) {
    FieldDefs fields;
    fields.reserve(columns.size());
    for (const Column &column : columns) {
        FieldDef field;
        field.name = column.name;
        field.size = column.size;
        switch (column.kind) {
        case Column::Kind::Text:
            field.kind = FieldKind::Text;
            break;
        case Column::Kind::Integer:
            field.kind = FieldKind::Integer;
            break;
        case Column::Kind::Float:
        case Column::Kind::Cents:
            field.kind = FieldKind::Float;
            break;
        case Column::Kind::Date:
            field.kind = FieldKind::Date;
            break;
        case Column::Kind::Boolean:
            field.kind = FieldKind::Boolean;
            break;
        }
        fields.append(field);
    }
    return fields;
}

DataPacket emptyPacket(const Columns &columns) {
    return DataPacket(fieldsOf(columns));
}

} // namespace bco::server
